// The terminal verbs report, export and print on an installed application directory with a
// database filled directly; bad options are refused and write nothing.
#include "ReportTestSupport.h"
#include "support/CliProcess.h"
#include <QDir>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonObject>
#include <QTemporaryDir>
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
    ASSERT_EQ(runCli(QStringList{"report"} + selection() + QStringList{"--out", out, "--no-table"}, &rc).isEmpty(), false);
    EXPECT_EQ(rc, 0);
    f.close();
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_FALSE(QString::fromUtf8(f.readAll()).contains("<table"));
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
    ASSERT_EQ(lines.size(), 4 + 1 + 10 + 2);
    EXPECT_TRUE(lines[5].toString().endsWith("  -03.2"));
    EXPECT_TRUE(lines[6].toString().endsWith("  +07.0"));
    EXPECT_EQ(lines[15].toString(), "10 Records");
}
