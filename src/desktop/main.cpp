// nordalis: the desktop program.
//   nordalis [--home DIR] [--bus virtual|serial|usb] [--registry FILE] [--no-splash] [-DU]
#include "app/Resources.h"
#include "desktop/Startup.h"
#include "desktop/frmMainMenue.h"
#include "app/modInternationalisation.h"
#include "desktop/DesktopStartup.h"
#include <QApplication>
#include <cstdio>
#include <cstring>

static const char kUsage[] =
    "usage: nordalis [--home DIR] [--bus virtual|serial|usb] [--registry FILE] [--no-splash] [-DU]\n"
    "  -DU  restricted mode: no settings, no programming\n"
    "exit status: 0 ended by the operator, 1 start-up failed, 2 bad option,\n"
    "             3 another copy runs on the same application directory\n";

int main(int argc, char** argv)
{
    // --help answers before the window system is opened, so it works without a display.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName("nordalis");
    // The program ends by the main menu alone: while a working window replaces the menu, or a
    // message box is the only window, no window's closing may end it.
    app.setQuitOnLastWindowClosed(false);
    InitNordalisResources();

    StartupOptions o;
    QStringList rest;
    QStringList args = app.arguments().mid(1);
    while (!args.isEmpty()) {
        const QString a = args.takeFirst();
        auto value = [&](QString& target) {
            if (args.isEmpty()) {
                std::fprintf(stderr, "nordalis: %s needs a value\n", qPrintable(a));
                return false;
            }
            target = args.takeFirst();
            return true;
        };
        if (a == "--home") { if (!value(o.home)) return 2; }
        else if (a == "--registry") { if (!value(o.registry)) return 2; }
        else if (a == "--bus") {
            if (!value(o.bus)) return 2;
            if (o.bus != "virtual" && o.bus != "serial" && o.bus != "usb") {
                std::fprintf(stderr, "nordalis: --bus takes virtual, serial or usb\n");
                return 2;
            }
        }
        else if (a == "--no-splash") o.noSplash = true;
        else if (a == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        else rest << a;   // the program's own switches ("-DU")
    }
    o.commandLine = rest.join(' ');
    SetStartupOptions(o);
    InstallDesktop();

    switch (RunStartup()) {
    case StartupResult::Ok:
        break;
    case StartupResult::Ended:
        return 0;
    case StartupResult::AlreadyRunning:
        return 3;
    case StartupResult::Failed:
        ShowMessage(Translate("couldn't initialize, ending"), vbCritical, QString());
        return 1;
    }
    ShowMainMenu();
    return app.exec();
}
