// Where the windows open: centred over the main menu the first time, where the operator left
// them afterwards, never off the screen; and the restricted mode named in every title.
#include "app/modMain.h"
#include "app/modRegistry.h"
#include "ui/WindowPlacement.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QScreen>
#include <QTemporaryDir>
#include <QWidget>

TEST(WindowPlacement, CentresOverTheOwnerAndKeepsInsideTheScreen)
{
    const QRect screen(0, 0, 1366, 768);
    EXPECT_EQ(CentredPlacement({400, 300}, QRect(100, 100, 200, 100), screen), QRect(0, 0, 400, 300));
    EXPECT_EQ(CentredPlacement({400, 300}, QRect(500, 200, 400, 300), screen), QRect(500, 200, 400, 300));
    EXPECT_EQ(CentredPlacement({400, 300}, {}, screen), QRect(483, 234, 400, 300));
    // Too large for the screen: shrunk to it.
    EXPECT_EQ(CentredPlacement({1600, 900}, {}, screen), screen);
    // Over a main menu at the right edge: moved back in.
    EXPECT_EQ(CentredPlacement({800, 600}, QRect(1200, 600, 160, 160), screen), QRect(566, 168, 800, 600));
}

TEST(WindowPlacement, TheRestrictedModeMarkIsAddedOnce)
{
    const QString marked = MarkedWindowTitle("NORDALIS READ LOGGER", true);
    EXPECT_TRUE(marked.startsWith("NORDALIS READ LOGGER"));
    EXPECT_TRUE(marked.endsWith("restricted mode"));
    EXPECT_EQ(MarkedWindowTitle(marked, true), marked);
    EXPECT_EQ(MarkedWindowTitle(marked, false), "NORDALIS READ LOGGER");
}

class PlacedWindows : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetRegistryFile(dir.filePath("registry.ini"));
        InstallWindowPlacement();
    }
    void TearDown() override
    {
        RemoveWindowPlacement();
        App().RestrictedMode = false;
        SetRegistryFile(QString());
    }
    QTemporaryDir dir;
};

TEST_F(PlacedWindows, AWindowReopensWhereItWasLeft)
{
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    for (QWidget* other : QApplication::topLevelWidgets()) other->hide();   // left by earlier tests
    QWidget menu(nullptr, Qt::Window);
    menu.setObjectName("frmMainMenue");
    menu.resize(200, 150);
    menu.show();
    QApplication::processEvents();
    {
        QWidget first(nullptr, Qt::Window);
        first.setObjectName("frmChart");
        first.resize(300, 200);
        first.show();
        QApplication::processEvents();
        // The first time: centred over the main menu.
        EXPECT_LE(std::abs(first.frameGeometry().center().x() - menu.frameGeometry().center().x()), 2);
        EXPECT_LE(std::abs(first.frameGeometry().center().y() - menu.frameGeometry().center().y()), 2);
        first.move(screen.topLeft() + QPoint(10, 20));
        first.resize(320, 210);
        QApplication::processEvents();
        first.close();
    }
    EXPECT_EQ(StoredWindowGeometry("frmChart").size(), QSize(320, 210));
    QWidget again(nullptr, Qt::Window);
    again.setObjectName("frmChart");
    again.resize(300, 200);
    again.show();
    QApplication::processEvents();
    EXPECT_EQ(again.size(), QSize(320, 210));
    EXPECT_EQ(again.pos(), screen.topLeft() + QPoint(10, 20));

    // The main menu comes back to its place, in its design size.
    menu.move(screen.topLeft() + QPoint(30, 40));
    menu.resize(400, 300);
    QApplication::processEvents();
    menu.hide();
    QWidget menuAgain(nullptr, Qt::Window);
    menuAgain.setObjectName("frmMainMenue");
    menuAgain.resize(200, 150);
    menuAgain.show();
    QApplication::processEvents();
    EXPECT_EQ(menuAgain.pos(), screen.topLeft() + QPoint(30, 40));
    EXPECT_EQ(menuAgain.size(), QSize(200, 150));

    // A place on no screen any more (a monitor gone): centred again.
    StoreWindowGeometry("frmOptions", QRect(screen.right() + 5000, 0, 300, 200));
    QWidget lost(nullptr, Qt::Window);
    lost.setObjectName("frmOptions");
    lost.resize(300, 200);
    lost.show();
    QApplication::processEvents();
    EXPECT_TRUE(screen.intersects(lost.frameGeometry()));
}

TEST_F(PlacedWindows, EveryWindowTitleNamesTheRestrictedMode)
{
    App().RestrictedMode = true;
    QWidget w(nullptr, Qt::Window);
    w.setObjectName("frmDownloadMain");
    w.setWindowTitle("NORDALIS READ LOGGER");
    w.show();
    QApplication::processEvents();
    EXPECT_EQ(w.windowTitle(), MarkedWindowTitle("NORDALIS READ LOGGER", true));
    w.setWindowTitle(" logger ID 123 connected");   // a window that changes its title later
    EXPECT_EQ(w.windowTitle(), MarkedWindowTitle(" logger ID 123 connected", true));
}
