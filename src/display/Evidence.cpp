#include "display/Evidence.h"

#include "db/clsDatabase.h"
#include "display/ChartData.h"
#include "app/modMain.h"

#include <algorithm>
#include <cmath>

bool IsValidMktActivationK(const QString& text, double* k)
{
    bool ok = false;
    const double value = text.trimmed().toDouble(&ok);
    if (!ok || !(value >= 1000 && value <= 100000)) return false;
    if (k) *k = value;
    return true;
}

double MktActivationK(clsDatabase& db)
{
    double k = kDefaultMktActivationK;
    return IsValidMktActivationK(db.Parameter(kMktActivationParameter, QString()), &k) ? k : kDefaultMktActivationK;
}

bool MeanKineticTemperature(const std::vector<EvidenceSample>& samples, double activationK, double& mktCelsius)
{
    if (samples.empty() || !(activationK > 0)) return false;
    double sum = 0;
    for (const EvidenceSample& s : samples) sum += std::exp(-activationK / (s.Celsius + 273.15));
    const double mean = sum / double(samples.size());
    if (!(mean > 0)) return false;
    mktCelsius = activationK / -std::log(mean) - 273.15;
    return true;
}

ExcursionSummary FindExcursions(const std::vector<EvidenceSample>& samples, double lowCelsius, double highCelsius)
{
    ExcursionSummary out;
    if (samples.empty()) return out;
    out.MinutesInWindow = samples.front().Time.secsTo(samples.back().Time) / 60.0;
    Excursion* open = nullptr;
    for (size_t i = 0; i < samples.size(); ++i) {
        const EvidenceSample& s = samples[i];
        const int side = s.Celsius > highCelsius ? 1 : (s.Celsius < lowCelsius ? -1 : 0);
        if (open && (side == 0 || (side == 1) != open->High)) {
            open->End = s.Time;
            open->DurationMinutes = open->Start.secsTo(s.Time) / 60.0;
            out.MinutesOutOfRange += open->DurationMinutes;
            open = nullptr;
        }
        if (side != 0 && !open) {
            Excursion e;
            e.High = side == 1;
            e.Start = s.Time;
            e.PeakCelsius = s.Celsius;
            out.Runs.push_back(e);
            open = &out.Runs.back();
        }
        if (open) {
            open->PeakCelsius = open->High ? std::max(open->PeakCelsius, s.Celsius) : std::min(open->PeakCelsius, s.Celsius);
            if (i + 1 < samples.size()) {
                const double beyond = open->High ? s.Celsius - highCelsius : lowCelsius - s.Celsius;
                open->DegreeMinutes += beyond * (s.Time.secsTo(samples[i + 1].Time) / 60.0);
            }
        }
    }
    if (open) {
        open->DurationMinutes = open->Start.secsTo(samples.back().Time) / 60.0;
        out.MinutesOutOfRange += open->DurationMinutes;
    }
    if (out.MinutesInWindow > 0)
        out.ShareInRangePercent = 100.0 * (out.MinutesInWindow - out.MinutesOutOfRange) / out.MinutesInWindow;
    return out;
}

std::vector<MktRow> MktOfState(const ChartState& state, int period, double activationK)
{
    std::vector<MktRow> out;
    std::vector<EvidenceSample> bucket;
    QDateTime bucketStart;
    const auto flush = [&]() {
        double mkt = 0;
        if (!bucket.empty() && MeanKineticTemperature(bucket, activationK, mkt))
            out.push_back({bucketStart, state.Units == 1 ? double(CelsiusToFahrenheit(mkt)) : mkt});
        bucket.clear();
    };
    for (const ChartRow& r : state.Samples) {
        QDateTime start = r.DisplayTime;
        if (period == 1) start = QDateTime(r.DisplayTime.date(), QTime(0, 0), r.DisplayTime.timeSpec());
        if (period == 2) start = QDateTime(QDate(r.DisplayTime.date().year(), r.DisplayTime.date().month(), 1), QTime(0, 0), r.DisplayTime.timeSpec());
        if (period == 0 && !bucketStart.isValid()) bucketStart = start;
        if (period != 0 && start != bucketStart) {
            flush();
            bucketStart = start;
        }
        bucket.push_back({r.Time, state.Units == 1 ? double(FahrenheitToCelsius(r.Value)) : r.Value});
    }
    flush();
    return out;
}
