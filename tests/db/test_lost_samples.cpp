// Samples overwritten before any reading stored them, worked by hand for a 10-minute mission.
#include "db/LostSamples.h"

#include <gtest/gtest.h>

namespace {
const QDateTime kStart(QDate(2026, 12, 1), QTime(6, 0), Qt::UTC);
QDateTime sample(qint64 n) { return kStart.addSecs((n - 1) * 600); }   // mission sample n (1 = first)
} // namespace

TEST(LostSamples, BetweenTheNewestStoredAndTheOldestInTheLog)
{
    // Stored up to sample 1000; the log holds 1295 .. 3342: 1001 .. 1294 are gone.
    LostSamples lost = LostSamplesBetween(kStart, 10, 1295, sample(1000));
    EXPECT_EQ(lost.Count, 294);
    EXPECT_EQ(lost.FirstUtc, sample(1001));
    EXPECT_EQ(lost.LastUtc, sample(1294));
    // The log starts right after the stored samples, or overlaps them: nothing lost.
    EXPECT_FALSE(LostSamplesBetween(kStart, 10, 1001, sample(1000)).Any());
    EXPECT_FALSE(LostSamplesBetween(kStart, 10, 900, sample(1000)).Any());
    // Nothing stored of the mission: from its first sample.
    lost = LostSamplesBetween(kStart, 10, 1295, QDateTime());
    EXPECT_EQ(lost.Count, 1294);
    EXPECT_EQ(lost.FirstUtc, kStart);
    EXPECT_EQ(lost.LastUtc, sample(1294));
    // A log that still holds the first sample, or a mission without start or rate, loses nothing.
    EXPECT_FALSE(LostSamplesBetween(kStart, 10, 1, QDateTime()).Any());
    EXPECT_FALSE(LostSamplesBetween(QDateTime(), 10, 1295, QDateTime()).Any());
    EXPECT_FALSE(LostSamplesBetween(kStart, 0, 1295, QDateTime()).Any());
    EXPECT_TRUE(LostSamplesText(LostSamples()).isEmpty());
}
