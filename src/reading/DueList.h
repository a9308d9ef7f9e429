#pragma once
// The list of running loggers with their reading schedule (the read-logger window's
// lvwKnownDevices and the terminal's "due" verb). The rows are computed by a plain function from
// the query result, so that both front ends show the same thing.
#include "db/ResultList.h"
#include <QColor>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <vector>

struct DueListRow {
    enum Status { Urgent, Due, NotDue };
    qint32 deviceId = 0;
    Status status = NotDue;
    bool hoursKnown = true;         // false when the row has no NextReading
    qint64 hours = 0;               // hour boundaries from now to NextReading (data at risk)
    QColor colour;                  // red, magenta or black
    // Column texts in the list's creation order:
    // 0 RoomSequence & two blanks, 1 status text, 2 RoomDescription, 3 room number,
    // 4 DeviceDescription, 5 position number, 6 SerialNo, 7 hours, 8 DateRead
    QStringList columns;
};

// The query: every running logger with its compartment, loggers without a compartment row kept.
QString DueListQuery();

// When a devices row's unread data is at risk: its NextReading, which storing a logger image
// fills with DataAtRiskTime (image/clsDS1921Data.h) - the moment the log of a logger without
// rollover is full, whenever it was last read, or the moment a logger with rollover overwrites
// its oldest unread sample. Invalid when the row has none.
QDateTime RowDataAtRisk(const DbRow& row);

// Number of hour boundaries between two moments (negative when `to` lies before `from`):
// 10:59 to 11:00 is one hour, 10:00 to 10:59 none.
qint64 HourBoundaries(const QDateTime& from, const QDateTime& to);

// Rows in the order of the query result. A row is listed when its hours are below
// readHoursBeforeOverflow or when dueOnly is false. Status: hours < 0 "urgent" (red),
// hours < readHoursBeforeOverflow "yes" (magenta), else "no" (black); texts translated.
// A running logger without a NextReading has no known rollover time: it is listed as urgent.
std::vector<DueListRow> ComputeDueList(const ResultList& rows, const QDateTime& nowLocal,
                                       int readHoursBeforeOverflow, bool dueOnly);

// The rows of the application's database now (AppDatabase, NowLocal, ReadHoursBeforeOverflow).
// When the query fails: no rows, and *error tells why (empty after success).
std::vector<DueListRow> QueryDueList(bool dueOnly, QString* error = nullptr);
