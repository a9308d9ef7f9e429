#pragma once
// Logger images built byte by byte, as a DS1921 would hold them, for the image, store and logger-file tests.
#include "app/modMain.h"
#include "image/clsDS1921Data.h"

#include <QByteArray>
#include <QDateTime>
#include <QStringList>

#include <initializer_list>
#include <utility>

namespace imagetest {

inline char bcd(int v) { return char(((v / 10) << 4) | (v % 10)); }

struct Mission {
    QDateTime clockUtc = QDateTime(QDate(2007, 6, 5), QTime(9, 15, 30), Qt::UTC);
    QDateTime startUtc = QDateTime(QDate(2007, 6, 1), QTime(12, 0), Qt::UTC);
    int rate = 15;
    int missionSamples = 0;
    int deviceSamples = 0;
    bool rollover = false;
    bool running = true;
    int lowCode = 80;     // 0 °C on a standard logger
    int highCode = 100;   // 10 °C
    int delay = 0;
};

// The 65 register bytes of a logger read from 0x200 (64 memory bytes and a trailing 0).
inline QByteArray Registers(const Mission& m)
{
    QByteArray r(65, '\0');
    const QDateTime c = m.clockUtc, s = m.startUtc;
    r[0] = bcd(c.time().second()); r[1] = bcd(c.time().minute()); r[2] = bcd(c.time().hour());
    r[4] = bcd(c.date().day());
    r[5] = char(bcd(c.date().month()) | (c.date().year() >= 2000 ? 0x80 : 0));
    r[6] = bcd(c.date().year() % 100);
    r[0x0B] = char(m.lowCode); r[0x0C] = char(m.highCode); r[0x0D] = char(m.rate);
    r[0x0E] = char(m.rollover ? 0x08 : 0);
    r[0x12] = char(m.delay & 0xFF); r[0x13] = char(m.delay >> 8);
    r[0x14] = char(m.running ? 0x20 : 0);
    r[0x15] = bcd(s.time().minute()); r[0x16] = bcd(s.time().hour()); r[0x17] = bcd(s.date().day());
    r[0x18] = char(bcd(s.date().month()) | (s.date().year() >= 2000 ? 0x80 : 0));
    r[0x19] = bcd(s.date().year() % 100);
    for (int i = 0; i < 3; ++i) {
        r[0x1A + i] = char((m.missionSamples >> (8 * i)) & 0xFF);
        r[0x1D + i] = char((m.deviceSamples >> (8 * i)) & 0xFF);
    }
    return r;
}

inline QByteArray Record(const QStringList& fields)
{
    return StringToCp1252(fields.join(QChar(3)));
}

// A version-1 record of an ordinary logger at deviceId; lastReadingUtc as yymmddhhnnss.
inline QByteArray StandardRecord(qint32 deviceId, const QString& description, const QDateTime& lastReadingUtc,
                                 const QString& serial = QStringLiteral("0000074667"))
{
    return Record({"1", serial, description, QString::number(deviceId), lastReadingUtc.toString("yyMMddHHmmss"),
                   "operator", "0000001234", "...calib..."});
}

// Data log of 2049 bytes: slot i holds codes(i) for i < 2048, the trailing byte 0.
template <typename F>
QByteArray Log(F codes)
{
    QByteArray log(2049, '\0');
    for (int i = 0; i < 2048; ++i) log[i] = char(codes(i));
    return log;
}

inline void Load(clsDS1921Data& image, const QByteArray& record, const QByteArray& registers, const QByteArray& log)
{
    image.SetNVRAMBytes(record);
    image.DecodeNVRAM();
    image.SetRegisterPages(registers);
    image.SetTemperaturePages(log);
}

// The 96 alarm-log bytes from 0x220: each record a 3-byte mission sample number (LSB first) and
// a duration byte, low records from 0x220, high ones from 0x250, in the order given per kind.
struct AlarmRecord {
    bool high = false;
    quint32 sample = 0;
    int duration = 0;
};
inline QByteArray AlarmArea(std::initializer_list<AlarmRecord> records)
{
    QByteArray area(0x60, '\0');
    int slot[2] = {0, 0};
    for (const AlarmRecord& r : records) {
        const int a = (r.high ? 0x30 : 0) + 4 * slot[r.high ? 1 : 0]++;
        for (int i = 0; i < 3; ++i) area[a + i] = char((r.sample >> (8 * i)) & 0xFF);
        area[a + 3] = char(r.duration);
    }
    return area;
}

// The 128 histogram bytes from 0x800: bin -> count, 16 bits LSB first.
inline QByteArray HistogramArea(std::initializer_list<std::pair<int, quint16>> bins)
{
    QByteArray area(0x80, '\0');
    for (const auto& [bin, count] : bins) {
        area[2 * bin] = char(count & 0xFF);
        area[2 * bin + 1] = char(count >> 8);
    }
    return area;
}

// Sets the time-zone bias for one test and restores it afterwards.
struct BiasScope {
    explicit BiasScope(int bias) : saved(App().UtcBias) { App().UtcBias = bias; }
    ~BiasScope() { App().UtcBias = saved; }
    int saved;
};

} // namespace imagetest
