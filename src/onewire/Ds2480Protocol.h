#pragma once
// Byte codes of the DS2480B serial 1-Wire line driver and the reading of its answers, shared by
// the serial link (Ds2480Link) and the adapter emulator (Ds2480Emulator).
//
// Command byte format: 1 FF x SS p 1 — FF (bits 6-5) the function, SS (bits 3-2) the speed.
// Configuration byte: 0 PPP VVV 1 writes parameter PPP with value code VVV; 0 000 PPP 1 reads it.
#include <cstdint>

namespace ds2480 {

// Mode switches (command mode <-> data mode) and pulse termination.
constexpr uint8_t kDataMode = 0xE1;
constexpr uint8_t kCommandMode = 0xE3;     // in data mode; doubled it is a 0xE3 data byte
constexpr uint8_t kStopPulse = 0xF1;

// Communication commands at standard speed.
constexpr uint8_t kReset = 0xC1;           // also the power-up timing byte
constexpr uint8_t kBitWrite0 = 0x81;
constexpr uint8_t kBitWrite1 = 0x91;       // a read slot is a write-1 slot
constexpr uint8_t kBitStrongPullup = 0x02; // added to a single-bit command: pull-up after the slot
constexpr uint8_t kSearchAccelOn = 0xB1;
constexpr uint8_t kSearchAccelOff = 0xA1;
constexpr uint8_t kPulse5V = 0xED;         // strong pull-up pulse, disarmed

// Speed field of a communication command (bits 3-2). The speed bits of a reset command set the
// speed of the data-mode bytes that follow it; single-bit and search commands carry their own.
enum SpeedCode { SpeedStandard = 0, SpeedFlexible = 1, SpeedOverdrive = 2 };
constexpr uint8_t kResetOverdrive = 0xC9;
inline uint8_t WithSpeed(uint8_t command, int speedCode) { return uint8_t((command & ~0x0C) | ((speedCode & 3) << 2)); }
inline int SpeedOf(uint8_t command) { return (command >> 2) & 3; }

// Function field of a communication command (bits 6-5).
enum Function { FnSingleBit = 0, FnSearchAccel = 1, FnReset = 2, FnPulse = 3 };
inline bool IsCommunicationCommand(uint8_t b) { return (b & 0x81) == 0x81; }
inline int FunctionOf(uint8_t b) { return (b >> 5) & 3; }

// Configuration parameters (PPP) and the value codes the adapter is set to.
enum Parameter { ParPdsrc = 1, ParPpd = 2, ParSpud = 3, ParW1lt = 4, ParDso = 5, ParLoad = 6, ParRbr = 7 };
inline uint8_t ConfigWrite(int parameter, int valueCode) { return uint8_t(((parameter & 7) << 4) | ((valueCode & 7) << 1) | 1); }
inline uint8_t ConfigRead(int parameter) { return uint8_t(((parameter & 7) << 1) | 1); }
constexpr int kSpudInfinite = 7;           // strong pull-up lasts until kStopPulse
constexpr int kRbr9600 = 0;

// The configuration written at start-up (flexible-speed timing for long lines: slew 1.37 V/us,
// write-1 low time 10 us, data sample offset 8 us), followed by a read of the baud rate and a
// read slot; the answer that a DS2480B at 9600 baud on an idle bus gives to it.
constexpr uint8_t kInitConfig[5] = { 0x17, 0x45, 0x5B, 0x0F, 0x91 };
constexpr uint8_t kInitAnswer[5] = { 0x16, 0x44, 0x5A, 0x00, 0x93 };

// --- Answers -------------------------------------------------------------------------------
// Several details of the answers are not confirmed by the data sheet at hand. The readings
// below rely only on the confirmed parts, so that an adapter whose unconfirmed bits differ still
// works:
//  - Reset answer: bits 7-6 are 11 and bits 1-0 give the bus state (00 shorted, 01 presence,
//    10 alarming presence, 11 no presence). Bit 5 (programming voltage) and bits 4-2 (chip
//    revision) are reported but never checked.
//  - Single-bit answer: bits 7-5 repeat the single-bit function (100); bits 1-0 hold the bit read,
//    taken from bit 0.
//  - Pulse answer and the answer after a strong pull-up ends: format unknown, so none is
//    expected; whatever arrives in a short window after the termination is discarded.
enum class BusState { Shorted, Presence, AlarmingPresence, NoPresence };
inline bool IsResetAnswer(uint8_t r) { return (r & 0xC0) == 0xC0; }
inline BusState ResetBusState(uint8_t r) { return BusState(r & 3); }
inline int ResetChipRevision(uint8_t r) { return (r >> 2) & 7; }
inline bool IsBitAnswer(uint8_t r) { return (r & 0xE0) == 0x80; }
inline int BitOfAnswer(uint8_t r) { return r & 1; }
// Answer byte a DS2480B of the given revision gives to a reset (the emulator's model; a common
// adapter with a device present answers 0xCD, revision 3).
inline uint8_t MakeResetAnswer(BusState s, int revision = 3) { return uint8_t(0xC0 | ((revision & 7) << 2) | int(s)); }
// Time allowed after a strong pull-up is terminated for a possible answer byte.
constexpr int kPulseAnswerWindowMs = 25;

// --- Delays and line handling (common practice; the data sheet at hand gives none) ----------
constexpr int kAfterBreakMs = 2;         // after the break (master reset), then flush
constexpr int kAfterTimingByteMs = 4;    // after the timing byte, then flush
constexpr int kHold4800Ms = 20;          // 0x00 at 4800 baud held before going back to 9600
constexpr int kAfterBaudChangeMs = 5;    // the answer to a rate change is discarded: its rate is
                                         // not confirmed; the rate is read back instead
// The adapter's supply: both DTR and RTS are asserted (which one it needs is not confirmed).

// Serial byte time at 9600 baud, 8N1 (10 bits), in microseconds.
constexpr double kByteTimeUs9600 = 10.0 * 1e6 / 9600.0;

// 1-Wire time of the chip's operations, in microseconds: reset low plus high time, one slot.
constexpr double kStandardResetUs = 512 + 584;
constexpr double kStandardSlotUs = 65;
constexpr double kOverdriveResetUs = 64 + 74;
constexpr double kOverdriveSlotUs = 10;

// The rates the link tries, fastest first; 9600 is where every adapter starts.
constexpr int kBaudSteps[4] = { 115200, 57600, 19200, 9600 };
// The next slower rate (9600 stays 9600).
inline int LowerBaud(int baud)
{
    for (int b : kBaudSteps)
        if (b < baud) return b;
    return 9600;
}

// Time slots of the 1-Wire operations, as counted by timeSlots() (a reset counts as one).
constexpr uint64_t kSlotsPerByte = 8;
constexpr uint64_t kSlotsPerSearchPass = 1 + 8 + 64 * 3;   // reset, Search ROM, 64 triplets

} // namespace ds2480
