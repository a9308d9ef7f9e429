// The terminal verbs report, export and print on an installed application directory with a
// database filled directly; bad options are refused and write nothing.
#include "ReportTestSupport.h"
#include "reports/ExportFormat.h"
#include "support/CliProcess.h"
#include <QDir>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonObject>
#include <QTemporaryDir>
#include <cmath>
#include <gtest/gtest.h>
#include <sqlite3.h>

namespace {

class CliReports : public ::testing::Test {
protected:
    static inline QTemporaryDir* home = nullptr;

    static void SetUpTestSuite()
    {
        home = new QTemporaryDir;
        const CliRun init = RunCli(*home, {"init", "--site", "21", "--description", "Depot"}, false);
        ASSERT_EQ(init.code, 0) << init.err.toStdString();
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(QFile::encodeName(home->filePath("home/data/NORDALIS.MDE")).constData(), &db), SQLITE_OK);
        QString sql = "BEGIN;"
                      "INSERT INTO rooms (RoomID, RoomDescription, RoomSequence) VALUES (1, 'cold room', 1);"
                      "INSERT INTO devices (DeviceID, SerialNo, DeviceDescription, SampleRate, AlarmHigh, AlarmLow) "
                      "VALUES (2100101, '2180543', 'shelf <b>&</b>', 15, 8, 0);";
        const qint64 first = QDateTime(QDate(2026, 3, 2), QTime(0, 0), Qt::UTC).toSecsSinceEpoch();
        const double values[] = {-3.2, 7.0, 2.5, 9.0};
        for (int i = 0; i < 10; ++i)
            sql += QString("INSERT INTO samples VALUES (2100101, %1, %2);").arg(first + i * 900).arg(values[i % 4]);
        sql += "COMMIT;";
        char* err = nullptr;
        ASSERT_EQ(sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, &err), SQLITE_OK) << (err ? err : "");
        sqlite3_close(db);
    }
    static void TearDownTestSuite()
    {
        delete home;
        home = nullptr;
    }

    // The program's output and error text together, its exit status in *rc.
    static QString runCli(const QStringList& args, int* rc)
    {
        const CliRun r = RunCli(*home, args, false);
        *rc = r.code;
        return r.out + r.err;
    }
    static QStringList selection()
    {
        return {"--device", "2100101", "--from", "2026-03-02 00:00", "--to", "2026-03-02 23:59", "--tz-offset", "0"};
    }
};

} // namespace

TEST_F(CliReports, ReportWithStyleColumnsBorderGraphAndExceptions)
{
    const QString out = home->filePath("home/reports/cli.htm");
    int rc = 0;
    const QString text = runCli(QStringList{"report"} + selection()
                                    + QStringList{"--style", "standard", "--out", out, "--graph", "--columns", "2",
                                                  "--border", "0", "--mark-exceptions"}, &rc);
    ASSERT_EQ(rc, 0) << text.toStdString();
    QFile f(out);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QString page = QString::fromUtf8(f.readAll());
    EXPECT_TRUE(page.contains("<title>2180543, shelf &lt;b&gt;&amp;&lt;/b&gt; - samples (°C)</title>"));
    EXPECT_TRUE(page.contains("<table CLASS=outer CELLSPACING=10>"));
    EXPECT_EQ(page.count("<table CLASS=inner>"), 2);
    EXPECT_EQ(page.count("<tr><td"), 10);
    EXPECT_EQ(page.count("<tr><td CLASS=high>"), 2);
    EXPECT_EQ(page.count("<tr><td CLASS=low>"), 3);
    EXPECT_TRUE(page.contains("<p><img src=\"cli graph.png\" alt=\"graph\"></p>"));
    EXPECT_FALSE(QImage(home->filePath("home/reports/cli graph.png")).isNull());
    EXPECT_TRUE(page.contains("Site 21 Depot"));

    // Without a table, only the templates and the picture.
    ASSERT_EQ(runCli(QStringList{"report"} + selection() + QStringList{"--out", out, "--no-table", "--graph"}, &rc).isEmpty(), false);
    EXPECT_EQ(rc, 0);
    f.close();
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QString graphOnly = QString::fromUtf8(f.readAll());
    EXPECT_FALSE(graphOnly.contains("<table CLASS=outer"));
    EXPECT_TRUE(graphOnly.contains("<img src="));

    // Neither table nor graph would be an empty page: refused, and the page there stays as it was.
    const QString empty = home->filePath("home/reports/empty.htm");
    const QString text2 = runCli(QStringList{"report"} + selection() + QStringList{"--out", empty, "--no-table"}, &rc);
    EXPECT_EQ(rc, 2) << text2.toStdString();
    EXPECT_TRUE(text2.contains("display table") && text2.contains("Nothing was written")) << text2.toStdString();
    EXPECT_FALSE(QFile::exists(empty));
}

TEST_F(CliReports, BadOptionsAreRefusedAndWriteNothing)
{
    const QString out = home->filePath("home/reports/bad.htm");
    int rc = 0;
    for (const QStringList& extra : {QStringList{"--columns", "11"}, {"--columns", "x"}, {"--border", "6"},
                                     {"--style", "nosuch"}, {"--size", "10x10"}, {"--unknown"}}) {
        const QString text = runCli(QStringList{"report"} + selection() + QStringList{"--out", out} + extra, &rc);
        EXPECT_EQ(rc, 2) << extra.join(' ').toStdString() << ": " << text.toStdString();
        EXPECT_FALSE(QFile::exists(out)) << extra.join(' ').toStdString();
    }
    runCli({"export", "pdf", "--out", out}, &rc);
    EXPECT_EQ(rc, 2);
    // A document goes to .docx or .odt; any other name is refused before anything is written.
    for (const char* name : {"day.pdf", "day.doc", "day"}) {
        const QString file = home->filePath(name);
        const QString said = runCli(QStringList{"export", "document"} + selection() + QStringList{"--out", file}, &rc);
        EXPECT_EQ(rc, 2) << name;
        EXPECT_TRUE(said.contains(".docx") && said.contains(".odt")) << said.toStdString();
        EXPECT_FALSE(QFile::exists(file)) << name;
    }
    runCli(QStringList{"export", "xlsx"} + selection(), &rc);
    EXPECT_EQ(rc, 2);
    const QString text = runCli({"report", "--device", "999", "--from", "2026-03-02 00:00", "--to", "2026-03-02 23:59",
                                 "--out", out}, &rc);
    EXPECT_NE(rc, 0) << text.toStdString();
    EXPECT_FALSE(QFile::exists(out));
}

TEST_F(CliReports, ExportsAndPrintout)
{
    int rc = 0;
    const QString xlsx = home->filePath("day.xlsx");
    const QString docx = home->filePath("day.docx");
    const QString pdf = home->filePath("day.pdf");
    ASSERT_EQ(runCli(QStringList{"export", "xlsx"} + selection() + QStringList{"--out", xlsx}, &rc).contains("10 rows"), true);
    EXPECT_EQ(rc, 0);
    runCli(QStringList{"export", "document"} + selection() + QStringList{"--out", docx}, &rc);
    EXPECT_EQ(rc, 0);
    const QString odt = home->filePath("day.odt");
    runCli(QStringList{"export", "document"} + selection() + QStringList{"--out", odt}, &rc);
    EXPECT_EQ(rc, 0);
    runCli(QStringList{"print"} + selection() + QStringList{"--pdf", pdf, "--landscape"}, &rc);
    EXPECT_EQ(rc, 0);
    QFile f(pdf);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_TRUE(f.read(5) == "%PDF-");

    if (ReaderPython().isEmpty())
        GTEST_SKIP() << "python3 is not installed; the exports cannot be read back";
    QString message;
    const QJsonObject x = RunReader(R"PY(
import json, sys, openpyxl
ws = openpyxl.load_workbook(sys.argv[1]).active
print(json.dumps({"heading": [ws["C5"].value, ws["D5"].value], "last": str(ws["C15"].value), "value": ws["D6"].value, "rows": ws.max_row}))
)PY", xlsx, &message).object();
    ASSERT_TRUE(message.isEmpty()) << message.toStdString();
    EXPECT_EQ(x["heading"].toArray()[0].toString(), "Date");
    EXPECT_EQ(x["heading"].toArray()[1].toString(), "°C");
    EXPECT_EQ(x["last"].toString(), "2026-03-02 02:15:00");
    EXPECT_NEAR(x["value"].toDouble(), -3.2, 1e-6);
    EXPECT_EQ(x["rows"].toInt(), 15);
    const QJsonArray lines = RunReader(R"PY(
import json, sys, docx
print(json.dumps([p.text for p in docx.Document(sys.argv[1]).paragraphs]))
)PY", docx, &message).array();
    ASSERT_TRUE(message.isEmpty()) << message.toStdString();
    // The title block, the kinetic mean, the time in range, the levels, five excursions (the first
    // already outside at the start) and the note on it, the day line, ten samples, the records
    // line and the closing paragraph.
    ASSERT_EQ(lines.size(), 4 + 9 + 1 + 10 + 2);
    EXPECT_TRUE(lines[3].toString().startsWith("MKT "));
    EXPECT_EQ(lines[5].toString(), "alarm levels 0 °C and 8 °C");
    EXPECT_EQ(lines[11].toString(), "(from before): already outside at the start of the period");
    EXPECT_TRUE(lines[14].toString().endsWith("  -03.2"));
    EXPECT_TRUE(lines[15].toString().endsWith("  +07.0"));
    EXPECT_EQ(lines[24].toString(), "10 Records");

    // The .odt is OpenDocument text, not a Word file under another name.
    const QJsonObject o = RunReader(R"PY(
import json, sys, zipfile
import xml.etree.ElementTree as ET
z = zipfile.ZipFile(sys.argv[1])
T = "{urn:oasis:names:tc:opendocument:xmlns:text:1.0}"
body = ET.fromstring(z.read("content.xml"))
print(json.dumps({"first": z.namelist()[0], "mimetype": z.read("mimetype").decode(),
                  "word": any(n.startswith("word/") for n in z.namelist()),
                  "paragraphs": len(list(body.iter(T + "p")))}))
)PY", odt, &message).object();
    ASSERT_TRUE(message.isEmpty()) << message.toStdString();
    EXPECT_EQ(o["first"].toString(), "mimetype");
    EXPECT_EQ(o["mimetype"].toString(), "application/vnd.oasis.opendocument.text");
    EXPECT_FALSE(o["word"].toBool());
    EXPECT_EQ(o["paragraphs"].toInt(), 4 + 9 + 1 + 10 + 1);
}

namespace {

// The value column (D, from row 6 on) of a workbook: each cell's number and format code.
std::vector<QJsonObject> valueColumn(const QString& file)
{
    const QJsonObject cells = XlsxNumberCells(file);
    std::vector<QJsonObject> rows;
    for (int r = 6; cells.contains(QString("D%1").arg(r)); ++r) rows.push_back(cells[QString("D%1").arg(r)].toObject());
    return rows;
}

} // namespace

// Two loggers read from the bus and stored, a DS1921H (eighths of a degree) and a DS1921G (half
// degrees): each one's spreadsheet shows its own steps exactly, in Celsius and in Fahrenheit.
TEST(CliExportResolution, ReadLoggersAreExportedInTheirOwnSteps)
{
    if (ReaderPython().isEmpty())
        GTEST_SKIP() << "python3 is not installed; the workbooks cannot be read back";
    QTemporaryDir dir;
    const auto run = [&](const QStringList& args) { return RunCli(dir, args, true); };
    ASSERT_EQ(run({"init", "--site", "1001"}).code, 0);
    ASSERT_EQ(run({"structure", "add-compartment", "--description", "proofing room"}).code, 0);
    ASSERT_EQ(run({"sim", "add-cable"}).code, 0);
    ASSERT_EQ(run({"sim", "profile", "--base", "30", "--swing", "3", "--noise", "0.4"}).code, 0);
    const std::pair<const char*, int> loggers[] = {{"H", 1}, {"G", 2}};
    for (const auto& [variant, position] : loggers) {
        const CliRun added = run({"sim", "add-logger", "--variant", variant});
        ASSERT_EQ(added.code, 0) << added.err.toStdString();
        const QString rom = added.out.trimmed().split('\n').last().trimmed();
        const CliRun programmed = run({"program", "--room", "1", "--position", QString::number(position), "--description",
                                       variant, "--rate", "10", "--low", "20", "--high", "34"});
        ASSERT_EQ(programmed.code, 0) << programmed.err.toStdString();
        ASSERT_EQ(run({"sim", "advance", "8h"}).code, 0);
        ASSERT_EQ(run({"read"}).code, 0);
        ASSERT_EQ(run({"import"}).code, 0);
        ASSERT_EQ(run({"sim", "remove", rom}).code, 0);
    }
    // What the import kept about the two loggers.
    const QString database = dir.filePath("home/data/NORDALIS.MDE");
    EXPECT_EQ(SqliteScalar(database, "SELECT COUNT(*) FROM parameters p JOIN devices d ON p.ParamName = 'LoggerSteps ' || "
                                     "d.SerialNo WHERE d.DeviceID = 100100101 AND p.ParamValue = '0.125'"), 1);
    EXPECT_EQ(SqliteScalar(database, "SELECT COUNT(*) FROM parameters p JOIN devices d ON p.ParamName = 'LoggerSteps ' || "
                                     "d.SerialNo WHERE d.DeviceID = 100100102 AND p.ParamValue = '0.5'"), 1);

    const QStringList window{"--from", "2000-01-01 00:00", "--to", "2099-12-31 23:59", "--tz-offset", "0"};
    struct Expect {
        const char* device;
        double steps;           // per degree Celsius
        const char* format;
    } expected[] = {{"100100101", 8, "+00.000;-00.000"}, {"100100102", 2, "+00.0;-00.0"}};
    for (const char* unit : {"0", "1"}) {
        ASSERT_EQ(run({"param", "set", "Units", unit}).code, 0);
        for (const Expect& e : expected) {
            const QString file = dir.filePath(QString("%1-%2.xlsx").arg(e.device, unit));
            const CliRun exported = run(QStringList{"export", "xlsx", "--device", e.device} + window + QStringList{"--out", file});
            ASSERT_EQ(exported.code, 0) << exported.err.toStdString();
            const std::vector<QJsonObject> rows = valueColumn(file);
            ASSERT_GE(rows.size(), 40u) << e.device;
            int between = 0;   // values that a coarser format would have rounded
            for (const auto& row : rows) {
                const double shown = row["value"].toDouble();
                const double celsius = QString(unit) == "1" ? (shown - 32) / 1.8 : shown;
                EXPECT_NEAR(celsius * e.steps, std::round(celsius * e.steps), 1e-6) << e.device << " " << shown;
                EXPECT_EQ(row["format"].toString(), e.format) << e.device;
                if (std::fabs(RoundedToDecimals(shown, e.steps == 8 ? 1 : 0) - shown) > 1e-9)
                    ++between;
            }
            EXPECT_GT(between, 0) << e.device << ": no value tests the decimals";
        }
    }
    // LibreOffice shows the eighths (here in Fahrenheit, 0.225 °F steps) with all three decimals.
    if (LibreOfficeProgram().isEmpty())
        return;
    const QString csv = LibreOfficeText(dir.filePath("100100101-1.xlsx"),
                                        "csv:Text - txt - csv (StarCalc):44,34,76,1,,0,false,true,true", dir.filePath("lo"));
    const std::vector<QJsonObject> rows = valueColumn(dir.filePath("100100101-1.xlsx"));
    const QStringList lines = csv.split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(size_t(lines.size()), 5 + rows.size());
    for (size_t i = 0; i < rows.size(); ++i) {
        const double v = rows[i]["value"].toDouble();
        EXPECT_EQ(lines[int(5 + i)].section(',', 3, 3), (v < 0 ? "-" : "+") + QString::number(std::fabs(v), 'f', 3));
    }
}

// The kinetic mean and the excursions in the three exports, read back independently: the
// workbook and the document with Python's zipfile and ElementTree, the web page as text. The
// logger's samples (-3.2, 7, 2.5, 9, ... every 15 min, alarm levels 0 and 8 °C) leave the range
// five times: low 00:00-00:15, high 00:45-01:00, low 01:00-01:15, high 01:45-02:00, low
// 02:00-02:15; 75 of 135 minutes out of range.
namespace {
// The script's own kinetic mean of the stored values, with dH/R 10 000 K.
const char* const kMktOfTheSamples = R"PY(
import math
temps = [[-3.2, 7.0, 2.5, 9.0][i % 4] for i in range(10)]
mkt = 10000 / -math.log(sum(math.exp(-10000 / (t + 273.15)) for t in temps) / len(temps)) - 273.15
)PY";

const char* const kWorkbookReader = R"PY(
import json, sys, zipfile
import xml.etree.ElementTree as ET
M = '{http://schemas.openxmlformats.org/spreadsheetml/2006/main}'
R = '{http://schemas.openxmlformats.org/officeDocument/2006/relationships}'
z = zipfile.ZipFile(sys.argv[1])
sheets = list(ET.fromstring(z.read('xl/workbook.xml')).iter(M + 'sheet'))
rels = {r.get('Id'): r.get('Target') for r in ET.fromstring(z.read('xl/_rels/workbook.xml.rels'))}
shared = []
if 'xl/sharedStrings.xml' in z.namelist():
    for si in ET.fromstring(z.read('xl/sharedStrings.xml')).iter(M + 'si'):
        shared.append(''.join(t.text or '' for t in si.iter(M + 't')))
cells = {}
if len(sheets) > 1:
    for c in ET.fromstring(z.read('xl/' + rels[sheets[1].get(R + 'id')])).iter(M + 'c'):
        v = c.find(M + 'v')
        if v is not None:
            cells[c.get('r')] = shared[int(v.text)] if c.get('t') == 's' else float(v.text)
print(json.dumps({'sheets': [s.get('name') for s in sheets], 'cells': cells, 'mkt': mkt}))
)PY";

const char* const kDocumentReader = R"PY(
import json, sys, zipfile
import xml.etree.ElementTree as ET
W = '{http://schemas.openxmlformats.org/wordprocessingml/2006/main}'
body = ET.fromstring(zipfile.ZipFile(sys.argv[1]).read('word/document.xml'))
paragraphs = [''.join(t.text or '' for t in p.iter(W + 't')) for p in body.iter(W + 'p')]
print(json.dumps({'paragraphs': paragraphs, 'mkt': mkt}))
)PY";
} // namespace

TEST_F(CliReports, ExportsShowTheKineticMeanAndTheExcursions)
{
    int rc = 0;
    const QString xlsx = home->filePath("home/reports/evidence.xlsx");
    QString text = runCli(QStringList{"export", "xlsx", "--out", xlsx} + selection(), &rc);
    ASSERT_EQ(rc, 0) << text.toStdString();
    const QJsonObject book = ReadBack(QString(kMktOfTheSamples) + kWorkbookReader, xlsx);
    EXPECT_EQ(book["sheets"].toArray().size(), 2);
    EXPECT_EQ(book["sheets"].toArray().at(1).toString(), "excursions");
    const QJsonObject c = book["cells"].toObject();
    // The logger, then the figures; the first excursion was already running at the start.
    EXPECT_EQ(c["A2"].toString(), "logger");
    EXPECT_EQ(c["B2"].toString(), "2180543, shelf <b>&</b>");
    EXPECT_EQ(c["A3"].toString(), "MKT");
    EXPECT_NEAR(c["B3"].toDouble(), book["mkt"].toDouble(), 0.005);
    EXPECT_EQ(c["C3"].toString(), "°C");
    EXPECT_EQ(c["A4"].toString(), "out of range");
    EXPECT_EQ(c["B4"].toDouble(), 75);
    EXPECT_NEAR(c["B5"].toDouble(), 100.0 * 60 / 135, 0.005);
    EXPECT_EQ(c["A6"].toString(), "alarm levels");
    EXPECT_EQ(c["B6"].toDouble(), 0);
    EXPECT_EQ(c["C6"].toDouble(), 8);
    EXPECT_EQ(c["A8"].toString(), "excursion");
    EXPECT_EQ(c["D8"].toString(), "duration (min)");
    EXPECT_EQ(c["G8"].toString(), "remark");
    const char* sides[] = {"low", "high", "low", "high", "low"};
    const double peaks[] = {-3.2, 9, -3.2, 9, -3.2};
    const double degreeMinutes[] = {48, 15, 48, 15, 48};
    // Spreadsheet days since 1899-12-30: 2 March 2026 is day 46083.
    const double day = QDate(1899, 12, 30).daysTo(QDate(2026, 3, 2));
    const int starts[] = {0, 45, 60, 105, 120};
    for (int i = 0; i < 5; ++i) {
        const QString row = QString::number(9 + i);
        SCOPED_TRACE(row.toStdString());
        EXPECT_EQ(c["A" + row].toString(), sides[i]);
        EXPECT_NEAR(c["B" + row].toDouble(), day + starts[i] / 1440.0, 1e-6);
        EXPECT_NEAR(c["C" + row].toDouble(), day + (starts[i] + 15) / 1440.0, 1e-6);
        EXPECT_EQ(c["D" + row].toDouble(), 15);
        EXPECT_NEAR(c["E" + row].toDouble(), peaks[i], 1e-9);
        EXPECT_NEAR(c["F" + row].toDouble(), degreeMinutes[i], 1e-9);
        EXPECT_EQ(c["G" + row].toString(), i == 0 ? "already outside at the start of the period" : "");
    }
    EXPECT_FALSE(c.contains("A14"));

    const QString docx = home->filePath("home/reports/evidence.docx");
    text = runCli(QStringList{"export", "document", "--out", docx} + selection(), &rc);
    ASSERT_EQ(rc, 0) << text.toStdString();
    const QJsonObject doc = ReadBack(QString(kMktOfTheSamples) + kDocumentReader, docx);
    QStringList paragraphs;
    for (const QJsonValue& p : doc["paragraphs"].toArray()) paragraphs << p.toString();
    EXPECT_TRUE(paragraphs.contains("MKT " + QString::number(doc["mkt"].toDouble(), 'f', 2) + " °C")) << paragraphs.join("|").toStdString();
    EXPECT_TRUE(paragraphs.contains("out of range 1:15 h, in range 44.44 %"));
    EXPECT_TRUE(paragraphs.contains("high, start 2026-03-02 00:45, end 2026-03-02 01:00, duration 0:15 h, peak (°C) 9.00, "
                                    "degree-minutes (°C·min) 15.0"));
    EXPECT_TRUE(paragraphs.contains("low, start 2026-03-02 00:00 (from before), end 2026-03-02 00:15, duration 0:15 h, "
                                    "peak (°C) -3.20, degree-minutes (°C·min) 48.0")) << paragraphs.join("|").toStdString();
    EXPECT_TRUE(paragraphs.contains("(from before): already outside at the start of the period"));

    const QString page = home->filePath("home/reports/evidence.htm");
    text = runCli(QStringList{"report"} + selection() + QStringList{"--style", "standard", "--out", page}, &rc);
    ASSERT_EQ(rc, 0) << text.toStdString();
    QFile f(page);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QString html = QString::fromUtf8(f.readAll());
    EXPECT_TRUE(html.contains("<p CLASS=mkt>MKT " + QString::number(doc["mkt"].toDouble(), 'f', 2) + " °C</p>"));
    EXPECT_TRUE(html.contains("<p CLASS=range>out of range 1:15 h, in range 44.44 %</p>"));
    EXPECT_TRUE(html.contains("<p CLASS=levels>alarm levels 0 °C and 8 °C</p>"));
    EXPECT_EQ(html.count("<tr CLASS=low>"), 3);
    EXPECT_EQ(html.count("<tr CLASS=high>"), 2);
    EXPECT_TRUE(html.contains("<td align=right>0:15 h</td><td align=right>9.00</td><td align=right>15.0</td></tr>"));
    EXPECT_FALSE(html.contains("<td>open</td>"));   // every excursion came back into range
    EXPECT_EQ(html.count(" (from before)</td>"), 1);   // local times: the hour may differ
    EXPECT_TRUE(html.contains("<p CLASS=frombefore>(from before): already outside at the start of the period</p>"));
}

// Every file a verb writes goes through the one output check: the database (by its name, a
// relative spelling or a link that looks like an export), a logger file, the backup folder, a
// folder and a name without the kind's ending are refused with exit status 2, and the program's
// files stay byte for byte as they were; a good name is still written.
TEST_F(CliReports, OutputsNeverWriteOverTheProgramsOwnFiles)
{
    const QString data = home->filePath("home/data");
    const QString database = data + "/NORDALIS.MDE";
    const QString logger = data + "/2180543 260302.dta";
    {
        QFile f(logger);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray("logger file bytes\x01\x02", 19));
    }
    auto bytes = [](const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    };
    const QByteArray databaseBefore = bytes(database), loggerBefore = bytes(logger);
    ASSERT_GT(databaseBefore.size(), 1000);

    struct Output { QStringList args; QString option; QString ending; };
    const QStringList window{"--device", "2100101", "--from", "2026-03-02 00:00", "--to", "2026-03-02 23:59"};
    const std::vector<Output> outputs{
        {QStringList{"export", "xlsx"} + selection(), "--out", "xlsx"},
        {QStringList{"export", "document"} + selection(), "--out", "docx"},
        {QStringList{"report", "--graph"} + selection(), "--out", "htm"},
        {QStringList{"report", "--pdf"} + window, "--out", "pdf"},
        {QStringList{"print"} + selection(), "--pdf", "pdf"},
        {QStringList{"graph"} + selection(), "--out", "png"},
    };
    const QDir links(home->filePath("links"));
    ASSERT_TRUE(QDir().mkpath(links.path()));
    ASSERT_TRUE(QDir().mkpath(data + "/backup"));
    for (const Output& o : outputs) {
        const QString e = o.ending;
        const QString dbLink = links.filePath("database." + e), loggerLink = links.filePath("logger." + e);
        QFile::remove(dbLink);
        QFile::remove(loggerLink);
        ASSERT_TRUE(QFile::link(database, dbLink));
        ASSERT_TRUE(QFile::link(logger, loggerLink));
        const QString folder = links.filePath("folder." + e);
        QDir().mkpath(folder);
        // name given -> what the refusal says
        const std::vector<std::pair<QString, QString>> refused{
            {database, "database file"},
            {QDir::current().relativeFilePath(data + "/../data/NORDALIS.MDE"), "database file"},
            {database + "-journal", "database file"},
            {dbLink, "database file"},
            {logger, "logger file"},
            {loggerLink, "logger file"},
            {data + "/2180543 260302.alh", "companion"},
            {data + "/backup/copy." + e, "backup folder"},
            {folder, "folder"},
            {home->filePath("noext"), "end in ." + e},
            {home->filePath("victim.dta"), "logger file"},
        };
        for (const auto& [name, reason] : refused) {
            const CliRun r = RunCli(*home, o.args + QStringList{o.option, name});
            const std::string what = (o.args.first() + " " + name).toStdString();
            EXPECT_EQ(r.code, 2) << what << ": " << r.err.toStdString();
            EXPECT_TRUE(r.err.contains(QFileInfo(name).fileName()) && r.err.contains(reason)
                        && r.err.contains("Nothing was written"))
                << what << ": " << r.err.toStdString();
            EXPECT_TRUE(r.out.isEmpty()) << what;
            EXPECT_EQ(bytes(database), databaseBefore) << what;
            EXPECT_EQ(bytes(logger), loggerBefore) << what;
            EXPECT_TRUE(QFileInfo(dbLink).isSymLink() && QFileInfo(loggerLink).isSymLink()) << what;
        }
        for (const QString& absent : {data + "/backup/copy." + e, home->filePath("noext"), home->filePath("victim.dta"),
                                      data + "/2180543 260302.alh", database + "-journal"})
            EXPECT_FALSE(QFileInfo::exists(absent)) << absent.toStdString();
        EXPECT_TRUE(QDir(folder).isEmpty());

        const QString good = home->filePath("good." + e);
        const CliRun r = RunCli(*home, o.args + QStringList{o.option, good});
        EXPECT_EQ(r.code, 0) << o.args.first().toStdString() << ": " << r.err.toStdString();
        EXPECT_GT(QFileInfo(good).size(), 100) << good.toStdString();
    }
    // The web page's graph picture goes beside the page: a picture name that is a link to the
    // database refuses the whole report.
    const QString page = links.filePath("pic.htm");
    ASSERT_TRUE(QFile::link(database, links.filePath("pic graph.png")));
    const CliRun r = RunCli(*home, QStringList{"report", "--graph"} + selection() + QStringList{"--out", page});
    EXPECT_EQ(r.code, 2) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains("pic graph.png") && r.err.contains("database file")) << r.err.toStdString();
    EXPECT_FALSE(QFileInfo::exists(page));
    EXPECT_EQ(bytes(database), databaseBefore);
}

// A database file that is no database is named as such when a verb cannot open it, not the
// portable copy's name that was never there.
TEST(CliDatabaseOpen, AnUnreadableDatabaseIsTheFileNamed)
{
    QTemporaryDir dir;
    ASSERT_EQ(RunCli(dir, {"init", "--site", "21"}).code, 0);
    QFile db(dir.filePath("home/data/NORDALIS.MDE"));
    ASSERT_TRUE(db.open(QIODevice::WriteOnly | QIODevice::Truncate));
    db.write(QByteArray(4096, 'x'));
    db.close();
    const CliRun r = RunCli(dir, {"param", "get", "Site", "0"});
    EXPECT_NE(r.code, 0);
    EXPECT_TRUE(r.err.contains("NORDALIS.MDE")) << r.err.toStdString();
    EXPECT_FALSE(r.err.contains("NORD.MDE")) << r.err.toStdString();
}
