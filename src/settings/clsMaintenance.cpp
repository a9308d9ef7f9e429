#include "settings/clsMaintenance.h"

#include "app/modInternationalisation.h"
#include "app/modMain.h"
#include "app/modRegistry.h"
#include "db/AuditTrail.h"
#include "db/MissionEvidence.h"
#include "db/clsDatabase.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <sqlite3.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

const char* const kMediaValue = "RemovableMedia";
const char* const kDefaultMedia = "/media/floppy";
const int kBusyTimeoutMs = 5000;

// One engine connection, closed when it goes out of scope.
class Connection {
public:
    Connection(const QString& path, int flags)
    {
        const QByteArray name = QFile::encodeName(path);
        const int rc = sqlite3_open_v2(name.constData(), &m_db, flags, nullptr);
        if (rc != SQLITE_OK) {
            DbError e = DbErrorFromSqlite(m_db, rc);
            sqlite3_close_v2(m_db);
            m_db = nullptr;
            throw DbError(e.number, QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path), e.description),
                          e.sqliteCode);
        }
        try {
            ConfigureDbConnection(m_db, kBusyTimeoutMs);
        } catch (...) {
            sqlite3_close_v2(m_db);
            m_db = nullptr;
            throw;
        }
    }
    ~Connection() { close(); }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
    void close()
    {
        if (m_db)
            sqlite3_close_v2(m_db);
        m_db = nullptr;
    }
    sqlite3* get() const { return m_db; }
    void exec(const QString& sql, const std::vector<DbValue>& params = {})
    {
        DbStatement st(m_db, sql);
        for (size_t i = 0; i < params.size(); ++i)
            st.bind(int(i) + 1, params[i]);
        while (st.step()) {
        }
    }
    qint64 scalar(const QString& sql)
    {
        DbStatement st(m_db, sql);
        return st.step() ? st.columnInt(0) : 0;
    }

private:
    sqlite3* m_db = nullptr;
};

DbError fileError(const QString& what, const QString& path)
{
    return DbError(dbErrGeneral, QStringLiteral("%1 %2: %3").arg(what, QDir::toNativeSeparators(path),
                                                                 QString::fromLocal8Bit(std::strerror(errno))));
}

void removeDatabaseFile(const QString& path)
{
    QFile::remove(path + QStringLiteral("-journal"));
    if (QFileInfo::exists(path) && !QFile::remove(path))
        throw DbError(dbErrGeneral, QStringLiteral("could not delete %1").arg(QDir::toNativeSeparators(path)));
}

void fsyncPath(const QString& path, bool directory)
{
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), directory ? (O_RDONLY | O_DIRECTORY) : O_RDWR);
    if (fd < 0)
        throw fileError(QStringLiteral("could not open"), path);
    const int rc = ::fsync(fd);
    ::close(fd);
    if (rc != 0 && !directory)
        throw fileError(QStringLiteral("could not flush"), path);
}

// Puts a complete, checked file in place of target in one step: flushed, renamed, and the
// folder's entry flushed too. Neither name ever holds half a file.
void replaceAtomically(const QString& temp, const QString& target)
{
    fsyncPath(temp, false);
    // A journal left beside the old file must not be played back into the new one.
    QFile::remove(target + QStringLiteral("-journal"));
    if (::rename(QFile::encodeName(temp).constData(), QFile::encodeName(target).constData()) != 0)
        throw fileError(QStringLiteral("could not rename to"), target);
    fsyncPath(QFileInfo(target).absolutePath(), true);
}

// The source database copied page by page into a new file through the engine.
void backupInto(sqlite3* source, const QString& target)
{
    removeDatabaseFile(target);
    Connection dest(target, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    sqlite3_backup* backup = sqlite3_backup_init(dest.get(), "main", source, "main");
    if (!backup)
        throw DbErrorFromSqlite(dest.get(), sqlite3_errcode(dest.get()));
    int rc;
    int waits = 0;
    do {
        rc = sqlite3_backup_step(backup, -1);
        if ((rc == SQLITE_BUSY || rc == SQLITE_LOCKED) && ++waits < 50)
            QThread::msleep(100);
        else if (rc == SQLITE_BUSY || rc == SQLITE_LOCKED)
            break;
    } while (rc == SQLITE_OK || rc == SQLITE_BUSY || rc == SQLITE_LOCKED);
    sqlite3_backup_finish(backup);
    if (rc != SQLITE_DONE)
        throw DbErrorFromSqlite(dest.get(), rc);
}

void vacuumInto(sqlite3* source, const QString& target)
{
    removeDatabaseFile(target);
    DbStatement st(source, QStringLiteral("VACUUM INTO ?"));
    st.bindText(1, target);
    st.step();
}

void requireSound(const QString& path)
{
    const QString findings = CheckDatabaseFile(path);
    if (!findings.isEmpty())
        throw DbError(dbErrGeneral, QStringLiteral("the new file %1 failed the integrity check: %2")
                                        .arg(QDir::toNativeSeparators(path), findings));
}

QStringList tableNames(Connection& c)
{
    QStringList names;
    DbStatement st(c.get(), QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT LIKE "
                                           "'sqlite_%' ORDER BY name"));
    while (st.step())
        names << st.columnText(0);
    return names;
}

QString quoted(const QString& identifier)
{
    return QStringLiteral("\"") + QString(identifier).replace(QLatin1Char('"'), QStringLiteral("\"\"")) +
           QStringLiteral("\"");
}

// Every table of the rebuilt file holds as many rows as in the original.
void requireSameRows(Connection& original, const QString& rebuilt)
{
    Connection copy(rebuilt, SQLITE_OPEN_READONLY);
    const QStringList names = tableNames(original);
    if (names != tableNames(copy))
        throw DbError(dbErrGeneral, QStringLiteral("the rebuilt file does not hold the same tables"));
    for (const QString& name : names) {
        const QString sql = QStringLiteral("SELECT count(*) FROM ") + quoted(name);
        if (original.scalar(sql) != copy.scalar(sql))
            throw DbError(dbErrGeneral, QStringLiteral("the rebuilt file lost rows of table %1").arg(name));
    }
}

// A temporary file beside its target: what an interrupted earlier run left under the same name
// is removed when it is taken, and the file (with any journal) is removed again when it goes
// out of scope, on every path.
class TempFile {
public:
    explicit TempFile(const QString& path) : m_path(path) { remove(); }
    ~TempFile() { remove(); }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    const QString& path() const { return m_path; }
    // After the file was renamed into place: nothing left to remove.
    void release() { m_path.clear(); }
    void remove()
    {
        if (m_path.isEmpty())
            return;
        QFile::remove(m_path + QStringLiteral("-journal"));
        QFile::remove(m_path);
    }

private:
    QString m_path;
};

// The header's file change counter, read through the connection's own file handle without
// taking a lock (a plain open and close of the file would drop the locks this process holds on
// it). In rollback-journal mode every committed write changes it.
quint32 changeCounter(Connection& c)
{
    sqlite3_file* file = nullptr;
    if (sqlite3_file_control(c.get(), "main", SQLITE_FCNTL_FILE_POINTER, &file) != SQLITE_OK || !file ||
        !file->pMethods)
        throw DbError(dbErrGeneral, QStringLiteral("the database file could not be read"));
    unsigned char b[4] = {0, 0, 0, 0};
    const int rc = file->pMethods->xRead(file, b, 4, 24);
    if (rc != SQLITE_OK && rc != SQLITE_IOERR_SHORT_READ)
        throw DbError(dbErrGeneral, QStringLiteral("the database file could not be read (%1)").arg(rc));
    return (quint32(b[0]) << 24) | (quint32(b[1]) << 16) | (quint32(b[2]) << 8) | quint32(b[3]);
}

// Steps a backup, waiting while another program holds a lock; the last result.
int stepBackup(sqlite3_backup* backup, int pages)
{
    int rc = SQLITE_OK;
    for (int waits = 0; waits < 10; ++waits) {
        rc = sqlite3_backup_step(backup, pages);
        if (rc != SQLITE_BUSY && rc != SQLITE_LOCKED)
            break;
        QThread::msleep(100);
    }
    return rc;
}

// Writes the content of `source` into the live database `live` through the engine's online
// backup, as one transaction of the live file: every program that has the file open sees the new
// content and goes on writing into it. `live` must have no transaction of its own. When
// `unchanged` is given, it is called once the live file is locked for writing: false gives up
// (nothing written) and the result is false.
bool copyIntoLive(Connection& live, const QString& source, const std::function<bool()>& unchanged = {})
{
    Connection from(source, SQLITE_OPEN_READONLY);
    sqlite3_backup* backup = sqlite3_backup_init(live.get(), "main", from.get(), "main");
    if (!backup)
        throw DbErrorFromSqlite(live.get(), sqlite3_errcode(live.get()));
    // Zero pages: only the write lock on the live file is taken (and kept until the end).
    int rc = stepBackup(backup, 0);
    if (rc == SQLITE_OK && unchanged && !unchanged()) {
        sqlite3_backup_finish(backup);   // the live file's transaction is rolled back, untouched
        return false;
    }
    if (rc == SQLITE_OK)
        rc = stepBackup(backup, -1);
    const int finished = sqlite3_backup_finish(backup);
    if (rc == SQLITE_BUSY || rc == SQLITE_LOCKED)
        throw DbError(dbErrBusy, QStringLiteral("the database is in use by another program; close it and try again"));
    if (rc != SQLITE_DONE)
        throw DbErrorFromSqlite(live.get(), rc);
    if (finished != SQLITE_OK)
        throw DbErrorFromSqlite(live.get(), finished);
    return true;
}

void requireFile(const QString& path)
{
    if (!QFileInfo(path).isFile())
        throw DbError(dbErrOpen, QStringLiteral("Could not find file '%1'.").arg(QDir::toNativeSeparators(path)));
}

void requireFolder(const QString& path)
{
    if (!QFileInfo(path).isDir())
        throw DbError(dbErrOpen, QStringLiteral("the folder %1 is not there (please insert the removable media)")
                                     .arg(QDir::toNativeSeparators(path)));
}

} // namespace

QString RemovableMediaDirectory()
{
    const QString value = ReadRegistry(QString::fromLatin1(kPathsKey), QString::fromLatin1(kMediaValue),
                                       QString::fromLatin1(kDefaultMedia))
                              .toString();
    return value.isEmpty() ? QString::fromLatin1(kDefaultMedia) : value;
}

void SetRemovableMediaDirectory(const QString& path)
{
    CreateRegistryKey(QString::fromLatin1(kPathsKey));
    WriteRegistryValue(QString::fromLatin1(kPathsKey), QString::fromLatin1(kMediaValue), path);
}

QString RemovableMediaLoggerFolder()
{
    return QDir(RemovableMediaDirectory()).filePath(QStringLiteral("NORDALIS backup"));
}

QString PortableDatabaseFile()
{
    return QDir(RemovableMediaDirectory()).filePath(QStringLiteral("NORD.MDE"));
}

QString ActiveDatabaseFile(const QString& databaseDirectory)
{
    const QString main = QDir(databaseDirectory).filePath(QStringLiteral("NORDALIS.MDE"));
    if (QFileInfo(main).isFile())
        return main;
    const QString portable = QDir(databaseDirectory).filePath(QStringLiteral("NORD.MDE"));
    return QFileInfo(portable).isFile() ? portable : main;
}

QString CheckDatabaseFile(const QString& path)
{
    if (!QFileInfo(path).isFile())
        return QStringLiteral("file not found");
    try {
        Connection c(path, SQLITE_OPEN_READONLY);
        DbStatement st(c.get(), QStringLiteral("PRAGMA integrity_check"));
        QStringList findings;
        while (st.step())
            findings << st.columnText(0);
        if (findings == QStringList{QStringLiteral("ok")})
            return QString();
        return findings.join(QStringLiteral("; "));
    } catch (const DbError& e) {
        return e.description;
    }
}

clsMaintenance::clsMaintenance(clsDatabase& db, const QString& databaseDirectory, const QString& backupDirectory,
                               const QString& mediaDirectory)
    : m_db(db),
      m_databaseDirectory(databaseDirectory.isEmpty() ? App().DatabaseDirectory : databaseDirectory),
      m_backupDirectory(backupDirectory.isEmpty() ? App().BackupDirectory : backupDirectory),
      m_mediaDirectory(mediaDirectory.isEmpty() ? RemovableMediaDirectory() : mediaDirectory)
{
}

QDate clsMaintenance::DefaultPurgeDate()
{
    return NowLocal().date().addMonths(-6);
}

void clsMaintenance::Status(const char* text)
{
    if (status)
        status(Translate(QString::fromLatin1(text)));
}

bool clsMaintenance::Run(const std::function<void()>& operation)
{
    m_errorNumber = 0;
    m_errorText.clear();
    try {
        // The program's own connection is closed first; its next call reopens the file.
        m_db.CloseDB();
        operation();
        return true;
    } catch (const DbError& e) {
        m_errorNumber = e.number;
        m_errorText = e.description;
    } catch (const std::exception& e) {
        m_errorNumber = dbErrGeneral;
        m_errorText = QString::fromLocal8Bit(e.what());
    }
    return false;
}

bool clsMaintenance::Backup(QString* backupFile)
{
    return Run([&] {
        Status("generating database backup...");
        const QString live = ActiveDatabaseFile(m_databaseDirectory);
        requireFile(live);
        if (!QDir().mkpath(m_backupDirectory))
            throw fileError(QStringLiteral("could not create"), m_backupDirectory);
        const QString target = QDir(m_backupDirectory).filePath(QStringLiteral("NORDALIS.MDE"));
        TempFile temp(target + QStringLiteral(".new"));
        {
            Connection source(live, SQLITE_OPEN_READWRITE);
            backupInto(source.get(), temp.path());
        }
        requireSound(temp.path());
        replaceAtomically(temp.path(), target);
        temp.release();
        if (backupFile)
            *backupFile = target;
        // A backup only reads: it succeeds while another program holds the file, and then only
        // its audit row cannot be written - which is said, and the backup stays made.
        (void)RecordAudit(m_db, AuditAction::Backup, QDir::toNativeSeparators(target), QString());
    });
}

void clsMaintenance::Rebuild(bool repair)
{
    Status("maintaining database...");
    m_repairFindings.clear();
    const QString live = ActiveDatabaseFile(m_databaseDirectory);
    requireFile(live);
    // The rebuilt content goes into the live file through the engine, never by putting another
    // file in its place: a program that has the database open goes on writing into the live file.
    Connection target(live, SQLITE_OPEN_READWRITE);
    Connection probe(live, SQLITE_OPEN_READONLY);
    for (int attempt = 1;; ++attempt) {
        // No other program writes while the snapshot is taken and checked.
        Connection guard(live, SQLITE_OPEN_READWRITE);
        SqlTransaction writeLock(guard.get(), SqlTransaction::Immediate);
        TempFile temp(live + QStringLiteral(".new"));
        if (repair) {
            Status("repairing database...");
            DbStatement check(guard.get(), QStringLiteral("PRAGMA integrity_check"));
            QStringList findings;
            while (check.step())
                findings << check.columnText(0);
            m_repairFindings = findings != QStringList{QStringLiteral("ok")} ? findings.join(QStringLiteral("; "))
                                                                            : QString();
        }
        Status("compacting database...");
        {
            Connection reader(live, SQLITE_OPEN_READONLY);
            vacuumInto(reader.get(), temp.path());
        }
        requireSound(temp.path());
        // A rebuild after a failed check may leave out what could not be read; otherwise every
        // row must have come across.
        if (m_repairFindings.isEmpty())
            requireSameRows(guard, temp.path());
        const quint32 snapshot = changeCounter(probe);
        writeLock.rollback();
        guard.close();
        if (afterSnapshot)
            afterSnapshot();
        // Between the lock given up here and the one the copy takes, another program may have
        // written: then the snapshot is stale, nothing is copied, and it is taken again.
        if (copyIntoLive(target, temp.path(), [&] { return changeCounter(probe) == snapshot; }))
            return;
        if (attempt >= 5)
            throw DbError(dbErrBusy, QStringLiteral("the database kept being changed by another program during the "
                                                    "reorganisation; nothing was changed, please try again"));
    }
}

bool clsMaintenance::Reorganize(bool repair)
{
    return Run([&] {
        Rebuild(repair);
        AppendAudit(m_db, AuditAction::Reorganize, QDir::toNativeSeparators(ActiveDatabaseFile(m_databaseDirectory)),
                    repair ? QStringLiteral("repair; findings: ") + (m_repairFindings.isEmpty() ? QStringLiteral("none")
                                                                                               : m_repairFindings)
                           : QString());
    });
}

bool clsMaintenance::CreatePortable()
{
    return Run([&] {
        Status("preparing database...");
        requireFolder(m_mediaDirectory);
        const QString live = ActiveDatabaseFile(m_databaseDirectory);
        requireFile(live);
        if (!QDir().mkpath(m_backupDirectory))
            throw fileError(QStringLiteral("could not create"), m_backupDirectory);
        TempFile temp1(QDir(m_backupDirectory).filePath(QStringLiteral("TEMP1.MDE")));
        const QString target = QDir(m_mediaDirectory).filePath(QStringLiteral("NORD.MDE"));
        TempFile temp2(target + QStringLiteral(".new"));
        {
            Connection source(live, SQLITE_OPEN_READONLY);
            vacuumInto(source.get(), temp1.path());
        }
        Status("removing data...");
        {
            Connection copy(temp1.path(), SQLITE_OPEN_READWRITE);
            SqlTransaction removal(copy.get(), SqlTransaction::Immediate);
            copy.exec(QStringLiteral("DELETE FROM samples"));
            copy.exec(QStringLiteral("DELETE FROM comments"));
            copy.exec(QStringLiteral("DELETE FROM history"));
            // The alarm logs and histograms are mission data, as the samples are.
            for (const char* table : {"missionalarms", "missionhistogram", "missionevidence"})
                if (tableNames(copy).contains(QString::fromLatin1(table)))
                    copy.exec(QStringLiteral("DELETE FROM ") + QString::fromLatin1(table));
            removal.commit();
        }
        Status("compacting database...");
        {
            Connection copy(temp1.path(), SQLITE_OPEN_READONLY);
            vacuumInto(copy.get(), temp2.path());
        }
        temp1.remove();
        requireSound(temp2.path());
        replaceAtomically(temp2.path(), target);
        temp2.release();
        (void)RecordAudit(m_db, AuditAction::Portable, QDir::toNativeSeparators(target), QString());
    });
}

bool clsMaintenance::LoadPortable()
{
    return Run([&] {
        Status("copying database...");
        const QString source = QDir(m_mediaDirectory).filePath(QStringLiteral("NORD.MDE"));
        requireFile(source);
        const QString findings = CheckDatabaseFile(source);
        if (!findings.isEmpty())
            throw DbError(dbErrGeneral, QStringLiteral("%1 is damaged: %2").arg(QDir::toNativeSeparators(source), findings));
        const QString target = QDir(m_databaseDirectory).filePath(QStringLiteral("NORD.MDE"));
        TempFile temp(target + QStringLiteral(".new"));
        {
            Connection from(source, SQLITE_OPEN_READONLY);
            for (const char* table : {"devices", "rooms", "samples", "history", "comments", "parameters"})
                if (!tableNames(from).contains(QString::fromLatin1(table)))
                    throw DbError(dbErrGeneral, QStringLiteral("%1 is no database of this program (no table %2)")
                                                    .arg(QDir::toNativeSeparators(source), QString::fromLatin1(table)));
            backupInto(from.get(), temp.path());
        }
        // The local copy is what gets checked and loaded: the media cannot change it meanwhile.
        requireSound(temp.path());
        fsyncPath(temp.path(), false);
        // A new file takes its name only if the name is still free (link does not replace); a
        // database already there, which a program may have open, gets the content through the
        // engine instead.
        const QByteArray tempName = QFile::encodeName(temp.path()), targetName = QFile::encodeName(target);
        // The loaded database records where it came from.
        auto recordLoad = [&] { AppendAudit(m_db, AuditAction::PortableLoaded, QDir::toNativeSeparators(source),
                                                     QStringLiteral("into ") + QDir::toNativeSeparators(target)); };
        if (::link(tempName.constData(), targetName.constData()) == 0) {
            fsyncPath(QFileInfo(target).absolutePath(), true);
            recordLoad();
            return;
        }
        if (errno != EEXIST)
            throw fileError(QStringLiteral("could not create"), target);
        Connection live(target, SQLITE_OPEN_READWRITE);
        copyIntoLive(live, temp.path());
        recordLoad();
    });
}

QString clsMaintenance::PurgeDateProblem(const QDate& before)
{
    if (!before.isValid())
        return Translate(QStringLiteral("no valid date given"));
    if (before > NowLocal().date())
        return Translate(QStringLiteral("the date lies in the future; nothing was deleted"));
    return QString();
}

bool clsMaintenance::Purge(const QDate& before, bool allowAll)
{
    m_refusal = NotRefused;
    m_purgeSamples = 0;
    const QString problem = PurgeDateProblem(before);
    if (!problem.isEmpty()) {
        m_refusal = RefusedDate;
        m_errorNumber = dbErrGeneral;
        m_errorText = problem;
        return false;
    }
    return Run([&] {
        // Sample and comment times are UTC seconds, history times local text; both are compared
        // with the start of the chosen day as the stored values are written.
        const QDateTime bound(before, QTime(0, 0), Qt::UTC);
        if (m_db.OpenDB())
            throw DbError(dbErrOpen, QStringLiteral("the database could not be opened"));
        {
            clsDatabase::Transaction transaction(m_db);
            // Counted under the write lock, so that the answer holds for the deletion below.
            qint64 total = 0;
            {
                DbStatement st(m_db.Handle(), QStringLiteral("SELECT count(*), "
                                                             "coalesce(sum(SampleDate < ?), 0) FROM samples"));
                st.bindInt(1, ToEpochSeconds(bound));
                if (st.step()) {
                    total = st.columnInt(0);
                    m_purgeSamples = st.columnInt(1);
                }
            }
            if (total > 0 && m_purgeSamples == total && !allowAll) {
                m_refusal = RefusedAllSamples;
                throw DbError(dbErrGeneral,
                              Translate(QStringLiteral("this would delete all %1 samples")).arg(total));
            }
            Status("deleting samples...");
            const qint32 samples = m_db.ExecuteSQL(QStringLiteral("DELETE FROM samples WHERE SampleDate < ?"),
                                                   {DbValue(ToEpochSeconds(bound))});
            Status("deleting comments...");
            const qint32 comments = m_db.ExecuteSQL(QStringLiteral("DELETE FROM comments WHERE SampleDate < ?"),
                                                    {DbValue(ToEpochSeconds(bound))});
            Status("deleting history...");
            const qint32 history = m_db.ExecuteSQL(QStringLiteral("DELETE FROM history WHERE \"DateTime\" < ?"),
                                                   {DbValue(DbDateTimeText(bound))});
            const qint32 missions = PurgeMissionEvidence(m_db, bound);
            // The purge is recorded in the same transaction, with what it removed; audit rows
            // are never purged. "before" (UTC seconds) tells the verification which samples of
            // the logger files are no longer expected; "missions" counts the missions whose
            // alarm log and histogram went (those that ended before the date).
            AppendAudit(m_db, AuditAction::Purge, before.toString(Qt::ISODate),
                        QStringLiteral("before=%1 samples=%2 comments=%3 history=%4 missions=%5")
                            .arg(ToEpochSeconds(bound)).arg(samples).arg(comments).arg(history).arg(missions));
            transaction.commit();
        }
        m_db.CloseDB();
        Rebuild(false);
    });
}
