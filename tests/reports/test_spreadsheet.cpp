// The spreadsheet export read back by openpyxl (and by plain XML and LibreOffice for the value
// formats): cell positions, fonts, date cells, value format,
// fitted columns, and a second export continuing where the first left the selection.
#include "ReportTestSupport.h"
#include "reports/ExportFormat.h"
#include "reports/SpreadsheetExport.h"
#include <QJsonArray>
#include <QJsonObject>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

const char* const kReader = R"PY(
import json, sys, datetime
import openpyxl
wb = openpyxl.load_workbook(sys.argv[1])
ws = wb.active
cells = {}
for row in ws.iter_rows():
    for c in row:
        if c.value is None:
            continue
        v = c.value
        kind = type(v).__name__
        if isinstance(v, datetime.datetime):
            v = v.strftime("%Y-%m-%d %H:%M:%S")
        cells[c.coordinate] = {"value": v, "type": kind, "format": c.number_format, "size": c.font.sz}
widths = {k: d.width for k, d in ws.column_dimensions.items() if d.width}
sel = ws.sheet_view.selection[0].activeCell if ws.sheet_view.selection else ""
print(json.dumps({"cells": cells, "widths": widths, "active": sel}))
)PY";

QJsonObject readBack(const QString& file)
{
    return ReadBack(kReader, file);
}

} // namespace

TEST(SpreadsheetExport, CellsHeadingsDatesAndValueFormatWithAlarms)
{
    if (ReaderPython().isEmpty())
        GTEST_SKIP() << "python3 is not installed; the workbook cannot be read back";
    QTemporaryDir dir;
    const QString file = dir.filePath("export.xlsx");
    ExportData d = SampleExport({{"2026-03-01 23:30", -3.2}, {"2026-03-02 00:00", 7.0}, {"2026-03-02 00:30", 12.5}}, true);
    clsWorksheet sheet;
    WriteSpreadsheetExport(sheet, d, ExportTexts());
    QString error;
    ASSERT_TRUE(sheet.SaveXlsx(file, &error)) << error.toStdString();

    const QJsonObject r = readBack(file);
    const QJsonObject cells = r["cells"].toObject();
    EXPECT_EQ(cells["A1"]["value"].toString(), "2180543,cold room <north>");
    EXPECT_EQ(cells["A1"]["size"].toDouble(), 15.0);
    EXPECT_EQ(cells["A2"]["value"].toString(), "samples, (°C)");
    EXPECT_EQ(cells["A2"]["size"].toDouble(), 13.0);
    EXPECT_EQ(cells["A3"]["value"].toString(), "produced by NORDALIS");
    EXPECT_EQ(cells["A4"]["value"].toString(), "alarm limit min:-40 max:80");
    // Headings four rows below the start, one column to the right with alarm levels shown.
    EXPECT_EQ(cells["B5"]["value"].toString(), "Date");
    EXPECT_EQ(cells["C5"]["value"].toString(), "°C");
    EXPECT_EQ(cells["B6"]["type"].toString(), "datetime");
    EXPECT_EQ(cells["B6"]["value"].toString(), "2026-03-01 23:30:00");
    EXPECT_EQ(cells["B7"]["value"].toString(), "2026-03-02 00:00:00");
    EXPECT_EQ(cells["B8"]["value"].toString(), "2026-03-02 00:30:00");
    EXPECT_DOUBLE_EQ(cells["C6"]["value"].toDouble(), -3.2);
    EXPECT_DOUBLE_EQ(cells["C7"]["value"].toDouble(), 7.0);
    EXPECT_DOUBLE_EQ(cells["C8"]["value"].toDouble(), 12.5);
    // Shown as the document shows them: "-03.2", "+07.0".
    EXPECT_EQ(cells["C6"]["format"].toString(), "+00.0;-00.0");
    EXPECT_EQ(cells.size(), 4 + 2 + 6);
    // Both table columns fitted: the date column to its 19 characters.
    const QJsonObject widths = r["widths"].toObject();
    EXPECT_GE(widths["B"].toDouble(), 19.0);
    EXPECT_GE(widths["C"].toDouble(), 5.0);
    EXPECT_LT(widths["C"].toDouble(), 10.0);
    // The selection is left in the first row right of the table.
    EXPECT_EQ(r["active"].toString(), "D1");
}

TEST(SpreadsheetExport, SecondExportContinuesFromTheLeftSelection)
{
    if (ReaderPython().isEmpty())
        GTEST_SKIP() << "python3 is not installed; the workbook cannot be read back";
    QTemporaryDir dir;
    const QString file = dir.filePath("export.xlsx");
    clsWorksheet sheet;
    WriteSpreadsheetExport(sheet, SampleExport({{"2026-03-01 10:00", 5.0}, {"2026-03-01 10:15", 5.5}}, false), ExportTexts());
    // Without alarm levels the headings are two columns right of the start.
    EXPECT_EQ(sheet.ActiveRow, 0);
    EXPECT_EQ(sheet.ActiveColumn, 4);
    ExportData second = SampleExport({{"2026-03-02 10:00", -3.2}}, false);
    second.GraphHeader = "second";
    WriteSpreadsheetExport(sheet, second, ExportTexts());
    ASSERT_TRUE(sheet.SaveXlsx(file));

    const QJsonObject cells = readBack(file)["cells"].toObject();
    EXPECT_EQ(cells["A1"]["value"].toString(), "2180543,cold room <north>");
    EXPECT_EQ(cells["C5"]["value"].toString(), "Date");
    EXPECT_EQ(cells["D5"]["value"].toString(), "°C");
    EXPECT_DOUBLE_EQ(cells["D7"]["value"].toDouble(), 5.5);
    EXPECT_EQ(cells["E1"]["value"].toString(), "second");
    EXPECT_EQ(cells["E1"]["size"].toDouble(), 15.0);
    EXPECT_EQ(cells["G5"]["value"].toString(), "Date");
    EXPECT_EQ(cells["G6"]["value"].toString(), "2026-03-02 10:00:00");
    EXPECT_DOUBLE_EQ(cells["H6"]["value"].toDouble(), -3.2);
    EXPECT_EQ(cells.size(), 2 * 3 + 2 * 2 + 4 + 2);
}

TEST(SpreadsheetExport, EmptyResultWritesTitlesAndHeadingsOnly)
{
    if (ReaderPython().isEmpty())
        GTEST_SKIP() << "python3 is not installed; the workbook cannot be read back";
    QTemporaryDir dir;
    const QString file = dir.filePath("empty.xlsx");
    clsWorksheet sheet;
    ExportData d = SampleExport({}, false);
    WriteSpreadsheetExport(sheet, d, ExportTexts());
    ASSERT_TRUE(sheet.SaveXlsx(file));
    const QJsonObject cells = readBack(file)["cells"].toObject();
    EXPECT_EQ(cells.size(), 5);
    EXPECT_EQ(cells["C5"]["value"].toString(), "Date");
    EXPECT_EQ(cells["D5"]["value"].toString(), "°C");
}

TEST(SpreadsheetExport, AFailedSaveKeepsTheOldFileAndSaysSo)
{
    QTemporaryDir dir;
    clsWorksheet sheet;
    WriteSpreadsheetExport(sheet, SampleExport({{"2026-03-01 10:00", 5.0}}, false), ExportTexts());
    QString error;
    EXPECT_FALSE(sheet.SaveXlsx(dir.filePath("missing/dir/x.xlsx"), &error));
    EXPECT_FALSE(error.isEmpty());
    // An existing workbook is replaced as a whole.
    const QString file = dir.filePath("x.xlsx");
    QFile old(file);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("old");
    old.close();
    ASSERT_TRUE(sheet.SaveXlsx(file, &error));
    EXPECT_GT(QFileInfo(file).size(), 1000);
    EXPECT_FALSE(QFile::exists(file + ".part"));
}

TEST(SpreadsheetExport, ControlCharactersOfALoggerRecordDoNotSpoilTheWorkbook)
{
    if (ReaderPython().isEmpty())
        GTEST_SKIP() << "python3 is not installed; the workbook cannot be read back";
    QTemporaryDir dir;
    const QString file = dir.filePath("ctl.xlsx");
    ExportData d = SampleExport({{"2026-03-01 10:00", 5.0}}, false);
    d.GraphHeader = QString("shelf") + QChar(3) + "north & <south>";
    clsWorksheet sheet;
    WriteSpreadsheetExport(sheet, d, ExportTexts());
    ASSERT_TRUE(sheet.SaveXlsx(file));
    const QString title = readBack(file)["cells"].toObject()["A1"].toObject()["value"].toString();
    EXPECT_TRUE(title.startsWith("shelf")) << title.toStdString();
    EXPECT_TRUE(title.endsWith("north & <south>")) << title.toStdString();
}

namespace {

// The value column (D, from row 6) of a LibreOffice csv conversion, as shown.
QStringList shownValues(const QString& csv)
{
    QStringList shown;
    const QStringList lines = csv.split('\n', Qt::SkipEmptyParts);
    for (int i = 5; i < lines.size(); ++i)
        shown << lines[i].section(',', 3, 3);
    return shown;
}

} // namespace

// A DS1921H measures in eighths of a degree: 32.125 °C must not come back as 32.1. A DS1921G in
// Fahrenheit (0.9 °F steps) shows one decimal. Both files read back by two readers: the cells'
// numbers and format codes from the XML, the shown texts from LibreOffice.
TEST(SpreadsheetExport, ValuesShownWithTheLoggersResolution)
{
    if (ReaderPython().isEmpty())
        GTEST_SKIP() << "python3 is not installed; the workbook cannot be read back";
    QTemporaryDir dir;
    struct Case {
        const char* file;
        std::vector<std::pair<QString, double>> rows;
        int decimals;
        const char* format;
        QStringList shown;
    } cases[] = {
        {"eighths.xlsx",
         {{"2026-03-01 10:00", 32.125}, {"2026-03-01 10:10", 32.5}, {"2026-03-01 10:20", 14.625}},
         3, "+00.000;-00.000", {"+32.125", "+32.500", "+14.625"}},
        {"halves-fahrenheit.xlsx",
         {{"2026-03-01 10:00", double(-3.5f) * 1.8 + 32}, {"2026-03-01 10:10", double(7.0f) * 1.8 + 32}},
         1, "+00.0;-00.0", {"+25.7", "+44.6"}},
    };
    for (const Case& c : cases) {
        ExportData d = SampleExport(c.rows, false);
        d.ValueDecimals = c.decimals;
        clsWorksheet sheet;
        WriteSpreadsheetExport(sheet, d, ExportTexts());
        const QString file = dir.filePath(c.file);
        ASSERT_TRUE(sheet.SaveXlsx(file));

        const QJsonObject cells = XlsxNumberCells(file);
        for (int i = 0; i < int(c.rows.size()); ++i) {
            const QJsonObject cell = cells[QString("D%1").arg(6 + i)].toObject();
            EXPECT_EQ(cell["format"].toString(), c.format) << c.file;
            EXPECT_NEAR(cell["value"].toDouble(), RoundedToDecimals(c.rows[size_t(i)].second, c.decimals), 1e-12) << c.file;
        }
        if (LibreOfficeProgram().isEmpty())
            continue;
        const QString csv = LibreOfficeText(file, "csv:Text - txt - csv (StarCalc):44,34,76,1,,0,false,true,true",
                                            dir.filePath(QString(c.file) + "-lo"));
        EXPECT_EQ(shownValues(csv), c.shown) << csv.toStdString();
    }
}
