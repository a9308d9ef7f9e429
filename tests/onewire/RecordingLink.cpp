#include "onewire/RecordingLink.h"
#include "simulator/VirtualDevice.h"
#include "onewire/Tmex.h"

RomCode MakeRom(uint8_t family, uint64_t serial)
{
    return virtualbus::MakeRom(family, serial);
}

uint16_t Crc16Of(const Bytes& bytes, uint16_t seed)
{
    uint16_t crc = seed;
    for (uint8_t b : bytes) {
        crc ^= b;
        for (int i = 0; i < 8; ++i) crc = (crc & 1) ? uint16_t((crc >> 1) ^ 0xA001) : uint16_t(crc >> 1);
    }
    return crc;
}

namespace {
uint16_t crcStep(uint16_t crc, uint8_t b) { return Crc16Of(Bytes{b}, crc); }
} // namespace

void FakeDevice::reset()
{
    state = Idle;
    count = 0;
}

int FakeDevice::touchBit(int written)
{
    if (state != Search) return written;
    const int bit = (rom[size_t(searchBit / 8)] >> (searchBit % 8)) & 1;
    if (searchPhase == 0) { searchPhase = 1; return written & bit; }
    if (searchPhase == 1) { searchPhase = 2; return written & (bit ^ 1); }
    searchPhase = 0;
    if (written != bit) { state = Dropped; return written; }
    if (++searchBit == 64) state = Selected;
    return written;
}

uint8_t FakeDevice::touch(uint8_t w)
{
    const bool memoryDevice = rom[0] == 0x21 || rom[0] == 0x04;
    switch (state) {
    case Dropped:
    case Done:
        return w;
    case Idle:
        if (w == 0x55) { state = MatchRom; count = 0; }
        else if (w == 0xF0 || w == 0xEC) { state = Search; searchBit = 0; searchPhase = 0; }
        else if (w == 0xCC) state = Selected;
        else state = Dropped;
        return w;
    case MatchRom:
        if (w != rom[size_t(count)]) { state = Dropped; return w; }
        if (++count == 8) state = Selected;
        return w;
    case Search:
        return w;
    case Selected:
        cmd = w;
        count = 0;
        if (!memoryDevice) { state = Done; return w; }
        if (w == 0x0F) state = WsAddr;
        else if (w == 0xAA) {
            state = RsOut;
            out = {uint8_t(ta & 0xFF), uint8_t(ta >> 8), es};
            for (int i = ta & 0x1F; i < 32; ++i) out.push_back(scratch[i]);
        } else if (w == 0x55) state = CpAuth;
        else if (w == 0xF0) state = RmAddr;
        else if (w == 0xA5) { state = RcAddr; crc = crcStep(0, 0xA5); }
        else if (w == 0x3C || w == 0x44) {
            commands.push_back(w);
            if (w == 0x44) memory[0x211] = convertResult;
            if (w == 0x3C && (memory[0x20E] & 0x40)) memory[0x214] |= 0x40;
            state = Done;
        } else state = Done;
        return w;
    case WsAddr:
        collected[count++] = w;
        if (count == 2) {
            ta = collected[0] | (collected[1] << 8);
            addr = ta & 0x1F;
            es = uint8_t((addr - 1) & 0x1F);
            state = WsData;
        }
        return w;
    case WsData:
        if (addr < 32) {
            scratch[addr] = w;
            es = uint8_t(addr & 0x1F);
            ++addr;
        }
        return w;
    case RsOut: {
        if (out.empty()) return w;
        const uint8_t b = out.front();
        out.erase(out.begin());
        return w & b;
    }
    case CpAuth:
        collected[count++] = w;
        if (count == 3) {
            state = Done;
            if (collected[0] == (ta & 0xFF) && collected[1] == (ta >> 8) && collected[2] == es) {
                const int base = ta & ~0x1F;
                for (int i = ta & 0x1F; i <= (es & 0x1F); ++i) memory[size_t(base + i)] = scratch[i];
                es |= 0x80;
                ++copies;
            }
        }
        return w;
    case RmAddr:
    case RcAddr:
        collected[count++] = w;
        if (state == RcAddr) crc = crcStep(crc, w);
        if (count == 2) {
            addr = collected[0] | (collected[1] << 8);
            pageByte = addr & 0x1F;
            state = state == RmAddr ? RmOut : RcOut;
        }
        return w;
    case RmOut: {
        const uint8_t b = addr < 0x2000 ? memory[size_t(addr)] : 0;
        ++addr;
        return w & b;
    }
    case RcOut: {
        uint8_t b;
        if (pageByte < 32) {
            b = addr < 0x2000 ? memory[size_t(addr)] : 0;
            crc = crcStep(crc, b);
            ++addr;
            ++pageByte;
        } else if (pageByte == 32) {
            b = uint8_t(~crc & 0xFF);
            ++pageByte;
        } else {
            b = uint8_t((~crc >> 8) & 0xFF);
            pageByte = 0;
            crc = 0;
        }
        return w & b;
    }
    }
    return w;
}

std::shared_ptr<FakeDevice> RecordingLink::add(const RomCode& rom)
{
    auto d = std::make_shared<FakeDevice>(rom);
    devices.push_back(d);
    return d;
}

std::vector<Bytes> RecordingLink::blocksWritten() const
{
    std::vector<Bytes> blocks;
    for (const Exchange& e : log)
        if (e.kind == 'B') blocks.push_back(e.written);
    return blocks;
}

Bytes RecordingLink::lastBlockRead() const
{
    for (auto it = log.rbegin(); it != log.rend(); ++it)
        if (it->kind == 'B') return it->read;
    return {};
}

bool RecordingLink::reset()
{
    for (auto& d : devices) d->reset();
    Exchange e{'R', {}, {}, !devices.empty()};
    log.push_back(e);
    return !devices.empty();
}

int RecordingLink::touchBit(int bit)
{
    int result = bit;
    for (auto& d : devices) result &= d->touchBit(bit);
    return result;
}

uint8_t RecordingLink::busTouch(uint8_t b)
{
    uint8_t result = b;
    for (auto& d : devices) result &= d->touch(b);
    return result;
}

int RecordingLink::touchByte(uint8_t byte)
{
    const uint8_t r = busTouch(byte);
    log.push_back(Exchange{'Y', Bytes{byte}, Bytes{r}});
    return r;
}

int RecordingLink::block(uint8_t* buffer, int len)
{
    Exchange e{'B', Bytes(buffer, buffer + len), {}};
    int count = len;
    ScriptedAnswer a;
    if (!script.empty()) {
        a = script.front();
        script.pop_front();
    }
    if (a.bytes.empty()) {
        for (int i = 0; i < len; ++i) buffer[i] = busTouch(buffer[i]);
    } else {
        for (size_t i = 0; i < a.bytes.size() && int(i) < len; ++i) buffer[i] = a.bytes[i];
    }
    if (a.count >= 0) count = a.count;
    e.read.assign(buffer, buffer + len);
    log.push_back(e);
    return count;
}

LinkFixture::LinkFixture()
{
    TmexShutdown();
    auto made = std::make_shared<std::unique_ptr<RecordingLink>>(std::make_unique<RecordingLink>());
    link = made->get();
    SetLinkFactoryForTesting([this, made](int, int) -> std::unique_ptr<OneWireLink> {
        ++linksMade;
        if (*made) return std::move(*made);
        auto fresh = std::make_unique<RecordingLink>();
        link = fresh.get();
        return fresh;
    });
}

LinkFixture::~LinkFixture()
{
    TmexShutdown();
    SetLinkFactoryForTesting({});
}
