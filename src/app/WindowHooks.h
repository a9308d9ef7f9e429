#pragma once
// Links between working windows of different subsystems. The reading window offers to program
// the connected logger; programming opens the reading dialog afterwards so that the freshly
// started logger is read and recorded at once. Each subsystem installs the function it provides
// at start-up; until then the call does nothing and returns false.
#include <functional>

class QWidget;

// Working windows by button index of the main menu: 0 read logger (frmDownloadMain), 1 data
// display (frmChart), 2 settings (frmOptions). The subsystem of each window installs its factory;
// until then the button opens an empty window of that name. The factory is called when the window
// is first needed; the window is kept and shown again on later clicks until it is deleted.
void SetWorkingWindowFactory(int index, std::function<QWidget*()> factory);
const std::function<QWidget*()>& WorkingWindowFactory(int index);   // empty outside 0..2

// Brings the main menu back when a working window closes (installed by the desktop program).
void SetMainMenuHook(std::function<void()> hook);
void ReturnToMainMenu();

// Opens the program-logger window (installed by the programming subsystem).
void SetProgramLoggerWindowHook(std::function<void(QWidget* owner)> hook);
bool OpenProgramLoggerWindow(QWidget* owner);

// Closes the logger-reading dialog if it is open and opens it anew (installed by the reading
// subsystem).
void SetReadingDialogHook(std::function<void(QWidget* owner)> hook);
bool ReopenReadingDialog(QWidget* owner);
