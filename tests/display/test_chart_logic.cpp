// Rules of the data display without a database: the time-window lock, transitions only,
// display formats and the selection on the graph.
#include "ChartTestSupport.h"
#include "display/ChartGraph.h"

namespace {
std::vector<ChartRow> RowsOf(const std::vector<double>& values)
{
    std::vector<ChartRow> rows;
    for (size_t i = 0; i < values.size(); ++i) {
        ChartRow r;
        r.Time = r.DisplayTime = Utc(2020, 1, 1, 0, int(i));
        r.Value = values[i];
        r.ValueText = FloatText(values[i]);
        rows.push_back(r);
    }
    return rows;
}
} // namespace

TEST(ChartWindowLock, CalendarArithmeticOverMonthEnds)
{
    ChartWindow w;
    w.From = Utc(2004, 1, 31, 8, 30, 15);
    w.To = Utc(2004, 3, 1);
    w.SetLock(ChartLock::Week);
    EXPECT_EQ(w.To, Utc(2004, 2, 7, 8, 30, 15));
    w.SetLock(ChartLock::Month);
    EXPECT_EQ(w.To, Utc(2004, 2, 29, 8, 30, 15));   // leap year: last day of February
    w.SetFrom(Utc(2005, 1, 31, 0, 0, 0));
    EXPECT_EQ(w.To, Utc(2005, 2, 28));
    w.SetFrom(Utc(2005, 12, 31, 23, 59, 59));
    EXPECT_EQ(w.To, Utc(2006, 1, 31, 23, 59, 59));
    // Changing the end moves the start back by the lock.
    w.SetTo(Utc(2005, 3, 31, 12, 0, 0));
    EXPECT_EQ(w.From, Utc(2005, 2, 28, 12, 0, 0));
    w.SetLock(ChartLock::Day);
    EXPECT_EQ(w.To, Utc(2005, 3, 1, 12, 0, 0));
    w.SetTo(Utc(2005, 3, 1, 0, 0, 0));
    EXPECT_EQ(w.From, Utc(2005, 2, 28, 0, 0, 0));
    // No lock: the other end stays.
    w.Lock = ChartLock::None;
    w.SetFrom(Utc(2001, 1, 1));
    EXPECT_EQ(w.To, Utc(2005, 3, 1, 0, 0, 0));
    w.SetLock(ChartLock::None);
    EXPECT_EQ(w.To, Utc(2005, 3, 1, 0, 0, 0));
}

TEST(ChartTransitions, RunsKeepTheirFirstAndLastRow)
{
    auto rows = RowsOf({5, 5, 5, 6, 6, 7});
    ApplyTransitionsOnly(rows);
    ASSERT_EQ(rows.size(), 5u);
    const int kept[] = {0, 2, 3, 4, 5};
    for (int i = 0; i < 5; ++i) EXPECT_EQ(rows[size_t(i)].Time, Utc(2020, 1, 1, 0, kept[i]));

    auto two = RowsOf({3, 3});
    ApplyTransitionsOnly(two);
    EXPECT_EQ(two.size(), 2u);
    auto flat = RowsOf({1, 1, 1, 1, 1});
    ApplyTransitionsOnly(flat);
    ASSERT_EQ(flat.size(), 2u);
    EXPECT_EQ(flat[1].Time, Utc(2020, 1, 1, 0, 4));
}

TEST(ChartFormats, AveragesScaleLabelsAndLists)
{
    EXPECT_EQ(FormatAverageText(5.123), "5.12");
    EXPECT_EQ(FormatAverageText(5.0), "5.");
    EXPECT_EQ(FormatAverageText(0.25), ".25");
    EXPECT_EQ(FormatAverageText(-3.456), "-3.46");
    EXPECT_EQ(FormatAverageText(12.1), "12.1");
    EXPECT_EQ(FormatAverageText(0.001), ".");

    EXPECT_EQ(FormatChartTime(Utc(2004, 3, 7, 14, 5, 9), "DDDD, DD/MM/YY"), "Sunday, 07/03/04");

    EXPECT_EQ(FormatScaleLabel(5), "+5.0");
    EXPECT_EQ(FormatScaleLabel(-3), " -3.0");
    EXPECT_EQ(FormatScaleLabel(0), " 0.0");
    EXPECT_EQ(FloatText(80), "80");
    EXPECT_EQ(FloatText(-40), "-40");
    EXPECT_EQ(FloatText(7.1f), "7.1");
    // Alarm levels in °F: the conversion's noise never shows ("Alarm Max= 5", not 5.000001).
    EXPECT_EQ(FloatText(5.000001f), "5");
    EXPECT_EQ(FloatText(-40.225f), "-40.225");
    EXPECT_EQ(FloatText(89.825f), "89.825");
    EXPECT_EQ(MinuteBoundaries(Utc(2020, 1, 1, 0, 0, 59), Utc(2020, 1, 1, 0, 1, 0)), 1);
    EXPECT_EQ(MinuteBoundaries(Utc(2020, 1, 1, 0, 0, 0), Utc(2020, 1, 1, 0, 0, 59)), 0);

    ChartKind k;
    EXPECT_TRUE(ChartKindFromName("monthly-var", k));
    EXPECT_EQ(k, ChartKind::MonthlyVariance);
    EXPECT_FALSE(ChartKindFromName("weekly-avg", k));
}

TEST(ChartSelection, DragSetsTheWindowAndRestartsToTheLeft)
{
    ChartState s;
    s.Samples = RowsOf({1, 2, 3});
    for (auto& r : s.Samples) r.DisplayTime = r.Time.addSecs(3600);
    s.TotalMinutes = 600;
    s.YMax = 6;
    s.YMin = 4;
    ChartWindow w;
    w.Lock = ChartLock::Week;
    ChartMarker m;
    m.MouseDown(true, 100.4, s, w);
    EXPECT_TRUE(m.Visible);
    EXPECT_EQ(m.Left, 100);
    EXPECT_EQ(m.Top, 6);
    EXPECT_EQ(m.Height, 2);
    EXPECT_EQ(w.From, Utc(2020, 1, 1, 2, 40));
    m.MouseMove(true, 250.6, s, w);
    EXPECT_EQ(w.Lock, ChartLock::None);
    EXPECT_EQ(w.To, Utc(2020, 1, 1, 5, 11));
    // Past the right end: limited to the extent of the plot.
    m.MouseMove(true, 5000, s, w);
    EXPECT_EQ(w.To, Utc(2020, 1, 1, 11, 0));
    // Left of the press point: a new selection starts there.
    m.MouseMove(true, 40, s, w);
    EXPECT_EQ(m.Left, 40);
    EXPECT_EQ(m.Width, 1);
    EXPECT_EQ(w.From, Utc(2020, 1, 1, 1, 40));
    // Right button or X at the left edge: hidden.
    m.MouseDown(false, 100, s, w);
    EXPECT_FALSE(m.Visible);
    m.MouseDown(true, 0, s, w);
    EXPECT_FALSE(m.Visible);
}
