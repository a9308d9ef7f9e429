// The bus object over the real serial protocol: a DS2480B emulator on a pseudo-terminal.
#include "app/modRegistry.h"
#include "onewire/BusWait.h"
#include "simulator/Ds2480Emulator.h"
#include "onewire/Ds2480Link.h"
#include "onewire/RecordingLink.h"
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
    RecordingLink wire;
    wire.open();
    wire.add(MakeRom(0x09, 0x1234));
    auto logger = wire.add(MakeRom(0x21, 0xBEEF));
    logger->memory[0x214] = 0x20;   // mission running
    logger->memory[0x211] = 0x7F;
    const RomCode loggerRom = logger->rom;
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
        EXPECT_TRUE(device->IsMissionRunning());   // strong access through the search accelerator
        ByteBuffer got;
        EXPECT_EQ(device->ReadRawMemory(0x211, 1, got), 0);
        EXPECT_EQ(got, ByteBuffer{0x7F});
        EXPECT_EQ(bus.SessionUsers(), 0);
    }
    TmexShutdown();
}
