#pragma once
// Application-wide state and the small shared routines every window uses.
//
// Date-time convention of the whole program: every QDateTime is kept with Qt::UTC as its time
// timeSpec and is never converted by Qt's own time-zone machinery. Whether a value means UTC (logger
// clocks, sample times) or local time (what is shown, the per-logger dates in table devices) is
// given by its context; the conversion between the two is the fixed UtcBias taken at start-up.
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <functional>

class QWidget;

struct AppState {
    QString ApplicationDirectory;   // the application directory (--home, NORDALIS_HOME, XDG data)
    QString DatabaseDirectory;      // ApplicationDirectory/data, fixed for the run
    QString DataDirectory;          // where logger files are written and processed
    QString BackupDirectory;        // ApplicationDirectory/data/backup
    QString SplashPicture;
    QString NvramSeparator = QString(QChar(3));
    QString CurrentUserName;
    QString ComputerName;
    QString InterfaceRomCode;
    int UtcBias = 0;                // minutes to add to local time to obtain UTC
    int LocationID = -1;
    QString LocationDescr;
    int ReadHoursBeforeOverflow = 48;
    float ClipTempLower = -40.0f;
    bool RestrictedMode = false;
    int Units = 0;                  // 0 Celsius, 1 Fahrenheit
    QString UnitLabel = QString(QChar(176)) + "C";
    int FontCharset = 0;
};

// The one application state of this process.
AppState& App();


// Clock of the program. Tests and the simulator replace it; NowUtc() is what every part asks.
QDateTime NowUtc();
QDateTime NowLocal();   // NowUtc() less UtcBias
void SetClockForTesting(std::function<QDateTime()> clock);   // empty function restores the real clock
bool ClockReplaced();   // true while a replacement clock (a test's, the virtual bench's) is in use

// Identifiers
void DeviceIDToLocRoomPos(qint32 deviceId, qint32& location, qint32& room, qint32& position);
qint32 LocRoomPosToDeviceID(qint32 location, qint32 room, qint32 position);
QString FormatDeviceID(qint32 deviceId);

// Time conversions with the fixed bias
QDateTime LocalToUtc(const QDateTime& local);
QDateTime UtcToLocal(const QDateTime& utc);

// Units
float CelsiusToFahrenheit(double value);
float FahrenheitToCelsius(double value);
float ToDisplayUnits(double celsius);

// Files and folders
int MoveFiles(const QString& source, const QString& target);
// The n-th name MoveFiles tries when path is taken: "name.dta" -> "name (2).dta", ...; a folder
// or a name without extension gets " (n)" at its end.
QString NumberedName(const QString& path, int n);
bool IsDirectory(const QString& path);
QString BrowseForFolder(const QString& title, QWidget* owner);

// Opens a document, folder or web address with the desktop's default program (the help page,
// reports, exported files). Tests replace the opener so that nothing is launched.
bool OpenWithDesktop(const QString& pathOrUrl);
void SetDesktopOpenerForTesting(std::function<bool(const QString& pathOrUrl)> opener);

// Cursor and help. ShowBusy and ShowReady come in pairs (BusyCursor in app/UserInterface.h makes
// the pair); the cursor is busy while at least one pair is open.
void ShowBusy();
void ShowReady();
void ShowHelp();                 // opens ApplicationDirectory/NORDALIS.htm in the browser
inline const char* const kHelpFileName = "NORDALIS.htm";
