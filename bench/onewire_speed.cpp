// A full reading of a DS1921 as the reading sequence does it (the identity record page, the
// register pages, the 64 data-log pages, then the stamp: the record read again, written through
// the scratchpad and read back), through both adapter emulators with their real timing:
//  (a) the DS2490 USB bridge at its regular speed: wall time against the 1-Wire time-slot bound of
//      the same transfers at that speed (Ds2490Link::slotTimeUs);
//  (b) the DS2490 at its fastest (the logger at overdrive): wall time, target under 1 s;
//  (c) the DS2480B serial adapter at 9600 baud and standard speed, against its bound (the larger
//      of the serial byte time and the 1-Wire slot time);
//  (d) the DS2480B at its fastest (115200 baud, the logger at overdrive): target under 1 s.
// Every path must give the same data log. Rows: RESULT lines for bench/run-all.
#include "BenchBench.h"
#include "app/modRegistry.h"
#include "image/clsDS1921Data.h"
#include "onewire/Ds2480Link.h"
#include "onewire/Ds2490Link.h"
#include "onewire/Tmex.h"
#include "onewire/clsDallasBus.h"
#include "simulator/Ds2480Emulator.h"
#include "simulator/Ds2490Emulator.h"
#include "simulator/VirtualBus.h"
#include "simulator/VirtualWorld.h"
#include "thermochron/clsDallasDevice.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <chrono>
#include <cstdio>
#include <functional>

namespace {

struct Reading {
    bool ok = false;
    QString error;
    QByteArray log;
    double seconds = 0;
};

// The reading's transfers, timed from the search for the logger to the stamp read back.
Reading FullReading()
{
    Reading r;
    const auto t0 = std::chrono::steady_clock::now();
    clsDS1921Data image;
    if (image.DeviceFound(QStringLiteral("21")).isEmpty()) {
        r.error = QStringLiteral("no logger found");
        return r;
    }
    qint32 result = 0;
    image.ReadImageFromLogger(false, result);
    if (result != imgOk) {
        r.error = QStringLiteral("reading the image gave %1 (%2)").arg(result).arg(image.LastError());
        return r;
    }
    clsDallasDevice& device = *image.objDeviceFound;
    ByteBuffer now;
    if (device.ReadPage(0, now) != 0) {
        r.error = QStringLiteral("the record could not be read again");
        return r;
    }
    image.WriteImageToLoggerNVRAM(result);
    ByteBuffer back;
    if (result != 0 || device.ReadPage(0, back) != 0
        || QByteArray(reinterpret_cast<const char*>(back.data()), qsizetype(back.size())) != image.NVRAMBytes()) {
        r.error = QStringLiteral("the stamp did not read back (%1)").arg(result);
        return r;
    }
    r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    r.log = image.TemperaturePages();
    r.ok = true;
    return r;
}

void Result(const QString& what, const QString& figure, const QString& baseline, double ratio, const QString& target,
            const QString& met)
{
    std::printf("RESULT\t%s\t%s\t%s\t%.3f\t%s\t%s\n", qPrintable(what), qPrintable(figure), qPrintable(baseline), ratio,
                qPrintable(target), qPrintable(met));
}

QString Ms(double seconds) { return QStringLiteral("%1 ms").arg(seconds * 1000, 0, 'f', 1); }

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    auto world = MakeLoggerBench(dir);
    if (!world) return 1;
    QString error;
    VirtualBus behind(world);
    if (!behind.open()) {
        std::fprintf(stderr, "virtual bus: %s\n", qPrintable(behind.lastError()));
        return 1;
    }

    // The logger gets its record first (straight on the virtual bus), so that every measured
    // reading reads a real record.
    SetLinkFactoryForTesting([&](int, int) -> std::unique_ptr<OneWireLink> { return std::make_unique<VirtualBus>(world); });
    const Reading first = FullReading();
    TmexShutdown();
    if (!first.ok) {
        std::fprintf(stderr, "reading on the virtual bus failed: %s\n", qPrintable(first.error));
        return 1;
    }

    auto overdrive = [](bool on) { WriteRegistryValue(kTmexKey, "Overdrive", on ? "1" : "0"); };
    bool allSame = true;
    auto check = [&](const char* what, const Reading& r) {
        if (!r.ok) {
            std::fprintf(stderr, "%s: %s\n", what, qPrintable(r.error));
            return false;
        }
        if (r.log != first.log) {
            std::fprintf(stderr, "%s: the data log differs\n", what);
            allSame = false;
        }
        std::fprintf(stderr, "%s: %.1f ms\n", what, r.seconds * 1000);
        return true;
    };

    // DS2490 through its emulator, throttled.
    Ds2490Emulator usb(behind);
    usb.setThrottle(true);
    Ds2490Link* usbLink = nullptr;
    SetLinkFactoryForTesting([&](int, int) -> std::unique_ptr<OneWireLink> {
        auto link = std::make_unique<Ds2490Link>(usb.transport());
        usbLink = link.get();
        return link;
    });
    auto usbReading = [&](bool od, double& slotUs, uint64_t& transfers) {
        overdrive(od);
        usbLink = nullptr;
        // The link is made by the first session; its counters are read after the reading.
        const Reading r = FullReading();
        slotUs = usbLink ? usbLink->slotTimeUs() : 0;
        transfers = usbLink ? usbLink->usbTransfers() : 0;
        TmexShutdown();
        return r;
    };
    double usbRegularSlotUs = 0, usbFastSlotUs = 0;
    uint64_t usbRegularTransfers = 0, usbFastTransfers = 0;
    const Reading usbRegular = usbReading(false, usbRegularSlotUs, usbRegularTransfers);
    const Reading usbFast = usbReading(true, usbFastSlotUs, usbFastTransfers);
    if (!check("DS2490 regular", usbRegular) || !check("DS2490 overdrive", usbFast)) return 1;

    // DS2480B through its emulator on a pseudo-terminal, throttled.
    Ds2480Emulator serialChip(behind);
    if (!serialChip.start(&error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    serialChip.setThrottle(true);
    Ds2480Link* serialLink = nullptr;
    int wantedBaud = 9600;
    SetLinkFactoryForTesting([&](int, int) -> std::unique_ptr<OneWireLink> {
        auto link = std::make_unique<Ds2480Link>(serialChip.devicePath());
        link->setPreferredBaudRate(wantedBaud);
        serialLink = link.get();
        return link;
    });
    struct SerialFigures {
        double slotUs = 0;
        uint64_t tx = 0, rx = 0;
        int baud = 0;
    };
    auto serialReading = [&](bool od, int baud, SerialFigures& f) {
        overdrive(od);
        wantedBaud = baud;
        serialLink = nullptr;
        const Reading r = FullReading();
        if (serialLink) {
            f.slotUs = serialLink->slotTimeUs();
            f.tx = serialLink->bytesWritten();
            f.rx = serialLink->bytesRead();
            f.baud = serialLink->baudRate();
        }
        TmexShutdown();
        return r;
    };
    SerialFigures slow, fast;
    const Reading serialSlow = serialReading(false, 9600, slow);
    const Reading serialFast = serialReading(true, 115200, fast);
    SetLinkFactoryForTesting({});
    serialChip.stop();
    if (!check("DS2480B 9600 standard", serialSlow) || !check("DS2480B 115200 overdrive", serialFast)) return 1;

    // The serial bound: every byte of the exchange crosses the line at the rate used (the bytes
    // of the opening at 9600 are counted at the final rate, which only lowers the bound).
    auto serialBoundUs = [](const SerialFigures& f) {
        const double lineUs = double(std::max(f.tx, f.rx)) * 10.0 * 1e6 / double(f.baud);
        return std::max(lineUs, f.slotUs);
    };
    const double slowBound = serialBoundUs(slow) / 1e6, fastBound = serialBoundUs(fast) / 1e6;
    const double usbRegularBound = usbRegularSlotUs / 1e6, usbFastBound = usbFastSlotUs / 1e6;
    auto under = [](double seconds) { return seconds < 1.0 ? QStringLiteral("yes") : QStringLiteral("no"); };

    std::printf("full reading: record page, register pages, 64 data-log pages, stamp written and read back\n");
    std::printf("DS2490: %llu USB transfers at regular speed, %llu at overdrive; DS2480B: %llu/%llu serial bytes at 9600, "
                "%llu/%llu at %d baud\n",
                (unsigned long long)usbRegularTransfers, (unsigned long long)usbFastTransfers, (unsigned long long)slow.tx,
                (unsigned long long)slow.rx, (unsigned long long)fast.tx, (unsigned long long)fast.rx, fast.baud);
    Result(QStringLiteral("full reading via DS2490, regular speed (vs 1-Wire slot time)"), Ms(usbRegular.seconds),
           Ms(usbRegularBound), usbRegular.seconds / usbRegularBound, QStringLiteral("bound (>= 1)"),
           usbRegular.seconds >= usbRegularBound ? QStringLiteral("yes") : QStringLiteral("no"));
    Result(QStringLiteral("full reading via DS2490, overdrive (vs 1-Wire slot time)"), Ms(usbFast.seconds),
           Ms(usbFastBound), usbFast.seconds / usbFastBound, QStringLiteral("< 1000 ms"), under(usbFast.seconds));
    Result(QStringLiteral("full reading via DS2480B, 9600 standard (vs serial/slot bound)"), Ms(serialSlow.seconds),
           Ms(slowBound), serialSlow.seconds / slowBound, QStringLiteral("bound (>= 1)"),
           serialSlow.seconds >= slowBound ? QStringLiteral("yes") : QStringLiteral("no"));
    Result(QStringLiteral("full reading via DS2480B, %1 + overdrive (vs serial/slot bound)").arg(fast.baud),
           Ms(serialFast.seconds), Ms(fastBound), serialFast.seconds / fastBound, QStringLiteral("< 1000 ms"),
           under(serialFast.seconds));
    Result(QStringLiteral("data log identical on all four paths"), allSame ? QStringLiteral("yes") : QStringLiteral("NO"),
           QString(), allSame ? 1.0 : 0.0, QStringLiteral("identical"), allSame ? QStringLiteral("yes") : QStringLiteral("no"));
    return allSame ? 0 : 1;
}
