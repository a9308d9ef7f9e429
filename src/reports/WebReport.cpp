#include "reports/WebReport.h"
#include "app/OutputFile.h"
#include "app/RegularFile.h"
#include "app/modInternationalisation.h"
#include "reports/ExportFormat.h"
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTextStream>
#include <cstring>

QString ReportDirectory(const QString& applicationDirectory)
{
    return applicationDirectory + "/reports";
}

QString StylesDirectory(const QString& applicationDirectory)
{
    return applicationDirectory + "/reports/styles";
}

clsWebReport::clsWebReport(const ExportData& data, const ExportTexts& texts, const WebReportContext& context)
    : m_data(data), m_texts(texts), m_context(context)
{
}

QString clsWebReport::NothingToShowMessage()
{
    return Translate("A web page needs the table or the graph of the values: check \"display table\" or "
                     "\"display graph\". Nothing was written.");
}

int clsWebReport::RowsPerColumn(int rows, int columns)
{
    if (columns < 1)
        columns = 1;
    return rows <= 0 ? 0 : (rows + columns - 1) / columns;
}

QString clsWebReport::GraphPictureName(const QString& reportFileName)
{
    for (const char* ext : {".html", ".htm"}) {
        if (reportFileName.endsWith(ext, Qt::CaseInsensitive))
            return reportFileName.left(reportFileName.size() - int(strlen(ext))) + " graph.png";
    }
    // Any other name keeps its own and gets the suffix, so the picture never takes the page's place.
    return reportFileName + " graph.png";
}

QString clsWebReport::RefuseReportFiles(const QString& directory, const QString& fileName, bool withGraph)
{
    const QString refusal = RefuseOutputFile(QDir(directory).filePath(fileName), OutputKind::WebPage);
    if (!refusal.isEmpty() || !withGraph)
        return refusal;
    return RefuseOutputFile(QDir(directory).filePath(GraphPictureName(fileName)), OutputKind::Picture);
}

QStringList clsWebReport::StyleNames(const QString& stylesDirectory)
{
    QStringList names;
    const QString suffix = " header.htm";
    for (const QString& f : QDir(stylesDirectory).entryList({"* header.htm"}, QDir::Files, QDir::Name))
        names << f.left(f.size() - suffix.size());
    return names;
}

QString clsWebReport::DefaultFileName(const QString& formattedDeviceId, const QDate& today)
{
    return formattedDeviceId + " " + today.toString(" yyMMdd") + ".htm";
}

QString clsWebReport::LocalTimeText(const QDateTime& t) const
{
    return m_context.Format(t, m_data.DateFormat) + " " + m_context.Format(t, m_data.TimeFormat);
}

void clsWebReport::InsetTexts(QString& text) const
{
    const bool any = !m_data.rows.empty();
    const QString first = any ? LocalTimeText(m_data.rows.front().time) : QString();
    const QString last = any ? LocalTimeText(m_data.rows.back().time) : QString();
    const std::pair<const char*, QString> fields[] = {
        {"[Header]", m_data.GraphHeader},
        {"[Subheader]", m_data.ValueCaption},
        {"[Footer]", m_data.GraphFootnote},
        {"[Date]", m_context.NowText},
        {"[RecordCount]", QString::number(m_data.rows.size())},
        {"[FirstDate]", first},
        {"[LastDate]", last},
        {"[AlarmMin]", FloatText(m_data.AlarmMin) + " " + m_data.UnitText},
        {"[AlarmMax]", FloatText(m_data.AlarmMax) + " " + m_data.UnitText},
        {"[AppVersion]", m_context.AppVersion},
        {"[LocationID]", m_context.LocationID},
        {"[LocationDescription]", m_context.LocationDescription},
        {"[UserName]", m_context.UserName},
        {"[ComputerName]", m_context.ComputerName},
    };
    // One pass over the template: a text put in (a logger description, say) is never searched
    // for placeholders itself.
    QString out;
    out.reserve(text.size());
    qsizetype pos = 0;
    while (pos < text.size()) {
        const qsizetype open = text.indexOf('[', pos);
        if (open < 0)
            break;
        out += QStringView(text).mid(pos, open - pos);
        bool replaced = false;
        for (const auto& [name, value] : fields) {
            if (QStringView(text).mid(open).startsWith(QLatin1String(name), Qt::CaseSensitive)) {
                out += HtmlEscape(value);
                pos = open + qsizetype(strlen(name));
                replaced = true;
                break;
            }
        }
        if (!replaced) {
            out += '[';
            pos = open + 1;
        }
    }
    out += QStringView(text).mid(pos);
    text = out;
}

namespace {

bool readTemplate(const QString& path, QString& text, QString* error)
{
    // Only the part of a regular file that can be used is read (never a FIFO or a device).
    const RegularFileRead read = ReadRegularFile(path, qint64(clsWebReport::cstTemplateLimit) * 8, OverBound::ReadPrefix);
    if (!read.ok()) {
        if (error)
            *error = read.error == FileReadError::NotRegular ? QString("cannot read the style template %1: %2").arg(path, read.message)
                                                             : QString("cannot read the style template %1").arg(path);
        return false;
    }
    text = QString::fromUtf8(read.bytes);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text = text.left(clsWebReport::cstTemplateLimit);
    return true;
}

// The picture's name as an attribute value: characters that end a path in a URL are encoded.
QString imageSource(const QString& name)
{
    QString s = name;
    s.replace('%', "%25").replace('#', "%23").replace('?', "%3F");
    return HtmlEscape(s);
}

} // namespace

bool clsWebReport::BuildReport(const QString& directory, const QString& fileName, const WebReportOptions& options,
                               const QImage& graph, QString* error) const
{
    if (!options.Table && !options.Graph) {
        if (error)
            *error = NothingToShowMessage();
        return false;
    }
    const QString refusal = RefuseReportFiles(directory, fileName, options.Graph);
    if (!refusal.isEmpty()) {
        if (error)
            *error = refusal;
        return false;
    }
    const QString styles = options.StylesDirectory + "/";
    QSaveFile out(directory + "/" + fileName);
    if (!out.open(QIODevice::WriteOnly)) {
        if (error)
            *error = QString("cannot write %1").arg(out.fileName());
        return false;
    }
    QTextStream page(&out);
    page.setEncoding(QStringConverter::Utf8);
    auto put = [&](const QString& piece) { page << piece << "\r\n"; };

    QString header;
    if (!readTemplate(styles + options.Style + " header.htm", header, error))
        return false;
    InsetTexts(header);
    put(header);

    if (options.Graph) {
        const QString picture = GraphPictureName(fileName);
        QSaveFile pictureFile(directory + "/" + picture);
        if (graph.isNull() || !pictureFile.open(QIODevice::WriteOnly) || !graph.save(&pictureFile, "PNG")
            || !pictureFile.commit()) {
            if (error)
                *error = QString("cannot write the graph picture %1").arg(picture);
            return false;
        }
        put("<p><img src=\"" + imageSource(picture) + "\" alt=\"graph\"></p>");
    }

    // The kinetic mean, the time out of range, the share in range and the excursions, between
    // the graph and the table of the values.
    const EvidenceTable& e = m_data.Evidence;
    if (e.Valid) {
        put("<div CLASS=evidence>");
        if (e.HasMkt)
            put("<p CLASS=mkt>" + HtmlEscape(e.MktCaption()) + "</p>");
        put("<p CLASS=range>" + HtmlEscape(e.SummaryText()) + "</p>");
        put("<p CLASS=levels>" + HtmlEscape(e.LevelsText) + "</p>");
        if (e.Rows.empty()) {
            put("<p>" + HtmlEscape(Translate("no excursion beyond the alarm levels")) + "</p>");
        } else {
            put("<table CLASS=excursions border=1 cellspacing=0 cellpadding=3 style=\"margin-bottom:1em\">");
            QString heading = "<tr>";
            for (const QString& h : e.Headings)
                heading += "<th>" + HtmlEscape(h) + "</th>";
            put(heading + "</tr>");
            for (const EvidenceRow& r : e.Rows) {
                QString line = QString("<tr CLASS=%1>").arg(r.High ? "high" : "low");
                for (int i = 0; i < r.Texts.size(); ++i)   // the figures (duration, peak, degree-minutes) right-aligned
                    line += (i >= 3 ? "<td align=right>" : "<td>") + HtmlEscape(r.Texts[i]) + "</td>";
                put(line + "</tr>");
            }
            put("</table>");
            if (!e.FromBeforeNote.isEmpty())
                put("<p CLASS=frombefore>" + HtmlEscape(e.FromBeforeNote) + "</p>");
        }
        put("</div>");
    }

    if (options.Table) {
        const int rows = int(m_data.rows.size());
        const int columns = std::max(1, options.Columns);
        const int perColumn = RowsPerColumn(rows, columns);
        bool numeric = false;
        const int border = options.BorderWidth.trimmed().toInt(&numeric);
        const QString borderAttr = numeric && border > 0 ? " border=" + options.BorderWidth.trimmed() : QString();
        put("<table CLASS=outer CELLSPACING=10" + borderAttr + ">");
        put("<tr>");
        int r = 0;
        for (int k = 0; k < columns && r < rows; ++k) {
            put("<td valign=\"top\">");
            put("<table CLASS=inner" + borderAttr + ">");
            put("<tr>");
            put("<th>" + HtmlEscape(m_texts.ReportDateHeading) + "</th>");
            put("<th>" + HtmlEscape(m_data.UnitText) + "</th>");
            put("</tr>");
            for (int n = 0; n < perColumn && r < rows; ++n, ++r) {
                const ExportRow& row = m_data.rows[size_t(r)];
                QString line = "<tr><td>" + HtmlEscape(LocalTimeText(row.time)) + "</td><td>"
                               + HtmlEscape(row.text) + "</td></tr>";
                if (options.MarkExceptions) {
                    if (row.value >= m_data.AlarmMax)
                        line.replace("<td", "<td CLASS=high");
                    if (row.value <= m_data.AlarmMin)
                        line.replace("<td", "<td CLASS=low");
                }
                put(line);
            }
            put("</table>");
            put("</td>");
        }
        put("</tr>");
        put("</table>");
    }

    QString footer;
    if (!readTemplate(styles + options.Style + " footer.htm", footer, error))
        return false;
    InsetTexts(footer);
    put(footer);
    page.flush();
    if (page.status() != QTextStream::Ok || out.error() != QFile::NoError || !out.commit()) {
        if (error)
            *error = QString("cannot write %1").arg(out.fileName());
        return false;
    }
    return true;
}
