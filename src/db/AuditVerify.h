#pragma once
// Proving the database against the logger files of the backup folder and its audit trail
// ("nordalis-cli verify"). Nothing is written.
//
// For every logger: each of its files in the backup folder must have its SHA-256 stored with a
// reading (table readingfiles), and the logger's stored samples must be exactly the samples the
// files decode to (as the import stores them: temperatures below App().ClipTempLower clipped) -
// no sample missing, none changed, none stored that no file holds. Samples before the date of
// the latest purge recorded in the audit trail are not expected any more; the files of a logger
// deleted after they were stored are not expected in the database either. The audit chain must
// hold from its first row to the last one recorded.
#include <QString>
#include <QStringList>
#include <vector>

class clsDatabase;

struct LoggerVerification {
    qint32 deviceId = 0;
    QString serialNo;
    int files = 0;
    qint64 samples = 0;          // samples compared
    QString note;                // e.g. "deleted (audit row 7)"
    QStringList differences;     // empty: the logger is proved
};

struct Verification {
    std::vector<LoggerVerification> loggers;   // in order of DeviceID
    QStringList fileProblems;   // files of the backup folder that could not be read
    QStringList chainProblems;  // AuditChainProblems
    qint64 purgedBefore = 0;    // UTC seconds of the latest purge recorded (0: none)
    bool holds() const;
};

// Throws DbError when the database cannot be read.
Verification VerifyAgainstLoggerFiles(clsDatabase& db, const QString& backupDirectory);
