// The alarm log and histogram of a DS1921 decoded from their bytes: record layout (low records
// first, 3-byte sample number LSB first, duration byte), times from the mission start and sample
// rate, the overwritten mark after a rollover, bin ranges per variant and the 16-bit counts.
#include "image/LoggerEvidence.h"

#include <QDateTime>
#include <gtest/gtest.h>

namespace {

QByteArray alarmArea() { return QByteArray(kAlarmLogBytes, '\0'); }

void putRecord(QByteArray& area, bool high, int slot, quint32 sample, int duration)
{
    const int a = (high ? 0x30 : 0) + 4 * slot;
    area[a] = char(sample & 0xFF);
    area[a + 1] = char((sample >> 8) & 0xFF);
    area[a + 2] = char((sample >> 16) & 0xFF);
    area[a + 3] = char(duration);
}

const QDateTime kStart(QDate(2026, 12, 1), QTime(8, 0), Qt::UTC);

} // namespace

TEST(AlarmLog, RecordsTimedFromMissionStartLowFirst)
{
    QByteArray area = alarmArea();
    putRecord(area, true, 0, 0x010203, 4);   // sample 66051: bytes 03 02 01
    putRecord(area, false, 0, 11, 3);
    putRecord(area, false, 1, 40, 255);
    const auto entries = DecodeAlarmLog(area, kStart, 10, 70000, false);
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_FALSE(entries[0].high);
    EXPECT_EQ(entries[0].startSample, 11);
    EXPECT_EQ(entries[0].start, kStart.addSecs(10 * 10 * 60));   // sample 1 is at the start
    EXPECT_EQ(entries[0].end, kStart.addSecs(13 * 10 * 60));
    EXPECT_EQ(entries[0].minutes, 30);
    EXPECT_EQ(entries[1].durationSamples, 255);
    EXPECT_EQ(entries[1].minutes, 2550);
    EXPECT_TRUE(entries[2].high);
    EXPECT_EQ(entries[2].startSample, 0x010203);
    for (const auto& e : entries) EXPECT_FALSE(e.overwritten) << "without rollover nothing is overwritten";
}

TEST(AlarmLog, OverwrittenOnlyBeforeTheOldestSampleKept)
{
    QByteArray area = alarmArea();
    putRecord(area, true, 0, 100, 5);
    putRecord(area, true, 1, 952, 2);    // 3000 samples: the log keeps 953..3000
    putRecord(area, true, 2, 953, 2);
    EXPECT_EQ(FirstSampleInLog(3000, true), 953);
    EXPECT_EQ(FirstSampleInLog(2048, true), 1);
    EXPECT_EQ(FirstSampleInLog(3000, false), 1);
    const auto entries = DecodeAlarmLog(area, kStart, 1, 3000, true);
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_TRUE(entries[0].overwritten);
    EXPECT_TRUE(entries[1].overwritten);
    EXPECT_FALSE(entries[2].overwritten);
}

TEST(AlarmLog, ShortAreaOrUnknownStart)
{
    EXPECT_TRUE(DecodeAlarmLog(QByteArray(kAlarmLogBytes - 1, '\x01'), kStart, 1, 10, false).empty());
    QByteArray area = alarmArea();
    putRecord(area, false, 0, 2, 1);
    const auto entries = DecodeAlarmLog(area, QDateTime(), 1, 10, false);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_FALSE(entries[0].start.isValid());
    EXPECT_EQ(DecodeAlarmLog(area, kStart, 0, 10, false)[0].start.isValid(), false);
}

TEST(Histogram, BinRangesPerVariantAndCounts)
{
    QByteArray area(kHistogramAreaBytes, '\0');
    area[2 * 31] = char(0x34);   // bin 31: 0x1234
    area[2 * 31 + 1] = char(0x12);
    area[2 * 62] = char(0xFF);   // bin 62: saturated
    area[2 * 62 + 1] = char(0xFF);
    const auto g = DecodeHistogram(area, LoggerVariant::Standard);
    ASSERT_EQ(g.size(), 64u);
    EXPECT_FLOAT_EQ(g[0].fromC, -40.0f);
    EXPECT_FLOAT_EQ(g[0].toC, -38.0f);
    EXPECT_FLOAT_EQ(g[31].fromC, 22.0f);
    EXPECT_EQ(g[31].count, 0x1234u);
    EXPECT_EQ(g[62].count, 0xFFFFu);
    EXPECT_EQ(HistogramTotal(g), 0x1234u + 0xFFFFu);
    const auto h = DecodeHistogram(area, LoggerVariant::H4F2);
    EXPECT_FLOAT_EQ(h[1].fromC, 15.0f);
    EXPECT_FLOAT_EQ(h[1].toC, 15.5f);
    const auto z = DecodeHistogram(area, LoggerVariant::Z3B2);
    EXPECT_FLOAT_EQ(z[11].fromC, 0.0f);   // code 0x2C is 0 °C
    EXPECT_TRUE(DecodeHistogram(QByteArray(kHistogramAreaBytes - 1, '\0'), LoggerVariant::Standard).empty());
}
