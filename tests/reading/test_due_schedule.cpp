// The reading schedule from the terminal on the virtual bench: a logger is programmed, time
// passes on the bench, the logger is read and its file imported, and "due" and "joblist" tell
// when its data is at risk. Every run is the real program as a process; the hours are counted
// from the bench's clock, as the desktop program counts them.
#include "support/CliProcess.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

class DueSchedule : public ::testing::Test {
protected:
    QTemporaryDir dir;

    CliRun run(const QStringList& args) { return RunCli(dir, args, true); }
    QString database() const { return dir.filePath("home/data/NORDALIS.MDE"); }

    // A site with one compartment, a reader cable and one logger in it.
    void SetUp() override
    {
        ASSERT_EQ(run({"init", "--site", "12"}).code, 0);
        ASSERT_EQ(run({"structure", "add-compartment", "--description", "freezer"}).code, 0);
        ASSERT_EQ(run({"sim", "add-cable"}).code, 0);
        ASSERT_EQ(run({"sim", "add-logger"}).code, 0);
    }
    void program(const QStringList& extra)
    {
        const CliRun r = run(QStringList{"program", "--room", "1", "--position", "3", "--description", "door", "--rate",
                                         "5", "--low", "-30", "--high", "30"} + extra);
        ASSERT_EQ(r.code, 0) << r.err.toStdString();
    }
    void advance(const QString& duration) { ASSERT_EQ(run({"sim", "advance", duration}).code, 0); }
    void readAndImport()
    {
        CliRun r = run({"read"});
        ASSERT_EQ(r.code, 0) << r.err.toStdString();
        r = run({"import"});
        ASSERT_EQ(r.code, 0) << r.err.toStdString();
    }
    // The one row of "due": status and hours.
    struct Due { QString status; int hours = 0; };
    Due due()
    {
        const CliRun r = run({"due"});
        EXPECT_EQ(r.code, 0) << r.err.toStdString();
        const QStringList cells = r.out.trimmed().split('\t');
        EXPECT_GE(cells.size(), 8) << r.out.toStdString();
        bool ok = false;
        const int hours = cells.value(7).toInt(&ok);
        EXPECT_TRUE(ok) << r.out.toStdString();
        return {cells.value(1), hours};
    }
};

} // namespace

// Read after 6 days at 5 minutes per sample, without rollover: the log of 2048 samples is full
// 170 h 40 min after the first sample, so about 26 hours after the reading - not 170 hours after
// it, since reading does not restart the mission.
TEST_F(DueSchedule, WithoutRolloverTheLogFillsFromTheFirstSampleWhateverTheReadings)
{
    program({});
    advance("6d");
    readAndImport();
    Due d = due();
    EXPECT_EQ(d.status, "yes");
    EXPECT_GE(d.hours, 25);
    EXPECT_LE(d.hours, 27);

    // The job file names the same moment as the list.
    const CliRun jobs = run({"joblist"});
    ASSERT_EQ(jobs.code, 0) << jobs.err.toStdString();
    const QString jobPath = jobs.out.trimmed();
    QFile job(jobPath);
    ASSERT_TRUE(job.open(QIODevice::ReadOnly)) << jobPath.toStdString();
    const QString firstLine = QString::fromLatin1(job.readLine()).trimmed();
    const QDateTime jobDue = QDateTime::fromString("20" + firstLine.mid(4), "yyyy/MM/dd HH:mm");
    ASSERT_TRUE(jobDue.isValid()) << firstLine.toStdString();
    {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open_v2(QFile::encodeName(database()).constData(), &db, SQLITE_OPEN_READONLY, nullptr),
                  SQLITE_OK);
        sqlite3_stmt* st = nullptr;
        ASSERT_EQ(sqlite3_prepare_v2(db, "SELECT NextReading, DateRead FROM devices", -1, &st, nullptr), SQLITE_OK);
        ASSERT_EQ(sqlite3_step(st), SQLITE_ROW);
        const QDateTime next = QDateTime::fromString(QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 0))),
                                                     "yyyy-MM-dd HH:mm:ss");
        const QDateTime read = QDateTime::fromString(QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 1))),
                                                     "yyyy-MM-dd HH:mm:ss");
        sqlite3_finalize(st);
        sqlite3_close(db);
        EXPECT_EQ(next.toString("yyyy/MM/dd HH:mm"), jobDue.toString("yyyy/MM/dd HH:mm"));
        // The first sample followed the programming within a minute; the reading came 6 days later.
        const qint64 minutesAfterReading = read.secsTo(next) / 60;
        EXPECT_GE(minutesAfterReading, 26 * 60 + 40 - 2);
        EXPECT_LE(minutesAfterReading, 26 * 60 + 40 + 1);
    }

    // A day later on the bench, without another reading: the hours follow the bench's clock.
    advance("1d");
    d = due();
    EXPECT_EQ(d.status, "yes");
    EXPECT_GE(d.hours, 1);
    EXPECT_LE(d.hours, 3);

    // Past the moment the log is full: urgent, and the hours are negative.
    advance("4h");
    d = due();
    EXPECT_EQ(d.status, "urgent");
    EXPECT_LE(d.hours, -1);
    EXPECT_GE(d.hours, -2);

    // Read again: the mission was not restarted by the readings, so it stays urgent.
    readAndImport();
    d = due();
    EXPECT_EQ(d.status, "urgent");
}

// With rollover the oldest sample not yet read is overwritten 2048 periods after the last
// reading: 170 hours after it, and a new reading moves the moment on.
TEST_F(DueSchedule, WithRolloverTheLastReadingCounts)
{
    program({"--rollover"});
    advance("6d");
    readAndImport();
    Due d = due();
    EXPECT_EQ(d.status, "no");
    EXPECT_GE(d.hours, 169);
    EXPECT_LE(d.hours, 171);

    // Six more days without a reading: 26 hours or so are left.
    advance("6d");
    d = due();
    EXPECT_EQ(d.status, "yes");
    EXPECT_GE(d.hours, 25);
    EXPECT_LE(d.hours, 27);

    readAndImport();
    d = due();
    EXPECT_EQ(d.status, "no");
    EXPECT_GE(d.hours, 169);
}

// A mission that waits 10 hours for its start delay, read after one: the log is full 2048
// periods after the first sample, which is still 9 hours ahead.
TEST_F(DueSchedule, AMissionWaitingForItsStartDelayCountsFromItsFirstSample)
{
    program({"--delay", "600"});
    advance("1h");
    readAndImport();
    Due d = due();
    EXPECT_EQ(d.status, "no");
    EXPECT_GE(d.hours, 178);
    EXPECT_LE(d.hours, 181);

    // Read again after the mission has run for six days: 26 hours or so are left.
    advance("6d9h");
    readAndImport();
    d = due();
    EXPECT_EQ(d.status, "yes");
    EXPECT_GE(d.hours, 25);
    EXPECT_LE(d.hours, 27);
}
