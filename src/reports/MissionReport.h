#pragma once
// The mission report of one logger and period: a PDF document (A4 portrait) for the inspectors of
// stores that keep goods at controlled temperatures. It holds the logger and where it hangs (site,
// compartment, position, serial number, type, description), the mission settings, the figures of
// the period (first and last sample, count, minimum, maximum, mean, mean kinetic temperature with
// the dH/R used, time in and out of range), the excursions beyond the alarm levels, the logger's
// own alarm log as stored with its readings, the graph of the period (DoGraph on the page, with
// the alarm levels), the readings of the period (when, by whom, on which computer, which file),
// who made the report when and on which computer, and lines for the reviewer's signature.
// Every page carries the site and the logger in its head and "page N of M" at its foot; long
// tables continue on the next page under their repeated column titles.
//
// Values are shown in the display unit (App().Units), times in the display time of the request;
// every text goes through the language file. The report reads the database and writes nothing
// to it.
#include <QDateTime>
#include <QString>

class clsDatabase;
struct ChartState;

struct MissionReportRequest {
    qint32 DeviceID = 0;
    QDateTime From, To;            // display time, both inclusive (as the data display's window)
    qint32 TimeZoneOffset = 0;     // as ChartState: stored (UTC) time = display time + this (minutes)
    QString DateFormat, TimeFormat;   // the graph's labels (the data display's lists); empty: a
                                      // padded 24-hour time and date (ChartPaddedTimeFormat)
};

// The request of the data display's last query: its logger, window and offset (and its formats
// when it showed the samples).
MissionReportRequest MissionReportRequestOf(const ChartState& state);

// The values are the terminal's exit status of the report verb.
enum class MissionReportResult : int {
    Written = 0,
    Failed = 1,    // the file could not be written (folder missing or not writable, disk full)
    Refused = 2,   // no such logger, a period that starts after it ends, a name not ending in .pdf
};

struct MissionReportSummary {
    int Pages = 0;
    int Samples = 0;
    int Excursions = 0;
};

// Writes the report to path (a name ending in .pdf; an existing file is replaced). Anything but
// Written leaves no file at path (an existing one stays as it was) and puts a sentence for the
// operator into *error.
[[nodiscard]] MissionReportResult WriteMissionReport(clsDatabase& db, const MissionReportRequest& request,
                                                     const QString& path, QString* error,
                                                     MissionReportSummary* summary = nullptr);
