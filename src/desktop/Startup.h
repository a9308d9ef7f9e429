#pragma once
// Start-up of the desktop program (InitApplication) and of a terminal run
// (InitTerminalApplication, cli/Cli.h), and the pieces of it that tests drive one by one.
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QTimeZone>
#include <functional>

class QLocale;

inline const char* const kProductName = "NORDALIS";
inline const char* const kEditionName = "Standard";
QString VersionText();            // major.minor.revision, e.g. "1.0.0"

struct StartupOptions {
    QString home;                 // --home DIR
    QString registry;             // --registry FILE
    QString bus;                  // --bus virtual|serial|usb
    bool noSplash = false;        // --no-splash: no 4-second pause on the splash window
    QString commandLine;          // the program's remaining arguments, joined by blanks ("-du")
};
void SetStartupOptions(const StartupOptions& options);
const StartupOptions& CurrentStartupOptions();

enum class StartupResult {
    Ok,        // every step ran; the main menu window exists (not shown yet)
    Failed,    // a step failed: the caller says "couldn't initialize, ending"
    Ended,     // start-up ended the program on purpose after telling the operator why
    AlreadyRunning,   // another copy runs on this application directory; the operator was told
};
StartupResult RunStartup();
// The windows of start-up; the desktop program installs them (desktop/DesktopStartup.h), a run
// without windows has none and start-up shows nothing.
struct StartupWindows {
    std::function<void()> ShowSplash;     // step 11: the splash, shown at once
    std::function<void()> HoldSplash;     // step 15: keeps the splash up to 4 s (a key ends it)
    std::function<void()> ShowMainMenu;   // step 17: the main menu created (not shown), splash gone
};
void SetStartupWindows(StartupWindows windows);
// True when every step ran (Failed and Ended both give false).
bool InitApplication();

// ---- the steps
// Command line: split at every "-"; a piece that reads "DU" once trimmed and in upper case.
bool IsRestrictedCommandLine(const QString& commandLine);
// Minutes to add to local time to obtain UTC in the given zone at the given UTC moment,
// daylight saving included.
int UtcBiasAt(const QTimeZone& zone, const QDateTime& utc);
int SystemUtcBias();
// 161 for a Greek locale, 128 for Japanese, else 0.
int FontCharsetFor(const QLocale& locale);
// Scroll Lock, where the system tells it: the keyboard LEDs under /sys/class/leds.
bool ScrollLockOn();
void SetScrollLockProbeForTesting(std::function<bool()> probe);
// The operating system's user and computer names ("unknown", translated, when empty).
QString SystemUserName();
QString SystemComputerName();

// The proposal of the Site-number question: the last four digits of the adapter's serial number
// when an adapter ROM text is known, else a random number from 0 to 10000.
QString SiteNumberProposal(const QString& interfaceRomCode);
// Asks (InputBox) until the answer is a number from 1 to 9999; true with locationId set, or false
// after telling the operator that the program can't run without one (empty answer or Cancel).
bool AskSiteNumber(int& locationId, QString proposal);

// Another copy already running on this application directory? The lock (on the file
// nordalis.lock there) is the system's advisory lock of an open file: it is released when the
// process ends in any way, so the file a crashed copy leaves behind never blocks a start.
bool AcquireSingleInstance(const QString& applicationDirectory);
void ReleaseSingleInstance();

// Directories of the application state for an application directory (step 4).
void SetApplicationDirectories(const QString& applicationDirectory);
// The installation record in the configuration store (Paths and Parameter keys), and the
// driver's TMEX key created when missing so that a chosen port can be kept.
void WriteInstallationRecord();

// The interface adapter search of start-up (ROM text of the family-09 chip, or empty).
// By default the live logger image's DeviceFound("09"); tests may replace it.
void SetAdapterSearch(std::function<QString()> search);
QString SearchInterfaceAdapter();

// The settings of table parameters into the application state (LocationDescr, Units,
// ReadHoursBeforeOverflow, ClipTempLower). storeUnits: the desktop start stores the unit setting
// again through SetUnits; a terminal run only reads it.
bool LoadSiteSettings(bool storeUnits);

// --bus: handed to the bus layer (empty: the configuration store chooses the driver).
void ApplyBusOption(const QString& driver);
// The program's clock for the chosen bus, set up the same way by the desktop and the terminal
// start: with the virtual bus, the simulated clock of the bench in the application directory,
// so that every "now" (due hours, reading stamps, job files) is the bench's moment. A clock
// that was replaced before (tests) is kept. Needs App().ApplicationDirectory.
void InstallProgramClockForBus();
QString BusOption();
