#include "app/TextRules.h"

#include "app/modInternationalisation.h"

#include <QStringDecoder>

bool IsControlCharacter(char32_t c)
{
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x2028 || c == 0x2029 || c == 0x200E || c == 0x200F ||
           (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069) || (c >= 0xD800 && c <= 0xDFFF);
}

namespace {

// Calls f(code point) for every character; a surrogate without its partner is handed on as it
// stands (and counts as a control character).
template <typename F>
void forEachCodePoint(const QString& text, F f)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            f(QChar::surrogateToUcs4(c, text.at(i + 1)));
            ++i;
        } else {
            f(char32_t(c.unicode()));
        }
    }
}

} // namespace

QString CheckDescription(const QString& text, bool required)
{
    qsizetype length = 0;
    bool control = false;
    forEachCodePoint(text, [&](char32_t c) {
        ++length;
        control = control || IsControlCharacter(c);
    });
    if (control)
        return Translate(QStringLiteral("the description may not hold control characters"));
    if (length > kMaxDescriptionLength)
        return Translate(QStringLiteral("the description may be at most %1 characters long")).arg(kMaxDescriptionLength);
    if (required && text.trimmed().isEmpty())
        return Translate(QStringLiteral("the description may not be empty"));
    return QString();
}

bool DecodeUtf8Strictly(const QByteArray& bytes, QString* text)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString decoded = decoder.decode(bytes);
    if (decoder.hasError())
        return false;
    if (text)
        *text = decoded;
    return true;
}

QString EscapeControlCharacters(const QString& text)
{
    QString out;
    out.reserve(text.size());
    forEachCodePoint(text, [&](char32_t c) {
        if (!IsControlCharacter(c))
            out += QString::fromUcs4(&c, 1);
        else if (c < 0x100)
            out += QStringLiteral("\\x") + QString::number(uint(c), 16).toUpper().rightJustified(2, QLatin1Char('0'));
        else
            out += QStringLiteral("\\u") + QString::number(uint(c), 16).toUpper().rightJustified(4, QLatin1Char('0'));
    });
    return out;
}
