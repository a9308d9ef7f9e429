#include "settings/InterfacePort.h"

#include "app/modInternationalisation.h"
#include "app/modMain.h"
#include "app/modRegistry.h"
#include "image/clsDS1921Data.h"
#include "onewire/LibusbTransport.h"
#include "onewire/OneWireLink.h"
#include "onewire/Tmex.h"
#include "onewire/clsDallasBus.h"

#include "app/UserInterface.h"

#include <QDir>
#include <QFileInfo>

namespace {

std::optional<std::vector<UsbAdapterInfo>>& usbForTesting()
{
    static std::optional<std::vector<UsbAdapterInfo>> adapters;
    return adapters;
}

QString usbName(int number) { return QStringLiteral("USB%1").arg(number); }

// The "Driver" value as stored (lower case, blanks removed); empty when missing.
QString storedDriver()
{
    return ReadRegistry(QString::fromLatin1(kTmexKey), QStringLiteral("Driver"), QString()).toString().trimmed().toLower();
}

} // namespace

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

std::vector<UsbAdapterInfo> UsbAdaptersPresent(QString* error)
{
    if (error) error->clear();
    if (usbForTesting()) return *usbForTesting();
    return ListUsbAdapters(error);
}

void SetUsbAdaptersForTesting(std::optional<std::vector<UsbAdapterInfo>> adapters)
{
    usbForTesting() = std::move(adapters);
}

bool InterfaceIsVirtual()
{
    return ConfiguredDriver() == QLatin1String("virtual");
}

bool InterfaceIsUsb()
{
    return ConfiguredDriver() == QLatin1String("usb");
}

QString InterfacePortEntryText(int port)
{
    const QString where = InterfaceIsVirtual() ? Translate(QStringLiteral("virtual bus")) : PortDevicePath(port);
    return QStringLiteral("%1  (%2)").arg(port).arg(where);
}

QString UsbPortEntryText(int number, const UsbAdapterInfo& adapter)
{
    return usbName(number) + QStringLiteral(" (") + adapter.description() + QLatin1Char(')');
}

QString InterfaceBusText(int port)
{
    if (InterfaceIsVirtual())
        return Translate(QStringLiteral("virtual bus (simulated reader)"));
    if (InterfaceIsUsb()) {
        const std::vector<UsbAdapterInfo> attached = UsbAdaptersPresent();
        const QString what = port >= 1 && port <= int(attached.size()) ? attached[size_t(port - 1)].description()
                                                                       : Translate(QStringLiteral("not attached"));
        return Translate(QStringLiteral("USB adapter ")) + usbName(port) + QStringLiteral(" (") + what + QLatin1Char(')');
    }
    return Translate(QStringLiteral("serial port ")) + PortDevicePath(port) +
           Translate(QStringLiteral(" (DS2480B adapter)"));
}

int CurrentInterfacePort()
{
    return AppLogger().Bus().intPortNum;
}

QString InterfacePortEntry::name() const
{
    return isUsb() ? usbName(port) : QString::number(port);
}

bool ParseInterfacePortName(const QString& text, InterfacePortEntry* entry, QString* error)
{
    const QString t = text.trimmed();
    const bool usb = t.startsWith(QLatin1String("usb"), Qt::CaseInsensitive);
    const QString digits = usb ? t.mid(3) : t;
    bool ok = !digits.isEmpty();
    for (const QChar c : digits)
        ok = ok && c >= QLatin1Char('0') && c <= QLatin1Char('9');
    const int number = ok && digits.size() <= 3 ? digits.toInt() : 0;
    if (number < 1 || number > kInterfacePortCount) {
        if (error)
            *error = Translate(QStringLiteral("not a port: %1 (serial ports are 1 to %2, USB adapters USB1 to USB%2)"))
                         .arg(t)
                         .arg(kInterfacePortCount);
        return false;
    }
    InterfacePortEntry e;
    e.kind = usb ? InterfacePortEntry::Kind::Usb : InterfacePortEntry::Kind::Serial;
    e.port = number;
    e.text = usb ? usbName(number) : InterfacePortEntryText(number);
    if (entry) *entry = e;
    return true;
}

QString SelectInterfacePort(int port, int* result, clsDallasBus* bus)
{
    InterfacePortEntry entry;
    entry.port = port;
    return SelectInterfaceEntry(entry, result, bus);
}

QString SelectInterfaceEntry(const InterfacePortEntry& entry, int* result, clsDallasBus* bus)
{
    clsDallasBus& objBus = bus ? *bus : AppLogger().Bus();
    const QString key = QString::fromLatin1(kTmexKey);
    const QString number = QString::number(entry.port);
    const QString stored = storedDriver();
    // The adapter kind sits beside the port: "usb" for a USB adapter; back to "serial" only from
    // "usb", so that a store that names the virtual bus keeps it.
    QString newDriver;
    if (entry.isUsb() && stored != QLatin1String("usb"))
        newDriver = QStringLiteral("usb");
    else if (!entry.isUsb() && stored == QLatin1String("usb"))
        newDriver = QStringLiteral("serial");

    bool kept = CreateRegistryKey(key) && (newDriver.isEmpty() || WriteRegistryValue(key, QStringLiteral("Driver"), newDriver));
    QString error = kept ? QString() : RegistryError();
    if (kept && !WriteRegistryValue(key, QStringLiteral("DefaultPortNum"), number)) {
        kept = false;
        error = RegistryError();
        // The kind must not change without its port: the store names the old choice again.
        if (!newDriver.isEmpty())
            (void)WriteRegistryValue(key, QStringLiteral("Driver"), stored.isEmpty() ? QStringLiteral("serial") : stored);
    }
    if (!kept) {
        // The bus would go on with the port it had: no session is tried, so that no answer on
        // another port can pass for the chosen one.
        if (result)
            *result = kPortNotKept;
        return Translate(QStringLiteral("COM-Port %1 could not be kept: ")).arg(entry.name()) + error;
    }
    // A kind given on the command line (serial or usb) follows the choice for this run; the
    // virtual bus stays.
    const QString busOption = BusOverride();
    if (!busOption.isEmpty() && busOption != QLatin1String("virtual"))
        SetBusOverride(entry.isUsb() ? QStringLiteral("usb") : QStringLiteral("serial"));
    // The driver layer keeps one link per port number, open between sessions: the links go, and
    // the bus sets the port up afresh, so that only an adapter that answers now on the chosen
    // port counts as found (not a link of the other kind under the same number, nor an adapter
    // that was unplugged since its link was opened).
    if (objBus.SessionUsers() == 0)
        TmexShutdown();
    objBus.Reset();
    objBus.blnSetupDone = false;
    const BusSession session(objBus);
    const int32_t r = session.result();
    if (result)
        *result = r;
    if (r != 0) {
        CurrentUserInterface().Beep();
        QString text = Translate(QStringLiteral("No interface found on COM-Port:")) + entry.name() + QStringLiteral(" (") +
                       QString::number(r) + QStringLiteral(")");
        const QString cause = TMLinkError(objBus.intPortNum);
        if (!cause.isEmpty())
            text += QStringLiteral(": ") + cause;
        return text;
    }
    return Translate(QStringLiteral("Found adapter on COM-Port ")) + (entry.isUsb() ? QStringLiteral("USB") : QString()) +
           QString::number(objBus.intPortNum);
}

// ---------------------------------------------------------------------------------------------

clsInterfacePort::clsInterfacePort(clsDallasBus* bus) : bus_(bus)
{
    Refresh();
}

int clsInterfacePort::port() const
{
    return bus_ ? bus_->intPortNum : CurrentInterfacePort();
}

void clsInterfacePort::Refresh()
{
    entries_.clear();
    for (int p = 1; p <= kInterfacePortCount; ++p) {
        InterfacePortEntry e;
        e.port = p;
        e.text = InterfacePortEntryText(p);
        entries_.push_back(e);
    }
    usb_.clear();
    usbError_.clear();
    if (InterfaceIsVirtual())
        return;   // every entry leads to the simulated reader
    usb_ = UsbAdaptersPresent(&usbError_);
    const int attached = std::min(int(usb_.size()), kInterfacePortCount);
    for (int n = 1; n <= attached; ++n) {
        InterfacePortEntry e;
        e.kind = InterfacePortEntry::Kind::Usb;
        e.port = n;
        e.text = UsbPortEntryText(n, usb_[size_t(n - 1)]);
        entries_.push_back(e);
    }
    // The adapter chosen before stays in the list while it is away, so that the choice shows.
    const int chosen = port();
    if (InterfaceIsUsb() && chosen > attached && chosen <= kInterfacePortCount) {
        InterfacePortEntry e;
        e.kind = InterfacePortEntry::Kind::Usb;
        e.port = chosen;
        e.attached = false;
        e.text = usbName(chosen) + QStringLiteral(" (") + Translate(QStringLiteral("not attached")) + QLatin1Char(')');
        entries_.push_back(e);
    }
}

QStringList clsInterfacePort::EntryTexts() const
{
    QStringList out;
    for (const InterfacePortEntry& e : entries_) out << e.text;
    return out;
}

int clsInterfacePort::CurrentIndex() const
{
    const bool usb = InterfaceIsUsb();
    const int chosen = port();
    for (size_t i = 0; i < entries_.size(); ++i)
        if (entries_[i].isUsb() == usb && entries_[i].port == chosen)
            return int(i);
    return -1;
}

QString clsInterfacePort::Choose(int index, int* result)
{
    if (index < 0 || index >= int(entries_.size())) {
        if (result)
            *result = kPortNotKept;
        return Translate(QStringLiteral("no such entry in the port list; nothing was changed"));
    }
    const QString status = SelectInterfaceEntry(entries_[size_t(index)], result, bus_);
    Refresh();
    return status;
}

QString clsInterfacePort::BusText() const
{
    return InterfaceBusText(port());
}

QString clsInterfacePort::NoteText() const
{
    if (InterfaceIsVirtual())
        return Translate(QStringLiteral("the program runs on the virtual bus with simulated loggers; "
                                        "the port chosen here is kept for the serial adapter"));
    if (InterfaceIsUsb())
        return Translate(QStringLiteral("the DS2490 USB adapter chosen here is used; USB1 is the first one attached"));
    return Translate(QStringLiteral("the DS2480B adapter of the reader cable answers on this serial port"));
}

QString clsInterfacePort::SerialAdaptersText() const
{
    const QStringList found = SerialAdaptersPresent();
    return found.isEmpty() ? Translate(QStringLiteral("none found")) : found.join(QLatin1Char('\n'));
}

QString clsInterfacePort::UsbAdaptersText() const
{
    if (!usbError_.isEmpty())
        return usbError_;
    if (usb_.empty())
        return Translate(QStringLiteral("none found"));
    QStringList lines;
    for (size_t i = 0; i < usb_.size(); ++i)
        lines << UsbPortEntryText(int(i + 1), usb_[i]) + QStringLiteral("  ") + usb_[i].path;
    return lines.join(QLatin1Char('\n'));
}

QString clsInterfacePort::ChosenDeviceText() const
{
    const int p = port();
    if (InterfaceIsUsb() && !InterfaceIsVirtual()) {
        if (p >= 1 && p <= int(usb_.size()))
            return usb_[size_t(p - 1)].path + QStringLiteral("  (") + usbName(p) + QLatin1Char(')');
        return usbName(p) + QStringLiteral(" (") + Translate(QStringLiteral("not attached")) + QLatin1Char(')');
    }
    return PortDevicePath(p) + QStringLiteral("  (") + Translate(QStringLiteral("port ")) + QString::number(p) +
           QLatin1Char(')');
}
