#pragma once
// Choosing the serial port of the 1-Wire interface: the configuration store's DefaultPortNum,
// then the application's bus object is reset and asked for a session on the new port.
#include <QString>

class clsDallasBus;

inline constexpr int kInterfacePortCount = 15;   // TMEX port numbers 1..15

// List entry of a port: its number and the device it maps to, such as "1  (/dev/ttyS0)".
QString InterfacePortEntryText(int port);
// The port the bus object uses.
int CurrentInterfacePort();
// Result of SelectInterfacePort when the configuration store could not keep the port.
inline constexpr int kPortNotKept = -1000;
// Writes DefaultPortNum, resets the bus (the application's one unless given) and opens and
// releases a session. Returns the status text; *result gets the session's result (0 found), or
// kPortNotKept when the port could not be written (no session is then tried).
QString SelectInterfacePort(int port, int* result = nullptr, clsDallasBus* bus = nullptr);
