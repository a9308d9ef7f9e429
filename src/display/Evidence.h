#pragma once
// Mean kinetic temperature and excursions of a series of stored samples. Plain computation, no
// database and no widgets: the caller hands in the samples (stored time, °C) of one window.
//
// Mean kinetic temperature: MKT = (dH/R) / -ln( (1/n) * sum exp(-(dH/R) / T_i) ), T_i in kelvin
// (°C + 273.15); the result is returned in °C (the caller converts it to the display unit).
// dH/R is the activation energy over the gas constant, in kelvin (10 000 K unless set).
//
// Excursions: each run of samples above the high or below the low level. Start is the first
// sample out of range, End the first sample back in range (invalid when the window ends out of
// range: an open end, whose duration runs to the last sample). Degree-minutes use the rectangle
// rule: each out-of-range sample counts |T - limit| for the time until the next sample (the last
// sample of the window counts nothing, as its period has no end inside the window).
#include <QDateTime>
#include <QString>
#include <vector>

constexpr double kDefaultMktActivationK = 10000.0;
constexpr const char* kMktActivationParameter = "MKTActivationK";

class clsDatabase;
// dH/R in kelvin from table parameters ("MKTActivationK", set with `nordalis-cli param set`);
// the default when the parameter is missing, not a number, or not between 1 000 and 100 000 K.
double MktActivationK(clsDatabase& db);
// True when text is an activation energy the kinetic mean accepts (a number from 1 000 to 100 000 K).
bool IsValidMktActivationK(const QString& text, double* k = nullptr);

struct EvidenceSample {
    QDateTime Time;   // stored time (UTC)
    double Celsius = 0;
};

// The mean kinetic temperature in °C; false (and nothing written) for no samples or dH/R <= 0.
bool MeanKineticTemperature(const std::vector<EvidenceSample>& samples, double activationK, double& mktCelsius);

struct Excursion {
    bool High = true;          // above the high level; false: below the low level
    QDateTime Start;           // first sample out of range
    QDateTime End;             // first sample back in range; invalid for an open end
    double DurationMinutes = 0;
    double PeakCelsius = 0;    // highest (high) or lowest (low) sample of the run
    double DegreeMinutes = 0;  // beyond the limit, in kelvin-minutes
};

struct ExcursionSummary {
    std::vector<Excursion> Runs;
    double MinutesOutOfRange = 0;
    double MinutesInWindow = 0;        // first to last sample
    double ShareInRangePercent = 100;  // 100 when the window has no length
};

ExcursionSummary FindExcursions(const std::vector<EvidenceSample>& samples, double lowCelsius, double highCelsius);

// The kinetic mean of the samples of a query (ChartState.Samples, values in the display unit) for
// the whole window (period 0), per displayed day (1) or per displayed month (2): the days and
// months of the display time, as the daily and monthly aggregates group them. Each row: the
// period's first displayed moment and the mean in the display unit.
struct ChartState;
struct MktRow {
    QDateTime DisplayTime;
    double Value = 0;
};
std::vector<MktRow> MktOfState(const ChartState& state, int period, double activationK);
