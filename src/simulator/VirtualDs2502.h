#pragma once
// The reader cable's identification chip (family 0x09, a DS2502 add-only memory): the four
// standard-speed ROM commands and Read Memory over its 128-byte data field.
#include "simulator/VirtualDevice.h"

class VirtualDs2502 : public VirtualDevice {
public:
    explicit VirtualDs2502(const RomCode& rom);
    static RomCode MakeRom(quint64 serial);

    QString kind() const override { return QStringLiteral("DS2502"); }
    QString describe() const override { return QStringLiteral("DS2502 cable identification chip"); }
    // Data field contents (blank EPROM reads 0xFF); at most 128 bytes are kept.
    void setData(const QByteArray& data);
    QByteArray data() const { return QByteArray(reinterpret_cast<const char*>(m_data), 128); }

    QJsonObject save() const override;
    void load(const QJsonObject& o) override;

protected:
    void functionBegin() override;
    uint8_t functionDrive() override;
    void functionObserve(uint8_t bus) override;

private:
    enum class Phase { Command, Ta1, Ta2, Send };
    uint8_t m_data[128];
    Phase m_phase = Phase::Command;
    uint8_t m_ta1 = 0;
    std::vector<uint8_t> m_out;
    size_t m_outPos = 0;
};
