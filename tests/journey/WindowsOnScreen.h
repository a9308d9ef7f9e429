#pragma once
// An installed application directory over the bench's site, for the tests that put every window
// on the screen.
#include "desktop/Installer.h"
#include "support/Screenshots.h"
#include "support/VirtualBenchFixture.h"
#include "ScreenFaults.h"
#include "WindowCatalogue.h"

#include <QApplication>
#include <QTabWidget>

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
    // With `layout`, also the controls that overlap or lie outside the window.
    QStringList grabAll(const WindowEntry& e, QWidget* w, const QString& suffix, bool layout = false)
    {
        QStringList faults;
        auto grab = [&](const QString& name) {
            QApplication::processEvents();
            const QImage picture = w->grab().toImage();
            EXPECT_FALSE(picture.isNull()) << name.toStdString();
            EXPECT_TRUE(picture.save(ScreenshotPath("smoke-" + name + suffix + ".png"))) << name.toStdString();
            for (const QString& f : CaptionFaults(w, e.mayBeEmpty)) faults << name + ": " + f;
            if (layout) {
                for (const QString& f : LayoutFaults(w)) faults << name + ": " + f;
                if (e.extraFaults)
                    for (const QString& f : e.extraFaults(w)) faults << name + ": " + f;
            }
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
