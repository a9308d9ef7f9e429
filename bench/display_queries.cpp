// Data display on a large database: daily averages of one logger over a year, and a graph of
// 50 000 samples drawn into a 1600 x 900 image. Each is printed with a bare SQLite range scan of
// the same rows measured in the same run.
//
// The database: 100 loggers with two years at 15 minutes and one logger with a year at one
// minute (7.5 million samples), built in a temporary directory.
#include "app/modMain.h"
#include "db/Schema.h"
#include "db/clsDatabase.h"
#include "display/ChartGraph.h"
#include "display/ChartModel.h"

#include <QDir>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

namespace {
// A step whose failure would leave nothing to measure ends the benchmark.
void Require(bool ok, const char* what)
{
    if (ok) return;
    std::fprintf(stderr, "%s failed\n", what);
    std::exit(1);
}
} // namespace

namespace {
using Clock = std::chrono::steady_clock;

double Ms(const std::function<void()>& f, int repeats)
{
    std::vector<double> t;
    for (int i = 0; i < repeats; ++i) {
        const auto a = Clock::now();
        f();
        t.push_back(std::chrono::duration<double, std::milli>(Clock::now() - a).count());
    }
    std::sort(t.begin(), t.end());
    return t[t.size() / 2];   // median
}

void Check(int rc, sqlite3* db, const char* what)
{
    if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW) {
        std::fprintf(stderr, "%s: %s\n", what, sqlite3_errmsg(db));
        std::exit(1);
    }
}

// Steps through the rows of one logger's range and reads both columns.
qint64 BareScan(sqlite3* db, qint32 device, qint64 from, qint64 to, double* sum)
{
    sqlite3_stmt* st = nullptr;
    Check(sqlite3_prepare_v2(db, "SELECT SampleDate, SampleTemp FROM samples WHERE DeviceID = ? AND SampleDate BETWEEN ? AND ? ORDER BY SampleDate",
                             -1, &st, nullptr), db, "prepare scan");
    sqlite3_bind_int(st, 1, device);
    sqlite3_bind_int64(st, 2, from);
    sqlite3_bind_int64(st, 3, to);
    qint64 n = 0;
    double s = 0;
    while (sqlite3_step(st) == SQLITE_ROW) {
        s += double(sqlite3_column_int64(st, 0) & 1) + sqlite3_column_double(st, 1);
        ++n;
    }
    sqlite3_finalize(st);
    if (sum) *sum = s;
    return n;
}

void Row(const char* what, double measured, double baseline, const char* target)
{
    std::printf("%-52s %10.1f ms  baseline %8.1f ms  ratio %6.2f  target %s\n", what, measured, baseline,
                measured / baseline, target);
}
} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QTemporaryDir dir;
    QString error;
    if (!CreateDatabaseFile(QDir(dir.path()).filePath("NORDALIS.MDE"), &error)) {
        std::fprintf(stderr, "cannot create the database: %s\n", qPrintable(error));
        return 1;
    }
    App().Units = 0;
    App().UnitLabel = QString(QChar(176)) + "C";
    App().UtcBias = 0;
    clsDatabase db(dir.path());
    if (db.OpenDB()) return 1;
    sqlite3* raw = db.Handle();

    // Build: one transaction, one prepared statement.
    const qint64 start = QDateTime(QDate(2024, 1, 1), QTime(0, 0), Qt::UTC).toSecsSinceEpoch();
    const qint32 minuteLogger = 199901;
    const auto b0 = Clock::now();
    qint64 rows = 0;
    {
        Check(sqlite3_exec(raw, "PRAGMA synchronous = OFF; BEGIN", nullptr, nullptr, nullptr), raw, "begin");
        sqlite3_stmt* dev = nullptr;
        Check(sqlite3_prepare_v2(raw, "INSERT INTO devices (DeviceID, SerialNo, DeviceDescription, SampleRate, AlarmHigh, AlarmLow) VALUES (?, ?, ?, ?, 8, 2)",
                                 -1, &dev, nullptr), raw, "prepare devices");
        sqlite3_stmt* ins = nullptr;
        Check(sqlite3_prepare_v2(raw, "INSERT INTO samples (DeviceID, SampleDate, SampleTemp) VALUES (?, ?, ?)", -1, &ins, nullptr),
              raw, "prepare samples");
        const auto logger = [&](qint32 id, int rate, qint64 count) {
            const QByteArray serial = QByteArray::number(id).rightJustified(10, '0');
            sqlite3_bind_int(dev, 1, id);
            sqlite3_bind_text(dev, 2, serial.constData(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_text(dev, 3, "bench", -1, SQLITE_STATIC);
            sqlite3_bind_int(dev, 4, rate);
            Check(sqlite3_step(dev), raw, "device");
            sqlite3_reset(dev);
            for (qint64 i = 0; i < count; ++i) {
                sqlite3_bind_int(ins, 1, id);
                sqlite3_bind_int64(ins, 2, start + i * rate * 60);
                sqlite3_bind_double(ins, 3, double(float(4.0 + 1.5 * std::sin(double(i % 1440) / 229.0) + (i % 7) * 0.1)));
                Check(sqlite3_step(ins), raw, "sample");
                sqlite3_reset(ins);
                ++rows;
            }
        };
        for (int l = 0; l < 100; ++l) logger(100101 + l, 15, 2 * 365 * 96);
        logger(minuteLogger, 1, 365 * 1440);
        sqlite3_finalize(ins);
        sqlite3_finalize(dev);
        Check(sqlite3_exec(raw, "COMMIT; PRAGMA synchronous = FULL", nullptr, nullptr, nullptr), raw, "commit");
    }
    const double buildS = std::chrono::duration<double>(Clock::now() - b0).count();
    std::printf("database: %lld samples of 101 loggers, built in %.1f s\n", static_cast<long long>(rows), buildS);

    // 1. Daily averages of the one-minute logger over its year, through the window's query.
    ChartModel model;
    Require(LoadChartDevices(db, model.State.Devices) > 0, "the logger query");
    model.SelectDevice(minuteLogger);
    model.SetKind(ChartKind::DailyAverages);
    model.In.TZOffset = "0";
    model.Window.From = QDateTime::fromSecsSinceEpoch(start, Qt::UTC);
    model.Window.To = model.Window.From.addDays(365).addSecs(-1);
    const qint64 yFrom = start, yTo = start + 365LL * 86400 - 1;
    double sum = 0;
    const qint64 scanned = BareScan(raw, minuteLogger, yFrom, yTo, &sum);   // warm the cache
    Require(model.Update(db) && model.QueryResult == dbQueryOk, "the daily query");
    const size_t days = model.State.Samples.size();
    const double scanMs = Ms([&] { BareScan(raw, minuteLogger, yFrom, yTo, &sum); }, 5);
    const double aggMs = Ms([&] { Require(model.Update(db), "the daily query"); }, 5);
    std::printf("daily averages: %zu days from %lld samples\n", days, static_cast<long long>(scanned));
    Row("daily averages of one logger over a year", aggMs, scanMs, "ratio <= 3");

    // 2. A graph of 50 000 samples into a 1600 x 900 image.
    ChartModel graph;
    Require(LoadChartDevices(db, graph.State.Devices) > 0, "the logger query");
    graph.SelectDevice(minuteLogger);
    graph.SetKind(ChartKind::Samples);
    graph.In.TZOffset = "0";
    graph.In.ShowTicks = false;
    graph.Window.From = QDateTime::fromSecsSinceEpoch(start, Qt::UTC);
    graph.Window.To = graph.Window.From.addSecs(50000LL * 60 - 1);
    Require(graph.Update(db) && graph.QueryResult == dbQueryOk, "the sample query");
    SetHeadlessWindowSize(graph.State, 1600, 900);
    const qint64 gTo = start + 50000LL * 60 - 1;
    const double gScanMs = Ms([&] { BareScan(raw, minuteLogger, start, gTo, &sum); }, 5);
    const double drawMs = Ms([&] { GraphImage(graph.State, 1600, 900); }, 5);
    std::printf("graph: %zu points\n", graph.State.Samples.size());
    Row("50 000-point graph drawn into 1600x900", drawMs, gScanMs, "< 200 ms");
    const double queryMs = Ms([&] { Require(graph.Update(db), "the sample query"); }, 3);
    Row("(the 50 000-sample query itself)", queryMs, gScanMs, "-");
    std::printf("graph target %s: %.1f ms\n", drawMs < 200 ? "met" : "MISSED", drawMs);
    return 0;
}
