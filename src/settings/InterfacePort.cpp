#include "settings/InterfacePort.h"

#include "app/modInternationalisation.h"
#include "app/modMain.h"
#include "app/modRegistry.h"
#include "image/clsDS1921Data.h"
#include "onewire/OneWireLink.h"
#include "onewire/clsDallasBus.h"

#include "app/UserInterface.h"

#include <QDir>
#include <QFileInfo>

QStringList SerialAdaptersPresent()
{
    QStringList out;
    const QDir dev(QStringLiteral("/dev"));
    const QDir byId(QStringLiteral("/dev/serial/by-id"));
    const QFileInfoList names = byId.entryInfoList(QDir::Files | QDir::System | QDir::NoDotAndDotDot);
    for (const QString& device : dev.entryList({QStringLiteral("ttyUSB*"), QStringLiteral("ttyACM*")}, QDir::System,
                                               QDir::Name)) {
        const QString path = dev.filePath(device);
        QString text = path;
        for (const QFileInfo& link : names)
            if (link.symLinkTarget() == path)
                text += QStringLiteral("  (") + link.fileName() + QLatin1Char(')');
        out << text;
    }
    return out;
}

bool InterfaceIsVirtual()
{
    return ConfiguredDriver() == QLatin1String("virtual");
}

QString InterfacePortEntryText(int port)
{
    const QString where = InterfaceIsVirtual() ? Translate(QStringLiteral("virtual bus")) : PortDevicePath(port);
    return QStringLiteral("%1  (%2)").arg(port).arg(where);
}

QString InterfaceBusText(int port)
{
    if (InterfaceIsVirtual())
        return Translate(QStringLiteral("virtual bus (simulated reader)"));
    return Translate(QStringLiteral("serial port ")) + PortDevicePath(port) +
           Translate(QStringLiteral(" (DS2480B adapter)"));
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
