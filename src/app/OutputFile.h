#pragma once
// The one check every file the person asks the program to write goes through before a byte is
// written: the spreadsheet, the document, the web page and its picture, the printout and mission
// report PDFs, the graph picture. It keeps the program's own data out of reach, in whatever
// spelling the name arrives (relative, through "..", through a symbolic link):
//   - the database files (NORDALIS.MDE, NORD.MDE, the report databases: any ".mde") and their
//     companions (-journal, -wal, -shm);
//   - logger files (".dta") and their companions (".alh"), anywhere;
//   - everything inside the backup folder, the folder of rejected logger files and the report
//     templates, and the help page;
//   - a folder;
//   - a name whose ending does not fit the kind of output.
#include <QString>
#include <QStringList>

enum class OutputKind {
    Spreadsheet,   // .xlsx
    Document,      // .docx or .odt
    WebPage,       // .htm or .html
    Pdf,           // .pdf
    Picture,       // .png
};

// The endings the kind takes, without the dot, the usual one first.
QStringList OutputEndings(OutputKind kind);

// Empty when path may be written as kind; else one sentence naming the file and the reason,
// ending in "Nothing was written.".
QString RefuseOutputFile(const QString& path, OutputKind kind);
