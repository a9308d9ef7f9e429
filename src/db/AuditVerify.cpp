#include "db/AuditVerify.h"

#include "app/modMain.h"
#include "db/AuditTrail.h"
#include "db/clsDatabase.h"
#include "image/clsDS1921Data.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include <map>

namespace {

QString utcText(qint64 seconds)
{
    return FromEpochSeconds(seconds).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) + QStringLiteral(" UTC");
}

QString valueText(double v)
{
    return QString::number(v, 'f', 3);
}

struct Expected {
    float value = 0;
    QString file;
};

struct LoggerWork {
    LoggerVerification result;
    std::map<qint64, Expected> expected;   // UTC seconds -> value of the files
};

qint64 detailNumber(const QString& details, const QString& key)
{
    const QRegularExpression re(QStringLiteral("(?:^| )") + QRegularExpression::escape(key) + QStringLiteral("=(-?[0-9]+)"));
    const auto m = re.match(details);
    return m.hasMatch() ? m.captured(1).toLongLong() : 0;
}

} // namespace

bool Verification::holds() const
{
    if (!fileProblems.isEmpty() || !chainProblems.isEmpty()) return false;
    for (const LoggerVerification& l : loggers)
        if (!l.differences.isEmpty()) return false;
    return true;
}

Verification VerifyAgainstLoggerFiles(clsDatabase& db, const QString& backupDirectory)
{
    Verification v;
    v.chainProblems = AuditChainProblems(db);

    // What the audit trail says happened: purges and deleted loggers.
    std::map<qint32, qint64> deletedAt;   // DeviceID -> audit row of its last deletion
    const QRegularExpression idInSubject(QStringLiteral("\\((-?[0-9]+)\\)$"));
    for (const AuditRow& r : AuditRows(db)) {
        if (r.action == AuditAction::Purge) v.purgedBefore = std::max(v.purgedBefore, detailNumber(r.details, QStringLiteral("before")));
        if (r.action == AuditAction::LoggerDeleted) {
            const auto m = idInSubject.match(r.subject);
            if (m.hasMatch()) deletedAt[qint32(m.captured(1).toLongLong())] = r.id;
        }
    }
    std::map<std::pair<QString, qint32>, ReadingFileRow> stored;
    for (const ReadingFileRow& f : ReadingFiles(db)) stored[{f.hash, f.deviceId}] = f;

    std::map<qint32, LoggerWork> loggers;
    const double clip = App().ClipTempLower;
    const QDir dir(backupDirectory);
    for (const QString& name : dir.entryList({QStringLiteral("*.dta")}, QDir::Files, QDir::Name)) {
        const QString path = dir.filePath(name);
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            v.fileProblems << QStringLiteral("%1: cannot be read").arg(name);
            continue;
        }
        const QString hash = Sha256Hex(file.readAll());
        clsDS1921Data image;
        qint32 result = imgOk;
        image.ReadLoggerImageFromFile(path, result);
        if (result != imgOk) {
            v.fileProblems << QStringLiteral("%1: not a logger file (%2)").arg(name, image.LastError());
            continue;
        }
        const qint32 deviceId = image.DeviceID();
        LoggerWork& work = loggers[deviceId];
        work.result.deviceId = deviceId;
        if (work.result.serialNo.isEmpty()) work.result.serialNo = image.SerialNo();
        ++work.result.files;

        const auto found = stored.find({hash, deviceId});
        const qint64 importedBy = found == stored.end() ? 0 : found->second.auditId;
        if (found == stored.end()) {
            QString storedHash;
            for (const auto& [key, row] : stored)
                if (row.deviceId == deviceId && row.fileName == name) storedHash = row.hash;
            work.result.differences << (storedHash.isEmpty()
                                            ? QStringLiteral("%1: no SHA-256 stored for this file (sha256 %2)").arg(name, hash)
                                            : QStringLiteral("%1: the file was changed since it was stored (stored sha256 "
                                                             "%2, file sha256 %3)")
                                                  .arg(name, storedHash, hash));
        }
        const auto deleted = deletedAt.find(deviceId);
        if (deleted != deletedAt.end() && deleted->second > importedBy) {
            work.result.note = QStringLiteral("deleted (audit row %1)").arg(deleted->second);
            continue;   // its samples went with the logger
        }
        if (image.MissionSamples() <= 0) continue;
        bool complete = false;
        const std::vector<TemperatureSample> samples = image.TemperatureSamples(&complete);
        if (!complete) {
            work.result.differences << QStringLiteral("%1: the sample series cannot be told from the file").arg(name);
            continue;
        }
        for (const TemperatureSample& s : samples) {
            const qint64 t = ToEpochSeconds(s.time);
            if (t < v.purgedBefore) continue;
            const float value = double(s.celsius) < clip ? float(clip) : s.celsius;
            work.expected.emplace(t, Expected{value, name});   // the first file of a time wins, as in the import
        }
    }

    // The stored samples of every logger that has files, and of every logger with samples.
    {
        DbStatement all(db.Handle(), QStringLiteral("SELECT DISTINCT samples.DeviceID, devices.SerialNo FROM samples "
                                                    "LEFT JOIN devices ON devices.DeviceID = samples.DeviceID"));
        while (all.step()) {
            LoggerWork& work = loggers[qint32(all.columnInt(0))];
            work.result.deviceId = qint32(all.columnInt(0));
            if (work.result.serialNo.isEmpty()) work.result.serialNo = all.columnText(1);
        }
    }
    DbStatement rows(db.Handle(), QStringLiteral("SELECT SampleDate, SampleTemp FROM samples WHERE DeviceID = ? "
                                                 "AND SampleDate >= ? ORDER BY SampleDate"));
    for (auto& [deviceId, work] : loggers) {
        rows.reset();
        rows.bindInt(1, deviceId);
        rows.bindInt(2, v.purgedBefore);
        std::map<qint64, float> inDb;
        while (rows.step()) inDb[rows.columnInt(0)] = float(rows.columnDouble(1));
        QStringList& diff = work.result.differences;
        for (const auto& [t, e] : work.expected) {
            ++work.result.samples;
            const auto s = inDb.find(t);
            if (s == inDb.end())
                diff << QStringLiteral("%1: sample missing from the database (file %2, value %3)")
                            .arg(utcText(t), e.file, valueText(e.value));
            else if (s->second != e.value)
                diff << QStringLiteral("%1: sample changed: stored %2, file %3 (%4)")
                            .arg(utcText(t), valueText(s->second), valueText(e.value), e.file);
        }
        for (const auto& [t, value] : inDb)
            if (!work.expected.count(t))
                diff << QStringLiteral("%1: sample stored (%2) that no logger file holds").arg(utcText(t), valueText(value));
        v.loggers.push_back(work.result);
    }
    return v;
}
