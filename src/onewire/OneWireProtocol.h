#pragma once
// The 1-Wire protocol facts shared by the bus object, the driver layer, the serial link, the
// simulated devices and the logger code: command bytes, the two checksums and the ROM text.
#include <QString>
#include <array>
#include <cstdint>

using RomCode = std::array<uint8_t, 8>;   // byte 0 = family code, byte 7 = CRC8

namespace onewire {

// ROM function commands (first byte after a reset).
inline constexpr uint8_t kReadRom = 0x33;
inline constexpr uint8_t kMatchRom = 0x55;
inline constexpr uint8_t kSkipRom = 0xCC;
inline constexpr uint8_t kSearchRom = 0xF0;
inline constexpr uint8_t kAlarmSearch = 0xEC;        // conditional search
inline constexpr uint8_t kOverdriveSkipRom = 0x3C;
inline constexpr uint8_t kOverdriveMatchRom = 0x69;

// Memory function commands of the DS1921 (and of the memory devices of family 0x04/0x09).
inline constexpr uint8_t kWriteScratchpad = 0x0F;
inline constexpr uint8_t kReadScratchpad = 0xAA;
inline constexpr uint8_t kCopyScratchpad = 0x55;
inline constexpr uint8_t kReadMemory = 0xF0;
inline constexpr uint8_t kReadMemoryCrc = 0xA5;
inline constexpr uint8_t kClearMemory = 0x3C;
inline constexpr uint8_t kConvertTemperature = 0x44;

// Function commands of the family 0x28 temperature sensor.
inline constexpr uint8_t kWriteScratchpad28 = 0x4E;
inline constexpr uint8_t kReadScratchpad28 = 0xBE;
inline constexpr uint8_t kCopyScratchpad28 = 0x48;
inline constexpr uint8_t kRecallEeprom28 = 0xB8;
inline constexpr uint8_t kReadPowerSupply28 = 0xB4;

// A read slot: the master sends all ones and the device's answer replaces the byte.
inline constexpr uint8_t kReadSlot = 0xFF;

// Family codes the program knows.
inline constexpr uint8_t kFamilyThermochron = 0x21;
inline constexpr uint8_t kFamilyTemperatureSensor = 0x28;
inline constexpr uint8_t kFamilyCableId = 0x09;
inline constexpr uint8_t kFamilyMemory04 = 0x04;
inline constexpr uint8_t kFamilyHumidity = 0x0C;

// CRC8 of the ROM and of short answers (x^8 + x^5 + x^4 + 1, bit-reflected 0x8C).
uint8_t Crc8(const uint8_t* data, int len, uint8_t crc = 0);
// CRC16 of memory pages and packets (x^16 + x^15 + x^2 + 1, bit-reflected 0xA001).
uint16_t Crc16Step(uint16_t crc, uint8_t byte);
uint16_t Crc16(const uint8_t* data, int len, uint16_t crc = 0);
// The register after a block followed by its transmitted (inverted, low byte first) CRC16.
inline constexpr uint16_t kCrc16Residue = 0xB001;
// True when ROM bytes 0-7 carry a valid CRC8 and a family code other than 0 (a shorted line
// reads all zeros, whose CRC holds).
bool RomCrcValid(const RomCode& rom);

// ROM text: 16 upper-case hex digits, byte 7 (CRC) first, byte 0 (family code) last.
QString RomToText(const RomCode& rom);
// Parses a ROM text (case-insensitive, blanks around it ignored); false when it is not 16 hex
// digits (rom unchanged then).
bool RomFromText(const QString& text, RomCode& rom);

// Target address bytes of a memory command.
inline constexpr uint8_t Ta1(int address) { return uint8_t(address & 0xFF); }
inline constexpr uint8_t Ta2(int address) { return uint8_t((address >> 8) & 0xFF); }

} // namespace onewire
