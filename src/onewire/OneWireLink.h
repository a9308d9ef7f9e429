#pragma once
// The link to a 1-Wire bus: the few primitives the driver layer (Tmex.h) is built on.
// Back-ends: the virtual bus with simulated devices, the DS2480B serial line driver and the
// DS2490 USB bridge.
#include "onewire/OneWireProtocol.h"
#include <QString>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>

// State of a ROM search (the standard 1-Wire search algorithm).
struct OneWireSearchState {
    RomCode rom{};
    int lastDiscrepancy = 0;
    int lastFamilyDiscrepancy = 0;
    bool lastDevice = false;
    void restart() { *this = OneWireSearchState{}; }
    // The path of the next pass, bit n of the ROM for ROM bit n: the last ROM below the last
    // discrepancy, 1 at it and 0 above it (where devices disagree, the pass takes this bit).
    RomCode nextPath() const;
};

// Time-slot speed of the bus. A device is moved to overdrive by Overdrive Skip/Match ROM sent at
// standard speed and back by a reset at standard speed.
enum class OneWireSpeed { Standard, Overdrive };

class OneWireLink {
public:
    virtual ~OneWireLink() = default;

    // Prepares the adapter (port opened, adapter answered). False when it does not answer.
    [[nodiscard]] virtual bool open() = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;

    // Reset pulse; true when at least one device answered with a presence pulse.
    // False also when the link itself failed (then lastError() is set).
    virtual bool reset() = 0;
    // One time slot: writes bit (0/1), returns the bit read back, or -1 when the link failed.
    virtual int touchBit(int bit) = 0;
    // Eight time slots, least significant bit first; returns the byte read back or -1.
    virtual int touchByte(uint8_t byte) = 0;
    // Touches len bytes in place; returns the number of bytes transferred (less on failure).
    virtual int block(uint8_t* buffer, int len) = 0;
    // Touches one byte and keeps the strong pull-up on afterwards until the next call
    // (for devices that draw their conversion power from the bus).
    virtual int touchBytePower(uint8_t byte) { return touchByte(byte); }

    // Next device of a search (reset and Search ROM included); false when no further device.
    // Default: the bit-by-bit algorithm over touchBit; the DS2480B overrides it with its accelerator.
    virtual bool searchNext(OneWireSearchState& state, bool alarmOnly = false);

    // Speed of the following resets and time slots. False (speed unchanged) when the adapter
    // cannot give it or does not answer.
    [[nodiscard]] virtual bool setSpeed(OneWireSpeed speed) { return speed == OneWireSpeed::Standard; }
    virtual OneWireSpeed speed() const { return OneWireSpeed::Standard; }
    virtual bool supportsOverdrive() const { return false; }

    // Time slots used since construction (reset counts as one slot), for benchmarks.
    virtual uint64_t timeSlots() const { return 0; }

    virtual QString version() const = 0;   // adapter version text
    virtual QString lastError() const { return QString(); }

    // A driver session begins / ends on this link (TMExtendedStartSession / TMEndSession).
    // Back-ends that keep state outside the process (the virtual bus's state file) load it
    // in beginSession and save it in endSession. The link stays open between sessions.
    virtual void beginSession() {}
    virtual void endSession() {}
};

// Creates the link for TMEX port number portNum according to the configuration store
// (TMEX key: Driver "serial"/"usb"/"virtual", PortDevice<N>) and the --bus override. For "usb"
// the port number is the adapter's place among the DS2490s attached (1 = the first).
std::unique_ptr<OneWireLink> CreateLinkForPort(int portNum, int portType);
// --bus override: "virtual", "serial", "usb", or empty for the configuration store's choice.
void SetBusOverride(const QString& driver);
QString BusOverride();

// Factories of the two back-ends. The back-end registers itself here, so that this layer does
// not depend on its files. Note that a static registrar object inside the static library is
// only linked when something references its object file: call the setter from code that runs
// (the back-end's own entry points, the terminal verbs, the tests).
using VirtualLinkFactory = std::function<std::unique_ptr<OneWireLink>()>;
using SerialLinkFactory = std::function<std::unique_ptr<OneWireLink>(const QString& device)>;
using UsbLinkFactory = std::function<std::unique_ptr<OneWireLink>(int adapterNumber)>;
void SetVirtualLinkFactory(VirtualLinkFactory factory);
void SetSerialLinkFactory(SerialLinkFactory factory);
// The "usb" driver's links (default: a Ds2490Link on the adapter of that number through libusb).
void SetUsbLinkFactory(UsbLinkFactory factory);
// The virtual back-end's own factory, set by the simulator when its object file is linked; used
// when no factory was set with SetVirtualLinkFactory. Without either, no virtual link is made.
void SetDefaultVirtualLinkFactory(VirtualLinkFactory factory);

// For tests: every link is made by this factory (empty function restores the normal choice).
using AnyLinkFactory = std::function<std::unique_ptr<OneWireLink>(int portNum, int portType)>;
void SetLinkFactoryForTesting(AnyLinkFactory factory);

// The driver chosen for links: the --bus override, else the TMEX key's "Driver" value,
// else "serial". Always "serial", "usb" or "virtual".
QString ConfiguredDriver();
// Device path of port N: the TMEX key's "PortDevice<N>" value, else /dev/ttyS<N-1>.
QString PortDevicePath(int portNum);
