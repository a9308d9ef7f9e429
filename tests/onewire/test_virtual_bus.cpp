// The virtual bus at the level of time slots: ROM commands and search, the scratchpad and its
// authorisation, Read Memory with CRC, the cable chip, and the injected faults.
#include "VirtualBench.h"
#include "simulator/VirtualDs18b20.h"
#include "simulator/VirtualDs2502.h"
#include <set>

using namespace bench;
using namespace virtualbus;

class VirtualBusTest : public VirtualBench {};

TEST_F(VirtualBusTest, ChecksumsMatchTheProtocolVectors)
{
    const uint8_t rom1[] = {0x02, 0x1C, 0xB8, 0x01, 0x00, 0x00, 0x00};
    const uint8_t rom2[] = {0x21, 0x12, 0x34, 0x56, 0x78, 0x00, 0x00};
    const uint8_t rom3[] = {0x09, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06};
    EXPECT_EQ(Crc8(rom1, 7), 0xA2);
    EXPECT_EQ(Crc8(rom2, 7), 0x67);
    EXPECT_EQ(Crc8(rom3, 7), 0x4C);
    const uint8_t digits[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    EXPECT_EQ(Crc16(digits, 9), 0xBB3D);
    const uint8_t ws[] = {0x0F, 0x0E, 0x02, 0x40};
    EXPECT_EQ(Crc16(ws, 4), 0x4762);
    Bytes regs{0xA5, 0x00, 0x02};
    regs.resize(35, 0);
    EXPECT_EQ(Crc16(regs.data(), 35), 0xD360);
}

TEST_F(VirtualBusTest, SearchFindsCableLoggersAndSensorAndSkipsRemovedOnes)
{
    QString err;
    std::set<RomCode> expected;
    expected.insert(world->addCable(nullptr, &err)->rom());
    expected.insert(addLogger(Ds1921Variant::G)->rom());
    expected.insert(addLogger(Ds1921Variant::H)->rom());
    VirtualDs1921* z = addLogger(Ds1921Variant::Z);
    expected.insert(z->rom());
    expected.insert(world->addSensor(nullptr, &err)->rom());

    auto searchAll = [&](bool alarmOnly) {
        std::set<RomCode> found;
        OneWireSearchState st;
        while (bus->searchNext(st, alarmOnly)) {
            EXPECT_EQ(Crc8(st.rom.data(), 8), 0) << RomToText(st.rom).toStdString();
            EXPECT_TRUE(found.insert(st.rom).second) << "found twice";
            if (found.size() > 10) break;
        }
        return found;
    };
    EXPECT_EQ(searchAll(false), expected);

    z->setPresent(false);
    expected.erase(z->rom());
    EXPECT_EQ(searchAll(false), expected);

    // Conditional search: only a logger whose low alarm flag is set and enabled answers
    // (the sensor answers too when its reading lies outside its TH/TL band).
    VirtualDs1921* g = nullptr;
    for (const auto& d : world->devices())
        if (auto* l = dynamic_cast<VirtualDs1921*>(d.get()); l && l->variant() == Ds1921Variant::G) g = l;
    ASSERT_TRUE(g);
    world->profile().base = -20;   // far below any threshold
    world->profile().noise = 0;
    program(g->rom(), world->clock().nowMs(), 1, 0, 0x46, 0x60, false);
    writeRaw(g->rom(), 0x20E, {0x04});   // TLS; the write ends the mission, the flag stays
    EXPECT_EQ(searchAll(true).count(g->rom()), 0u) << "no sample yet, no flag";
    program(g->rom(), world->clock().nowMs(), 1, 0, 0x46, 0x60, false);
    advance(120000);
    writeRaw(g->rom(), 0x20E, {0x04});
    EXPECT_TRUE(status(g->rom()) & 0x04);
    const auto alarmed = searchAll(true);
    EXPECT_EQ(alarmed.count(g->rom()), 1u);
    for (const auto& r : alarmed) EXPECT_NE(r[0], 0x09) << "the cable chip has no conditional search";
}

TEST_F(VirtualBusTest, VariantsCarryTheirRangeCodeInTheRomText)
{
    EXPECT_EQ(addLogger(Ds1921Variant::H)->romText().mid(2, 3), "4F2");
    EXPECT_EQ(addLogger(Ds1921Variant::Z)->romText().mid(2, 3), "3B2");
    const QString g = addLogger(Ds1921Variant::G)->romText();
    EXPECT_NE(g.mid(2, 3), "4F2");
    EXPECT_NE(g.mid(2, 3), "3B2");
    EXPECT_TRUE(g.endsWith("21"));

    QString err;
    RomCode rom{};
    ASSERT_TRUE(RomFromText(g, rom));
    EXPECT_FALSE(world->addLogger(Ds1921Variant::G, &rom, &err)) << "duplicate";
    rom[7] ^= 1;
    EXPECT_FALSE(world->addLogger(Ds1921Variant::G, &rom, &err));
    EXPECT_TRUE(err.contains("CRC"));
    RomCode h = VirtualDs1921::MakeRom(Ds1921Variant::H, 77);
    EXPECT_FALSE(world->addLogger(Ds1921Variant::G, &h, &err)) << "ROM names an H";
    EXPECT_EQ(world->devices().size(), 3u);
}

TEST_F(VirtualBusTest, ReadRomSkipRomAndMatchRomSelectTheRightDevice)
{
    VirtualDs1921* a = addLogger();
    EXPECT_TRUE(bus->reset());
    Bytes b{0x33, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    bus->block(b.data(), 9);
    EXPECT_TRUE(std::equal(a->rom().begin(), a->rom().end(), b.begin() + 1));

    VirtualDs1921* other = addLogger();
    writeRaw(a->rom(), 0x0000, {0x11, 0x22});
    writeRaw(other->rom(), 0x0000, {0x33});
    EXPECT_EQ(readMemory(a->rom(), 0, 2), (Bytes{0x11, 0x22}));
    EXPECT_EQ(readByte(other->rom(), 0), 0x33);

    // A ROM that is not on the bus selects nobody: the bus reads 1s.
    RomCode absent = VirtualDs1921::MakeRom(Ds1921Variant::G, 999999);
    EXPECT_EQ(readMemory(absent, 0, 2), (Bytes{0xFF, 0xFF}));

    // Overdrive is refused: the device waits for the next reset.
    other->setPresent(false);
    EXPECT_TRUE(bus->reset());
    Bytes od{0x3C, 0xF0, 0x00, 0x00, 0xFF};
    bus->block(od.data(), 5);
    EXPECT_EQ(od[4], 0xFF);
    EXPECT_TRUE(bus->reset());
    Bytes skip{0xCC, 0xF0, 0x00, 0x00, 0xFF};
    bus->block(skip.data(), 5);
    EXPECT_EQ(skip[4], 0x11);
    EXPECT_GT(bus->timeSlots(), 100u);
}

TEST_F(VirtualBusTest, ScratchpadCrcAuthorisationAndPartialBytes)
{
    const RomCode rom = addLogger()->rom();
    // A write through the end of the scratchpad is followed by the inverted CRC16 of the stream.
    Bytes w{0x0F, 0x00, 0x01};
    for (int i = 0; i < 32; ++i) w.push_back(uint8_t(i * 7));
    Bytes sent = w;
    w.push_back(0xFF);
    w.push_back(0xFF);
    const Bytes back = exchange(rom, w);
    EXPECT_EQ(uint16_t(back[35] | (back[36] << 8)), uint16_t(~RefCrc16(sent)));

    // Read Scratchpad: TA1, TA2, E/S, data, CRC16 over everything from the command on.
    Bytes r(1 + 3 + 32 + 2, 0xFF);
    r[0] = 0xAA;
    const Bytes rs = exchange(rom, r);
    EXPECT_EQ(rs[1], 0x00);
    EXPECT_EQ(rs[2], 0x01);
    EXPECT_EQ(rs[3], 0x1F);
    const Bytes covered(rs.begin(), rs.begin() + 36);
    EXPECT_EQ(uint16_t(rs[36] | (rs[37] << 8)), uint16_t(~RefCrc16(covered)));

    // A wrong authorisation copies nothing and answers 0xFF; the right one answers 0xAA.
    Bytes bad = exchange(rom, {0x55, 0x00, 0x01, 0x1E, 0xFF});
    EXPECT_EQ(bad[4], 0xFF);
    EXPECT_EQ(readByte(rom, 0x100 + 5), 0x00);
    Bytes good = exchange(rom, {0x55, 0x00, 0x01, 0x1F, 0xFF, 0xFF});
    EXPECT_EQ(good[4], 0xAA);
    EXPECT_EQ(readMemory(rom, 0x100, 32), Bytes(sent.begin() + 3, sent.end()));
    const Bytes es = exchange(rom, {0xAA, 0xFF, 0xFF, 0xFF});
    EXPECT_EQ(es[3], 0x9F) << "AA set after the copy";

    // The data sheet's example: 0x20E..0x214 give E/S 0x14.
    exchange(rom, {0x0F, 0x0E, 0x02, 0x02, 0x00, 0x00, 0x00, 0x5A, 0x00, 0x00});
    EXPECT_EQ(exchange(rom, {0xAA, 0xFF, 0xFF, 0xFF})[3], 0x14);

    // A reset in the middle of a byte drops it and sets PF; such a copy is refused.
    EXPECT_TRUE(bus->reset());
    Bytes head{0x55};
    head.insert(head.end(), rom.begin(), rom.end());
    head.insert(head.end(), {0x0F, 0x40, 0x00, 0x99});
    bus->block(head.data(), int(head.size()));
    for (int i = 0; i < 3; ++i) bus->touchBit(1);
    const Bytes pf = exchange(rom, {0xAA, 0xFF, 0xFF, 0xFF});
    EXPECT_EQ(pf[3], 0x20) << "E = 0, PF = 1";
    EXPECT_EQ(exchange(rom, {0x55, 0x40, 0x00, 0x20, 0xFF})[4], 0xFF);
    EXPECT_EQ(readByte(rom, 0x40), 0x00);
}

TEST_F(VirtualBusTest, ReadMemoryWithCrcChecksEveryPageAndReservedAreasReadZero)
{
    VirtualDs1921* l = addLogger();
    const RomCode rom = l->rom();
    std::vector<int> bad;
    const Bytes regs = readPagesCrc(rom, 0x200, 4, &bad);
    EXPECT_TRUE(bad.empty());
    EXPECT_EQ(regs[0x14], 0x80) << "TCB reads 1, nothing else set";
    // Starting inside a page: the first CRC covers command, address and the rest of the page.
    Bytes b{0xA5, 0x0E, 0x02};
    b.resize(3 + 18 + 2, 0xFF);
    const Bytes back = exchange(rom, b);
    Bytes covered(back.begin(), back.begin() + 21);
    EXPECT_EQ(uint16_t(back[21] | (back[22] << 8)), uint16_t(~RefCrc16(covered)));
    // Reserved pages and addresses past the memory read 0x00, with CRC 0 (sent FF FF).
    const Bytes reserved = readPagesCrc(rom, 0x0300, 2, &bad);
    EXPECT_EQ(reserved, Bytes(64, 0x00));
    const Bytes beyond = readPagesCrc(rom, 0x2000, 3, &bad);
    EXPECT_EQ(beyond, Bytes(96, 0x00));
    EXPECT_TRUE(bad.empty());
    const Bytes tail = readMemory(rom, 0x17FE, 4);
    EXPECT_EQ(tail, Bytes(4, 0x00));
}

TEST_F(VirtualBusTest, CableChipReadMemoryGivesCrc8OfCommandAndAddressThenData)
{
    QString err;
    VirtualDs2502* cable = world->addCable(nullptr, &err);
    cable->setData(QByteArray("NORDALIS cable"));
    EXPECT_TRUE(bus->reset());
    Bytes b{0xCC, 0xF0, 0x00, 0x00};
    b.resize(4 + 1 + 128 + 1, 0xFF);
    bus->block(b.data(), int(b.size()));
    EXPECT_EQ(b[4], 0x8D);
    EXPECT_EQ(QByteArray(reinterpret_cast<char*>(&b[5]), 14), QByteArray("NORDALIS cable"));
    EXPECT_EQ(b[5 + 20], 0xFF) << "blank EPROM";
    EXPECT_EQ(b[5 + 128], Crc8(&b[5], 128));
}

TEST_F(VirtualBusTest, SensorConvertsAndReportsItsScratchpad)
{
    QString err;
    world->profile().base = 3.5;
    world->profile().swing = 0;
    world->profile().noise = 0;
    VirtualDs18b20* s = world->addSensor(nullptr, &err);
    exchange(s->rom(), {0x44, 0xFF});
    Bytes r(1 + 11, 0xFF);
    r[0] = 0xBE;
    const Bytes back = exchange(s->rom(), r);
    EXPECT_EQ(int16_t(back[1] | (back[2] << 8)), 56) << "3.5 °C in 1/16 °C";
    EXPECT_EQ(Crc8(&back[1], 9), 0);
    EXPECT_EQ(back[10], 0xFF);
}

TEST_F(VirtualBusTest, InjectedFaults)
{
    VirtualDs1921* l = addLogger();
    const RomCode rom = l->rom();

    // A corrupted CRC on one chosen page, once.
    l->corruptCrcOnPage(0x200 / 32 + 1, 1);
    std::vector<int> bad;
    readPagesCrc(rom, 0x200, 2, &bad);
    EXPECT_EQ(bad, std::vector<int>{1});
    bad.clear();
    readPagesCrc(rom, 0x200, 2, &bad);
    EXPECT_TRUE(bad.empty());

    // Short block counts.
    world->shortenBlocks(2);
    Bytes b(10, 0xFF);
    EXPECT_TRUE(bus->reset());
    EXPECT_EQ(bus->block(b.data(), 10), 9);
    EXPECT_EQ(bus->block(b.data(), 10), 9);
    EXPECT_EQ(bus->block(b.data(), 10), 10);
    world->shortenBlocks(1, 3);
    EXPECT_EQ(bus->block(b.data(), 10), 3);

    // A logger taken out after 9 + 3 + 5 bytes: the rest of the read sees an empty bus, the
    // next reset no presence, and the state file records it as taken out.
    writeRaw(rom, 0, {0x5A, 0x5A, 0x5A, 0x5A, 0x5A, 0x5A, 0x5A, 0x5A});
    l->leaveAfterBytes(9 + 3 + 5);
    const Bytes got = readMemory(rom, 0, 8);
    EXPECT_EQ(got, (Bytes{0x5A, 0x5A, 0x5A, 0x5A, 0x5A, 0xFF, 0xFF, 0xFF}));
    EXPECT_FALSE(bus->reset());
    VirtualWorld reread(stateFile());
    ASSERT_TRUE(reread.load());
    ASSERT_TRUE(reread.find(rom));
    EXPECT_FALSE(reread.find(rom)->present());
}
