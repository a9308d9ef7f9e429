#include "app/RegularFile.h"

#include <QFile>

#include <algorithm>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString kindOf(mode_t mode)
{
    if (S_ISFIFO(mode)) return QStringLiteral("a FIFO");
    if (S_ISCHR(mode)) return QStringLiteral("a character device");
    if (S_ISBLK(mode)) return QStringLiteral("a block device");
    if (S_ISDIR(mode)) return QStringLiteral("a directory");
    if (S_ISSOCK(mode)) return QStringLiteral("a socket");
    return QStringLiteral("not a plain file");
}

QString systemError(int err) { return QString::fromLocal8Bit(std::strerror(err)); }

RegularFileRead failure(FileReadError error, QString message, qint64 size = 0)
{
    RegularFileRead r;
    r.error = error;
    r.message = std::move(message);
    r.size = size;
    return r;
}

RegularFileRead notRegular(const QString& path, mode_t mode)
{
    return failure(FileReadError::NotRegular, QStringLiteral("%1 is not a regular file but %2").arg(path, kindOf(mode)));
}

RegularFileRead tooLarge(const QString& path, qint64 size, qint64 maxBytes)
{
    return failure(FileReadError::TooLarge,
                   QStringLiteral("%1 is too large: %2 bytes, at most %3 expected").arg(path).arg(size).arg(maxBytes), size);
}

} // namespace

QString NonRegularFileKind(const QString& path)
{
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0 || S_ISREG(st.st_mode)) return QString();
    return kindOf(st.st_mode);
}

// A file embedded in the program (":/examples/LANGUAGE.TXT"): always a plain file in memory.
RegularFileRead readResource(const QString& path, qint64 maxBytes, OverBound over)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return failure(FileReadError::Missing, QStringLiteral("cannot open %1: %2").arg(path, f.errorString()));
    if (over == OverBound::Refuse && f.size() > maxBytes) return tooLarge(path, f.size(), maxBytes);
    RegularFileRead r;
    r.size = f.size();
    r.bytes = f.read(maxBytes);
    return r;
}

RegularFileRead ReadRegularFile(const QString& path, qint64 maxBytes, OverBound over)
{
    if (path.startsWith(QLatin1Char(':'))) return readResource(path, maxBytes, over);
    const QByteArray native = QFile::encodeName(path);
    struct stat st;
    if (::stat(native.constData(), &st) != 0) {
        const int err = errno;
        return failure(err == ENOENT || err == ENOTDIR ? FileReadError::Missing : FileReadError::OpenFailed,
                       QStringLiteral("cannot open %1: %2").arg(path, systemError(err)));
    }
    if (!S_ISREG(st.st_mode)) return notRegular(path, st.st_mode);
    if (over == OverBound::Refuse && st.st_size > maxBytes) return tooLarge(path, st.st_size, maxBytes);

    const int fd = ::open(native.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        const int err = errno;
        return failure(err == ENOENT ? FileReadError::Missing : FileReadError::OpenFailed,
                       QStringLiteral("cannot open %1: %2").arg(path, systemError(err)));
    }
    struct Closer { int fd; ~Closer() { ::close(fd); } } closer{fd};
    if (::fstat(fd, &st) != 0) return failure(FileReadError::ReadFailed, QStringLiteral("cannot read %1: %2").arg(path, systemError(errno)));
    if (!S_ISREG(st.st_mode)) return notRegular(path, st.st_mode);

    // One byte more than the bound tells a file that grew beyond it since the check.
    const qint64 limit = over == OverBound::Refuse ? maxBytes + 1 : maxBytes;
    RegularFileRead r;
    r.size = st.st_size;
    r.bytes.resize(qsizetype(std::min<qint64>(limit, std::max<qint64>(st.st_size, 0) + 1)));
    qint64 got = 0;
    while (got < limit) {
        if (got == r.bytes.size()) r.bytes.resize(qsizetype(std::min<qint64>(limit, got * 2 + 4096)));
        const ssize_t n = ::read(fd, r.bytes.data() + got, size_t(r.bytes.size() - got));
        if (n < 0) {
            if (errno == EINTR) continue;
            return failure(FileReadError::ReadFailed, QStringLiteral("cannot read %1: %2").arg(path, systemError(errno)));
        }
        if (n == 0) break;
        got += n;
    }
    if (over == OverBound::Refuse && got > maxBytes) return tooLarge(path, std::max<qint64>(got, st.st_size), maxBytes);
    r.bytes.resize(qsizetype(got));
    return r;
}
