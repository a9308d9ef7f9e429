// The screen check: every window and tab on a screen of the size NORDALIS_SCREEN names, in
// English and with the German example language file, as the program opens it there (no larger
// than the screen). Fails on captions cut off, controls lying over each other or outside their
// window, and texts of the graph drawn over each other. The test run starts it once per screen
// (screen_check_1366x768, screen_check_1920x1080, and a 4K screen at 200 %:
// screen_check_3840x2160); the pictures go to screenshots/.
#include "WindowsOnScreen.h"
#include "ui/WindowPlacement.h"

#include <QFile>
#include <QGuiApplication>
#include <QScreen>

namespace {
class ScreenCheck : public WindowsOnScreen {};
} // namespace

TEST_F(ScreenCheck, EveryWindowAndTabFitsWithNothingClippedOrOverlapping)
{
    const QString screenName = qEnvironmentVariable("NORDALIS_SCREEN");
    if (screenName.isEmpty()) GTEST_SKIP() << "runs as screen_check_<size>, on a screen of that size";
    QScreen* screen = QGuiApplication::primaryScreen();
    ASSERT_TRUE(screen);
    // The screen's size in device pixels (a 4K screen at 200 % offers 1920 x 1080 to the windows).
    const QSize pixels = screen->size() * screen->devicePixelRatio();
    ASSERT_EQ(QString("%1x%2").arg(pixels.width()).arg(pixels.height()), screenName);

    QStringList faults;
    for (const QString& language : {QStringLiteral("en"), QStringLiteral("de")}) {
        if (language == "de") {
            const QString target = QDir(dir.path()).filePath("LANGUAGE.TXT");
            ASSERT_TRUE(QFile::copy(QStringLiteral(NORDALIS_SOURCE_DIR "/resources/examples/LANGUAGE.TXT"), target));
            ASSERT_TRUE(LoadLanguageFile("/LANGUAGE.TXT"));
        }
        for (const WindowEntry& e : Windows()) {
            SCOPED_TRACE((e.name + " " + language).toStdString());
            std::unique_ptr<QWidget> w = e.open();
            ASSERT_TRUE(w);
            const QRect place = CentredPlacement(w->frameGeometry().size(), {}, screen->availableGeometry());
            if (place.size() != w->frameGeometry().size())
                w->resize(w->size() - (w->frameGeometry().size() - place.size()));
            w->move(place.topLeft());
            QApplication::processEvents();
            EXPECT_TRUE(screen->availableGeometry().contains(w->frameGeometry()))
                << e.name.toStdString() << " does not fit the screen";
            faults << grabAll(e, w.get(), "-" + screenName + "-" + language, true);
            w->hide();
        }
    }
    EXPECT_TRUE(faults.isEmpty()) << faults.join("\n").toStdString();
}
