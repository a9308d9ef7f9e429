#include "WindowCatalogue.h"

#include "app/frmMainMenue.h"
#include "display/frmChart.h"
#include "reports/frmHTM.h"
#include "settings/frmOptions.h"
#include "app/modMain.h"
#include "programming/frmStartMission.h"
#include "reading/frmCopyImageFiles.h"

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
        {"data-display", [] { return shown(std::make_unique<frmChart>(), 1000, 720); }, {}},
        {"web-report-dialog",
         [] {
             // Opened from the data display, over its last query and its graph.
             frmChart chart;
             chart.resize(1000, 720);
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
        {"settings", [] { return shown(std::make_unique<frmOptions>(nullptr, &AppDatabase())); }, {}},
    };
    return list;
}
