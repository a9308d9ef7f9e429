#pragma once
// Where the program's windows appear, and what every title says.
//
// A working window (a top-level widget named "frm...") opens where the operator left it the last
// time, in the size they gave it; the first time, and whenever that place is on no screen any
// more, it opens centred over the main menu (or the screen), no larger than the screen. The main
// menu and the splash window keep their design sizes and open centred on the screen. In the
// restricted mode every window's title says so.
#include <QRect>
#include <QString>

class QWidget;

// Installs the placement for every window of the application (once, after the QApplication).
void InstallWindowPlacement();
void RemoveWindowPlacement();

// The title a window shows: its own title, with the restricted-mode mark when that mode is on.
QString MarkedWindowTitle(const QString& title, bool restricted);

// Where a window of the given size goes: centred over `over` (an empty rectangle: over the
// screen), moved and shrunk to lie inside `screen`.
QRect CentredPlacement(QSize size, const QRect& over, const QRect& screen);

// The stored place of a window (position of its frame, inner size; invalid when none or
// unreadable) and storing it; kept in the configuration store.
QRect StoredWindowGeometry(const QString& windowName);
void StoreWindowGeometry(const QString& windowName, const QRect& geometry);
