// The DS2490 link, request by request: what goes to the adapter on the control endpoint and the
// bulk endpoints for each 1-Wire primitive, the adapter's status results read back, and the
// reasons given when the adapter is missing, held, forbidden or pulled out.
#include "VirtualBench.h"
#include "onewire/BusTrace.h"
#include "onewire/Ds2490Link.h"
#include "onewire/Ds2490Protocol.h"
#include "simulator/Ds2490Emulator.h"

using namespace bench;
using namespace ds2490;

namespace {

class Ds2490LinkTest : public VirtualBench {
protected:
    void SetUp() override
    {
        VirtualBench::SetUp();
        emulator = std::make_unique<Ds2490Emulator>(*bus, 2, 7);
        link = std::make_unique<Ds2490Link>(emulator->transport());
    }
    void TearDown() override
    {
        SetBusTraceSink({});
        link.reset();
        emulator.reset();
        VirtualBench::TearDown();
    }
    // The requests since the last clear, as (type, value, index).
    std::vector<std::tuple<int, int, int>> requests() const
    {
        std::vector<std::tuple<int, int, int>> out;
        for (const auto& r : emulator->requests()) out.emplace_back(r.type, r.value, r.index);
        return out;
    }
    std::unique_ptr<Ds2490Emulator> emulator;
    std::unique_ptr<Ds2490Link> link;
};

using Req = std::tuple<int, int, int>;

} // namespace

TEST_F(Ds2490LinkTest, OpeningResetsTheAdapterAtRegularSpeedWithTheStrongPullupAllowed)
{
    ASSERT_TRUE(link->open()) << link->lastError().toStdString();
    EXPECT_EQ(requests(), (std::vector<Req>{{Control, kCtlResetDevice, 0}, {Mode, kMod1WireSpeed, kSpeedRegular}, {Mode, kModPulseEnable, kPulseSpu}}));
    EXPECT_TRUE(emulator->claimed());
    EXPECT_EQ(link->version(), QStringLiteral("DS2490 USB adapter (DS2490 on bus 2 device 7)"));
    link->close();
    EXPECT_FALSE(emulator->claimed()) << "closing gives the adapter back";
}

TEST_F(Ds2490LinkTest, ResetsBitsBytesAndBlocksAreSingleCommandsWithTheirData)
{
    const RomCode rom = addLogger(Ds1921Variant::G)->rom();
    ASSERT_TRUE(link->open());
    emulator->clearLog();

    EXPECT_TRUE(link->reset());
    EXPECT_EQ(link->touchByte(0x33), 0x33);   // Read ROM
    uint8_t got[8];
    for (uint8_t& b : got) b = uint8_t(link->touchByte(0xFF));
    EXPECT_TRUE(std::equal(got, got + 8, rom.begin())) << "the ROM read byte by byte";
    EXPECT_EQ(requests()[0], Req(Comm, kCommReset | kFlagF | kFlagIm, 0));
    EXPECT_EQ(requests()[1], Req(Comm, kCommByteIo | kFlagIm, 0x33));
    EXPECT_EQ(requests()[2], Req(Comm, kCommByteIo | kFlagIm, 0xFF));

    // 300 bytes go through the 128-byte FIFO in three commands, the data on endpoint 2.
    emulator->clearLog();
    ASSERT_TRUE(link->reset());
    std::vector<uint8_t> block(300, 0xFF);
    block[0] = 0x55;
    std::copy(rom.begin(), rom.end(), block.begin() + 1);
    block[9] = 0xF0;   // Read Memory from 0x0200
    block[10] = 0x00;
    block[11] = 0x02;
    const std::vector<uint8_t> sent = block;
    ASSERT_EQ(link->block(block.data(), int(block.size())), 300);
    EXPECT_EQ(emulator->dataOut(), sent);
    EXPECT_EQ(requests(), (std::vector<Req>{{Comm, kCommReset | kFlagF | kFlagIm, 0},
                                            {Comm, kCommBlockIo | kFlagIm, 128},
                                            {Comm, kCommBlockIo | kFlagIm, 128},
                                            {Comm, kCommBlockIo | kFlagIm, 44}}));
    const Bytes memory = readMemory(rom, 0x200, 288);
    EXPECT_TRUE(std::equal(memory.begin(), memory.end(), block.begin() + 12)) << "what the logger holds from 0x0200";

    ASSERT_TRUE(link->reset());   // the logger listens for a ROM command: a read slot sees 1
    emulator->clearLog();
    EXPECT_EQ(link->touchBit(1), 1);
    EXPECT_EQ(link->touchBit(0), 0);
    EXPECT_EQ(requests(), (std::vector<Req>{{Comm, kCommBitIo | kFlagD | kFlagIm, 0}, {Comm, kCommBitIo | kFlagIm, 0}}));
    EXPECT_EQ(link->timeSlots(), uint64_t(1 + 9 * 8 + 1 + 300 * 8 + 1 + 2));
}

TEST_F(Ds2490LinkTest, NoPresenceAndAShortAreToldApart)
{
    ASSERT_TRUE(link->open());
    EXPECT_FALSE(link->reset()) << "nothing on the bus";
    EXPECT_TRUE(link->lastError().isEmpty());
    addLogger();
    EXPECT_TRUE(link->reset());
    emulator->setShorted(true);
    EXPECT_FALSE(link->reset());
    EXPECT_TRUE(link->lastError().contains("shorted")) << link->lastError().toStdString();
    emulator->setShorted(false);
    EXPECT_TRUE(link->reset());
}

TEST_F(Ds2490LinkTest, SearchAccessFindsEveryDeviceOnceWithTheStartRomOfTheStandardSearch)
{
    std::set<QString> expected;
    for (int i = 0; i < 5; ++i) expected.insert(addLogger(Ds1921Variant(i % 3))->romText());
    ASSERT_TRUE(link->open());
    emulator->clearLog();
    OneWireSearchState state;
    std::set<QString> found;
    while (link->searchNext(state)) ASSERT_TRUE(found.insert(virtualbus::RomToText(state.rom)).second) << "found twice";
    EXPECT_EQ(found, expected);
    ASSERT_FALSE(emulator->requests().empty());
    EXPECT_EQ(requests()[0], Req(Comm, kCommSearchAccess | kFlagSm | kFlagRst | kFlagF | kFlagRts | kFlagIm, 0x01F0));
    EXPECT_EQ(std::vector<uint8_t>(emulator->dataOut().begin(), emulator->dataOut().begin() + 8), std::vector<uint8_t>(8, 0))
        << "the first pass starts from an all-zero ROM";
    EXPECT_EQ(emulator->dataOut().size(), 8u * expected.size());
}

TEST_F(Ds2490LinkTest, StrongPullupAndSpeedAreModeCommands)
{
    addLogger();
    ASSERT_TRUE(link->open());
    emulator->clearLog();
    ASSERT_TRUE(link->reset());
    EXPECT_EQ(link->touchBytePower(0xCC), 0xCC);
    EXPECT_TRUE(emulator->strongPullupActive());
    EXPECT_EQ(requests()[1], Req(Mode, kModStrongPullupDuration, 32));
    EXPECT_EQ(requests()[2], Req(Comm, kCommByteIo | kFlagSpu | kFlagIm, 0xCC));
    emulator->clearLog();
    EXPECT_TRUE(link->reset());
    EXPECT_FALSE(emulator->strongPullupActive()) << "the next command ends it first";
    EXPECT_EQ(requests(), (std::vector<Req>{{Control, kCtlHaltExeIdle, 0}, {Control, kCtlResumeExe, 0}, {Comm, kCommReset | kFlagF | kFlagIm, 0}}));

    emulator->clearLog();
    EXPECT_TRUE(link->setSpeed(OneWireSpeed::Overdrive));
    EXPECT_EQ(link->speed(), OneWireSpeed::Overdrive);
    EXPECT_EQ(requests(), (std::vector<Req>{{Mode, kMod1WireSpeed, kSpeedOverdrive}}));
}

TEST_F(Ds2490LinkTest, AnAdapterThatCannotBeUsedIsRefusedWithItsCauseAndRemedyAndNothingIsSent)
{
    struct Case {
        std::function<void(Ds2490Emulator&)> fault;
        UsbFailure failure;
        const char* words;
    };
    const Case cases[] = {
        {[](Ds2490Emulator& e) { e.setAttached(false); }, UsbFailure::NoAdapter, "no USB 1-Wire adapter (DS2490) is attached: plug the USB reader in"},
        {[](Ds2490Emulator& e) { e.setNoPermission(true); }, UsbFailure::Permission, "DS2490 on bus 2 device 7 (/dev/bus/usb/002/007): permission denied: this user may not use the adapter; install the udev rule"},
        {[](Ds2490Emulator& e) { e.setHeldByOtherProgram(true); }, UsbFailure::Busy, "DS2490 on bus 2 device 7 is in use by another program: close the other program"},
    };
    for (const Case& c : cases) {
        Ds2490Emulator emu(*bus, 2, 7);
        c.fault(emu);
        Ds2490Link l(emu.transport());
        EXPECT_FALSE(l.open());
        EXPECT_FALSE(l.reset());
        EXPECT_EQ(l.failure(), c.failure);
        EXPECT_TRUE(l.lastError().startsWith(QString::fromUtf8(c.words))) << l.lastError().toStdString();
        EXPECT_TRUE(emu.requests().empty()) << "nothing was sent to the adapter";
    }
}

TEST_F(Ds2490LinkTest, PulledOutInABlockTheLinkReportsTheShortCountAndComesBackWhenPluggedIn)
{
    const RomCode rom = addLogger()->rom();
    ASSERT_TRUE(link->open());
    ASSERT_TRUE(link->reset());
    emulator->unplugAfterTransfers(4);   // in the second 128-byte piece
    std::vector<uint8_t> block(300, 0xFF);
    EXPECT_EQ(link->block(block.data(), 300), 128);
    EXPECT_EQ(link->failure(), UsbFailure::Unplugged);
    EXPECT_TRUE(link->lastError().endsWith("was unplugged: plug it in again and repeat; nothing more was written to the logger"))
        << link->lastError().toStdString();
    EXPECT_FALSE(link->reset()) << "still out";
    EXPECT_EQ(link->failure(), UsbFailure::Unplugged) << "the first reason stays";

    emulator->plugBackIn();
    EXPECT_TRUE(link->reset());
    EXPECT_EQ(link->touchByte(0x33), 0x33);
    EXPECT_EQ(link->touchByte(0xFF), rom[0]);
}

TEST_F(Ds2490LinkTest, TheTraceNamesEveryRequestAndTheBytesOfBothBulkEndpoints)
{
    addLogger();
    QStringList lines;   // the adapter's lines (the virtual bus behind it traces its own)
    SetBusTraceSink([&](const QString& line) {
        if (line.contains(" EP") || line.startsWith("#")) lines << line;
    });
    ASSERT_TRUE(link->open());
    ASSERT_TRUE(link->reset());
    uint8_t b[2] = {0xCC, 0xFF};
    ASSERT_EQ(link->block(b, 2), 2);
    emulator->setAttached(false);
    link->close();
    EXPECT_FALSE(link->reset());
    EXPECT_EQ(lines.mid(0, 3), (QStringList{">> EP0 CONTROL 0x0000 0x0000 reset device", ">> EP0 MODE 0x0002 0x0000 regular speed",
                                            ">> EP0 MODE 0x0000 0x0002 strong pull-up allowed"}));
    EXPECT_EQ(lines.mid(3, 4), (QStringList{">> EP0 COMM 0x0843 0x0000 1-Wire reset", ">> EP2 CC FF", ">> EP0 COMM 0x0075 0x0002 block I/O",
                                            "<< EP3 CC FF"}));
    EXPECT_TRUE(lines.last().startsWith("# no USB 1-Wire adapter (DS2490) is attached")) << lines.last().toStdString();
}
