#include "desktop/DesktopStartup.h"
#include "app/WindowHooks.h"
#include "desktop/Startup.h"
#include "desktop/frmMainMenue.h"
#include "desktop/frmSplash.h"
#include "display/frmChart.h"
#include "programming/frmStartMission.h"
#include "reading/frmCopyImageFiles.h"
#include "reading/frmDownloadMain.h"
#include "reports/ChartExportHandlers.h"
#include "settings/frmOptions.h"
#include "ui/WidgetUserInterface.h"
#include "ui/WindowPlacement.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QPointer>
#include <QTimer>

namespace {
QPointer<frmSplash>& splash()
{
    static QPointer<frmSplash> s;
    return s;
}
} // namespace

void InstallDesktop()
{
    InstallWidgetUserInterface();
    InstallWindowPlacement();
    StartupWindows w;
    w.ShowSplash = [] {
        splash() = new frmSplash();
        splash()->setAttribute(Qt::WA_DeleteOnClose);
        splash()->show();
        splash()->repaint();
        QCoreApplication::processEvents();
    };
    w.HoldSplash = [] {
        if (!splash() || !splash()->isVisible()) return;
        QEventLoop wait;
        QTimer::singleShot(4000, &wait, &QEventLoop::quit);
        QObject::connect(splash(), &frmSplash::dismissed, &wait, &QEventLoop::quit);
        wait.exec();
    };
    w.ShowMainMenu = [] {
        MainMenu();
        if (splash()) splash()->close();
    };
    SetStartupWindows(std::move(w));
    SetMainMenuHook([] { ShowMainMenu(); });
    SetChartExportHandlers(DefaultChartExportHandlers());
    InstallReadingWindows();
    InstallChartWindow();
    InstallOptionsWindow();
    InstallProgrammingWindows();
    InstallCopyImageFilesDialog();
}
