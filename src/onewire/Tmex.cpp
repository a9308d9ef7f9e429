// The driver layer: sessions, search, selection, blocks and page packets over a OneWireLink.
#include "onewire/Tmex.h"
#include "app/modRegistry.h"
#include "onewire/BusTrace.h"
#include "onewire/OneWireLink.h"
#include "onewire/OneWireProtocol.h"
#include <cstring>
#include <map>
#include <vector>

namespace {

// Layout of the state buffer
constexpr int kStCurrentRom = 0;     // 8 bytes: the current device
constexpr int kStLastDisc = 8;
constexpr int kStLastFamilyDisc = 9;
constexpr int kStLastDevice = 10;
constexpr int kStSearchRom = 12;     // 8 bytes: the ROM of the running search

using namespace onewire;

struct PortEntry {
    std::unique_ptr<OneWireLink> link;
    bool inSession = false;
    bool setUp = false;   // TMSetup succeeded once on this port
    // Overdrive (see TmexOverdrive in Tmex.h).
    bool overdriveAllowed = true;      // configured, and not given up after failures
    bool overdriveActive = false;      // devices moved to overdrive since the last standard reset
    bool overdriveFailedInSession = false;
    bool overdriveUsedInSession = false;   // an exchange of this session went at overdrive
    int overdriveFailures = 0;         // sessions in which an overdrive exchange failed
};

struct Driver {
    std::map<int, PortEntry> ports;        // by port number
    std::map<int32_t, int> sessions;       // handle -> port number
    int32_t nextHandle = 1;
};

Driver& driver()
{
    static Driver d;
    return d;
}

// The port of an open session.
PortEntry* sessionPort(int32_t handle)
{
    auto s = driver().sessions.find(handle);
    if (s == driver().sessions.end()) return nullptr;
    return &driver().ports[s->second];
}

// The link of an open session, opened again when it was closed (adapter unplugged and back).
OneWireLink* sessionLink(int32_t handle)
{
    PortEntry* port = sessionPort(handle);
    if (!port) return nullptr;
    OneWireLink* link = port->link.get();
    if (!link) return nullptr;
    if (!link->isOpen() && (!port->setUp || !link->open())) {
        port->overdriveActive = false;   // a link opened again starts at standard speed
        return nullptr;
    }
    return link;
}

// ---- speed ------------------------------------------------------------------------------------
// Exchanges with a logger (family 0x21) go at overdrive when the link has it: a standard reset and
// Overdrive Skip ROM move the overdrive-capable devices there once, then every exchange starts
// with an overdrive reset. Searches and exchanges with other devices go at standard speed: the
// link is set back and its next (standard) reset returns every device to standard speed.
// An overdrive exchange that fails (no presence, a short block, damage reported by the caller)
// sets the port back to standard for the rest of the session; after kOverdriveFailuresAllowed
// such sessions the port stays at standard until the driver layer is shut down.

bool overdriveConfigured()
{
    return ReadRegistry(kTmexKey, "Overdrive", QString()).toString().trimmed() != QLatin1String("0");
}

// Only memory reads of a logger go at overdrive. Writes (scratchpad, copy, mission commands) stay
// at standard speed: the copy's busy time is not known for certain, and at standard speed the
// next exchange's reset gives it more than a millisecond.
bool isOverdriveRead(uint8_t function)
{
    return function == kReadMemory || function == kReadMemoryCrc;
}

bool wantsOverdrive(const uint8_t* block, int len)
{
    return block && len >= 10 && block[0] == kMatchRom && block[1] == kFamilyThermochron && isOverdriveRead(block[9]);
}

bool overdriveUsable(const PortEntry& port)
{
    return port.overdriveAllowed && !port.overdriveFailedInSession && port.link && port.link->supportsOverdrive();
}

// Back to standard speed for the next reset.
void toStandard(PortEntry& port)
{
    port.overdriveActive = false;
    if (port.link && port.link->speed() != OneWireSpeed::Standard) (void)port.link->setSpeed(OneWireSpeed::Standard);
}

void overdriveFailed(PortEntry& port, const char* why)
{
    if (!port.overdriveFailedInSession) {
        port.overdriveFailedInSession = true;
        if (++port.overdriveFailures >= kOverdriveFailuresAllowed) port.overdriveAllowed = false;
        BusTraceLine(QStringLiteral("overdrive failed (%1): standard speed for the rest of the session%2")
                         .arg(QLatin1String(why), port.overdriveAllowed ? QString() : QStringLiteral(" and the port")));
    }
    toStandard(port);
}

// The reset that begins an exchange, at overdrive when it is wanted and usable (the devices are
// moved there first when they are not yet), else at standard speed. True on presence.
bool resetFor(PortEntry& port, bool overdrive)
{
    OneWireLink* link = port.link.get();
    if (overdrive && overdriveUsable(port)) {
        bool ready = port.overdriveActive && link->speed() == OneWireSpeed::Overdrive;
        if (!ready) {
            toStandard(port);
            if (!link->reset()) return false;   // nobody there at standard speed either
            if (link->touchByte(kOverdriveSkipRom) < 0) return false;
            if (link->setSpeed(OneWireSpeed::Overdrive)) {
                port.overdriveActive = true;
                ready = true;
            }
        }
        if (ready && link->reset()) {
            port.overdriveUsedInSession = true;
            return true;
        }
        overdriveFailed(port, ready ? "no presence at overdrive" : "the adapter refused overdrive");
    }
    toStandard(port);
    return link->reset();
}

// After a block: a short one at overdrive counts as an overdrive failure.
int afterBlock(PortEntry& port, int wanted, int got)
{
    if (got != wanted && port.overdriveActive) overdriveFailed(port, "short block");
    return got;
}

OneWireSearchState loadSearch(const uint8_t* st)
{
    OneWireSearchState s;
    std::memcpy(s.rom.data(), st + kStSearchRom, 8);
    s.lastDiscrepancy = st[kStLastDisc];
    s.lastFamilyDiscrepancy = st[kStLastFamilyDisc];
    s.lastDevice = st[kStLastDevice] != 0;
    return s;
}

void storeSearch(uint8_t* st, const OneWireSearchState& s)
{
    std::memcpy(st + kStSearchRom, s.rom.data(), 8);
    st[kStLastDisc] = uint8_t(s.lastDiscrepancy);
    st[kStLastFamilyDisc] = uint8_t(s.lastFamilyDiscrepancy);
    st[kStLastDevice] = s.lastDevice ? 1 : 0;
}

constexpr int kSearchAttempts = 3;

int16_t searchStep(int32_t handle, uint8_t* st, bool first)
{
    OneWireLink* link = sessionLink(handle);
    if (!link || !st) return kTmNoSession;
    toStandard(*sessionPort(handle));   // the search's reset returns every device to standard
    OneWireSearchState before = loadSearch(st);
    if (first) before.restart();
    // A ROM whose CRC8 does not hold was disturbed on the line: the same step is tried again.
    for (int attempt = 0; attempt < kSearchAttempts; ++attempt) {
        OneWireSearchState s = before;
        const bool found = link->searchNext(s);
        if (found && !RomCrcValid(s.rom)) continue;
        storeSearch(st, s);
        if (!found) return 0;
        std::memcpy(st + kStCurrentRom, s.rom.data(), 8);
        return 1;
    }
    OneWireSearchState ended;
    storeSearch(st, ended);
    return 0;
}

// Only devices with general-purpose SRAM written through the scratchpad carry packets.
bool hasPacketMemory(const uint8_t* st)
{
    const uint8_t family = st[kStCurrentRom];
    return family == kFamilyThermochron || family == kFamilyMemory04;
}

// Reset, Match ROM of the current device, then the given bytes; the rest of buf is touched.
bool selectAndBlock(PortEntry& port, const uint8_t* st, std::vector<uint8_t>& buf)
{
    OneWireLink* link = port.link.get();
    if (!resetFor(port, st[kStCurrentRom] == kFamilyThermochron && !buf.empty() && isOverdriveRead(buf[0]))) return false;
    std::vector<uint8_t> block;
    block.reserve(9 + buf.size());
    block.push_back(kMatchRom);
    block.insert(block.end(), st + kStCurrentRom, st + kStCurrentRom + 8);
    block.insert(block.end(), buf.begin(), buf.end());
    const int n = int(block.size());
    if (afterBlock(port, n, link->block(block.data(), n)) != n) return false;
    std::memcpy(buf.data(), block.data() + 9, buf.size());
    return true;
}

// Read Memory of count bytes from address into out.
bool readMemory(PortEntry& port, const uint8_t* st, int address, int count, std::vector<uint8_t>& out)
{
    std::vector<uint8_t> buf(size_t(3 + count), kReadSlot);
    buf[0] = kReadMemory;
    buf[1] = Ta1(address);
    buf[2] = Ta2(address);
    if (!selectAndBlock(port, st, buf)) return false;
    out.assign(buf.begin() + 3, buf.end());
    return true;
}

// Writes bytes (within one 32-byte page) through the scratchpad with its authorisation.
bool writeThroughScratchpad(PortEntry& port, const uint8_t* st, int address, const uint8_t* bytes, int count)
{
    std::vector<uint8_t> w;
    w.push_back(kWriteScratchpad);
    w.push_back(Ta1(address));
    w.push_back(Ta2(address));
    w.insert(w.end(), bytes, bytes + count);
    if (!selectAndBlock(port, st, w)) return false;

    std::vector<uint8_t> r(size_t(4 + count), kReadSlot);
    r[0] = kReadScratchpad;
    if (!selectAndBlock(port, st, r)) return false;
    const uint8_t es = r[3];
    // Scratchpad exchanges go at standard speed: a read-back that differs says nothing of overdrive.
    if (r[1] != Ta1(address) || r[2] != Ta2(address) || std::memcmp(r.data() + 4, bytes, size_t(count)) != 0
        || (es & 0x1F) != ((address + count - 1) & 0x1F))
        return false;

    // The copy's busy time is not known for certain for the DS1921 (about 2 us a byte on a
    // close relative); the two read slots after E/S and the reset of the next exchange give it
    // more than a millisecond. Whether the copy landed is checked by reading the packet back.
    std::vector<uint8_t> c{kCopyScratchpad, Ta1(address), Ta2(address), es, kReadSlot, kReadSlot};
    return selectAndBlock(port, st, c);
}

} // namespace

uint16_t TmexPacketCrc(int page, const uint8_t* bytes, int count)
{
    return Crc16(bytes, count, uint16_t(page));
}

int32_t TMExtendedStartSession(int16_t portNum, int16_t portType, void*)
{
    Driver& d = driver();
    PortEntry& port = d.ports[portNum];
    if (port.inSession) return 0;   // the port is in use by another session
    if (!port.link) {
        port.link = CreateLinkForPort(portNum, portType);
        if (!port.link) return 0;
        port.overdriveAllowed = overdriveConfigured();
        port.overdriveFailures = 0;
        port.overdriveActive = false;
    }
    port.overdriveFailedInSession = false;
    // A port set up before must still answer (adapter unplugged and back, port vanished).
    if (port.setUp && !port.link->isOpen() && !port.link->open()) return 0;
    port.inSession = true;
    port.link->beginSession();
    const int32_t handle = d.nextHandle++;
    if (d.nextHandle <= 0) d.nextHandle = 1;
    d.sessions[handle] = portNum;
    return handle;
}

int16_t TMSetup(int32_t handle)
{
    auto s = driver().sessions.find(handle);
    if (s == driver().sessions.end()) return kTmNoSession;
    PortEntry& port = driver().ports[s->second];
    if (!port.link) return kTmNoSession;
    if (port.link->isOpen() || port.link->open()) {
        port.setUp = true;
        return 1;
    }
    return 0;
}

int16_t TMFirst(int32_t handle, uint8_t* stateBuffer) { return searchStep(handle, stateBuffer, true); }
int16_t TMNext(int32_t handle, uint8_t* stateBuffer) { return searchStep(handle, stateBuffer, false); }

int16_t TMRom(int32_t handle, uint8_t* stateBuffer, int16_t* rom)
{
    if (!driver().sessions.count(handle)) return kTmNoSession;
    if (!stateBuffer || !rom) return 0;
    if (rom[0] == 0) {
        for (int i = 0; i < 8; ++i) rom[i] = stateBuffer[kStCurrentRom + i];
    } else {
        for (int i = 0; i < 8; ++i) stateBuffer[kStCurrentRom + i] = uint8_t(rom[i] & 0xFF);
    }
    return 1;
}

int16_t TMAccess(int32_t handle, uint8_t* stateBuffer)
{
    OneWireLink* link = sessionLink(handle);
    if (!link) return kTmNoSession;
    PortEntry& port = *sessionPort(handle);
    uint8_t block[9];
    block[0] = kMatchRom;
    std::memcpy(block + 1, stateBuffer + kStCurrentRom, 8);
    if (!resetFor(port, wantsOverdrive(block, 9))) return 0;
    return afterBlock(port, 9, link->block(block, 9)) == 9 ? 1 : 0;
}

int16_t TMStrongAccess(int32_t handle, uint8_t* stateBuffer)
{
    // A search steered along the current ROM: it succeeds only when that very device answers,
    // and leaves it selected like Match ROM does.
    OneWireLink* link = sessionLink(handle);
    if (!link) return kTmNoSession;
    toStandard(*sessionPort(handle));
    OneWireSearchState s;
    std::memcpy(s.rom.data(), stateBuffer + kStCurrentRom, 8);
    s.lastDiscrepancy = 64;
    if (!link->searchNext(s)) return 0;
    return std::memcmp(s.rom.data(), stateBuffer + kStCurrentRom, 8) == 0 ? 1 : 0;
}

int16_t TMBlockIO(int32_t handle, uint8_t* buffer, int16_t length)
{
    OneWireLink* link = sessionLink(handle);
    if (!link) return kTmNoSession;
    if (length < 0 || !buffer) return 0;
    PortEntry& port = *sessionPort(handle);
    if (!resetFor(port, wantsOverdrive(buffer, length))) return 0;
    return int16_t(afterBlock(port, length, link->block(buffer, length)));
}

int16_t TMBlockStream(int32_t handle, uint8_t* buffer, int16_t length)
{
    OneWireLink* link = sessionLink(handle);
    if (!link) return kTmNoSession;
    if (length < 0 || !buffer) return 0;
    return int16_t(afterBlock(*sessionPort(handle), length, link->block(buffer, length)));
}

int16_t TMTouchByte(int32_t handle, int16_t byte)
{
    OneWireLink* link = sessionLink(handle);
    if (!link) return kTmNoSession;
    const int r = link->touchByte(uint8_t(byte & 0xFF));
    return r < 0 ? kTmLinkFailed : int16_t(r);
}

int16_t TMTouchBit(int32_t handle, int16_t bit)
{
    OneWireLink* link = sessionLink(handle);
    if (!link) return kTmNoSession;
    const int r = link->touchBit(bit ? 1 : 0);
    return r < 0 ? kTmLinkFailed : int16_t(r);
}

int16_t TMReadPacket(int32_t handle, uint8_t* stateBuffer, int16_t page, uint8_t* buffer, int16_t maxLength)
{
    OneWireLink* link = sessionLink(handle);
    if (!link) return kTmNoSession;
    if (!stateBuffer || !buffer) return kTmBadPacket;
    if (!hasPacketMemory(stateBuffer)) return kTmNoPacketMemory;
    if (page < 0 || page >= kPacketPages) return kTmBadPacket;
    const int start = page * kPacketPageSize;
    const int room = kPacketPages * kPacketPageSize - start;
    std::vector<uint8_t> bytes;
    // One page first: most packets are short; a longer one is read again in one piece.
    PortEntry& port = *sessionPort(handle);
    if (!readMemory(port, stateBuffer, start, kPacketPageSize, bytes)) return kTmNoDevice;
    const int len = bytes[0];
    if (len + 3 > room) return kTmBadPacket;
    if (len + 3 > kPacketPageSize && !readMemory(port, stateBuffer, start, len + 3, bytes)) return kTmNoDevice;
    const uint16_t crc = TmexPacketCrc(page, bytes.data(), len + 1);
    const uint16_t sent = uint16_t(bytes[size_t(len + 1)] | (bytes[size_t(len + 2)] << 8));
    if (uint16_t(~crc) != sent) return kTmBadPacket;
    if (len > maxLength) return kTmBadPacket;
    std::memcpy(buffer, bytes.data() + 1, size_t(len));
    return int16_t(len);
}

int16_t TMWritePacket(int32_t handle, uint8_t* stateBuffer, int16_t page, const uint8_t* buffer, int16_t length)
{
    OneWireLink* link = sessionLink(handle);
    if (!link) return kTmNoSession;
    if (!stateBuffer || (!buffer && length > 0)) return kTmPacketTooLong;
    if (!hasPacketMemory(stateBuffer)) return kTmNoPacketMemory;
    if (page < 0 || page >= kPacketPages) return kTmPacketTooLong;
    const int start = page * kPacketPageSize;
    if (length < 0 || length > 255 || start + length + 3 > kPacketPages * kPacketPageSize)
        return kTmPacketTooLong;   // refused before anything is written

    std::vector<uint8_t> packet;
    packet.push_back(uint8_t(length));
    packet.insert(packet.end(), buffer, buffer + length);
    const uint16_t crc = uint16_t(~TmexPacketCrc(page, packet.data(), int(packet.size())));
    packet.push_back(uint8_t(crc & 0xFF));
    packet.push_back(uint8_t(crc >> 8));

    PortEntry& port = *sessionPort(handle);
    for (int offset = 0; offset < int(packet.size()); offset += kPacketPageSize) {
        const int n = std::min(kPacketPageSize, int(packet.size()) - offset);
        if (!writeThroughScratchpad(port, stateBuffer, start + offset, packet.data() + offset, n))
            return kTmWriteFailed;
    }
    std::vector<uint8_t> check;
    if (!readMemory(port, stateBuffer, start, int(packet.size()), check) || check != packet) {
        if (port.overdriveActive) overdriveFailed(port, "packet read back differs");
        return kTmWriteFailed;
    }
    return length;
}

int16_t TMTouchReset(int32_t handle)
{
    OneWireLink* link = sessionLink(handle);
    if (!link) return kTmNoSession;
    toStandard(*sessionPort(handle));   // a reset at standard speed: every device back to standard
    return link->reset() ? 1 : 0;
}

void TMReportDamage(int32_t handle)
{
    PortEntry* port = sessionPort(handle);
    if (port && port->overdriveUsedInSession) overdriveFailed(*port, "damaged transfer reported");
}

TmexOverdrive TMOverdriveState(int16_t portNum)
{
    auto p = driver().ports.find(portNum);
    if (p == driver().ports.end() || !p->second.link) return TmexOverdrive::Unknown;
    const PortEntry& port = p->second;
    if (!port.link->supportsOverdrive() || !port.overdriveAllowed) return TmexOverdrive::Off;
    if (port.overdriveFailedInSession) return TmexOverdrive::OffForSession;
    return port.overdriveActive ? TmexOverdrive::Active : TmexOverdrive::Allowed;
}

int16_t TMEndSession(int32_t handle)
{
    Driver& d = driver();
    auto s = d.sessions.find(handle);
    if (s == d.sessions.end()) return 0;
    PortEntry& port = d.ports[s->second];
    if (port.link && port.overdriveActive && port.link->isOpen()) {
        // Leave the bus at standard speed for whoever uses it next.
        toStandard(port);
        (void)port.link->reset();
    }
    if (port.link) port.link->endSession();
    port.inSession = false;
    port.overdriveFailedInSession = false;
    port.overdriveUsedInSession = false;
    d.sessions.erase(s);
    return 1;
}

namespace {
int16_t putText(char* buffer, const QString& text)
{
    if (!buffer) return 0;
    const QByteArray bytes = text.toLatin1().left(149);
    std::memcpy(buffer, bytes.constData(), size_t(bytes.size()));
    buffer[bytes.size()] = '\0';
    return int16_t(bytes.size());
}
} // namespace

int16_t Get_Version(char* buffer)
{
    return putText(buffer, QStringLiteral("NORDALIS 1-Wire driver 1.0"));
}

int16_t TMGetTypeVersion(int16_t portType, char* buffer)
{
    for (auto& [num, port] : driver().ports)
        if (port.link && port.link->isOpen()) return putText(buffer, port.link->version());
    if (ConfiguredDriver() == "virtual") return putText(buffer, QStringLiteral("virtual 1-Wire bus (port type %1)").arg(portType));
    if (ConfiguredDriver() == "usb") return putText(buffer, QStringLiteral("DS2490 USB 1-Wire adapter (port type %1)").arg(portType));
    return putText(buffer, QStringLiteral("DS2480B serial 1-Wire adapter (port type %1)").arg(portType));
}

QString TMLinkError(int16_t portNum)
{
    auto p = driver().ports.find(portNum);
    if (p == driver().ports.end() || !p->second.link) return QString();
    return p->second.link->lastError();
}

void TmexShutdown()
{
    Driver& d = driver();
    for (auto& [handle, port] : d.sessions) {
        PortEntry& p = d.ports[port];
        if (p.link) p.link->endSession();
    }
    d.sessions.clear();
    for (auto& [num, port] : d.ports)
        if (port.link) port.link->close();
    d.ports.clear();
}
