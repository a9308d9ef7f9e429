#pragma once
// The 1-Wire bus object: the only class that talks to the driver layer (Tmex.h).
// It owns the driver session (reference counted), the search state buffer and the CRC16
// register, finds the devices on the bus (colDevices) and moves bytes between the program
// and one device's memory. Devices (clsDallasDevice) forward their transfers here.
//
// Results: BusResult below (the transfers return its values as int32_t; ResultText names them).
// ReadPageCRC asks again, with the page's own address, for a page whose transfer came back short
// or failed its CRC, at most kReadPageCrcRepeats times in a row; then it fails with BlockShort
// (first transfer, "TMBlockIO()="), StreamShort (streamed transfer, "TMBlockStream()=") or
// CrcMismatch.
//
// The transfers take the ROM of the device (RomArray, elements 0-7); the device objects
// (clsDallasDevice) forward their own transfers with their ROM. DoInventory makes the device
// objects through the factory that the device class registers (SetDeviceFactory).
#include <QMetaType>
#include <QString>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class clsDallasDevice;
class clsDallasBus;

// ROM array: elements 0-7 hold the ROM bytes in bus order (0 = family code, 7 = CRC8);
// element 8 is never used.
using RomArray = std::array<int16_t, 9>;
using ByteBuffer = std::vector<uint8_t>;
Q_DECLARE_METATYPE(RomArray)

// Bus status values (enuBusStatus)
enum : int32_t {
    cstUNDEFINED = 0,
    cstIDLE = -1,
    cstDOING_INITIALISATIONS = -2,
    cstWAIT_FOR_RESPONSE = -3,
    cstREADING_DATA = -4,
    cstWRITING_DATA = -5,
    cstRESETTING = -6,
    cstRETREIVING_INVENTORY = -7,
    cstREADING_SCRATCHPAD = -8,
    cstWRITING_SCRATCHPAD = -9,
};

// Results of the bus object. Two meanings share a value where the bus's callers have always seen
// that value for both (-3, -4); every other value has one meaning.
enum class BusResult : int32_t {
    Success = 0,
    SessionFailed = -3,        // GetSessionHandle: no driver session, or TMSetup failed
    PageWriteShort = -3,       // WritePage: the driver wrote another count than asked
    NoDevice = -4,             // no device given
    NotTemperatureSensor = -4, // ReadScratch on a device that is not of family 28
    SelectFailed = -5,         // TMAccess / TMStrongAccess did not select the device
    RomFailed = -6,            // TMRom refused the ROM
    BlockShort = -7,           // a block with reset moved fewer bytes
    StreamShort = -8,          // a block without reset moved fewer bytes
    ScratchpadMismatch = -9,   // the scratchpad read back differs from what was written
    NoSession = -10,           // a transfer could not take the session
    CopyStreamShort = -11,     // CopyScratch's block moved fewer bytes
    AllOnes = -12,             // ReadRawMemory read only 0xFF bytes
    CrcMismatch = -13,         // ReadPageCRC: a page's CRC16 did not hold
    PacketUnreadable = -16,    // ReadPage: the page packet could not be read
    DuplicateDevice = 457,     // DoInventory: a ROM found twice (run-time error number)
};
constexpr int32_t ToCode(BusResult r) { return static_cast<int32_t>(r); }
// Text of a bus result, for messages.
QString ResultText(BusResult r);

// Size of the driver's state buffer.
inline constexpr int kStateBufferSize = 15361;
// Repeats of one page in ReadPageCRC after a short transfer before it gives up.
inline constexpr int kReadPageCrcRepeats = 10;
// Reads of a page packet in ReadPage before it gives up; a page without a valid packet must read
// the same in two of them.
inline constexpr int kReadPacketAttempts = 4;

// The devices of the last search, in the order found, keyed by ROM text.
class DeviceCollection {
public:
    using Item = std::shared_ptr<clsDallasDevice>;
    int count() const { return int(items_.size()); }
    bool isEmpty() const { return items_.empty(); }
    Item at(int index) const { return items_.at(size_t(index)); }   // 0-based
    Item item(const QString& key) const;                             // empty when absent
    bool contains(const QString& key) const { return bool(item(key)); }
    // False (collection unchanged) when the key is already present.
    bool add(Item device, const QString& key);
    void clear() { items_.clear(); keys_.clear(); }
    std::vector<Item>::const_iterator begin() const { return items_.begin(); }
    std::vector<Item>::const_iterator end() const { return items_.end(); }

private:
    std::vector<Item> items_;
    std::vector<QString> keys_;
};

// Makes the device object for a ROM found by DoInventory (registered by the device class).
using DeviceFactory = std::function<std::shared_ptr<clsDallasDevice>(clsDallasBus* bus, const RomArray& rom)>;
void SetDeviceFactory(DeviceFactory factory);

class clsDallasBus {
public:
    clsDallasBus();    // runs Reset
    ~clsDallasBus();   // ends a session still open
    clsDallasBus(const clsDallasBus&) = delete;
    clsDallasBus& operator=(const clsDallasBus&) = delete;

    int16_t intPortNum = 0;      // TMEX port number, 1..15
    int16_t intPortType = 0;     // TMEX port type; always 5 after Reset
    bool blnSetupDone = false;   // TMSetup has succeeded on this object
    DeviceCollection colDevices; // result of the last search, key = ROM text

    // Events: the diagnostic outlet. Each is also copied to the bus trace (BusTrace.h).
    std::function<void(int32_t& enuOldStatus, int32_t& enuNewStatus)> BeforeStatusChange;
    std::function<void(const QString& vntMessage)> SetStatusMessage;
    std::function<void(int32_t lngErrNo, const QString& strDescription)> CommError;

    // Session, status, diagnostics
    void Reset();
    void DoProcessing();
    int32_t BusStatus() const { return enuBusStatus; }
    void SetBusStatus(int32_t vntNewValue);
    static QString GetBusStatusText(int32_t enuStatus);
    // Prefer BusSession (below), which releases what it took.
    [[nodiscard]] int32_t GetSessionHandle();   // 0 = session available, SessionFailed
    int32_t ReleaseSessionHandle();   // TMEndSession's result when this call closed the session
    int WaitForCompletion(int16_t& intTimeout);   // the last bit read; needs an open session
    int16_t SessionUsers() const { return intSessionUsers; }

    // Search
    int32_t DoInventory();   // 0 when the search ran (also when the session failed)
    static QString ROMToString(const RomArray& intROM);

    // Transfers on the device with ROM intROM
    [[nodiscard]] int32_t ReadPage(const RomArray& intROM, int16_t intPageNo, ByteBuffer& bytReadBuff);
    [[nodiscard]] int32_t WritePage(const RomArray& intROM, int16_t intPageNo, const ByteBuffer& bytWriteBuff);
    [[nodiscard]] int32_t WriteSemaphor(const RomArray& intROM, uint8_t bytValue);
    [[nodiscard]] int32_t ReadSemaphor(const RomArray& intROM, uint8_t& bytValue);
    [[nodiscard]] int32_t WriteScratch(const RomArray& intROM, int32_t lngAddress, const ByteBuffer& bytData);
    [[nodiscard]] int32_t CopyScratch(const RomArray& intROM, int32_t lngAddress, int16_t intLen);
    [[nodiscard]] int32_t ReadRawMemory(const RomArray& intROM, int32_t intAddress, int16_t intLen, ByteBuffer& bytReadBuff);
    // intPageCount is lowered for every page read (0 after success).
    [[nodiscard]] int32_t ReadPageCRC(const RomArray& intROM, int32_t intAddress, int16_t& intPageCount, ByteBuffer& bytReadBuff);
    [[nodiscard]] int32_t SendCommand(const RomArray& intROM, uint8_t bytCommand);
    [[nodiscard]] int32_t ReadScratch(const RomArray& intROM, ByteBuffer& bytReadBuff);
    // Inside a session the caller holds: touches every element but the last. False (bytes
    // unchanged) when the device could not be selected.
    [[nodiscard]] bool TouchBytes(ByteBuffer& bytBytes, const RomArray& intROMCode);

    // CRC16 (1-Wire, bit-reflected 0xA001), one byte at a time on lngCrc16.
    int32_t DoCrc16(int32_t b);
    void ClearCrc16() { lngCrc16 = 0; }
    int32_t Crc16() const { return lngCrc16; }
    static int odd_parity(int32_t x);

private:
    QString ReadRegistry(const QString& key, const QString& valueName) const;
    bool ReportCommError(int32_t lngErrNo, const QString& strDescription, const QString& procedure, int position);
    void Message(const QString& text);
    // Common failure path of the transfers: report, release the session when taken, return number.
    int32_t Fail(int32_t number, int position, const QString& description, const QString& procedure, bool release);
    int32_t FailIdle(int32_t number, int position, const QString& description, const QString& procedure);
    int32_t NoSessionFailure(const QString& procedure);
    [[nodiscard]] bool SelectDevice(const RomArray& rom);
    bool ReadPacketRegion(const RomArray& rom, int16_t intPageNo, ByteBuffer& raw);
    // Start of the transfers that select with TMStrongAccess: status, session, current ROM,
    // presence. 0, or the error already reported (session released, status idle).
    [[nodiscard]] int32_t BeginStrongTransfer(const RomArray& rom, const QString& procedure, bool rawMessage);

    std::vector<uint8_t> bytStateBuffer;
    int32_t lngSessionHandle = 0;
    int16_t intSessionUsers = 0;
    int32_t lngCrc16 = 0;
    int32_t enuBusStatus = cstUNDEFINED;
};

// The bus session for as long as the object lives: taken in the constructor, released in the
// destructor when it was taken.
class BusSession {
public:
    explicit BusSession(clsDallasBus& bus) : bus_(bus), result_(bus.GetSessionHandle()) {}
    ~BusSession()
    {
        if (result_ == 0) bus_.ReleaseSessionHandle();
    }
    BusSession(const BusSession&) = delete;
    BusSession& operator=(const BusSession&) = delete;
    [[nodiscard]] bool ok() const { return result_ == 0; }
    [[nodiscard]] int32_t result() const { return result_; }

private:
    clsDallasBus& bus_;
    int32_t result_;
};

// Held while a reading or a programming sequence works on a logger: the bus poll of the
// read-logger window leaves the bus and the logger image alone meanwhile (windows let events
// through during a sequence's pauses, and a poll cycle would search the bus and replace the
// device the sequence is writing to).
class BusSequenceGuard {
public:
    BusSequenceGuard() { ++count(); }
    ~BusSequenceGuard() { --count(); }
    BusSequenceGuard(const BusSequenceGuard&) = delete;
    BusSequenceGuard& operator=(const BusSequenceGuard&) = delete;
    static bool Active() { return count() > 0; }

private:
    static int& count()
    {
        static int running = 0;
        return running;
    }
};
