// nordalis-cli sim ...: the simulated bench behind the virtual bus (cable, loggers, clock,
// room temperature, faults). Every verb works on the state file of the application directory,
// creating it when there is none yet.
#include "app/modMain.h"
#include "cli/Cli.h"
#include "simulator/VirtualBus.h"
#include "simulator/VirtualDs1921.h"
#include "simulator/VirtualDs18b20.h"
#include "simulator/VirtualDs2502.h"
#include <QDir>
#include <cmath>

namespace {

QString stateFile(const CliContext& ctx)
{
    if (App().ApplicationDirectory.isEmpty() && !ctx.globals.home.isEmpty())
        return QDir(ctx.globals.home).filePath(QStringLiteral("virtual-bus.json"));
    return VirtualWorld::DefaultStateFile();
}

int usage(CliContext& ctx, const QString& why)
{
    ctx.err << "nordalis-cli sim: " << why << "\n"
            << "usage: sim add-cable [--rom TEXT] | add-logger [--variant G|H|Z] [--rom TEXT] | add-sensor [--rom TEXT]\n"
            << "       sim remove ROM | insert ROM | advance DURATION (e.g. 90m, 3d, 2h, 1d12h) | show\n"
            << "       sim reader DS2490|direct   (the bench behind an emulated USB adapter, or reached directly)\n"
            << "       sim profile [--base C] [--swing C] [--peak-hour H] [--noise C] [--seed N]\n"
            << "                   [--excursion \"YYYY-MM-DD HH:MM,DURATION,DELTA\"]... [--clear-excursions]\n"
            << "       sim profile --logger ROM --offset C\n"
            << "       sim fault ROM --crc-page N [--times N] | ROM --leave-after BYTES | --short-blocks N [--keep N] | --clear\n";
    return 2;
}

bool takeNumber(CliContext& ctx, const QString& name, double& value, bool& given, QString& error)
{
    QString text;
    given = TakeOption(ctx.args, name, text, &error);
    if (!given) return error.isEmpty();
    bool ok = false;
    value = text.toDouble(&ok);
    if (!ok || !std::isfinite(value)) { error = name + " needs a number, not \"" + text + "\""; return false; }
    return true;
}

bool takeRom(CliContext& ctx, RomCode& rom, bool& given, QString& error)
{
    QString text;
    given = TakeOption(ctx.args, "--rom", text, &error);
    if (!given) return error.isEmpty();
    if (!virtualbus::RomFromText(text, rom)) { error = "a ROM text is 16 hex digits, not \"" + text + "\""; return false; }
    return true;
}

int finish(CliContext& ctx, VirtualWorld& w)
{
    QString err;
    if (!w.save(&err)) { ctx.err << "nordalis-cli sim: " << err << "\n"; return 1; }
    return 0;
}

void show(CliContext& ctx, VirtualWorld& w)
{
    const qint64 off = w.clock().offsetMs() / 1000;
    ctx.out << "simulation time " << w.clock().nowUtc().toString("yyyy-MM-dd HH:mm:ss") << " UTC (real time "
            << (off >= 0 ? "+" : "-") << QString::number(std::abs(off) / 86400) << "d "
            << QTime(0, 0).addSecs(int(std::abs(off) % 86400)).toString("HH:mm:ss") << ")\n";
    ctx.out << "profile: " << w.profile().describe() << "\n";
    ctx.out << "reader: " << (w.reader().isEmpty() ? QStringLiteral("direct") : QStringLiteral("emulated DS2490 USB adapter")) << "\n";
    if (w.devices().empty()) ctx.out << "no devices\n";
    for (const auto& d : w.devices())
        ctx.out << (d->present() ? "in   " : "out  ") << d->romText() << "  " << d->describe() << "\n";
}

int runSim(CliContext& ctx)
{
    RegisterVirtualBus();
    if (ctx.args.isEmpty()) return usage(ctx, "which sim verb?");
    const QString sub = ctx.args.takeFirst();
    auto world = VirtualWorld::ForFile(stateFile(ctx));
    VirtualWorld& w = *world;
    if (!w.usable()) { ctx.err << "nordalis-cli sim: " << w.loadError() << "\n"; return 1; }
    w.syncAll();
    QString error;

    if (sub == "add-cable" || sub == "add-logger" || sub == "add-sensor") {
        RomCode rom{};
        bool romGiven = false;
        QString variantText;
        const bool variantGiven = TakeOption(ctx.args, "--variant", variantText, &error);
        if (!takeRom(ctx, rom, romGiven, error) || !error.isEmpty()) return usage(ctx, error);
        if (!ctx.args.isEmpty()) return usage(ctx, "unexpected " + ctx.args.first());
        VirtualDevice* added = nullptr;
        if (sub == "add-logger") {
            Ds1921Variant v = romGiven ? VirtualDs1921::VariantOfRom(rom) : Ds1921Variant::G;
            if (variantGiven && !VirtualDs1921::VariantFromName(variantText, v))
                return usage(ctx, "--variant takes G, H or Z");
            added = w.addLogger(v, romGiven ? &rom : nullptr, &error);
        } else if (variantGiven) {
            return usage(ctx, "--variant is for loggers");
        } else if (sub == "add-cable") {
            added = w.addCable(romGiven ? &rom : nullptr, &error);
        } else {
            added = w.addSensor(romGiven ? &rom : nullptr, &error);
        }
        if (!added) { ctx.err << "nordalis-cli sim: " << error << "\n"; return 1; }
        const int rc = finish(ctx, w);
        if (rc == 0) ctx.out << added->romText() << "\n";
        return rc;
    }

    if (sub == "reader") {
        if (ctx.args.size() != 1) return usage(ctx, "reader takes DS2490 or direct");
        const QString which = ctx.args.first().toUpper();
        if (which != "DS2490" && which != "DIRECT") return usage(ctx, "reader takes DS2490 or direct");
        w.setReader(which == "DS2490" ? QStringLiteral("DS2490") : QString());
        const int rc = finish(ctx, w);
        if (rc == 0)
            ctx.out << (which == "DS2490" ? "the bench is read through an emulated DS2490 USB adapter\n"
                                          : "the bench is read directly\n");
        return rc;
    }

    if (sub == "remove" || sub == "insert") {
        if (ctx.args.size() != 1) return usage(ctx, sub + " takes one ROM text");
        VirtualDevice* d = w.find(ctx.args.first());
        if (!d) { ctx.err << "nordalis-cli sim: no device " << ctx.args.first() << " on the virtual bench\n"; return 1; }
        const bool in = sub == "insert";
        if (d->present() == in) {
            ctx.out << d->romText() << (in ? " is already in the cable\n" : " is already out of the cable\n");
            return 0;
        }
        d->setPresent(in);
        return finish(ctx, w);
    }

    if (sub == "advance") {
        qint64 ms = 0;
        if (ctx.args.size() != 1 || !ParseVirtualDuration(ctx.args.first(), ms) || ms <= 0)
            return usage(ctx, "advance takes a duration such as 90m, 3d, 2h or 1d12h");
        w.advance(ms);
        const int rc = finish(ctx, w);
        if (rc == 0) ctx.out << "simulation time " << w.clock().nowUtc().toString("yyyy-MM-dd HH:mm:ss") << " UTC\n";
        return rc;
    }

    if (sub == "profile") {
        VirtualProfile p = w.profile();
        double v = 0;
        bool given = false;
        QString loggerText;
        if (TakeOption(ctx.args, "--logger", loggerText, &error)) {
            // One logger's place relative to the room: sim profile --logger ROM --offset C
            auto* l = dynamic_cast<VirtualDs1921*>(w.find(loggerText));
            if (!l) { ctx.err << "nordalis-cli sim: no logger " << loggerText << " on the virtual bench\n"; return 1; }
            if (!takeNumber(ctx, "--offset", v, given, error) || !given || !ctx.args.isEmpty())
                return usage(ctx, error.isEmpty() ? QStringLiteral("--logger ROM takes --offset C") : error);
            l->setOffset(v);
            const int rc = finish(ctx, w);
            if (rc == 0) ctx.out << l->romText() << " offset " << v << " °C\n";
            return rc;
        }
        if (!error.isEmpty()) return usage(ctx, error);
        if (!takeNumber(ctx, "--base", v, given, error)) return usage(ctx, error);
        if (given) p.base = v;
        if (!takeNumber(ctx, "--swing", v, given, error)) return usage(ctx, error);
        if (given) p.swing = v;
        if (!takeNumber(ctx, "--peak-hour", v, given, error)) return usage(ctx, error);
        if (given) {
            if (v < 0 || v >= 24) return usage(ctx, "--peak-hour lies in 0..24");
            p.peakHour = v;
        }
        if (!takeNumber(ctx, "--noise", v, given, error)) return usage(ctx, error);
        if (given) {
            if (v < 0) return usage(ctx, "--noise cannot be negative");
            p.noise = v;
        }
        if (!takeNumber(ctx, "--seed", v, given, error)) return usage(ctx, error);
        if (given) {
            if (v < 0 || v > 4294967295.0 || v != std::floor(v)) return usage(ctx, "--seed is a whole number 0..4294967295");
            p.seed = quint32(v);
        }
        if (TakeFlag(ctx.args, "--clear-excursions")) p.excursions.clear();
        QString ex;
        while (TakeOption(ctx.args, "--excursion", ex, &error)) {
            const QStringList parts = ex.split(',');
            QDateTime start = parts.size() == 3 ? QDateTime::fromString(parts[0].trimmed(), "yyyy-MM-dd HH:mm") : QDateTime();
            start.setTimeSpec(Qt::UTC);
            qint64 len = 0;
            bool ok = false;
            const double delta = parts.size() == 3 ? parts[2].trimmed().toDouble(&ok) : 0;
            if (!start.isValid() || !ParseVirtualDuration(parts[1], len) || len <= 0 || !ok || !std::isfinite(delta))
                return usage(ctx, "an excursion is \"YYYY-MM-DD HH:MM,DURATION,DELTA\" (UTC), e.g. \"2026-12-08 14:00,45m,+8\"");
            p.excursions.append({start.toMSecsSinceEpoch(), len, delta});
        }
        if (!error.isEmpty()) return usage(ctx, error);
        if (!ctx.args.isEmpty()) return usage(ctx, "unexpected " + ctx.args.first());
        w.profile() = p;
        const int rc = finish(ctx, w);
        if (rc == 0) ctx.out << "profile: " << p.describe() << "\n";
        return rc;
    }

    if (sub == "fault") {
        if (TakeFlag(ctx.args, "--clear")) {
            w.shortenBlocks(0);
            for (const auto& d : w.devices()) {
                d->leaveAfterBytes(-1);
                if (auto* l = dynamic_cast<VirtualDs1921*>(d.get())) l->corruptCrcOnPage(-1, 0);
            }
            if (!ctx.args.isEmpty()) return usage(ctx, "unexpected " + ctx.args.first());
            return finish(ctx, w);
        }
        double n = 0, keep = -1, times = -1;
        bool given = false, keepGiven = false, timesGiven = false;
        if (!takeNumber(ctx, "--short-blocks", n, given, error)) return usage(ctx, error);
        if (given) {
            if (!takeNumber(ctx, "--keep", keep, keepGiven, error)) return usage(ctx, error);
            if (n < 0 || keep < -1 || !ctx.args.isEmpty()) return usage(ctx, "--short-blocks N [--keep BYTES]");
            w.shortenBlocks(int(n), keepGiven ? int(keep) : -1);
            return finish(ctx, w);
        }
        if (ctx.args.isEmpty()) return usage(ctx, "fault needs a ROM or --short-blocks");
        VirtualDevice* d = w.find(ctx.args.takeFirst());
        if (!d) { ctx.err << "nordalis-cli sim: no such device on the virtual bench\n"; return 1; }
        if (!takeNumber(ctx, "--leave-after", n, given, error)) return usage(ctx, error);
        if (given) {
            if (n < 1 || !ctx.args.isEmpty()) return usage(ctx, "--leave-after takes a byte count of 1 or more");
            d->leaveAfterBytes(int(n));
            return finish(ctx, w);
        }
        if (!takeNumber(ctx, "--crc-page", n, given, error)) return usage(ctx, error);
        if (!given) return usage(ctx, "fault ROM takes --crc-page or --leave-after");
        if (!takeNumber(ctx, "--times", times, timesGiven, error)) return usage(ctx, error);
        auto* l = dynamic_cast<VirtualDs1921*>(d);
        if (!l) { ctx.err << "nordalis-cli sim: CRC faults are for loggers\n"; return 1; }
        if (n < 0 || n > 2047 || times < -1 || !ctx.args.isEmpty()) return usage(ctx, "--crc-page PAGE (0..2047) [--times N]");
        l->corruptCrcOnPage(int(n), timesGiven ? int(times) : -1);
        return finish(ctx, w);
    }

    if (sub == "show") {
        if (!ctx.args.isEmpty()) return usage(ctx, "unexpected " + ctx.args.first());
        show(ctx, w);
        return finish(ctx, w);
    }
    return usage(ctx, "unknown sim verb " + sub);
}

CliVerb verbSim("sim", "sim add-cable|add-logger|add-sensor|remove|insert|advance|profile|fault|show ...",
                "the simulated devices and clock behind the virtual bus", &runSim);

} // namespace
