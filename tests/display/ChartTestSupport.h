#pragma once
// The test database of the data display: loggers and samples written directly.
#include "display/ChartModel.h"
#include "support/TestSite.h"

#include <cmath>
#include <vector>

// A cold room logged every quarter hour: a daily swing around 4 °C in half-degree steps, and a
// door left open for three hours on the fourth day (sample 300 onwards, up to 8.5 °C).
inline double ColdRoomValue(int i)
{
    const double hour = (i % 96) / 4.0;
    double v = 4.0 + 1.2 * std::sin((hour - 9) / 24.0 * 2 * M_PI) + 0.15 * std::sin(i * 1.7);
    if (i >= 300 && i < 312) v += 4.5 - std::abs(i - 306) * 0.5;
    return std::round(v * 2) / 2;
}

inline QDateTime Utc(int y, int mo, int d, int h = 0, int mi = 0, int s = 0)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s), Qt::UTC);
}

struct Sample {
    qint32 device;
    QDateTime utc;
    double temp;
};

class ChartDatabase : public TempDatabase {
protected:
    void SetUp() override
    {
        TempDatabase::SetUp();
        App().Units = 0;
        App().UnitLabel = QString(QChar(176)) + "C";
        App().UtcBias = 0;
        ASSERT_FALSE(db->OpenDB());
    }

    void exec(const QString& sql, const std::vector<DbValue>& params = {}) { db->ExecuteSQL(sql, params); }

    void addRoom(qint32 room, const QString& description)
    {
        exec("INSERT INTO rooms (RoomID, RoomDescription, RoomSequence) VALUES (?, ?, ?)",
             {DbValue(qint64(room)), DbValue(description), DbValue(qint64(room))});
    }
    void addDevice(qint32 id, const QString& serial, const QString& description, double high = 8, double low = 2)
    {
        exec("INSERT INTO devices (DeviceID, SerialNo, DeviceDescription, SampleRate, AlarmHigh, AlarmLow) "
             "VALUES (?, ?, ?, 15, ?, ?)",
             {DbValue(qint64(id)), DbValue(serial), DbValue(description), DbValue(high), DbValue(low)});
    }
    void addSamples(const std::vector<Sample>& rows)
    {
        db->BeginTransaction();
        for (const Sample& s : rows)
            exec("INSERT INTO samples (DeviceID, SampleDate, SampleTemp) VALUES (?, ?, ?)",
                 {DbValue(qint64(s.device)), DbValue(s.utc.toSecsSinceEpoch()), DbValue(double(float(s.temp)))});
        db->CommitTransaction(0);
    }
};
