#include "db/clsDatabase.h"

#include "app/modInternationalisation.h"
#include "app/modMain.h"

#include <QDir>
#include <QFileInfo>
#include <QThread>

#include <sqlite3.h>

namespace {

QString engineMessage(sqlite3* db, int rc)
{
    if (db)
        return QString::fromUtf8(sqlite3_errmsg(db));
    return QString::fromUtf8(sqlite3_errstr(rc));
}

// Sample variance (n - 1 in the denominator) by Welford's running sums; NULL values are
// skipped and fewer than two values give NULL.
struct VarianceState {
    qint64 n;
    double mean;
    double m2;
};

void varStep(sqlite3_context* ctx, int, sqlite3_value** argv)
{
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL)
        return;
    auto* s = static_cast<VarianceState*>(sqlite3_aggregate_context(ctx, sizeof(VarianceState)));
    if (!s) {
        sqlite3_result_error_nomem(ctx);
        return;
    }
    const double x = sqlite3_value_double(argv[0]);
    ++s->n;
    const double delta = x - s->mean;
    s->mean += delta / double(s->n);
    s->m2 += delta * (x - s->mean);
}

void varFinal(sqlite3_context* ctx)
{
    auto* s = static_cast<VarianceState*>(sqlite3_aggregate_context(ctx, 0));
    if (!s || s->n < 2)
        sqlite3_result_null(ctx);
    else
        sqlite3_result_double(ctx, s->m2 / double(s->n - 1));
}

void execSimple(sqlite3* db, const char* sql)
{
    char* err = nullptr;
    const int rc = sqlite3_exec(db, sql, nullptr, nullptr, &err);
    if (rc != SQLITE_OK) {
        const QString text = err ? QString::fromUtf8(err) : QString::fromUtf8(sqlite3_errstr(rc));
        sqlite3_free(err);
        DbError e = DbErrorFromSqlite(db, rc);
        throw DbError(e.number, text, e.sqliteCode);
    }
}

enum class DeclKind { None, EpochSeconds, DateTime, Boolean, Integer, Float, Text };

DeclKind declKind(const char* decl)
{
    if (!decl || !*decl)
        return DeclKind::None;
    const QString d = QString::fromLatin1(decl).toUpper();
    if (d == QLatin1String("EPOCHSECONDS"))
        return DeclKind::EpochSeconds;
    if (d == QLatin1String("DATETIME") || d == QLatin1String("DATE"))
        return DeclKind::DateTime;
    if (d == QLatin1String("BOOLEAN") || d == QLatin1String("BOOL"))
        return DeclKind::Boolean;
    if (d.contains(QLatin1String("INT")))
        return DeclKind::Integer;
    if (d.contains(QLatin1String("CHAR")) || d.contains(QLatin1String("TEXT")) || d.contains(QLatin1String("CLOB")))
        return DeclKind::Text;
    if (d.contains(QLatin1String("REAL")) || d.contains(QLatin1String("FLOA")) || d.contains(QLatin1String("DOUB")))
        return DeclKind::Float;
    return DeclKind::None;
}

// A value as the engine holds it, without regard to a declared type.
DbValue storedValue(sqlite3_stmt* st, int i)
{
    switch (sqlite3_column_type(st, i)) {
    case SQLITE_NULL: return DbValue::null();
    case SQLITE_INTEGER: return DbValue(qint64(sqlite3_column_int64(st, i)));
    case SQLITE_FLOAT: return DbValue(sqlite3_column_double(st, i));
    default: {
        const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(st, i));
        return DbValue(QString::fromUtf8(p, sqlite3_column_bytes(st, i)));
    }
    }
}

// Binds a value for a column of the given declared type: date-times as epoch seconds or as
// local-time text, booleans and texts such as "True" as 0/1.
void bindForColumn(DbStatement& st, int index, const DbValue& v, DeclKind kind)
{
    if (v.isNull()) {
        st.bindNull(index);
        return;
    }
    switch (kind) {
    case DeclKind::EpochSeconds: {
        if (v.kind() == DbValue::Int || v.kind() == DbValue::Float) {
            st.bindInt(index, v.toInt());
            return;
        }
        const QDateTime t = v.toDateTime();
        if (t.isValid())
            st.bindInt(index, ToEpochSeconds(t));
        else
            st.bind(index, v);   // refused by the column's check
        return;
    }
    case DeclKind::DateTime: {
        const QDateTime t = v.toDateTime();
        if (t.isValid())
            st.bindText(index, DbDateTimeText(t));
        else
            st.bind(index, v);
        return;
    }
    case DeclKind::Boolean:
        st.bindInt(index, v.toBool() ? 1 : 0);
        return;
    default:
        st.bind(index, v);
    }
}

} // namespace

DbError DbErrorFromSqlite(sqlite3* db, int rc)
{
    const int extended = (db && rc != SQLITE_OK) ? sqlite3_extended_errcode(db) : rc;
    const int code = (extended & 0xff) == (rc & 0xff) ? extended : rc;
    const QString message = engineMessage(db, rc);
    switch (code & 0xff) {
    case SQLITE_CONSTRAINT:
        if (code == SQLITE_CONSTRAINT_PRIMARYKEY || code == SQLITE_CONSTRAINT_UNIQUE)
            return DbError(dbErrDuplicateKey,
                           QStringLiteral("The changes were not successful because they would create duplicate values "
                                          "in the primary key (%1)").arg(message),
                           code);
        return DbError(dbErrGeneral, message, code);
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return DbError(dbErrBusy, QStringLiteral("The database is locked by another process (%1)").arg(message), code);
    case SQLITE_CANTOPEN:
    case SQLITE_NOTADB:
        return DbError(dbErrOpen, message, code);
    default:
        return DbError(dbErrGeneral, message, code);
    }
}

bool IsTransientDbError(const DbError& e)
{
    const int primary = e.sqliteCode & 0xff;
    return primary == SQLITE_BUSY || primary == SQLITE_LOCKED;
}

qint64 ToEpochSeconds(const QDateTime& utc)
{
    // The fields are taken as UTC whatever timeSpec the value carries.
    const QDateTime t(utc.date(), utc.time(), Qt::UTC);
    const qint64 ms = t.toMSecsSinceEpoch();
    // Nearest whole second, halves away from zero.
    return ms >= 0 ? (ms + 500) / 1000 : -((-ms + 500) / 1000);
}

QDateTime FromEpochSeconds(qint64 seconds)
{
    return QDateTime::fromSecsSinceEpoch(seconds, Qt::UTC);
}

QString DbDateTimeText(const QDateTime& t)
{
    return t.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

void ConfigureDbConnection(sqlite3* db, int busyTimeoutMs)
{
    sqlite3_extended_result_codes(db, 1);
    sqlite3_busy_timeout(db, busyTimeoutMs);
    // Rollback journal: committed data lives in the one database file, and with synchronous FULL
    // the journal and the file are flushed before a commit returns.
    execSimple(db, "PRAGMA journal_mode = DELETE");
    execSimple(db, "PRAGMA synchronous = FULL");
    const int rc = sqlite3_create_function_v2(db, "Var", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, nullptr,
                                              varStep, varFinal, nullptr);
    if (rc != SQLITE_OK)
        throw DbErrorFromSqlite(db, rc);
}

// ---------------------------------------------------------------------------------------------
// SqlTransaction

SqlTransaction::SqlTransaction(sqlite3* db, Mode mode) : m_db(db)
{
    if (!db)
        throw DbError(dbErrOpen, QStringLiteral("the database is not open"));
    execSimple(db, mode == Immediate ? "BEGIN IMMEDIATE" : "BEGIN");
    m_open = true;
}

SqlTransaction::~SqlTransaction()
{
    if (m_open && !sqlite3_get_autocommit(m_db))
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
}

void SqlTransaction::commit()
{
    if (!m_open)
        throw DbError(dbErrNoTransaction, QStringLiteral("commit without a transaction"));
    execSimple(m_db, "COMMIT");
    m_open = false;
}

void SqlTransaction::rollback()
{
    if (!m_open)
        throw DbError(dbErrNoTransaction, QStringLiteral("rollback without a transaction"));
    m_open = false;
    if (!sqlite3_get_autocommit(m_db))
        execSimple(m_db, "ROLLBACK");
}

// ---------------------------------------------------------------------------------------------
// clsDatabase::Transaction

clsDatabase::Transaction::Transaction(clsDatabase& db) : m_db(db)
{
    m_db.BeginTransaction();
    m_level = m_db.m_transactionDepth;
}

clsDatabase::Transaction::~Transaction()
{
    // Only this level is undone; a commit that failed and ended the transaction leaves nothing.
    if (!m_done && m_db.m_transactionDepth >= m_level) {
        try {
            m_db.RollbackTransaction();
        } catch (...) {
        }
    }
}

void clsDatabase::Transaction::commit()
{
    m_done = true;
    try {
        m_db.CommitTransaction(1);
    } catch (...) {
        // A commit refused by another program's lock leaves the transaction open: it is undone
        // here, so that the connection does not go on writing into a transaction nobody ends.
        if (m_db.m_transactionDepth >= m_level) {
            try {
                m_db.RollbackTransaction();
            } catch (...) {
            }
        }
        throw;
    }
}

void clsDatabase::Transaction::rollback()
{
    m_done = true;
    m_db.RollbackTransaction();
}

// ---------------------------------------------------------------------------------------------
// DbStatement

DbStatement::DbStatement(sqlite3* db, const QString& sql) : m_db(db)
{
    if (!db)
        throw DbError(dbErrOpen, QStringLiteral("the database is not open"));
    const QByteArray text = sql.toUtf8();
    const int rc = sqlite3_prepare_v2(db, text.constData(), int(text.size()), &m_stmt, nullptr);
    if (rc != SQLITE_OK) {
        sqlite3_finalize(m_stmt);
        m_stmt = nullptr;
        throw DbErrorFromSqlite(db, rc);
    }
    if (!m_stmt)
        throw DbError(dbErrGeneral, QStringLiteral("empty SQL statement"));
}

DbStatement::~DbStatement()
{
    sqlite3_finalize(m_stmt);
}

void DbStatement::bind(int index, const DbValue& value)
{
    switch (value.kind()) {
    case DbValue::Empty:
    case DbValue::Null: bindNull(index); break;
    case DbValue::Bool:
    case DbValue::Int: bindInt(index, value.toInt()); break;
    case DbValue::Float: bindDouble(index, value.toDouble()); break;
    case DbValue::DateTime:
        if (value.toDateTime().isValid())
            bindText(index, DbDateTimeText(value.toDateTime()));
        else
            bindNull(index);
        break;
    case DbValue::Text: bindText(index, value.toString()); break;
    }
}

void DbStatement::bindInt(int index, qint64 value)
{
    const int rc = sqlite3_bind_int64(m_stmt, index, value);
    if (rc != SQLITE_OK)
        throw DbErrorFromSqlite(m_db, rc);
}

void DbStatement::bindDouble(int index, double value)
{
    const int rc = sqlite3_bind_double(m_stmt, index, value);
    if (rc != SQLITE_OK)
        throw DbErrorFromSqlite(m_db, rc);
}

void DbStatement::bindText(int index, const QString& value)
{
    const QByteArray text = value.toUtf8();
    const int rc = sqlite3_bind_text(m_stmt, index, text.constData(), int(text.size()), SQLITE_TRANSIENT);
    if (rc != SQLITE_OK)
        throw DbErrorFromSqlite(m_db, rc);
}

void DbStatement::bindNull(int index)
{
    const int rc = sqlite3_bind_null(m_stmt, index);
    if (rc != SQLITE_OK)
        throw DbErrorFromSqlite(m_db, rc);
}

bool DbStatement::step()
{
    const int rc = sqlite3_step(m_stmt);
    if (rc == SQLITE_ROW)
        return true;
    if (rc == SQLITE_DONE)
        return false;
    DbError e = DbErrorFromSqlite(m_db, rc);
    sqlite3_reset(m_stmt);
    throw e;
}

void DbStatement::reset()
{
    sqlite3_reset(m_stmt);
    sqlite3_clear_bindings(m_stmt);
}

int DbStatement::columnCount() const
{
    return sqlite3_column_count(m_stmt);
}

QString DbStatement::columnName(int i) const
{
    return QString::fromUtf8(sqlite3_column_name(m_stmt, i));
}

DbValue DbStatement::column(int i) const
{
    if (sqlite3_column_type(m_stmt, i) == SQLITE_NULL)
        return DbValue::null();
    switch (declKind(sqlite3_column_decltype(m_stmt, i))) {
    case DeclKind::EpochSeconds:
        if (sqlite3_column_type(m_stmt, i) == SQLITE_INTEGER)
            return DbValue(FromEpochSeconds(sqlite3_column_int64(m_stmt, i)));
        break;
    case DeclKind::DateTime: {
        const DbValue text = storedValue(m_stmt, i);
        if (text.kind() == DbValue::Text) {
            const QDateTime t = text.toDateTime();
            if (t.isValid())
                return DbValue(t);
        }
        return text;
    }
    case DeclKind::Boolean:
        return DbValue(sqlite3_column_int64(m_stmt, i) != 0);
    case DeclKind::Integer:
        if (sqlite3_column_type(m_stmt, i) == SQLITE_INTEGER)
            return DbValue(qint64(sqlite3_column_int64(m_stmt, i)));
        break;
    case DeclKind::Float:
        return DbValue(sqlite3_column_double(m_stmt, i));
    case DeclKind::Text:
        break;
    case DeclKind::None:
        break;
    }
    return storedValue(m_stmt, i);
}

qint64 DbStatement::columnInt(int i) const
{
    return sqlite3_column_int64(m_stmt, i);
}

double DbStatement::columnDouble(int i) const
{
    return sqlite3_column_double(m_stmt, i);
}

QString DbStatement::columnText(int i) const
{
    const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, i));
    return p ? QString::fromUtf8(p, sqlite3_column_bytes(m_stmt, i)) : QString();
}

bool DbStatement::columnIsNull(int i) const
{
    return sqlite3_column_type(m_stmt, i) == SQLITE_NULL;
}

// ---------------------------------------------------------------------------------------------
// clsDatabase

clsDatabase::clsDatabase(const QString& databaseDirectory) : m_directory(databaseDirectory) {}

clsDatabase::~clsDatabase()
{
    CloseDB();
}

bool clsDatabase::tryOpen(const QString& path, DbError& error)
{
    if (!QFileInfo(path).isFile()) {
        error = DbError(dbErrOpen, QStringLiteral("Could not find file '%1'.").arg(QDir::toNativeSeparators(path)),
                        SQLITE_CANTOPEN);
        return false;
    }
    sqlite3* db = nullptr;
    const QByteArray file = QFile::encodeName(path);
    const int rc = sqlite3_open_v2(file.constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
    try {
        if (rc != SQLITE_OK)
            throw DbErrorFromSqlite(db, rc);
        ConfigureDbConnection(db, m_busyTimeoutMs);
        // Reads the header: a file that is no database is refused here.
        execSimple(db, "SELECT count(*) FROM sqlite_master");
    } catch (const DbError& e) {
        error = DbError(e.number, QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path), e.description),
                        e.sqliteCode);
        sqlite3_close_v2(db);
        return false;
    }
    m_db = db;
    m_path = path;
    m_transactionDepth = 0;
    m_openError = DbError(dbErrOpen, QString());
    return true;
}

bool clsDatabase::OpenDB()
{
    if (m_db)
        return false;
    const QString dir = m_directory.isEmpty() ? App().DatabaseDirectory : m_directory;
    DbError error(dbErrOpen, QStringLiteral("the database directory is not set"), SQLITE_CANTOPEN);
    // Without a directory nothing is tried: a relative name would find a file in whatever
    // folder the program was started from.
    // The portable copy is tried when the main file is missing or no database. When neither
    // opens, the message is about the main file, unless the portable copy is the only file there:
    // never about a portable copy that is not there.
    if (!dir.isEmpty()) {
        const QString main = QDir(dir).filePath(QStringLiteral("NORDALIS.MDE"));
        const QString portable = QDir(dir).filePath(QStringLiteral("NORD.MDE"));
        if (tryOpen(main, error))
            return false;
        if (QFileInfo::exists(portable)) {
            DbError portableError = error;
            if (tryOpen(portable, portableError))
                return false;
            if (!QFileInfo::exists(main))
                error = portableError;
        }
    }
    m_openError = error;
    return true;
}

QString clsDatabase::OpenErrorText() const
{
    return QString::number(m_openError.number) + QStringLiteral(":") + m_openError.description;
}

sqlite3* clsDatabase::requireOpen()
{
    if (OpenDB())
        throw m_openError;
    return m_db;
}

void clsDatabase::CloseDB()
{
    if (!m_db)
        return;
    // An unfinished transaction is rolled back by the engine when the connection closes.
    sqlite3_close_v2(m_db);
    m_db = nullptr;
    m_path.clear();
    m_transactionDepth = 0;
}

void clsDatabase::SetBusyTimeout(int ms)
{
    m_busyTimeoutMs = ms;
    if (m_db)
        sqlite3_busy_timeout(m_db, ms);
}

sqlite3* clsDatabase::Handle()
{
    if (OpenDB())
        return nullptr;
    return m_db;
}

void clsDatabase::DeleteDevice(const QString& serialNo)
{
    ExecuteSQL(QStringLiteral("DELETE FROM devices WHERE SerialNo = ?"), {DbValue(serialNo)});
}

bool clsDatabase::IsLoggerKnown(qint32 deviceId)
{
    DbStatement st(requireOpen(), QStringLiteral("SELECT 1 FROM devices WHERE DeviceID = ?"));
    st.bindInt(1, deviceId);
    return st.step();
}

int clsDatabase::SaveHistory(const QString& text, qint32 type)
{
    ExecuteSQL(QStringLiteral("INSERT INTO history (\"DateTime\", \"Text\", \"Type\") VALUES (?, ?, ?)"),
               {DbValue(NowLocal()), DbValue(text), DbValue(type)});
    return 0;
}

QString clsDatabase::Parameter(const QString& name, const QString& def)
{
    if (!Handle())
        return def;
    DbStatement st(Handle(), QStringLiteral("SELECT ParamValue FROM parameters WHERE ParamName = ?"));
    st.bindText(1, name);
    if (!st.step())
        return def;
    return st.columnText(0);
}

void clsDatabase::SetParameter(const QString& name, const DbValue& value)
{
    QString text;
    switch (value.kind()) {
    case DbValue::Bool: text = value.toBool() ? QStringLiteral("True") : QStringLiteral("False"); break;
    case DbValue::DateTime: text = DbDateTimeText(value.toDateTime()); break;
    default: text = value.toString(); break;
    }
    DbStatement st(requireOpen(), QStringLiteral("INSERT INTO parameters (ParamName, ParamValue) VALUES (?, ?) "
                                                 "ON CONFLICT (ParamName) DO UPDATE SET ParamValue = excluded.ParamValue"));
    st.bindText(1, name);
    st.bindText(2, text);
    st.step();
}

bool HasTable(sqlite3* db, const char* name)
{
    DbStatement st(db, QStringLiteral("SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = ?"));
    st.bindText(1, QString::fromLatin1(name));
    return st.step();
}

bool StoreParameter(clsDatabase& db, const QString& name, const DbValue& value)
{
    try {
        db.SetParameter(name, value);
        return true;
    } catch (const DbError& e) {
        ShowMessage(QStringLiteral("Error ") + QString::number(e.number) + QStringLiteral(":") + e.description,
                    vbCritical, QStringLiteral("Error writing parameter"));
        return false;
    }
}

DbQueryResult clsDatabase::GetRecordsBySQL(ResultList& out, const QString& sql, bool withFieldNames,
                                           const std::vector<DbValue>& params)
{
    int errors = 0;
    for (;;) {
        m_lastAttempts = errors + 1;
        try {
            DbStatement st(requireOpen(), sql);
            for (size_t i = 0; i < params.size(); ++i)
                st.bind(int(i) + 1, params[i]);
            ResultList list;
            const int columns = st.columnCount();
            if (withFieldNames) {
                DbRow header;
                for (int c = 0; c < columns; ++c)
                    header.add(QString(), DbValue(st.columnName(c)));
                list.rows.push_back(std::move(header));
                list.hasHeader = true;
            }
            while (st.step()) {
                DbRow row;
                for (int c = 0; c < columns; ++c)
                    row.add(st.columnName(c), st.column(c));
                list.rows.push_back(std::move(row));
            }
            out = std::move(list);
            m_lastError.clear();
            return dbQueryOk;
        } catch (const DbError& e) {
            ++errors;
            // A lock held by another process may pass; anything else fails the same way again.
            if (IsTransientDbError(e) && errors <= m_retryAttempts && m_db) {
                QThread::msleep(static_cast<unsigned long>(m_retryDelayMs));
                continue;
            }
            m_lastError = QString::number(e.number) + QStringLiteral(":") + e.description;
            out.clear();
            return dbQueryGaveUp;
        }
    }
}

DbQueryResult clsDatabase::GetRecords(ResultList& out, const QString& table, const QString& where,
                                      const QString& order, bool withFieldNames, const std::vector<DbValue>& params)
{
    QString sql = QStringLiteral("SELECT * FROM ") + table;
    if (!where.isEmpty())
        sql += QStringLiteral(" WHERE ") + where;
    if (!order.isEmpty())
        sql += QStringLiteral(" ORDER BY ") + order;
    return GetRecordsBySQL(out, sql, withFieldNames, params);
}

int clsDatabase::PutRecords(const ResultList& list, const QString& table)
{
    sqlite3* db = requireOpen();

    // The table's columns and declared types.
    struct Column {
        QString name;
        DeclKind kind;
    };
    std::vector<Column> columns;
    {
        DbStatement info(db, QStringLiteral("SELECT name, type FROM pragma_table_info(?)"));
        info.bindText(1, table);
        while (info.step())
            columns.push_back({info.columnText(0), declKind(info.columnText(1).toLatin1().constData())});
    }
    if (columns.empty())
        throw DbError(dbErrGeneral, QStringLiteral("no such table: %1").arg(table));

    auto quoted = [](const QString& identifier) {
        return QStringLiteral("\"") + QString(identifier).replace(QLatin1Char('"'), QStringLiteral("\"\"")) +
               QStringLiteral("\"");
    };
    QString names;
    QString marks;
    for (const Column& c : columns) {
        names += (names.isEmpty() ? QString() : QStringLiteral(", ")) + quoted(c.name);
        marks += marks.isEmpty() ? QStringLiteral("?") : QStringLiteral(", ?");
    }

    // The replacement is all or nothing, also for a caller that began no transaction: a row
    // that fails leaves the table as it was.
    Transaction replacement(*this);
    {
        DbStatement clear(db, QStringLiteral("DELETE FROM ") + quoted(table));
        clear.step();
        DbStatement insert(db, QStringLiteral("INSERT INTO ") + quoted(table) + QStringLiteral(" (") + names +
                                   QStringLiteral(") VALUES (") + marks + QStringLiteral(")"));
        for (int r = list.firstDataRow(); r < list.size(); ++r) {
            const DbRow& row = list.rows[size_t(r)];
            insert.reset();
            for (size_t c = 0; c < columns.size(); ++c) {
                const int at = row.indexOf(columns[c].name);
                if (at < 0)
                    throw DbError(dbErrItemNotFound,
                                  QStringLiteral("Item not found in this collection: column %1 of table %2")
                                      .arg(columns[c].name, table));
                bindForColumn(insert, int(c) + 1, row.at(at), columns[c].kind);
            }
            insert.step();
        }
    }
    replacement.commit();
    return 0;
}

void clsDatabase::BeginTransaction()
{
    sqlite3* db = requireOpen();
    if (m_transactionDepth == 0) {
        // Takes the write lock at once, so that a transaction never fails half-way on another
        // process's lock.
        execSimple(db, "BEGIN IMMEDIATE");
    } else {
        execSimple(db, QStringLiteral("SAVEPOINT level%1").arg(m_transactionDepth).toUtf8().constData());
    }
    ++m_transactionDepth;
}

void clsDatabase::CommitTransaction(int option)
{
    // Every commit is flushed to disk (synchronous FULL); option 1 asks for nothing less.
    Q_UNUSED(option);
    if (!m_db || m_transactionDepth == 0)
        throw DbError(dbErrNoTransaction, QStringLiteral("commit without a transaction"));
    if (m_transactionDepth > 1) {
        execSimple(m_db, QStringLiteral("RELEASE level%1").arg(m_transactionDepth - 1).toUtf8().constData());
        --m_transactionDepth;
        return;
    }
    try {
        execSimple(m_db, "COMMIT");
    } catch (...) {
        if (sqlite3_get_autocommit(m_db))
            m_transactionDepth = 0;
        throw;
    }
    m_transactionDepth = 0;
}

void clsDatabase::RollbackTransaction()
{
    if (!m_db || m_transactionDepth == 0)
        throw DbError(dbErrNoTransaction, QStringLiteral("rollback without a transaction"));
    if (m_transactionDepth > 1) {
        const QByteArray name = QStringLiteral("level%1").arg(m_transactionDepth - 1).toUtf8();
        execSimple(m_db, ("ROLLBACK TO " + name + "; RELEASE " + name).constData());
        --m_transactionDepth;
        return;
    }
    m_transactionDepth = 0;
    if (!sqlite3_get_autocommit(m_db))
        execSimple(m_db, "ROLLBACK");
}

qint32 clsDatabase::DeleteDevicelessSamples()
{
    return ExecuteSQL(QStringLiteral("DELETE FROM samples ") + QStringLiteral("WHERE (DeviceID NOT IN ") +
                      QStringLiteral("  (SELECT DeviceID ") + QStringLiteral("   FROM devices ") +
                      QStringLiteral("   GROUP BY DeviceID))"));
}

qint32 clsDatabase::ExecuteSQL(const QString& sql, const std::vector<DbValue>& params)
{
    sqlite3* db = requireOpen();
    DbStatement st(db, sql);
    for (size_t i = 0; i < params.size(); ++i)
        st.bind(int(i) + 1, params[i]);
    while (st.step()) {
    }
    return qint32(sqlite3_changes(db));
}
