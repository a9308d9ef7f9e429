#pragma once
// One device found on the bus. The bus search creates it and gives it its bus and ROM; the
// rest of the program works with the device object only. Memory transfers are forwarded to
// the bus; the DS1921 (family 0x21) mission operations are built on them.
//
// Result codes: 0 success; -4 unknown parameter, wrong value type or value out of range;
// -5 no bus; -13 writing the scratchpad failed (WriteRaw); -14 copying it failed;
// -15 not a DS1921 (ROM text does not end in "21"); other values come from the bus.
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

class clsDallasDevice {
public:
    clsDallasBus* objMyBus = nullptr;   // the bus that found the device; null = no bus
    QString strROMText;
    QString strDeviceName;
    int16_t intSlaveUnitNo = 0;
    QString strSlaveStatus;
    int16_t intTimeoutSec = 10;

    // "ROMCODE" (any case) takes a RomArray (also as QVariant); "UNITNO" and "BUS" are read.
    int32_t SetParameter(const QString& strParameterName, const QVariant& vntValue);
    int32_t SetParameter(const QString& strParameterName, const RomArray& rom)
    { return SetParameter(strParameterName, QVariant::fromValue(rom)); }
    int32_t GetParameter(const QString& strParameterName, QVariant& vntParameter) const;
    int32_t GetRomCodeArray(RomArray& intROM) const;

    // Forwarded to the bus (-5 without bus)
    int32_t ReadPage(int16_t intPageNo, ByteBuffer& bytReadBuff);
    int32_t WritePage(int16_t intPageNo, const ByteBuffer& bytWriteBuff);
    int32_t ReadSemaphor(uint8_t& bytValue);
    int32_t WriteSemaphor(uint8_t bytValue);
    int32_t WriteScratch(int32_t lngAddress, const ByteBuffer& bytData);
    int32_t ReadScratch(ByteBuffer& bytReadBuff);
    int32_t CopyScratch(int32_t lngAddress, int16_t intLen);
    int32_t ReadRawMemory(int32_t intAddress, int16_t intLen, ByteBuffer& bytReadBuff);
    int32_t SendCommand(uint8_t bytCommand);
    int32_t ReadPageCRC(int32_t intAddress, int16_t& intPageCount, ByteBuffer& bytReadBuff);

    // DS1921 operations
    int32_t WriteRaw(int32_t lngAddress, const ByteBuffer& bytData);   // within one 32-byte page
    int32_t ClearMemory();
    int32_t SetDateTime(const QDateTime& datDateTime);                  // the logger's clock (UTC)
    int32_t SetSampleRate(uint8_t bytSampleRate);
    int32_t SetRollOver(bool blnNewValue);
    int32_t SetStartDelay(int32_t lngMinutes);                         // 0..65535, else -4
    int32_t SetTemperatureAlarms(float sngLowTresh, float sngHighTresh); // degrees Celsius
    int SingleToTemperature(float sngTemperature) const;               // logger code 0..255
    float CodeToTemperature(int code) const;                           // the variant's T from c
    bool IsMissionRunning();
    // The mission bit of the status register, read up to kStatusReadAttempts times; Unknown
    // when no read succeeded (IsMissionRunning says false then).
    enum class Mission { Running, Stopped, Unknown };
    Mission CheckedMissionState();
    int32_t StopMission();
    int32_t GetCurrentTemperature(float& sngTemperature);

    // Other device kinds (not used by the windows)
    int32_t DoInventory();   // family 0x04 mailbox exchange
    int32_t BuildFrame(uint8_t bytDestinationAddress, uint8_t bytByteCount, uint8_t bytSourceAddress,
                       uint8_t bytControlWord, uint8_t bytHeaderByte, const ByteBuffer& bytDataBytes,
                       ByteBuffer& bytDestBuffer) const;
    int32_t UnBuildFrame(uint8_t& bytDestinationAddress, uint8_t& bytByteCount, uint8_t& bytSourceAddress,
                         uint8_t& bytControlWord, uint8_t& bytHeaderByte, const ByteBuffer& bytFrame) const;
    int32_t GetDataRecord(QVariantList& vntRecord);   // family 0x0C: "Temperature", T, "Humidity", RH

    bool IsDS1921() const { return strROMText.endsWith("21"); }

private:
    int32_t WaitForFlag(int polls, uint8_t expected);

    RomArray intROMCode{};
};

// Polls of the status register's conversion-done bit after Convert Temperature, 50 ms apart.
// The DS1921's conversion time is not known for certain, so the reading waits for the bit.
inline constexpr int kConversionPolls = 20;
inline constexpr int kStatusReadAttempts = 3;
