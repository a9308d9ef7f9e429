#pragma once
// The virtual bench over the test site:
//  ProgrammingBench  the site (compartments 2 and 7, site number 12, operator "Ann", one hour east of
//                    UTC) and a virtual bus world with the reader cable behind the program's own bus
//                    object, with a fixed real time, instant bus waits and the program clock
//                    following the bench; loggers are added with addLogger().
//  ReadingBench      the same with instant window waits, Shift never held, and runningLogger().
#include "app/modInternationalisation.h"
#include "app/modMain.h"
#include "image/clsDS1921Data.h"
#include "onewire/BusWait.h"
#include "onewire/Tmex.h"
#include "simulator/VirtualBus.h"
#include "simulator/VirtualDs1921.h"
#include "simulator/VirtualWorld.h"
#include "programming/clsMissionSettings.h"
#include "programming/clsProgrammingSequence.h"
#include "reading/LoggerImageToDatabase.h"
#include "reading/frmDownloadMain.h"
#include "support/TestSite.h"
#include "support/ProgramOnVirtualBus.h"

#include <vector>

class ProgrammingBench : public SiteDatabase {
protected:
    // Real time stands still here unless a test moves the bench's clock.
    qint64 realNow = QDateTime(QDate(2026, 12, 5), QTime(10, 0, 20, 500), Qt::UTC).toMSecsSinceEpoch();
    std::shared_ptr<VirtualWorld> world;

    void SetUp() override
    {
        SiteDatabase::SetUp();
        answer = vbYes;
        App().LocationID = 12;
        App().CurrentUserName = "Ann";
        App().UtcBias = -60;
        App().DataDirectory = QDir(dir.path()).filePath("incoming");
        App().InterfaceRomCode.clear();
        VirtualClock::SetRealTimeForTesting([this] { return realNow; });
        world = std::make_shared<VirtualWorld>(QDir(dir.path()).filePath("virtual-bus.json"));
        ConnectProgramToVirtualWorld(world);
        QString err;
        ASSERT_TRUE(world->addCable(nullptr, &err)) << err.toStdString();
        world->save();
        db->ExecuteSQL("INSERT INTO rooms VALUES (7, 'freezer', 1), (2, 'cooler', 2)");
    }
    void TearDown() override
    {
        DisconnectProgramFromVirtualWorld();
        world.reset();
        SiteDatabase::TearDown();
    }

    VirtualDs1921* addLogger(Ds1921Variant v = Ds1921Variant::G)
    {
        QString err;
        VirtualDs1921* l = world->addLogger(v, nullptr, &err);
        EXPECT_TRUE(l) << err.toStdString();
        world->save();
        return l;
    }

    // The whole readable memory of a simulated logger as it is now.
    std::vector<uint8_t> memory(VirtualDs1921* l)
    {
        world->syncAll();
        std::vector<uint8_t> m;
        for (int a = 0; a < 0x1800; ++a) m.push_back(l->peek(a));
        return m;
    }

    // Settings as the window has them after opening on the connected logger: compartment 7,
    // position 3, "door left", every 10 minutes, alarms 2 and 8, no delay.
    clsMissionSettings openSettings()
    {
        clsMissionSettings s;
        EXPECT_TRUE(s.LoadRooms(AppDatabase()));
        EXPECT_FALSE(AppLogger().DeviceFound("21").isEmpty());
        qint32 rc = -1;
        AppLogger().ReadImageFromLogger(false, rc);
        EXPECT_EQ(rc, imgOk);
        s.LoadFromImage(AppLogger());
        s.RoomIndex = 0;   // 007:freezer (rooms by number: 2, 7)
        for (size_t i = 0; i < s.Rooms.size(); ++i)
            if (s.Rooms[i].RoomID == 7) s.RoomIndex = int(i);
        s.PositionText = "3";
        s.Description = "door left";
        s.SampleRateIndex = 9;
        s.LowAlarmText = "2";
        s.HighAlarmText = "8";
        s.SetDelayLists(0, 0, 0);
        return s;
    }

    // Checks and runs the sequence as "s&tart logger" does.
    ProgrammingOutcome program(const clsMissionSettings& s, clsProgrammingSequence* seqOut = nullptr)
    {
        MissionPlan plan;
        QString message, title;
        if (!s.Validate(AppLogger(), plan, message, title)) {
            lastRefusal = message;
            return ProgrammingOutcome::Refused;
        }
        clsProgrammingSequence local(AppLogger(), AppDatabase());
        clsProgrammingSequence& seq = seqOut ? *seqOut : local;
        seq.StatusText = s.SummaryText();
        return seq.Run(plan);
    }
    QString lastRefusal;

    static uint8_t bcd(int v) { return uint8_t(((v / 10) << 4) | (v % 10)); }
};

class ReadingBench : public ProgrammingBench {
protected:
    void SetUp() override
    {
        ProgrammingBench::SetUp();
        SetReadingWaitForTesting([](int) {});
        SetShiftKeyQueryForTesting([] { return false; });
        QDir().mkpath(App().BackupDirectory);
    }
    void TearDown() override
    {
        SetReadingWaitForTesting({});
        SetShiftKeyQueryForTesting({});
        ProgrammingBench::TearDown();
    }

    // A logger at 12.7.3 "door left", alarms 2 and 8 °C, one sample every 10 minutes, after
    // `samples` samples; offset moves its compartment's temperature (the room is about 4 °C).
    VirtualDs1921* runningLogger(int samples, double offset = 0.0, int delayMinutes = 0)
    {
        VirtualDs1921* l = addLogger();
        l->setOffset(offset);
        world->save();
        clsMissionSettings s = openSettings();
        s.SetDelayLists(0, delayMinutes / 60, delayMinutes % 60);
        EXPECT_EQ(program(s), ProgrammingOutcome::Running) << lastRefusal.toStdString();
        world->advance(qint64(samples) * 10 * 60000 + 30000);
        world->save();
        return l;
    }

    QStringList files(const QString& dirPath) const { return QDir(dirPath).entryList({"*.dta"}, QDir::Files); }
};
