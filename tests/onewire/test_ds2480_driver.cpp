// The driver layer chooses the serial link from the configuration store and works through the
// emulated adapter: session, setup, search and a memory read over a serial port in memory.
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
        emulator = std::make_unique<Ds2480Emulator>(*bus);
        // The serial back-end, with the emulated adapter's port in place of the device's.
        SetSerialLinkFactory([this](const QString& device) -> std::unique_ptr<OneWireLink> {
            portsOpened << device;
            auto link = std::make_unique<Ds2480Link>(emulator->memoryPort());
            link->setAnswerTimeoutMs(50);
            return link;
        });
    }
    void TearDown() override
    {
        TmexShutdown();
        SetSerialLinkFactory({});
        SetBusOverride(QString());
        emulator.reset();
        VirtualBench::TearDown();
    }
    std::unique_ptr<Ds2480Emulator> emulator;
    QStringList portsOpened;
};

} // namespace

TEST_F(Ds2480DriverTest, SerialPortFromTheStoreFindsTheDevicesAndReadsMemory)
{
    QString error;
    const RomCode cable = world->addCable(nullptr, &error)->rom();
    const RomCode logger = addLogger()->rom();
    const bench::Bytes registers = readMemory(logger, 0x0200, 16);
    WriteRegistryValue(kTmexKey, "PortDevice3", "/dev/ttyUSB7");

    const int32_t handle = TMExtendedStartSession(3, 5, nullptr);
    ASSERT_GT(handle, 0);
    EXPECT_EQ(portsOpened, QStringList{"/dev/ttyUSB7"});
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
    std::vector<uint8_t> block{ onewire::kMatchRom };
    block.insert(block.end(), logger.begin(), logger.end());
    block.insert(block.end(), { onewire::kReadMemory, 0x00, 0x02 });
    block.insert(block.end(), 16, 0xFF);
    ASSERT_EQ(TMBlockIO(handle, block.data(), int16_t(block.size())), int16_t(block.size()));
    EXPECT_EQ(bench::Bytes(block.begin() + 12, block.end()), registers);
    TMEndSession(handle);
}

TEST_F(Ds2480DriverTest, PortWithoutAdapterFailsSetup)
{
    emulator->setSilent(true);
    const int32_t handle = TMExtendedStartSession(2, 5, nullptr);
    ASSERT_GT(handle, 0);
    EXPECT_NE(TMSetup(handle), 1);
    TMEndSession(handle);
}
