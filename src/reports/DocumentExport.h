#pragma once
// The word-processor export, written as an Office Open XML document (.docx) or as OpenDocument
// text (.odt): a header with a
// rule below, a footer with a rule above, the page number, the graph header and the time of
// the export, a centred title block, then a continuous section of 8 text columns with a line
// between them holding bold day lines and one line per sample ("12:30  +07.0"), closed by
// "N Records".
#include "reports/ExportData.h"
#include <QString>
#include <functional>
#include <vector>

struct DocumentLine {
    bool dayLine = false;   // bold, left-aligned
    QString text;
};

struct DocumentContent {
    QString Header;         // 16 point
    QString Caption;        // 14 point
    QString ProducedLine;   // 12 point, with the alarm limits when they are shown
    // 10 point lines below the title block: the kinetic mean, the time out of range and the
    // share in range, then one line per excursion (EvidenceLines).
    std::vector<QString> EvidenceLines;
    std::vector<DocumentLine> Lines;
    QString RecordsLine;    // "N Records"
    QString FooterDate;     // the time of the export as text
    QString ProducedBy;     // footer text beside the page number
};

// Formats a date-time with one of the window's runtime format strings.
using DateTimeFormatter = std::function<QString(const QDateTime& time, const QString& format)>;

// Lays out the content from the display's data: a day line at the first row and whenever the
// date changes, and a sample line for every row.
DocumentContent BuildDocumentContent(const ExportData& data, const ExportTexts& texts,
                                     const DateTimeFormatter& format, const QString& nowText);

// The evidence of the data as lines of text: "MKT 5.23 °C", "out of range 4:05 h, in range
// 98.54 %", "alarm levels 2 °C and 8 °C", then one line per excursion (side, start, end or "open", duration, peak,
// degree-minutes); nothing when the window held no samples.
std::vector<QString> EvidenceLines(const EvidenceTable& evidence);

// Write the document as Office Open XML (.docx) or OpenDocument text (.odt, the same layout:
// title block, bold day lines, 8 columns with a line between, header rule, footer with the page
// number). An existing file is replaced only once the new one is complete.
bool WriteDocx(const QString& path, const DocumentContent& content, QString* error = nullptr);
bool WriteOdt(const QString& path, const DocumentContent& content, QString* error = nullptr);

// The kind a document's file name asks for, by its ending (letter case does not count).
enum class DocumentKind { Unknown, Docx, Odt };
DocumentKind DocumentKindOf(const QString& path);
// Writes the kind the name ends in; any other name is refused (UnknownDocumentKindMessage) and
// nothing is written.
bool WriteDocument(const QString& path, const DocumentContent& content, QString* error = nullptr);
QString UnknownDocumentKindMessage(const QString& path);
