#pragma once
// Samples a logger overwrote before any reading stored them: with rollover the data log keeps
// the last 2048 samples of a mission, so when the oldest sample still in the log is later than
// the sample after the newest one stored for this mission (or, with none stored, later than the
// mission's first sample), the samples between are gone.
#include <QDateTime>
#include <QString>

class clsDS1921Data;
struct sqlite3;

struct LostSamples {
    qint64 Count = 0;
    QDateTime FirstUtc;      // the first and last sample lost
    QDateTime LastUtc;
    bool Any() const { return Count > 0; }
};

// missionStartUtc: time of the mission's first sample; firstInLog: its mission sample number of
// the oldest sample the log holds (1 = first); lastStoredUtc: newest stored sample of the
// mission, invalid when none is stored.
LostSamples LostSamplesBetween(const QDateTime& missionStartUtc, int rateMinutes, qint32 firstInLog,
                               const QDateTime& lastStoredUtc);
// Of a logger image, against what the database holds of its mission (nothing when the image
// has no mission start, rate or identity, or the database cannot tell).
LostSamples LostSamplesOf(const clsDS1921Data& image, sqlite3* db);
// The newest stored sample of the logger at or after the mission start (invalid: none).
QDateTime LastStoredSampleOfMission(sqlite3* db, qint32 deviceId, const QDateTime& missionStartUtc);
// "294 samples from 2026-12-15 08:20 to 2026-12-16 23:16 were overwritten on the logger before
// they were read" (translated, local time as the reading dialog shows times); empty when none.
QString LostSamplesText(const LostSamples& lost);
