#pragma once
// The DS1921 memory map: 32-byte pages in a 16-bit address space. Used by the device class, the
// logger image and the simulated logger.
#include <cstdint>

namespace ds1921 {

inline constexpr int kPageSize = 32;               // also the scratchpad's size

// General-purpose SRAM, pages 0-15 (the page packets live here).
inline constexpr int kUserMemory = 0x0000;
inline constexpr int kUserPages = 16;

// Register page 16 (0x200-0x21F), and the alarm records of pages 17-19 after it.
inline constexpr int kRegisterPage = 0x0200;
inline constexpr int kRegisterBytes = 32;
inline constexpr int kRegisterArea = 0x80;         // 0x200-0x27F: registers and alarm records
inline constexpr int kRegSeconds = 0x200;          // 0x200-0x202 seconds, minutes, hours (BCD)
inline constexpr int kRegClock = 0x200;
inline constexpr int kRegMinutes = 0x201;
inline constexpr int kRegHours = 0x202;
inline constexpr int kRegDayOfWeek = 0x203;
inline constexpr int kRegDate = 0x204;             // 0x204-0x206 date, month (+ century), year
inline constexpr int kRegMonth = 0x205;
inline constexpr int kRegYear = 0x206;
inline constexpr int kRegClockAlarm = 0x207;       // 0x207-0x20A seconds, minutes, hours, day
inline constexpr int kRegLowThreshold = 0x20B;
inline constexpr int kRegHighThreshold = 0x20C;
inline constexpr int kRegSampleRate = 0x20D;       // non-zero starts the mission
inline constexpr int kRegControl = 0x20E;
inline constexpr int kRegTemperature = 0x211;      // last conversion
inline constexpr int kRegStartDelay = 0x212;       // minutes, low byte first (0x212-0x213)
inline constexpr int kRegStatus = 0x214;
inline constexpr int kRegMissionStart = 0x215;     // 0x215-0x219 minutes, hours, date, month, year
inline constexpr int kRegMissionSamples = 0x21A;   // 24 bits, low byte first
inline constexpr int kRegDeviceSamples = 0x21D;    // 24 bits, low byte first

// Control register bits.
inline constexpr uint8_t kCtlOscillatorOff = 0x80; // EOSC
inline constexpr uint8_t kCtlMemoryClearEnable = 0x40;
inline constexpr uint8_t kCtlMissionEnable = 0x10; // EM (1 = missions disabled)
inline constexpr uint8_t kCtlRollover = 0x08;

// Status register bits.
inline constexpr uint8_t kStsConversionIdle = 0x80;  // TCB
inline constexpr uint8_t kStsMemoryCleared = 0x40;
inline constexpr uint8_t kStsMissionRunning = 0x20;  // MIP
inline constexpr uint8_t kStsSampleRunning = 0x10;   // SIP
inline constexpr uint8_t kStsLowAlarm = 0x04;
inline constexpr uint8_t kStsHighAlarm = 0x02;
inline constexpr uint8_t kStsClockAlarm = 0x01;

// Month register: the century bit.
inline constexpr uint8_t kCenturyBit = 0x80;

// Alarm records: 12 low, then 12 high, 4 bytes each (3-byte time stamp, duration).
inline constexpr int kLowAlarmLog = 0x0220;
inline constexpr int kHighAlarmLog = 0x0250;
inline constexpr int kAlarmRecords = 12;
inline constexpr int kAlarmRecordBytes = 4;

// Temperature histogram, 16-bit bins (pages 64-67).
inline constexpr int kHistogram = 0x0800;
inline constexpr int kHistogramBytes = 0x80;

// Data log, one byte per sample (pages 128-191).
inline constexpr int kDataLog = 0x1000;
inline constexpr int kDataLogBytes = 2048;
inline constexpr int kDataLogPages = kDataLogBytes / kPageSize;

// The two register pages the reading takes (0x200-0x23F).
inline constexpr int kReadingRegisterPages = 2;

} // namespace ds1921
