// The mission report: the facts of one logger and period gathered from the database, then laid
// out on A4 pages twice - once to count the pages, once to paint them with "page N of M".
#include "reports/MissionReport.h"
#include "app/modInternationalisation.h"
#include "app/modMain.h"
#include "db/AuditTrail.h"
#include "db/MissionEvidence.h"
#include "db/clsDatabase.h"
#include "display/ChartData.h"
#include "display/ChartGraph.h"
#include "display/ChartModel.h"
#include "display/Evidence.h"
#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>
#include <algorithm>
#include <cmath>
#include <functional>
#include <optional>

namespace {

// --- the facts -------------------------------------------------------------------------------

struct ReadingFact {
    QDateTime ReadUtc, StoredUtc;
    QString Operator, Computer, File;
    qint64 Samples = 0;
};

struct ReportFacts {
    qint32 DeviceID = 0;
    qint32 Site = 0, Room = 0, Position = 0;
    QString SiteName, Compartment, Serial, Description, LoggerType;
    // The devices row: the logger's last reading.
    int SampleRate = 0;
    std::optional<double> HighC, LowC;
    bool RollOver = false, Running = false;
    qint64 MissionSamples = 0;
    QDateTime DateReadLocal;
    QString RecordUser;
    QDateTime MissionStartUtc;
    bool MissionStartFromLog = false;   // from the stored figures of the mission; else reckoned
    // The period.
    QDateTime FromUtc, ToUtc;
    qint32 Offset = 0;                  // stored = display + Offset minutes
    std::vector<EvidenceSample> Samples;
    double ActivationK = kDefaultMktActivationK;
    ExcursionSummary Excursions;
    std::vector<StoredMissionEvidence> Evidence;
    std::vector<ReadingFact> Readings;
    bool ReadingsKnown = false;         // the database has the table of the readings
    QDateTime MadeLocal;
    QString MadeBy, MadeOn;
};

QDateTime utcOf(const QString& isoText)
{
    QDateTime t = QDateTime::fromString(isoText, Qt::ISODate);
    if (!t.isValid()) return {};
    t = t.toUTC();
    t.setTimeSpec(Qt::UTC);
    return t;
}

QString loggerType(clsDatabase& db, const QString& serial)
{
    const QString steps = serial.trimmed().isEmpty()
        ? QString() : db.Parameter(LoggerStepsParameterName(serial.trimmed()), QString()).trimmed();
    // A step in the display unit: a difference, so 1 K is 1.8 °F.
    const auto step = [](double kelvin) {
        return QString::number(App().Units == 1 ? kelvin * 1.8 : kelvin, 'g', 4) + " " + App().UnitLabel;
    };
    if (steps == QLatin1String("0.5")) return "DS1921G (" + Translate("steps of %1").arg(step(0.5)) + ")";
    if (steps == QLatin1String("0.125")) return "DS1921H / DS1921Z (" + Translate("steps of %1").arg(step(0.125)) + ")";
    return "DS1921 (" + Translate("steps not known") + ")";
}

// Throws DbError. False when the logger is unknown.
bool gather(clsDatabase& db, const MissionReportRequest& rq, ReportFacts& f)
{
    sqlite3* handle = db.Handle();
    if (!handle) throw db.OpenError();
    f.DeviceID = rq.DeviceID;
    DeviceIDToLocRoomPos(rq.DeviceID, f.Site, f.Room, f.Position);
    f.SiteName = App().LocationID == f.Site ? App().LocationDescr : QString();
    {
        DbStatement st(handle, QStringLiteral(
            "SELECT d.SerialNo, d.DeviceDescription, d.DateRead, d.SampleRate, d.AlarmHigh, d.AlarmLow, "
            "d.MissionSamples, d.RollOver, d.MissionRunning, d.\"User\", r.RoomDescription FROM devices d "
            "LEFT JOIN rooms r ON r.RoomID = (d.DeviceID % 100000) / 100 WHERE d.DeviceID = ?"));
        st.bindInt(1, rq.DeviceID);
        if (!st.step()) return false;
        f.Serial = st.columnText(0);
        f.Description = st.columnText(1);
        f.DateReadLocal = st.columnIsNull(2) ? QDateTime() : st.column(2).toDateTime();
        f.SampleRate = int(st.columnInt(3));
        if (!st.columnIsNull(4)) f.HighC = st.columnDouble(4);
        if (!st.columnIsNull(5)) f.LowC = st.columnDouble(5);
        f.MissionSamples = st.columnInt(6);
        f.RollOver = st.columnInt(7) != 0;
        f.Running = st.columnInt(8) != 0;
        f.RecordUser = st.columnText(9);
        f.Compartment = st.columnText(10);
    }
    f.LoggerType = loggerType(db, f.Serial);
    f.Offset = rq.TimeZoneOffset;
    f.FromUtc = rq.From.addSecs(qint64(rq.TimeZoneOffset) * 60);
    f.ToUtc = rq.To.addSecs(qint64(rq.TimeZoneOffset) * 60);
    {
        DbStatement st(handle, QStringLiteral("SELECT SampleDate, SampleTemp FROM samples WHERE DeviceID = ? AND "
                                              "SampleDate >= ? AND SampleDate <= ? ORDER BY SampleDate"));
        st.bindInt(1, rq.DeviceID);
        st.bindInt(2, ToEpochSeconds(f.FromUtc));
        st.bindInt(3, ToEpochSeconds(f.ToUtc));
        while (st.step()) f.Samples.push_back({FromEpochSeconds(st.columnInt(0)), st.columnDouble(1)});
    }
    f.ActivationK = MktActivationK(db);
    if (f.HighC && f.LowC) f.Excursions = FindExcursions(f.Samples, *f.LowC, *f.HighC);
    f.Evidence = MissionEvidenceForWindow(db, rq.DeviceID, f.FromUtc, f.ToUtc);
    if (!f.Evidence.empty()) {
        // The figures of the period's latest mission.
        const StoredMissionEvidence& e = f.Evidence.back();
        f.MissionStartUtc = e.MissionStartUtc;
        f.MissionStartFromLog = true;
        f.SampleRate = e.SampleRateMinutes;
        f.MissionSamples = e.MissionSamples;
        f.RollOver = e.RollOver;
    } else if (f.MissionSamples > 0 && f.SampleRate > 0) {
        // The first sample of the mission: the last sample stored, less the mission's other samples.
        DbStatement st(handle, QStringLiteral("SELECT MAX(SampleDate) FROM samples WHERE DeviceID = ?"));
        st.bindInt(1, rq.DeviceID);
        if (st.step() && !st.columnIsNull(0))
            f.MissionStartUtc = FromEpochSeconds(st.columnInt(0) - (f.MissionSamples - 1) * qint64(f.SampleRate) * 60);
    }
    f.ReadingsKnown = HasTable(handle, "readingfiles");
    if (f.ReadingsKnown) {
        DbStatement st(handle, QStringLiteral(
            "SELECT f.ReadingUTC, a.TimeUTC, a.Operator, a.Computer, f.FileName, f.SampleCount FROM readingfiles f "
            "LEFT JOIN audit a ON a.AuditID = f.AuditID WHERE f.DeviceID = ? AND f.SampleCount > 0 AND "
            "f.LastSample >= ? AND f.FirstSample <= ? ORDER BY f.ReadingUTC, f.AuditID"));
        st.bindInt(1, rq.DeviceID);
        st.bindInt(2, ToEpochSeconds(f.FromUtc));
        st.bindInt(3, ToEpochSeconds(f.ToUtc));
        while (st.step())
            f.Readings.push_back({utcOf(st.columnText(0)), utcOf(st.columnText(1)), st.columnText(2), st.columnText(3),
                                  st.columnText(4), st.columnInt(5)});
    }
    f.MadeLocal = NowLocal();
    f.MadeBy = App().CurrentUserName;
    f.MadeOn = App().ComputerName;
    return true;
}

// --- texts -----------------------------------------------------------------------------------

QString unit() { return App().UnitLabel; }
double shown(double celsius) { return double(ToDisplayUnits(celsius)); }

// A temperature in the display unit: at least one decimal, up to three where the value has them.
QString tempNumber(double displayValue)
{
    const double v = QString::number(displayValue, 'f', 3).toDouble();
    for (int d = 1; d < 3; ++d)
        if (std::abs(v * std::pow(10, d) - std::round(v * std::pow(10, d))) < 1e-6) return QString::number(v, 'f', d);
    return QString::number(v, 'f', 3);
}
// Between a number and its unit a space no line breaks at.
const QChar kNbsp(0x00A0);
QString tempText(double celsius) { return tempNumber(shown(celsius)) + kNbsp + unit(); }
QString fixedTemp(double celsius) { return QString::number(shown(celsius), 'f', 2) + kNbsp + unit(); }
QString minutesText(double minutes) { return QString::number(std::llround(minutes)) + kNbsp + "min"; }
QString percentText(double percent) { return QString::number(percent, 'f', 2) + kNbsp + "%"; }

QString durationText(double minutes)
{
    const qint64 m = std::llround(minutes);
    const qint64 d = m / 1440, h = (m % 1440) / 60, mi = m % 60;
    QStringList parts;
    if (d) parts << QString::number(d) + kNbsp + "d";
    if (h) parts << QString::number(h) + kNbsp + "h";
    if (mi || parts.isEmpty()) parts << minutesText(double(mi));
    return parts.join(' ');
}

class Texts {
public:
    explicit Texts(const ReportFacts& f) : m_f(f) {}
    QString Time(const QDateTime& utc) const
    {
        return utc.isValid() ? utc.addSecs(-qint64(m_f.Offset) * 60).toString("yyyy-MM-dd HH:mm") : QString("-");
    }
    QString Local(const QDateTime& local) const { return local.isValid() ? Time(LocalToUtc(local)) : QString("-"); }
    QString Zone() const
    {
        const int east = -m_f.Offset;
        return QString("UTC%1%2:%3").arg(east < 0 ? '-' : '+').arg(std::abs(east) / 60, 2, 10, QChar('0'))
            .arg(std::abs(east) % 60, 2, 10, QChar('0'));
    }
    QString Site() const { return (QString::number(m_f.Site) + " " + m_f.SiteName).trimmed(); }
    QString Compartment() const { return (QString::number(m_f.Room) + " " + m_f.Compartment).trimmed(); }
    QString Position() const { return FormatDeviceID(m_f.DeviceID); }

private:
    const ReportFacts& m_f;
};

// --- pages -----------------------------------------------------------------------------------

struct Column {
    QString Title;
    double WidthMm;
    Qt::Alignment Align = Qt::AlignLeft;
};

// The page flow: a body between the head and the foot of each page, the current height in it,
// a new page when the next part does not fit. The dry run (no painter) only counts pages.
class Pages {
public:
    Pages(QPdfWriter& writer, QPainter* painter, int totalPages, std::function<void(Pages&)> head)
        : m_writer(writer), m_p(painter), m_total(totalPages), m_head(std::move(head))
    {
        m_family = GraphFontFamily();
    }

    double mm(double v) const { return v * m_writer.resolution() / 25.4; }
    double Left() const { return mm(18); }
    double Width() const { return mm(174); }
    double Top() const { return mm(27); }
    double Bottom() const { return mm(279); }
    double PageWidth() const { return mm(210); }
    QPainter* Painter() const { return m_p; }
    int Page() const { return m_page; }
    int Total() const { return m_total; }
    double y = 0;

    QFont Font(double pt, bool bold = false, bool italic = false) const
    {
        QFont f(m_family);
        f.setStyleHint(QFont::SansSerif);
        f.setPointSizeF(pt);
        f.setBold(bold);
        f.setItalic(italic);
        return f;
    }
    double LineHeight(const QFont& font) const { return QFontMetricsF(font, &m_writer).height(); }
    double TextWidth(const QFont& font, const QString& text) const { return QFontMetricsF(font, &m_writer).horizontalAdvance(text); }
    // Height of a text wrapped to width.
    double Height(const QFont& font, double width, const QString& text) const
    {
        const QRectF r = QFontMetricsF(font, &m_writer).boundingRect(QRectF(0, 0, width, 1e6), Qt::TextWordWrap, text);
        return std::max(r.height(), LineHeight(font));
    }
    void Text(const QRectF& box, const QFont& font, const QString& text, int flags = Qt::AlignLeft | Qt::AlignTop,
              const QColor& color = Qt::black)
    {
        if (!m_p) return;
        m_p->setFont(font);
        m_p->setPen(color);
        m_p->drawText(box, flags | Qt::TextWordWrap, text);
    }
    void Rule(double x1, double x2, double at, double widthMm = 0.2, const QColor& color = QColor(90, 90, 90))
    {
        if (!m_p) return;
        m_p->setPen(QPen(color, mm(widthMm)));
        m_p->drawLine(QPointF(x1, at), QPointF(x2, at));
    }
    void Fill(const QRectF& r, const QColor& c)
    {
        if (m_p) m_p->fillRect(r, c);
    }

    void Begin()
    {
        m_page = 1;
        y = Top();
        m_head(*this);
    }
    // Starts a new page unless height fits below the current position.
    bool Room(double height)
    {
        if (y + height <= Bottom()) return false;
        NewPage();
        return true;
    }
    void NewPage()
    {
        if (m_p) m_writer.newPage();
        ++m_page;
        y = Top();
        m_head(*this);
    }

private:
    QPdfWriter& m_writer;
    QPainter* m_p;
    int m_total;
    std::function<void(Pages&)> m_head;
    QString m_family;
    int m_page = 0;
};

class Layout {
public:
    Layout(const ReportFacts& f, ChartState& graph, Pages& pages) : m_f(f), m_graph(graph), m_pg(pages), m_t(f) {}

    void Run()
    {
        m_pg.Begin();
        Title();
        // The labels of the blocks one above the other line up.
        const Rows logger = LoggerRows(), mission = MissionRows(), period = PeriodRows(), range = RangeRows();
        Rows left = logger, right = mission;
        left.insert(left.end(), period.begin(), period.end());
        right.insert(right.end(), range.begin(), range.end());
        m_labelLeft = LabelWidth(left, ColumnWidth(false));
        m_labelRight = LabelWidth(right, ColumnWidth(true));
        TwoColumns(Translate("Logger"), logger, Translate("Mission"), mission);
        TwoColumns(Translate("The period"), period, Translate("Mean kinetic temperature and range"), range);
        Graph();
        Excursions();
        AlarmLog();
        Readings();
        Review();
    }

private:
    using Rows = std::vector<std::pair<QString, QString>>;

    QFont Body() const { return m_pg.Font(9); }
    QFont BodyBold() const { return m_pg.Font(9, true); }
    QFont Small() const { return m_pg.Font(8); }
    QFont Heading() const { return m_pg.Font(11, true); }

    void Gap(double mmValue) { m_pg.y += m_pg.mm(mmValue); }

    void Title()
    {
        const QFont big = m_pg.Font(16, true);
        m_pg.Text(QRectF(m_pg.Left(), m_pg.y, m_pg.Width(), m_pg.LineHeight(big)), big, Translate("Mission report"));
        m_pg.y += m_pg.LineHeight(big);
        const QString period = Translate("period %1 to %2 (times %3)")
                                   .arg(m_t.Time(m_f.FromUtc), m_t.Time(m_f.ToUtc), m_t.Zone());
        m_pg.Text(QRectF(m_pg.Left(), m_pg.y, m_pg.Width(), m_pg.LineHeight(Body()) * 2), Body(), period);
        m_pg.y += m_pg.Height(Body(), m_pg.Width(), period);
        Gap(4);
    }

    void SectionHeading(const QString& text, double x, double width)
    {
        const double h = m_pg.LineHeight(Heading());
        m_pg.Text(QRectF(x, m_pg.y, width, h), Heading(), text);
        m_pg.Rule(x, x + width, m_pg.y + h + m_pg.mm(0.6), 0.3, QColor(40, 40, 40));
    }
    double HeadingHeight() const { return m_pg.LineHeight(m_pg.Font(11, true)) + m_pg.mm(2.2); }

    // The labels take the width of the longest (at most 58 % of the column), the values the rest.
    double LabelWidth(const Rows& rows, double width) const
    {
        double w = 0;
        for (const auto& r : rows) w = std::max(w, m_pg.TextWidth(Body(), r.first));
        return std::min(w + m_pg.mm(5), width * 0.58);
    }
    // The right column, with the longer labels and values, is the wider one.
    double ColumnWidth(bool right) const { return right ? m_pg.mm(92) : m_pg.Width() - m_pg.mm(92 + 6); }
    // Label and value pairs in a column of that width; returns the height used.
    double PairsHeight(const Rows& rows, double width, double labelW) const
    {
        const double valueW = width - labelW;
        double h = 0;
        for (const auto& r : rows)
            h += std::max(m_pg.Height(Body(), labelW - m_pg.mm(2), r.first), m_pg.Height(BodyBold(), valueW, r.second)) + m_pg.mm(0.8);
        return h;
    }
    void Pairs(const Rows& rows, double x, double width, double labelW, double top)
    {
        const double valueW = width - labelW;
        double y = top;
        for (const auto& r : rows) {
            const double h = std::max(m_pg.Height(Body(), labelW - m_pg.mm(2), r.first), m_pg.Height(BodyBold(), valueW, r.second));
            m_pg.Text(QRectF(x, y, labelW - m_pg.mm(2), h), Body(), r.first, Qt::AlignLeft | Qt::AlignTop, QColor(70, 70, 70));
            m_pg.Text(QRectF(x + labelW, y, valueW, h), BodyBold(), r.second);
            y += h + m_pg.mm(0.8);
        }
    }

    void TwoColumns(const QString& leftTitle, const Rows& left, const QString& rightTitle, const Rows& right)
    {
        const double wl = ColumnWidth(false), wr = ColumnWidth(true);
        const double xr = m_pg.Left() + m_pg.Width() - wr;
        const double h = std::max(PairsHeight(left, wl, m_labelLeft), PairsHeight(right, wr, m_labelRight));
        m_pg.Room(HeadingHeight() + h);
        SectionHeading(leftTitle, m_pg.Left(), wl);
        SectionHeading(rightTitle, xr, wr);
        m_pg.y += HeadingHeight();
        Pairs(left, m_pg.Left(), wl, m_labelLeft, m_pg.y);
        Pairs(right, xr, wr, m_labelRight, m_pg.y);
        m_pg.y += h;
        Gap(4);
    }

    Rows LoggerRows() const
    {
        return {{Translate("site"), m_t.Site()},
                {Translate("compartment"), m_t.Compartment()},
                {Translate("position"), m_t.Position()},
                {Translate("logger serial number"), m_f.Serial.isEmpty() ? QString("-") : m_f.Serial},
                {Translate("logger type"), m_f.LoggerType},
                {Translate("description"), m_f.Description.isEmpty() ? QString("-") : m_f.Description}};
    }

    Rows MissionRows() const
    {
        QString start = m_t.Time(m_f.MissionStartUtc);
        if (m_f.MissionStartUtc.isValid() && !m_f.MissionStartFromLog) start += " (" + Translate("reckoned from the samples") + ")";
        const QString none = Translate("not set");
        return {{Translate("mission start"), m_f.MissionStartUtc.isValid() ? start : Translate("not known")},
                {Translate("sample rate"), m_f.SampleRate > 0 ? minutesText(m_f.SampleRate) : Translate("not known")},
                {Translate("alarm level high"), m_f.HighC ? tempText(*m_f.HighC) : none},
                {Translate("alarm level low"), m_f.LowC ? tempText(*m_f.LowC) : none},
                {Translate("rollover"), m_f.RollOver ? Translate("on") : Translate("off")},
                {Translate("mission samples"), QString::number(m_f.MissionSamples)},
                {Translate("last reading"), m_t.Local(m_f.DateReadLocal) + (m_f.Running ? "" : ", " + Translate("mission stopped"))}};
    }

    Rows PeriodRows() const
    {
        if (m_f.Samples.empty())
            return {{Translate("samples"), Translate("none stored for this period")}};
        double lo = m_f.Samples.front().Celsius, hi = lo, sum = 0;
        for (const EvidenceSample& s : m_f.Samples) {
            lo = std::min(lo, s.Celsius);
            hi = std::max(hi, s.Celsius);
            sum += s.Celsius;
        }
        return {{Translate("first sample"), m_t.Time(m_f.Samples.front().Time)},
                {Translate("last sample"), m_t.Time(m_f.Samples.back().Time)},
                {Translate("samples"), QString::number(m_f.Samples.size())},
                {Translate("minimum"), tempText(lo)},
                {Translate("maximum"), tempText(hi)},
                {Translate("mean"), fixedTemp(sum / double(m_f.Samples.size()))}};
    }

    Rows RangeRows() const
    {
        double mkt = 0;
        const bool hasMkt = MeanKineticTemperature(m_f.Samples, m_f.ActivationK, mkt);
        const QString k = QString::number(m_f.ActivationK, 'f', 0) + " K";
        Rows rows{{Translate("mean kinetic temperature"), hasMkt ? fixedTemp(mkt) : QString("-")},
                  {Translate("activation energy") + " " + QChar(0x0394) + "H/R", m_f.ActivationK == kDefaultMktActivationK
                                                            ? k + " (" + Translate("default") + ")"
                                                            : k + " (" + Translate("set for this site") + ")"}};
        if (!m_f.HighC || !m_f.LowC) {
            rows.push_back({Translate("time in range"), Translate("no alarm levels stored")});
            return rows;
        }
        rows.push_back({Translate("range"), Translate("%1 to %2").arg(tempText(*m_f.LowC), tempText(*m_f.HighC))});
        if (m_f.Samples.empty()) {
            rows.push_back({Translate("time in range"), Translate("none stored for this period")});
            return rows;
        }
        const ExcursionSummary& x = m_f.Excursions;
        const double in = x.MinutesInWindow - x.MinutesWithoutSamples - x.MinutesOutOfRange;
        const double outShare = x.MinutesInWindow > 0 ? 100.0 - x.ShareInRangePercent : 0;
        int high = 0;
        for (const Excursion& e : x.Runs) high += e.High ? 1 : 0;
        rows.push_back({Translate("time in range"), durationText(in) + " (" + percentText(x.ShareInRangePercent) + ")"});
        rows.push_back({Translate("time out of range"), durationText(x.MinutesOutOfRange) + " (" + percentText(outShare) + ")"});
        rows.push_back({Translate("excursions"), Translate("%1 (%2 high, %3 low)").arg(x.Runs.size()).arg(high)
                                                     .arg(int(x.Runs.size()) - high)});
        if (!x.Gaps.empty()) rows.push_back(GapsRow(x));
        return rows;
    }

    // "no samples for 1 d 15 h in 1 gap(s)", then each gap (the first few): the time between
    // samples that is neither in nor out of range.
    std::pair<QString, QString> GapsRow(const ExcursionSummary& x) const
    {
        constexpr size_t kGapsListed = 4;
        QStringList gaps;
        for (size_t i = 0; i < x.Gaps.size() && i < kGapsListed; ++i)
            gaps << Translate("%1 to %2").arg(m_t.Time(x.Gaps[i].Start), m_t.Time(x.Gaps[i].End));
        if (x.Gaps.size() > kGapsListed) gaps << QString(QChar(0x2026));
        return {Translate("without samples"), Translate("no samples for %1 in %2 gap(s)").arg(durationText(x.MinutesWithoutSamples))
                                                  .arg(x.Gaps.size()) + ": " + gaps.join("; ")};
    }

    void Graph()
    {
        const double h = m_pg.mm(92);
        m_pg.Room(HeadingHeight() + h);
        SectionHeading(Translate("Graph of the period"), m_pg.Left(), m_pg.Width());
        m_pg.y += HeadingHeight();
        if (QPainter* p = m_pg.Painter()) {
            PrinterSurface surface(*p, QRectF(m_pg.Left(), m_pg.y, m_pg.Width(), h));
            DoGraph(surface, m_graph);
            surface.Finish();
        }
        m_pg.y += h;
        Gap(5);
    }

    // A table under its heading; the heading, the column titles and the first row stay together,
    // and a table that runs over the page continues under both on the next.
    void Table(const QString& heading, const QString& note, const std::vector<Column>& cols,
               const std::vector<QStringList>& rows, const QString& emptyText)
    {
        const QFont cell = m_pg.Font(8.5), head = m_pg.Font(8.5, true);
        const double pad = m_pg.mm(1.2);
        const auto rowHeight = [&](const QStringList& r, const QFont& font) {
            double h = 0;
            for (size_t c = 0; c < cols.size(); ++c)
                h = std::max(h, m_pg.Height(font, m_pg.mm(cols[c].WidthMm) - 2 * pad, r.value(int(c))));
            return h + 2 * pad;
        };
        QStringList titles;
        for (const Column& c : cols) titles << c.Title;
        const double titleH = rowHeight(titles, head);
        const double noteH = note.isEmpty() ? 0 : m_pg.Height(Small(), m_pg.Width(), note) + m_pg.mm(1.5);
        const auto headingAndTitles = [&](bool continued) {
            SectionHeading(continued ? heading + " (" + Translate("continued") + ")" : heading, m_pg.Left(), m_pg.Width());
            m_pg.y += HeadingHeight();
            if (!continued && !note.isEmpty()) {
                m_pg.Text(QRectF(m_pg.Left(), m_pg.y, m_pg.Width(), noteH), Small(), note, Qt::AlignLeft | Qt::AlignTop,
                          QColor(70, 70, 70));
                m_pg.y += noteH;
            }
            if (rows.empty()) return;
            drawRow(titles, head, titleH, true, cols, pad);
        };
        const double first = rows.empty() ? m_pg.LineHeight(Body()) : rowHeight(rows.front(), cell);
        m_pg.Room(HeadingHeight() + noteH + (rows.empty() ? 0 : titleH) + first);
        headingAndTitles(false);
        if (rows.empty()) {
            m_pg.Text(QRectF(m_pg.Left(), m_pg.y, m_pg.Width(), m_pg.Height(Body(), m_pg.Width(), emptyText)), Body(), emptyText);
            m_pg.y += m_pg.Height(Body(), m_pg.Width(), emptyText);
            Gap(5);
            return;
        }
        for (size_t i = 0; i < rows.size(); ++i) {
            const double h = rowHeight(rows[i], cell);
            if (m_pg.Room(h)) headingAndTitles(true);
            if (i % 2 == 1) m_pg.Fill(QRectF(m_pg.Left(), m_pg.y, m_pg.Width(), h), QColor(244, 244, 244));
            drawRow(rows[i], cell, h, false, cols, pad);
        }
        m_pg.Rule(m_pg.Left(), m_pg.Left() + m_pg.Width(), m_pg.y, 0.2);
        Gap(5);
    }

    void drawRow(const QStringList& r, const QFont& font, double h, bool titles, const std::vector<Column>& cols, double pad)
    {
        if (titles) m_pg.Fill(QRectF(m_pg.Left(), m_pg.y, m_pg.Width(), h), QColor(225, 225, 225));
        double x = m_pg.Left();
        for (size_t c = 0; c < cols.size(); ++c) {
            const double w = m_pg.mm(cols[c].WidthMm);
            m_pg.Text(QRectF(x + pad, m_pg.y + pad, w - 2 * pad, h - 2 * pad), font, r.value(int(c)),
                      int(cols[c].Align | Qt::AlignTop));
            x += w;
        }
        m_pg.y += h;
        if (titles) m_pg.Rule(m_pg.Left(), m_pg.Left() + m_pg.Width(), m_pg.y, 0.25, QColor(40, 40, 40));
    }

    void Excursions()
    {
        const QString dm = unit() + QString(QChar(0x00B7)) + "min";
        const std::vector<Column> cols{{Translate("no."), 10, Qt::AlignRight},
                                       {Translate("type"), 16},
                                       {Translate("start"), 31},
                                       {Translate("end"), 31},
                                       {Translate("duration"), 26, Qt::AlignRight},
                                       {Translate("peak"), 26, Qt::AlignRight},
                                       {Translate("degree-minutes"), 34, Qt::AlignRight}};
        std::vector<QStringList> rows;
        const double factor = App().Units == 1 ? 1.8 : 1.0;   // a difference of 1 K is 1.8 °F
        int n = 0;
        bool fromBefore = false;
        for (const Excursion& e : m_f.Excursions.Runs) {
            fromBefore = fromBefore || e.FromBefore;
            const QString start = m_t.Time(e.Start) + (e.FromBefore ? "\n" + Translate("(from before)") : QString());
            rows.push_back({QString::number(++n), e.High ? Translate("high") : Translate("low"), start,
                            e.End.isValid() ? m_t.Time(e.End) : Translate("still open"),
                            minutesText(e.DurationMinutes), tempText(e.PeakCelsius),
                            QString::number(e.DegreeMinutes * factor, 'f', 1) + kNbsp + dm});
        }
        QString note;
        if (m_f.HighC && m_f.LowC)
            note = Translate("Runs of samples above %1 or below %2. Start: the first sample outside; end: the first sample "
                             "back inside (\"still open\": still outside at the end of the period).")
                       .arg(tempText(*m_f.HighC), tempText(*m_f.LowC));
        if (fromBefore)
            note += " " + Translate("(from before)") + ": " + Translate("already outside at the start of the period") + ".";
        const QString empty = m_f.HighC && m_f.LowC ? Translate("No sample of the period lies outside the alarm levels.")
                                                    : Translate("The logger has no alarm levels stored.");
        Table(Translate("Excursions beyond the alarm levels"), note, cols, rows, empty);
    }

    // An entry the rolled-over data log no longer held may still be stored from an earlier
    // reading: then its samples are in the database and the remark says so.
    QString remarkOf(const AlarmLogEntry& a) const
    {
        if (!a.overwritten) return QString();
        const auto first = std::lower_bound(m_f.Samples.begin(), m_f.Samples.end(), a.start,
                                             [](const EvidenceSample& e, const QDateTime& t) { return e.Time < t; });
        const bool stored = a.start.isValid() && first != m_f.Samples.end() && (!a.end.isValid() || first->Time < a.end);
        return stored ? Translate("overwritten on the logger, stored earlier") : Translate("overwritten in the data log");
    }

    void AlarmLog()
    {
        const std::vector<Column> cols{{Translate("mission start"), 31},
                                       {Translate("type"), 16},
                                       {Translate("start"), 31},
                                       {Translate("end"), 31},
                                       {Translate("duration"), 24, Qt::AlignRight},
                                       {Translate("remark"), 41}};
        std::vector<std::pair<QDateTime, QStringList>> entries;   // in the order of their start
        QStringList unread;
        for (const StoredMissionEvidence& m : m_f.Evidence) {
            if (!m.AlarmLogRead) {
                unread << m_t.Time(m.MissionStartUtc);
                continue;
            }
            for (const AlarmLogEntry& a : m.AlarmLog) {
                if (a.end.isValid() && a.end < m_f.FromUtc) continue;
                if (a.start.isValid() && a.start > m_f.ToUtc) continue;
                entries.push_back({a.start, {m_t.Time(m.MissionStartUtc), a.high ? Translate("high") : Translate("low"),
                                             m_t.Time(a.start), m_t.Time(a.end), minutesText(double(a.minutes)),
                                             remarkOf(a)}});
            }
        }
        std::stable_sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
        std::vector<QStringList> rows;
        for (const auto& e : entries) rows.push_back(e.second);
        QString note = Translate("As the logger itself kept it over its whole mission, stored with its readings; entries "
                                 "that touch the period.")
            + " " + Translate("The logger counts a sample at an alarm level as outside, so its entries can be longer "
                              "than the excursions above.");
        if (!unread.isEmpty())
            note += " " + Translate("The alarm log of the mission started %1 could not be read.").arg(unread.join(", "));
        for (const StoredMissionEvidence& m : m_f.Evidence)
            for (const QString& full : AlarmLogFullTexts(m.AlarmLog))
                note += " " + Translate("Mission started %1:").arg(m_t.Time(m.MissionStartUtc)) + " " + full + ".";
        const QString empty = m_f.Evidence.empty()
            ? Translate("The logger's alarm log was not stored for this period.")
            : Translate("The logger's alarm log holds no entry for this period.");
        Table(Translate("The logger's alarm log"), m_f.Evidence.empty() ? QString() : note, cols, rows, empty);
    }

    void Readings()
    {
        const std::vector<Column> cols{{Translate("read at"), 29},
                                       {Translate("stored at"), 29},
                                       {Translate("operator"), 24},
                                       {Translate("computer"), 26},
                                       {Translate("samples"), 17, Qt::AlignRight},
                                       {Translate("logger file"), 49}};
        std::vector<QStringList> rows;
        for (const ReadingFact& r : m_f.Readings)
            rows.push_back({m_t.Time(r.ReadUtc), m_t.Time(r.StoredUtc), r.Operator, r.Computer, QString::number(r.Samples),
                            QFileInfo(r.File).fileName()});
        const QString note = Translate("Last reading in the list of loggers: %1, user in the logger's record: %2.")
                                 .arg(m_t.Local(m_f.DateReadLocal), m_f.RecordUser.isEmpty() ? QString("-") : m_f.RecordUser);
        Table(Translate("Readings of the period"), note, cols, rows,
              Translate("No reading of this period is recorded in the audit trail."));
    }

    void Review()
    {
        const QString made = Translate("This report was made on %1 by %2 on the computer %3.")
                                 .arg(m_t.Local(m_f.MadeLocal), m_f.MadeBy.isEmpty() ? QString("-") : m_f.MadeBy,
                                      m_f.MadeOn.isEmpty() ? QString("-") : m_f.MadeOn);
        const double madeH = m_pg.Height(Body(), m_pg.Width(), made);
        const double lines = m_pg.mm(22);
        m_pg.Room(HeadingHeight() + madeH + lines);
        SectionHeading(Translate("Review"), m_pg.Left(), m_pg.Width());
        m_pg.y += HeadingHeight();
        m_pg.Text(QRectF(m_pg.Left(), m_pg.y, m_pg.Width(), madeH), Body(), made);
        m_pg.y += madeH;
        const double gutter = m_pg.mm(8);
        const double widths[3] = {m_pg.mm(66), m_pg.mm(34), m_pg.mm(58)};
        const QString captions[3] = {Translate("reviewed by"), Translate("date"), Translate("signature")};
        double x = m_pg.Left();
        const double at = m_pg.y + m_pg.mm(15);
        for (int i = 0; i < 3; ++i) {
            m_pg.Rule(x, x + widths[i], at, 0.25, Qt::black);
            m_pg.Text(QRectF(x, at + m_pg.mm(1), widths[i], m_pg.LineHeight(Small())), Small(), captions[i],
                      Qt::AlignLeft | Qt::AlignTop, QColor(70, 70, 70));
            x += widths[i] + gutter;
        }
        m_pg.y += lines;
    }

    const ReportFacts& m_f;
    ChartState& m_graph;
    Pages& m_pg;
    Texts m_t;
    double m_labelLeft = 0, m_labelRight = 0;
};

// The head (site and logger) and foot (who made it, page N of M) of every page.
void pageFrame(Pages& pg, const ReportFacts& f)
{
    const Texts t(f);
    const QFont small = pg.Font(8), bold = pg.Font(8, true);
    const double lh = pg.LineHeight(small);
    const double top = pg.mm(12), x = pg.Left(), w = pg.Width();
    pg.Text(QRectF(x, top, w / 2, lh), bold, Translate("Mission report"));
    pg.Text(QRectF(x, top + lh, w / 2, lh), small, Translate("site %1").arg(t.Site()));
    pg.Text(QRectF(x + w / 2, top, w / 2, lh), bold, Translate("logger %1").arg(t.Position()), Qt::AlignRight | Qt::AlignTop);
    pg.Text(QRectF(x + w / 2, top + lh, w / 2, lh), small,
            Translate("serial number %1, %2").arg(f.Serial, t.Compartment()), Qt::AlignRight | Qt::AlignTop);
    pg.Rule(x, x + w, top + 2 * lh + pg.mm(1.2), 0.3, QColor(40, 40, 40));
    const double foot = pg.mm(284);
    pg.Rule(x, x + w, foot - pg.mm(1.5), 0.2);
    pg.Text(QRectF(x, foot, w * 0.75, lh), small,
            "NORDALIS - " + Translate("made on %1 by %2").arg(t.Local(f.MadeLocal), f.MadeBy), Qt::AlignLeft | Qt::AlignTop,
            QColor(70, 70, 70));
    pg.Text(QRectF(x + w * 0.75, foot, w * 0.25, lh), small, Translate("page %1 of %2").arg(pg.Page()).arg(pg.Total()),
            Qt::AlignRight | Qt::AlignTop, QColor(70, 70, 70));
}

// The graph's state: the samples of the period in the display unit with the logger's levels.
ChartState graphState(const ReportFacts& f, const MissionReportRequest& rq)
{
    ChartState s;
    s.DeviceID = f.DeviceID;
    s.SerialNo = f.Serial;
    s.DeviceDescription = f.Description;
    s.RoomDescription = f.Compartment;
    s.Kind = ChartKind::Samples;
    s.TimeZoneOffset = f.Offset;
    s.WindowFrom = rq.From;
    s.WindowTo = rq.To;
    s.Units = App().Units;
    s.UnitLabel = App().UnitLabel;
    s.UnitText = App().UnitLabel;
    s.ValueCaption = Translate(ChartKindText(ChartKind::Samples)) + " (" + App().UnitLabel + ")";
    s.GraphHeader = f.Serial + ", " + f.Description;
    s.GraphFootnote.clear();
    s.ShowAlarms = f.HighC && f.LowC;
    s.LoggerAlarmHighC = f.HighC;
    s.LoggerAlarmLowC = f.LowC;
    if (f.HighC) s.AlarmMax = float(shown(*f.HighC));
    if (f.LowC) s.AlarmMin = float(shown(*f.LowC));
    s.ShowLines = true;
    s.DateFormat = rq.DateFormat.isEmpty() ? ChartPaddedDateFormat() : rq.DateFormat;
    s.TimeFormat = rq.TimeFormat.isEmpty() ? ChartPaddedTimeFormat() : rq.TimeFormat;
    for (const EvidenceSample& e : f.Samples) {
        const double v = shown(e.Celsius);
        s.Samples.push_back({e.Time, e.Time.addSecs(-qint64(f.Offset) * 60), v, FloatText(v)});
    }
    // The kinetic mean in the caption and the excursions as bands, as the data display draws them.
    if (s.ShowAlarms) ComputeChartEvidence(s, f.Samples, f.ActivationK);
    return s;
}

void setUpWriter(QPdfWriter& w, const ReportFacts& f)
{
    w.setResolution(600);
    w.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(0, 0, 0, 0)));
    w.setTitle(Translate("Mission report") + " " + FormatDeviceID(f.DeviceID));
    w.setCreator("NORDALIS");
}

} // namespace

MissionReportRequest MissionReportRequestOf(const ChartState& state)
{
    MissionReportRequest r;
    r.DeviceID = state.DeviceID;
    r.From = state.WindowFrom;
    r.To = state.WindowTo;
    r.TimeZoneOffset = state.TimeZoneOffset;
    if (state.Kind == ChartKind::Samples) {
        r.DateFormat = state.DateFormat;
        r.TimeFormat = state.TimeFormat;
    }
    return r;
}

MissionReportResult WriteMissionReport(clsDatabase& db, const MissionReportRequest& rq, const QString& path,
                                       QString* error, MissionReportSummary* summary)
{
    const auto fail = [&](MissionReportResult r, const QString& text) {
        if (error) *error = text;
        return r;
    };
    if (!path.endsWith(QLatin1String(".pdf"), Qt::CaseInsensitive))
        return fail(MissionReportResult::Refused, Translate("A mission report is a PDF file: give a name ending in .pdf."));
    if (!rq.From.isValid() || !rq.To.isValid() || rq.From > rq.To)
        return fail(MissionReportResult::Refused,
                    Translate("The period starts after it ends (%1 to %2): no report was written.")
                        .arg(rq.From.toString("yyyy-MM-dd HH:mm"), rq.To.toString("yyyy-MM-dd HH:mm")));
    ReportFacts facts;
    try {
        if (!gather(db, rq, facts))
            return fail(MissionReportResult::Refused,
                        Translate("There is no logger %1 in the database: no report was written.").arg(FormatDeviceID(rq.DeviceID)));
    } catch (const DbError& e) {
        return fail(MissionReportResult::Failed,
                    Translate("The database could not be read (%1): no report was written.").arg(e.description));
    }
    ChartState graph = graphState(facts, rq);

    // The pages counted first, without painting.
    QBuffer scratch;
    scratch.open(QIODevice::WriteOnly);
    QPdfWriter counter(&scratch);
    setUpWriter(counter, facts);
    Pages dry(counter, nullptr, 0, [&](Pages& pg) { pageFrame(pg, facts); });
    Layout(facts, graph, dry).Run();
    const int total = dry.Page();

    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return fail(MissionReportResult::Failed,
                    Translate("The report could not be written to %1 (%2).").arg(QDir::toNativeSeparators(path), file.errorString()));
    {
        QPdfWriter writer(&file);
        setUpWriter(writer, facts);
        QPainter painter;
        if (!painter.begin(&writer)) {
            file.cancelWriting();
            return fail(MissionReportResult::Failed,
                        Translate("The report could not be written to %1 (%2).").arg(QDir::toNativeSeparators(path), file.errorString()));
        }
        Pages pages(writer, &painter, total, [&](Pages& pg) { pageFrame(pg, facts); });
        Layout(facts, graph, pages).Run();
        painter.end();
    }
    if (!file.commit())
        return fail(MissionReportResult::Failed,
                    Translate("The report could not be written to %1 (%2).").arg(QDir::toNativeSeparators(path), file.errorString()));
    if (summary) {
        summary->Pages = total;
        summary->Samples = int(facts.Samples.size());
        summary->Excursions = int(facts.Excursions.Runs.size());
    }
    return MissionReportResult::Written;
}
