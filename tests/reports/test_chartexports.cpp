// The data display's exports through their commands: file names confirmed in the report
// directory, the spreadsheet of one window session, report databases, the web report dialog,
// printing to PDF and the clipboard picture. No dialog appears and nothing is started.
#include "reports/ChartExportHandlers.h"
#include "ui/WindowRoutines.h"
#include "ReportTestSupport.h"
#include "app/modInternationalisation.h"
#include "app/modMain.h"
#include "reports/ChartExports.h"
#include "app/UserInterface.h"
#include "reports/frmHTM.h"
#include "db/Schema.h"
#include "db/clsDatabase.h"
#include <sqlite3.h>
#include <functional>
#include <QApplication>
#include <QClipboard>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QSet>
#include "support/Screenshots.h"
#include <QDir>
#include <QFile>
#include <QPrinter>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

// A state as the data display leaves it after a query: display times one hour behind the
// stored times (offset +60), the fixed bias of the run 120 minutes.
ChartState sampleState(int rows)
{
    ChartState s;
    s.DeviceID = 2100101;
    s.TimeZoneOffset = 60;
    s.GraphHeader = "2180543,<script>x</script>";
    s.ValueCaption = "samples, (°C)";
    s.GraphFootnote = "Graph produced by NORDALIS";
    s.UnitText = "°C";
    s.UnitLabel = "°C";
    s.TimeFormat = "hh:nn";
    s.DateFormat = "DD/MM/YYYY";
    const QDateTime first(QDate(2026, 3, 1), QTime(22, 0), Qt::UTC);
    for (int i = 0; i < rows; ++i) {
        ChartRow r;
        r.Time = first.addSecs(i * 900);
        r.DisplayTime = r.Time.addSecs(-60 * 60);
        r.Value = i % 2 ? 7.0 : -3.2;
        r.ValueText = i % 2 ? "7" : "-3.2";
        s.Samples.push_back(r);
    }
    return s;
}

class ChartExportsTest : public ::testing::Test {
protected:
    QTemporaryDir home;
    QStringList opened;
    QStringList asked;      // default names offered
    QString answer;         // the path the operator confirms ("" cancels)

    void SetUp() override
    {
        App().ApplicationDirectory = home.path();
        App().UtcBias = 120;
        App().LocationID = 21;
        App().LocationDescr = "Depot";
        SetMessageHandler([](const QString&, int, const QString&) { return int(vbOK); });
        SetDesktopOpenerForTesting([this](const QString& p) { opened << p; return true; });
        SetSaveFileHandler([this](const QString&, const QString& dir, const QString& def, const QString&) {
            asked << dir + "/" + def;
            return answer;
        });
        SetClockForTesting([] { return QDateTime(QDate(2026, 3, 7), QTime(12, 0), Qt::UTC); });
    }
    void TearDown() override
    {
        SetDesktopOpenerForTesting({});
        SetSaveFileHandler({});
        SetPrintDialogHandler({});
        SetMessageHandler({});
        SetClockForTesting({});
        App().UtcBias = 0;
    }
    QString reports() const { return home.path() + "/reports"; }
};

} // namespace

TEST_F(ChartExportsTest, ExportsUseDisplayTimesAndTheWebReportLocalTimes)
{
    const ChartState s = sampleState(2);
    const ExportData e = ExportDataFromChart(s);
    ASSERT_EQ(e.rows.size(), 2u);
    EXPECT_EQ(e.rows[0].time, QDateTime(QDate(2026, 3, 1), QTime(21, 0), Qt::UTC));
    EXPECT_EQ(e.rows[1].value, 7.0);
    EXPECT_EQ(e.rows[1].text, "7");
    const ExportData w = WebReportDataFromChart(s);
    EXPECT_EQ(w.rows[0].time, QDateTime(QDate(2026, 3, 1), QTime(20, 0), Qt::UTC));
    EXPECT_EQ(w.GraphHeader, s.GraphHeader);
}

TEST_F(ChartExportsTest, SpreadsheetOfOneWindowSessionGrowsAndIsOpened)
{
    clsChartExports exports;
    const ChartState s = sampleState(3);
    answer.clear();
    EXPECT_FALSE(exports.cmdExcel_Click(s));   // cancelled: nothing written, nothing opened
    EXPECT_TRUE(opened.isEmpty());
    ASSERT_EQ(asked.size(), 1);
    EXPECT_EQ(asked[0], reports() + "/0000021.001.01  260307.xlsx");

    answer = reports() + "/week.xlsx";
    ASSERT_TRUE(exports.cmdExcel_Click(s));
    ASSERT_TRUE(exports.cmdExcel_Click(s));
    EXPECT_EQ(asked.last(), reports() + "/week.xlsx");   // the second export offers the same file
    EXPECT_EQ(opened, (QStringList{answer, answer}));
    const clsWorksheet& ws = exports.Worksheet();
    ASSERT_NE(ws.CellAt(0, 4), nullptr);                 // second block starts at E1
    EXPECT_EQ(ws.CellAt(0, 4)->text, s.GraphHeader);
    ASSERT_NE(ws.CellAt(5, 6), nullptr);                 // its first date at G6
    EXPECT_EQ(ws.CellAt(5, 6)->time, QDateTime(QDate(2026, 3, 1), QTime(21, 0), Qt::UTC));
    EXPECT_TRUE(QFile::exists(answer));
}

TEST_F(ChartExportsTest, DocumentExportWritesTheChosenFile)
{
    clsChartExports exports;
    answer = reports() + "/doc";   // the suffix is added when missing
    ASSERT_TRUE(exports.cmdWord_Click(sampleState(2)));
    EXPECT_EQ(opened, QStringList{reports() + "/doc.docx"});
    EXPECT_GT(QFileInfo(reports() + "/doc.docx").size(), 500);
}

TEST_F(ChartExportsTest, ReportDatabasesListedAndOpened)
{
    QDir().mkpath(reports());
    for (const char* f : {"report monthly.mde", "report alarms.mde", "other.mde", "report x.txt"}) {
        QFile file(reports() + "/" + f);
        file.open(QIODevice::WriteOnly);
    }
    EXPECT_EQ(ReportDatabaseNames(reports()), (QStringList{"alarms", "monthly"}));
    clsChartExports exports;
    EXPECT_TRUE(exports.cmdOpenReport_Click("monthly"));
    EXPECT_FALSE(exports.cmdOpenReport_Click("missing"));
    EXPECT_EQ(opened, QStringList{reports() + "/report monthly.mde"});
}

TEST_F(ChartExportsTest, PrintGoesToThePrinterChosenAndCancelPrintsNothing)
{
    clsChartExports exports;
    ChartState s = sampleState(8);
    const QString pdf = home.path() + "/print.pdf";
    SetPrintDialogHandler([](QPrinter&) { return false; });
    EXPECT_FALSE(PrintChart(s, nullptr));
    SetPrintDialogHandler([&](QPrinter& p) {
        p.setOutputFormat(QPrinter::PdfFormat);
        p.setOutputFileName(pdf);
        return true;
    });
    EXPECT_FALSE(QFile::exists(pdf));
    ASSERT_TRUE(PrintChart(s, nullptr));
    QFile f(pdf);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_TRUE(f.read(5) == "%PDF-");
}

TEST_F(ChartExportsTest, ClipboardReceivesTheGraphPicture)
{
    QImage picture(120, 80, QImage::Format_RGB32);
    picture.fill(qRgb(0, 90, 0));
    clsChartExports exports;
    exports.cmdClipBoard_Click(picture);
    const QImage back = QApplication::clipboard()->image();
    EXPECT_EQ(back.size(), picture.size());
    EXPECT_EQ(back.pixel(5, 5), qRgb(0, 90, 0));
}

TEST_F(ChartExportsTest, WebReportDialogWritesIntoTheReportDirectoryAndOpensThePage)
{
    QDir().mkpath(reports() + "/styles");
    const QString shipped = QString(NORDALIS_SOURCE_DIR) + "/resources/home/reports/styles/";
    for (const char* f : {"standard header.htm", "standard footer.htm", "blue header.htm", "blue footer.htm"})
        QFile::copy(shipped + f, reports() + "/styles/" + f);
    ChartState s = sampleState(10);
    QImage graph(300, 200, QImage::Format_RGB32);
    graph.fill(Qt::white);
    frmHTM dialog(s, graph);
    EXPECT_EQ(dialog.cmbHeader->count(), 2);
    EXPECT_EQ(dialog.cmbHeader->currentText(), "blue");
    EXPECT_EQ(dialog.cmbBorderWidth->currentText(), "1");
    EXPECT_EQ(dialog.cmbColumns->currentText(), "3");
    dialog.cmbHeader->setCurrentText("standard");
    dialog.chkGraph->setChecked(true);

    // The operator browsed elsewhere: the page still goes into the report directory.
    answer = home.path() + "/elsewhere/week.htm";
    const QString page = dialog.cmdDoReport_Click();
    EXPECT_EQ(asked.last(), reports() + "/0000021.001.01  260307.htm");
    ASSERT_EQ(page, reports() + "/week.htm");
    EXPECT_EQ(opened, QStringList{page});
    EXPECT_TRUE(QFile::exists(reports() + "/week graph.png"));
    QFile f(page);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QString html = QString::fromUtf8(f.readAll());
    EXPECT_TRUE(html.contains("<h1>2180543,&lt;script&gt;x&lt;/script&gt;</h1>"));
    EXPECT_FALSE(html.contains("<script>"));
    // Local times from the fixed bias (120 minutes), not the window's offset.
    EXPECT_TRUE(html.contains("<tr><td>01/03/2026 20:00</td><td>-3.2</td></tr>"));
    EXPECT_TRUE(html.contains("10 values from 01/03/2026 20:00 to 01/03/2026 22:15"));
    EXPECT_TRUE(html.contains("Site 21 Depot"));

    answer.clear();
    opened.clear();
    EXPECT_TRUE(dialog.cmdDoReport_Click().isEmpty());
    EXPECT_TRUE(opened.isEmpty());
}

namespace {

struct ShownMessage {
    QString prompt;
    int style;
};

} // namespace

// Every export that writes says where, and says so too when no program could be started for the
// file; a document name of another kind is refused before anything is written.
TEST_F(ChartExportsTest, ExportsSayWhereTheyWroteAndWhenNothingOpensThem)
{
    std::vector<ShownMessage> shown;
    SetMessageHandler([&](const QString& prompt, int style, const QString&) {
        shown.push_back({prompt, style});
        return int(vbOK);
    });
    clsChartExports exports;
    const ChartState s = sampleState(4);
    const auto native = [](const QString& p) { return QDir::toNativeSeparators(p); };

    answer = reports() + "/week.xlsx";
    ASSERT_TRUE(exports.cmdExcel_Click(s));
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_TRUE(shown[0].prompt.contains(native(answer))) << shown[0].prompt.toStdString();
    EXPECT_EQ(shown[0].style & vbInformation, vbInformation);

    // The document as OpenDocument text, and no program to show it.
    SetDesktopOpenerForTesting([this](const QString& p) { opened << p; return false; });
    answer = reports() + "/week.odt";
    ASSERT_TRUE(exports.cmdWord_Click(s));
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_TRUE(shown[1].prompt.contains(native(answer)));
    EXPECT_TRUE(shown[1].prompt.contains("No program could be started")) << shown[1].prompt.toStdString();
    EXPECT_EQ(shown[1].style & vbExclamation, vbExclamation);
    QFile odt(answer);
    ASSERT_TRUE(odt.open(QIODevice::ReadOnly));
    EXPECT_EQ(odt.read(4), QByteArray("PK\x03\x04"));
    EXPECT_TRUE(odt.read(200).contains("mimetypeapplication/vnd.oasis.opendocument.text"));

    answer = reports() + "/week.pdf";
    EXPECT_FALSE(exports.cmdWord_Click(s));
    ASSERT_EQ(shown.size(), 3u);
    EXPECT_TRUE(shown[2].prompt.contains(".odt")) << shown[2].prompt.toStdString();
    EXPECT_FALSE(QFile::exists(answer));
    EXPECT_EQ(opened, (QStringList{reports() + "/week.xlsx", reports() + "/week.odt"}));

    QImage picture(320, 200, QImage::Format_RGB32);
    picture.fill(Qt::white);
    exports.cmdClipBoard_Click(picture);
    ASSERT_EQ(shown.size(), 4u);
    EXPECT_TRUE(shown[3].prompt.contains("clipboard") && shown[3].prompt.contains("320 x 200"))
        << shown[3].prompt.toStdString();
}

// The web report dialog: laid out as a dialog (fields at their own size, one row of buttons),
// the caption of its directory button with one blank, an empty page refused, and the place of
// the page told, also when no browser could be started.
TEST_F(ChartExportsTest, WebReportDialogRefusesAnEmptyPageAndTellsWhereThePageWent)
{
    std::vector<ShownMessage> shown;
    SetMessageHandler([&](const QString& prompt, int style, const QString&) {
        shown.push_back({prompt, style});
        return int(vbOK);
    });
    QDir().mkpath(reports() + "/styles");
    const QString shipped = QString(NORDALIS_SOURCE_DIR) + "/resources/home/reports/styles/";
    for (const char* f : {"standard header.htm", "standard footer.htm"})
        QFile::copy(shipped + f, reports() + "/styles/" + f);
    ChartState s = sampleState(10);
    QImage graph(300, 200, QImage::Format_RGB32);
    graph.fill(Qt::white);
    frmHTM dialog(s, graph);
    dialog.show();
    QApplication::processEvents();
    EXPECT_EQ(dialog.cmdOpenDirectory->text(), "View report directory");
    EXPECT_EQ(dialog.cmdDoReport->y(), dialog.cmdClose->y());
    EXPECT_LT(dialog.cmdDoReport->width(), dialog.width() / 2);
    EXPECT_LT(dialog.cmbColumns->width(), dialog.fraOptions->width() / 2);
    EXPECT_LT(dialog.cmbBorderWidth->width(), dialog.fraOptions->width() / 2);

    // Neither table nor graph: refused before the save dialog, nothing written.
    dialog.chkTable->setChecked(false);
    dialog.chkGraph->setChecked(false);
    EXPECT_TRUE(dialog.cmdDoReport_Click().isEmpty());
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_TRUE(shown[0].prompt.contains("display table") && shown[0].prompt.contains("display graph"));
    EXPECT_TRUE(asked.isEmpty());
    EXPECT_TRUE(QDir(reports()).entryList({"*.htm"}).isEmpty());

    // Written, but no browser: the message names the page (and its picture).
    dialog.chkGraph->setChecked(true);
    SetDesktopOpenerForTesting([this](const QString& p) { opened << p; return false; });
    answer = reports() + "/week.htm";
    const QString page = dialog.cmdDoReport_Click();
    ASSERT_EQ(page, reports() + "/week.htm");
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_TRUE(shown[1].prompt.contains(QDir::toNativeSeparators(page))) << shown[1].prompt.toStdString();
    EXPECT_TRUE(shown[1].prompt.contains(QDir::toNativeSeparators(reports() + "/week graph.png")));
    EXPECT_TRUE(shown[1].prompt.contains("No program could be started"));
    EXPECT_TRUE(dialog.lblStatus->text().contains(QDir::toNativeSeparators(page)));
    QApplication::processEvents();
    dialog.grab().save(ScreenshotPath("web-report-dialog-saved.png"));

    dialog.cmdOpenDirectory_Click();
    ASSERT_EQ(shown.size(), 3u);
    EXPECT_TRUE(shown[2].prompt.contains(QDir::toNativeSeparators(reports())));
}

// In German the directory button reads as the example language file has it, and the
// dialog's access keys stay apart.
TEST_F(ChartExportsTest, WebReportDialogInGerman)
{
    const QString language = home.filePath("LANGUAGE.TXT");
    ASSERT_TRUE(QFile::copy(QStringLiteral(NORDALIS_SOURCE_DIR "/resources/examples/LANGUAGE.TXT"), language));
    ASSERT_TRUE(LoadLanguageFile("/LANGUAGE.TXT"));
    ChartState s = sampleState(3);
    {
        frmHTM dialog(s, QImage());
        EXPECT_EQ(dialog.cmdOpenDirectory->text(), "Berichtsordner anzeigen");
        QStringList keys;
        for (QWidget* w : dialog.findChildren<QWidget*>()) {
            QString text;
            if (auto* l = qobject_cast<QLabel*>(w))
                text = l->text();
            else if (auto* b = qobject_cast<QAbstractButton*>(w))
                text = b->text();
            const qsizetype amp = text.indexOf('&');
            if (amp >= 0 && amp + 1 < text.size())
                keys << text.mid(amp + 1, 1).toLower();
        }
        EXPECT_EQ(keys.size(), QSet<QString>(keys.begin(), keys.end()).size()) << keys.join(' ').toStdString();
        dialog.show();
        QApplication::processEvents();
        dialog.grab().save(ScreenshotPath("web-report-dialog-de.png"));
    }
    UnloadLanguage();
}

// The data display's save paths go through the one output check: a name that is the database
// (by name, through ".." or through a link named like an export), a logger file, the backup
// folder or has no fitting ending is refused with a message naming it, and nothing is written;
// the database and the logger file stay byte for byte as they were. A good name is written.
TEST_F(ChartExportsTest, SavePathsNeverWriteOverTheProgramsOwnFiles)
{
    const AppState kept = App();
    const QString data = home.path() + "/data";
    App().DataDirectory = App().DatabaseDirectory = data;
    App().BackupDirectory = data + "/backup";
    QDir().mkpath(App().BackupDirectory);
    QDir().mkpath(reports() + "/styles");
    const QString shipped = QString(NORDALIS_SOURCE_DIR) + "/resources/home/reports/styles/";
    for (const char* f : {"standard header.htm", "standard footer.htm"})
        QFile::copy(shipped + f, reports() + "/styles/" + f);
    const QString database = data + "/NORDALIS.MDE", logger = data + "/2180543 260302.dta";
    ASSERT_TRUE(CreateDatabaseFile(database, nullptr));
    {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(QFile::encodeName(database).constData(), &db), SQLITE_OK);
        QString sql = "INSERT INTO devices (DeviceID, SerialNo, DeviceDescription, SampleRate, AlarmHigh, AlarmLow) "
                      "VALUES (2100101, '2180543', 'shelf', 15, 8, 0);";
        for (const ChartRow& r : sampleState(6).Samples)
            sql += QString("INSERT INTO samples VALUES (2100101, %1, %2);").arg(r.Time.toSecsSinceEpoch()).arg(r.Value);
        EXPECT_EQ(sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(db);
    }
    ResetAppDatabase();
    {
        QFile f(logger);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("logger file bytes");
    }
    auto bytes = [](const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    };
    const QByteArray databaseBefore = bytes(database), loggerBefore = bytes(logger);
    QStringList messages;
    SetMessageHandler([&](const QString& prompt, int, const QString&) {
        messages << prompt;
        return int(vbOK);
    });

    ChartState s = sampleState(6);
    s.WindowFrom = s.Samples.front().Time;
    s.WindowTo = s.Samples.back().Time;
    clsChartExports exports;
    frmHTM page(s, QImage(300, 200, QImage::Format_RGB32));
    page.chkGraph->setChecked(true);
    const std::vector<std::pair<QString, std::function<bool()>>> commands{
        {"xlsx", [&] { return exports.cmdExcel_Click(s); }},
        {"docx", [&] { return exports.cmdWord_Click(s); }},
        {"pdf", [&] { return exports.cmdMissionReport_Click(s); }},
        {"htm", [&] { return !page.cmdDoReport_Click().isEmpty(); }},
    };
    for (const auto& [ending, command] : commands) {
        // The web page always goes into the report directory: its links live there.
        const QString links = ending == "htm" ? reports() : home.path() + "/links";
        QDir().mkpath(links);
        const QString dbLink = links + "/database." + ending, loggerLink = links + "/logger." + ending;
        ASSERT_TRUE(QFile::link(database, dbLink));
        ASSERT_TRUE(QFile::link(logger, loggerLink));
        std::vector<std::pair<QString, QString>> refused{
            {dbLink, "database file"},
            {loggerLink, "logger file"},
            {data + "/../data/NORDALIS.MDE", "database file"},
            {logger, "logger file"},
            {data + "/NORDALIS.MDE-wal", "database file"},
        };
        if (ending != "htm")
            refused.insert(refused.end(), {{App().BackupDirectory + "/copy." + ending, "backup folder"},
                                           {home.path() + "/victim.MDE", "database file"}});
        for (const auto& [name, reason] : refused) {
            answer = name;
            messages.clear();
            opened.clear();
            EXPECT_FALSE(command()) << ending.toStdString() << " " << name.toStdString();
            EXPECT_TRUE(opened.isEmpty());
            ASSERT_FALSE(messages.isEmpty()) << name.toStdString();
            EXPECT_TRUE(messages.last().contains(QFileInfo(name).fileName()) && messages.last().contains(reason)
                        && messages.last().contains("Nothing was written"))
                << messages.last().toStdString();
            EXPECT_EQ(bytes(database), databaseBefore) << ending.toStdString() << " " << name.toStdString();
            EXPECT_EQ(bytes(logger), loggerBefore) << ending.toStdString() << " " << name.toStdString();
            EXPECT_TRUE(QFileInfo(dbLink).isSymLink());
        }
        EXPECT_FALSE(QFileInfo::exists(App().BackupDirectory + "/copy." + ending));
        EXPECT_FALSE(QFileInfo::exists(home.path() + "/victim.MDE"));
        answer = home.path() + "/good." + ending;
        opened.clear();
        EXPECT_TRUE(command()) << ending.toStdString() << ": " << messages.join('|').toStdString();
        EXPECT_EQ(opened.size(), 1);
    }

    // Printing into a file: the same check on the file the printer dialog names.
    const QString pdfLink = home.path() + "/links/print.pdf";
    ASSERT_TRUE(QFile::link(database, pdfLink));
    SetPrintDialogHandler([&](QPrinter& p) {
        p.setOutputFormat(QPrinter::PdfFormat);
        p.setOutputFileName(pdfLink);
        return true;
    });
    messages.clear();
    EXPECT_FALSE(PrintChart(s, nullptr));
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].contains("print.pdf") && messages[0].contains("database file")) << messages[0].toStdString();
    EXPECT_EQ(bytes(database), databaseBefore);

    // A name without an ending gets the kind's ending.
    answer = home.path() + "/plain";
    EXPECT_TRUE(exports.cmdExcel_Click(s));
    EXPECT_TRUE(QFile::exists(home.path() + "/plain.xlsx"));
    ResetAppDatabase();
    App() = kept;
}
