// Devices and transfers of the logger image: finding a device on the bus, reading the image
// from the connected logger and writing the identity record back to it.
#include "image/clsDS1921Data.h"
#include "app/modMain.h"
#include "onewire/DS1921Map.h"
#include "onewire/Tmex.h"
#include "thermochron/clsDallasDevice.h"

static_assert(kMaxNvramRecordBytes <= 255 && kMaxNvramRecordBytes + 3 <= kPacketPages * kPacketPageSize,
              "the identity record must fit one page packet of the general-purpose memory");

namespace {
constexpr int32_t kRegisterPagesAddress = ds1921::kRegisterPage;
constexpr int16_t kRegisterPageCount = ds1921::kReadingRegisterPages;
constexpr int32_t kDataLogAddress = ds1921::kDataLog;
constexpr int16_t kDataLogPageCount = ds1921::kDataLogPages;
constexpr int32_t kAlarmLogAddress = ds1921::kLowAlarmLog;
constexpr int16_t kAlarmLogPageCount = 3;
constexpr int32_t kHistogramAddress = ds1921::kHistogram;
constexpr int16_t kHistogramPageCount = ds1921::kHistogramBytes / kPacketPageSize;

QByteArray toByteArray(const ByteBuffer& b) { return QByteArray(reinterpret_cast<const char*>(b.data()), qsizetype(b.size())); }
} // namespace

clsDallasBus& clsDS1921Data::Bus()
{
    if (!objBus) objBus = std::make_shared<clsDallasBus>();
    return *objBus;
}

QString clsDS1921Data::DeviceFound(const QString& strFamily)
{
    clsDallasBus& bus = Bus();
    if (bus.DoInventory() != 0) return QString();
    for (const auto& device : bus.colDevices) {
        if (device && device->strROMText.right(2).compare(strFamily, Qt::CaseInsensitive) == 0) {
            if (strFamily == QLatin1String("21")) objDeviceFound = device;
            return device->strROMText;
        }
    }
    return QString();
}

void clsDS1921Data::ReadImageFromLogger(bool blnOmitLogData, qint32& result)
{
    m_lastError.clear();
    if (!objDeviceFound) {
        m_lastError = QStringLiteral("no logger device found");
        result = imgNoLoggerDevice;
        return;
    }
    m_alarmLog.clear();
    m_histogram.clear();
    m_evidenceTried = false;
    m_evidenceReadUtc = QDateTime();
    // The identity record. A read that leaves the buffer empty (no session) is a failure too.
    result = imgNvramNotRead;
    ByteBuffer record;
    if (objDeviceFound->ReadPage(0, record) != 0 || record.empty()) return;
    m_nvram = toByteArray(record);
    DecodeNVRAM();

    result = imgRegistersNotRead;
    ByteBuffer registers;
    int16_t pages = kRegisterPageCount;
    if (objDeviceFound->ReadPageCRC(kRegisterPagesAddress, pages, registers) != 0) return;
    if (registers.size() < size_t(kRegisterPageCount * kPacketPageSize)) return;
    m_registers = toByteArray(registers);
    if (blnOmitLogData) { result = imgOk; return; }

    result = imgLogNotRead;
    ByteBuffer log;
    pages = kDataLogPageCount;
    if (objDeviceFound->ReadPageCRC(kDataLogAddress, pages, log) != 0) return;
    if (log.size() < size_t(kDataLogPageCount * kPacketPageSize)) return;
    m_log = toByteArray(log);
    result = imgOk;

    // The alarm log and the histogram: a failure here leaves them "not read" and the samples read.
    m_evidenceTried = true;
    m_evidenceReadUtc = NowUtc();
    ByteBuffer alarms;
    pages = kAlarmLogPageCount;
    if (objDeviceFound->ReadPageCRC(kAlarmLogAddress, pages, alarms) == 0 &&
        alarms.size() >= size_t(kAlarmLogPageCount * kPacketPageSize))
        m_alarmLog = toByteArray(alarms).left(kAlarmLogPageCount * kPacketPageSize);
    ByteBuffer histogram;
    pages = kHistogramPageCount;
    if (objDeviceFound->ReadPageCRC(kHistogramAddress, pages, histogram) == 0 &&
        histogram.size() >= size_t(kHistogramPageCount * kPacketPageSize))
        m_histogram = toByteArray(histogram).left(kHistogramPageCount * kPacketPageSize);
}

QString clsDS1921Data::RecordTooLongText(int length)
{
    return QStringLiteral("the logger record is %1 bytes long; a logger holds at most %2").arg(length).arg(kMaxNvramRecordBytes);
}

bool clsDS1921Data::RecordFitsLogger(QString* why) const
{
    const int length = int(EncodedRecord(LoggerRomText()).size());
    if (length <= kMaxNvramRecordBytes) return true;
    if (why) *why = RecordTooLongText(length);
    return false;
}

void clsDS1921Data::WriteImageToLoggerNVRAM(qint32& result)
{
    m_lastError.clear();
    if (!objDeviceFound) {
        m_lastError = QStringLiteral("no logger device found");
        result = imgNoLoggerDevice;
        return;
    }
    // Refused before anything reaches the logger.
    const QByteArray record = EncodedRecord(objDeviceFound->strROMText);
    if (record.size() > kMaxNvramRecordBytes) {
        m_lastError = RecordTooLongText(int(record.size()));
        result = imgRecordTooLong;
        return;
    }
    m_nvram = record;
    result = objDeviceFound->WritePage(0, ByteBuffer(record.begin(), record.end()));
}

void clsDS1921Data::SetEvidenceBytes(const QByteArray& alarmLog, const QByteArray& histogram, const QDateTime& readUtc)
{
    m_alarmLog = alarmLog;
    m_histogram = histogram;
    m_evidenceTried = true;
    m_evidenceReadUtc = readUtc;
}
