// nordalis-cli read and stop, run as the real program on a temporary application directory with
// the virtual bench: the key figures and the logger file of a reading, the import that follows,
// the stop, and a non-zero exit when there is nothing to read.
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sqlite3.h>

namespace {

struct CliRun {
    int code = -1;
    QString out;
    QString err;
};

class ReadCli : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString home() const { return dir.filePath("home"); }

    CliRun run(const QStringList& args)
    {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("HOME", dir.path());
        env.insert("XDG_CONFIG_HOME", dir.filePath("config"));
        env.insert("XDG_DATA_HOME", dir.filePath("share"));
        p.setProcessEnvironment(env);
        p.start(NORDALIS_CLI, QStringList{"--home", home(), "--registry", dir.filePath("registry.ini"), "--bus", "virtual"} + args);
        p.waitForFinished(60000);
        return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()), QString::fromUtf8(p.readAllStandardError())};
    }
    qint64 scalar(const char* text)
    {
        sqlite3* db = nullptr;
        sqlite3_open_v2(QFile::encodeName(dir.filePath("home/data/NORDALIS.MDE")).constData(), &db, SQLITE_OPEN_READONLY,
                        nullptr);
        sqlite3_stmt* st = nullptr;
        qint64 v = -1;
        if (sqlite3_prepare_v2(db, text, -1, &st, nullptr) == SQLITE_OK && sqlite3_step(st) == SQLITE_ROW)
            v = sqlite3_column_int64(st, 0);
        sqlite3_finalize(st);
        sqlite3_close(db);
        return v;
    }
};

} // namespace

TEST_F(ReadCli, ReadImportStop)
{
    ASSERT_EQ(run({"init", "--site", "12"}).code, 0);
    ASSERT_EQ(run({"structure", "add-compartment", "--description", "freezer"}).code, 0);
    ASSERT_EQ(run({"sim", "add-cable"}).code, 0);

    // Nothing in the cable: non-zero exit, no file.
    CliRun r = run({"read"});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.err.contains("no logger")) << r.err.toStdString();
    EXPECT_EQ(run({"stop"}).code, 1);
    EXPECT_EQ(run({"read", "extra"}).code, 2);

    const CliRun added = run({"sim", "add-logger"});
    ASSERT_EQ(added.code, 0) << added.err.toStdString();
    r = run({"program", "--room", "1", "--position", "3", "--description", "door left", "--rate", "1", "--low", "2",
             "--high", "8"});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    ASSERT_EQ(run({"sim", "advance", "20m"}).code, 0);

    r = run({"read"});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains("logger\t0000012.001.03 \"door left\"")) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains("alarm high\t8.0\n")) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains("current samples\t")) << r.out.toStdString();
    EXPECT_FALSE(r.out.contains("ALARM")) << "a 4 degree room stays within 2 and 8";
    EXPECT_TRUE(r.out.contains("status\t...finished reading, logger running")) << r.out.toStdString();
    const QStringList files = QDir(dir.filePath("home/data")).entryList({"*.dta"});
    ASSERT_EQ(files.size(), 1);
    EXPECT_TRUE(r.out.contains(files.first()));

    r = run({"import"});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_GE(scalar("SELECT COUNT(*) FROM samples WHERE DeviceID = 1200103"), 19);

    r = run({"stop"});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains("stopped"));
    EXPECT_TRUE(run({"logger", "status"}).out.contains("mission running\tno"));
}
