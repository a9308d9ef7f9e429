#pragma once
// A small scripted 1-Wire bus for tests of the bus object over the serial link, modelled at the
// level of time slots: devices answer reset, Search ROM (bit, complement, direction), Match ROM,
// Skip ROM, Read ROM and Read Memory (0xF0) from a memory of their own; the line is the wired
// AND of the master and every device.
// A device can be told to leave the bus after a number of bytes.
#include "onewire/OneWireLink.h"
#include "simulator/VirtualDevice.h"

#include <vector>

namespace ds2480test {

inline RomCode MakeRom(uint8_t family, uint64_t serial)
{
    RomCode rom{};
    rom[0] = family;
    for (int i = 1; i <= 6; ++i)
        rom[size_t(i)] = uint8_t(serial >> (8 * (i - 1)));
    virtualbus::SetRomCrc(rom);
    return rom;
}

struct TestDevice {
    RomCode rom{};
    std::vector<uint8_t> memory;
    bool present = true;
    int leaveAfterBytes = -1;   // leaves the bus after this many bytes since its last reset

    enum Phase { Idle, RomCommand, Search, Match, ReadRom, Function, Address, ReadMemory } phase = Idle;
    int bits = 0;       // bits collected or sent in the current phase
    int step = 0;       // search: 0 bit, 1 complement, 2 direction
    uint32_t value = 0; // collected bits
    uint32_t address = 0;
    int slotsSinceReset = 0;

    int romBit(int n) const { return (rom[size_t(n / 8)] >> (n % 8)) & 1; }
    int memoryBit() const
    {
        const uint8_t b = address < memory.size() ? memory[address] : 0x00;
        return (b >> bits) & 1;
    }

    // The level the device drives in this slot (1 = released).
    int drive() const
    {
        switch (phase) {
        case Search: return step == 0 ? romBit(bits) : step == 1 ? !romBit(bits) : 1;
        case ReadRom: return romBit(bits);
        case ReadMemory: return memoryBit();
        default: return 1;
        }
    }

    void sample(int line)
    {
        if (leaveAfterBytes >= 0 && ++slotsSinceReset > leaveAfterBytes * 8) {
            present = false;
            phase = Idle;
            return;
        }
        switch (phase) {
        case Idle: return;
        case RomCommand:
        case Function:
            value |= uint32_t(line) << bits;
            if (++bits < 8)
                return;
            bits = 0;
            if (phase == RomCommand)
                phase = value == 0xF0 ? Search : value == 0x55 ? Match : value == 0xCC ? Function
                      : value == 0x33 ? ReadRom : Idle;
            else
                phase = value == 0xF0 ? Address : Idle;
            value = 0;
            return;
        case Search:
            if (step == 2) {
                if (line != romBit(bits)) {
                    phase = Idle;
                    return;
                }
                if (++bits == 64) {
                    phase = Function;
                    bits = 0;
                }
            }
            step = (step + 1) % 3;
            return;
        case Match:
            if (line != romBit(bits)) {
                phase = Idle;
                return;
            }
            if (++bits == 64) {
                phase = Function;
                bits = 0;
            }
            return;
        case ReadRom:
            if (++bits == 64)
                phase = Idle;
            return;
        case Address:
            value |= uint32_t(line) << bits;
            if (++bits == 16) {
                address = value;
                value = 0;
                bits = 0;
                phase = ReadMemory;
            }
            return;
        case ReadMemory:
            if (++bits == 8) {
                bits = 0;
                ++address;
            }
            return;
        }
    }
};

class TestBus : public OneWireLink {
public:
    std::vector<TestDevice> devices;

    TestDevice& add(uint8_t family, uint64_t serial, size_t memorySize = 0x2000)
    {
        TestDevice d;
        d.rom = MakeRom(family, serial);
        d.memory.resize(memorySize);
        for (size_t i = 0; i < memorySize; ++i)
            d.memory[i] = uint8_t(i * 7 + serial);
        devices.push_back(d);
        return devices.back();
    }

    bool open() override { return true; }
    void close() override {}
    bool isOpen() const override { return true; }
    bool reset() override
    {
        ++slots_;
        bool presence = false;
        for (auto& d : devices) {
            if (!d.present)
                continue;
            presence = true;
            d.phase = TestDevice::RomCommand;
            d.bits = d.step = 0;
            d.value = 0;
            d.slotsSinceReset = 0;
        }
        return presence;
    }
    int touchBit(int bit) override
    {
        ++slots_;
        int line = bit ? 1 : 0;
        for (auto& d : devices)
            if (d.present)
                line &= d.drive();
        for (auto& d : devices)
            if (d.present)
                d.sample(line);
        return line;
    }
    int touchByte(uint8_t byte) override
    {
        int r = 0;
        for (int i = 0; i < 8; ++i)
            r |= touchBit((byte >> i) & 1) << i;
        return r;
    }
    int block(uint8_t* buffer, int len) override
    {
        for (int i = 0; i < len; ++i)
            buffer[i] = uint8_t(touchByte(buffer[i]));
        return len;
    }
    uint64_t timeSlots() const override { return slots_; }
    QString version() const override { return QStringLiteral("test bus"); }

private:
    uint64_t slots_ = 0;
};

} // namespace ds2480test
