// DoGraph: the time graph of the last query on a drawing surface (window, image or paper).
//
// Two coordinate systems are used in turn: a 0 to 1000 frame for the header, caption and
// footnote, then minutes (since the first row's display time) against values for the plot.
#include "display/ChartGraph.h"
#include "app/modInternationalisation.h"
#include "app/modFormat.h"
#include <algorithm>
#include <cmath>

namespace {
const QColor kBlack(0, 0, 0);
const QColor kTimeLabel(0, 50, 50);
const QColor kValueLabel(0, 90, 0);
const QColor kGrid(180, 200, 180);
const QColor kZeroLine(0, 255, 255);
const QColor kOutOfRange(255, 0, 0);
const QColor kMarker(0, 0, 255);
const QColor kAlarmHigh(255, 0, 0);
const QColor kAlarmLow(0, 0, 255);

// More grid lines than this could not be told apart on any surface; a few rows far apart with
// a short first period would otherwise draw hundreds of thousands of lines and labels.
constexpr double kMaxTimeGridLines = 2000;

float RoundHalfEven(float v) { return std::nearbyint(v); }

void WindowTwips(const ChartState& s, const ChartSurface& target, int& w, int& h)
{
    w = s.WindowWidthTwips;
    h = s.WindowHeightTwips;
    if (w > 0 && h > 0) return;
    ChartState tmp;
    if (target.IsPrinter()) SetHeadlessWindowSize(tmp, 800, 600 - 230);
    else SetHeadlessWindowSize(tmp, target.DeviceWidth(), target.DeviceHeight());
    w = tmp.WindowWidthTwips;
    h = tmp.WindowHeightTwips;
}

double SecondsToMinutes(const QDateTime& from, const QDateTime& to) { return from.secsTo(to) / 60.0; }
} // namespace

qint64 MinuteBoundaries(const QDateTime& a, const QDateTime& b)
{
    const auto floorMin = [](qint64 secs) { return secs >= 0 ? secs / 60 : -((-secs + 59) / 60); };
    return floorMin(b.toSecsSinceEpoch()) - floorMin(a.toSecsSinceEpoch());
}

QString FloatText(double value) { return Format(float(value), "General Number"); }

QString FormatScaleLabel(double value) { return Format(value, "+#0.0; -#0.0; #0.0"); }

GraphScale ComputeGraphScale(const ChartState& s, int windowWidthTwips, int windowHeightTwips)
{
    GraphScale g;
    const bool fahrenheit = s.Units == 1;
    float yMax = s.YMax, yMin = s.YMin;
    if (!s.KeepYScale) {
        yMax = -200;
        yMin = 200;
        for (const ChartRow& r : s.Samples) {
            const float v = float(r.Value);
            if (v > yMax) yMax = v;
            if (v < yMin) yMin = v;
        }
        if (s.ShowAlarms) {
            yMin = std::min(yMin, s.AlarmMin);
            yMax = std::max(yMax, s.AlarmMax);
        }
        if (fahrenheit) {
            yMax += 0.9f;
            yMin -= 0.9f;
        } else {
            yMax = RoundHalfEven(yMax + 0.5f);
            yMin = RoundHalfEven(yMin - 0.5f);
        }
    }
    if (yMin > yMax) std::swap(yMin, yMax);
    if (yMin == yMax) yMin = yMax - 2;
    g.YMax = yMax;
    g.YMin = yMin;
    g.R = double(yMax) - double(yMin);
    const int n = int(s.Samples.size());
    if (n < 2) return g;

    g.T = qint32(MinuteBoundaries(s.Samples.front().Time, s.Samples.back().Time) + 1);
    g.P = std::max<qint32>(1, qint32(MinuteBoundaries(s.Samples[0].Time, s.Samples[1].Time)));
    const int ww = windowWidthTwips > 0 ? windowWidthTwips : 12000;
    g.S = float(double(g.P) * 48000.0 / ww * n / 100.0);
    if (g.S < g.P / 2.0f) g.S = g.P / 2.0f;
    if (s.TransitionsOnly) g.S = float(1.16 * g.T / 30.0);
    if (g.T / double(g.S) > kMaxTimeGridLines) g.S = float(g.T / kMaxTimeGridLines);

    const int wh = windowHeightTwips > 0 ? windowHeightTwips : 9000;
    double v = g.R * 200.0 / wh;
    if (fahrenheit) {
        v = std::nearbyint(v / 0.9) * 0.9;
        if (v < 0.9) v = 0.9;
    } else {
        v = std::nearbyint(v);
        if (v < 0.1) v = 0.5;
    }
    g.V = v;
    return g;
}

void DoGraph(ChartSurface& t, ChartState& s)
{
    const bool paper = t.IsPrinter();
    if (!paper) t.Clear();
    const int n = int(s.Samples.size());
    const QString family = GraphFontFamily();

    if (n < 2) {
        t.ScalePixels();
        t.SetForeColor(kBlack);
        t.SetFont(family, 11, true);
        const QString msg = n == 0
            ? Translate("No data in the current time & date range. Try a different date range.")
            : Translate("Need more than one value to display a graph. Try a wider date range.");
        t.CurrentX = 500 - t.TextWidth(msg) / 2;
        t.CurrentY = 500 - t.TextHeight(msg) / 2;
        t.Print(msg);
        return;
    }

    int ww = 0, wh = 0;
    WindowTwips(s, t, ww, wh);
    const GraphScale g = ComputeGraphScale(s, ww, wh);
    s.YMax = g.YMax;
    s.YMin = g.YMin;
    s.SampleCount = n;
    s.TotalMinutes = g.T;

    // Frame texts.
    const double height = t.SurfaceHeight();
    t.SetForeColor(kBlack);
    t.ScalePixels();
    t.SetDrawWidth(1);
    t.SetFont(family, height * 0.04010695, false);
    t.CurrentY = 0;
    if (paper) {
        if (t.IsLandscape()) t.Line(500, 0, 500, 5, kBlack);
        else t.Line(0, 500, 5, 500, kBlack);
        t.SetFontSize(height * 0.0016794);
        t.CurrentY = 2 * t.TextHeight(s.GraphHeader);
        t.SetDrawWidth(3);
    }
    t.CurrentX = 500 - t.TextWidth(s.GraphHeader) / 2;
    t.Print(s.GraphHeader);

    if (s.GraphHeader.toUpper().contains("HUM")) {
        // A humidity graph: the unit in the caption becomes "% ".
        const int pos = s.UnitText.isEmpty() ? -1 : s.ValueCaption.toUpper().indexOf(s.UnitText.toUpper());
        if (pos >= 0) {
            const int len = std::min<int>(2, int(s.ValueCaption.size()) - pos);
            s.ValueCaption.replace(pos, len, QString("% ").left(len));
        }
        s.UnitText = "%";
    }

    t.SetFontSize(height * (paper ? 0.001259 : 0.03208556));
    t.CurrentX = 500 - t.TextWidth(s.ValueCaption) / 2;
    t.Print(s.ValueCaption);

    t.SetDrawStyle(LineStyle::Solid);
    t.SetFontSize(height * (paper ? 0.000959 : 0.018));
    t.CurrentY = 1000 - 1.1 * t.TextHeight(s.GraphFootnote);
    t.Line(10, t.CurrentY, 990, t.CurrentY, kBlack);
    t.CurrentY = 1000 - t.TextHeight(s.GraphFootnote);
    t.CurrentX = 500 - t.TextWidth(s.GraphFootnote) / 2;
    t.Print(s.GraphFootnote);

    // Plot coordinates: minutes against values.
    const double T = g.T;
    const double R = g.R;
    const double yMax = g.YMax, yMin = g.YMin;
    t.Scale(-0.08 * T, yMax + 0.25 * R, 1.16 * T, -1.45 * R);
    t.SetFontSize(8);
    t.SetDrawWidth(1);
    t.SetForeColor(kTimeLabel);
    const QDateTime d0 = s.Samples.front().DisplayTime;

    // Time grid and labels.
    {
        int counter = 0;
        QDate lastDay;
        const float limit = float(T - 0.6);
        for (float x = 0; x <= limit; x += g.S, ++counter) {
            if (counter % 2 == 1) {
                t.SetDrawWidth(1);
                t.SetDrawStyle(LineStyle::Dot);
            } else {
                const QDateTime lt = d0.addSecs(qint64(std::llround(double(x) * 60.0)));
                const QString text = FormatChartTime(lt, s.TimeFormat);
                t.CurrentX = x - t.TextWidth(text) / 2;
                t.CurrentY = yMin - 0.01 * R;
                t.Print(text);
                if (lt.date() != lastDay) {
                    const QString day = FormatChartTime(lt, s.DateFormat);
                    t.CurrentX = x - t.TextWidth(day) / 2;
                    t.Print(day);
                    lastDay = lt.date();
                }
                if (paper) t.SetDrawWidth(2);
                t.SetDrawStyle(LineStyle::Solid);
            }
            t.Line(x, yMax, x, yMin, kGrid);
        }
        const QDateTime last = s.Samples.back().DisplayTime;
        const double lastX = SecondsToMinutes(d0, last);
        const QString text = FormatChartTime(last, s.TimeFormat);
        t.CurrentX = lastX - t.TextWidth(text) / 2;
        t.CurrentY = yMin - 0.01 * R;
        t.Print(text);
        if (paper) t.SetDrawWidth(2);
        t.SetDrawStyle(LineStyle::Solid);
        t.Line(lastX, yMax, lastX, yMin, kGrid);
    }

    // Value grid and labels.
    t.SetDrawStyle(LineStyle::Solid);
    t.SetForeColor(kValueLabel);
    {
        int counter = 0;
        const float limit = float(yMax + 0.1);
        for (float y = float(yMin); y <= limit; y += float(g.V), ++counter) {
            if (counter % 2 == 1) {
                t.SetDrawWidth(1);
                t.SetDrawStyle(LineStyle::Dot);
            } else {
                const QString label = FormatScaleLabel(y) + " " + s.UnitText;
                const double h = t.TextHeight(label);
                t.CurrentY = y - h / 2;
                t.CurrentX = -1.1 * t.TextWidth(label);
                t.Print(label);
                t.CurrentY = y - h / 2;
                t.CurrentX = 1.015 * T;
                t.Print(label);
                if (paper) t.SetDrawWidth(2);
                t.SetDrawStyle(LineStyle::Solid);
            }
            t.Line(0, y, 1.01 * T, y, kGrid);
        }
    }

    // Zero line.
    const double zero = s.Units == 1 ? 32.0 : 0.0;   // 0 °C in the display unit
    if (yMin < zero && zero < yMax) {
        t.SetDrawStyle(LineStyle::Dash);
        t.SetDrawWidth(paper ? 5 : 1);
        t.CurrentX = 0.5 * T;
        t.CurrentY = zero;
        t.SetForeColor(kZeroLine);
        t.Print(FloatText(zero) + " " + s.UnitText);
        t.Line(0, zero, T, zero, kZeroLine);
    }

    // The curve: segments touching the range limits in red.
    if (s.ShowLines) {
        t.CurrentX = 0;
        t.CurrentY = std::clamp(s.Samples.front().Value, yMin, yMax);
        t.SetDrawStyle(LineStyle::Solid);
        t.SetDrawWidth(paper ? 7 : 1);
        bool previousOut = false;
        for (const ChartRow& r : s.Samples) {
            const double x = SecondsToMinutes(d0, r.DisplayTime);
            const double v = r.Value;
            if (v > yMax) { t.LineTo(x, yMax, kOutOfRange); previousOut = true; }
            else if (v < yMin) { t.LineTo(x, yMin, kOutOfRange); previousOut = true; }
            else { t.LineTo(x, v, previousOut ? kOutOfRange : kBlack); previousOut = false; }
        }
    }

    // Value markers.
    if (s.ShowTicks) {
        const double dx = 0.005 * T, dy = 0.01 * R;
        t.SetDrawWidth(paper ? 3 : 1);
        for (const ChartRow& r : s.Samples) {
            const double v = r.Value;
            if (!(yMin - 0.1 < v && v < yMax + 0.1)) continue;
            const double x = SecondsToMinutes(d0, r.DisplayTime);
            t.Line(x - dx, v - dy, x + dx, v + dy, kMarker);
            t.Line(x + dx, v - dy, x - dx, v + dy, kMarker);
        }
    }

    // Alarm levels.
    if (s.ShowAlarms) {
        t.SetDrawStyle(LineStyle::Dash);
        t.SetDrawWidth(paper ? 5 : 1);
        if (s.AlarmMax <= yMax) {
            t.CurrentX = 0.5 * T;
            t.CurrentY = s.AlarmMax;
            t.SetForeColor(kAlarmHigh);
            t.Print(" Alarm Max= " + FloatText(s.AlarmMax));
            t.Line(0, s.AlarmMax, T, s.AlarmMax, kAlarmHigh);
        }
        if (s.AlarmMin >= yMin) {
            t.CurrentX = 0.5 * T;
            t.CurrentY = s.AlarmMin - t.TextHeight("A");
            t.SetForeColor(kAlarmLow);
            t.Print(" Alarm Min= " + FloatText(s.AlarmMin));
            t.Line(0, s.AlarmMin, T, s.AlarmMin, kAlarmLow);
        }
    }
}

QImage GraphImage(ChartState& state, int width, int height)
{
    ImageSurface surface(width, height);
    DoGraph(surface, state);
    surface.Finish();
    return surface.Image();
}
