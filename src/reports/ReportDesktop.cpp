#include "reports/ReportDesktop.h"
#include <QDesktopServices>
#include <QFileDialog>
#include <QPrintDialog>
#include <QPrinter>
#include <QUrl>

namespace {
SaveFileHandler& saveHandler()
{
    static SaveFileHandler h;
    return h;
}
OpenDocumentHandler& openHandler()
{
    static OpenDocumentHandler h;
    return h;
}
PrintDialogHandler& printHandler()
{
    static PrintDialogHandler h;
    return h;
}
} // namespace

void SetSaveFileHandler(SaveFileHandler handler) { saveHandler() = std::move(handler); }
void SetOpenDocumentHandler(OpenDocumentHandler handler) { openHandler() = std::move(handler); }
void SetPrintDialogHandler(PrintDialogHandler handler) { printHandler() = std::move(handler); }

QString AskSaveFileName(QWidget* owner, const QString& title, const QString& directory,
                        const QString& defaultName, const QString& filter, const QString& defaultSuffix)
{
    if (saveHandler())
        return saveHandler()(title, directory, defaultName, filter);
    QFileDialog dialog(owner, title, directory, filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(defaultSuffix);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
    dialog.selectFile(defaultName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return dialog.selectedFiles().first();
}

bool OpenDocument(const QString& path)
{
    if (openHandler())
        return openHandler()(path);
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

bool AskPrinter(QWidget* owner, QPrinter& printer)
{
    if (printHandler())
        return printHandler()(printer);
    QPrintDialog dialog(&printer, owner);
    dialog.setOption(QAbstractPrintDialog::PrintSelection, false);
    dialog.setOption(QAbstractPrintDialog::PrintPageRange, false);
    dialog.setOption(QAbstractPrintDialog::PrintCurrentPage, false);
    return dialog.exec() == QDialog::Accepted;
}
