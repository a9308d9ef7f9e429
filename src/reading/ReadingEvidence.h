#pragma once
// What the reading dialog shows of the logger's own alarm log and histogram after a full reading:
// one row per alarm record (high or low, start and end in local time, minutes, the mark of a
// record whose first sample the rolled-over data log no longer holds), and the non-empty bins of
// the histogram in the display unit with their counts and the total. When the histogram counts
// more samples than the data log holds, the note says so.
#include <QString>
#include <QStringList>
#include <vector>

class clsDS1921Data;

struct ReadingEvidenceView {
    bool shown = false;             // a full reading (the data log was read)

    struct AlarmRow {
        QString kind;               // "high" / "low" (translated)
        QString start, end;         // local, "yyyy-MM-dd HH:mm" as the due list writes times
        QString minutes;
        bool overwritten = false;
    };
    bool alarmLogRead = false;
    std::vector<AlarmRow> alarms;
    QString alarmNote;              // "not read" / "no alarm recorded" (translated); empty with rows
    QStringList alarmLogFull;       // "low alarm log full (12 entries): ..." per full kind (translated)

    struct BinRow {
        QString range;              // "2.0 to 3.5": the bin's first and own last code, display unit
        quint32 count = 0;
    };
    bool histogramRead = false;
    std::vector<BinRow> bins;       // the non-empty bins, coldest first
    quint32 largestCount = 0;
    QString totalText;              // "total: 3629 samples"
    QString histogramNote;          // not read, or more samples than the data log holds (translated)
    bool histogramExceedsLog = false;
};

// romText decides the logger variant (bin ranges); empty: the ROM kept in the image's record.
ReadingEvidenceView ReadingEvidenceViewOf(const clsDS1921Data& image, const QString& romText);

// The alarms the logger itself recorded (status register flags THF/TLF and its alarm log), for
// the reading's alarm message: an alarm counts even when the rolled-over data log no longer
// holds its samples. texts say what the samples still in the log cannot show: each alarm-log
// entry whose start was overwritten ("the logger recorded a high alarm on 2026-12-12 13:00
// (180 min); its samples are no longer in the log", several of a kind in one text with their
// first start, last end and minutes in all), or a flag no sample and no entry explains.
struct LoggerAlarms {
    bool high = false;
    bool low = false;
    QStringList texts;              // translated, local times
};
LoggerAlarms LoggerAlarmsOf(const clsDS1921Data& image);
