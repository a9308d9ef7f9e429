#pragma once
// What a demanding user sees at once on a window: captions cut off or empty, texts lying over
// each other, controls outside the window.
#include <QString>
#include <QStringList>

class QWidget;

// Captions that are empty (unless named in mayBeEmpty) or wider than the room they were given,
// and tab bars whose captions do not fit.
QStringList CaptionFaults(QWidget* window, const QStringList& mayBeEmpty);
// Visible controls that overlap another visible control (neither inside the other) or reach
// outside the window.
QStringList LayoutFaults(QWidget* window);
// Every caption of a window: title, labels, buttons, frames, tabs.
QStringList Captions(QWidget* window);
