#include "reading/LoggerImageToDatabase.h"
#include "app/UserInterface.h"

#include "app/modInternationalisation.h"
#include "app/modMain.h"
#include "db/clsDatabase.h"
#include "db/AuditTrail.h"
#include "db/MissionEvidence.h"
#include "image/LoggerCompanion.h"
#include "image/clsDS1921Data.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <QtDebug>

namespace {

std::function<bool()>& shiftQuery()
{
    static std::function<bool()> query;
    return query;
}

// A database that is locked or cannot be opened: the file is fine, it waits for the next call.
bool isPassingDatabaseError(const DbError& e)
{
    return e.number == dbErrBusy || e.number == dbErrOpen;
}

// Files that could be neither imported nor set aside, already reported once in this run.
QSet<QString>& stuckReported()
{
    static QSet<QString> paths;
    return paths;
}

} // namespace

bool ShiftKeyHeld()
{
    if (shiftQuery()) return shiftQuery()();
    return CurrentUserInterface().ShiftKeyHeld();
}

void SetShiftKeyQueryForTesting(std::function<bool()> query)
{
    shiftQuery() = std::move(query);
}

LoggerImageToDatabase::LoggerImageToDatabase(clsDatabase& db, const QString& dataDirectory,
                                             const QString& backupDirectory)
    : m_db(db), m_dataDirectory(dataDirectory), m_backupDirectory(backupDirectory)
{
}

QString LoggerImageToDatabase::RejectedDirectory() const
{
    return QDir(QFileInfo(m_backupDirectory).absolutePath()).filePath(QStringLiteral("rejected"));
}

std::vector<LoggerImageToDatabase::FileResult> LoggerImageToDatabase::Run(const QString& fileName)
{
    auto panel = [this](const QString& t) { if (FilesPanel) FilesPanel(t); };
    auto status = [this](const QString& t) { if (Status) Status(t); };

    QStringList names;
    if (fileName.length() > 3) {
        names << QFileInfo(fileName).fileName();
    } else {
        names = QDir(m_dataDirectory).entryList({QStringLiteral("*.dta")}, QDir::Files, QDir::Name);
    }
    std::vector<FileResult> results;
    if (names.isEmpty()) {
        panel(Translate("all logger files processed"));
        return results;
    }
    BusyCursor busy;
    bool stop = false;
    while (!names.isEmpty() && !stop) {
        panel(QString::number(names.size()) + Translate(" file(s) waiting"));
        FileResult r = processOne(names.first(), stop);
        results.push_back(r);
        if (FileDone) FileDone(r);
        if (stop) break;   // a passing database error: this file and the rest wait
        if (RefreshDueList) RefreshDueList();
        names.removeFirst();
        // Holding Shift stops after the current file; the rest waits for the next call.
        if (!names.isEmpty() && ShiftKeyHeld()) stop = true;
    }
    if (names.isEmpty()) {
        panel(Translate("all logger files processed"));
        status(Translate("finished reading file(s)"));
    } else {
        panel(QString::number(names.size()) + Translate(" file(s) waiting"));
    }
    return results;
}

LoggerImageToDatabase::FileResult LoggerImageToDatabase::processOne(const QString& name, bool& stop)
{
    auto status = [this](const QString& t) { if (Status) Status(t); };
    const QString path = QDir(m_dataDirectory).filePath(name);
    FileResult r;
    r.name = name;
    if (!QFileInfo(path).isFile()) {
        if (importedElsewhere(name, path)) return importedElsewhereResult(name);
        r.outcome = Waiting;
        r.reason = Translate("the file is not there");
        return r;
    }

    status(Translate("reading file ") + QDir::toNativeSeparators(path) + "...");
    // The hash of the file as imported, kept with its reading (nordalis-cli verify proves the
    // backup copy against it). A file that changes while it is read is set aside.
    QString fileHash;
    {
        QFile file(path);
        if (file.open(QIODevice::ReadOnly)) fileHash = Sha256Hex(file.readAll());
    }
    clsDS1921Data image;
    qint32 result = imgOk;
    image.ReadLoggerImageFromFile(path, result);
    if (result == imgOk && !fileHash.isEmpty()) {
        QFile again(path);
        if (!again.open(QIODevice::ReadOnly) || Sha256Hex(again.readAll()) != fileHash)
            return reject(name, path, Translate("the file changed while it was read"));
    }
    if (result != imgOk) {
        if (importedElsewhere(name, path)) return importedElsewhereResult(name);
        return reject(name, path, image.LastError().isEmpty() ? Translate("the file is not a logger file")
                                                               : image.LastError());
    }

    // The alarm log and histogram of the same reading, from the companion beside the file. One
    // that belongs to another file (or is damaged) is never stored as this reading's: it is set
    // aside, and the logger file is imported as one without a companion.
    LoggerCompanion companion;
    QString companionProblem;
    const CompanionState companionState = ReadCompanionFor(path, fileHash, image, companion, &companionProblem);
    StoredMissionEvidence evidence;
    if (companionState == CompanionState::Belongs) evidence = MissionEvidenceOf(image, companion);

    status(Translate("...writing to database..."));
    ImageStoreResult stored = ImageStoreResult::Refused;
    QString refusal;
    try {
        stored = m_db.LoggerImageToDB(image, &refusal, name, fileHash,
                                      companionState == CompanionState::Belongs ? &evidence : nullptr);
    } catch (const DbError& e) {
        if (isPassingDatabaseError(e)) {
            // Stored nothing (the store is one transaction); the file is kept for the next call.
            ShowMessage(QString::number(e.number) + ":" + e.description, vbCritical,
                        "Error in LoggerImageToDatabase()");
            stop = true;
            r.outcome = Waiting;
            r.reason = e.description;
            return r;
        }
        return reject(name, path, QString::number(e.number) + ":" + e.description);
    } catch (const std::exception& e) {
        return reject(name, path, QString::fromLocal8Bit(e.what()));
    }

    // An implausible image (default identity record, impossible counters, dates before 2000 or
    // after the logger's clock) is never stored and never goes to the backup folder.
    if (stored == ImageStoreResult::Refused) return reject(name, path, refusal);
    if (companionState == CompanionState::Refused) r.note = setCompanionAside(path, companionProblem);

    status(Translate("...creating backup..."));
    const QString backupDir = m_backupDirectory;
    QDir().mkpath(backupDir);
    // Nothing is overwritten: a name already in the backup folder gets a numbered name, the same
    // for the logger file and its companion.
    if (MoveLoggerFileWithCompanion(path, backupDir, &r.movedTo) != 0) {
        // Another program took it first: its rows are stored (this store only skipped them).
        if (importedElsewhere(name, path)) return importedElsewhereResult(name);
        // Its rows are stored (a second store skips them); set it aside so it is not offered again.
        return reject(name, path, Translate("Error moving ") + QDir::toNativeSeparators(path) + " " +
                                      Translate("to ") + QDir::toNativeSeparators(backupDir) + QDir::separator());
    }
    r.outcome = Stored;
    return r;
}

QString LoggerImageToDatabase::setCompanionAside(const QString& path, const QString& problem)
{
    const QString companion = CompanionPathFor(path);
    const QString dir = RejectedDirectory();
    QDir().mkpath(dir);
    const bool moved = MoveFiles(companion, dir) == 0;
    const QString text = Translate("The alarm log and histogram beside the logger file ") + QDir::toNativeSeparators(path) +
                         Translate(" were not stored, as they do not belong to it") +
                         (moved ? Translate(" (set aside into ") + QDir::toNativeSeparators(dir) + QStringLiteral(")") : QString()) +
                         QStringLiteral(": ") + problem;
    if (!FileDone) qWarning().noquote() << text;
    ShowMessage(text, vbExclamation, "LoggerImageToDatabase()");
    return text;
}

// Another program importing the same data directory (a second window or terminal) may take a
// file between this program's listing and its read or move. When the file is gone from the data
// directory and a file of its name (or a numbered name that a taken backup name gives) is in the
// backup folder, it was imported there: nothing to report as an error.
bool LoggerImageToDatabase::importedElsewhere(const QString& name, const QString& path) const
{
    if (QFileInfo::exists(path) || QFileInfo(path).isSymLink()) return false;
    const QFileInfo fi(name);
    const QString base = fi.completeBaseName(), suffix = fi.suffix();
    const QRegularExpression numbered(QStringLiteral("^") + QRegularExpression::escape(base) +
                                      QStringLiteral(" \\([0-9]+\\)") +
                                      (suffix.isEmpty() ? QString() : QRegularExpression::escape("." + suffix)) +
                                      QStringLiteral("$"));
    for (const QString& n : QDir(m_backupDirectory).entryList(QDir::Files))
        if (n == name || numbered.match(n).hasMatch()) return true;
    return false;
}

LoggerImageToDatabase::FileResult LoggerImageToDatabase::importedElsewhereResult(const QString& name) const
{
    FileResult r;
    r.name = name;
    r.outcome = ImportedElsewhere;
    r.reason = Translate("already imported by another program");
    return r;
}

LoggerImageToDatabase::FileResult LoggerImageToDatabase::reject(const QString& name, const QString& path,
                                                                const QString& reason)
{
    FileResult r;
    r.name = name;
    r.reason = reason;
    const QString dir = RejectedDirectory();
    QDir().mkpath(dir);
    if (MoveLoggerFileWithCompanion(path, dir, &r.movedTo) == 0) {
        r.outcome = Rejected;
        const QString text = Translate("The logger file ") + QDir::toNativeSeparators(path) +
                             Translate(" could not be imported and was moved to ") + QDir::toNativeSeparators(dir) +
                             ": " + reason;
        // Without a per-file output of its own (the window program) it goes to the log too, as
        // the message box goes away; a caller with one (the terminal) prints it itself.
        if (!FileDone) qWarning().noquote() << text;
        ShowMessage(text, vbCritical, "Error in LoggerImageToDatabase()");
    } else if (!stuckReported().contains(path)) {
        // It cannot be set aside either: it stays, and is reported only this once.
        r.outcome = MoveFailed;
        stuckReported().insert(path);
        ShowMessage(Translate("The logger file ") + QDir::toNativeSeparators(path) + Translate(" could not be imported: ") +
                        reason,
                    vbCritical, "Error in LoggerImageToDatabase()");
    } else {
        r.outcome = MoveFailed;
    }
    return r;
}

int ImportWaitingLoggerFiles(const QString& fileName, std::function<void(const QString&)> filesPanel,
                             std::function<void(const QString&)> status, std::function<void()> refreshDueList)
{
    LoggerImageToDatabase import(AppDatabase(), App().DataDirectory, App().BackupDirectory);
    import.FilesPanel = std::move(filesPanel);
    import.Status = std::move(status);
    import.RefreshDueList = std::move(refreshDueList);
    int moved = 0;
    for (const auto& r : import.Run(fileName))
        if (r.outcome == LoggerImageToDatabase::Stored) ++moved;
    return moved;
}
