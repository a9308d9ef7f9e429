#include "reading/ReadingEvidence.h"
#include "reading/clsReadingSequence.h"

#include "app/modInternationalisation.h"
#include "app/modMain.h"
#include "image/LoggerEvidence.h"
#include "image/clsDS1921Data.h"


namespace {

QString localText(const QDateTime& utc)
{
    if (!utc.isValid()) return Translate("unknown");
    // As the due list writes times.
    return UtcToLocal(utc).toString(QStringLiteral("yyyy-MM-dd HH:mm"));
}

} // namespace

ReadingEvidenceView ReadingEvidenceViewOf(const clsDS1921Data& image, const QString& romText)
{
    ReadingEvidenceView v;
    v.shown = !image.logBytes().isEmpty() && image.EvidenceTried();
    if (!v.shown) return v;
    const QString rom = romText.isEmpty() ? image.RecordRomText() : romText;

    v.alarmLogRead = image.AlarmLogBytes().size() >= kAlarmLogBytes;
    if (!v.alarmLogRead) {
        v.alarmNote = Translate("not read");
    } else {
        const QDateTime start = image.MissionStart().isValid() ? LocalToUtc(image.MissionStart()) : QDateTime();
        for (const AlarmLogEntry& e :
             DecodeAlarmLog(image.AlarmLogBytes(), start, image.SampleRate(), image.MissionSamples(), image.RollOver())) {
            ReadingEvidenceView::AlarmRow row;
            row.kind = Translate(e.high ? "high" : "low");
            row.start = localText(e.start);
            row.end = localText(e.end);
            row.minutes = FormatThousands(e.minutes);
            row.overwritten = e.overwritten;
            v.alarms.push_back(row);
        }
        if (v.alarms.empty()) v.alarmNote = Translate("no alarm recorded");
    }

    v.histogramRead = image.HistogramBytes().size() >= kHistogramAreaBytes;
    if (!v.histogramRead) {
        v.histogramNote = Translate("not read");
        return v;
    }
    const std::vector<HistogramBin> bins = DecodeHistogram(image.HistogramBytes(), LoggerVariantOf(rom));
    for (const HistogramBin& b : bins) {
        if (b.count == 0) continue;
        ReadingEvidenceView::BinRow row;
        row.range = FormatTemperature(ToDisplayUnits(b.fromC)) + Translate(" to ") + FormatTemperature(ToDisplayUnits(b.toC));
        row.count = b.count;
        v.largestCount = std::max(v.largestCount, b.count);
        v.bins.push_back(row);
    }
    const quint64 total = HistogramTotal(bins);
    v.totalText = Translate("total: %1 samples").arg(total);
    const qint64 held = std::max<qint32>(image.SamplesStored(), 0);
    v.histogramExceedsLog = qint64(total) > held;
    if (v.histogramExceedsLog)
        v.histogramNote = Translate("the histogram counts %1 samples, the data log holds %2").arg(total).arg(held);
    return v;
}
