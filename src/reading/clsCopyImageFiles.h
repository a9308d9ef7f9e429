#pragma once
// The logic of the copy dialog frmCopyImageFiles: logger files of a source folder grouped by the
// day of their file time, copied by day to a destination folder or, without a destination,
// deleted by day into the trash. The dialog only shows the rows and passes the ticks. A logger
// file's companion (image/LoggerCompanion.h) is copied, verified and deleted with it.
#include <QDate>
#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

class QWidget;

class clsCopyImageFiles {
public:
    struct DayRow {
        QDate day;
        QStringList files;       // file names in the source folder
        bool alreadyCopied = false;
        bool ticked = false;
        QString dayText() const;     // the day as shown
        QString copiedText() const;  // "yes" / "no" (translated)
    };

    // Answer of the question before replacing a file of the destination.
    enum ReplaceAnswer { ReplaceYes, ReplaceNo, ReplaceCancel };

    clsCopyImageFiles(const QString& source, const QString& destination);

    // Lists the source folder again. A missing folder gives the "please insert floppy disk"
    // message the first time only; the list stays empty. Returns the number of files listed.
    int BuildList();

    std::vector<DayRow> rows;
    bool Deleting() const { return m_destination.isEmpty(); }
    QString Description() const;    // the instruction label
    QString Source() const { return m_source; }
    QString Destination() const { return m_destination; }
    int FilesListed() const { return m_filesListed; }

    // Asked before a file of the destination is replaced (default: replace).
    std::function<ReplaceAnswer(const QString& fileName)> AskReplace;
    // Progress: files done of total, the current name; return false to abort.
    std::function<bool(int done, int total, const QString& fileName)> Progress;

    // Called after each file was written to the destination, before it is read back and
    // compared (tests damage the copy here, as a failing medium would).
    std::function<void(const QString& copiedFile)> AfterCopy;

    // Why the destination cannot take the files now (translated): a destination on the removable
    // media needs that medium mounted (never the system disk). Empty when it can.
    QString MediaProblem() const;
    // Files copied and verified by the last Start.
    int FilesCopied() const { return m_filesCopied; }

    // Copies (or deletes) the ticked days from the first row to the last and rebuilds the list.
    // A failure or an abort stops there: that row and those after it stay unchanged. A day is
    // "already copied" only when each of its files was read back from the destination equal to
    // the original. A destination on removable media that is not mounted is refused at once
    // (MediaProblem) and nothing changes. True when every ticked row was done; *error tells why not.
    [[nodiscard]] bool Start(QString* error = nullptr);

private:
    [[nodiscard]] bool copyDay(DayRow& row, int& done, int total, QString* error);
    [[nodiscard]] bool deleteDay(DayRow& row, int& done, int total, QString* error);
    [[nodiscard]] static bool copyVerified(const QString& from, const QString& to,
                                           const std::function<void(const QString&)>& afterCopy, QString* error);

    QString m_source;
    QString m_destination;
    QString m_media;   // the removable media folder when the copy was set up
    bool m_missingReported = false;
    int m_filesCopied = 0;
    int m_filesListed = 0;
};

// Opens the copy dialog modally (the read-logger window's diskette menu, the settings window).
// Empty destination: the ticked days are deleted into the trash.
void ShowCopyImageFilesDialog(const QString& source, const QString& destination, const QString& caption,
                              QWidget* parent);
// Backup folder to "NORDALIS backup" on the removable media.
void OpenCopyImageFilesDialog(QWidget* parent);
// "NORDALIS backup" on the removable media to the data directory.
void OpenRestoreImageFilesDialog(QWidget* parent);
