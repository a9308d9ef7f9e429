// The terminal default of the user interface, the busy-cursor count and the save-file question.
#include "app/UserInterface.h"
#include "app/modInternationalisation.h"
#include "app/modMain.h"

#include <QDir>
#include <QFileInfo>
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
                        const QString& defaultName, const QString& filter, OutputKind kind)
{
    const QString suffix = OutputEndings(kind).value(0);
    const bool dialog = !saveHandler();
    QString path = dialog ? CurrentUserInterface().ChooseSaveFile(owner, title, directory, defaultName, filter, suffix)
                          : saveHandler()(title, directory, defaultName, filter);
    if (path.isEmpty())
        return QString();
    if (QFileInfo(path).suffix().isEmpty())
        path += "." + suffix;
    const QString refusal = RefuseOutputFile(path, kind);
    if (!refusal.isEmpty()) {
        ShowMessage(refusal, vbOKOnly | vbCritical, title);
        return QString();
    }
    if (dialog && QFileInfo::exists(path)
        && ShowMessage(Translate("%1 already exists. Do you want to replace it?").arg(QDir::toNativeSeparators(path)),
                       vbYesNo | vbExclamation | vbDefaultButton2, title) != vbYes)
        return QString();
    return path;
}
