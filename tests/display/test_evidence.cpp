// Mean kinetic temperature and excursions, checked against an independent computation (a
// Python script run as its own process) and against values worked by hand.
#include "db/clsDatabase.h"
#include "db/AuditTrail.h"
#include "display/Evidence.h"
#include "display/EvidenceTestSupport.h"
#include "support/CliProcess.h"

#include <QProcess>
#include <QTimeZone>
#include <gtest/gtest.h>

namespace {

QDateTime U(int y, int mo, int d, int h, int mi) { return QDateTime(QDate(y, mo, d), QTime(h, mi), Qt::UTC); }

std::vector<EvidenceSample> Series(const QDateTime& first, int stepMinutes, const std::vector<double>& temps)
{
    std::vector<EvidenceSample> out;
    for (size_t i = 0; i < temps.size(); ++i) out.push_back({first.addSecs(qint64(i) * stepMinutes * 60), temps[i]});
    return out;
}

}  // namespace

TEST(Mkt, ConstantSeriesGivesItsOwnTemperature)
{
    double mkt = 0;
    ASSERT_TRUE(MeanKineticTemperature(Series(U(2026, 1, 1, 0, 0), 15, {25, 25, 25}), kDefaultMktActivationK, mkt));
    EXPECT_NEAR(mkt, 25.0, 1e-9);
}

TEST(Mkt, RefusesEmptySeriesAndBadActivation)
{
    double mkt = 123;
    EXPECT_FALSE(MeanKineticTemperature({}, kDefaultMktActivationK, mkt));
    EXPECT_FALSE(MeanKineticTemperature(Series(U(2026, 1, 1, 0, 0), 15, {5}), 0, mkt));
    EXPECT_FALSE(MeanKineticTemperature(Series(U(2026, 1, 1, 0, 0), 15, {5}), -1, mkt));
    EXPECT_EQ(mkt, 123);
}

// Worked by hand: two halves at 20 °C and 30 °C, dH/R = 10 000 K.
// exp(-10000/293.15) = 1.5320e-15, exp(-10000/303.15) = 4.7200e-15; mean 3.1260e-15;
// -ln = 33.3990; 10000 / 33.3990 = 299.41 K = 26.26 °C (above the arithmetic mean of 25 °C).
TEST(Mkt, TwoLevelsWorkedByHand)
{
    double mkt = 0;
    ASSERT_TRUE(MeanKineticTemperature(Series(U(2026, 1, 1, 0, 0), 60, {20, 30}), 10000, mkt));
    EXPECT_NEAR(mkt, 26.26, 0.005);
}

// A year of weekly average temperatures in a store (the use the pharmacopoeias describe for the
// kinetic mean), made up here to swing between 18 and 32 °C: the kinetic mean lies above the
// arithmetic mean and below the maximum, and agrees with the independent script.
TEST(Mkt, WeeklyAveragesAgreeWithIndependentComputation)
{
    std::vector<double> temps;
    for (int w = 0; w < 52; ++w) temps.push_back(25.0 + 7.0 * std::sin(w / 52.0 * 2 * M_PI) + (w % 3) * 0.3);
    for (double k : {10000.0, 8500.0, 12000.0}) {
        double mkt = 0;
        ASSERT_TRUE(MeanKineticTemperature(Series(U(2026, 1, 4, 12, 0), 7 * 24 * 60, temps), k, mkt));
        EXPECT_NEAR(mkt, PythonMkt(temps, k), 1e-9) << k;
        double mean = 0;
        for (double t : temps) mean += t / temps.size();
        EXPECT_GT(mkt, mean);
        EXPECT_LT(mkt, 32.9);
    }
}

TEST(Excursions, NoneAtAll)
{
    const ExcursionSummary s = FindExcursions(Series(U(2026, 3, 1, 0, 0), 15, {4, 5, 6, 8, 2}), 2, 8);
    EXPECT_TRUE(s.Runs.empty());
    EXPECT_EQ(s.MinutesOutOfRange, 0);
    EXPECT_EQ(s.MinutesInWindow, 60);
    EXPECT_EQ(s.ShareInRangePercent, 100);
}

TEST(Excursions, SingleSampleHighAndLowRuns)
{
    // 0:00 5 | 0:15 9 (high) | 0:30 5 | 0:45 1 (low) | 1:00 0.5 (low) | 1:15 4
    const ExcursionSummary s = FindExcursions(Series(U(2026, 3, 1, 0, 0), 15, {5, 9, 5, 1, 0.5, 4}), 2, 8);
    ASSERT_EQ(s.Runs.size(), 2u);
    EXPECT_TRUE(s.Runs[0].High);
    EXPECT_EQ(s.Runs[0].Start, U(2026, 3, 1, 0, 15));
    EXPECT_EQ(s.Runs[0].End, U(2026, 3, 1, 0, 30));
    EXPECT_EQ(s.Runs[0].DurationMinutes, 15);
    EXPECT_EQ(s.Runs[0].PeakCelsius, 9);
    EXPECT_DOUBLE_EQ(s.Runs[0].DegreeMinutes, 15);        // 1 K for 15 min
    EXPECT_FALSE(s.Runs[1].High);
    EXPECT_EQ(s.Runs[1].Start, U(2026, 3, 1, 0, 45));
    EXPECT_EQ(s.Runs[1].End, U(2026, 3, 1, 1, 15));
    EXPECT_EQ(s.Runs[1].DurationMinutes, 30);
    EXPECT_EQ(s.Runs[1].PeakCelsius, 0.5);
    EXPECT_DOUBLE_EQ(s.Runs[1].DegreeMinutes, 15 + 22.5);  // 1 K and 1.5 K for 15 min each
    EXPECT_EQ(s.MinutesOutOfRange, 45);
    EXPECT_DOUBLE_EQ(s.ShareInRangePercent, 100.0 * 30 / 75);
}

TEST(Excursions, HighStraightToLowIsTwoRuns)
{
    const ExcursionSummary s = FindExcursions(Series(U(2026, 3, 1, 0, 0), 10, {9, 1, 5}), 2, 8);
    ASSERT_EQ(s.Runs.size(), 2u);
    EXPECT_EQ(s.Runs[0].End, s.Runs[1].Start);
    EXPECT_EQ(s.MinutesOutOfRange, 20);
}

TEST(Excursions, OpenEndsAtBothSidesOfTheWindow)
{
    const ExcursionSummary s = FindExcursions(Series(U(2026, 3, 1, 0, 0), 15, {9, 9, 5, 10, 11}), 2, 8);
    ASSERT_EQ(s.Runs.size(), 2u);
    EXPECT_EQ(s.Runs[0].Start, U(2026, 3, 1, 0, 0));   // out of range from the window's start
    EXPECT_EQ(s.Runs[0].End, U(2026, 3, 1, 0, 30));
    EXPECT_FALSE(s.Runs[1].End.isValid());              // still out when the window ends
    EXPECT_EQ(s.Runs[1].DurationMinutes, 15);
    EXPECT_EQ(s.Runs[1].PeakCelsius, 11);
    EXPECT_DOUBLE_EQ(s.Runs[1].DegreeMinutes, 2 * 15);  // the last sample's period is outside
    EXPECT_EQ(s.MinutesOutOfRange, 45);
}

// A stretch without samples is neither in nor out of range: each sample counts one sample
// period at most (the most common interval), the rest is a gap; the share in range is taken over
// the time with samples. 15-minute samples 0:00 .. 0:30, nothing until 3:30, then 3:45 and 4:00;
// the sample at 0:30 is high and counts 15 minutes, not 3 hours.
TEST(Excursions, GapsAreTimeWithoutSamples)
{
    std::vector<EvidenceSample> s = Series(U(2026, 3, 1, 0, 0), 15, {5, 5, 9});
    for (const EvidenceSample& later : Series(U(2026, 3, 1, 3, 30), 15, {5, 5, 5})) s.push_back(later);
    EXPECT_EQ(SamplePeriodSeconds(s), 900);
    const ExcursionSummary x = FindExcursions(s, 2, 8);
    EXPECT_EQ(x.MinutesInWindow, 240);
    ASSERT_EQ(x.Gaps.size(), 1u);
    EXPECT_EQ(x.Gaps[0].Start, U(2026, 3, 1, 0, 45));
    EXPECT_EQ(x.Gaps[0].End, U(2026, 3, 1, 3, 30));
    EXPECT_EQ(x.MinutesWithoutSamples, 165);
    ASSERT_EQ(x.Runs.size(), 1u);
    EXPECT_EQ(x.Runs[0].Start, U(2026, 3, 1, 0, 30));
    EXPECT_EQ(x.Runs[0].End, U(2026, 3, 1, 3, 30));
    EXPECT_EQ(x.Runs[0].DurationMinutes, 15);
    EXPECT_DOUBLE_EQ(x.Runs[0].DegreeMinutes, 15);
    EXPECT_EQ(x.MinutesOutOfRange, 15);
    EXPECT_DOUBLE_EQ(x.ShareInRangePercent, 100.0 * 60 / 75);   // 75 min with samples, 15 out

    // The logger's rate, when given, decides instead: at 5 minutes every interval here is a gap.
    const ExcursionSummary given = FindExcursions(s, 2, 8, 300);
    EXPECT_EQ(given.Gaps.size(), 5u);
    EXPECT_EQ(given.MinutesWithoutSamples, 240 - 5 * 5);
    // Equally common intervals: the smallest is the period; no series, no period.
    EXPECT_EQ(SamplePeriodSeconds(Series(U(2026, 3, 1, 0, 0), 10, {1, 1})), 600);
    std::vector<EvidenceSample> tie = Series(U(2026, 3, 1, 0, 0), 20, {1, 1});
    tie.push_back({U(2026, 3, 1, 0, 30), 1});
    EXPECT_EQ(SamplePeriodSeconds(tie), 600);
    EXPECT_EQ(SamplePeriodSeconds({}), 0);
    // Without gaps nothing changes (the cases above).
    EXPECT_TRUE(FindExcursions(Series(U(2026, 3, 1, 0, 0), 15, {5, 9, 5}), 2, 8).Gaps.empty());
}

// Berlin leaves summer time on 25 Oct 2026: 03:00 CEST becomes 02:00 CET (01:00 UTC). An
// excursion from 02:30 CEST to 02:30 CET lasts an hour, although the clock shows the same time.
TEST(Excursions, AcrossTheAutumnClockChangeInBerlin)
{
    const QTimeZone berlin("Europe/Berlin");
    const QDateTime start = U(2026, 10, 25, 0, 0);   // 02:00 CEST
    std::vector<double> temps(13, 5.0);               // 00:00 .. 03:00 UTC every 15 min
    temps[2] = temps[3] = temps[4] = temps[5] = 9.0;  // 00:30 .. 01:15 UTC
    const ExcursionSummary s = FindExcursions(Series(start, 15, temps), 2, 8);
    ASSERT_EQ(s.Runs.size(), 1u);
    EXPECT_EQ(s.Runs[0].Start.toTimeZone(berlin).time(), QTime(2, 30));
    EXPECT_EQ(s.Runs[0].End.toTimeZone(berlin).time(), QTime(2, 30));
    EXPECT_EQ(s.Runs[0].DurationMinutes, 60);
    EXPECT_EQ(s.MinutesInWindow, 180);
    EXPECT_DOUBLE_EQ(s.ShareInRangePercent, 100.0 * 120 / 180);
    double mkt = 0;
    ASSERT_TRUE(MeanKineticTemperature(Series(start, 15, temps), kDefaultMktActivationK, mkt));
    EXPECT_NEAR(mkt, PythonMkt(temps, kDefaultMktActivationK), 1e-9);
}

// The terminal verb over a real database written by the program itself, across the night
// Berlin leaves summer time (the window given in summer time, offset 120 minutes).
TEST(ExcursionsVerb, RowsSummaryAndRefusals)
{
    QTemporaryDir home;
    ASSERT_EQ(RunCli(home, {"init", "--site", "1"}, false).code, 0);
    {
        clsDatabase h(home.filePath("home/data"));
        ASSERT_FALSE(h.OpenDB());
        h.ExecuteSQL("INSERT INTO devices (DeviceID, SerialNo, DeviceDescription, AlarmHigh, AlarmLow) VALUES (100101, '0000012345', 'Shelf 1', 8, 2)");
        const std::vector<double> temps{5, 5, 9, 10, 9, 9, 5, 1, 5, 5, 5, 5, 11};   // 00:00 .. 03:00 UTC
        for (size_t i = 0; i < temps.size(); ++i)
            h.ExecuteSQL("INSERT INTO samples VALUES (100101, ?, ?)",
                         {DbValue(U(2026, 10, 25, 0, 0).addSecs(qint64(i) * 900).toSecsSinceEpoch()), DbValue(temps[i])});
        h.CloseDB();
    }
    const CliRun r = RunCli(home, {"excursions", "--device", "100101", "--from", "2026-10-25 02:00", "--to",
                                   "2026-10-25 05:00", "--tz-offset", "120"}, false);
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, "high\t2026-10-25 02:30:00\t2026-10-25 03:30:00\t60.0\t10.00\t75.00\t-\n"
                     "low\t2026-10-25 03:45:00\t2026-10-25 04:00:00\t15.0\t1.00\t15.00\t-\n"
                     "high\t2026-10-25 05:00:00\topen\t0.0\t11.00\t0.00\t-\n"
                     "out of range\t75.0 min\tin range\t58.33 %\n");
    // A window that starts inside the first excursion: its row says it began before.
    const CliRun inside = RunCli(home, {"excursions", "--device", "100101", "--from", "2026-10-25 02:45", "--to",
                                        "2026-10-25 03:30", "--tz-offset", "120"}, false);
    ASSERT_EQ(inside.code, 0) << inside.err.toStdString();
    EXPECT_EQ(inside.out, "high\t2026-10-25 02:45:00\t2026-10-25 03:30:00\t45.0\t10.00\t60.00\tfrom-before\n"
                          "out of range\t45.0 min\tin range\t0.00 %\n");
    // A window without samples claims no share in range; like query, that is no failure.
    const QStringList nothing{"--device", "100101", "--from", "2027-01-01 00:00", "--to", "2027-01-02 00:00"};
    const CliRun none = RunCli(home, QStringList{"excursions"} + nothing, false);
    EXPECT_EQ(none.code, 0);
    EXPECT_EQ(none.out, "no samples in the window\n");
    const CliRun noRows = RunCli(home, QStringList{"query"} + nothing, false);
    EXPECT_EQ(noRows.code, 0);
    EXPECT_EQ(noRows.out, "");
    // A window that starts after it ends is bad usage for the excursions and the kinetic means
    // (exit 2, nothing on the standard output); the other kinds keep the day from the start.
    const QStringList reversed{"--device", "100101", "--from", "2026-10-25 05:00", "--to", "2026-10-25 02:00",
                               "--tz-offset", "120"};
    for (const QStringList& verb : {QStringList{"excursions"}, QStringList{"query", "--kind", "mkt"},
                                    QStringList{"query", "--kind", "daily-mkt"}, QStringList{"query", "--kind", "monthly-mkt"}}) {
        const CliRun refused = RunCli(home, verb + reversed, false);
        EXPECT_EQ(refused.code, 2) << verb.join(' ').toStdString();
        EXPECT_TRUE(refused.err.contains("starts after it ends")) << refused.err.toStdString();
        EXPECT_EQ(refused.out, "");
    }
    const CliRun dayFromStart = RunCli(home, QStringList{"query"} + reversed, false);
    EXPECT_EQ(dayFromStart.code, 0);
    EXPECT_TRUE(dayFromStart.out.startsWith("2026-10-25 05:00:00\t11")) << dayFromStart.out.toStdString();
    CliRun bad = RunCli(home, {"excursions", "--device", "100101", "--from", "2026-10-25 02:00", "--to",
                               "2026-10-25 05:00", "--kind", "daily-avg"}, false);
    EXPECT_EQ(bad.code, 2);
    EXPECT_TRUE(bad.err.contains("samples only"));
    bad = RunCli(home, {"excursions", "--device", "100101", "--from", "yesterday", "--to", "2026-10-25 05:00"}, false);
    EXPECT_EQ(bad.code, 2);
    bad = RunCli(home, {"excursions", "--device", "100199", "--from", "2026-10-25 02:00", "--to", "2026-10-25 05:00"}, false);
    EXPECT_EQ(bad.code, 1);
    EXPECT_TRUE(bad.err.contains("no logger"));

    // The kinetic means through query: with the display one hour behind UTC, the first four
    // samples fall on the 24th and the rest on the 25th; each day checked against the script.
    const std::vector<double> temps{5, 5, 9, 10, 9, 9, 5, 1, 5, 5, 5, 5, 11};
    const std::vector<double> day24(temps.begin(), temps.begin() + 4), day25(temps.begin() + 4, temps.end());
    const QStringList window{"--device", "100101", "--from", "2026-10-24 23:00", "--to", "2026-10-25 02:00", "--tz-offset", "-60"};
    CliRun q = RunCli(home, QStringList{"query", "--kind", "mkt"} + window, false);
    ASSERT_EQ(q.code, 0) << q.err.toStdString();
    EXPECT_EQ(q.out, "2026-10-24 23:00:00\t" + QString::number(PythonMkt(temps, 10000), 'f', 2) + "\n");
    q = RunCli(home, QStringList{"query", "--kind", "daily-mkt"} + window, false);
    EXPECT_EQ(q.out, "2026-10-24 00:00:00\t" + QString::number(PythonMkt(day24, 10000), 'f', 2) + "\n" +
                     "2026-10-25 00:00:00\t" + QString::number(PythonMkt(day25, 10000), 'f', 2) + "\n");
    q = RunCli(home, QStringList{"query", "--kind", "monthly-mkt"} + window, false);
    EXPECT_EQ(q.out, "2026-10-01 00:00:00\t" + QString::number(PythonMkt(temps, 10000), 'f', 2) + "\n");
    EXPECT_EQ(RunCli(home, QStringList{"query", "--kind", "mkt", "--transitions"} + window, false).code, 2);

    // The activation energy: set through the program, read back; nonsense gives the default.
    clsDatabase h(home.filePath("home/data"));
    ASSERT_FALSE(h.OpenDB());
    EXPECT_EQ(MktActivationK(h), kDefaultMktActivationK);
    h.CloseDB();
    ASSERT_EQ(RunCli(home, {"param", "set", "MKTActivationK", "8314"}, false).code, 0);
    ASSERT_FALSE(h.OpenDB());
    EXPECT_EQ(MktActivationK(h), 8314);
    ASSERT_FALSE(AuditRows(h).empty());
    EXPECT_EQ(AuditRows(h).back().action + " " + AuditRows(h).back().details, "setting changed from=10000 K to=8314 K");
    h.CloseDB();
    // Refused where it is set (exit 2, the stored value stays) ...
    for (const char* bad : {"-5", "0", "abc", "", "1e9"}) {
        const CliRun r = RunCli(home, {"param", "set", "MKTActivationK", bad}, false);
        EXPECT_EQ(r.code, 2) << bad;
        EXPECT_TRUE(r.err.contains("activation energy")) << bad;
    }
    ASSERT_FALSE(h.OpenDB());
    EXPECT_EQ(MktActivationK(h), 8314);
    // ... and falls back to the default where it is read, should the table hold nonsense anyway.
    h.SetParameter("MKTActivationK", DbValue(QString("-5")));
    EXPECT_EQ(MktActivationK(h), kDefaultMktActivationK);
    h.CloseDB();
    EXPECT_EQ(RunCli(home, QStringList{"query", "--kind", "mkt"} + window, false).out,
              "2026-10-24 23:00:00\t" + QString::number(PythonMkt(temps, 10000), 'f', 2) + "\n");
}
