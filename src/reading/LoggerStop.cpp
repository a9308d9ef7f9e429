#include "reading/LoggerStop.h"

#include "app/modInternationalisation.h"
#include "db/AuditTrail.h"
#include "db/clsDatabase.h"
#include "image/clsDS1921Data.h"
#include "thermochron/clsDallasDevice.h"

StopResult StopConnectedLogger(clsDS1921Data& logger)
{
    StopResult r;
    if (logger.DeviceFound(QStringLiteral("21")).isEmpty() || !logger.objDeviceFound) {
        r.message = Translate(" logger not connected").trimmed();
        return r;
    }
    clsDallasDevice& device = *logger.objDeviceFound;
    r.rom = device.strROMText;
    const int rc = device.StopMission();
    const clsDallasDevice::Mission state = device.CheckedMissionState();
    if (state == clsDallasDevice::Mission::Stopped) {
        r.outcome = StopOutcome::Stopped;
        // The audit trail of the program's database; a program without one records nothing.
        if (AppDatabase().Handle())
            (void)RecordAudit(AppDatabase(), AuditAction::Stopped, QStringLiteral("logger ") + r.rom, QString());
    } else if (state == clsDallasDevice::Mission::Running) {
        r.outcome = StopOutcome::StillRunning;
        r.message = Translate("couldn't stop logger ") + r.rom + QStringLiteral(" (%1): ").arg(rc) +
                    Translate("it is still running");
    } else {
        r.outcome = StopOutcome::NotChecked;
        r.message = Translate("logger ") + r.rom +
                    Translate(" could not be checked (bad contact, or taken out): it may have stopped recording - put it back and stop it again");
    }
    return r;
}

int StopExitStatus(StopOutcome outcome)
{
    switch (outcome) {
    case StopOutcome::Stopped: return 0;
    case StopOutcome::NoLogger:
    case StopOutcome::StillRunning: return 1;
    case StopOutcome::NotChecked: return 5;
    }
    return 5;
}
