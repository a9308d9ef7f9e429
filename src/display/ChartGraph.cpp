// DoGraph: the time graph of the last query on a drawing surface (window, image or paper).
//
// Two coordinate systems are used in turn: a 0 to 1000 frame for the header, caption and
// footnote, then minutes (since the first row's display time) against values for the plot.
#include "display/ChartGraph.h"
#include "app/modInternationalisation.h"
#include "app/modFormat.h"
#include "display/Evidence.h"
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
const QColor kExcursionHigh(255, 0, 0, 40);   // light translucent bands under the curve
const QColor kExcursionLow(0, 0, 255, 40);

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

QString FloatText(double value)
{
    // Six significant digits leave out the noise of the unit conversion (-15 °C is 5 °F, not
    // 5.000001) and keep every step a logger measures in (-40.225 °F).
    return Format(float(QString::number(value, 'g', 6).toDouble()), "General Number");
}

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

QString GraphCaption(const ChartState& s)
{
    const QString mkt = EvidenceTableOf(s).MktCaption();
    return mkt.isEmpty() ? s.ValueCaption : s.ValueCaption + ", " + mkt;
}

std::vector<ExcursionBand> ExcursionBands(const ChartState& s, double totalMinutes)
{
    std::vector<ExcursionBand> out;
    if (s.Samples.empty() || !s.Evidence.Valid) return out;
    const QDateTime d0 = s.Samples.front().DisplayTime;
    const qint64 shift = -qint64(s.TimeZoneOffset) * 60;
    for (const Excursion& e : s.Evidence.Excursions.Runs) {
        const QDateTime end = e.End.isValid() ? e.End : s.Evidence.LastSample;
        const double from = std::clamp(SecondsToMinutes(d0, e.Start.addSecs(shift)), 0.0, totalMinutes);
        const double to = std::clamp(SecondsToMinutes(d0, end.addSecs(shift)), 0.0, totalMinutes);
        if (to > from) out.push_back({e.High, from, to});
    }
    return out;
}

namespace {
// The surface in device pixels.
QRectF SurfaceRect(const ChartSurface& t) { return QRectF(0, 0, t.DeviceWidth(), t.DeviceHeight()); }

// Whether a box (device pixels) would overlap a text already on the surface; gap widens it.
bool Collides(const ChartSurface& t, const QRectF& box, double gapX = 0, double gapY = 0)
{
    const QRectF b = box.adjusted(0.5 - gapX, 0.5 - gapY, gapX - 0.5, gapY - 0.5);
    for (const ChartText& other : t.DrawnTexts())
        if (b.intersects(other.Rect)) return true;
    return false;
}

bool FitsFree(const ChartSurface& t, const QRectF& box, double gapX = 0, double gapY = 0)
{
    return SurfaceRect(t).adjusted(-0.5, -0.5, 0.5, 0.5).contains(box) && !Collides(t, box, gapX, gapY);
}

// The text's box when printed with its top left at (x, y) in user coordinates.
QRectF BoxAt(ChartSurface& t, const QString& text, double x, double y)
{
    t.CurrentX = x;
    t.CurrentY = y;
    return t.TextRect(text);
}

// The font size that the rule gives, made smaller when the text would not fit across the 0 to
// 1000 frame with a small margin (a long header on a narrow surface or a portrait page).
void SetFittingFontSize(ChartSurface& t, const QString& text, double size)
{
    constexpr double kUsable = 980;   // frame units left for a text line
    t.SetFontSize(size);
    for (int i = 0; i < 4; ++i) {
        const double w = t.TextWidth(text);
        if (w <= kUsable || w <= 0) return;
        size *= kUsable / w * 0.98;
        t.SetFontSize(size);
    }
}

// Prints a frame text centred at the current Y.
void PrintCentred(ChartSurface& t, const QString& text, ChartTextKind kind)
{
    t.CurrentX = 500 - t.TextWidth(text) / 2;
    t.Print(text, kind);
}

// A label that belongs to a horizontal line at y (zero line, alarm level): placed in the plot,
// off its edges, without touching another text. Tries the preferred side of the line first
// (below or above it), at the middle of the plot and then further left and right; prints it in
// the current colour and returns true when a place was found.
bool PrintLineLabel(ChartSurface& t, const QString& text, ChartTextKind kind, double y, bool preferBelow, double T,
                    const QRectF& plot)
{
    const double h = t.TextHeight(text);              // negative on the upward scale
    const double gapPx = t.TextRect(text).height() * 0.2;
    const double gap = std::abs(h) * 0.2;              // the same in user units
    const double w = t.TextWidth(text);
    const QRectF inside = plot.adjusted(gapPx / 2, gapPx / 2, -gapPx / 2, -gapPx / 2);
    // Below the line: top just under it; above: bottom just over it (the scale runs upwards).
    const double below = y - gap, above = y + gap - h;
    const double xs[] = {0.5 * T, 0.3 * T, 0.7 * T, 0.1 * T, 0.9 * T - w};
    const double tops[2] = {preferBelow ? below : above, preferBelow ? above : below};
    for (double top : tops) {
        for (double x : xs) {
            const QRectF box = BoxAt(t, text, x, top);
            if (inside.contains(box) && !Collides(t, box, gapPx, gapPx)) {
                BoxAt(t, text, x, top);
                t.Print(text, kind);
                return true;
            }
        }
    }
    return false;
}
} // namespace

void DoGraph(ChartSurface& t, ChartState& s)
{
    const bool paper = t.IsPrinter();
    if (!paper) t.Clear();
    t.ForgetTexts();
    const int n = int(s.Samples.size());
    const QString family = GraphFontFamily();

    if (n < 2) {
        t.ScalePixels();
        t.SetForeColor(kBlack);
        t.SetFont(family, 11, true);
        // The kinetic mean of the whole window is one value by its nature: it is shown as text.
        const bool windowMkt = n == 1 && s.Kind == ChartKind::Mkt;
        const QString msg = n == 0 ? Translate("No data in the current time & date range. Try a different date range.")
            : windowMkt ? Translate("mean kinetic temperature of the window: %1")
                              .arg(Format(s.Samples.front().Value, "0.00") + " " + s.UnitLabel)
                        : Translate("Need more than one value to display a graph. Try a wider date range.");
        SetFittingFontSize(t, msg, 11);
        t.CurrentX = 500 - t.TextWidth(msg) / 2;
        t.CurrentY = 500 - t.TextHeight(msg) / 2;
        t.Print(msg, ChartTextKind::Message);
        return;
    }

    int ww = 0, wh = 0;
    WindowTwips(s, t, ww, wh);
    const GraphScale g = ComputeGraphScale(s, ww, wh);
    s.YMax = g.YMax;
    s.YMin = g.YMin;
    s.SampleCount = n;
    s.TotalMinutes = g.T;

    // Frame texts; each shrinks where the size rule would make it wider than the surface.
    const double height = t.SurfaceHeight();
    t.SetForeColor(kBlack);
    t.ScalePixels();
    t.SetDrawWidth(1);
    t.SetFont(family, height * 0.04010695, false);
    t.CurrentY = 0;
    if (paper) {
        // The fold mark belongs to a sheet of its own, not to a part of a report's page.
        if (!t.IsPagePart() && t.IsLandscape()) t.Line(500, 0, 500, 5, kBlack);
        else if (!t.IsPagePart()) t.Line(0, 500, 5, 500, kBlack);
        SetFittingFontSize(t, s.GraphHeader, height * 0.0016794);
        t.CurrentY = 2 * t.TextHeight(s.GraphHeader);
        t.SetDrawWidth(3);
    } else {
        SetFittingFontSize(t, s.GraphHeader, height * 0.04010695);
    }
    PrintCentred(t, s.GraphHeader, ChartTextKind::Header);

    if (s.GraphHeader.toUpper().contains("HUM")) {
        // A humidity graph: the unit in the caption becomes "% ".
        const int pos = s.UnitText.isEmpty() ? -1 : s.ValueCaption.toUpper().indexOf(s.UnitText.toUpper());
        if (pos >= 0) {
            const int len = std::min<int>(2, int(s.ValueCaption.size()) - pos);
            s.ValueCaption.replace(pos, len, QString("% ").left(len));
        }
        s.UnitText = "%";
    }

    const QString caption = GraphCaption(s);
    SetFittingFontSize(t, caption, height * (paper ? 0.001259 : 0.03208556));
    PrintCentred(t, caption, ChartTextKind::Caption);

    t.SetDrawStyle(LineStyle::Solid);
    SetFittingFontSize(t, s.GraphFootnote, height * (paper ? 0.000959 : 0.018));
    t.CurrentY = 1000 - 1.1 * t.TextHeight(s.GraphFootnote);
    t.Line(10, t.CurrentY, 990, t.CurrentY, kBlack);
    t.CurrentY = 1000 - t.TextHeight(s.GraphFootnote);
    PrintCentred(t, s.GraphFootnote, ChartTextKind::Footnote);

    // Plot coordinates: minutes against values.
    const double T = g.T;
    const double R = g.R;
    const double yMax = g.YMax, yMin = g.YMin;
    t.Scale(-0.08 * T, yMax + 0.25 * R, 1.16 * T, -1.45 * R);
    const QRectF plot = QRectF(t.ToDevice(0, yMax), t.ToDevice(T, yMin)).normalized();
    const QDateTime d0 = s.Samples.front().DisplayTime;

    // The value labels take 8 points, less where the margins beside the plot are narrower than
    // the widest label (a narrow surface, a portrait page).
    const auto valueLabel = [&](double y) { return FormatScaleLabel(y) + " " + s.UnitText; };
    t.SetFontSize(8);
    double valueFontSize = 8;
    {
        const double widest = std::max(t.TextWidth(valueLabel(yMin)), t.TextWidth(valueLabel(yMax)));
        const double room = 0.06 * T;   // right margin 1.08 T - 1.015 T, less a little air
        if (widest > room && widest > 0) valueFontSize = std::max(4.0, 8 * room / widest);
    }
    t.SetFontSize(valueFontSize);
    const double valueLabelHeight = t.TextHeight(valueLabel(yMin));   // negative
    t.SetFontSize(8);
    t.SetDrawWidth(1);
    t.SetForeColor(kTimeLabel);

    // The excursions of the window: a light band over each one's time span, under the grid and
    // the curve.
    for (const ExcursionBand& b : ExcursionBands(s, T)) t.FillRect(b.From, yMax, b.To, yMin, b.High ? kExcursionHigh : kExcursionLow);

    // Time grid and labels. The row of time labels starts just below the plot, and below the
    // lower half of the lowest value label beside it.
    {
        const double rowY = yMin - 0.01 * R + valueLabelHeight / 2;
        const double gapX = t.TextRect(" ").width();   // air between two labels of a row
        const QDateTime last = s.Samples.back().DisplayTime;
        const double lastX = SecondsToMinutes(d0, last);
        const QString lastText = FormatChartTime(last, s.TimeFormat);
        const QRectF lastBox = BoxAt(t, lastText, lastX - t.TextWidth(lastText) / 2, rowY);
        const bool lastShown = !lastText.trimmed().isEmpty();
        // A label must keep its distance from the last sample's label too (printed at the end).
        const auto free = [&](const QRectF& box) {
            return FitsFree(t, box, gapX) &&
                   !(lastShown && box.adjusted(-gapX, 0.5, gapX, -0.5).intersects(lastBox.adjusted(0, 0.5, 0, -0.5)));
        };
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
                const bool blank = text.trimmed().isEmpty();
                const QRectF box = BoxAt(t, text, x - t.TextWidth(text) / 2, rowY);
                // A label that would run into its neighbour or the last sample's label is left
                // out; its date then goes to the next label that is printed.
                if (blank || free(box)) {
                    BoxAt(t, text, x - t.TextWidth(text) / 2, rowY);
                    t.Print(text, ChartTextKind::TimeLabel);
                    if (lt.date() != lastDay) {
                        const QString day = FormatChartTime(lt, s.DateFormat);
                        const double dayY = rowY + t.TextHeight(text);
                        const QRectF dayBox = BoxAt(t, day, x - t.TextWidth(day) / 2, dayY);
                        if (free(dayBox)) {
                            BoxAt(t, day, x - t.TextWidth(day) / 2, dayY);
                            t.Print(day, ChartTextKind::DateLabel);
                            lastDay = lt.date();
                        }
                    }
                }
                if (paper) t.SetDrawWidth(2);
                t.SetDrawStyle(LineStyle::Solid);
            }
            t.Line(x, yMax, x, yMin, kGrid);
        }
        if (lastShown && SurfaceRect(t).adjusted(-0.5, -0.5, 0.5, 0.5).contains(lastBox) && !Collides(t, lastBox)) {
            BoxAt(t, lastText, lastX - t.TextWidth(lastText) / 2, rowY);
            t.Print(lastText, ChartTextKind::LastSampleLabel);
        }
        if (paper) t.SetDrawWidth(2);
        t.SetDrawStyle(LineStyle::Solid);
        t.Line(lastX, yMax, lastX, yMin, kGrid);
    }

    // Value grid and labels; a label that would touch the one below it or leave the surface is
    // left out (its grid line stays).
    t.SetDrawStyle(LineStyle::Solid);
    t.SetForeColor(kValueLabel);
    t.SetFontSize(valueFontSize);
    {
        int counter = 0;
        const float limit = float(yMax + 0.1);
        for (float y = float(yMin); y <= limit; y += float(g.V), ++counter) {
            if (counter % 2 == 1) {
                t.SetDrawWidth(1);
                t.SetDrawStyle(LineStyle::Dot);
            } else {
                const QString label = valueLabel(y);
                const double h = t.TextHeight(label);
                for (double x : {-1.1 * t.TextWidth(label), 1.015 * T}) {
                    const QRectF box = BoxAt(t, label, x, y - h / 2);
                    if (FitsFree(t, box)) {
                        BoxAt(t, label, x, y - h / 2);
                        t.Print(label, ChartTextKind::ValueLabel);
                    }
                }
                if (paper) t.SetDrawWidth(2);
                t.SetDrawStyle(LineStyle::Solid);
            }
            t.Line(0, y, 1.01 * T, y, kGrid);
        }
    }
    t.SetFontSize(8);

    // Zero line; its label below the line in the middle, or where it finds room in the plot.
    const double zero = s.Units == 1 ? 32.0 : 0.0;   // 0 °C in the display unit
    if (yMin < zero && zero < yMax) {
        t.SetDrawStyle(LineStyle::Dash);
        t.SetDrawWidth(paper ? 5 : 1);
        t.SetForeColor(kZeroLine);
        PrintLineLabel(t, FloatText(zero) + " " + s.UnitText, ChartTextKind::ZeroLabel, zero, true, T, plot);
        t.Line(0, zero, T, zero, kZeroLine);
    }

    // The curve: segments touching the range limits in red.
    if (s.ShowLines) {
        t.CurrentX = 0;
        t.CurrentY = std::clamp(s.Samples.front().Value, yMin, yMax);
        t.SetDrawStyle(LineStyle::Solid);
        t.SetDrawWidth(paper ? 7 : 1);
        bool previousOut = false;
        // A stretch without samples (longer than the series' sample period) is left empty.
        qint64 period = 0;
        if (s.Kind == ChartKind::Samples && !s.TransitionsOnly) {
            std::vector<EvidenceSample> times;
            times.reserve(s.Samples.size());
            for (const ChartRow& r : s.Samples) times.push_back({r.Time, 0});
            period = SamplePeriodSeconds(times);
        }
        const ChartRow* previous = nullptr;
        for (const ChartRow& r : s.Samples) {
            const double x = SecondsToMinutes(d0, r.DisplayTime);
            const double v = r.Value;
            const bool afterGap = period > 0 && previous && previous->Time.secsTo(r.Time) > period;
            previous = &r;
            if (afterGap) {
                t.CurrentX = x;
                t.CurrentY = std::clamp(v, yMin, yMax);
                previousOut = v > yMax || v < yMin;
                continue;
            }
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

    // Alarm levels within the drawn range (a fixed scale can leave one outside: it would be drawn
    // over the frame texts). The high label below its line, the low one above it, both inside
    // the plot and clear of the axes and of every other text.
    if (s.ShowAlarms) {
        t.SetDrawStyle(LineStyle::Dash);
        t.SetDrawWidth(paper ? 5 : 1);
        if (s.AlarmMax <= yMax && s.AlarmMax >= yMin) {
            t.SetForeColor(kAlarmHigh);
            PrintLineLabel(t, " Alarm Max= " + FloatText(s.AlarmMax), ChartTextKind::AlarmLabel, s.AlarmMax, true, T, plot);
            t.Line(0, s.AlarmMax, T, s.AlarmMax, kAlarmHigh);
        }
        if (s.AlarmMin >= yMin && s.AlarmMin <= yMax) {
            t.SetForeColor(kAlarmLow);
            PrintLineLabel(t, " Alarm Min= " + FloatText(s.AlarmMin), ChartTextKind::AlarmLabel, s.AlarmMin, false, T, plot);
            t.Line(0, s.AlarmMin, T, s.AlarmMin, kAlarmLow);
        }
    }
}

QImage GraphImage(ChartState& state, int width, int height, std::vector<ChartText>* texts)
{
    ImageSurface surface(width, height);
    DoGraph(surface, state);
    surface.Finish();
    if (texts) *texts = surface.DrawnTexts();
    return surface.Image();
}
