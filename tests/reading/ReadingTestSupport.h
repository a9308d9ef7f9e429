#pragma once
// The reading bench: the programming bench (site 12, operator Ann, reader cable on a virtual bus,
// program clock following the bench) with instant window waits, Shift never held, and a helper
// that starts a mission on a simulated logger through the program's own programming sequence.
#include "programming/ProgrammingTestSupport.h"
#include "reading/LoggerImageToDatabase.h"
#include "reading/frmDownloadMain.h"

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
