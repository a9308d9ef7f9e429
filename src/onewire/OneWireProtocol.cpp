#include "onewire/OneWireProtocol.h"

namespace onewire {

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

bool RomCrcValid(const RomCode& rom)
{
    return Crc8(rom.data(), 8) == 0 && rom[0] != 0;
}

QString RomToText(const RomCode& rom)
{
    QString s;
    for (int i = 7; i >= 0; --i) s += QStringLiteral("%1").arg(rom[size_t(i)], 2, 16, QChar('0')).toUpper();
    return s;
}

bool RomFromText(const QString& text, RomCode& rom)
{
    const QString t = text.trimmed();
    if (t.size() != 16) return false;
    RomCode parsed{};
    for (int i = 0; i < 8; ++i) {
        bool ok = false;
        const QString pair = t.mid(2 * (7 - i), 2);
        if (!pair[0].isLetterOrNumber() || !pair[1].isLetterOrNumber()) return false;
        const uint v = pair.toUInt(&ok, 16);
        if (!ok) return false;
        parsed[size_t(i)] = uint8_t(v);
    }
    rom = parsed;
    return true;
}

} // namespace onewire
