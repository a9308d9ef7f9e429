// The texts of the graph: every text a drawing puts down is recorded with its box, and over
// realistic data no two of them overlap and none leaves the surface: on the graph sizes of
// common screens, on images, and on portrait and landscape paper.
#include "ChartTestSupport.h"
#include "support/Screenshots.h"
#include "display/ChartGraph.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPdfWriter>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <algorithm>
#include <functional>

namespace {
const QString kDegC = QString(QChar(176)) + "C";

// The state a query leaves: rows at a fixed period from a display time (one hour ahead of UTC).
ChartState Rows(int count, int periodMinutes, const QDateTime& firstDisplay, const std::function<double(int)>& value)
{
    ChartState s;
    s.Units = 0;
    s.UnitLabel = s.UnitText = kDegC;
    s.ValueCaption = "samples (" + kDegC + ")";
    s.GraphHeader = "8635856716, Cold room door";
    s.GraphFootnote = "Graph produced by NORDALIS 07/12/2026 22:40:00";
    s.TimeFormat = "hh:nn";
    s.DateFormat = "DD/MM/YY";
    s.TimeZoneOffset = -60;
    for (int i = 0; i < count; ++i) {
        ChartRow r;
        r.DisplayTime = firstDisplay.addSecs(qint64(i) * periodMinutes * 60);
        r.Time = r.DisplayTime.addSecs(-3600);
        r.Value = value(i);
        r.ValueText = FloatText(r.Value);
        s.Samples.push_back(r);
    }
    return s;
}

struct Case {
    const char* name;
    ChartState state;
};

// The drawings users look at: a week with a door left open (the alarm low equal to the bottom
// of the scale), the same with the default alarm levels far apart and with transitions only,
// two rows, a day that ends just after a grid line, a month of samples, a month of daily
// averages without times, and a header too long for the size rule.
std::vector<Case> Cases()
{
    std::vector<Case> out;
    ChartState week = Rows(7 * 96, 15, Utc(2026, 11, 30), ColdRoomValue);
    week.ShowAlarms = true;
    week.AlarmMax = 8;
    week.AlarmMin = 2;
    week.DateFormat = "DDDD, DD/MM/YY";
    out.push_back({"week", week});

    ChartState wide = week;
    wide.AlarmMax = 80;
    wide.AlarmMin = -40;
    wide.ShowTicks = true;
    out.push_back({"week-default-alarms", wide});

    ChartState transitions = week;
    ApplyTransitionsOnly(transitions.Samples);
    transitions.TransitionsOnly = true;
    transitions.ValueCaption += ", transitions only";
    out.push_back({"week-transitions", transitions});

    out.push_back({"two-rows", Rows(2, 15, Utc(2026, 12, 7, 9, 0), [](int i) { return 4.0 + 2 * i; })});

    ChartState day = Rows(74, 15, Utc(2026, 12, 7, 0, 13), [](int i) { return ColdRoomValue(i + 96); });
    day.TimeFormat = "h:n";
    out.push_back({"day-ending-18-28", day});

    ChartState month = Rows(30 * 96, 15, Utc(2026, 11, 1), [](int i) { return ColdRoomValue(i % 672); });
    month.ShowAlarms = true;
    month.AlarmMax = 8;
    month.AlarmMin = 2;
    out.push_back({"month", month});

    ChartState averages = Rows(30, 24 * 60, Utc(2026, 11, 1), [](int i) { return 4 + 0.1 * (i % 7); });
    averages.ValueCaption = "daily averages (" + kDegC + ")";
    averages.TimeFormat = " ";
    averages.DateFormat = "DD/MM";
    out.push_back({"month-daily-averages", averages});

    // A freezer with a defrost that crosses 0 °C: the zero label and the alarm-high label meet
    // near the top of the scale.
    ChartState freezer = Rows(2 * 96, 15, Utc(2026, 12, 5), [](int i) {
        return (i % 96 >= 40 && i % 96 < 44) ? 1.5 : -20 + 2 * std::sin(i / 7.0);
    });
    freezer.GraphHeader = "8635856999, Freezer chest";
    freezer.ShowAlarms = true;
    freezer.AlarmMax = -15;
    freezer.AlarmMin = -25;
    out.push_back({"freezer-defrost", freezer});

    // The week in Fahrenheit: limits without rounding, value steps of 0.9 °F.
    ChartState fahrenheit = Rows(7 * 96, 15, Utc(2026, 11, 30), [](int i) { return ColdRoomValue(i) * 1.8 + 32; });
    fahrenheit.Units = 1;
    fahrenheit.UnitLabel = fahrenheit.UnitText = QString(QChar(176)) + "F";
    fahrenheit.ValueCaption = "samples (" + fahrenheit.UnitText + ")";
    fahrenheit.ShowAlarms = true;
    fahrenheit.AlarmMax = 46.4f;
    fahrenheit.AlarmMin = 35.6f;
    out.push_back({"week-fahrenheit", fahrenheit});

    ChartState longHeader = week;
    longHeader.GraphHeader = "8635856716, Cold room door by the loading bay, north wall, second shelf from the top";
    out.push_back({"long-header", longHeader});
    return out;
}

int CountKind(const std::vector<ChartText>& texts, ChartTextKind kind)
{
    return int(std::count_if(texts.begin(), texts.end(), [kind](const ChartText& t) { return t.Kind == kind; }));
}

// What every drawing of two rows or more must show, besides being free of faults.
void ExpectWholeGraph(const Case& c, const std::vector<ChartText>& texts, const QString& where)
{
    const std::string at = std::string(c.name) + " on " + where.toStdString();
    EXPECT_EQ(CountKind(texts, ChartTextKind::Header), 1) << at;
    EXPECT_EQ(CountKind(texts, ChartTextKind::Caption), 1) << at;
    EXPECT_EQ(CountKind(texts, ChartTextKind::Footnote), 1) << at;
    EXPECT_GE(CountKind(texts, ChartTextKind::ValueLabel), 4) << at;
    EXPECT_GE(CountKind(texts, ChartTextKind::DateLabel), 1) << at;
    if (!c.state.TimeFormat.trimmed().isEmpty()) {
        EXPECT_EQ(CountKind(texts, ChartTextKind::LastSampleLabel), 1) << at;
        EXPECT_GE(CountKind(texts, ChartTextKind::TimeLabel), 1) << at;
    }
    if (c.state.ShowAlarms) {
        EXPECT_EQ(CountKind(texts, ChartTextKind::AlarmLabel), 2) << at;
    }
    for (const ChartText& t : texts) {
        if (t.Kind == ChartTextKind::Header) {
            EXPECT_EQ(t.Text, c.state.GraphHeader) << at;
        }
    }
}

// The plot of a drawn state on a surface of that size, in device pixels.
QRectF PlotRect(const ChartState& s, const QSize& size)
{
    ImageSurface probe(size.width(), size.height());
    const double T = s.TotalMinutes, R = double(s.YMax) - double(s.YMin);
    probe.Scale(-0.08 * T, s.YMax + 0.25 * R, 1.16 * T, -1.45 * R);
    return QRectF(probe.ToDevice(0, s.YMax), probe.ToDevice(T, s.YMin)).normalized();
}

// The graph sizes of the data display window on common screens, the terminal program's default
// picture and a small one.
const QSize kGraphSizes[] = {{1340, 440}, {1894, 760}, {1000, 600}, {640, 400}};
} // namespace

TEST(ChartTexts, TheCheckFindsOverlapsAndTextsOffTheSurface)
{
    std::vector<ChartText> texts{{ChartTextKind::TimeLabel, "17:28", QRectF(100, 300, 30, 14)},
                                 {ChartTextKind::LastSampleLabel, "18:20", QRectF(120, 300, 30, 14)},
                                 {ChartTextKind::DateLabel, "07/12/26", QRectF(100, 314, 50, 14)},
                                 {ChartTextKind::Header, "8635856716, Cold room door", QRectF(-20, 0, 400, 30)}};
    const QStringList faults = TextLayoutFaults(texts, QSizeF(640, 400));
    ASSERT_EQ(faults.size(), 2) << faults.join("\n").toStdString();
    EXPECT_TRUE(faults[0].contains("time label \"17:28\"") && faults[0].contains("overlaps last-sample label \"18:20\""));
    EXPECT_TRUE(faults[1].contains("header") && faults[1].contains("leaves the surface"));
    // Boxes of consecutive lines share an edge: that is no overlap.
    texts.resize(1);
    texts.push_back({ChartTextKind::DateLabel, "07/12/26", QRectF(100, 314, 50, 14)});
    EXPECT_TRUE(TextLayoutFaults(texts, QSizeF(640, 400)).isEmpty());
}

TEST(ChartTexts, NoTextOverlapsAnotherOrLeavesTheImage)
{
    for (const Case& c : Cases()) {
        for (const QSize& size : kGraphSizes) {
            ChartState s = c.state;
            SetHeadlessWindowSize(s, size.width(), size.height());
            std::vector<ChartText> texts;
            const QImage img = GraphImage(s, size.width(), size.height(), &texts);
            const QString where = QString("%1x%2").arg(size.width()).arg(size.height());
            EXPECT_EQ(TextLayoutFaults(texts, size).join("\n"), QString()) << c.name << " on " << where.toStdString();
            ExpectWholeGraph(c, texts, where);
            // Every label of the time axis lies below the plot; the alarm labels lie inside it,
            // clear of its edges.
            const QRectF plot = PlotRect(s, size);
            for (const ChartText& t : texts) {
                if (t.Kind == ChartTextKind::TimeLabel || t.Kind == ChartTextKind::LastSampleLabel) {
                    EXPECT_GE(t.Rect.top(), plot.bottom()) << c.name << " " << t.Text.toStdString();
                }
                if (t.Kind == ChartTextKind::AlarmLabel) {
                    EXPECT_TRUE(plot.adjusted(1, 1, -1, -1).contains(t.Rect)) << c.name << " " << t.Text.toStdString();
                }
            }
            if (size == kGraphSizes[2]) {
                EXPECT_TRUE(img.save(ScreenshotPath(QString("graph-%1.png").arg(c.name))));
            }
            if (std::string(c.name) == "week" && size == kGraphSizes[0]) {
                EXPECT_TRUE(img.save(ScreenshotPath("graph-week-1366.png")));
            }
            if (std::string(c.name) == "week" && size == kGraphSizes[1]) {
                EXPECT_TRUE(img.save(ScreenshotPath("graph-week-1920.png")));
            }
        }
    }
}

TEST(ChartTexts, TheAlarmLowAtTheBottomOfTheScaleStaysAboveTheTimeAxis)
{
    ChartState s = Cases()[0].state;
    std::vector<ChartText> texts;
    GraphImage(s, 1000, 600, &texts);
    ASSERT_EQ(s.YMin, 2.0f);   // the scale ends at the alarm low level
    const QRectF plot = PlotRect(s, {1000, 600});
    const auto low = std::find_if(texts.begin(), texts.end(), [](const ChartText& t) { return t.Text.contains("Alarm Min= 2"); });
    ASSERT_NE(low, texts.end());
    EXPECT_LT(low->Rect.bottom(), plot.bottom() - 1);   // above the line, off the axis
    const auto high = std::find_if(texts.begin(), texts.end(), [](const ChartText& t) { return t.Text.contains("Alarm Max= 8"); });
    ASSERT_NE(high, texts.end());
    EXPECT_GT(high->Rect.top(), PlotRect(s, {1000, 600}).top() + 1);
}

TEST(ChartTexts, AHeaderWiderThanTheSurfaceShrinksToFit)
{
    ChartState s = Cases().back().state;
    std::vector<ChartText> texts;
    GraphImage(s, 640, 400, &texts);
    const auto header = std::find_if(texts.begin(), texts.end(), [](const ChartText& t) { return t.Kind == ChartTextKind::Header; });
    ASSERT_NE(header, texts.end());
    EXPECT_LE(header->Rect.width(), 640);
    EXPECT_GE(header->Rect.width(), 600);   // as large as the width allows, centred
    EXPECT_NEAR(header->Rect.center().x(), 320, 2);
    // A header that fits keeps the size the rule gives: the same on a narrow and a wide surface.
    std::vector<ChartText> narrow, wide;
    ChartState shortHeader = Cases()[0].state;
    GraphImage(shortHeader, 640, 400, &narrow);
    GraphImage(shortHeader, 2000, 400, &wide);
    ASSERT_EQ(narrow.front().Kind, ChartTextKind::Header);
    ASSERT_EQ(wide.front().Kind, ChartTextKind::Header);
    EXPECT_DOUBLE_EQ(narrow.front().Rect.height(), wide.front().Rect.height());
    EXPECT_GT(narrow.front().Rect.height(), header->Rect.height());
}

TEST(ChartTexts, NoTextOverlapsAnotherOnPortraitOrLandscapePaper)
{
    QTemporaryDir dir;
    for (const bool landscape : {false, true}) {
        for (const Case& c : Cases()) {
            const QString pdf = dir.filePath(QString("%1-%2.pdf").arg(c.name).arg(landscape ? "landscape" : "portrait"));
            QPdfWriter writer(pdf);
            writer.setResolution(1200);
            writer.setPageSize(QPageSize(QPageSize::A4));
            writer.setPageOrientation(landscape ? QPageLayout::Landscape : QPageLayout::Portrait);
            ChartState s = c.state;
            std::vector<ChartText> texts;
            QSize page;
            {
                PrinterSurface paper(writer);
                ASSERT_TRUE(paper.Ok());
                DoGraph(paper, s);
                texts = paper.DrawnTexts();
                page = QSize(paper.DeviceWidth(), paper.DeviceHeight());
                paper.Finish();
            }
            const QString where = landscape ? "landscape paper" : "portrait paper";
            EXPECT_EQ(TextLayoutFaults(texts, page).join("\n"), QString()) << c.name << " on " << where.toStdString();
            ExpectWholeGraph(c, texts, where);
            if (std::string(c.name) == "week" && !QStandardPaths::findExecutable("pdftoppm").isEmpty()) {
                const QString picture = ScreenshotPath(QString("printout-week-%1").arg(landscape ? "landscape" : "portrait"));
                EXPECT_EQ(QProcess::execute("pdftoppm", {"-r", "60", "-png", "-singlefile", pdf, picture}), 0);
            }
        }
    }
}

TEST(ChartTexts, TooFewRowsGiveOneMessageThatFits)
{
    for (int rows : {0, 1}) {
        ChartState s = Rows(rows, 15, Utc(2026, 12, 7), [](int) { return 4.0; });
        std::vector<ChartText> texts;
        GraphImage(s, 320, 200, &texts);
        ASSERT_EQ(texts.size(), 1u);
        EXPECT_EQ(texts[0].Kind, ChartTextKind::Message);
        EXPECT_TRUE(TextLayoutFaults(texts, QSizeF(320, 200)).isEmpty()) << texts[0].Rect.width();
    }
}

// The graph as a part of a report's page (the mission report): drawn through the report's own
// painter into its area, every text stays inside the area and clear of the others, and no fold
// mark is drawn for it.
TEST(ChartTexts, NoTextOverlapsAnotherInAPartOfAReportPage)
{
    QTemporaryDir dir;
    for (const Case& c : Cases()) {
        QPdfWriter writer(dir.filePath(QString("%1-part.pdf").arg(c.name)));
        writer.setResolution(600);
        writer.setPageSize(QPageSize(QPageSize::A4));
        const double mm = 600 / 25.4;
        const QRectF area(18 * mm, 100 * mm, 174 * mm, 92 * mm);
        QPainter painter;
        ASSERT_TRUE(painter.begin(&writer));
        ChartState s = c.state;
        PrinterSurface part(painter, area);
        ASSERT_TRUE(part.Ok());
        EXPECT_TRUE(part.IsPagePart());
        EXPECT_NEAR(part.SurfaceHeight(), 92 / 25.4 * 72 * 20, 1);   // the area's height in twips
        DoGraph(part, s);
        part.Finish();
        EXPECT_EQ(painter.transform().dx(), 0);   // the painter is given back as it was
        EXPECT_FALSE(painter.hasClipping());
        painter.end();
        EXPECT_EQ(TextLayoutFaults(part.DrawnTexts(), area.size()).join("\n"), QString()) << c.name;
        ExpectWholeGraph(c, part.DrawnTexts(), "a part of a report page");
    }
}
