#pragma once
// The programming sequence: erases the connected DS1921, gives it the clock, start delay,
// alarms, rollover and sample rate of a checked MissionPlan, writes the identity record, checks
// that the mission runs and records the programming in table history (kind 1).
//
// Before anything is erased the logger is read completely; when it holds samples, the image is
// saved as a logger file in the data directory, as a reading saves it. When the logger cannot be
// read or the file cannot be written, nothing is erased.
//
// The window and the terminal program share this class; they differ in how the progress texts
// are shown (ShowStatus) and whether the operator is asked first.
#include "programming/clsMissionSettings.h"
#include <QString>
#include <QStringList>
#include <functional>

class clsDatabase;
class clsDS1921Data;

// Kind of the history entry written for a programmed logger.
inline constexpr int kHistoryProgrammed = 1;

// What the logger does after a run: recording with the new mission (Running); not recording
// (Stopped: its mission was ended but it was not erased; NotRunning: erased, the new mission does
// not run); not known (Unconfirmed: it was programmed but could not be checked); or unchanged
// (the others). SavedLoggerFile() names where its earlier samples are.
enum class ProgrammingOutcome {
    Running = 0,        // the mission runs with the settings given; history entry written
    NotRunning = 1,     // the logger was erased but the new mission does not run
    Stopped = 2,        // the old mission was ended to save its samples, then the run failed: not recording
    Unconfirmed = 3,    // the logger was programmed but its state could not be checked, or it records with other settings
    NotConfirmed = 4,   // the operator did not answer Yes; nothing written
    Refused = 5,        // a setting or the record was refused; nothing written
    NoLogger = 6,       // no logger found or it could not be read; nothing written
    SaveFailed = 7,     // the logger's samples could not be saved; nothing written
};

// Exit status of the terminal's program verb: 0 recording with the new mission; 1 the logger is
// unchanged; 2 a setting was refused (unchanged); 3 not recording: the new mission does not run; 4 its mission was
// stopped, not recording, not erased; 5 programmed but not confirmed (may not be recording); the
// terminal adds 6: recording, but the programming could not be entered in the history.
[[nodiscard]] int ProgrammingExitStatus(ProgrammingOutcome outcome);

class clsProgrammingSequence {
public:
    // image: the live logger image whose objDeviceFound is the connected logger (found and read
    // when the window opened; searched for when missing). db: where the history goes.
    clsProgrammingSequence(clsDS1921Data& image, clsDatabase& db);

    // Progress text (untranslated) and the pause that lets the operator read it. Default: the
    // text goes to the log only and the pause is slept through BusWait.
    std::function<void(const QString& text, int pauseMs)> ShowStatus;
    // Where the logger file of samples found on the logger goes (default App().DataDirectory).
    QString DataDirectory;
    // Ask "really erase existing data and restart logger?" first (the window does, the terminal
    // program does not).
    bool AskFirst = true;
    // Show the messages of the sequence through ShowMessage (the terminal program prints them
    // from the log instead).
    bool ShowMessages = true;

    // txtStatus: the summary before the run; the run appends its result line. Saved as the
    // history text when the logger runs.
    QString StatusText;

    [[nodiscard]] ProgrammingOutcome Run(const MissionPlan& plan);

    // After Run: every progress text in order, the file saved before erasing (empty when the
    // logger held no samples), and the message of a refusal or failure.
    QStringList Log() const { return m_log; }
    QString SavedLoggerFile() const { return m_savedFile; }
    int SavedSamples() const { return m_savedSamples; }
    int WrittenStartDelay() const { return m_startDelay; }   // minutes, as written into the logger
    QString FailureMessage() const { return m_failure; }

private:
    void status(const QString& text, int pauseMs);
    void message(const QString& prompt, int style, const QString& title);
    [[nodiscard]] bool saveSamplesBeforeErasing();
    void notRead();   // the logger could not be read: nothing was changed
    [[nodiscard]] ProgrammingOutcome stoppedOutcome(const QString& why);
    QString savedText() const;
    QString adapterCause() const;

    clsDS1921Data& m_image;
    clsDatabase& m_db;
    QStringList m_log;
    QString m_savedFile;
    int m_savedSamples = 0;
    QString m_failure;
    bool m_stopped = false;       // the old mission was ended by this run
    bool m_stopUnknown = false;   // the stop was sent, but the logger could not be asked afterwards
    int m_startDelay = 0;         // minutes, as written
};
