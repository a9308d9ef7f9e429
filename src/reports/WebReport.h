#pragma once
// The web page report: a style's header template, an optional picture of the graph, an optional
// table of the values in several columns and the style's footer template, written into the
// report directory. Every text taken from the data (captions, descriptions, values, names) is
// written with HTML entities; the templates themselves are written as they stand.
#include "reports/DocumentExport.h"
#include "reports/ExportData.h"
#include <QImage>
#include <QString>
#include <QStringList>

// The installation values the templates may show.
struct WebReportContext {
    QString NowText;            // [Date]
    QString AppVersion;         // [AppVersion], "major.minor.revision"
    QString LocationID;
    QString LocationDescription;
    QString UserName;
    QString ComputerName;
    DateTimeFormatter Format;   // the runtime's date formatting
};

struct WebReportOptions {
    QString Style;              // name of the style template pair
    QString StylesDirectory;    // where "<style> header.htm" and "<style> footer.htm" are
    bool Table = true;
    bool Graph = false;
    bool MarkExceptions = false;
    int Columns = 3;
    QString BorderWidth = "1";
};

class clsWebReport {
public:
    static constexpr int cstTemplateLimit = 20000;   // characters used of a template

    // data: rows in local time; graph: the picture of the graph as shown.
    clsWebReport(const ExportData& data, const ExportTexts& texts, const WebReportContext& context);

    // Replaces every placeholder in text ("[Header]", "[RecordCount]", ...; letter case counts).
    void InsetTexts(QString& text) const;

    // Writes directory/fileName (replacing it only when complete, with the graph picture beside
    // it). Returns false and sets *error when building had to stop; a page that was there stays as
    // it was. A page with neither the table nor the graph, or a name the output check refuses
    // (RefuseReportFiles), is refused and nothing is written.
    bool BuildReport(const QString& directory, const QString& fileName, const WebReportOptions& options,
                     const QImage& graph, QString* error = nullptr) const;

    // Why a page without the table and the graph is refused (translated).
    static QString NothingToShowMessage();

    // Rows per table column so that the columns hold every row: 10 rows in 3 columns as 4, 4, 2.
    static int RowsPerColumn(int rows, int columns);
    // "x.htm" and "x.html" give "x graph.png".
    static QString GraphPictureName(const QString& reportFileName);
    // The page directory/fileName and, with the graph, its picture through the output check
    // (app/OutputFile.h): empty when both may be written, else why not.
    static QString RefuseReportFiles(const QString& directory, const QString& fileName, bool withGraph);
    // Style names: every "<name> header.htm" in the styles directory.
    static QStringList StyleNames(const QString& stylesDirectory);
    // Default report file name: "0000001.001.01  040307.htm".
    static QString DefaultFileName(const QString& formattedDeviceId, const QDate& today);

private:
    QString LocalTimeText(const QDateTime& t) const;
    ExportData m_data;
    ExportTexts m_texts;
    WebReportContext m_context;
};

// Application directory/reports and application directory/reports/styles.
QString ReportDirectory(const QString& applicationDirectory);
QString StylesDirectory(const QString& applicationDirectory);
