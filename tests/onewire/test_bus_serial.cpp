// The bus object over the real serial protocol: a DS2480B emulator on a pseudo-terminal.
#include "app/modRegistry.h"
#include "onewire/BusWait.h"
#include "onewire/Ds2480Emulator.h"
#include "onewire/Ds2480Link.h"
#include "onewire/VirtualBus.h"
#include "onewire/OneWireLink.h"
#include "onewire/Tmex.h"
#include "onewire/clsDallasBus.h"
#include "thermochron/clsDallasDevice.h"
#include <QTemporaryDir>
#include <gtest/gtest.h>

TEST(BusOverSerial, SearchSelectsAndReadsThroughTheAdapter)
{
    QTemporaryDir dir;
    SetRegistryFile(dir.filePath("registry.ini"));
    SetLinkFactoryForTesting({});
    SetBusOverride(QString());
    TmexShutdown();
    RegisterSerialLink();
    // The adapter emulator drives the virtual bus: a cable chip and a logger that has just
    // made a forced conversion (its result in 0x211).
    auto world = std::make_shared<VirtualWorld>(dir.filePath("bench.json"));
    QString error;
    ASSERT_TRUE(world->addCable(nullptr, &error));
    VirtualDs1921* sim = world->addLogger(Ds1921Variant::G, nullptr, &error);
    ASSERT_TRUE(sim);
    VirtualBus wire(world);
    ASSERT_TRUE(wire.open());
    ASSERT_TRUE(wire.reset());
    uint8_t convert[] = {0xCC, 0x44, 0xFF};
    ASSERT_EQ(wire.block(convert, 3), 3);
    const uint8_t converted = sim->peek(0x211);
    ASSERT_NE(converted, 0);
    const RomCode loggerRom = sim->rom();
    Ds2480Emulator emulator(wire);
    ASSERT_TRUE(emulator.start());
    CreateRegistryKey(kTmexKey);
    WriteRegistryValue(kTmexKey, "Driver", QString("serial"));
    WriteRegistryValue(kTmexKey, "DefaultPortNum", QString("4"));
    WriteRegistryValue(kTmexKey, "PortDevice4", emulator.devicePath());
    {
        clsDallasBus bus;
        EXPECT_EQ(bus.intPortNum, 4);
        ASSERT_EQ(bus.DoInventory(), 0);
        ASSERT_EQ(bus.colDevices.count(), 2);
        RomArray arr{};
        for (int i = 0; i < 8; ++i) arr[size_t(i)] = loggerRom[size_t(i)];
        auto device = bus.colDevices.item(clsDallasBus::ROMToString(arr));
        ASSERT_TRUE(device);
        EXPECT_FALSE(device->IsMissionRunning());   // strong access through the search accelerator
        ByteBuffer got;
        EXPECT_EQ(device->ReadRawMemory(0x211, 1, got), 0);
        EXPECT_EQ(got, ByteBuffer{converted});
        EXPECT_EQ(bus.SessionUsers(), 0);
    }
    TmexShutdown();
}
