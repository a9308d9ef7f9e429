#include "db/clsDatabase.h"
#include "WindowCatalogue.h"

#include "desktop/frmMainMenue.h"
#include "display/frmChart.h"
#include "reports/frmHTM.h"
#include "settings/frmOptions.h"
#include "app/modMain.h"
#include "programming/frmStartMission.h"
#include "reading/frmCopyImageFiles.h"
#include "reading/frmDownload.h"
#include "reading/frmDownloadMain.h"

#include <QTimer>
#include <QTreeWidget>

#include <QApplication>
#include <QDir>

namespace {
template <class W>
std::unique_ptr<QWidget> shown(std::unique_ptr<W> w, int width = 0, int height = 0)
{
    if (width > 0) w->resize(width, height);
    w->show();
    QApplication::processEvents();
    return w;
}
} // namespace

const std::vector<WindowEntry>& Windows()
{
    static const std::vector<WindowEntry> list = {
        {"main-menu", [] { return shown(std::make_unique<frmMainMenue>()); }, {}},
        {"data-display", [] { return shown(std::make_unique<frmChart>()); }, {},
         [](QWidget* w) {
             // The texts the graph drew: none over another, none off the picture.
             ChartWidget* graph = static_cast<frmChart*>(w)->Graph();
             if (!graph->isVisible()) return QStringList();
             QStringList faults;
             if (graph->DrawnTexts().empty()) faults << "the graph drew no text";
             for (const QString& f : TextLayoutFaults(graph->DrawnTexts(), graph->size())) faults << "graph: " + f;
             return faults;
         }},
        {"web-report-dialog",
         [] {
             // Opened from the data display, over its last query and its graph.
             frmChart chart;
             chart.show();
             QApplication::processEvents();
             return shown(std::make_unique<frmHTM>(chart.State(), chart.Graph()->Picture()));
         },
         {}},
        {"program-logger",
         [] {
             SetProgrammingPauseForTesting([](int) {});
             SetDateTimeSettingsOpenerForTesting([] { return false; });
             auto w = std::make_unique<frmStartMission>();
             w->Form_Load();
             return shown(std::move(w));
         },
         {}},
        {"copy-dialog",
         [] {
             // Logger files of the last days, to be copied to the removable media.
             return shown(std::make_unique<frmCopyImageFiles>(App().BackupDirectory,
                                                              QDir(App().ApplicationDirectory).filePath("media")));
         },
         {}},
        {"read-logger",
         [] {
             // One poll over the running logger in the cable, without reading it automatically.
             SetReadingWaitForTesting([](int) {});
             auto w = std::make_unique<frmDownloadMain>();
             w->mnuExtras1[1]->setChecked(false);
             w->show();
             w->timPollBus->stop();
             w->timPollBus_Timer();
             w->timPollBus->stop();
             QApplication::processEvents();
             return std::unique_ptr<QWidget>(std::move(w));
         },
         {}},
        {"reading-dialog",
         [] {
             // The reading of the running logger in the cable, as on its arrival.
             auto w = std::make_unique<frmDownload>();
             w->Form_Load();
             return shown(std::move(w));
         },
         {}},
        {"settings", [] { return shown(std::make_unique<frmOptions>(nullptr, &AppDatabase())); }, {}},
    };
    return list;
}
