// The graph on an image target and on a printer (PDF): ranges, extents, clamped segments,
// the messages for too few rows, the humidity rule; a week's graph and a printout for the eye.
#include "ChartTestSupport.h"
#include "support/Screenshots.h"
#include "display/ChartGraph.h"

#include <QDir>
#include <QFile>
#include <QPrinter>
#include <QProcess>
#include <QStandardPaths>
#include <cmath>

namespace {
ChartState StateOf(const std::vector<double>& values, int periodMinutes = 15, QDateTime start = Utc(2020, 6, 1, 8, 0))
{
    ChartState s;
    s.Units = 0;
    s.UnitLabel = s.UnitText = QString(QChar(176)) + "C";
    s.ValueCaption = "samples (" + s.UnitText + ")";
    s.GraphHeader = "0000012345, Shelf 1";
    s.GraphFootnote = "Graph produced by NORDALIS 01/06/2020 12:00:00";
    s.TimeFormat = "hh:nn";
    s.DateFormat = "DD/MM/YY";
    for (size_t i = 0; i < values.size(); ++i) {
        ChartRow r;
        r.Time = start.addSecs(qint64(i) * periodMinutes * 60);
        r.DisplayTime = r.Time.addSecs(3600);
        r.Value = values[i];
        r.ValueText = FloatText(values[i]);
        s.Samples.push_back(r);
    }
    return s;
}

int CountColour(const QImage& img, QRgb colour)
{
    int n = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if ((img.pixel(x, y) & 0xFFFFFF) == (colour & 0xFFFFFF)) ++n;
    return n;
}

QRect InkBounds(const QImage& img)
{
    QRect r;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if ((img.pixel(x, y) & 0xFFFFFF) != 0xFFFFFF) r |= QRect(x, y, 1, 1);
    return r;
}

} // namespace

class ChartGraph : public ::testing::Test {
protected:
    void SetUp() override
    {
        saved = App();
        App().Units = 0;
        App().UnitLabel = QString(QChar(176)) + "C";
    }
    void TearDown() override { App() = saved; }
    AppState saved;
};

TEST_F(ChartGraph, ConstantValueGivesRangeFourToSix)
{
    ChartState s = StateOf({5, 5, 5, 5});
    const QImage img = GraphImage(s, 800, 500);
    EXPECT_EQ(s.YMax, 6.0f);
    EXPECT_EQ(s.YMin, 4.0f);
    EXPECT_EQ(s.SampleCount, 4);
    // The black curve runs through the middle of the plot: Y = 5 on the 6 .. 4 scale.
    ImageSurface probe(800, 500);
    const double R = 2;
    probe.Scale(-0.08 * s.TotalMinutes, 6 + 0.25 * R, 1.16 * s.TotalMinutes, -1.45 * R);
    const QPointF mid = probe.ToDevice(s.TotalMinutes / 2.0, 5);
    int black = 0;
    for (int dy = -1; dy <= 1; ++dy)
        if ((img.pixel(int(mid.x()), int(mid.y()) + dy) & 0xFFFFFF) == 0) ++black;
    EXPECT_GE(black, 1);

    // A fixed scale with equal limits draws from limit - 2 to the limit.
    ChartState fixed = StateOf({9, 9.5});
    fixed.KeepYScale = true;
    fixed.YMax = fixed.YMin = 10;
    GraphImage(fixed, 400, 300);
    EXPECT_EQ(fixed.YMax, 10.0f);
    EXPECT_EQ(fixed.YMin, 8.0f);
    // Alarm levels widen the automatic range.
    ChartState alarms = StateOf({5, 5.2});
    alarms.ShowAlarms = true;
    alarms.AlarmMax = 8;
    alarms.AlarmMin = 2;
    GraphImage(alarms, 400, 300);
    EXPECT_EQ(alarms.YMax, 8.0f);   // Round(8.5) to even
    EXPECT_EQ(alarms.YMin, 2.0f);   // Round(1.5) to even
    // Fahrenheit: 0.9 added and taken without rounding, value steps in multiples of 0.9.
    ChartState f = StateOf({40, 41});
    f.Units = 1;
    const GraphScale g = ComputeGraphScale(f, 12000, 9000);
    EXPECT_FLOAT_EQ(g.YMax, 41.9f);
    EXPECT_FLOAT_EQ(g.YMin, 39.1f);
    EXPECT_NEAR(g.V, 0.9, 1e-9);
}

TEST_F(ChartGraph, TwoRowsFifteenMinutesApart)
{
    ChartState s = StateOf({4, 6});
    const GraphScale g = ComputeGraphScale(s, 12000, 9000);
    EXPECT_EQ(g.T, 16);
    EXPECT_EQ(g.P, 15);
    GraphImage(s, 600, 400);
    EXPECT_EQ(s.TotalMinutes, 16);
    // Minute boundaries, not elapsed minutes: 08:00:59 to 08:15:00 is still 15 + 1.
    s.Samples[0].Time = Utc(2020, 6, 1, 8, 0, 59);
    EXPECT_EQ(ComputeGraphScale(s, 12000, 9000).T, 16);
    // Transitions only: about 30 time intervals whatever the row count.
    ChartState many = StateOf(std::vector<double>(500, 3.0));
    many.TransitionsOnly = true;
    const GraphScale gm = ComputeGraphScale(many, 12000, 9000);
    EXPECT_NEAR(1.16 * gm.T / gm.S, 30, 1e-3);
}

TEST_F(ChartGraph, ValuesOutsideAFixedScaleAreClampedInRed)
{
    const QRgb red = qRgb(255, 0, 0);
    // Rows on the fixed scale 0 .. 5.
    const auto fixed = [](const std::vector<double>& values) {
        ChartState s = StateOf(values);
        s.KeepYScale = true;
        s.YMax = 5;
        s.YMin = 0;
        return s;
    };
    ChartState inRange = fixed({1, 2, 3, 4, 3, 2});
    EXPECT_EQ(CountColour(GraphImage(inRange, 800, 500), red), 0);

    ChartState out = fixed({1, 2, 9, 4, 3, -7, 2});
    const QImage img = GraphImage(out, 800, 500);
    EXPECT_EQ(out.YMax, 5.0f);
    EXPECT_EQ(out.YMin, 0.0f);
    const int redPixels = CountColour(img, red);
    EXPECT_GT(redPixels, 100);
    // Nothing red above the top edge of the scale: the curve stops at the limit.
    ImageSurface probe(800, 500);
    probe.Scale(-0.08 * out.TotalMinutes, 5 + 0.25 * 5, 1.16 * out.TotalMinutes, -1.45 * 5);
    const int top = int(probe.ToDevice(0, 5).y());
    int above = 0;
    for (int y = 0; y < top - 1; ++y)
        for (int x = 0; x < img.width(); ++x)
            if ((img.pixel(x, y) & 0xFFFFFF) == (red & 0xFFFFFF)) ++above;
    EXPECT_EQ(above, 0);

    // A value exactly at the limit is in range: no red.
    ChartState edge = fixed({1, 5, 1});
    EXPECT_EQ(CountColour(GraphImage(edge, 800, 500), red), 0);
    // Markers: 0.05 above the scale still gets one, 0.1 above none.
    const QRgb blue = qRgb(0, 0, 255);
    ChartState marks = fixed({1, 5.05, 1});
    marks.ShowTicks = true;
    marks.ShowLines = false;
    const int threeMarks = CountColour(GraphImage(marks, 800, 500), blue);
    marks.Samples[1].Value = 5.1;
    const int twoMarks = CountColour(GraphImage(marks, 800, 500), blue);
    EXPECT_GT(threeMarks, twoMarks);
    EXPECT_GT(twoMarks, 0);
}

// Samples every 15 minutes with six hours missing between the fourth and the fifth: the curve
// is not drawn across the stretch without samples. Transitions only (rows that are not a
// series of samples) are joined as before, which shows that the probe finds the curve.
TEST_F(ChartGraph, AStretchWithoutSamplesIsLeftEmpty)
{
    const auto gappy = [](bool transitions) {
        ChartState s = StateOf(std::vector<double>(8, 3.0));
        for (size_t i = 4; i < s.Samples.size(); ++i) {
            s.Samples[i].Time = s.Samples[i].Time.addSecs(6 * 3600);
            s.Samples[i].DisplayTime = s.Samples[i].DisplayTime.addSecs(6 * 3600);
        }
        s.KeepYScale = true;
        s.YMax = 5;
        s.YMin = 0;
        s.TransitionsOnly = transitions;
        return s;
    };
    const auto inkInTheGap = [](ChartState s) {
        const QImage img = GraphImage(s, 800, 500);
        ImageSurface probe(800, 500);
        probe.Scale(-0.08 * s.TotalMinutes, 5 + 0.25 * 5, 1.16 * s.TotalMinutes, -1.45 * 5);
        const int y = int(probe.ToDevice(0, 3).y());
        // Minutes 45 (fourth sample) to 420 (fifth): the middle of the gap.
        const int x0 = int(probe.ToDevice(150, 3).x()), x1 = int(probe.ToDevice(300, 3).x());
        int dark = 0;
        for (int yy = y - 2; yy <= y + 2; ++yy)
            for (int x = x0; x <= x1; ++x)
                if (qGray(img.pixel(x, yy)) < 100) ++dark;
        return dark;
    };
    EXPECT_EQ(inkInTheGap(gappy(false)), 0);
    EXPECT_GT(inkInTheGap(gappy(true)), 50);
}

TEST_F(ChartGraph, TooFewRowsShowACentredMessageOnly)
{
    for (int rows : {0, 1}) {
        ChartState s = StateOf(std::vector<double>(size_t(rows), 5.0));
        s.YMax = 33;
        const QImage img = GraphImage(s, 900, 500);
        const QRect ink = InkBounds(img);
        ASSERT_FALSE(ink.isNull());
        EXPECT_NEAR(ink.center().x(), 450, 6) << rows;
        EXPECT_NEAR(ink.center().y(), 250, 10) << rows;
        EXPECT_LT(ink.height(), 40);            // one line of text, nothing else
        EXPECT_EQ(CountColour(img, qRgb(180, 200, 180)), 0);
        EXPECT_EQ(s.YMax, 33.0f);               // the range of the last graph stays
    }
}

TEST_F(ChartGraph, HumidityHeaderTurnsTheUnitIntoPercent)
{
    ChartState s = StateOf({45, 50, 55});
    s.GraphHeader = "Relative HUMidity";
    GraphImage(s, 600, 400);
    EXPECT_EQ(s.ValueCaption, "samples (% )");
    EXPECT_EQ(s.UnitText, "%");
    EXPECT_EQ(FormatScaleLabel(45) + " " + s.UnitText, "+45.0 %");
    ChartState v = StateOf({1, 2});
    v.GraphHeader = "humidity";
    v.ValueCaption = "daily variance";
    v.UnitText = QString(QChar(176)) + "C" + QChar(0x00B2);
    GraphImage(v, 600, 400);
    EXPECT_EQ(v.ValueCaption, "daily variance");
    EXPECT_EQ(v.UnitText, "%");
}

TEST_F(ChartGraph, FontFallbackIsMetricCompatible)
{
    const QString family = GraphFontFamily();
    EXPECT_TRUE(family == "Arial" || family == "Liberation Sans") << family.toStdString();
}

// A week of a cold room at 15 minutes from the database through the window's query, and the
// same graph printed to PDF.
class ChartWeek : public ChartDatabase {};

TEST_F(ChartWeek, WeekPictureAndPrintout)
{
    std::vector<Sample> rows;
    const QDateTime start = Utc(2026, 11, 29, 23, 0, 0);
    for (int i = 0; i < 7 * 96; ++i) rows.push_back({100101, start.addSecs(900LL * i), ColdRoomValue(i)});
    addRoom(1, "Dairy");
    addDevice(100101, "0000012345", "Dairy shelf 3", 8, 2);
    addSamples(rows);
    ChartModel m;
    ASSERT_EQ(m.Load(*db), 1);
    ASSERT_TRUE(m.SelectDevice(100101));
    ASSERT_TRUE(m.SetOffsetText("60"));
    m.Window.From = Utc(2026, 11, 30);
    m.Window.To = Utc(2026, 12, 6, 23, 59, 59);
    m.In.ShowAlarms = true;
    m.In.TimeFormatIndex = 2;   // hh:nn
    m.In.DateFormatIndex = 7;   // DDDD, DD/MM/YY
    ASSERT_TRUE(m.Update(*db));
    ASSERT_EQ(m.State.Samples.size(), rows.size());
    ChartState& s = m.State;
    SetHeadlessWindowSize(s, 1000, 560);
    const QImage img = GraphImage(s, 1000, 560);
    ASSERT_TRUE(img.save(ScreenshotPath("graph-week.png")));
    EXPECT_GT(CountColour(img, qRgb(255, 0, 0)), 100);     // the alarm-high line
    EXPECT_GT(CountColour(img, qRgb(0, 0, 255)), 100);     // the alarm-low line
    EXPECT_GT(CountColour(img, qRgb(180, 200, 180)), 500); // grid

    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setResolution(600);
    printer.setPageOrientation(QPageLayout::Landscape);
    const QString pdf = ScreenshotPath("printout.pdf");
    printer.setOutputFileName(pdf);
    {
        PrinterSurface paper(printer);
        ASSERT_TRUE(paper.Ok());
        EXPECT_TRUE(paper.IsLandscape());
        DoGraph(paper, s);
        paper.Finish();
    }
    QFile f(pdf);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_TRUE(f.read(5).startsWith("%PDF"));
    EXPECT_GT(f.size(), 2000);
    // For the eye: the page as a picture beside the PDF, where poppler's converter is installed.
    if (!QStandardPaths::findExecutable("pdftoppm").isEmpty()) {
        EXPECT_EQ(QProcess::execute("pdftoppm", {"-r", "60", "-png", "-singlefile", pdf, ScreenshotPath("printout")}), 0);
    }
}
