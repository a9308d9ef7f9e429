// The programming sequence on simulated loggers through the program's whole bus stack: the
// bytes the logger holds afterwards, the identity record, the history, the samples kept before
// erasing, and the refusals that leave the logger's memory untouched.
#include "support/VirtualBenchFixture.h"
#include "db/clsDatabase.h"
#include "thermochron/clsDallasDevice.h"

#include <QFile>
#include <QFileInfo>

TEST_F(ProgrammingBench, ProgrammedLoggerHoldsTheChosenMission)
{
    VirtualDs1921* logger = addLogger();
    clsMissionSettings s = openSettings();
    s.EnableRollover = true;
    s.SetDelayLists(1, 2, 30);
    clsProgrammingSequence seq(AppLogger(), AppDatabase());
    ASSERT_EQ(program(s, &seq), ProgrammingOutcome::Running) << seq.FailureMessage().toStdString();
    EXPECT_TRUE(seq.SavedLoggerFile().isEmpty()) << "a new logger holds no samples";
    EXPECT_EQ(seq.Log(), (QStringList{"setting date and time from system clock...", "old data cleared...", "start-delay set...",
                                      "alarms set...", "rollover set...", "sample period set...", "position set...",
                                      "all parameters written."}));

    // Clock: UTC (not the local time one hour ahead), BCD, century bit for 20xx.
    EXPECT_EQ(logger->peek(0x200), 0x20);
    EXPECT_EQ(logger->peek(0x201), 0x00);
    EXPECT_EQ(logger->peek(0x202), 0x10);
    EXPECT_EQ(logger->peek(0x204), 0x05);
    EXPECT_EQ(logger->peek(0x205), 0x92);
    EXPECT_EQ(logger->peek(0x206), 0x26);
    // Alarms 2 and 8 degrees: (T + 40) * 2 on the G variant.
    EXPECT_EQ(logger->peek(0x20B), 84);
    EXPECT_EQ(logger->peek(0x20C), 96);
    EXPECT_EQ(logger->peek(0x20D), 10);
    EXPECT_TRUE(logger->peek(0x20E) & 0x08) << "rollover";
    EXPECT_FALSE(logger->peek(0x20E) & 0x10) << "mission enabled";
    EXPECT_EQ(logger->peek(0x212) | (logger->peek(0x213) << 8), 1590);
    EXPECT_TRUE(logger->missionRunning());

    clsDS1921Data reader;
    ASSERT_EQ(reader.DeviceFound("21"), logger->romText());
    qint32 rc = -1;
    reader.ReadImageFromLogger(true, rc);
    ASSERT_EQ(rc, imgOk);
    EXPECT_EQ(reader.DeviceID(), LocRoomPosToDeviceID(12, 7, 3));
    EXPECT_EQ(reader.Room(), 7);
    EXPECT_EQ(reader.Position(), 3);
    EXPECT_EQ(reader.DeviceDescription(), "door left");
    EXPECT_EQ(reader.UserName(), "Ann");
    EXPECT_EQ(reader.SerialNo(), RomTextToSerialNo(logger->romText()));
    EXPECT_EQ(reader.LastReading(), NowLocal().addMSecs(-500));

    ResultList h;
    ASSERT_EQ(db->GetRecordsBySQL(h, "SELECT Type, Text FROM history", false), dbQueryOk);
    ASSERT_EQ(h.size(), 1);
    EXPECT_EQ(h.rows[0].at(0).toInt(), 1);
    const QString text = h.rows[0].at(1).toString();
    EXPECT_TRUE(text.startsWith("\t\tsettings for logger ID")) << text.toStdString();
    EXPECT_TRUE(text.endsWith(" logger started by Ann")) << text.toStdString();
    EXPECT_TRUE(text.contains("number: 0000012.007.03"));
}

TEST_F(ProgrammingBench, FahrenheitKeepClockAndPastStart)
{
    VirtualDs1921* logger = addLogger();
    App().Units = 1;
    App().UnitLabel = QString(QChar(176)) + "F";
    clsMissionSettings s = openSettings();
    s.LowAlarmText = "32";
    s.HighAlarmText = "50";
    s.UsePCDateTime = false;
    s.SampleRateIndex = 0;   // list position 0 writes 1 minute
    ASSERT_TRUE(s.SetStartMoment(NowLocal().addSecs(-3600)));
    const uint8_t clockBefore = logger->peek(0x201);
    ASSERT_EQ(program(s), ProgrammingOutcome::Running);
    EXPECT_EQ(logger->peek(0x20B), 80) << "32 F = 0 C";
    EXPECT_EQ(logger->peek(0x20C), 100) << "50 F = 10 C";
    EXPECT_EQ(logger->peek(0x20D), 1);
    EXPECT_EQ(logger->peek(0x212), 0);
    EXPECT_EQ(logger->peek(0x213), 0);
    EXPECT_FALSE(logger->peek(0x20E) & 0x08);
    EXPECT_EQ(logger->peek(0x201), clockBefore) << "logger clock left alone";
}

TEST_F(ProgrammingBench, RefusedInputLeavesTheLoggerUntouched)
{
    VirtualDs1921* logger = addLogger();
    clsMissionSettings first = openSettings();
    ASSERT_EQ(program(first), ProgrammingOutcome::Running);
    world->advance(25LL * 10 * 60000);   // 25 samples of the running mission
    const std::vector<uint8_t> before = memory(logger);
    const qint64 histories = count("SELECT COUNT(*) FROM history");

    struct Bad { const char* what; std::function<void(clsMissionSettings&)> change; };
    const std::vector<Bad> bads{
        {"alarm text", [](clsMissionSettings& m) { m.HighAlarmText = "warm"; }},
        {"position 100", [](clsMissionSettings& m) { m.PositionText = "100"; }},
        {"no sample rate", [](clsMissionSettings& m) { m.SampleRateIndex = -1; }},
        {"record too long", [](clsMissionSettings& m) { m.Description = QString(300, 'x'); }},
        {"low above high", [](clsMissionSettings& m) { m.LowAlarmText = "9"; m.HighAlarmText = "3"; }},
        {"below the range", [](clsMissionSettings& m) { m.LowAlarmText = "-41"; }},
    };
    for (const Bad& b : bads) {
        clsMissionSettings s = openSettings();
        b.change(s);
        EXPECT_EQ(program(s), ProgrammingOutcome::Refused) << b.what;
        EXPECT_FALSE(lastRefusal.isEmpty()) << b.what;
        EXPECT_EQ(memory(logger), before) << b.what;
    }

    // The operator answers No.
    answer = vbNo;
    clsProgrammingSequence seq(AppLogger(), AppDatabase());
    EXPECT_EQ(program(openSettings(), &seq), ProgrammingOutcome::NotConfirmed);
    EXPECT_EQ(messages.back().prompt, "logger not programmed");
    EXPECT_EQ(memory(logger), before);

    // The samples cannot be saved (the data directory is a file): nothing is erased.
    answer = vbYes;
    QFile blocker(QDir(dir.path()).filePath("blocker"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    clsProgrammingSequence blocked(AppLogger(), AppDatabase());
    blocked.DataDirectory = QDir(dir.path()).filePath("blocker/data");
    EXPECT_EQ(program(openSettings(), &blocked), ProgrammingOutcome::SaveFailed);
    EXPECT_TRUE(blocked.FailureMessage().contains("not erased")) << blocked.FailureMessage().toStdString();
    EXPECT_EQ(messages.back().style & vbCritical, vbCritical);
    EXPECT_EQ(memory(logger), before);
    EXPECT_EQ(count("SELECT COUNT(*) FROM history"), histories);
}

// A warm-range logger (+15 to +46 °C) cannot watch a cold room: alarm levels it cannot
// measure are refused instead of being written as its lowest code.
TEST_F(ProgrammingBench, AlarmLevelsOutsideTheVariantsRangeAreRefused)
{
    VirtualDs1921* logger = addLogger(Ds1921Variant::H);
    const std::vector<uint8_t> before = memory(logger);
    clsMissionSettings cold = openSettings();   // 2 and 8 degrees
    EXPECT_EQ(program(cold), ProgrammingOutcome::Refused);
    EXPECT_TRUE(lastRefusal.endsWith("(15 .. 46 " + QString(QChar(176)) + "C)")) << lastRefusal.toStdString();
    EXPECT_EQ(memory(logger), before);

    clsMissionSettings warm = openSettings();
    warm.LowAlarmText = "20";
    warm.HighAlarmText = "30";
    ASSERT_EQ(program(warm), ProgrammingOutcome::Running);
    EXPECT_EQ(logger->peek(0x20B), (20 - 14.5) * 8);
    EXPECT_EQ(logger->peek(0x20C), (30 - 14.5) * 8);
}

TEST_F(ProgrammingBench, SamplesOnTheLoggerAreSavedBeforeErasing)
{
    VirtualDs1921* logger = addLogger();
    clsMissionSettings s = openSettings();
    s.SampleRateIndex = 0;
    ASSERT_EQ(program(s), ProgrammingOutcome::Running);
    world->advance(300LL * 60000);   // one sample a minute, the first at the next minute
    ASSERT_EQ(logger->missionSamples(), 300);
    const std::vector<uint8_t> before = memory(logger);

    clsMissionSettings again = openSettings();
    again.Description = "door right";
    clsProgrammingSequence seq(AppLogger(), AppDatabase());
    ASSERT_EQ(program(again, &seq), ProgrammingOutcome::Running);
    ASSERT_FALSE(seq.SavedLoggerFile().isEmpty());
    EXPECT_EQ(seq.SavedSamples(), 300);
    EXPECT_EQ(QFileInfo(seq.SavedLoggerFile()).absolutePath(), QDir(App().DataDirectory).absolutePath());
    EXPECT_EQ(logger->missionSamples(), 0) << "erased and started anew";

    clsDS1921Data file;
    qint32 rc = -1;
    file.ReadLoggerImageFromFile(seq.SavedLoggerFile(), rc);
    ASSERT_EQ(rc, imgOk);
    EXPECT_EQ(file.DeviceID(), LocRoomPosToDeviceID(12, 7, 3));
    EXPECT_EQ(file.DeviceDescription(), "door left") << "the record of the mission the samples belong to";
    const auto samples = file.TemperatureSamples();
    ASSERT_EQ(samples.size(), 300u);
    for (int i = 0; i < 300; ++i)
        ASSERT_FLOAT_EQ(samples[size_t(i)].celsius, float(before[size_t(0x1000 + i)]) / 2.0f - 40.0f) << i;

    ASSERT_EQ(db->LoggerImageToDB(file), ImageStoreResult::Stored);
    EXPECT_EQ(count("SELECT COUNT(*) FROM samples WHERE DeviceID = 1200703"), 300);
    EXPECT_EQ(count("SELECT COUNT(*) FROM history WHERE Type = 1"), 2);
}

namespace {
// A bench link on which no write of the sample rate register gets through while armed.
struct RefuseRateBus : VirtualBus {
    using VirtualBus::VirtualBus;
    static inline bool armed = false;
    int block(uint8_t* buffer, int len) override
    {
        if (armed && len > 12 && buffer[0] == 0x55 && buffer[9] == 0x0F && buffer[10] == 0x0D && buffer[11] == 0x02)
            return 3;
        return VirtualBus::block(buffer, len);
    }
};
} // namespace

TEST_F(ProgrammingBench, LoggerThatDoesNotStartIsReportedAsItIs)
{
    ConnectProgramToVirtualWorld<RefuseRateBus>(world);
    VirtualDs1921* logger = addLogger();
    clsMissionSettings s = openSettings();
    MissionPlan plan;
    QString message, title;
    ASSERT_TRUE(s.Validate(AppLogger(), plan, message, title));
    const QByteArray recordBefore = AppLogger().NVRAMBytes();

    // Every attempt at the sample rate fails: the logger is erased, answers, and does not record.
    clsProgrammingSequence seq(AppLogger(), AppDatabase());
    seq.StatusText = "summary";
    RefuseRateBus::armed = true;
    EXPECT_EQ(seq.Run(plan), ProgrammingOutcome::NotRunning);
    RefuseRateBus::armed = false;
    EXPECT_EQ(ProgrammingExitStatus(ProgrammingOutcome::NotRunning), 3);
    EXPECT_FALSE(logger->missionRunning());
    EXPECT_EQ(seq.Log().last(), "logger NOT RUNNING!!");
    EXPECT_TRUE(seq.StatusText.endsWith(" error starting logger, try again"));
    EXPECT_EQ(messages.back().prompt, "error writing data to logger, please reprogram !");
    EXPECT_EQ(messages.back().title, "error writing data");
    EXPECT_EQ(count("SELECT COUNT(*) FROM history"), 0);
    clsDS1921Data after;
    ASSERT_FALSE(after.DeviceFound("21").isEmpty());
    qint32 rc = -1;
    after.ReadImageFromLogger(true, rc);
    EXPECT_EQ(after.NVRAMBytes(), recordBefore) << "no new identity without the settings in place";

    // The link fails for good from the rollover on: nothing can be said but that.
    clsProgrammingSequence lost(AppLogger(), AppDatabase());
    lost.ShowStatus = [this](const QString& text, int) {
        if (text == "alarms set...") world->shortenBlocks(1000);
    };
    EXPECT_EQ(lost.Run(plan), ProgrammingOutcome::Unconfirmed);
    world->shortenBlocks(0);
    EXPECT_TRUE(lost.FailureMessage().contains("may not be recording")) << lost.FailureMessage().toStdString();
    EXPECT_EQ(ProgrammingExitStatus(ProgrammingOutcome::Unconfirmed), 5);
}

TEST_F(ProgrammingBench, NoLoggerConnected)
{
    clsMissionSettings s;
    ASSERT_TRUE(s.LoadRooms(AppDatabase()));
    MissionPlan plan;
    QString message, title;
    ASSERT_TRUE(s.Validate(AppLogger(), plan, message, title));
    clsProgrammingSequence seq(AppLogger(), AppDatabase());
    EXPECT_EQ(seq.Run(plan), ProgrammingOutcome::NoLogger);
    EXPECT_EQ(count("SELECT COUNT(*) FROM history"), 0);
}

namespace {
// A bench link on which a minute passes just before the first scratchpad write once armed, as
// when a sample falls between the reading and the erasing.
struct LateSampleBus : VirtualBus {
    using VirtualBus::VirtualBus;
    static inline bool armed = false;
    int block(uint8_t* buffer, int len) override
    {
        if (armed && len > 11 && buffer[0] == 0x55 && buffer[9] == 0x0F) {
            armed = false;
            world().advance(60000);
        }
        return VirtualBus::block(buffer, len);
    }
};
} // namespace

TEST_F(ProgrammingBench, SampleTakenWhileSavingIsSavedToo)
{
    ConnectProgramToVirtualWorld<LateSampleBus>(world);
    VirtualDs1921* logger = addLogger();
    clsMissionSettings s = openSettings();
    s.SampleRateIndex = 0;
    ASSERT_EQ(program(s), ProgrammingOutcome::Running);
    world->advance(100LL * 60000);
    ASSERT_EQ(logger->missionSamples(), 100);

    clsMissionSettings again = openSettings();
    clsProgrammingSequence seq(AppLogger(), AppDatabase());
    LateSampleBus::armed = true;
    ASSERT_EQ(program(again, &seq), ProgrammingOutcome::Running);
    EXPECT_FALSE(LateSampleBus::armed);
    EXPECT_EQ(seq.SavedSamples(), 101) << "the sample of the minute that passed is in the file";
    clsDS1921Data file;
    qint32 rc = -1;
    file.ReadLoggerImageFromFile(seq.SavedLoggerFile(), rc);
    ASSERT_EQ(rc, imgOk);
    EXPECT_EQ(file.TemperatureSamples().size(), 101u);
    EXPECT_EQ(QDir(App().DataDirectory).entryList({"*.dta"}).size(), 2)
        << "both saves are kept: with rollover the later one may lack the oldest sample";
}

namespace {
// A bench link that takes the logger out of the cable as soon as, after the mission was ended
// by the status write, the identity record is read again.
struct PullAfterStopBus : VirtualBus {
    using VirtualBus::VirtualBus;
    static inline VirtualDs1921* logger = nullptr;
    static inline bool stopSeen = false;
    int block(uint8_t* buffer, int len) override
    {
        if (logger && len > 12 && buffer[0] == 0x55) {
            const uint8_t cmd = buffer[9];
            const int address = buffer[10] | (buffer[11] << 8);
            if (cmd == 0x0F && address == 0x214 && buffer[12] == 0xDF) stopSeen = true;
            if (stopSeen && cmd == 0xF0 && address == 0x000) {
                logger->setPresent(false);
                logger = nullptr;
            }
        }
        return VirtualBus::block(buffer, len);
    }
};
} // namespace

TEST_F(ProgrammingBench, LoggerPulledAfterItsMissionWasStoppedIsSaidNotToRecord)
{
    ConnectProgramToVirtualWorld<PullAfterStopBus>(world);
    VirtualDs1921* logger = addLogger();
    ASSERT_EQ(program(openSettings()), ProgrammingOutcome::Running);
    world->advance(40LL * 10 * 60000);
    const std::vector<uint8_t> before = memory(logger);

    clsMissionSettings s = openSettings();
    clsProgrammingSequence seq(AppLogger(), AppDatabase());
    PullAfterStopBus::logger = logger;
    PullAfterStopBus::stopSeen = false;
    EXPECT_EQ(program(s, &seq), ProgrammingOutcome::Stopped);
    EXPECT_EQ(ProgrammingExitStatus(ProgrammingOutcome::Stopped), 4);
    logger->setPresent(true);

    // The truth: the mission was ended, nothing was erased, and the samples are in the file named.
    EXPECT_FALSE(logger->missionRunning());
    const std::vector<uint8_t> after = memory(logger);
    EXPECT_TRUE(std::equal(before.begin() + 0x1000, before.end(), after.begin() + 0x1000)) << "the data log is kept";
    EXPECT_TRUE(seq.FailureMessage().contains("NOT RECORDING")) << seq.FailureMessage().toStdString();
    ASSERT_FALSE(seq.SavedLoggerFile().isEmpty());
    EXPECT_TRUE(seq.FailureMessage().contains(QDir::toNativeSeparators(seq.SavedLoggerFile())));
    EXPECT_FALSE(seq.FailureMessage().contains("not erased")) << "no word suggesting the logger is as it was";
    clsDS1921Data file;
    qint32 rc = -1;
    file.ReadLoggerImageFromFile(seq.SavedLoggerFile(), rc);
    ASSERT_EQ(rc, imgOk);
    EXPECT_EQ(file.TemperatureSamples().size(), 40u);
    EXPECT_EQ(messages.back().title, "logger NOT RUNNING!!");
}

TEST_F(ProgrammingBench, AUsbReaderGoneBeforeProgrammingIsNamedAndTheLoggerKeepsItsMission)
{
    Ds2490Emulator& adapter = ConnectProgramThroughDs2490(world);
    VirtualDs1921* logger = addLogger();
    ASSERT_EQ(program(openSettings()), ProgrammingOutcome::Running);
    const std::vector<uint8_t> before = memory(logger);

    clsMissionSettings again = openSettings();
    again.Description = "door right";
    adapter.unplugAfterTransfers(0);   // pulled out after the window opened
    clsProgrammingSequence seq(AppLogger(), AppDatabase());
    seq.ShowMessages = false;
    const ProgrammingOutcome o = program(again, &seq);
    EXPECT_TRUE(o == ProgrammingOutcome::NotConfirmed || o == ProgrammingOutcome::NoLogger) << int(o);
    EXPECT_TRUE(seq.FailureMessage().contains("was unplugged: plug it in again")) << seq.FailureMessage().toStdString();
    EXPECT_EQ(memory(logger), before) << "the logger records its old mission, untouched";
    EXPECT_TRUE(logger->missionRunning());
}
