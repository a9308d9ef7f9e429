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
//
// Gaps: a sample counts at most one sample period of the series (given, or the most common
// positive interval between its samples; the smallest of equally common ones). When the next
// sample comes later, the rest of that time has no samples: it is neither in nor out of range,
// the share in range is taken over the time with samples, and an excursion's duration and
// degree-minutes count only its sampled time.
#include "db/MktParameter.h"
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

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
    bool FromBefore = false;   // already outside at the window's first sample: began earlier
};

// A stretch without samples: from one sample period after a sample to the next sample.
struct SampleGap {
    QDateTime Start;
    QDateTime End;
    double Minutes = 0;
};

struct ExcursionSummary {
    std::vector<Excursion> Runs;
    double MinutesOutOfRange = 0;
    double MinutesInWindow = 0;        // first to last sample
    double ShareInRangePercent = 100;  // of the time with samples; 100 when that has no length
    double MinutesWithoutSamples = 0;  // the gaps' total
    std::vector<SampleGap> Gaps;
    qint64 PeriodSeconds = 0;          // the sample period the gaps were found with
};

// The sample period of a series: the most common positive interval between neighbours (the
// smallest of equally common ones); 0 for fewer than two distinct times.
qint64 SamplePeriodSeconds(const std::vector<EvidenceSample>& samples);
// periodSeconds 0: SamplePeriodSeconds(samples).
ExcursionSummary FindExcursions(const std::vector<EvidenceSample>& samples, double lowCelsius, double highCelsius,
                                qint64 periodSeconds = 0);

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

// ---------------------------------------------------------------------------------------------
// The evidence of a data display window: the kinetic mean and the excursions beyond the
// window's alarm levels, from the window's samples whatever kind of value is shown. Kept in °C
// and stored (UTC) time; EvidenceTableOf turns it into what the display and the exports show.
struct ChartEvidence {
    bool Valid = false;            // computed from the window's samples (none: nothing to show)
    bool HasMkt = false;
    double MktCelsius = 0;
    double ActivationK = kDefaultMktActivationK;
    double LowCelsius = 0;         // the alarm levels the excursions were found with
    double HighCelsius = 0;
    bool LoggerLevels = false;     // they are the logger's own (else the Alarms tab's)
    QDateTime LastSample;          // stored time of the window's last sample (end of an open run)
    ExcursionSummary Excursions;
};

// A temperature of the display unit (0 Celsius, 1 Fahrenheit) in °C; levels are rounded to
// 1/10000 K so that a level typed in °F finds the same samples as the level in °C.
double DisplayToCelsius(double value, int units);
double CelsiusToDisplay(double value, int units);

// Fills state.Evidence from the window's samples (stored time, °C) with the logger's own alarm
// levels (LoggerAlarmLowC/HighC) when it has both, else the state's AlarmMin/AlarmMax (display
// unit), and the activation energy.
void ComputeChartEvidence(ChartState& state, const std::vector<EvidenceSample>& celsius, double activationK);

// One excursion as shown: times in display time, values in the display unit.
struct EvidenceRow {
    bool High = true;
    QDateTime Start;
    QDateTime End;                 // invalid: open (still out of range when the window ends)
    double DurationMinutes = 0;
    double Peak = 0;
    double DegreeMinutes = 0;      // display unit × minutes
    bool FromBefore = false;       // already outside at the start of the window (Excursion)
    QStringList Texts;             // side, start, end or "open", duration, peak, degree-minutes; a
                                   // run from before has " (from before)" after its start
};

struct EvidenceTable {
    bool Valid = false;
    bool HasMkt = false;
    double Mkt = 0;                // display unit
    QString MktText;               // "5.23 °C"
    double MinutesOutOfRange = 0;
    double ShareInRangePercent = 100;
    QString OutOfRangeText;        // "4:05 h"
    QString InRangeText;           // "98.54 %"
    double MinutesWithoutSamples = 0;
    int GapCount = 0;
    QString WithoutSamplesText;    // "39:12 h in 1 gap(s)" (translated); empty without gaps
    double Low = 0, High = 0;      // the alarm levels the excursions go beyond, display unit
    QString LevelsText;            // "alarm levels 2 °C and 8 °C" (translated)
    QStringList Headings;          // of the excursion columns (translated)
    std::vector<EvidenceRow> Rows;
    // "(from before): already outside at the start of the period" when a row is, else empty.
    QString FromBeforeNote;
    // "out of range 4:05 h, in range 98.54 %" (translated), with ", no samples 39:12 h in 1 gap(s)"
    // when the window has gaps
    QString SummaryText() const;
    // "MKT 5.23 °C" (translated); empty without a kinetic mean
    QString MktCaption() const;
};

// The state's evidence as shown. shownTime turns a stored (UTC) time into the time shown; the
// default is the window's display time (stored time less TimeZoneOffset).
EvidenceTable EvidenceTableOf(const ChartState& state, const std::function<QDateTime(const QDateTime&)>& shownTime = {});
// "4:05 h" for 245 minutes.
QString FormatDurationMinutes(double minutes);
