#pragma once
// The exports of the data display window (tab "Reports" and "&Print"): spreadsheet, document,
// clipboard picture, printout and the report databases. Each one reads the window's state of
// the last query and never queries again. One object lives as long as the window, so that a
// second spreadsheet export continues in the same worksheet.
#include "app/OutputFile.h"
#include "display/ChartData.h"
#include "reports/ExportData.h"
#include "reports/ExportFormat.h"
#include "reports/SpreadsheetExport.h"
#include <QImage>
#include <QString>
#include <QStringList>

class QPagedPaintDevice;
class QWidget;
// The state's rows with the window's display times (exports) or with local times from the
// fixed bias (web report).
ExportData ExportDataFromChart(const ChartState& state);
ExportData WebReportDataFromChart(const ChartState& state);
ExportTexts TranslatedExportTexts();

// The steps a logger measures in, as the database keeps them for its serial number
// (LoggerStepsParameterName); Unknown when the database does not know them.
ValueResolution StoredLoggerResolution(const QString& serialNo);

// Names of the report databases "report <name>.mde" in the report directory.
QStringList ReportDatabaseNames(const QString& reportDirectory);

// Draws the graph on the printer as one page; false when the printer could not be opened.
bool PrintGraph(ChartState& state, QPagedPaintDevice& printer);

// The installation values of this run for the web report templates.
struct WebReportContext;
WebReportContext CurrentWebReportContext();

// Writes the document export of the state to path: .docx or .odt, as the name ends.
bool WriteDocumentExport(const ChartState& state, const QString& path, QString* error);

class clsChartExports {
public:
    explicit clsChartExports(QWidget* owner = nullptr);

    // Each asks for the file name (in the report directory), writes the file, says where it went
    // and opens it with the desktop's default program (saying so when none could be started).
    // The document is Word (.docx) or OpenDocument text (.odt) as the name chosen ends. A name the
    // output check refuses (app/OutputFile.h: the program's own data, a wrong ending) is said in
    // a message and nothing is written. False when cancelled or failed
    // (after a message).
    bool cmdExcel_Click(const ChartState& state);
    bool cmdWord_Click(const ChartState& state);
    // The mission report (reports/MissionReport.h) of the logger and window of the last query, as
    // a PDF file; a refusal or failure is said in a message and leaves no file.
    bool cmdMissionReport_Click(const ChartState& state);
    // The picture of the graph as shown goes to the clipboard, and a message says so.
    void cmdClipBoard_Click(const QImage& graphPicture);
    // Printer dialog, then the graph on paper; false when cancelled or failed.
    // Opens "report <name>.mde" with its associated program; nothing happens when it is missing.
    bool cmdOpenReport_Click(const QString& name);

    const clsWorksheet& Worksheet() const { return m_sheet; }

private:
    QString AskExportFile(const ChartState& state, OutputKind kind, const QString& filter);
    QWidget* m_owner;
    clsWorksheet m_sheet;        // the spreadsheet of this window session
    QString m_sheetFile;         // where it was saved last
};
