#pragma once
// The logger's own alarm log and histogram, stored with a reading and kept per logger and
// mission (logger position, serial number and mission start), so that they outlive the logger's
// next mission. A reading that could not read them stores nothing here.
#include "image/LoggerEvidence.h"
#include <QDateTime>
#include <QString>
#include <vector>

class clsDatabase;

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
// reading of each mission. Nothing when none were stored.
std::vector<StoredMissionEvidence> MissionEvidenceForWindow(clsDatabase& db, qint32 deviceId,
                                                            const QDateTime& fromUtc, const QDateTime& toUtc);
