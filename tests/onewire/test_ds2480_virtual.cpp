// The program's bus and device objects over the serial link, through the emulated DS2480B, to
// simulated DS1921 loggers on the virtual bus: what arrives must be what the loggers hold.
#include "simulator/Ds2480Emulator.h"
#include "onewire/Ds2480Link.h"
#include "onewire/Tmex.h"
#include "onewire/VirtualBench.h"
#include "onewire/clsDallasBus.h"
#include "thermochron/clsDallasDevice.h"

#include <set>

using bench::Bytes;

namespace {

class Ds2480VirtualTest : public bench::VirtualBench {
protected:
    void SetUp() override
    {
        VirtualBench::SetUp();
        QString error;
        ASSERT_TRUE(world->addCable(nullptr, &error)) << error.toStdString();
        emulator = std::make_unique<Ds2480Emulator>(*bus);
        SetLinkFactoryForTesting([this](int, int) -> std::unique_ptr<OneWireLink> {
            return std::make_unique<Ds2480Link>(emulator->memoryPort());
        });
    }
    void TearDown() override
    {
        TmexShutdown();
        SetLinkFactoryForTesting({});
        emulator.reset();
        VirtualBench::TearDown();
    }
    std::shared_ptr<clsDallasDevice> find(clsDallasBus& dallas, const RomCode& rom)
    {
        return dallas.colDevices.item(virtualbus::RomToText(rom));
    }

    std::unique_ptr<Ds2480Emulator> emulator;   // drives the fixture's virtual bus
};

} // namespace

TEST_F(Ds2480VirtualTest, InventoryReadsAndWritesArriveAsOnTheVirtualBus)
{
    const RomCode g = addLogger(Ds1921Variant::G)->rom();
    const RomCode z = addLogger(Ds1921Variant::Z)->rom();

    clsDallasBus dallas;
    ASSERT_EQ(dallas.DoInventory(), 0);
    std::set<QString> found;
    for (const auto& d : dallas.colDevices)
        found.insert(d->strROMText);
    std::set<QString> expected;
    for (const auto& d : world->devices())
        expected.insert(d->romText());
    EXPECT_EQ(found, expected);

    for (const RomCode& rom : { g, z }) {
        auto logger = find(dallas, rom);
        ASSERT_TRUE(logger);
        int16_t pages = 2;
        ByteBuffer registers;
        ASSERT_EQ(logger->ReadPageCRC(0x200, pages, registers), 0);
        registers.resize(64);
        EXPECT_EQ(registers, readPagesCrc(rom, 0x200, 2)) << "register pages of " << virtualbus::RomToText(rom).toStdString();
    }

    // A record with the mode-switch byte written through the scratchpad and copied to page 1.
    auto logger = find(dallas, g);
    const ByteBuffer record{ 0x07, 0xE3, 0xE3, 0x00, 0x41, 0xE3, 0xFF, 0x03 };
    ASSERT_EQ(logger->WriteScratch(0x0020, record), 0);
    ASSERT_EQ(logger->CopyScratch(0x0020, int16_t(record.size())), 0);
    EXPECT_EQ(readMemory(g, 0x0020, int(record.size())), Bytes(record.begin(), record.end()));
    int16_t pages = 1;
    ByteBuffer page;
    ASSERT_EQ(logger->ReadPageCRC(0x0020, pages, page), 0);
    EXPECT_EQ(ByteBuffer(page.begin(), page.begin() + 8), record);
}

TEST_F(Ds2480VirtualTest, LoggerTakenOutDuringTheLogReadFailsWithoutHanging)
{
    VirtualDs1921* dev = addLogger(Ds1921Variant::H);
    const RomCode rom = dev->rom();
    clsDallasBus dallas;
    ASSERT_EQ(dallas.DoInventory(), 0);
    auto logger = find(dallas, rom);
    ASSERT_TRUE(logger);

    dev->leaveAfterBytes(12 + 34 * 5);   // gone in the sixth page of the data log
    int16_t pages = 64;
    ByteBuffer log;
    const int32_t r = logger->ReadPageCRC(0x1000, pages, log);
    EXPECT_NE(r, 0);
    EXPECT_GT(pages, 0) << "pages left unread";

    ASSERT_EQ(dallas.DoInventory(), 0);
    EXPECT_FALSE(find(dallas, rom)) << "the logger is no longer on the bus";
    EXPECT_EQ(dallas.colDevices.count(), 1);   // the cable
}
