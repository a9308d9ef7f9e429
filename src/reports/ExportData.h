#pragma once
// What the exports take from the data display: the result of its last query and the captions
// that went with it, plus the interface texts in the current language. The data display fills
// it (ChartExports.cpp); the writers below never query anything themselves.
#include "display/Evidence.h"
#include <QDateTime>
#include <QString>
#include <vector>

struct ExportRow {
    QDateTime time;     // display time: for the exports the stored time less the window's
                        // time-zone offset, for the web report the local time
    double value = 0;   // in the display unit
    QString text;       // the value as the query gives it ("5.25", ".5" for averages, "7.5")
};

struct ExportData {
    QString GraphHeader;
    QString ValueCaption;
    QString GraphFootnote;
    QString UnitText;
    float AlarmMin = -40.0f;
    float AlarmMax = 80.0f;
    bool ShowAlarms = false;
    QString DateFormat;     // runtime date format strings of the window ("DD/MM/YY", "hh:nn")
    QString TimeFormat;
    int ValueDecimals = 1;  // decimals the spreadsheet shows the values with (ValueDecimals())
    std::vector<ExportRow> rows;
    // The kinetic mean and the excursions of the window's samples, times as the rows show them.
    EvidenceTable Evidence;
    // The logger of the window: "0000012345, Shelf 1" (serial number, description); empty: none.
    QString Logger;
};

// Interface texts the exports write, already translated.
struct ExportTexts {
    QString ProducedBy = "produced by NORDALIS";
    QString AlarmLimitMin = "alarm limit min:";          // spreadsheet
    QString CommaAlarmLimitMin = ", alarm limit min:";   // document title block
    QString Max = " max:";
    QString Date = "Date";
    QString Records = " Records";
    QString ReportDateHeading = "Date";                 // web report table
};
