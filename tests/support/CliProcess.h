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

// The environment of a run: its own HOME and XDG folders in dir, the offscreen platform.
inline QProcessEnvironment CliEnvironmentFor(const QTemporaryDir& dir)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("TZ", "UTC");
    env.insert("HOME", dir.path());
    env.insert("XDG_CONFIG_HOME", dir.filePath("config"));
    env.insert("XDG_DATA_HOME", dir.filePath("share"));
    return env;
}

inline CliRun FinishCli(QProcess& p)
{
    p.waitForFinished(60000);
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()), QString::fromUtf8(p.readAllStandardError())};
}

// The usual global options: --home DIR/home --registry DIR/registry.ini.
inline QStringList CliGlobalsFor(const QTemporaryDir& dir)
{
    return {"--home", dir.filePath("home"), "--registry", dir.filePath("registry.ini")};
}

// The program run with arguments given as raw bytes (which need not be valid UTF-8) after the
// given global options.
inline CliRun RunCliBytes(const QTemporaryDir& dir, const QStringList& globals, const QList<QByteArray>& args)
{
    QProcess p;
    QProcessEnvironment env = CliEnvironmentFor(dir);
    // A shell hands the bytes on unchanged: each argument travels octal-escaped in a variable,
    // is rebuilt by printf (with a "." after it, so that trailing newlines survive) and appended.
    QString script;
    for (int i = 0; i < args.size(); ++i) {
        QString escaped;
        for (const char c : args[i])
            escaped += QStringLiteral("\\0%1").arg(uint(uchar(c)), 3, 8, QLatin1Char('0'));
        env.insert(QStringLiteral("NORDALIS_ARG%1").arg(i), escaped);
        script += QStringLiteral("a=\"$(printf '%b.' \"$NORDALIS_ARG%1\")\"; set -- \"$@\" \"${a%.}\"; ").arg(i);
    }
    script += QStringLiteral("exec \"$0\" \"$@\"");
    p.setProcessEnvironment(env);
    p.start(QStringLiteral("/bin/sh"), QStringList{"-c", script, NORDALIS_CLI} + globals);
    return FinishCli(p);
}

inline CliRun RunCli(const QTemporaryDir& dir, const QStringList& args, bool virtualBus = false)
{
    QProcess p;
    QProcessEnvironment env = CliEnvironmentFor(dir);
    p.setProcessEnvironment(env);
    QStringList globals = CliGlobalsFor(dir);
    if (virtualBus) globals << "--bus" << "virtual";
    p.start(NORDALIS_CLI, globals + args);
    return FinishCli(p);
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
