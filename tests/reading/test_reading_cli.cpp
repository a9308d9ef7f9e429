// nordalis-cli read and stop, run as the real program on a temporary application directory with
// the virtual bench: the key figures and the logger file of a reading, the import that follows,
// the stop, and a non-zero exit when there is nothing to read.
#include "support/CliProcess.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sqlite3.h>

namespace {

class ReadCli : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString home() const { return dir.filePath("home"); }

    CliRun run(const QStringList& args) { return RunCli(dir, args, true); }
    qint64 scalar(const char* text) { return SqliteScalar(dir.filePath("home/data/NORDALIS.MDE"), text); }
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
    // The reading stored and the stop are in the audit trail, and the whole proves.
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM audit WHERE Action = 'reading stored' AND Subject LIKE '%(1200103)'"), 1);
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM audit WHERE Action = 'logger stopped'"), 1);
    r = run({"verify"});
    EXPECT_EQ(r.code, 0) << r.out.toStdString() << r.err.toStdString();
}

TEST_F(ReadCli, ShortBlockNeverCostsTheLoggerItsIdentity)
{
    ASSERT_EQ(run({"init", "--site", "1001"}).code, 0);
    ASSERT_EQ(run({"structure", "add-compartment", "--description", "Cold room"}).code, 0);
    ASSERT_EQ(run({"sim", "add-cable"}).code, 0);
    ASSERT_EQ(run({"sim", "add-logger", "--variant", "G"}).code, 0);
    ASSERT_EQ(run({"program", "--room", "1", "--position", "1", "--description", "door", "--rate", "10", "--low", "2",
                   "--high", "8"}).code, 0);
    ASSERT_EQ(run({"sim", "advance", "1d"}).code, 0);

    // One short block at the start of the reading: the record's page is read again, not taken
    // as empty, and the logger keeps its name.
    for (int keep : {-1, 0}) {
        QStringList fault{"sim", "fault", "--short-blocks", "1"};
        if (keep >= 0) fault << "--keep" << QString::number(keep);
        ASSERT_EQ(run(fault).code, 0);
        const CliRun r = run({"read"});
        EXPECT_EQ(r.code, 0) << r.err.toStdString();
        EXPECT_TRUE(r.out.contains("logger\t0001001.001.01 \"door\"")) << r.out.toStdString();
    }
    for (const QString& f : QDir(dir.filePath("home/data")).entryList({"*.dta"}))
        EXPECT_FALSE(f.startsWith("0 ")) << "a file named after no logger: " << f.toStdString();
    const CliRun again = run({"read"});
    EXPECT_TRUE(again.out.contains("logger\t0001001.001.01 \"door\"")) << again.out.toStdString();

    // Short blocks that do not end: the reading fails, says why, and changes nothing.
    ASSERT_EQ(run({"sim", "fault", "--short-blocks", "1000"}).code, 0);
    const CliRun failed = run({"read"});
    EXPECT_EQ(failed.code, 3);
    EXPECT_TRUE(failed.err.contains("could not be read") && failed.err.contains("the logger was not changed"))
        << failed.err.toStdString();
}
