// The bus and device objects against simulated loggers on the virtual bus: a whole mission
// set-up, checked in the simulated logger's registers, and reads with their CRC checks.
#include "onewire/BusWait.h"
#include "onewire/OneWireLink.h"
#include "onewire/Tmex.h"
#include "simulator/VirtualBus.h"
#include "simulator/VirtualDs1921.h"
#include "onewire/clsDallasBus.h"
#include "thermochron/clsDallasDevice.h"
#include "app/modRegistry.h"
#include <QTemporaryDir>
#include <gtest/gtest.h>

class VirtualLoggerTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    std::shared_ptr<VirtualWorld> world;
    VirtualDs1921* sim = nullptr;
    std::unique_ptr<clsDallasBus> bus;
    std::shared_ptr<clsDallasDevice> logger;

    void SetUp() override
    {
        SetRegistryFile(dir.filePath("registry.ini"));
        SetBusWaitForTesting([](int) {});
        world = VirtualWorld::ForFile(dir.filePath("bench.json"));
        QString error;
        sim = world->addLogger(Ds1921Variant::G, nullptr, &error);
        ASSERT_TRUE(sim) << error.toStdString();
        ASSERT_TRUE(world->addCable(nullptr, &error)) << error.toStdString();
        TmexShutdown();
        auto w = world;
        SetLinkFactoryForTesting([w](int, int) { return std::make_unique<VirtualBus>(w); });
        bus = std::make_unique<clsDallasBus>();
        ASSERT_EQ(bus->DoInventory(), 0);
        ASSERT_EQ(bus->colDevices.count(), 2);
        logger = bus->colDevices.item(sim->romText());
        ASSERT_TRUE(logger);
    }
    void TearDown() override
    {
        logger.reset();
        bus.reset();
        TmexShutdown();
        SetLinkFactoryForTesting({});
        SetBusWaitForTesting({});
    }
};

TEST_F(VirtualLoggerTest, MissionSetUpLandsInTheRegisters)
{
    ASSERT_EQ(logger->SetDateTime(QDateTime(QDate(2026, 12, 5), QTime(17, 34, 56), Qt::UTC)), 0);
    EXPECT_EQ(sim->peek(0x204), 0x05);
    EXPECT_EQ(sim->peek(0x205), 0x92);
    EXPECT_EQ(sim->peek(0x206), 0x26);
    EXPECT_EQ(sim->peek(0x202), 0x17);

    ASSERT_EQ(logger->ClearMemory(), 0);
    EXPECT_TRUE(sim->peek(0x214) & 0x40);   // memory cleared
    ASSERT_EQ(logger->SetStartDelay(300), 0);
    ASSERT_EQ(logger->SetTemperatureAlarms(-5.0f, 0.0f), 0);
    ASSERT_EQ(logger->SetRollOver(true), 0);
    EXPECT_EQ(sim->peek(0x212), 0x2C);
    EXPECT_EQ(sim->peek(0x213), 0x01);
    EXPECT_EQ(sim->peek(0x20B), 70);
    EXPECT_EQ(sim->peek(0x20C), 80);
    EXPECT_TRUE(sim->peek(0x20E) & 0x08);
    EXPECT_FALSE(logger->IsMissionRunning());

    world->advance(2000);   // the oscillator has run for a while before the start
    ASSERT_EQ(logger->SetSampleRate(10), 0);
    EXPECT_TRUE(sim->missionRunning());
    EXPECT_TRUE(logger->IsMissionRunning());

    int16_t pages = 2;
    ByteBuffer regs;
    ASSERT_EQ(logger->ReadPageCRC(0x200, pages, regs), 0);
    for (int i = 0x20B; i <= 0x214; ++i) EXPECT_EQ(regs[size_t(i - 0x200)], sim->peek(i)) << std::hex << i;

    ASSERT_EQ(logger->StopMission(), 0);
    EXPECT_FALSE(sim->missionRunning());
    EXPECT_FALSE(logger->IsMissionRunning());
}

TEST_F(VirtualLoggerTest, RecordPacketsAndCrcFaults)
{
    ByteBuffer record(230);
    for (size_t i = 0; i < record.size(); ++i) record[i] = uint8_t('A' + i % 26);
    ASSERT_EQ(logger->WritePage(0, record), 0);
    ByteBuffer back;
    ASSERT_EQ(logger->ReadPage(0, back), 0);
    EXPECT_EQ(back, record);
    EXPECT_EQ(sim->peek(0), 230);

    // A record too long for the memory left from page 10 on changes nothing
    const uint8_t before = sim->peek(10 * 32);
    EXPECT_EQ(logger->WritePage(10, ByteBuffer(200, 1)), -3);
    EXPECT_EQ(sim->peek(10 * 32), before);

    // A page whose CRC fails once is read again; one that always fails ends the read with -13
    int16_t pages = 2;
    ByteBuffer regs, clean;
    ASSERT_EQ(logger->ReadPageCRC(0x200, pages, clean), 0);
    sim->corruptCrcOnPage(17, 1);
    pages = 2;
    EXPECT_EQ(logger->ReadPageCRC(0x200, pages, regs), 0);
    EXPECT_EQ(regs, clean);
    sim->corruptCrcOnPage(17, -1);
    pages = 2;
    EXPECT_EQ(logger->ReadPageCRC(0x200, pages, regs), -13);
    sim->corruptCrcOnPage(-1, 0);

    // Short transfers: repeated, but only so often
    world->shortenBlocks(2);
    pages = 2;
    EXPECT_EQ(logger->ReadPageCRC(0x200, pages, regs), 0);
    world->shortenBlocks(kReadPageCrcRepeats + 1);
    pages = 2;
    EXPECT_EQ(logger->ReadPageCRC(0x200, pages, regs), -7);
    EXPECT_EQ(pages, 2);
    pages = 2;
    EXPECT_EQ(logger->ReadPageCRC(0x200, pages, regs), 0);

    float t = -100;
    EXPECT_EQ(logger->GetCurrentTemperature(t), 0);
    EXPECT_GT(t, -40.0f);
    EXPECT_LT(t, 85.0f);
}
