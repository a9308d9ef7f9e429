#include "settings/InterfacePort.h"

#include "app/modInternationalisation.h"
#include "app/modMain.h"
#include "app/modRegistry.h"
#include "image/clsDS1921Data.h"
#include "onewire/OneWireLink.h"
#include "onewire/clsDallasBus.h"

#include "app/UserInterface.h"

QString InterfacePortEntryText(int port)
{
    return QStringLiteral("%1  (%2)").arg(port).arg(PortDevicePath(port));
}

int CurrentInterfacePort()
{
    return AppLogger().Bus().intPortNum;
}

QString SelectInterfacePort(int port, int* result, clsDallasBus* bus)
{
    clsDallasBus& objBus = bus ? *bus : AppLogger().Bus();
    const QString entry = QString::number(port);
    if (!CreateRegistryKey(QString::fromLatin1(kTmexKey)) ||
        !WriteRegistryValue(QString::fromLatin1(kTmexKey), QStringLiteral("DefaultPortNum"), entry)) {
        // The bus would go on with the port it had: no session is tried, so that no answer on
        // another port can pass for the chosen one.
        if (result)
            *result = kPortNotKept;
        return Translate(QStringLiteral("COM-Port %1 could not be kept: ")).arg(entry) + RegistryError();
    }
    objBus.Reset();
    const BusSession session(objBus);
    const int32_t r = session.result();
    if (result)
        *result = r;
    if (r != 0) {
        CurrentUserInterface().Beep();
        return Translate(QStringLiteral("No interface found on COM-Port:")) + entry + QStringLiteral(" (") +
               QString::number(r) + QStringLiteral(")");
    }
    return Translate(QStringLiteral("Found adapter on COM-Port ")) + QString::number(objBus.intPortNum);
}
