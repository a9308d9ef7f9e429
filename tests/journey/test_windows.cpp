// Every window on the offscreen screen over a realistic site: grabbed to PNG (one picture per
// tab), no caption left empty or cut off, and the German example language file changes the
// captions.
#include "WindowsOnScreen.h"
#include "desktop/frmMainMenue.h"

#include <QFile>
#include <QLabel>
#include <QPushButton>

TEST_F(WindowsOnScreen, EveryWindowAndTabIsGrabbedWithItsCaptionsWhole)
{
    QStringList faults;
    for (const WindowEntry& e : Windows()) {
        SCOPED_TRACE(e.name.toStdString());
        std::unique_ptr<QWidget> w = e.open();
        ASSERT_TRUE(w);
        EXPECT_TRUE(w->isVisible());
        EXPECT_FALSE(w->windowTitle().isEmpty());
        faults << grabAll(e, w.get(), QString());
        w->hide();
    }
    EXPECT_TRUE(faults.isEmpty()) << faults.join("\n").toStdString();
    EXPECT_TRUE(messages.empty()) << shown().toStdString();
}

TEST_F(WindowsOnScreen, TheGermanExampleLanguageFileChangesTheCaptions)
{
    std::vector<QStringList> english;
    for (const WindowEntry& e : Windows()) {
        std::unique_ptr<QWidget> w = e.open();
        english.push_back(Captions(w.get()));
    }
    // The operator copies the shipped example into the application directory.
    const QString target = QDir(dir.path()).filePath("LANGUAGE.TXT");
    ASSERT_TRUE(QFile::copy(QStringLiteral(NORDALIS_SOURCE_DIR "/resources/examples/LANGUAGE.TXT"), target));
    ASSERT_TRUE(LoadLanguageFile("/LANGUAGE.TXT"));

    QStringList faults;
    for (size_t i = 0; i < Windows().size(); ++i) {
        const WindowEntry& e = Windows()[i];
        SCOPED_TRACE(e.name.toStdString());
        std::unique_ptr<QWidget> w = e.open();
        const QStringList german = Captions(w.get());
        int changed = 0;
        for (const QString& c : german)
            if (!english[i].contains(c)) ++changed;
        EXPECT_GT(changed, 0) << "no caption of " << e.name.toStdString() << " is translated";
        faults << grabAll(e, w.get(), "-de");
    }
    // The texts the windows asked for that the example file lacks, for whoever extends it.
    QFile missing(ScreenshotPath("untranslated-de.txt"));
    if (missing.open(QIODevice::WriteOnly | QIODevice::Truncate))
        missing.write(UntranslatedTexts().join("\n").toUtf8());
    // German captions are longer; they must still fit.
    EXPECT_TRUE(faults.isEmpty()) << faults.join("\n").toStdString();

    frmMainMenue menu;
    EXPECT_EQ(menu.cmdMenue[4]->text(), "&Beenden");
    EXPECT_EQ(menu.lblDescr[0]->text(), "&LOGGER AUSLESEN");
    EXPECT_EQ(menu.lblDescr[5]->text().left(10), QString::fromUtf8("Lagerräume"));
}

TEST(CaptionCheck, FindsCutOffAndEmptyCaptions)
{
    QWidget w;
    w.resize(300, 100);
    auto* narrow = new QLabel("a caption far too long for its place", &w);
    narrow->setObjectName("lblNarrow");
    narrow->setGeometry(0, 0, 40, 20);
    auto* blank = new QLabel(&w);
    blank->setObjectName("lblBlank");
    blank->setGeometry(0, 30, 100, 20);
    auto* button = new QPushButton("&Fits", &w);
    button->setObjectName("cmdFits");
    button->setGeometry(0, 60, 200, 30);
    w.show();
    QApplication::processEvents();
    const QStringList faults = CaptionFaults(&w, {});
    ASSERT_EQ(faults.size(), 2) << faults.join("\n").toStdString();
    EXPECT_TRUE(faults[0].startsWith("lblNarrow \"a caption far too long for its place\" is clipped"));
    EXPECT_EQ(faults[1], "lblBlank is empty");
    EXPECT_TRUE(CaptionFaults(&w, {"lblBlank", "lblNarrow"}).size() == 1);   // a clip is never allowed
}

TEST(LayoutCheck, FindsControlsOverEachOtherAndOutsideTheWindow)
{
    QWidget w;
    w.resize(300, 100);
    auto* first = new QLabel("first", &w);
    first->setObjectName("lblFirst");
    first->setGeometry(0, 0, 120, 20);
    auto* over = new QPushButton("over", &w);
    over->setObjectName("cmdOver");
    over->setGeometry(100, 5, 80, 30);
    auto* out = new QLabel("out", &w);
    out->setObjectName("lblOut");
    out->setGeometry(250, 80, 100, 30);
    auto* apart = new QLabel("apart", &w);
    apart->setObjectName("lblApart");
    apart->setGeometry(0, 50, 100, 20);
    w.show();
    QApplication::processEvents();
    const QStringList faults = LayoutFaults(&w);
    ASSERT_EQ(faults.size(), 2) << faults.join("\n").toStdString();
    EXPECT_TRUE(faults.filter("lblOut \"out\" lies outside the window").size() == 1);
    EXPECT_TRUE(faults.filter("overlap").size() == 1);
    EXPECT_TRUE(faults.filter("lblFirst").size() == 1 && faults.filter("cmdOver").size() == 1);
}
