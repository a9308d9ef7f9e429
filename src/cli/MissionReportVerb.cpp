// "report --pdf --device ID --from T --to T --out FILE.pdf [--tz-offset MIN]": the selection
// options of the data display verbs, on the samples only.
#include "cli/MissionReportVerb.h"
#include "app/modMain.h"
#include "cli/ChartArgs.h"
#include "db/clsDatabase.h"
#include "reports/MissionReport.h"
#include <QFileInfo>

int RunMissionReportPdf(CliContext& ctx, QStringList& args)
{
    ChartArgs a;
    QString out, error;
    if (!TakeOption(args, "--out", out, &error) || out.isEmpty()) {
        ctx.err << "report --pdf: " << (error.isEmpty() ? QString("--out FILE.pdf is required") : error) << "\n";
        return 2;
    }
    if (!OutputFileAllowed(ctx, out, OutputKind::Pdf, "report --pdf"))
        return 2;
    if (!TakeChartArgs(args, a, error)) {
        ctx.err << "report --pdf: " << error << "\n";
        return 2;
    }
    if (a.kind != ChartKind::Samples || a.transitions) {
        ctx.err << "report --pdf: works on the samples only (no --kind, no --transitions)\n";
        return 2;
    }
    if (!args.isEmpty()) {
        ctx.err << "report --pdf: unexpected " << args.join(' ') << "\n";
        return 2;
    }
    MissionReportRequest rq;
    rq.DeviceID = a.deviceId;
    rq.From = a.from;
    rq.To = a.to;
    rq.TimeZoneOffset = a.hasOffset ? -a.offsetMinutes : App().UtcBias;
    MissionReportSummary summary;
    const MissionReportResult r = WriteMissionReport(AppDatabase(), rq, out, &error, &summary);
    if (r != MissionReportResult::Written) {
        ctx.err << "report --pdf: " << error << "\n";
        return int(r);
    }
    ctx.out << QFileInfo(out).absoluteFilePath() << "\t" << summary.Pages << " pages, " << summary.Samples
            << " samples, " << summary.Excursions << " excursions\n";
    return 0;
}
