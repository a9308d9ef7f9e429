// Reading and writing a logger image on a simulated DS1921 on the virtual bus, through the
// whole stack: image -> device object -> bus object -> driver layer -> virtual link.
#include "support/LoggerImages.h"
#include "image/LoggerEvidence.h"
#include "onewire/OneWireLink.h"
#include "simulator/VirtualBus.h"
#include "simulator/VirtualDs1921.h"
#include "simulator/VirtualWorld.h"
#include "thermochron/clsDallasDevice.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace imagetest;

namespace {

qint64 ms(int y, int mo, int d, int h, int mi) { return QDateTime(QDate(y, mo, d), QTime(h, mi), Qt::UTC).toMSecsSinceEpoch(); }

// The driver layer keeps the link of a port for the whole process, so the tests of this file
// share one simulated bench; each test takes the devices of the tests before it out of the cable.
class LoggerOnVirtualBus : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        suiteDir = new QTemporaryDir;
        world = std::make_shared<VirtualWorld>(QDir(suiteDir->path()).filePath("virtual-bus.json"));
        SetLinkFactoryForTesting([](int, int) -> std::unique_ptr<OneWireLink> { return std::make_unique<VirtualBus>(world); });
    }
    static void TearDownTestSuite()
    {
        SetLinkFactoryForTesting({});
        world.reset();
        delete suiteDir;
    }
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        VirtualClock::SetRealTimeForTesting([this] { return realNow; });
        for (const auto& d : world->devices()) d->setPresent(false);
        QString err;
        ASSERT_TRUE(world->addCable(nullptr, &err)) << err.toStdString();
        world->save();
    }
    void TearDown() override
    {
        image.reset();
        VirtualClock::SetRealTimeForTesting({});
    }

    VirtualDs1921* addLogger(Ds1921Variant v)
    {
        QString err;
        VirtualDs1921* l = world->addLogger(v, nullptr, &err);
        EXPECT_TRUE(l) << err.toStdString();
        world->save();
        return l;
    }

    // Starts a mission through the device object, as the programming sequence does.
    void startMission(int rate, bool rollover)
    {
        clsDallasDevice& d = *image->objDeviceFound;
        ASSERT_EQ(d.SetDateTime(QDateTime::fromMSecsSinceEpoch(realNow, Qt::UTC)), 0);
        ASSERT_EQ(d.ClearMemory(), 0);
        ASSERT_EQ(d.SetStartDelay(0), 0);
        ASSERT_EQ(d.SetTemperatureAlarms(0.0f, 10.0f), 0);
        ASSERT_EQ(d.SetRollOver(rollover), 0);
        ASSERT_EQ(d.SetSampleRate(uint8_t(rate)), 0);
    }

    std::vector<uint8_t> memory(VirtualDs1921* l, int from, int count)
    {
        std::vector<uint8_t> b;
        for (int i = 0; i < count; ++i) b.push_back(l->peek(from + i));
        return b;
    }

    static inline QTemporaryDir* suiteDir = nullptr;
    static inline std::shared_ptr<VirtualWorld> world;
    qint64 realNow = ms(2026, 12, 5, 10, 0);
    QTemporaryDir dir;
    std::unique_ptr<clsDS1921Data> image = std::make_unique<clsDS1921Data>();
};

} // namespace

TEST_F(LoggerOnVirtualBus, FindsDevicesByFamily)
{
    // No logger yet: "21" finds nothing and leaves objDeviceFound unset; the cable is found.
    EXPECT_TRUE(image->DeviceFound("21").isEmpty());
    EXPECT_FALSE(image->objDeviceFound);
    const QString cable = image->DeviceFound("09");
    EXPECT_TRUE(cable.endsWith("09"));
    VirtualDs1921* logger = addLogger(Ds1921Variant::G);
    EXPECT_EQ(image->DeviceFound("21"), logger->romText());
    ASSERT_TRUE(image->objDeviceFound);
    EXPECT_EQ(image->LoggerRomText(), logger->romText());
    // A cable search keeps the logger found before, also when it finds no cable.
    EXPECT_EQ(image->DeviceFound("09"), cable);
    EXPECT_EQ(image->LoggerRomText(), logger->romText());
    for (const auto& d : world->devices())
        if (d->romText() == cable) d->setPresent(false);
    world->save();
    EXPECT_TRUE(image->DeviceFound("09").isEmpty());
    EXPECT_EQ(image->LoggerRomText(), logger->romText());
}

TEST_F(LoggerOnVirtualBus, RolledOverMissionGivesTheSamplesInTimeOrder)
{
    BiasScope bias(-60);
    VirtualDs1921* logger = addLogger(Ds1921Variant::G);
    ASSERT_FALSE(image->DeviceFound("21").isEmpty());
    startMission(1, true);
    world->advance(2050LL * 60 * 1000 + 30 * 1000);   // 2050 samples at one a minute
    clsDS1921Data reader;
    ASSERT_FALSE(reader.DeviceFound("21").isEmpty());
    qint32 rc = -1;
    reader.ReadImageFromLogger(false, rc);
    ASSERT_EQ(rc, imgOk);
    ASSERT_EQ(reader.MissionSamples(), 2050);
    ASSERT_TRUE(reader.RollOver());
    const QDateTime startUtc = LocalToUtc(reader.MissionStart());
    const QDateTime programmed = QDateTime::fromMSecsSinceEpoch(realNow, Qt::UTC);
    EXPECT_GE(startUtc, programmed.addSecs(-60));
    EXPECT_LE(startUtc, programmed.addSecs(120));
    const auto samples = reader.TemperatureSamples();
    ASSERT_EQ(samples.size(), 2048u);
    EXPECT_EQ(samples.front().time, startUtc.addSecs(2 * 60));
    EXPECT_EQ(samples.back().time, startUtc.addSecs(2049 * 60));
    // Oldest first: slots 2 .. 2047, then the overwritten slots 0 and 1.
    const std::vector<uint8_t> log = memory(logger, 0x1000, 2048);
    for (size_t r = 0; r < samples.size(); ++r) {
        const int slot = int((r + 2) % 2048);
        ASSERT_FLOAT_EQ(samples[r].celsius, float(log[size_t(slot)]) / 2.0f - 40.0f) << "row " << r;
    }
}

TEST_F(LoggerOnVirtualBus, CompleteReadWritesAFileOfRecordPlus2122Bytes)
{
    BiasScope bias(0);
    VirtualDs1921* logger = addLogger(Ds1921Variant::G);
    ASSERT_FALSE(image->DeviceFound("21").isEmpty());
    startMission(10, false);
    image->SetNVRAMBytes(QByteArray());
    image->DecodeNVRAM();
    image->SetSerialNo(RomTextToSerialNo(logger->romText()));
    image->SetDeviceID(123401203);
    image->SetDeviceDescription(QString::fromUtf8("Tür 4 °C"));
    image->SetLastReading(QDateTime::fromMSecsSinceEpoch(realNow, Qt::UTC));
    qint32 rc = -99;
    image->WriteImageToLoggerNVRAM(rc);
    ASSERT_EQ(rc, imgOk);

    world->advance(100LL * 10 * 60 * 1000);   // 100 samples later
    clsDS1921Data reader;
    ASSERT_FALSE(reader.DeviceFound("21").isEmpty());
    reader.ReadImageFromLogger(false, rc);
    ASSERT_EQ(rc, imgOk);
    EXPECT_EQ(reader.RegisterPages().size(), 65);
    EXPECT_EQ(reader.TemperaturePages().size(), 2049);
    const QByteArray regs = reader.RegisterPages(), log = reader.TemperaturePages();
    EXPECT_EQ(std::vector<uint8_t>(regs.begin(), regs.begin() + 64), memory(logger, 0x200, 64));
    EXPECT_EQ(std::vector<uint8_t>(log.begin(), log.begin() + 2048), memory(logger, 0x1000, 2048));
    EXPECT_EQ(regs.at(64), '\0');
    EXPECT_EQ(reader.DeviceDescription(), QString::fromUtf8("Tür 4 °C"));
    EXPECT_EQ(reader.DeviceID(), 123401203);
    EXPECT_GE(reader.MissionSamples(), 100);
    EXPECT_TRUE(reader.IsMissionRunning());
    EXPECT_EQ(reader.SampleRate(), 10);
    EXPECT_EQ(reader.TemperatureSamples().size(), size_t(reader.SamplesStored()));

    const QString file = QDir(dir.path()).filePath("reading.dta");
    reader.WriteLoggerImageToFile(file, rc);
    ASSERT_EQ(rc, imgOk) << reader.LastError().toStdString();
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();
    EXPECT_EQ(bytes.size(), reader.NVRAMBytes().size() + 2122);
    clsDS1921Data back;
    back.ReadLoggerImageFromFile(file, rc);
    ASSERT_EQ(rc, imgOk);
    EXPECT_EQ(back.NVRAMBytes(), reader.NVRAMBytes());
    EXPECT_EQ(back.RegisterPages(), reader.RegisterPages());
    EXPECT_EQ(back.TemperaturePages(), reader.TemperaturePages());
}

TEST_F(LoggerOnVirtualBus, HeaderOnlyReadAndCrcErrorInTheRegisterPages)
{
    addLogger(Ds1921Variant::G);
    ASSERT_FALSE(image->DeviceFound("21").isEmpty());
    image->SetNVRAMBytes(StandardRecord(99901, "old", QDateTime()));
    image->DecodeNVRAM();
    qint32 rc = 0;
    image->WriteImageToLoggerNVRAM(rc);
    ASSERT_EQ(rc, imgOk);

    clsDS1921Data fresh;
    ASSERT_FALSE(fresh.DeviceFound("21").isEmpty());
    fresh.ReadImageFromLogger(true, rc);
    EXPECT_EQ(rc, imgOk);
    EXPECT_EQ(fresh.RegisterPages().size(), 65);
    EXPECT_TRUE(fresh.TemperaturePages().isEmpty());
    EXPECT_EQ(fresh.DeviceID(), 99901);

    // A page whose CRC never checks (register page 17 = memory page 0x11): -2, but the record
    // read before is already in the image.
    auto* logger = static_cast<VirtualDs1921*>(world->find(fresh.LoggerRomText()));
    ASSERT_TRUE(logger);
    logger->corruptCrcOnPage(0x11);
    world->save();
    clsDS1921Data broken;
    ASSERT_FALSE(broken.DeviceFound("21").isEmpty());
    broken.ReadImageFromLogger(false, rc);
    EXPECT_EQ(rc, imgRegistersNotRead);
    EXPECT_EQ(broken.DeviceID(), 99901);
    EXPECT_TRUE(broken.RegisterPages().isEmpty());
}

TEST_F(LoggerOnVirtualBus, RecordVersionsAndATooLongRecordRefusedBeforeWriting)
{
    VirtualDs1921* g = addLogger(Ds1921Variant::G);
    VirtualDs1921* h = addLogger(Ds1921Variant::H);
    const QString hRom = h->romText();
    ASSERT_EQ(hRom.mid(2, 3), "4F2");
    qint32 rc = 0;

    // Each logger in turn alone in the cable.
    h->setPresent(false);
    world->save();
    ASSERT_EQ(image->DeviceFound("21"), g->romText());
    image->SetNVRAMBytes(QByteArray());
    image->DecodeNVRAM();
    image->SetDeviceDescription("plain");
    image->WriteImageToLoggerNVRAM(rc);
    ASSERT_EQ(rc, imgOk);
    clsDS1921Data check;
    ASSERT_FALSE(check.DeviceFound("21").isEmpty());
    check.ReadImageFromLogger(true, rc);
    ASSERT_EQ(rc, imgOk);
    EXPECT_EQ(check.NvramFields().size(), 8);
    EXPECT_EQ(check.NvramFields().at(0), "1");

    // Too long: nothing reaches the logger.
    const std::vector<uint8_t> before = memory(g, 0, 512);
    image->SetDeviceDescription(QString(300, QChar('x')));
    QString why;
    EXPECT_FALSE(image->RecordFitsLogger(&why));
    EXPECT_FALSE(why.isEmpty());
    image->WriteImageToLoggerNVRAM(rc);
    EXPECT_EQ(rc, imgRecordTooLong);
    EXPECT_EQ(memory(g, 0, 512), before);
    // The longest record that fits is written whole.
    image->SetDeviceDescription(QString());
    const int room = kMaxNvramRecordBytes - int(image->EncodedRecord(g->romText()).size());
    image->SetDeviceDescription(QString(room, QChar('y')));
    EXPECT_TRUE(image->RecordFitsLogger());
    image->WriteImageToLoggerNVRAM(rc);
    EXPECT_EQ(rc, imgOk);
    check.ReadImageFromLogger(true, rc);
    EXPECT_EQ(check.DeviceDescription(), QString(room, QChar('y')));

    g->setPresent(false);
    h->setPresent(true);
    world->save();
    ASSERT_EQ(image->DeviceFound("21"), hRom);
    image->SetDeviceDescription("h logger");
    image->WriteImageToLoggerNVRAM(rc);
    ASSERT_EQ(rc, imgOk);
    clsDS1921Data checkH;
    ASSERT_EQ(checkH.DeviceFound("21"), hRom);
    checkH.ReadImageFromLogger(true, rc);
    ASSERT_EQ(rc, imgOk);
    ASSERT_EQ(checkH.NvramFields().size(), 9);
    EXPECT_EQ(checkH.NvramFields().at(0), "2");
    EXPECT_EQ(checkH.NvramFields().at(8), hRom);
    EXPECT_FLOAT_EQ(checkH.TemperatureToSingle(0), 14.5f);
}

TEST_F(LoggerOnVirtualBus, WithoutLoggerNothingIsReadOrWritten)
{
    qint32 rc = 0;
    image->ReadImageFromLogger(false, rc);
    EXPECT_EQ(rc, imgNoLoggerDevice);
    image->WriteImageToLoggerNVRAM(rc);
    EXPECT_EQ(rc, imgNoLoggerDevice);
}

// The full reading keeps the alarm log and histogram byte for byte as the logger holds them; a
// header reading and a logger file keep neither (the file format stays as it was), and a page
// that fails its CRC leaves its area not read while the samples are read.
TEST_F(LoggerOnVirtualBus, FullReadingKeepsAlarmLogAndHistogram)
{
    VirtualDs1921* logger = addLogger(Ds1921Variant::G);
    ASSERT_FALSE(image->DeviceFound("21").isEmpty());
    startMission(1, true);
    world->advance(30LL * 60 * 1000);
    clsDS1921Data reader;
    ASSERT_FALSE(reader.DeviceFound("21").isEmpty());
    qint32 rc = -1;
    reader.ReadImageFromLogger(false, rc);
    ASSERT_EQ(rc, imgOk);
    const std::vector<uint8_t> alarms = memory(logger, 0x220, 0x60), histogram = memory(logger, 0x800, 0x80);
    EXPECT_EQ(reader.AlarmLogBytes(), QByteArray(reinterpret_cast<const char*>(alarms.data()), 0x60));
    EXPECT_EQ(reader.HistogramBytes(), QByteArray(reinterpret_cast<const char*>(histogram.data()), 0x80));
    EXPECT_EQ(HistogramTotal(DecodeHistogram(reader.HistogramBytes(), LoggerVariant::Standard)),
              quint64(reader.MissionSamples()));

    const QString file = dir.filePath("a.dta");
    reader.WriteLoggerImageToFile(file, rc);
    ASSERT_EQ(rc, imgOk);
    EXPECT_EQ(QFileInfo(file).size(), reader.NVRAMBytes().size() + 2122);
    reader.ReadLoggerImageFromFile(file, rc);
    ASSERT_EQ(rc, imgOk);
    EXPECT_TRUE(reader.AlarmLogBytes().isEmpty());
    EXPECT_TRUE(reader.HistogramBytes().isEmpty());

    logger->corruptCrcOnPage(0x820 / 32);   // the second histogram page, for good
    world->save();
    reader.ReadImageFromLogger(false, rc);
    EXPECT_EQ(rc, imgOk);
    EXPECT_EQ(reader.TemperaturePages().size(), 2049);
    EXPECT_EQ(reader.AlarmLogBytes().size(), 0x60);
    EXPECT_TRUE(reader.HistogramBytes().isEmpty());
    reader.ReadImageFromLogger(true, rc);
    EXPECT_EQ(rc, imgOk);
    EXPECT_TRUE(reader.AlarmLogBytes().isEmpty());
}
