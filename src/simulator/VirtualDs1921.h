#pragma once
// A simulated DS1921 Thermochron logger (family 0x21) in its G, H or Z variant: memory map,
// scratchpad with authorisation, Read Memory (with and without CRC16), Clear Memory, Convert
// Temperature, real-time clock with alarm, and the mission engine (start delay, time stamp,
// counters, data log with rollover or stop when full, alarms with time stamps, histogram).
// Mission samples are computed lazily when the simulation clock has moved on.
#include "onewire/DS1921Map.h"
#include "simulator/VirtualDevice.h"

struct VirtualProfile;

enum class Ds1921Variant { G, H, Z };

class VirtualDs1921 : public VirtualDevice {
public:
    VirtualDs1921(const RomCode& rom, Ds1921Variant variant);

    // A logger with a fresh ROM: family 0x21, the 36-bit serial, and in the upper 12 bits of the
    // 48-bit serial field the temperature range code of the variant (see RangeCode()).
    static RomCode MakeRom(Ds1921Variant variant, quint64 serial);
    // The variant that a ROM's range code names (anything unknown is a G).
    static Ds1921Variant VariantOfRom(const RomCode& rom);
    static quint16 RangeCode(Ds1921Variant variant);
    static QString VariantName(Ds1921Variant v);
    static bool VariantFromName(const QString& name, Ds1921Variant& v);

    bool supportsOverdrive() const override { return true; }   // 125 kbps after Overdrive Skip/Match

    QString kind() const override { return QStringLiteral("DS1921"); }
    QString describe() const override;
    Ds1921Variant variant() const { return m_variant; }

    // Sets up a logger as it comes out of its box: oscillator running with the clock at
    // simulation time simMs, no mission, memory empty.
    void initialise(qint64 simMs);
    void setProfile(const VirtualProfile* profile) { m_profile = profile; }
    bool sync(qint64 simMs) override;

    bool alarmCondition() const override;
    bool supportsConditionalSearch() const override { return true; }

    // What Read Memory returns at this address at the time of the last sync.
    uint8_t peek(int address) const;
    bool missionRunning() const { return m_mem[ds1921::kRegStatus] & ds1921::kStsMissionRunning; }
    int missionSamples() const;
    // Device time (the logger's RTC) at simulation time simMs, ms since 1970 of its calendar.
    qint64 deviceMs(qint64 simMs) const;

    // Where this logger sits, relative to the room profile (a colder or warmer compartment).
    double offset() const { return m_offsetC; }
    void setOffset(double celsius) { m_offsetC = celsius; markChanged(); }
    // The room temperature this logger measures at simulation time simMs.
    double temperatureAt(qint64 simMs) const;

    // Temperature code of a value in °C for this variant (clamped as the converter does).
    int codeFor(double celsius) const;
    double celsiusOf(int code) const;

    // Fault injection: the CRC16 sent after this page (page number = address / 32) by Read
    // Memory with CRC is wrong, for the given number of readings (-1 = always, 0 = off).
    void corruptCrcOnPage(int page, int times = -1) { m_crcFaultPage = page; m_crcFaultTimes = times; }

    QJsonObject save() const override;
    void load(const QJsonObject& o) override;

protected:
    void functionBegin() override;
    uint8_t functionDrive() override;
    void functionObserve(uint8_t bus) override;
    void functionReset(int partialBits) override;

private:
    enum class Phase { Command, WsTa1, WsTa2, WsData, CpTa1, CpTa2, CpEs, RdTa1, RdTa2, RcTa1, RcTa2, Send };
    enum class Refill { None, ReadMemory, ReadMemoryCrc };
    struct AlarmTrack { int next = 0; bool open = false; };

    void send(std::vector<uint8_t> bytes, uint8_t idle, Refill refill = Refill::None);
    void refill();
    void copyScratchpad();
    void clearMemory();
    void convertTemperature();
    void startMissionIfAllowed(uint8_t rate);
    void endMission();
    void takeSample(int k);
    void alarmSample(AlarmTrack& track, int base, bool outside, int k);
    void setRtc(const uint8_t regs[7], bool dowWritten);
    void rtcRegisters(qint64 devMs, uint8_t out[7]) const;
    int dayOfWeek(qint64 devMs) const;
    bool rtcAlarmBetween(qint64 fromDevSec, qint64 toDevSec) const;
    bool oscillatorRunning() const { return !(m_mem[ds1921::kRegControl] & ds1921::kCtlOscillatorOff); }
    int delayRemaining() const;
    void put24(int address, quint32 value);
    quint32 get24(int address) const;

    Ds1921Variant m_variant;
    const VirtualProfile* m_profile = nullptr;
    double m_offsetC = 0.0;
    uint8_t m_mem[0x1800] = {};   // every readable cell; reserved areas stay 0

    // clock: device time m_rtcDevMs at simulation time m_rtcSimMs (frozen while stopped)
    qint64 m_rtcDevMs = 0;
    qint64 m_rtcSimMs = 0;
    qint64 m_oscStartSimMs = 0;
    int m_dowBase = 1;
    bool m_hour12 = false;
    qint64 m_lastAlarmCheckDevSec = 0;

    // mission
    qint64 m_missionStartDevMs = 0;
    qint64 m_firstSampleDevMs = 0;
    int m_delayAtStart = 0;
    qint64 m_missionSamplesTaken = 0;   // samples of this mission (the 24-bit counter wraps, this does not)
    AlarmTrack m_low, m_high;
    qint64 m_now = 0;             // simulation time of the last sync

    // scratchpad and function state
    uint8_t m_pad[32] = {};
    quint16 m_ta = 0;
    uint8_t m_es = 0;
    Phase m_phase = Phase::Command;
    quint16 m_cmdTa = 0;
    uint16_t m_crc = 0;
    int m_offset = 0;
    std::vector<uint8_t> m_out;
    size_t m_outPos = 0;
    uint8_t m_idle = 0xFF;
    Refill m_refill = Refill::None;
    int m_addr = 0;
    bool m_firstCrcPage = true;

    int m_crcFaultPage = -1;
    int m_crcFaultTimes = 0;
};
