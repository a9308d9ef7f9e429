#pragma once
// The test site on real files in a temporary directory:
//  TempDatabase  a fresh database file from the shipped schema, a clsDatabase on it, recorders for
//                the messages; the application state is restored after.
//  SiteDatabase  that database as the application's, with the configuration store and the backup
//                and media folders of the run, site 1234 "cold store", and helpers for a small
//                site: two compartments, three loggers with samples.
#include "app/modInternationalisation.h"
#include "app/modMain.h"
#include "app/modRegistry.h"
#include "db/Schema.h"
#include "db/clsDatabase.h"

#include <QDateTime>
#include <QDir>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <memory>

struct RecordedMessage {
    QString prompt;
    int style;
    QString title;
};

class TempDatabase : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        savedApp = App();
        QString error;
        ASSERT_TRUE(CreateDatabaseFile(path(), &error)) << error.toStdString();
        messages.clear();
        SetMessageHandler([this](const QString& p, int s, const QString& t) {
            messages.push_back({p, s, t});
            return (s & 0x0F) == vbYesNo ? answer : int(vbOK);
        });
        db = std::make_unique<clsDatabase>(dir.path());
    }
    void TearDown() override
    {
        db.reset();
        SetMessageHandler(nullptr);
        SetClockForTesting(nullptr);
        App() = savedApp;
    }
    QString path(const QString& name = QStringLiteral("NORDALIS.MDE")) const { return QDir(dir.path()).filePath(name); }

    // A second, independent connection to the file, as another process would have.
    sqlite3* openRaw(const QString& name = QStringLiteral("NORDALIS.MDE")) const
    {
        sqlite3* raw = nullptr;
        EXPECT_EQ(sqlite3_open_v2(QFile::encodeName(path(name)).constData(), &raw, SQLITE_OPEN_READWRITE, nullptr),
                  SQLITE_OK);
        return raw;
    }
    static qint64 scalar(sqlite3* raw, const char* sql)
    {
        sqlite3_stmt* st = nullptr;
        EXPECT_EQ(sqlite3_prepare_v2(raw, sql, -1, &st, nullptr), SQLITE_OK) << sqlite3_errmsg(raw);
        qint64 v = -999;
        if (sqlite3_step(st) == SQLITE_ROW)
            v = sqlite3_column_int64(st, 0);
        sqlite3_finalize(st);
        return v;
    }
    static QString scalarText(sqlite3* raw, const char* sql)
    {
        sqlite3_stmt* st = nullptr;
        EXPECT_EQ(sqlite3_prepare_v2(raw, sql, -1, &st, nullptr), SQLITE_OK) << sqlite3_errmsg(raw);
        QString v;
        if (sqlite3_step(st) == SQLITE_ROW)
            v = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
        sqlite3_finalize(st);
        return v;
    }
    // The first column of the first row of a query through the test's clsDatabase.
    qint64 count(const QString& sql)
    {
        ResultList r;
        EXPECT_EQ(db->GetRecordsBySQL(r, sql, false), dbQueryOk) << db->LastError().toStdString();
        return r.empty() ? -1 : r.rows[0].at(0).toInt();
    }
    static QDateTime utc(int y, int mo, int d, int h = 0, int mi = 0, int s = 0)
    {
        return QDateTime(QDate(y, mo, d), QTime(h, mi, s), Qt::UTC);
    }

    QTemporaryDir dir;
    std::unique_ptr<clsDatabase> db;
    std::vector<RecordedMessage> messages;
    int answer = vbOK;   // what the operator answers to a yes/no question
    AppState savedApp;
};

class SiteDatabase : public TempDatabase {
protected:
    void SetUp() override
    {
        TempDatabase::SetUp();
        SetRegistryFile(QDir(dir.path()).filePath("registry.ini"));
        QDir(dir.path()).mkpath("backup");
        QDir(dir.path()).mkpath("media");
        App().DatabaseDirectory = dir.path();
        ResetAppDatabase();
        App().BackupDirectory = QDir(dir.path()).filePath("backup");
        App().LocationID = 1234;
        App().LocationDescr = "cold store";
        App().ReadHoursBeforeOverflow = 48;
        App().Units = 0;
        App().UnitLabel = QString(QChar(176)) + "C";
        App().UtcBias = 0;
    }
    void TearDown() override
    {
        ResetAppDatabase();
        TempDatabase::TearDown();
    }

    void addDevice(qint32 id, const QString& description, bool running = true, double high = 8.5, double low = 2)
    {
        db->ExecuteSQL("INSERT INTO devices (DeviceID, SerialNo, DeviceDescription, DateRead, SampleRate, AlarmHigh, "
                       "AlarmLow, RollOver, MissionRunning, \"User\") VALUES (?, ?, ?, ?, 15, ?, ?, 1, ?, 'Ann')",
                       {DbValue(id), DbValue(QString::number(2100000000 + id % 1000)), DbValue(description),
                        DbValue(utc(2026, 11, 1, 10, 0)), DbValue(high), DbValue(low), DbValue(running)});
    }
    // count samples from `from`, one every stepSeconds; value(i) gives the temperature of sample i.
    template <typename F>
    void addSamples(qint32 id, const QDateTime& from, int count, int stepSeconds, F value)
    {
        db->BeginTransaction();
        for (int i = 0; i < count; ++i)
            db->ExecuteSQL("INSERT INTO samples VALUES (?, ?, ?)",
                           {DbValue(id), DbValue(ToEpochSeconds(from.addSecs(qint64(i) * stepSeconds))),
                            DbValue(double(float(value(i))))});
        db->CommitTransaction(1);
    }
    void addSamples(qint32 id, const QDateTime& from, int count, int stepSeconds = 900)
    {
        addSamples(id, from, count, stepSeconds, [](int i) { return 4.0 + (i % 7) * 0.5; });
    }
    // Two compartments, three loggers (two in compartment 1, one in 2), 10 samples each.
    void fillSite()
    {
        db->ExecuteSQL("INSERT INTO rooms VALUES (1, 'freezer', 1), (2, 'cooler', 2)");
        addDevice(123400101, "door left");
        addDevice(123400102, "door right", false);
        addDevice(123400201, "shelf");
        for (qint32 id : {123400101, 123400102, 123400201})
            addSamples(id, utc(2026, 11, 1), 10);
    }
};
