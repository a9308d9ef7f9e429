#pragma once
// The round status marks of loggers and of the bus, drawn rather than taken from a theme so that
// they look alike on every desktop and in light and dark palettes: a green disc for a running
// logger, a grey disc for a stopped one, a red disc with a bar for a logger in the cable that does
// not run, and an empty ring when there is no logger (or no cable).
#include <QIcon>
#include <QPixmap>

enum class StatusMark { Running, Stopped, NotRunning, Absent };

// The mark at the given size in device-independent pixels, sharp on high-density screens.
QPixmap StatusMarkPixmap(StatusMark mark, int size = 16, qreal devicePixelRatio = 0);
// The mark as an icon (16, 24 and 32 pixels).
QIcon StatusMarkIcon(StatusMark mark);
// Its meaning in words (translated), for tool tips and for readers of the screen.
QString StatusMarkText(StatusMark mark);
