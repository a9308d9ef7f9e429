// Overdrive on the virtual bus, slot by slot: which devices go there, what they answer at which
// speed, and how a standard reset brings them back.
#include "onewire/VirtualBench.h"
#include "simulator/VirtualDs18b20.h"
#include "simulator/VirtualDs2502.h"
#include <QFile>

namespace {

using bench::Bytes;

class OverdriveDevices : public bench::VirtualBench {
protected:
    // Standard reset, then a ROM command byte at standard speed.
    bool standardRomCommand(uint8_t command)
    {
        bus->setSpeed(OneWireSpeed::Standard);
        const bool presence = bus->reset();
        EXPECT_EQ(bus->touchByte(command), command);
        return presence;
    }
    // Read ROM after a reset at the bus's present speed; all ones when nobody answered.
    RomCode readRom()
    {
        bus->reset();
        Bytes b(9, 0xFF);
        b[0] = 0x33;
        EXPECT_EQ(bus->block(b.data(), 9), 9);
        RomCode rom{};
        std::copy(b.begin() + 1, b.end(), rom.begin());
        return rom;
    }
    static RomCode allOnes()
    {
        RomCode r;
        r.fill(0xFF);
        return r;
    }
};

TEST_F(OverdriveDevices, LoggerGoesToOverdriveOnSkipAndBackAtAStandardReset)
{
    VirtualDs1921* logger = addLogger();
    const RomCode rom = logger->rom();
    const Bytes registers = readMemory(rom, 0x200, 32);

    ASSERT_TRUE(standardRomCommand(0x3C));
    EXPECT_TRUE(logger->overdrive());
    ASSERT_TRUE(bus->setSpeed(OneWireSpeed::Overdrive));
    EXPECT_EQ(readRom(), rom);                          // answers an overdrive reset and slots
    EXPECT_EQ(readMemory(rom, 0x200, 32), registers);   // the same memory at overdrive
    EXPECT_GT(bus->overdriveSlots(), 0u);

    // A standard slot does not reach it while it is at overdrive: Read ROM sent at standard
    // speed without a reset is not taken (the device would drive its ROM in the next byte),
    // the same command at overdrive is.
    bus->reset();
    bus->setSpeed(OneWireSpeed::Standard);
    EXPECT_EQ(bus->touchByte(0x33), 0x33);
    bus->setSpeed(OneWireSpeed::Overdrive);
    EXPECT_EQ(bus->touchByte(0x33), 0x33);
    EXPECT_EQ(bus->touchByte(0xFF), rom[0]);

    // A standard reset brings it back; an overdrive reset is then not answered.
    bus->setSpeed(OneWireSpeed::Standard);
    EXPECT_TRUE(bus->reset());
    EXPECT_FALSE(logger->overdrive());
    EXPECT_EQ(readRom(), rom);
    bus->setSpeed(OneWireSpeed::Overdrive);
    EXPECT_FALSE(bus->reset());
    bus->setSpeed(OneWireSpeed::Standard);
    EXPECT_EQ(readMemory(rom, 0x200, 32), registers);
}

TEST_F(OverdriveDevices, CableChipAndSensorIgnoreOverdriveAndStayAtStandard)
{
    QString error;
    VirtualDs2502* cable = world->addCable(nullptr, &error);
    ASSERT_TRUE(cable) << error.toStdString();

    ASSERT_TRUE(standardRomCommand(0x3C));
    EXPECT_FALSE(cable->overdrive());
    bus->setSpeed(OneWireSpeed::Overdrive);
    EXPECT_FALSE(bus->reset());                 // nobody at overdrive
    EXPECT_EQ(readRom(), allOnes());
    ASSERT_TRUE(standardRomCommand(0x69));      // Overdrive Match: not taken either
    EXPECT_FALSE(cable->overdrive());
    bus->setSpeed(OneWireSpeed::Standard);
    EXPECT_EQ(readRom(), cable->rom());          // still there at standard speed

    VirtualDs18b20* sensor = world->addSensor(nullptr, &error);
    ASSERT_TRUE(sensor) << error.toStdString();
    ASSERT_TRUE(standardRomCommand(0x3C));
    EXPECT_FALSE(sensor->overdrive());
    bus->setSpeed(OneWireSpeed::Overdrive);
    EXPECT_FALSE(bus->reset());
}

TEST_F(OverdriveDevices, WithTheCableOnTheBusOnlyTheLoggerAnswersAtOverdrive)
{
    QString error;
    ASSERT_TRUE(world->addCable(nullptr, &error));
    const RomCode rom = addLogger()->rom();
    ASSERT_TRUE(standardRomCommand(0x3C));
    bus->setSpeed(OneWireSpeed::Overdrive);
    // Read ROM would be garbled by a second device answering; only the logger is there.
    EXPECT_EQ(readRom(), rom);
}

TEST_F(OverdriveDevices, OverdriveMatchSelectsOnlyTheLoggerNamed)
{
    VirtualDs1921* a = addLogger();
    VirtualDs1921* b = addLogger();
    ASSERT_NE(a->rom(), b->rom());
    // Different bytes in the first page of each, written at standard speed.
    EXPECT_EQ(writeRaw(a->rom(), 0x000, {0x11, 0x22, 0x33, 0x44}), 0xAA);
    EXPECT_EQ(writeRaw(b->rom(), 0x000, {0x99, 0x88, 0x77, 0x66}), 0xAA);

    // Overdrive Match at standard speed, the ROM bits of a at overdrive, then Read Memory.
    ASSERT_TRUE(standardRomCommand(0x69));
    EXPECT_TRUE(a->overdrive());
    EXPECT_TRUE(b->overdrive());   // every overdrive device heard the command
    bus->setSpeed(OneWireSpeed::Overdrive);
    Bytes block(8 + 3 + 4, 0xFF);
    std::copy(a->rom().begin(), a->rom().end(), block.begin());
    block[8] = 0xF0;
    block[9] = 0x00;
    block[10] = 0x00;
    ASSERT_EQ(bus->block(block.data(), int(block.size())), int(block.size()));
    EXPECT_EQ(Bytes(block.begin() + 11, block.end()), (Bytes{0x11, 0x22, 0x33, 0x44}));

    // b is at overdrive too, and not selected: Match ROM at overdrive reaches it.
    EXPECT_EQ(readMemory(b->rom(), 0x000, 4), (Bytes{0x99, 0x88, 0x77, 0x66}));
    EXPECT_EQ(readMemory(a->rom(), 0x000, 4), (Bytes{0x11, 0x22, 0x33, 0x44}));

    // A wrong ROM after Overdrive Match selects nobody: the read gives ones.
    ASSERT_TRUE(standardRomCommand(0x69));
    bus->setSpeed(OneWireSpeed::Overdrive);
    RomCode wrong = a->rom();
    wrong[3] ^= 0x10;
    Bytes none(8 + 3 + 4, 0xFF);
    std::copy(wrong.begin(), wrong.end(), none.begin());
    none[8] = 0xF0;
    none[9] = none[10] = 0x00;
    ASSERT_EQ(bus->block(none.data(), int(none.size())), int(none.size()));
    EXPECT_EQ(Bytes(none.begin() + 11, none.end()), (Bytes{0xFF, 0xFF, 0xFF, 0xFF}));
}

TEST_F(OverdriveDevices, OverdriveIsNotSavedWithTheBench)
{
    VirtualDs1921* logger = addLogger();
    const RomCode rom = logger->rom();
    const Bytes registers = readMemory(rom, 0x200, 32);
    ASSERT_TRUE(standardRomCommand(0x3C));
    ASSERT_TRUE(logger->overdrive());
    world->save();
    QFile file(stateFile());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_FALSE(file.readAll().contains("overdrive"));

    // Another process's view of the same bench: the logger at standard speed.
    auto other = std::make_shared<VirtualWorld>(stateFile());
    QString error;
    ASSERT_TRUE(other->load(&error)) << error.toStdString();
    VirtualBus otherBus(other);
    ASSERT_TRUE(otherBus.open());
    ASSERT_TRUE(otherBus.setSpeed(OneWireSpeed::Overdrive));
    EXPECT_FALSE(otherBus.reset());
    ASSERT_TRUE(otherBus.setSpeed(OneWireSpeed::Standard));
    EXPECT_TRUE(otherBus.reset());
    EXPECT_EQ(registers.size(), 32u);
}

TEST_F(OverdriveDevices, FaultKnobsOfALineThatDoesNotCarryOverdrive)
{
    const RomCode rom = addLogger()->rom();
    bus->setOverdriveFault(VirtualBus::OverdriveFault::Silent);
    ASSERT_TRUE(standardRomCommand(0x3C));
    bus->setSpeed(OneWireSpeed::Overdrive);
    EXPECT_FALSE(bus->reset());
    EXPECT_EQ(readRom(), allOnes());

    // Damaged: some bits read wrong at overdrive, never at standard.
    bus->setOverdriveFault(VirtualBus::OverdriveFault::Damaged, 13);
    std::vector<int> bad;
    ASSERT_TRUE(standardRomCommand(0x3C));
    bus->setSpeed(OneWireSpeed::Overdrive);
    readPagesCrc(rom, 0x1000, 4, &bad);
    EXPECT_FALSE(bad.empty());
    bus->setSpeed(OneWireSpeed::Standard);
    bad.clear();
    readPagesCrc(rom, 0x1000, 4, &bad);
    EXPECT_TRUE(bad.empty());
}

} // namespace
