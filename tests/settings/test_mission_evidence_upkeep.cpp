// The stored alarm logs and histograms under the settings window's work, as the samples are: a
// logger position deleted in the structure takes its missions' rows along, a purge removes the
// missions that ended before its date and says how many, the portable copy holds none. Real
// database files throughout.
#include "support/TestSite.h"

#include "db/AuditTrail.h"
#include "db/MissionEvidence.h"
#include "image/LoggerEvidence.h"
#include "settings/clsMaintenance.h"
#include "settings/clsStructureEditor.h"

namespace {

class EvidenceUpkeep : public SiteDatabase {
protected:
    // A mission of `samples` ten-minute samples from start, with one alarm and its histogram.
    void addMission(qint32 deviceId, const QDateTime& start, int samples)
    {
        StoredMissionEvidence e;
        e.DeviceID = deviceId;
        e.SerialNo = QString::number(2100000000 + deviceId % 1000);
        e.MissionStartUtc = start;
        e.SampleRateMinutes = 10;
        e.MissionSamples = samples;
        e.ReadUtc = start.addSecs(qint64(samples) * 600);
        e.AlarmLogRead = e.HistogramRead = true;
        AlarmLogEntry a;
        a.high = true;
        a.startSample = 5;
        a.durationSamples = 2;
        e.AlarmLog = {a};
        QByteArray area(kHistogramAreaBytes, '\0');
        area[2 * 42] = char(samples & 0xFF);
        area[2 * 42 + 1] = char(samples >> 8);
        e.Histogram = DecodeHistogram(area, LoggerVariant::Standard);
        clsDatabase::Transaction t(*db);
        ASSERT_TRUE(StoreMissionEvidence(db->Handle(), e, QString()));
        t.commit();
    }
    static QDateTime day(int month, int d) { return QDateTime(QDate(2026, month, d), QTime(8, 0), Qt::UTC); }
    QString lastDetails() { return AuditRows(*db).back().details; }
};

} // namespace

TEST_F(EvidenceUpkeep, ADeletedLoggerPositionTakesItsMissionsAlong)
{
    fillSite();
    addMission(123400101, day(10, 1), 1440);
    addMission(123400102, day(10, 1), 1440);
    addMission(123400102, day(11, 1), 100);
    clsStructureEditor editor;
    ASSERT_TRUE(editor.GenerateData(*db));
    ASSERT_TRUE(editor.DeleteLogger(123400102));
    QString message;
    ASSERT_EQ(editor.Save(*db, &message), clsStructureEditor::SaveDone) << message.toStdString();
    EXPECT_EQ(count("SELECT COUNT(*) FROM samples WHERE DeviceID = 123400102"), 0);
    EXPECT_EQ(count("SELECT COUNT(*) FROM missionevidence WHERE DeviceID = 123400102"), 0);
    EXPECT_EQ(count("SELECT COUNT(*) FROM missionalarms WHERE DeviceID = 123400102"), 0);
    EXPECT_EQ(count("SELECT COUNT(*) FROM missionhistogram WHERE DeviceID = 123400102"), 0);
    EXPECT_EQ(count("SELECT COUNT(*) FROM missionevidence"), 1);
    EXPECT_EQ(count("SELECT COUNT(*) FROM missionhistogram"), 64);
    EXPECT_TRUE(lastDetails().endsWith(" samples_removed=10 missions_removed=2")) << lastDetails().toStdString();
}

TEST_F(EvidenceUpkeep, APurgeRemovesTheMissionsThatEndedBeforeItsDate)
{
    fillSite();
    addMission(123400101, day(10, 1), 1440);   // ended 11 October
    addMission(123400101, day(11, 10), 100);   // ended 11 November 00:40
    addMission(123400201, day(11, 14), 1440);  // runs into the purge date
    clsMaintenance maintenance(*db, dir.path(), QDir(dir.path()).filePath("backup"), QDir(dir.path()).filePath("media"));
    ASSERT_TRUE(maintenance.Purge(QDate(2026, 11, 15), true)) << maintenance.ErrorText().toStdString();
    sqlite3* raw = openRaw();
    EXPECT_EQ(scalarText(raw, "SELECT group_concat(DeviceID || ' ' || MissionStartUTC, ', ') FROM missionevidence"),
              "123400201 2026-11-14T08:00:00Z");
    EXPECT_EQ(scalar(raw, "SELECT COUNT(*) FROM missionalarms"), 1);
    EXPECT_EQ(scalar(raw, "SELECT COUNT(*) FROM missionhistogram"), 64);
    sqlite3_close(raw);
    const QString details = lastDetails();
    EXPECT_TRUE(details.startsWith("before=")) << details.toStdString();
    EXPECT_TRUE(details.contains(" samples=30 comments=0 history=0 missions=2")) << details.toStdString();
    EXPECT_TRUE(AuditChainProblems(*db).isEmpty());

    // The portable copy holds no mission rows, as it holds no samples.
    ASSERT_TRUE(maintenance.CreatePortable()) << maintenance.ErrorText().toStdString();
    clsDatabase portable(QDir(dir.path()).filePath("media"));
    ResultList r;
    ASSERT_EQ(portable.GetRecordsBySQL(r, "SELECT (SELECT COUNT(*) FROM missionevidence) + (SELECT COUNT(*) FROM "
                                          "missionalarms) + (SELECT COUNT(*) FROM missionhistogram)", false),
              dbQueryOk);
    EXPECT_EQ(r.rows.front().at(0).toInt(), 0);
}
