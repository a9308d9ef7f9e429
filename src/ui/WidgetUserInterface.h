#pragma once
// The desktop program's user interface: Qt's message box, input box, folder and save dialogs,
// the wait cursor and the desktop's own programs for documents.
#include "app/UserInterface.h"

class WidgetUserInterface : public UserInterface {
public:
    int Message(const QString& prompt, int style, const QString& title) override;
    QString Input(const QString& prompt, const QString& title, const QString& def, bool& cancelled) override;
    QString ChooseFolder(const QString& title, QWidget* owner) override;
    QString ChooseSaveFile(QWidget* owner, const QString& title, const QString& directory,
                           const QString& defaultName, const QString& filter, const QString& defaultSuffix) override;
    bool OpenWithDesktop(const QString& pathOrUrl) override;
    void SetBusy(bool busy) override;
    void Beep() override;
    bool ShiftKeyHeld() override;
};

// Installs the widgets as the program's user interface for the lifetime of the QApplication.
void InstallWidgetUserInterface();
