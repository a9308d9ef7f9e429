// The alarm log and histogram of a DS1921.
#include "image/LoggerEvidence.h"
#include "app/modInternationalisation.h"
#include "app/modMain.h"
#include "app/modFormat.h"

#include <algorithm>

namespace {
constexpr int kRecordsPerKind = kAlarmRecordsPerKind;
constexpr int kHighOffset = 0x30;   // 0x250 - 0x220
constexpr int kBins = 64;

QString timeText(const QDateTime& t)
{
    return t.isValid() ? t.toString(QStringLiteral("yyyy-MM-dd HH:mm")) + QStringLiteral(" UTC") : QStringLiteral("unknown");
}
} // namespace

qint32 FirstSampleInLog(qint32 missionSamples, bool rollOver)
{
    if (rollOver && missionSamples > 2048) return missionSamples - 2047;
    return 1;
}

std::vector<AlarmLogEntry> DecodeAlarmLog(const QByteArray& area, const QDateTime& missionStartUtc,
                                          int sampleRateMinutes, qint32 missionSamples, bool rollOver)
{
    std::vector<AlarmLogEntry> out;
    if (area.size() < kAlarmLogBytes) return out;
    const qint32 first = FirstSampleInLog(missionSamples, rollOver);
    const bool timed = missionStartUtc.isValid() && sampleRateMinutes > 0;
    for (int kind = 0; kind < 2; ++kind) {
        for (int n = 0; n < kRecordsPerKind; ++n) {
            const int a = kind * kHighOffset + 4 * n;
            const auto b = [&](int i) { return quint32(quint8(area[a + i])); };
            AlarmLogEntry e;
            e.high = kind == 1;
            e.startSample = qint32(b(0) | (b(1) << 8) | (b(2) << 16));
            e.durationSamples = int(b(3));
            if (e.startSample == 0) continue;
            e.minutes = qint64(e.durationSamples) * sampleRateMinutes;
            if (timed) {
                e.start = missionStartUtc.addSecs(qint64(e.startSample - 1) * sampleRateMinutes * 60);
                e.end = e.start.addSecs(e.minutes * 60);
            }
            e.overwritten = e.startSample < first;
            out.push_back(e);
        }
    }
    return out;
}

std::vector<HistogramBin> DecodeHistogram(const QByteArray& area, LoggerVariant variant)
{
    std::vector<HistogramBin> out;
    if (area.size() < kHistogramAreaBytes) return out;
    out.reserve(kBins);
    for (int i = 0; i < kBins; ++i) {
        HistogramBin bin;
        bin.index = i;
        bin.fromC = CodeToCelsius(4 * i, variant);
        bin.toC = CodeToCelsius(4 * i + 4, variant);
        bin.lastC = CodeToCelsius(4 * i + 3, variant);
        bin.count = quint32(quint8(area[2 * i])) | (quint32(quint8(area[2 * i + 1])) << 8);
        out.push_back(bin);
    }
    return out;
}

bool AlarmLogFull(const std::vector<AlarmLogEntry>& entries, bool high)
{
    return std::count_if(entries.begin(), entries.end(), [&](const AlarmLogEntry& e) { return e.high == high; }) >=
           kRecordsPerKind;
}

QStringList AlarmLogFullTexts(const std::vector<AlarmLogEntry>& entries)
{
    QStringList out;
    if (AlarmLogFull(entries, false))
        out << Translate("low alarm log full (%1 entries): later low alarms were not recorded by the logger").arg(kRecordsPerKind);
    if (AlarmLogFull(entries, true))
        out << Translate("high alarm log full (%1 entries): later high alarms were not recorded by the logger").arg(kRecordsPerKind);
    return out;
}

QString HistogramBinText(const HistogramBin& bin)
{
    const auto t = [](float c) {
        const QString v = Format(double(ToDisplayUnits(c)), "0.0");
        return v == "-0.0" ? QStringLiteral("0.0") : v;
    };
    return t(bin.fromC) + Translate(" to ") + t(bin.lastC);
}

quint64 HistogramTotal(const std::vector<HistogramBin>& bins)
{
    quint64 total = 0;
    for (const HistogramBin& b : bins) total += b.count;
    return total;
}

QStringList LoggerEvidenceLines(const QByteArray& alarmArea, const QByteArray& histogramArea,
                                const clsDS1921Data& image, LoggerVariant variant)
{
    QStringList lines;
    if (alarmArea.size() < kAlarmLogBytes) {
        lines << QStringLiteral("alarm log\tnot read");
    } else {
        const QDateTime start = image.MissionStart().isValid() ? LocalToUtc(image.MissionStart()) : QDateTime();
        for (const AlarmLogEntry& e : DecodeAlarmLog(alarmArea, start, image.SampleRate(), image.MissionSamples(),
                                                     image.RollOver())) {
            QString line = QStringLiteral("alarm log\t%1\t%2\t%3\t%4")
                               .arg(e.high ? QStringLiteral("high") : QStringLiteral("low"), timeText(e.start),
                                    timeText(e.end))
                               .arg(e.minutes);
            if (e.overwritten) line += QStringLiteral("\toverwritten");
            lines << line;
        }
        const std::vector<AlarmLogEntry> all = DecodeAlarmLog(alarmArea, QDateTime(), 0, 0, false);
        for (const bool high : {false, true})
            if (AlarmLogFull(all, high))
                lines << QStringLiteral("alarm log\t%1 full\t%2 entries: later %1 alarms were not recorded by the logger")
                             .arg(high ? QStringLiteral("high") : QStringLiteral("low"))
                             .arg(kRecordsPerKind);
    }
    if (histogramArea.size() < kHistogramAreaBytes) {
        lines << QStringLiteral("histogram\tnot read");
    } else {
        const std::vector<HistogramBin> bins = DecodeHistogram(histogramArea, variant);
        for (const HistogramBin& b : bins)
            if (b.count > 0)
                lines << QStringLiteral("histogram\t%1\t%2\t%3")
                             .arg(QString::number(double(b.fromC), 'f', 1), QString::number(double(b.lastC), 'f', 1))
                             .arg(b.count);
        lines << QStringLiteral("histogram total\t%1").arg(HistogramTotal(bins));
    }
    return lines;
}
