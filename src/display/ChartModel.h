#pragma once
// The rules of the data display window without its widgets: time window and lock, range
// buttons, logger selection, the query of each value kind, transitions only, the stored
// settings. The window (frmChart) and the terminal program drive the same class.
#include "display/ChartData.h"
#include "db/clsDatabase.h"
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <vector>

class clsDatabase;

// Lock of the time window ("don't lock", "one day", "one week", "one month").
enum class ChartLock : int { None = 0, Day = 1, Week = 2, Month = 3 };

// The time window as the four pickers hold it (display time, with seconds).
class ChartWindow {
public:
    QDateTime From;
    QDateTime To;
    ChartLock Lock = ChartLock::None;

    // The start was changed (date, time or the lock itself): the end follows the lock.
    void SetFrom(const QDateTime& from);
    // The end was changed: the start follows the lock backwards.
    void SetTo(const QDateTime& to);
    void SetLock(ChartLock lock);
    // Before a query: a start later than the end makes the end the start plus one day.
    void Normalise();
    static QDateTime Forward(const QDateTime& t, ChartLock lock);
    static QDateTime Backward(const QDateTime& t, ChartLock lock);
};

// Whether a box's text is a number as the alarm levels, Y limits and offset take it.
bool IsChartNumber(const QString& text, double* value = nullptr);

// Removes the rows inside runs of equal values; the first and last row and the first and last
// row of every run stay.
void ApplyTransitionsOnly(std::vector<ChartRow>& rows);

// The SQL text and parameters of one value kind; both bounds in stored (UTC) time, inclusive,
// to the second.
struct ChartSql {
    QString sql;
    std::vector<DbValue> params;
};
ChartSql BuildChartSql(ChartKind kind, int units, qint32 deviceId, const QDateTime& fromUtc, const QDateTime& toUtc);

// The date/time format lists of the options tab, and the offsets of the time-zone list.
QStringList ChartDateFormats();   // 16 entries, last "MMM"
QStringList ChartTimeFormats();   // 7 entries, last " " (no time)
QStringList ChartOffsetList();    // "-300" ... "300"

class ChartModel {
public:
    ChartModel();

    // What the window's controls hold (texts as typed). The window copies its widgets here before
    // calling an operation and copies them back afterwards.
    struct Inputs {
        QString PositionID;                  // txtPositionID
        ChartKind Kind = ChartKind::Samples; // cmbValues
        bool TransitionsOnly = false;        // chkTransitionsOnly
        QString AlarmMax = "80", AlarmMin = "-40";
        QString Header = "Temperature", FootNote = "Graph produced by NORDALIS";
        QString YMax = "5", YMin = "-5";
        bool KeepYScale = false, ShowAlarms = false, ShowTicks = false, ShowLines = true;
        int TimeFormatIndex = 0, DateFormatIndex = 0;
        QString TZOffset;                    // cmbTZoffset text: minutes added to UTC
    } In;
    ChartWindow Window;
    ChartState State;
    DbQueryResult QueryResult = dbQueryOk;   // of the last query (dbQueryGaveUp: it failed)

    // Where a query stopped for bad input: the control that takes the focus.
    enum class Focus { None, AlarmMax, AlarmMin };

    // Form_Load steps without widgets: settings, alarm texts, logger rows, offset. Returns the
    // number of loggers (0: the caller shows "No Loggers Found !"), or -1 when the logger query
    // failed (db.LastError() tells why).
    [[nodiscard]] int Load(clsDatabase& db);
    void SaveSettings(clsDatabase& db) const;
    void LoadSettings(clsDatabase& db);

    // Logger selection: by DeviceID; false if no such row. Sets alarms, position and header.
    bool SelectDevice(qint32 deviceId);
    // cmbValues_Click: the time/date formats follow the kind.
    void SetKind(ChartKind kind);
    // cmbTZoffset_Click: a numeric text sets TimeZoneOffset; false otherwise (nothing changes).
    bool SetOffsetText(const QString& text);
    // cmdRange_Click(0..2): false with a message when the logger has no samples.
    bool Range(int index, clsDatabase& db);

    // cmdUpdate_Click without drawing: returns false when nothing was queried (bad position or
    // alarm level, see focus); a database error leaves an empty result, QueryResult dbQueryGaveUp
    // and returns true.
    [[nodiscard]] bool Update(clsDatabase& db, Focus* focus = nullptr);

    QString TimeFormat() const;
    QString DateFormat() const;

private:
    // The kind of the last SetKind, and the formats the samples (the kinds with days) had then.
    ChartKind m_formatsKind = ChartKind::Samples;
    int m_samplesTimeFormat = 0, m_daysDateFormat = 0;
};

// The graph's formats when none is chosen (the mission report from the terminal): a padded
// 24-hour time ("hh:nn") and a padded date ("DD/MM/YY") from the lists above.
QString ChartPaddedTimeFormat();
QString ChartPaddedDateFormat();

// Rows of the logger query (devices LEFT JOIN rooms), as the window lists them. Their number, or
// -1 when the query failed (db.LastError() tells why).
[[nodiscard]] int LoadChartDevices(clsDatabase& db, ResultList& out);

// The time-span selection on the graph (the marker shpMarker), in plot coordinates: X in
// minutes since the first row. Only sets the window; "App&ly" runs the query.
struct ChartMarker {
    bool Visible = false;
    double Left = 0;     // whole minutes
    double Width = 1;
    double Top = 0;      // YMax
    double Height = 0;   // YMax - YMin
    void Hide() { Visible = false; Width = 1; }
    void MouseDown(bool leftButton, double x, const ChartState& state, ChartWindow& window);
    void MouseMove(bool leftButton, double x, const ChartState& state, ChartWindow& window);
};
