// The operator's weeks in one go, on the virtual bus and a real database: three loggers (one of
// each variant) programmed, twenty days later read into logger files that the import of the
// next poll stores and files in the backup folder; the due list, the display queries and the
// three report formats over the result;
// a backup, a purge of everything older than ten days and a reorganisation; and after closing
// and reopening the database every sample that should remain is there, sample for sample, as
// the simulated loggers recorded it.
#include "programming/ProgrammingTestSupport.h"

#include "reading/DueList.h"
#include "desktop/Installer.h"
#include "db/clsDatabase.h"
#include "display/ChartModel.h"
#include "reading/LoggerImageToDatabase.h"
#include "reports/ChartExports.h"
#include "reports/SpreadsheetExport.h"
#include "reports/frmHTM.h"
#include "settings/clsMaintenance.h"

#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <map>

namespace {
struct Recorded {
    QDateTime utc;
    float celsius;
};

int fromBcd(uint8_t v) { return (v >> 4) * 10 + (v & 0x0F); }

class OperatorDay : public ProgrammingBench {
protected:
    // What the simulated logger holds, decoded straight from its memory: the mission time stamp,
    // the sample rate, the sample count and the data log (circular after a rollover).
    std::vector<Recorded> recorded(VirtualDs1921* l)
    {
        world->syncAll();
        const QDateTime start(QDate(2000 + fromBcd(l->peek(0x219)), fromBcd(l->peek(0x218) & 0x1F), fromBcd(l->peek(0x217))),
                              QTime(fromBcd(l->peek(0x216) & 0x3F), fromBcd(l->peek(0x215))), Qt::UTC);
        const int rate = l->peek(0x20D);
        const int n = l->missionSamples();
        std::vector<Recorded> out;
        for (int k = std::max(0, n - 2048); k < n; ++k)
            out.push_back({start.addSecs(qint64(k) * rate * 60), float(l->celsiusOf(l->peek(0x1000 + k % 2048)))});
        return out;
    }
    // Only this logger sits in the reader cable.
    void connect(VirtualDs1921* l)
    {
        for (const auto& d : world->devices())
            if (dynamic_cast<VirtualDs1921*>(d.get())) d->setPresent(d.get() == l);
        world->save();
        AppLogger().objDeviceFound.reset();
    }
    void programme(VirtualDs1921* l, qint32 room, int position, const QString& description, int rate,
                   int delayDays, bool rollover, const QString& low, const QString& high)
    {
        connect(l);
        clsMissionSettings s = openSettings();
        for (size_t i = 0; i < s.Rooms.size(); ++i)
            if (s.Rooms[i].RoomID == room) s.RoomIndex = int(i);
        s.PositionText = QString::number(position);
        s.Description = description;
        s.SampleRateIndex = rate - 1;
        s.EnableRollover = rollover;
        s.SetDelayLists(delayDays, 0, 0);
        messages.clear();
        s.LowAlarmText = low;
        s.HighAlarmText = high;
        clsProgrammingSequence seq(AppLogger(), AppDatabase());
        ASSERT_EQ(program(s, &seq), ProgrammingOutcome::Running) << seq.FailureMessage().toStdString() << lastRefusal.toStdString();
    }
    // A reading: the logger's image into a logger file in the data directory.
    QString readAndImport(VirtualDs1921* l)
    {
        connect(l);
        messages.clear();
        clsDS1921Data live;
        EXPECT_EQ(live.DeviceFound("21"), l->romText());
        qint32 rc = -1;
        live.ReadImageFromLogger(false, rc);
        EXPECT_EQ(rc, 0);
        QDir().mkpath(App().DataDirectory);
        const QString file = clsDS1921Data::LoggerFilePath(App().DataDirectory, live.SerialNo(), NowLocal());
        live.WriteLoggerImageToFile(file, rc);
        EXPECT_EQ(rc, 0) << live.LastError().toStdString();

        // The next poll imports every waiting file and files it in the backup folder.
        const int moved = ImportWaitingLoggerFiles();
        EXPECT_EQ(moved, 1);
        for (const auto& m : messages) ADD_FAILURE() << (m.title + ": " + m.prompt).toStdString();
        messages.clear();
        return QFileInfo(file).fileName();
    }
    std::vector<Recorded> stored(clsDatabase& db, qint32 id)
    {
        ResultList r;
        EXPECT_EQ(db.GetRecordsBySQL(r, QString("SELECT SampleDate, SampleTemp FROM samples WHERE DeviceID = %1 "
                                                "ORDER BY SampleDate").arg(id), false), dbQueryOk);
        std::vector<Recorded> out;
        for (const auto& row : r.rows)
            out.push_back({QDateTime::fromSecsSinceEpoch(row.at(0).toInt(), Qt::UTC), float(row.at(1).toDouble())});
        return out;
    }
    static void expectSame(const std::vector<Recorded>& want, const std::vector<Recorded>& got, const char* what)
    {
        ASSERT_EQ(got.size(), want.size()) << what;
        for (size_t i = 0; i < want.size(); ++i) {
            ASSERT_EQ(got[i].utc, want[i].utc) << what << " sample " << i;
            ASSERT_NEAR(got[i].celsius, want[i].celsius, 1e-4) << what << " sample " << i;
        }
    }
};
} // namespace

TEST_F(OperatorDay, TwentyDaysOfThreeLoggersSurviveReadingReportsPurgeAndRestart)
{
    QElapsedTimer took;
    took.start();
    App().BackupDirectory = QDir(dir.path()).filePath("backup");
    const qint32 idA = LocRoomPosToDeviceID(12, 7, 1), idB = LocRoomPosToDeviceID(12, 7, 2),
                 idC = LocRoomPosToDeviceID(12, 2, 1);

    // Three loggers on the cable, programmed one at a time.
    VirtualDs1921* a = addLogger(Ds1921Variant::G);
    VirtualDs1921* b = addLogger(Ds1921Variant::H);
    VirtualDs1921* c = addLogger(Ds1921Variant::Z);
    ASSERT_TRUE(a && b && c);
    programme(a, 7, 1, "door left", 15, 0, false, "2", "8");    // full after 21.3 days
    programme(b, 7, 2, "back wall", 30, 1, false, "20", "30");    // starts a day late, full after 43.7 days
    programme(c, 2, 1, "chest", 10, 0, true, "0", "10");         // overwrites its oldest samples after 14.2 days
    const QDateTime programmed = NowUtc();

    // Twenty days pass.
    realNow += 20LL * 24 * 3600 * 1000;
    world->syncAll();
    EXPECT_EQ(NowUtc().toSecsSinceEpoch() - programmed.toSecsSinceEpoch(), 20LL * 24 * 3600);
    const std::vector<Recorded> truthA = recorded(a), truthB = recorded(b), truthC = recorded(c);
    EXPECT_EQ(truthA.size(), size_t(20 * 96));
    EXPECT_EQ(truthB.size(), size_t(19 * 48));
    EXPECT_EQ(truthC.size(), size_t(2048)) << "the rollover logger holds its last 2048 samples";
    EXPECT_GT(c->missionSamples(), 2048);

    // Reading: file, import, backup folder.
    QStringList files;
    for (VirtualDs1921* l : {a, b, c}) files << readAndImport(l);
    for (const QString& f : files) {
        EXPECT_TRUE(QFileInfo::exists(QDir(App().BackupDirectory).filePath(f))) << f.toStdString();
        EXPECT_FALSE(QFileInfo::exists(QDir(App().DataDirectory).filePath(f))) << f.toStdString();
    }
    expectSame(truthA, stored(AppDatabase(), idA), "A after import");
    expectSame(truthB, stored(AppDatabase(), idB), "B after import");
    expectSame(truthC, stored(AppDatabase(), idC), "C after import");

    // Due list: the rollover logger is past its overflow, A full within 48 hours, B not due.
    std::map<qint32, DueListRow::Status> due;
    for (const DueListRow& r : QueryDueList(false)) due[r.deviceId] = r.status;
    EXPECT_EQ(due[idC], DueListRow::Urgent);
    EXPECT_EQ(due[idA], DueListRow::Due);
    EXPECT_EQ(due[idB], DueListRow::NotDue);

    // Data display: daily averages of A over its twenty days, then a week of samples.
    ChartModel m;
    ASSERT_GT(m.Load(AppDatabase()), 0);
    ASSERT_TRUE(m.SetOffsetText("0"));
    ASSERT_TRUE(m.SelectDevice(idA));
    const QDateTime firstDay(truthA.front().utc.date(), QTime(0, 0), Qt::UTC);
    m.In.Kind = ChartKind::DailyAverages;
    m.SetKind(ChartKind::DailyAverages);
    m.Window.From = firstDay;
    m.Window.To = firstDay.addDays(25);
    ASSERT_TRUE(m.Update(AppDatabase()));
    std::map<QDate, std::pair<double, int>> days;
    for (const Recorded& r : truthA) { days[r.utc.date()].first += r.celsius; days[r.utc.date()].second++; }
    ASSERT_EQ(m.State.Samples.size(), days.size());
    for (const ChartRow& row : m.State.Samples) {
        const auto& d = days[row.Time.date()];
        EXPECT_NEAR(row.Value, d.first / d.second, 0.006) << row.Time.toString().toStdString();
    }
    m.In.Kind = ChartKind::Samples;
    m.SetKind(ChartKind::Samples);
    m.Window.From = truthA[96].utc;
    m.Window.To = truthA[96].utc.addDays(7);
    ASSERT_TRUE(m.Update(AppDatabase()));
    ASSERT_EQ(m.State.Samples.size(), size_t(7 * 96 + 1));
    for (size_t i = 0; i < m.State.Samples.size(); ++i) {
        EXPECT_EQ(m.State.Samples[i].Time, truthA[96 + i].utc);
        EXPECT_NEAR(m.State.Samples[i].Value, truthA[96 + i].celsius, 1e-4);
    }

    // Reports of that week: web page, spreadsheet, document.
    const QString reports = QDir(dir.path()).filePath("reports");
    QDir().mkpath(reports);
    InstallApplicationDirectory(dir.path(), nullptr);   // the shipped report styles
    App().ApplicationDirectory = dir.path();
    {
        frmHTM dialog(m.State, GraphImage(m.State, 800, 500));
        QString error;
        ASSERT_TRUE(dialog.BuildReport(reports, "week.htm", &error)) << error.toStdString();
    }
    clsWorksheet sheet;
    WriteSpreadsheetExport(sheet, ExportDataFromChart(m.State), TranslatedExportTexts());
    QString error;
    ASSERT_TRUE(sheet.SaveXlsx(reports + "/week.xlsx", &error)) << error.toStdString();
    ASSERT_TRUE(WriteDocumentExport(m.State, reports + "/week.docx", &error)) << error.toStdString();
    for (const char* f : {"/week.htm", "/week.xlsx", "/week.docx"})
        EXPECT_GT(QFileInfo(reports + f).size(), 1000) << f;
    QFile page(reports + "/week.htm");
    ASSERT_TRUE(page.open(QIODevice::ReadOnly));
    EXPECT_TRUE(page.readAll().contains("door left"));

    // Backup, purge of everything older than ten days, reorganisation.
    const QDate purgeBefore = NowUtc().date().addDays(-10);
    {
        clsMaintenance maint(AppDatabase(), App().DatabaseDirectory, App().BackupDirectory,
                             QDir(dir.path()).filePath("media"));
        QString backupFile;
        ASSERT_TRUE(maint.Backup(&backupFile)) << maint.ErrorText().toStdString();
        EXPECT_TRUE(QFileInfo::exists(backupFile));
        ASSERT_TRUE(maint.Purge(purgeBefore)) << maint.ErrorText().toStdString();
        ASSERT_TRUE(maint.Reorganize(false)) << maint.ErrorText().toStdString();
    }

    // Restart: everything closed, the database opened afresh.
    AppDatabase().CloseDB();
    ResetAppDatabase();
    db.reset();
    clsDatabase reopened(App().DatabaseDirectory);
    ASSERT_FALSE(reopened.OpenDB());
    const QDateTime bound(purgeBefore, QTime(0, 0), Qt::UTC);
    auto kept = [&](const std::vector<Recorded>& all) {
        std::vector<Recorded> out;
        for (const Recorded& r : all)
            if (r.utc >= bound) out.push_back(r);
        EXPECT_LT(out.size(), all.size()) << "the purge removes the older samples";
        return out;
    };
    expectSame(kept(truthA), stored(reopened, idA), "A after restart");
    expectSame(kept(truthB), stored(reopened, idB), "B after restart");
    expectSame(kept(truthC), stored(reopened, idC), "C after restart");
    // The backup taken before the purge still holds every sample.
    {
        clsDatabase backup(App().BackupDirectory);
        ASSERT_FALSE(backup.OpenDB());
        expectSame(truthC, stored(backup, idC), "C in the backup");
    }
    EXPECT_LT(took.elapsed(), 60000);
}
