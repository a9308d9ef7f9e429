#pragma once
// The spreadsheet export: an in-memory worksheet with an active cell, filled the way the
// export walks through it, and saved as an .xlsx workbook. The worksheet lives as long as the
// data display window, so a second export continues from the cell the first one left selected.
#include "reports/ExportData.h"
#include <QDateTime>
#include <QString>
#include <map>
#include <utility>
#include <vector>

class clsWorksheet {
public:
    static constexpr double cstDefaultFontSize = 11.0;
    static constexpr const char* cstDateFormat = "yyyy-mm-dd hh:mm:ss";

    struct Cell {
        enum Kind { Text, Number, Date } kind = Text;
        QString text;
        double number = 0;
        QDateTime time;
        double fontSize = cstDefaultFontSize;
        QString numFormat;      // empty: general
        int decimals = -1;      // of a value cell with a signed format (SignedValueFormat)
    };

    // Active cell, 0-based (row 0, column 0 is A1).
    int ActiveRow = 0;
    int ActiveColumn = 0;

    void Offset(int rows, int columns);     // moves the active cell; never past row 0 or column A
    Cell& ActiveCell();
    void SetText(const QString& text);
    void SetNumber(double value, const QString& numFormat = QString());
    // A value shown signed with the given decimals ("+32.125"); the cell holds the rounded number.
    void SetValue(double value, int decimals);
    void SetDate(const QDateTime& time);
    void IncreaseFontSize(double points);
    void AutoFitColumn(int column);          // width from the longest shown text in the column

    const Cell* CellAt(int row, int column) const;
    double ColumnWidth(int column) const;    // 0: default width
    bool empty() const { return m_cells.empty(); }

    // The second sheet of the workbook ("excursions"): the kinetic mean, the time in range and
    // the excursions of every export, one block below the other.
    clsWorksheet& ExcursionSheet();
    const clsWorksheet* ExcursionSheetIfAny() const { return m_more.empty() ? nullptr : &m_more.front(); }
    static QString ExcursionSheetName();   // translated

    // Writes the worksheet as an .xlsx workbook (the active cell selected), with the excursion
    // sheet when there is one.
    // The file is replaced only once the new one is complete.
    bool SaveXlsx(const QString& path, QString* error = nullptr) const;

private:
    static QString ShownText(const Cell& cell);
    std::map<std::pair<int, int>, Cell> m_cells;
    std::map<int, double> m_widths;
    std::vector<clsWorksheet> m_more;   // the excursion sheet, once an export wrote to it
    void WriteTo(void* workbook, void* worksheet) const;
};

// Writes the title cells, the column headings and one row per sample from the active cell on,
// and leaves the active cell in the first row right of the table. The values are shown with
// data.ValueDecimals decimals. The evidence goes to the excursion sheet (WriteExcursionSheet).
void WriteSpreadsheetExport(clsWorksheet& sheet, const ExportData& data, const ExportTexts& texts);
// Appends the block of data's evidence to the excursion sheet: the graph header, the kinetic
// mean, the time out of range, the share in range and the alarm levels, then the excursion table.
void WriteExcursionSheet(clsWorksheet& sheet, const ExportData& data);
