#include "reports/ExportFormat.h"
#include "app/modFormat.h"
#include <QFile>
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
