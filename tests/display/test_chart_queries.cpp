// Queries of the data display on a real database file: the window bounds in stored time, the
// aggregates of days and months, transitions only, range buttons, the stored settings.
#include "ChartTestSupport.h"
#include "display/ChartGraph.h"

#include <cmath>
#include <map>

namespace {
constexpr qint32 kLogger = 100101;
constexpr qint32 kOther = 100102;

struct Expected {
    int n = 0;
    double sum = 0, max = -1e9, min = 1e9;
    std::vector<double> values;
    double avg() const { return sum / n; }
    double var() const
    {
        const double m = avg();
        double s = 0;
        for (double v : values) s += (v - m) * (v - m);
        return s / (n - 1);
    }
};

class ChartQueries : public ChartDatabase {
protected:
    void SetUp() override
    {
        ChartDatabase::SetUp();
        addRoom(1, "Cold room");
        addDevice(kLogger, "0000012345", "Shelf 1", 8, 2);
        addDevice(kOther, "0000067890", "Shelf 2", 10, -5);
    }
    ChartModel loaded()
    {
        ChartModel m;
        EXPECT_EQ(m.Load(*db), 2);
        EXPECT_TRUE(m.SelectDevice(kLogger));
        return m;
    }
};
} // namespace

TEST_F(ChartQueries, SamplesWindowWithOffsetSelectsTheRowsOfItsStoredBounds)
{
    // 1 March 2004 00:00 to 2 March 2004 00:00 displayed, offset box 60 (TimeZoneOffset -60):
    // stored bounds 29 Feb 2004 23:00:00 and 1 March 2004 23:00:00, both inclusive.
    addSamples({{kLogger, Utc(2004, 2, 29, 22, 59, 59), 1.0},
                {kLogger, Utc(2004, 2, 29, 23, 0, 0), 2.0},
                {kLogger, Utc(2004, 3, 1, 12, 0, 0), 3.0},
                {kLogger, Utc(2004, 3, 1, 23, 0, 0), 4.0},
                {kLogger, Utc(2004, 3, 1, 23, 0, 1), 5.0},
                {kOther, Utc(2004, 3, 1, 12, 0, 0), 9.0}});
    ChartModel m = loaded();
    m.Window.From = Utc(2004, 3, 1);
    m.Window.To = Utc(2004, 3, 2);
    ASSERT_TRUE(m.SetOffsetText("60"));
    EXPECT_EQ(m.State.TimeZoneOffset, -60);
    ASSERT_TRUE(m.Update(*db));
    ASSERT_EQ(m.State.Samples.size(), 3u);
    EXPECT_EQ(m.State.Samples[0].Time, Utc(2004, 2, 29, 23, 0, 0));
    EXPECT_EQ(m.State.Samples[0].DisplayTime, Utc(2004, 3, 1, 0, 0, 0));
    EXPECT_EQ(m.State.Samples[1].Value, 3.0);
    EXPECT_EQ(m.State.Samples[2].Time, Utc(2004, 3, 1, 23, 0, 0));
    EXPECT_EQ(m.State.Samples[2].DisplayTime, Utc(2004, 3, 2, 0, 0, 0));
    EXPECT_EQ(m.State.ValueCaption, QString("samples (") + QChar(176) + "C)");
    EXPECT_EQ(m.State.Units, 0);

    // The same window in Fahrenheit: values converted, same rows.
    App().Units = 1;
    App().UnitLabel = QString(QChar(176)) + "F";
    ASSERT_TRUE(m.Update(*db));
    ASSERT_EQ(m.State.Samples.size(), 3u);
    EXPECT_NEAR(m.State.Samples[1].Value, 3.0 * 1.8 + 32, 1e-9);
    EXPECT_EQ(m.State.UnitText, QString(QChar(176)) + "F");
}

TEST_F(ChartQueries, WindowEndKeepsItsSeconds)
{
    // "today" ends at 23:59:59; a sample at 23:59:30 belongs to it.
    SetClockForTesting([] { return Utc(2010, 6, 15, 10, 0, 0); });
    addSamples({{kLogger, Utc(2010, 6, 15, 0, 0, 0), 4.0},
                {kLogger, Utc(2010, 6, 15, 23, 59, 30), 5.0},
                {kLogger, Utc(2010, 6, 16, 0, 0, 0), 6.0}});
    ChartModel m = loaded();
    ASSERT_TRUE(m.SetOffsetText("0"));
    ASSERT_TRUE(m.Range(0, *db));
    EXPECT_EQ(m.Window.From, Utc(2010, 6, 15, 0, 0, 0));
    EXPECT_EQ(m.Window.To, Utc(2010, 6, 15, 23, 59, 59));
    ASSERT_TRUE(m.Update(*db));
    ASSERT_EQ(m.State.Samples.size(), 2u);
    EXPECT_EQ(m.State.Samples[1].Time, Utc(2010, 6, 15, 23, 59, 30));
}

TEST_F(ChartQueries, DailyAndMonthlyAggregatesMatchAnIndependentComputation)
{
    // Eleven weeks of 15-minute samples across a month end with an irregular pattern, plus a
    // second logger that must not leak in.
    std::vector<Sample> rows;
    const QDateTime start = Utc(2021, 1, 20, 0, 7, 0);
    for (int i = 0; i < 11 * 7 * 96; ++i) {
        const double v = 4.0 + 3.0 * std::sin(i * 0.07) + (i % 13) * 0.25 - (i % 7 == 0 ? 6.5 : 0);
        rows.push_back({kLogger, start.addSecs(qint64(i) * 900), v});
        if (i % 5 == 0) rows.push_back({kOther, start.addSecs(qint64(i) * 900), 50.0});
    }
    addSamples(rows);
    // A window that cuts into its first and last day, displayed with an offset of +90 minutes.
    const QDateTime fromShown = Utc(2021, 1, 25, 13, 30, 0), toShown = Utc(2021, 3, 28, 6, 0, 0);
    const int offset = 90;   // minutes added to UTC to display
    const QDateTime fromUtc = fromShown.addSecs(-offset * 60), toUtc = toShown.addSecs(-offset * 60);

    std::map<QDate, Expected> days;
    std::map<QDate, Expected> months;
    for (const Sample& s : rows) {
        if (s.device != kLogger || s.utc < fromUtc || s.utc > toUtc) continue;
        const double v = double(float(s.temp));
        for (Expected* e : {&days[s.utc.date()], &months[QDate(s.utc.date().year(), s.utc.date().month(), 1)]}) {
            ++e->n;
            e->sum += v;
            e->max = std::max(e->max, v);
            e->min = std::min(e->min, v);
            e->values.push_back(v);
        }
    }
    ASSERT_EQ(months.size(), 3u);

    ChartModel m = loaded();
    m.Window.From = fromShown;
    m.Window.To = toShown;
    ASSERT_TRUE(m.SetOffsetText(QString::number(offset)));
    for (int k = 1; k <= int(ChartKind::MonthlyMinimums); ++k) {   // the nine of the database
        const ChartKind kind = ChartKind(k);
        m.SetKind(kind);
        ASSERT_TRUE(m.Update(*db));
        const auto& expected = IsDailyKind(kind) ? days : months;
        ASSERT_EQ(m.State.Samples.size(), expected.size()) << ChartKindName(kind).toStdString();
        size_t i = 0;
        for (const auto& [period, e] : expected) {
            const ChartRow& r = m.State.Samples[i++];
            SCOPED_TRACE(ChartKindName(kind).toStdString() + " " + period.toString(Qt::ISODate).toStdString());
            EXPECT_EQ(r.Time, QDateTime(period, QTime(0, 0), Qt::UTC));
            EXPECT_EQ(r.DisplayTime, QDateTime(period, QTime(1, 30), Qt::UTC));
            double want = 0;
            switch (kind) {
            case ChartKind::DailyAverages: case ChartKind::MonthlyAverages: want = e.avg(); break;
            case ChartKind::DailyVariance: case ChartKind::MonthlyVariance: want = e.var(); break;
            case ChartKind::DailyMaximums: case ChartKind::MonthlyMaximums: want = e.max; break;
            default: want = e.min; break;
            }
            if (IsTextValueKind(kind)) {
                // Text with at most two decimals, rounded.
                EXPECT_NEAR(r.Value, want, 0.005 + 1e-9);
                EXPECT_EQ(r.ValueText, FormatAverageText(want));
                const int point = int(r.ValueText.indexOf('.'));
                ASSERT_GE(point, 0);
                EXPECT_LE(r.ValueText.size() - point - 1, 2);
            } else {
                EXPECT_DOUBLE_EQ(r.Value, want);
            }
        }
    }
    m.SetKind(ChartKind::DailyVariance);
    EXPECT_EQ(m.In.TimeFormatIndex, 6);
    ASSERT_TRUE(m.Update(*db));
    EXPECT_EQ(m.State.UnitText, QString(QChar(176)) + "C" + QChar(0x00B2));
    EXPECT_EQ(m.State.ValueCaption, "daily variance");
    EXPECT_EQ(m.State.TimeFormat, " ");
    m.SetKind(ChartKind::MonthlyMaximums);
    ASSERT_TRUE(m.Update(*db));
    EXPECT_EQ(m.State.DateFormat, "MMM");
}

TEST_F(ChartQueries, TransitionsOnlyOnTheDatabaseRows)
{
    const double values[] = {5, 5, 5, 6, 6, 7};
    std::vector<Sample> rows;
    for (int i = 0; i < 6; ++i) rows.push_back({kLogger, Utc(2020, 5, 1, 8).addSecs(900 * i), values[i]});
    addSamples(rows);
    ChartModel m = loaded();
    m.Window.From = Utc(2020, 5, 1);
    m.Window.To = Utc(2020, 5, 1, 23, 59, 59);
    m.In.TransitionsOnly = true;
    ASSERT_TRUE(m.Update(*db));
    ASSERT_EQ(m.State.Samples.size(), 5u);
    const int kept[] = {0, 2, 3, 4, 5};
    for (int i = 0; i < 5; ++i) EXPECT_EQ(m.State.Samples[size_t(i)].Time, rows[size_t(kept[i])].utc);
    EXPECT_EQ(m.State.ValueCaption, QString("samples (") + QChar(176) + "C), transitions only");
}

TEST_F(ChartQueries, RangeButtonsAndLoggerWithoutSamples)
{
    addSamples({{kLogger, Utc(2019, 3, 3, 10, 0, 0), 4.0}, {kLogger, Utc(2019, 3, 9, 17, 45, 0), 4.5}});
    ChartModel m = loaded();
    ASSERT_TRUE(m.SetOffsetText("-60"));   // displayed one hour behind UTC
    m.Window.Lock = ChartLock::Week;
    ASSERT_TRUE(m.Range(1, *db));
    EXPECT_EQ(m.Window.Lock, ChartLock::None);
    EXPECT_EQ(m.Window.From, Utc(2019, 3, 9, 0, 0, 0));
    EXPECT_EQ(m.Window.To, Utc(2019, 3, 9, 16, 45, 0));
    ASSERT_TRUE(m.Range(2, *db));
    EXPECT_EQ(m.Window.From, Utc(2019, 3, 3, 9, 0, 0));
    EXPECT_EQ(m.Window.To, Utc(2019, 3, 3, 23, 59, 59));

    ASSERT_TRUE(m.SelectDevice(kOther));
    const QDateTime from = m.Window.From, to = m.Window.To;
    EXPECT_FALSE(m.Range(1, *db));
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].prompt + "|" + messages[0].title, "No readings for this logger available|No samples found");
    EXPECT_EQ(m.Window.From, from);
    EXPECT_EQ(m.Window.To, to);
}

TEST_F(ChartQueries, SelectionBadInputAndSettings)
{
    ChartModel m = loaded();
    EXPECT_EQ(m.In.AlarmMax, "8");
    EXPECT_EQ(m.In.AlarmMin, "2");
    EXPECT_EQ(m.In.Header, "0000012345, Shelf 1");
    EXPECT_FALSE(m.SelectDevice(999999));

    // A non-numeric alarm level stops the query before it runs.
    m.State.Samples.push_back(ChartRow{});
    m.In.AlarmMin = "cold";
    ChartModel::Focus focus = ChartModel::Focus::None;
    EXPECT_FALSE(m.Update(*db, &focus));
    EXPECT_EQ(focus, ChartModel::Focus::AlarmMin);
    EXPECT_EQ(m.State.Samples.size(), 1u);
    m.In.AlarmMin = "2";
    // A non-numeric offset keeps the previous one; a non-numeric Y limit keeps the previous one.
    ASSERT_TRUE(m.SetOffsetText("30"));
    EXPECT_FALSE(m.SetOffsetText("east"));
    EXPECT_EQ(m.State.TimeZoneOffset, -30);
    m.State.YMax = 7;
    m.In.YMax = "seven";
    m.In.YMin = "-3";
    // A start later than the end: the end becomes the start plus one day.
    m.Window.From = Utc(2020, 1, 10, 8, 0, 0);
    m.Window.To = Utc(2020, 1, 9);
    ASSERT_TRUE(m.Update(*db, &focus));
    EXPECT_EQ(m.Window.To, Utc(2020, 1, 11, 8, 0, 0));
    EXPECT_EQ(m.State.YMax, 7.0f);
    EXPECT_EQ(m.State.YMin, -3.0f);

    // The seven settings survive a new window; the defaults apply on a fresh database.
    m.In.TimeFormatIndex = 3;
    m.In.DateFormatIndex = 12;
    m.In.ShowAlarms = true;
    m.In.ShowTicks = true;
    m.In.ShowLines = false;
    m.SaveSettings(*db);
    ChartModel again;
    again.LoadSettings(*db);
    EXPECT_EQ(again.Window.From, Utc(2020, 1, 10, 8, 0, 0));
    EXPECT_EQ(again.Window.To, Utc(2020, 1, 11, 8, 0, 0));
    EXPECT_EQ(again.In.TimeFormatIndex, 3);
    EXPECT_EQ(again.In.DateFormatIndex, 12);
    EXPECT_TRUE(again.In.ShowAlarms);
    EXPECT_TRUE(again.In.ShowTicks);
    EXPECT_FALSE(again.In.ShowLines);
}

TEST_F(ChartQueries, NoLoggersGivesAnEmptyWindow)
{
    exec("DELETE FROM devices");
    SetClockForTesting([] { return Utc(2022, 2, 2, 12, 0, 0); });
    ChartModel m;
    EXPECT_EQ(m.Load(*db), 0);
    EXPECT_TRUE(m.State.Samples.empty());
    // Defaults of the settings: now and a day before, formats 0, lines on.
    EXPECT_EQ(m.Window.To, Utc(2022, 2, 2, 12, 0, 0));
    EXPECT_EQ(m.Window.From, Utc(2022, 2, 1, 12, 0, 0));
    EXPECT_TRUE(m.In.ShowLines);
    EXPECT_FALSE(m.In.ShowAlarms);
}

TEST_F(ChartQueries, LockedFileGivesAFailedEmptyResult)
{
    addSamples({{kLogger, Utc(2020, 5, 1, 8, 0), 4.0}, {kLogger, Utc(2020, 5, 1, 8, 15), 4.5}});
    ChartModel m = loaded();
    m.Window.From = Utc(2020, 5, 1);
    m.Window.To = Utc(2020, 5, 2);
    ASSERT_TRUE(m.Update(*db));
    ASSERT_EQ(m.State.Samples.size(), 2u);
    ASSERT_EQ(m.QueryResult, dbQueryOk);

    // Another process holds the file exclusively: the query fails after its retries, no rows.
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open_v2(QFile::encodeName(QDir(dir.path()).filePath("NORDALIS.MDE")).constData(), &other,
                              SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "PRAGMA journal_mode=DELETE; BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    db->SetBusyTimeout(10);
    db->SetRetryPolicy(2, 10);
    EXPECT_TRUE(m.Update(*db));
    EXPECT_LT(m.QueryResult, 0);
    EXPECT_TRUE(m.State.Samples.empty());
    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    ASSERT_TRUE(m.Update(*db));
    EXPECT_EQ(m.State.Samples.size(), 2u);
}

TEST_F(ChartQueries, DayWithOneSampleHasNoVariance)
{
    addSamples({{kLogger, Utc(2020, 5, 1, 8, 0), 4.0}, {kLogger, Utc(2020, 5, 1, 9, 0), 5.0},
                {kLogger, Utc(2020, 5, 2, 8, 0), 6.0}});
    ChartModel m = loaded();
    m.Window.From = Utc(2020, 5, 1);
    m.Window.To = Utc(2020, 5, 2, 23, 59, 59);
    m.SetKind(ChartKind::DailyVariance);
    ASSERT_TRUE(m.Update(*db));
    ASSERT_EQ(m.State.Samples.size(), 1u);
    EXPECT_EQ(m.State.Samples[0].ValueText, ".5");
    m.SetKind(ChartKind::DailyAverages);
    ASSERT_TRUE(m.Update(*db));
    ASSERT_EQ(m.State.Samples.size(), 2u);
    EXPECT_EQ(m.State.Samples[0].ValueText, "4.5");
    EXPECT_EQ(m.State.Samples[1].ValueText, "6.");
}
