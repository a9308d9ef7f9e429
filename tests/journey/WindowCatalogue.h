#pragma once
// The program's windows for the screen checks: each entry opens one window over the site of the
// test and hands it back shown. A window that has a tab control is grabbed once per tab.
// New windows join by adding an entry to Windows() in WindowCatalogue.cpp.
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

class QWidget;

struct WindowEntry {
    QString name;                                    // file name of its pictures
    std::function<std::unique_ptr<QWidget>()> open;  // the window, shown, with the site's data
    QStringList mayBeEmpty;                          // labels that carry a value and may be blank
    std::function<QStringList(QWidget*)> extraFaults = {};   // the window's own checks (drawn texts)
};

const std::vector<WindowEntry>& Windows();
