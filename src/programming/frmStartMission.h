#pragma once
// The program-logger window "NORDALIS PROGRAM LOGGER": six tabs of mission settings for the
// connected logger and "s&tart logger", which runs the programming sequence. The rules live in
// clsMissionSettings and clsProgrammingSequence; this class mirrors them in its controls.
#include "programming/clsMissionSettings.h"
#include <QWidget>
#include <functional>
#include <optional>

class QCheckBox;
class QComboBox;
class QDateEdit;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QStatusBar;
class QTabWidget;
class QTimeEdit;
class QTimer;

// Installs the window behind OpenProgramLoggerWindow (app/WindowHooks.h).
void InstallProgrammingWindows();

// How "&change system date and time" opens the desktop's date and time settings; tests replace
// it. Returns false when no settings program is known (the window then says where to look).
void SetDateTimeSettingsOpenerForTesting(std::function<bool()> opener);
// The pause after each progress text of the sequence (default: a real wait that keeps the
// window drawn); tests make it instant.
void SetProgrammingPauseForTesting(std::function<void(int milliseconds)> pause);

class frmStartMission : public QWidget {
    Q_OBJECT
public:
    explicit frmStartMission(QWidget* parent = nullptr);

    // Form_Load: translation, lists, compartments, the connected logger. False when the window
    // closed itself (no compartments).
    bool Form_Load();

    clsMissionSettings& Settings() { return m_settings; }

    // Event handlers
    void cmbSampleRate_Click();
    void cmbDays_Click();
    void dtpStartDate_Change();
    void cmdBackward_Click();
    void cmdForeward_Click();
    void tabSettings_Click(int tab);
    bool txtPosition_Validate(int index);
    void timShowDate_Timer();
    void cmdChangeTime_Click();
    void cmdStartMission_Click();
    void cmdCancel_Click();
    void ShowStatus(const QString& text, int pauseMs);

    // Controls
    QTabWidget* tabSettings = nullptr;
    QPushButton* cmdBackward = nullptr;
    QPushButton* cmdForeward = nullptr;
    QPushButton* cmdStartMission = nullptr;
    QPushButton* cmdCancel = nullptr;
    QCheckBox* chkusePCDateTime = nullptr;
    QPushButton* cmdChangeTime = nullptr;
    QLabel* lblDateTime = nullptr;
    QLabel* lblTimeDiff = nullptr;
    QLabel* lblLoggerDateTime = nullptr;   // the logger's clock, moving on from what it said at opening
    QComboBox* cmbSampleRate = nullptr;
    QLabel* lblDuration = nullptr;
    QLabel* lblReadBefore = nullptr;
    QLabel* lblReadBeforeDelay = nullptr;   // the same moment beside the start delay, which moves it
    QLabel* lblLowTempAlarm = nullptr;
    QLabel* lblHighTempAlarm = nullptr;
    QDoubleSpinBox* txtLowTempAlarm = nullptr;    // the logger variant's range and steps, unit as suffix
    QDoubleSpinBox* txtHighTempAlarm = nullptr;
    QLabel* lblLoggerType = nullptr;              // DS1921G, H or Z: the range and steps follow it
    QLabel* lblAlarmRange = nullptr;              // measuring range of the connected logger
    QLabel* lblAlarmStep = nullptr;               // and the step between two of its levels
    QLabel* lblAlarmNote = nullptr;               // why a level was not taken (hidden when none)
    QLabel* lblDelayNote = nullptr;               // why a start was not taken (hidden when none)
    QComboBox* cmbDays = nullptr;
    QComboBox* cmbHours = nullptr;
    QComboBox* cmbMinutes = nullptr;
    QDateEdit* dtpStartDate = nullptr;
    QTimeEdit* dtpStartTime = nullptr;
    QCheckBox* chkEnableRollover = nullptr;
    QComboBox* cmbRoom = nullptr;
    QLineEdit* txtPosition[5] = {};   // 0 description, 4 position number (1, 2 and 3 unused)
    QLabel* txtSerialNo = nullptr;     // txtPosition(1): the logger's serial number, shown only
    QLabel* txtSiteNumber = nullptr;   // txtPosition(2): the installation's site number, shown only
    QLabel* lblLoggerNumber = nullptr; // the logger number the settings give (FormatDeviceID)
    QPlainTextEdit* txtStatus = nullptr;
    QStatusBar* sbrStatus = nullptr;
    QTimer* timShowDate = nullptr;

signals:
    void closed();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void toSettings();      // controls -> m_settings
    void fromDelay();       // delay lists and pickers from m_settings (a control in use is left alone)
    void alarmChanged(QDoubleSpinBox* changed);
    void showAlarmRange();
    void showLoggerNumber();
    void showSummary();
    clsMissionSettings m_settings;
    bool m_syncing = false;
    bool m_summaryShown = false;
    std::optional<qint64> m_loggerClockOffset;   // seconds from the system clock to the logger's   // txtStatus holds the summary (not yet the log of a run)
};
