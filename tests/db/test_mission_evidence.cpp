// The logger's alarm log and histogram stored per logger and mission in a real database file:
// with the reading's samples in one transaction, a later reading of the same mission replacing the
// rows (area by area), an older one changing nothing, the lookup by window, and a database made
// before the tables getting them on its first store.
#include "db/MissionEvidence.h"
#include "image/LoggerCompanion.h"
#include "support/LoggerImages.h"
#include "support/TestSite.h"

using namespace imagetest;

namespace {

constexpr qint32 kDevice = 123400101;

class MissionEvidenceStore : public TempDatabase {
protected:
    void SetUp() override
    {
        TempDatabase::SetUp();
        App().UtcBias = 0;
        raw = openRaw();
    }
    void TearDown() override
    {
        sqlite3_close(raw);
        TempDatabase::TearDown();
    }
    // A one-minute rollover mission with `samples` samples, read a minute after the last one.
    Mission mission(int samples) const
    {
        Mission m;
        m.rate = 1;
        m.rollover = true;
        m.missionSamples = m.deviceSamples = samples;
        m.clockUtc = m.startUtc.addSecs(qint64(samples) * 60 + 30);
        return m;
    }
    // Stores the reading of m with these areas (empty: not read); the figures stored.
    StoredMissionEvidence store(const Mission& m, const QByteArray& alarms, const QByteArray& histogram)
    {
        clsDS1921Data image;
        Load(image, StandardRecord(kDevice, "door", m.clockUtc), Registers(m), Log([](int i) { return 80 + (i % 5); }));
        LoggerCompanion c;
        c.readUtc = m.clockUtc;
        c.alarmLog = alarms;
        c.histogram = histogram;
        const StoredMissionEvidence e = MissionEvidenceOf(image, c);
        QString refusal;
        EXPECT_EQ(db->LoggerImageToDB(image, &refusal, "f.dta", QString(64, 'a'), &e), ImageStoreResult::Stored)
            << refusal.toStdString();
        return e;
    }
    qint64 count(const char* sql) { return scalar(raw, sql); }

    sqlite3* raw = nullptr;
};

} // namespace

TEST_F(MissionEvidenceStore, StoredWithTheSamplesAndReplacedByALaterReadingOfTheMission)
{
    // 1500 samples: nothing overwritten yet. A high alarm at sample 30, a low one at 1200.
    const QByteArray alarms = AlarmArea({{true, 30, 60}, {false, 1200, 3}});
    store(mission(1500), alarms, HistogramArea({{21, 1450}, {23, 50}}));
    EXPECT_EQ(count("SELECT COUNT(*) FROM samples"), 1500);
    EXPECT_EQ(count("SELECT COUNT(*) FROM missionevidence"), 1);
    EXPECT_EQ(count("SELECT MissionSamples FROM missionevidence"), 1500);
    EXPECT_EQ(scalarText(raw, "SELECT MissionStartUTC || ' ' || ReadUTC FROM missionevidence"),
              "2007-06-01T12:00:00Z 2007-06-02T13:00:30Z");
    EXPECT_EQ(scalarText(raw, "SELECT group_concat(Kind || ':' || StartSample || ':' || DurationSamples || ':' || "
                              "StartUTC || ':' || Minutes || ':' || Overwritten, ' ') FROM "
                              "(SELECT * FROM missionalarms ORDER BY Entry)"),
              "low:1200:3:2007-06-02T07:59:00Z:3:0 high:30:60:2007-06-01T12:29:00Z:60:0");
    EXPECT_EQ(count("SELECT COUNT(*) FROM missionhistogram"), 64);
    EXPECT_EQ(count("SELECT SUM(Count) FROM missionhistogram"), 1500);
    EXPECT_EQ(scalarText(raw, "SELECT Details FROM audit ORDER BY AuditID DESC LIMIT 1").section(' ', 3, 4),
              "alarmlog=2 histogram=1500");

    // The same mission read again at 3000 samples: the log keeps 953..3000, the first alarm is
    // overwritten now, a new one came; the histogram counts all 3000. Replaced, not added.
    store(mission(3000), AlarmArea({{true, 30, 60}, {true, 2980, 20}, {false, 1200, 3}}),
          HistogramArea({{21, 2900}, {23, 100}}));
    EXPECT_EQ(count("SELECT COUNT(*) FROM missionevidence"), 1);
    EXPECT_EQ(count("SELECT MissionSamples FROM missionevidence"), 3000);
    EXPECT_EQ(count("SELECT HistogramTotal FROM missionevidence"), 3000);
    EXPECT_EQ(count("SELECT COUNT(*) FROM missionalarms"), 3);
    EXPECT_EQ(scalarText(raw, "SELECT group_concat(StartSample || ':' || Overwritten, ' ') FROM "
                              "(SELECT * FROM missionalarms WHERE Kind = 'high' ORDER BY Entry)"),
              "30:1 2980:0");
    EXPECT_EQ(count("SELECT COUNT(*) FROM missionhistogram"), 64);
    EXPECT_EQ(count("SELECT SUM(Count) FROM missionhistogram"), 3000);

    // A later reading that could not read the histogram keeps the stored histogram; one that read
    // neither area stores nothing; an older reading (a file imported late) changes nothing.
    store(mission(3100), AlarmArea({{true, 3050, 2}}), QByteArray());
    EXPECT_EQ(count("SELECT COUNT(*) FROM missionalarms"), 1);
    EXPECT_EQ(count("SELECT SUM(Count) FROM missionhistogram"), 3000);
    EXPECT_EQ(count("SELECT HistogramRead FROM missionevidence"), 1);
    store(mission(3200), QByteArray(), QByteArray());
    EXPECT_EQ(count("SELECT MissionSamples FROM missionevidence"), 3100);
    store(mission(1500), alarms, HistogramArea({{21, 1500}}));
    EXPECT_EQ(count("SELECT MissionSamples FROM missionevidence"), 3100);
    EXPECT_EQ(count("SELECT COUNT(*) FROM missionalarms"), 1);

    // The lookup by window finds the mission it overlaps and nothing outside it.
    const QDateTime start = mission(1).startUtc;
    const auto found = MissionEvidenceForWindow(*db, kDevice, start.addDays(1), start.addDays(2));
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].SerialNo, "0000074667");
    EXPECT_EQ(found[0].MissionStartUtc, start);
    EXPECT_EQ(found[0].MissionSamples, 3100);
    EXPECT_TRUE(found[0].RollOver);
    EXPECT_TRUE(found[0].AlarmLogRead && found[0].HistogramRead);
    ASSERT_EQ(found[0].AlarmLog.size(), 1u);
    EXPECT_EQ(found[0].AlarmLog[0].startSample, 3050);
    EXPECT_EQ(found[0].AlarmLog[0].start, start.addSecs(3049 * 60));
    ASSERT_EQ(found[0].Histogram.size(), 64u);
    EXPECT_EQ(HistogramTotal(found[0].Histogram), 3000u);
    EXPECT_FLOAT_EQ(found[0].Histogram[21].fromC, 2.0f);
    EXPECT_TRUE(MissionEvidenceForWindow(*db, kDevice, start.addDays(-3), start.addDays(-1)).empty());
    EXPECT_TRUE(MissionEvidenceForWindow(*db, kDevice + 1, start, start.addDays(3)).empty());
}

TEST_F(MissionEvidenceStore, ADatabaseMadeBeforeTheTablesGetsThem)
{
    // As a database of an older program: the three tables missing, with or without the audit ones.
    const char* const drops[2] = {"DROP TABLE missionevidence; DROP TABLE missionalarms; DROP TABLE missionhistogram;",
                                  "DROP TABLE audit; DROP TABLE audithead; DROP TABLE readingfiles;"};
    for (int i = 0; i < 2; ++i) {
        ASSERT_EQ(sqlite3_exec(raw, drops[i], nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(raw);
        if (i == 0) {   // without the tables the lookup finds nothing
            EXPECT_TRUE(MissionEvidenceForWindow(*db, kDevice, QDateTime(), QDateTime::currentDateTimeUtc()).empty());
        }
        store(mission(100), AlarmArea({{true, 10, 2}}), HistogramArea({{21, 100}}));
        EXPECT_EQ(count("SELECT COUNT(*) FROM missionevidence"), 1);
        EXPECT_EQ(count("SELECT COUNT(*) FROM missionalarms"), 1);
        EXPECT_EQ(count("SELECT COUNT(*) FROM audit WHERE Action = 'reading stored'"), 1);
    }
}
