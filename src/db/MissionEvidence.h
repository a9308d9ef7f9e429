#pragma once
// The logger's own alarm log and histogram, stored with a reading and kept per logger and
// mission (logger position, serial number and mission start), so that they outlive the logger's
// next mission. A reading that could not read them stores nothing here.
#include "image/LoggerEvidence.h"
#include <QDateTime>
#include <QString>
#include <vector>

class clsDatabase;
class clsDS1921Data;
struct LoggerCompanion;
struct sqlite3;

struct StoredMissionEvidence {
    qint32 DeviceID = 0;
    QString SerialNo;
    QDateTime MissionStartUtc;      // start of the mission the figures belong to
    int SampleRateMinutes = 0;
    qint32 MissionSamples = 0;      // samples of the whole mission at the reading
    bool RollOver = false;
    QDateTime ReadUtc;              // when the figures were read from the logger
    bool AlarmLogRead = false;      // false: the reading could not read the alarm log
    bool HistogramRead = false;
    std::vector<AlarmLogEntry> AlarmLog;   // as DecodeAlarmLog gives it (overwritten marked)
    std::vector<HistogramBin> Histogram;   // all 64 bins
};

// The stored figures of every mission of the logger position that overlaps [fromUtc, toUtc]
// (a mission runs from its start to its start + samples * rate), oldest mission first; the latest
// reading of each mission. Nothing when none were stored. Throws DbError when the database cannot
// be opened.
std::vector<StoredMissionEvidence> MissionEvidenceForWindow(clsDatabase& db, qint32 deviceId,
                                                            const QDateTime& fromUtc, const QDateTime& toUtc);

// ---- Storing (the tables missionevidence, missionalarms and missionhistogram, the schema's last
// block; EnsureAuditTables adds them to an older database).

// The figures of a logger file's companion, decoded with the image of that logger file (mission
// start, sample rate, samples, rollover, variant). AlarmLogRead / HistogramRead tell which areas
// the companion holds; an image without a valid mission start gives neither.
StoredMissionEvidence MissionEvidenceOf(const clsDS1921Data& image, const LoggerCompanion& companion);

// Stores the figures in the caller's transaction (clsDatabase::LoggerImageToDB). A later reading
// of the same mission replaces what an earlier one stored, area by area: an area the later one
// could not read keeps the earlier rows; an older reading than the stored one changes nothing,
// nor do figures with neither area read. False when nothing was changed. Throws DbError.
bool StoreMissionEvidence(sqlite3* db, const StoredMissionEvidence& evidence, const QString& fileHash);

// The rows of logger positions that are gone from table devices (the structure editor removed
// them, as it removes their samples). Returns the missions removed. Throws DbError.
qint32 DeleteDevicelessMissionEvidence(clsDatabase& db);
// The rows of missions that ended before the time (the purge). Returns the missions removed.
// Throws DbError.
qint32 PurgeMissionEvidence(clsDatabase& db, const QDateTime& beforeUtc);
