#include "app/modFormat.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

// ---------------------------------------------------------------- numbers

// Splits a pattern at ";" outside quotes and escapes.
QStringList splitSections(const QString& pattern)
{
    QStringList out;
    QString cur;
    bool quoted = false;
    for (int i = 0; i < pattern.size(); ++i) {
        const QChar c = pattern[i];
        if (c == '\\' && !quoted && i + 1 < pattern.size()) {
            cur += c;
            cur += pattern[++i];
            continue;
        }
        if (c == '"') quoted = !quoted;
        if (c == ';' && !quoted) {
            out << cur;
            cur.clear();
            continue;
        }
        cur += c;
    }
    out << cur;
    return out;
}

struct NumToken {
    enum Kind { Literal, Digit, Point, Comma, Percent } kind;
    QString text;     // literal text
    QChar digit;      // '0' or '#'
};

std::vector<NumToken> tokenizeNumber(const QString& sec)
{
    std::vector<NumToken> t;
    bool seenPoint = false;
    for (int i = 0; i < sec.size(); ++i) {
        const QChar c = sec[i];
        if (c == '\\') {
            if (i + 1 < sec.size()) t.push_back({NumToken::Literal, QString(sec[++i]), {}});
        } else if (c == '"') {
            const int end = sec.indexOf('"', i + 1);
            const QString lit = end < 0 ? sec.mid(i + 1) : sec.mid(i + 1, end - i - 1);
            t.push_back({NumToken::Literal, lit, {}});
            i = end < 0 ? sec.size() : end;
        } else if (c == '0' || c == '#') {
            t.push_back({NumToken::Digit, {}, c});
        } else if (c == '.' && !seenPoint) {
            seenPoint = true;
            t.push_back({NumToken::Point, {}, {}});
        } else if (c == ',') {
            t.push_back({NumToken::Comma, {}, {}});
        } else if (c == '%') {
            t.push_back({NumToken::Percent, QStringLiteral("%"), {}});
        } else {
            t.push_back({NumToken::Literal, QString(c), {}});
        }
    }
    return t;
}

// Decimal digits of a non-negative value rounded half away from zero to `decimals` places,
// taken from its `significant`-digit decimal form (so that 2.675 rounds like the 2.675 the
// operator sees). intDigits has no leading zeros ("" for a value below 1).
void roundDigits(double x, int decimals, int significant, QString& intDigits, QString& fracDigits)
{
    intDigits.clear();
    fracDigits = QString(decimals, '0');
    if (!(x > 0) || !std::isfinite(x)) return;
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*e", significant - 1, x);
    std::vector<int> mant;
    const char* p = buf;
    for (; *p && *p != 'e'; ++p)
        if (*p >= '0' && *p <= '9') mant.push_back(*p - '0');
    const int exp10 = *p == 'e' ? std::atoi(p + 1) : 0;
    // digits[k] is the digit of weight 10^(intCount-1-k)
    int intCount = exp10 + 1;
    std::vector<int> digits;
    if (intCount < 0) {
        digits.assign(size_t(-intCount), 0);
        digits.insert(digits.end(), mant.begin(), mant.end());
        intCount = 0;
    } else {
        digits = mant;
    }
    const int keep = intCount + decimals;
    if (int(digits.size()) < keep) digits.resize(size_t(keep), 0);
    bool carry = int(digits.size()) > keep && digits[size_t(keep)] >= 5;
    digits.resize(size_t(keep));
    for (int k = keep - 1; carry && k >= 0; --k) {
        if (++digits[size_t(k)] == 10) digits[size_t(k)] = 0;
        else carry = false;
    }
    if (carry) {
        digits.insert(digits.begin(), 1);
        ++intCount;
    }
    QString all;
    for (int d : digits) all += QChar('0' + d);
    intDigits = all.left(intCount);
    while (intDigits.startsWith('0')) intDigits.remove(0, 1);
    fracDigits = all.mid(intCount);
}

QString formatNumber(double value, const QString& pattern, int significant)
{
    if (pattern.compare(QLatin1String("General Number"), Qt::CaseInsensitive) == 0)
        return QString::number(value, 'g', significant);
    if (std::isnan(value)) return QStringLiteral("NaN");
    const QStringList sections = splitSections(pattern);
    QString sec = sections[0];
    bool negSign = false;
    if (value < 0 && sections.size() >= 2 && !sections[1].isEmpty()) {
        sec = sections[1];
        value = -value;
    } else if (value == 0 && sections.size() >= 3 && !sections[2].isEmpty()) {
        sec = sections[2];
    } else if (value < 0) {
        negSign = true;
        value = -value;
    }
    if (std::isinf(value)) return negSign ? QStringLiteral("-Infinity") : QStringLiteral("Infinity");

    std::vector<NumToken> tokens = tokenizeNumber(sec);
    // Where the integer part ends.
    size_t pointAt = tokens.size();
    for (size_t i = 0; i < tokens.size(); ++i)
        if (tokens[i].kind == NumToken::Point) { pointAt = i; break; }
    // Commas: grouping when a digit placeholder of the integer part follows, else scaling.
    bool grouping = false;
    int scale = 0;
    for (size_t i = 0; i < pointAt; ++i) {
        if (tokens[i].kind != NumToken::Comma) continue;
        bool digitBefore = false, digitAfter = false;
        for (size_t j = 0; j < i; ++j) digitBefore |= tokens[j].kind == NumToken::Digit;
        for (size_t j = i + 1; j < pointAt; ++j) digitAfter |= tokens[j].kind == NumToken::Digit;
        if (digitBefore && digitAfter) grouping = true;
        else if (digitBefore) ++scale;
        else tokens[i] = {NumToken::Literal, QStringLiteral(","), {}};
    }
    int intPlaces = 0, intMandatory = 0, fracPlaces = 0, fracMandatory = 0, percents = 0;
    bool zeroSeen = false;
    for (size_t i = 0; i < tokens.size(); ++i) {
        const NumToken& tk = tokens[i];
        if (tk.kind == NumToken::Percent) ++percents;
        if (tk.kind != NumToken::Digit) continue;
        if (i < pointAt) {
            ++intPlaces;
            // A '0' makes its own place and every place right of it mandatory.
            if (tk.digit == '0') zeroSeen = true;
            if (zeroSeen) ++intMandatory;
        } else {
            ++fracPlaces;
            if (tk.digit == '0') fracMandatory = fracPlaces;
        }
    }
    value *= std::pow(100.0, percents) / std::pow(1000.0, scale);

    QString intDigits, fracDigits;
    roundDigits(value, fracPlaces, significant, intDigits, fracDigits);
    while (fracDigits.size() > fracMandatory && fracDigits.endsWith('0')) fracDigits.chop(1);
    while (intDigits.size() < intMandatory) intDigits.prepend('0');

    QString out;
    if (negSign) out += '-';
    int placeFromRight = intPlaces;   // counts down as integer places are passed
    const int n = intDigits.size();
    auto emitIntDigit = [&](int posFromRight) {   // posFromRight: 0 = units
        out += intDigits[n - 1 - posFromRight];
        if (grouping && posFromRight > 0 && posFromRight % 3 == 0) out += ',';
    };
    int fracIndex = 0;
    for (size_t i = 0; i < tokens.size(); ++i) {
        const NumToken& tk = tokens[i];
        switch (tk.kind) {
        case NumToken::Literal:
        case NumToken::Percent:
            out += tk.text;
            break;
        case NumToken::Comma:
            break;
        case NumToken::Point:
            out += '.';
            break;
        case NumToken::Digit:
            if (i < pointAt) {
                --placeFromRight;
                if (placeFromRight == intPlaces - 1) {
                    // The leftmost place takes every digit that has no place of its own.
                    for (int p = n - 1; p > placeFromRight; --p) emitIntDigit(p);
                }
                if (placeFromRight < n) emitIntDigit(placeFromRight);
            } else {
                if (fracIndex < fracDigits.size()) out += fracDigits[fracIndex];
                ++fracIndex;
            }
            break;
        }
    }
    if (intPlaces == 0 && fracPlaces == 0 && tokens.empty()) return QString();
    return out;
}

// ---------------------------------------------------------------- date-times

const char* const kDayShort[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
const char* const kDayLong[] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
const char* const kMonthShort[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
const char* const kMonthLong[] = {"January", "February", "March", "April", "May", "June", "July",
                                  "August", "September", "October", "November", "December"};

struct DateToken {
    enum Kind { Literal, Field, AmPm } kind;
    QChar letter;     // lower-case field letter
    int count = 0;
    QString text;     // literal, or the AM/PM marker as written
};

std::vector<DateToken> tokenizeDate(const QString& pattern)
{
    std::vector<DateToken> t;
    const QString lower = pattern.toLower();
    for (int i = 0; i < pattern.size(); ++i) {
        const QChar c = pattern[i];
        const QChar lc = lower[i];
        if (c == '\\') {
            if (i + 1 < pattern.size()) t.push_back({DateToken::Literal, {}, 0, QString(pattern[++i])});
            continue;
        }
        if (c == '"') {
            const int end = pattern.indexOf('"', i + 1);
            t.push_back({DateToken::Literal, {}, 0, end < 0 ? pattern.mid(i + 1) : pattern.mid(i + 1, end - i - 1)});
            i = end < 0 ? pattern.size() : end;
            continue;
        }
        if (lower.mid(i, 5) == QLatin1String("am/pm")) {
            t.push_back({DateToken::AmPm, {}, 5, pattern.mid(i, 5)});
            i += 4;
            continue;
        }
        if (lower.mid(i, 3) == QLatin1String("a/p")) {
            t.push_back({DateToken::AmPm, {}, 3, pattern.mid(i, 3)});
            i += 2;
            continue;
        }
        if (lower.mid(i, 4) == QLatin1String("ampm")) {
            t.push_back({DateToken::AmPm, {}, 4, pattern.mid(i, 4)});
            i += 3;
            continue;
        }
        if (QStringLiteral("dwmqyhnsc").contains(lc) || (lc == 't' && lower.mid(i, 5) == QLatin1String("ttttt"))) {
            int j = i;
            while (j < pattern.size() && lower[j] == lc) ++j;
            t.push_back({DateToken::Field, lc, j - i, {}});
            i = j - 1;
            continue;
        }
        t.push_back({DateToken::Literal, {}, 0, QString(c)});
    }
    return t;
}

QString two(int v) { return QString::number(v).rightJustified(2, '0'); }

int weekOfYear(const QDate& d)
{
    const QDate jan1(d.year(), 1, 1);
    const int jan1Dow = jan1.dayOfWeek() % 7;   // Sunday = 0
    return (d.dayOfYear() - 1 + jan1Dow) / 7 + 1;
}

QString formatDate(const QDateTime& value, const QString& pattern)
{
    if (!value.isValid()) return QString();
    const QDate d = value.date();
    const QTime tm = value.time();
    std::vector<DateToken> tokens = tokenizeDate(pattern);
    bool twelveHour = false;
    for (const DateToken& tk : tokens) twelveHour |= tk.kind == DateToken::AmPm;
    const int hour12 = tm.hour() % 12 == 0 ? 12 : tm.hour() % 12;
    const int hour = twelveHour ? hour12 : tm.hour();
    const bool pm = tm.hour() >= 12;

    // "m" means minutes right after an hour field or right before a seconds field.
    auto neighbourField = [&](size_t i, int dir) -> QChar {
        for (long j = long(i) + dir; j >= 0 && j < long(tokens.size()); j += dir)
            if (tokens[size_t(j)].kind == DateToken::Field) return tokens[size_t(j)].letter;
        return QChar();
    };

    QString out;
    for (size_t i = 0; i < tokens.size(); ++i) {
        const DateToken& tk = tokens[i];
        if (tk.kind == DateToken::Literal) { out += tk.text; continue; }
        if (tk.kind == DateToken::AmPm) {
            const QString& w = tk.text;
            if (tk.count == 3) out += pm ? w[2] : w[0];                     // A/P, a/p
            else if (tk.count == 5) out += pm ? w.mid(3, 2) : w.left(2);    // AM/PM, am/pm
            else out += pm ? QStringLiteral("PM") : QStringLiteral("AM");    // AMPM
            continue;
        }
        const int n = tk.count;
        switch (tk.letter.unicode()) {
        case 'd':
            if (n == 1) out += QString::number(d.day());
            else if (n == 2) out += two(d.day());
            else if (n == 3) out += QLatin1String(kDayShort[d.dayOfWeek() % 7]);
            else if (n == 4) out += QLatin1String(kDayLong[d.dayOfWeek() % 7]);
            else if (n == 5) out += two(d.day()) + '/' + two(d.month()) + '/' + QString::number(d.year());
            else out += QLatin1String(kDayLong[d.dayOfWeek() % 7]) + QStringLiteral(", ") + QString::number(d.day()) + ' '
                        + QLatin1String(kMonthLong[d.month() - 1]) + ' ' + QString::number(d.year());
            break;
        case 'w':
            if (n == 1) out += QString::number(d.dayOfWeek() % 7 + 1);
            else out += QString::number(weekOfYear(d));
            break;
        case 'm': {
            const bool minute = n <= 2 && (neighbourField(i, -1) == 'h' || neighbourField(i, +1) == 's');
            if (minute) out += n == 1 ? QString::number(tm.minute()) : two(tm.minute());
            else if (n == 1) out += QString::number(d.month());
            else if (n == 2) out += two(d.month());
            else if (n == 3) out += QLatin1String(kMonthShort[d.month() - 1]);
            else out += QLatin1String(kMonthLong[d.month() - 1]);
            break;
        }
        case 'q':
            out += QString::number((d.month() - 1) / 3 + 1);
            break;
        case 'y':
            if (n == 1) out += QString::number(d.dayOfYear());
            else if (n == 2 || n == 3) out += two(d.year() % 100);
            else out += QString::number(d.year()).rightJustified(4, '0');
            break;
        case 'h':
            out += n == 1 ? QString::number(hour) : two(hour);
            break;
        case 'n':
            out += n == 1 ? QString::number(tm.minute()) : two(tm.minute());
            break;
        case 's':
            out += n == 1 ? QString::number(tm.second()) : two(tm.second());
            break;
        case 't':
            out += two(tm.hour()) + ':' + two(tm.minute()) + ':' + two(tm.second());
            break;
        case 'c':
            out += two(d.day()) + '/' + two(d.month()) + '/' + QString::number(d.year());
            if (tm != QTime(0, 0)) out += ' ' + two(tm.hour()) + ':' + two(tm.minute()) + ':' + two(tm.second());
            break;
        default:
            break;
        }
    }
    return out;
}

} // namespace

QString Format(double value, const QString& pattern) { return formatNumber(value, pattern, 15); }
QString Format(float value, const QString& pattern) { return formatNumber(double(value), pattern, 7); }
QString Format(int value, const QString& pattern) { return formatNumber(double(value), pattern, 15); }
QString Format(qint64 value, const QString& pattern) { return formatNumber(double(value), pattern, 17); }
QString Format(const QDateTime& value, const QString& pattern) { return formatDate(value, pattern); }

QString Format(const QVariant& value, const QString& pattern)
{
    if (!value.isValid() || value.isNull()) return QString();
    switch (value.typeId()) {
    case QMetaType::QDateTime:
        return formatDate(value.toDateTime(), pattern);
    case QMetaType::QDate:
        return formatDate(QDateTime(value.toDate(), QTime(0, 0), Qt::UTC), pattern);
    case QMetaType::Float:
        return Format(value.toFloat(), pattern);
    case QMetaType::Int: case QMetaType::Short: case QMetaType::UShort: case QMetaType::UInt:
    case QMetaType::LongLong: case QMetaType::ULongLong: case QMetaType::Long: case QMetaType::ULong:
        return Format(value.toLongLong(), pattern);
    case QMetaType::Double:
        return Format(value.toDouble(), pattern);
    case QMetaType::Bool:
        return Format(value.toBool() ? -1 : 0, pattern);
    default: {
        bool ok = false;
        const double d = value.toString().trimmed().toDouble(&ok);
        if (ok) return Format(d, pattern);
        return value.toString();
    }
    }
}
