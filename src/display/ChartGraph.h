#pragma once
// The figures of a graph that DoGraph derives before drawing (also what the mouse selection
// and the tests read).
#include "display/ChartData.h"

struct GraphScale {
    float YMax = 0, YMin = 0;   // the Y range drawn
    qint32 T = 0;               // TotalMinutes: minute boundaries from the first to the last row, + 1
    double R = 0;               // YMax - YMin
    qint32 P = 1;               // minutes between the first two rows, at least 1
    float S = 1;                // time grid step in minutes
    double V = 1;               // value grid step
};

// Y range, X extent and grid steps for the state's rows (two or more) on a window of the
// state's size. windowWidthTwips/HeightTwips: the size the steps are computed for.
GraphScale ComputeGraphScale(const ChartState& state, int windowWidthTwips, int windowHeightTwips);

// Minute boundaries crossed from a to b (whole minutes as a calendar counts them).
qint64 MinuteBoundaries(const QDateTime& a, const QDateTime& b);
// The value of a float as its shortest text ("80", "-40", "7.5").
QString FloatText(double value);
// "+#0.0; -#0.0; #0.0": "+5.0", " -3.0", " 0.0".
QString FormatScaleLabel(double value);

// The caption the graph shows: the value caption and the window's kinetic mean
// ("samples (°C), MKT 5.23 °C"); the value caption alone when the window had no samples.
QString GraphCaption(const ChartState& state);

// The time spans of the window's excursions in plot minutes (since the first row's display
// time), clipped to 0 .. totalMinutes; runs of no length are left out.
struct ExcursionBand {
    bool High = true;
    double From = 0;
    double To = 0;
};
std::vector<ExcursionBand> ExcursionBands(const ChartState& state, double totalMinutes);
