// Reading a whole DS1921 (the two register pages from 0x200 and the 64 pages of the data log
// from 0x1000, each page checked by its CRC16) through the bus and device objects:
//  1. on the virtual bus: the 1-Wire time slots used against the minimum the memory protocol
//     needs (reset, Match ROM, Read Memory with CRC and address, 32 data + 2 CRC bytes a page);
//  2. through the DS2480B emulator on a pseudo-terminal at 9600 baud with real byte timing:
//     the wall time against the serial time of the bytes moved (bytes x 10 bits / 9600), and
//     against one block of the same size streamed through the same adapter.
#include "BenchBench.h"
#include "app/modRegistry.h"
#include "simulator/Ds2480Emulator.h"
#include "onewire/Ds2480Link.h"
#include "onewire/Tmex.h"
#include "simulator/VirtualBus.h"
#include "simulator/VirtualWorld.h"
#include "onewire/clsDallasBus.h"
#include "thermochron/clsDallasDevice.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <chrono>
#include <cstdio>

namespace {

struct ReadSpan {
    int address;
    int pages;
};
constexpr ReadSpan kSpans[] = { { 0x200, 2 }, { 0x1000, 64 } };

// Slots the protocol needs at the least for one Read Memory with CRC exchange of n pages.
uint64_t MinimumSlots(int pages)
{
    return 1 + 8 * (1 + 8) + 8 * 3 + uint64_t(pages) * 34 * 8;
}

struct ReadResult {
    bool ok = false;
    QString error;
    ByteBuffer log;
    uint64_t timeSlots = 0;
    double seconds = 0;
    uint64_t bytesSent = 0;       // serial bytes of the read (DS2480B link only)
    uint64_t bytesReceived = 0;
};

// One full read through a fresh bus object; `link` is the link the driver layer made, `serial`
// the same when it is the DS2480B link.
ReadResult ReadLogger(OneWireLink* const& link, Ds2480Link* const& serial)
{
    ReadResult result;
    clsDallasBus bus;
    if (bus.DoInventory() != 0 || bus.colDevices.isEmpty()) {
        result.error = QStringLiteral("no devices found");
        return result;
    }
    std::shared_ptr<clsDallasDevice> logger;
    for (const auto& d : bus.colDevices)
        if (d->IsDS1921())
            logger = d;
    if (!logger || !link) {
        result.error = QStringLiteral("no DS1921 found");
        return result;
    }
    const uint64_t slots0 = link->timeSlots();
    const uint64_t tx0 = serial ? serial->bytesWritten() : 0;
    const uint64_t rx0 = serial ? serial->bytesRead() : 0;
    const auto t0 = std::chrono::steady_clock::now();
    for (const ReadSpan& span : kSpans) {
        int16_t pages = int16_t(span.pages);
        ByteBuffer data;
        const int32_t r = logger->ReadPageCRC(span.address, pages, data);
        if (r != 0) {
            result.error = QStringLiteral("ReadPageCRC(0x%1) = %2").arg(span.address, 0, 16).arg(r);
            return result;
        }
        if (span.address == 0x1000)
            result.log = data;
    }
    result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    result.timeSlots = link->timeSlots() - slots0;
    if (serial) {
        result.bytesSent = serial->bytesWritten() - tx0;
        result.bytesReceived = serial->bytesRead() - rx0;
    }
    result.ok = true;
    return result;
}

void Row(const char* what, double measured, double baseline, const char* unit, const char* target)
{
    std::printf("%-52s %12.1f %12.1f %-3s %8.3f   %s\n", what, measured, baseline, unit, measured / baseline, target);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    auto world = MakeLoggerBench(dir);
    if (!world) return 1;
    // Standard speed throughout: these figures are the adapter's plain 9600-baud ones (the fastest
    // settings are measured by bench_onewire_speed).
    WriteRegistryValue(kTmexKey, "Overdrive", "0");
    QString error;
    uint64_t minimum = 0;
    for (const ReadSpan& span : kSpans)
        minimum += MinimumSlots(span.pages);

    // 1. Virtual bus, straight.
    OneWireLink* virtualLink = nullptr;
    SetLinkFactoryForTesting([&](int, int) -> std::unique_ptr<OneWireLink> {
        auto link = std::make_unique<VirtualBus>(world);
        virtualLink = link.get();
        return link;
    });
    const ReadResult direct = ReadLogger(virtualLink, nullptr);
    TmexShutdown();
    if (!direct.ok) {
        std::fprintf(stderr, "virtual read failed: %s\n", qPrintable(direct.error));
        return 1;
    }

    // 2. Through the DS2480B emulator at 9600 baud, driving the same bench.
    VirtualBus behind(world);
    behind.open();
    Ds2480Emulator emulator(behind);
    if (!emulator.start(&error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    emulator.setThrottle(true);
    Ds2480Link* serial = nullptr;
    OneWireLink* serialLink = nullptr;
    SetLinkFactoryForTesting([&](int, int) -> std::unique_ptr<OneWireLink> {
        auto link = std::make_unique<Ds2480Link>(emulator.devicePath());
        serial = link.get();
        serialLink = link.get();
        return link;
    });
    const ReadResult viaSerial = ReadLogger(serialLink, serial);
    if (!viaSerial.ok || !serial) {
        std::fprintf(stderr, "serial read failed: %s (%s)\n", qPrintable(viaSerial.error),
                     serial ? qPrintable(serial->lastError()) : "no link");
        return 1;
    }
    const uint64_t tx = viaSerial.bytesSent, rx = viaSerial.bytesReceived;
    const double boundSeconds = double(std::max(tx, rx)) * 10.0 / 9600.0;

    // Measured baseline: one data-mode block as long as the answers of the read.
    std::vector<uint8_t> stream(size_t(rx), 0xFF);
    serial->reset();
    const auto s0 = std::chrono::steady_clock::now();
    const int moved = serial->block(stream.data(), int(stream.size()));
    const double streamSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - s0).count();
    const QString streamError = serial->lastError();
    TmexShutdown();   // the driver layer owns the links: gone from here on
    SetLinkFactoryForTesting({});
    emulator.stop();
    if (moved != int(stream.size())) {
        std::fprintf(stderr, "streaming baseline failed: %s\n", qPrintable(streamError));
        return 1;
    }

    const bool same = direct.log == viaSerial.log;
    std::printf("DS1921 full read: register pages 0x200 (2 pages) and data log 0x1000 (64 pages), CRC16 per page\n");
    std::printf("data log identical on both paths: %s; serial bytes of the read: %llu sent, %llu received\n\n",
                same ? "yes" : "NO", (unsigned long long)tx, (unsigned long long)rx);
    std::printf("%-52s %12s %12s %-3s %8s   %s\n", "measured", "figure", "baseline", "", "ratio", "target");
    Row("1-Wire time slots, virtual bus (vs protocol minimum)", double(direct.timeSlots), double(minimum), "", "<= 1.05");
    Row("1-Wire time slots, DS2480B link (vs protocol minimum)", double(viaSerial.timeSlots), double(minimum), "", "<= 1.05");
    Row("wall time via DS2480B at 9600 (vs bytes x 10 / 9600)", viaSerial.seconds * 1000, boundSeconds * 1000, "ms", "bound (>= 1)");
    Row("wall time via DS2480B at 9600 (vs one streamed block)", viaSerial.seconds * 1000, streamSeconds * 1000, "ms", "report");
    return same ? 0 : 1;
}
