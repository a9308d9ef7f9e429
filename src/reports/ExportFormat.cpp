#include "reports/ExportFormat.h"
#include "app/modFormat.h"
#include <QFile>
#include <algorithm>
#include <cmath>
#include <cstdio>

QString FormatSignedValue(double v)
{
    if (!std::isfinite(v))
        return QString::number(v);
    return Format(v, "+0#.0;-0#.0");
}

QString FloatText(float value) { return Format(value, "General Number"); }

QString HtmlEscape(const QString& text)
{
    QString out;
    out.reserve(text.size() + 8);
    for (const QChar c : text) {
        switch (c.unicode()) {
        case '&': out += QLatin1String("&amp;"); break;
        case '<': out += QLatin1String("&lt;"); break;
        case '>': out += QLatin1String("&gt;"); break;
        case '"': out += QLatin1String("&quot;"); break;
        case '\'': out += QLatin1String("&#39;"); break;
        default: out += c;
        }
    }
    return out;
}

bool ReplaceFileWith(const QString& temporary, const QString& path, QString* error)
{
    if (std::rename(QFile::encodeName(temporary).constData(), QFile::encodeName(path).constData()) == 0)
        return true;
    QFile::remove(temporary);
    if (error)
        *error = QString("cannot write %1").arg(path);
    return false;
}

namespace {
bool isAtDecimals(double value, int decimals)
{
    // Up to 2.5e-7 of the value is the rounding of a single-precision number (converted to °F:
    // times 1.8), not a digit.
    const double tolerance = 2.5e-7 * std::max(1.0, std::fabs(value));
    return std::fabs(value - RoundedToDecimals(value, decimals)) <= tolerance;
}
} // namespace

double RoundedToDecimals(double value, int decimals)
{
    if (!std::isfinite(value))
        return value;
    const double scale = std::pow(10.0, decimals);
    return std::round(value * scale) / scale;
}

int ShortestExactDecimals(double value, int maxDecimals)
{
    for (int d = 0; d < maxDecimals; ++d) {
        if (isAtDecimals(value, d))
            return d;
    }
    return maxDecimals;
}

int ValueDecimals(const std::vector<double>& values, ValueResolution resolution, bool aggregateText)
{
    if (aggregateText)
        return 2;
    if (resolution != ValueResolution::Unknown) {
        const int d = resolution == ValueResolution::HalfDegree ? 1 : 3;
        if (std::all_of(values.begin(), values.end(), [d](double v) { return !std::isfinite(v) || isAtDecimals(v, d); }))
            return d;
    }
    int d = 1;   // a temperature shows at least one decimal
    for (const double v : values) {
        if (std::isfinite(v))
            d = std::max(d, ShortestExactDecimals(v));
    }
    return d;
}

QString SignedValueFormat(int decimals)
{
    const QString part = decimals > 0 ? "00." + QString(decimals, '0') : QString("00");
    return "+" + part + ";-" + part;
}
