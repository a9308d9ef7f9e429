// Every window on the offscreen screen over a realistic site: grabbed to PNG (one picture per
// tab), no caption left empty or cut off, and the German example language file changes the
// captions.
#include "desktop/Installer.h"
#include "support/Screenshots.h"
#include "support/VirtualBenchFixture.h"
#include "WindowCatalogue.h"
#include "desktop/frmMainMenue.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>

namespace {
bool reallyVisible(const QWidget* w, const QWidget* top)
{
    for (const QWidget* p = w; p && p != top; p = p->parentWidget())
        if (!p->isVisible()) return false;
    return true;
}

// Captions that are empty or wider than the room they were given.
QStringList CaptionFaults(QWidget* window, const QStringList& mayBeEmpty)
{
    QStringList faults;
    for (QLabel* l : window->findChildren<QLabel*>()) {
        if (!reallyVisible(l, window) || l->objectName().isEmpty() || l->objectName().startsWith("qt_")) continue;
        if (!l->pixmap().isNull() || !l->picture().isNull()) continue;
        if (l->text().trimmed().isEmpty()) {
            if (!mayBeEmpty.contains(l->objectName())) faults << l->objectName() + " is empty";
        } else if (!l->wordWrap() && l->sizeHint().width() > l->width() + 1) {
            faults << QString("%1 \"%2\" is clipped (%3 > %4)")
                          .arg(l->objectName(), l->text()).arg(l->sizeHint().width()).arg(l->width());
        } else if (l->wordWrap() && l->heightForWidth(l->width()) > l->height() + 1) {
            faults << QString("%1 \"%2\" is cut off at the bottom (%3 > %4)")
                          .arg(l->objectName(), l->text()).arg(l->heightForWidth(l->width())).arg(l->height());
        }
    }
    for (QTabBar* bar : window->findChildren<QTabBar*>()) {
        // The bar shows its scroll arrows when the tab captions are wider than the bar.
        if (!reallyVisible(bar, window)) continue;
        bool arrows = false;
        for (QAbstractButton* arrow : bar->findChildren<QAbstractButton*>(Qt::FindDirectChildrenOnly))
            arrows = arrows || arrow->isVisible();
        if (arrows)
            faults << QString("tab captions of %1 do not fit its width of %2")
                          .arg(bar->parentWidget() ? bar->parentWidget()->objectName() : QString())
                          .arg(bar->width());
    }
    for (QAbstractButton* b : window->findChildren<QAbstractButton*>()) {
        if (!reallyVisible(b, window) || b->objectName().isEmpty() || b->objectName().startsWith("qt_")) continue;
        if (qobject_cast<QTabBar*>(b->parentWidget())) continue;   // the tab bar's own arrows
        if (b->text().isEmpty() && b->icon().isNull()) {
            if (!mayBeEmpty.contains(b->objectName())) faults << b->objectName() + " has no caption";
        } else if (!b->text().isEmpty() && b->sizeHint().width() > b->width() + 1) {
            faults << QString("%1 \"%2\" is clipped (%3 > %4)")
                          .arg(b->objectName(), b->text()).arg(b->sizeHint().width()).arg(b->width());
        }
    }
    return faults;
}

// Every caption of a window: title, labels, buttons, frames, tabs.
QStringList Captions(QWidget* window)
{
    QStringList out{window->windowTitle()};
    for (QLabel* l : window->findChildren<QLabel*>()) out << l->text();
    for (QAbstractButton* b : window->findChildren<QAbstractButton*>()) out << b->text();
    for (QGroupBox* g : window->findChildren<QGroupBox*>()) out << g->title();
    for (QTabWidget* t : window->findChildren<QTabWidget*>())
        for (int i = 0; i < t->count(); ++i) out << t->tabText(i);
    out.removeAll(QString());
    return out;
}

// An installed application directory over the bench's site: three loggers with a week of
// quarter-hour samples each (a daily swing, one warm spell), the logger in the cable running a
// mission and read on each of the last three days.
class WindowsOnScreen : public ReadingBench {
protected:
    void SetUp() override
    {
        ReadingBench::SetUp();
        QString error;
        ASSERT_TRUE(InstallApplicationDirectory(dir.path(), &error)) << error.toStdString();
        App().ApplicationDirectory = dir.path();
        const QDateTime from = utc(2026, 11, 28);
        for (const auto& [id, description, base] : {std::tuple{1200701, "Shelf by the door", 3.5},
                                                    std::tuple{1200702, "Back wall", 4.0},
                                                    std::tuple{1200201, "Freezer chest", -20.0}}) {
            addDevice(id, description, true, base > 0 ? 8 : -15, base > 0 ? 2 : -25);
            addSamples(id, from, 7 * 96, 900, [base = base](int i) {
                const int q = i % 96;
                return base + (q < 48 ? q : 96 - q) / 24.0 + ((i / 96 == 3 && q > 40 && q < 52) ? 5.0 : 0.0);
            });
        }
        db->SetParameter("ChartDateFrom", DbValue(QString("2026-11-28 00:00:00")));
        db->SetParameter("ChartDateTo", DbValue(QString("2026-12-05 00:00:00")));
        addLogger();
        ASSERT_EQ(program(openSettings()), ProgrammingOutcome::Running) << lastRefusal.toStdString();
        qint32 rc = -1;
        AppLogger().ReadImageFromLogger(false, rc);
        ASSERT_EQ(rc, 0);
        for (int day = 0; day < 3; ++day)
            for (int n = 0; n <= day; ++n) {
                AppLogger().WriteLoggerImageToFile(clsDS1921Data::LoggerFilePath(App().BackupDirectory, AppLogger().SerialNo(),
                                                                                 NowLocal().addDays(-day).addSecs(-600 * n)), rc);
                ASSERT_EQ(rc, 0);
            }
        AppLogger().objDeviceFound.reset();
        messages.clear();
    }
    void TearDown() override
    {
        UnloadLanguage();
        ReadingBench::TearDown();
    }
    QString shown() const
    {
        QStringList out;
        for (const RecordedMessage& m : messages) out << m.title + ": " + m.prompt;
        return out.join("\n");
    }
    // Grabs the window and each of its tabs; returns the caption faults found on any of them.
    QStringList grabAll(const WindowEntry& e, QWidget* w, const QString& suffix)
    {
        QStringList faults;
        auto grab = [&](const QString& name) {
            QApplication::processEvents();
            const QImage picture = w->grab().toImage();
            EXPECT_FALSE(picture.isNull()) << name.toStdString();
            EXPECT_TRUE(picture.save(ScreenshotPath("smoke-" + name + suffix + ".png"))) << name.toStdString();
            for (const QString& f : CaptionFaults(w, e.mayBeEmpty)) faults << name + ": " + f;
        };
        QTabWidget* tabs = nullptr;
        for (QTabWidget* t : w->findChildren<QTabWidget*>())
            if (t->parentWidget() && !tabs) tabs = t;
        if (!tabs) {
            grab(e.name);
            return faults;
        }
        for (int i = 0; i < tabs->count(); ++i) {
            tabs->setCurrentIndex(i);
            grab(QString("%1-tab%2").arg(e.name).arg(i));
        }
        return faults;
    }
};
} // namespace

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
