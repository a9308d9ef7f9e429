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

// The two format strings the tests use ("DD/MM/YY", "hh:nn") in Qt's notation.
QString TestDateTimeFormat(const QDateTime& t, const QString& format);
