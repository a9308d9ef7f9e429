// The selection options of the data display verbs and the window's sequence behind them.
#include "cli/ChartArgs.h"
#include "app/modMain.h"
#include "db/clsDatabase.h"
#include "cli/Cli.h"

namespace {
bool ParseTime(const QString& text, QDateTime& out)
{
    for (const char* f : {"yyyy-MM-dd HH:mm:ss", "yyyy-MM-dd HH:mm", "yyyy-MM-dd"}) {
        QDateTime t = QDateTime::fromString(text.trimmed(), QString::fromLatin1(f));
        if (t.isValid()) {
            t.setTimeSpec(Qt::UTC);
            out = t;
            return true;
        }
    }
    return false;
}
} // namespace

const char* ChartArgsUsage()
{
    return "--device ID --from \"YYYY-MM-DD HH:MM\" --to \"YYYY-MM-DD HH:MM\" [--kind KIND] [--transitions] [--tz-offset MIN]";
}

bool TakeChartArgs(QStringList& args, ChartArgs& out, QString& error)
{
    QString from, to, kind, offset;
    if (!TakeOption(args, "--device", out.device, &error) && error.isEmpty()) error = "--device ID is required";
    if (!error.isEmpty()) return false;
    if (!TakeOption(args, "--from", from, &error) && error.isEmpty()) error = "--from \"YYYY-MM-DD HH:MM\" is required";
    if (!error.isEmpty()) return false;
    if (!TakeOption(args, "--to", to, &error) && error.isEmpty()) error = "--to \"YYYY-MM-DD HH:MM\" is required";
    if (!error.isEmpty()) return false;
    if (TakeOption(args, "--kind", kind, &error)) {
        if (!ChartKindFromName(kind, out.kind)) {
            error = "unknown --kind " + kind + " (samples, daily-avg, daily-var, daily-max, daily-min, "
                    "monthly-avg, monthly-var, monthly-max, monthly-min, mkt, daily-mkt, monthly-mkt)";
            return false;
        }
    }
    if (!error.isEmpty()) return false;
    if (TakeOption(args, "--tz-offset", offset, &error)) {
        bool ok = false;
        out.offsetMinutes = offset.trimmed().toInt(&ok);
        if (!ok || out.offsetMinutes < -24 * 60 || out.offsetMinutes > 24 * 60) {
            error = "--tz-offset takes whole minutes between -1440 and 1440, not " + offset;
            return false;
        }
        out.hasOffset = true;
    }
    if (!error.isEmpty()) return false;
    out.transitions = TakeFlag(args, "--transitions");

    QString digits = out.device;
    digits.remove('.');
    bool ok = false;
    out.deviceId = digits.toInt(&ok);
    if (!ok || out.deviceId <= 0) {
        error = "--device takes a logger position number such as 100101, not " + out.device;
        return false;
    }
    if (!ParseTime(from, out.from)) { error = "--from takes \"YYYY-MM-DD HH:MM\", not " + from; return false; }
    if (!ParseTime(to, out.to)) { error = "--to takes \"YYYY-MM-DD HH:MM\", not " + to; return false; }
    return true;
}

bool RunChartArgs(const ChartArgs& a, ChartModel& model, QString& error)
{
    clsDatabase& db = AppDatabase();
    model.LoadSettings(db);
    if (LoadChartDevices(db, model.State.Devices) <= 0 || !model.SelectDevice(a.deviceId)) {
        error = "no logger " + FormatDeviceID(a.deviceId) + " in the database";
        return false;
    }
    model.SetKind(a.kind);
    model.In.TransitionsOnly = a.transitions;
    model.Window.Lock = ChartLock::None;
    model.Window.From = a.from;
    model.Window.To = a.to;
    model.State.TimeZoneOffset = App().UtcBias;
    model.In.TZOffset = QString::number(a.hasOffset ? a.offsetMinutes : -App().UtcBias);
    if (!model.Update(db)) {
        error = "the query could not run";
        return false;
    }
    if (model.QueryResult < 0) {
        error = "the database could not be read";
        return false;
    }
    return true;
}
