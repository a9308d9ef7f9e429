// nordalis-cli program ...: programs the connected logger with the same checks and sequence as
// the program-logger window, printing the progress texts. Temperatures are in the display unit.
#include "app/modFormat.h"
#include "app/modMain.h"
#include "app/TextRules.h"
#include "cli/Cli.h"
#include "db/clsDatabase.h"
#include "image/clsDS1921Data.h"
#include "onewire/BusTrace.h"
#include "onewire/Ds2480Link.h"
#include "onewire/OneWireLink.h"
#include "onewire/Tmex.h"
#include "simulator/VirtualBus.h"
#include "programming/clsMissionSettings.h"
#include "programming/clsProgrammingSequence.h"

#include <QRegularExpression>

namespace {

const char* const kUsage =
    "program --room N --position N --description TEXT --rate MINUTES [--delay MINUTES | --start \"YYYY-MM-DD HH:MM\"] "
    "--low T --high T [--rollover] [--keep-clock]";

int usage(CliContext& ctx, const QString& why)
{
    ctx.err << "nordalis-cli program: " << why << "\nusage: " << kUsage << "\n";
    return 2;
}

bool wholeNumber(const QString& text, int low, int high, int& value)
{
    static const QRegularExpression re(QStringLiteral("^\\d{1,6}$"));
    if (!re.match(text.trimmed()).hasMatch()) return false;
    value = text.trimmed().toInt();
    return value >= low && value <= high;
}

int runProgram(CliContext& ctx)
{
    QString error, room, position, description, rate, delay, start, low, high;
    const bool hasRoom = TakeOption(ctx.args, "--room", room, &error);
    const bool hasPosition = TakeOption(ctx.args, "--position", position, &error);
    const bool hasDescription = TakeOption(ctx.args, "--description", description, &error);
    const bool hasRate = TakeOption(ctx.args, "--rate", rate, &error);
    const bool hasDelay = TakeOption(ctx.args, "--delay", delay, &error);
    const bool hasStart = TakeOption(ctx.args, "--start", start, &error);
    const bool hasLow = TakeOption(ctx.args, "--low", low, &error);
    const bool hasHigh = TakeOption(ctx.args, "--high", high, &error);
    const bool rollover = TakeFlag(ctx.args, "--rollover");
    const bool keepClock = TakeFlag(ctx.args, "--keep-clock");
    if (!error.isEmpty()) return usage(ctx, error);
    if (!ctx.args.isEmpty()) return usage(ctx, "unexpected " + ctx.args.join(' '));
    if (!hasRoom || !hasPosition || !hasDescription || !hasRate || !hasLow || !hasHigh)
        return usage(ctx, "--room, --position, --description, --rate, --low and --high are required");
    if (hasDelay && hasStart) return usage(ctx, "give --delay or --start, not both");

    clsMissionSettings settings;
    int roomId = 0, rateValue = 0, delayValue = 0;
    if (!wholeNumber(room, 0, 999, roomId)) return usage(ctx, "--room takes a compartment number, not \"" + room + "\"");
    if (!wholeNumber(rate, 1, kMaxSampleRate, rateValue))
        return usage(ctx, "--rate takes 1 to 255 minutes, not \"" + rate + "\"");
    if (hasDelay && !wholeNumber(delay, 0, kMaxStartDelayMinutes, delayValue))
        return usage(ctx, QStringLiteral("--delay takes 0 to %1 minutes, not \"%2\"").arg(kMaxStartDelayMinutes).arg(delay));
    QDateTime startLocal;
    if (hasStart) {
        startLocal = QDateTime::fromString(start.trimmed(), QStringLiteral("yyyy-MM-dd HH:mm"));
        if (!startLocal.isValid()) return usage(ctx, "--start takes \"YYYY-MM-DD HH:MM\" (local time), not \"" + start + "\"");
        startLocal.setTimeSpec(Qt::UTC);   // local times are kept tagged as UTC throughout the program
    }

    if (!settings.LoadRooms(AppDatabase())) {
        ctx.err << "nordalis-cli program: no compartments defined (see: structure)\n";
        return 1;
    }
    settings.RoomIndex = -1;
    for (size_t i = 0; i < settings.Rooms.size(); ++i)
        if (settings.Rooms[i].RoomID == roomId) settings.RoomIndex = int(i);
    if (settings.RoomIndex < 0) {
        ctx.err << "nordalis-cli program: there is no compartment " << roomId << "\n";
        return 2;
    }
    settings.UsePCDateTime = !keepClock;
    settings.SampleRateIndex = rateValue - 1;
    settings.LowAlarmText = low;
    settings.HighAlarmText = high;
    settings.EnableRollover = rollover;
    settings.Description = description;
    settings.PositionText = position;
    // The field checks come before the bus is touched.
    const FieldCheck positionCheck = clsMissionSettings::CheckPositionField(4, position);
    if (!positionCheck.ok) {
        ctx.err << "nordalis-cli program: --position " << position << ": " << positionCheck.message << "\n";
        return 2;
    }
    for (const auto& [name, text] : {std::pair{QStringLiteral("--low"), low}, std::pair{QStringLiteral("--high"), high}}) {
        const FieldCheck c = clsMissionSettings::CheckAlarmText(text);
        if (!c.ok) {
            ctx.err << "nordalis-cli program: " << name << " " << text << ": " << c.message << "\n";
            return 2;
        }
    }

    // The start delay is checked before the bus is touched too: a start the logger cannot wait
    // for is refused, never shortened.
    if (hasStart) {
        QString message;
        if (!settings.SetStartMoment(startLocal, &message)) {
            ctx.err << "nordalis-cli program: --start " << start << ": " << message << "\n";
            return 2;
        }
    } else {
        settings.SetDelayLists(delayValue / 1440, delayValue % 1440 / 60, delayValue % 60);
    }
    const QString descriptionProblem = CheckDescription(description, false);
    if (!descriptionProblem.isEmpty()) {
        ctx.err << "nordalis-cli program: --description: " << descriptionProblem << "\n";
        return 2;
    }

    RegisterVirtualBus();
    RegisterSerialLink();
    if (!ctx.globals.bus.isEmpty()) SetBusOverride(ctx.globals.bus);
    if (ctx.globals.traceBusOn && !OpenBusTrace(ctx.globals.traceBus, &error)) {
        ctx.err << "nordalis-cli: " << error << "\n";
        return 1;
    }

    clsDS1921Data& logger = AppLogger();
    if (logger.DeviceFound(QStringLiteral("21")).isEmpty()) {
        const QString cause = TMLinkError(int16_t(logger.Bus().intPortNum));
        ctx.err << "nordalis-cli program: no logger on the bus" << (cause.isEmpty() ? QString() : ": " + cause) << "\n";
        return 1;
    }
    qint32 rc = -1;
    logger.ReadImageFromLogger(true, rc);
    if (rc != imgOk) {
        ctx.err << "nordalis-cli program: couldn't read logger data (" << rc << "); the logger was not touched\n";
        return 1;
    }
    settings.SerialNo = RomTextToSerialNo(logger.LoggerRomText());
    MissionPlan plan;
    QString message, title;
    if (!settings.Validate(logger, plan, message, title)) {
        ctx.err << "nordalis-cli program: " << title << ": " << message << "\n";
        return 2;
    }

    clsProgrammingSequence sequence(logger, AppDatabase());
    sequence.AskFirst = false;
    sequence.ShowMessages = false;
    sequence.ShowStatus = [&ctx](const QString&, int) {};
    sequence.StatusText = settings.SummaryText();
    const ProgrammingOutcome outcome = sequence.Run(plan);
    for (const QString& line : sequence.Log()) ctx.out << line << "\n";
    ctx.out.flush();
    switch (outcome) {
    case ProgrammingOutcome::Running:
        ctx.out << "logger " << settings.SerialNo << " running as " << FormatDeviceID(plan.DeviceID) << ", "
                << plan.SampleRate << " min, start delay " << sequence.WrittenStartDelay()
                << " min";
        if (!sequence.SavedLoggerFile().isEmpty())
            ctx.out << "; " << sequence.SavedSamples() << " samples saved in " << sequence.SavedLoggerFile();
        ctx.out << "\n";
        if (!sequence.FailureMessage().isEmpty()) {
            // Recording, but the programming is missing from the history.
            ctx.err << "nordalis-cli program: " << sequence.FailureMessage() << "\n";
            return 6;
        }
        return 0;
    default:
        ctx.err << "nordalis-cli program: " << sequence.FailureMessage() << "\n";
        return ProgrammingExitStatus(outcome);
    }
}

CliVerb verbProgram("program", kUsage, "erase the connected logger and start a new mission (its samples are saved first)",
                    &runProgram);
} // namespace
