#pragma once
// Codes of the DS2490 USB 1-Wire bridge and the reading of its status packets, shared by the USB
// link (Ds2490Link) and the adapter emulator (Ds2490Emulator).
//
// Every command is a vendor control request on endpoint 0 (bmRequestType 0x40): bRequest is the
// command type (control, communication, mode), wValue the command code with its flag bits, wIndex
// its parameter. Data for the 1-Wire side goes out on bulk endpoint 2, data read from it comes
// back on bulk endpoint 3, and the interrupt endpoint 1 gives a 16-byte status packet followed by
// the result bytes of commands that ended with an error or a detection.
#include <cstdint>

namespace ds2490 {

// USB identity and endpoints.
constexpr uint16_t kVendorId = 0x04FA;
constexpr uint16_t kProductId = 0x2490;
constexpr int kInterface = 0;
constexpr uint8_t kEpStatus = 0x81;     // interrupt IN
constexpr uint8_t kEpDataOut = 0x02;    // bulk OUT
constexpr uint8_t kEpDataIn = 0x83;     // bulk IN
constexpr uint8_t kVendorOut = 0x40;    // bmRequestType of every command
constexpr int kFifoSize = 128;          // data FIFO each way: the largest block of one command

// Command types (bRequest).
enum CommandType : uint8_t { Control = 0x00, Comm = 0x01, Mode = 0x02 };

// Control commands (wValue).
constexpr uint16_t kCtlResetDevice = 0x0000;
constexpr uint16_t kCtlStartExe = 0x0001;
constexpr uint16_t kCtlResumeExe = 0x0002;
constexpr uint16_t kCtlHaltExeIdle = 0x0003;
constexpr uint16_t kCtlHaltExeDone = 0x0004;
constexpr uint16_t kCtlFlushCommCmds = 0x0007;
constexpr uint16_t kCtlFlushRcvBuffer = 0x0008;
constexpr uint16_t kCtlFlushXmtBuffer = 0x0009;

// Mode commands (wValue) and their parameters (wIndex).
constexpr uint16_t kModPulseEnable = 0x0000;     // wIndex: kPulseSpu to allow the strong pull-up
constexpr uint16_t kModSpeedChangeEnable = 0x0001;
constexpr uint16_t kMod1WireSpeed = 0x0002;      // wIndex: kSpeed*
constexpr uint16_t kModStrongPullupDuration = 0x0003;   // wIndex: duration in 16 ms units
constexpr uint16_t kModPulldownSlewRate = 0x0004;
constexpr uint16_t kModProgPulseDuration = 0x0005;
constexpr uint16_t kModWrite1LowTime = 0x0006;
constexpr uint16_t kModDsoW0Recovery = 0x0007;
constexpr uint16_t kPulseSpu = 0x0002;
constexpr uint16_t kSpeedRegular = 0;
constexpr uint16_t kSpeedFlexible = 1;
constexpr uint16_t kSpeedOverdrive = 2;

// Communication commands (wValue, the code with its flags).
constexpr uint16_t kCommSetDuration = 0x0012;
constexpr uint16_t kCommBitIo = 0x0020;          // flag D = the bit to write; the bit read on EP3
constexpr uint16_t kCommPulse = 0x0030;
constexpr uint16_t kCommReset = 0x0042;
constexpr uint16_t kCommByteIo = 0x0052;         // wIndex = the byte; the byte read on EP3
constexpr uint16_t kCommMatchAccess = 0x0064;
constexpr uint16_t kCommBlockIo = 0x0074;        // bytes on EP2, wIndex = count, read back on EP3
constexpr uint16_t kCommSearchAccess = 0x00F4;   // start ROM on EP2; wIndex = command | count << 8

// Flags of communication commands.
constexpr uint16_t kFlagIm = 0x0001;    // execute at once
constexpr uint16_t kFlagD = 0x0008;     // command-specific: bit value (bit I/O), SM (search)
constexpr uint16_t kFlagSm = 0x0008;
constexpr uint16_t kFlagRst = 0x0100;   // 1-Wire reset before the command
constexpr uint16_t kFlagIcp = 0x0200;
constexpr uint16_t kFlagF = 0x0800;     // flush the buffers when the command fails
constexpr uint16_t kFlagSpu = 0x1000;   // strong pull-up after the command
constexpr uint16_t kFlagRts = 0x4000;   // search: return the discrepancy information

// Status packet (endpoint 1): 16 bytes, then result bytes.
constexpr int kStatusSize = 16;
constexpr int kStEnableFlags = 0;
constexpr int kStSpeed = 1;
constexpr int kStSpuDuration = 2;
constexpr int kStDeviceStatus = 8;
constexpr int kStCommBufferStatus = 11;   // communication commands still waiting
constexpr int kStDataOutStatus = 12;      // bytes waiting in the EP2 FIFO
constexpr int kStDataInStatus = 13;       // bytes waiting in the EP3 FIFO
// Device status flags.
constexpr uint8_t kStatusSpua = 0x01;     // strong pull-up active
constexpr uint8_t kStatusHalt = 0x10;
constexpr uint8_t kStatusIdle = 0x20;
constexpr uint8_t kStatusEpof = 0x80;

// Result bytes.
constexpr uint8_t kResultDeviceDetect = 0xA5;   // a device was detected (not an error)
constexpr uint8_t kResultNrs = 0x01;   // no presence after a reset
constexpr uint8_t kResultSh = 0x02;    // 1-Wire line shorted
constexpr uint8_t kResultApp = 0x04;   // alarming presence
constexpr uint8_t kResultCmp = 0x10;   // compare error (written and read back differ)
constexpr uint8_t kResultCrc = 0x20;
constexpr uint8_t kResultEos = 0x80;   // search: no further device

// --- Facts not confirmed -------------------------------------------------------------------
// The data sheet at hand was read for the command set above. These details could not be
// confirmed; the link relies on them as little as it can, and each is kept here:
//  - Result bytes come only when a command failed (NTF = 0, as the data sheet says); the byte
//    0xA5 is taken as "device detected" and skipped wherever it appears; only bytes other than
//    0xA5 are read as error bits (the names above).
//  - A reset reports "no presence" only through NRS; a reset without an NRS result counts as a
//    presence. A short is SH. APP counts as a presence.
//  - Search access with SM and RTS, asked for one device: it follows the start ROM's bit at every
//    discrepancy, returns the ROM found and then 8 bytes with a 1 at each discrepancy position;
//    with no device it returns nothing and reports NRS; EOS is not relied upon.
//  - A strong pull-up started with SPU is ended by HALT EXECUTION and RESUME EXECUTION (the
//    data sheet says so for pulses of infinite duration; the link sets a bounded duration, so
//    that the pull-up also ends on its own should the halt not end it).
//  - A command has ended when the status shows IDLE and the communication buffer is empty.
//  - The alternate settings' packet sizes are left at the device's default (setting 0 is
//    claimed as it is).
// Timing of the bridge as the emulator plays it and the benchmark bounds it (typical values).
constexpr double kRegularSlotUs = 86;
constexpr double kRegularResetUs = 1100;
constexpr double kOverdriveSlotUs = 10;
constexpr double kOverdriveResetUs = 150;
// A control request, a bulk transfer or a status poll takes about one USB frame.
constexpr double kUsbTransferUs = 1000;

// How long the link waits for a command to end, in milliseconds (a regular-speed block of the
// FIFO size takes about 90 ms; a reset about 1 ms).
constexpr int kCommandTimeoutMs = 500;
constexpr int kTransferTimeoutMs = 1000;

} // namespace ds2490
