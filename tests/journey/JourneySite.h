#pragma once
// A freshly installed application directory (the files a first run writes, the database from
// the shipped schema) with a small site in it: two compartments, three loggers, a week of
// quarter-hour samples. The program clock is fixed at the end of that week.
#include "app/Installer.h"
#include "app/modInternationalisation.h"
#include "app/modMain.h"
#include "app/modRegistry.h"
#include "db/clsDatabase.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

class JourneySite : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        saved = App();
        QString error;
        ASSERT_TRUE(InstallApplicationDirectory(dir.path(), &error)) << error.toStdString();
        SetRegistryFile(QDir(dir.path()).filePath("registry.ini"));
        SetMessageHandler([this](const QString& p, int, const QString& t) {
            messages << t + ": " + p;
            return int(vbOK);
        });
        SetClockForTesting([] { return QDateTime(QDate(2026, 11, 8), QTime(12, 0), Qt::UTC); });
        App().ApplicationDirectory = dir.path();
        App().DatabaseDirectory = QDir(dir.path()).filePath("data");
        App().DataDirectory = QDir(dir.path()).filePath("data");
        App().BackupDirectory = QDir(dir.path()).filePath("data/backup");
        App().LocationID = 1234;
        App().LocationDescr = "cold store";
        App().ReadHoursBeforeOverflow = 48;
        App().Units = 0;
        App().UnitLabel = QString(QChar(176)) + "C";
        App().UtcBias = 0;
        ResetAppDatabase();
        ASSERT_FALSE(AppDatabase().OpenDB());
    }
    void TearDown() override
    {
        ResetAppDatabase();
        UnloadLanguage();
        SetMessageHandler(nullptr);
        SetClockForTesting(nullptr);
        App() = saved;
    }

    static QDateTime utc(int y, int mo, int d, int h = 0, int mi = 0)
    {
        return QDateTime(QDate(y, mo, d), QTime(h, mi), Qt::UTC);
    }
    void addDevice(qint32 id, const QString& serial, const QString& description, double high, double low)
    {
        AppDatabase().ExecuteSQL(
            "INSERT INTO devices (DeviceID, SerialNo, DeviceDescription, DateRead, SampleRate, AlarmHigh, AlarmLow, "
            "RollOver, MissionRunning, \"User\") VALUES (?, ?, ?, ?, 15, ?, ?, 0, 1, 'Ann')",
            {DbValue(qint64(id)), DbValue(serial), DbValue(description), DbValue(utc(2026, 11, 8, 11)),
             DbValue(high), DbValue(low)});
    }
    // A week of quarter-hour samples that follow a daily swing, with one warm spell per logger.
    void addWeek(qint32 id, double base)
    {
        clsDatabase& db = AppDatabase();
        db.BeginTransaction();
        const QDateTime from = utc(2026, 11, 1);
        for (int i = 0; i < 7 * 96; ++i) {
            const double swing = ((i % 96) < 48 ? (i % 96) : 96 - (i % 96)) / 24.0;
            const double spell = (i / 96 == 3 && (i % 96) > 40 && (i % 96) < 52) ? 5.0 : 0.0;
            db.ExecuteSQL("INSERT INTO samples (DeviceID, SampleDate, SampleTemp) VALUES (?, ?, ?)",
                          {DbValue(qint64(id)), DbValue(ToEpochSeconds(from.addSecs(qint64(i) * 900))),
                           DbValue(double(float(base + swing + spell)))});
        }
        db.CommitTransaction(1);
    }
    void fillSite()
    {
        clsDatabase& db = AppDatabase();
        db.ExecuteSQL("INSERT INTO rooms (RoomID, RoomDescription, RoomSequence) VALUES (1, 'Cold room', 1), "
                      "(2, 'Freezer room', 2)");
        addDevice(123400101, "2100000101", "Shelf by the door", 8, 2);
        addDevice(123400102, "2100000102", "Back wall", 8, 2);
        addDevice(123400201, "2100000201", "Freezer chest", -15, -25);
        addWeek(123400101, 3.5);
        addWeek(123400102, 4.0);
        addWeek(123400201, -20.0);
        db.SetParameter("ChartDateFrom", DbValue(QString("2026-11-01 00:00:00")));
        db.SetParameter("ChartDateTo", DbValue(QString("2026-11-08 00:00:00")));
    }

    QTemporaryDir dir;
    QStringList messages;
    AppState saved;
};
