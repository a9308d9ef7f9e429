// The demo that scripts/run.sh prepares, run for real: every window has something to show on the
// first start (three compartments, readings stored, a power cut that takes the cold room above its
// alarm level, one logger overdue and one due).
#include "support/CliProcess.h"

#include <gtest/gtest.h>

TEST(DemoSite, ShowsTheProgramAtWork)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QProcess script;
    script.setProcessEnvironment(CliEnvironmentFor(dir));
    script.start("bash", QStringList{NORDALIS_SOURCE_DIR "/scripts/demo-site.sh", NORDALIS_CLI} + CliGlobalsFor(dir) +
                             QStringList{"--bus", "virtual"});
    ASSERT_TRUE(script.waitForFinished(120000));
    ASSERT_EQ(script.exitCode(), 0) << script.readAllStandardError().toStdString();

    // The reading schedule: overdue, not due, due (compartments in reading order).
    const CliRun due = RunCli(dir, {"due"}, true);
    ASSERT_EQ(due.code, 0) << due.err.toStdString();
    const QStringList rows = due.out.trimmed().split('\n');
    ASSERT_EQ(rows.size(), 3) << due.out.toStdString();
    EXPECT_EQ(rows[0].split('\t').value(1), "urgent");
    EXPECT_EQ(rows[0].split('\t').value(2), "Cold room");
    EXPECT_EQ(rows[1].split('\t').value(1), "no");
    EXPECT_EQ(rows[2].split('\t').value(1), "yes");
    EXPECT_EQ(rows[2].split('\t').value(2), "Pharmacy fridge");

    // Readings stored for every logger, and the power cut above the cold room's 8 °C.
    const QString db = dir.filePath("home/data/NORDALIS.MDE");
    EXPECT_GT(SqliteScalar(db, "SELECT COUNT(*) FROM samples WHERE DeviceID = 100100101"), 1000);
    EXPECT_GT(SqliteScalar(db, "SELECT COUNT(*) FROM samples WHERE DeviceID = 100100201"), 500);
    EXPECT_GT(SqliteScalar(db, "SELECT COUNT(*) FROM samples WHERE DeviceID = 100100301"), 1000);
    EXPECT_GT(SqliteScalar(db, "SELECT COUNT(*) FROM samples WHERE DeviceID = 100100101 AND SampleTemp > 8"), 5);
}
