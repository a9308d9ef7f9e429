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
        v.alarmLogFull = AlarmLogFullTexts(
            DecodeAlarmLog(image.AlarmLogBytes(), QDateTime(), 0, image.MissionSamples(), image.RollOver()));
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
        row.range = HistogramBinText(b);
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

LoggerAlarms LoggerAlarmsOf(const clsDS1921Data& image)
{
    LoggerAlarms out;
    std::vector<AlarmLogEntry> entries;
    if (image.AlarmLogBytes().size() >= kAlarmLogBytes) {
        const QDateTime start = image.MissionStart().isValid() ? LocalToUtc(image.MissionStart()) : QDateTime();
        entries = DecodeAlarmLog(image.AlarmLogBytes(), start, image.SampleRate(), image.MissionSamples(), image.RollOver());
    }
    const bool stored = image.SamplesStored() > 0;
    for (const bool high : {true, false}) {
        const bool inSamples = stored && (high ? image.MaxTemp() > image.AlarmHigh() : image.MinTemp() < image.AlarmLow());
        bool logged = false;
        std::vector<AlarmLogEntry> gone;
        for (const AlarmLogEntry& e : entries) {
            if (e.high != high) continue;
            logged = true;
            if (e.overwritten) gone.push_back(e);
        }
        if (gone.size() == 1) {
            out.texts << Translate(high ? "the logger recorded a high alarm on %1 (%2 min); its samples are no longer in the log"
                                        : "the logger recorded a low alarm on %1 (%2 min); its samples are no longer in the log")
                             .arg(localText(gone.front().start))
                             .arg(gone.front().minutes);
        } else if (gone.size() > 1) {
            qint64 minutes = 0;
            for (const AlarmLogEntry& e : gone) minutes += e.minutes;
            out.texts << Translate(high ? "the logger recorded %1 high alarms from %2 to %3 (%4 min in all); their samples are no "
                                          "longer in the log"
                                        : "the logger recorded %1 low alarms from %2 to %3 (%4 min in all); their samples are no "
                                          "longer in the log")
                             .arg(gone.size())
                             .arg(localText(gone.front().start), localText(gone.back().end))
                             .arg(minutes);
        }
        const bool flag = high ? image.HighAlarmFlag() : image.LowAlarmFlag();
        if (flag && !logged && !inSamples)
            out.texts << Translate(high ? "the logger's high alarm flag is set; the samples in its log do not show that alarm"
                                        : "the logger's low alarm flag is set; the samples in its log do not show that alarm");
        (high ? out.high : out.low) = flag || logged;
    }
    return out;
}
