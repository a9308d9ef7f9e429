// Importing waiting logger files: stored, moved to the backup folder, counted down in the files
// panel; taken backup names, images already stored, files that fail, Shift, and the terminal verb.
#include "test_readfiles_support.h"

#include "reading/LoggerImageToDatabase.h"

using namespace readfiles;

namespace {

class ReadFilesImport : public LoggerFiles {
protected:
    void TearDown() override
    {
        SetShiftKeyQueryForTesting(nullptr);
        LoggerFiles::TearDown();
    }
    std::vector<LoggerImageToDatabase::FileResult> run(const QString& name = QString())
    {
        LoggerImageToDatabase import(*db, App().DataDirectory, App().BackupDirectory);
        import.FilesPanel = [this](const QString& t) { panel << t; };
        import.Status = [this](const QString& t) { status << t; };
        import.RefreshDueList = [this] { ++refreshes; };
        return import.Run(name);
    }
    QStringList waiting() const { return QDir(data()).entryList({"*.dta"}, QDir::Files, QDir::Name); }

    QStringList panel, status;
    int refreshes = 0;
};

} // namespace

TEST_F(ReadFilesImport, ThreeFilesCountDownAndEndInTheBackupFolder)
{
    writeLoggerFile("0000000001 070605143012.dta", 123400101, "0000000001", 10);
    writeLoggerFile("0000000002 070605143013.dta", 123400102, "0000000002", 11);
    writeLoggerFile("0000000003 070605143014.dta", 123400201, "0000000003", 12);

    const auto results = run();
    ASSERT_EQ(results.size(), 3u);
    for (const auto& r : results) EXPECT_EQ(r.outcome, LoggerImageToDatabase::Stored) << r.reason.toStdString();
    EXPECT_EQ(panel, QStringList({"3 file(s) waiting", "2 file(s) waiting", "1 file(s) waiting",
                                  "all logger files processed"}));
    EXPECT_EQ(status.last(), "finished reading file(s)");
    EXPECT_EQ(refreshes, 3);
    EXPECT_TRUE(waiting().isEmpty());
    EXPECT_EQ(QDir(backup()).entryList({"*.dta"}, QDir::Files).size(), 3);
    EXPECT_EQ(count("SELECT COUNT(*) FROM devices"), 3);
    EXPECT_EQ(count("SELECT COUNT(*) FROM samples"), 10 + 11 + 12);
    EXPECT_TRUE(messages.empty());

    // An empty directory: only the files panel changes.
    panel.clear();
    status.clear();
    EXPECT_TRUE(run().empty());
    EXPECT_EQ(panel, QStringList({"all logger files processed"}));
    EXPECT_TRUE(status.isEmpty());
}

TEST_F(ReadFilesImport, TakenBackupNameGetsANewNameAndAStoredImageChangesNothing)
{
    const QString name = "0000000001 070605143012.dta";
    writeLoggerFile(name, 123400101, "0000000001", 10);
    ASSERT_EQ(run().size(), 1u);
    const QByteArray first = [&] { QFile f(backup(name)); f.open(QIODevice::ReadOnly); return f.readAll(); }();
    ASSERT_FALSE(first.isEmpty());
    const QString before = scalarText(raw, "SELECT group_concat(DeviceID || DateRead || MissionSamples || NextReading) FROM devices");
    const qint64 samples = count("SELECT COUNT(*) FROM samples");

    // The same reading arrives again (for instance from the floppy disk).
    writeLoggerFile(name, 123400101, "0000000001", 10);
    const auto results = run();
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0].outcome, LoggerImageToDatabase::Stored);
    EXPECT_EQ(QFileInfo(results[0].movedTo).fileName(), "0000000001 070605143012 (2).dta");
    EXPECT_TRUE(QFile::exists(backup("0000000001 070605143012 (2).dta")));
    QFile older(backup(name));
    ASSERT_TRUE(older.open(QIODevice::ReadOnly));
    EXPECT_EQ(older.readAll(), first);   // the older backup is not overwritten
    EXPECT_EQ(count("SELECT COUNT(*) FROM samples"), samples);
    EXPECT_EQ(scalarText(raw, "SELECT group_concat(DeviceID || DateRead || MissionSamples || NextReading) FROM devices"),
              before);
    EXPECT_TRUE(waiting().isEmpty());
}

TEST_F(ReadFilesImport, AFailingFileIsSetAsideOnceAndTheOthersAreStillImported)
{
    QFile bad(data("0000000009 070605143000.dta"));
    ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
    bad.write("this is not a logger file");
    bad.close();
    writeLoggerFile("0000000010 070605143100.dta", 123400101, "0000000010", 5);

    const auto results = run();
    ASSERT_EQ(results.size(), 2u);
    EXPECT_EQ(results[0].outcome, LoggerImageToDatabase::Rejected);
    EXPECT_EQ(results[1].outcome, LoggerImageToDatabase::Stored);
    const QString rejected = QDir(dir.path()).filePath("data/rejected");
    EXPECT_EQ(results[0].movedTo, QDir(rejected).filePath("0000000009 070605143000.dta"));
    QFile kept(results[0].movedTo);
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), QByteArray("this is not a logger file"));   // set aside unchanged
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].prompt.contains("0000000009 070605143000.dta")) << messages[0].prompt.toStdString();
    EXPECT_TRUE(messages[0].prompt.contains("rejected"));
    EXPECT_FALSE(results[0].reason.isEmpty());
    EXPECT_TRUE(messages[0].prompt.endsWith(results[0].reason));
    EXPECT_EQ(messages[0].style & vbCritical, vbCritical);
    EXPECT_EQ(count("SELECT COUNT(*) FROM samples"), 5);

    // The next polls find nothing and say nothing.
    EXPECT_TRUE(run().empty());
    EXPECT_TRUE(run().empty());
    EXPECT_EQ(messages.size(), 1u);
}

TEST_F(ReadFilesImport, ShiftStopsAfterTheCurrentFileAndANamedFileGoesAlone)
{
    writeLoggerFile("0000000001 070605143012.dta", 123400101, "0000000001", 4);
    writeLoggerFile("0000000002 070605143013.dta", 123400102, "0000000002", 4);
    writeLoggerFile("0000000003 070605143014.dta", 123400201, "0000000003", 4);

    SetShiftKeyQueryForTesting([] { return true; });
    EXPECT_EQ(run().size(), 1u);
    EXPECT_EQ(waiting().size(), 2);
    EXPECT_EQ(panel.last(), "2 file(s) waiting");
    SetShiftKeyQueryForTesting([] { return false; });

    EXPECT_EQ(run("0000000003 070605143014.dta").size(), 1u);
    EXPECT_EQ(waiting(), QStringList({"0000000002 070605143013.dta"}));
    EXPECT_EQ(count("SELECT COUNT(*) FROM devices"), 2);
}

TEST_F(ReadFilesImport, TheTerminalVerbPrintsOneLinePerFile)
{
    // The terminal program on its own application directory.
    QTemporaryDir home;
    auto cli = [&](const QStringList& args) { return RunCli(home, args, false); };
    const CliRun init = cli({"init", "--site", "1234"});
    ASSERT_EQ(init.code, 0) << init.err.toStdString();
    App().DataDirectory = home.filePath("home/data");
    writeLoggerFile("0000000001 070605143012.dta", 123400101, "0000000001", 4);
    writeLoggerFile("0000000002 070605143013.dta", 123400102, "0000000002", 4);

    const CliRun all = cli({"import"});
    EXPECT_EQ(all.code, 0) << all.err.toStdString();
    const QStringList lines = all.out.trimmed().split('\n');
    ASSERT_EQ(lines.size(), 2) << all.out.toStdString();
    EXPECT_TRUE(lines[0].startsWith("0000000001 070605143012.dta\tstored\t")) << lines[0].toStdString();
    EXPECT_TRUE(lines[1].startsWith("0000000002 070605143013.dta\tstored\t"));
    EXPECT_TRUE(QFile::exists(home.filePath("home/data/backup/0000000002 070605143013.dta")));

    const CliRun missing = cli({"import", "nothere.dta"});
    EXPECT_EQ(missing.code, 2);
    EXPECT_TRUE(missing.err.contains("no logger file nothere.dta"));
    EXPECT_EQ(cli({"import"}).out, "all logger files processed\n");

    // Both imported loggers run: two job files; their missions ended long ago, so both are due.
    const CliRun jobs = cli({"joblist", "--due-only"});
    EXPECT_EQ(jobs.code, 0) << jobs.err.toStdString();
    EXPECT_EQ(jobs.out.trimmed().split('\n').size(), 2) << jobs.out.toStdString();
    QFile job(home.filePath("home/data/0000000001r.ndc"));
    ASSERT_TRUE(job.open(QIODevice::ReadOnly));
    EXPECT_TRUE(job.readAll().startsWith("due:"));
    EXPECT_EQ(cli({"joblist", "--soon"}).code, 2);
}
