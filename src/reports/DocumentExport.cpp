#include "reports/DocumentExport.h"
#include "reports/ExportFormat.h"
#include <QFile>
#include <QFileInfo>
#include <QXmlStreamWriter>
#include <vector>
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
    c.EvidenceLines = EvidenceLines(data.Evidence);
    c.FooterDate = nowText;
    c.ProducedBy = texts.ProducedBy;
    return c;
}

std::vector<QString> EvidenceLines(const EvidenceTable& e)
{
    std::vector<QString> lines;
    if (!e.Valid)
        return lines;
    if (e.HasMkt)
        lines.push_back(e.MktCaption());
    lines.push_back(e.SummaryText());
    lines.push_back(e.LevelsText);
    for (const EvidenceRow& r : e.Rows) {
        QStringList cells;
        for (int i = 0; i < r.Texts.size() && i < e.Headings.size(); ++i)
            cells << (i == 0 ? r.Texts[i] : e.Headings[i] + " " + r.Texts[i]);
        lines.push_back(cells.join(", "));
    }
    if (!e.FromBeforeNote.isEmpty())
        lines.push_back(e.FromBeforeNote);
    return lines;
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
    for (const QString& line : c.EvidenceLines)
        writeTitle(x, line, 10, false);
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

namespace {

struct ZipPart {
    const char* name;
    QByteArray data;
    bool stored = false;   // kept uncompressed (an OpenDocument's mimetype)
};

// Writes the parts, in their order, into a new archive beside path and puts it in place.
bool writeZip(const QString& path, const std::vector<ZipPart>& parts, QString* error)
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
    // libzip reads the buffers when the archive is closed; parts outlives that.
    bool ok = true;
    for (const ZipPart& part : parts) {
        zip_source_t* src = zip_source_buffer(za, part.data.constData(), zip_uint64_t(part.data.size()), 0);
        if (!src) {
            ok = false;
            break;
        }
        const zip_int64_t index = zip_file_add(za, part.name, src, ZIP_FL_OVERWRITE | ZIP_FL_ENC_UTF_8);
        if (index < 0) {
            zip_source_free(src);
            ok = false;
            break;
        }
        if (part.stored && zip_set_file_compression(za, zip_uint64_t(index), ZIP_CM_STORE, 0) != 0) {
            ok = false;
            break;
        }
    }
    if (!ok || zip_close(za) != 0) {
        zip_discard(za);
        QFile::remove(temp);
        return fail(QString("cannot write %1").arg(path));
    }
    return ReplaceFileWith(temp, path, error);
}

// ---- OpenDocument text ------------------------------------------------------------------------

const char* const OFFICE = "urn:oasis:names:tc:opendocument:xmlns:office:1.0";
const char* const STYLE = "urn:oasis:names:tc:opendocument:xmlns:style:1.0";
const char* const TEXT = "urn:oasis:names:tc:opendocument:xmlns:text:1.0";
const char* const FO = "urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0";
const char* const SVG = "urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0";
const char* const META = "urn:oasis:names:tc:opendocument:xmlns:meta:1.0";
const char* const DC = "http://purl.org/dc/elements/1.1/";
const char* const ODF_VERSION = "1.3";

void odfNamespaces(QXmlStreamWriter& x)
{
    x.writeNamespace(OFFICE, "office");
    x.writeNamespace(STYLE, "style");
    x.writeNamespace(TEXT, "text");
    x.writeNamespace(FO, "fo");
    x.writeNamespace(SVG, "svg");
    x.writeAttribute("office:version", ODF_VERSION);
}

// Text of a paragraph: a run of blanks keeps its width (text:s), tabs and line breaks become their
// elements; characters XML cannot carry are left out.
void odfText(QXmlStreamWriter& x, const QString& text)
{
    const QString t = xmlText(text);
    QString run;
    auto flush = [&] {
        if (!run.isEmpty())
            x.writeCharacters(run);
        run.clear();
    };
    for (qsizetype i = 0; i < t.size(); ++i) {
        const QChar c = t[i];
        if (c == '\t') {
            flush();
            x.writeEmptyElement("text:tab");
        } else if (c == '\n') {
            flush();
            x.writeEmptyElement("text:line-break");
        } else if (c == '\r') {
            continue;
        } else if (c == ' ' && (i == 0 || t[i - 1] == ' ')) {
            // A blank at the start or after another blank would collapse.
            qsizetype n = 0;
            while (i < t.size() && t[i] == ' ') {
                ++n;
                ++i;
            }
            --i;
            flush();
            x.writeEmptyElement("text:s");
            if (n > 1)
                x.writeAttribute("text:c", QString::number(n));
        } else {
            run += c;
        }
    }
    flush();
}

void odfParagraph(QXmlStreamWriter& x, const char* style, const QString& text)
{
    x.writeStartElement("text:p");
    x.writeAttribute("text:style-name", style);
    odfText(x, text);
    x.writeEndElement();
}

// A paragraph style of the content: alignment, font size, bold, a rule below.
void odfParagraphStyle(QXmlStreamWriter& x, const char* name, const char* align, int points, bool bold,
                       bool lineEqualsSize, bool ruleBelow)
{
    x.writeStartElement("style:style");
    x.writeAttribute("style:name", name);
    x.writeAttribute("style:family", "paragraph");
    x.writeAttribute("style:parent-style-name", "Standard");
    x.writeEmptyElement("style:paragraph-properties");
    x.writeAttribute("fo:text-align", align);
    x.writeAttribute("fo:margin-left", "0cm");
    x.writeAttribute("fo:margin-right", "0cm");
    if (lineEqualsSize)
        x.writeAttribute("fo:line-height", QString::number(points) + "pt");
    if (ruleBelow) {
        x.writeAttribute("fo:border-bottom", "0.5pt solid #000000");
        x.writeAttribute("fo:padding-bottom", "0.05cm");
    }
    x.writeEmptyElement("style:text-properties");
    x.writeAttribute("fo:font-size", QString::number(points) + "pt");
    if (bold)
        x.writeAttribute("fo:font-weight", "bold");
    x.writeEndElement();
}

QByteArray odfContentXml(const DocumentContent& c)
{
    QByteArray out;
    QXmlStreamWriter x(&out);
    x.writeStartDocument("1.0");
    x.writeStartElement("office:document-content");
    odfNamespaces(x);
    x.writeStartElement("office:automatic-styles");
    odfParagraphStyle(x, "Title16", "center", 16, false, true, false);
    odfParagraphStyle(x, "Title14", "center", 14, false, true, false);
    odfParagraphStyle(x, "Title12", "center", 12, false, true, true);
    odfParagraphStyle(x, "Title10", "center", 10, false, true, false);
    odfParagraphStyle(x, "DayLine", "start", 8, true, false, false);
    odfParagraphStyle(x, "SampleLine", "center", 8, false, false, false);
    // The samples: 8 columns of equal width, 10 points apart, a line between them, filled one
    // after the other as in the Word document.
    x.writeStartElement("style:style");
    x.writeAttribute("style:name", "Samples");
    x.writeAttribute("style:family", "section");
    x.writeStartElement("style:section-properties");
    x.writeAttribute("text:dont-balance-text-columns", "true");
    x.writeStartElement("style:columns");
    x.writeAttribute("fo:column-count", "8");
    x.writeAttribute("fo:column-gap", "10pt");
    x.writeEmptyElement("style:column-sep");
    x.writeAttribute("style:width", "0.5pt");
    x.writeAttribute("style:color", "#000000");
    x.writeAttribute("style:height", "100%");
    x.writeAttribute("style:vertical-align", "top");
    x.writeEndElement();   // columns
    x.writeEndElement();   // section-properties
    x.writeEndElement();   // style
    x.writeEndElement();   // automatic-styles

    x.writeStartElement("office:body");
    x.writeStartElement("office:text");
    odfParagraph(x, "Title16", c.Header);
    odfParagraph(x, "Title14", c.Caption);
    odfParagraph(x, "Title12", c.ProducedLine + "\n");
    for (const QString& line : c.EvidenceLines)
        odfParagraph(x, "Title10", line);
    odfParagraph(x, "Standard", QString());
    x.writeStartElement("text:section");
    x.writeAttribute("text:style-name", "Samples");
    x.writeAttribute("text:name", "Samples");
    for (const DocumentLine& line : c.Lines)
        odfParagraph(x, line.dayLine ? "DayLine" : "SampleLine", line.text);
    odfParagraph(x, "SampleLine", c.RecordsLine);
    x.writeEndElement();   // section
    x.writeEndElement();   // text
    x.writeEndElement();   // body
    x.writeEndElement();   // document-content
    x.writeEndDocument();
    return out;
}

// A header or footer paragraph style: the tab stops of the page's middle and right edge, a rule.
void odfHeaderFooterStyle(QXmlStreamWriter& x, const char* name, const char* ruleSide, const char* fontSize)
{
    x.writeStartElement("style:style");
    x.writeAttribute("style:name", name);
    x.writeAttribute("style:family", "paragraph");
    x.writeAttribute("style:parent-style-name", "Standard");
    x.writeAttribute("style:class", "extra");
    x.writeStartElement("style:paragraph-properties");
    x.writeAttribute(QString("fo:border-") + ruleSide, "0.5pt solid #000000");
    x.writeAttribute(QString("fo:padding-") + ruleSide, "0.05cm");
    x.writeStartElement("style:tab-stops");
    x.writeEmptyElement("style:tab-stop");
    x.writeAttribute("style:position", "8.5cm");
    x.writeAttribute("style:type", "center");
    x.writeEmptyElement("style:tab-stop");
    x.writeAttribute("style:position", "17cm");
    x.writeAttribute("style:type", "right");
    x.writeEndElement();
    x.writeEndElement();
    x.writeEmptyElement("style:text-properties");
    x.writeAttribute("fo:font-size", fontSize);
    x.writeEndElement();
}

QByteArray odfStylesXml(const DocumentContent& c)
{
    QByteArray out;
    QXmlStreamWriter x(&out);
    x.writeStartDocument("1.0");
    x.writeStartElement("office:document-styles");
    odfNamespaces(x);
    x.writeStartElement("office:font-face-decls");
    x.writeEmptyElement("style:font-face");
    x.writeAttribute("style:name", "Arial");
    x.writeAttribute("svg:font-family", "Arial");
    x.writeAttribute("style:font-family-generic", "swiss");
    x.writeEndElement();

    x.writeStartElement("office:styles");
    x.writeStartElement("style:default-style");
    x.writeAttribute("style:family", "paragraph");
    x.writeEmptyElement("style:paragraph-properties");
    x.writeAttribute("fo:margin-top", "0cm");
    x.writeAttribute("fo:margin-bottom", "0cm");
    x.writeEmptyElement("style:text-properties");
    x.writeAttribute("style:font-name", "Arial");
    x.writeAttribute("fo:font-size", "10pt");
    x.writeAttribute("fo:language", "en");
    x.writeAttribute("fo:country", "GB");
    x.writeEndElement();
    x.writeEmptyElement("style:style");
    x.writeAttribute("style:name", "Standard");
    x.writeAttribute("style:family", "paragraph");
    x.writeAttribute("style:class", "text");
    odfHeaderFooterStyle(x, "Header", "bottom", "10pt");
    odfHeaderFooterStyle(x, "Footer", "top", "8pt");
    x.writeEndElement();   // styles

    // A4, the margins of the Word document: 2.5 cm above, 2 cm elsewhere, header and footer
    // 1.25 cm from the edge.
    x.writeStartElement("office:automatic-styles");
    x.writeStartElement("style:page-layout");
    x.writeAttribute("style:name", "Page");
    x.writeEmptyElement("style:page-layout-properties");
    for (auto [k, v] : {std::pair{"fo:page-width", "21cm"}, {"fo:page-height", "29.7cm"},
                        {"style:print-orientation", "portrait"}, {"fo:margin-top", "1.25cm"},
                        {"fo:margin-bottom", "1.25cm"}, {"fo:margin-left", "2cm"}, {"fo:margin-right", "2cm"}})
        x.writeAttribute(k, v);
    x.writeStartElement("style:header-style");
    x.writeEmptyElement("style:header-footer-properties");
    x.writeAttribute("fo:min-height", "0.6cm");
    x.writeAttribute("fo:margin-bottom", "0.65cm");
    x.writeEndElement();
    x.writeStartElement("style:footer-style");
    x.writeEmptyElement("style:header-footer-properties");
    x.writeAttribute("fo:min-height", "0.4cm");
    x.writeAttribute("fo:margin-top", "0.35cm");
    x.writeEndElement();
    x.writeEndElement();   // page-layout
    x.writeEndElement();   // automatic-styles

    x.writeStartElement("office:master-styles");
    x.writeStartElement("style:master-page");
    x.writeAttribute("style:name", "Standard");
    x.writeAttribute("style:page-layout-name", "Page");
    x.writeStartElement("style:header");
    odfParagraph(x, "Header", QString());
    x.writeEndElement();
    // Footer: the header text, the page number and the time of the export, with a rule above.
    x.writeStartElement("style:footer");
    x.writeStartElement("text:p");
    x.writeAttribute("text:style-name", "Footer");
    odfText(x, c.Header);
    x.writeEmptyElement("text:tab");
    x.writeStartElement("text:page-number");
    x.writeAttribute("text:select-page", "current");
    x.writeCharacters("1");
    x.writeEndElement();
    x.writeEmptyElement("text:tab");
    odfText(x, c.ProducedBy + " " + c.FooterDate);
    x.writeEndElement();   // p
    x.writeEndElement();   // footer
    x.writeEndElement();   // master-page
    x.writeEndElement();   // master-styles
    x.writeEndElement();   // document-styles
    x.writeEndDocument();
    return out;
}

QByteArray odfMetaXml(const DocumentContent& c)
{
    QByteArray out;
    QXmlStreamWriter x(&out);
    x.writeStartDocument("1.0");
    x.writeStartElement("office:document-meta");
    x.writeNamespace(OFFICE, "office");
    x.writeNamespace(META, "meta");
    x.writeNamespace(DC, "dc");
    x.writeAttribute("office:version", ODF_VERSION);
    x.writeStartElement("office:meta");
    x.writeTextElement("meta:generator", "NORDALIS");
    x.writeTextElement("dc:title", xmlText(c.Header));
    x.writeEndElement();
    x.writeEndElement();
    x.writeEndDocument();
    return out;
}

const char* const odfMimeType = "application/vnd.oasis.opendocument.text";

QByteArray odfManifestXml()
{
    QByteArray out;
    QXmlStreamWriter x(&out);
    x.writeStartDocument("1.0");
    x.writeStartElement("manifest:manifest");
    x.writeNamespace("urn:oasis:names:tc:opendocument:xmlns:manifest:1.0", "manifest");
    x.writeAttribute("manifest:version", ODF_VERSION);
    for (auto [path, type] : {std::pair{"/", odfMimeType}, {"content.xml", "text/xml"}, {"styles.xml", "text/xml"},
                              {"meta.xml", "text/xml"}}) {
        x.writeEmptyElement("manifest:file-entry");
        x.writeAttribute("manifest:full-path", path);
        if (QLatin1String(path) == QLatin1String("/"))
            x.writeAttribute("manifest:version", ODF_VERSION);
        x.writeAttribute("manifest:media-type", type);
    }
    x.writeEndElement();
    x.writeEndDocument();
    return out;
}

} // namespace

bool WriteDocx(const QString& path, const DocumentContent& content, QString* error)
{
    return writeZip(path,
                    {{"[Content_Types].xml", contentTypesXml},
                     {"_rels/.rels", packageRelsXml},
                     {"word/_rels/document.xml.rels", documentRelsXml},
                     {"word/document.xml", documentXml(content)},
                     {"word/styles.xml", stylesXml},
                     {"word/header1.xml", headerXml()},
                     {"word/footer1.xml", footerXml(content)}},
                    error);
}

bool WriteOdt(const QString& path, const DocumentContent& content, QString* error)
{
    // The mimetype comes first and uncompressed, so that a reader knows the file by its start.
    return writeZip(path,
                    {{"mimetype", odfMimeType, true},
                     {"META-INF/manifest.xml", odfManifestXml()},
                     {"content.xml", odfContentXml(content)},
                     {"styles.xml", odfStylesXml(content)},
                     {"meta.xml", odfMetaXml(content)}},
                    error);
}

DocumentKind DocumentKindOf(const QString& path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == "docx")
        return DocumentKind::Docx;
    if (suffix == "odt")
        return DocumentKind::Odt;
    return DocumentKind::Unknown;
}

bool WriteDocument(const QString& path, const DocumentContent& content, QString* error)
{
    switch (DocumentKindOf(path)) {
    case DocumentKind::Docx: return WriteDocx(path, content, error);
    case DocumentKind::Odt: return WriteOdt(path, content, error);
    case DocumentKind::Unknown: break;
    }
    if (error)
        *error = UnknownDocumentKindMessage(path);
    return false;
}

QString UnknownDocumentKindMessage(const QString& path)
{
    return QString("%1: a document is written as Word (.docx) or OpenDocument text (.odt); "
                   "the name must end in one of them").arg(QFileInfo(path).fileName());
}
