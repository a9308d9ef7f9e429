// From a real database to the files: a day of samples queried through the data display's model,
// then the spreadsheet, the document and the web page read back independently.
#include "ReportTestSupport.h"
#include "support/TestSite.h"
#include "app/modInternationalisation.h"
#include "app/modMain.h"
#include "db/Schema.h"
#include "db/clsDatabase.h"
#include "display/ChartModel.h"
#include "display/frmChart.h"
#include "app/UserInterface.h"
#include <QApplication>
#include <QClipboard>
#include <QPushButton>
#include "reports/ChartExports.h"
#include "reports/DocumentExport.h"
#include "reports/WebReport.h"
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>

namespace {

const qint32 kDevice = 2100101;

class QueryReports : public TempDatabase {
protected:
    ChartModel model;

    // 96 samples of 2 March 2026 (UTC) every 15 minutes; the value pattern runs -3.2, 7, 2.5, 9.
    void SetUp() override
    {
        TempDatabase::SetUp();
        App().Units = 0;
        App().UnitLabel = QString(QChar(176)) + "C";
        App().UtcBias = -60;
        App().ApplicationDirectory = dir.path();
        ASSERT_FALSE(db->OpenDB());
        db->ExecuteSQL("INSERT INTO rooms (RoomID, RoomDescription, RoomSequence) VALUES (1, 'cold room', 1)");
        db->ExecuteSQL("INSERT INTO devices (DeviceID, SerialNo, DeviceDescription, SampleRate, AlarmHigh, AlarmLow) "
                       "VALUES (?, '2180543', ?, 15, 8, 0)",
                       {DbValue(qint64(kDevice)), DbValue("<script>alert(1)</script>")});
        const double pattern[] = {-3.2, 7.0, 2.5, 9.0};
        const QDateTime first(QDate(2026, 3, 2), QTime(0, 0), Qt::UTC);
        db->BeginTransaction();
        for (int i = 0; i < 96; ++i)
            db->ExecuteSQL("INSERT INTO samples (DeviceID, SampleDate, SampleTemp) VALUES (?, ?, ?)",
                           {DbValue(qint64(kDevice)), DbValue(first.addSecs(i * 900).toSecsSinceEpoch()),
                            DbValue(double(float(pattern[i % 4])))});
        db->CommitTransaction(0);

        ASSERT_EQ(model.Load(*db), 1);
        ASSERT_TRUE(model.SelectDevice(kDevice));
        model.In.TZOffset = "60";   // display time = UTC + 60 minutes
        model.Window.From = QDateTime(QDate(2026, 3, 2), QTime(1, 0), Qt::UTC);
        model.Window.To = QDateTime(QDate(2026, 3, 3), QTime(0, 59, 59), Qt::UTC);
        ASSERT_TRUE(model.Update(*db));
        ASSERT_EQ(model.State.Samples.size(), 96u);
    }
};

} // namespace

TEST_F(QueryReports, SpreadsheetHoldsEveryRowAtItsDisplayTime)
{
    if (ReaderPython().isEmpty())
        GTEST_SKIP() << "python3 is not installed; the workbook cannot be read back";
    clsWorksheet sheet;
    WriteSpreadsheetExport(sheet, ExportDataFromChart(model.State), TranslatedExportTexts());
    const QString file = dir.filePath("day.xlsx");
    ASSERT_TRUE(sheet.SaveXlsx(file));
    QString message;
    const QJsonObject r = RunReader(R"PY(
import json, sys, openpyxl
ws = openpyxl.load_workbook(sys.argv[1]).active
rows = [[ws.cell(row=r, column=c).value for c in (3, 4)] for r in range(5, ws.max_row + 1)]
print(json.dumps({"title": ws["A1"].value, "rows": [[str(a), b] for a, b in rows], "max": ws.max_row}))
)PY", file, &message).object();
    ASSERT_TRUE(message.isEmpty()) << message.toStdString();
    EXPECT_EQ(r["title"].toString(), "2180543, <script>alert(1)</script>");
    const QJsonArray rows = r["rows"].toArray();
    ASSERT_EQ(rows.size(), 1 + 96);
    EXPECT_EQ(rows[0].toArray()[0].toString(), "Date");
    EXPECT_EQ(rows[1].toArray()[0].toString(), "2026-03-02 01:00:00");
    // The cell holds the decimal the stored single float stands for, not its binary remainder.
    EXPECT_DOUBLE_EQ(rows[1].toArray()[1].toDouble(), -3.2);
    EXPECT_EQ(rows[96].toArray()[0].toString(), "2026-03-03 00:45:00");
    EXPECT_DOUBLE_EQ(rows[96].toArray()[1].toDouble(), 9.0);
}

TEST_F(QueryReports, DocumentHoldsEveryRowWithDayLines)
{
    if (ReaderPython().isEmpty())
        GTEST_SKIP() << "python3 is not installed; the document cannot be read back";
    model.State.DateFormat = "DD/MM/YYYY";
    model.State.TimeFormat = "hh:nn";
    const QString file = dir.filePath("day.docx");
    QString error;
    ASSERT_TRUE(WriteDocumentExport(model.State, file, &error)) << error.toStdString();
    QString message;
    const QJsonObject r = RunReader(R"PY(
import json, sys, docx
d = docx.Document(sys.argv[1])
print(json.dumps({"lines": [p.text for p in d.paragraphs], "bold": [p.text for p in d.paragraphs if p.runs and p.runs[0].bold]}))
)PY", file, &message).object();
    ASSERT_TRUE(message.isEmpty()) << message.toStdString();
    QStringList lines;
    for (const auto& v : r["lines"].toArray())
        lines << v.toString();
    // The title block, then the kinetic mean, the time in range and the excursions, then the rows.
    const std::vector<QString> evidence = EvidenceLines(ExportDataFromChart(model.State).Evidence);
    const int e = int(evidence.size());
    ASSERT_GE(e, 2);
    ASSERT_EQ(lines.size(), 4 + e + 2 + 96 + 2);
    EXPECT_EQ(lines.mid(3, e), QStringList(evidence.begin(), evidence.end()));
    EXPECT_EQ(lines[4 + e], "02/03/2026");
    EXPECT_EQ(lines[5 + e], "01:00  -03.2");
    EXPECT_EQ(lines[6 + e], "01:15  +07.0");
    EXPECT_EQ(lines.indexOf("03/03/2026"), 4 + e + 1 + 92);   // after 23:45, the first sample of the next day
    EXPECT_EQ(lines[lines.size() - 2], "96 Records");
    EXPECT_EQ(r["bold"].toArray().size(), 2);
}

TEST_F(QueryReports, WebPageEscapesTheLoggerDescriptionAndSplitsTheTable)
{
    QDir().mkpath(dir.filePath("reports/styles"));
    const QString shipped = QString(NORDALIS_SOURCE_DIR) + "/resources/home/reports/styles/";
    QFile::copy(shipped + "standard header.htm", dir.filePath("reports/styles/standard header.htm"));
    QFile::copy(shipped + "standard footer.htm", dir.filePath("reports/styles/standard footer.htm"));
    WebReportOptions o;
    o.Style = "standard";
    o.StylesDirectory = StylesDirectory(dir.path());
    o.MarkExceptions = true;
    o.Graph = true;
    QImage graph = GraphImage(model.State, 800, 450);
    clsWebReport report(WebReportDataFromChart(model.State), TranslatedExportTexts(), CurrentWebReportContext());
    QString error;
    ASSERT_TRUE(report.BuildReport(ReportDirectory(dir.path()), "day.htm", o, graph, &error)) << error.toStdString();
    QFile f(dir.filePath("reports/day.htm"));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QString page = QString::fromUtf8(f.readAll());
    EXPECT_FALSE(page.contains("<script>"));
    EXPECT_TRUE(page.contains("<h1>2180543, &lt;script&gt;alert(1)&lt;/script&gt;</h1>"));
    EXPECT_EQ(page.count("<table CLASS=inner border=1>"), 3);
    EXPECT_EQ(page.count("<tr><td"), 96);
    // Alarm levels 8 and 0 from the logger: 9 is high, -3.2 low.
    EXPECT_EQ(page.count("<tr><td CLASS=high>"), 24);
    EXPECT_EQ(page.count("<tr><td CLASS=low>"), 24);
    EXPECT_TRUE(QFile::exists(dir.filePath("reports/day graph.png")));
    // Local times from the fixed bias of -60 minutes: the same as the display here.
    EXPECT_TRUE(page.contains("96 values from "));
}

TEST_F(QueryReports, WindowButtonsRunTheExportsOfTheirWindowSession)
{
    App().DatabaseDirectory = dir.path();
    ResetAppDatabase();
    db->SetParameter("ChartDateFrom", DbValue(QString("2026-03-02 01:00:00")));
    db->SetParameter("ChartDateTo", DbValue(QString("2026-03-02 13:00:00")));
    QDir().mkpath(ReportDirectory(dir.path()));
    QFile(ReportDirectory(dir.path()) + "/report monthly.mde").open(QIODevice::WriteOnly);
    QStringList opened;
    SetDesktopOpenerForTesting([&](const QString& p) { opened << p; return true; });
    const QString sheet = ReportDirectory(dir.path()) + "/window.xlsx";
    SetSaveFileHandler([&](const QString&, const QString&, const QString&, const QString&) { return sheet; });
    {
        frmChart w;
        w.resize(1000, 720);
        w.show();
        ASSERT_FALSE(w.State().Samples.empty());
        w.cmdExcel->click();
        w.cmdExcel->click();
        w.cmdClipBoard->click();
        EXPECT_EQ(QApplication::clipboard()->image().size(), w.Graph()->Picture().size());
        w.cmdOpenReport->click();
        w.close();
    }
    AppDatabase().CloseDB();
    ResetAppDatabase();
    SetDesktopOpenerForTesting({});
    SetSaveFileHandler({});
    EXPECT_EQ(opened, (QStringList{sheet, sheet, ReportDirectory(dir.path()) + "/report monthly.mde"}));
    if (ReaderPython().isEmpty())
        GTEST_SKIP() << "python3 is not installed; the workbook cannot be read back";
    QString message;
    const QJsonObject r = RunReader(R"PY(
import json, sys, openpyxl
ws = openpyxl.load_workbook(sys.argv[1]).active
print(json.dumps({"first": ws["A1"].value, "second": ws["E1"].value}))
)PY", sheet, &message).object();
    ASSERT_TRUE(message.isEmpty()) << message.toStdString();
    // The window keeps its header "Temperature" until a logger is clicked in the list.
    EXPECT_EQ(r["first"].toString(), "Temperature");
    EXPECT_EQ(r["second"].toString(), "Temperature");
}

// The logger's resolution comes from the steps the database keeps for its serial number; a
// logger the database knows nothing about is shown exactly; averages keep two decimals.
TEST_F(QueryReports, SpreadsheetDecimalsComeFromTheStepsKeptForTheLogger)
{
    App().DatabaseDirectory = dir.path();
    ResetAppDatabase();
    EXPECT_EQ(StoredLoggerResolution("2180543"), ValueResolution::Unknown);
    EXPECT_EQ(ExportDataFromChart(model.State).ValueDecimals, 1);   // -3.2, 7, 2.5, 9: one decimal

    db->SetParameter(LoggerStepsParameterName("2180543"), DbValue(QString("0.125")));
    EXPECT_EQ(StoredLoggerResolution("2180543"), ValueResolution::EighthDegree);
    EXPECT_EQ(ExportDataFromChart(model.State).ValueDecimals, 3);
    db->SetParameter(LoggerStepsParameterName("2180543"), DbValue(QString("rubbish")));
    EXPECT_EQ(StoredLoggerResolution("2180543"), ValueResolution::Unknown);
    // Half degrees: -3.2 lies between them (a calibrated logger), so it is shown exactly.
    db->SetParameter(LoggerStepsParameterName("2180543"), DbValue(QString("0.5")));
    EXPECT_EQ(StoredLoggerResolution("2180543"), ValueResolution::HalfDegree);
    EXPECT_EQ(ExportDataFromChart(model.State).ValueDecimals, 1);

    model.In.Kind = ChartKind::DailyAverages;
    ASSERT_TRUE(model.Update(*db));
    EXPECT_EQ(ExportDataFromChart(model.State).ValueDecimals, 2);
    AppDatabase().CloseDB();
    ResetAppDatabase();
}
