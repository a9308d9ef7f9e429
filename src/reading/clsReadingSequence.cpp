#include "reading/clsReadingSequence.h"
#include "onewire/Tmex.h"

#include "app/modInternationalisation.h"
#include "app/modFormat.h"
#include "app/modMain.h"
#include "image/clsDS1921Data.h"
#include "db/LostSamples.h"
#include "db/clsDatabase.h"
#include "reading/ReadingEvidence.h"
#include "thermochron/clsDallasDevice.h"

#include <QDir>
#include <QLocale>
#include <cmath>

QString FormatTemperature(double value)
{
    if (std::isnan(value)) return QStringLiteral("---");
    const QString t = Format(value, "0.0");
    return t == "-0.0" ? QStringLiteral("0.0") : t;   // a value that rounds to zero has no sign
}

QString FormatThousands(qint64 value)
{
    return Format(value, "#,##0");
}

namespace {
// Writes of the stamp (each checked by reading the record back) before the reading gives up.
constexpr int kStampAttempts = 3;

QByteArray bytesOf(const ByteBuffer& b) { return QByteArray(reinterpret_cast<const char*>(b.data()), qsizetype(b.size())); }

// What a failed step of ReadImageFromLogger could not read, in words.
QString unreadPart(qint32 rc)
{
    switch (rc) {
    case imgNvramNotRead: return Translate("the logger's record could not be read");
    case imgRegistersNotRead: return Translate("the logger's registers could not be read");
    case imgLogNotRead: return Translate("the logger's samples could not be read");
    default: return Translate("the logger could not be read");
    }
}
} // namespace

int clsReadingSequence::ExitStatus(Outcome outcome)
{
    switch (outcome) {
    case Done: return 0;
    case NoLogger:
    case NoData: return 1;
    case ReadFailed:
    case FileFailed: return 3;
    case NoRecord:
    case RecordFailed: return 4;
    case RecordDamaged: return 5;
    }
    return 3;
}

clsReadingSequence::clsReadingSequence(clsDS1921Data& source)
    : m_source(source), m_image(std::make_unique<clsDS1921Data>())
{
}

clsReadingSequence::~clsReadingSequence() = default;

clsDS1921Data& clsReadingSequence::Image() { return *m_image; }

void clsReadingSequence::status(const QString& text)
{
    LastStatus = text;
    if (Status) Status(text);
}

void clsReadingSequence::beep(int count)
{
    if (Beep) Beep(count);
}

clsReadingSequence::Outcome clsReadingSequence::Run()
{
    const BusSequenceGuard busInUse;
    m_outcome = runSteps();
    return m_outcome;
}

clsReadingSequence::Outcome clsReadingSequence::runSteps()
{
    m_image = std::make_unique<clsDS1921Data>();
    for (QString& v : Values) v.clear();
    HighAlarm = LowAlarm = MissionRunning = false;
    LoggerHighAlarm = LoggerLowAlarm = false;
    LoggerAlarmTexts.clear();
    LostSamplesText.clear();
    LoggerFile.clear();
    ErrorText.clear();
    RecordingStart = QDateTime();
    ReadResult = 0;
    RomText.clear();

    // 1. The first logger of the last search.
    std::shared_ptr<clsDallasDevice> device;
    if (m_source.objBus) {
        for (const auto& d : m_source.objBus->colDevices) {
            if (Repaint) Repaint();
            if (d && d->strROMText.endsWith("21")) {
                device = d;
                break;
            }
        }
    }
    if (!device) return NoLogger;

    // 2. A new image on that device.
    m_image->objBus = m_source.objBus;
    m_image->objDeviceFound = device;
    RomText = device->strROMText;
    status(Translate("reading logger..."));

    // 3. The whole memory. The logger's record as it was read is kept: the stamp is written
    // only over that very record.
    qint32 rc = 0;
    m_image->ReadImageFromLogger(false, rc);
    ReadResult = rc;
    if (rc != imgOk) {
        // A reader adapter that failed (pulled out, no answer) is named with its remedy.
        const QString adapter = TMLinkError(m_source.Bus().intPortNum);
        ErrorText = adapter.isEmpty()
            ? unreadPart(rc) + Translate(" (bad contact, or the logger was taken out); the logger was not changed - read it again")
            : unreadPart(rc) + QStringLiteral(" (") + adapter + QStringLiteral(")") + Translate("; the logger was not changed - read it again");
        beep(1);
        status(Translate("couldn't read logger ") + QString::number(rc) + ": " + ErrorText);
        beep(2);
        return ReadFailed;
    }
    clsDS1921Data& img = *m_image;
    const QByteArray recordAtStart = img.NVRAMBytes();
    // 4. No data yet.
    if (img.SamplesStored() < 0) {
        for (QString& v : Values) v = "---";
        status(Translate("data not yet available"));
        return NoData;
    }

    // A logger without an identity record takes the record of its newest logger file, if any.
    const bool identified = img.HoldsIdentity() || restoreRecord(img);

    // 5. Caption, clock difference, current samples.
    Caption = FormatDeviceID(img.DeviceID()) + " \"" + img.DeviceDescription() + "\"";
    const QDateTime loggerClock = img.DateTime();
    if (loggerClock.isValid())
        Values[5] = QString::number(NowLocal().secsTo(loggerClock) + 4);
    else
        Values[5] = "---";
    Values[6] = QString::number(img.MissionSamples());

    // 6. Stamp the reading.
    status(Translate("...saving data..."));
    img.SetLastReading(NowLocal());
    img.SetUserName(App().CurrentUserName);
    img.SetInterfaceSerial(RomTextToSerialNo(App().InterfaceRomCode));

    // 7. The data directory (usually there already).
    const QString dir = App().DataDirectory;
    status(Translate("making directory ") + QDir::toNativeSeparators(dir) + "...");
    QDir().mkpath(dir);

    // 8. The logger file, safely on disk before the logger is touched.
    status(Translate("...writing data..."));
    const QString path = clsDS1921Data::LoggerFilePath(dir, img.SerialNo(), NowLocal());
    qint32 frc = 0;
    img.WriteLoggerImageToFile(path, frc);
    if (frc != imgOk) {
        ErrorText = img.LastError();
        beep(1);
        status(Translate("couldn't write logger file ") + QDir::toNativeSeparators(path) + ": " + ErrorText +
               Translate(" - the logger was not changed"));
        beep(2);
        return FileFailed;
    }
    LoggerFile = path;

    // 9. Key figures and alarms (compared in °C).
    if (img.SamplesStored() > 0) {
        Values[0] = FormatTemperature(ToDisplayUnits(img.AlarmHigh()));
        Values[1] = FormatTemperature(ToDisplayUnits(img.AlarmLow()));
        Values[2] = FormatTemperature(ToDisplayUnits(img.MaxTemp()));
        Values[3] = FormatTemperature(ToDisplayUnits(img.MinTemp()));
        if (img.MaxTemp() > img.AlarmHigh()) {
            HighAlarm = true;
            beep(3);
        }
        if (img.MinTemp() < img.AlarmLow()) {
            LowAlarm = true;
            beep(3);
        }
    } else {
        for (int i = 0; i < 4; ++i) Values[i] = "...";
    }
    // The logger's own alarms: flags and alarm log, whatever the data log still holds.
    const LoggerAlarms logged = LoggerAlarmsOf(img);
    LoggerHighAlarm = logged.high;
    LoggerLowAlarm = logged.low;
    LoggerAlarmTexts = logged.texts;
    if ((LoggerHighAlarm && !HighAlarm) || (LoggerLowAlarm && !LowAlarm)) beep(3);
    // Samples overwritten before any stored reading held them (only a full reading can tell).
    if (!img.logBytes().isEmpty() && AppDatabase().IsOpen())
        LostSamplesText = ::LostSamplesText(LostSamplesOf(img, AppDatabase().Handle()));

    // 10.
    Values[4] = FormatThousands(img.DeviceSamples());

    if (!identified) {
        ErrorText = Translate("the logger holds no identity record; program it to give it one. Its data are saved in ") +
                    QDir::toNativeSeparators(path) + Translate("; the logger was not changed");
        beep(1);
        status(ErrorText);
        beep(2);
        return NoRecord;
    }

    // 11. The stamped record back into the logger.
    status(Translate("...writing new data..."));
    const Outcome stamped = writeStamp(*device, recordAtStart);
    if (stamped != Done) {
        beep(1);
        status(Translate("couldn't write the reading into the logger: ") + ErrorText);
        beep(2);
        return stamped;
    }
    beep(1);

    // 12. Is the mission running?
    // Asked again; when that fails, the registers read a moment ago tell.
    const clsDallasDevice::Mission state = device->CheckedMissionState();
    MissionRunning = state == clsDallasDevice::Mission::Unknown ? img.IsMissionRunning()
                                                                : state == clsDallasDevice::Mission::Running;
    if (MissionRunning) {
        status(Translate("...finished reading, logger running"));
        if (img.SamplesStored() == 0) {
            RecordingStart = NowLocal().addSecs(qint64(img.MissionStartDelay()) * 60);
            const QLocale loc = QLocale::system();
            status(Translate("Recording will start at ") + loc.toString(RecordingStart.date(), QLocale::ShortFormat) +
                   " " + loc.toString(RecordingStart.time(), QLocale::ShortFormat));
            beep(1);
        }
    } else {
        beep(1);
        status(Translate("...finished reading, logger NOT RUNNING !!"));
        beep(1);
    }
    return Done;
}

bool clsReadingSequence::restoreRecord(clsDS1921Data& img)
{
    QByteArray record;
    QString file;
    if (!clsDS1921Data::LatestRecordInFiles({App().DataDirectory, App().BackupDirectory}, RomText, img, record, file))
        return false;
    img.SetNVRAMBytes(record);
    img.DecodeNVRAM();
    RestoredFrom = file;
    status(Translate("the logger's record was missing; restored from ") + QDir::toNativeSeparators(file));
    return true;
}

clsReadingSequence::Outcome clsReadingSequence::writeStamp(clsDallasDevice& device, const QByteArray& recordAtStart)
{
    clsDS1921Data& img = *m_image;
    const QString saved = Translate("its data are saved in ") + QDir::toNativeSeparators(LoggerFile);
    // The logger must still hold the record read at the start: a logger changed or exchanged
    // meanwhile is not stamped.
    ByteBuffer now;
    if (device.ReadPage(0, now) != 0 || bytesOf(now) != recordAtStart) {
        ErrorText = Translate("the logger's record could not be read again before stamping it; the logger was not changed, ") + saved;
        return RecordFailed;
    }
    // A page that held no packet reads as none again after a write cut short: only a record read
    // back whole proves the logger unchanged.
    const bool heldPacket = recordAtStart != QByteArray(1, '\0');
    bool unchanged = true;
    for (int attempt = 0; attempt < kStampAttempts; ++attempt) {
        qint32 wrc = 0;
        img.WriteImageToLoggerNVRAM(wrc);
        ByteBuffer back;
        const bool readBack = device.ReadPage(0, back) == 0;
        if (readBack && bytesOf(back) == img.NVRAMBytes()) return Done;
        unchanged = heldPacket && readBack && bytesOf(back) == recordAtStart;
        if (wrc == imgRecordTooLong) break;
    }
    ErrorText = unchanged
        ? Translate("the stamp could not be written; the logger was not changed, ") + saved
        : Translate("the logger's record may be damaged: put the logger back and read it again; ") + saved;
    return unchanged ? RecordFailed : RecordDamaged;
}
