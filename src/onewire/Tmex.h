#pragma once
// The 1-Wire driver layer: sessions keyed by handle on top of a OneWireLink per port.
// The state buffer (15361 bytes, owned by the caller) holds the search state and the current ROM.
//
// Results: TMExtendedStartSession > 0 = handle; most others 1 = success, 0 = failed
// (no presence, device not found), negative = driver error (TmexResult below). The transfers
// return byte counts, TMReadPacket/TMWritePacket a length or a negative TmexResult.
//
// Page packets (TMReadPacket/TMWritePacket) on the general-purpose memory (pages 0-15 of a
// DS1921 or DS1994, 32 bytes each): a length byte L, L data bytes, then the inverted CRC16
// (low byte first) over the length byte and the data, seeded with the page number. A packet
// may run on over the following pages, so L can be up to 255 as long as L + 3 bytes fit
// before the end of general-purpose memory; a packet that does not fit is refused before
// anything is written.
#include <QString>
#include <cstdint>

enum class TmexResult : int16_t {
    Success = 1,
    Failed = 0,              // no presence, device not found, setup failed
    NoSession = -200,        // handle unknown or session ended
    LinkFailed = -201,       // the adapter did not answer
    NoDevice = -202,         // no presence / current device not answering
    BadPacket = -203,        // no valid packet on the page (length or CRC)
    PacketTooLong = -204,    // does not fit in general-purpose memory
    NoPacketMemory = -205,   // the device kind has no packet pages
    WriteFailed = -206,      // scratchpad, copy or read-back failed
};
constexpr int16_t ToCode(TmexResult r) { return static_cast<int16_t>(r); }
inline constexpr int16_t kTmNoSession = ToCode(TmexResult::NoSession);
inline constexpr int16_t kTmLinkFailed = ToCode(TmexResult::LinkFailed);
inline constexpr int16_t kTmNoDevice = ToCode(TmexResult::NoDevice);
inline constexpr int16_t kTmBadPacket = ToCode(TmexResult::BadPacket);
inline constexpr int16_t kTmPacketTooLong = ToCode(TmexResult::PacketTooLong);
inline constexpr int16_t kTmNoPacketMemory = ToCode(TmexResult::NoPacketMemory);
inline constexpr int16_t kTmWriteFailed = ToCode(TmexResult::WriteFailed);

inline constexpr int kPacketPageSize = 32;
inline constexpr int kPacketPages = 16;            // general-purpose memory 0x000-0x1FF

[[nodiscard]] int32_t TMExtendedStartSession(int16_t portNum, int16_t portType, void* reserved);
[[nodiscard]] int16_t TMSetup(int32_t handle);
[[nodiscard]] int16_t TMFirst(int32_t handle, uint8_t* stateBuffer);
[[nodiscard]] int16_t TMNext(int32_t handle, uint8_t* stateBuffer);
// rom[0] == 0: reads the current ROM into rom[0..7]; else rom[0..7] becomes the current ROM.
[[nodiscard]] int16_t TMRom(int32_t handle, uint8_t* stateBuffer, int16_t* rom);
[[nodiscard]] int16_t TMAccess(int32_t handle, uint8_t* stateBuffer);
[[nodiscard]] int16_t TMStrongAccess(int32_t handle, uint8_t* stateBuffer);
[[nodiscard]] int16_t TMBlockIO(int32_t handle, uint8_t* buffer, int16_t length);
[[nodiscard]] int16_t TMBlockStream(int32_t handle, uint8_t* buffer, int16_t length);
[[nodiscard]] int16_t TMTouchByte(int32_t handle, int16_t byte);
[[nodiscard]] int16_t TMTouchBit(int32_t handle, int16_t bit);
[[nodiscard]] int16_t TMReadPacket(int32_t handle, uint8_t* stateBuffer, int16_t page, uint8_t* buffer, int16_t maxLength);
[[nodiscard]] int16_t TMWritePacket(int32_t handle, uint8_t* stateBuffer, int16_t page, const uint8_t* buffer, int16_t length);
int16_t TMTouchReset(int32_t handle);
int16_t TMEndSession(int32_t handle);
int16_t Get_Version(char* buffer);                        // buffer of 150 characters
int16_t TMGetTypeVersion(int16_t portType, char* buffer); // buffer of 150 characters

// Speed. Memory reads of a logger (a block beginning with Match ROM, a family 0x21 ROM and Read
// Memory or Read Memory with CRC, and the packet reads on such a device) go at overdrive when the
// port's link has it; searches, writes and every other exchange at standard speed. TMTouchReset and the end of a session reset at standard
// speed, which returns every device to standard. The TMEX key value "Overdrive" = "0" keeps a
// port at standard speed. An overdrive exchange that fails sets the port back to standard for the
// rest of the session (the caller's repeat then goes at standard); after
// kOverdriveFailuresAllowed such sessions the port stays at standard.
inline constexpr int kOverdriveFailuresAllowed = 2;
// The caller found a transfer of this session damaged (a CRC that does not hold, a read-back that
// differs, two reads that disagree): when the session used overdrive, the rest of it goes at
// standard speed.
void TMReportDamage(int32_t handle);
enum class TmexOverdrive { Unknown, Off, OffForSession, Allowed, Active };
// Where the port stands (for tests and diagnostics).
TmexOverdrive TMOverdriveState(int16_t portNum);

// Packet CRC as written by TMWritePacket (uninverted), for tests and tools.
uint16_t TmexPacketCrc(int page, const uint8_t* bytes, int count);
// Why the link of port portNum failed last (the adapter's own words with the remedy, such as
// "no USB 1-Wire adapter (DS2490) is attached: plug the USB reader in, ..."); empty when it did
// not fail or the port has no link yet.
QString TMLinkError(int16_t portNum);
// Ends every session and drops the port links (tests, shutdown).
void TmexShutdown();
