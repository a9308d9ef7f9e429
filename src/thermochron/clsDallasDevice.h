#pragma once
// One device found on the bus. The bus search creates it and gives it its bus and ROM; the
// rest of the program works with the device object only. Memory transfers are forwarded to
// the bus; the DS1921 (family 0x21) mission operations are built on them.
//
// Results: DeviceResult below (returned as int32_t; the transfers pass the bus's BusResult
// values through). ResultText names them.
#include "onewire/DS1921Map.h"
#include "onewire/OneWireProtocol.h"
#include "onewire/clsDallasBus.h"
#include <QDateTime>
#include <QString>
#include <QVariant>
#include <cstdint>

Q_DECLARE_METATYPE(clsDallasBus*)

// The DS1921 registers the callers of the device object name (memory map: DS1921Map.h).
using ds1921::kRegClock;
using ds1921::kRegStatus;

// Results of the device operations. Where one value has served two meanings of the device
// operations, both meanings have an enumerator of that value (-8, -10, -15).
enum class DeviceResult : int32_t {
    Success = 0,
    BadParameter = -4,          // unknown parameter name, wrong value type or value out of range
    NoBus = -5,                 // the device has no bus
    FlagTimeout = -7,           // mailbox: the flag did not come in the polls allowed
    PageWriteFailed = -8,       // StopMission: the kept packet could not be written back; mailbox frame
    DataRecordFailed = -8,      // GetDataRecord: the conversion did not end
    SemaphoreWriteFailed = -9,  // mailbox: setting the flag failed
    SessionFailed = -10,        // the bus session could not be taken
    PageReadAgainFailed = -10,  // StopMission: page 0 could not be read after the stop; mailbox answer
    FlagReadFailed = -11,       // mailbox: reading the flag failed
    UnknownFamily = -12,        // DoInventory on a device that is neither 04 nor 09
    ScratchWriteFailed = -13,   // WriteRaw: writing the scratchpad failed (or data cross a page)
    CopyFailed = -14,           // WriteRaw: copying the scratchpad failed
    NotDS1921 = -15,            // the ROM text does not end in "21" (or "28" where allowed)
    PageReadFailed = -15,       // StopMission: page 0 could not be read before the stop
};
constexpr int32_t ToCode(DeviceResult r) { return static_cast<int32_t>(r); }
QString ResultText(DeviceResult r);

class clsDallasDevice {
public:
    clsDallasBus* objMyBus = nullptr;   // the bus that found the device; null = no bus
    QString strROMText;
    QString strDeviceName;
    int16_t intSlaveUnitNo = 0;
    QString strSlaveStatus;
    int16_t intTimeoutSec = 10;

    // "ROMCODE" (any case) takes a RomArray (also as QVariant); "UNITNO" and "BUS" are read.
    [[nodiscard]] int32_t SetParameter(const QString& strParameterName, const QVariant& vntValue);
    [[nodiscard]] int32_t SetParameter(const QString& strParameterName, const RomArray& rom)
    { return SetParameter(strParameterName, QVariant::fromValue(rom)); }
    [[nodiscard]] int32_t GetParameter(const QString& strParameterName, QVariant& vntParameter) const;
    [[nodiscard]] int32_t GetRomCodeArray(RomArray& intROM) const;

    // Forwarded to the bus (-5 without bus)
    [[nodiscard]] int32_t ReadPage(int16_t intPageNo, ByteBuffer& bytReadBuff);
    [[nodiscard]] int32_t WritePage(int16_t intPageNo, const ByteBuffer& bytWriteBuff);
    [[nodiscard]] int32_t ReadSemaphor(uint8_t& bytValue);
    [[nodiscard]] int32_t WriteSemaphor(uint8_t bytValue);
    [[nodiscard]] int32_t WriteScratch(int32_t lngAddress, const ByteBuffer& bytData);
    [[nodiscard]] int32_t ReadScratch(ByteBuffer& bytReadBuff);
    [[nodiscard]] int32_t CopyScratch(int32_t lngAddress, int16_t intLen);
    [[nodiscard]] int32_t ReadRawMemory(int32_t intAddress, int16_t intLen, ByteBuffer& bytReadBuff);
    [[nodiscard]] int32_t SendCommand(uint8_t bytCommand);
    [[nodiscard]] int32_t ReadPageCRC(int32_t intAddress, int16_t& intPageCount, ByteBuffer& bytReadBuff);

    // DS1921 operations
    [[nodiscard]] int32_t WriteRaw(int32_t lngAddress, const ByteBuffer& bytData);   // within one 32-byte page
    [[nodiscard]] int32_t ClearMemory();
    [[nodiscard]] int32_t SetDateTime(const QDateTime& datDateTime);                  // the logger's clock (UTC)
    [[nodiscard]] int32_t SetSampleRate(uint8_t bytSampleRate);
    [[nodiscard]] int32_t SetRollOver(bool blnNewValue);
    [[nodiscard]] int32_t SetStartDelay(int32_t lngMinutes);                         // 0..65535, else -4
    [[nodiscard]] int32_t SetTemperatureAlarms(float sngLowTresh, float sngHighTresh); // degrees Celsius
    int SingleToTemperature(float sngTemperature) const;               // logger code 0..255
    float CodeToTemperature(int code) const;                           // the variant's T from c
    [[nodiscard]] bool IsMissionRunning();
    // The mission bit of the status register, read up to kStatusReadAttempts times; Unknown
    // when no read succeeded (IsMissionRunning says false then).
    enum class Mission { Running, Stopped, Unknown };
    Mission CheckedMissionState();
    [[nodiscard]] int32_t StopMission();
    [[nodiscard]] int32_t GetCurrentTemperature(float& sngTemperature);

    // Other device kinds (not used by the windows)
    [[nodiscard]] int32_t DoInventory();   // family 0x04 mailbox exchange
    [[nodiscard]] int32_t BuildFrame(uint8_t bytDestinationAddress, uint8_t bytByteCount, uint8_t bytSourceAddress,
                       uint8_t bytControlWord, uint8_t bytHeaderByte, const ByteBuffer& bytDataBytes,
                       ByteBuffer& bytDestBuffer) const;
    [[nodiscard]] int32_t UnBuildFrame(uint8_t& bytDestinationAddress, uint8_t& bytByteCount, uint8_t& bytSourceAddress,
                         uint8_t& bytControlWord, uint8_t& bytHeaderByte, const ByteBuffer& bytFrame) const;
    [[nodiscard]] int32_t GetDataRecord(QVariantList& vntRecord);   // family 0x0C: "Temperature", T, "Humidity", RH

    const RomArray& ROM() const { return intROMCode; }
    bool IsDS1921() const { return strROMText.endsWith("21"); }

private:
    [[nodiscard]] int32_t WaitForFlag(int polls, uint8_t expected);

    RomArray intROMCode{};
};

// Polls of the status register's conversion-done bit after Convert Temperature, 50 ms apart.
// The DS1921's conversion time is not known for certain, so the reading waits for the bit.
inline constexpr int kConversionPolls = 20;
inline constexpr int kStatusReadAttempts = 3;
