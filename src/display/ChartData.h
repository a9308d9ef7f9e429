#pragma once
// The data display's form-level state and the drawing surface of its graph.
//
// ChartState is what the data display window holds after its last query ("App&ly"): the rows
// of the query with their display times and values, the selected logger, the value kind, the
// window, the alarm levels, the unit label, the date/time formats and the drawing settings.
// The graph, the exports and the web report read it; none of them queries again.
//
// DoGraph draws that state on one ChartSurface; three surfaces exist: the window's graph
// widget (ChartWidget), an image (ImageSurface: clipboard, web report, terminal program) and
// the printer (PrinterSurface: paper and PDF, or a part of a report's page).
#include "db/ResultList.h"
#include "display/Evidence.h"
#include <optional>
#include <QColor>
#include <QDateTime>
#include <QFont>
#include <QImage>
#include <QRectF>
#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

class QPainter;
class QPaintDevice;
class QPagedPaintDevice;

// The kinds of displayed values, in the order of the "displayed values" list: the nine of the
// database's values, then the kinetic means of the window's samples (whole window, per day,
// per month).
enum class ChartKind : int {
    Samples = 0,
    DailyAverages = 1,
    DailyVariance = 2,
    DailyMaximums = 3,
    DailyMinimums = 4,
    MonthlyAverages = 5,
    MonthlyVariance = 6,
    MonthlyMaximums = 7,
    MonthlyMinimums = 8,
    Mkt = 9,
    DailyMkt = 10,
    MonthlyMkt = 11,
};
constexpr int kChartKindCount = 12;
bool IsDailyKind(ChartKind k);
bool IsMonthlyKind(ChartKind k);
bool IsVarianceKind(ChartKind k);
bool IsMktKind(ChartKind k);
int MktPeriodOf(ChartKind k);         // 0 whole window, 1 per day, 2 per month; -1 for the others
bool IsTextValueKind(ChartKind k);   // averages and variances: value is text as "##.##" gives it
QString ChartKindText(ChartKind k);  // "samples", "daily averages", ... (untranslated)
// Terminal names: samples daily-avg daily-var daily-max daily-min monthly-avg ... mkt daily-mkt
// monthly-mkt; false if unknown.
bool ChartKindFromName(const QString& name, ChartKind& kind);
QString ChartKindName(ChartKind k);

// One row of the last query.
struct ChartRow {
    QDateTime Time;          // stored time (UTC): the sample time, or the day / first of month
                             // as grouped in stored time
    QDateTime DisplayTime;   // Time - TimeZoneOffset minutes (what is shown and exported)
    double Value = 0;        // the value in the display unit (text values read as a number)
    QString ValueText;       // the value as the query gives it: "5.12", "5.", ".25" for averages
                             // and variances; the number's shortest text otherwise ("7.5", "-40")
};

struct ChartState {
    // Loggers of the database (devices LEFT JOIN rooms), read once when the window loads.
    ResultList Devices;

    // Rows of the last query, in time order.
    std::vector<ChartRow> Samples;

    // The selected logger at the last query.
    qint32 DeviceID = 0;
    QString SerialNo;
    QString DeviceDescription;
    QString RoomDescription;

    // The value kind and transitions-only setting of the last query.
    ChartKind Kind = ChartKind::Samples;
    bool TransitionsOnly = false;
    QString TransitionsCaption = "transitions only";   // caption of the check box (translated)

    // The window of the last query, in display time, with seconds; both bounds inclusive.
    QDateTime WindowFrom;
    QDateTime WindowTo;
    // stored (UTC) time = displayed time + TimeZoneOffset; displayed = stored - TimeZoneOffset.
    qint32 TimeZoneOffset = 0;

    int Units = 0;                 // 0 Celsius, 1 Fahrenheit, at the last query
    QString UnitLabel;             // "°C" / "°F" at the last query
    QString UnitText;              // shown with values: UnitLabel, or UnitLabel + "²" for variances
    QString ValueCaption;          // e.g. "samples (°C)"; ", transitions only" appended when applied
    QString GraphHeader;           // header text at the last query
    QString GraphFootnote;         // footer text, a blank and the date and time of the last query

    // The kinetic mean and the excursions of the window's samples (ComputeChartEvidence).
    ChartEvidence Evidence;
    // The selected logger's own alarm levels (devices.AlarmLow / AlarmHigh, °C) at the last query;
    // unset when the logger has none stored. The excursions are found with them whenever set,
    // whatever the Alarms tab holds (AlarmMin / AlarmMax below are only the fallback).
    std::optional<double> LoggerAlarmLowC, LoggerAlarmHighC;

    float AlarmMax = 80;           // alarm levels in the display unit
    float AlarmMin = -40;
    bool ShowAlarms = false;
    bool ShowTicks = false;
    bool ShowLines = true;
    bool KeepYScale = false;
    QString TimeFormat = "h:n";    // date/time format strings as the format lists give them
    QString DateFormat = "D/M/YY";

    // Written by DoGraph (the Y range drawn, the X extent in minutes, the row count); the
    // fixed scale when KeepYScale.
    float YMax = 5;
    float YMin = -5;
    qint32 TotalMinutes = 0;
    qint32 SampleCount = 0;      // 32-bit: a year of one-minute samples is more than 32767 rows

    // Size of the data display window in twips (15 twips a pixel). The time and value grid
    // steps depend on it, also on paper. 0: taken from the target's size as if a window showed
    // a graph of that size (SetHeadlessWindowSize); on paper an 800 × 600 pixel window.
    int WindowWidthTwips = 0;
    int WindowHeightTwips = 0;
};

// Window size that a data display window showing a graph of that many pixels would have
// (graph plus the settings frame below it).
void SetHeadlessWindowSize(ChartState& state, int graphWidthPixels, int graphHeightPixels);

// Formatting of times and values as the display shows them.
QString FormatChartTime(const QDateTime& t, const QString& format);   // date/time format strings
QString FormatAverageText(double value);                              // as "##.##" gives it

// ---------------------------------------------------------------------------------------------
// Every text a graph drawing put on its surface, with its box in device pixels (the line box:
// the advance width by the font's line height, from the top left the text was printed at).
// A check of a drawing reads them: no two may overlap and none may leave the surface.
enum class ChartTextKind {
    Header,
    Caption,
    Footnote,
    TimeLabel,
    DateLabel,
    LastSampleLabel,
    ValueLabel,
    ZeroLabel,
    AlarmLabel,
    Message,   // "No data in the current time & date range. ..."
};
QString ChartTextKindName(ChartTextKind kind);   // "header", "time label", ...

struct ChartText {
    ChartTextKind Kind = ChartTextKind::Header;
    QString Text;
    QRectF Rect;   // device pixels of the surface
};

// The faults of a drawing's texts: one line per pair of overlapping texts and per text that
// leaves the surface of that size (device pixels). Empty when the drawing is clean.
// tolerance: pixels by which two boxes may touch (line boxes of adjacent lines share an edge).
QStringList TextLayoutFaults(const std::vector<ChartText>& texts, const QSizeF& surface, double tolerance = 0.5);

// ---------------------------------------------------------------------------------------------
// Drawing surface: a user coordinate system (ScaleLeft/Top/Width/Height; a negative height turns
// the Y axis upwards), a current position, text at the current position (top left of the text;
// afterwards CurrentX = ScaleLeft and CurrentY is one text line further), text width and height
// in user units (negative heights on an inverted scale), solid, dashed and dotted lines, line
// widths in device pixels.
enum class LineStyle { Solid, Dash, Dot };

class ChartSurface {
public:
    virtual ~ChartSurface();

    virtual bool IsPrinter() const { return false; }
    virtual bool IsLandscape() const { return false; }   // printer orientation 2
    virtual bool IsPagePart() const { return false; }    // a part of a report's page: no fold mark
    // Height used for the frame font sizes: pixels on screen and image, page height in twips on paper.
    virtual double SurfaceHeight() const;
    virtual void Clear();            // fills with white (not done on paper)

    void Scale(double left, double top, double width, double height);
    void ScalePixels();              // 0..1000 frame is set with Scale(0, 0, 1000, 1000)
    double ScaleLeft() const { return m_left; }
    double ScaleTop() const { return m_top; }
    double ScaleWidth() const { return m_width; }
    double ScaleHeight() const { return m_height; }

    double CurrentX = 0;
    double CurrentY = 0;

    void SetFont(const QString& family, double pointSize, bool italic = false);
    void SetFontSize(double pointSize);
    void SetItalic(bool italic);
    void SetForeColor(const QColor& c) { m_foreColor = c; }
    void SetDrawWidth(int devicePixels) { m_drawWidth = devicePixels < 1 ? 1 : devicePixels; }
    void SetDrawStyle(LineStyle s) { m_style = s; }
    QColor ForeColor() const { return m_foreColor; }
    int DrawWidth() const { return m_drawWidth; }
    LineStyle DrawStyle() const { return m_style; }
    const QFont& Font() const { return m_font; }

    double TextWidth(const QString& text) const;
    double TextHeight(const QString& text) const;
    // The box the text would take if printed at the current position, in device pixels.
    QRectF TextRect(const QString& text) const;
    // Prints at the current position in ForeColor and records the text with its kind. A blank
    // text is neither drawn nor recorded; the current position moves on in either case.
    void Print(const QString& text, ChartTextKind kind);
    // The texts printed since the surface was made or ForgetTexts was called.
    const std::vector<ChartText>& DrawnTexts() const { return m_texts; }
    void ForgetTexts() { m_texts.clear(); }
    // A line in the given colour; the current position moves to its end.
    void Line(double x1, double y1, double x2, double y2, const QColor& color);
    void LineTo(double x2, double y2, const QColor& color);   // from the current position
    // A filled rectangle between two corners in user coordinates (the colour may be translucent).
    void FillRect(double x1, double y1, double x2, double y2, const QColor& color);

    // Device pixels of the surface and the mapping of user coordinates to them.
    int DeviceWidth() const { return m_devW; }
    int DeviceHeight() const { return m_devH; }
    QPointF ToDevice(double x, double y) const;
    QPointF FromDevice(double px, double py) const;

protected:
    // The surface draws through a painter on a device of w × h pixels.
    void Attach(QPainter* painter, int w, int h);
    QPainter* Painter() const { return m_painter; }

private:
    QPainter* m_painter = nullptr;
    int m_devW = 0, m_devH = 0;
    double m_left = 0, m_top = 0, m_width = 1000, m_height = 1000;
    QFont m_font;
    QColor m_foreColor = Qt::black;
    int m_drawWidth = 1;
    LineStyle m_style = LineStyle::Solid;
    std::vector<ChartText> m_texts;
};

// An image target: clipboard picture, web report graph, terminal program.
class ImageSurface : public ChartSurface {
public:
    ImageSurface(int width, int height);
    ~ImageSurface() override;
    QImage& Image() { return m_image; }
    void Finish();                   // ends painting; Image() is then complete
private:
    QImage m_image;
    std::unique_ptr<QPainter> m_p;
};

// The printer (or its PDF output): paper variants of the graph (fold mark, wider lines, font
// sizes from the page height). Draws on the current page; the caller ends the document.
class PrinterSurface : public ChartSurface {
public:
    explicit PrinterSurface(QPagedPaintDevice& printer);
    // A part of a page that the caller is painting already (a report that holds the graph among
    // other parts): draws through that painter inside area (device pixels), clipped to it; the
    // font sizes follow the area's height as they follow a page's. Finish() gives the painter
    // back as it was and ends nothing.
    PrinterSurface(QPainter& painter, const QRectF& area);
    ~PrinterSurface() override;
    bool IsPrinter() const override { return true; }
    bool IsLandscape() const override { return m_landscape; }
    bool IsPagePart() const override { return m_part; }
    double SurfaceHeight() const override { return m_heightTwips; }   // page (or area) height in twips
    void Clear() override {}
    bool Ok() const { return m_ok; }          // false when the printer could not be opened
    void Finish();                            // ends the page and the document (or the area)
private:
    std::unique_ptr<QPainter> m_p;
    QPainter* m_shared = nullptr;             // the caller's painter (area surface)
    bool m_part = false;
    bool m_ok = false;
    bool m_landscape = false;
    double m_heightTwips = 0;
};

// The font family for "Arial": Arial where installed, else its metric twin Liberation Sans.
QString GraphFontFamily();

// Draws the state's last query as a time graph on the target (see ChartGraph.cpp). Updates
// YMax, YMin, TotalMinutes, SampleCount, and for a humidity header UnitText and ValueCaption.
// Afterwards target.DrawnTexts() lists every text of this drawing (earlier ones are forgotten).
void DoGraph(ChartSurface& target, ChartState& state);

// Convenience: the graph as an image of that size; texts, when given, receives the drawn texts.
QImage GraphImage(ChartState& state, int width, int height, std::vector<ChartText>* texts = nullptr);
