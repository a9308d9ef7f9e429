// Start-up of the desktop program: from the language file to the main menu.
#include "desktop/Startup.h"
#include "desktop/Installer.h"
#include "app/modInternationalisation.h"
#include "app/modMain.h"
#include "app/modRegistry.h"
#include "db/clsDatabase.h"

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QRandomGenerator>
#include <QSysInfo>
#include <cmath>
#include <memory>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <unistd.h>

#include "onewire/OneWireLink.h"
#include "simulator/VirtualBus.h"
#include "simulator/VirtualWorld.h"
#include "image/clsDS1921Data.h"
#include "onewire/clsDallasBus.h"

QString VersionText()
{
    return QString("%1.%2.%3").arg(NORDALIS_VERSION_MAJOR).arg(NORDALIS_VERSION_MINOR).arg(NORDALIS_VERSION_PATCH);
}

namespace {
StartupOptions& options()
{
    static StartupOptions o;
    return o;
}
std::function<bool()>& scrollLockProbe()
{
    static std::function<bool()> p;
    return p;
}
std::function<QString()>& adapterSearch()
{
    static std::function<QString()> s;
    return s;
}
// Descriptor of the open lock file while this process holds it, else -1.
int& instanceLockFd()
{
    static int fd = -1;
    return fd;
}
} // namespace

void SetStartupOptions(const StartupOptions& o) { options() = o; }
const StartupOptions& CurrentStartupOptions() { return options(); }

bool IsRestrictedCommandLine(const QString& commandLine)
{
    for (const QString& piece : commandLine.split('-'))
        if (piece.trimmed().toUpper() == QLatin1String("DU")) return true;
    return false;
}

int UtcBiasAt(const QTimeZone& zone, const QDateTime& utc)
{
    QDateTime moment = utc;
    moment.setTimeSpec(Qt::UTC);
    return -zone.offsetFromUtc(moment) / 60;
}

int SystemUtcBias()
{
    return UtcBiasAt(QTimeZone::systemTimeZone(), NowUtc());
}

int FontCharsetFor(const QLocale& locale)
{
    if (locale.language() == QLocale::Greek) return 161;
    if (locale.language() == QLocale::Japanese) return 128;
    return 0;
}

bool ScrollLockOn()
{
    if (scrollLockProbe()) return scrollLockProbe()();
    // Linux keeps the keyboard LEDs under /sys/class/leds/inputN::scrolllock; the X server and the
    // console both switch that LED with the lock state. No LED found: treated as off.
    const QDir leds("/sys/class/leds");
    for (const QString& name : leds.entryList({"*scrolllock*"}, QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile f(leds.filePath(name) + "/brightness");
        if (f.open(QIODevice::ReadOnly) && f.readAll().trimmed().toInt() > 0) return true;
    }
    return false;
}

void SetScrollLockProbeForTesting(std::function<bool()> probe) { scrollLockProbe() = std::move(probe); }

QString SystemUserName()
{
    QString name;
    if (const passwd* pw = getpwuid(geteuid())) name = QString::fromLocal8Bit(pw->pw_name);
    if (name.isEmpty()) name = qEnvironmentVariable("USER");
    return name.isEmpty() ? Translate("unknown") : name;
}

QString SystemComputerName()
{
    const QString name = QSysInfo::machineHostName();
    return name.isEmpty() ? Translate("unknown") : name;
}

QString SiteNumberProposal(const QString& interfaceRomCode)
{
    QString proposal;
    if (interfaceRomCode.size() > 3) proposal = RomTextToSerialNo(interfaceRomCode).right(4);
    if (proposal.size() < 4) proposal = QString::number(QRandomGenerator::global()->bounded(10001));
    return proposal;
}

bool AskSiteNumber(int& locationId, QString proposal)
{
    while (locationId < 1 || locationId > 9999) {
        const QString answer = InputBox(
            Translate("Please enter the Site number in the range 1 to 9999. Note that this number is used to identify all data records from this site, and can't be changed after installation"),
            Translate("Site number is undefined"), proposal);
        if (answer.isEmpty()) {
            ShowMessage(Translate("Can't run without a valid Site number, quitting."), vbCritical, Translate("No valid Site number"));
            return false;
        }
        // A whole number (fractions rounded half to even); any other answer leaves the number as it was.
        bool ok = false;
        const double d = answer.trimmed().toDouble(&ok);
        if (ok && std::isfinite(d) && std::fabs(d) < 2147483647.0) locationId = int(std::nearbyint(d));
        proposal = QString::number(locationId);
    }
    return true;
}

bool AcquireSingleInstance(const QString& applicationDirectory)
{
    if (instanceLockFd() >= 0) return true;
    QDir().mkpath(applicationDirectory);
    // An advisory lock on the open file: the system lets go of it the moment the process ends,
    // however it ends (a crash, a kill, a parent that never collects it), so a file left behind
    // never blocks a start, and no process number is guessed at. The file itself stays.
    const QByteArray path = QFile::encodeName(applicationDirectory + "/nordalis.lock");
    const int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return false;
    }
    // Who holds it, for a person looking: process number, program, computer.
    const QByteArray who = QByteArray::number(qint64(::getpid())) + "\nnordalis\n" +
                           QSysInfo::machineHostName().toUtf8() + "\n";
    if (::ftruncate(fd, 0) == 0) {
        [[maybe_unused]] const ssize_t n = ::pwrite(fd, who.constData(), size_t(who.size()), 0);
    }
    instanceLockFd() = fd;
    return true;
}

void ReleaseSingleInstance()
{
    if (instanceLockFd() < 0) return;
    ::close(instanceLockFd());   // closing the file lets go of the lock
    instanceLockFd() = -1;
}

void SetApplicationDirectories(const QString& applicationDirectory)
{
    AppState& a = App();
    a.ApplicationDirectory = applicationDirectory;
    a.BackupDirectory = applicationDirectory + "/data/backup";
    const QStringList bmps = QDir(applicationDirectory).entryList({"*.bmp"}, QDir::Files, QDir::Name);
    a.SplashPicture = applicationDirectory + "/" + (bmps.isEmpty() ? QString() : bmps.first());
    a.DataDirectory = applicationDirectory + "/data";
    a.DatabaseDirectory = a.DataDirectory;
    a.NvramSeparator = QString(QChar(3));
}

void WriteInstallationRecord()
{
    const AppState& a = App();
    CreateRegistryKey(kPathsKey);
    WriteRegistryValue(kPathsKey, "Application", a.ApplicationDirectory);
    WriteRegistryValue(kPathsKey, "Loggerfiles ", a.DataDirectory);
    WriteRegistryValue(kPathsKey, "BackupData", a.BackupDirectory);
    WriteRegistryValue(kPathsKey, "Database", a.DatabaseDirectory);
    CreateRegistryKey(kParameterKey);
    WriteRegistryValue(kParameterKey, "Version", QString(kEditionName) + " V" + VersionText());
    WriteRegistryValue(kParameterKey, "LocDescr", a.LocationDescr);
    // The driver's own key: created when missing (an existing key is left as it is), so that the
    // port the operator picks in the settings can be kept.
    CreateRegistryKey(kTmexKey);
}

void SetAdapterSearch(std::function<QString()> search) { adapterSearch() = std::move(search); }

QString SearchInterfaceAdapter()
{
    if (adapterSearch()) return adapterSearch()();
    // The search of the whole bus, then the first device of family 09.
    AppLogger().Bus().DoInventory();
    return AppLogger().DeviceFound("09");
}

void ApplyBusOption(const QString& driver)
{
    SetBusOverride(driver);
}

QString BusOption() { return BusOverride(); }

void InstallProgramClockForBus()
{
    if (ClockReplaced() || ConfiguredDriver() != QLatin1String("virtual")) return;
    VirtualBus::InstallProgramClock(VirtualWorld::ForFile(VirtualWorld::DefaultStateFile()));
}

bool LoadSiteSettings(bool storeUnits)
{
    AppState& a = App();
    clsDatabase& db = AppDatabase();
    a.LocationDescr = db.Parameter("LocationDescr", Translate("change this text"));
    int units = db.Parameter("Units", "0").trimmed().toInt();
    if (storeUnits) {
        SetUnits(units);
    } else {
        if (units != 1) units = 0;
        a.Units = units;
        a.UnitLabel = QString(QChar(176)) + (units == 1 ? "F" : "C");
    }
    bool ok = false;
    const int hours = db.Parameter("ReadHoursBeforeOverflow", "48").trimmed().toInt(&ok);
    a.ReadHoursBeforeOverflow = ok ? hours : 48;
    const float clip = db.Parameter("ClipTempLower", "-40").trimmed().toFloat(&ok);
    a.ClipTempLower = ok ? clip : -40.0f;
    return true;
}

namespace {
StartupWindows& startupWindows()
{
    static StartupWindows w;
    return w;
}
} // namespace

void SetStartupWindows(StartupWindows windows) { startupWindows() = std::move(windows); }

StartupResult RunStartup()
{
    const StartupOptions& o = options();
    if (!o.registry.isEmpty()) SetRegistryFile(o.registry);
    if (!o.bus.isEmpty()) ApplyBusOption(o.bus);
    RegisterVirtualLink();
    AppState& a = App();
    const QString dir = ResolveApplicationDirectory(o.home);
    a.ApplicationDirectory = dir;
    InstallProgramClockForBus();

    // 1-2. help page and language
    LoadLanguageFile("/LANGUAGE.TXT");

    // 3. one copy at a time
    if (!AcquireSingleInstance(dir)) {
        const QString text = Translate("NORDALIS is already running, quitting");
        std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
        std::fflush(stderr);
        ShowMessage(text, vbCritical, Translate("NORDALIS already running"));
        return StartupResult::AlreadyRunning;
    }

    // First run: the application directory is installed from the files the program carries.
    QString installError;
    if (!InstallApplicationDirectory(dir, &installError)) {
        ShowMessage(installError, vbCritical, Translate("Installation"));
        return StartupResult::Failed;
    }

    // 4-7. directories, command line, names, time zone
    SetApplicationDirectories(dir);
    a.RestrictedMode = IsRestrictedCommandLine(o.commandLine);
    a.CurrentUserName = SystemUserName();
    a.ComputerName = SystemComputerName();
    a.UtcBias = SystemUtcBias();

    // 8. the reader cable's identification chip
    a.InterfaceRomCode = SearchInterfaceAdapter();

    // 9. site number and data directory. A database that can't be opened ends the start here:
    // asking for a site number that could not be stored would only ask again next time.
    ResetAppDatabase();
    clsDatabase& db = AppDatabase();
    if (db.OpenDB()) {
        ShowMessage(db.OpenErrorText(), vbCritical, Translate("error opening the database, ending application"));
        return StartupResult::Failed;
    }
    bool ok = false;
    a.LocationID = db.Parameter("LocationID", "-1").trimmed().toInt(&ok);
    if (!ok) a.LocationID = -1;
    a.DataDirectory = db.Parameter("DataDirectory", a.DataDirectory);

    // 10. the Site-number question
    if (a.LocationID == -1) {
        int id = a.LocationID;
        if (!AskSiteNumber(id, SiteNumberProposal(a.InterfaceRomCode))) return StartupResult::Ended;
        a.LocationID = id;
        StoreParameter(db, "LocationID", DbValue(id));
    }

    // 11. splash
    StartupWindows& w = startupWindows();
    if (w.ShowSplash) w.ShowSplash();

    // 12-14. remaining settings, database closed, character set of fonts
    LoadSiteSettings(true);
    db.CloseDB();
    a.FontCharset = FontCharsetFor(QLocale::system());

    // 15. the splash stays 4 seconds so that it can be read (a key hides it)
    if (w.HoldSplash && !o.noSplash && !ScrollLockOn()) w.HoldSplash();

    // 16. installation record
    WriteInstallationRecord();

    // 17. main menu created, splash gone
    if (w.ShowMainMenu) w.ShowMainMenu();
    return StartupResult::Ok;
}

bool InitApplication()
{
    return RunStartup() == StartupResult::Ok;
}
