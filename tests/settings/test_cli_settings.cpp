// The terminal verbs of the settings, run as the real program on a temporary application
// directory.
#include "app/modRegistry.h"
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
