#pragma once
// The selection options shared by the terminal verbs that show a query of the data display
// (query, graph, report, export, print):
//   --device ID --from "YYYY-MM-DD HH:MM[:SS]" --to "YYYY-MM-DD HH:MM[:SS]"
//   [--kind samples|daily-avg|daily-var|daily-max|daily-min|monthly-avg|monthly-var|monthly-max|monthly-min]
//   [--transitions] [--tz-offset MIN]
// The times are display times; --tz-offset is the minutes added to UTC to display local time
// (default: the offset the window starts with, from the computer's time zone). Times without
// seconds mean second 0 of that minute; both bounds are inclusive.
#include "display/ChartModel.h"
#include <QString>
#include <QStringList>

struct ChartArgs {
    QString device;              // as given: "100101" or the dotted display form
    qint32 deviceId = 0;
    QDateTime from, to;          // display time
    ChartKind kind = ChartKind::Samples;
    bool transitions = false;
    bool hasOffset = false;
    int offsetMinutes = 0;       // minutes added to UTC (the time-zone box)
};

// Takes the options out of args. On bad or missing input returns false with a message.
bool TakeChartArgs(QStringList& args, ChartArgs& out, QString& error);
// The usage text of the options, for the verbs' usage lines.
const char* ChartArgsUsage();

// Runs the window's sequence on the application database: loads the loggers, selects the
// device (alarm levels and header as a click in the list sets them), sets the window, kind,
// transitions and offset, then the query. The result is in model.State. False with a message
// when the logger is unknown or the query could not run.
bool RunChartArgs(const ChartArgs& args, ChartModel& model, QString& error);
