#pragma once
// Ending the mission of the logger in the reader cable ("&stop logger" and the terminal's stop
// verb). What is said afterwards comes from the logger's status register, read after the stop,
// not from the stop's own answer: a stop whose answer was lost may still have ended the mission.
#include <QString>

class clsDS1921Data;

enum class StopOutcome {
    NoLogger = 0,       // no logger in the cable: nothing done
    Stopped = 1,        // the logger no longer records
    StillRunning = 2,   // the stop did not take: the logger records as before
    NotChecked = 3,     // the logger could not be asked afterwards: it may or may not record
};

struct StopResult {
    StopOutcome outcome = StopOutcome::NoLogger;
    QString rom;       // the logger's ROM text
    QString message;   // what the operator is told when the outcome is not Stopped
};

[[nodiscard]] StopResult StopConnectedLogger(clsDS1921Data& logger);

// Exit status of the terminal's stop verb: 0 stopped; 1 no logger, or still running; 5 not checked.
[[nodiscard]] int StopExitStatus(StopOutcome outcome);
