// nordalis-cli: the operations of the desktop program from a terminal.
#include "app/TextRules.h"
#include "cli/Cli.h"
#include <QCoreApplication>
#include <QGuiApplication>
#include <cstdio>
#include <map>

namespace {
struct VerbEntry { QString usage; QString help; CliVerbFn fn; bool needsApp; };
std::map<QString, VerbEntry>& verbs()
{
    static std::map<QString, VerbEntry> table;
    return table;
}

void printUsage(QTextStream& out)
{
    out << "usage: nordalis-cli [--home DIR] [--bus virtual|serial|usb] [--registry FILE] [--trace-bus [FILE]] VERB [ARGS]\n\nverbs:\n";
    for (const auto& [name, e] : verbs())
        out << "  " << e.usage.leftJustified(60) << " " << e.help << "\n";
}
} // namespace

CliVerb::CliVerb(const char* name, const char* usage, const char* help, CliVerbFn fn, bool needsApp)
{
    verbs()[QString::fromUtf8(name)] = VerbEntry{QString::fromUtf8(usage), QString::fromUtf8(help), fn, needsApp};
}

bool OutputFileAllowed(CliContext& ctx, const QString& path, OutputKind kind, const QString& verb)
{
    const QString refusal = RefuseOutputFile(path, kind);
    if (refusal.isEmpty())
        return true;
    ctx.err << verb << ": " << refusal << "\n";
    return false;
}

bool TakeOption(QStringList& args, const QString& name, QString& value, QString* error)
{
    for (int i = 0; i < args.size(); ++i) {
        if (args[i] == name) {
            if (i + 1 >= args.size()) {
                if (error) *error = name + " needs a value";
                args.removeAt(i);
                return false;
            }
            value = args[i + 1];
            args.remove(i, 2);
            return true;
        }
        if (args[i].startsWith(name + "=")) {
            value = args[i].mid(name.size() + 1);
            args.removeAt(i);
            return true;
        }
    }
    return false;
}

bool TakeFlag(QStringList& args, const QString& name)
{
    return args.removeAll(name) > 0;
}

namespace {
QtMessageHandler g_previousHandler = nullptr;

// The offscreen platform asks for a runtime directory that a terminal session (cron, ssh, CI)
// often lacks; Qt then falls back to a private one by itself, and the notice about it would only
// clutter every verb's output.
void TerminalMessageHandler(QtMsgType type, const QMessageLogContext& ctx, const QString& msg)
{
    if (type == QtWarningMsg && msg.startsWith("QStandardPaths: XDG_RUNTIME_DIR not set")) return;
    if (g_previousHandler)
        g_previousHandler(type, ctx, msg);
    else
        fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, ctx, msg)));
}
} // namespace

int main(int argc, char** argv)
{
    g_previousHandler = qInstallMessageHandler(TerminalMessageHandler);
    // Graphs and reports draw with fonts, so a GUI application object on the offscreen
    // platform is needed even in a terminal.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // The verbs' arguments as given: the application object takes some options for itself
    // ("-style", "-platform", ...), which verbs also use ("report --style NAME").
    // Arguments arrive as bytes: one that is not valid UTF-8 is refused as a whole rather than
    // stored or used with replacement characters.
    QStringList args;
    int invalidArgument = 0;
    for (int i = 1; i < argc; ++i) {
        QString text;
        if (!DecodeUtf8Strictly(QByteArray(argv[i]), &text) && invalidArgument == 0)
            invalidArgument = i;
        args << text;
    }
    QGuiApplication app(argc, argv);
    QTextStream out(stdout), err(stderr);
    if (invalidArgument > 0) {
        err << "nordalis-cli: argument " << invalidArgument << " is not valid UTF-8 text; nothing was done\n";
        return 2;
    }
    CliGlobals g;
    while (!args.isEmpty() && args.first().startsWith("--")) {
        const QString opt = args.takeFirst();
        auto need = [&](QString& target) {
            if (args.isEmpty()) { err << "nordalis-cli: " << opt << " needs a value\n"; return false; }
            target = args.takeFirst();
            return true;
        };
        if (opt == "--home") { if (!need(g.home)) return 2; }
        else if (opt == "--bus") {
            if (!need(g.bus)) return 2;
            if (g.bus != "virtual" && g.bus != "serial" && g.bus != "usb") {
                err << "nordalis-cli: --bus takes virtual, serial or usb\n";
                return 2;
            }
        }
        else if (opt == "--registry") { if (!need(g.registry)) return 2; }
        else if (opt == "--trace-bus") {
            g.traceBusOn = true;
            g.traceBus = "-";
            if (!args.isEmpty() && !args.first().startsWith("-") && !verbs().count(args.first())) g.traceBus = args.takeFirst();
        }
        else if (opt == "--help" || opt == "-h") { printUsage(out); return 0; }
        else { err << "nordalis-cli: unknown option " << opt << "\n"; return 2; }
    }
    if (args.isEmpty()) { printUsage(err); return 2; }
    const QString verb = args.takeFirst();
    auto it = verbs().find(verb);
    if (it == verbs().end()) { err << "nordalis-cli: unknown verb " << verb << "\n"; printUsage(err); return 2; }
    if (it->second.needsApp && !InitTerminalApplication(g, err)) return 1;
    CliContext ctx{g, args, out, err};
    const int rc = it->second.fn(ctx);
    out.flush();
    err.flush();
    return rc;
}
