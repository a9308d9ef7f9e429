// The terminal verbs "dump" and "store" on a logger file, run as the real program.
#include "ImageTestData.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace imagetest;

namespace {

struct CliRun { int code; QString out; QString err; };

CliRun cli(const QString& home, const QStringList& args)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("NORDALIS_HOME", home);
    env.insert("XDG_CONFIG_HOME", home + "/config");
    env.insert("TZ", "UTC");
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(NORDALIS_CLI), QStringList{"--home", home, "--registry", home + "/registry.ini"} + args);
    p.waitForFinished(60000);
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()), QString::fromUtf8(p.readAllStandardError())};
}

} // namespace

TEST(ImageCli, DumpShowsTheImageAndStoreAddsOnlyNewSamples)
{
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    BiasScope bias(0);
    Mission m;
    m.rate = 10;
    m.startUtc = QDateTime(QDate(2007, 6, 5), QTime(12, 0), Qt::UTC);
    m.missionSamples = 3;
    m.deviceSamples = 40;
    clsDS1921Data image;
    Load(image, Record({"1", "0000074667", QString::fromUtf8("café 4 °C"), "123401203", "070605130000", "op", "1234", "...calib..."}),
         Registers(m), Log([](int i) { return 90 + i; }));
    const QString file = QDir(home.path()).filePath("0000074667 070605130000.dta");
    qint32 rc = -1;
    image.WriteLoggerImageToFileFor(file, "5A0000000123AB21", rc);
    ASSERT_EQ(rc, imgOk);

    const CliRun dump = cli(home.path(), {"dump", file});
    ASSERT_EQ(dump.code, 0) << dump.err.toStdString();
    EXPECT_TRUE(dump.out.contains(QString::fromUtf8("DeviceDescription\tcafé 4 °C\n")));
    EXPECT_TRUE(dump.out.contains("DeviceID\t123401203\n"));
    EXPECT_TRUE(dump.out.contains("SampleRate\t10 min\n"));
    EXPECT_TRUE(dump.out.contains("MissionSamples\t3\n"));
    EXPECT_TRUE(dump.out.contains("DeviceSamples\t40\n"));
    EXPECT_TRUE(dump.out.contains(QString::fromUtf8("AlarmHigh\t10.000 °C\n")));
    EXPECT_TRUE(dump.out.endsWith("2007-06-05 12:00:00 UTC\t5.000\n2007-06-05 12:10:00 UTC\t5.500\n2007-06-05 12:20:00 UTC\t6.000\n"))
        << dump.out.toStdString();

    const CliRun init = cli(home.path(), {"init", "--site", "1234"});
    if (init.code != 0) GTEST_SKIP() << "init not available: " << init.err.toStdString();
    const CliRun first = cli(home.path(), {"store", file});
    ASSERT_EQ(first.code, 0) << first.err.toStdString();
    EXPECT_TRUE(first.out.contains("samples added: 3 of 3")) << first.out.toStdString();
    EXPECT_TRUE(first.out.contains("compartment 12 added"));
    const CliRun second = cli(home.path(), {"store", file});
    ASSERT_EQ(second.code, 0) << second.err.toStdString();
    EXPECT_TRUE(second.out.contains("samples added: 0 of 3")) << second.out.toStdString();
    EXPECT_TRUE(QFile::exists(file));   // store leaves the file where it is

    // A damaged file: a clear error and a non-zero exit.
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    f.resize(f.size() - 10);
    f.close();
    const CliRun bad = cli(home.path(), {"store", file});
    EXPECT_NE(bad.code, 0);
    EXPECT_TRUE(bad.err.contains("damaged")) << bad.err.toStdString();
}
