// Logger files (".dta"): the complete image in a small binary form, little-endian, no padding:
//   int16 version (1)
//   int16 highest index of the identity record (N1 - 1), N1 bytes
//   int16 highest index of the register pages (N2 - 1), N2 bytes
//   int16 highest index of the data log (N3 - 1), N3 bytes
// A highest index of -1 stands for an empty array. A file read completely from a logger is
// N1 + 2122 bytes long.
//
// Writing goes to a temporary name in the same folder (not matching "*.dta", so that the file
// processing never takes it), is flushed to disk and then renamed, so that a crash never leaves
// half a file under the final name. The companion of a full reading (image/LoggerCompanion.h)
// is written the same way and renamed just before the logger file. Reading checks every length field against the file size
// and refuses a damaged file, leaving the image unchanged.
#include "image/clsDS1921Data.h"
#include "image/LoggerCompanion.h"
#include "app/RegularFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr qint16 kFileVersion = 1;
constexpr qint64 kMaxFileSize = kMaxLoggerFileBytes;

void putInt16(QByteArray& out, int v)
{
    out.append(char(v & 0xFF));
    out.append(char((v >> 8) & 0xFF));
}

qint16 int16At(const QByteArray& in, qint64 pos)
{
    return qint16(quint16(static_cast<unsigned char>(in[pos])) | quint16(static_cast<unsigned char>(in[pos + 1])) << 8);
}

bool syncDirectory(const QString& dir)
{
    const int fd = ::open(QFile::encodeName(dir).constData(), O_RDONLY | O_DIRECTORY);
    if (fd < 0) return false;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

} // namespace

QString clsDS1921Data::LoggerFilePath(const QString& directory, const QString& serialNo, const QDateTime& local)
{
    return QDir(directory).filePath(serialNo + QLatin1Char(' ') + local.toString(QStringLiteral("yyMMddHHmmss"))
                                    + QStringLiteral(".dta"));
}

bool clsDS1921Data::LatestRecordInFiles(const QStringList& directories, const QString& romText,
                                        const clsDS1921Data& mission, QByteArray& record, QString& file)
{
    const QString serial = RomTextToSerialNo(romText);
    // Only a mission with samples can be told apart from another one.
    if (serial.isEmpty() || !mission.MissionStart().isValid() || mission.MissionSamples() < 1) return false;
    // Newest first by the twelve-digit stamp in the name; within one stamp the directories' order.
    QList<QPair<QString, QString>> candidates;   // (stamp, path)
    for (const QString& dir : directories) {
        if (dir.isEmpty()) continue;
        const QFileInfoList found = QDir(dir).entryInfoList({serial + QStringLiteral(" *.dta")}, QDir::Files);
        for (const QFileInfo& f : found) candidates.append({f.completeBaseName().section(QLatin1Char(' '), 1, 1), f.filePath()});
    }
    std::stable_sort(candidates.begin(), candidates.end(),
                     [](const auto& a, const auto& b) { return a.first > b.first; });
    for (const auto& [stamp, path] : candidates) {
        clsDS1921Data image;
        qint32 rc = -1;
        image.ReadLoggerImageFromFile(path, rc);
        if (rc != imgOk || !image.HoldsIdentity() || !image.ImplausibleBecause().isEmpty()) continue;
        if (!image.RecordRomText().isEmpty() && image.RecordRomText().compare(romText, Qt::CaseInsensitive) != 0) continue;
        // A file of an earlier mission would give the new mission's samples the old position.
        if (!image.MissionStart().isValid() || image.MissionSamples() < 1 || image.MissionSamples() > mission.MissionSamples() ||
            image.MissionStart() != mission.MissionStart() || image.SampleRate() != mission.SampleRate())
            continue;
        record = image.NVRAMBytes();
        file = path;
        return true;
    }
    return false;
}

void clsDS1921Data::WriteLoggerImageToFile(const QString& fileName, qint32& result)
{
    const QString rom = LoggerRomText();
    if (rom.isEmpty()) {
        m_lastError = QStringLiteral("no logger device: the image cannot be written");
        result = imgNoLoggerDevice;
        return;
    }
    WriteLoggerImageToFileFor(fileName, rom, result);
}

void clsDS1921Data::WriteLoggerImageToFileFor(const QString& fileName, const QString& romText, qint32& result)
{
    m_lastError.clear();
    // The file carries the record as it would now be written to the logger.
    const QByteArray record = EncodedRecord(romText);
    const QByteArray* const arrays[3] = {&record, &m_registers, &m_log};
    for (const QByteArray* a : arrays) {
        if (a->size() > 32768) {
            m_lastError = QStringLiteral("image too large for a logger file");
            result = imgFileWriteFailed;
            return;
        }
    }
    QByteArray out;
    out.reserve(8 + record.size() + m_registers.size() + m_log.size());
    putInt16(out, kFileVersion);
    for (const QByteArray* a : arrays) {
        putInt16(out, int(a->size()) - 1);
        out.append(*a);
    }

    const QFileInfo target(fileName);
    const QString dir = target.absolutePath();
    QTemporaryFile tmp(dir + QStringLiteral("/.") + target.fileName() + QStringLiteral(".XXXXXX.part"));
    if (!tmp.open()) {
        m_lastError = QStringLiteral("cannot create %1: %2").arg(fileName, tmp.errorString());
        result = imgFileOpenFailed;
        return;
    }
    tmp.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
    const bool written = tmp.write(out) == out.size() && tmp.flush() && ::fsync(tmp.handle()) == 0;
    if (!written) {
        m_lastError = QStringLiteral("cannot write %1: %2").arg(fileName, tmp.errorString());
        result = imgFileWriteFailed;
        return;   // the temporary file is removed with tmp
    }
    const QString tmpName = tmp.fileName();
    tmp.close();
    // The companion takes its name first: a logger file found under its name has its companion.
    const QString companionPath = CompanionPathFor(target.absoluteFilePath());
    if (m_evidenceTried &&
        !WriteCompanionFile(companionPath, CompanionOf(*this, romText, target.fileName(), out), &m_lastError)) {
        result = imgFileWriteFailed;
        return;   // the temporary logger file is removed with tmp
    }
    if (::rename(QFile::encodeName(tmpName).constData(), QFile::encodeName(target.absoluteFilePath()).constData()) != 0) {
        m_lastError = QStringLiteral("cannot rename %1 to %2: %3").arg(tmpName, fileName, QString::fromLocal8Bit(std::strerror(errno)));
        if (m_evidenceTried) QFile::remove(companionPath);
        result = imgFileWriteFailed;
        return;
    }
    tmp.setAutoRemove(false);
    syncDirectory(dir);
    m_nvram = record;
    intVersion = kFileVersion;
    result = imgOk;
}

void clsDS1921Data::ReadLoggerImageFromFile(const QString& fileName, qint32& result)
{
    m_lastError.clear();
    // Only a regular file of at most the largest size the format can describe is read: a FIFO,
    // a device or a huge file gives a clear error instead of a hang or an exhausted memory.
    const RegularFileRead read = ReadRegularFile(fileName, kMaxFileSize);
    if (!read.ok()) {
        if (read.error == FileReadError::TooLarge) {
            m_lastError = QStringLiteral("%1 is no logger file: %2 bytes is larger than any logger image").arg(fileName).arg(read.size);
            result = imgFileDamaged;
        } else {
            m_lastError = read.message;
            result = imgFileOpenFailed;
        }
        return;
    }
    LoadLoggerFileBytes(read.bytes, fileName, result);
}

void clsDS1921Data::LoadLoggerFileBytes(const QByteArray& in, const QString& fileName, qint32& result)
{
    m_lastError.clear();
    const qint64 size = in.size();
    if (size < 2) {
        m_lastError = QStringLiteral("%1 is damaged: it ends before its version field").arg(fileName);
        result = imgFileDamaged;
        return;
    }
    const qint16 version = int16At(in, 0);
    intVersion = version;
    if (version != kFileVersion) {
        m_lastError = QStringLiteral("%1 is a logger file of version %2; this program reads version %3").arg(fileName).arg(version).arg(kFileVersion);
        result = imgFileWrongVersion;
        return;
    }
    static const char* const kArrayNames[3] = {"identity record", "register pages", "data log"};
    QByteArray arrays[3];
    qint64 pos = 2;
    for (int i = 0; i < 3; ++i) {
        if (pos + 2 > size) {
            m_lastError = QStringLiteral("%1 is damaged: it is cut short before the length of the %2").arg(fileName, QLatin1String(kArrayNames[i]));
            result = imgFileDamaged;
            return;
        }
        const qint64 highest = int16At(in, pos);
        pos += 2;
        if (highest < -1) {
            m_lastError = QStringLiteral("%1 is damaged: negative length %2 for the %3").arg(fileName).arg(highest + 1).arg(QLatin1String(kArrayNames[i]));
            result = imgFileDamaged;
            return;
        }
        const qint64 n = highest + 1;
        if (pos + n > size) {
            m_lastError = QStringLiteral("%1 is damaged: the %2 needs %3 bytes but only %4 are left in the file")
                              .arg(fileName, QLatin1String(kArrayNames[i])).arg(n).arg(size - pos);
            result = imgFileDamaged;
            return;
        }
        arrays[i] = in.mid(pos, n);
        pos += n;
    }
    // Bytes after the data log are not part of the image and are ignored.
    m_nvram = arrays[0];
    m_registers = arrays[1];
    m_log = arrays[2];
    m_alarmLog.clear();   // a logger file keeps neither
    m_histogram.clear();
    m_evidenceTried = false;
    m_evidenceReadUtc = QDateTime();
    DecodeNVRAM();
    result = imgOk;
}
