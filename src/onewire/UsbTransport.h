#pragma once
// The USB transfers the DS2490 link needs: vendor control requests, the two bulk endpoints and
// the status endpoint. LibusbTransport is the real adapter through libusb-1.0; the tests and the
// simulator put an emulated adapter behind the same interface (Ds2490Emulator).
//
// Every call has a deadline, so that an adapter pulled out in the middle of a reading gives a
// failure with a reason, never a hang.
#include <QString>
#include <cstdint>

// Why a USB transfer or the opening failed; the link turns it into a message with a remedy.
enum class UsbFailure {
    None,
    NoAdapter,     // no DS2490 attached (or not the one chosen)
    Permission,    // the device node may not be opened by this user
    Busy,          // another program holds the adapter
    Unplugged,     // the adapter went away
    Timeout,       // no answer in time
    Io,            // any other transfer error
};

class UsbTransport {
public:
    virtual ~UsbTransport() = default;

    // Finds and claims the adapter. False with failure() and lastError() set.
    [[nodiscard]] virtual bool open() = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    // The adapter in words: "DS2490 on bus 1 device 4".
    virtual QString name() const = 0;

    // A vendor control request without data stage (bmRequestType 0x40).
    [[nodiscard]] virtual bool control(uint8_t request, uint16_t value, uint16_t index, int timeoutMs) = 0;
    // Bulk OUT on endpoint 2; bytes written, -1 on failure.
    virtual int bulkWrite(const uint8_t* data, int len, int timeoutMs) = 0;
    // Bulk IN on endpoint 3: up to len bytes; bytes read (0 when none came in time), -1 on failure.
    virtual int bulkRead(uint8_t* data, int len, int timeoutMs) = 0;
    // One status packet from the interrupt endpoint 1 into data (up to maxLen); its length, or -1.
    virtual int readStatus(uint8_t* data, int maxLen, int timeoutMs) = 0;

    virtual UsbFailure failure() const = 0;
    virtual QString lastError() const = 0;
};

// A DS2490 found on the USB buses of this computer.
struct UsbAdapterInfo {
    int bus = 0;
    int device = 0;
    QString path;   // the device node, /dev/bus/usb/001/004
    // "DS2490 on bus 1 device 4"
    QString description() const { return QStringLiteral("DS2490 on bus %1 device %2").arg(bus).arg(device); }
};
