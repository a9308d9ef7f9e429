#pragma once
// Choosing the serial port of the 1-Wire interface: the configuration store's DefaultPortNum,
// then the application's bus object is reset and asked for a session on the new port.
#include <QString>
#include <QStringList>

class clsDallasBus;

inline constexpr int kInterfacePortCount = 15;   // TMEX port numbers 1..15

// List entry of a port: its number and the device it maps to, such as "1  (/dev/ttyS0)"; on the
// virtual bus every port leads to the simulated reader: "1  (virtual bus)".
QString InterfacePortEntryText(int port);
// The bus the program talks to, in words: "virtual bus (simulated reader)" or
// "serial port /dev/ttyS0 (DS2480B adapter)" for the port given.
QString InterfaceBusText(int port);
// The serial adapters plugged into this computer (USB and ACM serial devices, with their names
// under /dev/serial/by-id where the system gives them), for matching a port to the cable.
QStringList SerialAdaptersPresent();
// True when the program runs on the virtual bus (--bus virtual or the configuration store).
bool InterfaceIsVirtual();
// The port the bus object uses.
int CurrentInterfacePort();
// Result of SelectInterfacePort when the configuration store could not keep the port.
inline constexpr int kPortNotKept = -1000;
// Writes DefaultPortNum, resets the bus (the application's one unless given) and opens and
// releases a session. Returns the status text; *result gets the session's result (0 found), or
// kPortNotKept when the port could not be written (no session is then tried).
QString SelectInterfacePort(int port, int* result = nullptr, clsDallasBus* bus = nullptr);
