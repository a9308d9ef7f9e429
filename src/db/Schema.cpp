#include "db/Schema.h"

#include "app/Resources.h"
#include "db/clsDatabase.h"

#include <QFile>
#include <QFileInfo>

#include <sqlite3.h>

namespace {

bool fail(QString* error, const QString& text)
{
    if (error)
        *error = text;
    return false;
}

} // namespace

bool CreateDatabaseFile(const QString& path, QString* error)
{
    InitNordalisResources();
    if (QFileInfo::exists(path))
        return fail(error, QStringLiteral("the database file %1 exists already").arg(path));
    QFile schemaFile(QStringLiteral(":/schema.sql"));
    if (!schemaFile.open(QIODevice::ReadOnly))
        return fail(error, QStringLiteral("the database schema is missing from the program"));
    const QByteArray schema = schemaFile.readAll();

    // Built under a temporary name beside the target and renamed when complete.
    const QString temp = path + QStringLiteral(".new");
    QFile::remove(temp);
    QFile::remove(temp + QStringLiteral("-journal"));
    sqlite3* db = nullptr;
    const QByteArray tempName = QFile::encodeName(temp);
    int rc = sqlite3_open_v2(tempName.constData(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    QString problem;
    if (rc != SQLITE_OK) {
        problem = QString::fromUtf8(db ? sqlite3_errmsg(db) : sqlite3_errstr(rc));
    } else {
        try {
            ConfigureDbConnection(db, 2000);
            char* message = nullptr;
            const QByteArray script = "BEGIN;\n" + schema + "\nCOMMIT;";
            rc = sqlite3_exec(db, script.constData(), nullptr, nullptr, &message);
            if (rc != SQLITE_OK) {
                problem = QString::fromUtf8(message ? message : sqlite3_errstr(rc));
                sqlite3_free(message);
            }
        } catch (const DbError& e) {
            problem = e.description;
        }
    }
    if (sqlite3_close(db) != SQLITE_OK && problem.isEmpty())
        problem = QStringLiteral("the new database file could not be closed");
    // The commit above was flushed to disk (synchronous writes), so the rename publishes a
    // complete file.
    if (problem.isEmpty() && !QFile::rename(temp, path))
        problem = QStringLiteral("the new database file could not be renamed to %1").arg(path);
    if (!problem.isEmpty()) {
        QFile::remove(temp);
        return fail(error, QStringLiteral("could not create the database %1: %2").arg(path, problem));
    }
    return true;
}
