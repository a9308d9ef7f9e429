#pragma once
// A family-0x28 temperature sensor (DS18B20): Convert T, Read/Write/Copy Scratchpad, Recall,
// Read Power Supply, and Conditional Search on its TH/TL alarm.
#include "simulator/VirtualDevice.h"

struct VirtualProfile;

class VirtualDs18b20 : public VirtualDevice {
public:
    explicit VirtualDs18b20(const RomCode& rom);
    static RomCode MakeRom(quint64 serial);

    QString kind() const override { return QStringLiteral("DS18B20"); }
    QString describe() const override;
    void setProfile(const VirtualProfile* profile) { m_profile = profile; }
    bool sync(qint64 simMs) override { m_now = std::max(m_now, simMs); return false; }
    bool alarmCondition() const override;
    bool supportsConditionalSearch() const override { return true; }
    int16_t temperatureRegister() const { return int16_t(m_pad[0] | (m_pad[1] << 8)); }

    QJsonObject save() const override;
    void load(const QJsonObject& o) override;

protected:
    void functionBegin() override;
    uint8_t functionDrive() override;
    void functionObserve(uint8_t bus) override;

private:
    enum class Phase { Command, WriteTh, WriteTl, WriteConfig, Send };
    void updateCrc() { m_pad[8] = virtualbus::Crc8(m_pad, 8); }

    const VirtualProfile* m_profile = nullptr;
    qint64 m_now = 0;
    uint8_t m_pad[9] = {0x50, 0x05, 0x4B, 0x46, 0x7F, 0xFF, 0x0C, 0x10, 0};   // power-on: +85 °C
    uint8_t m_eeprom[3] = {0x4B, 0x46, 0x7F};
    Phase m_phase = Phase::Command;
    std::vector<uint8_t> m_out;
    size_t m_outPos = 0;
    uint8_t m_idle = 0xFF;
};
