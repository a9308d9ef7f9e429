#include "support/TestSite.h"

#include "app/modMain.h"
#include "db/ResultList.h"
#include "support/CliProcess.h"

#include <QFile>

#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <thread>

namespace {

QDateTime utc(int y, int mo, int d, int h, int mi, int s = 0)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s), Qt::UTC);
}

DbRow deviceRow(qint32 id, const QString& serial)
{
    DbRow r;
    r.add("DeviceID", id);
    r.add("SerialNo", serial);
    r.add("DeviceDescription", QString("door %1").arg(id));
    r.add("DateDevice", utc(2026, 3, 29, 2, 30, 5));   // a wall-clock time that a DST gap skips
    r.add("DateRead", utc(2026, 3, 29, 2, 31, 0));
    r.add("NextReading", utc(2026, 4, 20, 8, 0, 0));
    r.add("SampleRate", 15);
    r.add("AlarmHigh", 8.5f);
    r.add("AlarmLow", 2.0f);
    r.add("DeviceSamples", 4000);
    r.add("MissionSamples", 1234);
    r.add("RollOver", true);
    r.add("MissionRunning", false);
    r.add("User", "Ann");
    r.add("Interface", "0000123456");
    return r;
}

void insertSample(clsDatabase& db, qint32 device, const QDateTime& when, double temp)
{
    db.ExecuteSQL("INSERT INTO samples (DeviceID, SampleDate, SampleTemp) VALUES (?, ?, ?)",
                  {DbValue(device), DbValue(ToEpochSeconds(when)), DbValue(temp)});
}

} // namespace

// ---------------------------------------------------------------------------------------------
// The file the installer builds

TEST_F(TempDatabase, SchemaHasTheTablesKeysAndDeclaredTypes)
{
    sqlite3* raw = openRaw();
    EXPECT_EQ(scalar(raw, "SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name IN "
                          "('devices','rooms','samples','history','comments','parameters')"),
              6);
    EXPECT_EQ(scalar(raw, "SELECT pk FROM pragma_table_info('devices') WHERE name = 'DeviceID'"), 1);
    EXPECT_EQ(scalar(raw, "SELECT pk FROM pragma_table_info('rooms') WHERE name = 'RoomID'"), 1);
    EXPECT_EQ(scalar(raw, "SELECT pk FROM pragma_table_info('samples') WHERE name = 'DeviceID'"), 1);
    EXPECT_EQ(scalar(raw, "SELECT pk FROM pragma_table_info('samples') WHERE name = 'SampleDate'"), 2);
    EXPECT_EQ(scalar(raw, "SELECT pk FROM pragma_table_info('parameters') WHERE name = 'ParamName'"), 1);
    EXPECT_EQ(scalarText(raw, "SELECT type FROM pragma_table_info('samples') WHERE name = 'SampleDate'"),
              "EPOCHSECONDS");
    EXPECT_EQ(scalarText(raw, "SELECT type FROM pragma_table_info('devices') WHERE name = 'DateRead'"), "DATETIME");
    EXPECT_EQ(scalarText(raw, "SELECT type FROM pragma_table_info('devices') WHERE name = 'RollOver'"), "BOOLEAN");
    EXPECT_EQ(scalar(raw, "SELECT count(*) FROM sqlite_master WHERE name = 'samples' AND sql LIKE '%WITHOUT ROWID%'"),
              1);
    EXPECT_EQ(scalar(raw, "SELECT count(*) FROM pragma_table_info('comments') WHERE name = 'SampleDate'"), 1);
    sqlite3_close(raw);
}

TEST_F(TempDatabase, CreatingOverAnExistingFileIsRefusedAndLeavesItAlone)
{
    db->SetParameter("LocationID", DbValue(77));
    db->CloseDB();
    QString error;
    EXPECT_FALSE(CreateDatabaseFile(path(), &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(db->Parameter("LocationID", "-1"), "77");
}

// ---------------------------------------------------------------------------------------------
// Opening

TEST_F(TempDatabase, WithNeitherFileOpeningFailsWithTheReasonAndShowsNothing)
{
    QFile::remove(path());
    clsDatabase missing(dir.path());
    EXPECT_TRUE(missing.OpenDB());
    EXPECT_EQ(missing.OpenError().number, dbErrOpen);
    EXPECT_TRUE(missing.OpenErrorText().startsWith(QString::number(dbErrOpen) + ":"))
        << missing.OpenErrorText().toStdString();
    EXPECT_TRUE(messages.empty());   // the caller tells the operator
    EXPECT_FALSE(missing.IsOpen());
    EXPECT_FALSE(QFile::exists(path()));   // opening never creates a file
    // Operations on it fail with the open failure instead of going on without a database.
    try {
        missing.SetParameter("Units", DbValue(1));
        ADD_FAILURE() << "a parameter was written without a database";
    } catch (const DbError& e) {
        EXPECT_EQ(e.number, dbErrOpen);
    }
    ResultList out;
    EXPECT_EQ(missing.GetRecords(out, "rooms", "", "", false), dbQueryGaveUp);
    EXPECT_TRUE(missing.LastError().startsWith(QString::number(dbErrOpen) + ":"));
    EXPECT_FALSE(QFile::exists(path()));
}

TEST_F(TempDatabase, WithoutADatabaseDirectoryNothingIsOpened)
{
    const QString saved = App().DatabaseDirectory;
    App().DatabaseDirectory.clear();
    const QString cwd = QDir::currentPath();
    QDir::setCurrent(dir.path());   // a database file in the working folder is not taken
    clsDatabase none;
    EXPECT_TRUE(none.OpenDB());
    QDir::setCurrent(cwd);
    App().DatabaseDirectory = saved;
    EXPECT_EQ(none.OpenError().number, dbErrOpen);
    EXPECT_FALSE(none.IsOpen());
}

TEST_F(TempDatabase, FallsBackToThePortableNameAndAlsoPastAFileThatIsNoDatabase)
{
    QFile::rename(path(), path("NORD.MDE"));
    {
        clsDatabase fallback(dir.path());
        EXPECT_FALSE(fallback.OpenDB());
        EXPECT_TRUE(fallback.FilePath().endsWith("NORD.MDE"));
    }
    QFile junk(path());
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write(QByteArray(4096, 'x'));
    junk.close();
    clsDatabase fallback(dir.path());
    EXPECT_FALSE(fallback.OpenDB());
    EXPECT_TRUE(fallback.FilePath().endsWith("NORD.MDE"));
    EXPECT_TRUE(messages.empty());
}

TEST_F(TempDatabase, ConnectionKeepsOneFileWithFullSynchronousCommits)
{
    ASSERT_FALSE(db->OpenDB());
    ResultList r;
    ASSERT_EQ(db->GetRecordsBySQL(r, "PRAGMA journal_mode", false), dbQueryOk);
    EXPECT_EQ(r.rows[0].at(0).toString().toLower(), "delete");
    ASSERT_EQ(db->GetRecordsBySQL(r, "PRAGMA synchronous", false), dbQueryOk);
    EXPECT_EQ(r.rows[0].at(0).toInt(), 2);   // FULL
}

// ---------------------------------------------------------------------------------------------
// Parameters

TEST_F(TempDatabase, ParameterReadOfAMissingNameGivesTheDefaultAndAddsNoRow)
{
    EXPECT_EQ(db->Parameter("ReadHoursBeforeOverflow", "48"), "48");
    sqlite3* raw = openRaw();
    EXPECT_EQ(scalar(raw, "SELECT count(*) FROM parameters"), 0);
    sqlite3_close(raw);
}

TEST_F(TempDatabase, ParameterWriteAddsThenChangesInPlace)
{
    db->SetParameter("Units", DbValue(1));
    db->SetParameter("units", DbValue(0));   // names compare without regard to case
    EXPECT_EQ(db->Parameter("UNITS", "x"), "0");
    sqlite3* raw = openRaw();
    EXPECT_EQ(scalar(raw, "SELECT count(*) FROM parameters"), 1);
    EXPECT_EQ(scalarText(raw, "SELECT ParamName FROM parameters"), "Units");
    sqlite3_close(raw);
    EXPECT_TRUE(messages.empty());
}

TEST_F(TempDatabase, ParameterTextsOfBooleansDatesAndQuotes)
{
    db->SetParameter("DownloadAutoDownload", DbValue(true));
    db->SetParameter("DownloadOnlyNeedReading", DbValue(false));
    db->SetParameter("ChartDateFrom", DbValue(utc(2026, 12, 7, 23, 59, 59)));
    db->SetParameter("LocationDescr", DbValue("Bob's \"cold\" store; DROP TABLE parameters"));
    db->SetParameter("ClipTempLower", DbValue(-40.5f));
    EXPECT_EQ(db->Parameter("DownloadAutoDownload", ""), "True");
    EXPECT_EQ(db->Parameter("DownloadOnlyNeedReading", ""), "False");
    EXPECT_EQ(db->Parameter("ChartDateFrom", ""), "2026-12-07 23:59:59");
    EXPECT_EQ(DbValue(db->Parameter("ChartDateFrom", "")).toDateTime(), utc(2026, 12, 7, 23, 59, 59));
    EXPECT_TRUE(DbValue(db->Parameter("DownloadAutoDownload", "")).toBool());
    EXPECT_FALSE(DbValue(db->Parameter("DownloadOnlyNeedReading", "")).toBool());
    EXPECT_EQ(db->Parameter("LocationDescr", ""), "Bob's \"cold\" store; DROP TABLE parameters");
    EXPECT_EQ(db->Parameter("ClipTempLower", ""), "-40.5");
}

TEST_F(TempDatabase, ParameterWriteFailureReachesTheCallerOrIsShownWithItsTitle)
{
    sqlite3* raw = openRaw();
    ASSERT_EQ(sqlite3_exec(raw, "DROP TABLE parameters", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(raw);
    EXPECT_THROW(db->SetParameter("Units", DbValue(1)), DbError);
    EXPECT_TRUE(messages.empty());
    EXPECT_FALSE(StoreParameter(*db, "Units", DbValue(1)));
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].title, "Error writing parameter");
    EXPECT_EQ(messages[0].style & vbCritical, vbCritical);
    EXPECT_TRUE(messages[0].prompt.startsWith("Error 3000:")) << messages[0].prompt.toStdString();
}

// ---------------------------------------------------------------------------------------------
// Typed values

TEST_F(TempDatabase, ValuesReadBackTypedByTheirDeclaredColumnType)
{
    ResultList in;
    in.rows.push_back(deviceRow(123402, "2100000012"));
    db->BeginTransaction();
    ASSERT_EQ(db->PutRecords(in, "devices"), 0);
    db->CommitTransaction(1);
    insertSample(*db, 123402, utc(2026, 3, 29, 1, 15, 0), -18.5);

    ResultList out;
    ASSERT_EQ(db->GetRecords(out, "devices", "", "", false), dbQueryOk);
    ASSERT_EQ(out.size(), 1);
    const DbRow& r = out.rows[0];
    EXPECT_EQ(r["dateDEVICE"].kind(), DbValue::DateTime);
    EXPECT_EQ(r["DateDevice"].toDateTime(), utc(2026, 3, 29, 2, 30, 5));
    EXPECT_EQ(r["DateRead"].toString(), "2026-03-29 02:31:00");
    EXPECT_EQ(r["RollOver"].kind(), DbValue::Bool);
    EXPECT_TRUE(r["RollOver"].toBool());
    EXPECT_EQ(r["MissionRunning"].toString(), "False");
    EXPECT_EQ(r["SampleRate"].kind(), DbValue::Int);
    EXPECT_EQ(r["MissionSamples"].toInt(), 1234);
    EXPECT_EQ(r["AlarmHigh"].kind(), DbValue::Float);
    EXPECT_EQ(r["AlarmHigh"].toString(), "8.5");
    EXPECT_EQ(r["User"].toString(), "Ann");
    EXPECT_TRUE(r["NoSuchColumn"].isEmpty());

    ASSERT_EQ(db->GetRecordsBySQL(out, "SELECT SampleDate, SampleTemp FROM samples WHERE DeviceID = ?", false,
                                  {DbValue(123402)}),
              dbQueryOk);
    ASSERT_EQ(out.size(), 1);
    EXPECT_EQ(out.rows[0]["SampleDate"].kind(), DbValue::DateTime);
    EXPECT_EQ(out.rows[0]["SampleDate"].toDateTime(), utc(2026, 3, 29, 1, 15, 0));
    EXPECT_DOUBLE_EQ(out.rows[0]["SampleTemp"].toDouble(), -18.5);

    // How it lies in the file: epoch seconds and sortable local-time text.
    sqlite3* raw = openRaw();
    EXPECT_EQ(scalarText(raw, "SELECT typeof(SampleDate) FROM samples"), "integer");
    EXPECT_EQ(scalar(raw, "SELECT SampleDate FROM samples"), utc(2026, 3, 29, 1, 15, 0).toSecsSinceEpoch());
    EXPECT_EQ(scalarText(raw, "SELECT DateDevice FROM devices"), "2026-03-29 02:30:05");
    EXPECT_EQ(scalar(raw, "SELECT RollOver FROM devices"), 1);
    sqlite3_close(raw);
}

TEST_F(TempDatabase, AValueInTheWrongFormIsRefusedNotStored)
{
    EXPECT_THROW(db->ExecuteSQL("INSERT INTO samples VALUES (1, '2026-01-01 10:00:00', 5)"), DbError);
    EXPECT_THROW(db->ExecuteSQL("INSERT INTO devices (DeviceID, DateRead) VALUES (1, '1/2/2026')"), DbError);
    ResultList out;
    ASSERT_EQ(db->GetRecords(out, "samples", "", "", false), dbQueryOk);
    EXPECT_TRUE(out.empty());
}

TEST(DbValueText, NumbersDatesAndBooleans)
{
    EXPECT_EQ(DbValue(5.2f).toString(), "5.2");
    EXPECT_EQ(DbValue(5.2).toString(), "5.2");
    EXPECT_EQ(DbValue(-0.1).toString(), "-0.1");
    EXPECT_EQ(DbValue(qint64(1) << 40).toString(), "1099511627776");
    EXPECT_EQ(DbValue(true).toString(), "True");
    EXPECT_EQ(DbValue("2026-02-30 10:00:00").toDateTime().isValid(), false);
    EXPECT_EQ(DbValue("2026-03-29 02:30:00").toDateTime(), utc(2026, 3, 29, 2, 30));
    EXPECT_TRUE(DbValue("True").toBool());
    EXPECT_FALSE(DbValue("0").toBool());
    EXPECT_TRUE(DbValue::null().isNull());
    EXPECT_EQ(DbValue::null().toString(), "");
}

// ---------------------------------------------------------------------------------------------
// Keys and errors

TEST_F(TempDatabase, DuplicateKeyIsToldApartFromOtherErrors)
{
    insertSample(*db, 100101, utc(2026, 1, 1, 0, 0), 4.0);
    try {
        insertSample(*db, 100101, utc(2026, 1, 1, 0, 0), 5.0);
        FAIL() << "duplicate accepted";
    } catch (const DbError& e) {
        EXPECT_EQ(e.number, dbErrDuplicateKey);
        EXPECT_TRUE(e.isDuplicateKey());
    }
    insertSample(*db, 100102, utc(2026, 1, 1, 0, 0), 5.0);   // another logger, same time: fine
    db->SetParameter("x", DbValue(1));
    EXPECT_THROW(db->ExecuteSQL("INSERT INTO parameters VALUES ('X', '2')"), DbError);   // key ignores case
    try {
        db->ExecuteSQL("INSERT INTO samples (DeviceID, SampleDate) VALUES (NULL, 5)");
        FAIL() << "NULL key accepted";
    } catch (const DbError& e) {
        EXPECT_NE(e.number, dbErrDuplicateKey);
    }
    try {
        db->ExecuteSQL("INSERT INTO nosuchtable VALUES (1)");
        FAIL();
    } catch (const DbError& e) {
        EXPECT_EQ(e.number, dbErrGeneral);
    }
    ResultList out;
    ASSERT_EQ(db->GetRecordsBySQL(out, "SELECT SampleTemp FROM samples WHERE DeviceID = 100101", false), dbQueryOk);
    ASSERT_EQ(out.size(), 1);
    EXPECT_DOUBLE_EQ(out.rows[0].at(0).toDouble(), 4.0);
}

// ---------------------------------------------------------------------------------------------
// Queries and the retry policy

TEST_F(TempDatabase, GetRecordsOfRoomsWithAndWithoutHeader)
{
    db->ExecuteSQL("INSERT INTO rooms VALUES (1, 'freezer', 2), (2, 'cooler', 1)");
    ResultList out;
    ASSERT_EQ(db->GetRecords(out, "rooms", "", "", false), dbQueryOk);
    EXPECT_FALSE(out.hasHeader);
    ASSERT_EQ(out.size(), 2);
    ASSERT_EQ(db->GetRecords(out, "rooms", "RoomSequence > ?", "RoomSequence", true, {DbValue(0)}), dbQueryOk);
    EXPECT_TRUE(out.hasHeader);
    ASSERT_EQ(out.size(), 3);
    EXPECT_EQ(out.rows[0].at(0).toString(), "RoomID");
    EXPECT_EQ(out.rows[0].at(2).toString(), "RoomSequence");
    EXPECT_EQ(out.rows[1]["RoomDescription"].toString(), "cooler");
    EXPECT_EQ(out.firstDataRow(), 1);
}

TEST_F(TempDatabase, APlainSqlErrorFailsAtOnceAndEmptiesTheOutput)
{
    db->SetRetryPolicy(50, 200);
    ResultList out;
    out.rows.push_back(DbRow());
    EXPECT_EQ(db->GetRecordsBySQL(out, "SELECT * FROM nosuchtable", true), dbQueryGaveUp);
    EXPECT_EQ(db->LastAttempts(), 1);
    EXPECT_TRUE(out.empty());
    EXPECT_TRUE(db->LastError().contains("nosuchtable"));
    EXPECT_TRUE(messages.empty());
}

TEST_F(TempDatabase, ALockThatStaysIsRetriedThenGivenUp)
{
    ASSERT_FALSE(db->OpenDB());
    db->SetBusyTimeout(1);
    db->SetRetryPolicy(3, 1);
    sqlite3* other = openRaw();
    ASSERT_EQ(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    ResultList out;
    EXPECT_EQ(db->GetRecords(out, "rooms", "", "", false), dbQueryGaveUp);
    EXPECT_EQ(db->LastAttempts(), 4);
    EXPECT_TRUE(db->LastError().startsWith("3260:"));
    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(other);
}

TEST_F(TempDatabase, ALockHeldByAnotherConnectionIsWaitedOut)
{
    db->ExecuteSQL("INSERT INTO rooms VALUES (7, 'dairy', 1)");
    db->SetBusyTimeout(5);
    db->SetRetryPolicy(200, 25);   // a window of seconds, far longer than the lock is held
    sqlite3* other = openRaw();
    ASSERT_EQ(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    std::atomic<bool> started{false};
    std::thread holder([&] {
        started = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr);
    });
    while (!started) {
    }
    ResultList out;
    EXPECT_EQ(db->GetRecords(out, "rooms", "", "", false), dbQueryOk);
    holder.join();
    sqlite3_close(other);
    EXPECT_GT(db->LastAttempts(), 1);
    ASSERT_EQ(out.size(), 1);
    EXPECT_EQ(out.rows[0]["RoomDescription"].toString(), "dairy");
}

// ---------------------------------------------------------------------------------------------
// Replacing tables

TEST_F(TempDatabase, PutRecordsReplacesTheWholeTable)
{
    db->ExecuteSQL("INSERT INTO rooms VALUES (1, 'old one', 1), (2, 'old two', 2), (3, 'old three', 3)");
    ResultList list;
    ASSERT_EQ(db->GetRecords(list, "rooms", "RoomID <> 2", "RoomID", true), dbQueryOk);   // header row included
    list.rows[1].set("roomdescription", DbValue("renamed"));
    DbRow added;
    added.add("RoomSequence", 9);   // keys in another order and case than the table's columns
    added.add("ROOMID", 12);
    added.add("RoomDescription", "new");
    list.rows.push_back(added);
    db->BeginTransaction();
    EXPECT_EQ(db->PutRecords(list, "rooms"), 0);
    db->CommitTransaction(1);

    ResultList out;
    ASSERT_EQ(db->GetRecords(out, "rooms", "", "RoomID", false), dbQueryOk);
    ASSERT_EQ(out.size(), 3);
    EXPECT_EQ(out.rows[0]["RoomDescription"].toString(), "renamed");
    EXPECT_EQ(out.rows[1]["RoomID"].toInt(), 3);
    EXPECT_EQ(out.rows[2]["RoomID"].toInt(), 12);
    EXPECT_EQ(out.rows[2]["RoomSequence"].toInt(), 9);
}

TEST_F(TempDatabase, PutRecordsOfAnEmptyListEmptiesTheTable)
{
    db->ExecuteSQL("INSERT INTO rooms VALUES (1, 'a', 1)");
    ResultList empty;
    EXPECT_EQ(db->PutRecords(empty, "rooms"), 0);
    ResultList out;
    ASSERT_EQ(db->GetRecords(out, "rooms", "", "", false), dbQueryOk);
    EXPECT_TRUE(out.empty());
}

TEST_F(TempDatabase, PutRecordsThatFailsLeavesTheTableAsItWas)
{
    db->ExecuteSQL("INSERT INTO rooms VALUES (1, 'a', 1), (2, 'b', 2)");
    ResultList list;
    DbRow good;
    good.add("RoomID", 5);
    good.add("RoomDescription", "x");
    good.add("RoomSequence", 1);
    DbRow lacking;
    lacking.add("RoomID", 6);
    lacking.add("RoomDescription", "y");
    list.rows = {good, lacking};
    try {
        db->PutRecords(list, "rooms");
        FAIL();
    } catch (const DbError& e) {
        EXPECT_EQ(e.number, dbErrItemNotFound);
    }
    list.rows = {good, good};   // the same key twice
    try {
        db->PutRecords(list, "rooms");
        FAIL();
    } catch (const DbError& e) {
        EXPECT_TRUE(e.isDuplicateKey());
    }
    ResultList out;
    ASSERT_EQ(db->GetRecords(out, "rooms", "", "RoomID", false), dbQueryOk);
    ASSERT_EQ(out.size(), 2);
    EXPECT_EQ(out.rows[1]["RoomDescription"].toString(), "b");
}

TEST_F(TempDatabase, PutRecordsOfDevicesKeepsDatesAndBooleansInTheirStoredForms)
{
    ResultList list;
    list.rows.push_back(deviceRow(100101, "1"));
    ASSERT_EQ(db->PutRecords(list, "devices"), 0);
    ResultList out;
    ASSERT_EQ(db->GetRecords(out, "devices", "", "", false), dbQueryOk);
    // Read and written back unchanged, as the structure editor does.
    ASSERT_EQ(db->PutRecords(out, "devices"), 0);
    ResultList again;
    ASSERT_EQ(db->GetRecords(again, "devices", "", "", false), dbQueryOk);
    ASSERT_EQ(again.size(), 1);
    for (int c = 0; c < out.rows[0].size(); ++c)
        EXPECT_TRUE(out.rows[0].at(c) == again.rows[0].at(c)) << out.rows[0].nameAt(c).toStdString();
    EXPECT_EQ(again.rows[0]["DateRead"].toDateTime(), utc(2026, 3, 29, 2, 31, 0));
}

// ---------------------------------------------------------------------------------------------
// Deletions

TEST_F(TempDatabase, DeleteDevicelessSamplesRemovesExactlyTheOrphans)
{
    ResultList list;
    list.rows = {deviceRow(100101, "11"), deviceRow(100102, "12")};
    db->PutRecords(list, "devices");
    for (int i = 0; i < 5; ++i) {
        insertSample(*db, 100101, utc(2026, 1, 1, 0, 0).addSecs(i * 900), 4.0);
        insertSample(*db, 100102, utc(2026, 1, 1, 0, 0).addSecs(i * 900), 4.0);
    }
    insertSample(*db, 100103, utc(2026, 1, 1, 0, 0), 4.0);   // never had a devices row
    db->ExecuteSQL("DELETE FROM devices WHERE DeviceID = 100102");
    EXPECT_EQ(db->DeleteDevicelessSamples(), 6);
    ResultList out;
    ASSERT_EQ(db->GetRecordsBySQL(out, "SELECT DeviceID, count(*) AS n FROM samples GROUP BY DeviceID", false), dbQueryOk);
    ASSERT_EQ(out.size(), 1);
    EXPECT_EQ(out.rows[0]["DeviceID"].toInt(), 100101);
    EXPECT_EQ(out.rows[0]["n"].toInt(), 5);
    EXPECT_EQ(db->DeleteDevicelessSamples(), 0);
}

TEST_F(TempDatabase, DeleteDeviceBindsTheSerialNumber)
{
    ResultList list;
    list.rows = {deviceRow(100101, "21\"0'1"), deviceRow(100102, "2100000002"), deviceRow(100103, "x")};
    db->PutRecords(list, "devices");
    db->DeleteDevice("\" OR \"\"=\"");   // would match every row if pasted into the SQL text
    db->DeleteDevice("x' OR '1'='1");
    ResultList out;
    ASSERT_EQ(db->GetRecords(out, "devices", "", "", false), dbQueryOk);
    EXPECT_EQ(out.size(), 3);
    db->DeleteDevice("21\"0'1");
    ASSERT_EQ(db->GetRecords(out, "devices", "", "DeviceID", false), dbQueryOk);
    ASSERT_EQ(out.size(), 2);
    EXPECT_EQ(out.rows[0]["DeviceID"].toInt(), 100102);
    EXPECT_TRUE(db->IsLoggerKnown(100102));
    EXPECT_FALSE(db->IsLoggerKnown(100101));
}

// ---------------------------------------------------------------------------------------------
// Transactions

TEST_F(TempDatabase, ACommittedTransactionIsInTheFileWhenTheProcessDiesAtOnce)
{
    const QString dirPath = dir.path();
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        clsDatabase mine(dirPath);
        mine.BeginTransaction();
        mine.ExecuteSQL("INSERT INTO rooms VALUES (1, 'committed', 1)");
        mine.CommitTransaction(1);
        mine.BeginTransaction();
        mine.ExecuteSQL("INSERT INTO rooms VALUES (2, 'never committed', 1)");
        _exit(0);   // no close, no destructors: as if the power went
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_FALSE(QFile::exists(path() + "-wal"));
    ResultList out;
    ASSERT_EQ(db->GetRecords(out, "rooms", "", "", false), dbQueryOk);   // the hot journal is rolled back
    ASSERT_EQ(out.size(), 1);
    EXPECT_EQ(out.rows[0]["RoomDescription"].toString(), "committed");
}

TEST_F(TempDatabase, RollbackAndNestedTransactions)
{
    db->BeginTransaction();
    db->ExecuteSQL("INSERT INTO rooms VALUES (1, 'outer', 1)");
    db->BeginTransaction();
    db->ExecuteSQL("INSERT INTO rooms VALUES (2, 'inner', 1)");
    db->RollbackTransaction();
    EXPECT_TRUE(db->InTransaction());
    db->CommitTransaction(1);
    EXPECT_FALSE(db->InTransaction());
    db->BeginTransaction();
    db->ExecuteSQL("INSERT INTO rooms VALUES (3, 'dropped', 1)");
    db->RollbackTransaction();
    ResultList out;
    ASSERT_EQ(db->GetRecords(out, "rooms", "", "", false), dbQueryOk);
    ASSERT_EQ(out.size(), 1);
    EXPECT_EQ(out.rows[0]["RoomID"].toInt(), 1);
    EXPECT_THROW(db->CommitTransaction(1), DbError);
}

TEST_F(TempDatabase, ATransactionLeftByAnErrorLeavesTheFileAsItWas)
{
    db->ExecuteSQL("INSERT INTO rooms VALUES (1, 'before', 1)");
    auto failHalfWay = [&] {
        clsDatabase::Transaction transaction(*db);
        db->ExecuteSQL("UPDATE rooms SET RoomDescription = 'changed' WHERE RoomID = 1");
        db->ExecuteSQL("INSERT INTO rooms VALUES (2, 'added', 1)");
        db->ExecuteSQL("INSERT INTO rooms VALUES (2, 'twice', 1)");   // duplicate key
        transaction.commit();
    };
    EXPECT_THROW(failHalfWay(), DbError);
    EXPECT_FALSE(db->InTransaction());
    sqlite3* raw = openRaw();   // what another program finds in the file
    EXPECT_EQ(scalarText(raw, "SELECT group_concat(RoomID || ':' || RoomDescription) FROM rooms"), "1:before");

    // An inner transaction that fails is undone alone; the outer one goes on and commits.
    {
        clsDatabase::Transaction outer(*db);
        db->ExecuteSQL("INSERT INTO rooms VALUES (3, 'outer', 1)");
        try {
            clsDatabase::Transaction inner(*db);
            db->ExecuteSQL("INSERT INTO rooms VALUES (4, 'inner', 1)");
            throw DbError(dbErrGeneral, "stop");
        } catch (const DbError&) {
        }
        EXPECT_TRUE(db->InTransaction());
        outer.commit();
    }
    EXPECT_FALSE(db->InTransaction());
    EXPECT_EQ(scalarText(raw, "SELECT group_concat(RoomID || ':' || RoomDescription) FROM rooms ORDER BY RoomID"),
              "1:before,3:outer");
    // A transaction left without commit by a plain return is undone as well.
    {
        clsDatabase::Transaction forgotten(*db);
        db->ExecuteSQL("DELETE FROM rooms");
    }
    EXPECT_EQ(scalar(raw, "SELECT count(*) FROM rooms"), 2);
    sqlite3_close(raw);
}

TEST_F(TempDatabase, CloseInsideATransactionLosesOnlyTheUncommitted)
{
    db->BeginTransaction();
    db->ExecuteSQL("INSERT INTO rooms VALUES (1, 'x', 1)");
    db->CloseDB();
    EXPECT_FALSE(db->InTransaction());
    ResultList out;
    ASSERT_EQ(db->GetRecords(out, "rooms", "", "", false), dbQueryOk);
    EXPECT_TRUE(out.empty());
    db->BeginTransaction();   // a new transaction works after the reopen
    db->ExecuteSQL("INSERT INTO rooms VALUES (1, 'x', 1)");
    db->CommitTransaction(1);
    ASSERT_EQ(db->GetRecords(out, "rooms", "", "", false), dbQueryOk);
    EXPECT_EQ(out.size(), 1);
}

// ---------------------------------------------------------------------------------------------
// SQL aggregate and history

TEST_F(TempDatabase, VarIsTheSampleVariance)
{
    for (int i = 0; i < 4; ++i)
        insertSample(*db, 100101, utc(2026, 1, 1, 0, i), 1.0 + i);
    insertSample(*db, 100102, utc(2026, 1, 1, 0, 0), 3.0);
    db->ExecuteSQL("INSERT INTO samples VALUES (100101, 999999999, NULL)");
    ResultList out;
    ASSERT_EQ(db->GetRecordsBySQL(out, "SELECT DeviceID, Var(SampleTemp) AS v FROM samples GROUP BY DeviceID "
                                       "ORDER BY DeviceID", false),
              dbQueryOk);
    ASSERT_EQ(out.size(), 2);
    EXPECT_NEAR(out.rows[0]["v"].toDouble(), 5.0 / 3.0, 1e-12);   // 1,2,3,4; the NULL is skipped
    EXPECT_TRUE(out.rows[1]["v"].isNull());                       // a single value
    // Large offsets do not lose the small spread.
    db->ExecuteSQL("DELETE FROM samples");
    insertSample(*db, 1, utc(2026, 1, 1, 0, 0), 1e9 + 4);
    insertSample(*db, 1, utc(2026, 1, 1, 0, 1), 1e9 + 7);
    insertSample(*db, 1, utc(2026, 1, 1, 0, 2), 1e9 + 13);
    ASSERT_EQ(db->GetRecordsBySQL(out, "SELECT Var(SampleTemp) FROM samples", false), dbQueryOk);
    EXPECT_NEAR(out.rows[0].at(0).toDouble(), 21.0, 1e-6);
}

TEST_F(TempDatabase, SaveHistoryAppendsARowWithLocalTime)
{
    const QDateTime before = NowLocal().addSecs(-1);
    EXPECT_EQ(db->SaveHistory("programmed logger 123402\r\nline two", 1), 0);
    EXPECT_EQ(db->SaveHistory("other", 2), 0);
    ResultList out;
    ASSERT_EQ(db->GetRecords(out, "history", "", "\"DateTime\"", false), dbQueryOk);
    ASSERT_EQ(out.size(), 2);
    EXPECT_EQ(out.rows[0]["Text"].toString(), "programmed logger 123402\r\nline two");
    EXPECT_EQ(out.rows[0]["Type"].toInt(), 1);
    EXPECT_EQ(out.rows[0]["DateTime"].kind(), DbValue::DateTime);
    EXPECT_GE(out.rows[0]["DateTime"].toDateTime(), before);
    EXPECT_LE(out.rows[0]["DateTime"].toDateTime(), NowLocal().addSecs(1));
}

// ---------------------------------------------------------------------------------------------
// Start of the terminal program

TEST(DatabaseAtStart, ADatabaseThatCannotBeOpenedEndsTheStartWithTheReasonAndStaysAsItWas)
{
    QTemporaryDir dir;
    ASSERT_EQ(RunCli(dir, {"init", "--site", "1001"}, false).code, 0);
    const QString file = dir.filePath("home/data/NORDALIS.MDE");
    QFile junk(file);
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly | QIODevice::Truncate));
    junk.write(QByteArray(4096, 'x'));
    junk.close();
    const CliRun r = RunCli(dir, {"due"}, false);
    EXPECT_NE(r.code, 0);
    EXPECT_TRUE(r.err.contains("cannot open the database")) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(QString::number(dbErrOpen) + ":")) << r.err.toStdString();
    EXPECT_TRUE(r.out.isEmpty()) << r.out.toStdString();
    QFile after(file);
    ASSERT_TRUE(after.open(QIODevice::ReadOnly));
    EXPECT_EQ(after.readAll(), QByteArray(4096, 'x'));
}
