#pragma once
// The bus watch of the read-logger window frmDownloadMain, one cycle per tick of its 1500 ms
// timer: is the reader cable there (its identification chip, family 09), is a logger in it
// (family 21), and is that logger's mission running. The window shows the result and acts on
// the transitions (arrival opens the reading dialog, removal closes it).
#include <QDateTime>
#include <QString>

class clsDS1921Data;

class clsBusPoll {
public:
    enum BusState { NoCable, CableOnly, LoggerPresent };
    // Pictures of the "Symbol" panel.
    enum Picture { PicRunning = 1, PicNoLogger = 2, PicNotRunning = 3 };

    struct Cycle {
        BusState state = NoCable;
        bool running = false;       // the logger's mission runs (LoggerPresent only)
        int picture = PicNoLogger;
        QString status;             // date-time and the translated state text
        bool loggerMenu = false;    // "&Logger" enabled
        bool arrived = false;       // a logger came since the last cycle
        bool removed = false;       // the logger went (or the cable went with it)
        QString loggerRom;          // ROM text of the logger present
    };

    explicit clsBusPoll(clsDS1921Data& logger);

    // One cycle (steps 2 to 4 of the poll, without the window's actions).
    Cycle Poll();
    bool Connected() const { return m_connected; }

private:
    clsDS1921Data& m_logger;
    bool m_connected = false;
};

// Sort key of a list cell: a date becomes "YYYYMMDDHHNNSS"; a number "B" and its ten digits, or
// when negative "A" and the ten-digit complement of its amount (so that -3 sorts before 5);
// anything else the text unchanged.
QString ListSortKey(const QString& cell);
