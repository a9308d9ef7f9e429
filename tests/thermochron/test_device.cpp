// DS1921 device operations on the recording link: the bytes they put on the bus and what
// they leave in the logger's registers.
#include "onewire/BusTestSupport.h"

namespace {
const RomCode kPlain = MakeRom(0x21, 0x000000ABCDEFull);
const RomCode kSensor = MakeRom(0x28, 0x000000000042ull);

Bytes WriteBlock(const RomCode& rom, int address, const Bytes& data)
{
    return Concat({{0x55}, RomBytes(rom), {0x0F, uint8_t(address & 0xFF), uint8_t(address >> 8)}, data});
}

Bytes CopyBlock(int address, int len)
{
    return Concat({{0x55, uint8_t(address & 0xFF), uint8_t(address >> 8), uint8_t((address + len - 1) & 0x1F)},
                   Fill(9, 0xFF), {0x00}});
}

bool Contains(const std::vector<Bytes>& blocks, const Bytes& block)
{
    return std::find(blocks.begin(), blocks.end(), block) != blocks.end();
}
} // namespace

class DeviceTest : public BusTest {
protected:
    std::shared_ptr<FakeDevice> logger;
    std::unique_ptr<clsDallasBus> bus;
    std::shared_ptr<clsDallasDevice> device;
    void SetUp() override
    {
        BusTest::SetUp();
        logger = link().add(kPlain);
        bus = MakeBus();
        device = DeviceFor(*bus, kPlain);
    }
};

TEST_F(DeviceTest, SetDateTimeWritesBcdClockAndDateWithCentury)
{
    const QDateTime when(QDate(2026, 12, 5), QTime(17, 34, 56), Qt::UTC);
    EXPECT_EQ(device->SetDateTime(when), 0);
    const auto blocks = link().blocksWritten();
    ASSERT_EQ(blocks.size(), 12u);   // two writes of six blocks each
    EXPECT_EQ(blocks[1], WriteBlock(kPlain, 0x200, {0x56, 0x34, 0x17}));
    EXPECT_EQ(blocks[3], (Bytes{0xAA, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(blocks[5], CopyBlock(0x200, 3));
    EXPECT_EQ(blocks[7], WriteBlock(kPlain, 0x204, {0x05, 0x92, 0x26}));
    EXPECT_EQ(blocks[11], CopyBlock(0x204, 3));
    EXPECT_EQ(Bytes(logger->memory.begin() + 0x200, logger->memory.begin() + 0x207),
              (Bytes{0x56, 0x34, 0x17, 0x00, 0x05, 0x92, 0x26}));

    link().clearLog();
    EXPECT_EQ(device->SetDateTime(QDateTime(QDate(1999, 3, 9), QTime(8, 5, 0), Qt::UTC)), 0);
    EXPECT_EQ(Bytes(logger->memory.begin() + 0x204, logger->memory.begin() + 0x207), (Bytes{0x09, 0x03, 0x99}));
}

TEST_F(DeviceTest, StartDelayAlarmsSampleRateAndTheirLimits)
{
    EXPECT_EQ(device->SetStartDelay(300), 0);
    EXPECT_TRUE(Contains(link().blocksWritten(), WriteBlock(kPlain, 0x212, {0x2C, 0x01})));
    EXPECT_TRUE(Contains(link().blocksWritten(), CopyBlock(0x212, 2)));
    EXPECT_EQ(logger->memory[0x212], 0x2C);
    EXPECT_EQ(logger->memory[0x213], 0x01);

    link().clearLog();
    EXPECT_EQ(device->SetStartDelay(65536), -4);
    EXPECT_EQ(device->SetStartDelay(-1), -4);
    EXPECT_EQ(device->WriteRaw(0x21E, ByteBuffer{1, 2, 3}), -13);   // would cross the page end
    EXPECT_TRUE(link().log.empty());

    EXPECT_EQ(device->SetTemperatureAlarms(-5.0f, 0.0f), 0);
    EXPECT_EQ(logger->memory[0x20B], 70);   // (-5 + 40) * 2
    EXPECT_EQ(logger->memory[0x20C], 80);
    EXPECT_EQ(device->SetSampleRate(10), 0);
    EXPECT_EQ(logger->memory[0x20D], 10);
}

TEST_F(DeviceTest, SingleToTemperatureOfTheThreeVariants)
{
    clsDallasDevice d;
    d.strROMText = "7A000000ABCDEF21";
    EXPECT_EQ(d.SingleToTemperature(25.0f), 130);
    EXPECT_EQ(d.SingleToTemperature(-50.0f), 0);
    EXPECT_EQ(d.SingleToTemperature(0.25f), 80);    // 80.5 to the even neighbour
    EXPECT_EQ(d.SingleToTemperature(0.75f), 82);    // 81.5
    EXPECT_FLOAT_EQ(d.CodeToTemperature(130), 25.0f);
    d.strROMText = "7A4F210000000021";
    EXPECT_EQ(d.SingleToTemperature(25.0f), 84);
    EXPECT_EQ(d.SingleToTemperature(100.0f), 255);
    EXPECT_FLOAT_EQ(d.CodeToTemperature(84), 25.0f);
    d.strROMText = "7A3B210000000021";
    EXPECT_EQ(d.SingleToTemperature(25.0f), 244);
    EXPECT_FLOAT_EQ(d.CodeToTemperature(244), 25.0f);
}

TEST_F(DeviceTest, SetRollOverKeepsTheOtherControlBits)
{
    logger->memory[0x20E] = 0x40;
    EXPECT_EQ(device->SetRollOver(true), 0);
    EXPECT_TRUE(Contains(link().blocksWritten(), WriteBlock(kPlain, 0x20E, {0x48})));
    EXPECT_EQ(logger->memory[0x20E], 0x48);
    link().clearLog();
    EXPECT_EQ(device->SetRollOver(false), 0);
    EXPECT_TRUE(Contains(link().blocksWritten(), WriteBlock(kPlain, 0x20E, {0x40})));
    EXPECT_EQ(logger->memory[0x20E], 0x40);
    // The read comes first: Read Memory of one byte at 0x20E
    EXPECT_EQ(link().blocksWritten()[0], Concat({{0x55}, RomBytes(kPlain), {0xF0, 0x0E, 0x02, 0xFF, 0xFF}}));
}

TEST_F(DeviceTest, OtherFamiliesAreRefusedWithoutBusTraffic)
{
    link().add(kSensor);
    auto sensor = DeviceFor(*bus, kSensor);
    link().clearLog();
    EXPECT_EQ(sensor->ClearMemory(), -15);
    EXPECT_EQ(sensor->SetDateTime(QDateTime(QDate(2026, 1, 1), QTime(0, 0), Qt::UTC)), -15);
    EXPECT_EQ(sensor->SetSampleRate(1), -15);
    EXPECT_EQ(sensor->SetRollOver(true), -15);
    EXPECT_EQ(sensor->SetStartDelay(5), -15);
    EXPECT_EQ(sensor->SetTemperatureAlarms(1, 2), -15);
    EXPECT_EQ(sensor->StopMission(), -15);
    EXPECT_FALSE(sensor->IsMissionRunning());
    EXPECT_TRUE(link().log.empty());
    EXPECT_EQ(link().sessionsBegun, 0);

    clsDallasDevice loose;   // no bus
    ASSERT_EQ(loose.SetParameter("romcode", RomArray{0x21, 1, 2, 3, 4, 5, 6, 7, 0}), ToCode(DeviceResult::Success));
    EXPECT_EQ(loose.ClearMemory(), ToCode(DeviceResult::NoBus));
    ByteBuffer b;
    EXPECT_EQ(loose.ReadPage(0, b), ToCode(DeviceResult::NoBus));
    EXPECT_FALSE(loose.IsMissionRunning());
}

TEST_F(DeviceTest, ParametersByNameAndType)
{
    clsDallasDevice d;
    d.objMyBus = bus.get();
    const RomArray rom{0x21, 0x00, 0x00, 0x00, 0x2B, 0x15, 0x4F, 0x7A, 0};
    EXPECT_EQ(d.SetParameter("romcode", rom), 0);
    EXPECT_EQ(d.strROMText, "7A4F152B00000021");
    EXPECT_EQ(d.SetParameter("ROMCode", QVariant("7A4F152B00000021")), -4);
    EXPECT_EQ(d.SetParameter("Serial", rom), -4);
    RomArray back{};
    EXPECT_EQ(d.GetRomCodeArray(back), 0);
    EXPECT_EQ(back, rom);
    QVariant v;
    EXPECT_EQ(d.GetParameter("bus", v), 0);
    EXPECT_EQ(v.value<clsDallasBus*>(), bus.get());
    EXPECT_EQ(d.GetParameter("UNITNO", v), 0);
    EXPECT_EQ(d.GetParameter("other", v), -4);
}

TEST_F(DeviceTest, MissionBitClearMemoryAndStop)
{
    logger->memory[0x214] = 0x20;
    EXPECT_TRUE(device->IsMissionRunning());
    logger->memory[0x214] = 0xDF;
    EXPECT_FALSE(device->IsMissionRunning());

    // Clear Memory: one driver session from the enabling write to the command
    link().clearLog();
    link().sessionsBegun = 0;
    logger->memory[0x214] = 0x00;
    EXPECT_EQ(device->ClearMemory(), 0);
    EXPECT_EQ(link().sessionsBegun, 1);
    EXPECT_TRUE(Contains(link().blocksWritten(), WriteBlock(kPlain, 0x20E, {0x40})));
    EXPECT_EQ(link().blocksWritten().back(), Concat({{0x55}, RomBytes(kPlain), {0x3C}}));
    EXPECT_EQ(logger->commands, std::vector<uint8_t>{0x3C});
    EXPECT_EQ(logger->memory[0x214] & 0x40, 0x40);

    // Stop: the status register written to 0, the page 0 record kept
    ASSERT_EQ(device->WritePage(0, ByteBuffer{'1', 3, 'x'}), 0);
    logger->memory[0x214] = 0x20;
    waits.clear();
    EXPECT_EQ(device->StopMission(), 0);
    EXPECT_EQ(logger->memory[0x214], 0x00);
    EXPECT_EQ(waits, std::vector<int>{200});
    ByteBuffer record;
    EXPECT_EQ(device->ReadPage(0, record), 0);
    EXPECT_EQ(record, (ByteBuffer{'1', 3, 'x'}));
}

TEST_F(DeviceTest, CurrentTemperatureAfterAConversion)
{
    logger->memory[0x214] = 0x80;   // conversion done
    logger->convertResult = 131;    // 25.5 degrees on the plain variant
    link().sessionsBegun = 0;
    float t = 0;
    EXPECT_EQ(device->GetCurrentTemperature(t), 0);
    EXPECT_FLOAT_EQ(t, 25.5f);
    EXPECT_EQ(link().sessionsBegun, 1);
    const auto blocks = link().blocksWritten();
    ASSERT_GE(blocks.size(), 3u);
    EXPECT_EQ(blocks[0], Concat({{0x55}, RomBytes(kPlain), {0x44}}));
    EXPECT_EQ(blocks.back(), Concat({{0x55}, RomBytes(kPlain), {0xF0, 0x11, 0x02, 0xFF, 0xFF}}));
    EXPECT_EQ(waits.front(), 50);
}
