#include "reports/DocumentExport.h"
#include "reports/ExportFormat.h"
#include <QFile>
#include <QXmlStreamWriter>
#include <list>
#include <zip.h>

DocumentContent BuildDocumentContent(const ExportData& data, const ExportTexts& texts,
                                     const DateTimeFormatter& format, const QString& nowText)
{
    DocumentContent c;
    c.Header = data.GraphHeader;
    c.Caption = data.ValueCaption;
    c.ProducedLine = texts.ProducedBy;
    if (data.ShowAlarms)
        c.ProducedLine += texts.CommaAlarmLimitMin + FloatText(data.AlarmMin) + texts.Max
                          + FloatText(data.AlarmMax);
    QDate lastDay;
    for (size_t i = 0; i < data.rows.size(); ++i) {
        const ExportRow& r = data.rows[i];
        if (i == 0 || r.time.date() != lastDay)
            c.Lines.push_back({true, format(r.time, data.DateFormat)});
        lastDay = r.time.date();
        c.Lines.push_back({false, format(r.time, data.TimeFormat) + "  " + FormatSignedValue(r.value)});
    }
    c.RecordsLine = QString::number(data.rows.size()) + texts.Records;
    c.FooterDate = nowText;
    c.ProducedBy = texts.ProducedBy;
    return c;
}

namespace {

const char* const W = "http://schemas.openxmlformats.org/wordprocessingml/2006/main";
const char* const R = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";

// Characters that XML cannot carry at all (control codes such as the record separator of a
// logger's identity record) are left out; everything else is escaped by the writer.
QString xmlText(const QString& text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        if (c.unicode() >= 0x20 || c == '\t' || c == '\n' || c == '\r')
            out += c;
    }
    return out;
}

// Text runs keep their blanks ("12:30  +07.0" has two).
void writeRun(QXmlStreamWriter& x, const QString& text, int halfPoints = 0, bool bold = false)
{
    x.writeStartElement("w:r");
    if (halfPoints > 0 || bold) {
        x.writeStartElement("w:rPr");
        if (bold)
            x.writeEmptyElement("w:b");
        if (halfPoints > 0) {
            x.writeEmptyElement("w:sz");
            x.writeAttribute("w:val", QString::number(halfPoints));
            x.writeEmptyElement("w:szCs");
            x.writeAttribute("w:val", QString::number(halfPoints));
        }
        x.writeEndElement();
    }
    x.writeStartElement("w:t");
    x.writeAttribute("xml:space", "preserve");
    x.writeCharacters(xmlText(text));
    x.writeEndElement();
    x.writeEndElement();
}

void writeBorder(QXmlStreamWriter& x, const char* side)
{
    x.writeStartElement("w:pBdr");
    x.writeEmptyElement(QString("w:") + side);
    x.writeAttribute("w:val", "single");
    x.writeAttribute("w:sz", "4");
    x.writeAttribute("w:space", "1");
    x.writeAttribute("w:color", "auto");
    x.writeEndElement();
}

// Centred title paragraph with the line spacing equal to its font size.
void writeTitle(QXmlStreamWriter& x, const QString& text, int points, bool ruleBelow)
{
    x.writeStartElement("w:p");
    x.writeStartElement("w:pPr");
    if (ruleBelow)
        writeBorder(x, "bottom");
    x.writeEmptyElement("w:spacing");
    x.writeAttribute("w:after", "0");
    x.writeAttribute("w:line", QString::number(points * 20));
    x.writeAttribute("w:lineRule", "exact");
    x.writeEmptyElement("w:jc");
    x.writeAttribute("w:val", "center");
    x.writeEndElement();
    writeRun(x, text, points * 2);
    if (ruleBelow) {
        x.writeStartElement("w:r");
        x.writeEmptyElement("w:br");
        x.writeEndElement();
    }
    x.writeEndElement();
}

void writeDataParagraph(QXmlStreamWriter& x, const QString& text, bool dayLine)
{
    x.writeStartElement("w:p");
    x.writeStartElement("w:pPr");
    x.writeEmptyElement("w:spacing");
    x.writeAttribute("w:after", "0");
    x.writeEmptyElement("w:ind");
    x.writeAttribute("w:left", "0");
    x.writeAttribute("w:right", "0");
    x.writeEmptyElement("w:jc");
    x.writeAttribute("w:val", dayLine ? "left" : "center");
    x.writeEndElement();
    if (!text.isEmpty())
        writeRun(x, text, 16, dayLine);
    x.writeEndElement();
}

void writeSectionProperties(QXmlStreamWriter& x, bool continuous, int columns)
{
    x.writeStartElement("w:sectPr");
    x.writeEmptyElement("w:headerReference");
    x.writeAttribute("w:type", "default");
    x.writeAttribute("r:id", "rIdHeader1");
    x.writeEmptyElement("w:footerReference");
    x.writeAttribute("w:type", "default");
    x.writeAttribute("r:id", "rIdFooter1");
    if (continuous) {
        x.writeEmptyElement("w:type");
        x.writeAttribute("w:val", "continuous");
    }
    x.writeEmptyElement("w:pgSz");
    x.writeAttribute("w:w", "11906");
    x.writeAttribute("w:h", "16838");
    x.writeEmptyElement("w:pgMar");
    for (auto [k, v] : {std::pair{"w:top", "1417"}, {"w:right", "1134"}, {"w:bottom", "1134"},
                        {"w:left", "1134"}, {"w:header", "708"}, {"w:footer", "708"}, {"w:gutter", "0"}})
        x.writeAttribute(k, v);
    x.writeEmptyElement("w:cols");
    if (columns > 1) {
        x.writeAttribute("w:num", QString::number(columns));
        x.writeAttribute("w:space", "200");   // 10 points
        x.writeAttribute("w:sep", "1");
        x.writeAttribute("w:equalWidth", "1");
    } else {
        x.writeAttribute("w:space", "708");
    }
    x.writeEndElement();
}

QByteArray documentXml(const DocumentContent& c)
{
    QByteArray out;
    QXmlStreamWriter x(&out);
    x.writeStartDocument("1.0", true);
    x.writeStartElement("w:document");
    x.writeNamespace(W, "w");
    x.writeNamespace(R, "r");
    x.writeStartElement("w:body");

    writeTitle(x, c.Header, 16, false);
    writeTitle(x, c.Caption, 14, false);
    writeTitle(x, c.ProducedLine, 12, true);
    // The paragraph after the title block carries no border and ends the first section.
    x.writeStartElement("w:p");
    x.writeStartElement("w:pPr");
    writeSectionProperties(x, false, 1);
    x.writeEndElement();
    x.writeEndElement();

    for (const DocumentLine& line : c.Lines)
        writeDataParagraph(x, line.text, line.dayLine);
    writeDataParagraph(x, c.RecordsLine, false);
    writeDataParagraph(x, QString(), false);

    writeSectionProperties(x, true, 8);
    x.writeEndElement();   // body
    x.writeEndElement();   // document
    x.writeEndDocument();
    return out;
}

// A header or footer part: one paragraph of the given style with a rule on one side.
template <typename Contents>
QByteArray headerFooterXml(const char* part, const char* style, const char* ruleSide, Contents contents)
{
    QByteArray out;
    QXmlStreamWriter x(&out);
    x.writeStartDocument("1.0", true);
    x.writeStartElement(part);
    x.writeNamespace(W, "w");
    x.writeStartElement("w:p");
    x.writeStartElement("w:pPr");
    x.writeEmptyElement("w:pStyle");
    x.writeAttribute("w:val", style);
    writeBorder(x, ruleSide);
    x.writeEndElement();
    contents(x);
    x.writeEndElement();
    x.writeEndElement();
    x.writeEndDocument();
    return out;
}

void writeTab(QXmlStreamWriter& x)
{
    x.writeStartElement("w:r");
    x.writeEmptyElement("w:tab");
    x.writeEndElement();
}

QByteArray headerXml()
{
    return headerFooterXml("w:hdr", "Header", "bottom", [](QXmlStreamWriter&) {});
}

// Footer: the header text, the page number and the time of the export, with a rule above.
QByteArray footerXml(const DocumentContent& c)
{
    return headerFooterXml("w:ftr", "Footer", "top", [&c](QXmlStreamWriter& x) {
        writeRun(x, c.Header);
        writeTab(x);
        x.writeStartElement("w:fldSimple");
        x.writeAttribute("w:instr", " PAGE ");
        writeRun(x, "1");
        x.writeEndElement();
        writeTab(x);
        writeRun(x, c.ProducedBy + " " + c.FooterDate);
    });
}

const char* const stylesXml =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
    "<w:styles xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\">"
    "<w:docDefaults><w:rPrDefault><w:rPr><w:rFonts w:ascii=\"Arial\" w:hAnsi=\"Arial\" w:cs=\"Arial\" w:eastAsia=\"Arial\"/>"
    "<w:sz w:val=\"20\"/><w:szCs w:val=\"20\"/><w:lang w:val=\"en-GB\"/></w:rPr></w:rPrDefault>"
    "<w:pPrDefault><w:pPr><w:spacing w:after=\"0\" w:line=\"240\" w:lineRule=\"auto\"/></w:pPr></w:pPrDefault></w:docDefaults>"
    "<w:style w:type=\"paragraph\" w:default=\"1\" w:styleId=\"Normal\"><w:name w:val=\"Normal\"/><w:qFormat/></w:style>"
    "<w:style w:type=\"paragraph\" w:styleId=\"Header\"><w:name w:val=\"header\"/><w:basedOn w:val=\"Normal\"/>"
    "<w:pPr><w:tabs><w:tab w:val=\"center\" w:pos=\"4819\"/><w:tab w:val=\"right\" w:pos=\"9638\"/></w:tabs></w:pPr></w:style>"
    "<w:style w:type=\"paragraph\" w:styleId=\"Footer\"><w:name w:val=\"footer\"/><w:basedOn w:val=\"Normal\"/>"
    "<w:pPr><w:tabs><w:tab w:val=\"center\" w:pos=\"4819\"/><w:tab w:val=\"right\" w:pos=\"9638\"/></w:tabs></w:pPr>"
    "<w:rPr><w:sz w:val=\"16\"/></w:rPr></w:style>"
    "</w:styles>";

const char* const contentTypesXml =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
    "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
    "<Default Extension=\"rels\" ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
    "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
    "<Override PartName=\"/word/document.xml\" ContentType=\"application/vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml\"/>"
    "<Override PartName=\"/word/styles.xml\" ContentType=\"application/vnd.openxmlformats-officedocument.wordprocessingml.styles+xml\"/>"
    "<Override PartName=\"/word/header1.xml\" ContentType=\"application/vnd.openxmlformats-officedocument.wordprocessingml.header+xml\"/>"
    "<Override PartName=\"/word/footer1.xml\" ContentType=\"application/vnd.openxmlformats-officedocument.wordprocessingml.footer+xml\"/>"
    "</Types>";

const char* const packageRelsXml =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
    "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
    "<Relationship Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument\" Target=\"word/document.xml\"/>"
    "</Relationships>";

const char* const documentRelsXml =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
    "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
    "<Relationship Id=\"rIdStyles\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/styles\" Target=\"styles.xml\"/>"
    "<Relationship Id=\"rIdHeader1\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/header\" Target=\"header1.xml\"/>"
    "<Relationship Id=\"rIdFooter1\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/footer\" Target=\"footer1.xml\"/>"
    "</Relationships>";

} // namespace

bool WriteDocx(const QString& path, const DocumentContent& content, QString* error)
{
    auto fail = [&](const QString& message) {
        if (error)
            *error = message;
        return false;
    };
    const QString temp = path + ".part";
    QFile::remove(temp);
    int zerr = 0;
    zip_t* za = zip_open(QFile::encodeName(temp).constData(), ZIP_CREATE | ZIP_TRUNCATE, &zerr);
    if (!za)
        return fail(QString("cannot create %1").arg(temp));

    // libzip reads the buffers when the archive is closed; they must live until then.
    std::list<QByteArray> parts;
    auto add = [&](const char* name, QByteArray data) {
        parts.push_back(std::move(data));
        zip_source_t* src = zip_source_buffer(za, parts.back().constData(), zip_uint64_t(parts.back().size()), 0);
        if (!src)
            return false;
        if (zip_file_add(za, name, src, ZIP_FL_OVERWRITE | ZIP_FL_ENC_UTF_8) < 0) {
            zip_source_free(src);
            return false;
        }
        return true;
    };
    const bool ok = add("[Content_Types].xml", contentTypesXml) && add("_rels/.rels", packageRelsXml)
                    && add("word/_rels/document.xml.rels", documentRelsXml)
                    && add("word/document.xml", documentXml(content)) && add("word/styles.xml", stylesXml)
                    && add("word/header1.xml", headerXml()) && add("word/footer1.xml", footerXml(content));
    if (!ok) {
        zip_discard(za);
        QFile::remove(temp);
        return fail(QString("cannot write %1").arg(path));
    }
    if (zip_close(za) != 0) {
        zip_discard(za);
        QFile::remove(temp);
        return fail(QString("cannot write %1").arg(path));
    }
    return ReplaceFileWith(temp, path, error);
}
