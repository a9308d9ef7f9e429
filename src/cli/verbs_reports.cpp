// Terminal verbs of the reports: the web page report, the spreadsheet and document exports and
// the printout, each on the data display's query given by the selection options.
#include "app/modMain.h"
#include "cli/ChartArgs.h"
#include "cli/Cli.h"
#include "cli/MissionReportVerb.h"
#include "reports/ChartExports.h"
#include "reports/DocumentExport.h"
#include "reports/WebReport.h"
#include <QDir>
#include <QFileInfo>
#include <QPageLayout>
#include <QPdfWriter>
#include <QSaveFile>

namespace {

// Selection options, then the query; false with the message printed.
bool runSelection(CliContext& ctx, QStringList& args, ChartModel& model, const char* verb)
{
    ChartArgs chart;
    QString error;
    if (!TakeChartArgs(args, chart, error)) {
        ctx.err << verb << ": " << error << "\n";
        return false;
    }
    if (!args.isEmpty()) {
        ctx.err << verb << ": unexpected argument " << args.first() << "\n";
        return false;
    }
    if (!RunChartArgs(chart, model, error)) {
        ctx.err << verb << ": " << error << "\n";
        return false;
    }
    return true;
}

bool takeOut(CliContext& ctx, QStringList& args, const QString& option, QString& out, const char* verb)
{
    QString error;
    if (!TakeOption(args, option, out, &error) || out.isEmpty()) {
        ctx.err << verb << ": " << (error.isEmpty() ? option + " FILE is required" : error) << "\n";
        return false;
    }
    return true;
}

bool takeNumber(CliContext& ctx, QStringList& args, const QString& option, int low, int high, int& value, const char* verb)
{
    QString text, error;
    if (!TakeOption(args, option, text, &error)) {
        if (error.isEmpty())
            return true;
        ctx.err << verb << ": " << error << "\n";
        return false;
    }
    bool ok = false;
    const int v = text.toInt(&ok);
    if (!ok || v < low || v > high) {
        ctx.err << verb << ": " << option << " takes a number from " << low << " to " << high << "\n";
        return false;
    }
    value = v;
    return true;
}

bool takeSize(CliContext& ctx, QStringList& args, QSize& size, const char* verb)
{
    QString text, error;
    if (!TakeOption(args, "--size", text, &error)) {
        if (!error.isEmpty())
            ctx.err << verb << ": " << error << "\n";
        return error.isEmpty();
    }
    const QStringList wh = text.toLower().split('x');
    bool okW = false, okH = false;
    const int w = wh.size() == 2 ? wh[0].toInt(&okW) : 0;
    const int h = wh.size() == 2 ? wh[1].toInt(&okH) : 0;
    if (!okW || !okH || w < 100 || h < 100 || w > 10000 || h > 10000) {
        ctx.err << verb << ": --size takes WIDTHxHEIGHT in pixels, 100 to 10000 each\n";
        return false;
    }
    size = QSize(w, h);
    return true;
}

int runReport(CliContext& ctx)
{
    QStringList args = ctx.args;
    if (TakeFlag(args, "--pdf"))   // the mission report of one logger and period as a PDF
        return RunMissionReportPdf(ctx, args);
    WebReportOptions o;
    o.StylesDirectory = StylesDirectory(App().ApplicationDirectory);
    const QStringList styles = clsWebReport::StyleNames(o.StylesDirectory);
    QString out, error;
    if (!TakeOption(args, "--style", o.Style, &error)) {
        if (!error.isEmpty()) {
            ctx.err << "report: " << error << "\n";
            return 2;
        }
        o.Style = styles.value(0);
    }
    if (!styles.contains(o.Style)) {
        ctx.err << "report: no style \"" << o.Style << "\"; styles: " << styles.join(", ") << "\n";
        return 2;
    }
    if (!takeOut(ctx, args, "--out", out, "report"))
        return 2;
    o.Graph = TakeFlag(args, "--graph");
    {
        const QFileInfo page(out);
        const QString refusal = clsWebReport::RefuseReportFiles(page.absolutePath(), page.fileName(), o.Graph);
        if (!refusal.isEmpty()) {
            ctx.err << "report: " << refusal << "\n";
            return 2;
        }
    }
    o.Table = !TakeFlag(args, "--no-table");
    o.MarkExceptions = TakeFlag(args, "--mark-exceptions");
    if (!o.Table && !o.Graph) {
        ctx.err << "report: " << clsWebReport::NothingToShowMessage() << "\n";
        return 2;
    }
    int border = 1;
    QSize size(800, 500);
    if (!takeNumber(ctx, args, "--columns", 1, 10, o.Columns, "report")
        || !takeNumber(ctx, args, "--border", 0, 5, border, "report") || !takeSize(ctx, args, size, "report"))
        return 2;
    o.BorderWidth = QString::number(border);
    ChartModel model;
    if (!runSelection(ctx, args, model, "report"))
        return 2;
    const QFileInfo file(out);
    if (!QFileInfo(file.absolutePath()).isDir()) {
        ctx.err << "report: no folder " << file.absolutePath() << "\n";
        return 1;
    }
    QImage graph;
    if (o.Graph)
        graph = GraphImage(model.State, size.width(), size.height());
    clsWebReport report(WebReportDataFromChart(model.State), TranslatedExportTexts(), CurrentWebReportContext());
    if (!report.BuildReport(file.absolutePath(), file.fileName(), o, graph, &error)) {
        ctx.err << "report: " << error << "\n";
        return 1;
    }
    ctx.out << file.absoluteFilePath() << "\n";
    if (o.Graph)
        ctx.out << file.absolutePath() + "/" + clsWebReport::GraphPictureName(file.fileName()) << "\n";
    return 0;
}

int runExport(CliContext& ctx)
{
    QStringList args = ctx.args;
    if (args.isEmpty() || (args.first() != "xlsx" && args.first() != "document")) {
        ctx.err << "export: give xlsx or document\n";
        return 2;
    }
    const QString kind = args.takeFirst();
    QString out, error;
    if (!takeOut(ctx, args, "--out", out, "export"))
        return 2;
    // The document's kind follows its name: .docx (Word) or .odt (OpenDocument text).
    if (!OutputFileAllowed(ctx, out, kind == "xlsx" ? OutputKind::Spreadsheet : OutputKind::Document, "export"))
        return 2;
    ChartModel model;
    if (!runSelection(ctx, args, model, "export"))
        return 2;
    bool ok = false;
    if (kind == "xlsx") {
        clsWorksheet sheet;
        WriteSpreadsheetExport(sheet, ExportDataFromChart(model.State), TranslatedExportTexts());
        ok = sheet.SaveXlsx(out, &error);
    } else {
        ok = WriteDocumentExport(model.State, out, &error);
    }
    if (!ok) {
        ctx.err << "export: " << error << "\n";
        return 1;
    }
    ctx.out << QFileInfo(out).absoluteFilePath() << "\t" << model.State.Samples.size() << " rows\n";
    return 0;
}

int runPrint(CliContext& ctx)
{
    QStringList args = ctx.args;
    QString out;
    if (!takeOut(ctx, args, "--pdf", out, "print") || !OutputFileAllowed(ctx, out, OutputKind::Pdf, "print"))
        return 2;
    const bool landscape = TakeFlag(args, "--landscape");
    ChartModel model;
    if (!runSelection(ctx, args, model, "print"))
        return 2;
    // Written beside the target and put in its place only when complete.
    QSaveFile file(out);
    bool ok = file.open(QIODevice::WriteOnly);
    if (ok) {
        QPdfWriter printer(&file);
        printer.setResolution(1200);
        printer.setPageOrientation(landscape ? QPageLayout::Landscape : QPageLayout::Portrait);
        ok = PrintGraph(model.State, printer);
    }
    if (!ok || !file.commit()) {
        ctx.err << "print: cannot write " << out << (file.errorString().isEmpty() ? QString() : ": " + file.errorString())
                << "\n";
        return 1;
    }
    ctx.out << QFileInfo(out).absoluteFilePath() << "\n";
    return 0;
}

CliVerb verbReport("report",
                   "report SELECTION [--style NAME] --out FILE.htm [--graph] [--size WxH] [--no-table] "
                   "[--columns M] [--border B] [--mark-exceptions]\n"
                   "  report --pdf --device ID --from T --to T --out FILE.pdf [--tz-offset MIN]",
                   "web page report of a query; with --pdf the mission report of a logger and period", &runReport);
CliVerb verbExport("export", "export xlsx|document SELECTION --out FILE (.xlsx; document: .docx or .odt)",
                   "spreadsheet or document (Word or OpenDocument text) export of a query", &runExport);
CliVerb verbPrint("print", "print SELECTION --pdf FILE [--landscape]", "printout of a query's graph as PDF", &runPrint);

} // namespace
