#pragma once
// The terminal program run as a real process for tests: on a temporary directory DIR with its own
// HOME and XDG folders and the offscreen platform, the application directory DIR/home and the
// configuration store DIR/registry.ini, on the virtual bus when asked.
#include <QFile>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <sqlite3.h>

struct CliRun {
    int code = -1;
    QString out;
    QString err;
};

inline CliRun RunCli(const QTemporaryDir& dir, const QStringList& args, bool virtualBus)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("HOME", dir.path());
    env.insert("XDG_CONFIG_HOME", dir.filePath("config"));
    env.insert("XDG_DATA_HOME", dir.filePath("share"));
    p.setProcessEnvironment(env);
    QStringList globals{"--home", dir.filePath("home"), "--registry", dir.filePath("registry.ini")};
    if (virtualBus) globals << "--bus" << "virtual";
    p.start(NORDALIS_CLI, globals + args);
    p.waitForFinished(60000);
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()), QString::fromUtf8(p.readAllStandardError())};
}

// The first column of the first row of a query on a database file, opened read-only; -1 when
// there is none.
inline qint64 SqliteScalar(const QString& file, const char* sql)
{
    sqlite3* db = nullptr;
    sqlite3_open_v2(QFile::encodeName(file).constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* st = nullptr;
    qint64 v = -1;
    if (sqlite3_prepare_v2(db, sql, -1, &st, nullptr) == SQLITE_OK && sqlite3_step(st) == SQLITE_ROW)
        v = sqlite3_column_int64(st, 0);
    sqlite3_finalize(st);
    sqlite3_close(db);
    return v;
}
