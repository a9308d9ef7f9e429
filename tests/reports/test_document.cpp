// The document export read back by python-docx (the Word document), zipfile/XML (the
// OpenDocument text) and LibreOffice (both): title block, day lines, sample lines, record
// count, the footer with its page field and rule, the header rule, the 8-column section.
#include "ReportTestSupport.h"
#include "reports/DocumentExport.h"
#include <QJsonArray>
#include <QJsonObject>
#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

const char* const kReader = R"PY(
import json, sys
import docx
from docx.oxml.ns import qn
d = docx.Document(sys.argv[1])
paras = []
for p in d.paragraphs:
    runs = p.runs
    paras.append({
        "text": p.text,
        "align": str(p.paragraph_format.alignment),
        "bold": bool(runs) and all(bool(r.bold) for r in runs),
        "size": runs[0].font.size.pt if runs and runs[0].font.size else None,
        "bottomRule": p._p.find(".//" + qn("w:bottom")) is not None,
    })
secs = []
for s in d.sections:
    cols = s._sectPr.find(qn("w:cols"))
    t = s._sectPr.find(qn("w:type"))
    secs.append({"cols": cols.get(qn("w:num")), "sep": cols.get(qn("w:sep")), "space": cols.get(qn("w:space")),
                 "type": t.get(qn("w:val")) if t is not None else ""})
s0 = d.sections[0]
footer = s0.footer._element
header = s0.header._element
fields = [f.get(qn("w:instr")) for f in footer.iter(qn("w:fldSimple"))]
print(json.dumps({"paragraphs": paras, "sections": secs,
    "footerText": "".join(t.text for t in footer.iter(qn("w:t"))),
    "footerFields": fields,
    "footerRuleAbove": footer.find(".//" + qn("w:top")) is not None,
    "headerRuleBelow": header.find(".//" + qn("w:bottom")) is not None}))
)PY";

QJsonObject exportAndRead(const ExportData& d, const QString& file)
{
    DocumentContent c = BuildDocumentContent(d, ExportTexts(), TestDateTimeFormat, "07.12.2026 02:30:00");
    QString error;
    EXPECT_TRUE(WriteDocx(file, c, &error)) << error.toStdString();
    return ReadBack(kReader, file);
}

} // namespace

TEST(DocumentExport, TitleDayLinesSampleLinesAndRecords)
{
    if (ReaderPython().isEmpty())
        GTEST_SKIP() << "python3 is not installed; the document cannot be read back";
    QTemporaryDir dir;
    // Samples across midnight: a new bold day line at the first sample of the new day.
    ExportData d = SampleExport({{"2026-03-01 23:30", -3.2}, {"2026-03-01 23:45", 7.0}, {"2026-03-02 00:00", 12.5}}, true);
    const QJsonObject r = exportAndRead(d, dir.filePath("export.docx"));
    const QJsonArray p = r["paragraphs"].toArray();
    QStringList texts;
    for (const auto& v : p)
        texts << v.toObject()["text"].toString();
    const QStringList expected = QStringList{
        "2180543,cold room <north>", "samples, (°C)", "produced by NORDALIS, alarm limit min:-40 max:80\n", "",
        "01/03/26", "23:30  -03.2", "23:45  +07.0", "02/03/26", "00:00  +12.5", "3 Records", ""};
    EXPECT_EQ(texts, expected);
    // Title block centred in 16, 14 and 12 point, a rule below the third paragraph.
    EXPECT_EQ(p[0]["size"].toDouble(), 16.0);
    EXPECT_EQ(p[1]["size"].toDouble(), 14.0);
    EXPECT_EQ(p[2]["size"].toDouble(), 12.0);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(p[i]["align"].toString(), "CENTER (1)");
    EXPECT_FALSE(p[1]["bottomRule"].toBool());
    EXPECT_TRUE(p[2]["bottomRule"].toBool());
    EXPECT_FALSE(p[3]["bottomRule"].toBool());
    // Day lines bold and left-aligned; sample lines centred, 8 point.
    EXPECT_TRUE(p[4]["bold"].toBool());
    EXPECT_EQ(p[4]["align"].toString(), "LEFT (0)");
    EXPECT_TRUE(p[7]["bold"].toBool());
    EXPECT_FALSE(p[5]["bold"].toBool());
    EXPECT_EQ(p[5]["align"].toString(), "CENTER (1)");
    EXPECT_EQ(p[5]["size"].toDouble(), 8.0);
    // Section 2 follows continuously with 8 columns, 10 point apart, a line between.
    const QJsonArray s = r["sections"].toArray();
    ASSERT_EQ(s.size(), 2);
    EXPECT_EQ(s[1]["type"].toString(), "continuous");
    EXPECT_EQ(s[1]["cols"].toString(), "8");
    EXPECT_EQ(s[1]["sep"].toString(), "1");
    EXPECT_EQ(s[1]["space"].toString(), "200");
    // Footer: page number field, rule above, header text and the time of the export.
    EXPECT_EQ(r["footerFields"].toArray().first().toString().trimmed(), "PAGE");
    EXPECT_TRUE(r["footerRuleAbove"].toBool());
    EXPECT_TRUE(r["footerText"].toString().startsWith("2180543,cold room <north>"));
    EXPECT_TRUE(r["footerText"].toString().endsWith("produced by NORDALIS 07.12.2026 02:30:00"));
    EXPECT_TRUE(r["headerRuleBelow"].toBool());
}

// An empty result, and a logger record with a control character and markup in its text.
TEST(DocumentExport, EmptyResultAndControlCharactersGiveASoundDocument)
{
    if (ReaderPython().isEmpty())
        GTEST_SKIP() << "python3 is not installed; the document cannot be read back";
    QTemporaryDir dir;
    ExportData control = SampleExport({{"2026-03-01 10:00", 5.0}}, false);
    control.GraphHeader = QString("shelf") + QChar(3) + "north & <south>";
    const std::pair<ExportData, QStringList> cases[] = {
        {SampleExport({}, false),
         {"2180543,cold room <north>", "samples, (°C)", "produced by NORDALIS\n", "", "0 Records", ""}},
        {control, {"shelfnorth & <south>", "samples, (°C)", "produced by NORDALIS\n", "", "01/03/26", "10:00  +05.0",
                   "1 Records", ""}},
    };
    for (const auto& [data, expected] : cases) {
        QStringList texts;
        for (const auto& v : exportAndRead(data, dir.filePath("case.docx"))["paragraphs"].toArray())
            texts << v.toObject()["text"].toString();
        EXPECT_EQ(texts, expected);
    }
}

namespace {

// An OpenDocument text read with zipfile and ElementTree: the package (mimetype first and
// stored, the manifest), the paragraphs with their styles, the columns of the samples' section,
// the footer and the header rule.
const char* const kOdtReader = R"PY(
import json, sys, zipfile
import xml.etree.ElementTree as ET
NS = {"office": "urn:oasis:names:tc:opendocument:xmlns:office:1.0",
      "style": "urn:oasis:names:tc:opendocument:xmlns:style:1.0",
      "text": "urn:oasis:names:tc:opendocument:xmlns:text:1.0",
      "fo": "urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0",
      "manifest": "urn:oasis:names:tc:opendocument:xmlns:manifest:1.0"}
def q(p, n): return "{%s}%s" % (NS[p], n)
def text_of(el):
    out = el.text or ""
    for c in el:
        if c.tag == q("text", "s"): out += " " * int(c.get(q("text", "c"), "1"))
        elif c.tag == q("text", "tab"): out += "\t"
        elif c.tag == q("text", "line-break"): out += "\n"
        elif c.tag == q("text", "page-number"): out += "<PAGE>"
        else: out += text_of(c)
        out += c.tail or ""
    return out
z = zipfile.ZipFile(sys.argv[1])
first = z.infolist()[0]
content = ET.fromstring(z.read("content.xml"))
auto = {s.get(q("style", "name")): s for s in content.iter(q("style", "style"))}
def para(p, in_section):
    s = auto.get(p.get(q("text", "style-name")))
    pp = s.find(q("style", "paragraph-properties")) if s is not None else None
    tp = s.find(q("style", "text-properties")) if s is not None else None
    return {"text": text_of(p), "section": in_section,
            "align": pp.get(q("fo", "text-align")) if pp is not None else "",
            "size": tp.get(q("fo", "font-size")) if tp is not None else "",
            "bold": tp is not None and tp.get(q("fo", "font-weight")) == "bold",
            "ruleBelow": pp is not None and pp.get(q("fo", "border-bottom")) is not None}
paras, columns = [], {}
for el in content.find(q("office", "body")).find(q("office", "text")):
    if el.tag == q("text", "p"):
        paras.append(para(el, False))
    elif el.tag == q("text", "section"):
        cols = auto[el.get(q("text", "style-name"))].find(".//" + q("style", "columns"))
        columns = {"count": cols.get(q("fo", "column-count")), "gap": cols.get(q("fo", "column-gap")),
                   "lineBetween": cols.find(q("style", "column-sep")) is not None}
        paras += [para(p, True) for p in el.iter(q("text", "p"))]
styles = ET.fromstring(z.read("styles.xml"))
named = {s.get(q("style", "name")): s for s in styles.iter(q("style", "style"))}
def rule(p, side):
    pp = named[p.get(q("text", "style-name"))].find(q("style", "paragraph-properties"))
    return pp.get(q("fo", "border-" + side)) is not None
master = styles.find(".//" + q("style", "master-page"))
footer = master.find(q("style", "footer")).find(q("text", "p"))
header = master.find(q("style", "header")).find(q("text", "p"))
manifest = ET.fromstring(z.read("META-INF/manifest.xml"))
print(json.dumps({
    "first": first.filename, "firstStored": first.compress_type == zipfile.ZIP_STORED,
    "firstExtra": len(first.extra), "mimetype": z.read("mimetype").decode("ascii"),
    "manifest": {e.get(q("manifest", "full-path")): e.get(q("manifest", "media-type")) for e in manifest},
    "paragraphs": paras, "columns": columns, "footerText": text_of(footer),
    "footerRuleAbove": rule(footer, "top"), "headerRuleBelow": rule(header, "bottom")}))
)PY";

// The lines LibreOffice reads from a document, without the empty ones.
QStringList libreOfficeLines(const QString& file, const QString& outDir)
{
    QStringList lines = LibreOfficeText(file, "txt", outDir).split('\n');
    lines.removeAll(QString());
    return lines;
}

} // namespace

// The same content as the Word document, as OpenDocument text: read back by zipfile/XML and by
// LibreOffice, which must see the same lines in both files.
TEST(DocumentExport, OpenDocumentTextHasTheLayoutOfTheWordDocument)
{
    if (ReaderPython().isEmpty())
        GTEST_SKIP() << "python3 is not installed; the document cannot be read back";
    QTemporaryDir dir;
    ExportData d = SampleExport({{"2026-03-01 23:30", -3.2}, {"2026-03-01 23:45", 7.0}, {"2026-03-02 00:00", 12.5}}, true);
    const DocumentContent c = BuildDocumentContent(d, ExportTexts(), TestDateTimeFormat, "07.12.2026 02:30:00");
    const QString odt = dir.filePath("export.odt");
    const QString docx = dir.filePath("export.docx");
    QString error;
    ASSERT_TRUE(WriteDocument(odt, c, &error)) << error.toStdString();
    ASSERT_TRUE(WriteDocument(docx, c, &error)) << error.toStdString();

    const QJsonObject r = ReadBack(kOdtReader, odt);
    EXPECT_EQ(r["first"].toString(), "mimetype");
    EXPECT_TRUE(r["firstStored"].toBool());
    EXPECT_EQ(r["firstExtra"].toInt(), 0);
    EXPECT_EQ(r["mimetype"].toString(), "application/vnd.oasis.opendocument.text");
    const QJsonObject manifest = r["manifest"].toObject();
    EXPECT_EQ(manifest["/"].toString(), "application/vnd.oasis.opendocument.text");
    EXPECT_EQ(manifest["content.xml"].toString(), "text/xml");
    EXPECT_EQ(manifest["styles.xml"].toString(), "text/xml");

    const QJsonArray p = r["paragraphs"].toArray();
    QStringList texts;
    for (const auto& v : p)
        texts << v.toObject()["text"].toString();
    EXPECT_EQ(texts, (QStringList{"2180543,cold room <north>", "samples, (°C)",
                                  "produced by NORDALIS, alarm limit min:-40 max:80\n", "", "01/03/26", "23:30  -03.2",
                                  "23:45  +07.0", "02/03/26", "00:00  +12.5", "3 Records"}));
    // Title block centred in 16, 14 and 12 point with a rule below the third paragraph.
    EXPECT_EQ(p[0]["size"].toString(), "16pt");
    EXPECT_EQ(p[1]["size"].toString(), "14pt");
    EXPECT_EQ(p[2]["size"].toString(), "12pt");
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(p[i]["align"].toString(), "center");
    EXPECT_FALSE(p[1]["ruleBelow"].toBool());
    EXPECT_TRUE(p[2]["ruleBelow"].toBool());
    // Day lines bold and left-aligned, sample lines centred in 8 point, all in the section.
    EXPECT_FALSE(p[3]["section"].toBool());
    for (int i : {4, 7}) {
        EXPECT_TRUE(p[i]["bold"].toBool());
        EXPECT_EQ(p[i]["align"].toString(), "start");
        EXPECT_TRUE(p[i]["section"].toBool());
    }
    EXPECT_FALSE(p[5]["bold"].toBool());
    EXPECT_EQ(p[5]["align"].toString(), "center");
    EXPECT_EQ(p[5]["size"].toString(), "8pt");
    EXPECT_EQ(r["columns"]["count"].toString(), "8");
    EXPECT_EQ(r["columns"]["gap"].toString(), "10pt");
    EXPECT_TRUE(r["columns"]["lineBetween"].toBool());
    // Footer: header text, page number, "produced by NORDALIS" and the time; rules on both parts.
    EXPECT_EQ(r["footerText"].toString(), "2180543,cold room <north>\t<PAGE>\tproduced by NORDALIS 07.12.2026 02:30:00");
    EXPECT_TRUE(r["footerRuleAbove"].toBool());
    EXPECT_TRUE(r["headerRuleBelow"].toBool());

    if (LibreOfficeProgram().isEmpty())
        GTEST_SKIP() << "LibreOffice is not installed; the documents were read by one reader only";
    const QStringList fromOdt = libreOfficeLines(odt, dir.filePath("lo-odt"));
    EXPECT_EQ(fromOdt, (QStringList{"2180543,cold room <north>", "samples, (°C)",
                                    "produced by NORDALIS, alarm limit min:-40 max:80", "01/03/26", "23:30  -03.2",
                                    "23:45  +07.0", "02/03/26", "00:00  +12.5", "3 Records"}));
    EXPECT_EQ(libreOfficeLines(docx, dir.filePath("lo-docx")), fromOdt);
}

// A document name that is neither .docx nor .odt is refused, says why, and writes nothing.
TEST(DocumentExport, AnotherEndingIsRefusedAndWritesNothing)
{
    QTemporaryDir dir;
    const DocumentContent c = BuildDocumentContent(SampleExport({{"2026-03-01 10:00", 5.0}}, false), ExportTexts(),
                                                   TestDateTimeFormat, "now");
    for (const char* name : {"x.pdf", "x.doc", "x", "x.odt.txt"}) {
        QString error;
        EXPECT_FALSE(WriteDocument(dir.filePath(name), c, &error)) << name;
        EXPECT_TRUE(error.contains(".docx") && error.contains(".odt")) << error.toStdString();
        EXPECT_TRUE(QDir(dir.path()).entryList(QDir::Files).isEmpty()) << name;
    }
    EXPECT_EQ(DocumentKindOf("week.ODT"), DocumentKind::Odt);
    EXPECT_EQ(DocumentKindOf("week.Docx"), DocumentKind::Docx);
}
