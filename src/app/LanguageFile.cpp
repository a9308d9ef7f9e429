#include "app/LanguageFile.h"

#include <QStringDecoder>
#include <QStringList>

QString DecodeLanguageFileText(const QByteArray& bytes)
{
    QByteArray data = bytes;
    if (data.startsWith("\xEF\xBB\xBF")) data.remove(0, 3);
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(data);
    if (utf8.hasError()) text = QString::fromLatin1(data);
    return text;
}

namespace {
// The fields of one line, read the way delimited sequential input reads them.
QStringList lineFields(const QString& line)
{
    QStringList fields;
    int i = 0;
    const int n = line.size();
    while (i <= n) {
        while (i < n && (line[i] == ' ' || line[i] == '\t')) ++i;
        if (i >= n) {
            if (!fields.isEmpty() && line.trimmed().endsWith(',')) fields << QString();
            break;
        }
        QString field;
        if (line[i] == '"') {
            ++i;
            while (i < n) {
                if (line[i] == '"') {
                    if (i + 1 < n && line[i + 1] == '"') { field += '"'; i += 2; continue; }
                    ++i;
                    break;
                }
                field += line[i++];
            }
            // Anything between the closing quote and the next comma is not part of the field.
            while (i < n && line[i] != ',') ++i;
        } else {
            const int comma = line.indexOf(',', i);
            field = (comma < 0 ? line.mid(i) : line.mid(i, comma - i)).trimmed();
            i = comma < 0 ? n : comma;
        }
        fields << field;
        if (i >= n) break;
        ++i;   // the comma
    }
    return fields;
}
} // namespace

QList<QPair<QString, QString>> ParseLanguageFileText(const QString& text)
{
    QList<QPair<QString, QString>> records;
    QString all = text;
    all.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    all.replace('\r', '\n');
    const QStringList lines = all.split('\n');
    for (const QString& line : lines) {
        if (line.trimmed().isEmpty()) continue;
        const QStringList f = lineFields(line);
        if (f.size() < 2) continue;
        QString key = f[0];
        if (key.startsWith(QLatin1String("???"))) key.remove(0, 3);
        records.append({key, f[1]});
    }
    return records;
}
