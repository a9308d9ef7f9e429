// The logger's own alarm log and histogram per logger position and mission.
#include "db/MissionEvidence.h"
#include "db/AuditTrail.h"
#include "db/clsDatabase.h"
#include "app/modMain.h"
#include "image/LoggerCompanion.h"
#include "image/clsDS1921Data.h"

#include <sqlite3.h>

namespace {

QString utcText(const QDateTime& t)
{
    return t.isValid() ? t.toUTC().toString(Qt::ISODate) : QString();
}

QDateTime utcOf(const QString& text)
{
    const QDateTime t = QDateTime::fromString(text, Qt::ISODate);
    return t.isValid() ? t.toUTC() : QDateTime();
}

// Parameters 1 to 3: the mission's key.
void bindKey(DbStatement& st, qint32 deviceId, const QString& serialNo, const QString& missionStart)
{
    st.bindInt(1, deviceId);
    st.bindText(2, serialNo);
    st.bindText(3, missionStart);
}

void bindUtcOrNull(DbStatement& st, int index, const QDateTime& t)
{
    if (t.isValid()) st.bindText(index, utcText(t));
    else st.bindNull(index);
}

// The missions chosen by `where` (over missionevidence) with their alarm and histogram rows.
qint32 deleteMissions(sqlite3* db, const QString& where, const std::vector<DbValue>& params)
{
    if (!HasTable(db, "missionevidence")) return 0;
    const QString keys = QStringLiteral("(DeviceID, SerialNo, MissionStartUTC) IN (SELECT DeviceID, SerialNo, "
                                        "MissionStartUTC FROM missionevidence WHERE ") + where + QStringLiteral(")");
    for (const char* table : {"missionalarms", "missionhistogram"}) {
        DbStatement st(db, QStringLiteral("DELETE FROM ") + QString::fromLatin1(table) + QStringLiteral(" WHERE ") + keys);
        for (size_t i = 0; i < params.size(); ++i) st.bind(int(i) + 1, params[i]);
        st.step();
    }
    DbStatement st(db, QStringLiteral("DELETE FROM missionevidence WHERE ") + where);
    for (size_t i = 0; i < params.size(); ++i) st.bind(int(i) + 1, params[i]);
    st.step();
    return qint32(sqlite3_changes(db));
}

void deleteRows(sqlite3* db, const char* table, const StoredMissionEvidence& e)
{
    DbStatement st(db, QStringLiteral("DELETE FROM ") + QString::fromLatin1(table) +
                           QStringLiteral(" WHERE DeviceID = ? AND SerialNo = ? AND MissionStartUTC = ?"));
    bindKey(st, e.DeviceID, e.SerialNo, utcText(e.MissionStartUtc));
    st.step();
}

} // namespace

StoredMissionEvidence MissionEvidenceOf(const clsDS1921Data& image, const LoggerCompanion& companion)
{
    StoredMissionEvidence e;
    e.DeviceID = image.DeviceID();
    e.SerialNo = image.SerialNo();
    e.MissionStartUtc = image.MissionStart().isValid() ? LocalToUtc(image.MissionStart()) : QDateTime();
    e.SampleRateMinutes = image.SampleRate();
    e.MissionSamples = image.MissionSamples();
    e.RollOver = image.RollOver();
    e.ReadUtc = companion.readUtc.isValid() ? companion.readUtc
                : image.LastReading().isValid() ? LocalToUtc(image.LastReading()) : QDateTime();
    if (!e.MissionStartUtc.isValid()) return e;
    const QString rom = image.RecordRomText().isEmpty() ? companion.romText : image.RecordRomText();
    e.AlarmLog = DecodeAlarmLog(companion.alarmLog, e.MissionStartUtc, e.SampleRateMinutes, e.MissionSamples, e.RollOver);
    e.AlarmLogRead = !companion.alarmLog.isEmpty();
    e.Histogram = DecodeHistogram(companion.histogram, LoggerVariantOf(rom));
    e.HistogramRead = !e.Histogram.empty();
    return e;
}

bool StoreMissionEvidence(sqlite3* db, const StoredMissionEvidence& e, const QString& fileHash)
{
    if (!e.MissionStartUtc.isValid() || (!e.AlarmLogRead && !e.HistogramRead)) return false;
    EnsureAuditTables(db);
    const QString start = utcText(e.MissionStartUtc);
    bool alarmLogRead = e.AlarmLogRead, histogramRead = e.HistogramRead;
    {
        DbStatement find(db, QStringLiteral("SELECT ReadUTC, AlarmLogRead, HistogramRead FROM missionevidence "
                                            "WHERE DeviceID = ? AND SerialNo = ? AND MissionStartUTC = ?"));
        bindKey(find, e.DeviceID, e.SerialNo, start);
        if (find.step()) {
            // The latest reading of a mission knows most; an older one (a file imported late) changes nothing.
            const QDateTime stored = utcOf(find.columnText(0));
            if (stored.isValid() && (!e.ReadUtc.isValid() || e.ReadUtc < stored)) return false;
            alarmLogRead = alarmLogRead || find.columnInt(1) != 0;
            histogramRead = histogramRead || find.columnInt(2) != 0;
        }
    }
    {
        DbStatement st(db, QStringLiteral(
                               "INSERT INTO missionevidence (DeviceID, SerialNo, MissionStartUTC, MissionEndUTC, SampleRate, "
                               "MissionSamples, RollOver, ReadUTC, AlarmLogRead, HistogramRead, HistogramTotal, FileHash) "
                               "VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12) "
                               "ON CONFLICT (DeviceID, SerialNo, MissionStartUTC) DO UPDATE SET "
                               "MissionEndUTC = ?4, SampleRate = ?5, MissionSamples = ?6, RollOver = ?7, ReadUTC = ?8, "
                               "AlarmLogRead = ?9, HistogramRead = ?10, "
                               "HistogramTotal = CASE WHEN ?13 THEN ?11 ELSE HistogramTotal END, FileHash = ?12"));
        bindKey(st, e.DeviceID, e.SerialNo, start);
        bindUtcOrNull(st, 4, e.MissionStartUtc.addSecs(qint64(e.MissionSamples) * e.SampleRateMinutes * 60));
        st.bindInt(5, e.SampleRateMinutes);
        st.bindInt(6, e.MissionSamples);
        st.bindInt(7, e.RollOver ? 1 : 0);
        bindUtcOrNull(st, 8, e.ReadUtc);
        st.bindInt(9, alarmLogRead ? 1 : 0);
        st.bindInt(10, histogramRead ? 1 : 0);
        if (e.HistogramRead) st.bindInt(11, qint64(HistogramTotal(e.Histogram)));
        else st.bindNull(11);
        st.bindText(12, fileHash);
        st.bindInt(13, e.HistogramRead ? 1 : 0);
        st.step();
    }
    if (e.AlarmLogRead) {
        deleteRows(db, "missionalarms", e);
        DbStatement st(db, QStringLiteral("INSERT INTO missionalarms (DeviceID, SerialNo, MissionStartUTC, Entry, Kind, "
                                          "StartSample, DurationSamples, StartUTC, EndUTC, Minutes, Overwritten) "
                                          "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"));
        int entry = 0;
        for (const AlarmLogEntry& a : e.AlarmLog) {
            bindKey(st, e.DeviceID, e.SerialNo, start);
            st.bindInt(4, entry++);
            st.bindText(5, a.high ? QStringLiteral("high") : QStringLiteral("low"));
            st.bindInt(6, a.startSample);
            st.bindInt(7, a.durationSamples);
            bindUtcOrNull(st, 8, a.start);
            bindUtcOrNull(st, 9, a.end);
            st.bindInt(10, a.minutes);
            st.bindInt(11, a.overwritten ? 1 : 0);
            st.step();
            st.reset();
        }
    }
    if (e.HistogramRead) {
        deleteRows(db, "missionhistogram", e);
        DbStatement st(db, QStringLiteral("INSERT INTO missionhistogram (DeviceID, SerialNo, MissionStartUTC, Bin, FromC, "
                                          "ToC, Count) VALUES (?, ?, ?, ?, ?, ?, ?)"));
        for (const HistogramBin& b : e.Histogram) {
            bindKey(st, e.DeviceID, e.SerialNo, start);
            st.bindInt(4, b.index);
            st.bindDouble(5, double(b.fromC));
            st.bindDouble(6, double(b.toC));
            st.bindInt(7, qint64(b.count));
            st.step();
            st.reset();
        }
    }
    return true;
}

std::vector<StoredMissionEvidence> MissionEvidenceForWindow(clsDatabase& db, qint32 deviceId, const QDateTime& fromUtc,
                                                            const QDateTime& toUtc)
{
    std::vector<StoredMissionEvidence> out;
    sqlite3* handle = db.Handle();
    if (!handle) throw db.OpenError();
    if (!HasTable(handle, "missionevidence")) return out;
    DbStatement missions(handle, QStringLiteral("SELECT SerialNo, MissionStartUTC, SampleRate, MissionSamples, RollOver, "
                                                "ReadUTC, AlarmLogRead, HistogramRead FROM missionevidence "
                                                "WHERE DeviceID = ? AND MissionStartUTC <= ? AND MissionEndUTC >= ? "
                                                "ORDER BY MissionStartUTC, SerialNo"));
    missions.bindInt(1, deviceId);
    missions.bindText(2, utcText(toUtc));
    missions.bindText(3, utcText(fromUtc));
    while (missions.step()) {
        StoredMissionEvidence e;
        e.DeviceID = deviceId;
        e.SerialNo = missions.columnText(0);
        e.MissionStartUtc = utcOf(missions.columnText(1));
        e.SampleRateMinutes = int(missions.columnInt(2));
        e.MissionSamples = qint32(missions.columnInt(3));
        e.RollOver = missions.columnInt(4) != 0;
        e.ReadUtc = utcOf(missions.columnText(5));
        e.AlarmLogRead = missions.columnInt(6) != 0;
        e.HistogramRead = missions.columnInt(7) != 0;
        out.push_back(std::move(e));
    }
    DbStatement alarms(handle, QStringLiteral("SELECT Kind, StartSample, DurationSamples, StartUTC, EndUTC, Minutes, "
                                              "Overwritten FROM missionalarms WHERE DeviceID = ? AND SerialNo = ? AND "
                                              "MissionStartUTC = ? ORDER BY Entry"));
    DbStatement bins(handle, QStringLiteral("SELECT Bin, FromC, ToC, Count FROM missionhistogram WHERE DeviceID = ? AND "
                                            "SerialNo = ? AND MissionStartUTC = ? ORDER BY Bin"));
    for (StoredMissionEvidence& e : out) {
        const QString start = utcText(e.MissionStartUtc);
        alarms.reset();
        bindKey(alarms, deviceId, e.SerialNo, start);
        while (alarms.step()) {
            AlarmLogEntry a;
            a.high = alarms.columnText(0) == QLatin1String("high");
            a.startSample = qint32(alarms.columnInt(1));
            a.durationSamples = int(alarms.columnInt(2));
            a.start = utcOf(alarms.columnText(3));
            a.end = utcOf(alarms.columnText(4));
            a.minutes = alarms.columnInt(5);
            a.overwritten = alarms.columnInt(6) != 0;
            e.AlarmLog.push_back(a);
        }
        bins.reset();
        bindKey(bins, deviceId, e.SerialNo, start);
        while (bins.step()) {
            HistogramBin b;
            b.index = int(bins.columnInt(0));
            b.fromC = float(bins.columnDouble(1));
            b.toC = float(bins.columnDouble(2));
            b.count = quint32(bins.columnInt(3));
            e.Histogram.push_back(b);
        }
    }
    return out;
}

qint32 DeleteDevicelessMissionEvidence(clsDatabase& db)
{
    sqlite3* handle = db.Handle();
    if (!handle) throw db.OpenError();
    return deleteMissions(handle, QStringLiteral("DeviceID NOT IN (SELECT DeviceID FROM devices)"), {});
}

qint32 PurgeMissionEvidence(clsDatabase& db, const QDateTime& beforeUtc)
{
    sqlite3* handle = db.Handle();
    if (!handle) throw db.OpenError();
    return deleteMissions(handle, QStringLiteral("MissionEndUTC < ?"), {DbValue(utcText(beforeUtc))});
}
