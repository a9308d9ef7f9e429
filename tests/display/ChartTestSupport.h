#pragma once
// A fresh database file from the shipped schema in a temporary directory with loggers and
// samples written directly, and a recorder for messages.
#include "app/modInternationalisation.h"
#include "app/modMain.h"
#include "db/Schema.h"
#include "db/clsDatabase.h"
#include "display/ChartModel.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <memory>
#include <vector>

inline QDateTime Utc(int y, int mo, int d, int h = 0, int mi = 0, int s = 0)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s), Qt::UTC);
}

struct Sample {
    qint32 device;
    QDateTime utc;
    double temp;
};

class ChartDatabase : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        QString error;
        ASSERT_TRUE(CreateDatabaseFile(QDir(dir.path()).filePath("NORDALIS.MDE"), &error)) << error.toStdString();
        SetMessageHandler([this](const QString& p, int, const QString& t) {
            messages.push_back(p + "|" + t);
            return int(vbOK);
        });
        savedApp = App();
        App().Units = 0;
        App().UnitLabel = QString(QChar(176)) + "C";
        App().UtcBias = 0;
        db = std::make_unique<clsDatabase>(dir.path());
        ASSERT_FALSE(db->OpenDB());
    }
    void TearDown() override
    {
        db.reset();
        SetMessageHandler(nullptr);
        SetClockForTesting(nullptr);
        App() = savedApp;
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

    QTemporaryDir dir;
    std::unique_ptr<clsDatabase> db;
    std::vector<QString> messages;
    AppState savedApp;
};
