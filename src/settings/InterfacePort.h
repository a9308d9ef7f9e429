#pragma once
// Choosing the 1-Wire interface: a serial port with a DS2480B adapter (TMEX port number 1..15) or
// a DS2490 USB adapter (its place among the DS2490s attached, 1 = the first). The choice goes to
// the configuration store (DefaultPortNum, and Driver "serial"/"usb" beside it), then the
// application's bus object is reset and asked for a session on the new interface.
#include "onewire/UsbTransport.h"

#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

class clsDallasBus;

inline constexpr int kInterfacePortCount = 15;   // TMEX port numbers 1..15

// List entry of a port: its number and the device it maps to, such as "1  (/dev/ttyS0)"; on the
// virtual bus every port leads to the simulated reader: "1  (virtual bus)".
QString InterfacePortEntryText(int port);
// The bus the program talks to, in words: "virtual bus (simulated reader)",
// "serial port /dev/ttyS0 (DS2480B adapter)" or "USB adapter USB1 (DS2490 on bus 1 device 4)"
// for the port given.
QString InterfaceBusText(int port);
// The serial adapters plugged into this computer (USB and ACM serial devices, with their names
// under /dev/serial/by-id where the system gives them), for matching a port to the cable.
QStringList SerialAdaptersPresent();
// The DS2490 USB adapters attached, in the order of their numbers (ListUsbAdapters). *error is
// set when USB could not be asked at all.
std::vector<UsbAdapterInfo> UsbAdaptersPresent(QString* error = nullptr);
// For tests: UsbAdaptersPresent reports these adapters (std::nullopt: the attached ones again).
void SetUsbAdaptersForTesting(std::optional<std::vector<UsbAdapterInfo>> adapters);
// True when the program runs on the virtual bus (--bus virtual or the configuration store).
bool InterfaceIsVirtual();
// True when the program talks to a DS2490 USB adapter (--bus usb or the configuration store).
bool InterfaceIsUsb();
// The port the bus object uses.
int CurrentInterfacePort();

// One entry of the port list.
struct InterfacePortEntry {
    enum class Kind { Serial, Usb };
    Kind kind = Kind::Serial;
    int port = 1;          // serial: TMEX port number; USB: the adapter's number (1 = the first)
    QString text;          // as the list shows it: "7  (/dev/ttyS6)", "USB1 (DS2490 on bus 1 device 4)"
    bool attached = true;  // false: a USB adapter chosen before that is not attached now

    // How the status line names it: "7" or "USB1".
    QString name() const;
    bool isUsb() const { return kind == Kind::Usb; }
};

// "USB1 (DS2490 on bus 1 device 4)"
QString UsbPortEntryText(int number, const UsbAdapterInfo& adapter);
// "7" or "USB1" (letters in any case, blanks around ignored) as an entry; false with *error
// (translated) for anything else, a serial port outside 1..15 or a USB number below 1.
bool ParseInterfacePortName(const QString& text, InterfacePortEntry* entry, QString* error);

// Result of a choice when the configuration store could not keep it.
inline constexpr int kPortNotKept = -1000;
// Writes DefaultPortNum (and Driver "serial" when it was "usb"), resets the bus (the
// application's one unless given) and opens and releases a session. Returns the status text;
// *result gets the session's result (0 found), or kPortNotKept when the port could not be
// written (no session is then tried).
QString SelectInterfacePort(int port, int* result = nullptr, clsDallasBus* bus = nullptr);
// The same for a list entry, serial or USB: a USB adapter is written as DefaultPortNum = its
// number and Driver = "usb". A failed session names the cause and the remedy after the result.
QString SelectInterfaceEntry(const InterfacePortEntry& entry, int* result = nullptr, clsDallasBus* bus = nullptr);

// The rules of the settings window's interface tab: the entries of the port list (the serial
// ports, then one per DS2490 attached; on the virtual bus the serial ports only), the entry of
// the current choice, choosing an entry, and the texts beside the list.
class clsInterfacePort {
public:
    // bus: the bus object the choice resets and tries (the application's one when null).
    explicit clsInterfacePort(clsDallasBus* bus = nullptr);

    // Reads the entries afresh (adapters plugged in or out, the bus changed).
    void Refresh();
    const std::vector<InterfacePortEntry>& Entries() const { return entries_; }
    QStringList EntryTexts() const;
    // The entry of the current choice (the bus object's port on the driver in use); -1 when none.
    int CurrentIndex() const;
    // Chooses entry index (see SelectInterfaceEntry); the list is read again afterwards.
    // An index outside the list changes nothing and says so.
    QString Choose(int index, int* result = nullptr);

    QString BusText() const;          // the bus in use
    QString NoteText() const;         // what the choice means on this bus
    QString SerialAdaptersText() const;
    QString UsbAdaptersText() const;  // the DS2490s attached, or why none can be named
    QString UsbProblem() const { return usbError_; }   // why USB could not be asked (empty: it could)
    QString ChosenDeviceText() const; // the device of the current choice

private:
    int port() const;

    clsDallasBus* bus_;
    std::vector<InterfacePortEntry> entries_;
    std::vector<UsbAdapterInfo> usb_;
    QString usbError_;
};
