// The kinetic means and the excursions in the data display: the three kinds beside the nine,
// the caption with the window's MKT, the excursion list, the bands on the graph, and the same
// excursions whether the display shows °C or °F. Over a real database written directly.
#include "ChartTestSupport.h"
#include "display/EvidenceTestSupport.h"
#include "display/ChartGraph.h"
#include "display/ChartModel.h"

#include <QImage>
#include <QPdfWriter>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <functional>
#include <map>

namespace {

constexpr qint32 kColdRoom = 100101;
constexpr qint32 kEdges = 100102;

// Four days of the cold room every quarter hour from 10 Dec 2026 00:00 UTC; the door stands
// open from sample 300 (13 Dec 03:00) to sample 311 (05:45), up to 7.5 °C, above the high
// level of 6 °C.
QDateTime ColdRoomTime(int i) { return Utc(2026, 12, 10).addSecs(qint64(i) * 900); }
constexpr int kColdRoomSamples = 96 * 4;

class ChartEvidenceTest : public ChartDatabase {
protected:
    void SetUp() override
    {
        ChartDatabase::SetUp();
        addRoom(1, "Cold room");
        addDevice(kColdRoom, "0000012345", "Shelf 1", 6, 2);
        addDevice(kEdges, "0000012346", "Shelf 2", 8, 2);
        std::vector<Sample> rows;
        for (int i = 0; i < kColdRoomSamples; ++i) rows.push_back({kColdRoom, ColdRoomTime(i), ColdRoomValue(i)});
        // Samples exactly at the alarm levels are in range, in either unit.
        const double edges[] = {2, 8, 8, 2, 5, 8};
        for (int i = 0; i < 6; ++i) rows.push_back({kEdges, Utc(2026, 12, 10).addSecs(i * 900), edges[i]});
        addSamples(rows);
    }

    // A model after a query of the logger over the four days, shown one hour ahead of UTC.
    ChartModel query(qint32 device, ChartKind kind)
    {
        ChartModel m;
        EXPECT_GT(m.Load(*db), 0);
        EXPECT_TRUE(m.SelectDevice(device));
        m.SetKind(kind);
        m.Window.From = Utc(2026, 12, 10, 1, 0);
        m.Window.To = Utc(2026, 12, 14, 0, 59, 59);
        m.In.TZOffset = "60";
        EXPECT_TRUE(m.Update(*db));
        return m;
    }

    void useFahrenheit()
    {
        App().Units = 1;
        App().UnitLabel = QString(QChar(176)) + "F";
    }
};

std::vector<double> ColdRoomValues(int from, int to)
{
    std::vector<double> v;
    for (int i = from; i < to; ++i) v.push_back(double(float(ColdRoomValue(i))));
    return v;
}

// The pixels where two drawings differ, counted inside the bands' spans (px: a plot minute's
// pixel column; slack: pixels of rounding allowed at each edge) and outside them.
std::pair<int, int> DifferingPixels(const QImage& a, const QImage& b, const std::vector<ExcursionBand>& bands,
                                    const std::function<double(double)>& px, double slack)
{
    int inside = 0, outside = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            if (a.pixel(x, y) == b.pixel(x, y)) continue;
            bool in = false;
            for (const ExcursionBand& band : bands) in = in || (x >= px(band.From) - slack && x <= px(band.To) + slack);
            (in ? inside : outside)++;
        }
    return {inside, outside};
}

} // namespace

TEST(ChartKinds, TheKineticMeansFollowTheNineWithTheirTerminalNames)
{
    static_assert(int(ChartKind::MonthlyMinimums) == 8 && int(ChartKind::Mkt) == 9 && kChartKindCount == 12);
    for (int k = 0; k < kChartKindCount; ++k) {
        ChartKind back = ChartKind::Samples;
        ASSERT_TRUE(ChartKindFromName(ChartKindName(ChartKind(k)), back)) << k;
        EXPECT_EQ(int(back), k);
        EXPECT_FALSE(ChartKindText(ChartKind(k)).isEmpty());
    }
    EXPECT_EQ(ChartKindName(ChartKind::Mkt), "mkt");
    EXPECT_EQ(ChartKindName(ChartKind::DailyMkt), "daily-mkt");
    EXPECT_EQ(ChartKindName(ChartKind::MonthlyMkt), "monthly-mkt");
    EXPECT_TRUE(IsDailyKind(ChartKind::DailyMkt));
    EXPECT_TRUE(IsMonthlyKind(ChartKind::MonthlyMkt));
    EXPECT_FALSE(IsDailyKind(ChartKind::Mkt) || IsMonthlyKind(ChartKind::Mkt));
    EXPECT_FALSE(IsMktKind(ChartKind::MonthlyMinimums));
}

// The graph's caption carries the MKT; the value caption the exports take stays as it was.
TEST_F(ChartEvidenceTest, CaptionCarriesTheWindowsMktForEveryKind)
{
    const double mkt = PythonMkt(ColdRoomValues(0, kColdRoomSamples), kDefaultMktActivationK);
    const QString expected = ", MKT " + QString::number(mkt, 'f', 2) + " " + App().UnitLabel;
    for (ChartKind kind : {ChartKind::Samples, ChartKind::DailyAverages, ChartKind::MonthlyMaximums, ChartKind::DailyMkt}) {
        const ChartModel m = query(kColdRoom, kind);
        SCOPED_TRACE(ChartKindName(kind).toStdString());
        EXPECT_EQ(GraphCaption(m.State), m.State.ValueCaption + expected);
        EXPECT_NEAR(m.State.Evidence.MktCelsius, mkt, 1e-9);
        // The excursions lie in the door's hours, whatever kind is shown.
        ASSERT_FALSE(m.State.Evidence.Excursions.Runs.empty());
        for (const Excursion& e : m.State.Evidence.Excursions.Runs) {
            EXPECT_TRUE(e.High);
            EXPECT_GE(e.Start, ColdRoomTime(300));
            EXPECT_LE(e.End, ColdRoomTime(312));
        }
    }
    // The activation energy of the database counts.
    db->SetParameter(kMktActivationParameter, DbValue(QString("8314")));
    const ChartModel m = query(kColdRoom, ChartKind::Samples);
    EXPECT_NEAR(m.State.Evidence.MktCelsius, PythonMkt(ColdRoomValues(0, kColdRoomSamples), 8314), 1e-9);
}

TEST_F(ChartEvidenceTest, TheThreeKindsGiveTheKineticMeanOfWindowDayAndMonth)
{
    ChartModel whole = query(kColdRoom, ChartKind::Mkt);
    ASSERT_EQ(whole.State.Samples.size(), 1u);
    EXPECT_NEAR(whole.State.Samples[0].Value, PythonMkt(ColdRoomValues(0, kColdRoomSamples), 10000), 1e-9);
    EXPECT_EQ(whole.State.Samples[0].DisplayTime, Utc(2026, 12, 10, 1, 0));
    // One value: the graph says it as text, in the middle, where the message of too few rows goes.
    std::vector<ChartText> texts;
    GraphImage(whole.State, 800, 500, &texts);
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0].Text, "mean kinetic temperature of the window: " +
                                 QString::number(whole.State.Samples[0].Value, 'f', 2) + " " + App().UnitLabel);

    // Days of the display time: the first runs from 01:00 (UTC 00:00) to 23:45 (UTC 22:45).
    const ChartModel days = query(kColdRoom, ChartKind::DailyMkt);
    ASSERT_EQ(days.State.Samples.size(), 5u);
    const int bounds[] = {0, 92, 188, 284, 380, kColdRoomSamples};
    for (size_t d = 0; d < 5; ++d) {
        const ChartRow& r = days.State.Samples[d];
        EXPECT_EQ(r.DisplayTime, QDateTime(QDate(2026, 12, 10 + int(d)), QTime(0, 0), Qt::UTC)) << d;
        EXPECT_EQ(r.Time, r.DisplayTime.addSecs(-3600));
        EXPECT_NEAR(r.Value, PythonMkt(ColdRoomValues(bounds[d], bounds[d + 1]), 10000), 1e-9) << d;
        EXPECT_EQ(r.ValueText, QString::number(r.Value, 'f', 2));
    }
    EXPECT_GT(days.State.Samples[3].Value, days.State.Samples[2].Value);   // the day of the open door
    const ChartModel months = query(kColdRoom, ChartKind::MonthlyMkt);
    ASSERT_EQ(months.State.Samples.size(), 1u);
    EXPECT_EQ(months.State.Samples[0].DisplayTime, Utc(2026, 12, 1));
    // The caption names the kind; a kinetic mean is no average text of the database.
    EXPECT_TRUE(months.State.ValueCaption.startsWith("monthly mean kinetic temperature ("));
}

TEST_F(ChartEvidenceTest, FahrenheitFindsTheSameExcursionsAndConvertsWhatIsShown)
{
    const ChartModel c = query(kColdRoom, ChartKind::Samples);
    const ChartModel cEdges = query(kEdges, ChartKind::Samples);
    useFahrenheit();
    const ChartModel f = query(kColdRoom, ChartKind::Samples);
    const ChartModel fEdges = query(kEdges, ChartKind::Samples);
    EXPECT_FLOAT_EQ(f.State.AlarmMax, 42.8f);
    EXPECT_TRUE(cEdges.State.Evidence.Excursions.Runs.empty());
    EXPECT_TRUE(fEdges.State.Evidence.Excursions.Runs.empty());

    const auto& rc = c.State.Evidence.Excursions;
    const auto& rf = f.State.Evidence.Excursions;
    ASSERT_EQ(rf.Runs.size(), rc.Runs.size());
    EXPECT_DOUBLE_EQ(rf.MinutesOutOfRange, rc.MinutesOutOfRange);
    for (size_t i = 0; i < rc.Runs.size(); ++i) {
        EXPECT_EQ(rf.Runs[i].Start, rc.Runs[i].Start);
        EXPECT_EQ(rf.Runs[i].End, rc.Runs[i].End);
    }
    const EvidenceTable tc = EvidenceTableOf(c.State), tf = EvidenceTableOf(f.State);
    EXPECT_NEAR(tf.Mkt, tc.Mkt * 1.8 + 32, 1e-6);
    EXPECT_TRUE(tf.MktText.endsWith(QString(QChar(176)) + "F"));
    ASSERT_EQ(tf.Rows.size(), tc.Rows.size());
    for (size_t i = 0; i < tc.Rows.size(); ++i) {
        EXPECT_NEAR(tf.Rows[i].Peak, tc.Rows[i].Peak * 1.8 + 32, 1e-4);
        EXPECT_NEAR(tf.Rows[i].DegreeMinutes, tc.Rows[i].DegreeMinutes * 1.8, 1e-3);
        EXPECT_EQ(tf.Rows[i].Texts[1], tc.Rows[i].Texts[1]);
    }
    EXPECT_TRUE(tf.Headings[4].contains(QString(QChar(176)) + "F"));
    EXPECT_EQ(tf.LevelsText, "alarm levels 35.6 °F and 42.8 °F");
}

TEST_F(ChartEvidenceTest, TheListShowsDisplayTimesDurationsAndTheTimeInRange)
{
    const ChartModel m = query(kColdRoom, ChartKind::Samples);
    const EvidenceTable t = EvidenceTableOf(m.State);
    ASSERT_TRUE(t.Valid);
    ASSERT_EQ(t.Rows.size(), m.State.Evidence.Excursions.Runs.size());
    const Excursion& first = m.State.Evidence.Excursions.Runs.front();
    const EvidenceRow& row = t.Rows.front();
    // One hour ahead of the stored time, as the rows of the graph.
    EXPECT_EQ(row.Texts[1], first.Start.addSecs(3600).toString("yyyy-MM-dd HH:mm"));
    EXPECT_EQ(row.Texts[0], "high");
    EXPECT_EQ(row.Texts[3], FormatDurationMinutes(first.DurationMinutes));
    EXPECT_EQ(FormatDurationMinutes(245), "4:05 h");
    EXPECT_EQ(t.Headings.size(), row.Texts.size());
    EXPECT_TRUE(QRegularExpression("^out of range \\d+:\\d\\d h, in range \\d+\\.\\d\\d %$").match(t.SummaryText()).hasMatch())
        << t.SummaryText().toStdString();
    EXPECT_NEAR(t.ShareInRangePercent,
                100.0 * (m.State.Evidence.Excursions.MinutesInWindow - t.MinutesOutOfRange) /
                    m.State.Evidence.Excursions.MinutesInWindow, 1e-9);
    // A window without samples has nothing to list.
    ChartModel empty = query(kColdRoom, ChartKind::Samples);
    empty.Window.From = Utc(2027, 1, 1);
    empty.Window.To = Utc(2027, 1, 2);
    ASSERT_TRUE(empty.Update(*db));
    EXPECT_FALSE(EvidenceTableOf(empty.State).Valid);
    EXPECT_EQ(GraphCaption(empty.State), empty.State.ValueCaption);
}

TEST_F(ChartEvidenceTest, TheCaptionWithItsMktFitsOnSmallAndLargeGraphs)
{
    ChartModel m = query(kColdRoom, ChartKind::Samples);
    m.State.ShowAlarms = true;
    for (const QSize size : {QSize(1200, 700), QSize(640, 400), QSize(420, 300)}) {
        std::vector<ChartText> texts;
        SetHeadlessWindowSize(m.State, size.width(), size.height());
        GraphImage(m.State, size.width(), size.height(), &texts);
        const auto caption = std::find_if(texts.begin(), texts.end(), [](const ChartText& t) { return t.Kind == ChartTextKind::Caption; });
        ASSERT_NE(caption, texts.end());
        EXPECT_TRUE(caption->Text.contains(", MKT "));
        const QStringList faults = TextLayoutFaults(texts, QSizeF(size));
        EXPECT_TRUE(faults.isEmpty()) << size.width() << "x" << size.height() << ": " << faults.join("; ").toStdString();
    }
}

// The bands: the drawing with the excursions differs from the one without only inside their
// time spans, and there in every row of the plot between the curve's crossings.
TEST_F(ChartEvidenceTest, ExcursionsShadedOnlyInTheirTimeSpans)
{
    ChartModel m = query(kColdRoom, ChartKind::Samples);
    const int w = 1000, h = 600;
    SetHeadlessWindowSize(m.State, w, h);
    ChartState without = m.State;
    without.Evidence.Excursions.Runs.clear();   // the same caption, no bands
    const QImage shaded = GraphImage(m.State, w, h);
    const QImage plain = GraphImage(without, w, h);
    const std::vector<ExcursionBand> bands = ExcursionBands(m.State, m.State.TotalMinutes);
    ASSERT_FALSE(bands.empty());
    // Plot minutes to pixels as the graph scales them: 8 % margin left, 116 % of T across.
    const double T = m.State.TotalMinutes;
    const auto px = [&](double minutes) { return (minutes + 0.08 * T) / (1.16 * T) * w; };
    const auto [inside, outside] = DifferingPixels(shaded, plain, bands, px, 1);
    EXPECT_GT(inside, 100);
    EXPECT_EQ(outside, 0);
    // Reddish, light: a shaded pixel of the plot's white keeps most of its light.
    const int cx = int((px(bands[0].From) + px(bands[0].To)) / 2);
    int light = 0;
    for (int y = 0; y < h; ++y) {
        const QColor c = shaded.pixelColor(cx, y);
        if (plain.pixelColor(cx, y) == Qt::white && c != Qt::white) {
            EXPECT_GT(c.red(), c.blue());
            EXPECT_GT(c.lightness(), 200);
            ++light;
        }
    }
    EXPECT_GT(light, 50);
}

// On paper too: the printout with the excursions, rasterised by pdftoppm, differs from the one
// without only inside the bands' spans on the page.
TEST_F(ChartEvidenceTest, ExcursionsShadedOnPaper)
{
    if (QStandardPaths::findExecutable("pdftoppm").isEmpty()) GTEST_SKIP() << "pdftoppm is not installed";
    ChartModel m = query(kColdRoom, ChartKind::Samples);
    QTemporaryDir dir;
    const int dpi = 1200, raster = 50;
    QRect paint;
    double T = 0;   // the plot's extent in minutes, as the printout drew it
    const auto print = [&](ChartState s, const QString& name) {
        const QString pdf = dir.filePath(name + ".pdf");
        QPdfWriter writer(pdf);
        writer.setResolution(dpi);
        writer.setPageSize(QPageSize(QPageSize::A4));
        writer.setPageOrientation(QPageLayout::Landscape);
        paint = writer.pageLayout().paintRectPixels(dpi);
        {
            PrinterSurface paper(writer);
            EXPECT_TRUE(paper.Ok());
            DoGraph(paper, s);
            T = s.TotalMinutes;
            paper.Finish();
        }
        EXPECT_EQ(QProcess::execute("pdftoppm", {"-r", QString::number(raster), "-png", "-singlefile", pdf, dir.filePath(name)}), 0);
        return QImage(dir.filePath(name + ".png"));
    };
    ChartState without = m.State;
    without.Evidence.Excursions.Runs.clear();
    const QImage shaded = print(m.State, "shaded"), plain = print(without, "plain");
    ASSERT_FALSE(shaded.isNull());
    ASSERT_EQ(shaded.size(), plain.size());
    const auto px = [&](double minutes) {
        return (paint.left() + (minutes + 0.08 * T) / (1.16 * T) * paint.width()) * raster / dpi;
    };
    const std::vector<ExcursionBand> bands = ExcursionBands(m.State, T);
    ASSERT_FALSE(bands.empty());
    const auto [inside, outside] = DifferingPixels(shaded, plain, bands, px, 2);
    EXPECT_GT(inside, 20);
    EXPECT_EQ(outside, 0);
}

// A power cut of three hours at 13.5 °C in a store with the logger's levels 2 and 8 °C. The
// display opens with its own defaults on the Alarms tab (-40 and 80 °C, "show alarm levels"
// unticked); the excursions are still those beyond the logger's levels, in either unit, while
// the user's levels on the tab are only drawn. A logger without stored levels takes the tab's.
TEST_F(ChartEvidenceTest, TheLoggersOwnLevelsFindTheExcursionsWhateverTheAlarmsTabHolds)
{
    constexpr qint32 kStore = 100103, kBare = 100104;
    addDevice(kStore, "0000012347", "Store", 8, 2);
    exec("INSERT INTO devices (DeviceID, SerialNo, DeviceDescription, SampleRate) VALUES (?, '0000012348', 'Bare', 15)",
         {DbValue(qint64(kBare))});
    std::vector<Sample> rows;
    for (int i = 0; i < 96; ++i) {
        const double v = i >= 40 && i < 52 ? 13.5 : 5.0;   // 10:00 to 13:00 UTC without power
        rows.push_back({kStore, Utc(2026, 12, 10).addSecs(qint64(i) * 900), v});
        rows.push_back({kBare, Utc(2026, 12, 10).addSecs(qint64(i) * 900), v});
    }
    addSamples(rows);
    const auto opened = [&](qint32 device) {
        ChartModel m;
        EXPECT_GT(m.Load(*db), 0);
        m.In.PositionID = QString::number(device);   // typed, not clicked: the tab keeps its defaults
        m.Window.From = Utc(2026, 12, 10);
        m.Window.To = Utc(2026, 12, 10, 23, 45);
        m.In.TZOffset = "0";
        EXPECT_TRUE(m.Update(*db));
        return m;
    };
    for (int units : {0, 1}) {
        SCOPED_TRACE(units);
        if (units == 1) useFahrenheit();
        const ChartModel m = opened(kStore);
        EXPECT_EQ(m.In.AlarmMax, units ? "176" : "80");
        EXPECT_FALSE(m.State.ShowAlarms);
        const ChartEvidence& e = m.State.Evidence;
        EXPECT_TRUE(e.LoggerLevels);
        EXPECT_EQ(e.HighCelsius, 8);
        EXPECT_EQ(e.LowCelsius, 2);
        ASSERT_EQ(e.Excursions.Runs.size(), 1u);
        EXPECT_EQ(e.Excursions.Runs[0].Start, Utc(2026, 12, 10, 10, 0));
        EXPECT_EQ(e.Excursions.Runs[0].End, Utc(2026, 12, 10, 13, 0));
        EXPECT_EQ(e.Excursions.MinutesOutOfRange, 180);
        const EvidenceTable t = EvidenceTableOf(m.State);
        EXPECT_EQ(t.LevelsText, units ? "alarm levels 35.6 °F and 46.4 °F" : "alarm levels 2 °C and 8 °C");
        EXPECT_NEAR(t.ShareInRangePercent, 100.0 * (1425 - 180) / 1425, 1e-9);
        EXPECT_EQ(t.Rows.size(), 1u);
        EXPECT_NEAR(t.Rows[0].Peak, units ? 56.3 : 13.5, 1e-9);
    }
    App().Units = 0;
    App().UnitLabel = QString(QChar(176)) + "C";
    // The levels typed on the tab do not move the excursions of a logger with levels of its own.
    ChartModel typed = opened(kStore);
    typed.In.AlarmMax = "20";
    typed.In.AlarmMin = "-5";
    ASSERT_TRUE(typed.Update(*db));
    EXPECT_EQ(typed.State.Evidence.Excursions.Runs.size(), 1u);
    EXPECT_EQ(EvidenceTableOf(typed.State).LevelsText, "alarm levels 2 °C and 8 °C");
    // Without stored levels: the tab's, both at opening and as typed; a click keeps them.
    ChartModel bare = opened(kBare);
    EXPECT_FALSE(bare.State.Evidence.LoggerLevels);
    EXPECT_TRUE(bare.State.Evidence.Excursions.Runs.empty());
    EXPECT_EQ(EvidenceTableOf(bare.State).LevelsText, "alarm levels -40 °C and 80 °C");
    ASSERT_TRUE(bare.SelectDevice(kBare));
    EXPECT_EQ(bare.In.AlarmMax, "80");
    bare.In.AlarmMax = "10";
    ASSERT_TRUE(bare.Update(*db));
    EXPECT_EQ(bare.State.Evidence.Excursions.Runs.size(), 1u);
    EXPECT_EQ(EvidenceTableOf(bare.State).LevelsText, "alarm levels -40 °C and 10 °C");
}

// A window that starts inside an excursion: its first run is marked as begun earlier, in the
// list's start and in a note; a window that starts in range marks nothing.
TEST_F(ChartEvidenceTest, AnExcursionRunningAtTheStartIsMarkedAsFromBefore)
{
    ChartModel m = query(kColdRoom, ChartKind::Samples);
    m.Window.From = ColdRoomTime(305).addSecs(3600);   // display time, inside the door's hours
    ASSERT_TRUE(m.Update(*db));
    const auto& runs = m.State.Evidence.Excursions.Runs;
    ASSERT_FALSE(runs.empty());
    EXPECT_TRUE(runs.front().FromBefore);
    EXPECT_EQ(runs.front().Start, ColdRoomTime(305));
    for (size_t i = 1; i < runs.size(); ++i) EXPECT_FALSE(runs[i].FromBefore);
    const EvidenceTable t = EvidenceTableOf(m.State);
    EXPECT_TRUE(t.Rows.front().FromBefore);
    EXPECT_EQ(t.Rows.front().Texts[1], ColdRoomTime(305).addSecs(3600).toString("yyyy-MM-dd HH:mm") + " (from before)");
    EXPECT_EQ(t.FromBeforeNote, "(from before): already outside at the start of the period");
    const EvidenceTable whole = EvidenceTableOf(query(kColdRoom, ChartKind::Samples).State);
    for (const EvidenceRow& r : whole.Rows) EXPECT_FALSE(r.FromBefore);
    EXPECT_TRUE(whole.FromBeforeNote.isEmpty());
}

// An aggregate puts in no time (and "MMM" for months); back at the samples (at a kind with days)
// the formats chosen for them return, so the graph has its time labels again.
TEST_F(ChartEvidenceTest, TheSamplesGetTheirFormatsBackAfterAnAggregate)
{
    ChartModel m = query(kColdRoom, ChartKind::Samples);
    m.In.TimeFormatIndex = 3;   // "hh:nn:ss"
    m.In.DateFormatIndex = 6;   // "DD/MM/YYYY"
    for (ChartKind aggregate : {ChartKind::DailyMkt, ChartKind::MonthlyMkt, ChartKind::DailyAverages, ChartKind::Mkt}) {
        SCOPED_TRACE(ChartKindName(aggregate).toStdString());
        m.SetKind(aggregate);
        ASSERT_TRUE(m.Update(*db));
        EXPECT_EQ(m.State.TimeFormat, " ");
        EXPECT_EQ(m.State.DateFormat, IsMonthlyKind(aggregate) ? "MMM" : "DD/MM/YYYY");
        m.SetKind(ChartKind::Samples);
        ASSERT_TRUE(m.Update(*db));
        EXPECT_EQ(m.State.TimeFormat, "hh:nn:ss");
        EXPECT_EQ(m.State.DateFormat, "DD/MM/YYYY");
    }
    // From the months to the days: the days' date format, still no time.
    m.SetKind(ChartKind::MonthlyAverages);
    m.SetKind(ChartKind::DailyMaximums);
    EXPECT_EQ(m.DateFormat(), "DD/MM/YYYY");
    EXPECT_EQ(m.TimeFormat(), " ");
    m.SetKind(ChartKind::Samples);
    EXPECT_EQ(m.TimeFormat(), "hh:nn:ss");
    // The graph of the samples has its time labels again.
    std::vector<ChartText> texts;
    SetHeadlessWindowSize(m.State, 1000, 600);
    ASSERT_TRUE(m.Update(*db));
    GraphImage(m.State, 1000, 600, &texts);
    EXPECT_TRUE(std::any_of(texts.begin(), texts.end(), [](const ChartText& t) {
        return QRegularExpression("^\\d\\d:\\d\\d:\\d\\d$").match(t.Text).hasMatch();
    }));
}
