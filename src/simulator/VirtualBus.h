#pragma once
// The virtual 1-Wire bus: an OneWireLink whose devices are simulated (see VirtualWorld). Every
// time slot is played out on the simulated open-drain line, so the ROM search, selection and
// memory functions work exactly as on a real bus, the default bit-by-bit search included.
#include "onewire/OneWireLink.h"
#include "simulator/VirtualWorld.h"
#include <algorithm>
#include <memory>

class VirtualBus : public OneWireLink {
public:
    // The program's bus: the bench of the application directory's state file. The program
    // clock (NowUtc) follows this bench's simulation clock from then on.
    VirtualBus();
    explicit VirtualBus(std::shared_ptr<VirtualWorld> world);

    bool open() override;
    void close() override;
    bool isOpen() const override { return m_open; }
    bool reset() override;
    int touchBit(int bit) override;
    int touchByte(uint8_t byte) override;
    int block(uint8_t* buffer, int len) override;
    // Resets and slots at standard or overdrive speed; a device answers only at its own speed
    // (see VirtualDevice).
    bool setSpeed(OneWireSpeed speed) override { m_speed = speed; return true; }
    OneWireSpeed speed() const override { return m_speed; }
    bool supportsOverdrive() const override { return true; }
    uint64_t timeSlots() const override { return m_slots; }
    // Time slots and resets played at overdrive since construction (part of timeSlots()).
    uint64_t overdriveSlots() const { return m_odSlots; }

    // Fault: a line that does not carry overdrive. Silent: no device is heard at overdrive (no
    // presence, every read slot gives 1). Damaged: every damagePeriod-th overdrive read slot
    // gives the master the wrong level (the devices see the right one). Not saved.
    enum class OverdriveFault { None, Silent, Damaged };
    void setOverdriveFault(OverdriveFault fault, int damagePeriod = 97) { m_odFault = fault; m_damagePeriod = std::max(1, damagePeriod); }
    OverdriveFault overdriveFault() const { return m_odFault; }
    QString version() const override { return QStringLiteral("NORDALIS virtual 1-Wire bus 1.0"); }
    QString lastError() const override { return m_error; }
    void beginSession() override;
    void endSession() override;

    VirtualWorld& world() { return *m_world; }
    std::shared_ptr<VirtualWorld> worldPtr() const { return m_world; }

    // Makes the program's clock (NowUtc) follow the simulation clock of this bus's bench, so
    // that after `sim advance 3d` the program sees the same moment as the loggers.
    void installAsProgramClock() const;
    static void InstallProgramClock(std::shared_ptr<VirtualWorld> world);

private:
    int slot(int bit);

    std::shared_ptr<VirtualWorld> m_world;
    bool m_open = false;
    uint64_t m_slots = 0;
    uint64_t m_odSlots = 0;
    OneWireSpeed m_speed = OneWireSpeed::Standard;
    OverdriveFault m_odFault = OverdriveFault::None;
    int m_damagePeriod = 97;
    QString m_error;
};

// Registers the virtual bus as the link factory for the "virtual" driver (links on the state
// file of the application directory; the program clock then follows the simulation clock).
// When the virtual driver is the configured one, the program clock follows the bench at once.
// Call it once the application directory is known, before the first session is opened: at
// start-up and from the terminal verbs.
void RegisterVirtualBus();
// Only the link factory, without touching the program clock.
void RegisterVirtualLink();
