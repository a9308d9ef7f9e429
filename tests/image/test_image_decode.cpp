// Decoding of logger images: registers, identity record, temperatures, sample series, calibration.
#include "support/LoggerImages.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace imagetest;

namespace {
QDateTime utc(int y, int mo, int d, int h, int mi, int s = 0) { return QDateTime(QDate(y, mo, d), QTime(h, mi, s), Qt::UTC); }
}

TEST(ImageRegisters, ClockMissionCountersAndFlags)
{
    BiasScope bias(0);
    clsDS1921Data image;
    QByteArray r(65, '\0');
    r[0] = 0x30; r[1] = 0x15; r[2] = 0x09; r[4] = 0x05; r[5] = char(0x86); r[6] = 0x07;
    r[0x1A] = 0x01; r[0x1B] = 0x08; r[0x1C] = 0x00;
    r[0x1D] = 0x10; r[0x1E] = 0x27; r[0x1F] = 0x01;
    r[0x12] = 0x2C; r[0x13] = 0x01;
    r[0x14] = 0x20;
    r[0x0E] = 0x48;
    image.SetRegisterPages(r);
    EXPECT_EQ(image.DateTime(), utc(2007, 6, 5, 9, 15, 30));
    EXPECT_EQ(image.MissionSamples(), 2049);
    EXPECT_EQ(image.SamplesStored(), 2048);
    EXPECT_EQ(image.DeviceSamples(), 0x012710);
    EXPECT_EQ(image.MissionStartDelay(), 300);
    EXPECT_TRUE(image.IsMissionRunning());
    EXPECT_TRUE(image.RollOver());
    r[0x14] = char(0xDF); r[0x0E] = char(0xF7);
    r[0x1A] = 100; r[0x1B] = 0;
    image.SetRegisterPages(r);
    EXPECT_FALSE(image.IsMissionRunning());
    EXPECT_FALSE(image.RollOver());
    EXPECT_EQ(image.SamplesStored(), 100);

    // The clock is shown in local time: local = UTC - bias.
    BiasScope cet(-60);
    EXPECT_EQ(image.DateTime(), utc(2007, 6, 5, 10, 15, 30));
}

TEST(ImageRegisters, InvalidBcdAndImpossibleDatesGiveInvalidTimes)
{
    BiasScope bias(0);
    Mission m;
    m.missionSamples = 3;
    clsDS1921Data image;
    QByteArray r = Registers(m);
    image.SetRegisterPages(r);
    ASSERT_TRUE(image.DateTime().isValid());
    ASSERT_TRUE(image.MissionStart().isValid());

    QByteArray bad = r;
    bad[1] = 0x1A;                        // not BCD
    image.SetRegisterPages(bad);
    EXPECT_FALSE(image.DateTime().isValid());
    bad = r;
    bad[5] = char(0x93);                  // month 13
    image.SetRegisterPages(bad);
    EXPECT_FALSE(image.DateTime().isValid());
    bad = r;
    bad[4] = 0x31; bad[5] = char(0x86);   // 31 June
    image.SetRegisterPages(bad);
    EXPECT_FALSE(image.DateTime().isValid());
    bad = r;
    bad[0x16] = 0x25;                     // mission start hour 25
    image.SetRegisterPages(bad);
    EXPECT_FALSE(image.MissionStart().isValid());
    EXPECT_FALSE(image.MissionEnd().isValid());
    bool complete = true;
    EXPECT_TRUE(image.TemperatureSamples(&complete).empty());
    EXPECT_FALSE(complete);

    // Registers missing altogether: neutral values, no crash.
    image.SetRegisterPages(QByteArray(5, '\x7F'));
    EXPECT_FALSE(image.DateTime().isValid());
    EXPECT_EQ(image.SampleRate(), 0);
    EXPECT_EQ(image.MissionSamples(), 0);
    EXPECT_EQ(image.DeviceSamples(), -1);
    EXPECT_FALSE(image.IsMissionRunning());
}

TEST(ImageRecord, FieldsVersionsAndDefaults)
{
    App().CurrentUserName = QStringLiteral("tester");
    App().InterfaceRomCode = QStringLiteral("1F000000010A2B09");
    clsDS1921Data image;
    image.SetNVRAMBytes(Record({"1", "0000074667", "cold room door", "123401203", "070605100000", "anna", "0000068139", "...calib..."}));
    image.DecodeNVRAM();
    EXPECT_EQ(image.NvramFields().size(), 8);
    EXPECT_EQ(image.SerialNo(), "0000074667");
    EXPECT_EQ(image.DeviceDescription(), "cold room door");
    EXPECT_EQ(image.DeviceID(), 123401203);
    EXPECT_EQ(image.Location(), 1234);
    EXPECT_EQ(image.Room(), 12);
    EXPECT_EQ(image.Position(), 3);
    EXPECT_EQ(image.UserName(), "anna");
    EXPECT_EQ(image.InterfaceSerial(), "0000068139");

    // Seven fields: the whole record is replaced by the defaults.
    image.SetNVRAMBytes(Record({"1", "0000074667", "cold room door", "123401203", "070605100000", "anna", "0000068139"}));
    image.DecodeNVRAM();
    const QStringList expected{"2", "0", "unknown", "0", "0", "tester", RomTextToSerialNo(App().InterfaceRomCode), "calibData", "?"};
    EXPECT_EQ(image.NvramFields(), expected);
    EXPECT_FALSE(image.LastReading().isValid());
    EXPECT_EQ(image.DeviceID(), 0);

    // A version-2 record names the logger's variant: code 0 of a "3B2" logger is -5.5 °C.
    image.SetNVRAMBytes(Record({"2", "1", "d", "1", "0", "u", "i", "...calib...", "4B3B2000001A2B21"}));
    image.DecodeNVRAM();
    EXPECT_FLOAT_EQ(image.TemperatureToSingle(0), -5.5f);

    // Encoding: version 1 for an ordinary logger, version 2 ending in the ROM for 4F2 and 3B2.
    image.SetDeviceID(99901);
    const QList<QByteArray> v1 = image.EncodedRecord("5A0000000123AB21").split('\x03');
    ASSERT_EQ(v1.size(), 8);
    EXPECT_EQ(v1[0], "1");
    EXPECT_EQ(v1[3], "99901");
    EXPECT_EQ(v1[4], "0");   // the stored text of the last reading, unchanged
    EXPECT_EQ(v1[7], "...calib...");
    const QList<QByteArray> v2 = image.EncodedRecord("7F4F2000001A2B21").split('\x03');
    ASSERT_EQ(v2.size(), 9);
    EXPECT_EQ(v2[0], "2");
    EXPECT_EQ(v2[8], "7F4F2000001A2B21");
    App().InterfaceRomCode.clear();
}

TEST(ImageRecord, Windows1252TextSurvivesEncodeAndDecode)
{
    clsDS1921Data image;
    image.SetNVRAMBytes(Record({"1", "1", "x", "1", "0", "u", "i", "...calib..."}));
    image.DecodeNVRAM();
    const QString text = QString::fromUtf8("Kühlzelle 2 – café, 4 °C €");
    image.SetDeviceDescription(text);
    image.SetUserName(QStringLiteral("a\x03" "b"));   // a separator inside a value would shift the fields
    image.EncodeNVRAM("5A0000000123AB21");
    const QByteArray bytes = image.NVRAMBytes();
    EXPECT_TRUE(bytes.contains("K\xFChlzelle 2 \x96 caf\xE9, 4 \xB0" "C \x80"));
    clsDS1921Data back;
    back.SetNVRAMBytes(bytes);
    back.DecodeNVRAM();
    EXPECT_EQ(back.DeviceDescription(), text);
    EXPECT_EQ(back.UserName(), "a b");
    EXPECT_EQ(back.NvramFields().size(), 8);

    // Every byte maps to a character and back.
    QByteArray all;
    for (int b = 0; b < 256; ++b) all.append(char(b));
    bool lossless = false;
    EXPECT_EQ(StringToCp1252(Cp1252ToString(all), &lossless), all);
    EXPECT_TRUE(lossless);
    EXPECT_EQ(StringToCp1252(QString::fromUtf8("Ω"), &lossless), "?");
    EXPECT_FALSE(lossless);
}

TEST(ImageRecord, LastReadingIsStoredAsUtcDigits)
{
    BiasScope bias(-60);
    clsDS1921Data image;
    image.SetNVRAMBytes(Record({"1", "1", "x", "1", "0", "u", "i", "...calib..."}));
    image.DecodeNVRAM();
    image.SetLastReading(utc(2007, 6, 5, 11, 0));   // local
    EXPECT_EQ(image.NvramFields().at(4), "070605100000");
    EXPECT_EQ(image.LastReading(), utc(2007, 6, 5, 11, 0));

    image.SetNVRAMBytes(Record({"1", "1", "x", "1", "071305100000", "u", "i", "...calib..."}));   // month 13
    image.DecodeNVRAM();
    EXPECT_FALSE(image.LastReading().isValid());
}

// When a logger's unread data is at risk (NextReading, stored with the logger's row): counted
// from the first sample of the mission, never from a reading alone, since reading a logger does
// not restart its mission.
TEST(ImageDataAtRisk, TheRuleOnItsOwn)
{
    const QDateTime first = utc(2026, 3, 1, 8, 0), read = utc(2026, 3, 7, 8, 0);
    const qint64 full = 5 * 2048 * 60;   // 2048 samples of 5 minutes: 170 h 40 min
    EXPECT_EQ(DataAtRiskTime(first, read, 5, false), first.addSecs(full));
    EXPECT_EQ(DataAtRiskTime(first, read, 5, true), read.addSecs(full));
    // A reading before the first sample (a mission still waiting) or none at all: the first sample counts.
    EXPECT_EQ(DataAtRiskTime(first, utc(2026, 2, 28, 8, 0), 5, true), first.addSecs(full));
    EXPECT_EQ(DataAtRiskTime(first, QDateTime(), 5, true), first.addSecs(full));
    EXPECT_FALSE(DataAtRiskTime(QDateTime(), read, 5, false).isValid());
    EXPECT_FALSE(DataAtRiskTime(first, read, 0, false).isValid());
}

TEST(ImageDataAtRisk, ReadSixDaysIntoAFiveMinuteMission)
{
    BiasScope bias(-60);   // local = UTC + 1 h
    Mission m;
    m.startUtc = utc(2026, 3, 1, 8, 0);
    m.clockUtc = utc(2026, 3, 7, 8, 0, 20);
    m.rate = 5;
    m.missionSamples = 6 * 24 * 12 + 1;
    const qint64 full = 5 * 2048 * 60;
    clsDS1921Data image;
    Load(image, StandardRecord(1200103, "door", utc(2026, 3, 7, 8, 1)), Registers(m), QByteArray());
    EXPECT_EQ(image.FirstSampleTime(), utc(2026, 3, 1, 9, 0));
    // Without rollover: 26 h 40 min after the reading, where the reading time alone would give 170 h 40 min.
    EXPECT_EQ(image.NextReading(), utc(2026, 3, 1, 9, 0).addSecs(full));
    EXPECT_EQ(image.LastReading().secsTo(image.NextReading()), 26 * 3600 + 39 * 60);

    m.rollover = true;
    image.SetRegisterPages(Registers(m));
    EXPECT_EQ(image.NextReading(), utc(2026, 3, 7, 9, 1).addSecs(full));

    // A logger never read (no reading time in its record): the first sample counts either way.
    Load(image, StandardRecord(1200103, "door", utc(2026, 3, 7, 8, 1)).replace("260307080100", "0"), Registers(m),
         QByteArray());
    ASSERT_FALSE(image.LastReading().isValid());
    EXPECT_EQ(image.NextReading(), utc(2026, 3, 1, 9, 0).addSecs(full));
    m.rollover = false;
    image.SetRegisterPages(Registers(m));
    EXPECT_EQ(image.NextReading(), utc(2026, 3, 1, 9, 0).addSecs(full));
}

TEST(ImageDataAtRisk, AMissionWaitingForItsStartDelay)
{
    BiasScope bias(0);
    Mission m;
    m.clockUtc = utc(2026, 3, 1, 8, 0, 40);
    m.rate = 10;
    m.delay = 90;               // minutes still to wait
    // No first sample yet: the mission time stamp is still cleared.
    auto registers = [&] {
        QByteArray r = Registers(m);
        for (int i = 0x15; i <= 0x19; ++i) r[i] = 0;
        return r;
    };
    clsDS1921Data image;
    Load(image, StandardRecord(1200103, "door", utc(2026, 3, 1, 8, 1)), registers(), QByteArray());
    ASSERT_FALSE(image.MissionStart().isValid());
    // The delay runs out at 09:30 and the first sample follows at the next minute boundary.
    EXPECT_EQ(image.FirstSampleTime(), utc(2026, 3, 1, 9, 31));
    EXPECT_EQ(image.NextReading(), utc(2026, 3, 1, 9, 31).addSecs(10 * 2048 * 60));
    m.rollover = true;
    image.SetRegisterPages(registers());
    EXPECT_EQ(image.NextReading(), utc(2026, 3, 1, 9, 31).addSecs(10 * 2048 * 60));

    // A logger that was never started records nothing: no moment.
    m.running = false;
    image.SetRegisterPages(registers());
    EXPECT_FALSE(image.FirstSampleTime().isValid());
    EXPECT_FALSE(image.NextReading().isValid());
}

TEST(ImageTemperatures, VariantsAtTheEndsOfTheCodeRange)
{
    clsDS1921Data image;
    EXPECT_FLOAT_EQ(image.TemperatureToSingle(0, "5A0000000123AB21"), -40.0f);
    EXPECT_FLOAT_EQ(image.TemperatureToSingle(255, "5A0000000123AB21"), 87.5f);
    EXPECT_FLOAT_EQ(image.TemperatureToSingle(0, "7F4F2000001A2B21"), 14.5f);
    EXPECT_FLOAT_EQ(image.TemperatureToSingle(255, "7F4F2000001A2B21"), 46.375f);
    EXPECT_FLOAT_EQ(image.TemperatureToSingle(0, "4B3B2000001A2B21"), -5.5f);
    EXPECT_FLOAT_EQ(image.TemperatureToSingle(255, "4B3B2000001A2B21"), 26.375f);
}

TEST(ImageTemperatures, ExtremesScanOnlyStoredSlots)
{
    Mission m;
    m.missionSamples = 3;
    clsDS1921Data image;
    Load(image, StandardRecord(1, "d", utc(2007, 6, 5, 9, 0)), Registers(m),
         Log([](int i) { return i == 0 ? 90 : i == 1 ? 70 : i == 2 ? 85 : i == 3 ? 255 : 0; }));
    EXPECT_FLOAT_EQ(image.MaxTemp(), 5.0f);
    EXPECT_FLOAT_EQ(image.MinTemp(), -5.0f);
    m.missionSamples = 0;
    image.SetRegisterPages(Registers(m));
    EXPECT_FLOAT_EQ(image.MaxTemp(), -40.0f);
    EXPECT_FLOAT_EQ(image.MinTemp(), 87.5f);
}

TEST(ImageSerialNumber, FixedMappingOfTheRomText)
{
    // These results are kept in files and databases: they must never change.
    EXPECT_EQ(RomTextToSerialNo("5A0000000123AB21"), "0000074667");
    EXPECT_EQ(RomTextToSerialNo("5a0000000123ab21"), "0000074667");
    EXPECT_EQ(RomTextToSerialNo("C0FFFFFFFFFFFF21"), "4976710655");
    EXPECT_EQ(RomTextToSerialNo("1F000000010A2B09"), "0000068139");
    EXPECT_EQ(RomTextToSerialNo("0D00000254E3F221"), "0039117810");
    EXPECT_EQ(RomTextToSerialNo(""), "0000000000");
    EXPECT_EQ(RomTextToSerialNo("?"), "0000000000");
    EXPECT_EQ(RomTextToSerialNo("5A0000000123AB2"), "0000000000");
}

TEST(ImageSamples, WithoutRolloverCountForwardFromTheStart)
{
    BiasScope bias(-60);
    Mission m;
    m.rate = 10;
    m.startUtc = utc(2007, 6, 5, 11, 0);   // 12:00 local
    m.missionSamples = 3;
    clsDS1921Data image;
    Load(image, StandardRecord(1, "d", utc(2007, 6, 5, 12, 0)), Registers(m), Log([](int i) { return 100 + i; }));
    EXPECT_EQ(image.MissionStart(), utc(2007, 6, 5, 12, 0));
    const auto s = image.TemperatureSamples();
    ASSERT_EQ(s.size(), 3u);
    EXPECT_EQ(s[0].time, utc(2007, 6, 5, 11, 0));
    EXPECT_EQ(s[1].time, utc(2007, 6, 5, 11, 10));
    EXPECT_EQ(s[2].time, utc(2007, 6, 5, 11, 20));
    EXPECT_FLOAT_EQ(s[0].celsius, 10.0f);
    EXPECT_FLOAT_EQ(s[2].celsius, 11.0f);

    // A logger that stopped when full but counts on: 2048 rows from the start, slots in order.
    m.missionSamples = 5000;
    image.SetRegisterPages(Registers(m));
    const auto full = image.TemperatureSamples();
    ASSERT_EQ(full.size(), 2048u);
    EXPECT_EQ(full.front().time, utc(2007, 6, 5, 11, 0));
    EXPECT_EQ(full.back().time, utc(2007, 6, 5, 11, 0).addSecs(2047 * 600));

    m.missionSamples = 0;
    image.SetRegisterPages(Registers(m));
    bool complete = false;
    EXPECT_TRUE(image.TemperatureSamples(&complete).empty());
    EXPECT_TRUE(complete);
}

TEST(ImageSamples, RolloverStartsAtTheOldestSlotAndCountsBackFromTheEnd)
{
    BiasScope bias(0);
    Mission m;
    m.rate = 1;
    m.rollover = true;
    m.startUtc = utc(2007, 6, 1, 0, 0);
    m.missionSamples = 2050;
    clsDS1921Data image;
    // Slot i holds i mod 256, so the slot of every row can be read back from its code.
    Load(image, StandardRecord(1, "d", utc(2007, 6, 5, 12, 0)), Registers(m), Log([](int i) { return i % 256; }));
    const auto s = image.TemperatureSamples();
    ASSERT_EQ(s.size(), 2048u);
    auto slotOf = [&](size_t row) { return int((s[row].celsius + 40.0f) * 2.0f); };
    EXPECT_EQ(slotOf(0), 2);
    EXPECT_EQ(slotOf(2045), 2047 % 256);
    EXPECT_EQ(slotOf(2046), 0);
    EXPECT_EQ(slotOf(2047), 1);
    EXPECT_EQ(s.front().time, m.startUtc.addSecs(2 * 60));
    EXPECT_EQ(s.back().time, m.startUtc.addSecs(2049 * 60));
    for (size_t r = 1; r < s.size(); ++r) ASSERT_EQ(s[r - 1].time.secsTo(s[r].time), 60);

    // Exactly 2048: slot 0 first, the same times as without rollover.
    m.missionSamples = 2048;
    image.SetRegisterPages(Registers(m));
    const auto exact = image.TemperatureSamples();
    ASSERT_EQ(exact.size(), 2048u);
    EXPECT_EQ(int((exact[0].celsius + 40.0f) * 2.0f), 0);
    EXPECT_EQ(exact.front().time, m.startUtc);
    EXPECT_EQ(exact.back().time, m.startUtc.addSecs(2047 * 60));

    // A sample rate of 0 with samples counted: no times can be given.
    m.rate = 0;
    image.SetRegisterPages(Registers(m));
    bool complete = true;
    EXPECT_TRUE(image.TemperatureSamples(&complete).empty());
    EXPECT_FALSE(complete);

    // A data log shorter than the rows need (an image read without its log): no series.
    m.rate = 1;
    image.SetRegisterPages(Registers(m));
    image.SetTemperaturePages(QByteArray());
    complete = true;
    EXPECT_TRUE(image.TemperatureSamples(&complete).empty());
    EXPECT_FALSE(complete);
}

TEST(ImageCalibration, TableClampsAndCorrects)
{
    QTemporaryDir dir;
    clsDS1921Data image;
    image.SetNVRAMBytes(Record({"1", "0000074667", "x", "1", "0", "u", "i", "...calib..."}));
    image.DecodeNVRAM();
    qint32 rc = 0;
    image.GetCalibData(dir.path(), rc);
    EXPECT_EQ(rc, imgCalibNotLoaded);

    auto write = [&](const QByteArray& content) {
        QFile f(QDir(dir.path()).filePath("0000074667.dtc"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(content);
    };
    write("V2\r\na\r\nb\r\nc\r\n-10\r\n20\r\nx\r\n1\r\n2\r\n3\r\n4\r\n5\r\n6");
    image.GetCalibData(dir.path(), rc);
    EXPECT_EQ(rc, imgOk);
    EXPECT_FALSE(image.HasCalibration());

    // Lines 7.. are the corrections for codes 0, 1, ...; the last four lines are not read.
    write("  V1\r\na\r\nb\r\nc\r\n-39.5\r\n20\r\nx\r\n0.25\r\n-0.5\r\nabc\r\n1.5\r\nt1\r\nt2\r\nt3\r\nt4  ");
    image.GetCalibData(dir.path(), rc);
    EXPECT_EQ(rc, imgOk);
    ASSERT_EQ(image.CalibTable.size(), 4u);
    EXPECT_FLOAT_EQ(image.CalibLower, -39.5f);
    EXPECT_FLOAT_EQ(image.TemperatureToSingle(0, "5A0000000123AB21"), -39.5f + 0.25f);   // raised to the lower limit
    EXPECT_FLOAT_EQ(image.TemperatureToSingle(1, "5A0000000123AB21"), -39.5f - 0.5f);
    EXPECT_FLOAT_EQ(image.TemperatureToSingle(2, "5A0000000123AB21"), -39.0f);            // "abc" reads as 0
    EXPECT_FLOAT_EQ(image.TemperatureToSingle(4, "5A0000000123AB21"), -38.0f);            // no entry: uncorrected
}
