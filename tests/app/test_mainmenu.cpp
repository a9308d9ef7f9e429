// The main menu: its controls, restricted mode, the working windows and the way back, and the
// German example language file on it.
#include "app/WindowHooks.h"
#include "ui/WindowRoutines.h"
#include "app/Resources.h"
#include "support/Screenshots.h"
#include "desktop/frmMainMenue.h"
#include "desktop/frmSplash.h"
#include "app/modInternationalisation.h"
#include "app/modMain.h"
#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <gtest/gtest.h>

TEST(MainMenu, ControlsCaptionAndScreenshot)
{
    App().RestrictedMode = false;
    frmMainMenue m;
    EXPECT_EQ(m.size(), QSize(470, 330));
    EXPECT_TRUE(m.windowTitle().startsWith("NORDALIS Standard V"));
    EXPECT_EQ(m.cmdMenue[3]->text(), "&Help");
    EXPECT_EQ(m.cmdMenue[4]->text(), "&End");
    EXPECT_EQ(m.lblDescr[0]->text(), "&READ LOGGER");
    EXPECT_EQ(m.lblDescr[2]->text(), "&DISPLAY DATA");
    EXPECT_EQ(m.lblDescr[4]->text(), "&SETTINGS");
    EXPECT_FALSE(m.cmdMenue[0]->icon().isNull());
    EXPECT_TRUE(m.cmdMenue[2]->isEnabled());
    EXPECT_NE(m.findChild<QGroupBox*>("fraBorder"), nullptr);
    m.show();
    QApplication::processEvents();
    const QImage shot = m.grab().toImage();
    EXPECT_EQ(shot.size(), QSize(470, 330));
    EXPECT_TRUE(shot.save(ScreenshotPath("main-menu.png")));
}

TEST(MainMenu, RestrictedModeDisablesSettingsOnly)
{
    App().RestrictedMode = true;
    frmMainMenue m;
    EXPECT_FALSE(m.cmdMenue[2]->isEnabled());
    EXPECT_FALSE(m.lblDescr[4]->isEnabled());
    EXPECT_FALSE(m.lblDescr[5]->isEnabled());
    EXPECT_TRUE(m.cmdMenue[0]->isEnabled());
    EXPECT_TRUE(m.cmdMenue[1]->isEnabled());
    m.cmdMenue_Click(2);
    EXPECT_EQ(m.workingWindow(2), nullptr);
    App().RestrictedMode = false;
}

TEST(MainMenu, WorkingWindowHidesMenuAndClosingBringsItBack)
{
    App().RestrictedMode = false;
    frmMainMenue& m = MainMenu();
    ShowMainMenu();
    // Without a factory: an empty stand-in window of that name.
    m.cmdMenue_Click(1);
    QWidget* w = m.workingWindow(1);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->windowTitle(), "NORDALIS DATA DISPLAY");
    EXPECT_TRUE(w->isVisible());
    EXPECT_FALSE(m.isVisible());
    w->close();
    QApplication::processEvents();
    EXPECT_TRUE(m.isVisible());

    // A window that refuses to close keeps the menu hidden.
    struct Stubborn : QWidget {
        bool allow = false;
        void closeEvent(QCloseEvent* e) override { if (allow) e->accept(); else e->ignore(); }
    };
    Stubborn* s = nullptr;
    SetWorkingWindowFactory(0, [&s] { s = new Stubborn; return s; });
    m.cmdMenue_Click(0);
    ASSERT_EQ(m.workingWindow(0), s);
    s->close();
    QApplication::processEvents();
    EXPECT_FALSE(m.isVisible());
    s->allow = true;
    s->close();
    QApplication::processEvents();
    EXPECT_TRUE(m.isVisible());
    // The same window object is used again.
    m.cmdMenue_Click(0);
    EXPECT_EQ(m.workingWindow(0), s);
    s->close();
    QApplication::processEvents();
    SetWorkingWindowFactory(0, nullptr);
    delete s;
}

TEST(Splash, VersionTextAndMissingPicture)
{
    QTemporaryDir dir;
    App().SplashPicture = dir.path() + "/";
    frmSplash s;
    EXPECT_EQ(s.lblDescr[1]->text(), "Standard\nV " + QString("%1.%2.%3").arg(NORDALIS_VERSION_MAJOR).arg(NORDALIS_VERSION_MINOR).arg(NORDALIS_VERSION_PATCH));
    EXPECT_EQ(s.lblDescr[0]->text(), "Welcome to");
    EXPECT_FALSE(s.pictureLoaded());
    EXPECT_EQ(s.picSplash->pos(), QPoint(39, 267));
    InitNordalisResources();
    App().SplashPicture = ":/home/nordalis.bmp";
    frmSplash s2;
    EXPECT_TRUE(s2.pictureLoaded());
}

TEST(Windows, ScaleFormScalesPlacedControls)
{
    QWidget w;
    w.resize(100, 100);
    auto* child = new QLabel("x", &w);
    child->setGeometry(10, 10, 20, 20);
    ScaleForm(&w, 200, 50);
    EXPECT_EQ(w.size(), QSize(200, 50));
    EXPECT_EQ(child->geometry(), QRect(20, 5, 40, 10));
    ScaleForm(&w, 200, 50);   // the design size again: nothing moves
    EXPECT_EQ(child->geometry(), QRect(20, 5, 40, 10));
}
