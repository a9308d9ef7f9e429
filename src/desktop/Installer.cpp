#include "desktop/Installer.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include "db/Schema.h"

QString ResolveApplicationDirectory(const QString& homeOption)
{
    QString dir = homeOption;
    if (dir.isEmpty()) dir = qEnvironmentVariable("NORDALIS_HOME");
    if (dir.isEmpty()) {
        QString base = qEnvironmentVariable("XDG_DATA_HOME");
        if (base.isEmpty()) base = QDir::homePath() + "/.local/share";
        dir = base + "/nordalis";
    }
    return QDir::cleanPath(QDir(dir).absolutePath());
}

bool ApplicationDirectoryNeedsInstall(const QString& dir)
{
    return !QFileInfo::exists(dir + "/data/NORDALIS.MDE") && !QFileInfo::exists(dir + "/data/NORD.MDE");
}

bool InstallApplicationDirectory(const QString& dir, QString* error)
{
    auto fail = [&](const QString& why) {
        if (error) *error = why;
        return false;
    };
    for (const char* sub : {"", "/data", "/data/backup", "/reports", "/reports/styles"})
        if (!QDir().mkpath(dir + sub)) return fail("cannot create the folder " + dir + sub);

    const QString root = QStringLiteral(":/home");
    QDirIterator it(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString from = it.next();
        const QString rel = from.mid(root.size() + 1);
        const QString to = dir + "/" + rel;
        if (QFileInfo::exists(to)) continue;
        if (!QDir().mkpath(QFileInfo(to).absolutePath())) return fail("cannot create the folder of " + to);
        if (!QFile::copy(from, to)) return fail("cannot write " + to);
        // Files copied out of the program's resources are read-only; the operator may edit them.
        QFile::setPermissions(to, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
    }

    if (ApplicationDirectoryNeedsInstall(dir)) {
        // The database layer builds the file under a temporary name and renames it when whole.
        const QString target = dir + "/data/NORDALIS.MDE";
        QString why;
        if (!CreateDatabaseFile(target, &why)) return fail("cannot create the database " + target + ": " + why);
    }
    return true;
}
