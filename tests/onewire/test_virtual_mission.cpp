// The DS1921 mission engine driven through the scratchpad as the program drives it: start after
// the delay, time stamp, counters, rollover or stop at 2048 samples, alarms and histogram, the
// end of a mission on a protected write, Clear Memory's preconditions, lazy fast-forward.
#include "VirtualBench.h"
#include "app/modMain.h"

using namespace bench;

namespace {
int Get24(const Bytes& regs, int offset) { return regs[offset] | (regs[offset + 1] << 8) | (regs[offset + 2] << 16); }
} // namespace

class VirtualMissionTest : public VirtualBench {
protected:
    void SetUp() override
    {
        VirtualBench::SetUp();
        // A steady room, so that every sample's value is known; excursions mark chosen samples.
        world->profile().base = 4.0;
        world->profile().swing = 0;
        world->profile().noise = 0;
        logger = addLogger(Ds1921Variant::G);
        rom = logger->rom();
    }
    Bytes registers() { return readPagesCrc(rom, 0x200, 1); }
    // The device time of sample k when the mission was started at simulation time "start"
    // with the logger clock set to it (the clock drops the fraction of the second).
    void markSample(qint64 simMs, double delta)
    {
        world->profile().excursions.append({simMs - 10000, 20000, delta});
    }

    VirtualDs1921* logger = nullptr;
    RomCode rom{};
};

TEST_F(VirtualMissionTest, MissionStartsAfterItsDelayAndStampsItsStart)
{
    const qint64 start = world->clock().nowMs();   // 2026-12-05 10:00:20.500
    program(rom, start, 5, 10, 0x46, 0xA0, false);
    Bytes r = registers();
    EXPECT_EQ(r[0x14] & 0x60, 0x20) << "MIP set, MEMCLR cleared";
    EXPECT_EQ(r[0x0D], 5);
    EXPECT_EQ(r[0x0B], 0x46);
    EXPECT_EQ(r[0x0C], 0xA0);
    EXPECT_EQ(r[0x00], 0x20);
    EXPECT_EQ(r[0x01], 0x00);
    EXPECT_EQ(r[0x02], 0x10);
    EXPECT_EQ(r[0x05], 0x92) << "December with the century bit";
    EXPECT_EQ(r[0x06], 0x26);

    // The delay counts down at each minute boundary of the logger clock.
    advance(3 * 60000);
    r = registers();
    EXPECT_EQ(r[0x12] | (r[0x13] << 8), 7);
    EXPECT_EQ(Get24(r, 0x1A), 0);

    // Logging begins at 10:11:00 on the logger clock (the clock was set to 10:00:20 at
    // simulation time 10:00:20.500): nothing at 10:10:59, the first sample at 10:11:00.
    const qint64 first = Ms("2026-12-05T10:11:00.500");
    advance(first - 1000 - world->clock().nowMs());
    EXPECT_EQ(Get24(registers(), 0x1A), 0);
    advance(1000);
    r = registers();
    EXPECT_EQ(Get24(r, 0x1A), 1);
    EXPECT_EQ(Get24(r, 0x1D), 1);
    EXPECT_EQ((Bytes(r.begin() + 0x15, r.begin() + 0x1A)), (Bytes{0x11, 0x10, 0x05, 0x92, 0x26}));
    EXPECT_EQ(r[0x12] | (r[0x13] << 8), 0);
    EXPECT_EQ(r[0x11], 0x58) << "4 °C on a G";
    EXPECT_EQ(readByte(rom, 0x1000), 0x58);

    // Every 5 minutes from then on; a marked sample lands exactly in its slot.
    markSample(first + 7 * 5 * 60000, 10.0);   // sample 8
    advance(9 * 5 * 60000);
    r = registers();
    EXPECT_EQ(Get24(r, 0x1A), 10);
    const Bytes log = readMemory(rom, 0x1000, 11);
    EXPECT_EQ(log[6], 0x58);
    EXPECT_EQ(log[7], 0x6C) << "14 °C";
    EXPECT_EQ(log[8], 0x58);
    EXPECT_EQ(log[10], 0x00) << "not yet taken";
    // Histogram: 9 samples in bin 0x58>>2, one in bin 0x6C>>2.
    const Bytes hist = readMemory(rom, 0x800, 128);
    EXPECT_EQ(hist[2 * (0x58 >> 2)], 9);
    EXPECT_EQ(hist[2 * (0x6C >> 2)], 1);
    // The high threshold 0xA0 (40 °C) was never reached, the low one (0x46 = -5 °C) neither.
    EXPECT_EQ(r[0x14] & 0x07, 0);
}

TEST_F(VirtualMissionTest, AlarmsOpenRecordsWithTimeStampAndDuration)
{
    const qint64 start = world->clock().nowMs();
    program(rom, start, 1, 0, 0x50, 0x64, false);   // low 0 °C, high 10 °C, every minute
    const qint64 first = Ms("2026-12-05T10:01:00.500");
    // Samples 5..8 hot (14 °C), 12 cold (-6 °C), 20..21 hot again.
    world->profile().excursions.append({first + 4 * 60000 - 1000, 4 * 60000, 10.0});
    world->profile().excursions.append({first + 11 * 60000 - 1000, 60000, -10.0});
    world->profile().excursions.append({first + 19 * 60000 - 1000, 2 * 60000, 10.0});
    advance(30 * 60000);
    const Bytes r = registers();
    EXPECT_EQ(r[0x14] & 0x06, 0x06) << "TLF and THF";
    const Bytes alarms = readMemory(rom, 0x220, 0x60);
    EXPECT_EQ((Bytes(alarms.begin(), alarms.begin() + 8)), (Bytes{12, 0, 0, 1, 0, 0, 0, 0}));
    EXPECT_EQ((Bytes(alarms.begin() + 0x30, alarms.begin() + 0x3C)), (Bytes{5, 0, 0, 4, 20, 0, 0, 2, 0, 0, 0, 0}));
    // Clearing the flags through the status register does not end the mission.
    writeRaw(rom, 0x214, {0x20});
    EXPECT_EQ(status(rom) & 0x27, 0x20);
}

TEST_F(VirtualMissionTest, RolloverKeepsTheLast2048SamplesElseLoggingStops)
{
    const qint64 first = Ms("2026-12-05T10:01:00.500");
    markSample(first + 2049LL * 60000, -10.0);   // sample 2050 reads -6 °C
    for (bool rollover : {true, false}) {
        SCOPED_TRACE(rollover ? "rollover" : "stop when full");
        if (!rollover) {
            world->clock().setOffsetMs(0);
            rom = addLogger()->rom();
            logger = static_cast<VirtualDs1921*>(world->find(rom));
        }
        program(rom, world->clock().nowMs(), 1, 0, 0x00, 0xFA, rollover);
        advance(first + 2099LL * 60000 - world->clock().nowMs());
        const Bytes r = registers();
        EXPECT_EQ(Get24(r, 0x1A), 2100);
        EXPECT_EQ(r[0x14] & 0x20, 0x20) << "the mission goes on";
        const Bytes log = readPagesCrc(rom, 0x1000, 64);
        const Bytes hist = readMemory(rom, 0x800, 128);
        int total = 0;
        for (int b = 0; b < 64; ++b) total += hist[2 * b] | (hist[2 * b + 1] << 8);
        EXPECT_EQ(total, 2100) << "the histogram counts every sample";
        if (rollover) {
            EXPECT_EQ(log[(2050 - 1) % 2048], 0x44) << "sample 2050 overwrote sample 2";
            EXPECT_EQ(log[0], 0x58);
            EXPECT_EQ(r[0x0E] & 0x08, 0x08);
        } else {
            EXPECT_EQ(log[1], 0x58) << "sample 2 kept";
            EXPECT_EQ(std::count(log.begin(), log.end(), 0x58), 2048);
        }
    }
}

TEST_F(VirtualMissionTest, ProtectedWriteDuringAMissionEndsIt)
{
    program(rom, world->clock().nowMs(), 2, 0, 0x46, 0x60, false);
    advance(10 * 60000);
    const int taken = Get24(registers(), 0x1A);
    EXPECT_EQ(taken, 5);

    // Writes that do not end it: general-purpose memory, clearing flags in the status register.
    EXPECT_EQ(writeRaw(rom, 0x0000, {0x01, 0x41}), 0xAA);
    writeRaw(rom, 0x214, {0x20});
    EXPECT_TRUE(logger->missionRunning());

    // A write to the low threshold ends the mission and takes the new value; the sample rate
    // written in the same copy is not taken (no Clear Memory since).
    writeRaw(rom, 0x20B, {0x40, 0x61, 0x07});
    Bytes r = registers();
    EXPECT_EQ(r[0x14] & 0x20, 0) << "MIP cleared";
    EXPECT_EQ(r[0x0B], 0x40);
    EXPECT_EQ(r[0x0C], 0x61);
    EXPECT_EQ(r[0x0D], 2);
    advance(30 * 60000);
    r = registers();
    EXPECT_EQ(Get24(r, 0x1A), taken) << "no samples after the end";
    EXPECT_EQ((Bytes(r.begin() + 0x15, r.begin() + 0x1A)), (Bytes{0x01, 0x10, 0x05, 0x92, 0x26})) << "time stamp kept";

    // Ending by writing MIP = 0.
    program(rom, world->clock().nowMs(), 1, 0, 0x46, 0x60, false);
    EXPECT_TRUE(logger->missionRunning());
    writeRaw(rom, 0x214, {0x00});
    EXPECT_FALSE(logger->missionRunning());
    // A new rate without Clear Memory starts nothing.
    writeRaw(rom, 0x20D, {0x05});
    EXPECT_FALSE(logger->missionRunning());
    EXPECT_EQ(readByte(rom, 0x20D), 1);
}

TEST_F(VirtualMissionTest, ClearMemoryNeedsEmclrInTheAccessJustBefore)
{
    program(rom, world->clock().nowMs(), 1, 0, 0x46, 0x60, false);
    advance(5 * 60000);
    writeRaw(rom, 0x214, {0x00});   // end the mission
    const Bytes logBefore = readMemory(rom, 0x1000, 8);
    auto cleared = [&] { return (status(rom) & 0x40) != 0; };

    command(rom, 0x3C);
    EXPECT_FALSE(cleared()) << "without EMCLR";

    writeRaw(rom, 0x20E, {0x40});
    readMemory(rom, 0x0000, 1);     // another memory function in between
    command(rom, 0x3C);
    EXPECT_FALSE(cleared());
    EXPECT_EQ(readByte(rom, 0x20E) & 0x40, 0) << "EMCLR lasts one command";

    writeRaw(rom, 0x20E, {0xC0});   // EMCLR with the oscillator stopped
    command(rom, 0x3C);
    EXPECT_FALSE(cleared());

    writeRaw(rom, 0x20E, {0x40});   // oscillator runs again
    command(rom, 0x3C);
    EXPECT_TRUE(cleared());
    const Bytes r = registers();
    EXPECT_EQ(r[0x0D], 0);
    EXPECT_EQ(Get24(r, 0x1A), 0);
    EXPECT_EQ(Get24(r, 0x1D), 5) << "the device counter is never reset";
    EXPECT_EQ((Bytes(r.begin() + 0x15, r.begin() + 0x1A)), Bytes(5, 0));
    EXPECT_EQ(readMemory(rom, 0x800, 128), Bytes(128, 0));
    EXPECT_EQ(readMemory(rom, 0x1000, 8), logBefore) << "the data log is not cleared";

    // The oscillator was restarted just now: a mission start needs it running for a second.
    writeRaw(rom, 0x20D, {0x01});
    EXPECT_FALSE(logger->missionRunning());
    advance(2000);
    writeRaw(rom, 0x20D, {0x01});
    ASSERT_TRUE(logger->missionRunning());
    // During a mission, Clear Memory without EMCLR does nothing.
    command(rom, 0x3C);
    EXPECT_TRUE(logger->missionRunning());
    EXPECT_EQ(status(rom) & 0x40, 0);
}

TEST_F(VirtualMissionTest, ConvertTemperatureBetweenMissionsOnly)
{
    world->profile().base = 23.0;
    command(rom, 0x44);
    Bytes r = registers();
    EXPECT_EQ(r[0x11], 0x7E) << "23 °C on a G";
    EXPECT_EQ(Get24(r, 0x1D), 1);
    program(rom, world->clock().nowMs(), 10, 60, 0x46, 0x60, false);
    command(rom, 0x44);
    EXPECT_EQ(Get24(registers(), 0x1D), 1);

    VirtualDs1921* h = addLogger(Ds1921Variant::H);
    command(h->rom(), 0x44);
    EXPECT_EQ(readByte(h->rom(), 0x211), 0x44) << "23 °C on an H";
    h->setOffset(-3.0);   // a colder compartment of the same room
    command(h->rom(), 0x44);
    EXPECT_EQ(readByte(h->rom(), 0x211), 0x2C) << "20 °C on an H";
    EXPECT_EQ(readMemory(h->rom(), 0x21D, 3), (Bytes{2, 0, 0}));
}

TEST_F(VirtualMissionTest, SixtyDaysAtOneMinuteAreComputedOnDemand)
{
    program(rom, world->clock().nowMs(), 1, 0, 0x46, 0x60, true);
    advance(60LL * 86400000);
    const Bytes r = registers();
    // First sample 10:01:00, the last one at or before 60 days + 10:00:20 later.
    EXPECT_EQ(Get24(r, 0x1A), 60 * 1440);
    const Bytes log = readPagesCrc(rom, 0x1000, 64);
    EXPECT_EQ(std::count(log.begin(), log.end(), 0x58), 2048);
}

TEST_F(VirtualMissionTest, ProgramClockFollowsTheSimulationClock)
{
    bus->installAsProgramClock();
    const QDateTime before = NowUtc();
    EXPECT_EQ(before.toMSecsSinceEpoch(), world->clock().nowMs());
    advance(3LL * 86400000);
    EXPECT_EQ(before.msecsTo(NowUtc()), 3LL * 86400000);
    SetClockForTesting({});
}
