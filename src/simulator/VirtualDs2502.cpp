// The simulated cable identification chip.
#include "simulator/VirtualDs2502.h"

using namespace virtualbus;

VirtualDs2502::VirtualDs2502(const RomCode& rom) : VirtualDevice(rom) { std::fill(std::begin(m_data), std::end(m_data), 0xFF); }

RomCode VirtualDs2502::MakeRom(quint64 serial) { return virtualbus::MakeRom(onewire::kFamilyCableId, serial); }

void VirtualDs2502::setData(const QByteArray& data)
{
    std::fill(std::begin(m_data), std::end(m_data), 0xFF);
    std::copy(data.begin(), data.begin() + std::min<qsizetype>(data.size(), 128), m_data);
}

void VirtualDs2502::functionBegin()
{
    m_phase = Phase::Command;
    m_out.clear();
    m_outPos = 0;
}

uint8_t VirtualDs2502::functionDrive()
{
    if (m_phase != Phase::Send || m_outPos >= m_out.size()) return 0xFF;
    return m_out[m_outPos++];
}

void VirtualDs2502::functionObserve(uint8_t b)
{
    switch (m_phase) {
    case Phase::Command: m_phase = b == onewire::kReadMemory ? Phase::Ta1 : Phase::Send; return;
    case Phase::Ta1: m_ta1 = b; m_phase = Phase::Ta2; return;
    case Phase::Ta2: {
        // CRC8 of command and address, the data to the end of the field, then the CRC8 of
        // the data sent (the DS2502 family's behaviour; after it the bus reads 1s).
        const uint8_t head[3] = {onewire::kReadMemory, m_ta1, b};
        m_out.assign(1, Crc8(head, 3));
        const int start = m_ta1 | (b << 8);
        std::vector<uint8_t> sent;
        for (int a = start; a < 128; ++a) sent.push_back(m_data[a]);
        m_out.insert(m_out.end(), sent.begin(), sent.end());
        m_out.push_back(Crc8(sent.data(), int(sent.size())));
        m_outPos = 0;
        m_phase = Phase::Send;
        return;
    }
    case Phase::Send: return;
    }
}

QJsonObject VirtualDs2502::save() const
{
    QJsonObject o = VirtualDevice::save();
    o["data"] = ToHex(m_data, 128);
    return o;
}

void VirtualDs2502::load(const QJsonObject& o)
{
    VirtualDevice::load(o);
    FromHex(o.value("data").toString(), m_data, 128);
}
