// Every window of the program opened on a realistic site under the offscreen platform, in English
// and with the example German language file: grabbed to build/screenshots/smoke-<name>.png and
// <name>-de.png, no label or button that carries a caption left empty or cut off, and the
// language file changing the captions. One line of the window table adds a window.
#include "app/Installer.h"
#include "app/Startup.h"
#include "app/frmMainMenue.h"
#include "app/modInternationalisation.h"
#include "app/modMain.h"
#include "app/modRegistry.h"
#include "db/clsDatabase.h"
#include "display/frmChart.h"
#include "image/clsDS1921Data.h"
#include "onewire/BusWait.h"
#include "onewire/Tmex.h"
#include "onewire/VirtualBus.h"
#include "onewire/VirtualDs1921.h"
#include "onewire/VirtualWorld.h"
#include "programming/frmStartMission.h"
#include "reading/frmCopyImageFiles.h"
#include "reports/frmHTM.h"
#include "settings/frmOptions.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <cmath>
#include <functional>
#include <gtest/gtest.h>
#include <memory>

namespace {

constexpr int kSite = 4711;
QString copyDestination;   // the copy dialog's destination folder of the running test

// A window under test and whatever must live as long as it.
struct OpenWindow {
    std::shared_ptr<QWidget> keep;   // an owner (e.g. the data display behind its report dialog)
    std::unique_ptr<QWidget> window;
};

class WindowSmoke : public ::testing::Test {
protected:
    QTemporaryDir tmp;
    std::shared_ptr<VirtualWorld> world;
    qint64 realNow = QDateTime(QDate(2026, 3, 9), QTime(9, 30), Qt::UTC).toMSecsSinceEpoch();
    QStringList messages;

    void SetUp() override
    {
        const QString home = tmp.filePath("home");
        SetRegistryFile(tmp.filePath("registry.ini"));
        QString error;
        ASSERT_TRUE(InstallApplicationDirectory(home, &error)) << error.toStdString();
        SetApplicationDirectories(home);
        App().ApplicationDirectory = home;
        App().LocationID = kSite;
        App().LocationDescr = "Nordhafen cold store";
        App().CurrentUserName = "Ann";
        App().UtcBias = -60;
        ResetAppDatabase();
        SetMessageHandler([this](const QString& p, int style, const QString& t) {
            messages << t + ": " + p;
            return (style & 0x0F) == vbYesNo ? int(vbNo) : int(vbOK);
        });
        SetProgrammingPauseForTesting([](int) {});
        SetDateTimeSettingsOpenerForTesting([] { return false; });

        // The virtual bench: cable and a logger that has been recording for a week.
        VirtualClock::SetRealTimeForTesting([this] { return realNow; });
        SetBusWaitForTesting([](int) {});
        TmexShutdown();
        world = VirtualWorld::ForFile(QDir(home).filePath("virtual-bus.json"));
        auto w = world;
        SetLinkFactoryForTesting([w](int, int) { return std::make_unique<VirtualBus>(w); });
        VirtualBus::InstallProgramClock(world);
        ASSERT_TRUE(world->addCable(nullptr, &error)) << error.toStdString();
        ASSERT_TRUE(world->addLogger(Ds1921Variant::G, nullptr, &error)) << error.toStdString();
        world->save();

        // The site: two compartments, three loggers, a week of samples every 15 minutes.
        clsDatabase& db = AppDatabase();
        db.SetParameter("LocationID", DbValue(kSite));
        db.ExecuteSQL("INSERT INTO rooms VALUES (1, 'freezer', 1), (2, 'cooler', 2)");
        const QDateTime from(QDate(2026, 3, 2), QTime(0, 0), Qt::UTC);
        const struct { qint32 id; const char* serial; const char* description; double base; } loggers[] = {
            {kSite * 100000 + 101, "0012345678", "door left", -18.0},
            {kSite * 100000 + 102, "0012345679", "door right", -17.5},
            {kSite * 100000 + 201, "0098765432", "shelf", 4.0},
        };
        db.BeginTransaction();
        for (const auto& l : loggers) {
            db.ExecuteSQL("INSERT INTO devices (DeviceID, SerialNo, DeviceDescription, DateRead, NextReading, SampleRate, "
                          "AlarmHigh, AlarmLow, RollOver, MissionRunning, \"User\") VALUES (?, ?, ?, ?, ?, 15, ?, ?, 1, 1, 'Ann')",
                          {DbValue(l.id), DbValue(QString(l.serial)), DbValue(QString(l.description)),
                           DbValue(from.addDays(7)), DbValue(from.addDays(7 + 21)), DbValue(l.base + 4), DbValue(l.base - 4)});
            for (int i = 0; i < 7 * 96; ++i)
                db.ExecuteSQL("INSERT INTO samples VALUES (?, ?, ?)",
                              {DbValue(l.id), DbValue(ToEpochSeconds(from.addSecs(900LL * i))),
                               DbValue(l.base + 1.5 * std::sin(i / 15.3) + (i % 5) * 0.1)});
        }
        db.CommitTransaction(1);
        db.SetParameter("ChartDateFrom", DbValue(QString("2026-03-02 01:00:00")));
        db.SetParameter("ChartDateTo", DbValue(QString("2026-03-09 00:45:00")));
        db.CloseDB();

        // Logger files of three days in the backup folder, for the copy dialog.
        for (int d = 0; d < 3; ++d)
            for (const char* serial : {"0012345678", "0098765432"}) {
                const QDateTime t(QDate(2026, 3, 2 + 3 * d), QTime(10, 15), Qt::UTC);
                QFile f(clsDS1921Data::LoggerFilePath(App().BackupDirectory, serial, t));
                ASSERT_TRUE(f.open(QIODevice::WriteOnly));
                f.write(QByteArray(3000, '\x01'));
                f.flush();
                ASSERT_TRUE(f.setFileTime(t, QFileDevice::FileModificationTime));
                f.close();
            }
        QDir().mkpath(tmp.filePath("media/NORDALIS backup"));
        copyDestination = tmp.filePath("media/NORDALIS backup");
    }

    void TearDown() override
    {
        UnloadLanguage();
        AppDatabase().CloseDB();
        AppLogger().objDeviceFound.reset();
        AppLogger().objBus.reset();
        TmexShutdown();
        ResetAppDatabase();
        SetLinkFactoryForTesting({});
        SetBusWaitForTesting({});
        SetClockForTesting({});
        VirtualClock::SetRealTimeForTesting({});
        SetProgrammingPauseForTesting({});
        SetDateTimeSettingsOpenerForTesting({});
        SetMessageHandler(nullptr);
        SetRegistryFile(QString());
        world.reset();
    }
};

OpenWindow Options(int tab)
{
    OpenWindow o;
    auto* w = new frmOptions(nullptr, nullptr);
    w->tabOptions->setCurrentIndex(tab);
    o.window.reset(w);
    return o;
}

// ---------------------------------------------------------------- the window table
struct WindowCase {
    const char* name;                       // screenshot name
    std::function<OpenWindow()> open;       // creates the window (not shown yet)
    QSize size;                             // size it is shown at (empty: its own)
};

const std::vector<WindowCase>& WindowTable()
{
    static const std::vector<WindowCase> table = {
        {"main-menu", [] { return OpenWindow{nullptr, std::make_unique<frmMainMenue>()}; }, {}},
        {"data-display", [] { return OpenWindow{nullptr, std::make_unique<frmChart>()}; }, {1100, 760}},
        {"web-report", [] {
             auto chart = std::make_shared<frmChart>();
             chart->resize(1100, 760);
             chart->show();
             QApplication::processEvents();
             auto dialog = std::make_unique<frmHTM>(chart->State(), chart->Graph()->Picture());
             return OpenWindow{chart, std::move(dialog)};
         }, {}},
        {"settings-structure", [] { return Options(frmOptions::tabStructure); }, {}},
        {"settings-directories", [] { return Options(frmOptions::tabDirectories); }, {}},
        {"settings-interface", [] { return Options(frmOptions::tabInterface); }, {}},
        {"settings-loggerfiles", [] { return Options(frmOptions::tabLoggerFiles); }, {}},
        {"settings-database", [] { return Options(frmOptions::tabDatabase); }, {}},
        {"copy-dialog", [] {
             return OpenWindow{nullptr, std::make_unique<frmCopyImageFiles>(App().BackupDirectory, copyDestination)};
         }, {}},
        {"program-logger", [] {
             auto w = std::make_unique<frmStartMission>();
             w->show();
             EXPECT_TRUE(w->Form_Load());
             return OpenWindow{nullptr, std::move(w)};
         }, {}},
    };
    return table;
}

// ---------------------------------------------------------------- checks
QString ScreenshotFolder()
{
    const QString folder = QStringLiteral(NORDALIS_BINARY_DIR) + "/screenshots";
    QDir().mkpath(folder);
    return folder;
}

// Every caption the window shows now: title, labels, buttons, group boxes and tabs.
QStringList Captions(QWidget* w)
{
    QStringList out{w->windowTitle()};
    for (QLabel* l : w->findChildren<QLabel*>()) out << l->text();
    for (QAbstractButton* b : w->findChildren<QAbstractButton*>()) out << b->text();
    for (QGroupBox* g : w->findChildren<QGroupBox*>()) out << g->title();
    for (QTabWidget* t : w->findChildren<QTabWidget*>())
        for (int i = 0; i < t->count(); ++i) out << t->tabText(i);
    out.removeAll(QString());
    return out;
}

// Labels and buttons on screen whose caption is missing or does not fit. Labels that show a
// picture, and those the window fills only with values (object names starting "lblValue",
// "lblStatus" or ending in "Value"), may be empty.
QStringList LabelFaults(QWidget* w, int* checked)
{
    QStringList faults;
    *checked = 0;
    auto name = [](QWidget* c) { return c->objectName().isEmpty() ? QString(c->metaObject()->className()) : c->objectName(); };
    for (QLabel* l : w->findChildren<QLabel*>()) {
        if (!l->isVisibleTo(w) || l->width() <= 0) continue;
        if (!l->pixmap().isNull() || l->objectName().isEmpty()) continue;   // pictures and layout helpers
        ++*checked;
        if (l->text().trimmed().isEmpty()) {
            if (!l->objectName().startsWith("lbl")) continue;   // not a caption label
            faults << name(l) + ": empty";
            continue;
        }
        if (l->wordWrap()) {
            if (l->heightForWidth(l->width()) > l->height() + 1) faults << name(l) + ": \"" + l->text() + "\" cut off (height)";
        } else if (l->sizeHint().width() > l->width()) {
            faults << name(l) + ": \"" + l->text() + "\" cut off (" + QString::number(l->sizeHint().width()) + " > " +
                          QString::number(l->width()) + ")";
        }
    }
    for (QAbstractButton* b : w->findChildren<QAbstractButton*>()) {
        if (!b->isVisibleTo(w) || b->objectName().isEmpty() || !b->icon().isNull()) continue;
        if (b->text().trimmed().isEmpty()) continue;   // symbol buttons without a caption
        ++*checked;
        if (b->sizeHint().width() > b->width() + 1)
            faults << name(b) + ": \"" + b->text() + "\" cut off (" + QString::number(b->sizeHint().width()) + " > " +
                          QString::number(b->width()) + ")";
    }
    // Tab captions must all fit beside each other (no scroll arrows).
    for (QTabBar* bar : w->findChildren<QTabBar*>()) {
        if (!bar->isVisibleTo(w) || bar->count() == 0) continue;
        ++*checked;
        const int needed = bar->sizeHint().width();   // every tab at its full width
        const QWidget* host = bar->parentWidget() ? bar->parentWidget() : bar;
        if (needed > host->width()) {
            QStringList tabs;
            for (int i = 0; i < bar->count(); ++i) tabs << bar->tabText(i);
            faults << QString("tabs \"%1\" do not fit (%2 > %3)").arg(tabs.join("\", \"")).arg(needed).arg(host->width());
        }
    }
    return faults;
}

struct Shown {
    QStringList captions;
    QStringList faults;
    int checked = 0;   // labels and buttons looked at
};

Shown ShowAndGrab(const WindowCase& c, const QString& suffix)
{
    OpenWindow o = c.open();
    QWidget* w = o.window.get();
    EXPECT_TRUE(w) << c.name;
    if (!w) return {};
    if (c.size.isValid()) w->resize(c.size);
    w->show();
    QApplication::processEvents();
    const QString file = ScreenshotFolder() + "/smoke-" + c.name + suffix + ".png";
    EXPECT_TRUE(w->grab().save(file)) << file.toStdString();
    Shown s;
    s.captions = Captions(w);
    s.faults = LabelFaults(w, &s.checked);
    w->close();
    QApplication::processEvents();
    return s;
}

} // namespace

TEST_F(WindowSmoke, EveryWindowShowsItsCaptionsInEnglishAndGerman)
{
    const QString german = QStringLiteral(NORDALIS_SOURCE_DIR) + "/resources/examples/LANGUAGE.TXT";
    QStringList untranslated;   // texts the example file has no translation for (listed, not a fault)
    for (const WindowCase& c : WindowTable()) {
        SCOPED_TRACE(c.name);
        UnloadLanguage();
        const Shown english = ShowAndGrab(c, "");
        EXPECT_TRUE(english.faults.isEmpty()) << english.faults.join("\n").toStdString();
        EXPECT_FALSE(english.captions.isEmpty());
        EXPECT_GE(english.checked, 3) << "hardly any caption on screen";

        ASSERT_TRUE(LoadLanguageFileFrom(german));
        const Shown translated = ShowAndGrab(c, "-de");
        EXPECT_TRUE(translated.faults.isEmpty()) << translated.faults.join("\n").toStdString();
        int changed = 0;
        for (const QString& t : translated.captions)
            if (!english.captions.contains(t)) ++changed;
        EXPECT_GT(changed, 0) << "the language file changed no caption";
        untranslated += UntranslatedTexts();
    }
    EXPECT_TRUE(messages.isEmpty()) << messages.join("\n").toStdString();
    untranslated.removeDuplicates();
    std::printf("texts of the windows without a German translation in the example file: %d\n", int(untranslated.size()));
    if (qEnvironmentVariableIsSet("NORDALIS_LIST_UNTRANSLATED"))
        for (const QString& t : untranslated) std::printf("  %s\n", qPrintable(t));
}

// The checks themselves: a caption label left empty, one cut off and tabs that do not fit are found.
TEST(WindowChecks, FindEmptyAndCutOffCaptions)
{
    QWidget w;
    w.resize(400, 200);
    auto* fits = new QLabel("fits", &w);
    fits->setObjectName("lblFits");
    fits->setGeometry(10, 10, 200, 20);
    auto* empty = new QLabel(QString(), &w);
    empty->setObjectName("lblEmpty");
    empty->setGeometry(10, 40, 200, 20);
    auto* cut = new QLabel("a caption far too long for its place", &w);
    cut->setObjectName("lblCut");
    cut->setGeometry(10, 70, 30, 20);
    auto* tabs = new QTabWidget(&w);
    tabs->setGeometry(10, 100, 120, 60);
    tabs->addTab(new QWidget, "first long caption");
    tabs->addTab(new QWidget, "second long caption");
    w.show();
    QApplication::processEvents();
    int checked = 0;
    const QStringList faults = LabelFaults(&w, &checked);
    EXPECT_EQ(checked, 4);
    ASSERT_EQ(faults.size(), 3) << faults.join("\n").toStdString();
    EXPECT_TRUE(faults[2].startsWith("tabs \"first long caption\", \"second long caption\" do not fit"));
    EXPECT_TRUE(faults[0].startsWith("lblEmpty: empty"));
    EXPECT_TRUE(faults[1].startsWith("lblCut: \"a caption far too long for its place\" cut off"));
}
