// Shared entry point of the test programs: a QApplication on the offscreen platform, so that
// widgets, images, fonts and printers work without a display.
#include "app/WindowHooks.h"
#include "desktop/frmMainMenue.h"
#include "reports/ChartExportHandlers.h"
#include "simulator/VirtualBus.h"

#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? QByteArray("offscreen") : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    // What the desktop program installs at start-up, without its message boxes: the tests answer
    // those themselves.
    RegisterVirtualLink();
    SetMainMenuHook([] { ShowMainMenu(); });
    SetChartExportHandlers(DefaultChartExportHandlers());
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
