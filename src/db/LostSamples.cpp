#include "db/LostSamples.h"

#include "db/clsDatabase.h"
#include "app/modInternationalisation.h"
#include "app/modMain.h"
#include "image/LoggerEvidence.h"
#include "image/clsDS1921Data.h"

LostSamples LostSamplesBetween(const QDateTime& missionStartUtc, int rateMinutes, qint32 firstInLog,
                               const QDateTime& lastStoredUtc)
{
    LostSamples lost;
    if (!missionStartUtc.isValid() || rateMinutes <= 0 || firstInLog <= 1) return lost;
    const qint64 period = qint64(rateMinutes) * 60;
    const QDateTime oldestInLog = missionStartUtc.addSecs((firstInLog - 1) * period);
    const QDateTime expected = lastStoredUtc.isValid() ? lastStoredUtc.addSecs(period) : missionStartUtc;
    if (oldestInLog <= expected) return lost;
    lost.Count = expected.secsTo(oldestInLog) / period;
    if (lost.Count <= 0) return LostSamples();
    lost.FirstUtc = expected;
    lost.LastUtc = expected.addSecs((lost.Count - 1) * period);
    return lost;
}

QDateTime LastStoredSampleOfMission(sqlite3* db, qint32 deviceId, const QDateTime& missionStartUtc)
{
    if (!db || !missionStartUtc.isValid()) return QDateTime();
    DbStatement st(db, QStringLiteral("SELECT MAX(SampleDate) FROM samples WHERE DeviceID = ? AND SampleDate >= ?"));
    st.bindInt(1, deviceId);
    st.bindInt(2, ToEpochSeconds(missionStartUtc));
    if (!st.step() || st.column(0).isNull()) return QDateTime();
    return FromEpochSeconds(st.columnInt(0));
}

LostSamples LostSamplesOf(const clsDS1921Data& image, sqlite3* db)
{
    bool ok = false;
    const qint32 deviceId = image.DeviceID(&ok);
    if (!db || !ok || deviceId <= 0 || !image.MissionStart().isValid() || image.SampleRate() <= 0) return LostSamples();
    const QDateTime start = LocalToUtc(image.MissionStart());
    try {
        return LostSamplesBetween(start, image.SampleRate(), FirstSampleInLog(image.MissionSamples(), image.RollOver()),
                                  LastStoredSampleOfMission(db, deviceId, start));
    } catch (const DbError&) {
        return LostSamples();   // the database cannot tell: nothing is claimed
    }
}

QString LostSamplesText(const LostSamples& lost)
{
    if (!lost.Any()) return QString();
    const auto local = [](const QDateTime& utc) { return UtcToLocal(utc).toString(QStringLiteral("yyyy-MM-dd HH:mm")); };
    return Translate("%1 samples from %2 to %3 were overwritten on the logger before they were read")
        .arg(lost.Count)
        .arg(local(lost.FirstUtc), local(lost.LastUtc));
}
