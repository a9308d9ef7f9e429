#include "display/Evidence.h"

#include "db/clsDatabase.h"
#include "display/ChartData.h"
#include "display/ChartGraph.h"
#include "app/modFormat.h"
#include "app/modInternationalisation.h"
#include "app/modMain.h"

#include <algorithm>
#include <cmath>
#include <map>

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

qint64 SamplePeriodSeconds(const std::vector<EvidenceSample>& samples)
{
    std::map<qint64, int> counts;
    for (size_t i = 1; i < samples.size(); ++i)
        if (const qint64 dt = samples[i - 1].Time.secsTo(samples[i].Time); dt > 0) ++counts[dt];
    qint64 best = 0;
    int bestCount = 0;
    for (const auto& [dt, n] : counts)
        if (n > bestCount) best = dt, bestCount = n;
    return best;
}

ExcursionSummary FindExcursions(const std::vector<EvidenceSample>& samples, double lowCelsius, double highCelsius,
                                qint64 periodSeconds)
{
    ExcursionSummary out;
    if (samples.empty()) return out;
    out.MinutesInWindow = samples.front().Time.secsTo(samples.back().Time) / 60.0;
    out.PeriodSeconds = periodSeconds > 0 ? periodSeconds : SamplePeriodSeconds(samples);
    // The time sample i counts, in minutes: until the next sample, at most one period.
    const auto counted = [&](size_t i) {
        if (i + 1 >= samples.size()) return 0.0;
        const qint64 dt = samples[i].Time.secsTo(samples[i + 1].Time);
        return (out.PeriodSeconds > 0 ? std::min(dt, out.PeriodSeconds) : dt) / 60.0;
    };
    Excursion* open = nullptr;
    for (size_t i = 0; i < samples.size(); ++i) {
        const EvidenceSample& s = samples[i];
        const int side = s.Celsius > highCelsius ? 1 : (s.Celsius < lowCelsius ? -1 : 0);
        if (open && (side == 0 || (side == 1) != open->High)) {
            open->End = s.Time;
            out.MinutesOutOfRange += open->DurationMinutes;
            open = nullptr;
        }
        if (side != 0 && !open) {
            Excursion e;
            e.High = side == 1;
            e.Start = s.Time;
            e.PeakCelsius = s.Celsius;
            e.FromBefore = i == 0;
            out.Runs.push_back(e);
            open = &out.Runs.back();
        }
        if (open) {
            open->PeakCelsius = open->High ? std::max(open->PeakCelsius, s.Celsius) : std::min(open->PeakCelsius, s.Celsius);
            const double beyond = open->High ? s.Celsius - highCelsius : lowCelsius - s.Celsius;
            open->DegreeMinutes += beyond * counted(i);
            open->DurationMinutes += counted(i);
        }
        if (i + 1 < samples.size() && out.PeriodSeconds > 0) {
            const QDateTime from = s.Time.addSecs(out.PeriodSeconds);
            if (from < samples[i + 1].Time) {
                const SampleGap g{from, samples[i + 1].Time, from.secsTo(samples[i + 1].Time) / 60.0};
                out.MinutesWithoutSamples += g.Minutes;
                out.Gaps.push_back(g);
            }
        }
    }
    if (open) out.MinutesOutOfRange += open->DurationMinutes;
    const double sampled = out.MinutesInWindow - out.MinutesWithoutSamples;
    if (sampled > 0) out.ShareInRangePercent = 100.0 * (sampled - out.MinutesOutOfRange) / sampled;
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

// --- the evidence of a data display window ---------------------------------------------------

double DisplayToCelsius(double value, int units)
{
    return units == 1 ? std::round((value - 32.0) / 1.8 * 10000.0) / 10000.0 : value;
}

double CelsiusToDisplay(double value, int units) { return units == 1 ? value * 1.8 + 32.0 : value; }

void ComputeChartEvidence(ChartState& state, const std::vector<EvidenceSample>& celsius, double activationK)
{
    ChartEvidence& e = state.Evidence;
    e = ChartEvidence();
    e.ActivationK = activationK;
    e.LoggerLevels = state.LoggerAlarmLowC && state.LoggerAlarmHighC;
    e.LowCelsius = e.LoggerLevels ? *state.LoggerAlarmLowC : DisplayToCelsius(state.AlarmMin, state.Units);
    e.HighCelsius = e.LoggerLevels ? *state.LoggerAlarmHighC : DisplayToCelsius(state.AlarmMax, state.Units);
    if (celsius.empty()) return;
    e.Valid = true;
    e.LastSample = celsius.back().Time;
    e.HasMkt = MeanKineticTemperature(celsius, activationK, e.MktCelsius);
    e.Excursions = FindExcursions(celsius, e.LowCelsius, e.HighCelsius);
}

QString FormatDurationMinutes(double minutes)
{
    const qint64 whole = std::llround(minutes);
    return QString("%1:%2 h").arg(whole / 60).arg(whole % 60, 2, 10, QChar('0'));
}

QString EvidenceTable::SummaryText() const
{
    const QString text = Translate("out of range %1, in range %2").arg(OutOfRangeText, InRangeText);
    return WithoutSamplesText.isEmpty() ? text : text + ", " + Translate("no samples") + " " + WithoutSamplesText;
}

QString EvidenceTable::MktCaption() const
{
    return HasMkt ? Translate("MKT") + " " + MktText : QString();
}

EvidenceTable EvidenceTableOf(const ChartState& state, const std::function<QDateTime(const QDateTime&)>& shownTime)
{
    EvidenceTable t;
    const ChartEvidence& e = state.Evidence;
    const int units = state.Units;
    const QString unit = state.UnitLabel;
    const auto shown = [&](const QDateTime& utc) {
        if (!utc.isValid()) return QDateTime();
        return shownTime ? shownTime(utc) : utc.addSecs(-qint64(state.TimeZoneOffset) * 60);
    };
    const auto value = [](double v) { return Format(v, "0.00"); };
    t.Headings = QStringList{Translate("excursion"), Translate("start"), Translate("end"), Translate("duration"),
                             Translate("peak") + " (" + unit + ")", Translate("degree-minutes") + " (" + unit + "·min)"};
    t.Valid = e.Valid;
    // The logger's levels in °F to 1/10000 degree, so that 8 °C reads 46.4 °F.
    const auto level = [&](double celsius) { return std::round(CelsiusToDisplay(celsius, units) * 10000.0) / 10000.0; };
    t.Low = e.LoggerLevels ? level(e.LowCelsius) : state.AlarmMin;
    t.High = e.LoggerLevels ? level(e.HighCelsius) : state.AlarmMax;
    t.LevelsText = Translate("alarm levels %1 and %2").arg(FloatText(t.Low) + " " + unit, FloatText(t.High) + " " + unit);
    if (!e.Valid) return t;
    t.HasMkt = e.HasMkt;
    t.Mkt = CelsiusToDisplay(e.MktCelsius, units);
    t.MktText = value(t.Mkt) + " " + unit;
    t.MinutesOutOfRange = e.Excursions.MinutesOutOfRange;
    t.ShareInRangePercent = e.Excursions.ShareInRangePercent;
    t.OutOfRangeText = FormatDurationMinutes(t.MinutesOutOfRange);
    t.InRangeText = value(t.ShareInRangePercent) + " %";
    t.MinutesWithoutSamples = e.Excursions.MinutesWithoutSamples;
    t.GapCount = int(e.Excursions.Gaps.size());
    if (t.GapCount > 0)
        t.WithoutSamplesText = Translate("%1 in %2 gap(s)").arg(FormatDurationMinutes(t.MinutesWithoutSamples)).arg(t.GapCount);
    const double perKelvin = units == 1 ? 1.8 : 1.0;
    for (const Excursion& x : e.Excursions.Runs) {
        EvidenceRow r;
        r.High = x.High;
        r.Start = shown(x.Start);
        r.End = shown(x.End);
        r.DurationMinutes = x.DurationMinutes;
        r.Peak = CelsiusToDisplay(x.PeakCelsius, units);
        r.DegreeMinutes = x.DegreeMinutes * perKelvin;
        r.FromBefore = x.FromBefore;
        const QString time = "yyyy-MM-dd HH:mm";
        const QString start = r.Start.toString(time) + (x.FromBefore ? " " + Translate("(from before)") : QString());
        if (x.FromBefore)
            t.FromBeforeNote = Translate("(from before)") + ": " + Translate("already outside at the start of the period");
        r.Texts = QStringList{x.High ? Translate("high") : Translate("low"), start,
                              r.End.isValid() ? r.End.toString(time) : Translate("open"),
                              FormatDurationMinutes(r.DurationMinutes), value(r.Peak), Format(r.DegreeMinutes, "0.0")};
        t.Rows.push_back(std::move(r));
    }
    return t;
}
