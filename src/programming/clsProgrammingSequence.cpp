// The programming sequence of a connected DS1921: safekeeping of the samples it holds, then
// clock, clearing, start delay, alarms, rollover, sample rate (which starts the mission) and the
// identity record, and the check that the logger took all of it and runs.
#include "programming/clsProgrammingSequence.h"
#include "onewire/Tmex.h"
#include "onewire/clsDallasBus.h"
#include "app/UserInterface.h"
#include <optional>
#include "app/modFormat.h"
#include "app/modInternationalisation.h"
#include "app/modMain.h"
#include "db/AuditTrail.h"
#include "db/clsDatabase.h"
#include "image/clsDS1921Data.h"
#include "onewire/BusWait.h"
#include "thermochron/clsDallasDevice.h"

#include <QDir>
#include <QFileInfo>

namespace {
// Attempts of one register write or of the identity record before the run gives up.
constexpr int kStepAttempts = 3;
} // namespace

int ProgrammingExitStatus(ProgrammingOutcome outcome)
{
    switch (outcome) {
    case ProgrammingOutcome::Running: return 0;
    case ProgrammingOutcome::Refused: return 2;
    case ProgrammingOutcome::NotRunning: return 3;
    case ProgrammingOutcome::Stopped: return 4;
    case ProgrammingOutcome::Unconfirmed: return 5;
    case ProgrammingOutcome::NotConfirmed:
    case ProgrammingOutcome::NoLogger:
    case ProgrammingOutcome::SaveFailed: return 1;
    }
    return 1;
}

clsProgrammingSequence::clsProgrammingSequence(clsDS1921Data& image, clsDatabase& db)
    : DataDirectory(App().DataDirectory), m_image(image), m_db(db)
{
}

void clsProgrammingSequence::status(const QString& text, int pauseMs)
{
    m_log << Translate(text);
    if (ShowStatus) ShowStatus(text, pauseMs);
    else if (pauseMs > 0) BusWait(pauseMs);
}

void clsProgrammingSequence::message(const QString& prompt, int style, const QString& title)
{
    m_log << Translate(prompt);
    if (ShowMessages) ShowMessage(Translate(prompt), style, Translate(title));
}

void clsProgrammingSequence::notRead()
{
    m_failure = Translate("couldn't read logger data") + adapterCause() + Translate("; the logger was not changed");
    m_log << m_failure;
    if (ShowMessages) ShowMessage(m_failure, vbCritical, Translate("error reading logger"));
}

// Reads the whole logger. When it holds samples, saves them as a logger file (stamped with the
// reading time, operator and cable as a reading stamps them) and checks the file by reading it
// back. False when any of that fails: the logger must then not be erased.
bool clsProgrammingSequence::saveSamplesBeforeErasing()
{
    qint32 rc = -1;
    m_image.ReadImageFromLogger(false, rc);
    if (rc != imgOk) {
        notRead();
        return false;
    }
    if (m_image.MissionSamples() <= 0) return true;

    const QString rom = m_image.LoggerRomText();
    if (m_image.SerialNo().trimmed().isEmpty() || m_image.SerialNo() != RomTextToSerialNo(rom))
        m_image.SetSerialNo(RomTextToSerialNo(rom));
    m_image.SetLastReading(NowLocal());
    m_image.SetUserName(App().CurrentUserName);
    if (!App().InterfaceRomCode.isEmpty()) m_image.SetInterfaceSerial(RomTextToSerialNo(App().InterfaceRomCode));

    const QString file = DataDirectory.isEmpty() ? QString()
                                                 : clsDS1921Data::LoggerFilePath(DataDirectory, m_image.SerialNo(), NowLocal());
    // Writes the image to the file and reads it back; the reason when that fails.
    auto save = [&](const QString& file) -> QString {
        if (file.isEmpty() || !QDir().mkpath(DataDirectory)) return Translate("no data directory");
        qint32 r = -1;
        m_image.WriteLoggerImageToFile(file, r);
        if (r != imgOk) return m_image.LastError();
        clsDS1921Data back;
        back.ReadLoggerImageFromFile(file, r);
        if (r != imgOk || back.RegisterPages() != m_image.RegisterPages() ||
            back.TemperaturePages() != m_image.TemperaturePages())
            return Translate("the saved file does not read back as the logger's data");
        return QString();
    };
    auto refuse = [&](const QString& why) {
        m_failure = Translate("the data on the logger could not be saved, the logger was not erased") + ": " + why;
        message(m_failure, vbCritical, "error saving logger data");
        return false;
    };

    QString why = save(file);
    if (!why.isEmpty()) return refuse(why);   // the logger is exactly as it was
    m_savedFile = file;
    m_savedSamples = m_image.SamplesStored();

    // A running mission could take another sample before the erasing: end it (the status write
    // clears only the mission bit; the alarm flags stay) and save again when a sample came in.
    if (m_image.IsMissionRunning()) {
        const qint32 saved = m_image.MissionSamples();
        const std::shared_ptr<clsDallasDevice> logger = m_image.objDeviceFound;
        clsDallasDevice& device = *logger;
        // What the stop did is read from the logger, whatever the write answered: from here on
        // a logger whose mission ended must never be called unchanged.
        (void)device.WriteRaw(kRegStatus, ByteBuffer{0xDF});
        const clsDallasDevice::Mission state = device.CheckedMissionState();
        if (state == clsDallasDevice::Mission::Unknown) {
            m_stopUnknown = true;
            return false;
        }
        if (state == clsDallasDevice::Mission::Running) {
            notRead();
            return false;
        }
        m_stopped = true;
        clsDS1921Data now;
        now.objBus = m_image.objBus;
        now.objDeviceFound = m_image.objDeviceFound;
        now.ReadImageFromLogger(true, rc);
        if (rc != imgOk || now.MissionSamples() != saved) {
            m_image.ReadImageFromLogger(false, rc);
            if (rc != imgOk) return false;
            m_image.SetSerialNo(RomTextToSerialNo(rom));
            m_image.SetLastReading(NowLocal());
            m_image.SetUserName(App().CurrentUserName);
            if (!App().InterfaceRomCode.isEmpty())
                m_image.SetInterfaceSerial(RomTextToSerialNo(App().InterfaceRomCode));
            const QString again = clsDS1921Data::LoggerFilePath(DataDirectory, m_image.SerialNo(), NowLocal().addSecs(1));
            if (!save(again).isEmpty()) return false;
            m_savedFile = again;
            m_savedSamples = m_image.SamplesStored();
        }
    }
    status(Translate("logger data saved to ") + QDir::toNativeSeparators(m_savedFile), 200);
    return true;
}

// The reader adapter's reason when it failed (pulled out, missing, held), as " (reason)".
QString clsProgrammingSequence::adapterCause() const
{
    const QString why = m_image.objBus ? TMLinkError(m_image.objBus->intPortNum) : QString();
    return why.isEmpty() ? QString() : QStringLiteral(" (") + why + QStringLiteral(")");
}

QString clsProgrammingSequence::savedText() const
{
    if (m_savedFile.isEmpty()) return QString();
    return Translate("; its samples are saved in ") + QDir::toNativeSeparators(m_savedFile);
}

ProgrammingOutcome clsProgrammingSequence::stoppedOutcome(const QString& why)
{
    m_failure = Translate("the logger's mission was stopped and the logger is NOT RECORDING: ") + why + savedText() +
                Translate(" - program it again");
    message(m_failure, vbCritical, "logger NOT RUNNING!!");
    return ProgrammingOutcome::Stopped;
}

ProgrammingOutcome clsProgrammingSequence::Run(const MissionPlan& plan)
{
    m_log.clear();
    m_savedFile.clear();
    m_savedSamples = 0;
    m_failure.clear();
    m_stopped = false;
    m_stopUnknown = false;
    m_startDelay = 0;
    const BusSequenceGuard busInUse;

    if (!m_image.objDeviceFound) m_image.DeviceFound(QStringLiteral("21"));
    if (!m_image.objDeviceFound) {
        m_failure = Translate("no logger connected") + adapterCause();
        message(m_failure, vbCritical, "error reading logger");
        return ProgrammingOutcome::NoLogger;
    }
    const QString rom = m_image.LoggerRomText();
    if (plan.SampleRate < 1 || plan.SampleRate > kMaxSampleRate || plan.DeviceID <= 0) {
        m_failure = Translate("value must be greater than zero !");
        message("value must be greater than zero !", vbCritical, "wrong value");
        return ProgrammingOutcome::Refused;
    }
    if (clsMissionSettings::RecordFor(m_image, plan).size() > kMaxNvramRecordBytes) {
        m_failure = Translate("the logger record is too long, please shorten the description");
        message("the logger record is too long, please shorten the description", vbCritical, "wrong value");
        return ProgrammingOutcome::Refused;
    }

    // 1. The operator confirms.
    if (AskFirst) {
        const int answer = ShowMessage(Translate("really erase existing data and restart logger?"),
                                       vbYesNo | vbQuestion | vbDefaultButton2, Translate("restart logger"));
        if (answer != vbYes) {
            m_failure = Translate("logger not programmed");
            message("logger not programmed", vbOKOnly, QString());
            return ProgrammingOutcome::NotConfirmed;
        }
    }

    // 2. Busy; the samples on the logger are kept in a logger file before anything is erased.
    std::optional<BusyCursor> busy(std::in_place);
    if (!saveSamplesBeforeErasing()) {
        status("logger not programmed", 0);
        busy.reset();
        if (m_stopped) return stoppedOutcome(Translate("its samples could not be saved again after stopping it"));
        if (m_stopUnknown) {
            m_failure = Translate("the logger could not be checked after its mission was being stopped and may not be recording") +
                        savedText() + Translate(" - put it back and program it again");
            message(m_failure, vbCritical, "error writing data");
            return ProgrammingOutcome::Unconfirmed;
        }
        return m_failure.startsWith(Translate("couldn't read logger data")) ? ProgrammingOutcome::NoLogger
                                                                          : ProgrammingOutcome::SaveFailed;
    }

    // The record as it will be written, now from the record just read from the logger.
    if (clsMissionSettings::RecordFor(m_image, plan).size() > kMaxNvramRecordBytes) {
        m_failure = Translate("the logger record is too long, please shorten the description");
        message("the logger record is too long, please shorten the description", vbCritical, "wrong value");
        status("logger not programmed", 0);
        busy.reset();
        return ProgrammingOutcome::Refused;
    }

    const std::shared_ptr<clsDallasDevice> logger = m_image.objDeviceFound;   // kept for the whole run
    clsDallasDevice& device = *logger;
    // Each step is repeated after a failed transfer; after a step that fails every time nothing
    // more is written, and the identity record only when every setting is in place.
    bool allWritten = true;
    // After a failed attempt the logger is asked whether its mission runs: the sample rate's
    // write has then landed, and no register may be written any more (a write would end it).
    auto step = [&](const std::function<int32_t()>& write, bool startsMission = false) {
        if (!allWritten) return;
        for (int attempt = 0; attempt < kStepAttempts; ++attempt) {
            if (write() == 0) return;
            const clsDallasDevice::Mission state = device.CheckedMissionState();
            if (startsMission && state == clsDallasDevice::Mission::Running) return;
            if (state != clsDallasDevice::Mission::Stopped) break;
        }
        allWritten = false;
    };

    // 3. Clock.
    if (plan.SetClock) {
        step([&] { return device.SetDateTime(LocalToUtc(NowLocal())); });
        status("setting date and time from system clock...", 200);
    } else {
        status("date and time not changed...", 0);
    }
    // 4. Clearing (ends a running mission first: the control register lies in the mission range).
    bool erased = false;
    step([&] {
        const int32_t r = device.ClearMemory();
        erased = erased || r == 0;
        return r;
    });
    status("old data cleared...", 100);
    // 5. Start delay from the start moment, at this moment.
    const int delay = clsMissionSettings::StartDelayFor(plan.StartLocal, NowLocal());
    m_startDelay = delay;
    step([&] { return device.SetStartDelay(delay); });
    status("start-delay set...", 100);
    // 6. Alarms (degrees Celsius).
    step([&] { return device.SetTemperatureAlarms(plan.LowAlarmC, plan.HighAlarmC); });
    status("alarms set...", 100);
    // 7. Rollover.
    step([&] { return device.SetRollOver(plan.RollOver); });
    status("rollover set...", 200);
    // 8. Sample rate: starts the mission, so it is the last register written.
    step([&] { return device.SetSampleRate(uint8_t(plan.SampleRate)); }, true);
    status("sample period set...", 200);
    // 9. Identity record, once every setting is in place. The general-purpose memory may be
    // written while the mission runs, so a failed write is simply made again.
    const QByteArray recordBefore = m_image.NVRAMBytes();
    StampMissionRecord(m_image, plan, rom);
    qint32 rc = -1;
    bool recordWritten = false;
    for (int attempt = 0; allWritten && !recordWritten && attempt < kStepAttempts; ++attempt) {
        m_image.WriteImageToLoggerNVRAM(rc);
        recordWritten = rc == imgOk;
    }
    status("position set...", 200);

    // 10. The logger must run and hold what was written.
    const clsDallasDevice::Mission state = device.CheckedMissionState();
    bool checked = false;
    bool ok = false;
    if (allWritten && recordWritten && state == clsDallasDevice::Mission::Running) {
        clsDS1921Data check;
        check.objBus = m_image.objBus;
        check.objDeviceFound = m_image.objDeviceFound;
        check.ReadImageFromLogger(true, rc);
        const QByteArray regs = check.RegisterPages();
        checked = rc == imgOk;
        ok = checked && check.IsMissionRunning() && check.SampleRate() == plan.SampleRate &&
             check.RollOver() == plan.RollOver && regs.size() > 0x0C &&
             uint8_t(regs.at(0x0B)) == device.SingleToTemperature(plan.LowAlarmC) &&
             uint8_t(regs.at(0x0C)) == device.SingleToTemperature(plan.HighAlarmC) &&
             check.DeviceID() == plan.DeviceID && check.NVRAMBytes() == m_image.NVRAMBytes();
        if (ok) m_image.SetRegisterPages(regs);
    }
    const QString stamp = Format(NowLocal(), QStringLiteral("c"));
    ProgrammingOutcome outcome;
    if (!ok) {
        // What the logger does now decides what is said.
        if (state == clsDallasDevice::Mission::Stopped && !erased && m_stopped) {
            busy.reset();
            return stoppedOutcome(Translate("it could not be programmed"));
        }
        if (state == clsDallasDevice::Mission::Stopped) {
            // Not recording: a record written for a mission that does not run is taken back.
            if (recordWritten) (void)device.WritePage(0, ByteBuffer(recordBefore.begin(), recordBefore.end()));
            m_failure = Translate("error writing data to logger, please reprogram !") + adapterCause() + savedText();
            message(m_failure, vbCritical, "error writing data");
            status("logger NOT RUNNING!!", 200);
            outcome = ProgrammingOutcome::NotRunning;
        } else {
            QString what;
            if (state == clsDallasDevice::Mission::Unknown)
                what = Translate("the logger could not be checked after programming and may not be recording");
            else if (allWritten && !recordWritten)
                what = Translate("the logger records with the new settings, but its identity record could not be written");
            else if (allWritten && !checked)
                what = Translate("the logger records, but could not be checked");
            else
                what = Translate("the logger records, but not with the settings given");
            m_failure = what + adapterCause() + savedText() + Translate(" - please reprogram !");
            message(m_failure, vbCritical, "error writing data");
            status(state == clsDallasDevice::Mission::Running ? "logger running, not checked" : "logger not checked", 200);
            outcome = ProgrammingOutcome::Unconfirmed;
        }
        StatusText += "\r\n" + stamp + Translate(" error starting logger, try again");
    } else {
        status("all parameters written.", 200);
        StatusText += "\r\n" + stamp + Translate(" logger started by ") + App().CurrentUserName;
        outcome = ProgrammingOutcome::Running;
        try {
            // The history row and the audit row together, or neither.
            clsDatabase::Transaction record(m_db);
            m_db.SaveHistory(StatusText, kHistoryProgrammed);
            AppendAudit(m_db, AuditAction::Programmed,
                        QStringLiteral("logger %1 (%2)").arg(m_image.SerialNo()).arg(m_image.DeviceID()),
                        QString(StatusText).replace(QStringLiteral("\r\n"), QStringLiteral("; ")).trimmed());
            record.commit();
        } catch (const DbError& e) {
            // The logger runs; only the record of the event is missing. Say so.
            m_failure = QString::number(e.number) + ":" + e.description;
            message(m_failure, vbCritical, "Error in SaveHistory");
        }
    }
    // 11.
    busy.reset();
    return outcome;
}
