#pragma once
// A fresh database file from the shipped schema in a temporary directory, a clsDatabase on it,
// and a recorder for the messages.
#include "app/modInternationalisation.h"
#include "db/Schema.h"
#include "db/clsDatabase.h"

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
        QString error;
        ASSERT_TRUE(CreateDatabaseFile(path(), &error)) << error.toStdString();
        messages.clear();
        SetMessageHandler([this](const QString& p, int s, const QString& t) {
            messages.push_back({p, s, t});
            return int(vbOK);
        });
        db = std::make_unique<clsDatabase>(dir.path());
    }
    void TearDown() override
    {
        db.reset();
        SetMessageHandler(nullptr);
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

    QTemporaryDir dir;
    std::unique_ptr<clsDatabase> db;
    std::vector<RecordedMessage> messages;
};
