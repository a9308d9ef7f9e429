#pragma once
// Helpers of the report tests: sample data, and an independent reader (Python with openpyxl or
// python-docx) run on an exported file, answering in JSON.
#include "reports/ExportData.h"
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

// Rows at the given display times with the given values ("yyyy-MM-dd HH:mm").
ExportData SampleExport(const std::vector<std::pair<QString, double>>& rows, bool showAlarms);

// The Python interpreter that has the readers (Debian's, not one of a user environment); empty
// when there is none.
QString ReaderPython();

// Runs the script with the file as its argument; the script prints one JSON document.
// Sets *message when the reader could not run.
QJsonDocument RunReader(const QString& script, const QString& file, QString* message);
// The same, recording a test failure when the reader could not run.
QJsonObject ReadBack(const QString& script, const QString& file);

// The number cells of a workbook's first sheet, read with zipfile and ElementTree only, keyed by
// reference ("D6"): {"value": number, "format": the format code of its style}.
QJsonObject XlsxNumberCells(const QString& file);

// The two format strings the tests use ("DD/MM/YY", "hh:nn") in Qt's notation.
QString TestDateTimeFormat(const QDateTime& t, const QString& format);

// LibreOffice without a window, as a second reader of exported files; empty when not installed.
QString LibreOfficeProgram();
// Converts file with LibreOffice to the given filter ("csv", "txt", "pdf") into outDir and
// returns the converted file's path; empty with *message set when that failed. Each run has a
// profile of its own in outDir, so that runs never wait for each other.
QString ConvertWithLibreOffice(const QString& file, const QString& filter, const QString& outDir, QString* message);
// The converted text (csv or txt), recording a test failure when the conversion failed.
QString LibreOfficeText(const QString& file, const QString& filter, const QString& outDir);
