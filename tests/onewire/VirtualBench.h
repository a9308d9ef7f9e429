#pragma once
// Test bench for the virtual bus: a state file in a temporary directory, a fixed real clock, and
// the byte sequences the program sends (Match ROM, scratchpad write/read/copy, memory reads),
// built here independently of the driver layer.
#include "simulator/VirtualBus.h"
#include "simulator/VirtualDs1921.h"
#include <QDateTime>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <vector>

namespace bench {

using Bytes = std::vector<uint8_t>;

// Independent CRC16 (bit by bit from the polynomial) for checking what the device sends.
inline uint16_t RefCrc16(const Bytes& data, uint16_t crc = 0)
{
    for (uint8_t b : data)
        for (int i = 0; i < 8; ++i) {
            const int bit = ((crc ^ (b >> i)) & 1);
            crc >>= 1;
            if (bit) crc ^= 0xA001;
        }
    return crc;
}

inline qint64 Ms(const char* iso)
{
    QDateTime t = QDateTime::fromString(QString::fromLatin1(iso), Qt::ISODateWithMs);
    t.setTimeSpec(Qt::UTC);
    return t.toMSecsSinceEpoch();
}

class VirtualBench : public ::testing::Test {
protected:
    // Real time stands still at this moment unless a test moves it.
    qint64 realNow = Ms("2026-12-05T10:00:20.500");

    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        VirtualClock::SetRealTimeForTesting([this] { return realNow; });
        world = std::make_shared<VirtualWorld>(stateFile());
        world->profile().noise = 0.3;
        world->profile().seed = 42;
        bus = std::make_unique<VirtualBus>(world);
        ASSERT_TRUE(bus->open());
    }
    void TearDown() override { VirtualClock::SetRealTimeForTesting({}); }

    QString stateFile() const { return dir.filePath("virtual-bus.json"); }

    VirtualDs1921* addLogger(Ds1921Variant v = Ds1921Variant::G)
    {
        QString err;
        auto* l = world->addLogger(v, nullptr, &err);
        EXPECT_TRUE(l) << err.toStdString();
        world->save();
        return l;
    }

    // reset + Match ROM + bytes, as one block; returns what came back after the ROM.
    Bytes exchange(const RomCode& rom, const Bytes& bytes)
    {
        EXPECT_TRUE(bus->reset());
        Bytes b(9 + bytes.size());
        b[0] = 0x55;
        std::copy(rom.begin(), rom.end(), b.begin() + 1);
        std::copy(bytes.begin(), bytes.end(), b.begin() + 9);
        EXPECT_EQ(bus->block(b.data(), int(b.size())), int(b.size()));
        return Bytes(b.begin() + 9, b.end());
    }

    // Write Scratchpad, read it back, copy with the authorisation it returned: one WriteRaw.
    // Returns the byte the device answers after the copy (0xAA = copied).
    int writeRaw(const RomCode& rom, int address, const Bytes& data)
    {
        Bytes w(3 + data.size());
        w[0] = 0x0F;
        w[1] = uint8_t(address);
        w[2] = uint8_t(address >> 8);
        std::copy(data.begin(), data.end(), w.begin() + 3);
        exchange(rom, w);
        Bytes r(4 + data.size(), 0xFF);
        r[0] = 0xAA;
        const Bytes back = exchange(rom, r);
        EXPECT_EQ(back[1], uint8_t(address));
        EXPECT_EQ(back[2], uint8_t(address >> 8));
        for (size_t i = 0; i < data.size(); ++i) EXPECT_EQ(back[4 + i], data[i]);
        const uint8_t es = back[3];
        EXPECT_EQ(es, uint8_t((address + data.size() - 1) & 0x1F));
        const Bytes c = exchange(rom, {0x55, uint8_t(address), uint8_t(address >> 8), es, 0xFF, 0xFF});
        return c[4];
    }

    Bytes readMemory(const RomCode& rom, int address, int count)
    {
        Bytes b(3 + count, 0xFF);
        b[0] = 0xF0;
        b[1] = uint8_t(address);
        b[2] = uint8_t(address >> 8);
        const Bytes back = exchange(rom, b);
        return Bytes(back.begin() + 3, back.end());
    }

    uint8_t readByte(const RomCode& rom, int address) { return readMemory(rom, address, 1)[0]; }

    // Read Memory with CRC over whole pages; *badPages lists pages whose CRC did not check.
    Bytes readPagesCrc(const RomCode& rom, int address, int pages, std::vector<int>* badPages = nullptr)
    {
        Bytes b(3 + 34 * pages, 0xFF);
        b[0] = 0xA5;
        b[1] = uint8_t(address);
        b[2] = uint8_t(address >> 8);
        const Bytes back = exchange(rom, b);
        Bytes data;
        for (int p = 0; p < pages; ++p) {
            Bytes page(back.begin() + 3 + 34 * p, back.begin() + 3 + 34 * p + 32);
            Bytes crcInput = p == 0 ? Bytes{0xA5, uint8_t(address), uint8_t(address >> 8)} : Bytes{};
            crcInput.insert(crcInput.end(), page.begin(), page.end());
            const uint16_t sent = uint16_t(back[3 + 34 * p + 32] | (back[3 + 34 * p + 33] << 8));
            if (uint16_t(~RefCrc16(crcInput)) != sent && badPages) badPages->push_back(p);
            data.insert(data.end(), page.begin(), page.end());
        }
        return data;
    }

    void command(const RomCode& rom, uint8_t cmd) { exchange(rom, {cmd, 0xFF}); }

    uint8_t status(const RomCode& rom) { return readByte(rom, 0x214); }

    // The programming sequence's register writes, in its order.
    void program(const RomCode& rom, qint64 clockMs, int rate, int delayMinutes, uint8_t tl, uint8_t th, bool rollover)
    {
        const QDateTime t = QDateTime::fromMSecsSinceEpoch(clockMs, Qt::UTC);
        auto bcd = [](int v) { return uint8_t(((v / 10) << 4) | (v % 10)); };
        writeRaw(rom, 0x200, {bcd(t.time().second()), bcd(t.time().minute()), bcd(t.time().hour())});
        const int yy = t.date().year() % 100;
        writeRaw(rom, 0x204, {bcd(t.date().day()), uint8_t(bcd(t.date().month()) | (yy < 50 ? 0x80 : 0)), bcd(yy)});
        writeRaw(rom, 0x20E, {0x40});
        command(rom, 0x3C);
        writeRaw(rom, 0x212, {uint8_t(delayMinutes & 0xFF), uint8_t(delayMinutes >> 8)});
        writeRaw(rom, 0x20B, {tl, th});
        uint8_t control = readByte(rom, 0x20E);
        control = rollover ? uint8_t(control | 0x08) : uint8_t(control & ~0x08);
        writeRaw(rom, 0x20E, {control});
        writeRaw(rom, 0x20D, {uint8_t(rate)});
    }

    // Moves the simulation on and lets the devices catch up (as the next bus reset would).
    void advance(qint64 ms) { world->advance(ms); }

    QTemporaryDir dir;
    std::shared_ptr<VirtualWorld> world;
    std::unique_ptr<VirtualBus> bus;
};

} // namespace bench
