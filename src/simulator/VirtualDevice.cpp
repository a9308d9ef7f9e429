// ROM function layer of the simulated devices, and the checksums of the 1-Wire protocol.
#include "simulator/VirtualDevice.h"
#include <QJsonArray>

namespace virtualbus {

uint8_t Crc8(const uint8_t* data, int len, uint8_t crc)
{
    for (int i = 0; i < len; ++i) {
        uint8_t b = data[i];
        for (int k = 0; k < 8; ++k) {
            const bool mix = (crc ^ b) & 1;
            crc >>= 1;
            if (mix) crc ^= 0x8C;
            b >>= 1;
        }
    }
    return crc;
}

uint16_t Crc16Step(uint16_t crc, uint8_t byte)
{
    crc ^= byte;
    for (int k = 0; k < 8; ++k)
        crc = (crc & 1) ? uint16_t((crc >> 1) ^ 0xA001) : uint16_t(crc >> 1);
    return crc;
}

uint16_t Crc16(const uint8_t* data, int len, uint16_t crc)
{
    for (int i = 0; i < len; ++i) crc = Crc16Step(crc, data[i]);
    return crc;
}

QString RomToText(const RomCode& rom)
{
    QString s;
    for (int i = 7; i >= 0; --i) s += QStringLiteral("%1").arg(rom[i], 2, 16, QChar('0')).toUpper();
    return s;
}

bool RomFromText(const QString& text, RomCode& rom)
{
    const QString t = text.trimmed();
    if (t.size() != 16) return false;
    for (int i = 0; i < 8; ++i) {
        bool ok = false;
        const uint v = t.mid(2 * (7 - i), 2).toUInt(&ok, 16);
        if (!ok) return false;
        rom[i] = uint8_t(v);
    }
    return true;
}

void SetRomCrc(RomCode& rom) { rom[7] = Crc8(rom.data(), 7); }

RomCode MakeRom(uint8_t family, quint64 serial)
{
    RomCode rom{};
    rom[0] = family;
    for (int i = 0; i < 6; ++i) rom[1 + i] = uint8_t(serial >> (8 * i));
    SetRomCrc(rom);
    return rom;
}

QString ToHex(const uint8_t* data, int len)
{
    return QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(data), len).toHex());
}

bool FromHex(const QString& text, uint8_t* data, int len)
{
    const QByteArray raw = QByteArray::fromHex(text.toLatin1());
    if (raw.size() != len) return false;
    std::copy(raw.begin(), raw.end(), data);
    return true;
}

} // namespace virtualbus

void VirtualDevice::busReset()
{
    if (m_romState == RomState::Function) functionReset(m_bit);
    m_bit = 0;
    m_rx = 0;
    m_romState = m_present ? RomState::Command : RomState::Idle;
}

int VirtualDevice::driveBit()
{
    if (!m_present) return 1;
    switch (m_romState) {
    case RomState::ReadRom:
        return romBit(m_bit);
    case RomState::Search: {
        const int pos = m_bit / 3;
        switch (m_bit % 3) {
        case 0: return romBit(pos);
        case 1: return romBit(pos) ^ 1;
        default: return 1;   // the master writes its chosen direction
        }
    }
    case RomState::Function:
        if (m_bit == 0) m_drive = functionDrive();
        return (m_drive >> m_bit) & 1;
    default:
        return 1;
    }
}

void VirtualDevice::countByte()
{
    if (m_leaveAfter < 0) return;
    if (m_leaveAfter > 0) --m_leaveAfter;
    if (m_leaveAfter == 0) {
        // Taken out of the cable in the middle of an exchange.
        m_leaveAfter = -1;
        setPresent(false);
        markChanged();
    }
}

void VirtualDevice::observeBit(int bus)
{
    if (!m_present) return;
    switch (m_romState) {
    case RomState::Idle:
        return;
    case RomState::Command:
        m_rx |= uint8_t(bus << m_bit);
        if (++m_bit < 8) return;
        m_bit = 0;
        switch (m_rx) {
        case 0x33: m_romState = RomState::ReadRom; break;
        case 0x55: m_romState = RomState::MatchRom; break;
        case 0xCC: m_romState = RomState::Function; functionBegin(); break;
        case 0xF0: m_romState = RomState::Search; break;
        case 0xEC:
            m_romState = (supportsConditionalSearch() && alarmCondition()) ? RomState::Search : RomState::Idle;
            break;
        // Overdrive Skip (0x3C) and Overdrive Match (0x69): the link has no overdrive timing,
        // so the devices refuse them and wait for the next reset, as a standard-speed part does.
        default: m_romState = RomState::Idle; break;
        }
        m_rx = 0;
        countByte();
        return;
    case RomState::ReadRom:
        if (++m_bit == 64) { m_bit = 0; m_romState = RomState::Function; functionBegin(); }
        if (m_bit % 8 == 0) countByte();
        return;
    case RomState::MatchRom:
        if (bus != romBit(m_bit)) { m_romState = RomState::Idle; return; }
        if (++m_bit == 64) { m_bit = 0; m_romState = RomState::Function; functionBegin(); }
        if (m_bit % 8 == 0) countByte();
        return;
    case RomState::Search:
        if (m_bit % 3 == 2 && bus != romBit(m_bit / 3)) { m_romState = RomState::Idle; return; }
        if (++m_bit == 192) { m_bit = 0; m_romState = RomState::Function; functionBegin(); }
        if (m_bit % 24 == 0) countByte();
        return;
    case RomState::Function:
        m_rx |= uint8_t(bus << m_bit);
        if (++m_bit < 8) return;
        m_bit = 0;
        {
            const uint8_t b = m_rx;
            m_rx = 0;
            functionObserve(b);
        }
        countByte();
        return;
    }
}

QJsonObject VirtualDevice::save() const
{
    QJsonObject o;
    o["rom"] = romText();
    o["kind"] = kind();
    o["present"] = m_present;
    if (m_leaveAfter >= 0) o["leaveAfterBytes"] = m_leaveAfter;
    return o;
}

void VirtualDevice::load(const QJsonObject& o)
{
    m_present = o.value("present").toBool(true);
    m_leaveAfter = o.value("leaveAfterBytes").toInt(-1);
}
