// A seeded campaign of bus faults (short blocks, CRC errors, the logger taken out after some
// bytes, and through the USB adapter the adapter pulled out) at random points of reading,
// programming and stopping a simulated logger, once on the virtual bus itself and once through
// the DS2490 emulator. After every
// operation the logger's memory, the logger files and the database are checked against what the
// logger held before: its identity kept unless a programming succeeded, every stamp backed by a
// saved file, no sample lost, no silent end of recording, and an exit status that matches what
// happened to the logger.
#include "support/VirtualBenchFixture.h"

#include "reading/LoggerStop.h"
#include "reading/clsReadingSequence.h"

#include <array>
#include <cmath>
#include <iostream>
#include <map>
#include <random>
#include <set>

namespace {

// The bench link, with a fault armed to strike at a chosen block transfer.
struct CampaignBus : VirtualBus {
    using VirtualBus::VirtualBus;
    static inline int blocks = 0;
    static inline int shortAt = -1;
    static inline int shortCount = 0;
    static inline int shortKeep = -1;
    int block(uint8_t* buffer, int len) override
    {
        if (blocks++ == shortAt) world().shortenBlocks(shortCount, shortKeep);
        return VirtualBus::block(buffer, len);
    }
};

using SampleSet = std::set<std::pair<qint64, int>>;   // (time in ms, temperature in 1/1000 °C)

// The page packet at address 0 of a memory image: its data, or empty when it is not valid.
QByteArray PacketOf(const std::vector<uint8_t>& m)
{
    const int len = m[0];
    if (len + 3 > 0x200) return QByteArray();
    uint16_t crc = 0;   // CRC16 over the length byte and the data, seeded with the page number 0
    for (int i = 0; i <= len + 2; ++i) {
        uint8_t b = m[size_t(i)];
        for (int k = 0; k < 8; ++k) {
            const int bit = (crc ^ b) & 1;
            crc >>= 1;
            if (bit) crc ^= 0xA001;
            b >>= 1;
        }
    }
    if (crc != 0xB001) return QByteArray();
    return QByteArray(reinterpret_cast<const char*>(m.data() + 1), len);
}

// The identity fields of a record (serial number, description, DeviceID), or empty.
QString IdentityOf(const QByteArray& record)
{
    const QStringList f = QString::fromLatin1(record).split(QChar(3));
    if (f.size() < 8) return QString();
    return f.mid(1, 3).join(QLatin1Char('|'));
}

QString LastReadingOf(const QByteArray& record)
{
    const QStringList f = QString::fromLatin1(record).split(QChar(3));
    return f.size() >= 8 ? f[4] : QString();
}

SampleSet SamplesOf(const clsDS1921Data& image)
{
    SampleSet s;
    for (const TemperatureSample& t : image.TemperatureSamples())
        s.insert({t.time.toMSecsSinceEpoch(), int(std::lround(t.celsius * 1000))});
    return s;
}

SampleSet SamplesInMemory(const std::vector<uint8_t>& m, const QByteArray& record)
{
    clsDS1921Data image;
    image.SetNVRAMBytes(record);
    image.DecodeNVRAM();
    image.SetRegisterPages(QByteArray(reinterpret_cast<const char*>(m.data() + 0x200), 64));
    image.SetTemperaturePages(QByteArray(reinterpret_cast<const char*>(m.data() + 0x1000), 2048));
    return SamplesOf(image);
}

enum class Op { Read, Program, Stop };
const char* OpName(Op op) { return op == Op::Read ? "read" : op == Op::Program ? "program" : "stop"; }

} // namespace

enum class Reader { VirtualBus, Ds2490 };

class FaultCampaign : public ReadingBench, public ::testing::WithParamInterface<Reader> {
protected:
    // Hundreds of durable writes: on a memory file system where there is one, so that the
    // campaign measures the program and not the disk's flushes.
    static void SetUpTestSuite()
    {
        s_tmp = qgetenv("TMPDIR");
        if (QFileInfo(QStringLiteral("/dev/shm")).isWritable()) qputenv("TMPDIR", "/dev/shm");
    }
    static void TearDownTestSuite()
    {
        if (s_tmp.isEmpty()) qunsetenv("TMPDIR");
        else qputenv("TMPDIR", s_tmp);
    }
    static inline QByteArray s_tmp;

    void SetUp() override
    {
        ReadingBench::SetUp();
        if (GetParam() == Reader::Ds2490) adapter = &ConnectProgramThroughDs2490<CampaignBus>(world);
        else ConnectProgramToVirtualWorld<CampaignBus>(world);
    }
    void TearDown() override
    {
        CampaignBus::shortAt = -1;
        ReadingBench::TearDown();
    }

    // Every logger file seen so far (data, backup and rejected folders), read once each.
    void collectFiles()
    {
        LoggerImageToDatabase import(AppDatabase(), App().DataDirectory, App().BackupDirectory);
        static_cast<void>(import.Run());   // the campaign checks the files, wherever they went
        for (const QString& dir : {App().DataDirectory, App().BackupDirectory, import.RejectedDirectory()}) {
            for (const QFileInfo& f : QDir(dir).entryInfoList({"*.dta"}, QDir::Files)) {
                const QString key = f.fileName() + "@" + QString::number(f.size()) + "@" + QString::number(f.lastModified().toMSecsSinceEpoch());
                if (!seenFiles.insert(key).second) continue;
                clsDS1921Data image;
                qint32 rc = -1;
                image.ReadLoggerImageFromFile(f.filePath(), rc);
                if (rc != imgOk) continue;
                stampsInFiles.insert(LastReadingOf(image.NVRAMBytes()));
                const SampleSet s = SamplesOf(image);
                savedSamples.insert(s.begin(), s.end());
            }
        }
    }

    std::set<QString> seenFiles;
    std::set<QString> stampsInFiles;
    SampleSet savedSamples;
    Ds2490Emulator* adapter = nullptr;   // the USB reader in front of the world, if any
};

INSTANTIATE_TEST_SUITE_P(Readers, FaultCampaign, ::testing::Values(Reader::VirtualBus, Reader::Ds2490),
                         [](const ::testing::TestParamInfo<Reader>& i) { return i.param == Reader::Ds2490 ? "DS2490" : "VirtualBus"; });

TEST_P(FaultCampaign, NothingLostNothingMislabelledNothingSilent)
{
    VirtualDs1921* logger = runningLogger(30);
    App().InterfaceRomCode = AppLogger().DeviceFound("09");
    const QString rom = logger->romText();
    // NORDALIS_CAMPAIGN_SEED and NORDALIS_CAMPAIGN_TRIALS run other or longer campaigns by hand.
    const uint32_t seed = qEnvironmentVariableIsSet("NORDALIS_CAMPAIGN_SEED")
                              ? uint32_t(qEnvironmentVariableIntValue("NORDALIS_CAMPAIGN_SEED")) : 20261207u;
    const int kTrials = qEnvironmentVariableIsSet("NORDALIS_CAMPAIGN_TRIALS")
                            ? qEnvironmentVariableIntValue("NORDALIS_CAMPAIGN_TRIALS") : 330;
    std::mt19937 rng(seed);
    auto pick = [&rng](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };

    std::map<std::string, int> faults, outcomes;
    std::vector<std::string> violations;
    int repairs = 0;

    for (int trial = 0; trial < kTrials; ++trial) {
        world->advance(qint64(pick(0, 180)) * 60000);
        const std::vector<uint8_t> before = memory(logger);
        const QByteArray recordBefore = PacketOf(before);
        const QString identityBefore = IdentityOf(recordBefore);
        const bool runningBefore = before[0x214] & 0x20;
        const SampleSet samplesBefore = SamplesInMemory(before, recordBefore);
        ASSERT_FALSE(identityBefore.isEmpty()) << "trial " << trial << ": the logger must start with an identity";

        const Op op = std::array{Op::Read, Op::Read, Op::Program, Op::Stop}[size_t(pick(0, 3))];
        // A programming's settings, taken before the fault as the window takes them on opening.
        clsMissionSettings settings = openSettings();
        settings.Description = QStringLiteral("run %1").arg(trial);
        settings.PositionText = QString::number(1 + trial % 99);
        MissionPlan plan;
        QString message, title;
        ASSERT_TRUE(settings.Validate(AppLogger(), plan, message, title)) << message.toStdString();

        // The fault, at a random point of the operation.
        CampaignBus::blocks = 0;
        std::string fault;
        switch (pick(0, adapter ? 3 : 2)) {
        case 0:
            CampaignBus::shortAt = pick(0, op == Op::Read ? 60 : 150);
            CampaignBus::shortCount = pick(1, 4);
            CampaignBus::shortKeep = pick(0, 1) ? -1 : pick(0, 8);
            fault = "short blocks";
            break;
        case 1: {
            const int pages[] = {0, 1, 16, 17, 128, 150, 191};
            logger->corruptCrcOnPage(pages[pick(0, 6)], pick(1, 3));
            fault = "CRC errors";
            break;
        }
        case 2:
            logger->leaveAfterBytes(pick(0, op == Op::Read ? 2600 : 4000));
            fault = "logger taken out";
            break;
        default:
            adapter->unplugAfterTransfers(pick(0, op == Op::Read ? 400 : 900));
            fault = "adapter pulled out";
        }
        ++faults[fault];

        // The operation, as the terminal runs it.
        int exitStatus = 0;
        std::string outcome;
        QString newIdentity;
        QByteArray stampedRecord;
        QString opLog;   // what the operation said, for a violation's report
        if (op == Op::Read) {
            AppLogger().DeviceFound("21");
            clsReadingSequence seq(AppLogger());
            const auto o = seq.Run();
            exitStatus = clsReadingSequence::ExitStatus(o);
            stampedRecord = seq.Image().NVRAMBytes();
            static const char* names[] = {"no logger", "read failed", "no data", "file failed", "no record",
                                          "stamp not written", "record damaged", "done"};
            outcome = names[o];
        } else if (op == Op::Program) {
            clsProgrammingSequence seq(AppLogger(), AppDatabase());
            seq.AskFirst = false;
            seq.ShowMessages = false;
            seq.StatusText = settings.SummaryText();
            const ProgrammingOutcome o = seq.Run(plan);
            opLog = seq.Log().join(" | ") + " | " + seq.FailureMessage();
            exitStatus = ProgrammingExitStatus(o);
            static const char* names[] = {"running", "not running", "stopped", "unconfirmed", "not confirmed",
                                          "refused", "no logger", "save failed"};
            outcome = names[int(o)];
            clsDS1921Data planned;
            StampMissionRecord(planned, plan, rom);
            newIdentity = IdentityOf(planned.EncodedRecord(rom));
        } else {
            const StopResult r = StopConnectedLogger(AppLogger());
            exitStatus = StopExitStatus(r.outcome);
            static const char* names[] = {"no logger", "stopped", "still running", "not checked"};
            outcome = names[int(r.outcome)];
        }
        ++outcomes[std::string(OpName(op)) + ": " + outcome];

        // The fault ends; the logger is back in the cable.
        CampaignBus::shortAt = -1;
        world->shortenBlocks(0);
        logger->leaveAfterBytes(-1);
        logger->corruptCrcOnPage(-1, 0);
        logger->setPresent(true);
        if (adapter) adapter->plugBackIn();
        world->save();

        const std::vector<uint8_t> after = memory(logger);
        const QByteArray recordAfter = PacketOf(after);
        const bool runningAfter = after[0x214] & 0x20;
        const bool unchanged = after == before;
        auto violation = [&](const std::string& what) {
            violations.push_back("trial " + std::to_string(trial) + " (" + OpName(op) + ", " + fault + ", " + outcome +
                                 ", exit " + std::to_string(exitStatus) + "): " + what +
                                 (opLog.isEmpty() ? "" : " [" + opLog.toStdString() + "]"));
        };
        collectFiles();

        // Exit status against the logger's state.
        if (op == Op::Read) {
            if ((exitStatus == 1 || exitStatus == 3 || exitStatus == 4) && !unchanged) violation("logger changed, exit says unchanged");
            if (exitStatus == 0 && (recordAfter != stampedRecord || IdentityOf(recordAfter) != identityBefore))
                violation("exit 0 without the stamp in the logger");
            if (runningBefore != runningAfter) violation("reading changed whether the logger records");
        } else if (op == Op::Program) {
            if ((exitStatus == 1 || exitStatus == 2) && !unchanged) violation("logger changed, exit says unchanged");
            if (exitStatus == 0 && (!runningAfter || IdentityOf(recordAfter) != newIdentity)) violation("exit 0 but not recording the new mission");
            if ((exitStatus == 3 || exitStatus == 4) && runningAfter) violation("said not recording, but records");
            if (runningBefore && !runningAfter && exitStatus != 3 && exitStatus != 4 && exitStatus != 5)
                violation("recording ended without the outcome saying so");
        } else {
            if (exitStatus == 0 && runningAfter) violation("said stopped, but records");
            if (exitStatus == 1 && runningBefore && !runningAfter) violation("said still running, but stopped");
        }

        // Every stamp in the logger has its saved file.
        if (!recordAfter.isEmpty() && LastReadingOf(recordAfter) != LastReadingOf(recordBefore) &&
            !stampsInFiles.count(LastReadingOf(recordAfter)))
            violation("a stamp in the logger without its logger file");

        // No sample lost: what the logger held is in the files, the database or still on the logger.
        const SampleSet onLogger = SamplesInMemory(after, recordAfter.isEmpty() ? recordBefore : recordAfter);
        int lost = 0;
        for (const auto& s : samplesBefore)
            if (!savedSamples.count(s) && !onLogger.count(s)) ++lost;
        if (lost) violation(std::to_string(lost) + " samples lost");

        // The identity: kept unless a programming succeeded; a damaged record is said and mended
        // by the next reading.
        QString identityNow = IdentityOf(recordAfter);
        if (identityNow.isEmpty()) {
            if (exitStatus != 5) violation("identity record damaged without the outcome saying so");
            AppLogger().DeviceFound("21");
            clsReadingSequence repair(AppLogger());
            const auto mended = repair.Run();
            // A record lost while a new mission was programmed has no file of that mission to
            // come back from: the reading says so, and the logger must be programmed again.
            const bool newMission = op == Op::Program && mended == clsReadingSequence::NoRecord;
            if (mended != clsReadingSequence::Done && !newMission)
                violation("the repairing reading failed: " + repair.ErrorText.toStdString());
            identityNow = IdentityOf(PacketOf(memory(logger)));
            ++repairs;
            collectFiles();
        }
        const bool programmed = op == Op::Program && (exitStatus == 0 || exitStatus == 5 || exitStatus == 6);
        const bool lostToNewMission = op == Op::Program && exitStatus == 5 && identityNow.isEmpty();
        if (identityNow != identityBefore && !(programmed && identityNow == newIdentity) && !lostToNewMission)
            violation("identity changed from " + identityBefore.toStdString() + " to " + identityNow.toStdString());

        // Back to a recording logger for the next trial.
        if (!logger->missionRunning() || IdentityOf(PacketOf(memory(logger))).isEmpty() ||
            IdentityOf(PacketOf(memory(logger))) != identityNow) {
            clsMissionSettings again = openSettings();
            ASSERT_EQ(program(again), ProgrammingOutcome::Running) << "trial " << trial;
            collectFiles();
        }
    }

    std::cout << "fault campaign " << (adapter ? "through the DS2490" : "on the virtual bus") << " (seed " << seed << "): " << kTrials << " faults injected";
    for (const auto& [k, n] : faults) std::cout << "; " << k << " " << n;
    std::cout << "\noutcomes:";
    for (const auto& [k, n] : outcomes) std::cout << "\n  " << k << ": " << n;
    std::cout << "\nrecords mended by the next reading: " << repairs << "\ninvariant violations: " << violations.size() << "\n";
    for (const auto& v : violations) ADD_FAILURE() << v;
}
