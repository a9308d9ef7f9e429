// The driver layer chooses the serial link from the configuration store and works through the
// emulated adapter: session, setup, search and a memory read over the pseudo-terminal.
#include "app/modRegistry.h"
#include "simulator/Ds2480Emulator.h"
#include "onewire/Ds2480Link.h"
#include "onewire/Tmex.h"
#include "onewire/VirtualBench.h"
#include "simulator/VirtualDs18b20.h"
#include "simulator/VirtualDs2502.h"

#include <QTemporaryDir>
#include <algorithm>
#include <gtest/gtest.h>

namespace {

class Ds2480DriverTest : public bench::VirtualBench {
protected:
    void SetUp() override
    {
        VirtualBench::SetUp();
        SetRegistryFile(dir.filePath("registry.ini"));
        SetBusOverride(QString());
        CreateRegistryKey(kTmexKey);
        WriteRegistryValue(kTmexKey, "Driver", "serial");
        RegisterSerialLink();
    }
    void TearDown() override
    {
        TmexShutdown();
        SetBusOverride(QString());
        VirtualBench::TearDown();
    }
};

} // namespace

TEST_F(Ds2480DriverTest, SerialPortFromTheStoreFindsTheDevicesAndReadsMemory)
{
    QString error;
    const RomCode cable = world->addCable(nullptr, &error)->rom();
    const RomCode logger = addLogger()->rom();
    const bench::Bytes registers = readMemory(logger, 0x0200, 16);
    Ds2480Emulator emulator(*bus);
    ASSERT_TRUE(emulator.start());
    WriteRegistryValue(kTmexKey, "PortDevice3", emulator.devicePath());

    const int32_t handle = TMExtendedStartSession(3, 5, nullptr);
    ASSERT_GT(handle, 0);
    ASSERT_EQ(TMSetup(handle), 1);
    std::vector<uint8_t> state(15361);
    std::vector<RomCode> found;
    for (int r = TMFirst(handle, state.data()); r == 1; r = TMNext(handle, state.data())) {
        int16_t rom[9] = {};
        ASSERT_EQ(TMRom(handle, state.data(), rom), 1);
        RomCode code{};
        for (int i = 0; i < 8; ++i)
            code[size_t(i)] = uint8_t(rom[i]);
        found.push_back(code);
        ASSERT_LE(found.size(), 2u);
    }
    std::sort(found.begin(), found.end());
    std::vector<RomCode> expected{ cable, logger };
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(found, expected);

    // Select the logger and read 16 bytes from 0x0200 in one block after a reset.
    int16_t rom[9] = {};
    for (int i = 0; i < 8; ++i)
        rom[i] = logger[size_t(i)];
    ASSERT_EQ(TMRom(handle, state.data(), rom), 1);
    std::vector<uint8_t> block{ 0x55 };
    block.insert(block.end(), logger.begin(), logger.end());
    block.insert(block.end(), { 0xF0, 0x00, 0x02 });
    block.insert(block.end(), 16, 0xFF);
    ASSERT_EQ(TMBlockIO(handle, block.data(), int16_t(block.size())), int16_t(block.size()));
    EXPECT_EQ(bench::Bytes(block.begin() + 12, block.end()), registers);
    TMEndSession(handle);
}

TEST_F(Ds2480DriverTest, PortWithoutAdapterFailsSetup)
{
    Ds2480Emulator emulator(*bus);
    ASSERT_TRUE(emulator.start());
    emulator.setSilent(true);
    WriteRegistryValue(kTmexKey, "PortDevice2", emulator.devicePath());
    const int32_t handle = TMExtendedStartSession(2, 5, nullptr);
    ASSERT_GT(handle, 0);
    EXPECT_NE(TMSetup(handle), 1);
    TMEndSession(handle);
}
