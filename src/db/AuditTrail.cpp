#include "db/AuditTrail.h"

#include "app/Resources.h"
#include "app/modInternationalisation.h"
#include "app/modMain.h"
#include "db/clsDatabase.h"

#include <QCryptographicHash>
#include <QFile>
#include <QSysInfo>

#include <sqlite3.h>

namespace {

const char* const kMarker = "-- Audit trail";

QByteArray auditSchema()
{
    static const QByteArray text = [] {
        InitNordalisResources();
        QFile file(QStringLiteral(":/schema.sql"));
        if (!file.open(QIODevice::ReadOnly)) return QByteArray();
        const QByteArray all = file.readAll();
        const qsizetype at = all.indexOf(kMarker);
        return at < 0 ? QByteArray() : all.mid(at);
    }();
    return text;
}

QString rowsText(qint64 first, qint64 last)
{
    return first == last ? QStringLiteral("row %1").arg(first) : QStringLiteral("rows %1 to %2").arg(first).arg(last);
}

QString nowUtcText()
{
    return NowUtc().toString(Qt::ISODate);
}

} // namespace

QString AuditGenesisHash()
{
    return QString(64, QLatin1Char('0'));
}

QString Sha256Hex(const QByteArray& bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}

void EnsureAuditTables(sqlite3* db)
{
    // Every table of the schema's last block; one missing (a database made before it) runs the block.
    bool complete = true;
    for (const char* table : {"audit", "audithead", "readingfiles", "missionevidence", "missionalarms", "missionhistogram"})
        complete = complete && HasTable(db, table);
    if (complete) return;
    const QByteArray schema = auditSchema();
    if (schema.isEmpty())
        throw DbError(dbErrGeneral, QStringLiteral("the audit tables are missing from the program's schema"));
    char* message = nullptr;
    const int rc = sqlite3_exec(db, schema.constData(), nullptr, nullptr, &message);
    if (rc != SQLITE_OK) {
        const QString text = QString::fromUtf8(message ? message : sqlite3_errstr(rc));
        sqlite3_free(message);
        throw DbError(dbErrGeneral, QStringLiteral("could not add the audit tables: %1").arg(text), rc);
    }
}

QString AuditRowHash(qint64 id, const QString& timeUtc, const QString& op, const QString& computer,
                     const QString& action, const QString& subject, const QString& details, const QString& previous)
{
    QByteArray canonical;
    for (const QString& field : {QString::number(id), timeUtc, op, computer, action, subject, details, previous}) {
        const QByteArray bytes = field.toUtf8();
        canonical += QByteArray::number(bytes.size()) + ':' + bytes + '\n';
    }
    return Sha256Hex(canonical);
}

qint64 AppendAudit(clsDatabase& db, const QString& action, const QString& subject, const QString& details)
{
    sqlite3* handle = db.Handle();
    if (!handle) throw db.OpenError();
    clsDatabase::Transaction transaction(db);
    EnsureAuditTables(handle);
    qint64 last = 0;
    QString previous = AuditGenesisHash();
    {
        DbStatement head(handle, QStringLiteral("SELECT LastAuditID, LastHash FROM audithead WHERE HeadID = 1"));
        if (head.step()) {
            last = head.columnInt(0);
            previous = head.columnText(1);
        }
    }
    const qint64 id = last + 1;
    const QString time = nowUtcText();
    const QString op = App().CurrentUserName;
    const QString computer = QSysInfo::machineHostName();
    const QString hash = AuditRowHash(id, time, op, computer, action, subject, details, previous);
    {
        DbStatement add(handle, QStringLiteral("INSERT INTO audit (AuditID, TimeUTC, Operator, Computer, Action, Subject, "
                                               "Details, PrevHash, RowHash) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)"));
        add.bindInt(1, id);
        add.bindText(2, time);
        add.bindText(3, op);
        add.bindText(4, computer);
        add.bindText(5, action);
        add.bindText(6, subject);
        add.bindText(7, details);
        add.bindText(8, previous);
        add.bindText(9, hash);
        add.step();
    }
    {
        DbStatement head(handle, QStringLiteral("INSERT INTO audithead (HeadID, LastAuditID, LastHash) VALUES (1, ?, ?) "
                                                "ON CONFLICT (HeadID) DO UPDATE SET LastAuditID = excluded.LastAuditID, "
                                                "LastHash = excluded.LastHash"));
        head.bindInt(1, id);
        head.bindText(2, hash);
        head.step();
    }
    transaction.commit();
    return id;
}

bool RecordAudit(clsDatabase& db, const QString& action, const QString& subject, const QString& details)
{
    try {
        AppendAudit(db, action, subject, details);
        return true;
    } catch (const DbError& e) {
        ShowMessage(QStringLiteral("Error ") + QString::number(e.number) + QStringLiteral(":") + e.description,
                    vbCritical, QStringLiteral("Error writing the audit trail"));
        return false;
    }
}

std::vector<AuditRow> AuditRows(clsDatabase& db)
{
    std::vector<AuditRow> rows;
    sqlite3* handle = db.Handle();
    if (!handle) throw db.OpenError();
    if (!HasTable(handle, "audit")) return rows;
    DbStatement st(handle, QStringLiteral("SELECT AuditID, TimeUTC, Operator, Computer, Action, Subject, Details, "
                                          "PrevHash, RowHash FROM audit ORDER BY AuditID"));
    while (st.step()) {
        AuditRow r;
        r.id = st.columnInt(0);
        r.timeUtc = st.columnText(1);
        r.op = st.columnText(2);
        r.computer = st.columnText(3);
        r.action = st.columnText(4);
        r.subject = st.columnText(5);
        r.details = st.columnText(6);
        r.previous = st.columnText(7);
        r.hash = st.columnText(8);
        rows.push_back(std::move(r));
    }
    return rows;
}

QStringList AuditChainProblems(clsDatabase& db)
{
    QStringList problems;
    const std::vector<AuditRow> rows = AuditRows(db);
    sqlite3* handle = db.Handle();
    qint64 headId = 0;
    QString headHash = AuditGenesisHash();
    if (HasTable(handle, "audithead")) {
        DbStatement head(handle, QStringLiteral("SELECT LastAuditID, LastHash FROM audithead WHERE HeadID = 1"));
        if (head.step()) {
            headId = head.columnInt(0);
            headHash = head.columnText(1);
        }
    }
    qint64 expectedId = 1;
    QString expectedPrevious = AuditGenesisHash();
    for (const AuditRow& r : rows) {
        if (r.id != expectedId) {
            problems << (r.id > expectedId
                             ? QStringLiteral("audit chain broken at row %1: %2 missing").arg(r.id).arg(rowsText(expectedId, r.id - 1))
                             : QStringLiteral("audit chain broken at row %1: numbered out of order").arg(r.id));
        } else if (r.previous != expectedPrevious) {
            problems << QStringLiteral("audit chain broken at row %1: it does not follow row %2 (a row before it was "
                                       "changed, removed or inserted)")
                            .arg(r.id).arg(r.id - 1);
        }
        if (AuditRowHash(r.id, r.timeUtc, r.op, r.computer, r.action, r.subject, r.details, r.previous) != r.hash)
            problems << QStringLiteral("audit chain broken at row %1: the row was changed").arg(r.id);
        expectedId = r.id + 1;
        expectedPrevious = r.hash;
        if (!problems.isEmpty()) return problems;   // the first break is named; what follows depends on it
    }
    const qint64 lastId = rows.empty() ? 0 : rows.back().id;
    if (headId != lastId || headHash != expectedPrevious) {
        if (headId > lastId)
            problems << QStringLiteral("audit chain broken after row %1: %2 missing at the end")
                            .arg(lastId).arg(rowsText(lastId + 1, headId));
        else
            problems << QStringLiteral("audit chain broken at row %1: the last recorded row is %2").arg(lastId).arg(headId);
    }
    return problems;
}

void StoreReadingFile(sqlite3* db, const ReadingFileRow& row)
{
    EnsureAuditTables(db);
    DbStatement st(db, QStringLiteral("INSERT OR IGNORE INTO readingfiles (FileHash, DeviceID, SerialNo, FileName, "
                                      "ReadingUTC, FirstSample, LastSample, SampleCount, AuditID) "
                                      "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)"));
    st.bindText(1, row.hash);
    st.bindInt(2, row.deviceId);
    st.bindText(3, row.serialNo);
    st.bindText(4, row.fileName);
    st.bindText(5, row.readingUtc);
    st.bindInt(6, row.firstSample);
    st.bindInt(7, row.lastSample);
    st.bindInt(8, row.sampleCount);
    st.bindInt(9, row.auditId);
    st.step();
}

std::vector<ReadingFileRow> ReadingFiles(clsDatabase& db)
{
    std::vector<ReadingFileRow> rows;
    sqlite3* handle = db.Handle();
    if (!handle) throw db.OpenError();
    if (!HasTable(handle, "readingfiles")) return rows;
    DbStatement st(handle, QStringLiteral("SELECT FileHash, DeviceID, SerialNo, FileName, ReadingUTC, FirstSample, "
                                          "LastSample, SampleCount, AuditID FROM readingfiles ORDER BY AuditID"));
    while (st.step()) {
        ReadingFileRow r;
        r.hash = st.columnText(0);
        r.deviceId = qint32(st.columnInt(1));
        r.serialNo = st.columnText(2);
        r.fileName = st.columnText(3);
        r.readingUtc = st.columnText(4);
        r.firstSample = st.columnInt(5);
        r.lastSample = st.columnInt(6);
        r.sampleCount = st.columnInt(7);
        r.auditId = st.columnInt(8);
        rows.push_back(std::move(r));
    }
    return rows;
}
