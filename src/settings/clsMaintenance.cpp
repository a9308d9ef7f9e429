#include "settings/clsMaintenance.h"

#include "app/modInternationalisation.h"
#include "app/modMain.h"
#include "app/modRegistry.h"
#include "db/clsDatabase.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <sqlite3.h>

#include <QDirIterator>

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

// Whether a process other than this one has the file open. A program that keeps its
// connection open while the file is replaced would go on writing into the replaced file, and
// those writes would be lost; such a replacement is refused.
bool openElsewhere(const QString& path)
{
    const QString target = QFileInfo(path).canonicalFilePath();
    if (target.isEmpty())
        return false;
    const QString self = QString::number(::getpid());
    const QStringList processes = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& pid : processes) {
        if (pid == self || !pid.at(0).isDigit())
            continue;
        QDirIterator fds(QStringLiteral("/proc/%1/fd").arg(pid), QDir::Files | QDir::System | QDir::NoDotAndDotDot);
        while (fds.hasNext()) {
            fds.next();
            if (fds.fileInfo().symLinkTarget() == target)
                return true;
        }
    }
    return false;
}

void requireNotOpenElsewhere(const QString& path)
{
    if (openElsewhere(path))
        throw DbError(dbErrBusy, QStringLiteral("%1 is in use by another program; close it and try again")
                                     .arg(QDir::toNativeSeparators(path)));
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
        const QString temp = target + QStringLiteral(".new");
        {
            Connection source(live, SQLITE_OPEN_READWRITE);
            backupInto(source.get(), temp);
        }
        requireSound(temp);
        replaceAtomically(temp, target);
        if (backupFile)
            *backupFile = target;
    });
}

void clsMaintenance::Rebuild(bool repair)
{
    Status("maintaining database...");
    m_repairFindings.clear();
    const QString live = ActiveDatabaseFile(m_databaseDirectory);
    requireFile(live);
    const QString temp = live + QStringLiteral(".new");

    // The write lock is held from here to the rename: no other program can change the file
    // between the snapshot and its replacement.
    Connection guard(live, SQLITE_OPEN_READWRITE);
    guard.exec(QStringLiteral("BEGIN IMMEDIATE"));
    if (repair) {
        Status("repairing database...");
        DbStatement check(guard.get(), QStringLiteral("PRAGMA integrity_check"));
        QStringList findings;
        while (check.step())
            findings << check.columnText(0);
        if (findings != QStringList{QStringLiteral("ok")})
            m_repairFindings = findings.join(QStringLiteral("; "));
    }
    Status("compacting database...");
    try {
        {
            Connection reader(live, SQLITE_OPEN_READONLY);
            vacuumInto(reader.get(), temp);
        }
        requireSound(temp);
        // A rebuild after a failed check may leave out what could not be read; otherwise every
        // row must have come across.
        if (m_repairFindings.isEmpty())
            requireSameRows(guard, temp);
        if (QFileInfo::exists(live + QStringLiteral("-journal")))
            throw DbError(dbErrBusy, QStringLiteral("the database is in use by another program"));
        requireNotOpenElsewhere(live);
        replaceAtomically(temp, live);
    } catch (...) {
        QFile::remove(temp);
        throw;
    }
    guard.close();
}

bool clsMaintenance::Reorganize(bool repair)
{
    return Run([&] { Rebuild(repair); });
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
        const QString temp1 = QDir(m_backupDirectory).filePath(QStringLiteral("TEMP1.MDE"));
        const QString target = QDir(m_mediaDirectory).filePath(QStringLiteral("NORD.MDE"));
        const QString temp2 = target + QStringLiteral(".new");
        try {
            {
                Connection source(live, SQLITE_OPEN_READONLY);
                vacuumInto(source.get(), temp1);
            }
            Status("removing data...");
            {
                Connection copy(temp1, SQLITE_OPEN_READWRITE);
                copy.exec(QStringLiteral("BEGIN"));
                copy.exec(QStringLiteral("DELETE FROM samples"));
                copy.exec(QStringLiteral("DELETE FROM comments"));
                copy.exec(QStringLiteral("DELETE FROM history"));
                copy.exec(QStringLiteral("COMMIT"));
            }
            Status("compacting database...");
            {
                Connection copy(temp1, SQLITE_OPEN_READONLY);
                vacuumInto(copy.get(), temp2);
            }
            removeDatabaseFile(temp1);
            requireSound(temp2);
            replaceAtomically(temp2, target);
        } catch (...) {
            QFile::remove(temp1);
            QFile::remove(temp2);
            throw;
        }
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
        const QString temp = target + QStringLiteral(".new");
        try {
            {
                Connection from(source, SQLITE_OPEN_READONLY);
                for (const char* table : {"devices", "rooms", "samples", "history", "comments", "parameters"})
                    if (!tableNames(from).contains(QString::fromLatin1(table)))
                        throw DbError(dbErrGeneral, QStringLiteral("%1 is no database of this program (no table %2)")
                                                        .arg(QDir::toNativeSeparators(source), QString::fromLatin1(table)));
                backupInto(from.get(), temp);
            }
            requireSound(temp);
            requireNotOpenElsewhere(target);
            replaceAtomically(temp, target);
        } catch (...) {
            QFile::remove(temp);
            throw;
        }
    });
}

bool clsMaintenance::Purge(const QDate& before)
{
    return Run([&] {
        if (!before.isValid())
            throw DbError(dbErrGeneral, QStringLiteral("no valid date given"));
        // Sample and comment times are UTC seconds, history times local text; both are compared
        // with the start of the chosen day as the stored values are written.
        const QDateTime bound(before, QTime(0, 0), Qt::UTC);
        if (m_db.OpenDB())
            throw DbError(dbErrOpen, QStringLiteral("the database could not be opened"));
        m_db.BeginTransaction();
        try {
            Status("deleting samples...");
            m_db.ExecuteSQL(QStringLiteral("DELETE FROM samples WHERE SampleDate < ?"), {DbValue(ToEpochSeconds(bound))});
            Status("deleting comments...");
            m_db.ExecuteSQL(QStringLiteral("DELETE FROM comments WHERE SampleDate < ?"), {DbValue(ToEpochSeconds(bound))});
            Status("deleting history...");
            m_db.ExecuteSQL(QStringLiteral("DELETE FROM history WHERE \"DateTime\" < ?"), {DbValue(DbDateTimeText(bound))});
            m_db.CommitTransaction(1);
        } catch (...) {
            if (m_db.InTransaction())
                m_db.RollbackTransaction();
            throw;
        }
        m_db.CloseDB();
        Rebuild(false);
    });
}
