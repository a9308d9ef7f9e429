#include "db/ResultList.h"

#include <charconv>
#include <cmath>

namespace {

const char* const kDateTimeFormat = "yyyy-MM-dd HH:mm:ss";

// Parses the stored and written forms of a date-time; the result carries the Qt::UTC timeSpec
// whatever it means (local or UTC is given by the context).
QDateTime parseDateTime(const QString& text)
{
    // Date and time are parsed apart so that no time-zone rule (a daylight-saving gap) can
    // touch the wall-clock fields.
    const QString t = text.trimmed();
    const QString datePart = t.left(10);
    const QDate date = QDate::fromString(datePart, QStringLiteral("yyyy-MM-dd"));
    if (!date.isValid())
        return QDateTime();
    QString rest = t.mid(10);
    if (rest.isEmpty())
        return QDateTime(date, QTime(0, 0), Qt::UTC);
    if (rest[0] != QLatin1Char(' ') && rest[0] != QLatin1Char('T'))
        return QDateTime();
    rest = rest.mid(1);
    QTime time = QTime::fromString(rest, QStringLiteral("HH:mm:ss"));
    if (!time.isValid())
        time = QTime::fromString(rest, QStringLiteral("HH:mm"));
    if (!time.isValid())
        return QDateTime();
    return QDateTime(date, time, Qt::UTC);
}

// Shortest text that reads back to the same value; a value that is exactly a single float
// is written with the digits of a single float (5.2 rather than 5.199999809265137).
QString floatText(double d)
{
    if (std::isnan(d))
        return QStringLiteral("NaN");
    char buf[64];
    std::to_chars_result r;
    const float f = static_cast<float>(d);
    if (std::isfinite(d) && static_cast<double>(f) == d)
        r = std::to_chars(buf, buf + sizeof buf, f);
    else
        r = std::to_chars(buf, buf + sizeof buf, d);
    return QString::fromLatin1(buf, int(r.ptr - buf));
}

bool textToBool(const QString& s, bool& ok)
{
    const QString t = s.trimmed();
    ok = true;
    if (t.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0)
        return true;
    if (t.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0)
        return false;
    const double d = t.toDouble(&ok);
    return ok && d != 0;
}

} // namespace

bool DbValue::toBool() const
{
    switch (m_kind) {
    case Bool:
    case Int: return m_int != 0;
    case Float: return m_float != 0;
    case DateTime: return m_time.isValid();
    case Text: { bool ok; return textToBool(m_text, ok); }
    default: return false;
    }
}

qint64 DbValue::toInt() const
{
    switch (m_kind) {
    case Bool:
    case Int: return m_int;
    case Float: return std::isfinite(m_float) ? std::llround(m_float) : 0;
    case DateTime: return m_time.isValid() ? m_time.toSecsSinceEpoch() : 0;
    case Text: {
        bool ok = false;
        const qint64 i = m_text.trimmed().toLongLong(&ok);
        if (ok)
            return i;
        const double d = m_text.trimmed().toDouble(&ok);
        if (ok && std::isfinite(d))
            return std::llround(d);
        return textToBool(m_text, ok) ? 1 : 0;
    }
    default: return 0;
    }
}

double DbValue::toDouble() const
{
    switch (m_kind) {
    case Bool:
    case Int: return double(m_int);
    case Float: return m_float;
    case DateTime: return m_time.isValid() ? double(m_time.toSecsSinceEpoch()) : 0.0;
    case Text: {
        bool ok = false;
        const double d = m_text.trimmed().toDouble(&ok);
        return ok ? d : 0.0;
    }
    default: return 0.0;
    }
}

QDateTime DbValue::toDateTime() const
{
    switch (m_kind) {
    case DateTime: return m_time;
    case Text: return parseDateTime(m_text);
    case Int: return QDateTime::fromSecsSinceEpoch(m_int, Qt::UTC);
    default: return QDateTime();
    }
}

QString DbValue::toString() const
{
    switch (m_kind) {
    case Bool: return m_int ? QStringLiteral("True") : QStringLiteral("False");
    case Int: return QString::number(m_int);
    case Float: return floatText(m_float);
    case DateTime: return m_time.isValid() ? m_time.toString(QString::fromLatin1(kDateTimeFormat)) : QString();
    case Text: return m_text;
    default: return QString();
    }
}

QVariant DbValue::toVariant() const
{
    switch (m_kind) {
    case Bool: return QVariant(m_int != 0);
    case Int: return QVariant(m_int);
    case Float: return QVariant(m_float);
    case DateTime: return QVariant(m_time);
    case Text: return QVariant(m_text);
    default: return QVariant();
    }
}

bool DbValue::operator==(const DbValue& o) const
{
    if (m_kind != o.m_kind)
        return false;
    switch (m_kind) {
    case Bool:
    case Int: return m_int == o.m_int;
    case Float: return m_float == o.m_float;
    case DateTime: return m_time == o.m_time;
    case Text: return m_text == o.m_text;
    default: return true;
    }
}

int DbRow::indexOf(const QString& name) const
{
    for (size_t i = 0; i < m_names.size(); ++i)
        if (m_names[i].compare(name, Qt::CaseInsensitive) == 0)
            return int(i);
    return -1;
}

DbValue DbRow::value(const QString& name) const
{
    const int i = indexOf(name);
    return i < 0 ? DbValue() : m_values[size_t(i)];
}

void DbRow::set(const QString& name, const DbValue& value)
{
    const int i = indexOf(name);
    if (i < 0)
        add(name, value);
    else
        m_values[size_t(i)] = value;
}
