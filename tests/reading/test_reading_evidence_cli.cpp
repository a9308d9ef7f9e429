// The alarm log and histogram through the real program: a simulated one-minute mission with
// rollover runs past the 2048 samples of the data log, with an excursion early in the mission and
// one late; `read` and `logger status` show both records with their times, the early one marked
// overwritten, and a histogram that counts every sample of the mission. A damaged histogram page
// leaves the histogram "not read" and the samples read. The companion of each reading takes the
// figures into the database with the import, per mission.
#include "image/LoggerCompanion.h"
#include "support/CliProcess.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sqlite3.h>

namespace {

QString valueOf(const QString& out, const QString& key)
{
    for (const QString& line : out.split('\n'))
        if (line.startsWith(key + '\t')) return line.mid(key.size() + 1);
    return QString();
}

QStringList linesOf(const QString& out, const QString& key)
{
    QStringList r;
    for (const QString& line : out.split('\n'))
        if (line.startsWith(key + '\t')) r << line;
    return r;
}

QDateTime utcOf(const QString& text)
{
    QDateTime t = QDateTime::fromString(text.left(16), QStringLiteral("yyyy-MM-dd HH:mm"));
    t.setTimeSpec(Qt::UTC);
    return t;
}

// The alarm lines of one output: kind, start, end, minutes, overwritten.
void checkAlarmLog(const QString& out, const QDateTime& early, const QDateTime& late)
{
    const QStringList alarms = linesOf(out, QStringLiteral("alarm log"));
    ASSERT_EQ(alarms.size(), 2) << out.toStdString();
    for (int i = 0; i < 2; ++i) {
        const QStringList f = alarms[i].split('\t');
        ASSERT_GE(f.size(), 5) << alarms[i].toStdString();
        EXPECT_EQ(f[1], QStringLiteral("high"));
        const QDateTime start = utcOf(f[2]), end = utcOf(f[3]);
        ASSERT_TRUE(start.isValid() && end.isValid()) << alarms[i].toStdString();
        const QDateTime expected = i == 0 ? early : late;
        EXPECT_LE(qAbs(start.secsTo(expected)), 120) << alarms[i].toStdString();
        const int minutes = f[4].toInt();
        EXPECT_NEAR(minutes, i == 0 ? 60 : 20, 2) << alarms[i].toStdString();
        EXPECT_EQ(start.secsTo(end), qint64(minutes) * 60);
        EXPECT_EQ(f.size() == 6 && f[5] == QStringLiteral("overwritten"), i == 0) << alarms[i].toStdString();
    }
}

qint64 scalarOf(sqlite3* db, const char* sql)
{
    sqlite3_stmt* st = nullptr;
    EXPECT_EQ(sqlite3_prepare_v2(db, sql, -1, &st, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
    qint64 v = -1;
    if (sqlite3_step(st) == SQLITE_ROW) v = sqlite3_column_int64(st, 0);
    sqlite3_finalize(st);
    return v;
}

// A site with one compartment, the reader cable and a DS1921G on the virtual bus.
void siteWithLogger(const QTemporaryDir& dir, const QString& compartment)
{
    const auto run = [&](const QStringList& args) { return RunCli(dir, args, true); };
    ASSERT_EQ(run({"init", "--site", "12"}).code, 0);
    ASSERT_EQ(run({"structure", "add-compartment", "--description", compartment}).code, 0);
    ASSERT_EQ(run({"sim", "add-cable"}).code, 0);
    ASSERT_EQ(run({"sim", "add-logger", "--variant", "G"}).code, 0);
}

} // namespace

TEST(ReadingEvidenceCli, AlarmLogAndHistogramAfterRollover)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const auto run = [&](const QStringList& args) { return RunCli(dir, args, true); };
    ASSERT_NO_FATAL_FAILURE(siteWithLogger(dir, "freezer"));

    // Excursions of +8 over the 4 °C room: 60 minutes half an hour after the start, 20 minutes
    // near the end (3120 minutes in all, so the log keeps only the last 2048).
    QDateTime now = QDateTime::currentDateTimeUtc();
    now.setTime(QTime(now.time().hour(), now.time().minute()));
    const QDateTime early = now.addSecs(30 * 60), late = now.addSecs(3000 * 60);
    const QString fmt = QStringLiteral("yyyy-MM-dd HH:mm");
    CliRun r = run({"sim", "profile", "--noise", "0", "--excursion", early.toString(fmt) + ",60m,+8", "--excursion",
                    late.toString(fmt) + ",20m,+8"});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    r = run({"program", "--room", "1", "--position", "3", "--description", "door", "--rate", "1", "--low", "-20",
             "--high", "8", "--rollover"});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    ASSERT_EQ(run({"sim", "advance", "2d4h"}).code, 0);

    r = run({"read"});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    const qint64 samples = valueOf(r.out, QStringLiteral("current samples")).toLongLong();
    EXPECT_GT(samples, 2048) << r.out.toStdString();
    EXPECT_EQ(valueOf(r.out, QStringLiteral("histogram total")).toLongLong(), samples) << r.out.toStdString();
    checkAlarmLog(r.out, early, late);
    // The overwritten alarm is named in the alarm lines, besides the one the samples show.
    EXPECT_TRUE(r.out.contains(QStringLiteral("\nALARM\ttemperature limit exceeded: maximum above alarm high\n")));
    EXPECT_TRUE(r.out.contains(QStringLiteral("\nALARM\tthe logger recorded a high alarm on "))) << r.out.toStdString();
    // Non-zero bins only, G bins of 2 °C: the room (4 °C) and the excursions (12 °C).
    const QStringList bins = linesOf(r.out, QStringLiteral("histogram"));
    EXPECT_GE(bins.size(), 2) << r.out.toStdString();
    for (const QString& b : bins) EXPECT_NE(b.split('\t').value(3), QStringLiteral("0"));
    // The new lines follow the existing output.
    EXPECT_LT(r.out.indexOf(QStringLiteral("status\t")), r.out.indexOf(QStringLiteral("alarm log\t")));

    const CliRun status = run({"logger", "status"});
    ASSERT_EQ(status.code, 0) << status.err.toStdString();
    EXPECT_GE(valueOf(status.out, QStringLiteral("histogram total")).toLongLong(), samples) << status.out.toStdString();
    checkAlarmLog(status.out, early, late);

    // The reading's companion beside its logger file, imported into the database with the samples:
    // the mission's histogram counts more samples than the data log holds, the early alarm is
    // marked overwritten.
    const QString dataDir = dir.filePath("home/data");
    const QString loggerFile = valueOf(r.out, QStringLiteral("file"));
    ASSERT_TRUE(QFile::exists(CompanionPathFor(loggerFile))) << loggerFile.toStdString();
    const CliRun imported = run({"import"});
    ASSERT_EQ(imported.code, 0) << imported.out.toStdString() << imported.err.toStdString();
    EXPECT_TRUE(QFile::exists(CompanionPathFor(QDir(dataDir + "/backup").filePath(QFileInfo(loggerFile).fileName()))));
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open_v2(QFile::encodeName(dataDir + "/NORDALIS.MDE").constData(), &db, SQLITE_OPEN_READONLY,
                              nullptr),
              SQLITE_OK);
    EXPECT_EQ(scalarOf(db, "SELECT MissionSamples FROM missionevidence"), samples);
    EXPECT_EQ(scalarOf(db, "SELECT HistogramTotal FROM missionevidence"), samples);
    EXPECT_EQ(scalarOf(db, "SELECT SUM(Count) FROM missionhistogram"), samples);
    EXPECT_GT(samples, scalarOf(db, "SELECT COUNT(*) FROM samples"));
    EXPECT_EQ(scalarOf(db, "SELECT COUNT(*) FROM missionalarms WHERE Kind = 'high'"), 2);
    EXPECT_EQ(scalarOf(db, "SELECT group_concat(Overwritten, '') FROM (SELECT * FROM missionalarms ORDER BY Entry)"), 10);
    sqlite3_close(db);

    // A histogram page that never passes its CRC: the samples are still read, the histogram is
    // said to be not read.
    const QString rom = valueOf(r.out, QStringLiteral("rom"));
    ASSERT_FALSE(rom.isEmpty());
    ASSERT_EQ(run({"sim", "fault", rom, "--crc-page", "65"}).code, 0);
    r = run({"read"});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains(QStringLiteral("\nhistogram\tnot read\n"))) << r.out.toStdString();
    EXPECT_TRUE(valueOf(r.out, QStringLiteral("histogram total")).isEmpty());
    EXPECT_EQ(linesOf(r.out, QStringLiteral("alarm log")).size(), 2) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains(QStringLiteral("status\t...finished reading"))) << r.out.toStdString();

    // Its companion says so; imported, the mission keeps the histogram of the reading before.
    const QString second = valueOf(r.out, QStringLiteral("file"));
    QFile companion(CompanionPathFor(second));
    ASSERT_TRUE(companion.open(QIODevice::ReadOnly));
    EXPECT_TRUE(companion.readAll().contains("\nhistogram=not read\n"));
    companion.close();
    ASSERT_EQ(run({"import"}).code, 0);
    ASSERT_EQ(sqlite3_open_v2(QFile::encodeName(dataDir + "/NORDALIS.MDE").constData(), &db, SQLITE_OPEN_READONLY,
                              nullptr),
              SQLITE_OK);
    EXPECT_EQ(scalarOf(db, "SELECT COUNT(*) FROM missionevidence"), 1);
    EXPECT_EQ(scalarOf(db, "SELECT SUM(Count) FROM missionhistogram"), samples);
    EXPECT_EQ(scalarOf(db, "SELECT HistogramRead FROM missionevidence"), 1);
    sqlite3_close(db);
}

// Read early, stored, then left so long that the log rolled over past the stored samples: the
// second reading says how many samples were overwritten before any reading stored them and
// when (the sample after the newest stored one up to the one before the oldest in the log); the
// audit row of its stored reading records them; the excursions of the whole mission show the
// stretch as time without samples. Reading again at once loses nothing.
TEST(ReadingEvidenceCli, SamplesOverwrittenBeforeAnyReadingStoredThem)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const auto run = [&](const QStringList& args) { return RunCli(dir, args, true); };
    ASSERT_NO_FATAL_FAILURE(siteWithLogger(dir, "cold room"));
    CliRun r = run({"program", "--room", "1", "--position", "1", "--description", "cold room", "--rate", "1", "--low",
                    "-20", "--high", "30", "--rollover"});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    ASSERT_EQ(run({"sim", "advance", "17h"}).code, 0);
    r = run({"read"});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_TRUE(valueOf(r.out, QStringLiteral("samples lost")).isEmpty()) << r.out.toStdString();
    const qint64 first = valueOf(r.out, QStringLiteral("current samples")).toLongLong();
    ASSERT_EQ(run({"import"}).code, 0);

    ASSERT_EQ(run({"sim", "advance", "2d"}).code, 0);
    r = run({"read"});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    const qint64 second = valueOf(r.out, QStringLiteral("current samples")).toLongLong();
    const qint64 lost = second - 2048 - first;
    ASSERT_GT(lost, 0);
    const QString text = valueOf(r.out, QStringLiteral("samples lost"));
    const QRegularExpressionMatch m =
        QRegularExpression(QStringLiteral("^(\\d+) samples from (\\S+ \\S+) to (\\S+ \\S+) were overwritten on the logger "
                                          "before they were read$"))
            .match(text);
    ASSERT_TRUE(m.hasMatch()) << r.out.toStdString();
    EXPECT_EQ(m.captured(1).toLongLong(), lost);
    const QDateTime from = QDateTime::fromString(m.captured(2), QStringLiteral("yyyy-MM-dd HH:mm"));
    const QDateTime to = QDateTime::fromString(m.captured(3), QStringLiteral("yyyy-MM-dd HH:mm"));
    EXPECT_EQ(from.secsTo(to), (lost - 1) * 60);
    EXPECT_TRUE(r.out.contains(QStringLiteral("status\t...finished reading"))) << r.out.toStdString();

    ASSERT_EQ(run({"import"}).code, 0);
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open_v2(QFile::encodeName(dir.filePath("home/data/NORDALIS.MDE")).constData(), &db,
                              SQLITE_OPEN_READONLY, nullptr),
              SQLITE_OK);
    sqlite3_stmt* st = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(db, "SELECT Details FROM audit WHERE Action = 'reading stored' ORDER BY AuditID", -1, &st,
                                 nullptr),
              SQLITE_OK)
        << sqlite3_errmsg(db);
    QStringList details;
    while (sqlite3_step(st) == SQLITE_ROW) details << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
    sqlite3_finalize(st);
    ASSERT_EQ(details.size(), 2) << details.join('\n').toStdString();
    EXPECT_FALSE(details[0].contains(QStringLiteral(" lost=")));
    EXPECT_TRUE(details[1].contains(QStringLiteral(" lost=%1 ").arg(lost))) << details[1].toStdString();
    const qint64 deviceId = scalarOf(db, "SELECT DeviceID FROM devices");
    sqlite3_close(db);

    // The excursions of the whole mission: the summary line ends with the stretch without samples.
    const QString fmt = QStringLiteral("yyyy-MM-dd HH:mm");
    const CliRun x = run({"excursions", "--device", QString::number(deviceId), "--from",
                          QDateTime::currentDateTime().addDays(-2).toString(fmt), "--to",
                          QDateTime::currentDateTime().addDays(5).toString(fmt)});
    ASSERT_EQ(x.code, 0) << x.err.toStdString();
    const QStringList summary = linesOf(x.out, QStringLiteral("out of range")).value(0).split('\t');
    ASSERT_EQ(summary.size(), 8) << x.out.toStdString();
    EXPECT_EQ(summary[3], QStringLiteral("100.00 %"));
    EXPECT_EQ(summary[4], QStringLiteral("without samples"));
    EXPECT_EQ(summary[5], QStringLiteral("%1.0 min").arg(lost));
    EXPECT_EQ(summary[7], QStringLiteral("1"));

    r = run({"read"});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_TRUE(valueOf(r.out, QStringLiteral("samples lost")).isEmpty()) << r.out.toStdString();
}
