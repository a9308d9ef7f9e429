// The bus object on a recording link: session counting, registry port values, search,
// and the exact bytes of every raw transfer.
#include "onewire/BusTestSupport.h"
#include "onewire/Tmex.h"

namespace {
const RomCode kLogger = MakeRom(0x21, 0x7A4F152B00ull);
const RomCode kCable = MakeRom(0x09, 0x000000123456ull);
} // namespace

TEST(Crc16, InvertedCrcOfAPageEndsAtB001AndAChangedBitDoesNot)
{
    clsDallasBus bus;
    Bytes page(32);
    for (int i = 0; i < 32; ++i) page[size_t(i)] = uint8_t(i * 7 + 3);
    const uint16_t crc = Crc16Of(page);
    Bytes sent = page;
    sent.push_back(uint8_t(~crc & 0xFF));
    sent.push_back(uint8_t(~crc >> 8));
    bus.ClearCrc16();
    for (uint8_t b : sent) bus.DoCrc16(b);
    EXPECT_EQ(bus.Crc16(), 0xB001);

    for (int bit = 0; bit < 8; ++bit) {
        Bytes changed = sent;
        changed[5] ^= uint8_t(1 << bit);
        bus.ClearCrc16();
        for (uint8_t b : changed) bus.DoCrc16(b);
        EXPECT_NE(bus.Crc16(), 0xB001) << bit;
    }

    bus.ClearCrc16();
    for (char c : QByteArray("123456789")) bus.DoCrc16(uint8_t(c));
    EXPECT_EQ(bus.Crc16(), 0xBB3D);
    bus.ClearCrc16();
    for (uint8_t b : Bytes{0x0F, 0x0E, 0x02, 0x40}) bus.DoCrc16(b);
    EXPECT_EQ(bus.Crc16(), 0x4762);

    EXPECT_EQ(clsDallasBus::odd_parity(0x07), 1);
    EXPECT_EQ(clsDallasBus::odd_parity(0x03), 0);
    EXPECT_EQ(clsDallasBus::odd_parity(0x100), 0);
}

TEST_F(BusTest, StatusTextsAndRegistryPortValues)
{
    EXPECT_EQ(clsDallasBus::GetBusStatusText(5), "xxx UNDEFINED STATUS!");
    EXPECT_EQ(clsDallasBus::GetBusStatusText(-7), "cstRETREIVING_INVENTORY");
    EXPECT_EQ(clsDallasBus::GetBusStatusText(0), "cstUNDEFINED");

    CreateRegistryKey(kTmexKey);
    for (const char* bad : {"0", "16", "abc"}) {
        WriteRegistryValue(kTmexKey, "DefaultPortNum", QString(bad));
        WriteRegistryValue(kTmexKey, "DefaultPortType", QString("2"));
        auto bus = MakeBus();
        EXPECT_EQ(bus->intPortNum, 1) << bad;
        EXPECT_EQ(bus->intPortType, 5);
    }
    WriteRegistryValue(kTmexKey, "DefaultPortNum", QString("7"));
    auto bus = MakeBus();
    EXPECT_EQ(bus->intPortNum, 7);
    EXPECT_EQ(bus->BusStatus(), cstIDLE);

    std::vector<std::pair<int32_t, int32_t>> changes;
    bus->BeforeStatusChange = [&](int32_t& o, int32_t& n) { changes.push_back({o, n}); };
    bus->Reset();
    ASSERT_EQ(changes.size(), 2u);
    EXPECT_EQ(changes[0], std::make_pair(int32_t(cstIDLE), int32_t(cstRESETTING)));
    EXPECT_EQ(changes[1], std::make_pair(int32_t(cstRESETTING), int32_t(cstIDLE)));
    EXPECT_TRUE(messages.contains(" using port 7 type 5"));
    EXPECT_TRUE(messages.contains("clsDallasBus: Reset() called"));
}

TEST_F(BusTest, NestedSessionsOpenOneDriverSessionAndCloseWithAReset)
{
    link().add(kLogger);
    auto bus = MakeBus();
    EXPECT_EQ(bus->GetSessionHandle(), ToCode(BusResult::Success));
    EXPECT_EQ(bus->GetSessionHandle(), ToCode(BusResult::Success));
    EXPECT_EQ(link().sessionsBegun, 1);
    EXPECT_EQ(bus->ReleaseSessionHandle(), 0);
    EXPECT_EQ(link().sessionsEnded, 0);
    EXPECT_TRUE(link().log.empty());
    EXPECT_EQ(bus->ReleaseSessionHandle(), 1);   // TMEndSession's result
    ASSERT_EQ(link().log.size(), 2u);
    EXPECT_EQ(link().log[0].kind, 'R');
    EXPECT_EQ(link().log[1].kind, 'E');
    EXPECT_EQ(link().openCalls, 1);
    EXPECT_EQ(bus->SessionUsers(), 0);
}

TEST_F(BusTest, FailingSetupLeavesNoSessionAndIsTriedAgain)
{
    link().answerOpen = false;
    auto bus = MakeBus();
    EXPECT_EQ(bus->GetSessionHandle(), ToCode(BusResult::SessionFailed));
    EXPECT_FALSE(bus->blnSetupDone);
    EXPECT_EQ(bus->SessionUsers(), 0);
    EXPECT_EQ(link().sessionsBegun, link().sessionsEnded);
    ASSERT_EQ(errorNumbers, std::vector<int32_t>{ToCode(BusResult::SessionFailed)});
    EXPECT_EQ(errors[0], "TMSetup()=0");

    link().answerOpen = true;
    EXPECT_EQ(bus->GetSessionHandle(), ToCode(BusResult::Success));
    EXPECT_TRUE(bus->blnSetupDone);
    EXPECT_EQ(link().openCalls, 2);
    bus->ReleaseSessionHandle();
    // A transfer without a session is an error, not an empty page.
    link().answerOpen = false;
    link().close();
    auto device = DeviceFor(*bus, kLogger);
    ByteBuffer page{9, 9};
    EXPECT_EQ(bus->ReadPage(device->ROM(), 0, page), ToCode(BusResult::NoSession));
    EXPECT_EQ(page, (ByteBuffer{9, 9}));
    EXPECT_TRUE(errors.last().contains("GetSessionHandle() failed"));
    EXPECT_TRUE(errors.last().endsWith(" in ReadPage unknown position"));
}

TEST_F(BusTest, WaitForCompletionReadsOneBitAfterOneWait)
{
    link().add(kLogger);
    auto bus = MakeBus();
    ASSERT_EQ(bus->GetSessionHandle(), 0);
    int16_t count = 1;
    EXPECT_EQ(bus->WaitForCompletion(count), 1);   // idle bus reads 1
    EXPECT_EQ(count, 0);
    EXPECT_EQ(waits, std::vector<int>{50});
    bus->ReleaseSessionHandle();
}

TEST_F(BusTest, InventoryFindsEveryDeviceAndReplacesTheCollection)
{
    // Devices sharing long ROM prefixes exercise the search's discrepancy handling.
    const RomCode a = MakeRom(0x21, 0x000000000001ull);
    const RomCode b = MakeRom(0x21, 0x000000000003ull);
    const RomCode c = MakeRom(0x21, 0x800000000001ull);
    for (const RomCode& r : {a, b, c, kCable}) link().add(r);
    auto bus = MakeBus();
    EXPECT_EQ(bus->DoInventory(), ToCode(BusResult::Success));
    ASSERT_EQ(bus->colDevices.count(), 4);
    for (const RomCode& r : {a, b, c, kCable}) {
        RomArray arr{};
        for (int i = 0; i < 8; ++i) arr[size_t(i)] = r[size_t(i)];
        const QString key = clsDallasBus::ROMToString(arr);
        ASSERT_TRUE(bus->colDevices.contains(key)) << key.toStdString();
        EXPECT_EQ(bus->colDevices.item(key)->objMyBus, bus.get());
    }
    auto first = bus->colDevices.at(0);
    link().devices.pop_back();
    EXPECT_EQ(bus->DoInventory(), ToCode(BusResult::Success));
    EXPECT_EQ(bus->colDevices.count(), 3);
    for (const auto& d : bus->colDevices) EXPECT_NE(d, first);

    link().devices.clear();
    EXPECT_EQ(bus->DoInventory(), ToCode(BusResult::Success));
    EXPECT_TRUE(bus->colDevices.isEmpty());

    // A ROM whose CRC8 does not hold is not taken as a device
    RomCode bad = kCable;
    bad[7] ^= 0x01;
    link().add(bad);
    EXPECT_EQ(bus->DoInventory(), ToCode(BusResult::Success));
    EXPECT_TRUE(bus->colDevices.isEmpty());
    EXPECT_EQ(bus->BusStatus(), cstIDLE);
}

TEST(RomText, FamilyCodeLastAndTwoDigitsPerByte)
{
    RomArray rom{0x21, 0x00, 0x00, 0x00, 0x2B, 0x15, 0x4F, 0x7A, 0};
    EXPECT_EQ(clsDallasBus::ROMToString(rom), "7A4F152B00000021");
    RomArray five{5, 0, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(clsDallasBus::ROMToString(five), "0000000000000005");
}

TEST_F(BusTest, WriteScratchOfOneByteSendsThirteenAndReadsBackFive)
{
    auto dev = link().add(kLogger);
    auto bus = MakeBus();
    auto device = DeviceFor(*bus, kLogger);
    EXPECT_EQ(bus->WriteScratch(device->ROM(), 0x20E, ByteBuffer{0x40}), ToCode(BusResult::Success));
    const auto blocks = link().blocksWritten();
    // TMAccess (match), the write block, TMAccess again, the read back
    ASSERT_EQ(blocks.size(), 4u);
    EXPECT_EQ(blocks[1], Concat({{0x55}, RomBytes(kLogger), {0x0F, 0x0E, 0x02, 0x40}}));
    EXPECT_EQ(blocks[1].size(), 13u);
    EXPECT_EQ(blocks[3], (Bytes{0xAA, 0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(link().lastBlockRead(), (Bytes{0xAA, 0x0E, 0x02, 0x0E, 0x40}));
    EXPECT_EQ(bus->SessionUsers(), 0);

    // A scratchpad that reads back other data
    link().clearLog();
    link().script = {{}, {}, {}, {Bytes{0xAA, 0x0E, 0x02, 0x0E, 0x41}}};
    EXPECT_EQ(bus->WriteScratch(device->ROM(), 0x20E, ByteBuffer{0x40}), ToCode(BusResult::ScratchpadMismatch));
    EXPECT_TRUE(errors.last().endsWith("\"inconsistent data scratchpad reread\" in WriteScratch at 60"));
    link().script = {{}, {}, {}, {Bytes{0xAA, 0x0F, 0x02, 0x0E, 0x40}}};
    EXPECT_EQ(bus->WriteScratch(device->ROM(), 0x20E, ByteBuffer{0x40}), ToCode(BusResult::ScratchpadMismatch));
    EXPECT_TRUE(errors.last().endsWith("at 70"));
    link().script = {{}, {Bytes{}, 5}};
    EXPECT_EQ(bus->WriteScratch(device->ROM(), 0x20E, ByteBuffer{0x40}), ToCode(BusResult::BlockShort));
    EXPECT_EQ(errors.last(), ">Err-7:\"TMBlockIO()=5\" in WriteScratch at 30");
    EXPECT_EQ(bus->SessionUsers(), 0);
    EXPECT_EQ(dev->copies, 0);
}

TEST_F(BusTest, CopyScratchSendsTheAuthorisationBytes)
{
    auto dev = link().add(kLogger);
    auto bus = MakeBus();
    auto device = DeviceFor(*bus, kLogger);
    ASSERT_EQ(bus->WriteScratch(device->ROM(), 0x212, ByteBuffer{0x2C, 0x01}), ToCode(BusResult::Success));
    link().clearLog();
    EXPECT_EQ(bus->CopyScratch(device->ROM(), 0x212, 2), ToCode(BusResult::Success));
    const auto blocks = link().blocksWritten();
    ASSERT_EQ(blocks.size(), 2u);
    EXPECT_EQ(blocks[0], Concat({{0x55}, RomBytes(kLogger)}));   // TMAccess
    EXPECT_EQ(blocks[1], Concat({{0x55, 0x12, 0x02, 0x13}, Fill(9, 0xFF), {0x00}}));
    EXPECT_EQ(dev->copies, 1);
    EXPECT_EQ(dev->memory[0x212], 0x2C);
    EXPECT_EQ(dev->memory[0x213], 0x01);
}

TEST_F(BusTest, ReadRawMemoryBytesAndTheAllFFCase)
{
    auto dev = link().add(kLogger);
    auto bus = MakeBus();
    auto device = DeviceFor(*bus, kLogger);
    dev->memory[0x214] = 0x20;
    ByteBuffer got;
    EXPECT_EQ(bus->ReadRawMemory(device->ROM(), 0x214, 1, got), ToCode(BusResult::Success));
    EXPECT_EQ(got, ByteBuffer{0x20});
    const auto blocks = link().blocksWritten();
    EXPECT_EQ(blocks.back(), Concat({{0x55}, RomBytes(kLogger), {0xF0, 0x14, 0x02, 0xFF, 0xFF}}));

    dev->memory[0x1A0] = 0x33;
    EXPECT_EQ(bus->ReadRawMemory(device->ROM(), 0x1A0, 1, got), ToCode(BusResult::Success));
    EXPECT_EQ(link().blocksWritten().back(), Concat({{0x55}, RomBytes(kLogger), {0xF0, 0xA0, 0x01, 0xFF, 0xFF}}));
    EXPECT_EQ(got, ByteBuffer{0x33});

    std::fill(dev->memory.begin() + 0x100, dev->memory.begin() + 0x104, 0xFF);
    EXPECT_EQ(bus->ReadRawMemory(device->ROM(), 0x100, 4, got), ToCode(BusResult::AllOnes));
    EXPECT_EQ(got, Fill(4, 0xFF));

    auto absent = DeviceFor(*bus, MakeRom(0x21, 0x999));
    EXPECT_EQ(bus->ReadRawMemory(absent->ROM(), 0x214, 1, got), ToCode(BusResult::SelectFailed));
    EXPECT_EQ(errors.last(), ">Err-5:\"TMStrongAccess()=0\" in ReadRawMemory at 20");
    EXPECT_EQ(bus->SessionUsers(), 0);
}

TEST_F(BusTest, ReadPageCrcReadsPagesInOneExchangeAndChecksEach)
{
    auto dev = link().add(kLogger);
    auto bus = MakeBus();
    auto device = DeviceFor(*bus, kLogger);
    for (int i = 0; i < 64; ++i) dev->memory[size_t(0x200 + i)] = uint8_t(i + 1);
    int16_t pages = 2;
    ByteBuffer got;
    EXPECT_EQ(bus->ReadPageCRC(device->ROM(), 0x200, pages, got), ToCode(BusResult::Success));
    EXPECT_EQ(pages, 0);
    ASSERT_EQ(got.size(), 65u);
    for (int i = 0; i < 64; ++i) EXPECT_EQ(got[size_t(i)], i + 1);
    EXPECT_EQ(got[64], 0);
    const auto blocks = link().blocksWritten();
    ASSERT_GE(blocks.size(), 2u);
    EXPECT_EQ(blocks[blocks.size() - 2], Concat({{0x55}, RomBytes(kLogger), {0xA5, 0x00, 0x02}, Fill(34, 0xFF)}));
    EXPECT_EQ(blocks.back(), Fill(34, 0xFF));
    int resets = 0;
    for (const auto& e : link().log) resets += e.kind == 'R';
    EXPECT_EQ(resets, 3);   // strong access, the exchange, the end of the session

    // One changed bit in the second page
    link().clearLog();
    Bytes page2(dev->memory.begin() + 0x220, dev->memory.begin() + 0x240);
    const uint16_t crc2 = Crc16Of(page2);
    page2[3] ^= 0x10;
    page2.push_back(uint8_t(~crc2 & 0xFF));
    page2.push_back(uint8_t(~crc2 >> 8));
    ByteBuffer first = Concat({{0x55}, RomBytes(kLogger), {0xA5, 0x00, 0x02}});
    for (int i = 0; i < 32; ++i) first.push_back(uint8_t(i + 1));
    const uint16_t crc1 = Crc16Of(Concat({{0xA5, 0x00, 0x02}, Bytes(first.begin() + 12, first.end())}));
    first.push_back(uint8_t(~crc1 & 0xFF));
    first.push_back(uint8_t(~crc1 >> 8));
    // Seen once: the page is asked for again with its own address and arrives whole.
    link().script = {{first}, {page2}};
    pages = 2;
    EXPECT_EQ(bus->ReadPageCRC(device->ROM(), 0x200, pages, got), ToCode(BusResult::Success));
    EXPECT_EQ(pages, 0);
    ASSERT_EQ(link().blocksWritten().size(), 3u);
    EXPECT_EQ(link().blocksWritten()[2], Concat({{0x55}, RomBytes(kLogger), {0xA5, 0x20, 0x02}, Bytes(34, 0xFF)}));
    EXPECT_TRUE(std::equal(got.begin() + 32, got.begin() + 64, dev->memory.begin() + 0x220));

    // Seen every time: -13 after the bounded repeats, the first page kept.
    link().clearLog();
    Bytes again = Concat({{0x55}, RomBytes(kLogger), {0xA5, 0x20, 0x02}});
    Bytes flipped(dev->memory.begin() + 0x220, dev->memory.begin() + 0x240);
    const uint16_t crcAgain = Crc16Of(Concat({{0xA5, 0x20, 0x02}, flipped}));
    flipped[3] ^= 0x10;
    again.insert(again.end(), flipped.begin(), flipped.end());
    again.push_back(uint8_t(~crcAgain & 0xFF));
    again.push_back(uint8_t(~crcAgain >> 8));
    link().script = {{first}, {page2}};
    for (int i = 0; i < kReadPageCrcRepeats; ++i) link().script.push_back({again});
    pages = 2;
    EXPECT_EQ(bus->ReadPageCRC(device->ROM(), 0x200, pages, got), ToCode(BusResult::CrcMismatch));
    EXPECT_EQ(pages, 1);
    link().script.clear();
    EXPECT_EQ(bus->BusStatus(), cstIDLE);
    EXPECT_EQ(bus->SessionUsers(), 0);
}

TEST_F(BusTest, ReadPageCrcRepeatsAShortPageOnlyABoundedNumberOfTimes)
{
    auto dev = link().add(kLogger);
    auto bus = MakeBus();
    auto device = DeviceFor(*bus, kLogger);
    // Two short transfers, then the page arrives
    link().script = {{Bytes{}, 7}, {Bytes{}, 7}};
    int16_t pages = 1;
    ByteBuffer got;
    EXPECT_EQ(bus->ReadPageCRC(device->ROM(), 0x1000, pages, got), ToCode(BusResult::Success));
    EXPECT_EQ(pages, 0);

    // Always short: gives up with -7 after the bounded repeats
    link().clearLog();
    link().script.clear();
    for (int i = 0; i <= kReadPageCrcRepeats + 5; ++i) link().script.push_back({Bytes{}, 3});
    pages = 1;
    EXPECT_EQ(bus->ReadPageCRC(device->ROM(), 0x1000, pages, got), ToCode(BusResult::BlockShort));
    EXPECT_EQ(link().blocksWritten().size(), size_t(kReadPageCrcRepeats + 1));
    EXPECT_EQ(errors.last(), ">Err-7:\"TMBlockIO()=3\" in ReadPageCRC at 30");
    EXPECT_EQ(bus->SessionUsers(), 0);

    // Short on a later page: the page is asked for again with its own address (where the stream
    // stopped is not known), after the same bound
    link().clearLog();
    link().script.clear();
    link().script.push_back({});
    for (int i = 0; i <= kReadPageCrcRepeats + 5; ++i) link().script.push_back({Bytes{}, 3});
    pages = 3;
    EXPECT_EQ(bus->ReadPageCRC(device->ROM(), 0x1000, pages, got), ToCode(BusResult::BlockShort));
    EXPECT_EQ(pages, 2);
    EXPECT_EQ(errors.last(), ">Err-7:\"TMBlockIO()=3\" in ReadPageCRC at 30");
    const auto blocks = link().blocksWritten();
    ASSERT_EQ(blocks.size(), size_t(1 + kReadPageCrcRepeats + 1));
    EXPECT_EQ(blocks[2][9], 0xA5);
    EXPECT_EQ(blocks[2][10], 0x20) << "the second page's address";
    EXPECT_EQ(blocks[2][11], 0x10);
    link().script.clear();
    (void)dev;
}

TEST_F(BusTest, SendCommandAndFamily28Scratchpad)
{
    auto dev = link().add(kLogger);
    const RomCode sensor = MakeRom(0x28, 0x55);
    link().add(sensor);
    auto bus = MakeBus();
    auto device = DeviceFor(*bus, kLogger);
    EXPECT_EQ(bus->SendCommand(device->ROM(), 0x44), ToCode(BusResult::Success));
    EXPECT_EQ(link().blocksWritten().back(), Concat({{0x55}, RomBytes(kLogger), {0x44}}));
    EXPECT_EQ(dev->commands, std::vector<uint8_t>{0x44});

    ByteBuffer scratch;
    EXPECT_EQ(bus->ReadScratch(device->ROM(), scratch), ToCode(BusResult::NotTemperatureSensor));   // only for family 28
    auto s = DeviceFor(*bus, sensor);
    link().clearLog();
    EXPECT_EQ(bus->ReadScratch(s->ROM(), scratch), ToCode(BusResult::Success));
    EXPECT_EQ(link().blocksWritten().back(), Concat({{0x55}, RomBytes(sensor), {0xBE}, Fill(11, 0xFF)}));
    EXPECT_EQ(scratch.size(), 10u);
}

TEST_F(BusTest, TouchBytesSendsAllButTheLast)
{
    link().add(kLogger);
    auto bus = MakeBus();
    ASSERT_EQ(bus->GetSessionHandle(), 0);
    link().clearLog();
    ByteBuffer bytes{0x11, 0x22, 0x33};
    RomArray rom{};
    for (int i = 0; i < 8; ++i) rom[size_t(i)] = kLogger[size_t(i)];
    EXPECT_TRUE(bus->TouchBytes(bytes, rom));
    std::vector<Bytes> single;
    for (const auto& e : link().log)
        if (e.kind == 'Y') single.push_back(e.written);
    // The search of the strong access sends 0xF0 as a byte first
    ASSERT_EQ(single.size(), 3u);
    EXPECT_EQ(single[1], Bytes{0x11});
    EXPECT_EQ(single[2], Bytes{0x22});
    EXPECT_EQ(bytes[2], 0x33);
    bus->ReleaseSessionHandle();
}
