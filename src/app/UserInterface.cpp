// The terminal default of the user interface, the busy-cursor count and the save-file question.
#include "app/UserInterface.h"
#include "app/modInternationalisation.h"
#include "app/modMain.h"

#include <cstdio>

namespace {
UserInterface& terminalDefault()
{
    static UserInterface ui;
    return ui;
}
UserInterface*& installed()
{
    static UserInterface* ui = nullptr;
    return ui;
}
int& busyDepth()
{
    static int depth = 0;
    return depth;
}
SaveFileHandler& saveHandler()
{
    static SaveFileHandler h;
    return h;
}
} // namespace

int UserInterface::Message(const QString& prompt, int style, const QString& title)
{
    std::fprintf(stderr, "%s: %s\n", title.toLocal8Bit().constData(), prompt.toLocal8Bit().constData());
    const int buttons = style & 7;
    return (buttons == vbYesNo || buttons == vbYesNoCancel) ? vbNo : vbOK;
}

QString UserInterface::Input(const QString&, const QString&, const QString&, bool& cancelled)
{
    cancelled = true;
    return QString();
}

QString UserInterface::ChooseFolder(const QString&, QWidget*) { return QString(); }

QString UserInterface::ChooseSaveFile(QWidget*, const QString&, const QString&, const QString&, const QString&,
                                      const QString&)
{
    return QString();
}

bool UserInterface::OpenWithDesktop(const QString&) { return false; }
void UserInterface::SetBusy(bool) {}
void UserInterface::Beep() {}
bool UserInterface::ShiftKeyHeld() { return false; }

void SetUserInterface(UserInterface* ui) { installed() = ui; }

UserInterface& CurrentUserInterface() { return installed() ? *installed() : terminalDefault(); }

void ShowBusy()
{
    if (busyDepth()++ == 0) CurrentUserInterface().SetBusy(true);
}

void ShowReady()
{
    if (busyDepth() == 0) return;
    if (--busyDepth() == 0) CurrentUserInterface().SetBusy(false);
}

BusyCursor::BusyCursor() { ShowBusy(); }
BusyCursor::~BusyCursor() { ShowReady(); }

void SetSaveFileHandler(SaveFileHandler handler) { saveHandler() = std::move(handler); }

QString AskSaveFileName(QWidget* owner, const QString& title, const QString& directory,
                        const QString& defaultName, const QString& filter, const QString& defaultSuffix)
{
    if (saveHandler()) return saveHandler()(title, directory, defaultName, filter);
    return CurrentUserInterface().ChooseSaveFile(owner, title, directory, defaultName, filter, defaultSuffix);
}
