// The serial link against the DS2480B emulator through a serial port in memory, byte for byte;
// the emulator drives the virtual bus with its simulated loggers, cable chip and sensor.
#include "simulator/Ds2480Emulator.h"
#include "onewire/Ds2480Link.h"
#include "onewire/VirtualBench.h"
#include "simulator/VirtualDs18b20.h"
#include "simulator/VirtualDs2502.h"

#include <algorithm>

using bench::Bytes;

namespace {

class Ds2480LinkTest : public bench::VirtualBench {
protected:
    void SetUp() override
    {
        VirtualBench::SetUp();
        emulator = std::make_unique<Ds2480Emulator>(*bus);
        link = std::make_unique<Ds2480Link>(emulator->memoryPort());
    }
    void TearDown() override
    {
        link.reset();
        emulator.reset();
        VirtualBench::TearDown();
    }
    void openLink()
    {
        ASSERT_TRUE(link->open()) << link->lastError().toStdString();
        emulator->clearLog();
    }
    Bytes received() { return emulator->received(); }
    Bytes answers() { return emulator->sent(); }
    static Bytes matchRom(const RomCode& rom)
    {
        Bytes b{ onewire::kMatchRom };
        b.insert(b.end(), rom.begin(), rom.end());
        return b;
    }
    // A logger whose memory from 0x00E0 holds a known pattern.
    RomCode loggerWithPattern()
    {
        const RomCode rom = addLogger()->rom();
        Bytes pattern(32);
        for (size_t i = 0; i < pattern.size(); ++i)
            pattern[i] = uint8_t(0xC1 + 7 * i);
        pattern[3] = 0xE3;
        EXPECT_EQ(writeRaw(rom, 0x00E0, pattern), 0xAA);
        return rom;
    }

    std::unique_ptr<Ds2480Emulator> emulator;
    std::unique_ptr<Ds2480Link> link;
};

} // namespace

TEST_F(Ds2480LinkTest, InitSequenceCalibratesAndChecksTheConfiguration)
{
    ASSERT_TRUE(link->open()) << link->lastError().toStdString();
    // timing byte, then slew rate, write-1 low time, sample offset, read of the baud rate, read slot
    EXPECT_EQ(received(), (Bytes{ 0xC1, 0x17, 0x45, 0x5B, 0x0F, 0x91 }));
    EXPECT_EQ(answers(), (Bytes{ 0x16, 0x44, 0x5A, 0x00, 0x93 }));
    EXPECT_TRUE(emulator->calibrated());
    EXPECT_FALSE(emulator->dataMode());

    // Closing the port powers the adapter down; a new open calibrates it again.
    link->close();
    EXPECT_FALSE(emulator->calibrated());
    emulator->clearLog();
    ASSERT_TRUE(link->open()) << link->lastError().toStdString();
    EXPECT_EQ(received(), (Bytes{ 0xC1, 0x17, 0x45, 0x5B, 0x0F, 0x91 }));
}

TEST_F(Ds2480LinkTest, FasterRateIsSetAndConfirmedAtTheNewSpeed)
{
    addLogger();
    openLink();
    EXPECT_FALSE(link->setBaudRate(38400));
    ASSERT_TRUE(link->setBaudRate(115200)) << link->lastError().toStdString();
    // rate 115.2 kbps, then a read of the rate at the new speed
    EXPECT_EQ(received(), (Bytes{ 0x77, 0x0F }));
    EXPECT_EQ(answers(), (Bytes{ 0x76, 0x06 }));
    EXPECT_EQ(emulator->baudRate(), 115200);
    EXPECT_EQ(link->baudRate(), 115200);
    EXPECT_TRUE(link->reset());

    // After a lost adapter the link starts again at 9600 and sets the chosen rate once more.
    // The break is lost on the way (a USB-serial bridge): the 0x00 at 4800 baud resets the chip.
    emulator->setBreakLost(true);
    const int resetsBefore = emulator->masterResets();
    emulator->setAnswerLimit(0);
    EXPECT_EQ(link->touchBit(1), -1);
    emulator->setAnswerLimit(-1);
    emulator->clearLog();
    EXPECT_TRUE(link->reset()) << link->lastError().toStdString();
    const Bytes log = received();
    ASSERT_GE(log.size(), 3u);
    EXPECT_EQ(Bytes(log.end() - 3, log.end()), (Bytes{ 0x77, 0x0F, 0xC1 }));
    EXPECT_NE(std::find(log.begin(), log.end(), 0x00), log.end());
    EXPECT_EQ(emulator->masterResets(), resetsBefore + 1);
    EXPECT_EQ(link->baudRate(), 115200);
}

TEST_F(Ds2480LinkTest, ResetReportsPresenceFromTheResetAnswer)
{
    VirtualDs1921* logger = addLogger();
    openLink();
    EXPECT_TRUE(link->reset());
    EXPECT_EQ(received(), Bytes{ 0xC1 });
    EXPECT_EQ(answers(), Bytes{ 0xCD });
    EXPECT_EQ(link->timeSlots(), 1u);

    logger->setPresent(false);
    emulator->clearLog();
    EXPECT_FALSE(link->reset());
    EXPECT_TRUE(link->lastError().isEmpty()) << "an empty bus is not a link failure";
    EXPECT_EQ(answers(), Bytes{ 0xCF });
}

TEST_F(Ds2480LinkTest, BitAndByteTransfersSwitchModesOnlyWhenNeeded)
{
    const RomCode rom = addLogger()->rom();
    openLink();
    EXPECT_EQ(link->touchBit(1), 1);
    EXPECT_EQ(link->touchBit(0), 0);
    EXPECT_EQ(received(), (Bytes{ 0x91, 0x81 }));
    EXPECT_EQ(answers(), (Bytes{ 0x93, 0x80 }));

    emulator->clearLog();
    ASSERT_TRUE(link->reset());
    EXPECT_EQ(link->touchByte(onewire::kReadRom), onewire::kReadRom);
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(link->touchByte(0xFF), rom[size_t(i)]) << "ROM byte " << i;
    // one switch to data mode for all nine bytes
    Bytes expected{ 0xC1, 0xE1, 0x33 };
    expected.insert(expected.end(), 8, 0xFF);
    EXPECT_EQ(received(), expected);
    EXPECT_TRUE(emulator->dataMode());

    // a bit after bytes goes back to command mode first
    emulator->clearLog();
    EXPECT_EQ(link->touchBit(1), 1);
    EXPECT_EQ(received(), (Bytes{ 0xE3, 0x91 }));
    EXPECT_EQ(link->timeSlots(), 1u + 9 * 8 + 3);
}

TEST_F(Ds2480LinkTest, BlockDoublesTheEscapeByteAndReadsMemory)
{
    const RomCode rom = loggerWithPattern();
    const Bytes memory = readMemory(rom, 0x00E3, 41);
    ASSERT_EQ(memory[0], 0xE3);
    openLink();
    ASSERT_TRUE(link->reset());
    // Read Memory from 0x00E3: the address byte and the first data byte are the mode-switch code.
    Bytes block = matchRom(rom);
    block.insert(block.end(), { 0xF0, 0xE3, 0x00 });
    block.insert(block.end(), 40, 0xFF);
    Bytes io = block;
    ASSERT_EQ(link->block(io.data(), int(io.size())), int(io.size())) << link->lastError().toStdString();
    EXPECT_EQ(Bytes(io.begin() + 12, io.end()), Bytes(memory.begin(), memory.begin() + 40));

    Bytes expected{ 0xC1, 0xE1 };
    for (uint8_t b : block) {
        expected.push_back(b);
        if (b == 0xE3)
            expected.push_back(0xE3);
    }
    EXPECT_EQ(received(), expected);
    // exactly one answer per 1-Wire byte: the reset answer and the block
    EXPECT_EQ(answers().size(), 1 + block.size());
    EXPECT_EQ(link->timeSlots(), 1 + 8 * block.size());

    // A data byte 0xE3 as the last byte of a block still gets its answer (the zero bits it
    // writes pull the device's bits down: the wired AND).
    Bytes single{ 0xE3 };
    EXPECT_EQ(link->block(single.data(), 1), 1);
    EXPECT_EQ(single[0], memory[40] & 0xE3);
}

TEST_F(Ds2480LinkTest, SearchAcceleratorFindsEveryDevice)
{
    for (int i = 0; i < 3; ++i)
        addLogger(i == 1 ? Ds1921Variant::Z : Ds1921Variant::G);
    QString error;
    ASSERT_TRUE(world->addCable(nullptr, &error)) << error.toStdString();
    ASSERT_TRUE(world->addSensor(nullptr, &error)) << error.toStdString();
    std::vector<RomCode> roms;
    for (const auto& d : world->devices())
        roms.push_back(d->rom());
    openLink();

    std::vector<RomCode> found;
    OneWireSearchState state;
    while (link->searchNext(state)) {
        found.push_back(state.rom);
        ASSERT_LE(found.size(), roms.size());
    }
    EXPECT_TRUE(link->lastError().isEmpty()) << link->lastError().toStdString();
    auto sorted = [](std::vector<RomCode> v) { std::sort(v.begin(), v.end()); return v; };
    EXPECT_EQ(sorted(found), sorted(roms));

    // The same order as the bit-by-bit search on the bus itself.
    std::vector<RomCode> direct;
    OneWireSearchState directState;
    while (bus->OneWireLink::searchNext(directState))
        direct.push_back(directState.rom);
    EXPECT_EQ(found, direct);

    // Each pass: reset, Search ROM in data mode, accelerator on, 16 bytes, accelerator off.
    const Bytes log = received();
    ASSERT_GE(log.size(), 24u);
    EXPECT_EQ(Bytes(log.begin(), log.begin() + 6), (Bytes{ 0xC1, 0xE1, 0xF0, 0xE3, 0xB1, 0xE1 }));
    EXPECT_EQ(log[22], 0xE3);
    EXPECT_EQ(log[23], 0xA1);
    EXPECT_EQ(log.size(), 24 * roms.size());
    EXPECT_EQ(link->timeSlots(), roms.size() * (1 + 8 + 64 * 3));
}

TEST_F(Ds2480LinkTest, SearchOnEmptyBusEndsAtOnce)
{
    openLink();
    OneWireSearchState state;
    EXPECT_FALSE(link->searchNext(state));
    EXPECT_TRUE(link->lastError().isEmpty());
    EXPECT_EQ(state.lastDiscrepancy, 0);
}

TEST_F(Ds2480LinkTest, StrongPullupAfterByteUntilTheNextCall)
{
    QString error;
    VirtualDevice* sensor = world->addSensor(nullptr, &error);
    ASSERT_TRUE(sensor) << error.toStdString();
    openLink();
    ASSERT_TRUE(link->reset());
    Bytes select = matchRom(sensor->rom());
    ASSERT_EQ(link->block(select.data(), int(select.size())), int(select.size()));
    emulator->clearLog();

    EXPECT_EQ(link->touchBytePower(0x44), 0x44);   // Convert T
    // back to command mode, pull-up until terminated, 0x44 LSB first as single bits, the last
    // one with the strong pull-up after its slot
    EXPECT_EQ(received(), (Bytes{ 0xE3, 0x3F, 0x81, 0x81, 0x91, 0x81, 0x81, 0x81, 0x91, 0x83 }));
    EXPECT_TRUE(emulator->strongPullupActive());

    emulator->clearLog();
    EXPECT_GE(link->touchBit(1), 0);
    const Bytes log = received();
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log.front(), 0xF1);
    EXPECT_EQ(log.back(), 0x91);
    EXPECT_FALSE(emulator->strongPullupActive());
    EXPECT_TRUE(link->reset()) << "answers still in step after the pull-up";
}

TEST_F(Ds2480LinkTest, DeviceLeavingInTheMiddleOfAReadGivesOnesAndNoPresence)
{
    VirtualDs1921* logger = addLogger();
    const RomCode rom = logger->rom();
    openLink();
    ASSERT_TRUE(link->reset());
    logger->leaveAfterBytes(12 + 20);   // select, command and address, then 20 data bytes
    Bytes io = matchRom(rom);
    io.insert(io.end(), { 0xF0, 0xE0, 0x00 });
    io.insert(io.end(), 64, 0xFF);
    ASSERT_EQ(link->block(io.data(), int(io.size())), int(io.size()));
    for (int i = 21; i < 64; ++i)
        EXPECT_EQ(io[size_t(12 + i)], 0xFF) << "byte " << i << " after the device left";
    EXPECT_FALSE(link->reset());
    EXPECT_TRUE(link->lastError().isEmpty());
}

TEST_F(Ds2480LinkTest, AdapterVanishingInTheMiddleOfAReadFailsWithinTheTimeout)
{
    const RomCode rom = loggerWithPattern();
    openLink();
    ASSERT_TRUE(link->reset());
    emulator->setAnswerLimit(30);   // pulled out after 30 answer bytes
    Bytes io = matchRom(rom);
    io.insert(io.end(), { 0xF0, 0xE0, 0x00 });
    io.insert(io.end(), 100, 0xFF);
    EXPECT_EQ(link->block(io.data(), int(io.size())), 30);
    EXPECT_TRUE(link->lastError().contains("no answer")) << link->lastError().toStdString();
    EXPECT_EQ(Bytes(io.begin() + 12, io.begin() + 30), readMemory(rom, 0x00E0, 18)) << "what came is kept";
    EXPECT_FALSE(link->reset());
    EXPECT_EQ(link->touchBit(1), -1);
    EXPECT_FALSE(link->lastError().isEmpty());

    // Put back: the next call synchronises the adapter again and works.
    emulator->setAnswerLimit(-1);
    EXPECT_TRUE(link->reset()) << link->lastError().toStdString();
    EXPECT_TRUE(emulator->calibrated());
}

TEST_F(Ds2480LinkTest, PortWithoutAdapterFailsToOpenWithAClearError)
{
    emulator->setSilent(true);
    EXPECT_FALSE(link->open());
    EXPECT_EQ(link->lastError(), QStringLiteral("no DS2480B adapter answers on %1").arg(link->devicePath()));
    EXPECT_FALSE(link->isOpen());
    EXPECT_FALSE(link->reset());
    EXPECT_EQ(link->touchByte(0xFF), -1);
}
