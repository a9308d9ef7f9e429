// Reading a logger's whole data log (64 pages with CRC16 checks) through the bus object on the
// virtual bus, against the same Read Memory with CRC exchange sent as one bare block on the link.
// Prints the time and the 1-Wire time slots of both and their ratios.
#include "onewire/BusWait.h"
#include "onewire/OneWireLink.h"
#include "onewire/Tmex.h"
#include "simulator/VirtualBus.h"
#include "simulator/VirtualDs1921.h"
#include "onewire/clsDallasBus.h"
#include "thermochron/clsDallasDevice.h"
#include "app/modRegistry.h"
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    SetRegistryFile(dir.filePath("registry.ini"));
    SetBusWaitForTesting([](int) {});
    auto world = VirtualWorld::ForFile(dir.filePath("bench.json"));
    QString error;
    VirtualDs1921* sim = world->addLogger(Ds1921Variant::G, nullptr, &error);
    if (!sim) { std::fprintf(stderr, "%s\n", qPrintable(error)); return 1; }
    const RomCode rom = sim->rom();
    const int rounds = 20;

    // Baseline: one reset and one block of Match ROM, A5, address and 64 x 34 bytes.
    VirtualBus bare(world);
    bare.open();
    QElapsedTimer timer;
    uint64_t slots0 = 0;
    for (int r = -1; r < rounds; ++r) {   // round -1 warms up
        if (r == 0) { slots0 = bare.timeSlots(); timer.start(); }
        std::vector<uint8_t> block{0x55};
        block.insert(block.end(), rom.begin(), rom.end());
        block.insert(block.end(), {0xA5, 0x00, 0x10});
        block.insert(block.end(), 64 * 34, 0xFF);
        bare.reset();
        bare.block(block.data(), int(block.size()));
    }
    const double bareMs = double(timer.nsecsElapsed()) / 1e6 / rounds;
    const double bareSlots = double(bare.timeSlots() - slots0) / rounds;
    bare.close();

    TmexShutdown();
    VirtualBus* measured = nullptr;
    SetLinkFactoryForTesting([&](int, int) {
        auto link = std::make_unique<VirtualBus>(world);
        measured = link.get();
        return link;
    });
    clsDallasBus bus;
    bus.DoInventory();
    auto logger = bus.colDevices.item(sim->romText());
    if (!logger || !measured) { std::fprintf(stderr, "logger not found\n"); return 1; }
    uint64_t slots1 = 0;
    for (int r = -1; r < rounds; ++r) {
        if (r == 0) { slots1 = measured->timeSlots(); timer.restart(); }
        int16_t pages = 64;
        ByteBuffer log;
        if (logger->ReadPageCRC(0x1000, pages, log) != 0) { std::fprintf(stderr, "read failed\n"); return 1; }
    }
    const double busMs = double(timer.nsecsElapsed()) / 1e6 / rounds;
    const double busSlots = double(measured->timeSlots() - slots1) / rounds;

    std::printf("read data log (64 pages, CRC16 checked) via clsDallasBus: %.2f ms, %.0f time slots\n", busMs, busSlots);
    std::printf("baseline bare block on the same virtual bus:               %.2f ms, %.0f time slots\n", bareMs, bareSlots);
    std::printf("ratio time %.2f, ratio time slots %.3f\n", busMs / bareMs, busSlots / bareSlots);
    TmexShutdown();
    return 0;
}
