// Page packets: the driver's format on the general-purpose memory, written and read back
// through the bus object, including records that run over several pages.
#include "onewire/BusTestSupport.h"
#include "onewire/Tmex.h"

namespace {
const RomCode kLogger = MakeRom(0x21, 0x0000004F2A11ull);

bool AnyWriteScratchpad(const RecordingLink& link)
{
    for (const Bytes& b : link.blocksWritten())
        if (b.size() > 9 && b[9] == 0x0F) return true;
    return false;
}
} // namespace

TEST_F(BusTest, ShortPacketRoundTripAndItsLayoutInMemory)
{
    auto dev = link().add(kLogger);
    auto bus = MakeBus();
    auto device = DeviceFor(*bus, kLogger);
    const ByteBuffer record{'1', 3, 'A', 'B', 3, 'x'};
    ASSERT_EQ(bus->WritePage(device->ROM(), 0, record), ToCode(BusResult::Success));
    EXPECT_TRUE(messages.contains(QString("writing device %1 page 0, no of bytes:6").arg(device->strROMText)));
    EXPECT_EQ(dev->memory[0], 6);
    EXPECT_TRUE(std::equal(record.begin(), record.end(), dev->memory.begin() + 1));
    const uint16_t crc = TmexPacketCrc(0, dev->memory.data(), 7);
    EXPECT_EQ(dev->memory[7], uint8_t(~crc & 0xFF));
    EXPECT_EQ(dev->memory[8], uint8_t(~crc >> 8));
    EXPECT_EQ(dev->memory[9], 0);   // nothing beyond the packet touched

    ByteBuffer back;
    EXPECT_EQ(bus->ReadPage(device->ROM(), 0, back), ToCode(BusResult::Success));
    EXPECT_EQ(back, record);
    uint8_t flag = 0;
    EXPECT_EQ(bus->WriteSemaphor(device->ROM(), 'M'), ToCode(BusResult::Success));
    EXPECT_EQ(bus->ReadSemaphor(device->ROM(), flag), ToCode(BusResult::Success));
    EXPECT_EQ(flag, 'M');
    EXPECT_EQ(bus->SessionUsers(), 0);
}

TEST_F(BusTest, PacketRunsOverFollowingPages)
{
    auto dev = link().add(kLogger);
    auto bus = MakeBus();
    auto device = DeviceFor(*bus, kLogger);
    ByteBuffer record(240);
    for (size_t i = 0; i < record.size(); ++i) record[i] = uint8_t(i * 13 + 1);
    dev->memory[2 * 32 + 243] = 0x5A;   // the byte right after the packet must stay
    ASSERT_EQ(bus->WritePage(device->ROM(), 2, record), ToCode(BusResult::Success));
    EXPECT_EQ(dev->memory[64], 240);
    EXPECT_EQ(dev->memory[2 * 32 + 243], 0x5A);
    ByteBuffer back;
    EXPECT_EQ(bus->ReadPage(device->ROM(), 2, back), ToCode(BusResult::Success));
    EXPECT_EQ(back, record);

    // A packet that ends exactly at the end of general-purpose memory fits
    ByteBuffer tail(29, 0x77);
    EXPECT_EQ(bus->WritePage(device->ROM(), 15, tail), ToCode(BusResult::Success));
    EXPECT_EQ(bus->ReadPage(device->ROM(), 15, back), ToCode(BusResult::Success));
    EXPECT_EQ(back, tail);
}

TEST_F(BusTest, PacketThatDoesNotFitIsRefusedBeforeAnythingIsWritten)
{
    auto dev = link().add(kLogger);
    auto bus = MakeBus();
    auto device = DeviceFor(*bus, kLogger);
    const std::vector<uint8_t> before = dev->memory;
    EXPECT_EQ(bus->WritePage(device->ROM(), 14, ByteBuffer(62, 1)), ToCode(BusResult::PageWriteShort));   // 65 bytes in 64
    EXPECT_EQ(bus->WritePage(device->ROM(), 0, ByteBuffer(256, 1)), ToCode(BusResult::PageWriteShort));   // no length byte for it
    EXPECT_EQ(bus->WritePage(device->ROM(), 16, ByteBuffer(1, 1)), ToCode(BusResult::PageWriteShort));    // not general-purpose memory
    EXPECT_FALSE(AnyWriteScratchpad(link()));
    EXPECT_EQ(dev->memory, before);
    EXPECT_EQ(dev->copies, 0);
}

TEST_F(BusTest, PageWithoutAValidPacketReadsAsOneZeroByte)
{
    auto dev = link().add(kLogger);
    auto bus = MakeBus();
    auto device = DeviceFor(*bus, kLogger);
    ByteBuffer back{1, 2, 3};
    EXPECT_EQ(bus->ReadPage(device->ROM(), 3, back), ToCode(BusResult::Success));   // all zero: CRC does not match
    EXPECT_EQ(back, ByteBuffer{0});

    ASSERT_EQ(bus->WritePage(device->ROM(), 3, ByteBuffer{'a', 'b', 'c'}), ToCode(BusResult::Success));
    dev->memory[3 * 32 + 2] ^= 0x01;
    EXPECT_EQ(bus->ReadPage(device->ROM(), 3, back), ToCode(BusResult::Success));
    EXPECT_EQ(back, ByteBuffer{0});

    dev->memory[0] = 0xFF;   // length running past the end of memory from page 15? page 0 here
    dev->memory[15 * 32] = 200;
    EXPECT_EQ(bus->ReadPage(device->ROM(), 15, back), ToCode(BusResult::Success));
    EXPECT_EQ(back, ByteBuffer{0});
}

TEST_F(BusTest, DriverRefusesPacketsOnDevicesWithoutPacketMemory)
{
    const RomCode cable = MakeRom(0x09, 0x42);
    link().add(cable);
    const int32_t handle = TMExtendedStartSession(1, 5, nullptr);
    ASSERT_GT(handle, 0);
    ASSERT_EQ(TMSetup(handle), 1);
    std::vector<uint8_t> state(kStateBufferSize, 0);
    int16_t rom[9] = {};
    for (int i = 0; i < 8; ++i) rom[i] = cable[size_t(i)];
    ASSERT_EQ(TMRom(handle, state.data(), rom), 1);
    const uint8_t data[2] = {1, 2};
    EXPECT_EQ(TMWritePacket(handle, state.data(), 0, data, 2), kTmNoPacketMemory);
    uint8_t buf[16];
    EXPECT_EQ(TMReadPacket(handle, state.data(), 0, buf, 16), kTmNoPacketMemory);
    int16_t current[9] = {};
    EXPECT_EQ(TMRom(handle, state.data(), current), 1);
    EXPECT_EQ(current[0], 0x09);
    EXPECT_EQ(TMFirst(handle, state.data()), 1);
    EXPECT_EQ(TMNext(handle, state.data()), 0);
    // A second session on the same port while the first is open is refused
    EXPECT_EQ(TMExtendedStartSession(1, 5, nullptr), 0);
    EXPECT_EQ(TMEndSession(handle), 1);
    EXPECT_EQ(TMEndSession(handle), 0);
}
