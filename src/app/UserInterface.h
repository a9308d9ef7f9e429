#pragma once
// What the program's logic asks of the person at the computer: a message or a question, a text,
// a folder, a file name to save under, the busy cursor, a document opened with the desktop's own
// program. The logic asks only through here. The desktop program installs its widgets (src/ui);
// without an installed interface (the terminal program, the tests) messages go to standard error
// and every question gets its default answer, so nothing ever waits for a window.
#include "app/OutputFile.h"
#include <QString>
#include <functional>

class QWidget;

class UserInterface {
public:
    UserInterface() = default;
    UserInterface(const UserInterface&) = delete;
    UserInterface& operator=(const UserInterface&) = delete;
    virtual ~UserInterface() = default;

    // Message box: style and answer as ShowMessage (modInternationalisation.h).
    virtual int Message(const QString& prompt, int style, const QString& title);
    // Input box: the answer; cancelled set when the operator cancelled.
    virtual QString Input(const QString& prompt, const QString& title, const QString& def, bool& cancelled);
    // Folder browser: the folder chosen, or empty.
    virtual QString ChooseFolder(const QString& title, QWidget* owner);
    // Save dialog: the full path chosen, or empty when cancelled. It does not ask about replacing
    // an existing file: AskSaveFileName does, after the output check.
    virtual QString ChooseSaveFile(QWidget* owner, const QString& title, const QString& directory,
                                   const QString& defaultName, const QString& filter, const QString& defaultSuffix);
    // Opens a file, folder or web address with the desktop's default program.
    virtual bool OpenWithDesktop(const QString& pathOrUrl);
    // The busy cursor on (true) or off (false); calls come balanced, outermost only.
    virtual void SetBusy(bool busy);
    virtual void Beep();
    // The Shift key held down now (stops a run of imports after the current file).
    virtual bool ShiftKeyHeld();
};

// The interface in use (not owned; nullptr puts back the terminal default).
void SetUserInterface(UserInterface* ui);
UserInterface& CurrentUserInterface();

// The busy cursor for as long as the object lives. Guards nest: the cursor goes when the last
// one ends, whatever way its scope is left.
class BusyCursor {
public:
    BusyCursor();
    ~BusyCursor();
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
};

// Save dialog through the interface, or through the handler tests install. The dialog's default
// ending is the kind's usual one and is added to a name typed without one; the name then goes
// through the output check (app/OutputFile.h): a refused name is said in a message and gives an
// empty answer. Only after that does the dialog ask whether an existing file is to be replaced
// (the handler stands for the dialog and its question). Empty when cancelled or refused.
using SaveFileHandler = std::function<QString(const QString& title, const QString& directory,
                                              const QString& defaultName, const QString& filter)>;
void SetSaveFileHandler(SaveFileHandler handler);   // empty: the interface
QString AskSaveFileName(QWidget* owner, const QString& title, const QString& directory,
                        const QString& defaultName, const QString& filter, OutputKind kind);
