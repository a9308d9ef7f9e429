// Terminal verbs of the 1-Wire bus: the devices on the bus and the state of the logger.
#include "app/modMain.h"
#include "cli/Cli.h"
#include "onewire/BusTrace.h"
#include "onewire/Ds2480Link.h"
#include "onewire/OneWireLink.h"
#include "simulator/VirtualBus.h"
#include "onewire/clsDallasBus.h"
#include "thermochron/clsDallasDevice.h"

namespace {

// --bus and --trace-bus of the command line; false with a message when the trace file fails.
bool PrepareBus(CliContext& ctx)
{
    RegisterVirtualBus();
    RegisterSerialLink();
    if (!ctx.globals.bus.isEmpty()) SetBusOverride(ctx.globals.bus);
    if (ctx.globals.traceBusOn) {
        QString error;
        if (!OpenBusTrace(ctx.globals.traceBus, &error)) {
            ctx.err << "nordalis-cli: " << error << "\n";
            return false;
        }
    }
    return true;
}

QString FamilyName(const QString& romText)
{
    const QString family = romText.right(2);
    if (family == "21") {
        const QString variant = romText.mid(2, 3);
        const QChar letter = variant == "4F2" ? 'H' : variant == "3B2" ? 'Z' : 'G';
        return QStringLiteral("DS1921%1 Thermochron temperature logger").arg(letter);
    }
    if (family == "09") return QStringLiteral("DS2502 identification chip (reader cable)");
    if (family == "28") return QStringLiteral("DS18B20 temperature sensor");
    if (family == "04") return QStringLiteral("DS1994 memory and clock (mailbox unit)");
    if (family == "0C") return QStringLiteral("temperature and humidity sensor");
    return QStringLiteral("family %1").arg(family);
}

// Searches the bus; false with a message when the adapter does not answer.
bool Search(CliContext& ctx, clsDallasBus& bus)
{
    const BusSession session(bus);
    if (!session.ok()) {
        ctx.err << "nordalis-cli: the 1-Wire adapter does not answer (port " << bus.intPortNum << ", "
                << (ConfiguredDriver() == "virtual" ? QStringLiteral("virtual bus") : PortDevicePath(bus.intPortNum))
                << ")\n";
        return false;
    }
    bus.DoInventory();   // runs inside the session taken above
    return true;
}

int BcdValue(uint8_t b) { return (b >> 4) * 10 + (b & 0x0F); }

// The logger's clock from the registers 0x200-0x206 (UTC).
QDateTime DecodeClock(const ByteBuffer& r)
{
    int hour;
    const uint8_t h = r[2];
    if (h & 0x40) {   // 12-hour form: bit 5 = PM
        hour = BcdValue(h & 0x1F) % 12 + ((h & 0x20) ? 12 : 0);
    } else {
        hour = BcdValue(h & 0x3F);
    }
    const int year = BcdValue(r[6]) + ((r[5] & 0x80) ? 2000 : 1900);
    const QDate date(year, BcdValue(r[5] & 0x1F), BcdValue(r[4] & 0x3F));
    const QTime time(hour, BcdValue(r[1] & 0x7F), BcdValue(r[0] & 0x7F));
    return QDateTime(date, time, Qt::UTC);
}

int RunBusList(CliContext& ctx)
{
    if (ctx.args != QStringList{"list"}) {
        ctx.err << "nordalis-cli: usage: bus list\n";
        return 2;
    }
    if (!PrepareBus(ctx)) return 1;
    clsDallasBus bus;
    if (!Search(ctx, bus)) return 1;
    for (const auto& device : bus.colDevices)
        ctx.out << device->strROMText << "\t" << FamilyName(device->strROMText) << "\n";
    return 0;
}

int RunLoggerStatus(CliContext& ctx)
{
    if (ctx.args != QStringList{"status"}) {
        ctx.err << "nordalis-cli: usage: logger status\n";
        return 2;
    }
    if (!PrepareBus(ctx)) return 1;
    clsDallasBus bus;
    if (!Search(ctx, bus)) return 1;
    std::shared_ptr<clsDallasDevice> logger;
    for (const auto& device : bus.colDevices)
        if (device->IsDS1921()) { logger = device; break; }
    if (!logger) {
        ctx.err << "nordalis-cli: no logger on the bus\n";
        return 1;
    }
    ctx.out << "logger\t" << logger->strROMText << "\n";
    ByteBuffer status;
    const int32_t rs = logger->ReadRawMemory(kRegStatus, 1, status);
    if (rs != 0 && rs != -12) {
        ctx.err << "nordalis-cli: the logger could not be read (" << rs << ")\n";
        return 1;
    }
    ctx.out << "mission running\t" << ((status[0] & 0x20) ? "yes" : "no") << "\n";
    ByteBuffer clock;
    const int32_t rc = logger->ReadRawMemory(kRegClock, 7, clock);
    if (rc == 0) {
        const QDateTime utc = DecodeClock(clock);
        ctx.out << "clock\t" << (utc.isValid() ? utc.toString("yyyy-MM-dd hh:mm:ss") + " UTC" : QStringLiteral("invalid"))
                << "\n";
    } else {
        ctx.out << "clock\tunreadable (" << rc << ")\n";
    }
    float t = 0;
    const int32_t rt = logger->GetCurrentTemperature(t);
    if (rt == 0)
        ctx.out << "temperature\t" << QString::number(ToDisplayUnits(t), 'f', 1) << " " << App().UnitLabel << "\n";
    else
        ctx.out << "temperature\tunreadable (" << rt << ")\n";
    return 0;
}

CliVerb verbBus("bus", "bus list", "the devices on the 1-Wire bus: ROM text and family", &RunBusList);
CliVerb verbLogger("logger", "logger status", "mission, clock and current temperature of the connected logger",
                   &RunLoggerStatus);

} // namespace
