// Qt's dialogs behind the program's user interface.
#include "ui/WidgetUserInterface.h"
#include "app/modInternationalisation.h"

#include <QApplication>
#include <QDesktopServices>
#include <QProcess>
#include <QStandardPaths>
#include <QFileDialog>
#include <QRegularExpression>
#include <QInputDialog>
#include <QMessageBox>
#include <QUrl>

int WidgetUserInterface::Message(const QString& prompt, int style, const QString& caption)
{
    const int buttons = style & 7;
    QMessageBox box;
    box.setWindowTitle(caption);
    box.setText(prompt);
    const int icon = style & 0x70;
    box.setIcon(icon == vbCritical ? QMessageBox::Critical : icon == vbQuestion ? QMessageBox::Question
                : icon == vbExclamation ? QMessageBox::Warning : icon == vbInformation ? QMessageBox::Information
                : QMessageBox::NoIcon);
    switch (buttons) {
    case vbYesNo: box.setStandardButtons(QMessageBox::Yes | QMessageBox::No); break;
    case vbYesNoCancel: box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel); break;
    case vbOKCancel: box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel); break;
    default: box.setStandardButtons(QMessageBox::Ok); break;
    }
    // Default button: style 256 makes the second button the default, 512 the third.
    const int defIndex = (style & 0x300) == 0x200 ? 2 : (style & 0x300) == 0x100 ? 1 : 0;
    QList<QMessageBox::StandardButton> wanted;
    switch (buttons) {
    case vbYesNo: wanted = {QMessageBox::Yes, QMessageBox::No}; break;
    case vbYesNoCancel: wanted = {QMessageBox::Yes, QMessageBox::No, QMessageBox::Cancel}; break;
    case vbOKCancel: wanted = {QMessageBox::Ok, QMessageBox::Cancel}; break;
    default: wanted = {QMessageBox::Ok}; break;
    }
    if (defIndex < wanted.size()) box.setDefaultButton(wanted[defIndex]);
    switch (box.exec()) {
    case QMessageBox::Yes: return vbYes;
    case QMessageBox::No: return vbNo;
    case QMessageBox::Cancel: return vbCancel;
    default: return vbOK;
    }
}

QString WidgetUserInterface::Input(const QString& prompt, const QString& title, const QString& def, bool& cancelled)
{
    bool ok = false;
    const QString answer = QInputDialog::getText(nullptr, title, prompt, QLineEdit::Normal, def, &ok);
    cancelled = !ok;
    return ok ? answer : QString();
}

QString WidgetUserInterface::ChooseFolder(const QString& title, QWidget* owner)
{
    return QFileDialog::getExistingDirectory(owner, title);
}

QString WidgetUserInterface::ChooseSaveFile(QWidget* owner, const QString& title, const QString& directory,
                                            const QString& defaultName, const QString& filter,
                                            const QString& defaultSuffix)
{
    QFileDialog dialog(owner, title, directory, filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(defaultSuffix);
    // A name typed without an ending gets the one of the filter chosen ("*.odt" gives ".odt").
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog](const QString& chosen) {
        const QRegularExpressionMatch m = QRegularExpression(QStringLiteral("\\*\\.(\\w+)")).match(chosen);
        if (m.hasMatch())
            dialog.setDefaultSuffix(m.captured(1));
    });
    // Whether an existing file is replaced is asked after the name passed the output check.
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    dialog.selectFile(defaultName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return dialog.selectedFiles().first();
}

bool WidgetUserInterface::OpenWithDesktop(const QString& pathOrUrl)
{
    const QUrl url = pathOrUrl.contains("://") ? QUrl(pathOrUrl) : QUrl::fromLocalFile(pathOrUrl);
    // xdg-open says by its exit status whether a program took the file; Qt only says that
    // xdg-open itself started. A desktop that hands the file on returns at once; one that runs
    // the program in the foreground is left to it after a moment, which counts as success.
    const QString opener = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
    if (opener.isEmpty()) return QDesktopServices::openUrl(url);
    auto* p = new QProcess(qApp);
    p->setProgram(opener);
    p->setArguments({url.isLocalFile() ? url.toLocalFile() : url.toString()});
    p->setStandardOutputFile(QProcess::nullDevice());
    p->start();
    if (!p->waitForStarted(3000)) {
        delete p;
        return false;
    }
    if (p->waitForFinished(2500)) {
        const bool ok = p->exitStatus() == QProcess::NormalExit && p->exitCode() == 0;
        delete p;
        return ok;
    }
    QObject::connect(p, &QProcess::finished, p, &QObject::deleteLater);
    return true;
}

void WidgetUserInterface::SetBusy(bool busy)
{
    if (busy)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}

void WidgetUserInterface::Beep() { QApplication::beep(); }

bool WidgetUserInterface::ShiftKeyHeld()
{
    return QGuiApplication::queryKeyboardModifiers().testFlag(Qt::ShiftModifier);
}

void InstallWidgetUserInterface()
{
    static WidgetUserInterface ui;
    SetUserInterface(&ui);
}
