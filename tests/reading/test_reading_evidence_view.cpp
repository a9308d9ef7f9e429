// What the reading dialog shows of the alarm log and histogram after a full reading: records with
// their local times, minutes and the overwritten mark; the non-empty bins in the display unit with
// the total; the note when the histogram counts more samples than the data log holds; "not read"
// for an area that failed; nothing for an image that is no full reading. And the dialog itself
// after a reading of a rolled-over mission on the virtual bus.
#include "reading/ReadingEvidence.h"
#include "support/LoggerImages.h"

#include <gtest/gtest.h>

using namespace imagetest;

namespace {

class ReadingEvidenceViewTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        saved = App();
        App().UtcBias = -60;   // local time one hour ahead of UTC
        App().Units = 0;
    }
    void TearDown() override { App() = saved; }
    void load(clsDS1921Data& image, int samples, const QByteArray& alarms, const QByteArray& histogram, char status = 0x20)
    {
        Mission m;
        m.rate = 1;
        m.rollover = true;
        m.missionSamples = m.deviceSamples = samples;
        m.clockUtc = m.startUtc.addSecs(qint64(samples) * 60 + 30);
        QByteArray registers = Registers(m);
        registers[0x14] = status;
        Load(image, StandardRecord(123400101, "door", m.clockUtc), registers, Log([](int i) { return 80 + i % 3; }));
        image.SetEvidenceBytes(alarms, histogram, m.clockUtc);
    }
    AppState saved;
};

} // namespace

TEST_F(ReadingEvidenceViewTest, RolledOverMissionShowsTheOverwrittenAlarmAndTheNote)
{
    clsDS1921Data image;
    load(image, 3000, AlarmArea({{true, 30, 60}, {true, 2980, 20}}), HistogramArea({{21, 2900}, {23, 100}}));
    const ReadingEvidenceView v = ReadingEvidenceViewOf(image, "5A0000000123AB21");
    ASSERT_TRUE(v.shown);
    ASSERT_EQ(v.alarms.size(), 2u);
    EXPECT_EQ(v.alarms[0].kind, "high");
    EXPECT_TRUE(v.alarms[0].overwritten);
    EXPECT_FALSE(v.alarms[1].overwritten);
    EXPECT_EQ(v.alarms[0].minutes, "60");
    // Local time: mission start 12:00 UTC, sample 30 at 12:29 UTC, 13:29 local.
    EXPECT_EQ(v.alarms[0].start, "2007-06-01 13:29");
    EXPECT_EQ(v.alarms[0].end, "2007-06-01 14:29");
    ASSERT_EQ(v.bins.size(), 2u);
    EXPECT_EQ(v.bins[0].range, "2.0 to 3.5");   // bin 21 of a DS1921G: codes 84..87, its own codes only
    EXPECT_EQ(v.bins[0].count, 2900u);
    EXPECT_EQ(v.largestCount, 2900u);
    EXPECT_EQ(v.totalText, "total: 3000 samples");
    EXPECT_TRUE(v.histogramExceedsLog);
    EXPECT_EQ(v.histogramNote, "the histogram counts 3000 samples, the data log holds 2048");
}

TEST_F(ReadingEvidenceViewTest, NotReadNoAlarmAndNoFullReading)
{
    clsDS1921Data image;
    load(image, 500, AlarmArea({}), QByteArray());
    ReadingEvidenceView v = ReadingEvidenceViewOf(image, QString());
    ASSERT_TRUE(v.shown);
    EXPECT_TRUE(v.alarms.empty());
    EXPECT_EQ(v.alarmNote, "no alarm recorded");
    EXPECT_FALSE(v.histogramRead);
    EXPECT_EQ(v.histogramNote, "not read");
    EXPECT_TRUE(v.bins.empty());

    // A histogram of exactly the samples the log holds needs no note; Fahrenheit bins.
    App().Units = 1;
    load(image, 500, QByteArray(), HistogramArea({{20, 500}}));
    v = ReadingEvidenceViewOf(image, QString());
    EXPECT_EQ(v.alarmNote, "not read");
    EXPECT_FALSE(v.histogramExceedsLog);
    EXPECT_TRUE(v.histogramNote.isEmpty());
    ASSERT_EQ(v.bins.size(), 1u);
    EXPECT_EQ(v.bins[0].range, "32.0 to 34.7");   // 0.0 to 1.5 °C

    clsDS1921Data fromFile;
    Load(fromFile, StandardRecord(123400101, "door", QDateTime::currentDateTimeUtc()), QByteArray(65, '\0'),
         Log([](int) { return 80; }));
    EXPECT_FALSE(ReadingEvidenceViewOf(fromFile, QString()).shown);
}

// The logger's own alarms count although the rolled-over log no longer holds their samples (all
// samples in the log lie between 0 and 1 °C, the levels are 0 and 10 °C): the high flag and an
// overwritten entry of 60 minutes give the high alarm and say when; a flag no entry and no
// sample explains is said as such; without flags and entries there is no alarm.
TEST_F(ReadingEvidenceViewTest, AlarmsTheLoggerRecordedBeyondItsLog)
{
    clsDS1921Data image;
    load(image, 3000, AlarmArea({{true, 30, 60}}), QByteArray(), 0x20 | 0x02);
    LoggerAlarms a = LoggerAlarmsOf(image);
    EXPECT_TRUE(a.high);
    EXPECT_FALSE(a.low);
    EXPECT_EQ(a.texts, QStringList{"the logger recorded a high alarm on 2007-06-01 13:29 (60 min); its samples are no "
                                   "longer in the log"});

    // Several of a kind in one text: first start, last end, minutes in all.
    load(image, 3000, AlarmArea({{true, 30, 60}, {true, 200, 10}}), QByteArray(), 0x20 | 0x02);
    EXPECT_EQ(LoggerAlarmsOf(image).texts,
              QStringList{"the logger recorded 2 high alarms from 2007-06-01 13:29 to 2007-06-01 16:29 (70 min in all); their "
                          "samples are no longer in the log"});

    load(image, 3000, QByteArray(), QByteArray(), 0x20 | 0x04);   // low flag, alarm log not read
    a = LoggerAlarmsOf(image);
    EXPECT_FALSE(a.high);
    EXPECT_TRUE(a.low);
    EXPECT_EQ(a.texts, QStringList{"the logger's low alarm flag is set; the samples in its log do not show that alarm"});

    load(image, 3000, AlarmArea({}), QByteArray());
    a = LoggerAlarmsOf(image);
    EXPECT_FALSE(a.high || a.low);
    EXPECT_TRUE(a.texts.isEmpty());
}

// With all 12 low entries used the logger records no later low alarm: said under the alarm log;
// 11 entries are not full.
TEST_F(ReadingEvidenceViewTest, FullAlarmLogIsSaid)
{
    clsDS1921Data image;
    load(image, 3000, AlarmArea({{false, 2000, 1}, {false, 2010, 1}, {false, 2020, 1}, {false, 2030, 1}, {false, 2040, 1},
                                 {false, 2050, 1}, {false, 2060, 1}, {false, 2070, 1}, {false, 2080, 1}, {false, 2090, 1},
                                 {false, 2100, 1}, {false, 2110, 1}, {true, 2200, 1}}),
         QByteArray());
    ReadingEvidenceView v = ReadingEvidenceViewOf(image, QString());
    EXPECT_EQ(v.alarms.size(), 13u);
    EXPECT_EQ(v.alarmLogFull,
              QStringList{"low alarm log full (12 entries): later low alarms were not recorded by the logger"});
    load(image, 3000, AlarmArea({{false, 2000, 1}, {false, 2010, 1}, {false, 2020, 1}, {false, 2030, 1}, {false, 2040, 1},
                                 {false, 2050, 1}, {false, 2060, 1}, {false, 2070, 1}, {false, 2080, 1}, {false, 2090, 1},
                                 {false, 2100, 1}}),
         QByteArray());
    EXPECT_TRUE(ReadingEvidenceViewOf(image, QString()).alarmLogFull.isEmpty());
}
