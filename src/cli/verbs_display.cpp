// Terminal verbs of the data display: query and graph.
#include "cli/ChartArgs.h"
#include "cli/Cli.h"
#include <QImageWriter>
#include <QRegularExpression>

namespace {
int runQuery(CliContext& ctx)
{
    ChartArgs a;
    QString error;
    if (!TakeChartArgs(ctx.args, a, error)) { ctx.err << "nordalis-cli query: " << error << "\n"; return 2; }
    if (!ctx.args.isEmpty()) { ctx.err << "nordalis-cli query: unexpected " << ctx.args.join(' ') << "\n"; return 2; }
    ChartModel model;
    if (!RunChartArgs(a, model, error)) { ctx.err << "nordalis-cli query: " << error << "\n"; return 1; }
    for (const ChartRow& r : model.State.Samples)
        ctx.out << r.DisplayTime.toString("yyyy-MM-dd HH:mm:ss") << '\t' << r.ValueText << '\n';
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
    QImageWriter writer(out, "png");
    if (!writer.write(image)) {
        ctx.err << "nordalis-cli graph: cannot write " << out << ": " << writer.errorString() << "\n";
        return 1;
    }
    ctx.out << out << ": " << model.State.Samples.size() << " rows, " << w << "x" << h << "\n";
    return 0;
}

CliVerb verbQuery("query", "query --device ID --from T --to T [--kind KIND] [--transitions] [--tz-offset MIN]",
                  "values of a logger for a time window, one row per line", &runQuery);
CliVerb verbGraph("graph", "graph --device ID --from T --to T [...] --out FILE.png [--size WxH]",
                  "the graph of a logger's values as a PNG picture", &runGraph);
} // namespace
