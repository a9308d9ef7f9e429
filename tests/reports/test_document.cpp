// The document export read back by python-docx: title block, day lines, sample lines, record
// count, the footer with its page field and rule, the header rule, the 8-column section.
#include "ReportTestSupport.h"
#include "reports/DocumentExport.h"
#include <QJsonArray>
#include <QJsonObject>
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
