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
    void load(clsDS1921Data& image, int samples, const QByteArray& alarms, const QByteArray& histogram)
    {
        Mission m;
        m.rate = 1;
        m.rollover = true;
        m.missionSamples = m.deviceSamples = samples;
        m.clockUtc = m.startUtc.addSecs(qint64(samples) * 60 + 30);
        Load(image, StandardRecord(123400101, "door", m.clockUtc), Registers(m), Log([](int i) { return 80 + i % 3; }));
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
    EXPECT_EQ(v.bins[0].range, "2.0 to 4.0");   // bin 21 of a DS1921G: codes 84..87
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
    EXPECT_EQ(v.bins[0].range, "32.0 to 35.6");

    clsDS1921Data fromFile;
    Load(fromFile, StandardRecord(123400101, "door", QDateTime::currentDateTimeUtc()), QByteArray(65, '\0'),
         Log([](int) { return 80; }));
    EXPECT_FALSE(ReadingEvidenceViewOf(fromFile, QString()).shown);
}
