// Terminal verbs of the data display: query and graph.
#include "cli/ChartArgs.h"
#include "cli/Cli.h"
#include "display/Evidence.h"
#include <QImageWriter>
#include <QSaveFile>
#include <QRegularExpression>

namespace {
// A window that starts after it ends is bad usage for the kinetic means and the excursions.
bool windowInOrder(CliContext& ctx, const char* verb, const ChartArgs& a)
{
    if (a.from <= a.to) return true;
    ctx.err << "nordalis-cli " << verb << ": the window starts after it ends (--from "
            << a.from.toString("yyyy-MM-dd HH:mm:ss") << ", --to " << a.to.toString("yyyy-MM-dd HH:mm:ss") << ")\n";
    return false;
}

int runQuery(CliContext& ctx)
{
    ChartArgs a;
    QString error;
    // The kinetic means: computed here from the window's samples (--kind mkt|daily-mkt|monthly-mkt).
    int mktPeriod = -1;
    const qsizetype kindAt = ctx.args.indexOf("--kind");
    if (kindAt >= 0 && kindAt + 1 < ctx.args.size()) {
        const QString k = ctx.args.at(kindAt + 1);
        mktPeriod = k == "mkt" ? 0 : k == "daily-mkt" ? 1 : k == "monthly-mkt" ? 2 : -1;
        if (mktPeriod >= 0) ctx.args.remove(kindAt, 2);
    }
    if (!TakeChartArgs(ctx.args, a, error)) { ctx.err << "nordalis-cli query: " << error << "\n"; return 2; }
    if (mktPeriod >= 0 && a.transitions) { ctx.err << "nordalis-cli query: --transitions does not go with the kinetic means\n"; return 2; }
    if (!ctx.args.isEmpty()) { ctx.err << "nordalis-cli query: unexpected " << ctx.args.join(' ') << "\n"; return 2; }
    // The other kinds keep the window's rule (a start after the end shows the day from the start).
    if (mktPeriod >= 0 && !windowInOrder(ctx, "query", a)) return 2;
    ChartModel model;
    if (!RunChartArgs(a, model, error)) { ctx.err << "nordalis-cli query: " << error << "\n"; return 1; }
    if (mktPeriod >= 0) {
        for (const MktRow& r : MktOfState(model.State, mktPeriod, MktActivationK(AppDatabase())))
            ctx.out << r.DisplayTime.toString("yyyy-MM-dd HH:mm:ss") << '\t' << QString::number(r.Value, 'f', 2) << '\n';
        return 0;
    }
    for (const ChartRow& r : model.State.Samples)
        ctx.out << r.DisplayTime.toString("yyyy-MM-dd HH:mm:ss") << '\t' << r.ValueText << '\n';
    return 0;
}

// The excursions beyond the logger's alarm levels (the display's, see ComputeChartEvidence) in a
// window of samples: one tab-separated row per excursion (high|low, start, end or "open",
// minutes, peak, degree-minutes, "from-before" when already outside at the window's start else
// "-"), then a summary (with the time without samples and the number of gaps at its end when the
// window has gaps); a window without samples says so instead. Times are display times; values
// in the display unit.
int runExcursions(CliContext& ctx)
{
    ChartArgs a;
    QString error;
    if (!TakeChartArgs(ctx.args, a, error)) { ctx.err << "nordalis-cli excursions: " << error << "\n"; return 2; }
    if (a.kind != ChartKind::Samples || a.transitions) {
        ctx.err << "nordalis-cli excursions: works on the samples only (no --kind, no --transitions)\n";
        return 2;
    }
    if (!ctx.args.isEmpty()) { ctx.err << "nordalis-cli excursions: unexpected " << ctx.args.join(' ') << "\n"; return 2; }
    if (!windowInOrder(ctx, "excursions", a)) return 2;
    ChartModel model;
    if (!RunChartArgs(a, model, error)) { ctx.err << "nordalis-cli excursions: " << error << "\n"; return 1; }
    const ChartEvidence& evidence = model.State.Evidence;
    // As query: an empty window is no failure, but it has no share in range either.
    if (!evidence.Valid) { ctx.out << "no samples in the window\n"; return 0; }
    const ExcursionSummary& s = evidence.Excursions;
    const int units = model.State.Units;
    const auto shown = [&](const QDateTime& t) {
        return t.isValid() ? t.addSecs(-qint64(model.State.TimeZoneOffset) * 60).toString("yyyy-MM-dd HH:mm:ss")
                           : QString("open");
    };
    for (const Excursion& e : s.Runs)
        ctx.out << (e.High ? "high" : "low") << '\t' << shown(e.Start) << '\t' << shown(e.End) << '\t'
                << QString::number(e.DurationMinutes, 'f', 1) << '\t'
                << QString::number(CelsiusToDisplay(e.PeakCelsius, units), 'f', 2) << '\t'
                << QString::number(e.DegreeMinutes * (units == 1 ? 1.8 : 1.0), 'f', 2) << '\t'
                << (e.FromBefore ? "from-before" : "-") << '\n';
    ctx.out << "out of range\t" << QString::number(s.MinutesOutOfRange, 'f', 1) << " min\tin range\t"
            << QString::number(s.ShareInRangePercent, 'f', 2) << " %";
    // The time between samples (neither in nor out of range) after the fields above.
    if (!s.Gaps.empty())
        ctx.out << "\twithout samples\t" << QString::number(s.MinutesWithoutSamples, 'f', 1) << " min\tgaps\t" << s.Gaps.size();
    ctx.out << "\n";
    return 0;
}

int runGraph(CliContext& ctx)
{
    ChartArgs a;
    QString error, out, size = "1000x600";
    if (!TakeChartArgs(ctx.args, a, error)) { ctx.err << "nordalis-cli graph: " << error << "\n"; return 2; }
    if (!TakeOption(ctx.args, "--out", out, &error) || out.isEmpty()) {
        ctx.err << "nordalis-cli graph: " << (error.isEmpty() ? QString("--out FILE.png is required") : error) << "\n";
        return 2;
    }
    if (!OutputFileAllowed(ctx, out, OutputKind::Picture, "nordalis-cli graph"))
        return 2;
    TakeOption(ctx.args, "--size", size, &error);
    const QRegularExpressionMatch m = QRegularExpression("^(\\d{2,5})x(\\d{2,5})$").match(size);
    if (!error.isEmpty() || !m.hasMatch() || m.captured(1).toInt() < 100 || m.captured(2).toInt() < 100 ||
        m.captured(1).toInt() > 10000 || m.captured(2).toInt() > 10000) {
        ctx.err << "nordalis-cli graph: --size takes WxH between 100x100 and 10000x10000, not " << size << "\n";
        return 2;
    }
    if (!ctx.args.isEmpty()) { ctx.err << "nordalis-cli graph: unexpected " << ctx.args.join(' ') << "\n"; return 2; }
    ChartModel model;
    if (!RunChartArgs(a, model, error)) { ctx.err << "nordalis-cli graph: " << error << "\n"; return 1; }
    const int w = m.captured(1).toInt(), h = m.captured(2).toInt();
    SetHeadlessWindowSize(model.State, w, h);
    const QImage image = GraphImage(model.State, w, h);
    // Written beside the target and put in its place only when complete.
    QSaveFile file(out);
    QImageWriter writer(&file, "png");
    if (!file.open(QIODevice::WriteOnly) || !writer.write(image) || !file.commit()) {
        const QString why = writer.error() != QImageWriter::UnknownError ? writer.errorString() : file.errorString();
        ctx.err << "nordalis-cli graph: cannot write " << out << ": " << why << "\n";
        return 1;
    }
    ctx.out << out << ": " << model.State.Samples.size() << " rows, " << w << "x" << h << "\n";
    return 0;
}

CliVerb verbQuery("query", "query --device ID --from T --to T [--kind KIND] [--transitions] [--tz-offset MIN]",
                  "values of a logger for a time window, one row per line", &runQuery);
CliVerb verbExcursions("excursions", "excursions --device ID --from T --to T [--tz-offset MIN]",
                       "runs of samples beyond the logger's alarm levels, tab-separated, and the time in range",
                       &runExcursions);
CliVerb verbGraph("graph", "graph --device ID --from T --to T [...] --out FILE.png [--size WxH]",
                  "the graph of a logger's values as a PNG picture", &runGraph);
} // namespace
