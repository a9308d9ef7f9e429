// The simulated DS1921 logger.
#include "simulator/VirtualDs1921.h"
#include "onewire/DS1921Map.h"
#include "simulator/VirtualProfile.h"
#include <QDateTime>
#include <cmath>

using namespace virtualbus;
using namespace ds1921;

namespace {
constexpr int kLog = kDataLog;
constexpr int kLogSize = kDataLogBytes;
constexpr int kLowAlarms = kLowAlarmLog;
constexpr int kHighAlarms = kHighAlarmLog;

// Facts the device documentation leaves open, modelled in one place each:
// - A temperature alarm record starts with duration 1 and its time stamp is the mission samples
//   counter after it counted the sample that opened the record (1 = first sample).
constexpr int kAlarmFirstDuration = 1;
// - Bit 6 of the E/S byte reads 0.
constexpr uint8_t kEsBit6 = 0x00;
// - A Copy Scratchpad whose E/S names a partial last byte (PF = 1) is refused: no data from an
//   interrupted write reaches the memory.
constexpr bool kCopyRefusedWhenPartial = true;
// - Convert Temperature during a mission is ignored (the device samples on its own).
constexpr bool kConvertDuringMission = false;
// - The oscillator must have run at least this long before a mission start is accepted.
constexpr qint64 kOscillatorSettleMs = 1000;

// The century bit: set for the years 2000-2099, clear for 1900-1999 (the program writes it so);
// it follows the calendar across a year 99 -> 00 turn.
bool CenturyBitOf(int year) { return (year / 100) % 2 == 0; }
int YearOf(bool century, int yy) { return (century ? 2000 : 1900) + yy; }

uint8_t Bcd(int v) { return uint8_t(((v / 10) << 4) | (v % 10)); }
int FromBcd(uint8_t b) { return (b >> 4) * 10 + (b & 0x0F); }

uint8_t HourByte(int hour, bool twelve)
{
    if (!twelve) return Bcd(hour);
    const bool pm = hour >= 12;
    int h = hour % 12;
    if (h == 0) h = 12;
    return uint8_t(0x40 | (pm ? 0x20 : 0) | Bcd(h));
}

int HourOfByte(uint8_t b, bool& twelve)
{
    twelve = b & 0x40;
    if (!twelve) return FromBcd(b & 0x3F);
    int h = FromBcd(b & 0x1F) % 12;
    if (b & 0x20) h += 12;
    return h;
}

QDateTime AtMs(qint64 ms) { return QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC); }
qint64 FloorDiv(qint64 a, qint64 b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }
} // namespace

VirtualDs1921::VirtualDs1921(const RomCode& rom, Ds1921Variant variant) : VirtualDevice(rom), m_variant(variant) {}

quint16 VirtualDs1921::RangeCode(Ds1921Variant variant)
{
    // The 12-bit temperature range code in the upper bits of the serial field. The values of H
    // and Z are those the program recognises ("4F2" and "3B2" as characters 3-5 of the ROM
    // text); the G is given 0x000, which names neither.
    switch (variant) {
    case Ds1921Variant::H: return 0x4F2;
    case Ds1921Variant::Z: return 0x3B2;
    default: return 0x000;
    }
}

RomCode VirtualDs1921::MakeRom(Ds1921Variant variant, quint64 serial)
{
    return virtualbus::MakeRom(onewire::kFamilyThermochron, (serial & 0xFFFFFFFFFull) | (quint64(RangeCode(variant)) << 36));
}

Ds1921Variant VirtualDs1921::VariantOfRom(const RomCode& rom)
{
    const quint16 code = quint16((rom[6] << 4) | (rom[5] >> 4));
    if (code == RangeCode(Ds1921Variant::H)) return Ds1921Variant::H;
    if (code == RangeCode(Ds1921Variant::Z)) return Ds1921Variant::Z;
    return Ds1921Variant::G;
}

QString VirtualDs1921::VariantName(Ds1921Variant v)
{
    return v == Ds1921Variant::H ? QStringLiteral("H") : v == Ds1921Variant::Z ? QStringLiteral("Z") : QStringLiteral("G");
}

bool VirtualDs1921::VariantFromName(const QString& name, Ds1921Variant& v)
{
    const QString n = name.trimmed().toUpper();
    if (n == "G") v = Ds1921Variant::G;
    else if (n == "H") v = Ds1921Variant::H;
    else if (n == "Z") v = Ds1921Variant::Z;
    else return false;
    return true;
}

int VirtualDs1921::codeFor(double t) const
{
    long c;
    int maxValid, high;
    switch (m_variant) {
    case Ds1921Variant::H: c = std::lround(8.0 * t - 116.0); maxValid = 0xFE; high = 0xFF; break;
    case Ds1921Variant::Z: c = std::lround(8.0 * t + 44.0); maxValid = 0xFE; high = 0xFF; break;
    default: c = std::lround(2.0 * t + 80.0); maxValid = 0xF9; high = 0xFA; break;
    }
    if (c < 1) return 0;
    if (c > maxValid) return high;
    return int(c);
}

double VirtualDs1921::celsiusOf(int code) const
{
    switch (m_variant) {
    case Ds1921Variant::H: return code / 8.0 + 14.5;
    case Ds1921Variant::Z: return code / 8.0 - 5.5;
    default: return code / 2.0 - 40.0;
    }
}

double VirtualDs1921::temperatureAt(qint64 simMs) const
{
    quint64 salt = 0;
    for (int i = 6; i >= 1; --i) salt = (salt << 8) | m_rom[i];
    return (m_profile ? m_profile->temperatureAt(simMs, salt) : 20.0) + m_offsetC;
}

void VirtualDs1921::initialise(qint64 simMs)
{
    std::fill(std::begin(m_mem), std::end(m_mem), 0);
    m_mem[kRegStatus] = 0x80;   // TCB: no conversion running
    m_rtcDevMs = simMs - simMs % 1000;
    m_rtcSimMs = simMs;
    m_oscStartSimMs = simMs - 3600000;
    m_dowBase = AtMs(m_rtcDevMs).date().dayOfWeek();
    m_lastAlarmCheckDevSec = m_rtcDevMs / 1000;
    m_now = simMs;
}

qint64 VirtualDs1921::deviceMs(qint64 simMs) const
{
    return oscillatorRunning() ? m_rtcDevMs + (simMs - m_rtcSimMs) : m_rtcDevMs;
}

int VirtualDs1921::dayOfWeek(qint64 devMs) const
{
    const qint64 days = AtMs(m_rtcDevMs).date().daysTo(AtMs(devMs).date());
    return int(((m_dowBase - 1 + days) % 7 + 7) % 7) + 1;
}

void VirtualDs1921::rtcRegisters(qint64 devMs, uint8_t out[7]) const
{
    const QDateTime d = AtMs(devMs);
    out[0] = Bcd(d.time().second());
    out[1] = Bcd(d.time().minute());
    out[2] = HourByte(d.time().hour(), m_hour12);
    out[3] = uint8_t(dayOfWeek(devMs) & 7);
    out[4] = Bcd(d.date().day());
    out[5] = uint8_t(Bcd(d.date().month()) | (CenturyBitOf(d.date().year()) ? 0x80 : 0));
    out[6] = Bcd(d.date().year() % 100);
}

void VirtualDs1921::setRtc(const uint8_t r[7], bool dowWritten)
{
    const int currentDow = dayOfWeek(deviceMs(m_now));
    bool twelve = false;
    const int sec = std::clamp(FromBcd(r[0] & 0x7F), 0, 59);
    const int min = std::clamp(FromBcd(r[1] & 0x7F), 0, 59);
    const int hour = std::clamp(HourOfByte(r[2] & 0x7F, twelve), 0, 23);
    const int month = std::clamp(FromBcd(r[5] & 0x1F), 1, 12);
    const int year = YearOf(r[5] & 0x80, std::clamp(FromBcd(r[6]), 0, 99));
    const int day = std::clamp(FromBcd(r[4] & 0x3F), 1, QDate(year, month, 1).daysInMonth());
    const QDateTime t(QDate(year, month, day), QTime(hour, min, sec), Qt::UTC);
    m_rtcDevMs = t.toMSecsSinceEpoch();
    m_rtcSimMs = m_now;
    m_hour12 = twelve;
    m_dowBase = dowWritten ? std::clamp(int(r[3] & 7), 0, 7) : currentDow;
    m_lastAlarmCheckDevSec = m_rtcDevMs / 1000;
}

int VirtualDs1921::delayRemaining() const
{
    const qint64 passed = FloorDiv(deviceMs(m_now), 60000) - FloorDiv(m_missionStartDevMs, 60000);
    return int(std::max<qint64>(0, m_delayAtStart - passed));
}

void VirtualDs1921::put24(int a, quint32 v)
{
    m_mem[a] = uint8_t(v);
    m_mem[a + 1] = uint8_t(v >> 8);
    m_mem[a + 2] = uint8_t(v >> 16);
}

quint32 VirtualDs1921::get24(int a) const { return m_mem[a] | (m_mem[a + 1] << 8) | (quint32(m_mem[a + 2]) << 16); }

int VirtualDs1921::missionSamples() const { return int(get24(kRegMissionSamples)); }

uint8_t VirtualDs1921::peek(int a) const
{
    if (a < 0 || a >= 0x1800) return 0;
    if (a >= kRegClock && a <= kRegYear) {
        uint8_t r[7];
        rtcRegisters(deviceMs(m_now), r);
        return r[a - kRegClock];
    }
    if ((a == kRegStartDelay || a == kRegStartDelay + 1) && missionRunning()) {
        const int d = delayRemaining();
        return uint8_t(a == kRegStartDelay ? d & 0xFF : d >> 8);
    }
    if (a >= kRegisterPage + kRegisterArea && a < kHistogram) return 0;
    if (a >= kHistogram + kHistogramBytes && a < kLog) return 0;
    return m_mem[a];
}

// ---------------------------------------------------------------- lazy time

bool VirtualDs1921::sync(qint64 simMs)
{
    if (simMs < m_now) simMs = m_now;   // the simulation never runs backwards
    m_now = simMs;
    bool changed = false;
    const qint64 devNow = deviceMs(simMs);
    if (oscillatorRunning()) {
        const qint64 devSec = FloorDiv(devNow, 1000);
        if (devSec > m_lastAlarmCheckDevSec) {
            if (!(m_mem[kRegStatus] & 0x01) && rtcAlarmBetween(m_lastAlarmCheckDevSec, devSec)) {
                m_mem[kRegStatus] |= 0x01;
                changed = true;
            }
            m_lastAlarmCheckDevSec = devSec;
        }
    }
    if (missionRunning() && m_mem[kRegSampleRate] != 0 && devNow >= m_firstSampleDevMs) {
        const qint64 period = qint64(m_mem[kRegSampleRate]) * 60000;
        const qint64 due = (devNow - m_firstSampleDevMs) / period + 1;
        // Samples since the start of the mission; the 24-bit register wraps, this count does not.
        for (qint64 k = m_missionSamplesTaken + 1; k <= due; ++k) takeSample(int(k));
        if (due > m_missionSamplesTaken) { m_missionSamplesTaken = due; changed = true; }
    }
    return changed;
}

// True when an RTC alarm match falls on a second in (fromSec, toSec] of device time.
bool VirtualDs1921::rtcAlarmBetween(qint64 fromSec, qint64 toSec) const
{
    const bool ms = m_mem[kRegClockAlarm] & 0x80, mm = m_mem[kRegClockAlarm + 1] & 0x80, mh = m_mem[kRegClockAlarm + 2] & 0x80, md = m_mem[kRegClockAlarm + 3] & 0x80;
    const int s = FromBcd(m_mem[kRegClockAlarm] & 0x7F), m = FromBcd(m_mem[kRegClockAlarm + 1] & 0x7F);
    bool twelve = false;
    const int h = HourOfByte(m_mem[kRegClockAlarm + 2] & 0x7F, twelve);
    const int d = m_mem[kRegClockAlarm + 3] & 0x07;
    if (ms && mm && mh && md) return toSec > fromSec;
    // At most one week needs to be looked at; step by whole minutes when the seconds must match.
    const qint64 last = std::min(toSec, fromSec + 7 * 86400 + 60);
    qint64 t = fromSec + 1;
    const qint64 step = ms ? 1 : 60;
    if (!ms) {
        if (s > 59) return false;
        const qint64 sec = ((t % 60) + 60) % 60;
        t += (s - sec + 60) % 60;
    }
    for (; t <= last; t += step) {
        const QDateTime dt = AtMs(t * 1000);
        if (!mm && dt.time().minute() != m) continue;
        if (!mh && dt.time().hour() != h) continue;
        if (!md && dayOfWeek(t * 1000) != d) continue;
        return true;
    }
    return false;
}

void VirtualDs1921::alarmSample(AlarmTrack& track, int base, bool outside, int k)
{
    if (!outside) { track.open = false; return; }
    if (track.open) {
        uint8_t& duration = m_mem[base + 4 * (track.next - 1) + 3];
        if (duration < 255) { ++duration; return; }
        track.open = false;   // full: the excursion continues in the next record
    }
    if (track.next >= kAlarmRecords) return;
    const int a = base + 4 * track.next;
    put24(a, quint32(k) & 0xFFFFFF);
    m_mem[a + 3] = kAlarmFirstDuration;
    ++track.next;
    track.open = true;
}

void VirtualDs1921::takeSample(int k)
{
    const qint64 period = qint64(m_mem[kRegSampleRate]) * 60000;
    const qint64 devT = m_firstSampleDevMs + qint64(k - 1) * period;
    const qint64 simT = devT - (m_rtcDevMs - m_rtcSimMs);
    const uint8_t code = uint8_t(codeFor(temperatureAt(simT)));
    if (k == 1) {
        // Logging begins: the RTC is copied into the mission time stamp.
        uint8_t r[7];
        rtcRegisters(devT, r);
        m_mem[kRegMissionStart] = r[1];
        m_mem[kRegMissionStart + 1] = r[2];
        m_mem[kRegMissionStart + 2] = r[4];
        m_mem[kRegMissionStart + 3] = r[5];
        m_mem[kRegMissionStart + 4] = r[6];
    }
    if (m_mem[kRegControl] & 0x08) m_mem[kLog + (k - 1) % kLogSize] = code;
    else if (k <= kLogSize) m_mem[kLog + k - 1] = code;
    const int bin = kHistogram + 2 * (code >> 2);
    const int count = m_mem[bin] | (m_mem[bin + 1] << 8);
    if (count < 0xFFFF) { m_mem[bin] = uint8_t(count + 1); m_mem[bin + 1] = uint8_t((count + 1) >> 8); }
    put24(kRegMissionSamples, quint32(k) & 0xFFFFFF);
    put24(kRegDeviceSamples, (get24(kRegDeviceSamples) + 1) & 0xFFFFFF);
    m_mem[kRegTemperature] = code;
    const bool low = code <= m_mem[kRegLowThreshold], high = code >= m_mem[kRegHighThreshold];
    if (low) m_mem[kRegStatus] |= 0x04;
    if (high) m_mem[kRegStatus] |= 0x02;
    alarmSample(m_low, kLowAlarms, low, k);
    alarmSample(m_high, kHighAlarms, high, k);
}

bool VirtualDs1921::alarmCondition() const
{
    const uint8_t c = m_mem[kRegControl], s = m_mem[kRegStatus];
    return ((c & 0x04) && (s & 0x04)) || ((c & 0x02) && (s & 0x02)) || ((c & 0x01) && (s & 0x01));
}

// ---------------------------------------------------------------- memory functions

void VirtualDs1921::functionBegin()
{
    m_phase = Phase::Command;
    m_out.clear();
    m_outPos = 0;
    m_refill = Refill::None;
}

void VirtualDs1921::send(std::vector<uint8_t> bytes, uint8_t idle, Refill refill)
{
    m_out = std::move(bytes);
    m_outPos = 0;
    m_idle = idle;
    m_refill = refill;
    m_phase = Phase::Send;
}

void VirtualDs1921::refill()
{
    m_out.clear();
    m_outPos = 0;
    if (m_refill == Refill::None) return;
    const int end = (m_addr | 0x1F) + 1;
    const int page = m_addr / 32;
    for (; m_addr < end; ++m_addr) {
        const uint8_t b = peek(m_addr);
        m_out.push_back(b);
        if (m_refill == Refill::ReadMemoryCrc) m_crc = Crc16Step(m_crc, b);
    }
    if (m_refill == Refill::ReadMemoryCrc) {
        uint16_t sent = uint16_t(~m_crc);
        if (page == m_crcFaultPage && m_crcFaultTimes != 0) {
            sent ^= 0x0100;
            if (m_crcFaultTimes > 0) --m_crcFaultTimes;
            markChanged();
        }
        m_out.push_back(uint8_t(sent));
        m_out.push_back(uint8_t(sent >> 8));
        m_crc = 0;   // each further page has a CRC of its own
    }
    if (m_addr > 0xFFFF) m_addr = 0x10000;   // past every address: pages of 0x00 go on
}

uint8_t VirtualDs1921::functionDrive()
{
    if (m_phase != Phase::Send) return 0xFF;
    if (m_outPos >= m_out.size()) refill();
    if (m_outPos >= m_out.size()) return m_idle;
    return m_out[m_outPos++];
}

void VirtualDs1921::functionReset(int partialBits)
{
    // An incomplete last byte of a Write Scratchpad is dropped and flagged.
    if (m_phase == Phase::WsData && partialBits > 0) m_es |= 0x20;
    m_phase = Phase::Command;
}

void VirtualDs1921::functionObserve(uint8_t b)
{
    switch (m_phase) {
    case Phase::Command: {
        // EMCLR lasts for exactly one memory function command.
        const bool clearEnabled = m_mem[kRegControl] & 0x40;
        if (clearEnabled) { m_mem[kRegControl] &= uint8_t(~0x40); markChanged(); }
        switch (b) {
        case onewire::kWriteScratchpad: m_crc = Crc16Step(0, b); m_phase = Phase::WsTa1; break;
        case onewire::kReadScratchpad: {
            std::vector<uint8_t> out{uint8_t(m_ta), uint8_t(m_ta >> 8), m_es};
            for (int i = m_ta & 0x1F; i < 32; ++i) out.push_back(m_pad[i]);
            const uint16_t crc = uint16_t(~Crc16(out.data(), int(out.size()), Crc16Step(0, onewire::kReadScratchpad)));
            out.push_back(uint8_t(crc));
            out.push_back(uint8_t(crc >> 8));
            send(std::move(out), 0xFF);
            break;
        }
        case onewire::kCopyScratchpad: m_phase = Phase::CpTa1; break;
        case onewire::kReadMemory: m_phase = Phase::RdTa1; break;
        case onewire::kReadMemoryCrc: m_crc = Crc16Step(0, b); m_phase = Phase::RcTa1; break;
        case onewire::kClearMemory:
            if (clearEnabled) clearMemory();
            send({}, 0xFF);
            break;
        case onewire::kConvertTemperature:
            convertTemperature();
            send({}, 0xFF);
            break;
        default: send({}, 0xFF); break;
        }
        return;
    }
    case Phase::WsTa1: m_cmdTa = b; m_crc = Crc16Step(m_crc, b); m_phase = Phase::WsTa2; return;
    case Phase::WsTa2:
        m_ta = quint16(m_cmdTa | (b << 8));
        m_crc = Crc16Step(m_crc, b);
        m_offset = m_ta & 0x1F;
        m_es = uint8_t(kEsBit6 | 0x20 | m_offset);   // no complete byte yet
        m_phase = Phase::WsData;
        markChanged();
        return;
    case Phase::WsData:
        m_pad[m_offset] = b;
        m_crc = Crc16Step(m_crc, b);
        m_es = uint8_t(kEsBit6 | m_offset);
        if (++m_offset == 32) {
            const uint16_t crc = uint16_t(~m_crc);
            send({uint8_t(crc), uint8_t(crc >> 8)}, 0xFF);
        }
        return;
    case Phase::CpTa1: m_cmdTa = b; m_phase = Phase::CpTa2; return;
    case Phase::CpTa2: m_cmdTa = quint16(m_cmdTa | (b << 8)); m_phase = Phase::CpEs; return;
    case Phase::CpEs: {
        const bool authorised = m_cmdTa == m_ta && b == m_es && !(kCopyRefusedWhenPartial && (m_es & 0x20));
        if (authorised) {
            copyScratchpad();
            m_es |= 0x80;
            markChanged();
        }
        send({}, authorised ? 0xAA : 0xFF);
        return;
    }
    case Phase::RdTa1: m_cmdTa = b; m_phase = Phase::RdTa2; return;
    case Phase::RdTa2:
        m_addr = m_cmdTa | (b << 8);
        send({}, 0x00, Refill::ReadMemory);
        return;
    case Phase::RcTa1: m_cmdTa = b; m_crc = Crc16Step(m_crc, b); m_phase = Phase::RcTa2; return;
    case Phase::RcTa2:
        m_addr = m_cmdTa | (b << 8);
        m_crc = Crc16Step(m_crc, b);
        send({}, 0x00, Refill::ReadMemoryCrc);
        return;
    case Phase::Send:
        return;
    }
}

void VirtualDs1921::copyScratchpad()
{
    const int base = m_ta & 0xFFE0;
    const int first = m_ta & 0x1F, last = m_es & 0x1F;
    if (last < first) return;

    // During a mission every write aimed at 0x200-0x213 ends the mission first; the copy is then
    // done as between missions (which registers the device overwrites is not documented, so
    // writable cells take the new data and read-only ones keep theirs).
    const bool protectedHit = base + first <= kRegStartDelay + 1 && base + last >= kRegClock;
    if (missionRunning() && protectedHit) endMission();

    uint8_t rtc[7];
    rtcRegisters(deviceMs(m_now), rtc);
    bool rtcWritten = false, dowWritten = false, rateWritten = false;
    uint8_t rate = 0;
    for (int a = base + first; a <= base + last; ++a) {
        const uint8_t v = m_pad[a - base];
        if (a < kRegisterPage) { m_mem[a] = v; continue; }
        switch (a) {
        case kRegSeconds: case kRegMinutes: case kRegHours: case kRegDate: case kRegMonth: case kRegYear:
            rtc[a - kRegClock] = v; rtcWritten = true; break;
        case kRegDayOfWeek: rtc[3] = v & 0x07; dowWritten = true; rtcWritten = true; break;
        case kRegClockAlarm: case kRegClockAlarm + 1: case kRegClockAlarm + 2: m_mem[a] = v; break;
        case kRegClockAlarm + 3: m_mem[a] = v & 0x87; break;
        case kRegLowThreshold: case kRegHighThreshold: case kRegStartDelay: case kRegStartDelay + 1: m_mem[a] = v; break;
        case kRegSampleRate: rate = v; rateWritten = true; break;
        case kRegControl: {
            const bool wasRunning = oscillatorRunning();
            const qint64 devNow = deviceMs(m_now);
            m_mem[a] = v & 0xDF;
            if (wasRunning && !oscillatorRunning()) { m_rtcDevMs = devNow; m_rtcSimMs = m_now; }
            if (!wasRunning && oscillatorRunning()) { m_rtcSimMs = m_now; m_oscStartSimMs = m_now; }
            break;
        }
        case kRegStatus: {
            // Only MIP, TLF, THF and TAF can be written, and only to 0.
            const uint8_t cleared = uint8_t(0x27 & ~v);
            if ((cleared & 0x20) && missionRunning()) endMission();
            m_mem[a] &= uint8_t(~cleared);
            break;
        }
        default: break;   // read-only registers, alarm, histogram and log areas, reserved memory
        }
    }
    if (rtcWritten) setRtc(rtc, dowWritten);
    if (rateWritten) startMissionIfAllowed(rate);
}

void VirtualDs1921::startMissionIfAllowed(uint8_t rate)
{
    const uint8_t c = m_mem[kRegControl], s = m_mem[kRegStatus];
    const bool allowed = rate != 0 && !(s & 0x20) && (s & 0x40) && !(c & 0x10) && oscillatorRunning()
                      && m_now - m_oscStartSimMs >= kOscillatorSettleMs;
    if (!allowed) return;   // the rate byte is not taken
    m_mem[kRegSampleRate] = rate;
    m_mem[kRegStatus] = uint8_t((s | 0x20) & ~0x40);
    m_missionStartDevMs = deviceMs(m_now);
    m_delayAtStart = m_mem[kRegStartDelay] | (m_mem[kRegStartDelay + 1] << 8);
    // The delay counts down at each minute boundary; logging begins at the boundary after it ran out.
    m_firstSampleDevMs = (FloorDiv(m_missionStartDevMs, 60000) + 1 + m_delayAtStart) * 60000;
    m_missionSamplesTaken = 0;
    m_low = AlarmTrack{};
    m_high = AlarmTrack{};
}

void VirtualDs1921::endMission()
{
    const int d = delayRemaining();
    m_mem[kRegStartDelay] = uint8_t(d & 0xFF);
    m_mem[kRegStartDelay + 1] = uint8_t(d >> 8);
    m_mem[kRegStatus] &= uint8_t(~0x20);
}

void VirtualDs1921::clearMemory()
{
    if (missionRunning() || !oscillatorRunning()) return;
    m_mem[kRegSampleRate] = 0;
    m_mem[kRegStartDelay] = m_mem[kRegStartDelay + 1] = 0;
    std::fill(m_mem + kRegMissionStart, m_mem + kRegDeviceSamples, 0);
    std::fill(m_mem + kLowAlarmLog, m_mem + kRegisterPage + kRegisterArea, 0);
    std::fill(m_mem + kHistogram, m_mem + kHistogram + kHistogramBytes, 0);
    m_mem[kRegStatus] |= 0x40;
    m_missionSamplesTaken = 0;
    m_low = AlarmTrack{};
    m_high = AlarmTrack{};
    markChanged();
}

void VirtualDs1921::convertTemperature()
{
    if (missionRunning() && !kConvertDuringMission) return;
    m_mem[kRegTemperature] = uint8_t(codeFor(temperatureAt(m_now)));
    put24(kRegDeviceSamples, (get24(kRegDeviceSamples) + 1) & 0xFFFFFF);
    markChanged();
}

// ---------------------------------------------------------------- persistence

QString VirtualDs1921::describe() const
{
    const uint8_t s = m_mem[kRegStatus];
    QString state;
    if (s & 0x20) {
        const int d = delayRemaining();
        state = d > 0 || missionSamples() == 0
                    ? QStringLiteral("mission waiting, %1 min delay left").arg(d)
                    : QStringLiteral("mission running, %1 samples").arg(missionSamples());
        state += QStringLiteral(", every %1 min%2").arg(m_mem[kRegSampleRate]).arg(m_mem[kRegControl] & 0x08 ? ", rollover" : "");
    } else {
        state = missionSamples() ? QStringLiteral("mission ended, %1 samples").arg(missionSamples())
                                 : QStringLiteral("no mission");
    }
    if (m_offsetC != 0) state += QStringLiteral(", room %1%2 °C").arg(m_offsetC > 0 ? "+" : "").arg(m_offsetC);
    return QStringLiteral("DS1921%1 logger, clock %2, %3")
        .arg(VariantName(m_variant), AtMs(deviceMs(m_now)).toString("yyyy-MM-dd HH:mm:ss"), state);
}

QJsonObject VirtualDs1921::save() const
{
    QJsonObject o = VirtualDevice::save();
    o["variant"] = VariantName(m_variant);
    o["offset"] = m_offsetC;
    o["sram"] = ToHex(m_mem, kRegisterPage);
    o["registers"] = ToHex(m_mem + kRegisterPage, kRegisterArea);
    o["histogram"] = ToHex(m_mem + kHistogram, kHistogramBytes);
    o["log"] = ToHex(m_mem + kLog, kLogSize);
    o["scratchpad"] = ToHex(m_pad, 32);
    o["ta"] = m_ta;
    o["es"] = m_es;
    o["rtcDevMs"] = double(m_rtcDevMs);
    o["rtcSimMs"] = double(m_rtcSimMs);
    o["oscStartSimMs"] = double(m_oscStartSimMs);
    o["dowBase"] = m_dowBase;
    o["hour12"] = m_hour12;
    o["alarmCheckDevSec"] = double(m_lastAlarmCheckDevSec);
    o["missionStartDevMs"] = double(m_missionStartDevMs);
    o["firstSampleDevMs"] = double(m_firstSampleDevMs);
    o["delayAtStart"] = m_delayAtStart;
    o["samplesTaken"] = double(m_missionSamplesTaken);
    o["lowNext"] = m_low.next;
    o["lowOpen"] = m_low.open;
    o["highNext"] = m_high.next;
    o["highOpen"] = m_high.open;
    o["now"] = double(m_now);
    if (m_crcFaultTimes != 0) {
        o["crcFaultPage"] = m_crcFaultPage;
        o["crcFaultTimes"] = m_crcFaultTimes;
    }
    return o;
}

void VirtualDs1921::load(const QJsonObject& o)
{
    VirtualDevice::load(o);
    m_offsetC = o.value("offset").toDouble(0.0);
    FromHex(o.value("sram").toString(), m_mem, kRegisterPage);
    FromHex(o.value("registers").toString(), m_mem + kRegisterPage, kRegisterArea);
    FromHex(o.value("histogram").toString(), m_mem + kHistogram, kHistogramBytes);
    FromHex(o.value("log").toString(), m_mem + kLog, kLogSize);
    FromHex(o.value("scratchpad").toString(), m_pad, 32);
    m_ta = quint16(o.value("ta").toInt());
    m_es = uint8_t(o.value("es").toInt());
    m_rtcDevMs = qint64(o.value("rtcDevMs").toDouble());
    m_rtcSimMs = qint64(o.value("rtcSimMs").toDouble());
    m_oscStartSimMs = qint64(o.value("oscStartSimMs").toDouble());
    m_dowBase = o.value("dowBase").toInt(1);
    m_hour12 = o.value("hour12").toBool();
    m_lastAlarmCheckDevSec = qint64(o.value("alarmCheckDevSec").toDouble());
    m_missionStartDevMs = qint64(o.value("missionStartDevMs").toDouble());
    m_firstSampleDevMs = qint64(o.value("firstSampleDevMs").toDouble());
    m_delayAtStart = o.value("delayAtStart").toInt();
    m_missionSamplesTaken = qint64(o.value("samplesTaken").toDouble());
    m_low = {o.value("lowNext").toInt(), o.value("lowOpen").toBool()};
    m_high = {o.value("highNext").toInt(), o.value("highOpen").toBool()};
    m_now = qint64(o.value("now").toDouble());
    m_crcFaultPage = o.value("crcFaultPage").toInt(-1);
    m_crcFaultTimes = o.value("crcFaultTimes").toInt(0);
}
