// Logger files with their companion (alarm log and histogram) on real files and a real database:
// the import stores the figures with the samples and takes the companion to the backup folder, a
// later reading of the same mission replaces them, a companion of another file is set aside and
// never stored, a rejected file takes its companion along, an older file without one imports as
// before, the copy to removable media and back and the deletion carry it, and the verification of
// the backup folder still holds.
#include "test_readfiles_support.h"

#include "db/AuditVerify.h"
#include "image/LoggerCompanion.h"
#include "reading/FileArchiveState.h"
#include "reading/LoggerImageToDatabase.h"
#include "reading/clsCopyImageFiles.h"

using namespace readfiles;

namespace {

const QString kFirst = "0000074667 070603100030.dta";
const QString kSecond = "0000074667 070603113030.dta";

class ReadFilesCompanion : public LoggerFiles {
protected:
    void SetUp() override
    {
        LoggerFiles::SetUp();
        savedXdg = qgetenv("XDG_DATA_HOME");
        qputenv("XDG_DATA_HOME", QFile::encodeName(QDir(dir.path()).filePath("share")));
    }
    void TearDown() override
    {
        qputenv("XDG_DATA_HOME", savedXdg);
        LoggerFiles::TearDown();
    }
    // A one-minute rollover mission read after `samples` samples.
    static imagetest::Mission mission(int samples)
    {
        imagetest::Mission m;
        m.rate = 1;
        m.rollover = true;
        m.missionSamples = m.deviceSamples = samples;
        m.clockUtc = m.startUtc.addSecs(qint64(samples) * 60 + 30);
        return m;
    }
    QString writeReading(const QString& name, int samples, const QByteArray& alarms, const QString& folder = QString())
    {
        return writeLoggerFileWithEvidence(name, mission(samples), 123400101, "0000074667", alarms,
                                           imagetest::HistogramArea({{21, quint16(samples - 100)}, {23, 100}}), folder);
    }
    std::vector<LoggerImageToDatabase::FileResult> run()
    {
        LoggerImageToDatabase import(*db, App().DataDirectory, App().BackupDirectory);
        return import.Run();
    }
    static QByteArray bytes(const QString& path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }
    QStringList files(const QString& folder) const { return QDir(folder).entryList(QDir::Files, QDir::Name); }
    QString rejected(const QString& name = QString()) const { return QDir(dir.path()).filePath("data/rejected/" + name); }

    QByteArray savedXdg;
};

} // namespace

TEST_F(ReadFilesCompanion, TheImportStoresTheFiguresAndALaterReadingOfTheMissionReplacesThem)
{
    writeReading(kFirst, 1500, imagetest::AlarmArea({{true, 30, 60}}));
    const QByteArray companion = bytes(CompanionPathFor(data(kFirst)));
    auto results = run();
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0].outcome, LoggerImageToDatabase::Stored) << results[0].reason.toStdString();
    EXPECT_TRUE(results[0].note.isEmpty());
    EXPECT_TRUE(files(data()).isEmpty()) << files(data()).join(", ").toStdString();
    EXPECT_EQ(bytes(CompanionPathFor(backup(kFirst))), companion);
    EXPECT_EQ(count("SELECT COUNT(*) FROM samples"), 1500);
    EXPECT_EQ(count("SELECT COUNT(*) FROM missionalarms"), 1);
    EXPECT_EQ(count("SELECT SUM(Count) FROM missionhistogram"), 1500);
    EXPECT_TRUE(messages.empty());

    // The same mission read again after 3000 samples (rolled over): the first alarm is marked
    // overwritten, a second one came; one mission, its rows replaced.
    writeReading(kSecond, 3000, imagetest::AlarmArea({{true, 30, 60}, {true, 2980, 20}}));
    results = run();
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0].outcome, LoggerImageToDatabase::Stored);
    EXPECT_EQ(scalarText(raw, "SELECT group_concat(MissionSamples || ' ' || HistogramTotal) FROM missionevidence"),
              "3000 3000");
    EXPECT_EQ(scalarText(raw, "SELECT group_concat(StartSample || ':' || Overwritten, ' ') FROM "
                              "(SELECT * FROM missionalarms ORDER BY Entry)"),
              "30:1 2980:0");
    EXPECT_EQ(scalarText(raw, "SELECT COUNT(*) || ' ' || SUM(Count) FROM missionhistogram"), "64 3000");
    EXPECT_EQ(scalarText(raw, "SELECT FileHash FROM missionevidence"),
              scalarText(raw, "SELECT FileHash FROM readingfiles ORDER BY AuditID DESC LIMIT 1"));

    // The companions in the backup folder do not disturb its verification.
    EXPECT_EQ(files(backup()), QStringList({"0000074667 070603100030.alh", kFirst, "0000074667 070603113030.alh", kSecond}));
    const Verification v = VerifyAgainstLoggerFiles(*db, backup());
    EXPECT_TRUE(v.holds()) << v.fileProblems.join("; ").toStdString();
    ASSERT_EQ(v.loggers.size(), 1u);
    EXPECT_EQ(v.loggers[0].files, 2);
}

TEST_F(ReadFilesCompanion, ACompanionOfAnotherFileIsSetAsideAndNeverStored)
{
    writeReading(kFirst, 1500, imagetest::AlarmArea({{true, 30, 60}}));
    // The companion of another reading of the logger lies beside the first file.
    const QString other = writeReading("other.dta", 1600, imagetest::AlarmArea({{true, 40, 6}}), dir.path());
    const QByteArray foreign = bytes(CompanionPathFor(other));
    {
        QFile f(CompanionPathFor(data(kFirst)));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(foreign);
    }
    const auto results = run();
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0].outcome, LoggerImageToDatabase::Stored);
    EXPECT_TRUE(results[0].note.contains("SHA-256")) << results[0].note.toStdString();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].prompt.contains(QDir::toNativeSeparators(data(kFirst)))) << messages[0].prompt.toStdString();
    EXPECT_EQ(messages[0].style & vbExclamation, vbExclamation);
    // The samples are stored, the figures are not; the file is in the backup folder, its false
    // companion set aside.
    EXPECT_EQ(count("SELECT COUNT(*) FROM samples"), 1500);
    EXPECT_EQ(count("SELECT COUNT(*) FROM missionevidence"), 0);
    EXPECT_EQ(count("SELECT COUNT(*) FROM missionalarms"), 0);
    EXPECT_EQ(files(backup()), QStringList({kFirst}));
    EXPECT_EQ(bytes(rejected("0000074667 070603100030.alh")), foreign);
}

TEST_F(ReadFilesCompanion, ARejectedFileTakesItsCompanionAndAnOlderFileImportsAsBefore)
{
    // A damaged logger file with a companion beside it.
    {
        QFile bad(data("0000000009 070605143000.dta"));
        ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
        bad.write("this is not a logger file");
        QFile c(data("0000000009 070605143000.alh"));
        ASSERT_TRUE(c.open(QIODevice::WriteOnly));
        c.write("NORDALIS alarm log and histogram 1\n");
    }
    // A file of an older program: no companion.
    writeLoggerFile("0000000010 070605143100.dta", 123400102, "0000000010", 5);
    const auto results = run();
    ASSERT_EQ(results.size(), 2u);
    EXPECT_EQ(results[0].outcome, LoggerImageToDatabase::Rejected);
    EXPECT_EQ(files(rejected()), QStringList({"0000000009 070605143000.alh", "0000000009 070605143000.dta"}));
    EXPECT_EQ(results[1].outcome, LoggerImageToDatabase::Stored);
    EXPECT_TRUE(results[1].note.isEmpty());
    EXPECT_EQ(files(backup()), QStringList({"0000000010 070605143100.dta"}));
    EXPECT_EQ(count("SELECT COUNT(*) FROM samples"), 5);
    EXPECT_EQ(count("SELECT COUNT(*) FROM missionevidence"), 0);
    EXPECT_EQ(messages.size(), 1u);   // the rejected file's only
}

TEST_F(ReadFilesCompanion, CopyToMediaAndBackAndDeletionCarryTheCompanion)
{
    writeReading(kFirst, 1500, imagetest::AlarmArea({{true, 30, 60}}));
    ASSERT_EQ(run().size(), 1u);
    const QByteArray companion = bytes(CompanionPathFor(backup(kFirst)));
    const QString media = QDir(dir.path()).filePath("copies");

    clsCopyImageFiles copy(backup(), media);
    ASSERT_EQ(copy.BuildList(), 1);   // one logger file: the companion is no row of its own
    ASSERT_TRUE(copy.Start());
    EXPECT_EQ(files(media), QStringList({"0000074667 070603100030.alh", kFirst}));
    EXPECT_EQ(bytes(QDir(media).filePath("0000074667 070603100030.alh")), companion);

    // Back into the data directory (as the restore does): imported again, the companion belongs.
    clsCopyImageFiles restore(media, data());
    ASSERT_EQ(restore.BuildList(), 1);
    restore.rows[0].ticked = true;
    ASSERT_TRUE(restore.Start());
    EXPECT_EQ(bytes(CompanionPathFor(data(kFirst))), companion);
    const auto results = run();
    ASSERT_EQ(results.size(), 1u);
    EXPECT_TRUE(results[0].note.isEmpty()) << results[0].note.toStdString();
    EXPECT_EQ(QFileInfo(results[0].movedTo).fileName(), "0000074667 070603100030 (2).dta");
    EXPECT_EQ(bytes(backup("0000074667 070603100030 (2).alh")), companion);

    // Deleting the day puts both into the trash.
    clsCopyImageFiles del(media, QString());
    ASSERT_EQ(del.BuildList(), 1);
    del.rows[0].ticked = true;
    ASSERT_TRUE(del.Start());
    EXPECT_TRUE(files(media).isEmpty()) << files(media).join(", ").toStdString();
    EXPECT_EQ(bytes(TrashDirectory() + "/files/0000074667 070603100030.alh"), companion);
}
