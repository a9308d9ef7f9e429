// Logger image: register decoding, the identity record, temperature conversion, sample series
// and calibration table. The transfers to and from a logger are in DS1921Transfer.cpp, the
// logger files in DS1921Files.cpp.
#include "image/clsDS1921Data.h"
#include "onewire/DS1921Map.h"
#include "app/modInternationalisation.h"
#include "app/modMain.h"
#include "app/RegularFile.h"
#include "thermochron/clsDallasDevice.h"

#include <QFile>
#include <QRegularExpression>
#include <cmath>
#include <limits>

namespace {

// Field separator of the identity record (the character with code 3).
const QChar kSeparator = QChar(3);

// Register offsets inside RegisterPages (logger address ds1921::kRegisterPage + offset).
using namespace ds1921;
constexpr int offsetOf(int address) { return address - kRegisterPage; }
enum RegisterOffset {
    regSeconds = offsetOf(kRegSeconds), regMinutes = offsetOf(kRegMinutes), regHours = offsetOf(kRegHours),
    regDay = offsetOf(kRegDate), regMonth = offsetOf(kRegMonth), regYear = offsetOf(kRegYear),
    regAlarmLow = offsetOf(kRegLowThreshold), regAlarmHigh = offsetOf(kRegHighThreshold),
    regSampleRate = offsetOf(kRegSampleRate), regControl = offsetOf(kRegControl),
    regDelayLow = offsetOf(kRegStartDelay), regDelayHigh = offsetOf(kRegStartDelay) + 1, regStatus = offsetOf(kRegStatus),
    regStartMinutes = offsetOf(kRegMissionStart), regStartHours = regStartMinutes + 1, regStartDay = regStartMinutes + 2,
    regStartMonth = regStartMinutes + 3, regStartYear = regStartMinutes + 4,
    regMissionSamples = offsetOf(kRegMissionSamples), regDeviceSamples = offsetOf(kRegDeviceSamples),
};
constexpr int kLogSlots = kDataLogBytes;

// Windows-1252 characters 0x80..0x9F; the five positions the code page leaves undefined map to
// the C1 control characters of the same value, as Windows itself converts them.
const char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

// Two BCD digits as a decimal number; -1 when a digit is above 9.
int bcd(int byte)
{
    const int hi = (byte >> 4) & 0x0F, lo = byte & 0x0F;
    if (hi > 9 || lo > 9) return -1;
    return hi * 10 + lo;
}

int twoDigitYear(int yy) { return yy < 30 ? 2000 + yy : 1900 + yy; }

} // namespace

// ---- Shared helpers ----------------------------------------------------------------------------

QDateTime DataAtRiskTime(const QDateTime& firstSample, const QDateTime& lastReading, int sampleRateMinutes,
                         bool rollOver)
{
    if (!firstSample.isValid() || sampleRateMinutes < 1) return QDateTime();
    QDateTime from = firstSample;
    if (rollOver && lastReading.isValid() && lastReading > from) from = lastReading;
    return from.addSecs(qint64(sampleRateMinutes) * kLogSlots * 60);
}

QString RomTextToSerialNo(const QString& romText)
{
    static const QRegularExpression hex16(QStringLiteral("^[0-9A-Fa-f]{16}$"));
    if (!hex16.match(romText).hasMatch()) return QStringLiteral("0000000000");
    bool ok = false;
    const quint64 serial = romText.mid(2, 12).toULongLong(&ok, 16);
    if (!ok) return QStringLiteral("0000000000");
    return QStringLiteral("%1").arg(serial % 10000000000ULL, 10, 10, QChar('0'));
}

LoggerVariant LoggerVariantOf(const QString& romText)
{
    const QString model = romText.mid(2, 3).toUpper();
    if (model == QLatin1String("4F2")) return LoggerVariant::H4F2;
    if (model == QLatin1String("3B2")) return LoggerVariant::Z3B2;
    return LoggerVariant::Standard;
}

float CodeToCelsius(int code, LoggerVariant variant)
{
    switch (variant) {
    case LoggerVariant::H4F2: return float(code) / 8.0f + 14.5f;
    case LoggerVariant::Z3B2: return float(code) / 8.0f - 5.5f;
    case LoggerVariant::Standard: break;
    }
    return float(code) / 2.0f - 40.0f;
}

QString Cp1252ToString(const QByteArray& bytes)
{
    QString text;
    text.reserve(bytes.size());
    for (char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        text.append(b >= 0x80 && b <= 0x9F ? QChar(kCp1252High[b - 0x80]) : QChar(b));
    }
    return text;
}

QByteArray StringToCp1252(const QString& text, bool* lossless)
{
    QByteArray bytes;
    bytes.reserve(text.size());
    bool all = true;
    for (QChar ch : text) {
        const char16_t u = ch.unicode();
        int b = -1;
        if (u < 0x80 || (u >= 0xA0 && u <= 0xFF)) {
            b = u;
        } else {
            for (int i = 0; i < 32; ++i)
                if (kCp1252High[i] == u) { b = 0x80 + i; break; }
        }
        if (b < 0) { b = '?'; all = false; }
        bytes.append(char(b));
    }
    if (lossless) *lossless = all;
    return bytes;
}

// ---- The image ---------------------------------------------------------------------------------

clsDS1921Data::clsDS1921Data() = default;
clsDS1921Data::~clsDS1921Data() = default;

// The application frame (app/AppObjects.cpp) may define the one live image itself; this
// definition stands in wherever it does not.
clsDS1921Data& AppLogger()
{
    // Kept to the very end of the process on purpose: destroying it at exit would end its bus
    // session after the driver layer's own objects may already be gone. Every transfer releases
    // its session when it returns, so nothing is left open.
    static clsDS1921Data* const logger = new clsDS1921Data;
    return *logger;
}

QString clsDS1921Data::field(int i) const
{
    return i < m_fields.size() ? m_fields[i] : QString();
}

void clsDS1921Data::setField(int i, const QString& v)
{
    while (m_fields.size() <= i) m_fields.append(QString());
    // A separator inside a value would shift every later field of the record.
    QString clean = v;
    clean.replace(kSeparator, QChar(' '));
    m_fields[i] = clean;
}

QString clsDS1921Data::LoggerRomText() const
{
    return objDeviceFound ? objDeviceFound->strROMText : QString();
}

QString clsDS1921Data::SerialNo() const { return field(1); }
void clsDS1921Data::SetSerialNo(const QString& v) { setField(1, v); }
QString clsDS1921Data::DeviceDescription() const { return field(2); }
void clsDS1921Data::SetDeviceDescription(const QString& v) { setField(2, v); }
QString clsDS1921Data::UserName() const { return field(5); }
void clsDS1921Data::SetUserName(const QString& v) { setField(5, v); }
QString clsDS1921Data::InterfaceSerial() const { return field(6); }
void clsDS1921Data::SetInterfaceSerial(const QString& v) { setField(6, v); }
QString clsDS1921Data::RecordRomText() const { return field(8); }

qint32 clsDS1921Data::DeviceID(bool* ok) const
{
    bool good = false;
    const qint64 v = field(3).trimmed().toLongLong(&good);
    good = good && v >= std::numeric_limits<qint32>::min() && v <= std::numeric_limits<qint32>::max();
    if (ok) *ok = good;
    return good ? qint32(v) : 0;
}

void clsDS1921Data::SetDeviceID(qint32 v) { setField(3, QString::number(v)); }

qint32 clsDS1921Data::Location() const { return DeviceID() / 100000; }
qint32 clsDS1921Data::Room() const { return (DeviceID() % 100000) / 100; }
qint32 clsDS1921Data::Position() const { return DeviceID() % 100; }

QDateTime clsDS1921Data::LastReading() const
{
    const QString text = field(4).trimmed();
    static const QRegularExpression digits(QStringLiteral("^[0-9]+$"));
    if (digits.match(text).hasMatch()) {
        if (text.size() != 12) return QDateTime();   // "0" and other numbers form no time
        const int yy = text.mid(0, 2).toInt(), mo = text.mid(2, 2).toInt(), dd = text.mid(4, 2).toInt();
        const int hh = text.mid(6, 2).toInt(), mi = text.mid(8, 2).toInt(), ss = text.mid(10, 2).toInt();
        const QDate date(twoDigitYear(yy), mo, dd);
        const QTime time(hh, mi, ss);
        if (!date.isValid() || !time.isValid()) return QDateTime();
        return UtcToLocal(QDateTime(date, time, Qt::UTC));
    }
    for (const char* pattern : {"yyyy-MM-dd HH:mm:ss", "yyyy-MM-ddTHH:mm:ss", "yyyy-MM-dd HH:mm", "yyyy-MM-dd"}) {
        QDateTime t = QDateTime::fromString(text, QString::fromLatin1(pattern));
        if (t.isValid()) {
            t.setTimeSpec(Qt::UTC);
            return UtcToLocal(t);
        }
    }
    // Neither a stamp nor a date-time text: the zero date-time.
    return QDateTime(QDate(1899, 12, 30), QTime(0, 0), Qt::UTC);
}

void clsDS1921Data::SetLastReading(const QDateTime& local)
{
    QDateTime utc = LocalToUtc(local);
    utc.setTimeSpec(Qt::UTC);
    setField(4, utc.toString(QStringLiteral("yyMMddHHmmss")));
}

// ---- Register decodings

int clsDS1921Data::reg(int offset) const
{
    return offset < m_registers.size() ? static_cast<unsigned char>(m_registers[offset]) : -1;
}

QDateTime clsDS1921Data::bcdDateTime(int secOffset, int minOffset, int hourOffset, int dayOffset,
                                     int monthOffset, int yearOffset) const
{
    const int last = std::max({secOffset, minOffset, hourOffset, dayOffset, monthOffset, yearOffset});
    if (last >= m_registers.size()) return QDateTime();
    const int sec = secOffset < 0 ? 0 : bcd(reg(secOffset));
    const int min = bcd(reg(minOffset));
    const int hour = bcd(reg(hourOffset) & 0x3F);
    const int day = bcd(reg(dayOffset));
    const int month = bcd(reg(monthOffset) & 0x1F);
    const int year = bcd(reg(yearOffset));
    if (sec < 0 || min < 0 || hour < 0 || day < 0 || month < 0 || year < 0) return QDateTime();
    const QDate date(twoDigitYear(year), month, day);
    const QTime time(hour, min, sec);
    if (!date.isValid() || !time.isValid()) return QDateTime();
    return UtcToLocal(QDateTime(date, time, Qt::UTC));
}

QDateTime clsDS1921Data::DateTime() const
{
    return bcdDateTime(regSeconds, regMinutes, regHours, regDay, regMonth, regYear);
}

QDateTime clsDS1921Data::MissionStart() const
{
    return bcdDateTime(-1, regStartMinutes, regStartHours, regStartDay, regStartMonth, regStartYear);
}

float clsDS1921Data::AlarmHigh() const
{
    const int c = reg(regAlarmHigh);
    return c < 0 ? std::numeric_limits<float>::quiet_NaN() : TemperatureToSingle(c);
}

float clsDS1921Data::AlarmLow() const
{
    const int c = reg(regAlarmLow);
    return c < 0 ? std::numeric_limits<float>::quiet_NaN() : TemperatureToSingle(c);
}

int clsDS1921Data::SampleRate() const { return std::max(0, reg(regSampleRate)); }

qint32 clsDS1921Data::MissionSamples() const
{
    if (regMissionSamples + 2 >= m_registers.size()) return 0;
    return reg(regMissionSamples) | (reg(regMissionSamples + 1) << 8) | (reg(regMissionSamples + 2) << 16);
}

qint32 clsDS1921Data::DeviceSamples() const
{
    if (regDeviceSamples + 2 >= m_registers.size()) return -1;
    return reg(regDeviceSamples) | (reg(regDeviceSamples + 1) << 8) | (reg(regDeviceSamples + 2) << 16);
}

qint32 clsDS1921Data::SamplesStored() const { return std::min(MissionSamples(), kLogSlots); }

QDateTime clsDS1921Data::MissionEnd() const
{
    const QDateTime start = MissionStart();
    if (!start.isValid()) return QDateTime();
    return start.addSecs(qint64(SampleRate()) * MissionSamples() * 60);
}

bool clsDS1921Data::RollOver() const { return reg(regControl) >= 0 && (reg(regControl) & kCtlRollover); }
bool clsDS1921Data::IsMissionRunning() const { return reg(regStatus) >= 0 && (reg(regStatus) & kStsMissionRunning); }
bool clsDS1921Data::HighAlarmFlag() const { return reg(regStatus) >= 0 && (reg(regStatus) & kStsHighAlarm); }
bool clsDS1921Data::LowAlarmFlag() const { return reg(regStatus) >= 0 && (reg(regStatus) & kStsLowAlarm); }

qint32 clsDS1921Data::MissionStartDelay() const
{
    if (regDelayHigh >= m_registers.size()) return 0;
    return reg(regDelayLow) + 256 * reg(regDelayHigh);
}

QDateTime clsDS1921Data::FirstSampleTime() const
{
    if (MissionSamples() > 0) return MissionStart();
    if (!IsMissionRunning()) return QDateTime();
    // Waiting for the start delay: the logger counts the delay down at each minute boundary and
    // takes its first sample at the boundary after it ran out.
    QDateTime clock = DateTime();
    if (!clock.isValid()) clock = LastReading();
    if (!clock.isValid()) return QDateTime();
    const QTime t = clock.time();
    clock.setTime(QTime(t.hour(), t.minute()));
    return clock.addSecs((qint64(MissionStartDelay()) + 1) * 60);
}

QDateTime clsDS1921Data::NextReading() const
{
    return DataAtRiskTime(FirstSampleTime(), LastReading(), SampleRate(), RollOver());
}

float clsDS1921Data::MaxTemp() const
{
    int best = 0;
    const int n = std::min<int>(SamplesStored(), m_log.size());
    for (int i = 0; i < n; ++i) best = std::max(best, int(static_cast<unsigned char>(m_log[i])));
    return TemperatureToSingle(best);
}

float clsDS1921Data::MinTemp() const
{
    int best = 255;
    const int n = std::min<int>(SamplesStored(), m_log.size());
    for (int i = 0; i < n; ++i) best = std::min(best, int(static_cast<unsigned char>(m_log[i])));
    return TemperatureToSingle(best);
}

// ---- Temperatures

float clsDS1921Data::TemperatureToSingle(int bytTemp, const QString& strROMCode) const
{
    const QString rom = strROMCode.isEmpty() ? RecordRomText() : strROMCode;
    float t = CodeToCelsius(bytTemp, LoggerVariantOf(rom));
    if (bytTemp >= 0 && size_t(bytTemp) < CalibTable.size()) {
        if (t < CalibLower) t = CalibLower;
        if (t > CalibUpper) t = CalibUpper;
        t += CalibTable[size_t(bytTemp)];
    }
    return t;
}

namespace {
// The leading number of a text, point as decimal separator; 0 when it does not start with one.
float leadingNumber(const QString& line)
{
    static const QRegularExpression number(QStringLiteral("^\\s*[-+]?(\\d+\\.?\\d*|\\.\\d+)([eE][-+]?\\d+)?"));
    const auto m = number.match(line);
    return m.hasMatch() ? m.captured(0).trimmed().toFloat() : 0.0f;
}
} // namespace

void clsDS1921Data::GetCalibData(const QString& directory, qint32& result)
{
    const RegularFileRead read = ReadRegularFile(directory + QLatin1Char('/') + SerialNo() + QStringLiteral(".dtc"), 4096,
                                                 OverBound::ReadPrefix);
    if (!read.ok()) { result = imgCalibNotLoaded; return; }
    QString content = Cp1252ToString(read.bytes);
    // Blanks around the whole content are ignored.
    int a = 0, b = int(content.size());
    while (a < b && content[a] == QLatin1Char(' ')) ++a;
    while (b > a && content[b - 1] == QLatin1Char(' ')) --b;
    const QStringList lines = content.mid(a, b - a).split(QStringLiteral("\r\n"));
    result = imgOk;
    if (lines.value(0) != QLatin1String("V1")) return;
    if (lines.size() < 6) { result = imgCalibNotLoaded; return; }
    CalibLower = leadingNumber(lines[4]);
    CalibUpper = leadingNumber(lines[5]);
    CalibTable.clear();
    for (int i = 0; i <= int(lines.size()) - 1 - 11; ++i) CalibTable.push_back(leadingNumber(lines[i + 7]));
}

// ---- Identity record

QStringList clsDS1921Data::DefaultNvramFields(const QString& loggerRomText)
{
    return {QStringLiteral("2"), QStringLiteral("0"), Translate(QStringLiteral("unknown")), QStringLiteral("0"),
            QStringLiteral("0"), App().CurrentUserName, RomTextToSerialNo(App().InterfaceRomCode),
            QStringLiteral("calibData"), loggerRomText.isEmpty() ? QStringLiteral("?") : loggerRomText};
}

bool clsDS1921Data::HoldsIdentity() const
{
    if (Cp1252ToString(m_nvram).split(kSeparator).size() < 8) return false;
    bool ok = false;
    const qint32 id = DeviceID(&ok);
    return ok && id > 0;
}

void clsDS1921Data::DecodeNVRAM()
{
    const QStringList fields = Cp1252ToString(m_nvram).split(kSeparator);
    m_fields = fields.size() < 8 ? DefaultNvramFields(LoggerRomText()) : fields;
}

QByteArray clsDS1921Data::EncodedRecord(const QString& romText) const
{
    const bool v2 = LoggerVariantOf(romText) != LoggerVariant::Standard;
    bool idOk = false;
    const qint32 id = DeviceID(&idOk);
    QStringList f{v2 ? QStringLiteral("2") : QStringLiteral("1"), SerialNo(), DeviceDescription(),
                  idOk ? QString::number(id) : QString(), field(4), UserName(), InterfaceSerial(),
                  QStringLiteral("...calib...")};
    if (v2) f.append(romText);
    return StringToCp1252(f.join(kSeparator));
}

void clsDS1921Data::EncodeNVRAM(const QString& romText) { m_nvram = EncodedRecord(romText); }

// ---- Sample series

std::vector<TemperatureSample> clsDS1921Data::TemperatureSamples(bool* complete) const
{
    std::vector<TemperatureSample> rows;
    if (complete) *complete = true;
    const int n = SamplesStored();
    if (n < 1) return rows;
    const qint64 rate = SampleRate();
    const qint64 missionSamples = MissionSamples();
    const QDateTime startLocal = MissionStart();
    const bool roll = RollOver();
    int slot = (roll && missionSamples > kLogSlots) ? int(missionSamples % kLogSlots) : 0;
    const int slotsNeeded = slot == 0 ? n : kLogSlots;
    // Without a start, a sample period or the slots themselves the times or codes cannot be told.
    if (!startLocal.isValid() || rate < 1 || m_log.size() < slotsNeeded) {
        if (complete) *complete = false;
        return rows;
    }
    QDateTime start = LocalToUtc(startLocal);
    start.setTimeSpec(Qt::UTC);
    const LoggerVariant variant = LoggerVariantOf(RecordRomText());
    rows.reserve(size_t(n));
    for (int r = 0; r < n; ++r) {
        // With rollover the times count back from the mission end, without it forward from the
        // start; both agree while no slot has been overwritten.
        const qint64 minutes = roll ? rate * (missionSamples - (n - r)) : rate * r;
        const int code = static_cast<unsigned char>(m_log[roll ? slot : r]);
        TemperatureSample s;
        s.time = start.addSecs(minutes * 60);
        s.celsius = HasCalibration() ? TemperatureToSingle(code) : CodeToCelsius(code, variant);
        rows.push_back(s);
        if (roll && ++slot >= kLogSlots) slot = 0;
    }
    return rows;
}
