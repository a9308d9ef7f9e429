// One suite for every adapter: the program's bus and device objects reach simulated DS1921
// loggers through the DS2480B emulator (serial bytes) and through the DS2490 emulator (USB
// transfers). Search, reading, programming and the faults of a hand-held reader must come out
// the same on both: what arrives is what the loggers hold.
#include "AdapterBench.h"

#include <set>

using namespace bench;

namespace {
class AdapterProtocol : public AdapterBench {};
} // namespace

INSTANTIATE_TEST_SUITE_P(BothAdapters, AdapterProtocol, ::testing::Values(Adapter::Ds2480b, Adapter::Ds2490), AdapterName);

TEST_P(AdapterProtocol, SearchFindsEveryDeviceAndReadsArriveAsTheLoggersHoldThem)
{
    const RomCode g = addLogger(Ds1921Variant::G)->rom();
    const RomCode h = addLogger(Ds1921Variant::H)->rom();
    const RomCode z = addLogger(Ds1921Variant::Z)->rom();

    clsDallasBus dallasBus;
    ASSERT_EQ(dallasBus.DoInventory(), 0);
    std::set<QString> found, expected;
    for (const auto& d : dallasBus.colDevices) found.insert(d->strROMText);
    for (const auto& d : world->devices()) expected.insert(d->romText());
    EXPECT_EQ(found, expected) << "cable and three loggers";

    for (const RomCode& rom : {g, h, z}) {
        SCOPED_TRACE(virtualbus::RomToText(rom).toStdString());
        auto logger = dallasBus.colDevices.item(virtualbus::RomToText(rom));
        ASSERT_TRUE(logger);
        int16_t pages = 2;
        ByteBuffer registers;
        ASSERT_EQ(logger->ReadPageCRC(0x200, pages, registers), 0);
        registers.resize(64);
        EXPECT_EQ(registers, readPagesCrc(rom, 0x200, 2));
        pages = 64;
        ByteBuffer log;
        ASSERT_EQ(logger->ReadPageCRC(0x1000, pages, log), 0);
        log.resize(2048);
        EXPECT_EQ(log, readPagesCrc(rom, 0x1000, 64));
    }

    // A record with the serial adapter's mode-switch byte in it, through the scratchpad.
    auto logger = dallasBus.colDevices.item(virtualbus::RomToText(g));
    const ByteBuffer record{0x07, 0xE3, 0xE3, 0x00, 0x41, 0xE3, 0xFF, 0x03};
    ASSERT_EQ(logger->WriteScratch(0x0020, record), 0);
    ASSERT_EQ(logger->CopyScratch(0x0020, int16_t(record.size())), 0);
    EXPECT_EQ(readMemory(g, 0x0020, int(record.size())), Bytes(record.begin(), record.end()));
}

TEST_P(AdapterProtocol, AProgrammedLoggerRecordsAndItsLogReadsBack)
{
    world->profile().base = 5.0;
    VirtualDs1921* sim = addLogger(Ds1921Variant::H);
    clsDallasDevice* d = find(sim->rom());
    ASSERT_TRUE(d);
    ASSERT_EQ(d->SetDateTime(NowUtc()), 0);
    ASSERT_EQ(d->ClearMemory(), ToCode(DeviceResult::Success));
    ASSERT_EQ(d->SetStartDelay(0), ToCode(DeviceResult::Success));
    ASSERT_EQ(d->SetTemperatureAlarms(2.0f, 8.0f), ToCode(DeviceResult::Success));
    ASSERT_EQ(d->SetRollOver(false), ToCode(DeviceResult::Success));
    ASSERT_EQ(d->SetSampleRate(1), ToCode(DeviceResult::Success));
    ASSERT_EQ(d->WritePage(0, ByteBuffer{'c', 'o', 'l', 'd'}), 0);
    EXPECT_TRUE(d->IsMissionRunning());
    EXPECT_TRUE(sim->missionRunning());
    EXPECT_EQ(sim->peek(0x20B), d->SingleToTemperature(2.0f));
    EXPECT_EQ(sim->peek(0x20C), d->SingleToTemperature(8.0f));

    advance(5LL * 3600000);
    d = find(sim->rom());
    ASSERT_TRUE(d);
    ByteBuffer record;
    ASSERT_EQ(d->ReadPage(0, record), 0);
    EXPECT_EQ(record, (ByteBuffer{'c', 'o', 'l', 'd'}));
    int16_t pages = 2;
    ByteBuffer regs;
    ASSERT_EQ(d->ReadPageCRC(0x200, pages, regs), 0);
    const int count = regs[0x1A] | (regs[0x1B] << 8) | (regs[0x1C] << 16);
    EXPECT_NEAR(count, 300, 1) << "a sample a minute for five hours";
    pages = 10;
    ByteBuffer log;
    ASSERT_EQ(d->ReadPageCRC(0x1000, pages, log), 0);
    log.resize(320);
    EXPECT_EQ(log, readPagesCrc(sim->rom(), 0x1000, 10));

    ASSERT_EQ(d->StopMission(), ToCode(DeviceResult::Success));
    EXPECT_FALSE(sim->missionRunning());
}

TEST_P(AdapterProtocol, DamagedTransfersAreAskedAgainAndGiveTheSameBytes)
{
    VirtualDs1921* sim = addLogger(Ds1921Variant::G);
    clsDallasDevice* d = find(sim->rom());
    ASSERT_TRUE(d);
    const Bytes expected = readPagesCrc(sim->rom(), 0x1000, 64);
    world->shortenBlocks(2, 20);          // two transfers cut after 20 bytes
    sim->corruptCrcOnPage(128 + 5, 2);    // and the sixth log page sent twice with a bad CRC
    int16_t pages = 64;
    ByteBuffer log;
    ASSERT_EQ(d->ReadPageCRC(0x1000, pages, log), 0);
    log.resize(2048);
    EXPECT_EQ(log, expected);
}

TEST_P(AdapterProtocol, LoggerTakenOutDuringTheLogReadFailsWithoutHanging)
{
    VirtualDs1921* dev = addLogger(Ds1921Variant::H);
    const RomCode rom = dev->rom();
    clsDallasDevice* logger = find(rom);
    ASSERT_TRUE(logger);

    dev->leaveAfterBytes(12 + 34 * 5);   // gone in the sixth page of the data log
    int16_t pages = 64;
    ByteBuffer log;
    EXPECT_NE(logger->ReadPageCRC(0x1000, pages, log), 0);
    EXPECT_GT(pages, 0) << "pages left unread";

    EXPECT_FALSE(find(rom)) << "the logger is no longer on the bus";
    EXPECT_EQ(dallas->colDevices.count(), 1);   // the cable
}

TEST_P(AdapterProtocol, AnAdapterPulledOutMidWriteFailsWithItsReasonAndLeavesTheLoggerAsItWas)
{
    VirtualDs1921* sim = addLogger(Ds1921Variant::G);
    clsDallasDevice* d = find(sim->rom());
    ASSERT_TRUE(d);
    const Bytes before = readMemory(sim->rom(), 0x0000, 0x240);

    adapterGoneAfter(4);   // in the middle of the scratchpad write
    EXPECT_NE(d->WriteScratch(0x0040, ByteBuffer(16, 0x5A)), 0);
    EXPECT_NE(d->CopyScratch(0x0040, 16), 0);
    EXPECT_FALSE(TMLinkError(1).isEmpty()) << "the driver keeps the reason";
    if (GetParam() == Adapter::Ds2490) {
        EXPECT_TRUE(TMLinkError(1).contains("unplugged: plug it in again")) << TMLinkError(1).toStdString();
    }
    EXPECT_EQ(readMemory(sim->rom(), 0x0000, 0x240), before) << "nothing reached the logger's memory";

    adapterBack();
    d = find(sim->rom());
    ASSERT_TRUE(d) << "plugged back in, the adapter is used again";
    int16_t pages = 2;
    ByteBuffer regs;
    EXPECT_EQ(d->ReadPageCRC(0x200, pages, regs), 0);
}
