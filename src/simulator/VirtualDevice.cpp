// ROM function layer of the simulated devices.
#include "simulator/VirtualDevice.h"
#include <QJsonArray>

namespace virtualbus {

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

bool VirtualDevice::busReset(OneWireSpeed speed)
{
    if (speed == OneWireSpeed::Standard) {
        m_overdrive = false;   // a standard reset returns every device to standard speed
    } else if (!m_overdrive) {
        // Too short for a reset at standard speed: the device takes no part until the next
        // standard reset (an exchange it was in is broken off).
        if (m_romState == RomState::Function) functionReset(m_bit);
        m_bit = 0;
        m_rx = 0;
        m_romState = RomState::Idle;
        return false;
    }
    if (m_romState == RomState::Function) functionReset(m_bit);
    m_bit = 0;
    m_rx = 0;
    m_romState = m_present ? RomState::Command : RomState::Idle;
    return m_present;
}

int VirtualDevice::driveBit(OneWireSpeed speed)
{
    if (!m_present || speed != deviceSpeed()) return 1;
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

void VirtualDevice::observeBit(int bus, OneWireSpeed speed)
{
    if (!m_present || speed != deviceSpeed()) return;
    switch (m_romState) {
    case RomState::Idle:
        return;
    case RomState::Command:
        m_rx |= uint8_t(bus << m_bit);
        if (++m_bit < 8) return;
        m_bit = 0;
        switch (m_rx) {
        case onewire::kReadRom: m_romState = RomState::ReadRom; break;
        case onewire::kMatchRom: m_romState = RomState::MatchRom; break;
        case onewire::kSkipRom: m_romState = RomState::Function; functionBegin(); break;
        case onewire::kSearchRom: m_romState = RomState::Search; break;
        case onewire::kAlarmSearch:
            m_romState = (supportsConditionalSearch() && alarmCondition()) ? RomState::Search : RomState::Idle;
            break;
        // Overdrive Skip and Overdrive Match: a device with overdrive goes there (the match's
        // ROM bits already come at overdrive); any other waits for the next reset.
        case onewire::kOverdriveSkipRom:
            if (supportsOverdrive()) {
                m_overdrive = true;
                m_romState = RomState::Function;
                functionBegin();
            } else {
                m_romState = RomState::Idle;
            }
            break;
        case onewire::kOverdriveMatchRom:
            if (supportsOverdrive()) {
                m_overdrive = true;
                m_romState = RomState::MatchRom;
            } else {
                m_romState = RomState::Idle;
            }
            break;
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
