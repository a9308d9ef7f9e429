// The companion of a logger file on disk: written beside the file of a full reading (also when an
// area was not read), its text read back line by line and its hash checked against the logger
// file's bytes; a companion of another file or a damaged one refused; none for an image of a file;
// a companion that cannot be written leaves no logger file; a move takes both to one free name.
#include "image/LoggerCompanion.h"
#include "image/LoggerEvidence.h"
#include "support/LoggerImages.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace imagetest;

namespace {

const char* const kRom = "5A0000000123AB21";

class CompanionFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        m.missionSamples = m.deviceSamples = 3000;
        m.rate = 1;
        m.rollover = true;
        m.clockUtc = m.startUtc.addSecs(3000 * 60 + 30);
    }
    QString path(const QString& name) const { return QDir(dir.path()).filePath(name); }
    // A logger file of a full reading, with these areas (empty: not read).
    QString write(const QString& name, const QByteArray& alarms, const QByteArray& histogram, bool fullReading = true,
                  int description = 0)
    {
        clsDS1921Data image;
        Load(image, StandardRecord(123400101, QStringLiteral("door %1").arg(description), m.clockUtc), Registers(m),
             Log([](int i) { return 80 + (i % 7); }));
        if (fullReading) image.SetEvidenceBytes(alarms, histogram, m.clockUtc);
        qint32 rc = -1;
        image.WriteLoggerImageToFileFor(path(name), kRom, rc);
        lastResult = rc;
        return path(name);
    }
    static QByteArray bytesOf(const QString& file)
    {
        QFile f(file);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    static QString sha256Of(const QString& file)
    {
        return QString::fromLatin1(QCryptographicHash::hash(bytesOf(file), QCryptographicHash::Sha256).toHex());
    }
    CompanionState readBack(const QString& loggerFile, LoggerCompanion& c, QString* why = nullptr)
    {
        clsDS1921Data image;
        qint32 rc = -1;
        image.ReadLoggerImageFromFile(loggerFile, rc);
        EXPECT_EQ(rc, imgOk);
        return ReadCompanionFor(loggerFile, sha256Of(loggerFile), image, c, why);
    }

    QTemporaryDir dir;
    Mission m;
    qint32 lastResult = 0;
    const QByteArray alarms = AlarmArea({{true, 30, 60}, {true, 2980, 20}, {false, 1200, 3}});
    const QByteArray histogram = HistogramArea({{21, 2900}, {23, 100}});
};

} // namespace

TEST_F(CompanionFiles, WrittenBesideTheLoggerFileAndReadBack)
{
    const QString file = write("0000074667 070603103030.dta", alarms, histogram);
    ASSERT_EQ(lastResult, imgOk);
    const QString companion = path("0000074667 070603103030.alh");
    EXPECT_EQ(CompanionPathFor(file), companion);
    ASSERT_TRUE(QFile::exists(companion));
    // Nothing but the two files is left in the folder (no temporary names).
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 2);

    // The text, read line by line without the program's reader.
    QMap<QString, QString> fields;
    const QList<QByteArray> lines = bytesOf(companion).split('\n');
    EXPECT_EQ(lines.first(), QByteArray("NORDALIS alarm log and histogram 1"));
    for (const QByteArray& l : lines.mid(1))
        if (l.contains('=')) fields.insert(QString::fromUtf8(l.left(l.indexOf('='))), QString::fromUtf8(l.mid(l.indexOf('=') + 1)));
    EXPECT_EQ(fields.value("logger-file-sha256"), sha256Of(file));
    EXPECT_EQ(fields.value("logger-file"), "0000074667 070603103030.dta");
    EXPECT_EQ(fields.value("serial"), "0000074667");
    EXPECT_EQ(fields.value("rom"), kRom);
    EXPECT_EQ(fields.value("mission-start-utc"), "2007-06-01T12:00:00Z");
    EXPECT_EQ(fields.value("read-utc"), m.clockUtc.toString(Qt::ISODate));
    EXPECT_EQ(QByteArray::fromHex(fields.value("alarm-log").toLatin1()), alarms);
    EXPECT_EQ(QByteArray::fromHex(fields.value("histogram").toLatin1()), histogram);

    LoggerCompanion c;
    ASSERT_EQ(readBack(file, c), CompanionState::Belongs);
    EXPECT_EQ(c.alarmLog, alarms);
    EXPECT_EQ(c.histogram, histogram);
    EXPECT_EQ(c.readUtc, m.clockUtc);
    // The logger file itself is what it always was: read back, it has neither area.
    clsDS1921Data image;
    qint32 rc = -1;
    image.ReadLoggerImageFromFile(file, rc);
    ASSERT_EQ(rc, imgOk);
    EXPECT_TRUE(image.AlarmLogBytes().isEmpty());
    EXPECT_EQ(image.MissionSamples(), 3000);
}

TEST_F(CompanionFiles, AnAreaNotReadIsSaidSoAndAFileImageGetsNone)
{
    const QString file = write("a.dta", alarms, QByteArray());
    EXPECT_TRUE(bytesOf(CompanionPathFor(file)).contains("\nhistogram=not read\n"));
    LoggerCompanion c;
    ASSERT_EQ(readBack(file, c), CompanionState::Belongs);
    EXPECT_EQ(c.alarmLog, alarms);
    EXPECT_TRUE(c.histogram.isEmpty());

    // An image that is no full reading (taken from a file) is written without a companion, and
    // its file reads as one of an older program.
    const QString plain = write("b.dta", QByteArray(), QByteArray(), false);
    EXPECT_FALSE(QFile::exists(CompanionPathFor(plain)));
    EXPECT_EQ(readBack(plain, c), CompanionState::None);
}

TEST_F(CompanionFiles, ACompanionOfAnotherFileOrDamagedIsRefused)
{
    const QString file = write("a.dta", alarms, histogram);
    const QByteArray own = bytesOf(CompanionPathFor(file));
    // Another reading (another record) takes the logger file's place; the old companion stays.
    {
        const QString other = write("other.dta", alarms, histogram, true, 2);
        QFile::remove(file);
        ASSERT_TRUE(QFile::rename(other, file));
        QFile::remove(CompanionPathFor(other));
        QFile c(CompanionPathFor(file));
        ASSERT_TRUE(c.open(QIODevice::WriteOnly));
        c.write(own);
    }
    LoggerCompanion c;
    QString why;
    EXPECT_EQ(readBack(file, c, &why), CompanionState::Refused);
    EXPECT_TRUE(why.contains("SHA-256")) << why.toStdString();

    // Damaged: a histogram cut short, and a text of another kind.
    const QString second = write("c.dta", alarms, histogram);
    QByteArray text = bytesOf(CompanionPathFor(second));
    {
        QFile f(CompanionPathFor(second));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text.left(text.size() - 10));
    }
    EXPECT_EQ(readBack(second, c, &why), CompanionState::Refused);
    EXPECT_TRUE(why.contains("histogram")) << why.toStdString();
    EXPECT_FALSE(DecodeCompanion("hello\n", c, &why));
}

TEST_F(CompanionFiles, NoLoggerFileWhenItsCompanionCannotBeWritten)
{
    ASSERT_TRUE(QDir().mkpath(path("x.alh")));   // a folder holds the companion's name
    write("x.dta", alarms, histogram);
    EXPECT_EQ(lastResult, imgFileWriteFailed);
    EXPECT_FALSE(QFile::exists(path("x.dta")));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 0);
}

TEST_F(CompanionFiles, AMoveTakesBothToOneFreeName)
{
    const QString file = write("x.dta", alarms, histogram);
    const QString target = path("backup");
    ASSERT_TRUE(QDir().mkpath(target));
    // "x.dta" is taken, and so is the companion's name of "x (2)".
    for (const char* taken : {"x.dta", "x (2).alh"}) {
        QFile f(QDir(target).filePath(taken));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("taken");
    }
    const QByteArray companion = bytesOf(CompanionPathFor(file)), logger = bytesOf(file);
    QString movedTo;
    ASSERT_EQ(MoveLoggerFileWithCompanion(file, target, &movedTo), 0);
    EXPECT_EQ(movedTo, QDir(target).filePath("x (3).dta"));
    EXPECT_EQ(bytesOf(movedTo), logger);
    EXPECT_EQ(bytesOf(QDir(target).filePath("x (3).alh")), companion);
    EXPECT_EQ(bytesOf(QDir(target).filePath("x (2).alh")), QByteArray("taken"));
    EXPECT_FALSE(QFile::exists(file));
    EXPECT_FALSE(QFile::exists(CompanionPathFor(file)));
    LoggerCompanion c;
    EXPECT_EQ(readBack(movedTo, c), CompanionState::Belongs);
}
