#pragma once
// The one gateway to the database file (SQLite). Opens the file lazily; every operation that
// touches the database calls OpenDB first.
//
// Storage conventions of the schema (resources/schema.sql):
//  - samples.SampleDate: whole seconds since 1970-01-01 UTC (declared type EPOCHSECONDS);
//  - other date-time columns (declared DATETIME): local time as text "yyyy-MM-dd HH:mm:ss",
//    which sorts and compares correctly;
//  - booleans (declared BOOLEAN): 0 or 1; single floats: REAL.
// Values read back are typed by the declared column type.
#include "db/ResultList.h"
#include <QString>
#include <functional>
#include <stdexcept>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;
class clsDS1921Data;
struct StoredMissionEvidence;

// Error numbers that callers tell apart.
enum DbErrorCode : int {
    dbErrDuplicateKey = 3022,   // a row's primary key already exists
    dbErrBusy = 3260,           // the file is locked by another process (may pass)
    dbErrOpen = 3044,           // the database file could not be opened
    dbErrGeneral = 3000,        // any other engine error
    dbErrNoTransaction = 3034,  // commit or rollback without a transaction
    dbErrItemNotFound = 3265,   // a row handed to PutRecords lacks a column of the table
};

// Result of the query operations (GetRecordsBySQL, GetRecords).
enum DbQueryResult : int {
    dbQueryOk = 0,
    dbQueryGaveUp = -3,   // the query failed (after the retries of a lock); LastError() tells why
};

// Result of LoggerImageToDB.
enum class ImageStoreResult : int {
    Stored = 0,    // the image's rows are in the database (samples already there skipped)
    Refused = 1,   // the image is implausible: nothing stored
};

class DbError : public std::runtime_error {
public:
    DbError(int number, const QString& description, int sqliteCode = 0)
        : std::runtime_error(description.toStdString()), number(number), description(description), sqliteCode(sqliteCode) {}
    int number;
    QString description;
    int sqliteCode;
    bool isDuplicateKey() const { return number == dbErrDuplicateKey; }
};

// The DbError for an engine result code on a connection (duplicate key as 3022, busy/locked
// as 3260).
DbError DbErrorFromSqlite(sqlite3* db, int rc);
// True for the engine errors that may pass when tried again (busy, locked).
bool IsTransientDbError(const DbError& e);

// Samples: whole seconds since 1970 UTC, as stored in columns of declared type EPOCHSECONDS.
qint64 ToEpochSeconds(const QDateTime& utc);
QDateTime FromEpochSeconds(qint64 seconds);
// The stored text of a DATETIME column: "yyyy-MM-dd HH:mm:ss".
QString DbDateTimeText(const QDateTime& t);

// Settings every connection gets: extended result codes, busy timeout, rollback journal in the
// database file's folder with full synchronous writes (a committed transaction survives a power
// loss and the database stays one file), and the SQL aggregate Var(x) (sample variance, NULL
// for fewer than two values). Throws DbError.
void ConfigureDbConnection(sqlite3* db, int busyTimeoutMs);

// A transaction on a bare connection (one that is no clsDatabase): BEGIN in the constructor
// (IMMEDIATE takes the write lock at once), COMMIT only through commit(), ROLLBACK in the
// destructor when it was neither committed nor rolled back. Throws DbError.
class SqlTransaction {
public:
    enum Mode { Deferred, Immediate };
    explicit SqlTransaction(sqlite3* db, Mode mode = Immediate);
    ~SqlTransaction();
    SqlTransaction(const SqlTransaction&) = delete;
    SqlTransaction& operator=(const SqlTransaction&) = delete;
    void commit();
    void rollback();
private:
    sqlite3* m_db;
    bool m_open = false;
};

// A prepared statement, reusable with reset(). Parameters are numbered from 1.
class DbStatement {
public:
    DbStatement(sqlite3* db, const QString& sql);   // throws DbError
    ~DbStatement();
    DbStatement(const DbStatement&) = delete;
    DbStatement& operator=(const DbStatement&) = delete;
    void bind(int index, const DbValue& value);     // DateTime binds as local-time text
    void bindInt(int index, qint64 value);
    void bindDouble(int index, double value);
    void bindText(int index, const QString& value);
    void bindNull(int index);
    bool step();          // true while a row is available; throws DbError (duplicate key as 3022)
    void reset();         // ready for new bindings and another step
    int columnCount() const;
    QString columnName(int i) const;
    DbValue column(int i) const;   // typed by declared type
    qint64 columnInt(int i) const;
    double columnDouble(int i) const;
    QString columnText(int i) const;
    bool columnIsNull(int i) const;
    sqlite3_stmt* handle() const { return m_stmt; }
private:
    sqlite3* m_db;
    sqlite3_stmt* m_stmt = nullptr;
};

class clsDatabase {
public:
    // The database directory defaults to App().DatabaseDirectory when empty.
    explicit clsDatabase(const QString& databaseDirectory = QString());
    ~clsDatabase();
    // One connection, one transaction depth: never copied.
    clsDatabase(const clsDatabase&) = delete;
    clsDatabase& operator=(const clsDatabase&) = delete;

    // One transaction of this database, nested ones as savepoints: begun in the constructor
    // (the outermost with the write lock taken at once), committed durably only by commit(),
    // rolled back by the destructor when not committed - a failure anywhere in between leaves
    // the database as it was. Throws DbError.
    class Transaction {
    public:
        explicit Transaction(clsDatabase& db);
        ~Transaction();
        Transaction(const Transaction&) = delete;
        Transaction& operator=(const Transaction&) = delete;
        void commit();
        void rollback();
    private:
        clsDatabase& m_db;
        int m_level;
        bool m_done = false;
    };

    // True on failure: nothing is shown and nothing ends here; OpenError() tells why, and the
    // caller tells the operator. Does nothing when the database is open.
    [[nodiscard]] bool OpenDB();
    DbError OpenError() const { return m_openError; }
    // The operator's text of the open failure: error number, ":" and description.
    QString OpenErrorText() const;
    void CloseDB();
    bool IsOpen() const { return m_db != nullptr; }
    QString FilePath() const { return m_path; }   // the file that is open (empty when closed)
    sqlite3* Handle();             // opens when needed; nullptr when that fails

    void DeleteDevice(const QString& serialNo);
    [[nodiscard]] bool IsLoggerKnown(qint32 deviceId);
    int SaveHistory(const QString& text, qint32 type);
    // Stores one logger image in one transaction (db/LoggerImageToDB.cpp). Refused when the image
    // is implausible (clsDS1921Data::ImplausibleBecause, the reason in *refusal) and nothing is
    // stored. Samples already stored are skipped; any other error rolls the whole image back and
    // is thrown as DbError.
    // With fileName and fileHash (the SHA-256 of the logger file's bytes as read), the same
    // transaction records the reading in the audit trail and the file's hash with its samples
    // (db/AuditTrail.h).
    // With evidence (the logger's alarm log and histogram of the same reading, from the logger
    // file's companion), the same transaction stores them (db/MissionEvidence.h).
    [[nodiscard]] ImageStoreResult LoggerImageToDB(clsDS1921Data& image, QString* refusal = nullptr,
                                                   const QString& fileName = QString(),
                                                   const QString& fileHash = QString(),
                                                   const StoredMissionEvidence* evidence = nullptr);

    QString Parameter(const QString& name, const QString& def);
    // Writes a parameter; throws DbError (the caller reports it, or uses StoreParameter).
    void SetParameter(const QString& name, const DbValue& value);

    // Parameters are bound in order to the "?" placeholders of the SQL text.
    [[nodiscard]] DbQueryResult GetRecordsBySQL(ResultList& out, const QString& sql, bool withFieldNames,
                                                const std::vector<DbValue>& params = {});
    [[nodiscard]] DbQueryResult GetRecords(ResultList& out, const QString& table, const QString& where,
                                           const QString& order, bool withFieldNames,
                                           const std::vector<DbValue>& params = {});
    int PutRecords(const ResultList& list, const QString& table);

    void BeginTransaction();
    void CommitTransaction(int option);   // 1: durable (flushed to disk before returning)
    void RollbackTransaction();
    bool InTransaction() const { return m_transactionDepth > 0; }

    qint32 DeleteDevicelessSamples();
    qint32 ExecuteSQL(const QString& sql, const std::vector<DbValue>& params = {});

    // How long GetRecordsBySQL keeps retrying errors that may pass (busy, locked).
    void SetRetryPolicy(int attempts, int delayMs) { m_retryAttempts = attempts; m_retryDelayMs = delayMs; }
    // How long the engine itself waits for a lock before reporting busy.
    void SetBusyTimeout(int ms);
    // Number and description of the last error GetRecordsBySQL gave up on (empty after success),
    // and how many times it ran its query.
    QString LastError() const { return m_lastError; }
    int LastAttempts() const { return m_lastAttempts; }

private:
    QString m_directory;
    QString m_path;
    sqlite3* m_db = nullptr;
    int m_transactionDepth = 0;
    int m_retryAttempts = 50;
    int m_retryDelayMs = 200;
    int m_busyTimeoutMs = 2000;
    QString m_lastError;
    int m_lastAttempts = 0;

    DbError m_openError{dbErrOpen, QString()};

    bool tryOpen(const QString& path, DbError& error);
    sqlite3* requireOpen();        // the open connection, or throws the open failure
};

// The one database object of the process; opens its file lazily, in App().DatabaseDirectory.
clsDatabase& AppDatabase();
// Closes and forgets the database object, so that the next AppDatabase() starts afresh on the
// current App().DatabaseDirectory (tests that switch application directories; a restart).
void ResetAppDatabase();
// The unit setting (0 Celsius, 1 Fahrenheit; anything else is Celsius) into the application
// state and the table parameters.
void SetUnits(int& code);
// SetParameter for callers that go on after a failed write: the failure is reported through
// ShowMessage ("Error " number ":" description, titled "Error writing parameter"). False when
// the value was not written.
bool StoreParameter(clsDatabase& db, const QString& name, const DbValue& value);

// True when the database has the table (tables added after a database was made, such as the audit
// trail's, may be missing from an older file). Throws DbError.
bool HasTable(sqlite3* db, const char* name);

// The parameter that keeps the steps, in °C, in which a logger's stored samples were measured
// ("LoggerSteps " & serial number: "0.5" for a DS1921G, "0.125" for the H and Z variants),
// written with every image of the logger that is stored without a calibration table. The
// devices table keeps only the serial number, which does not tell the logger's kind.
QString LoggerStepsParameterName(const QString& serialNo);
