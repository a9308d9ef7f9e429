// Terminal verbs of the 1-Wire bus: the devices on the bus and the state of the logger.
#include "app/modMain.h"
#include "cli/Cli.h"
#include "onewire/BusTrace.h"
#include "onewire/Ds2480Link.h"
#include "onewire/Ds2490Link.h"
#include "onewire/OneWireLink.h"
#include "onewire/Tmex.h"
#include "image/LoggerEvidence.h"
#include "settings/InterfacePort.h"
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

// The message of a DS2490 that is not there: the cause and the remedy, and why USB could not be
// asked when that was the reason.
QString NoUsbAdapterMessage(const QString& usbError)
{
    QString text = UsbFailureMessage(UsbFailure::NoAdapter, QStringLiteral("no USB 1-Wire adapter (DS2490) is attached"));
    if (!usbError.isEmpty()) text += QStringLiteral(" (") + usbError + QLatin1Char(')');
    return text;
}

// Searches the bus; false with a message when the adapter does not answer: where it was looked
// for and, from the driver layer, why it does not answer and what to do.
bool Search(CliContext& ctx, clsDallasBus& bus)
{
    const BusSession session(bus);
    if (!session.ok()) {
        const QString driver = ConfiguredDriver();
        const QString where = driver == "virtual" ? QStringLiteral("virtual bus")
                              : driver == "usb"   ? QStringLiteral("USB%1, DS2490 USB adapter").arg(bus.intPortNum)
                                                  : PortDevicePath(bus.intPortNum);
        ctx.err << "nordalis-cli: the 1-Wire adapter does not answer (port " << bus.intPortNum << ", " << where << ")";
        QString cause = TMLinkError(bus.intPortNum);
        if (driver == "usb") {
            // No DS2490 at all (also when USB cannot be asked): said with the remedy.
            QString usbError;
            if (UsbAdaptersPresent(&usbError).empty()) cause = NoUsbAdapterMessage(usbError);
        }
        if (!cause.isEmpty()) ctx.err << ": " << cause;
        ctx.err << "\n";
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

// The adapters attached to this computer, one a line: kind and description, tab-separated.
int RunBusAdapters(CliContext& ctx)
{
    const QStringList serial = SerialAdaptersPresent();
    QString usbError;
    const std::vector<UsbAdapterInfo> usb = UsbAdaptersPresent(&usbError);
    for (const QString& text : serial)
        ctx.out << "serial\t" << text << "\n";
    for (size_t i = 0; i < usb.size(); ++i)
        ctx.out << "usb\t" << UsbPortEntryText(int(i + 1), usb[i]) << "\n";
    ctx.out.flush();
    if (ConfiguredDriver() == "usb" && usb.empty()) {
        ctx.err << "nordalis-cli: " << NoUsbAdapterMessage(usbError) << "\n";
        return 1;
    }
    if (serial.isEmpty() && usb.empty()) {
        ctx.err << "nordalis-cli: no 1-Wire adapter is attached: neither a USB serial adapter nor a USB 1-Wire "
                   "adapter (DS2490)";
        if (!usbError.isEmpty()) ctx.err << " (" << usbError << ")";
        ctx.err << "; plug the reader in\n";
        return 1;
    }
    return 0;
}

int RunBusList(CliContext& ctx)
{
    if (ctx.args == QStringList{"adapters"}) return RunBusAdapters(ctx);
    if (ctx.args != QStringList{"list"}) {
        ctx.err << "nordalis-cli: usage: bus list | bus adapters\n";
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
    // The alarm log and histogram, timed by the register page.
    clsDS1921Data image;
    ByteBuffer registers, alarms, histogram;
    int16_t pages = 1;
    if (logger->ReadPageCRC(ds1921::kRegisterPage, pages, registers) == 0)
        image.SetRegisterPages(QByteArray(reinterpret_cast<const char*>(registers.data()), qsizetype(registers.size())));
    QByteArray alarmArea, histogramArea;
    pages = 3;
    if (image.HasRegisters() && logger->ReadPageCRC(ds1921::kLowAlarmLog, pages, alarms) == 0 && alarms.size() >= size_t(kAlarmLogBytes))
        alarmArea = QByteArray(reinterpret_cast<const char*>(alarms.data()), kAlarmLogBytes);
    pages = 4;
    if (logger->ReadPageCRC(ds1921::kHistogram, pages, histogram) == 0 && histogram.size() >= size_t(kHistogramAreaBytes))
        histogramArea = QByteArray(reinterpret_cast<const char*>(histogram.data()), kHistogramAreaBytes);
    for (const QString& line : LoggerEvidenceLines(alarmArea, histogramArea, image, LoggerVariantOf(logger->strROMText)))
        ctx.out << line << "\n";
    return 0;
}

CliVerb verbBus("bus", "bus list | bus adapters",
                "the devices on the 1-Wire bus (ROM text and family), or the adapters attached to this computer",
                &RunBusList);
CliVerb verbLogger("logger", "logger status", "mission, clock and current temperature of the connected logger",
                   &RunLoggerStatus);

} // namespace
