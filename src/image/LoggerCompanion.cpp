// The companion file of a logger file: alarm log and histogram of the same reading.
#include "image/LoggerCompanion.h"
#include "image/LoggerEvidence.h"
#include "image/clsDS1921Data.h"
#include "app/RegularFile.h"
#include "app/modMain.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cctype>

namespace {

const QByteArray kFirstLine = QByteArrayLiteral("NORDALIS alarm log and histogram 1");
const QByteArray kNotRead = QByteArrayLiteral("not read");
constexpr qint64 kMaxCompanionBytes = 4096;

QByteArray utcText(const QDateTime& t)
{
    return t.isValid() ? t.toUTC().toString(Qt::ISODate).toLatin1() : QByteArray();
}

QDateTime utcOf(const QByteArray& text)
{
    QDateTime t = QDateTime::fromString(QString::fromLatin1(text), Qt::ISODate);
    return t.isValid() ? t.toUTC() : QDateTime();
}

QByteArray areaText(const QByteArray& area) { return area.isEmpty() ? kNotRead : area.toHex(); }

bool areaOf(const QByteArray& text, int size, QByteArray& area)
{
    if (text == kNotRead) {
        area.clear();
        return true;
    }
    if (text.size() != 2 * size) return false;
    for (char c : text)
        if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
    area = QByteArray::fromHex(text);
    return area.size() == size;
}

// "name.dta" in dir, or "name (n).dta": the first n for which both the file and its companion
// are free.
QString freeLoggerFileName(const QString& dir, const QString& fileName)
{
    const QString wanted = QDir(dir).filePath(fileName);
    QString path = wanted;
    for (int n = 2;; ++n) {
        const QString companion = CompanionPathFor(path);
        if (!QFileInfo::exists(path) && !QFileInfo(path).isSymLink() && !QFileInfo::exists(companion) &&
            !QFileInfo(companion).isSymLink())
            return path;
        path = NumberedName(wanted, n);
    }
}

} // namespace

QString CompanionPathFor(const QString& loggerFilePath)
{
    const QFileInfo fi(loggerFilePath);
    const QString dir = fi.path();
    const QString name = fi.suffix().isEmpty() ? fi.fileName() : fi.completeBaseName();
    return (dir.isEmpty() || dir == QLatin1String(".") ? QString() : dir + QLatin1Char('/')) + name + QLatin1Char('.') +
           kCompanionSuffix;
}

QByteArray EncodeCompanion(const LoggerCompanion& c)
{
    QByteArray out = kFirstLine + '\n';
    out += "logger-file=" + c.loggerFileName.toUtf8() + '\n';
    out += "logger-file-sha256=" + c.loggerFileSha256.toLatin1() + '\n';
    out += "serial=" + c.serialNo.toUtf8() + '\n';
    out += "rom=" + c.romText.toLatin1() + '\n';
    out += "mission-start-utc=" + utcText(c.missionStartUtc) + '\n';
    out += "read-utc=" + utcText(c.readUtc) + '\n';
    out += "alarm-log=" + areaText(c.alarmLog) + '\n';
    out += "histogram=" + areaText(c.histogram) + '\n';
    return out;
}

bool DecodeCompanion(const QByteArray& text, LoggerCompanion& companion, QString* why)
{
    auto fail = [why](const QString& reason) {
        if (why) *why = reason;
        return false;
    };
    const QList<QByteArray> lines = text.split('\n');
    if (lines.isEmpty() || lines.first().trimmed() != kFirstLine)
        return fail(QStringLiteral("it is no alarm-log companion of this program's version"));
    LoggerCompanion c;
    bool hash = false, alarms = false, histogram = false;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines[i].endsWith('\r') ? lines[i].chopped(1) : lines[i];
        if (line.isEmpty()) continue;
        const qsizetype eq = line.indexOf('=');
        if (eq <= 0) return fail(QStringLiteral("line %1 is no \"key=value\" line").arg(i + 1));
        const QByteArray key = line.left(eq), value = line.mid(eq + 1);
        if (key == "logger-file") c.loggerFileName = QString::fromUtf8(value);
        else if (key == "logger-file-sha256") {
            hash = value.size() == 64;
            c.loggerFileSha256 = QString::fromLatin1(value).toLower();
        } else if (key == "serial") c.serialNo = QString::fromUtf8(value);
        else if (key == "rom") c.romText = QString::fromLatin1(value);
        else if (key == "mission-start-utc") c.missionStartUtc = utcOf(value);
        else if (key == "read-utc") c.readUtc = utcOf(value);
        else if (key == "alarm-log") {
            if (!areaOf(value, kAlarmLogBytes, c.alarmLog)) return fail(QStringLiteral("the alarm log is damaged"));
            alarms = true;
        } else if (key == "histogram") {
            if (!areaOf(value, kHistogramAreaBytes, c.histogram)) return fail(QStringLiteral("the histogram is damaged"));
            histogram = true;
        }
        // Keys of a later program are passed over.
    }
    if (!hash) return fail(QStringLiteral("it names no logger file by its SHA-256"));
    if (!alarms || !histogram) return fail(QStringLiteral("it is cut short"));
    companion = c;
    return true;
}

LoggerCompanion CompanionOf(const clsDS1921Data& image, const QString& romText, const QString& loggerFileName,
                            const QByteArray& loggerFileBytes)
{
    LoggerCompanion c;
    c.loggerFileName = loggerFileName;
    c.loggerFileSha256 = QString::fromLatin1(QCryptographicHash::hash(loggerFileBytes, QCryptographicHash::Sha256).toHex());
    c.serialNo = image.SerialNo();
    c.romText = romText;
    c.missionStartUtc = image.MissionStart().isValid() ? LocalToUtc(image.MissionStart()) : QDateTime();
    c.readUtc = image.EvidenceReadUtc();
    c.alarmLog = image.AlarmLogBytes();
    c.histogram = image.HistogramBytes();
    return c;
}

bool WriteCompanionFile(const QString& path, const LoggerCompanion& companion, QString* error)
{
    QSaveFile file(path);
    const QByteArray bytes = EncodeCompanion(companion);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        if (error) *error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

CompanionState ReadCompanionFor(const QString& loggerFilePath, const QString& loggerFileSha256,
                                const clsDS1921Data& image, LoggerCompanion& companion, QString* why)
{
    const QString path = CompanionPathFor(loggerFilePath);
    if (!QFileInfo::exists(path) && !QFileInfo(path).isSymLink()) return CompanionState::None;
    auto refuse = [&](const QString& reason) {
        if (why) *why = QDir::toNativeSeparators(path) + QStringLiteral(": ") + reason;
        return CompanionState::Refused;
    };
    const RegularFileRead read = ReadRegularFile(path, kMaxCompanionBytes);
    if (!read.ok()) return refuse(read.message);
    LoggerCompanion c;
    QString reason;
    if (!DecodeCompanion(read.bytes, c, &reason)) return refuse(reason);
    if (loggerFileSha256.isEmpty() || c.loggerFileSha256 != loggerFileSha256.toLower())
        return refuse(QStringLiteral("it belongs to another logger file (SHA-256 %1, the logger file's %2)")
                          .arg(c.loggerFileSha256, loggerFileSha256));
    if (c.serialNo != image.SerialNo())
        return refuse(QStringLiteral("it names the logger %1, the logger file %2").arg(c.serialNo, image.SerialNo()));
    const QDateTime start = image.MissionStart().isValid() ? LocalToUtc(image.MissionStart()) : QDateTime();
    if (c.missionStartUtc != start)
        return refuse(QStringLiteral("its mission start differs from the logger file's"));
    companion = c;
    return CompanionState::Belongs;
}

int MoveLoggerFileWithCompanion(const QString& loggerFilePath, const QString& targetDir, QString* movedTo)
{
    const QFileInfo source(loggerFilePath);
    if (!source.exists() && !source.isSymLink()) return 2;
    if (!QDir().mkpath(targetDir)) return 5;
    const QString target = freeLoggerFileName(targetDir, source.fileName());
    const QString companion = CompanionPathFor(loggerFilePath);
    bool withCompanion = QFileInfo::exists(companion) || QFileInfo(companion).isSymLink();
    const QString companionTarget = CompanionPathFor(target);
    if (withCompanion) {
        const int rc = MoveFiles(companion, companionTarget);
        if (rc == 2) withCompanion = false;   // taken meanwhile (another program's import): the file goes alone
        else if (rc != 0) return rc;
    }
    const int rc = MoveFiles(loggerFilePath, target);
    if (rc != 0) {
        if (withCompanion) (void)MoveFiles(companionTarget, companion);
        return rc;
    }
    if (movedTo) *movedTo = target;
    return 0;
}
