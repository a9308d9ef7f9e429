#pragma once
// The main menu (470 x 330): three working windows, help and end. Exactly one of the main menu
// and the working windows is visible at a time.
#include <QWidget>
#include <QPointer>
#include <functional>

class QGroupBox;
class QLabel;
class QPushButton;

// The caption of the empty stand-in window of an index ("NORDALIS READ LOGGER", ...).
QString WorkingWindowName(int index);

class frmMainMenue : public QWidget {
    Q_OBJECT
public:
    explicit frmMainMenue(QWidget* parent = nullptr);
    void cmdMenue_Click(int index);
    QWidget* workingWindow(int index) const;   // the window opened for that index, if any

    QGroupBox* fraBorder = nullptr;
    QPushButton* cmdMenue[5] = {};
    QLabel* lblDescr[6] = {};   // 2i: title of button i, 2i+1: its description (i = 0..2)

protected:
    // Closing the main menu itself ends the program, as "&End" does.
    void closeEvent(QCloseEvent* event) override;

private:
    void Form_Load();
    QPointer<QWidget> m_windows[3];
};

// The one main menu window, created on first use.
frmMainMenue& MainMenu();
// Shows the main menu (and closes the database, which stays closed while the operator is there).
// Working windows call it when they close.
void ShowMainMenu();
