#include "support/CliProcess.h"
#include "support/TestSite.h"

#include "settings/clsMaintenance.h"

#include <QFileInfo>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {
ino_t inodeOf(const QString& file)
{
    struct stat st {};
    return ::stat(QFile::encodeName(file).constData(), &st) == 0 ? st.st_ino : 0;
}
} // namespace

class Maintenance : public SiteDatabase {
protected:
    QStringList statuses;
    std::unique_ptr<clsMaintenance> maintenance;
    void SetUp() override
    {
        SiteDatabase::SetUp();
        maintenance = std::make_unique<clsMaintenance>(*db, dir.path(), QDir(dir.path()).filePath("backup"),
                                                       QDir(dir.path()).filePath("media"));
        maintenance->status = [this](const QString& s) { statuses << s; };
    }
};

TEST_F(Maintenance, PurgeWithTheDefaultDateRemovesOlderRecordsAndTheFileShrinks)
{
    const QDate cut = clsMaintenance::DefaultPurgeDate();
    EXPECT_EQ(cut, NowLocal().date().addMonths(-6));
    const QDateTime cutUtc(cut, QTime(0, 0), Qt::UTC);
    fillSite();
    addSamples(123400101, cutUtc.addDays(-60), 20000, 60);   // ends before the cut
    addSamples(123400201, cutUtc.addSecs(-1), 2, 1);     // one just before, one at the cut
    db->ExecuteSQL("INSERT INTO comments (DeviceID, SampleDate, CommentText) VALUES (1, ?, 'old'), (1, ?, 'new')",
                   {DbValue(ToEpochSeconds(cutUtc.addDays(-1))), DbValue(ToEpochSeconds(cutUtc))});
    db->ExecuteSQL("INSERT INTO history (\"DateTime\", \"Text\", \"Type\") VALUES (?, 'old', 1), (?, 'new', 1)",
                   {DbValue(cutUtc.addSecs(-1)), DbValue(cutUtc)});
    const qint64 newer = count("SELECT count(*) FROM samples WHERE SampleDate >= " +
                               QString::number(ToEpochSeconds(cutUtc)));
    db->CloseDB();
    const qint64 sizeBefore = QFileInfo(path()).size();

    ASSERT_TRUE(maintenance->Purge(cut)) << maintenance->ErrorText().toStdString();
    EXPECT_EQ(count("SELECT count(*) FROM samples"), newer);
    EXPECT_EQ(count("SELECT count(*) FROM samples WHERE SampleDate < " + QString::number(ToEpochSeconds(cutUtc))), 0);
    EXPECT_EQ(count("SELECT count(*) FROM comments"), 1);
    EXPECT_EQ(count("SELECT count(*) FROM history"), 1);
    EXPECT_EQ(count("SELECT count(*) FROM devices"), 3);
    db->CloseDB();
    EXPECT_LT(QFileInfo(path()).size(), sizeBefore / 4);
    EXPECT_EQ(CheckDatabaseFile(path()), "");
    EXPECT_EQ(statuses.mid(0, 4), (QStringList{"deleting samples...", "deleting comments...", "deleting history...",
                                               "maintaining database..."}));
}

TEST_F(Maintenance, ReorganizeRunsTheRepairCheckOnlyWhenAskedAndKeepsEveryRow)
{
    fillSite();
    db->SetParameter("Units", DbValue(1));
    ASSERT_TRUE(maintenance->Reorganize(false)) << maintenance->ErrorText().toStdString();
    EXPECT_FALSE(statuses.contains("repairing database..."));
    EXPECT_EQ(statuses, (QStringList{"maintaining database...", "compacting database..."}));
    statuses.clear();
    ASSERT_TRUE(maintenance->Reorganize(true)) << maintenance->ErrorText().toStdString();
    EXPECT_EQ(statuses, (QStringList{"maintaining database...", "repairing database...", "compacting database..."}));
    EXPECT_EQ(maintenance->RepairFindings(), "");
    EXPECT_EQ(count("SELECT count(*) FROM samples"), 30);
    EXPECT_EQ(db->Parameter("Units", ""), "1");
    EXPECT_FALSE(QFileInfo::exists(path() + ".new"));
    EXPECT_EQ(CheckDatabaseFile(path()), "");
}

TEST_F(Maintenance, BackupWhileTheDatabaseIsHeldOpenIsSound)
{
    fillSite();
    sqlite3* other = openRaw();   // another program reading in the middle of a transaction
    ASSERT_EQ(sqlite3_exec(other, "BEGIN; SELECT count(*) FROM samples;", nullptr, nullptr, nullptr), SQLITE_OK);
    QString file;
    ASSERT_TRUE(maintenance->Backup(&file)) << maintenance->ErrorText().toStdString();
    sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    EXPECT_EQ(file, QDir(dir.path()).filePath("backup/NORDALIS.MDE"));
    EXPECT_EQ(CheckDatabaseFile(file), "");
    EXPECT_EQ(SqliteScalar(file, "SELECT count(*) FROM samples"), 30);
    EXPECT_EQ(SqliteScalar(file, "SELECT count(*) FROM devices"), 3);
    // A second backup replaces the first.
    addSamples(123400101, utc(2026, 12, 1), 5);
    ASSERT_TRUE(maintenance->Backup(&file));
    EXPECT_EQ(SqliteScalar(file, "SELECT count(*) FROM samples"), 35);
    EXPECT_FALSE(QFileInfo::exists(file + ".new"));
}

TEST_F(Maintenance, PortableDatabaseHoldsTheStructureAndNoReadings)
{
    fillSite();
    db->SetParameter("LocationID", DbValue(1234));
    db->SaveHistory("programmed", 1);
    db->ExecuteSQL("INSERT INTO comments (DeviceID, SampleDate, CommentText) VALUES (1, 5, 'c')");
    ASSERT_TRUE(maintenance->CreatePortable()) << maintenance->ErrorText().toStdString();
    const QString portable = QDir(dir.path()).filePath("media/NORD.MDE");
    EXPECT_EQ(CheckDatabaseFile(portable), "");
    EXPECT_EQ(SqliteScalar(portable, "SELECT count(*) FROM samples"), 0);
    EXPECT_EQ(SqliteScalar(portable, "SELECT count(*) FROM comments"), 0);
    EXPECT_EQ(SqliteScalar(portable, "SELECT count(*) FROM history"), 0);
    EXPECT_EQ(SqliteScalar(portable, "SELECT count(*) FROM devices"), 3);
    EXPECT_EQ(SqliteScalar(portable, "SELECT count(*) FROM rooms"), 2);
    EXPECT_EQ(SqliteScalar(portable, "SELECT count(*) FROM parameters"), 1);
    EXPECT_FALSE(QFileInfo::exists(QDir(dir.path()).filePath("backup/TEMP1.MDE")));
    // The live database keeps everything.
    EXPECT_EQ(count("SELECT count(*) FROM samples"), 30);
    EXPECT_EQ(count("SELECT count(*) FROM history"), 1);

    // Loaded back on the other installation under the fallback name.
    ASSERT_TRUE(maintenance->LoadPortable()) << maintenance->ErrorText().toStdString();
    EXPECT_EQ(SqliteScalar(QDir(dir.path()).filePath("NORD.MDE"), "SELECT count(*) FROM devices"), 3);
    QFile::remove(path());
    clsDatabase fallback(dir.path());
    ASSERT_FALSE(fallback.OpenDB());
    EXPECT_TRUE(fallback.FilePath().endsWith("NORD.MDE"));
}

TEST_F(Maintenance, MissingMediaOrDamagedPortableFileChangesNothing)
{
    fillSite();
    QDir(dir.path()).rmdir("media");
    EXPECT_FALSE(maintenance->CreatePortable());
    EXPECT_NE(maintenance->ErrorNumber(), 0);
    EXPECT_FALSE(maintenance->LoadPortable());
    QDir(dir.path()).mkpath("media");
    QFile junk(QDir(dir.path()).filePath("media/NORD.MDE"));
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write(QByteArray(8192, 'j'));
    junk.close();
    EXPECT_FALSE(maintenance->LoadPortable());
    EXPECT_FALSE(QFileInfo::exists(QDir(dir.path()).filePath("NORD.MDE")));
    EXPECT_EQ(count("SELECT count(*) FROM samples"), 30);
}

TEST_F(Maintenance, ReorganizeWritesIntoTheLiveFileThatOtherProgramsKeepOpen)
{
    fillSite();
    db->CloseDB();
    const ino_t inode = inodeOf(path());
    // Another process writes a row, keeps its connection open across the reorganisation and
    // writes again afterwards; a second connection of this process does the same.
    int ready[2], release[2];
    ASSERT_EQ(pipe(ready), 0);
    ASSERT_EQ(pipe(release), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        sqlite3* other = nullptr;
        int failures = sqlite3_open_v2(QFile::encodeName(path()).constData(), &other, SQLITE_OPEN_READWRITE, nullptr);
        sqlite3_busy_timeout(other, 10000);
        failures += sqlite3_exec(other, "INSERT INTO samples VALUES (123400101, 1, 1.0)", nullptr, nullptr, nullptr);
        char c = 'r';
        (void)!write(ready[1], &c, 1);
        (void)!read(release[0], &c, 1);
        failures += sqlite3_exec(other, "INSERT INTO samples VALUES (123400101, 2, 2.0)", nullptr, nullptr, nullptr);
        sqlite3_close(other);
        _exit(failures == 0 ? 0 : 1);
    }
    char c;
    ASSERT_EQ(read(ready[0], &c, 1), 1);
    sqlite3* same = openRaw();
    sqlite3_busy_timeout(same, 10000);
    ASSERT_EQ(sqlite3_exec(same, "INSERT INTO samples VALUES (123400101, 3, 3.0)", nullptr, nullptr, nullptr), SQLITE_OK);

    ASSERT_TRUE(maintenance->Reorganize(false)) << maintenance->ErrorText().toStdString();

    (void)!write(release[1], &c, 1);
    int status = -1;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(sqlite3_exec(same, "INSERT INTO samples VALUES (123400101, 4, 4.0)", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(same);
    EXPECT_EQ(count("SELECT count(*) FROM samples"), 34);
    EXPECT_EQ(count("SELECT count(*) FROM samples WHERE SampleDate IN (1, 2, 3, 4)"), 4);
    EXPECT_EQ(inodeOf(path()), inode);   // the same file, never another in its place
    EXPECT_EQ(CheckDatabaseFile(path()), "");
}

TEST_F(Maintenance, AWriteBetweenTheSnapshotAndTheCopyIsNotLost)
{
    fillSite();
    db->CloseDB();
    sqlite3* other = openRaw();
    int writes = 0;
    maintenance->afterSnapshot = [&] {
        if (writes++ == 0) {
            EXPECT_EQ(sqlite3_exec(other, "INSERT INTO samples VALUES (123400101, 5, 5.0)", nullptr, nullptr, nullptr),
                      SQLITE_OK);
        }
    };
    ASSERT_TRUE(maintenance->Reorganize(false)) << maintenance->ErrorText().toStdString();
    EXPECT_EQ(writes, 2);   // the stale snapshot was dropped and taken again
    sqlite3_close(other);
    EXPECT_EQ(count("SELECT count(*) FROM samples WHERE SampleDate = 5"), 1);
    EXPECT_EQ(count("SELECT count(*) FROM samples"), 31);

    // Written at every attempt: the reorganisation gives up, nothing lost, nothing changed.
    db->CloseDB();
    other = openRaw();
    int next = 100;
    maintenance->afterSnapshot = [&] {
        sqlite3_exec(other, QStringLiteral("INSERT INTO samples VALUES (123400101, %1, 1.0)").arg(next++).toUtf8().constData(),
                     nullptr, nullptr, nullptr);
    };
    EXPECT_FALSE(maintenance->Reorganize(false));
    EXPECT_EQ(maintenance->ErrorNumber(), dbErrBusy);
    EXPECT_TRUE(maintenance->ErrorText().contains("nothing was changed")) << maintenance->ErrorText().toStdString();
    sqlite3_close(other);
    EXPECT_EQ(count("SELECT count(*) FROM samples"), 31 + (next - 100));
    EXPECT_FALSE(QFileInfo::exists(path() + ".new"));
}

TEST_F(Maintenance, LeftoverTemporaryFilesAreRemoved)
{
    fillSite();
    db->CloseDB();
    for (const QString& name : {path() + ".new", path() + ".new-journal"}) {
        QFile junk(name);
        ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
        junk.write("left by an interrupted run");
    }
    ASSERT_TRUE(maintenance->Reorganize(false)) << maintenance->ErrorText().toStdString();
    EXPECT_FALSE(QFileInfo::exists(path() + ".new"));
    EXPECT_FALSE(QFileInfo::exists(path() + ".new-journal"));
    EXPECT_EQ(count("SELECT count(*) FROM samples"), 30);
}

TEST_F(Maintenance, LoadingThePortableCopyOverOneInUseWritesIntoIt)
{
    fillSite();
    ASSERT_TRUE(maintenance->CreatePortable()) << maintenance->ErrorText().toStdString();
    ASSERT_TRUE(maintenance->LoadPortable()) << maintenance->ErrorText().toStdString();
    const QString loaded = QDir(dir.path()).filePath("NORD.MDE");
    const ino_t inode = inodeOf(loaded);
    sqlite3* other = openRaw("NORD.MDE");
    sqlite3_busy_timeout(other, 10000);
    ASSERT_EQ(sqlite3_exec(other, "INSERT INTO rooms VALUES (9, 'added on the portable system', 9)", nullptr, nullptr,
                           nullptr),
              SQLITE_OK);
    ASSERT_TRUE(maintenance->LoadPortable()) << maintenance->ErrorText().toStdString();
    EXPECT_EQ(inodeOf(loaded), inode);
    EXPECT_EQ(SqliteScalar(loaded, "SELECT count(*) FROM rooms"), 2);   // the loaded content
    ASSERT_EQ(sqlite3_exec(other, "INSERT INTO rooms VALUES (8, 'after loading', 8)", nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(other);
    EXPECT_EQ(SqliteScalar(loaded, "SELECT count(*) FROM rooms"), 3);
    EXPECT_FALSE(QFileInfo::exists(loaded + ".new"));
}

TEST_F(Maintenance, PurgeRefusesAFutureDateAndUnconfirmedDeletionOfEverySample)
{
    fillSite();
    EXPECT_FALSE(maintenance->Purge(NowLocal().date().addDays(1), true));
    EXPECT_EQ(maintenance->PurgeRefusal(), clsMaintenance::RefusedDate);
    EXPECT_EQ(maintenance->ErrorText(), "the date lies in the future; nothing was deleted");
    EXPECT_EQ(clsMaintenance::PurgeDateProblem(NowLocal().date()), "");
    EXPECT_FALSE(maintenance->Purge(NowLocal().date()));
    EXPECT_EQ(maintenance->PurgeRefusal(), clsMaintenance::RefusedAllSamples);
    EXPECT_EQ(maintenance->ErrorText(), "this would delete all 30 samples");
    EXPECT_EQ(count("SELECT count(*) FROM samples"), 30);
    EXPECT_TRUE(maintenance->Purge(NowLocal().date(), true)) << maintenance->ErrorText().toStdString();
    EXPECT_EQ(maintenance->PurgeSamples(), 30);
    EXPECT_EQ(count("SELECT count(*) FROM samples"), 0);
}

TEST_F(Maintenance, RepairFindsADamagedIndexAndTheRebuildMendsIt)
{
    for (int i = 0; i < 50; ++i)
        db->ExecuteSQL("INSERT INTO history (\"DateTime\", \"Text\", \"Type\") VALUES (?, 'x', 1)",
                       {DbValue(QString("2026-01-%1 10:00:00").arg(i % 28 + 1, 2, 10, QChar('0')))});
    const qint64 root = count("SELECT rootpage FROM sqlite_master WHERE name = 'history_DateTime'");
    const qint64 pageSize = count("PRAGMA page_size");
    db->CloseDB();
    // Change one key inside the index page only: the table row keeps its value.
    QFile file(path());
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    QByteArray data = file.readAll();
    const qint64 page = (root - 1) * pageSize;
    const qsizetype at = data.indexOf("2026-01-05", page);
    ASSERT_TRUE(at > page && at < page + pageSize);
    data.replace(at, 10, "2026-01-99");
    file.seek(0);
    file.write(data);
    file.close();
    ASSERT_NE(CheckDatabaseFile(path()), "");

    ASSERT_TRUE(maintenance->Reorganize(true)) << maintenance->ErrorText().toStdString();
    EXPECT_TRUE(maintenance->RepairFindings().contains("missing from index")) << maintenance->RepairFindings().toStdString();
    EXPECT_EQ(CheckDatabaseFile(path()), "");
    EXPECT_EQ(count("SELECT count(*) FROM history"), 50);
    EXPECT_EQ(count("SELECT count(*) FROM history WHERE \"DateTime\" = '2026-01-05 10:00:00'"), 2);
}
