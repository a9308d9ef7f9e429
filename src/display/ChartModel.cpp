// The rules of the data display window: time window, lock, range buttons, logger selection,
// the queries of the nine value kinds, transitions only and the stored settings.
#include "display/ChartModel.h"
#include "app/UserInterface.h"
#include "display/ChartGraph.h"
#include "app/modFormat.h"
#include "app/modInternationalisation.h"
#include "app/modMain.h"
#include "db/clsDatabase.h"
#include <algorithm>
#include <cmath>
#include <functional>

bool IsChartNumber(const QString& text, double* value)
{
    bool ok = false;
    const double v = text.trimmed().toDouble(&ok);
    if (ok && value) *value = v;
    return ok;
}

namespace {

bool IsNumeric(const QString& text, double* value = nullptr) { return IsChartNumber(text, value); }

QDateTime ToUtcTime(const DbValue& v)
{
    if (v.kind() == DbValue::DateTime) {
        QDateTime t = v.toDateTime();
        t.setTimeSpec(Qt::UTC);
        return t;
    }
    return QDateTime::fromSecsSinceEpoch(v.toInt(), Qt::UTC);
}

QDateTime Naive(const QDate& d, const QTime& t) { return QDateTime(d, t, Qt::UTC); }

// Dates of the settings table are kept as "yyyy-MM-dd HH:mm:ss".
const char* const kSettingTimeFormat = "yyyy-MM-dd HH:mm:ss";
QDateTime ParseSettingTime(const QString& text)
{
    for (const char* f : {kSettingTimeFormat, "yyyy-MM-dd HH:mm", "yyyy-MM-ddTHH:mm:ss", "yyyy-MM-dd"}) {
        QDateTime t = QDateTime::fromString(text.trimmed(), QString::fromLatin1(f));
        if (t.isValid()) { t.setTimeSpec(Qt::UTC); return t; }
    }
    return QDateTime();
}

const DbRow* FindDevice(const ResultList& devices, qint32 id)
{
    for (int i = devices.firstDataRow(); i < devices.size(); ++i)
        if (devices.rows[size_t(i)].value("DeviceID").toInt() == id) return &devices.rows[size_t(i)];
    return nullptr;
}
} // namespace

// --- time window -----------------------------------------------------------------------------

QDateTime ChartWindow::Forward(const QDateTime& t, ChartLock lock)
{
    switch (lock) {
    case ChartLock::Day: return t.addDays(1);
    case ChartLock::Week: return t.addDays(7);
    case ChartLock::Month: return t.addMonths(1);
    default: return t;
    }
}

QDateTime ChartWindow::Backward(const QDateTime& t, ChartLock lock)
{
    switch (lock) {
    case ChartLock::Day: return t.addDays(-1);
    case ChartLock::Week: return t.addDays(-7);
    case ChartLock::Month: return t.addMonths(-1);
    default: return t;
    }
}

void ChartWindow::SetFrom(const QDateTime& from)
{
    From = from;
    if (Lock != ChartLock::None) To = Forward(From, Lock);
}

void ChartWindow::SetTo(const QDateTime& to)
{
    To = to;
    if (Lock != ChartLock::None) From = Backward(To, Lock);
}

void ChartWindow::SetLock(ChartLock lock)
{
    Lock = lock;
    if (Lock != ChartLock::None) To = Forward(From, Lock);
}

void ChartWindow::Normalise()
{
    if (From > To) To = From.addDays(1);
}

// --- the window's samples for the evidence -----------------------------------------------------

namespace {
// The window's samples in °C and stored time, for the kinetic mean and the excursions when the
// kind shown is an aggregate. An unreadable database leaves the list empty (no evidence shown).
void ReadCelsiusSamples(clsDatabase& db, qint32 deviceId, const QDateTime& fromUtc, const QDateTime& toUtc,
                        std::vector<EvidenceSample>& out)
{
    out.clear();
    const ChartSql q = BuildChartSql(ChartKind::Samples, 0, deviceId, fromUtc, toUtc);
    if (sqlite3* handle = db.Handle()) {
        try {
            DbStatement st(handle, q.sql);
            for (size_t i = 0; i < q.params.size(); ++i) st.bind(int(i) + 1, q.params[i]);
            while (st.step())
                if (!st.columnIsNull(1))
                    out.push_back({QDateTime::fromSecsSinceEpoch(st.columnInt(0), Qt::UTC), st.columnDouble(1)});
            return;
        } catch (const DbError&) {
            out.clear();
        }
    }
    ResultList r;
    if (db.GetRecordsBySQL(r, q.sql, false, q.params) != dbQueryOk) return;
    for (int i = r.firstDataRow(); i < r.size(); ++i) {
        const DbRow& row = r.rows[size_t(i)];
        if (row.size() >= 2 && !row.at(1).isNull()) out.push_back({ToUtcTime(row.at(0)), row.at(1).toDouble()});
    }
}
} // namespace

// --- transitions -----------------------------------------------------------------------------

void ApplyTransitionsOnly(std::vector<ChartRow>& rows)
{
    if (rows.size() < 3) return;
    std::vector<ChartRow> kept;
    kept.reserve(rows.size());
    kept.push_back(rows.front());
    for (size_t i = 1; i + 1 < rows.size(); ++i) {
        const bool inside = rows[i - 1].ValueText == rows[i].ValueText && rows[i + 1].ValueText == rows[i].ValueText;
        if (!inside) kept.push_back(rows[i]);
    }
    kept.push_back(rows.back());
    rows.swap(kept);
}

// --- queries ---------------------------------------------------------------------------------

ChartSql BuildChartSql(ChartKind kind, int units, qint32 deviceId, const QDateTime& fromUtc, const QDateTime& toUtc)
{
    const QString temp = units == 1 ? QStringLiteral("(SampleTemp *  1.8) + 32") : QStringLiteral("SampleTemp");
    ChartSql q;
    q.params = {DbValue(qint64(deviceId)), DbValue(fromUtc.toSecsSinceEpoch()), DbValue(toUtc.toSecsSinceEpoch())};
    if (kind == ChartKind::Samples || IsMktKind(kind)) {
        q.sql = "SELECT SampleDate, " + temp + " FROM samples "
                "WHERE (DeviceID = ?1) AND (SampleDate BETWEEN ?2 AND ?3) ORDER BY SampleDate";
        return q;
    }
    QString aggregate;
    if (kind == ChartKind::DailyAverages || kind == ChartKind::MonthlyAverages) aggregate = "Avg";
    else if (IsVarianceKind(kind)) aggregate = "Var";
    else if (kind == ChartKind::DailyMaximums || kind == ChartKind::MonthlyMaximums) aggregate = "Max";
    else aggregate = "Min";

    // Days and months of the stored (UTC) time. The periods that hold samples of the window are
    // listed first; each one is then a range of the primary key, so that no sorting of the
    // samples is needed. A period's rows are those of the window inside [start, next start).
    std::function<QString(const QString&)> firstOf, nextOf;
    if (IsDailyKind(kind)) {
        firstOf = [](const QString& x) { return QString("(%1 - ((%1 % 86400) + 86400) % 86400)").arg(x); };
        nextOf = [](const QString& x) { return QString("(%1 + 86400)").arg(x); };
    } else {
        firstOf = [](const QString& x) { return QString("CAST(strftime('%s', %1, 'unixepoch', 'start of month') AS INTEGER)").arg(x); };
        nextOf = [](const QString& x) { return QString("CAST(strftime('%s', %1, 'unixepoch', '+1 month') AS INTEGER)").arg(x); };
    }
    const QString window = "FROM samples WHERE DeviceID = ?1 AND SampleDate BETWEEN ?2 AND ?3";
    const QString range = "FROM samples WHERE DeviceID = ?1 AND SampleDate BETWEEN max(p, ?2) AND min(q - 1, ?3)";
    q.sql = "WITH RECURSIVE "
            "bounds(lo, hi) AS (SELECT (SELECT Min(SampleDate) " + window + "), (SELECT Max(SampleDate) " + window + ")), "
            "periods(p, q) AS (SELECT " + firstOf("lo") + ", " + nextOf(firstOf("lo")) + " FROM bounds WHERE lo IS NOT NULL "
            "UNION ALL SELECT q, " + nextOf("q") + " FROM periods, bounds WHERE q <= hi) "
            "SELECT p, (SELECT " + aggregate + "(" + temp + ") " + range + ") FROM periods "
            "WHERE EXISTS (SELECT 1 " + range + ") ORDER BY p";
    return q;
}

QStringList ChartDateFormats()
{
    return {"D/M/YY", "M/D/YY", "DD/MM/YY", "MM/DD/YY", "D/M/YYYY", "M/D/YYYY", "DD/MM/YYYY", "DDDD, DD/MM/YY",
            "DDDD, MM/DD/YY", "MM/DD/YYYY", "DD/MM", "MM/DD", "YYYY/MM/DD", "Y", "WW-W", "MMM"};
}

QStringList ChartTimeFormats() { return {"h:n", "h:na/p", "hh:nn", "hh:nn:ss", "hh:nna/p", "hh:nn:ssa/p", " "}; }

QString ChartPaddedTimeFormat() { return ChartTimeFormats().at(2); }
QString ChartPaddedDateFormat() { return ChartDateFormats().at(2); }

QStringList ChartOffsetList()
{
    return {"-300", "-240", "-180", "-120", "-60", "0", "60", "120", "180", "240", "300"};
}

int LoadChartDevices(clsDatabase& db, ResultList& out)
{
    out.clear();
    if (db.GetRecordsBySQL(out, "SELECT devices.*, rooms.* FROM devices LEFT JOIN rooms "
                                "ON ((devices.DeviceID % 100000) / 100) = rooms.RoomID", false) != dbQueryOk)
        return -1;
    return out.size() - out.firstDataRow();
}

// --- the model -------------------------------------------------------------------------------

ChartModel::ChartModel()
{
    State.TransitionsCaption = Translate("transitions only");
}

QString ChartModel::TimeFormat() const
{
    const QStringList l = ChartTimeFormats();
    return l.value(In.TimeFormatIndex, l.first());
}

QString ChartModel::DateFormat() const
{
    const QStringList l = ChartDateFormats();
    return l.value(In.DateFormatIndex, l.first());
}

void ChartModel::LoadSettings(clsDatabase& db)
{
    const QDateTime now = NowLocal();
    const QDateTime to = ParseSettingTime(db.Parameter("ChartDateTo", now.toString(kSettingTimeFormat)));
    Window.To = to.isValid() ? to : now;
    const QDateTime from = ParseSettingTime(db.Parameter("ChartDateFrom", now.addDays(-1).toString(kSettingTimeFormat)));
    Window.From = from.isValid() ? from : Window.To.addDays(-1);
    const auto index = [&](const char* name, int count) {
        const int i = db.Parameter(name, "0").trimmed().toInt();
        return i >= 0 && i < count ? i : 0;
    };
    In.TimeFormatIndex = index("ChartTimeFormat", int(ChartTimeFormats().size()));
    In.DateFormatIndex = index("ChartDateFormat", int(ChartDateFormats().size()));
    In.ShowAlarms = db.Parameter("ChartShowAlarms", "0").trimmed().toInt() != 0;
    In.ShowTicks = db.Parameter("ChartShowTicks", "0").trimmed().toInt() != 0;
    In.ShowLines = db.Parameter("ChartShowLines", "1").trimmed().toInt() != 0;
}

void ChartModel::SaveSettings(clsDatabase& db) const
{
    StoreParameter(db, "ChartDateTo", DbValue(Window.To.toString(kSettingTimeFormat)));
    StoreParameter(db, "ChartDateFrom", DbValue(Window.From.toString(kSettingTimeFormat)));
    StoreParameter(db, "ChartTimeFormat", DbValue(QString::number(In.TimeFormatIndex)));
    StoreParameter(db, "ChartDateFormat", DbValue(QString::number(In.DateFormatIndex)));
    StoreParameter(db, "ChartShowAlarms", DbValue(QString(In.ShowAlarms ? "1" : "0")));
    StoreParameter(db, "ChartShowTicks", DbValue(QString(In.ShowTicks ? "1" : "0")));
    StoreParameter(db, "ChartShowLines", DbValue(QString(In.ShowLines ? "1" : "0")));
}

int ChartModel::Load(clsDatabase& db)
{
    In.AlarmMax = FloatText(ToDisplayUnits(80));
    In.AlarmMin = FloatText(ToDisplayUnits(-40));
    LoadSettings(db);
    In.Kind = ChartKind::Samples;
    m_formatsKind = ChartKind::Samples;
    Window.Lock = ChartLock::None;
    In.Header = Translate("Temperature");
    In.FootNote = Translate("Graph produced by NORDALIS");
    const int count = LoadChartDevices(db, State.Devices);
    if (count <= 0) return count;
    State.TimeZoneOffset = App().UtcBias;
    In.TZOffset = QString::number(-State.TimeZoneOffset);
    In.PositionID = State.Devices.rows[size_t(State.Devices.firstDataRow())].value("DeviceID").toString();
    // The first logger's own position is always valid input, so the query runs; a failed query
    // shows in QueryResult.
    static_cast<void>(Update(db));
    return count;
}

bool ChartModel::SelectDevice(qint32 deviceId)
{
    const DbRow* row = FindDevice(State.Devices, deviceId);
    if (!row) return false;
    // A logger without stored levels leaves the Alarms tab as it is.
    if (!row->value("AlarmHigh").isNull()) In.AlarmMax = FloatText(ToDisplayUnits(row->value("AlarmHigh").toDouble()));
    if (!row->value("AlarmLow").isNull()) In.AlarmMin = FloatText(ToDisplayUnits(row->value("AlarmLow").toDouble()));
    In.PositionID = QString::number(deviceId);
    In.Header = row->value("SerialNo").toString() + ", " + row->value("DeviceDescription").toString();
    return true;
}

void ChartModel::SetKind(ChartKind kind)
{
    const int noTime = int(ChartTimeFormats().size()) - 1, monthOnly = int(ChartDateFormats().size()) - 1;
    // The formats chosen while the samples (a kind with days) were shown come back with them.
    if (m_formatsKind == ChartKind::Samples) m_samplesTimeFormat = In.TimeFormatIndex;
    if (!IsMonthlyKind(m_formatsKind)) m_daysDateFormat = In.DateFormatIndex;
    m_formatsKind = kind;
    In.Kind = kind;
    In.TimeFormatIndex = kind == ChartKind::Samples ? m_samplesTimeFormat : noTime;
    In.DateFormatIndex = IsMonthlyKind(kind) ? monthOnly : m_daysDateFormat;
}

bool ChartModel::SetOffsetText(const QString& text)
{
    double v = 0;
    if (!IsNumeric(text, &v)) return false;
    In.TZOffset = text;
    State.TimeZoneOffset = -qint32(std::lround(v));
    return true;
}

bool ChartModel::Range(int index, clsDatabase& db)
{
    Window.Lock = ChartLock::None;
    if (index == 0) {
        const QDate today = NowLocal().date();
        Window.From = Naive(today, QTime(0, 0, 0));
        Window.To = Naive(today, QTime(23, 59, 59));
        return true;
    }
    double id = 0;
    if (!IsNumeric(In.PositionID, &id)) return false;
    ResultList r;
    if (db.GetRecordsBySQL(r, QString("SELECT %1(SampleDate) FROM samples WHERE (DeviceID = ?)").arg(index == 1 ? "Max" : "Min"),
                           false, {DbValue(qint64(id))}) != dbQueryOk) {
        ShowMessage(db.LastError(), vbCritical, QStringLiteral("Error in Range"));
        return false;
    }
    if (r.size() <= r.firstDataRow() || r.rows[size_t(r.firstDataRow())].size() == 0 ||
        r.rows[size_t(r.firstDataRow())].at(0).isNull()) {
        ShowMessage(Translate("No readings for this logger available"), vbOKOnly, Translate("No samples found"));
        return false;
    }
    const QDateTime shown = ToUtcTime(r.rows[size_t(r.firstDataRow())].at(0)).addSecs(-qint64(State.TimeZoneOffset) * 60);
    if (index == 1) {
        Window.From = Naive(shown.date(), QTime(0, 0, 0));
        Window.To = shown;
    } else {
        Window.From = shown;
        Window.To = Naive(shown.date(), QTime(23, 59, 59));
    }
    return true;
}

bool ChartModel::Update(clsDatabase& db, Focus* focus)
{
    if (focus) *focus = Focus::None;
    Window.Normalise();
    double offset = 0;
    if (IsNumeric(In.TZOffset, &offset)) State.TimeZoneOffset = -qint32(std::lround(offset));
    double id = 0;
    if (!IsNumeric(In.PositionID, &id)) return false;

    const AppState& app = App();
    const ChartKind kind = In.Kind;
    const QString kindText = Translate(ChartKindText(kind));
    QString unitText = app.UnitLabel;
    QString caption;
    if (IsVarianceKind(kind)) {
        caption = kindText;
        unitText = app.UnitLabel + QChar(0x00B2);
    } else {
        caption = kindText + " (" + app.UnitLabel + ")";
    }

    double alarmMax = 0, alarmMin = 0;
    if (!IsNumeric(In.AlarmMax, &alarmMax)) { if (focus) *focus = Focus::AlarmMax; return false; }
    if (!IsNumeric(In.AlarmMin, &alarmMin)) { if (focus) *focus = Focus::AlarmMin; return false; }

    ChartState& s = State;
    s.Units = app.Units;
    s.UnitLabel = app.UnitLabel;
    s.UnitText = unitText;
    s.ValueCaption = caption;
    s.Kind = kind;
    s.AlarmMax = float(alarmMax);
    s.AlarmMin = float(alarmMin);
    s.GraphFootnote = In.FootNote + " " + FormatChartTime(NowLocal(), "DD/MM/YYYY hh:nn:ss");
    s.GraphHeader = In.Header;
    s.DateFormat = DateFormat();
    s.TimeFormat = TimeFormat();
    s.ShowAlarms = In.ShowAlarms;
    s.ShowTicks = In.ShowTicks;
    s.ShowLines = In.ShowLines;
    s.KeepYScale = In.KeepYScale;
    double y = 0;
    if (IsNumeric(In.YMax, &y)) s.YMax = float(y);
    if (IsNumeric(In.YMin, &y)) s.YMin = float(y);

    // The window in stored time; both bounds inclusive, to the second.
    s.DeviceID = qint32(id);
    s.WindowFrom = Window.From;
    s.WindowTo = Window.To;
    const QDateTime fromUtc = Window.From.addSecs(qint64(s.TimeZoneOffset) * 60);
    const QDateTime toUtc = Window.To.addSecs(qint64(s.TimeZoneOffset) * 60);
    if (const DbRow* row = FindDevice(s.Devices, s.DeviceID)) {
        s.SerialNo = row->value("SerialNo").toString();
        s.DeviceDescription = row->value("DeviceDescription").toString();
        s.RoomDescription = row->value("RoomDescription").toString();
        s.LoggerAlarmHighC.reset();
        s.LoggerAlarmLowC.reset();
        if (!row->value("AlarmHigh").isNull()) s.LoggerAlarmHighC = row->value("AlarmHigh").toDouble();
        if (!row->value("AlarmLow").isNull()) s.LoggerAlarmLowC = row->value("AlarmLow").toDouble();
    } else {
        s.SerialNo.clear();
        s.DeviceDescription.clear();
        s.RoomDescription.clear();
        s.LoggerAlarmHighC.reset();
        s.LoggerAlarmLowC.reset();
    }

    const ChartSql q = BuildChartSql(kind, s.Units, s.DeviceID, fromUtc, toUtc);
    BusyCursor busy;
    s.Samples.clear();
    const bool textValues = IsTextValueKind(kind);
    const qint64 shift = -qint64(s.TimeZoneOffset) * 60;
    const auto add = [&](qint64 secs, bool null, double value) {
        // A period without a value (the variance of a single sample) has no row: it has nothing
        // to draw or export.
        if (null) return;
        ChartRow cr;
        cr.Time = QDateTime::fromSecsSinceEpoch(secs, Qt::UTC);
        cr.DisplayTime = QDateTime::fromSecsSinceEpoch(secs + shift, Qt::UTC);
        if (textValues) {
            cr.ValueText = FormatAverageText(value);
            cr.Value = cr.ValueText == "." || cr.ValueText == "-." ? 0 : cr.ValueText.toDouble();
        } else {
            cr.Value = value;
            // Celsius values are the stored single floats; Fahrenheit ones are computed.
            cr.ValueText = s.Units == 1 ? Format(value, "General Number") : FloatText(value);
        }
        s.Samples.push_back(std::move(cr));
    };
    // Rows are read straight from the statement (a window can hold a year of one-minute samples);
    // when that fails (the file busy, say) the database layer's query with its retries takes over.
    QueryResult = dbQueryOk;
    bool read = false;
    if (sqlite3* handle = db.Handle()) {
        try {
            DbStatement st(handle, q.sql);
            for (size_t i = 0; i < q.params.size(); ++i) st.bind(int(i) + 1, q.params[i]);
            while (st.step()) add(st.columnInt(0), st.columnIsNull(1), st.columnIsNull(1) ? 0 : st.columnDouble(1));
            read = true;
        } catch (const DbError&) {
            s.Samples.clear();
        }
    }
    if (!read) {
        ResultList r;
        QueryResult = db.GetRecordsBySQL(r, q.sql, false, q.params);
        for (int i = r.firstDataRow(); i < r.size(); ++i) {
            const DbRow& row = r.rows[size_t(i)];
            if (row.size() >= 2) add(ToUtcTime(row.at(0)).toSecsSinceEpoch(), row.at(1).isNull(), row.at(1).toDouble());
        }
    }
    // The kinetic mean and the excursions of the window's samples, whatever kind is shown.
    const double activationK = MktActivationK(db);
    std::vector<EvidenceSample> celsius;
    if (kind == ChartKind::Samples || IsMktKind(kind)) {
        celsius.reserve(s.Samples.size());
        for (const ChartRow& r : s.Samples) celsius.push_back({r.Time, s.Units == 1 ? DisplayToCelsius(r.Value, 1) : r.Value});
    } else {
        ReadCelsiusSamples(db, s.DeviceID, fromUtc, toUtc, celsius);
    }
    ComputeChartEvidence(s, celsius, activationK);
    if (IsMktKind(kind)) {
        std::vector<ChartRow> means;
        for (const MktRow& m : MktOfState(s, MktPeriodOf(kind), activationK)) {
            ChartRow cr;
            cr.DisplayTime = m.DisplayTime;
            cr.Time = m.DisplayTime.addSecs(-shift);
            cr.Value = m.Value;
            cr.ValueText = QString::number(m.Value, 'f', 2);
            means.push_back(std::move(cr));
        }
        s.Samples.swap(means);
    }

    s.TransitionsOnly = In.TransitionsOnly && !IsMktKind(kind);
    if (s.TransitionsOnly) {
        ApplyTransitionsOnly(s.Samples);
        s.ValueCaption += ", " + s.TransitionsCaption;
    }
    return true;
}

// --- selection on the graph and layout -------------------------------------------------------

void ChartMarker::MouseDown(bool leftButton, double x, const ChartState& s, ChartWindow& w)
{
    if (!leftButton || x <= 0 || s.Samples.size() < 2) {
        Hide();
        return;
    }
    Left = std::round(x);
    Top = s.YMax;
    Height = double(s.YMax) - double(s.YMin);
    Width = 1;
    w.From = s.Samples.front().DisplayTime.addSecs(qint64(Left) * 60);
    Visible = true;
}

void ChartMarker::MouseMove(bool leftButton, double x, const ChartState& s, ChartWindow& w)
{
    if (!leftButton || s.Samples.size() < 2) return;
    x = std::clamp(x, 0.0, double(s.TotalMinutes));
    w.Lock = ChartLock::None;
    const double width = x - Left;
    if (width <= 0) {
        MouseDown(true, x, s, w);
        return;
    }
    Width = width;
    w.To = s.Samples.front().DisplayTime.addSecs(qint64(std::round(Left + Width)) * 60);
}
