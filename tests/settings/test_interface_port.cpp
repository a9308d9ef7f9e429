// The rules of the interface tab: the port list with the DS2490 USB adapters attached, the choice
// written to the configuration store (DefaultPortNum and Driver, nothing else) and the session on
// the chosen adapter, which answers here from an emulated DS2490 or DS2480B in front of the
// virtual bus.
#include "app/UserInterface.h"
#include "app/modRegistry.h"
#include "onewire/Ds2480Link.h"
#include "onewire/Ds2490Link.h"
#include "onewire/OneWireLink.h"
#include "onewire/Tmex.h"
#include "onewire/VirtualBench.h"
#include "onewire/clsDallasBus.h"
#include "settings/InterfacePort.h"
#include "simulator/Ds2480Emulator.h"
#include "simulator/Ds2490Emulator.h"
#include "simulator/VirtualBus.h"

#include <QFile>
#include <QSet>

namespace {

class CountingBeeps : public UserInterface {
public:
    void Beep() override { ++beeps; }
    int beeps = 0;
};

UsbAdapterInfo Adapter(int bus, int device)
{
    UsbAdapterInfo a;
    a.bus = bus;
    a.device = device;
    a.path = QStringLiteral("/dev/bus/usb/%1/%2").arg(bus, 3, 10, QLatin1Char('0')).arg(device, 3, 10, QLatin1Char('0'));
    return a;
}

class InterfacePortTest : public bench::VirtualBench {
protected:
    void SetUp() override
    {
        VirtualBench::SetUp();
        savedRegistry = RegistryFile();
        SetRegistryFile(dir.filePath("registry.ini"));
        QString error;
        ASSERT_TRUE(world->addCable(nullptr, &error)) << error.toStdString();
        world->save();
        usb = std::make_unique<Ds2490Emulator>(*bus, 1, 4);
        serial = std::make_unique<Ds2480Emulator>(*bus);
        SetUsbAdaptersForTesting(std::vector<UsbAdapterInfo>{usb->info()});
        SetUsbLinkFactory([this](int number) -> std::unique_ptr<OneWireLink> {
            usbLinks << number;
            return std::make_unique<Ds2490Link>(usb->transport());
        });
        // Serial port 3 has the reader cable's DS2480B; nothing answers on the others.
        SetSerialLinkFactory([this](const QString& device) -> std::unique_ptr<OneWireLink> {
            serialLinks << device;
            if (device == QLatin1String("/dev/ttyS2")) return std::make_unique<Ds2480Link>(serial->memoryPort());
            return std::make_unique<Ds2480Link>(dir.filePath("no-serial-port-here"));
        });
        SetVirtualLinkFactory([this] { return std::make_unique<VirtualBus>(world); });
        SetBusOverride(QString());
        SetUserInterface(&ui);
        ASSERT_TRUE(CreateRegistryKey(kPathsKey));
        ASSERT_TRUE(WriteRegistryValue(kPathsKey, "Application", "/opt/nordalis"));
        ASSERT_TRUE(CreateRegistryKey(kTmexKey));
    }
    void TearDown() override
    {
        TmexShutdown();
        SetUserInterface(nullptr);
        SetBusOverride(QString());
        SetUsbLinkFactory({});
        SetSerialLinkFactory({});
        RegisterVirtualLink();   // the program's own, as the test programs install it
        SetUsbAdaptersForTesting(std::nullopt);
        SetRegistryFile(savedRegistry);
        usb.reset();
        serial.reset();
        VirtualBench::TearDown();
    }

    QString stored(const char* name) { return ReadRegistry(kTmexKey, name, "(none)").toString(); }
    QSet<QString> storeLines()
    {
        QFile f(dir.filePath("registry.ini"));
        EXPECT_TRUE(f.open(QIODevice::ReadOnly));
        QSet<QString> lines;
        for (const QString& l : QString::fromUtf8(f.readAll()).split('\n'))
            if (!l.trimmed().isEmpty()) lines << l;
        return lines;
    }
    // The lines of the store that came and went since before, by value name.
    static QStringList names(const QSet<QString>& lines)
    {
        QStringList out;
        for (const QString& l : lines) out << l.section('=', 0, 0);
        out.sort();
        return out;
    }

    QString savedRegistry;
    std::unique_ptr<Ds2490Emulator> usb;
    std::unique_ptr<Ds2480Emulator> serial;
    QList<int> usbLinks;
    QStringList serialLinks;
    CountingBeeps ui;
};

int IndexOf(const clsInterfacePort& ports, const QString& text)
{
    return int(ports.EntryTexts().indexOf(text));
}

} // namespace

TEST_F(InterfacePortTest, TheListHasTheSerialPortsThenEveryDs2490AndShowsTheCurrentChoice)
{
    SetUsbAdaptersForTesting(std::vector<UsbAdapterInfo>{Adapter(1, 4), Adapter(2, 7)});
    WriteRegistryValue(kTmexKey, "DefaultPortNum", "7");
    clsDallasBus dallas;
    clsInterfacePort ports(&dallas);
    const QStringList texts = ports.EntryTexts();
    ASSERT_EQ(texts.size(), kInterfacePortCount + 2);
    EXPECT_EQ(texts[0], "1  (/dev/ttyS0)");
    EXPECT_EQ(texts[14], "15  (/dev/ttyS14)");
    EXPECT_EQ(texts[15], "USB1 (DS2490 on bus 1 device 4)");
    EXPECT_EQ(texts[16], "USB2 (DS2490 on bus 2 device 7)");
    EXPECT_TRUE(ports.Entries()[16].isUsb());
    EXPECT_EQ(ports.Entries()[16].port, 2);
    EXPECT_EQ(ports.CurrentIndex(), 6);   // serial port 7
    EXPECT_EQ(ports.BusText(), "serial port /dev/ttyS6 (DS2480B adapter)");
    EXPECT_EQ(ports.UsbAdaptersText(),
              "USB1 (DS2490 on bus 1 device 4)  /dev/bus/usb/001/004\nUSB2 (DS2490 on bus 2 device 7)  /dev/bus/usb/002/007");

    // The second USB adapter chosen: its entry is the current one, on the USB driver.
    WriteRegistryValue(kTmexKey, "DefaultPortNum", "2");
    WriteRegistryValue(kTmexKey, "Driver", "usb");
    dallas.Reset();
    ports.Refresh();
    EXPECT_EQ(ports.CurrentIndex(), 16);
    EXPECT_EQ(ports.BusText(), "USB adapter USB2 (DS2490 on bus 2 device 7)");
    EXPECT_EQ(ports.ChosenDeviceText(), "/dev/bus/usb/002/007  (USB2)");

    // Unplugged, it stays in the list as the choice, marked as away.
    SetUsbAdaptersForTesting(std::vector<UsbAdapterInfo>{Adapter(1, 4)});
    ports.Refresh();
    ASSERT_EQ(ports.EntryTexts().size(), kInterfacePortCount + 2);
    EXPECT_EQ(ports.EntryTexts().last(), "USB2 (not attached)");
    EXPECT_FALSE(ports.Entries().back().attached);
    EXPECT_EQ(ports.CurrentIndex(), 16);
    EXPECT_EQ(ports.BusText(), "USB adapter USB2 (not attached)");

    // None attached, and the choice is a serial port again: no USB entry at all.
    SetUsbAdaptersForTesting(std::vector<UsbAdapterInfo>{});
    WriteRegistryValue(kTmexKey, "Driver", "serial");
    ports.Refresh();
    EXPECT_EQ(ports.EntryTexts().size(), kInterfacePortCount);
    EXPECT_EQ(ports.UsbAdaptersText(), "none found");
    EXPECT_EQ(ports.CurrentIndex(), 1);
}

TEST_F(InterfacePortTest, OnTheVirtualBusTheListIsThePortsOfTheSimulatedReader)
{
    SetBusOverride("virtual");
    clsDallasBus dallas;
    clsInterfacePort ports(&dallas);
    ASSERT_EQ(ports.EntryTexts().size(), kInterfacePortCount);   // no USB entries although one is attached
    EXPECT_EQ(ports.EntryTexts()[0], "1  (virtual bus)");
    EXPECT_EQ(ports.CurrentIndex(), 0);
    EXPECT_EQ(ports.BusText(), "virtual bus (simulated reader)");
    EXPECT_EQ(ports.Choose(4), "Found adapter on COM-Port 5");
    EXPECT_EQ(stored("DefaultPortNum"), "5");
    EXPECT_EQ(stored("Driver"), "(none)");
    EXPECT_EQ(BusOverride(), "virtual");
    EXPECT_TRUE(usbLinks.isEmpty());
    EXPECT_TRUE(serialLinks.isEmpty());

    // The USB adapter named from the terminal is kept for later runs; this run stays virtual.
    InterfacePortEntry usb1;
    ASSERT_TRUE(ParseInterfacePortName("USB1", &usb1, nullptr));
    int result = -1;
    EXPECT_EQ(SelectInterfaceEntry(usb1, &result, &dallas), "Found adapter on COM-Port USB1");
    EXPECT_EQ(stored("Driver"), "usb");
    EXPECT_EQ(BusOverride(), "virtual");
    EXPECT_TRUE(usbLinks.isEmpty());
}

TEST_F(InterfacePortTest, ChoosingTheUsbAdapterWritesItsNumberAndUsbAndTalksToIt)
{
    WriteRegistryValue(kTmexKey, "DefaultPortNum", "3");
    clsDallasBus dallas;
    clsInterfacePort ports(&dallas);
    const QSet<QString> before = storeLines();
    const int usb1 = IndexOf(ports, "USB1 (DS2490 on bus 1 device 4)");
    ASSERT_EQ(usb1, kInterfacePortCount);
    int result = -1;
    EXPECT_EQ(ports.Choose(usb1, &result), "Found adapter on COM-Port USB1");
    EXPECT_EQ(result, 0);
    EXPECT_EQ(ui.beeps, 0);
    EXPECT_EQ(stored("DefaultPortNum"), "1");
    EXPECT_EQ(stored("Driver"), "usb");
    const QSet<QString> after = storeLines();
    EXPECT_EQ(names(after - before), (QStringList{"\"DefaultPortNum\"", "\"Driver\""}));
    EXPECT_EQ(names(before - after), (QStringList{"\"DefaultPortNum\""}));
    // The session went to the DS2490 (adapter 1) and was released.
    EXPECT_EQ(usbLinks, (QList<int>{1}));
    EXPECT_TRUE(serialLinks.isEmpty());
    EXPECT_FALSE(usb->requests().empty());
    EXPECT_EQ(dallas.SessionUsers(), 0);
    EXPECT_EQ(ports.CurrentIndex(), usb1);
    EXPECT_EQ(ports.BusText(), "USB adapter USB1 (DS2490 on bus 1 device 4)");
    // The bus now searches through the USB adapter: the reader cable's chip is found there.
    usb->clearLog();
    ASSERT_EQ(dallas.DoInventory(), 0);
    ASSERT_EQ(dallas.colDevices.count(), 1);
    EXPECT_TRUE(dallas.colDevices.item(world->devices().front()->romText()));
    EXPECT_FALSE(usb->requests().empty());
}

TEST_F(InterfacePortTest, ASerialEntryAfterTheUsbAdapterTalksToTheSerialPortNotTheUsbLinkBefore)
{
    clsDallasBus dallas;
    clsInterfacePort ports(&dallas);
    ASSERT_EQ(ports.Choose(kInterfacePortCount), "Found adapter on COM-Port USB1");   // port 1, the DS2490
    // Serial port 1 has no adapter: the DS2490 that answered on number 1 must not pass for it.
    int result = 0;
    const QString none = ports.Choose(0, &result);
    EXPECT_NE(result, 0);
    EXPECT_TRUE(none.startsWith("No interface found on COM-Port:1 (" + QString::number(result) + "): "))
        << none.toStdString();
    EXPECT_TRUE(none.contains("no-serial-port-here")) << none.toStdString();
    EXPECT_EQ(ui.beeps, 1);
    EXPECT_EQ(serialLinks, QStringList{"/dev/ttyS0"});
    EXPECT_EQ(stored("Driver"), "serial");
    EXPECT_EQ(stored("DefaultPortNum"), "1");
    EXPECT_EQ(ports.CurrentIndex(), 0);
    // Serial port 3 has the reader cable.
    EXPECT_EQ(ports.Choose(2, &result), "Found adapter on COM-Port 3");
    EXPECT_EQ(result, 0);
    EXPECT_EQ(stored("Driver"), "serial");
    EXPECT_EQ(stored("DefaultPortNum"), "3");
    // And back to USB: the DS2490 again, through a new link.
    EXPECT_EQ(ports.Choose(kInterfacePortCount, &result), "Found adapter on COM-Port USB1");
    EXPECT_EQ(usbLinks, (QList<int>{1, 1}));
    EXPECT_EQ(dallas.SessionUsers(), 0);
}

TEST_F(InterfacePortTest, AFailedSessionNamesCauseAndRemedyAndWritesOnlyTheChoice)
{
    struct Fault {
        std::function<void(Ds2490Emulator&)> apply;
        QString cause;
    };
    const std::vector<Fault> faults{
        {[](Ds2490Emulator& e) { e.setAttached(false); },
         "no USB 1-Wire adapter (DS2490) is attached: plug the USB reader in, or choose another port in the settings "
         "(interface tab)"},
        {[](Ds2490Emulator& e) { e.setHeldByOtherProgram(true); },
         "DS2490 on bus 1 device 4 is in use by another program: close the other program that uses the 1-Wire "
         "adapter and try again"},
        {[](Ds2490Emulator& e) { e.setNoPermission(true); },
         "DS2490 on bus 1 device 4 (/dev/bus/usb/001/004): permission denied: this user may not use the adapter; "
         "install the udev rule 60-nordalis-ds2490.rules"},
        {[](Ds2490Emulator& e) { e.unplugAfterTransfers(2); }, "was unplugged: plug it in again"},
    };
    int beeps = 0;
    for (const Fault& fault : faults) {
        SCOPED_TRACE(fault.cause.toStdString());
        TmexShutdown();
        usb = std::make_unique<Ds2490Emulator>(*bus, 1, 4);
        fault.apply(*usb);
        WriteRegistryValue(kTmexKey, "DefaultPortNum", "4");
        WriteRegistryValue(kTmexKey, "Driver", "serial");
        const QSet<QString> before = storeLines();
        const QByteArray worldBefore = [&] {
            QFile f(stateFile());
            return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        }();
        clsDallasBus dallas;
        clsInterfacePort ports(&dallas);
        int result = 0;
        const QString status = ports.Choose(kInterfacePortCount, &result);
        EXPECT_NE(result, 0);
        EXPECT_TRUE(status.startsWith("No interface found on COM-Port:USB1 (" + QString::number(result) + "): "))
            << status.toStdString();
        EXPECT_TRUE(status.contains(fault.cause)) << status.toStdString();
        EXPECT_EQ(ui.beeps, ++beeps);
        // The choice is kept, as for a serial port where nothing answers; nothing else changed.
        EXPECT_EQ(stored("DefaultPortNum"), "1");
        EXPECT_EQ(stored("Driver"), "usb");
        const QSet<QString> after = storeLines();
        EXPECT_EQ(names(after - before), (QStringList{"\"DefaultPortNum\"", "\"Driver\""}));
        EXPECT_EQ(names(before - after), (QStringList{"\"DefaultPortNum\"", "\"Driver\""}));
        QFile f(stateFile());
        EXPECT_EQ(f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray(), worldBefore);
        EXPECT_EQ(dallas.SessionUsers(), 0);
        EXPECT_FALSE(usb->claimed());
        EXPECT_EQ(ports.CurrentIndex(), kInterfacePortCount);
    }
}

TEST_F(InterfacePortTest, AStoreThatCannotKeepTheChoiceIsReportedAndNoSessionIsTried)
{
    clsDallasBus dallas;
    clsInterfacePort ports(&dallas);
    SetRegistryFile(dir.filePath("missing/folder/registry.ini"));
    int result = 0;
    const QString status = ports.Choose(kInterfacePortCount, &result);
    EXPECT_EQ(result, kPortNotKept);
    EXPECT_TRUE(status.startsWith("COM-Port USB1 could not be kept: ")) << status.toStdString();
    EXPECT_TRUE(usbLinks.isEmpty());
    EXPECT_TRUE(usb->requests().empty());
    EXPECT_FALSE(QFile::exists(dir.filePath("missing/folder/registry.ini")));
    // An index the list does not have changes nothing.
    SetRegistryFile(dir.filePath("registry.ini"));
    const QSet<QString> before = storeLines();
    EXPECT_EQ(ports.Choose(99, &result), "no such entry in the port list; nothing was changed");
    EXPECT_EQ(result, kPortNotKept);
    EXPECT_EQ(storeLines(), before);
}

TEST_F(InterfacePortTest, ASerialChoiceLeavesAStoredVirtualBusAndAKindGivenForTheRunFollowsTheChoice)
{
    WriteRegistryValue(kTmexKey, "Driver", "virtual");
    clsDallasBus dallas;
    clsInterfacePort ports(&dallas);
    EXPECT_EQ(SelectInterfacePort(6, nullptr, &dallas), "Found adapter on COM-Port 6");
    EXPECT_EQ(stored("Driver"), "virtual");
    EXPECT_EQ(stored("DefaultPortNum"), "6");

    // --bus serial, then the USB adapter chosen: this run talks to the DS2490.
    WriteRegistryValue(kTmexKey, "Driver", "serial");
    SetBusOverride("serial");
    ports.Refresh();
    int result = -1;
    EXPECT_EQ(ports.Choose(kInterfacePortCount, &result), "Found adapter on COM-Port USB1");
    EXPECT_EQ(BusOverride(), "usb");
    EXPECT_EQ(stored("Driver"), "usb");
    EXPECT_EQ(usbLinks, (QList<int>{1}));
}

TEST(InterfacePortName, SerialPortsAndUsbAdaptersAreNamedAsTheListShowsThem)
{
    InterfacePortEntry e;
    ASSERT_TRUE(ParseInterfacePortName("USB1", &e, nullptr));
    EXPECT_TRUE(e.isUsb());
    EXPECT_EQ(e.port, 1);
    EXPECT_EQ(e.name(), "USB1");
    ASSERT_TRUE(ParseInterfacePortName(" usb15 ", &e, nullptr));
    EXPECT_EQ(e.port, 15);
    ASSERT_TRUE(ParseInterfacePortName("7", &e, nullptr));
    EXPECT_FALSE(e.isUsb());
    EXPECT_EQ(e.port, 7);
    EXPECT_EQ(e.name(), "7");
    for (const char* bad : {"USB0", "USB16", "0", "16", "USB", "usb 1", "COM1", "1.5", "-1", "+2", "", "USB1x", "0x1"}) {
        QString error;
        e.port = 42;
        EXPECT_FALSE(ParseInterfacePortName(bad, &e, &error)) << bad;
        EXPECT_EQ(e.port, 42) << bad;
        EXPECT_TRUE(error.startsWith("not a port: ")) << bad;
    }
    UsbAdapterInfo a;
    a.bus = 3;
    a.device = 12;
    EXPECT_EQ(UsbPortEntryText(2, a), "USB2 (DS2490 on bus 3 device 12)");
}
