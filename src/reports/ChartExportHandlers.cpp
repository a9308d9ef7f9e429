// The data display's export commands, wired to its buttons when the window is built.
#include "reports/ChartExportHandlers.h"
#include "reports/ChartExports.h"
#include "reports/frmHTM.h"
#include "app/UserInterface.h"
#include "ui/WindowRoutines.h"
#include "app/OutputFile.h"
#include "app/modInternationalisation.h"
#include "reports/ExportFormat.h"
#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QPrinter>
#include <optional>

namespace {

// The exports of one window: a child object of the window, so it ends with it.
class ChartExportSession : public QObject {
public:
    explicit ChartExportSession(frmChart& chart) : QObject(&chart), Exports(&chart)
    {
        setObjectName("ChartExportSession");
    }
    clsChartExports Exports;
};

clsChartExports& sessionOf(frmChart& chart)
{
    if (auto* s = chart.findChild<QObject*>("ChartExportSession", Qt::FindDirectChildrenOnly))
        return static_cast<ChartExportSession*>(s)->Exports;
    return (new ChartExportSession(chart))->Exports;
}

} // namespace

ChartExportHandlers DefaultChartExportHandlers()
{
    ChartExportHandlers h;
    h.excel = [](frmChart& c) { sessionOf(c).cmdExcel_Click(c.State()); };
    h.word = [](frmChart& c) { sessionOf(c).cmdWord_Click(c.State()); };
    h.missionReport = [](frmChart& c) { sessionOf(c).cmdMissionReport_Click(c.State()); };
    h.clipboard = [](frmChart& c) { sessionOf(c).cmdClipBoard_Click(c.Graph()->Picture()); };
    h.print = [](frmChart& c) { PrintChart(c.State(), &c); };
    h.openReport = [](frmChart& c) {
        if (QListWidgetItem* item = c.ReportList()->currentItem())
            sessionOf(c).cmdOpenReport_Click(item->text());
    };
    h.htm = [](frmChart& c) {
        frmHTM dialog(c.State(), c.Graph()->Picture(), &c);
        dialog.exec();
    };
    return h;
}

bool PrintChart(ChartState& state, QWidget* owner)
{
    QPrinter printer(QPrinter::HighResolution);
    if (!AskPrinter(owner, printer))
        return false;
    const QString target = printer.outputFormat() == QPrinter::PdfFormat ? printer.outputFileName() : QString();
    if (target.isEmpty()) {
        BusyCursor busy;
        return PrintGraph(state, printer);
    }
    // Printing into a file: the name goes through the output check, and the file is written
    // beside it and takes its place only when complete.
    const QString refusal = RefuseOutputFile(target, OutputKind::Pdf);
    if (!refusal.isEmpty()) {
        ShowMessage(refusal, vbOKOnly | vbCritical, Translate("&Print"));
        return false;
    }
    const QString temporary = target + ".part";
    QFile::remove(temporary);   // a leftover, or a link, is never written through
    printer.setOutputFileName(temporary);
    std::optional<BusyCursor> busy(std::in_place);
    QString error;
    const bool ok = PrintGraph(state, printer) && ReplaceFileWith(temporary, target, &error);
    busy.reset();
    if (!ok) {
        QFile::remove(temporary);
        ShowMessage(error.isEmpty() ? Translate("The printout could not be written to %1.").arg(QDir::toNativeSeparators(target))
                                    : error,
                    vbOKOnly | vbCritical, Translate("&Print"));
    }
    return ok;
}
