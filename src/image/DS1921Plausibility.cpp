// Whether a logger image can be what a DS1921 programmed by this program holds. Logger files carry
// no checksum: a damaged byte in a file is only seen by what it decodes to. The rules follow the
// device: bits that always read 0, BCD clock registers, the mission timestamp copied from the
// clock when logging begins, samples taken on minute boundaries every SampleRate minutes, and
// the device samples counter that counts every conversion since manufacture (mission samples
// included).
#include "image/clsDS1921Data.h"
#include "onewire/DS1921Map.h"

#include "app/modMain.h"

#include <QRegularExpression>

namespace {

const QChar kSeparator = QChar(3);
using ds1921::kRegisterBytes;   // 0x200-0x21F
constexpr int kLogSlots = ds1921::kDataLogBytes;

// Register bits that a DS1921 always reads as 0, by offset from 0x200.
struct ZeroBits { int offset; int mask; };
constexpr ZeroBits kAlwaysZero[] = {
    {0x00, 0x80}, {0x01, 0x80}, {0x02, 0x80}, {0x03, 0xF8}, {0x04, 0xC0}, {0x05, 0x60},
    {0x0E, 0x20}, {0x0F, 0xFF}, {0x10, 0xFF}, {0x14, 0x08},
    {0x15, 0x80}, {0x16, 0x80}, {0x17, 0xC0}, {0x18, 0x60},
};

QString hexByte(int v) { return QStringLiteral("0x") + QString::number(v, 16).rightJustified(2, QChar('0')).toUpper(); }

// A local date-time property of the image back in UTC.
QDateTime toUtc(const QDateTime& local)
{
    QDateTime t = LocalToUtc(local);
    t.setTimeSpec(Qt::UTC);
    return t;
}

QString hexBytes(const QByteArray& r, int from, int to)
{
    QStringList parts;
    for (int i = from; i <= to; ++i) parts << QStringLiteral("%1").arg(static_cast<unsigned char>(r[i]), 2, 16, QChar('0')).toUpper();
    return parts.join(' ');
}

QString utcText(const QDateTime& t) { return t.toString(QStringLiteral("yyyy-MM-dd HH:mm")) + QStringLiteral(" UTC"); }

} // namespace

QString clsDS1921Data::ImplausibleBecause() const
{
    // ---- Identity record
    if (!m_nvram.isEmpty()) {
        const qsizetype n = Cp1252ToString(m_nvram).split(kSeparator).size();
        if (n < 8)
            return QStringLiteral("the identity record is damaged: it holds %1 fields, at least 8 expected").arg(n);
    }
    if (m_fields.size() < 8)
        return QStringLiteral("the identity record is damaged: it holds %1 fields, at least 8 expected").arg(m_fields.size());
    const QString version = m_fields.value(0);
    if (version != QLatin1String("1") && version != QLatin1String("2"))
        return QStringLiteral("the identity record is damaged: record version \"%1\", 1 or 2 expected").arg(version);
    bool idOk = false;
    const qint32 id = DeviceID(&idOk);
    if (!idOk)
        return QStringLiteral("the identity record is damaged: DeviceID \"%1\" is not a number").arg(m_fields.value(3));
    if (id == 0)
        return QStringLiteral("the identity record names no logger position (DeviceID 0 \"%1\")").arg(DeviceDescription());
    if (id < 100000 || id > 999999999)
        return QStringLiteral("the identity record is damaged: DeviceID %1 has no site number 1 to 9999").arg(id);
    static const QRegularExpression digits(QStringLiteral("^[0-9]{1,10}$"));
    const QString serial = SerialNo();
    if (!digits.match(serial).hasMatch() || serial.count(QLatin1Char('0')) == serial.size())
        return QStringLiteral("the identity record is damaged: serial number \"%1\"").arg(serial);
    if (version == QLatin1String("2")) {
        static const QRegularExpression rom(QStringLiteral("^[0-9A-Fa-f]{14}21$"));
        const QString romText = RecordRomText();
        if (!rom.match(romText).hasMatch() || LoggerVariantOf(romText) == LoggerVariant::Standard)
            return QStringLiteral("the identity record is damaged: logger ROM \"%1\" in a version 2 record").arg(romText);
    }

    // ---- Registers
    if (m_registers.size() < kRegisterBytes)
        return QStringLiteral("the register pages are missing or cut short: %1 bytes, %2 expected")
            .arg(m_registers.size()).arg(kRegisterBytes);
    for (const ZeroBits& z : kAlwaysZero) {
        const int v = reg(z.offset);
        if (v & z.mask)
            return QStringLiteral("register %1 holds %2: bits that a DS1921 always reads as 0 are set")
                .arg(hexByte(ds1921::kRegisterPage + z.offset), hexByte(v));
    }
    const QDateTime clockLocal = DateTime();
    if (!clockLocal.isValid())
        return QStringLiteral("the logger clock (registers 0x200-0x206: %1) is not a valid date and time")
            .arg(hexBytes(m_registers, 0, 6));
    const QDateTime clock = toUtc(clockLocal);
    if (clock.date().year() < 2000)
        return QStringLiteral("the logger clock reads %1, before 2000").arg(utcText(clock));

    // ---- Mission and counters
    const qint32 missionSamples = MissionSamples();
    const qint32 deviceSamples = DeviceSamples();
    const int rate = SampleRate();
    if (missionSamples > deviceSamples)
        return QStringLiteral("%1 mission samples but only %2 device samples: the device counter counts every sample")
            .arg(missionSamples).arg(deviceSamples);
    if (rate == 0 && missionSamples > 0)
        return QStringLiteral("sample rate 0 with %1 mission samples").arg(missionSamples);
    if (rate == 0 && IsMissionRunning())
        return QStringLiteral("a mission is running with sample rate 0");
    if (missionSamples == 0) return QString();

    const QDateTime startLocal = MissionStart();
    if (!startLocal.isValid())
        return QStringLiteral("the mission start (registers 0x215-0x219: %1) is not a valid date and time")
            .arg(hexBytes(m_registers, 0x15, 0x19));
    const QDateTime start = toUtc(startLocal);
    if (start.date().year() < 2000)
        return QStringLiteral("the mission started %1, before 2000").arg(utcText(start));
    if (start > clock)
        return QStringLiteral("the mission started %1, after the logger clock %2").arg(utcText(start), utcText(clock));
    // The newest sample was taken on a minute boundary before the clock was read.
    const QDateTime last = start.addSecs(qint64(rate) * (missionSamples - 1) * 60);
    if (last > clock.addSecs(60))
        return QStringLiteral("%1 samples every %2 minutes from %3 end %4, after the logger clock %5")
            .arg(missionSamples).arg(rate).arg(utcText(start), utcText(last), utcText(clock));
    const int stored = SamplesStored();
    const int slotsNeeded = (RollOver() && missionSamples > kLogSlots) ? kLogSlots : stored;
    if (m_log.size() < slotsNeeded)
        return QStringLiteral("the data log holds %1 slots, fewer than the %2 samples stored").arg(m_log.size()).arg(slotsNeeded);
    return QString();
}
