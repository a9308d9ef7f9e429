// Storing one logger image: the logger's devices row, its compartment when new, and its
// temperature samples, with the logger's alarm log and histogram when given, all in one
// transaction with one durable commit.
//
// Result: Refused when nothing was stored: the image fails the plausibility check (a default or
// damaged identity record, impossible registers or counters, dates before 2000 or after the
// logger's clock, a data log too short for its samples); Stored otherwise.
// A sample this logger already has (same time) is skipped on its own. Any other error rolls
// the whole image back - no half-stored image is ever left - and is thrown to the caller as
// DbError, so that the logger file stays where it is and is offered again.
#include "db/clsDatabase.h"
#include "db/AuditTrail.h"
#include "db/LostSamples.h"
#include "db/MissionEvidence.h"
#include "app/modInternationalisation.h"
#include "app/modMain.h"
#include "image/clsDS1921Data.h"

#include <cmath>

namespace {

void storeDeviceRow(sqlite3* db, const clsDS1921Data& image, qint32 deviceId)
{
    DbStatement find(db, QStringLiteral("SELECT DateRead FROM devices WHERE DeviceID = ?"));
    find.bindInt(1, deviceId);
    const bool found = find.step();
    const QDateTime lastReading = image.LastReading();
    if (found) {
        // An older reading never overwrites a newer row. A row without a reading time is
        // older than any image that has one.
        const DbValue stored = find.column(0);
        const bool newer = lastReading.isValid() && (stored.isNull() || stored.toDateTime() < lastReading);
        if (!newer) return;
    }
    find.reset();
    const QString sql = found
        ? QStringLiteral("UPDATE devices SET SerialNo = ?1, DateDevice = ?3, DateRead = ?4, NextReading = ?5, "
                         "SampleRate = ?6, AlarmHigh = ?7, AlarmLow = ?8, DeviceSamples = ?9, MissionSamples = ?10, "
                         "RollOver = ?11, DeviceDescription = ?12, \"User\" = ?13, \"Interface\" = ?14, "
                         "MissionRunning = ?15 WHERE DeviceID = ?2")
        : QStringLiteral("INSERT INTO devices (SerialNo, DeviceID, DateDevice, DateRead, NextReading, SampleRate, "
                         "AlarmHigh, AlarmLow, DeviceSamples, MissionSamples, RollOver, DeviceDescription, \"User\", "
                         "\"Interface\", MissionRunning) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13, ?14, ?15)");
    DbStatement write(db, sql);
    write.bindText(1, image.SerialNo());
    write.bindInt(2, deviceId);
    write.bind(3, DbValue(image.DateTime()));
    write.bind(4, DbValue(lastReading));
    write.bind(5, DbValue(image.NextReading()));
    write.bindInt(6, image.SampleRate());
    const float high = image.AlarmHigh(), low = image.AlarmLow();
    if (std::isnan(high)) write.bindNull(7); else write.bindDouble(7, high);
    if (std::isnan(low)) write.bindNull(8); else write.bindDouble(8, low);
    write.bindInt(9, image.DeviceSamples());
    write.bindInt(10, image.MissionSamples());
    write.bindInt(11, image.RollOver() ? 1 : 0);
    write.bindText(12, image.DeviceDescription());
    write.bindText(13, image.UserName());
    write.bindText(14, image.InterfaceSerial());
    write.bindInt(15, image.IsMissionRunning() ? 1 : 0);
    write.step();
}

void storeCompartment(sqlite3* db, const clsDS1921Data& image)
{
    DbStatement find(db, QStringLiteral("SELECT 1 FROM rooms WHERE RoomID = ?"));
    find.bindInt(1, image.Room());
    if (find.step()) return;   // an existing compartment is never changed
    DbStatement add(db, QStringLiteral("INSERT INTO rooms (RoomID, RoomDescription, RoomSequence) VALUES (?, ?, 1)"));
    add.bindInt(1, image.Room());
    add.bindText(2, (Translate(QStringLiteral("compartment for ")) + image.DeviceDescription()).left(50));
    add.step();
}

void storeSamples(sqlite3* db, qint32 deviceId, const std::vector<TemperatureSample>& samples)
{
    const double clip = App().ClipTempLower;
    DbStatement insert(db, QStringLiteral("INSERT INTO samples (DeviceID, SampleDate, SampleTemp) VALUES (?, ?, ?)"));
    for (const TemperatureSample& s : samples) {
        insert.bindInt(1, deviceId);
        insert.bindInt(2, ToEpochSeconds(s.time));
        insert.bindDouble(3, double(s.celsius) < clip ? float(clip) : s.celsius);
        try {
            insert.step();
        } catch (const DbError& e) {
            if (!e.isDuplicateKey()) throw;
            // this logger already has a sample at that time
        }
        insert.reset();
    }
}

// The steps in which the samples of this image were decoded: half degrees for a DS1921G (and
// any record without the ROM field, decoded as one), eighths for the H and Z variants. Samples
// converted through a calibration table have no fixed steps, and nothing is kept for them.
void storeLoggerSteps(sqlite3* db, const clsDS1921Data& image)
{
    const QString serial = image.SerialNo().trimmed();
    if (serial.isEmpty() || image.HasCalibration()) return;
    const bool halves = LoggerVariantOf(image.RecordRomText()) == LoggerVariant::Standard;
    DbStatement st(db, QStringLiteral("INSERT INTO parameters (ParamName, ParamValue) VALUES (?, ?) "
                                      "ON CONFLICT (ParamName) DO UPDATE SET ParamValue = excluded.ParamValue"));
    st.bindText(1, LoggerStepsParameterName(serial));
    st.bindText(2, halves ? QStringLiteral("0.5") : QStringLiteral("0.125"));
    st.step();
}

} // namespace

QString LoggerStepsParameterName(const QString& serialNo)
{
    return QStringLiteral("LoggerSteps ") + serialNo;
}

ImageStoreResult clsDatabase::LoggerImageToDB(clsDS1921Data& image, QString* refusal, const QString& fileName,
                                               const QString& fileHash, const StoredMissionEvidence* evidence)
{
    const QString why = image.ImplausibleBecause();
    if (refusal) *refusal = why;
    if (!why.isEmpty()) return ImageStoreResult::Refused;
    const qint32 deviceId = image.DeviceID();
    std::vector<TemperatureSample> samples;
    if (image.MissionSamples() > 0) {
        bool complete = false;
        samples = image.TemperatureSamples(&complete);
        if (!complete) {
            if (refusal) *refusal = QStringLiteral("the sample series cannot be told from the image");
            return ImageStoreResult::Refused;
        }
    }

    sqlite3* db = requireOpen();
    Transaction transaction(*this);
    storeDeviceRow(db, image, deviceId);
    storeCompartment(db, image);
    storeLoggerSteps(db, image);
    // Before the new samples: what the logger overwrote before any stored reading held it.
    const LostSamples lost = LostSamplesOf(image, db);
    storeSamples(db, deviceId, samples);
    const bool evidenceStored = evidence && StoreMissionEvidence(db, *evidence, fileHash);
    ReadingFileRow file;
    file.hash = fileHash;
    file.deviceId = deviceId;
    file.serialNo = image.SerialNo();
    file.fileName = fileName;
    file.readingUtc = image.LastReading().isValid() ? LocalToUtc(image.LastReading()).toString(Qt::ISODate) : QString();
    file.sampleCount = qint64(samples.size());
    if (!samples.empty()) {
        file.firstSample = ToEpochSeconds(samples.front().time);
        file.lastSample = ToEpochSeconds(samples.back().time);
    }
    QString details = QStringLiteral("samples=%1").arg(file.sampleCount);
    if (!samples.empty())
        details += QStringLiteral(" first=%1 last=%2").arg(file.firstSample).arg(file.lastSample);
    if (evidenceStored)
        details += QStringLiteral(" alarmlog=%1 histogram=%2")
                       .arg(evidence->AlarmLogRead ? QString::number(evidence->AlarmLog.size()) : QStringLiteral("unread"),
                            evidence->HistogramRead ? QString::number(HistogramTotal(evidence->Histogram))
                                                    : QStringLiteral("unread"));
    if (!fileName.isEmpty()) details += QStringLiteral(" file=") + fileName;
    if (!fileHash.isEmpty()) details += QStringLiteral(" sha256=") + fileHash;
    if (lost.Any())
        details += QStringLiteral(" lost=%1 lostfirst=%2 lostlast=%3")
                       .arg(lost.Count)
                       .arg(ToEpochSeconds(lost.FirstUtc))
                       .arg(ToEpochSeconds(lost.LastUtc));
    file.auditId = AppendAudit(*this, AuditAction::ReadingStored,
                               QStringLiteral("logger %1 (%2)").arg(image.SerialNo()).arg(deviceId), details);
    if (!fileHash.isEmpty()) StoreReadingFile(db, file);
    transaction.commit();
    return ImageStoreResult::Stored;
}
