// The terminal verbs of the settings, run as the real program on a temporary application
// directory.
#include "app/modRegistry.h"
#include "settings/InterfacePort.h"
#include "db/clsDatabase.h"

#include "support/CliProcess.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sqlite3.h>

namespace {

class SettingsCli : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString home() const { return dir.filePath("home"); }
    QString registry() const { return dir.filePath("registry.ini"); }
    QString database() const { return dir.filePath("home/data/NORDALIS.MDE"); }

    CliRun run(const QStringList& args) { return RunCli(dir, args, false); }
    void sql(const char* text)
    {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open_v2(QFile::encodeName(database()).constData(), &db, SQLITE_OPEN_READWRITE, nullptr),
                  SQLITE_OK);
        char* error = nullptr;
        EXPECT_EQ(sqlite3_exec(db, text, nullptr, nullptr, &error), SQLITE_OK) << (error ? error : "");
        sqlite3_free(error);
        sqlite3_close(db);
    }
    qint64 scalar(const QString& file, const char* text) { return SqliteScalar(file, text); }
    // Every row of the tables a refused edit or purge must leave alone, as one text.
    QString contents()
    {
        sqlite3* db = nullptr;
        sqlite3_open_v2(QFile::encodeName(database()).constData(), &db, SQLITE_OPEN_READONLY, nullptr);
        sqlite3_stmt* st = nullptr;
        QString text;
        const char* sql = "SELECT 'r' || quote(RoomID) || quote(RoomDescription) || quote(RoomSequence) FROM rooms "
                          "UNION ALL SELECT 'p' || quote(ParamName) || quote(ParamValue) FROM parameters "
                          "UNION ALL SELECT 'd' || quote(DeviceID) || quote(DeviceDescription) FROM devices "
                          "UNION ALL SELECT 's' || count(*) FROM samples UNION ALL SELECT 'h' || count(*) FROM history";
        if (sqlite3_prepare_v2(db, sql, -1, &st, nullptr) == SQLITE_OK)
            while (sqlite3_step(st) == SQLITE_ROW)
                text += QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 0))) + "\n";
        sqlite3_finalize(st);
        sqlite3_close(db);
        return text;
    }
    CliRun runBytes(const QList<QByteArray>& args) { return RunCliBytes(dir, CliGlobalsFor(dir), args); }
    void SetUp() override
    {
        const CliRun init = run({"init", "--site", "1234"});
        if (init.err.contains("unknown verb"))
            GTEST_SKIP() << "the start-up module's terminal verbs are not in this tree";
        ASSERT_EQ(init.code, 0) << init.err.toStdString();
    }
};

} // namespace

TEST_F(SettingsCli, StructureVerbsFollowTheEditorRules)
{
    CliRun r = run({"structure", "add-compartment", "--description", "freezer"});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(r.out.trimmed(), "1");
    r = run({"structure", "add-compartment"});
    EXPECT_EQ(r.out.trimmed(), "2");
    r = run({"structure", "set-compartment", "2", "--number", "1"});
    EXPECT_NE(r.code, 0);
    EXPECT_TRUE(r.err.contains("compartment numbers must be unique")) << r.err.toStdString();
    r = run({"structure", "set-compartment", "2", "--sequence", "soon"});
    EXPECT_NE(r.code, 0);
    EXPECT_TRUE(r.err.contains("read sequence must be numeric"));
    r = run({"structure", "set-compartment", "2", "--number", "5", "--description", "cooler"});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();

    sql("INSERT INTO devices (DeviceID, DeviceDescription, MissionRunning) VALUES (123400501, 'shelf', 1), "
        "(123400101, 'door', 0); INSERT INTO samples VALUES (123400501, 100, 4.0), (123400101, 100, 5.0)");
    r = run({"structure", "list"});
    ASSERT_EQ(r.code, 0);
    EXPECT_TRUE(r.out.startsWith("site\t1234\t")) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains("compartment\t5\tcooler\tsequence 2\n  logger\t123400501\t1:shelf\trunning"))
        << r.out.toStdString();
    r = run({"structure", "delete-compartment", "5"});
    EXPECT_NE(r.code, 0);
    EXPECT_TRUE(r.err.contains("holds loggers"));
    r = run({"structure", "set-compartment", "5", "--number", "6"});
    EXPECT_TRUE(r.err.contains("compartment numbers can only be modified for empty compartments"));
    r = run({"structure", "delete-logger", "123400501"});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(scalar(database(), "SELECT count(*) FROM samples"), 1);
    EXPECT_EQ(scalar(database(), "SELECT count(*) FROM devices"), 1);
    r = run({"structure", "delete-compartment", "5"});
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(scalar(database(), "SELECT count(*) FROM rooms"), 1);
    r = run({"structure", "set-site", "--read-before", "169"});
    EXPECT_TRUE(r.err.contains("must be between 5 and 168"));
}

TEST_F(SettingsCli, MaintenanceVerbs)
{
    sql("INSERT INTO rooms VALUES (1, 'freezer', 1); INSERT INTO devices (DeviceID) VALUES (123400101);"
        "INSERT INTO samples VALUES (123400101, 100, 4.0), (123400101, 2000000000, 5.0);"
        "INSERT INTO history (\"DateTime\", \"Text\", \"Type\") VALUES ('2001-01-01 00:00:00', 'x', 1)");
    CliRun r = run({"maintain", "backup"});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains("generating database backup..."));
    EXPECT_EQ(scalar(dir.filePath("home/data/backup/NORDALIS.MDE"), "SELECT count(*) FROM samples"), 2);

    r = run({"maintain", "purge", "--before", "31.12.2020"});
    EXPECT_NE(r.code, 0);
    r = run({"maintain", "purge", "--before", "2020-12-31"});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(scalar(database(), "SELECT count(*) FROM samples"), 1);
    EXPECT_EQ(scalar(database(), "SELECT count(*) FROM history"), 0);

    SetRegistryFile(registry());
    CreateRegistryKey(kPathsKey);
    WriteRegistryValue(kPathsKey, "RemovableMedia", dir.filePath("media"));
    r = run({"maintain", "portable"});
    EXPECT_NE(r.code, 0);   // no media there
    QDir().mkpath(dir.filePath("media"));
    r = run({"maintain", "portable"});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(scalar(dir.filePath("media/NORD.MDE"), "SELECT count(*) FROM samples"), 0);
    EXPECT_EQ(scalar(dir.filePath("media/NORD.MDE"), "SELECT count(*) FROM devices"), 1);
    r = run({"maintain", "load-portable"});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(scalar(dir.filePath("home/data/NORD.MDE"), "SELECT count(*) FROM rooms"), 1);
    r = run({"maintain", "reorganize", "--repair"});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains("repairing database..."));
    EXPECT_TRUE(r.out.contains("check: ok"));
}

TEST_F(SettingsCli, PortWithoutAdapterIsWrittenAndReported)
{
    SetRegistryFile(registry());
    CreateRegistryKey(kTmexKey);
    WriteRegistryValue(kTmexKey, "PortDevice7", dir.filePath("no-such-serial-device"));
    CliRun r = run({"port", "set", "16"});
    EXPECT_NE(r.code, 0);
    r = run({"port", "set", "7"});
    EXPECT_NE(r.code, 0);
    EXPECT_TRUE(r.out.startsWith("No interface found on COM-Port:7 (")) << r.out.toStdString() << r.err.toStdString();
    SetRegistryFile(registry());
    EXPECT_EQ(ReadRegistry(kTmexKey, "DefaultPortNum", "").toString(), "7");
}

TEST_F(SettingsCli, StoredTextsAreCheckedAlikeAndListedWithoutControlCharacters)
{
    ASSERT_EQ(run({"structure", "add-compartment", "--description", "freezer"}).code, 0);
    const QString before = contents();
    ASSERT_TRUE(before.contains("'freezer'"));
    const QString control = "the description may not hold control characters";
    struct Bad { QList<QByteArray> args; QString message; };
    const std::vector<Bad> bads{
        {{"structure", "set-compartment", "1", "--description", "\x1b[31mred\x1b[0m"}, control},
        {{"structure", "set-compartment", "1", "--description", "next\xc2\x85line"}, control},
        {{"structure", "set-compartment", "1", "--description", "del\x7f"}, control},
        {{"structure", "set-compartment", "1", "--description", "two\nlines"}, control},
        {{"structure", "set-compartment", "1", "--description", ""}, "the description may not be empty"},
        {{"structure", "add-compartment", "--description", "\x1b]0;owned\x07"}, control},
        {{"structure", "add-compartment", "--description", QByteArray(51, 'x')},
         "the description may be at most 50 characters long"},
        {{"structure", "set-site", "--description", "\x1b[2J"}, control},
        {{"structure", "set-site", "--description", " "}, "the description may not be empty"},
        {{"structure", "set-compartment", "1", "--description", "K\xfchlraum"}, "is not valid UTF-8 text"},
        {{"structure", "add-compartment", "--description", "\xed\xa0\x80"}, "is not valid UTF-8 text"},
    };
    for (const Bad& b : bads) {
        const CliRun r = runBytes(b.args);
        EXPECT_NE(r.code, 0) << b.args.join(' ').toStdString();
        EXPECT_TRUE(r.err.contains(b.message)) << r.err.toStdString();
        EXPECT_EQ(contents(), before) << b.args.join(' ').toStdString();
    }
    // 100 kB of text.
    CliRun r = run({"structure", "set-compartment", "1", "--description", QString(100000, 'x')});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.err.contains("the description may be at most 50 characters long")) << r.err.toStdString();
    EXPECT_EQ(contents(), before);
    // Letters of any language up to the bound are stored as given.
    r = runBytes({"structure", "set-compartment", "1", "--description", "K\xc3\xbchlraum S\xc3\xbc" "d"});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_TRUE(contents().contains(QString::fromUtf8("'Kühlraum Süd'")));

    // Rows written by other means are listed with their control characters written out.
    sql("UPDATE rooms SET RoomDescription = 'a' || char(27) || '[2J' || char(155) || 'b' WHERE RoomID = 1;"
        "INSERT INTO devices (DeviceID, DeviceDescription, MissionRunning) VALUES (123400101, 'x' || char(13) || 'y', 1);"
        "INSERT OR REPLACE INTO parameters VALUES ('LocationDescr', 'site' || char(7))");
    r = run({"structure", "list"});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains("compartment\t1\ta\\x1B[2J\\x9Bb\tsequence 1\n")) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains("  logger\t123400101\t1:x\\x0Dy\trunning\n")) << r.out.toStdString();
    EXPECT_TRUE(r.out.startsWith("site\t1234\tsite\\x07\t")) << r.out.toStdString();
    for (const QChar c : r.out)
        EXPECT_TRUE(c == '\t' || c == '\n' || (c.unicode() >= 0x20 && c.unicode() != 0x7F &&
                                               (c.unicode() < 0x80 || c.unicode() > 0x9F)))
            << "raw control character " << int(c.unicode());
}

TEST_F(SettingsCli, PurgeRefusesAFutureDateAndAsksBeforeDeletingEverySample)
{
    sql("INSERT INTO rooms VALUES (1, 'freezer', 1); INSERT INTO devices (DeviceID) VALUES (123400101);"
        "INSERT INTO samples VALUES (123400101, 100, 4.0), (123400101, 200, 5.0), (123400101, 300, 6.0);"
        "INSERT INTO history (\"DateTime\", \"Text\", \"Type\") VALUES ('2001-01-01 00:00:00', 'x', 1)");
    const QString before = contents();
    CliRun r = run({"maintain", "purge", "--before", "9999-12-31"});
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.err, "nordalis-cli: 9999-12-31: the date lies in the future; nothing was deleted\n");
    EXPECT_EQ(contents(), before);
    const QString tomorrow = QDate::currentDate().addDays(2).toString("yyyy-MM-dd");
    r = run({"maintain", "purge", "--before", tomorrow, "--yes"});
    EXPECT_EQ(r.code, 2) << r.err.toStdString();
    EXPECT_EQ(contents(), before);

    r = run({"maintain", "purge", "--before", "2020-12-31"});
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.err, "nordalis-cli: this would delete all 3 samples; give --yes to delete them (nothing was deleted)\n");
    EXPECT_EQ(contents(), before);
    r = run({"maintain", "purge", "--before", "2020-12-31", "--yes"});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(scalar(database(), "SELECT count(*) FROM samples"), 0);
    EXPECT_EQ(scalar(database(), "SELECT count(*) FROM history"), 0);
    EXPECT_EQ(scalar(database(), "SELECT count(*) FROM devices"), 1);
}

TEST_F(SettingsCli, AConfigurationStoreThatCannotBeUsedIsReported)
{
    QDir().mkpath(dir.filePath("folder"));
    const QStringList storeIsFolder{"--home", home(), "--registry", dir.filePath("folder")};
    for (const QList<QByteArray>& args : {QList<QByteArray>{"port", "set", "3"}, QList<QByteArray>{"structure", "list"}}) {
        const CliRun r = RunCliBytes(dir, storeIsFolder, args);
        EXPECT_EQ(r.code, 1) << args.join(' ').toStdString();
        EXPECT_TRUE(r.err.contains("the configuration store " + dir.filePath("folder") + " is a folder, not a file"))
            << r.err.toStdString();
        EXPECT_FALSE(r.out.contains("COM-Port")) << r.out.toStdString();
    }
    const CliRun missing =
        RunCliBytes(dir, {"--home", home(), "--registry", dir.filePath("missing/sub/registry.ini")}, {"port", "set", "3"});
    EXPECT_EQ(missing.code, 1);
    EXPECT_TRUE(missing.err.contains("the folder of the configuration store " + dir.filePath("missing/sub/registry.ini") +
                                     " does not exist"))
        << missing.err.toStdString();
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("missing")));
    const CliRun unwritable = RunCliBytes(dir, {"--home", home(), "--registry", "/proc/nordalis-registry.ini"},
                                          {"port", "set", "3"});
    EXPECT_EQ(unwritable.code, 1);
    EXPECT_TRUE(unwritable.err.contains("cannot be written")) << unwritable.err.toStdString();

    // In the settings window's routine: a port the store could not keep is not reported found.
    SetRegistryFile("/proc/nordalis-registry.ini");
    int result = 0;
    const QString status = SelectInterfacePort(3, &result);
    EXPECT_EQ(result, kPortNotKept);
    EXPECT_TRUE(status.startsWith("COM-Port 3 could not be kept: the configuration store")) << status.toStdString();
    SetRegistryFile(registry());
}
