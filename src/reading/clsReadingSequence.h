#pragma once
// The reading of the logger in the reader cable (the reading dialog frmDownload and the
// terminal's "read" verb): the whole memory is read into a new logger image, the key figures
// and alarms are worked out, the reading is stamped into the identity record, the image is saved
// as a logger file in the data directory and the stamped record is written back into the logger.
//
// The logger's record is changed only after its logger file is safely on disk (written, flushed
// and renamed into place). When the file cannot be written the sequence says so and leaves the
// logger as it was, so that the reading can simply be repeated.
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

class clsDS1921Data;
class clsDallasDevice;

class clsReadingSequence {
public:
    enum Outcome {
        NoLogger = 0,      // no device of family 21 in the last search: nothing done, no message
        ReadFailed = 1,    // the memory could not be read (ReadResult tells the step); no file, logger unchanged
        NoData = 2,        // the logger has no data yet (SamplesStored < 0)
        FileFailed = 3,    // the logger file could not be written; the logger is unchanged
        NoRecord = 4,      // file written; the logger holds no identity record and was not changed
        RecordFailed = 5,  // file written, but the stamp was not written back; the logger is unchanged
        RecordDamaged = 6, // file written; writing the stamp failed and the logger's record may be damaged
        Done = 7,          // file written and logger stamped
    };
    // Exit status of the terminal's read verb, by what happened to the logger: 0 read and
    // stamped; 1 nothing to read (no logger, no data yet); 3 not read, the logger unchanged;
    // 4 its data saved, the logger unchanged (not stamped); 5 its data saved, its record may be
    // damaged (read it again).
    [[nodiscard]] static int ExitStatus(Outcome outcome);

    // source: the application's logger image; its bus's last search (colDevices) names the
    // devices found.
    explicit clsReadingSequence(clsDS1921Data& source);
    ~clsReadingSequence();

    // Outputs of the caller (all optional).
    std::function<void(const QString& text)> Status;   // status bar, repainted at once
    std::function<void(int count)> Beep;               // count short signals
    std::function<void()> Repaint;                     // between devices and steps

    [[nodiscard]] Outcome Run();
    // The outcome of the last Run (NoLogger before the first).
    Outcome LastOutcome() const { return m_outcome; }
    // True when the last Run ended in a way the operator must see: the logger could not be read
    // or stamped, or its record may be damaged.
    bool NeedsAttention() const { return m_outcome != Done && m_outcome != NoLogger && m_outcome != NoData; }

    // ---- Results of the last Run
    clsDS1921Data& Image();           // the image read (empty before Run)
    QString RomText;                  // the logger read
    qint32 ReadResult = 0;            // ReadImageFromLogger's status
    QString Caption;                  // "<FormatDeviceID> \"<DeviceDescription>\""
    // lblValue(0..6): alarm high, alarm low, max, min (display unit, "##.0" / "..." / "---"),
    // total logger samples ("#,###,###"), seconds of clock difference, current samples.
    QString Values[7];
    bool HighAlarm = false;           // MaxTemp > AlarmHigh (°C)
    bool LowAlarm = false;            // MinTemp < AlarmLow (°C)
    // The alarms the logger itself recorded (flags, alarm log), also those whose samples the
    // rolled-over data log no longer holds, and what the samples cannot show of them
    // (ReadingEvidence.h: LoggerAlarmsOf).
    bool LoggerHighAlarm = false;
    bool LoggerLowAlarm = false;
    QStringList LoggerAlarmTexts;
    bool AlarmShown() const { return HighAlarm || LowAlarm || LoggerHighAlarm || LoggerLowAlarm; }
    // Samples the logger overwrote before any stored reading of this mission held them (a full
    // reading, against the database): "294 samples from ... were overwritten ..."; empty when none.
    QString LostSamplesText;
    QString LoggerFile;               // the file written (empty when none)
    QString LastStatus;               // the last status text
    QString ErrorText;                // why the reading failed, in words
    QString RestoredFrom;             // the logger file whose record replaced a missing one
    bool MissionRunning = false;
    QDateTime RecordingStart;         // local; valid when the mission waits for its start delay

private:
    [[nodiscard]] Outcome runSteps();
    [[nodiscard]] Outcome writeStamp(clsDallasDevice& device, const QByteArray& recordAtStart);
    [[nodiscard]] bool restoreRecord(clsDS1921Data& img);
    void status(const QString& text);
    void beep(int count);
    clsDS1921Data& m_source;
    std::unique_ptr<clsDS1921Data> m_image;
    Outcome m_outcome = NoLogger;
};

// "##.0": at least one digit before the point, one after ("-0.5", "12.0", "0.3").
QString FormatTemperature(double value);
// "#,###,###": thousands grouped with ",", zero shown as "0".
QString FormatThousands(qint64 value);
