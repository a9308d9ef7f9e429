#pragma once
// The read-logger window "NORDALIS READ LOGGER": the bus poll with its status pictures, the list
// of running loggers with their reading schedule, and the menus that program, read and stop
// loggers, set the list's options, export the job files and move logger files to and from the
// removable media. The poll's logic is clsBusPoll; the reading is frmDownload.
#include "reading/clsBusPoll.h"

#include <QMainWindow>
#include <QPointer>
#include <functional>

class QAction;
class QLabel;
class QMenu;
class QTimer;
class QTreeWidget;
class frmDownload;

class frmDownloadMain : public QMainWindow {
    Q_OBJECT
public:
    explicit frmDownloadMain(QWidget* parent = nullptr);
    ~frmDownloadMain() override;

    QTreeWidget* lvwKnownDevices = nullptr;
    QLabel* panelStatus = nullptr;     // "status"
    QLabel* panelFiles = nullptr;      // "files"
    QLabel* panelSymbol = nullptr;     // "Symbol"
    QLabel* panelUserName = nullptr;   // "UserName"
    QTimer* timPollBus = nullptr;
    QMenu* mnuLogger = nullptr;
    QAction* mnuLogger1[3] = {};
    QMenu* mnuExtras = nullptr;
    QMenu* mnuExtras2Menu = nullptr;
    QAction* mnuExtras1[4] = {};       // [0] is the font submenu's action
    QAction* mnuExtras2[3] = {};
    QMenu* mnuDiskette = nullptr;
    QAction* mnuDiskette1[2] = {};

    void timPollBus_Timer();          // one poll cycle
    void ShowStatus(const QString& text);
    void FillList();                  // RefreshDueList with the window's option
    void lvwKnownDevices_ColumnClick(int column);
    void mnuLogger1_Click(int index);
    void mnuExtras2_Click(int index);
    void mnuExtras1_Click(int index);
    void mnuDiskette1_Click(int index);
    void StopLogger();                // "&stop logger" (asks first)
    void OpenReadingDialog();
    void CloseReadingDialog();
    frmDownload* ReadingDialog() const;   // the open reading dialog, if any
    int SymbolPicture() const { return m_picture; }   // 0 when the panel is empty
    int SortedColumn() const { return m_sortedColumn; }   // -1 when none
    bool AscendingSort() const { return m_ascending; }
    clsBusPoll& Poll() { return m_poll; }
    void SaveSettings();

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void Form_Load();
    void setSymbol(int picture);
    void selectRow(const QString& description);   // first row with a cell equal to it
    clsBusPoll m_poll;
    QPointer<frmDownload> m_dialog;
    int m_picture = 0;
    int m_sortedColumn = -1;
    bool m_ascending = true;
    int m_closes = 0;                  // closes of the window so far
};

// Makes the read-logger window the main menu's first working window and installs the reading
// dialog as the one the programming window reopens.
void InstallReadingWindows();
// Waits of the window (the pause after a logger is removed); tests make them instant.
void SetReadingWaitForTesting(std::function<void(int milliseconds)> wait);

// Fills the list (report view, columns created by its window) with the rows of the due list and
// fits the widths of columns 0 to 8; the busy cursor is shown meanwhile. A query that fails leaves
// the list empty and is reported through ShowMessage, once for as long as it fails alike.
void RefreshDueList(QTreeWidget* lvwKnownDevices, bool dueOnly);
// Fits the widths of the columns "read seq" to "last read" to their contents and titles (with
// room for the sort mark).
void FitDueListColumns(QTreeWidget* lvwKnownDevices);
