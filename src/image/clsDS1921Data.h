#pragma once
// One logger image: the parts of a DS1921 Thermochron memory the program uses (the identity
// record of page 0, the register pages from 0x200 and the data log from 0x1000), decoded into
// the values the windows and the database need. An image comes from a connected logger
// (ReadImageFromLogger) or from a logger file (ReadLoggerImageFromFile).
//
// Times: the logger's clock and all times inside an image are UTC; the date-time properties
// below return local time (UtcToLocal with the fixed bias, see app/modMain.h), except the
// sample times of TemperatureSamples, which are UTC.
//
// Register decodings never throw. When the register pages are missing or too short for a
// property, it returns a neutral value: 0 / false / an invalid QDateTime / NaN for the alarm
// levels (DeviceSamples: -1).
// Register bytes that are not valid BCD, or that form no real date, give an invalid QDateTime.
#include "onewire/clsDallasBus.h"
#include "thermochron/clsDallasDevice.h"
#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

// ---- Shared helpers -------------------------------------------------------------------------

// Serial number text of a ROM text (16 hex digits, family code last, CRC first):
//   the 48-bit serial number field of the ROM - hex digits 3 to 14 of the ROM text - read as a
//   decimal number, its last ten decimal digits, zero-padded to ten digits.
// A ROM text that is not 16 hexadecimal digits gives "0000000000".
// Examples: "5A0000000123AB21" -> 0x0000000123AB = 74667 -> "0000074667";
//           "C0FFFFFFFFFFFF21" -> 281474976710655 -> "4976710655".
// Files and databases keep these texts: this function must never change.
QString RomTextToSerialNo(const QString& romText);

// Logger variant told by characters 3 to 5 of the ROM text.
enum class LoggerVariant { Standard, H4F2, Z3B2 };   // -40 °C + c/2, 14.5 °C + c/8, -5.5 °C + c/8
LoggerVariant LoggerVariantOf(const QString& romText);
float CodeToCelsius(int code, LoggerVariant variant);

// The identity record is text in Windows-1252. Characters that code page cannot hold become '?'.
QString Cp1252ToString(const QByteArray& bytes);
QByteArray StringToCp1252(const QString& text, bool* lossless = nullptr);

// When the data of a running logger is at risk, in the time of its arguments (local):
//  - without rollover the data log is full, and recording stops, 2048 sample periods after the
//    first sample, however often the logger was read since: reading does not restart a mission;
//  - with rollover the oldest sample not yet read is overwritten 2048 sample periods after the
//    later of the last reading and the first sample.
// An invalid lastReading counts as no reading. Invalid when the first sample's time or the sample
// period (minutes) is not known.
QDateTime DataAtRiskTime(const QDateTime& firstSample, const QDateTime& lastReading, int sampleRateMinutes,
                         bool rollOver);

// Result codes of the image operations (0 = success).
enum ImageResult : int {
    imgOk = 0,
    // ReadImageFromLogger
    imgNvramNotRead = -1,
    imgRegistersNotRead = -2,
    imgLogNotRead = -3,
    // GetCalibData
    imgCalibNotLoaded = -4,
    // ReadLoggerImageFromFile / WriteLoggerImageToFile (see LastError() for the text)
    imgFileOpenFailed = -31,       // the file cannot be opened or created
    imgFileWrongVersion = -32,     // the file is of another version; the image is unchanged
    imgFileDamaged = -33,          // cut short, or a length field negative or beyond the file
    imgFileWriteFailed = -34,      // writing, flushing or renaming failed; no file left behind
    // transfers and record encoding
    imgNoLoggerDevice = -35,       // no logger device found yet (DeviceFound("21"))
    imgRecordTooLong = -36,        // the identity record does not fit the logger's page packet
};

// Longest identity record that the packet of a logger's page 0 holds: the packet (length byte,
// data, CRC16) may run on over the following pages of the 512-byte general-purpose memory, so
// its one length byte is the limit.
constexpr int kMaxNvramRecordBytes = 255;

// Larger than any logger file the format can describe (three arrays of at most 32768 bytes).
constexpr qint64 kMaxLoggerFileBytes = 8 + 3 * 32768;

struct TemperatureSample {
    QDateTime time;      // UTC, Qt::UTC timeSpec, whole minutes relative to the mission start
    float celsius = 0;
};

class clsDS1921Data {
public:
    clsDS1921Data();
    ~clsDS1921Data();
    clsDS1921Data(const clsDS1921Data&) = delete;
    clsDS1921Data& operator=(const clsDS1921Data&) = delete;

    // ---- Public members
    std::shared_ptr<clsDallasBus> objBus;              // created on first use (Bus())
    std::shared_ptr<clsDallasDevice> objDeviceFound;   // logger found by the last DeviceFound("21")
    qint16 intVersion = 0;                             // version of the logger file last written or read
    clsDallasBus& Bus();                               // objBus, created when missing

    // ---- Image arrays (replaced as a whole; writing NVRAMBytes does not decode it)
    QByteArray RegisterPages() const { return m_registers; }
    void SetRegisterPages(const QByteArray& bytes) { m_registers = bytes; }
    QByteArray TemperaturePages() const { return m_log; }
    void SetTemperaturePages(const QByteArray& bytes) { m_log = bytes; }
    QByteArray NVRAMBytes() const { return m_nvram; }
    void SetNVRAMBytes(const QByteArray& bytes) { m_nvram = bytes; }
    const QByteArray& registerBytes() const { return m_registers; }
    const QByteArray& logBytes() const { return m_log; }
    // The alarm log (0x220-0x27F) and histogram (0x800-0x87F) of the last full reading from the
    // logger; empty when not read (header readings, logger files, a failed page read). They are
    // not part of the logger file.
    const QByteArray& AlarmLogBytes() const { return m_alarmLog; }
    const QByteArray& HistogramBytes() const { return m_histogram; }
    // True when the last full reading from the logger tried to read them (a logger file written
    // from it gets its companion, image/LoggerCompanion.h); when, in UTC.
    bool EvidenceTried() const { return m_evidenceTried; }
    QDateTime EvidenceReadUtc() const { return m_evidenceReadUtc; }
    // Sets them as a full reading would (an empty area: not read).
    void SetEvidenceBytes(const QByteArray& alarmLog, const QByteArray& histogram, const QDateTime& readUtc);

    // ---- Identity record fields (index 0 version, 1..8 as below)
    QStringList NvramFields() const { return m_fields; }
    QString SerialNo() const;                 // field 1
    void SetSerialNo(const QString& v);
    QString DeviceDescription() const;        // field 2
    void SetDeviceDescription(const QString& v);
    qint32 DeviceID(bool* ok = nullptr) const;  // field 3; 0 and *ok = false when not a number
    void SetDeviceID(qint32 v);
    QDateTime LastReading() const;            // field 4, local; invalid when not a valid time
    void SetLastReading(const QDateTime& local);   // stored as yymmddhhnnss UTC
    QString UserName() const;                 // field 5
    void SetUserName(const QString& v);
    QString InterfaceSerial() const;          // field 6
    void SetInterfaceSerial(const QString& v);
    QString RecordRomText() const;            // field 8 (version 2 records), else empty
    // True when the record names a logger: it decoded (eight fields or more) and its DeviceID is
    // a number above 0. The defaults that stand in for a missing record name none.
    bool HoldsIdentity() const;

    qint32 Location() const;                  // DeviceID \ 100000
    qint32 Room() const;                      // (DeviceID Mod 100000) \ 100
    qint32 Position() const;                  // DeviceID Mod 100

    // ---- Register decodings
    bool HasRegisters() const { return m_registers.size() >= 32; }
    QDateTime DateTime() const;               // logger clock, local
    float AlarmHigh() const;
    float AlarmLow() const;
    int SampleRate() const;                   // minutes; 0 when missing
    qint32 MissionSamples() const;            // 0 when missing
    qint32 DeviceSamples() const;             // -1 when missing
    QDateTime MissionStart() const;           // local, seconds 0
    qint32 SamplesStored() const;             // MissionSamples, at most 2048
    QDateTime MissionEnd() const;             // MissionStart + SampleRate * MissionSamples minutes
    float MaxTemp() const;
    float MinTemp() const;
    bool RollOver() const;
    bool IsMissionRunning() const;
    // The logger's own alarm flags (status register THF / TLF): a mission sample reached the
    // high / low alarm level, also one the rolled-over data log no longer holds.
    bool HighAlarmFlag() const;
    bool LowAlarmFlag() const;
    qint32 MissionStartDelay() const;         // minutes still to wait (the logger counts it down)
    // Time of the mission's first sample, local: MissionStart once recording has begun; while a
    // running mission still waits for its start delay, the minute boundary after the delay runs
    // out, counted from the logger's clock of this image (LastReading when the clock is missing).
    // Invalid when neither is known, or when no mission runs and nothing was recorded.
    QDateTime FirstSampleTime() const;
    // When this logger's unread data is at risk, local: DataAtRiskTime of FirstSampleTime,
    // LastReading, SampleRate and RollOver. Stored as the logger's NextReading.
    QDateTime NextReading() const;

    // ---- Sample series: SamplesStored rows, oldest first (no trailing empty row). Empty when
    // fewer than one sample is stored. When the data log holds fewer slots than the series needs
    // (an image read without its log), or the mission start or sample rate is not valid, the
    // result is empty and *complete is set to false.
    std::vector<TemperatureSample> TemperatureSamples(bool* complete = nullptr) const;

    // ---- Plausibility. Empty when the image can be what a DS1921 programmed by this program
    // holds; else why not (a damaged or default identity record, impossible register bits or
    // counters, clock or mission dates that are not valid BCD, before 2000, or a mission start or
    // samples later than the logger's clock, a data log shorter than its samples). No image that
    // fails it is stored.
    QString ImplausibleBecause() const;

    // ---- Temperatures
    // strROMCode empty: the ROM text kept in the identity record (field 8) decides the variant.
    float TemperatureToSingle(int bytTemp, const QString& strROMCode = QString()) const;
    void GetCalibData(const QString& directory, qint32& result);
    bool HasCalibration() const { return !CalibTable.empty(); }
    float CalibLower = 0;
    float CalibUpper = 0;
    std::vector<float> CalibTable;

    // ---- Devices and transfers
    // Searches the bus; the ROM text of the first device whose ROM text ends in strFamily, or
    // empty. For "21" that device becomes objDeviceFound.
    QString DeviceFound(const QString& strFamily);
    QString LoggerRomText() const;            // ROM text of objDeviceFound, empty when none
    void ReadImageFromLogger(bool blnOmitLogData, qint32& result);
    void WriteImageToLoggerNVRAM(qint32& result);
    // The record as it would now be written for a logger with this ROM text.
    QByteArray EncodedRecord(const QString& romText) const;
    // True when the record, encoded for the found logger, fits its page packet.
    [[nodiscard]] bool RecordFitsLogger(QString* why = nullptr) const;

    // ---- Logger files. The result codes are ImageResult values; LastError() tells why.
    // An image of a full reading (EvidenceTried) is written with its companion, which takes its
    // name before the logger file does (image/LoggerCompanion.h); when either cannot be written,
    // neither is left behind.
    void WriteLoggerImageToFile(const QString& fileName, qint32& result);
    void ReadLoggerImageFromFile(const QString& fileName, qint32& result);
    // The same for the bytes of a logger file already read (fileName only names it in messages).
    void LoadLoggerFileBytes(const QByteArray& bytes, const QString& fileName, qint32& result);
    // Writes the file with the record encoded for romText (images not taken from a live logger).
    void WriteLoggerImageToFileFor(const QString& fileName, const QString& romText, qint32& result);
    QString LastError() const { return m_lastError; }
    // Path of a new logger file in directory: the serial number, one blank, the twelve-digit
    // local stamp yymmddhhnnss and ".dta" ("1234567890 070605143012.dta").
    static QString LoggerFilePath(const QString& directory, const QString& serialNo, const QDateTime& local);
    // The identity record of the newest logger file of the logger with this ROM text in the
    // directories (by the stamp in the file name), among the plausible files whose record names
    // a logger and, where it keeps one, this ROM text, and whose mission (start and sample rate,
    // with samples, no more than `mission` has now) is the one of `mission`. False when there is none.
    [[nodiscard]] static bool LatestRecordInFiles(const QStringList& directories, const QString& romText,
                                    const clsDS1921Data& mission, QByteArray& record, QString& file);

    // Decodes NVRAMBytes into the fields (defaults when fewer than eight fields).
    void DecodeNVRAM();
    // Rebuilds NVRAMBytes from the fields for a logger with this ROM text.
    void EncodeNVRAM(const QString& romText);
    // The nine default fields.
    static QStringList DefaultNvramFields(const QString& loggerRomText);

private:
    static QString RecordTooLongText(int length);
    QString field(int i) const;
    void setField(int i, const QString& v);
    int reg(int offset) const;                // -1 when missing
    QDateTime bcdDateTime(int secOffset, int minOffset, int hourOffset, int dayOffset,
                          int monthOffset, int yearOffset) const;

    QByteArray m_registers;
    QByteArray m_log;
    QByteArray m_nvram;
    QByteArray m_alarmLog;
    QByteArray m_histogram;
    bool m_evidenceTried = false;
    QDateTime m_evidenceReadUtc;
    QStringList m_fields;
    QString m_lastError;
};

// The one live logger image of the process, owner of the one bus object.
clsDS1921Data& AppLogger();
