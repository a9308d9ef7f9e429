// Logger files on disk: layout, read-back, atomic replacement, and refusal of damaged files.
#include "support/LoggerImages.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace imagetest;

namespace {

const QString kRom = QStringLiteral("5A0000000123AB21");

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeAll(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

int16_t at16(const QByteArray& b, int pos) { return int16_t(uint8_t(b[pos]) | (uint8_t(b[pos + 1]) << 8)); }

class LoggerFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        Mission m;
        m.missionSamples = 300;
        m.deviceSamples = 1300;
        // A record that encodes to exactly 60 bytes for an ordinary logger.
        QString description = QStringLiteral("x");
        for (;;) {
            Load(image, Record({"1", "0000074667", description, "123401203", "070605100000", "op", "1234", "...calib..."}),
                 Registers(m), Log([](int i) { return (i * 7) % 256; }));
            const int n = int(image.EncodedRecord(kRom).size());
            if (n >= 60) { ASSERT_EQ(n, 60); break; }
            description += QChar('x');
        }
    }
    QString path(const QString& name) const { return QDir(dir.path()).filePath(name); }

    QTemporaryDir dir;
    clsDS1921Data image;
};

} // namespace

TEST_F(LoggerFiles, LayoutOfACompleteImageAndByteForByteReadBack)
{
    qint32 rc = -99;
    image.WriteLoggerImageToFileFor(path("0000074667 070605143012.dta"), kRom, rc);
    ASSERT_EQ(rc, imgOk) << image.LastError().toStdString();
    const QByteArray file = readAll(path("0000074667 070605143012.dta"));
    ASSERT_EQ(file.size(), 60 + 2122);
    EXPECT_EQ(file.left(4), QByteArray("\x01\x00\x3B\x00", 4));
    EXPECT_EQ(file.mid(64, 2), QByteArray("\x40\x00", 2));
    EXPECT_EQ(at16(file, 64 + 2 + 65), 2048);
    EXPECT_EQ(file.mid(4, 60), image.NVRAMBytes());
    EXPECT_EQ(image.intVersion, 1);
    // Nothing but the file itself is left in the folder.
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"0000074667 070605143012.dta"});

    clsDS1921Data back;
    back.ReadLoggerImageFromFile(path("0000074667 070605143012.dta"), rc);
    ASSERT_EQ(rc, imgOk) << back.LastError().toStdString();
    EXPECT_EQ(back.NVRAMBytes(), image.NVRAMBytes());
    EXPECT_EQ(back.RegisterPages(), image.RegisterPages());
    EXPECT_EQ(back.TemperaturePages(), image.TemperaturePages());
    EXPECT_EQ(back.DeviceID(), 123401203);
    EXPECT_EQ(back.DeviceDescription(), image.DeviceDescription());
    EXPECT_EQ(back.MissionSamples(), 300);

    // Written again from what was read: the same bytes.
    back.WriteLoggerImageToFileFor(path("again.dta"), kRom, rc);
    ASSERT_EQ(rc, imgOk);
    EXPECT_EQ(readAll(path("again.dta")), file);
}

TEST_F(LoggerFiles, RewritingReplacesTheWholeFile)
{
    writeAll(path("a.dta"), QByteArray(5000, '\x55'));   // longer than the new content
    qint32 rc = -99;
    image.WriteLoggerImageToFileFor(path("a.dta"), kRom, rc);
    ASSERT_EQ(rc, imgOk);
    EXPECT_EQ(readAll(path("a.dta")).size(), 60 + 2122);

    image.WriteLoggerImageToFileFor(path("missing-folder/a.dta"), kRom, rc);
    EXPECT_EQ(rc, imgFileOpenFailed);
    EXPECT_FALSE(image.LastError().isEmpty());
}

TEST_F(LoggerFiles, WithoutLoggerDeviceNothingIsWritten)
{
    qint32 rc = 0;
    image.WriteLoggerImageToFile(path("b.dta"), rc);
    EXPECT_EQ(rc, imgNoLoggerDevice);
    EXPECT_FALSE(QFile::exists(path("b.dta")));
}

TEST_F(LoggerFiles, DamagedFilesAreRefusedAndTheImageStaysAsItWas)
{
    qint32 rc = -99;
    image.WriteLoggerImageToFileFor(path("good.dta"), kRom, rc);
    ASSERT_EQ(rc, imgOk);
    const QByteArray good = readAll(path("good.dta"));

    clsDS1921Data target;
    target.ReadLoggerImageFromFile(path("good.dta"), rc);
    ASSERT_EQ(rc, imgOk);
    const QByteArray regs = target.RegisterPages(), log = target.TemperaturePages(), nv = target.NVRAMBytes();
    auto expectUnchanged = [&] {
        EXPECT_EQ(target.RegisterPages(), regs);
        EXPECT_EQ(target.TemperaturePages(), log);
        EXPECT_EQ(target.NVRAMBytes(), nv);
    };

    struct Case { const char* name; QByteArray bytes; int expected; };
    QByteArray negative = good;
    negative[2] = char(0xFB); negative[3] = char(0xFF);          // highest index -5
    QByteArray tooLarge = good;
    tooLarge[64] = char(0xFF); tooLarge[65] = 0x7F;              // 32768 register bytes
    QByteArray logTooLarge = good;
    logTooLarge[64 + 2 + 65] = 0x01; logTooLarge[64 + 2 + 65 + 1] = 0x08;   // 2050 data-log bytes, 2049 there
    QByteArray version2 = good;
    version2[0] = 0x02;
    const std::vector<Case> cases{
        {"cut inside the data log", good.left(good.size() - 100), imgFileDamaged},
        {"cut by one byte", good.left(good.size() - 1), imgFileDamaged},
        {"cut inside a length field", good.left(65), imgFileDamaged},
        {"only a version", good.left(2), imgFileDamaged},
        {"one byte", good.left(1), imgFileDamaged},
        {"empty", QByteArray(), imgFileDamaged},
        {"negative length", negative, imgFileDamaged},
        {"register length beyond the file", tooLarge, imgFileDamaged},
        {"data-log length beyond the file", logTooLarge, imgFileDamaged},
        {"another version", version2, imgFileWrongVersion},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        writeAll(path("bad.dta"), c.bytes);
        rc = 0;
        target.ReadLoggerImageFromFile(path("bad.dta"), rc);
        EXPECT_EQ(rc, c.expected);
        EXPECT_FALSE(target.LastError().isEmpty());
        expectUnchanged();
    }
    target.ReadLoggerImageFromFile(path("no such file.dta"), rc);
    EXPECT_EQ(rc, imgFileOpenFailed);
    expectUnchanged();

    // An empty array (highest index -1) is a valid, empty part: an image read without its log.
    clsDS1921Data header;
    Load(header, image.NVRAMBytes(), image.RegisterPages(), QByteArray());
    header.WriteLoggerImageToFileFor(path("header.dta"), kRom, rc);
    ASSERT_EQ(rc, imgOk);
    EXPECT_EQ(readAll(path("header.dta")).right(2), QByteArray("\xFF\xFF", 2));
    clsDS1921Data h2;
    h2.ReadLoggerImageFromFile(path("header.dta"), rc);
    EXPECT_EQ(rc, imgOk);
    EXPECT_TRUE(h2.TemperaturePages().isEmpty());
}
