#pragma once
// Job files for the handheld computer that guides the operator from logger to logger: one small
// file per running logger of the reading schedule, "<SerialNo>r.ndc" in the data directory.
//   "due:" yy/mm/dd hh:nn of NextReading (local time), CR LF: when the logger's data is at risk
//   (RowDataAtRisk, reading/DueList.h)
//   "des:" Read <SerialNo>,<RoomDescription>,<DeviceDescription>   (no line end)
// 8-bit characters of the program's code page (Windows-1252), no length prefix.
#include "db/ResultList.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <vector>

class clsDatabase;

struct JobFile {
    QString fileName;     // "<SerialNo>r.ndc"
    QByteArray bytes;
};

// The bytes of one job file. An invalid nextReading (a logger without a known rollover time)
// leaves the date empty.
QByteArray JobFileBytes(const QDateTime& nextReadingLocal, const QString& serialNo, const QString& roomDescription,
                        const QString& deviceDescription);

// The job files for the rows of the due-list query (running loggers with their compartments):
// every row, or with dueOnly only those whose hours to NextReading are below
// readHoursBeforeOverflow.
std::vector<JobFile> ComputeJoblist(const ResultList& rows, const QDateTime& nowLocal, int readHoursBeforeOverflow,
                                    bool dueOnly);

// Writes the job files into directory (each replaced whole, never left half-written). Returns the
// full paths written; *error tells why when a file could not be written (the others are kept).
QStringList GenerateJoblist(clsDatabase& db, const QString& directory, const QDateTime& nowLocal,
                            int readHoursBeforeOverflow, bool dueOnly, QString* error = nullptr);

// The read-logger window's export: the application's database, data directory, clock and
// reading margin.
QStringList GenerateJoblist(bool dueOnly, QString* error = nullptr);
