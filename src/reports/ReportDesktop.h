#pragma once
// The desktop services the exports use: the save dialog, opening a file with the desktop's
// default program, the printer dialog. Tests and the terminal program install handlers so that
// no dialog appears and nothing is started.
#include <QString>
#include <functional>

class QPrinter;
class QWidget;

// Save dialog: returns the full path chosen, or an empty text when cancelled.
using SaveFileHandler = std::function<QString(const QString& title, const QString& directory,
                                              const QString& defaultName, const QString& filter)>;
void SetSaveFileHandler(SaveFileHandler handler);   // empty: the real dialog
QString AskSaveFileName(QWidget* owner, const QString& title, const QString& directory,
                        const QString& defaultName, const QString& filter, const QString& defaultSuffix);

// Opens a file or folder with the desktop's default program; false when nothing could open it.
using OpenDocumentHandler = std::function<bool(const QString& path)>;
void SetOpenDocumentHandler(OpenDocumentHandler handler);   // empty: the desktop
bool OpenDocument(const QString& path);

// Printer dialog (orientation, copies; no page range, no selection). False when cancelled.
using PrintDialogHandler = std::function<bool(QPrinter& printer)>;
void SetPrintDialogHandler(PrintDialogHandler handler);     // empty: the real dialog
bool AskPrinter(QWidget* owner, QPrinter& printer);
