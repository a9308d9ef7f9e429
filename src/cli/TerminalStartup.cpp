// Start-up of a terminal run: the application directory (installed when needed), the settings of
// the database, the time zone and the names; no questions, no splash, no windows.
#include "desktop/Installer.h"
#include "desktop/Startup.h"
#include "app/modInternationalisation.h"
#include "app/modMain.h"
#include "app/modRegistry.h"
#include "cli/Cli.h"
#include "db/clsDatabase.h"

#include <QLocale>

bool InitTerminalApplication(const CliGlobals& globals, QTextStream& err)
{
    if (!globals.registry.isEmpty()) SetRegistryFile(globals.registry);
    if (!globals.bus.isEmpty()) ApplyBusOption(globals.bus);
    const QString dir = ResolveApplicationDirectory(globals.home);
    App().ApplicationDirectory = dir;
    // The same clock as the desktop program on this bus (the bench's with the virtual bus).
    InstallProgramClockForBus();
    LoadLanguageFile("/LANGUAGE.TXT");
    QString error;
    if (!InstallApplicationDirectory(dir, &error)) {
        err << "nordalis-cli: " << error << "\n";
        return false;
    }
    SetApplicationDirectories(dir);
    AppState& a = App();
    a.CurrentUserName = SystemUserName();
    a.ComputerName = SystemComputerName();
    a.UtcBias = SystemUtcBias();
    a.FontCharset = FontCharsetFor(QLocale::system());
    // A configuration store that cannot be used is said so at once, for reading verbs too: they
    // would otherwise go on with defaults as if nothing had been stored.
    const QString storeProblem = RegistryProblem();
    if (!storeProblem.isEmpty()) {
        err << "nordalis-cli: " << storeProblem << "\n";
        return false;
    }
    if (!CreateRegistryKey(kTmexKey)) {
        err << "nordalis-cli: " << RegistryError() << "\n";
        return false;
    }
    ResetAppDatabase();
    clsDatabase& db = AppDatabase();
    if (db.OpenDB()) {
        err << "nordalis-cli: cannot open the database in " << a.DatabaseDirectory << ": " << db.OpenErrorText()
            << "\n";
        return false;
    }
    bool ok = false;
    a.LocationID = db.Parameter("LocationID", "-1").trimmed().toInt(&ok);
    if (!ok) a.LocationID = -1;
    a.DataDirectory = db.Parameter("DataDirectory", a.DataDirectory);
    LoadSiteSettings(false);
    return true;
}
