#pragma once
// Routines every window uses: its texts in the interface language, its design size, the printer.
#include <functional>

class QPrinter;
class QWidget;

// Translates the window title and the captions of the controls whose objectName begins with
// lbl, chk, cmd, opt, fra, mnu or tab.
void TranslateForm(QWidget* window);
// Resizes the window to its design size and moves the controls that no layout places with it.
void ScaleForm(QWidget* window, int widthPixels, int heightPixels);

// Printer dialog (orientation, copies; no page range, no selection). False when cancelled.
using PrintDialogHandler = std::function<bool(QPrinter& printer)>;
void SetPrintDialogHandler(PrintDialogHandler handler);     // empty: the real dialog (tests)
bool AskPrinter(QWidget* owner, QPrinter& printer);
