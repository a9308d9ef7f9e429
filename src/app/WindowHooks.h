#pragma once
// Links between working windows of different subsystems. The reading window offers to program
// the connected logger; programming opens the reading dialog afterwards so that the freshly
// started logger is read and recorded at once. Each subsystem installs the function it provides
// at start-up; until then the call does nothing and returns false.
#include <functional>

class QWidget;

// Opens the program-logger window (installed by the programming subsystem).
void SetProgramLoggerWindowHook(std::function<void(QWidget* owner)> hook);
bool OpenProgramLoggerWindow(QWidget* owner);

// Closes the logger-reading dialog if it is open and opens it anew (installed by the reading
// subsystem).
void SetReadingDialogHook(std::function<void(QWidget* owner)> hook);
bool ReopenReadingDialog(QWidget* owner);
