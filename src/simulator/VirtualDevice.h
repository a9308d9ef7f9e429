#pragma once
// One simulated 1-Wire device on the virtual bus, at the level of single time slots.
//
// The base class answers the ROM function commands (Read ROM, Match ROM, Skip ROM, Search ROM and
// Conditional Search) bit by bit, exactly as a slave does on the wire; once a device is selected it
// hands whole bytes to the family-specific memory functions of the subclass. Every slot works as
// the open-drain bus does: the level seen is the master's bit AND every device's driven bit (a
// device that is silent drives 1).
//
// Speed: every device starts at standard speed. A device that can do overdrive is moved there by
// Overdrive Skip ROM (0x3C) or Overdrive Match ROM (0x69, its 64 ROM bits then at overdrive),
// sent at standard speed; from then on it answers only overdrive resets and slots, until a reset
// at standard speed returns it (and every other device) to standard. A device without overdrive
// takes those two commands as unknown and waits for the next standard reset. The speed is not
// part of the saved state: after loading, every device is at standard speed.
#include "onewire/OneWireLink.h"
#include <QJsonObject>
#include <QString>
#include <cstdint>
#include <vector>

namespace virtualbus {
using onewire::Crc8;
using onewire::Crc16;
using onewire::Crc16Step;
using onewire::RomFromText;
using onewire::RomToText;
// Sets byte 7 to the CRC8 of bytes 0..6.
void SetRomCrc(RomCode& rom);
// A ROM of this family with the low 48 bits of serial as its serial number field.
RomCode MakeRom(uint8_t family, quint64 serial);
QString ToHex(const uint8_t* data, int len);
bool FromHex(const QString& text, uint8_t* data, int len);
} // namespace virtualbus

class VirtualDevice {
public:
    explicit VirtualDevice(const RomCode& rom) : m_rom(rom) {}
    virtual ~VirtualDevice() = default;

    const RomCode& rom() const { return m_rom; }
    QString romText() const { return virtualbus::RomToText(m_rom); }
    virtual QString kind() const = 0;        // "DS1921", "DS2502", "DS18B20"
    virtual QString describe() const = 0;    // one line for `sim show`

    // In the cable (answers on the bus) or taken out; state is kept either way.
    bool present() const { return m_present; }
    void setPresent(bool on) { m_present = on; if (!on) m_romState = RomState::Idle; }

    // ---- time slots, driven by the bus ----
    // Reset pulse at the given speed: the ROM layer waits for a ROM command. Returns whether the
    // device answered with a presence pulse (a device at the other speed does not).
    bool busReset(OneWireSpeed speed = OneWireSpeed::Standard);
    // The level this device drives in the coming slot (1 = released).
    int driveBit(OneWireSpeed speed = OneWireSpeed::Standard);
    // The level seen on the bus in that slot.
    void observeBit(int bus, OneWireSpeed speed = OneWireSpeed::Standard);

    // Overdrive: whether the family has it, and whether the device is at overdrive now.
    virtual bool supportsOverdrive() const { return false; }
    bool overdrive() const { return m_overdrive; }
    OneWireSpeed deviceSpeed() const { return m_overdrive ? OneWireSpeed::Overdrive : OneWireSpeed::Standard; }

    // Brings lazily computed state (clock, mission samples) up to the simulation time.
    // Returns true when something changed that must be saved.
    virtual bool sync(qint64 simMs) { Q_UNUSED(simMs); return false; }

    // Condition for Conditional Search (0xEC); families without it never answer it.
    virtual bool alarmCondition() const { return false; }
    virtual bool supportsConditionalSearch() const { return false; }

    // Persistence
    virtual QJsonObject save() const;
    virtual void load(const QJsonObject& o);

    // Fault injection: the device leaves the bus (as if taken out of the cable) after it has
    // exchanged this many more bytes; -1 = never.
    void leaveAfterBytes(int n) { m_leaveAfter = n; }
    int leaveAfterBytesLeft() const { return m_leaveAfter; }

    // Set by the device when its memory changed, so that the world saves the state file.
    bool takeChanged() { bool c = m_changed; m_changed = false; return c; }

protected:
    // ---- memory function layer (after the device was selected) ----
    virtual void functionBegin() = 0;                 // selected; the next byte is a function command
    virtual uint8_t functionDrive() = 0;              // byte to drive in the coming 8 slots (0xFF = listen)
    virtual void functionObserve(uint8_t bus) = 0;    // the 8 slots seen
    virtual void functionReset(int partialBits) { Q_UNUSED(partialBits); }   // reset ends the function
    void markChanged() { m_changed = true; }

    RomCode m_rom;

private:
    enum class RomState { Idle, Command, ReadRom, MatchRom, Search, Function };
    void countByte();
    int romBit(int i) const { return (m_rom[i / 8] >> (i % 8)) & 1; }

    bool m_present = true;
    bool m_changed = false;
    bool m_overdrive = false;
    RomState m_romState = RomState::Idle;
    int m_bit = 0;           // bit counter within the current ROM phase or function byte
    uint8_t m_rx = 0;        // byte being received
    uint8_t m_drive = 0xFF;  // byte being driven (function layer)
    int m_leaveAfter = -1;
};
