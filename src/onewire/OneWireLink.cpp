// Link choice and the bit-by-bit ROM search shared by the back-ends.
#include "onewire/OneWireLink.h"
#include "app/modRegistry.h"
#include "onewire/Ds2480Link.h"
#include "onewire/Ds2490Link.h"

namespace {
QString& overrideDriver()
{
    static QString value;
    return value;
}
VirtualLinkFactory& virtualFactory()
{
    static VirtualLinkFactory f;
    return f;
}
VirtualLinkFactory& defaultVirtualFactory()
{
    static VirtualLinkFactory f;
    return f;
}
SerialLinkFactory& serialFactory()
{
    static SerialLinkFactory f;
    return f;
}
UsbLinkFactory& usbFactory()
{
    static UsbLinkFactory f;
    return f;
}
AnyLinkFactory& testFactory()
{
    static AnyLinkFactory f;
    return f;
}
} // namespace

RomCode OneWireSearchState::nextPath() const
{
    RomCode path{};
    for (int n = 0; n < 64; ++n) {
        const int bitNumber = n + 1;
        int r = 0;
        if (bitNumber < lastDiscrepancy) r = (rom[size_t(n / 8)] >> (n % 8)) & 1;
        else if (bitNumber == lastDiscrepancy) r = 1;
        if (r) path[size_t(n / 8)] |= uint8_t(1 << (n % 8));
    }
    return path;
}

bool OneWireLink::searchNext(OneWireSearchState& state, bool alarmOnly)
{
    if (state.lastDevice) {
        state.restart();
        return false;
    }
    if (!reset()) {
        state.restart();
        return false;
    }
    if (touchByte(alarmOnly ? onewire::kAlarmSearch : onewire::kSearchRom) < 0) {
        state.restart();
        return false;
    }
    RomCode rom = state.rom;
    int lastZero = 0;
    int lastFamilyZero = state.lastFamilyDiscrepancy;
    for (int bitNo = 1; bitNo <= 64; ++bitNo) {
        const int byteIx = (bitNo - 1) / 8;
        const uint8_t mask = uint8_t(1u << ((bitNo - 1) % 8));
        const int idBit = touchBit(1);
        const int cmpBit = touchBit(1);
        if (idBit < 0 || cmpBit < 0 || (idBit == 1 && cmpBit == 1)) {
            state.restart();   // link failed or no device answered this position
            return false;
        }
        int direction;
        if (idBit != cmpBit) {
            direction = idBit;   // every remaining device has this bit
        } else if (bitNo < state.lastDiscrepancy) {
            direction = (rom[byteIx] & mask) ? 1 : 0;
        } else {
            direction = (bitNo == state.lastDiscrepancy) ? 1 : 0;
        }
        if (idBit == 0 && cmpBit == 0 && direction == 0) {
            lastZero = bitNo;
            if (bitNo < 9) lastFamilyZero = bitNo;
        }
        if (direction) rom[byteIx] |= mask; else rom[byteIx] &= uint8_t(~mask);
        if (touchBit(direction) < 0) {
            state.restart();
            return false;
        }
    }
    state.rom = rom;
    state.lastDiscrepancy = lastZero;
    state.lastFamilyDiscrepancy = lastFamilyZero;
    state.lastDevice = (lastZero == 0);
    return true;
}

void SetBusOverride(const QString& driver) { overrideDriver() = driver.trimmed().toLower(); }
QString BusOverride() { return overrideDriver(); }

void SetVirtualLinkFactory(VirtualLinkFactory factory) { virtualFactory() = std::move(factory); }
void SetSerialLinkFactory(SerialLinkFactory factory) { serialFactory() = std::move(factory); }
void SetUsbLinkFactory(UsbLinkFactory factory) { usbFactory() = std::move(factory); }
void SetDefaultVirtualLinkFactory(VirtualLinkFactory factory) { defaultVirtualFactory() = std::move(factory); }
void SetLinkFactoryForTesting(AnyLinkFactory factory) { testFactory() = std::move(factory); }

QString ConfiguredDriver()
{
    QString driver = overrideDriver();
    if (driver.isEmpty())
        driver = ReadRegistry(kTmexKey, "Driver", QString()).toString().trimmed().toLower();
    if (driver == "virtual" || driver == "usb") return driver;
    return QStringLiteral("serial");
}

QString PortDevicePath(int portNum)
{
    const QString fromStore =
        ReadRegistry(kTmexKey, QStringLiteral("PortDevice%1").arg(portNum), QString()).toString().trimmed();
    if (!fromStore.isEmpty()) return fromStore;
    return QStringLiteral("/dev/ttyS%1").arg(portNum - 1);
}

std::unique_ptr<OneWireLink> CreateLinkForPort(int portNum, int portType)
{
    if (testFactory()) return testFactory()(portNum, portType);
    if (ConfiguredDriver() == "virtual") {
        if (virtualFactory()) return virtualFactory()();
        return defaultVirtualFactory() ? defaultVirtualFactory()() : nullptr;
    }
    if (ConfiguredDriver() == "usb") {
        if (usbFactory()) return usbFactory()(portNum);
        return std::make_unique<Ds2490Link>(portNum);
    }
    if (serialFactory()) return serialFactory()(PortDevicePath(portNum));
    auto link = std::make_unique<Ds2480Link>(PortDevicePath(portNum));
    link->setPreferredBaudRate(ConfiguredBaudRate());
    return link;
}
