#pragma once
// Database maintenance: backup, reorganisation (rebuild with an optional check first), the
// portable copy on removable media, loading it back, and the purge of old records.
//
// Every new content is written under a temporary name (removed again on every path; one left by
// an interrupted run is removed when the name is next taken) and checked with the engine's
// integrity check first. A new file (backup, portable copy) is then put in place by an atomic
// rename; a database that a program may have open (reorganisation, loading the portable copy
// over an existing one) gets the new content through the engine's online backup, as one
// transaction of that file, so that no program goes on writing into a replaced file. The live
// database is read through the engine (online backup, VACUUM INTO), never copied as a plain file.
#include <QDate>
#include <QString>
#include <functional>

class clsDatabase;

// Removable media (the floppy drive of old): a configuration-store setting, default
// "/media/floppy". The folder for logger files and the portable database live on it.
QString RemovableMediaDirectory();
void SetRemovableMediaDirectory(const QString& path);
QString RemovableMediaLoggerFolder();   // "NORDALIS backup" on the removable media
QString PortableDatabaseFile();         // "NORD.MDE" on the removable media

// The database file the program opens: "NORDALIS.MDE", or "NORD.MDE" when that is missing.
QString ActiveDatabaseFile(const QString& databaseDirectory);

// The engine's integrity check of a database file: empty when it passes, else what it found.
QString CheckDatabaseFile(const QString& path);

class clsMaintenance {
public:
    // Directories default to the application's (App()) and the configuration store's.
    explicit clsMaintenance(clsDatabase& db, const QString& databaseDirectory = QString(),
                            const QString& backupDirectory = QString(), const QString& mediaDirectory = QString());

    std::function<void(const QString&)> status;   // progress texts (translated)
    // Called during a rebuild after the checked snapshot's lock is given up and before the copy
    // into the live file takes its own: the moment another program may write (tests use it).
    std::function<void()> afterSnapshot;

    // Each closes the database first; false on failure with ErrorNumber()/ErrorText() set.
    [[nodiscard]] bool Backup(QString* backupFile = nullptr);   // to the backup directory as "NORDALIS.MDE"
    [[nodiscard]] bool Reorganize(bool repair);                 // repair: integrity check of the live file first
    [[nodiscard]] bool CreatePortable();                        // the copy without samples, comments, history
    [[nodiscard]] bool LoadPortable();                          // removable media's "NORD.MDE" to the database directory
    // Records older than the date, then Reorganize(false). Refused, with nothing deleted: a date
    // after today (PurgeDateProblem), and, unless allowAll (the operator confirmed it), a purge
    // that would delete every sample of a database that holds some.
    [[nodiscard]] bool Purge(const QDate& before, bool allowAll = false);

    // Default of the purge date: today less six months.
    static QDate DefaultPurgeDate();
    // Why a purge date is refused (translated); empty when it may be used.
    static QString PurgeDateProblem(const QDate& before);
    enum Refusal { NotRefused, RefusedDate, RefusedAllSamples };
    // After Purge: whether and why it was refused, and how many samples it deleted or would have.
    Refusal PurgeRefusal() const { return m_refusal; }
    qint64 PurgeSamples() const { return m_purgeSamples; }

    int ErrorNumber() const { return m_errorNumber; }
    QString ErrorText() const { return m_errorText; }
    // What the repair step's check found (empty when it found nothing or did not run).
    QString RepairFindings() const { return m_repairFindings; }

    QString DatabaseDirectory() const { return m_databaseDirectory; }
    QString BackupDirectory() const { return m_backupDirectory; }
    QString MediaDirectory() const { return m_mediaDirectory; }

private:
    void Status(const char* text);
    void Rebuild(bool repair);
    bool Run(const std::function<void()>& operation);

    clsDatabase& m_db;
    QString m_databaseDirectory;
    QString m_backupDirectory;
    QString m_mediaDirectory;
    int m_errorNumber = 0;
    QString m_errorText;
    QString m_repairFindings;
    Refusal m_refusal = NotRefused;
    qint64 m_purgeSamples = 0;
};
