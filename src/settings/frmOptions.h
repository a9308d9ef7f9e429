#pragma once
// The settings window "NORDALIS SETTINGS": site structure, directories and unit, interface
// port, logger files on removable media, database maintenance.
#include "settings/InterfacePort.h"
#include "settings/MktSetting.h"
#include "settings/clsStructureEditor.h"

#include <QDialog>
#include <functional>

class clsDatabase;
class QComboBox;
class QDateEdit;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QAction;
class QPushButton;
class QRadioButton;
class QTabWidget;
class QTreeWidget;
class QTreeWidgetItem;

class frmOptions : public QDialog {
    Q_OBJECT
public:
    explicit frmOptions(QWidget* parent = nullptr, clsDatabase* database = nullptr);
    ~frmOptions() override;

    // Tab indexes
    enum { tabStructure = 0, tabDirectories = 1, tabInterface = 2, tabLoggerFiles = 3, tabDatabase = 4 };

    QTabWidget* tabOptions = nullptr;
    // Structure
    QTreeWidget* trvStructure = nullptr;
    QTreeWidget* lvwDeviceProperties = nullptr;
    QLabel* lblDeviceComment = nullptr;
    QPushButton* cmdSaveStructure = nullptr;
    QMenu* mnuLoc = nullptr;
    QMenu* mnuComp = nullptr;
    QMenu* mnuLog = nullptr;
    QAction* mnuLocAddCompartment = nullptr;
    QAction* mnuCompAddLogger = nullptr;
    QAction* mnuCompDelete = nullptr;
    QAction* mnuLogDelete = nullptr;
    // Directories and unit
    QLineEdit* txtDataDir = nullptr;
    QPushButton* cmdGetDataDir = nullptr;
    QPushButton* cmdSaveDirs = nullptr;
    QPushButton* cmdOpen = nullptr;
    QGroupBox* fraUnits = nullptr;
    QRadioButton* optCelsius = nullptr;
    QRadioButton* optFahrenheit = nullptr;
    QLineEdit* txtMktActivation = nullptr;   // dH/R of the mean kinetic temperature, in K
    QPushButton* cmdSaveMkt = nullptr;
    QLabel* lblMktReason = nullptr;          // why a value was refused, beside the field
    // Interface port
    QComboBox* cmbPortNo = nullptr;
    // Logger files and database
    QPushButton* cmdCopyLoggerfiles[3] = {};
    QPushButton* cmdDatabase[6] = {};
    QDateEdit* dtpDeleteBefore = nullptr;
    QLabel* lblStatus = nullptr;
    QLabel* lblWritten = nullptr;          // the file an operation wrote, beside the status
    QLabel* lblEditHint = nullptr;
    QLabel* lblDataDirProblem = nullptr;   // why the typed data directory can't be applied
    QLabel* lblBackupDirPath = nullptr;
    QLabel* lblDatabaseDirPath = nullptr;
    QLabel* lblBusInUse = nullptr;         // the bus the program talks to
    QLabel* lblBusNote = nullptr;
    QLabel* lblPortResult = nullptr;       // the last choice's result in full (cause and remedy)
    QLabel* lblAdaptersFound = nullptr;    // USB serial devices present
    QLabel* lblUsbAdaptersFound = nullptr; // DS2490 USB adapters attached
    QLabel* lblPortDeviceText = nullptr;   // device path of the chosen port
    QComboBox* cmbRemovableMedia = nullptr;   // mounted removable volumes
    QPushButton* cmdRefreshMedia = nullptr;
    QLabel* lblMediaState = nullptr;
    QLabel* lblCopyLoggerfiles[3] = {};
    QLabel* lblDatabaseFileInfo = nullptr;   // path, size and time of the database file
    QLabel* lblLastBackupInfo = nullptr;     // the same of the last backup
    QLabel* lblDataDirFiles = nullptr;       // logger files waiting
    QLabel* lblBackupFiles = nullptr;        // logger files in the backup directory
    QPushButton* cmdHelp = nullptr;
    QPushButton* cmdOK = nullptr;

    clsStructureEditor Editor;
    clsInterfacePort Interface;              // the port list and the choice
    clsMktSetting Mkt;                       // the activation energy field

    // Replaceable for tests: the Shift key state, and the shell's "open".
    std::function<bool()> ShiftHeld;
    // The shell's "open" returns false when no file manager could be started.
    std::function<bool(const QString&)> OpenInShell;

    void ShowStatus(const QString& text);
    void ShowWritten(const QString& path);   // "written: <path>" beside the status
    void ShowInterface();                    // the bus in use and the port list
    void FillRemovableMedia();               // the mounted removable volumes and the choice
    void ShowFileFacts();                    // the files of the tabs: database, backup, logger files
    void GenerateData();
    void BuildStructure();
    void DisplayNode(const QString& nodeKey);
    QString SelectedKey() const;
    void SelectNode(const QString& nodeKey);

    // Event handlers
    void tabOptions_Click(int index);
    void trvStructure_NodeClick(QTreeWidgetItem* node);
    void trvStructure_MouseUp(const QPoint& pos);
    bool lvwDeviceProperties_BeforeLabelEdit(QTreeWidgetItem* row);
    void lvwDeviceProperties_AfterLabelEdit(QTreeWidgetItem* row);
    void mnuLocAddCompartment_Click();
    void mnuCompAddLogger_Click();
    void mnuCompDelete_Click();
    void mnuLogDelete_Click();
    void cmdSaveStructure_Click();
    void cmdGetDataDir_Click();
    bool txtDataDir_Validate();
    void cmdSaveDirs_Click();
    void cmdOpen_Click();
    void optUnits_Click(int code);
    void cmdSaveMkt_Click();
    void cmbPortNo_Click(int index);
    void cmbRemovableMedia_Click(int index);
    void cmdCopyLoggerfiles_Click(int index);
    void cmdDatabase_Click(int index);

signals:
    void closed();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildStructureTab(QWidget* page);
    void buildDirectoriesTab(QWidget* page);
    void buildInterfaceTab(QWidget* page);
    void buildLoggerFilesTab(QWidget* page);
    void buildDatabaseTab(QWidget* page);
    clsDatabase& db();
    void OpenFolder(const QString& path);

    clsDatabase* m_db = nullptr;
    QString m_editingNode;
    bool m_editing = false;
    bool m_building = false;
};

// Makes the main menu's settings button open this window (and show the main menu again when it
// closes).
void InstallOptionsWindow();
