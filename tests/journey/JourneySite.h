#pragma once
// A freshly installed application directory (the files a first run writes, the database from
// the shipped schema) with a small site in it: two compartments, three loggers, a week of
// quarter-hour samples. The program clock is fixed at the end of that week.
#include "desktop/Installer.h"
#include "app/modInternationalisation.h"
#include "app/modMain.h"
#include "app/modRegistry.h"
#include "db/clsDatabase.h"
#include "image/clsDS1921Data.h"
#include "onewire/BusWait.h"
#include "onewire/Tmex.h"
#include "simulator/VirtualBus.h"
#include "simulator/VirtualDs1921.h"
#include "simulator/VirtualWorld.h"
#include "programming/clsMissionSettings.h"
#include "programming/clsProgrammingSequence.h"
#include "support/ProgramOnVirtualBus.h"

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
        if (world) {
            AppLogger().objDeviceFound.reset();
            AppLogger().objBus.reset();
            TmexShutdown();
            SetLinkFactoryForTesting({});
            SetBusWaitForTesting({});
            VirtualClock::SetRealTimeForTesting({});
            world.reset();
        }
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

    // The virtual bus behind the program's bus object: the reader cable with one logger in it. The
    // bench's clock stands at the program clock's moment and the program clock follows it.
    void attachVirtualBench()
    {
        VirtualClock::SetRealTimeForTesting([] { return QDateTime(QDate(2026, 11, 8), QTime(12, 0), Qt::UTC).toMSecsSinceEpoch(); });
        world = std::make_shared<VirtualWorld>(QDir(dir.path()).filePath("virtual-bus.json"));
        ConnectProgramToVirtualWorld(world);
        QString err;
        ASSERT_TRUE(world->addCable(nullptr, &err)) << err.toStdString();
        ASSERT_TRUE(world->addLogger(Ds1921Variant::G, nullptr, &err)) << err.toStdString();
        world->save();
    }
    // The logger in the cable runs a mission: shelf by the door, every 15 minutes, 2 to 8 degrees.
    void programConnectedLogger()
    {
        clsMissionSettings s;
        ASSERT_TRUE(s.LoadRooms(AppDatabase()));
        ASSERT_FALSE(AppLogger().DeviceFound("21").isEmpty());
        qint32 rc = -1;
        AppLogger().ReadImageFromLogger(false, rc);
        ASSERT_EQ(rc, 0);
        s.LoadFromImage(AppLogger());
        s.RoomIndex = 0;
        s.PositionText = "1";
        s.Description = "Shelf by the door";
        s.SampleRateIndex = 14;
        s.LowAlarmText = "2";
        s.HighAlarmText = "8";
        MissionPlan plan;
        QString message, title;
        ASSERT_TRUE(s.Validate(AppLogger(), plan, message, title)) << message.toStdString();
        clsProgrammingSequence seq(AppLogger(), AppDatabase());
        seq.AskFirst = false;
        seq.ShowMessages = false;
        seq.ShowStatus = [](const QString&, int) {};
        ASSERT_EQ(seq.Run(plan), ProgrammingOutcome::Running) << seq.FailureMessage().toStdString();
        // Readings of the last three days, filed in the backup folder.
        AppLogger().ReadImageFromLogger(false, rc);
        ASSERT_EQ(rc, 0);
        for (int day = 0; day < 3; ++day)
            for (int n = 0; n <= day; ++n) {
                AppLogger().WriteLoggerImageToFile(
                    clsDS1921Data::LoggerFilePath(App().BackupDirectory, AppLogger().SerialNo(),
                                                  NowLocal().addDays(-day).addSecs(-600 * n)), rc);
                ASSERT_EQ(rc, 0);
            }
        AppLogger().objDeviceFound.reset();
    }

    QTemporaryDir dir;
    std::shared_ptr<VirtualWorld> world;
    QStringList messages;
    AppState saved;
};
