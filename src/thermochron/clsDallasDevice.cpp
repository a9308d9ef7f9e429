// Device object: forwarding to the bus and the DS1921 mission operations.
#include "thermochron/clsDallasDevice.h"
#include "onewire/BusWait.h"
#include <QRandomGenerator>
#include <cmath>

using namespace ds1921;

namespace {
// The bus makes its device objects through this class.
const bool kFactorySet = [] {
    SetDeviceFactory([](clsDallasBus* bus, const RomArray& rom) {
        auto device = std::make_shared<clsDallasDevice>();
        device->objMyBus = bus;
        (void)device->SetParameter(QStringLiteral("ROMCode"), rom);
        return device;
    });
    return true;
}();
constexpr int32_t kNoBus = ToCode(DeviceResult::NoBus);
} // namespace

QString ResultText(DeviceResult r)
{
    switch (r) {
    case DeviceResult::Success: return QStringLiteral("success");
    case DeviceResult::BadParameter: return QStringLiteral("bad parameter");
    case DeviceResult::NoBus: return QStringLiteral("the device has no bus");
    case DeviceResult::FlagTimeout: return QStringLiteral("the mailbox flag did not come");
    case DeviceResult::PageWriteFailed: return QStringLiteral("writing a page failed");
    case DeviceResult::SemaphoreWriteFailed: return QStringLiteral("setting the mailbox flag failed");
    case DeviceResult::SessionFailed: return QStringLiteral("no bus session, or reading a page again failed");
    case DeviceResult::FlagReadFailed: return QStringLiteral("reading the mailbox flag failed");
    case DeviceResult::UnknownFamily: return QStringLiteral("not a device of family 04 or 09");
    case DeviceResult::ScratchWriteFailed: return QStringLiteral("writing the scratchpad failed");
    case DeviceResult::CopyFailed: return QStringLiteral("copying the scratchpad failed");
    case DeviceResult::NotDS1921: return QStringLiteral("not a DS1921 logger, or reading page 0 failed");
    }
    return QStringLiteral("device result %1").arg(ToCode(r));
}

namespace {
uint8_t toBcd(int value) { return uint8_t(((value / 10) % 10) * 16 + value % 10); }
} // namespace

int32_t clsDallasDevice::SetParameter(const QString& strParameterName, const QVariant& vntValue)
{
    if (strParameterName.compare(QStringLiteral("ROMCODE"), Qt::CaseInsensitive) != 0) return ToCode(DeviceResult::BadParameter);
    if (vntValue.metaType() != QMetaType::fromType<RomArray>()) return ToCode(DeviceResult::BadParameter);
    intROMCode = vntValue.value<RomArray>();
    strROMText = clsDallasBus::ROMToString(intROMCode);
    return 0;
}

int32_t clsDallasDevice::GetParameter(const QString& strParameterName, QVariant& vntParameter) const
{
    if (strParameterName.compare(QStringLiteral("UNITNO"), Qt::CaseInsensitive) == 0) {
        vntParameter = QVariant::fromValue(intSlaveUnitNo);
        return 0;
    }
    if (strParameterName.compare(QStringLiteral("BUS"), Qt::CaseInsensitive) == 0) {
        vntParameter = QVariant::fromValue(objMyBus);
        return 0;
    }
    return ToCode(DeviceResult::BadParameter);
}

int32_t clsDallasDevice::GetRomCodeArray(RomArray& intROM) const
{
    intROM = intROMCode;
    return 0;
}

// ---- forwarded transfers ----------------------------------------------------------------------

int32_t clsDallasDevice::ReadPage(int16_t intPageNo, ByteBuffer& bytReadBuff)
{ return objMyBus ? objMyBus->ReadPage(intROMCode, intPageNo, bytReadBuff) : kNoBus; }
int32_t clsDallasDevice::WritePage(int16_t intPageNo, const ByteBuffer& bytWriteBuff)
{ return objMyBus ? objMyBus->WritePage(intROMCode, intPageNo, bytWriteBuff) : kNoBus; }
int32_t clsDallasDevice::ReadSemaphor(uint8_t& bytValue)
{ return objMyBus ? objMyBus->ReadSemaphor(intROMCode, bytValue) : kNoBus; }
int32_t clsDallasDevice::WriteSemaphor(uint8_t bytValue)
{ return objMyBus ? objMyBus->WriteSemaphor(intROMCode, bytValue) : kNoBus; }
int32_t clsDallasDevice::WriteScratch(int32_t lngAddress, const ByteBuffer& bytData)
{ return objMyBus ? objMyBus->WriteScratch(intROMCode, lngAddress, bytData) : kNoBus; }
int32_t clsDallasDevice::ReadScratch(ByteBuffer& bytReadBuff)
{ return objMyBus ? objMyBus->ReadScratch(intROMCode, bytReadBuff) : kNoBus; }
int32_t clsDallasDevice::CopyScratch(int32_t lngAddress, int16_t intLen)
{ return objMyBus ? objMyBus->CopyScratch(intROMCode, lngAddress, intLen) : kNoBus; }
int32_t clsDallasDevice::ReadRawMemory(int32_t intAddress, int16_t intLen, ByteBuffer& bytReadBuff)
{ return objMyBus ? objMyBus->ReadRawMemory(intROMCode, intAddress, intLen, bytReadBuff) : kNoBus; }
int32_t clsDallasDevice::SendCommand(uint8_t bytCommand)
{ return objMyBus ? objMyBus->SendCommand(intROMCode, bytCommand) : kNoBus; }
int32_t clsDallasDevice::ReadPageCRC(int32_t intAddress, int16_t& intPageCount, ByteBuffer& bytReadBuff)
{ return objMyBus ? objMyBus->ReadPageCRC(intROMCode, intAddress, intPageCount, bytReadBuff) : kNoBus; }

// ---- DS1921 operations ------------------------------------------------------------------------

int32_t clsDallasDevice::WriteRaw(int32_t lngAddress, const ByteBuffer& bytData)
{
    // One scratchpad's worth: data crossing a page end would be cut off by the device.
    if (bytData.empty() || (lngAddress % kPageSize) + int(bytData.size()) > kPageSize) return ToCode(DeviceResult::ScratchWriteFailed);
    if (WriteScratch(lngAddress, bytData) != 0) return ToCode(DeviceResult::ScratchWriteFailed);
    if (CopyScratch(lngAddress, int16_t(bytData.size())) != 0) return ToCode(DeviceResult::CopyFailed);
    return 0;
}

int32_t clsDallasDevice::ClearMemory()
{
    if (!IsDS1921()) return ToCode(DeviceResult::NotDS1921);
    if (!objMyBus) return kNoBus;
    // The session keeps the device selected from the enabling write to the command.
    BusSession session(*objMyBus);
    if (!session.ok()) return ToCode(DeviceResult::SessionFailed);
    int32_t r = WriteRaw(kRegControl, ByteBuffer{kCtlMemoryClearEnable});
    if (r == 0) {
        r = SendCommand(onewire::kClearMemory);
        BusWait(1);   // the device needs 500 us to clear
    }
    return r;
}

int32_t clsDallasDevice::SetDateTime(const QDateTime& datDateTime)
{
    if (!IsDS1921()) return ToCode(DeviceResult::NotDS1921);
    const QTime t = datDateTime.time();
    const QDate d = datDateTime.date();
    int32_t r = WriteRaw(kRegClock, ByteBuffer{toBcd(t.second()), toBcd(t.minute()), toBcd(t.hour())});
    if (r != 0) return r;
    const int year = d.year() % 100;
    const uint8_t month = uint8_t(toBcd(d.month()) + (year < 50 ? kCenturyBit : 0));
    return WriteRaw(kRegDate, ByteBuffer{toBcd(d.day()), month, toBcd(year)});
}

int32_t clsDallasDevice::SetSampleRate(uint8_t bytSampleRate)
{
    if (!IsDS1921()) return ToCode(DeviceResult::NotDS1921);
    return WriteRaw(kRegSampleRate, ByteBuffer{bytSampleRate});
}

int32_t clsDallasDevice::SetRollOver(bool blnNewValue)
{
    if (!IsDS1921()) return ToCode(DeviceResult::NotDS1921);
    ByteBuffer control;
    const int32_t r = ReadRawMemory(kRegControl, 1, control);
    if (r != 0) return r;
    const uint8_t value = blnNewValue ? uint8_t(control[0] | kCtlRollover) : uint8_t(control[0] & ~kCtlRollover);
    return WriteRaw(kRegControl, ByteBuffer{value});
}

int32_t clsDallasDevice::SetStartDelay(int32_t lngMinutes)
{
    if (!IsDS1921()) return ToCode(DeviceResult::NotDS1921);
    if (lngMinutes < 0 || lngMinutes > 65535) return ToCode(DeviceResult::BadParameter);
    return WriteRaw(kRegStartDelay, ByteBuffer{uint8_t(lngMinutes & 0xFF), uint8_t(lngMinutes / 256)});
}

int32_t clsDallasDevice::SetTemperatureAlarms(float sngLowTresh, float sngHighTresh)
{
    if (!IsDS1921()) return ToCode(DeviceResult::NotDS1921);
    return WriteRaw(kRegLowThreshold, ByteBuffer{uint8_t(SingleToTemperature(sngLowTresh)),
                                             uint8_t(SingleToTemperature(sngHighTresh))});
}

int clsDallasDevice::SingleToTemperature(float sngTemperature) const
{
    const QString variant = strROMText.mid(2, 3);
    double c;
    if (variant == "4F2") c = (double(sngTemperature) - 14.5) * 8.0;
    else if (variant == "3B2") c = (double(sngTemperature) + 5.5) * 8.0;
    else c = (double(sngTemperature) + 40.0) * 2.0;
    if (!std::isfinite(c)) return c > 0 ? 255 : 0;
    c = std::nearbyint(c);   // halves to the even neighbour
    if (c < 0) return 0;
    if (c > 255) return 255;
    return int(c);
}

float clsDallasDevice::CodeToTemperature(int code) const
{
    const QString variant = strROMText.mid(2, 3);
    if (variant == "4F2") return float(code / 8.0 + 14.5);
    if (variant == "3B2") return float(code / 8.0 - 5.5);
    return float(code / 2.0 - 40.0);
}

bool clsDallasDevice::IsMissionRunning()
{
    if (!IsDS1921() || !objMyBus) return false;
    ByteBuffer status;
    if (ReadRawMemory(kRegStatus, 1, status) != 0) return false;
    return (status[0] & kStsMissionRunning) != 0;
}

clsDallasDevice::Mission clsDallasDevice::CheckedMissionState()
{
    if (!IsDS1921() || !objMyBus) return Mission::Unknown;
    // The register comes without a CRC: it counts when two reads agree and bit 3, which the
    // device always reads as 0, is 0 (a logger leaving mid-byte reads as ones).
    int previous = -1;
    for (int attempt = 0; attempt < kStatusReadAttempts + 1; ++attempt) {
        ByteBuffer status;
        if (ReadRawMemory(kRegStatus, 1, status) != 0 || (status[0] & 0x08)) {
            previous = -1;
            continue;
        }
        if (status[0] == previous) return (status[0] & kStsMissionRunning) ? Mission::Running : Mission::Stopped;
        previous = status[0];
    }
    return Mission::Unknown;
}

int32_t clsDallasDevice::StopMission()
{
    if (!IsDS1921()) return ToCode(DeviceResult::NotDS1921);
    ByteBuffer before;
    if (ReadPage(0, before) != 0) return ToCode(DeviceResult::PageReadFailed);
    // The stop write itself must succeed, or the mission still runs.
    const int32_t w = WriteRaw(kRegStatus, ByteBuffer{0x00});
    if (w != 0) return w;
    BusWait(200);
    ByteBuffer after;
    if (ReadPage(0, after) != 0) return ToCode(DeviceResult::PageReadAgainFailed);
    if (after.size() != before.size() && WritePage(0, before) != 0) return ToCode(DeviceResult::PageWriteFailed);
    return 0;
}

int32_t clsDallasDevice::GetCurrentTemperature(float& sngTemperature)
{
    const bool is21 = strROMText.endsWith("21");
    const bool is28 = strROMText.endsWith("28");
    if (!is21 && !is28) return ToCode(DeviceResult::NotDS1921);
    if (!objMyBus) return kNoBus;
    BusSession session(*objMyBus);
    if (!session.ok()) return ToCode(DeviceResult::SessionFailed);
    int32_t r = SendCommand(onewire::kConvertTemperature);
    BusWait(50);
    if (r == 0 && is28) {
        ByteBuffer scratch;
        r = ReadScratch(scratch);   // read, but no temperature is derived from it
    } else if (r == 0) {
        // Wait for the conversion-done bit (TCB) before taking the result.
        ByteBuffer status;
        for (int poll = 0; poll < kConversionPolls; ++poll) {
            r = ReadRawMemory(kRegStatus, 1, status);
            if (r != 0 || (status[0] & kStsConversionIdle)) break;
            BusWait(50);
        }
        ByteBuffer code;
        if (r == 0) r = ReadRawMemory(kRegTemperature, 1, code);
        if (r == 0) sngTemperature = CodeToTemperature(code[0]);
    }
    return r;
}

// ---- other device kinds -----------------------------------------------------------------------

int32_t clsDallasDevice::WaitForFlag(int polls, uint8_t expected)
{
    BusWait(80 + int(QRandomGenerator::global()->bounded(41)));
    for (;;) {
        uint8_t flag = 0;
        if (ReadSemaphor(flag) != 0) return ToCode(DeviceResult::FlagReadFailed);
        if (flag == expected) return 0;
        if (polls <= 0) return ToCode(DeviceResult::FlagTimeout);
        BusWait(970 + int(QRandomGenerator::global()->bounded(61)));
        --polls;
    }
}

int32_t clsDallasDevice::DoInventory()
{
    if (strROMText.endsWith("09")) return 0;
    if (!strROMText.endsWith("04")) return ToCode(DeviceResult::UnknownFamily);
    int32_t r = WaitForFlag(0, '0');
    if (r != 0) return r;
    ByteBuffer frame;
    r = BuildFrame(0, 6, 255, 10, 20, ByteBuffer{}, frame);
    if (r != 0) return r;
    if (WritePage(1, frame) != 0) return ToCode(DeviceResult::PageWriteFailed);
    if (WriteSemaphor('M') != 0) return ToCode(DeviceResult::SemaphoreWriteFailed);
    r = WaitForFlag(intTimeoutSec, 'S');
    if (r != 0) return r;
    ByteBuffer answer;
    if (ReadPage(1, answer) != 0) return ToCode(DeviceResult::PageReadAgainFailed);
    strSlaveStatus = QDateTime::currentDateTime().toString("yyyy-MM-dd hh:mm:ss");
    return 0;
}

int32_t clsDallasDevice::BuildFrame(uint8_t bytDestinationAddress, uint8_t bytByteCount, uint8_t bytSourceAddress,
                                    uint8_t bytControlWord, uint8_t bytHeaderByte, const ByteBuffer& bytDataBytes,
                                    ByteBuffer& bytDestBuffer) const
{
    if (bytControlWord != 10) return ToCode(DeviceResult::BadParameter);
    bytDestBuffer = {bytDestinationAddress, bytByteCount, bytSourceAddress, bytControlWord, bytHeaderByte};
    bytDestBuffer.insert(bytDestBuffer.end(), bytDataBytes.begin(), bytDataBytes.end());
    return 0;
}

int32_t clsDallasDevice::UnBuildFrame(uint8_t& bytDestinationAddress, uint8_t& bytByteCount, uint8_t& bytSourceAddress,
                                      uint8_t& bytControlWord, uint8_t& bytHeaderByte, const ByteBuffer& bytFrame) const
{
    if (bytFrame.size() < 5) return ToCode(DeviceResult::BadParameter);
    bytDestinationAddress = bytFrame[0];
    bytByteCount = bytFrame[1];
    bytSourceAddress = bytFrame[2];
    bytControlWord = bytFrame[3];
    bytHeaderByte = bytFrame[4];
    return 0;
}

int32_t clsDallasDevice::GetDataRecord(QVariantList& vntRecord)
{
    if (!strROMText.endsWith("0C")) return ToCode(DeviceResult::NotDS1921);
    if (!objMyBus) return kNoBus;
    BusSession session(*objMyBus);
    if (!session.ok()) return ToCode(DeviceResult::SessionFailed);
    int32_t r = ToCode(DeviceResult::DataRecordFailed);
    ByteBuffer convert{onewire::kConvertTemperature, 0x00};
    if (!objMyBus->TouchBytes(convert, intROMCode)) return r;
    BusWait(200);
    int16_t timeout = 100;
    if (objMyBus->WaitForCompletion(timeout) == 0) {
        ByteBuffer bytes{onewire::kReadMemory, 0x12, 0x34, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};
        if (!objMyBus->TouchBytes(bytes, intROMCode)) return r;
        const double t = (bytes[3] * 256 + bytes[4]) / 100.0 - 40.0;
        const double s = bytes[6] * 256 + bytes[7];
        double rh = -4.0 + 0.0405 * s - 0.0000028 * s * s;
        rh += (t - 25.0) * (0.01 + 0.00008 * s);
        vntRecord = QVariantList{QStringLiteral("Temperature"), t, QStringLiteral("Humidity"), rh};
        r = ToCode(DeviceResult::Success);
    }
    return r;
}
