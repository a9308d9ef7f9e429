// The simulated family-0x28 temperature sensor.
#include "simulator/VirtualDs18b20.h"
#include "simulator/VirtualProfile.h"
#include <cmath>

using namespace virtualbus;

VirtualDs18b20::VirtualDs18b20(const RomCode& rom) : VirtualDevice(rom) { updateCrc(); }

RomCode VirtualDs18b20::MakeRom(quint64 serial) { return virtualbus::MakeRom(onewire::kFamilyTemperatureSensor, serial); }

QString VirtualDs18b20::describe() const
{
    return QStringLiteral("DS18B20 sensor, last conversion %1 °C").arg(temperatureRegister() / 16.0);
}

bool VirtualDs18b20::alarmCondition() const
{
    const int whole = temperatureRegister() >> 4;
    return whole <= int8_t(m_pad[3]) || whole >= int8_t(m_pad[2]);
}

void VirtualDs18b20::functionBegin()
{
    m_phase = Phase::Command;
    m_out.clear();
    m_outPos = 0;
    m_idle = 0xFF;
}

uint8_t VirtualDs18b20::functionDrive()
{
    if (m_phase != Phase::Send) return 0xFF;
    if (m_outPos >= m_out.size()) return m_idle;
    return m_out[m_outPos++];
}

void VirtualDs18b20::functionObserve(uint8_t b)
{
    switch (m_phase) {
    case Phase::Command:
        m_phase = Phase::Send;
        switch (b) {
        case onewire::kConvertTemperature: {
            // Conversion at the configured resolution; done at once (the bus reads 1s).
            const double t = m_profile ? m_profile->temperatureAt(m_now, onewire::kFamilyTemperatureSensor) : 20.0;
            const int bits = 9 + ((m_pad[4] >> 5) & 3);
            int raw = int(std::lround(t * 16.0));
            raw = std::clamp(raw, -55 * 16, 125 * 16);
            raw &= ~((1 << (12 - bits)) - 1);
            m_pad[0] = uint8_t(raw);
            m_pad[1] = uint8_t(raw >> 8);
            updateCrc();
            break;
        }
        case onewire::kReadScratchpad28: m_out.assign(m_pad, m_pad + 9); break;
        case onewire::kWriteScratchpad28: m_phase = Phase::WriteTh; break;
        case onewire::kCopyScratchpad28: std::copy(m_pad + 2, m_pad + 5, m_eeprom); markChanged(); break;
        case onewire::kRecallEeprom28: std::copy(m_eeprom, m_eeprom + 3, m_pad + 2); updateCrc(); break;
        case onewire::kReadPowerSupply28: break;   // powered from a supply: reads 1
        default: break;
        }
        return;
    case Phase::WriteTh: m_pad[2] = b; m_phase = Phase::WriteTl; return;
    case Phase::WriteTl: m_pad[3] = b; m_phase = Phase::WriteConfig; return;
    case Phase::WriteConfig:
        m_pad[4] = uint8_t((b & 0x60) | 0x1F);
        updateCrc();
        markChanged();
        m_phase = Phase::Send;
        return;
    case Phase::Send: return;
    }
}

QJsonObject VirtualDs18b20::save() const
{
    QJsonObject o = VirtualDevice::save();
    o["scratchpad"] = ToHex(m_pad, 9);
    o["eeprom"] = ToHex(m_eeprom, 3);
    return o;
}

void VirtualDs18b20::load(const QJsonObject& o)
{
    VirtualDevice::load(o);
    FromHex(o.value("scratchpad").toString(), m_pad, 9);
    FromHex(o.value("eeprom").toString(), m_eeprom, 3);
}
