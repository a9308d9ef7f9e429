#pragma once
// The audit trail: the table "audit" beside the history log keeps one row per event that changes
// what the database holds or what a logger does (a reading stored, a logger programmed or stopped,
// a structure change, a purge, a maintenance run, the activation energy of the kinetic mean), with
// the time in UTC, the operator and the computer. Every row carries the SHA-256 of the row before
// it and its own, and the table "audithead" the number and hash of the last row, so that a row
// deleted, changed or inserted anywhere (the last one included) breaks the chain. Audit rows are never deleted, not even by a
// purge: the purge itself is recorded as a row that says what it removed.
//
// The table "readingfiles" keeps the SHA-256 of every logger file stored, with its logger,
// reading time and sample range, so that the files of the backup folder can be proved against
// the stored samples ("nordalis-cli verify").
//
// Databases made before the trail get its tables on the first write (EnsureAuditTables); the
// tables are the last block of the schema file.
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <vector>

struct sqlite3;
class clsDatabase;

// Action names of the audit rows.
namespace AuditAction {
inline const QString ReadingStored = QStringLiteral("reading stored");
inline const QString Programmed = QStringLiteral("logger programmed");
inline const QString Stopped = QStringLiteral("logger stopped");
inline const QString LoggerDeleted = QStringLiteral("logger deleted");
inline const QString CompartmentDeleted = QStringLiteral("compartment deleted");
inline const QString StructureChanged = QStringLiteral("structure changed");
inline const QString Purge = QStringLiteral("purge");
inline const QString Backup = QStringLiteral("database backup");
inline const QString Reorganize = QStringLiteral("database reorganized");
inline const QString Portable = QStringLiteral("portable database created");
inline const QString PortableLoaded = QStringLiteral("portable database loaded");
inline const QString SettingChanged = QStringLiteral("setting changed");
} // namespace AuditAction

// The hash before the first row: 64 zeros.
QString AuditGenesisHash();

// Creates the tables of the schema's last block (the audit tables and the tables of the
// alarm logs and histograms, db/MissionEvidence.h) that the database has not yet. Throws DbError.
void EnsureAuditTables(sqlite3* db);

// The SHA-256 (lower-case hex) of one audit row: its number, time, operator, computer, action,
// subject and details, each with its length, and the previous row's hash.
QString AuditRowHash(qint64 id, const QString& timeUtc, const QString& op, const QString& computer,
                     const QString& action, const QString& subject, const QString& details, const QString& previous);

// Appends one audit row (in a transaction of its own, or inside the caller's): operator is
// App().CurrentUserName, computer the host name. Returns the row's number. Throws DbError.
qint64 AppendAudit(clsDatabase& db, const QString& action, const QString& subject, const QString& details);
// The same as AppendAudit, but a failure is reported through ShowMessage instead of thrown (the
// event itself happened: only its record is missing). False when nothing was written.
bool RecordAudit(clsDatabase& db, const QString& action, const QString& subject, const QString& details);

struct AuditRow {
    qint64 id = 0;
    QString timeUtc, op, computer, action, subject, details, previous, hash;
};
// Every audit row in order of number (empty when the database has no audit table).
std::vector<AuditRow> AuditRows(clsDatabase& db);

// The chain checked row by row: one line per break, naming the first row where it breaks (a
// row missing before it, a row changed, rows missing at the end). Empty when the chain holds.
QStringList AuditChainProblems(clsDatabase& db);

// One stored logger file.
struct ReadingFileRow {
    QString hash;          // SHA-256 of the file's bytes, lower-case hex
    qint32 deviceId = 0;
    QString serialNo;
    QString fileName;      // name in the data directory when it was stored
    QString readingUtc;    // the reading time of the image, ISO text in UTC
    qint64 firstSample = 0, lastSample = 0;   // UTC seconds; 0 without samples
    qint64 sampleCount = 0;
    qint64 auditId = 0;    // the audit row of the storing
};
void StoreReadingFile(sqlite3* db, const ReadingFileRow& row);
std::vector<ReadingFileRow> ReadingFiles(clsDatabase& db);

// The SHA-256 of bytes as lower-case hex.
QString Sha256Hex(const QByteArray& bytes);
