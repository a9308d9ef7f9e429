#pragma once
// Import of waiting logger files: every "*.dta" file of the data directory is loaded, stored in
// the database and moved to the backup folder. The read-logger window calls it at the end of each
// poll cycle; the terminal's "import" verb runs the same class.
//
// A file that cannot be loaded or stored, or whose image is implausible (see
// clsDS1921Data::ImplausibleBecause), is set aside once into the folder "rejected" beside the
// backup folder, with one message naming the file and the reason, so that it is not offered again
// at every poll and the files behind it are still imported.
//
// A logger file's companion (image/LoggerCompanion.h: the logger's alarm log and histogram of the
// same reading) is stored in the same transaction and goes wherever the file goes. A companion
// that does not belong to its file is never stored: it is set aside into "rejected" with a
// message, and the file is imported as one without a companion. A database that is busy or cannot be
// opened is not the file's fault: the call stops and the file waits for the next one.
#include <QString>
#include <functional>
#include <vector>

class clsDatabase;

class LoggerImageToDatabase {
public:
    enum Outcome {
        Stored = 0,      // stored (or already stored) and moved to the backup folder
        Rejected = 1,    // unreadable, implausible or failing to store: moved into the rejected folder
        MoveFailed = 2,  // stored but could not be moved away (message shown)
        Waiting = 3,     // left in the data directory for the next call (database busy)
        ImportedElsewhere = 4, // taken from the data directory into the backup folder by another
                           // program between the listing and the read or move; not an error
    };
    struct FileResult {
        QString name;        // file name in the data directory
        Outcome outcome = Stored;
        QString movedTo;     // full path where the file ended, empty when it stayed
        QString reason;      // why it was rejected or left waiting
        QString note;        // its companion (alarm log and histogram) was refused: why
    };

    // Status outputs of the caller (all optional).
    std::function<void(const QString& text)> FilesPanel;   // the "files" panel
    std::function<void(const QString& text)> Status;       // the status panel (ShowStatus)
    std::function<void()> RefreshDueList;                  // after each file
    std::function<void(const FileResult&)> FileDone;       // after each file (terminal output)

    LoggerImageToDatabase(clsDatabase& db, const QString& dataDirectory, const QString& backupDirectory);

    // fileName longer than three characters selects that one file of the data directory; else
    // every waiting file. Returns the results in processing order.
    [[nodiscard]] std::vector<FileResult> Run(const QString& fileName = QString());

    QString RejectedDirectory() const;   // "rejected" beside the backup folder

private:
    FileResult processOne(const QString& name, bool& stop);
    FileResult reject(const QString& name, const QString& path, const QString& reason);
    QString setCompanionAside(const QString& path, const QString& problem);
    bool importedElsewhere(const QString& name, const QString& path) const;
    FileResult importedElsewhereResult(const QString& name) const;

    clsDatabase& m_db;
    QString m_dataDirectory;
    QString m_backupDirectory;
};

// The poll's entry point: runs the import on the application's database and directories
// (App().DataDirectory, App().BackupDirectory). Returns the number of files moved to the backup
// folder.
int ImportWaitingLoggerFiles(const QString& fileName = QString(),
                             std::function<void(const QString&)> filesPanel = {},
                             std::function<void(const QString&)> status = {},
                             std::function<void()> refreshDueList = {});

// True while the Shift key is held down (the toolkit's keyboard-modifier query). Tests replace
// the query; an empty function restores it.
bool ShiftKeyHeld();
void SetShiftKeyQueryForTesting(std::function<bool()> query);
