#pragma once
// The simulated bench behind the virtual bus: the simulation clock, the room's temperature
// profile, the devices (cable chip, loggers, sensors; each in or out of the cable) and the
// bus-level faults. It lives in a state file in the application directory so that separate
// runs of the programs see the same loggers: loaded when a link opens, saved after every change.
#include "simulator/VirtualClock.h"
#include "simulator/VirtualDevice.h"
#include "simulator/VirtualDs1921.h"
#include "simulator/VirtualProfile.h"
#include <memory>
#include <vector>

class VirtualDs2502;
class VirtualDs18b20;

class VirtualWorld {
public:
    explicit VirtualWorld(const QString& stateFile);

    // The one world of this process for a state file (links and terminal verbs share it).
    static std::shared_ptr<VirtualWorld> ForFile(const QString& stateFile);
    // "virtual-bus.json" in the application directory.
    static QString DefaultStateFile();

    QString stateFile() const { return m_file; }
    // Reads the state file; a missing file gives an empty bench. False (with a message) when
    // the file cannot be read or is not a state file: nothing is then saved over it.
    bool load(QString* error = nullptr);
    bool save(QString* error = nullptr);
    // Loads again when another process changed the file since this one read or wrote it.
    void reloadIfChanged();
    // Reads only the clock offset from a changed file (for the program clock between sessions).
    void refreshClock();
    bool usable() const { return m_usable; }
    QString loadError() const { return m_loadError; }

    VirtualClock& clock() { return m_clock; }
    VirtualProfile& profile() { return m_profile; }
    const std::vector<std::unique_ptr<VirtualDevice>>& devices() const { return m_devices; }
    VirtualDevice* find(const RomCode& rom) const;
    VirtualDevice* find(const QString& romText) const;

    // New devices; rom == nullptr: a fresh unique ROM. nullptr with *error on refusal.
    VirtualDs1921* addLogger(Ds1921Variant variant, const RomCode* rom, QString* error);
    VirtualDs2502* addCable(const RomCode* rom, QString* error);
    VirtualDs18b20* addSensor(const RomCode* rom, QString* error);

    // Brings every device to the simulation time; saves when something changed.
    void syncAll();
    // Moves the simulation clock forward and computes what the loggers did meanwhile.
    void advance(qint64 ms);
    // Saves when a device reports a change since the last save.
    void saveIfChanged();

    // The reader in front of the bench: "" for the bench itself, "DS2490" for the bench behind an
    // emulated DS2490 USB adapter (the program's links then speak USB transfers to it).
    QString reader() const { return m_reader; }
    void setReader(const QString& reader) { m_reader = reader; m_dirty = true; }

    // Fault injection on the link: the next `count` block transfers move only `keep` bytes
    // (keep < 0: one byte less than asked) and report that count.
    void shortenBlocks(int count, int keep = -1) { m_shortBlocks = count; m_shortKeep = keep; m_dirty = true; }
    // Returns the count a block of len bytes is cut to, using up one fault.
    int takeBlockLimit(int len);

private:
    void attach(VirtualDevice* d);
    template <class Device> Device* addPlain(uint8_t family, const RomCode* rom, QString* error);
    bool refuseRom(const RomCode& rom, uint8_t family, QString* error) const;
    quint64 nextSerial();
    static qint64 stamp(const QString& file);

    QString m_file;
    VirtualClock m_clock;
    VirtualProfile m_profile;
    std::vector<std::unique_ptr<VirtualDevice>> m_devices;
    quint64 m_serial = 1;
    int m_shortBlocks = 0;
    QString m_reader;
    int m_shortKeep = -1;
    bool m_dirty = false;
    bool m_usable = true;
    QString m_loadError;
    qint64 m_stamp = 0;
    qint64 m_lastClockCheck = 0;
};
