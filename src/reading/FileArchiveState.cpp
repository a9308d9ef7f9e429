#include "reading/FileArchiveState.h"
#include "app/RegularFile.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSaveFile>
#include <QTextStream>
#include <QUrl>

#include <cerrno>
#include <fcntl.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace {

const char* const kAttribute = "user.nordalis.copied";
const char* const kStateFile = ".nordalis-copied";

// The stamp that identifies one version of a file: size and modification time.
QString stampOf(const QFileInfo& fi)
{
    return QString::number(fi.size()) + "/" + QString::number(fi.lastModified().toMSecsSinceEpoch());
}

QString statePath(const QFileInfo& fi)
{
    return QDir(fi.absolutePath()).filePath(QString::fromLatin1(kStateFile));
}

// name -> stamp lines of the folder's state file
QHash<QString, QString> readState(const QString& file)
{
    QHash<QString, QString> entries;
    // One short line per file of the folder; a path that is no regular file is never opened.
    const RegularFileRead read = ReadRegularFile(file, 16 * 1024 * 1024);
    if (!read.ok()) return entries;
    QTextStream in(read.bytes);
    while (!in.atEnd()) {
        const QString line = in.readLine();
        const int tab = line.lastIndexOf('\t');
        if (tab > 0) entries.insert(line.left(tab), line.mid(tab + 1));
    }
    return entries;
}

bool writeState(const QString& file, const QHash<QString, QString>& entries)
{
    QSaveFile f(file);
    if (!f.open(QIODevice::WriteOnly)) return false;
    QTextStream out(&f);
    for (auto it = entries.cbegin(); it != entries.cend(); ++it) out << it.key() << '\t' << it.value() << '\n';
    out.flush();
    return f.commit();
}

bool noAttributes(int err) { return err == ENOTSUP || err == EOPNOTSUPP || err == EPERM; }

bool& attributesOff()
{
    static bool off = false;
    return off;
}

} // namespace

bool IsArchivePending(const QString& path)
{
    const QFileInfo fi(path);
    const QByteArray native = QFile::encodeName(fi.absoluteFilePath());
    char value[64];
    const ssize_t n = attributesOff() ? -1 : getxattr(native.constData(), kAttribute, value, sizeof value);
    if (n > 0) return QString::fromLatin1(value, int(n)) != stampOf(fi);
    // No attribute: the state file may hold the answer (file systems without attributes).
    const auto state = readState(statePath(fi));
    const auto it = state.constFind(fi.fileName());
    return it == state.cend() || it.value() != stampOf(fi);
}

bool ClearArchivePending(const QString& path)
{
    const QFileInfo fi(path);
    if (!fi.isFile()) return false;
    const QByteArray native = QFile::encodeName(fi.absoluteFilePath());
    const QByteArray stamp = stampOf(fi).toLatin1();
    if (!attributesOff() && setxattr(native.constData(), kAttribute, stamp.constData(), size_t(stamp.size()), 0) == 0) return true;
    if (!attributesOff() && !noAttributes(errno)) return false;
    auto state = readState(statePath(fi));
    state.insert(fi.fileName(), stampOf(fi));
    return writeState(statePath(fi), state);
}

void SetExtendedAttributesOffForTesting(bool off)
{
    attributesOff() = off;
}

QString TrashDirectory()
{
    QString base = qEnvironmentVariable("XDG_DATA_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base)) base = QDir::homePath() + "/.local/share";
    return base + "/Trash";
}

bool MoveToTrash(const QString& path, QString* error)
{
    auto fail = [error](const QString& why) { if (error) *error = why; return false; };
    const QFileInfo fi(path);
    if (!fi.isFile()) return fail(QStringLiteral("the file is not there"));
    const QString trash = TrashDirectory();
    if (!QDir().mkpath(trash + "/files") || !QDir().mkpath(trash + "/info"))
        return fail(QStringLiteral("the trash folder cannot be created"));

    // Reserve a free name by creating its info record exclusively.
    const QString base = fi.completeBaseName(), suffix = fi.suffix();
    QString name, infoPath;
    int fd = -1;
    for (int n = 1; n < 10000 && fd < 0; ++n) {
        name = n == 1 ? fi.fileName() : base + "." + QString::number(n) + (suffix.isEmpty() ? QString() : "." + suffix);
        infoPath = trash + "/info/" + name + ".trashinfo";
        if (QFileInfo::exists(trash + "/files/" + name)) continue;
        fd = ::open(QFile::encodeName(infoPath).constData(), O_WRONLY | O_CREAT | O_EXCL, 0600);
        if (fd < 0 && errno != EEXIST) return fail(QStringLiteral("the trash record cannot be written"));
    }
    if (fd < 0) return fail(QStringLiteral("no free name in the trash"));
    const QByteArray info = "[Trash Info]\nPath=" +
                            QUrl::toPercentEncoding(fi.absoluteFilePath(), "/") +
                            "\nDeletionDate=" +
                            QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")).toLatin1() + "\n";
    const bool infoOk = ::write(fd, info.constData(), size_t(info.size())) == info.size();
    ::close(fd);
    if (!infoOk) {
        QFile::remove(infoPath);
        return fail(QStringLiteral("the trash record cannot be written"));
    }
    const QString target = trash + "/files/" + name;
    if (::rename(QFile::encodeName(fi.absoluteFilePath()).constData(), QFile::encodeName(target).constData()) == 0)
        return true;
    // Another file system: copy, and remove the original only when the copy is complete.
    if (QFile::copy(fi.absoluteFilePath(), target) && QFileInfo(target).size() == fi.size() &&
        QFile::remove(fi.absoluteFilePath()))
        return true;
    QFile::remove(target);
    QFile::remove(infoPath);
    return fail(QStringLiteral("the file cannot be moved into the trash"));
}
