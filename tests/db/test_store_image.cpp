// Storing logger images in a real database file: the devices row, the compartment, the samples,
// duplicates, older readings, clipping, and an error half-way that must leave nothing behind.
#include "support/TestSite.h"
#include "support/LoggerImages.h"

using namespace imagetest;

namespace {

constexpr qint32 kDevice = 123401203;   // site 1234, compartment 12, position 3

class StoreImage : public TempDatabase {
protected:
    void SetUp() override
    {
        TempDatabase::SetUp();
        App().UtcBias = -60;
        App().ClipTempLower = -40.0f;
        raw = openRaw();
    }
    void TearDown() override
    {
        sqlite3_close(raw);
        TempDatabase::TearDown();
    }
    // A reading taken at readUtc of a 15-minute mission started 1 June 2007 12:00 UTC.
    void makeImage(clsDS1921Data& image, int missionSamples, const QDateTime& readUtc,
                   const QString& description = QStringLiteral("door left"))
    {
        Mission m;
        m.missionSamples = missionSamples;
        m.deviceSamples = missionSamples + 500;
        m.clockUtc = readUtc;
        Load(image, StandardRecord(kDevice, description, readUtc), Registers(m),
             Log([](int i) { return 80 + (i % 20); }));
    }
    qint64 count(const char* sql) { return scalar(raw, sql); }

    sqlite3* raw = nullptr;
};

} // namespace

TEST_F(StoreImage, RowsOfANewLoggerAndNothingMoreTheSecondTime)
{
    clsDS1921Data image;
    makeImage(image, 100, utc(2007, 6, 2, 13, 0));
    EXPECT_EQ(db->LoggerImageToDB(image), ImageStoreResult::Stored);
    EXPECT_EQ(count("SELECT COUNT(*) FROM samples WHERE DeviceID = 123401203"), 100);
    EXPECT_EQ(count("SELECT MIN(SampleDate) FROM samples"), utc(2007, 6, 1, 12, 0).toSecsSinceEpoch());
    EXPECT_EQ(count("SELECT MAX(SampleDate) FROM samples"), utc(2007, 6, 1, 12, 0).addSecs(99 * 900).toSecsSinceEpoch());
    EXPECT_EQ(scalarText(raw, "SELECT SampleTemp FROM samples ORDER BY SampleDate LIMIT 1 OFFSET 5"), "2.5");
    // Local times (UTC + 60 minutes) in the devices row.
    EXPECT_EQ(scalarText(raw, "SELECT DateRead FROM devices"), "2007-06-02 14:00:00");
    EXPECT_EQ(scalarText(raw, "SELECT DateDevice FROM devices"), "2007-06-02 14:00:00");
    // Without rollover the log is full 2048 periods after the first sample (mission start).
    EXPECT_EQ(scalarText(raw, "SELECT NextReading FROM devices"),
              utc(2007, 6, 1, 13, 0).addSecs(15 * 2048 * 60).toString("yyyy-MM-dd HH:mm:ss"));
    EXPECT_EQ(scalarText(raw, "SELECT SerialNo || '|' || DeviceDescription || '|' || \"User\" || '|' || \"Interface\" || '|' || "
                              "SampleRate || '|' || AlarmLow || '|' || AlarmHigh || '|' || DeviceSamples || '|' || "
                              "MissionSamples || '|' || RollOver || '|' || MissionRunning FROM devices"),
              "0000074667|door left|operator|0000001234|15|0.0|10.0|600|100|0|1");

    // The same image again: every sample is a duplicate; nothing changes.
    const QString before = scalarText(raw, "SELECT group_concat(DeviceID || DateRead || MissionSamples) FROM devices");
    EXPECT_EQ(db->LoggerImageToDB(image), ImageStoreResult::Stored);
    EXPECT_EQ(count("SELECT COUNT(*) FROM samples"), 100);
    EXPECT_EQ(count("SELECT COUNT(*) FROM devices"), 1);
    EXPECT_EQ(count("SELECT COUNT(*) FROM rooms"), 1);
    EXPECT_EQ(scalarText(raw, "SELECT group_concat(DeviceID || DateRead || MissionSamples) FROM devices"), before);
    EXPECT_FALSE(db->InTransaction());
    EXPECT_TRUE(messages.empty());
}

TEST_F(StoreImage, AnOlderReadingKeepsTheNewerRowButAddsItsMissingSamples)
{
    clsDS1921Data newer, older;
    makeImage(newer, 200, utc(2007, 6, 4, 10, 0), QStringLiteral("new text"));
    // The older reading saw the first 150 samples; pretend 50 of them were lost from the
    // database before, so that it brings samples the database lacks.
    makeImage(older, 150, utc(2007, 6, 3, 2, 0), QStringLiteral("old text"));
    ASSERT_EQ(db->LoggerImageToDB(newer), ImageStoreResult::Stored);
    sqlite3_exec(raw, "DELETE FROM samples WHERE SampleDate < 1180744200", nullptr, nullptr, nullptr);
    const qint64 left = count("SELECT COUNT(*) FROM samples");
    ASSERT_EQ(left, 150);
    ASSERT_EQ(db->LoggerImageToDB(older), ImageStoreResult::Stored);
    EXPECT_EQ(count("SELECT COUNT(*) FROM samples"), 200);
    EXPECT_EQ(scalarText(raw, "SELECT DeviceDescription || '|' || MissionSamples || '|' || DateRead FROM devices"),
              "new text|200|2007-06-04 11:00:00");

    // A later reading refreshes the row.
    clsDS1921Data latest;
    makeImage(latest, 250, utc(2007, 6, 5, 0, 0), QStringLiteral("latest"));
    ASSERT_EQ(db->LoggerImageToDB(latest), ImageStoreResult::Stored);
    EXPECT_EQ(scalarText(raw, "SELECT DeviceDescription || '|' || MissionSamples FROM devices"), "latest|250");
    EXPECT_EQ(count("SELECT COUNT(*) FROM samples"), 250);
}

TEST_F(StoreImage, CompartmentIsCreatedOnceAndNeverChanged)
{
    clsDS1921Data image;
    makeImage(image, 0, utc(2007, 6, 2, 13, 0), QStringLiteral("a rather long description of the position, far beyond fifty characters"));
    ASSERT_EQ(db->LoggerImageToDB(image), ImageStoreResult::Stored);
    EXPECT_EQ(count("SELECT RoomID FROM rooms"), 12);
    EXPECT_EQ(count("SELECT RoomSequence FROM rooms"), 1);
    const QString description = scalarText(raw, "SELECT RoomDescription FROM rooms");
    EXPECT_EQ(description, QString("compartment for a rather long description of the position, far").left(50));
    EXPECT_EQ(description.size(), 50);
    // No mission samples: the devices row is written, no sample.
    EXPECT_EQ(count("SELECT COUNT(*) FROM devices"), 1);
    EXPECT_EQ(count("SELECT COUNT(*) FROM samples"), 0);

    sqlite3_exec(raw, "UPDATE rooms SET RoomDescription = 'freezer', RoomSequence = 7", nullptr, nullptr, nullptr);
    clsDS1921Data later;
    makeImage(later, 10, utc(2007, 6, 3, 13, 0), QStringLiteral("other"));
    ASSERT_EQ(db->LoggerImageToDB(later), ImageStoreResult::Stored);
    EXPECT_EQ(scalarText(raw, "SELECT RoomDescription || RoomSequence FROM rooms"), "freezer7");
}

TEST_F(StoreImage, SamplesBelowTheLowerClipAreStoredAtTheClip)
{
    App().ClipTempLower = -10.0f;
    clsDS1921Data image;
    Mission m;
    m.missionSamples = 4;
    m.deviceSamples = 4;
    Load(image, StandardRecord(kDevice, "d", utc(2007, 6, 2, 0, 0)), Registers(m),
         Log([](int i) { return i == 0 ? 0 : i == 1 ? 59 : i == 2 ? 60 : 255; }));   // -40, -10.5, -10, 87.5
    ASSERT_EQ(db->LoggerImageToDB(image), ImageStoreResult::Stored);
    EXPECT_EQ(scalarText(raw, "SELECT group_concat(SampleTemp, ' ') FROM (SELECT SampleTemp FROM samples ORDER BY SampleDate)"),
              "-10.0 -10.0 -10.0 87.5");
}

TEST_F(StoreImage, AnErrorHalfWayLeavesNoHalfStoredImage)
{
    clsDS1921Data first;
    makeImage(first, 10, utc(2007, 6, 1, 15, 0));
    ASSERT_EQ(db->LoggerImageToDB(first), ImageStoreResult::Stored);
    const QString devicesBefore = scalarText(raw, "SELECT group_concat(DeviceID || '|' || DateRead || '|' || MissionSamples) FROM devices");

    // The engine refuses the 500th sample of the next reading.
    const qint64 poison = utc(2007, 6, 1, 12, 0).addSecs(499 * 900).toSecsSinceEpoch();
    const QByteArray trigger = "CREATE TRIGGER poison BEFORE INSERT ON samples WHEN NEW.SampleDate = " +
                               QByteArray::number(poison) + " BEGIN SELECT RAISE(ABORT, 'disk on fire'); END";
    ASSERT_EQ(sqlite3_exec(raw, trigger.constData(), nullptr, nullptr, nullptr), SQLITE_OK);

    clsDS1921Data image;
    Mission m;
    m.missionSamples = 1000;
    m.deviceSamples = 1500;
    m.clockUtc = utc(2007, 6, 12, 0, 0);
    // Another compartment, so that a left-over rooms row would show too.
    Load(image, StandardRecord(123405501, "new position", utc(2007, 6, 12, 0, 0)), Registers(m),
         Log([](int i) { return 90 + (i % 7); }));
    makeImage(first, 1000, utc(2007, 6, 12, 0, 0));
    bool threw = false;
    try {
        static_cast<void>(db->LoggerImageToDB(first));
    } catch (const DbError& e) {
        threw = true;
        EXPECT_FALSE(e.isDuplicateKey());
        EXPECT_TRUE(e.description.contains("disk on fire")) << e.description.toStdString();
    }
    EXPECT_TRUE(threw);
    EXPECT_FALSE(db->InTransaction());
    EXPECT_EQ(count("SELECT COUNT(*) FROM samples"), 10);
    EXPECT_EQ(scalarText(raw, "SELECT group_concat(DeviceID || '|' || DateRead || '|' || MissionSamples) FROM devices"),
              devicesBefore);

    EXPECT_THROW(static_cast<void>(db->LoggerImageToDB(image)), DbError);
    EXPECT_EQ(count("SELECT COUNT(*) FROM devices"), 1);
    EXPECT_EQ(count("SELECT COUNT(*) FROM rooms"), 1);
    EXPECT_EQ(count("SELECT COUNT(*) FROM samples"), 10);

    // Once the fault is gone the same images store completely.
    ASSERT_EQ(sqlite3_exec(raw, "DROP TRIGGER poison", nullptr, nullptr, nullptr), SQLITE_OK);
    EXPECT_EQ(db->LoggerImageToDB(first), ImageStoreResult::Stored);
    EXPECT_EQ(db->LoggerImageToDB(image), ImageStoreResult::Stored);
    EXPECT_EQ(count("SELECT COUNT(*) FROM samples"), 2000);
    EXPECT_EQ(count("SELECT COUNT(*) FROM rooms"), 2);
}

TEST_F(StoreImage, ImagesWithoutCountersIdentifierOrLogAreRejected)
{
    clsDS1921Data noRegisters;
    Load(noRegisters, StandardRecord(kDevice, "d", utc(2007, 6, 2, 0, 0)), QByteArray(), QByteArray());
    EXPECT_EQ(db->LoggerImageToDB(noRegisters), ImageStoreResult::Refused);

    clsDS1921Data noLog;
    makeImage(noLog, 100, utc(2007, 6, 2, 0, 0));
    noLog.SetTemperaturePages(QByteArray(50, '\0'));
    EXPECT_EQ(db->LoggerImageToDB(noLog), ImageStoreResult::Refused);

    clsDS1921Data noId;
    makeImage(noId, 100, utc(2007, 6, 2, 0, 0));
    noId.SetNVRAMBytes(Record({"1", "1", "d", "not a number", "0", "u", "i", "...calib..."}));
    noId.DecodeNVRAM();
    EXPECT_EQ(db->LoggerImageToDB(noId), ImageStoreResult::Refused);

    EXPECT_EQ(count("SELECT COUNT(*) FROM devices"), 0);
    EXPECT_EQ(count("SELECT COUNT(*) FROM rooms"), 0);
    EXPECT_EQ(count("SELECT COUNT(*) FROM samples"), 0);
}
