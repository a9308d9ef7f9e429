#pragma once
// A database with a small site: two compartments, three loggers with samples, plus the
// application directories and configuration store of a test run, all in a temporary folder.
#include "app/modMain.h"
#include "app/modRegistry.h"
#include "db/DbTestSupport.h"

#include <QDateTime>

class SiteDatabase : public TempDatabase {
protected:
    void SetUp() override
    {
        TempDatabase::SetUp();
        SetRegistryFile(QDir(dir.path()).filePath("registry.ini"));
        QDir(dir.path()).mkpath("backup");
        QDir(dir.path()).mkpath("media");
        App().DatabaseDirectory = dir.path();
        ResetAppDatabase();
        App().BackupDirectory = QDir(dir.path()).filePath("backup");
        App().LocationID = 1234;
        App().LocationDescr = "cold store";
        App().ReadHoursBeforeOverflow = 48;
        App().Units = 0;
        App().UnitLabel = QString(QChar(176)) + "C";
    }

    void TearDown() override
    {
        ResetAppDatabase();
        TempDatabase::TearDown();
    }

    static QDateTime utc(int y, int mo, int d, int h = 0, int mi = 0)
    {
        return QDateTime(QDate(y, mo, d), QTime(h, mi), Qt::UTC);
    }

    void addDevice(qint32 id, const QString& description, bool running = true)
    {
        db->ExecuteSQL("INSERT INTO devices (DeviceID, SerialNo, DeviceDescription, DateRead, SampleRate, AlarmHigh, "
                       "AlarmLow, RollOver, MissionRunning, \"User\") VALUES (?, ?, ?, ?, 15, 8.5, 2, 1, ?, 'Ann')",
                       {DbValue(id), DbValue(QString::number(2100000000 + id % 1000)), DbValue(description),
                        DbValue(utc(2026, 11, 1, 10, 0)), DbValue(running)});
    }
    void addSamples(qint32 id, const QDateTime& from, int count, int stepSeconds = 900)
    {
        db->BeginTransaction();
        for (int i = 0; i < count; ++i)
            db->ExecuteSQL("INSERT INTO samples VALUES (?, ?, ?)",
                           {DbValue(id), DbValue(ToEpochSeconds(from.addSecs(qint64(i) * stepSeconds))),
                            DbValue(4.0 + (i % 7) * 0.5)});
        db->CommitTransaction(1);
    }
    // Two compartments, three loggers (two in compartment 1, one in 2), 10 samples each.
    void fillSite()
    {
        db->ExecuteSQL("INSERT INTO rooms VALUES (1, 'freezer', 1), (2, 'cooler', 2)");
        addDevice(123400101, "door left");
        addDevice(123400102, "door right", false);
        addDevice(123400201, "shelf");
        for (qint32 id : {123400101, 123400102, 123400201})
            addSamples(id, utc(2026, 11, 1), 10);
    }
    qint64 count(const QString& sql)
    {
        ResultList r;
        EXPECT_EQ(db->GetRecordsBySQL(r, sql, false), dbQueryOk) << db->LastError().toStdString();
        return r.empty() ? -1 : r.rows[0].at(0).toInt();
    }
};
