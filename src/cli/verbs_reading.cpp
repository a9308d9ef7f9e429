// Terminal verbs of the logger reading: reading the logger in the cable as the reading dialog
// does, and ending the mission of the connected logger.
#include "cli/Cli.h"

#include "app/modMain.h"
#include "image/LoggerEvidence.h"
#include "image/clsDS1921Data.h"
#include "onewire/BusTrace.h"
#include "onewire/Ds2480Link.h"
#include "onewire/OneWireLink.h"
#include "onewire/Tmex.h"
#include "simulator/VirtualBus.h"
#include "reading/LoggerStop.h"
#include "reading/clsReadingSequence.h"

#include <QDir>

namespace {

bool openBus(CliContext& ctx, const char* verb)
{
    RegisterVirtualBus();
    RegisterSerialLink();
    if (!ctx.globals.bus.isEmpty()) SetBusOverride(ctx.globals.bus);
    QString error;
    if (ctx.globals.traceBusOn && !OpenBusTrace(ctx.globals.traceBus, &error)) {
        ctx.err << "nordalis-cli " << verb << ": " << error << "\n";
        return false;
    }
    return true;
}

// Why the adapter did not answer, from the driver layer (cause and remedy), as ": TEXT"; empty
// when it answered.
QString adapterCause()
{
    const QString cause = TMLinkError(int16_t(AppLogger().Bus().intPortNum));
    return cause.isEmpty() ? QString() : QStringLiteral(": ") + cause;
}

int runRead(CliContext& ctx)
{
    if (!ctx.args.isEmpty()) {
        ctx.err << "usage: nordalis-cli read\n";
        return 2;
    }
    if (!openBus(ctx, "read")) return 1;
    clsDS1921Data& logger = AppLogger();
    // The cable's chip names the interface in the stamp; the logger search fills colDevices.
    const QString cable = logger.DeviceFound("09");
    if (!cable.isEmpty()) App().InterfaceRomCode = cable;
    logger.DeviceFound("21");
    clsReadingSequence seq(logger);
    const clsReadingSequence::Outcome o = seq.Run();
    if (o == clsReadingSequence::NoLogger) {
        ctx.err << "nordalis-cli read: no logger on the bus" << adapterCause() << "\n";
        return 1;
    }
    if (!seq.Caption.isEmpty()) ctx.out << "logger\t" << seq.Caption << "\n";
    if (!seq.RomText.isEmpty()) ctx.out << "rom\t" << seq.RomText << "\n";
    static const char* const names[7] = {"alarm high", "alarm low", "max temperature", "min temperature",
                                         "total logger samples",
                                         "seconds time difference between system and logger", "current samples"};
    for (int i = 0; i < 7; ++i)
        if (!seq.Values[i].isEmpty()) ctx.out << names[i] << "\t" << seq.Values[i] << "\n";
    if (seq.HighAlarm) ctx.out << "ALARM\ttemperature limit exceeded: maximum above alarm high\n";
    if (seq.LowAlarm) ctx.out << "ALARM\ttemperature limit exceeded: minimum below alarm low\n";
    // The logger's own alarms, also those whose samples the data log no longer holds.
    if (seq.LoggerHighAlarm && !seq.HighAlarm) ctx.out << "ALARM\ttemperature limit exceeded: the logger recorded a high alarm\n";
    if (seq.LoggerLowAlarm && !seq.LowAlarm) ctx.out << "ALARM\ttemperature limit exceeded: the logger recorded a low alarm\n";
    for (const QString& text : seq.LoggerAlarmTexts) ctx.out << "ALARM\t" << text << "\n";
    if (!seq.LostSamplesText.isEmpty()) ctx.out << "samples lost\t" << seq.LostSamplesText << "\n";
    if (!seq.LoggerFile.isEmpty()) ctx.out << "file\t" << QDir::toNativeSeparators(seq.LoggerFile) << "\n";
    ctx.out << "status\t" << seq.LastStatus << "\n";
    if (!seq.RestoredFrom.isEmpty())
        ctx.out << "restored\tthe logger's missing record from " << QDir::toNativeSeparators(seq.RestoredFrom) << "\n";
    const clsDS1921Data& image = seq.Image();
    if (!image.logBytes().isEmpty())
        for (const QString& line : LoggerEvidenceLines(image.AlarmLogBytes(), image.HistogramBytes(), image,
                                                       LoggerVariantOf(seq.RomText)))
            ctx.out << line << "\n";
    ctx.out.flush();
    if (o != clsReadingSequence::Done)
        ctx.err << "nordalis-cli read: " << (seq.ErrorText.isEmpty() ? seq.LastStatus : seq.ErrorText) << "\n";
    return clsReadingSequence::ExitStatus(o);
}

int runStop(CliContext& ctx)
{
    if (!ctx.args.isEmpty()) {
        ctx.err << "usage: nordalis-cli stop\n";
        return 2;
    }
    if (!openBus(ctx, "stop")) return 1;
    const StopResult r = StopConnectedLogger(AppLogger());
    if (r.outcome == StopOutcome::Stopped) {
        ctx.out << r.rom << "\tstopped\n";
        ctx.out.flush();
    } else if (r.outcome == StopOutcome::NoLogger) {
        ctx.err << "nordalis-cli stop: no logger on the bus" << adapterCause() << "\n";
    } else {
        ctx.err << "nordalis-cli stop: " << r.message << "\n";
    }
    return StopExitStatus(r.outcome);
}

} // namespace

CliVerb verbRead("read", "read",
                 "read the logger in the cable: key figures and alarms, the logger file, the stamp written back",
                 &runRead);
CliVerb verbStop("stop", "stop", "end the mission of the connected logger", &runStop);
