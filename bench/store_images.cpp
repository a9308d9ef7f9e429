// Storing full logger images: 500 images of 2048 samples each into a fresh database through
// LoggerImageToDB, against a bare SQLite insert of the same sample rows (one prepared statement,
// one transaction and one durable commit per image, the same connection settings) in the same
// run. Target: LoggerImageToDB reaches at least half the bare rate.
#include "app/modMain.h"
#include "db/Schema.h"
#include "db/clsDatabase.h"
#include "image/clsDS1921Data.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <cstdio>
#include <sqlite3.h>

namespace {

constexpr int kImages = 500;
constexpr int kSamples = 2048;

// Image i: logger at compartment 1 + i / 50, position 1 + i % 50, a full rolled-over log.
void makeImage(clsDS1921Data& image, int i)
{
    const qint32 id = 1000 * 100000 + (1 + i / 50) * 100 + (1 + i % 50);
    const QStringList fields{"1", RomTextToSerialNo(QStringLiteral("5A%1AB21").arg(i, 10, 16, QChar('0'))), "bench position",
                             QString::number(id), "070620120000", "bench", "0000000001", "...calib..."};
    image.SetNVRAMBytes(StringToCp1252(fields.join(QChar(3))));
    image.DecodeNVRAM();
    QByteArray r(65, '\0');
    r[0] = 0x00; r[1] = 0x00; r[2] = 0x12; r[4] = 0x25; r[5] = char(0x86); r[6] = 0x07;   // 25 June 2007 12:00, after the last sample
    r[0x0B] = 80; r[0x0C] = 100; r[0x0D] = 10; r[0x0E] = 0x08; r[0x14] = 0x20;
    r[0x15] = 0x00; r[0x16] = 0x12; r[0x17] = 0x01; r[0x18] = char(0x86); r[0x19] = 0x07;  // 1 June 2007 12:00
    const int mission = 2500 + i;
    r[0x1A] = char(mission & 0xFF); r[0x1B] = char(mission >> 8); r[0x1C] = 0;
    r[0x1D] = char(mission & 0xFF); r[0x1E] = char(mission >> 8); r[0x1F] = 0;
    image.SetRegisterPages(r);
    QByteArray log(2049, '\0');
    for (int s = 0; s < kSamples; ++s) log[s] = char(70 + (s * 7 + i) % 40);
    image.SetTemperaturePages(log);
}

void check(int rc, sqlite3* db, const char* what)
{
    if (rc != SQLITE_OK && rc != SQLITE_DONE) {
        std::fprintf(stderr, "%s: %s\n", what, sqlite3_errmsg(db));
        std::exit(1);
    }
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dirMeasured, dirBare;
    QString error;
    if (!CreateDatabaseFile(QDir(dirMeasured.path()).filePath("NORDALIS.MDE"), &error) ||
        !CreateDatabaseFile(QDir(dirBare.path()).filePath("NORDALIS.MDE"), &error)) {
        std::fprintf(stderr, "cannot create the databases: %s\n", qPrintable(error));
        return 1;
    }

    // The images are decoded before timing starts for the baseline only; LoggerImageToDB
    // decodes its image itself, which is part of what it costs.
    std::vector<std::unique_ptr<clsDS1921Data>> images;
    for (int i = 0; i < kImages; ++i) {
        images.push_back(std::make_unique<clsDS1921Data>());
        makeImage(*images.back(), i);
    }

    // Both databases are written image by image in turns, so that both see the same state of a
    // disk that other programs share.
    struct Rows { qint32 id; std::vector<TemperatureSample> samples; };
    std::vector<Rows> rows;
    for (const auto& image : images) rows.push_back({image->DeviceID(), image->TemperatureSamples()});
    sqlite3* bareDb = nullptr;
    check(sqlite3_open_v2(QFile::encodeName(QDir(dirBare.path()).filePath("NORDALIS.MDE")).constData(), &bareDb,
                          SQLITE_OPEN_READWRITE, nullptr), bareDb, "open");
    ConfigureDbConnection(bareDb, 2000);
    clsDatabase db(dirMeasured.path());
    if (db.OpenDB()) return 1;

    qint64 bareNs = 0, measuredNs = 0;
    QElapsedTimer t;
    for (int i = 0; i < kImages; ++i) {
        // Bare: the same sample rows, prepared statement, one transaction and durable commit.
        t.start();
        check(sqlite3_exec(bareDb, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), bareDb, "begin");
        sqlite3_stmt* st = nullptr;
        check(sqlite3_prepare_v2(bareDb, "INSERT INTO samples (DeviceID, SampleDate, SampleTemp) VALUES (?, ?, ?)", -1, &st, nullptr), bareDb, "prepare");
        for (const TemperatureSample& s : rows[size_t(i)].samples) {
            sqlite3_bind_int64(st, 1, rows[size_t(i)].id);
            sqlite3_bind_int64(st, 2, s.time.toSecsSinceEpoch());
            sqlite3_bind_double(st, 3, s.celsius);
            check(sqlite3_step(st), bareDb, "insert");
            sqlite3_reset(st);
        }
        sqlite3_finalize(st);
        check(sqlite3_exec(bareDb, "COMMIT", nullptr, nullptr, nullptr), bareDb, "commit");
        bareNs += t.nsecsElapsed();

        t.start();
        if (db.LoggerImageToDB(*images[size_t(i)]) != ImageStoreResult::Stored) {
            std::fprintf(stderr, "image rejected\n");
            return 1;
        }
        measuredNs += t.nsecsElapsed();
    }
    sqlite3_close(bareDb);
    ResultList r;
    if (db.GetRecordsBySQL(r, "SELECT COUNT(*) FROM samples", false) != dbQueryOk || r.empty() || r.rows.front().at(0).toInt() != qint64(kImages) * kSamples) {
        std::fprintf(stderr, "wrong number of stored samples\n");
        return 1;
    }
    const double bareSeconds = bareNs / 1e9, measuredSeconds = measuredNs / 1e9;

    const double total = double(kImages) * kSamples;
    const double measured = total / measuredSeconds, bare = total / bareSeconds;
    const double ratio = measured / bare;
    std::printf("store_images: %d images x %d samples\n", kImages, kSamples);
    std::printf("measured  LoggerImageToDB   %12.0f samples/s (%.2f s)\n", measured, measuredSeconds);
    std::printf("baseline  bare SQLite insert %12.0f samples/s (%.2f s)\n", bare, bareSeconds);
    std::printf("ratio     %.3f  target >= 0.5  %s\n", ratio, ratio >= 0.5 ? "met" : "NOT met");
    return 0;
}
