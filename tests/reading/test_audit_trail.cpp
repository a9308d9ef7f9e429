// The audit trail and its verification on real files: logger files imported into a real
// database, the backup copies proved against the stored samples, samples and audit rows changed
// by hand with SQL and named by the verification, a purge recorded with what it removed, and the
// terminal verb "verify" run as the real program.
#include "test_readfiles_support.h"

#include "db/AuditTrail.h"
#include "db/AuditVerify.h"
#include "reading/LoggerImageToDatabase.h"
#include "settings/clsMaintenance.h"

#include <QCryptographicHash>

using namespace readfiles;

namespace {

class AuditTrail : public LoggerFiles {
protected:
    void import()
    {
        LoggerImageToDatabase run(*db, App().DataDirectory, App().BackupDirectory);
        for (const auto& r : run.Run()) ASSERT_EQ(r.outcome, LoggerImageToDatabase::Stored) << r.reason.toStdString();
    }
    void exec(const char* sql) { ASSERT_EQ(sqlite3_exec(raw, sql, nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(raw); }
    Verification verify() { return VerifyAgainstLoggerFiles(*db, App().BackupDirectory); }
    static QString fileHash(const QString& path)
    {
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::ReadOnly));
        return QString::fromLatin1(QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256).toHex());
    }
    static QStringList allDifferences(const Verification& v)
    {
        QStringList all;
        for (const auto& l : v.loggers) all += l.differences;
        return all + v.fileProblems + v.chainProblems;
    }
};

} // namespace

TEST_F(AuditTrail, AReadingIsRecordedWithItsFileHashAndTheUntouchedDatabaseIsProved)
{
    App().CurrentUserName = "Inspector";
    writeLoggerFile("0000000001 070605143012.dta", 123400101, "0000000001", 10);
    writeLoggerFile("0000000002 070605143013.dta", 123400102, "0000000002", 12);
    import();

    EXPECT_EQ(count("SELECT COUNT(*) FROM audit WHERE Action = 'reading stored' AND Operator = 'Inspector' "
                    "AND Computer <> ''"), 2);
    EXPECT_EQ(count("SELECT COUNT(*) FROM readingfiles"), 2);
    EXPECT_EQ(scalarText(raw, "SELECT FileHash FROM readingfiles WHERE DeviceID = 123400101"),
              fileHash(backup("0000000001 070605143012.dta")));
    EXPECT_EQ(count("SELECT SampleCount FROM readingfiles WHERE DeviceID = 123400102"), 12);
    // Every row carries the hash of the one before; the head names the last.
    EXPECT_EQ(scalarText(raw, "SELECT PrevHash FROM audit WHERE AuditID = 1"), AuditGenesisHash());
    EXPECT_EQ(scalarText(raw, "SELECT PrevHash FROM audit WHERE AuditID = 2"),
              scalarText(raw, "SELECT RowHash FROM audit WHERE AuditID = 1"));
    EXPECT_EQ(count("SELECT LastAuditID FROM audithead"), 2);

    const Verification v = verify();
    EXPECT_TRUE(v.holds()) << allDifferences(v).join('\n').toStdString();
    ASSERT_EQ(v.loggers.size(), 2u);
    EXPECT_EQ(v.loggers[0].samples, 10);
    EXPECT_EQ(v.loggers[1].samples, 12);
    EXPECT_EQ(count("SELECT COUNT(*) FROM audit"), 2) << "verification writes nothing";
}

TEST_F(AuditTrail, ASampleChangedMissingOrAddedByHandIsNamed)
{
    writeLoggerFile("0000000001 070605143012.dta", 123400101, "0000000001", 10);
    writeLoggerFile("0000000002 070605143013.dta", 123400102, "0000000002", 10);
    import();
    const qint64 first = count("SELECT MIN(SampleDate) FROM samples WHERE DeviceID = 123400101");
    const double fileValue = double(count("SELECT SampleTemp * 1000 FROM samples WHERE DeviceID = 123400101 "
                                          "AND SampleDate = (SELECT MIN(SampleDate) FROM samples)")) / 1000;
    exec("UPDATE samples SET SampleTemp = 21.5 WHERE DeviceID = 123400101 AND SampleDate = "
         "(SELECT MIN(SampleDate) FROM samples WHERE DeviceID = 123400101)");
    Verification v = verify();
    EXPECT_FALSE(v.holds());
    ASSERT_EQ(v.loggers.size(), 2u);
    ASSERT_EQ(v.loggers[0].differences.size(), 1) << v.loggers[0].differences.join('\n').toStdString();
    const QString when = FromEpochSeconds(first).toString("yyyy-MM-dd HH:mm:ss");
    EXPECT_EQ(v.loggers[0].differences[0], QStringLiteral("%1 UTC: sample changed: stored 21.500, file %2 "
                                                          "(0000000001 070605143012.dta)")
                                               .arg(when, QString::number(fileValue, 'f', 3)));
    EXPECT_TRUE(v.loggers[1].differences.isEmpty()) << "the other logger still holds";

    // A sample deleted and one added by hand.
    exec("UPDATE samples SET SampleTemp = (SELECT SampleTemp FROM samples WHERE DeviceID = 123400102 LIMIT 1) "
         "WHERE DeviceID = 123400101");
    exec("DELETE FROM samples WHERE DeviceID = 123400102 AND SampleDate = "
         "(SELECT MAX(SampleDate) FROM samples WHERE DeviceID = 123400102)");
    exec("INSERT INTO samples (DeviceID, SampleDate, SampleTemp) VALUES (123400102, 1000000000, 5.0)");
    v = verify();
    const QStringList d = v.loggers[1].differences;
    ASSERT_EQ(d.size(), 2) << d.join('\n').toStdString();
    EXPECT_TRUE(d[0].contains("sample missing from the database (file 0000000002 070605143013.dta")) << d[0].toStdString();
    EXPECT_EQ(d[1], "2001-09-09 01:46:40 UTC: sample stored (5.000) that no logger file holds");
}

TEST_F(AuditTrail, ADeletedChangedOrTruncatedAuditRowBreaksTheChainWhereItHappened)
{
    for (int i = 1; i <= 4; ++i)
        writeLoggerFile(QStringLiteral("000000000%1 070605143012.dta").arg(i), 123400100 + i,
                        QStringLiteral("000000000%1").arg(i), 5);
    import();
    ASSERT_TRUE(AuditChainProblems(*db).isEmpty());

    exec("DELETE FROM audit WHERE AuditID = 2");
    EXPECT_EQ(AuditChainProblems(*db), QStringList{"audit chain broken at row 3: row 2 missing"});
    EXPECT_FALSE(verify().holds());

    // Put back with another text: the row itself no longer matches its hash.
    exec("ATTACH ':memory:' AS m");
    const QString fix = QStringLiteral("INSERT INTO audit SELECT 2, TimeUTC, 'Mallory', Computer, Action, Subject, "
                                       "Details, (SELECT RowHash FROM audit WHERE AuditID = 1), RowHash FROM audit "
                                       "WHERE AuditID = 3");
    exec(fix.toUtf8().constData());
    EXPECT_EQ(AuditChainProblems(*db), QStringList{"audit chain broken at row 2: the row was changed"});

    // The last rows removed: only the head shows it.
    exec("DELETE FROM audit WHERE AuditID = 2");
    exec("DELETE FROM audit WHERE AuditID >= 3");
    EXPECT_EQ(AuditChainProblems(*db),
              QStringList{"audit chain broken after row 1: rows 2 to 4 missing at the end"});
}

TEST_F(AuditTrail, APurgeIsRecordedWithItsCountsAndTheVerificationStillHolds)
{
    App().CurrentUserName = "Keeper";
    writeLoggerFile("0000000001 070605143012.dta", 123400101, "0000000001", 300);
    import();
    const qint64 total = count("SELECT COUNT(*) FROM samples");
    const qint64 middle = count("SELECT SampleDate FROM samples ORDER BY SampleDate LIMIT 1 OFFSET 150");
    const QDate before = FromEpochSeconds(middle).date();
    exec("INSERT INTO history (\"DateTime\", \"Text\", \"Type\") VALUES ('2001-01-01 00:00:00', 'old', 1)");
    const qint64 beforeCount = count(QStringLiteral("SELECT COUNT(*) FROM samples WHERE SampleDate < %1")
                                         .arg(ToEpochSeconds(QDateTime(before, QTime(0, 0), Qt::UTC)))
                                         .toUtf8()
                                         .constData());
    ASSERT_GT(beforeCount, 0);
    ASSERT_LT(beforeCount, total);
    sqlite3_close(raw);
    raw = nullptr;

    ResetAppDatabase();
    clsMaintenance maintenance(AppDatabase(), App().DatabaseDirectory, App().BackupDirectory, QString());
    ASSERT_TRUE(maintenance.Purge(before, false)) << maintenance.ErrorText().toStdString();
    raw = openRaw();
    EXPECT_EQ(count("SELECT COUNT(*) FROM samples"), total - beforeCount);
    EXPECT_EQ(count("SELECT COUNT(*) FROM history WHERE \"Text\" = 'old'"), 0);
    EXPECT_EQ(scalarText(raw, "SELECT Details FROM audit WHERE Action = 'purge'"),
              QStringLiteral("before=%1 samples=%2 comments=0 history=1 missions=0")
                  .arg(ToEpochSeconds(QDateTime(before, QTime(0, 0), Qt::UTC)))
                  .arg(beforeCount));
    EXPECT_EQ(scalarText(raw, "SELECT Operator FROM audit WHERE Action = 'purge'"), "Keeper");
    // The purge rebuilt the file; the audit rows stayed, the reorganisation is not recorded
    // separately (it is part of the purge).
    EXPECT_EQ(count("SELECT COUNT(*) FROM audit"), 2);

    const Verification v = VerifyAgainstLoggerFiles(AppDatabase(), App().BackupDirectory);
    EXPECT_TRUE(v.holds()) << allDifferences(v).join('\n').toStdString();
    EXPECT_EQ(v.purgedBefore, ToEpochSeconds(QDateTime(before, QTime(0, 0), Qt::UTC)));
    ASSERT_EQ(v.loggers.size(), 1u);
    EXPECT_EQ(v.loggers[0].samples, total - beforeCount);
}

TEST_F(AuditTrail, ABackupFileChangedAfterItsImportIsNamed)
{
    writeLoggerFile("0000000001 070605143012.dta", 123400101, "0000000001", 6);
    import();
    const QString stored = fileHash(backup("0000000001 070605143012.dta"));
    {
        QFile f(backup("0000000001 070605143012.dta"));
        ASSERT_TRUE(f.open(QIODevice::Append));
        f.write(" ");
    }
    const Verification v = verify();
    ASSERT_EQ(v.loggers.size(), 1u);
    ASSERT_FALSE(v.loggers[0].differences.isEmpty());
    EXPECT_EQ(v.loggers[0].differences[0],
              QStringLiteral("0000000001 070605143012.dta: the file was changed since it was stored (stored sha256 %1, "
                             "file sha256 %2)")
                  .arg(stored, fileHash(backup("0000000001 070605143012.dta"))));
}

TEST_F(AuditTrail, TheTerminalVerbProvesAndNamesWhatDiffers)
{
    QTemporaryDir home;
    auto cli = [&](const QStringList& args) { return RunCli(home, args, false); };
    ASSERT_EQ(cli({"init", "--site", "1234"}).code, 0);
    App().DataDirectory = home.filePath("home/data");
    writeLoggerFile("0000000001 070605143012.dta", 123400101, "0000000001", 8);
    writeLoggerFile("0000000002 070605143013.dta", 123400102, "0000000002", 8);
    ASSERT_EQ(cli({"import"}).code, 0);
    const QString file = home.filePath("home/data/NORDALIS.MDE");
    ASSERT_EQ(SqliteScalar(file, "SELECT COUNT(*) FROM audit"), 2);

    CliRun ok = cli({"verify"});
    EXPECT_EQ(ok.code, 0) << ok.out.toStdString() << ok.err.toStdString();
    EXPECT_TRUE(ok.out.contains("logger 0000000001 (123400101): ok - 1 file(s), 8 sample(s)\n")) << ok.out.toStdString();
    EXPECT_TRUE(ok.out.contains("audit chain: ok\n"));
    EXPECT_TRUE(ok.out.endsWith("verified: 2 logger(s), 0 differ(s), 16 sample(s) compared, 0 unreadable file(s), "
                                "audit chain unbroken\n"))
        << ok.out.toStdString();

    sqlite3* edit = nullptr;
    ASSERT_EQ(sqlite3_open_v2(QFile::encodeName(file).constData(), &edit, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(edit,
                           "UPDATE samples SET SampleTemp = -7.25 WHERE DeviceID = 123400102 AND SampleDate = "
                           "(SELECT MIN(SampleDate) FROM samples WHERE DeviceID = 123400102);"
                           "DELETE FROM audit WHERE AuditID = 1;",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(edit);

    const CliRun bad = cli({"verify"});
    EXPECT_EQ(bad.code, 1) << bad.out.toStdString() << bad.err.toStdString();
    EXPECT_TRUE(bad.out.contains("logger 0000000001 (123400101): ok")) << bad.out.toStdString();
    EXPECT_TRUE(bad.out.contains("logger 0000000002 (123400102): differs")) << bad.out.toStdString();
    EXPECT_TRUE(bad.out.contains(": sample changed: stored -7.250, file ")) << bad.out.toStdString();
    EXPECT_TRUE(bad.out.contains("audit chain broken at row 2: row 1 missing\n")) << bad.out.toStdString();
    EXPECT_TRUE(bad.out.contains("NOT verified: 2 logger(s), 1 differ(s)")) << bad.out.toStdString();

    // Bad usage changes nothing and says how.
    EXPECT_EQ(cli({"verify", "extra"}).code, 2);
    EXPECT_EQ(cli({"verify", "--backup", home.filePath("nowhere")}).code, 2);
    EXPECT_EQ(SqliteScalar(file, "SELECT COUNT(*) FROM audit"), 1) << "verify writes nothing";
}
