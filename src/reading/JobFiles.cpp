#include "reading/JobFiles.h"
#include "app/UserInterface.h"

#include "reading/DueList.h"
#include "app/modInternationalisation.h"
#include "app/modMain.h"
#include "db/clsDatabase.h"
#include "image/clsDS1921Data.h"

#include <QDir>
#include <QSaveFile>

QByteArray JobFileBytes(const QDateTime& nextReadingLocal, const QString& serialNo, const QString& roomDescription,
                        const QString& deviceDescription)
{
    // Two-digit year, month, day, hour, minute; the handheld expects "/" and ":" as separators.
    const QString due = nextReadingLocal.isValid() ? nextReadingLocal.toString(QStringLiteral("yy/MM/dd HH:mm"))
                                                   : QString();
    QByteArray bytes = StringToCp1252(QStringLiteral("due:") + due);
    bytes += "\r\n";
    bytes += StringToCp1252(QStringLiteral("des:") + Translate("Read") + " " + serialNo + "," + roomDescription + "," +
                            deviceDescription);
    return bytes;
}

std::vector<JobFile> ComputeJoblist(const ResultList& rows, const QDateTime& nowLocal, int readHoursBeforeOverflow,
                                    bool dueOnly)
{
    std::vector<JobFile> out;
    for (int i = rows.firstDataRow(); i < rows.size(); ++i) {
        const DbRow& r = rows.rows[size_t(i)];
        if (!r.value("MissionRunning").toBool()) continue;
        const QDateTime nextTime = RowDataAtRisk(r);
        // A logger without a known rollover time counts as due.
        if (dueOnly && nextTime.isValid() && HourBoundaries(nowLocal, nextTime) >= readHoursBeforeOverflow) continue;
        const QString serial = r.value("SerialNo").toString();
        if (serial.trimmed().isEmpty()) continue;
        auto text = [&](const char* name) { const DbValue v = r.value(name); return v.isNull() ? QString() : v.toString(); };
        out.push_back({serial + "r.ndc", JobFileBytes(nextTime, serial, text("RoomDescription"), text("DeviceDescription"))});
    }
    return out;
}

QStringList GenerateJoblist(clsDatabase& db, const QString& directory, const QDateTime& nowLocal,
                            int readHoursBeforeOverflow, bool dueOnly, QString* error)
{
    QStringList written;
    BusyCursor busy;
    ResultList rows;
    if (db.GetRecordsBySQL(rows, DueListQuery(), false) != 0) {
        if (error) *error = db.LastError();
        return written;
    }
    QDir().mkpath(directory);
    for (const JobFile& job : ComputeJoblist(rows, nowLocal, readHoursBeforeOverflow, dueOnly)) {
        const QString path = QDir(directory).filePath(job.fileName);
        QSaveFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(job.bytes) != job.bytes.size() || !file.commit()) {
            if (error) *error = QDir::toNativeSeparators(path) + ": " + file.errorString();
            file.cancelWriting();
            continue;
        }
        written << path;
    }
    return written;
}

QStringList GenerateJoblist(bool dueOnly, QString* error)
{
    return GenerateJoblist(AppDatabase(), App().DataDirectory, NowLocal(), App().ReadHoursBeforeOverflow, dueOnly,
                           error);
}
