// The terminal verbs "dump" and "store" on a logger file, run as the real program.
#include "support/LoggerImages.h"
#include "support/CliProcess.h"
#include "image/LoggerCompanion.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace imagetest;

namespace {
// A ten-minute mission started 5 June 2007 12:00 UTC with three samples, read an hour later.
Mission threeSamples()
{
    Mission m;
    m.rate = 10;
    m.startUtc = QDateTime(QDate(2007, 6, 5), QTime(12, 0), Qt::UTC);
    m.clockUtc = QDateTime(QDate(2007, 6, 5), QTime(13, 0), Qt::UTC);
    m.missionSamples = m.deviceSamples = 3;
    return m;
}
} // namespace

TEST(ImageCli, DumpShowsTheImageAndStoreAddsOnlyNewSamples)
{
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    BiasScope bias(0);
    Mission m = threeSamples();
    m.deviceSamples = 40;
    clsDS1921Data image;
    Load(image, Record({"1", "0000074667", QString::fromUtf8("café 4 °C"), "123401203", "070605130000", "op", "1234", "...calib..."}),
         Registers(m), Log([](int i) { return 90 + i; }));
    const QString file = QDir(home.path()).filePath("0000074667 070605130000.dta");
    qint32 rc = -1;
    image.WriteLoggerImageToFileFor(file, "5A0000000123AB21", rc);
    ASSERT_EQ(rc, imgOk);

    const CliRun dump = RunCli(home, {"dump", file});
    ASSERT_EQ(dump.code, 0) << dump.err.toStdString();
    EXPECT_TRUE(dump.out.contains(QString::fromUtf8("DeviceDescription\tcafé 4 °C\n")));
    EXPECT_TRUE(dump.out.contains("DeviceID\t123401203\n"));
    EXPECT_TRUE(dump.out.contains("SampleRate\t10 min\n"));
    EXPECT_TRUE(dump.out.contains("MissionSamples\t3\n"));
    EXPECT_TRUE(dump.out.contains("DeviceSamples\t40\n"));
    EXPECT_TRUE(dump.out.contains(QString::fromUtf8("AlarmHigh\t10.000 °C\n")));
    EXPECT_TRUE(dump.out.endsWith("2007-06-05 12:00:00 UTC\t5.000\n2007-06-05 12:10:00 UTC\t5.500\n2007-06-05 12:20:00 UTC\t6.000\n"))
        << dump.out.toStdString();

    const CliRun init = RunCli(home, {"init", "--site", "1234"});
    if (init.code != 0) GTEST_SKIP() << "init not available: " << init.err.toStdString();
    const CliRun first = RunCli(home, {"store", file});
    ASSERT_EQ(first.code, 0) << first.err.toStdString();
    EXPECT_TRUE(first.out.contains("samples added: 3 of 3")) << first.out.toStdString();
    EXPECT_TRUE(first.out.contains("compartment 12 added"));
    const CliRun second = RunCli(home, {"store", file});
    ASSERT_EQ(second.code, 0) << second.err.toStdString();
    EXPECT_TRUE(second.out.contains("samples added: 0 of 3")) << second.out.toStdString();
    EXPECT_TRUE(QFile::exists(file));   // store leaves the file where it is

    // An implausible image is refused with its reason: the record names no logger, or the
    // mission started after the logger's clock.
    const QString unknown = QDir(home.path()).filePath("0000000000 070605130000.dta");
    clsDS1921Data defaults;
    Load(defaults, Record(clsDS1921Data::DefaultNvramFields(QString())), Registers(m), Log([](int i) { return 90 + i; }));
    defaults.WriteLoggerImageToFileFor(unknown, "5A0000000123AB21", rc);
    ASSERT_EQ(rc, imgOk);
    const CliRun refused = RunCli(home, {"store", unknown});
    EXPECT_EQ(refused.code, 1);
    EXPECT_EQ(refused.err, "nordalis-cli store: " + unknown +
                               " was not stored: the identity record names no logger position (DeviceID 0 \"unknown\")\n");
    Mission late = m;
    late.clockUtc = m.startUtc.addSecs(-3600);
    clsDS1921Data early;
    Load(early, Record({"1", "0000074667", "door", "123401203", "070605130000", "op", "1234", "...calib..."}), Registers(late),
         Log([](int i) { return 90 + i; }));
    const QString earlyFile = QDir(home.path()).filePath("0000074667 070605110000.dta");
    early.WriteLoggerImageToFileFor(earlyFile, "5A0000000123AB21", rc);
    const CliRun tooEarly = RunCli(home, {"store", earlyFile});
    EXPECT_EQ(tooEarly.code, 1);
    EXPECT_TRUE(tooEarly.err.contains("was not stored: the mission started 2007-06-05 12:00 UTC, after the logger clock "
                                      "2007-06-05 11:00 UTC")) << tooEarly.err.toStdString();
    const QString dbFile = home.filePath("home/data/NORDALIS.MDE");
    EXPECT_EQ(SqliteScalar(dbFile, "SELECT group_concat(DeviceID) FROM devices"), 123401203);   // nothing else stored
    EXPECT_EQ(SqliteScalar(dbFile, "SELECT COUNT(*) FROM rooms WHERE RoomID = 0"), 0);

    // A damaged file: a clear error and a non-zero exit.
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    f.resize(f.size() - 10);
    f.close();
    const CliRun bad = RunCli(home, {"store", file});
    EXPECT_NE(bad.code, 0);
    EXPECT_TRUE(bad.err.contains("damaged")) << bad.err.toStdString();
}

// "store" takes the companion beside the file when it belongs to it, and says so when it does not.
TEST(ImageCli, StoreTakesTheCompanionThatBelongsToTheFile)
{
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    BiasScope bias(0);
    const Mission m = threeSamples();
    const auto write = [&](const QString& name, const QString& description) {
        clsDS1921Data image;
        Load(image, Record({"1", "0000074667", description, "123401203", "070605130000", "op", "1234", "...calib..."}),
             Registers(m), Log([](int i) { return 90 + i; }));
        image.SetEvidenceBytes(AlarmArea({{true, 2, 1}}), HistogramArea({{22, 3}}), m.clockUtc);
        const QString file = QDir(home.path()).filePath(name);
        qint32 rc = -1;
        image.WriteLoggerImageToFileFor(file, "5A0000000123AB21", rc);
        EXPECT_EQ(rc, imgOk);
        return file;
    };
    const QString file = write("0000074667 070605130000.dta", "door");
    ASSERT_EQ(RunCli(home, {"init", "--site", "1234"}).code, 0);
    const CliRun stored = RunCli(home, {"store", file});
    ASSERT_EQ(stored.code, 0) << stored.err.toStdString();
    EXPECT_TRUE(stored.out.contains("companion: alarm log and histogram of the mission started 2007-06-05T12:00:00Z"))
        << stored.out.toStdString();
    const QString dbFile = home.filePath("home/data/NORDALIS.MDE");
    EXPECT_EQ(SqliteScalar(dbFile, "SELECT COUNT(*) FROM missionalarms WHERE StartSample = 2"), 1);
    EXPECT_EQ(SqliteScalar(dbFile, "SELECT SUM(Count) FROM missionhistogram"), 3);

    // The companion of another reading beside it: refused, the file's samples still stored.
    const QString other = write("other.dta", "shelf");
    QFile::remove(CompanionPathFor(file));
    ASSERT_TRUE(QFile::rename(CompanionPathFor(other), CompanionPathFor(file)));
    const CliRun refused = RunCli(home, {"store", file});
    EXPECT_EQ(refused.code, 0) << refused.err.toStdString();
    EXPECT_TRUE(refused.err.contains("the alarm log and histogram beside the file are not stored")) << refused.err.toStdString();
    EXPECT_FALSE(refused.out.contains("companion:"));
}
