// The application directory on a real SQLite file: installation, parameters across restarts,
// the unit setting, and the due list computed from table devices.
#include "reading/frmDownloadMain.h"
#include "reading/DueList.h"
#include "desktop/Installer.h"
#include "desktop/Startup.h"
#include "app/modInternationalisation.h"
#include "app/modMain.h"
#include "app/modRegistry.h"
#include "cli/Cli.h"
#include "db/clsDatabase.h"
#include "image/clsDS1921Data.h"
#include <QApplication>
#include <QFile>
#include <QTreeWidget>
#include <QLockFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {
struct SiteFixture : ::testing::Test {
    QTemporaryDir dir;
    QString home() const { return dir.filePath("home"); }
    void SetUp() override
    {
        SetRegistryFile(dir.filePath("registry.ini"));
        SetMessageHandler([](const QString& p, int, const QString& t) {
            ADD_FAILURE() << "unexpected message: " << t.toStdString() << ": " << p.toStdString();
            return int(vbOK);
        });
        start();
    }
    void start()
    {
        CliGlobals g;
        g.home = home();
        QString errText;
        QTextStream err(&errText);
        ASSERT_TRUE(InitTerminalApplication(g, err)) << errText.toStdString();
        App().UtcBias = 0;
    }
    void restart()
    {
        ResetAppDatabase();
        App().LocationID = -1;
        start();
    }
    void TearDown() override
    {
        ResetAppDatabase();
        SetClockForTesting(nullptr);
        SetMessageHandler(nullptr);
        SetRegistryFile(QString());
    }
};

QString run(const QStringList& args, int* rc, QString* err = nullptr)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    p.setProcessEnvironment(env);
    p.start(NORDALIS_CLI, args);
    p.waitForFinished(60000);
    *rc = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    if (err) *err = QString::fromUtf8(p.readAllStandardError());
    return QString::fromUtf8(p.readAllStandardOutput());
}
} // namespace

TEST_F(SiteFixture, FirstRunInstallsTheApplicationDirectory)
{
    EXPECT_TRUE(QFile::exists(home() + "/data/NORDALIS.MDE"));
    EXPECT_TRUE(IsDirectory(home() + "/data/backup"));
    EXPECT_TRUE(IsDirectory(home() + "/reports/styles"));
    EXPECT_TRUE(QFile::exists(home() + "/NORDALIS.htm"));
    EXPECT_TRUE(QFile::exists(home() + "/nordalis.bmp"));
    EXPECT_FALSE(QFile::exists(home() + "/LANGUAGE.TXT"));
    EXPECT_EQ(App().DatabaseDirectory, home() + "/data");
    EXPECT_EQ(App().BackupDirectory, home() + "/data/backup");
    EXPECT_EQ(App().SplashPicture, home() + "/nordalis.bmp");
    EXPECT_EQ(App().LocationID, -1);
    // A second installation keeps what is there: the database and an edited help page.
    AppDatabase().SetParameter("LocationID", DbValue(77));
    ResetAppDatabase();
    QFile help(home() + "/NORDALIS.htm");
    ASSERT_TRUE(help.open(QIODevice::WriteOnly));
    help.write("edited");
    help.close();
    QString error;
    ASSERT_TRUE(InstallApplicationDirectory(home(), &error)) << error.toStdString();
    restart();
    EXPECT_EQ(App().LocationID, 77);
    QFile again(home() + "/NORDALIS.htm");
    ASSERT_TRUE(again.open(QIODevice::ReadOnly));
    EXPECT_EQ(again.readAll(), QByteArray("edited"));
}

TEST_F(SiteFixture, ParametersAndUnitsSurviveARestart)
{
    clsDatabase& db = AppDatabase();
    EXPECT_EQ(db.Parameter("LocationID", "-1"), "-1");
    EXPECT_EQ(db.Parameter("ReadHoursBeforeOverflow", "48"), "48");
    db.SetParameter("LocationID", DbValue(1234));
    db.SetParameter("LocationDescr", DbValue(QString("Cold store \"North\"; 'A'")));
    db.SetParameter("ReadHoursBeforeOverflow", DbValue(QString("72")));
    int code = 5;
    SetUnits(code);
    EXPECT_EQ(code, 0);
    EXPECT_EQ(App().UnitLabel, QString(QChar(176)) + "C");
    code = 1;
    SetUnits(code);
    EXPECT_EQ(App().UnitLabel, QString(QChar(176)) + "F");
    restart();
    EXPECT_EQ(App().LocationID, 1234);
    EXPECT_EQ(App().LocationDescr, "Cold store \"North\"; 'A'");
    EXPECT_EQ(App().ReadHoursBeforeOverflow, 72);
    EXPECT_EQ(App().Units, 1);
    EXPECT_EQ(App().UnitLabel, QString(QChar(176)) + "F");
    EXPECT_EQ(App().ClipTempLower, -40.0f);
    EXPECT_EQ(AppDatabase().Parameter("Units", "x"), "1");
}

TEST(DueListHours, HourBoundariesLikeTheClock)
{
    const QDateTime t(QDate(2024, 3, 1), QTime(10, 59, 59), Qt::UTC);
    EXPECT_EQ(HourBoundaries(t, t.addSecs(1)), 1);
    EXPECT_EQ(HourBoundaries(t.addSecs(-3599), t), 0);
    EXPECT_EQ(HourBoundaries(t, t.addSecs(-3600)), -1);
    EXPECT_EQ(HourBoundaries(t, t.addSecs(47 * 3600)), 47);
    EXPECT_EQ(HourBoundaries(QDateTime(QDate(1969, 12, 31), QTime(23, 30), Qt::UTC),
                             QDateTime(QDate(1970, 1, 1), QTime(0, 10), Qt::UTC)), 1);
}

TEST_F(SiteFixture, DueListClassifiesAndKeepsLoggersWithoutCompartment)
{
    const QDateTime now(QDate(2024, 3, 1), QTime(10, 30, 0), Qt::UTC);
    SetClockForTesting([now] { return now; });
    clsDatabase& db = AppDatabase();
    db.ExecuteSQL("INSERT INTO rooms (RoomID, RoomDescription, RoomSequence) VALUES (1, 'Freezer', 3), (2, 'Dairy', 1)");
    auto add = [&](int id, const QString& serial, const QString& descr, int hoursAhead, bool running) {
        db.ExecuteSQL("INSERT INTO devices (DeviceID, SerialNo, DeviceDescription, DateRead, NextReading, MissionRunning) "
                      "VALUES (?, ?, ?, ?, ?, ?)",
                      {DbValue(id), DbValue(serial), DbValue(descr), DbValue(now.addDays(-3)),
                       DbValue(now.addSecs(qint64(hoursAhead) * 3600)), DbValue(running)});
    };
    add(123400101, "0000000001", "door", 47, true);
    add(123400102, "0000000002", "back wall", 48, true);
    add(123400201, "0000000003", "shelf", -1, true);
    add(123400705, "0000000004", "no compartment", 10, true);   // compartment 7 has no row
    add(123400103, "0000000005", "stopped", -100, false);

    std::vector<DueListRow> rows = QueryDueList(false);
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0].deviceId, 123400101);
    EXPECT_EQ(rows[0].status, DueListRow::Due);
    EXPECT_EQ(rows[0].colour, QColor(255, 0, 255));
    EXPECT_EQ(rows[0].columns, (QStringList{"3  ", "yes", "Freezer", "1", "door", "1", "0000000001", "47", "2024-02-27 10:30:00"}));
    EXPECT_EQ(rows[1].status, DueListRow::NotDue);
    EXPECT_EQ(rows[1].colour, QColor(0, 0, 0));
    EXPECT_EQ(rows[1].columns[1], "no");
    EXPECT_EQ(rows[1].columns[7], "48");
    EXPECT_EQ(rows[2].status, DueListRow::Urgent);
    EXPECT_EQ(rows[2].colour, QColor(255, 0, 0));
    EXPECT_EQ(rows[2].columns.mid(0, 4), (QStringList{"1  ", "urgent", "Dairy", "2"}));
    EXPECT_EQ(rows[2].columns[7], "-1");
    EXPECT_EQ(rows[3].deviceId, 123400705);
    EXPECT_EQ(rows[3].columns.mid(0, 6), (QStringList{"  ", "yes", "", "7", "no compartment", "5"}));

    // Only the due ones: 48 hours ahead is left out.
    rows = QueryDueList(true);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].deviceId, 123400101);
    EXPECT_EQ(rows[1].deviceId, 123400201);
    EXPECT_EQ(rows[2].deviceId, 123400705);

    // The configured number of hours counts.
    App().ReadHoursBeforeOverflow = 49;
    rows = QueryDueList(true);
    EXPECT_EQ(rows.size(), 4u);
    App().ReadHoursBeforeOverflow = 48;

    // The window's list: texts, colours, widths of the shown columns fitted ("last read" too).
    QTreeWidget list;
    list.setColumnCount(10);
    list.setHeaderLabels({"read seq   ", "read?   ", "compartment desc   ", "#   ", "position desc   ", "#   ",
                          "logger ID   ", "hours remaining   ", "last read   ", "sort"});
    for (int c = 0; c < 10; ++c) list.setColumnWidth(c, 0);
    RefreshDueList(&list, false);
    ASSERT_EQ(list.topLevelItemCount(), 4);
    EXPECT_EQ(list.topLevelItem(2)->text(1), "urgent");
    EXPECT_EQ(list.topLevelItem(2)->foreground(1).color(), QColor(255, 0, 0));
    EXPECT_EQ(list.topLevelItem(0)->foreground(4).color(), QColor(255, 0, 255));
    for (int c = 0; c <= 8; ++c) EXPECT_GT(list.columnWidth(c), 0) << c;
    EXPECT_GE(list.columnWidth(8), list.fontMetrics().horizontalAdvance(list.topLevelItem(0)->text(8)));
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(SiteFixture, ADueListThatCannotBeReadIsToldOnceNotShownAsEmpty)
{
    QStringList messages;
    SetMessageHandler([&](const QString& p, int style, const QString& t) {
        EXPECT_EQ(style & vbCritical, vbCritical);
        messages << t + ": " + p;
        return int(vbOK);
    });
    AppDatabase().ExecuteSQL("DROP TABLE rooms");
    QString error;
    EXPECT_TRUE(QueryDueList(false, &error).empty());
    EXPECT_TRUE(error.startsWith(QString::number(dbErrGeneral) + ":")) << error.toStdString();
    QTreeWidget list;
    list.setColumnCount(10);
    RefreshDueList(&list, false);
    RefreshDueList(&list, false);   // the list is refilled after every file: told once
    EXPECT_EQ(list.topLevelItemCount(), 0);
    EXPECT_EQ(messages, QStringList{"Error in RefreshDueList: " + error});
}

TEST(TerminalProgram, InitParamAndDueAcrossRuns)
{
    QTemporaryDir dir;
    const QString home = dir.filePath("H");
    const QStringList g{"--home", home, "--registry", dir.filePath("reg.ini")};
    int rc = 0;
    QString err;
    run(g + QStringList{"init", "--site", "1234", "--description", "North"}, &rc, &err);
    ASSERT_EQ(rc, 0) << err.toStdString();
    EXPECT_TRUE(QFile::exists(home + "/data/NORDALIS.MDE"));
    EXPECT_EQ(run(g + QStringList{"param", "get", "LocationID"}, &rc), "1234\n");
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(run(g + QStringList{"param", "get", "LocationDescr"}, &rc), "North\n");
    EXPECT_EQ(run(g + QStringList{"param", "get", "NoSuchName", "fallback"}, &rc), "fallback\n");
    run(g + QStringList{"param", "set", "ReadHoursBeforeOverflow", "96"}, &rc);
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(run(g + QStringList{"param", "get", "ReadHoursBeforeOverflow", "48"}, &rc), "96\n");
    // Refused: out of range, not a number, a change of the site number.
    for (const char* bad : {"0", "10000", "12a", "-5"}) {
        EXPECT_EQ(run(g + QStringList{"init", "--site", bad}, &rc, &err), "") << bad;
        EXPECT_NE(rc, 0) << bad;
        EXPECT_FALSE(err.isEmpty());
    }
    run(g + QStringList{"init", "--site", "4321"}, &rc, &err);
    EXPECT_NE(rc, 0);
    EXPECT_TRUE(err.contains("can't be changed"));
    run(g + QStringList{"param", "set", "LocationID", "4321"}, &rc, &err);
    EXPECT_NE(rc, 0);
    EXPECT_EQ(run(g + QStringList{"param", "get", "LocationID"}, &rc), "1234\n");
    run(g + QStringList{"param", "frobnicate"}, &rc, &err);
    EXPECT_NE(rc, 0);
    // An empty database lists nothing and succeeds.
    EXPECT_EQ(run(g + QStringList{"due"}, &rc), "");
    EXPECT_EQ(rc, 0);
}

TEST(DesktopStart, FirstStartAsksOnceSecondStartDoesNot)
{
    QTemporaryDir dir;
    SetRegistryFile(QString());
    StartupOptions o;
    o.home = dir.filePath("home");
    o.registry = dir.filePath("registry.ini");
    o.noSplash = true;
    o.commandLine = "-du";
    SetStartupOptions(o);
    SetAdapterSearch([] { return QString(); });
    QStringList asked;
    SetInputHandler([&](const QString&, const QString& title, const QString&, bool&) {
        asked << title;
        return asked.size() == 1 ? QString("abc") : QString("1234");
    });
    SetMessageHandler([](const QString& p, int, const QString& t) {
        ADD_FAILURE() << t.toStdString() << ": " << p.toStdString();
        return int(vbOK);
    });
    ASSERT_EQ(RunStartup(), StartupResult::Ok);
    EXPECT_EQ(asked.size(), 2);
    EXPECT_EQ(App().LocationID, 1234);
    EXPECT_TRUE(App().RestrictedMode);
    EXPECT_EQ(App().LocationDescr, "change this text");
    EXPECT_EQ(App().ReadHoursBeforeOverflow, 48);
    EXPECT_EQ(ReadRegistry(kPathsKey, "Loggerfiles ", "").toString(), o.home + "/data");
    EXPECT_EQ(ReadRegistry(kParameterKey, "LocDescr", "").toString(), "change this text");
    EXPECT_FALSE(AppDatabase().IsOpen());   // left closed for the main menu
    ReleaseSingleInstance();

    // Second start: the stored site number, no question.
    asked.clear();
    App().LocationID = -1;
    o.commandLine.clear();
    SetStartupOptions(o);
    ASSERT_EQ(RunStartup(), StartupResult::Ok);
    EXPECT_TRUE(asked.isEmpty());
    EXPECT_EQ(App().LocationID, 1234);
    EXPECT_FALSE(App().RestrictedMode);
    ReleaseSingleInstance();

    // While another copy holds the lock, start-up ends with its message.
    QStringList messages;
    SetMessageHandler([&](const QString& p, int style, const QString& t) {
        EXPECT_EQ(style, vbCritical);
        messages << t + ": " + p;
        return int(vbOK);
    });
    QLockFile other(o.home + "/nordalis.lock");   // held by a live process (this one)
    ASSERT_TRUE(other.tryLock(0));
    EXPECT_EQ(RunStartup(), StartupResult::AlreadyRunning);
    EXPECT_EQ(messages, QStringList{"NORDALIS already running: NORDALIS is already running, quitting"});
    other.unlock();

    SetInputHandler(nullptr);
    SetMessageHandler(nullptr);
    SetAdapterSearch(nullptr);
    SetRegistryFile(QString());
    ResetAppDatabase();
}

TEST(TerminalProgram, DueListsRowsTabSeparated)
{
    QTemporaryDir dir;
    const QString home = dir.filePath("H");
    const QStringList g{"--home", home, "--registry", dir.filePath("reg.ini")};
    int rc = 0;
    run(g + QStringList{"init", "--site", "12"}, &rc);
    ASSERT_EQ(rc, 0);
    {
        clsDatabase db(home + "/data");
        const QDateTime far = QDateTime::currentDateTimeUtc().addDays(30);
        db.ExecuteSQL("INSERT INTO rooms (RoomID, RoomDescription, RoomSequence) VALUES (3, 'Freezer', 2)");
        db.ExecuteSQL("INSERT INTO devices (DeviceID, SerialNo, DeviceDescription, NextReading, MissionRunning) VALUES (?, ?, ?, ?, 1)",
                      {DbValue(1200305), DbValue(QString("0000074667")), DbValue(QString("door")), DbValue(far)});
        db.CloseDB();
    }
    const QString out = run(g + QStringList{"due"}, &rc);
    EXPECT_EQ(rc, 0);
    const QStringList cells = out.trimmed().split('\t');
    ASSERT_GE(cells.size(), 8) << out.toStdString();
    EXPECT_EQ(cells.mid(0, 7), (QStringList{"2", "no", "Freezer", "3", "door", "5", "0000074667"}));
    EXPECT_EQ(run(g + QStringList{"due", "--due-only"}, &rc), "");
}

TEST(DesktopStart, AdapterOnTheVirtualBusGivesTheSiteProposal)
{
    QTemporaryDir dir;
    const QString home = dir.filePath("H");
    const QStringList g{"--home", home, "--registry", dir.filePath("reg.ini"), "--bus", "virtual"};
    int rc = 0;
    run(g + QStringList{"init", "--site", "5"}, &rc);
    ASSERT_EQ(rc, 0);
    const QString cable = run(g + QStringList{"sim", "add-cable"}, &rc).trimmed();
    ASSERT_EQ(rc, 0);
    ASSERT_TRUE(cable.endsWith("09")) << cable.toStdString();
    run(g + QStringList{"sim", "add-logger"}, &rc);

    SetRegistryFile(dir.filePath("reg.ini"));
    App().ApplicationDirectory = home;
    ApplyBusOption("virtual");
    SetAdapterSearch(nullptr);
    const QString found = SearchInterfaceAdapter();
    ApplyBusOption(QString());
    SetRegistryFile(QString());
    EXPECT_EQ(found, cable);
    const QString proposal = SiteNumberProposal(found);
    EXPECT_EQ(proposal.size(), 4);
    EXPECT_EQ(proposal, RomTextToSerialNo(cable).right(4));
    EXPECT_EQ(SiteNumberProposal("5A0000000123AB09"), "4667");   // serial 0000074667
}
