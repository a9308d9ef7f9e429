// The operator's whole journey in one fresh application directory, through the classes the
// windows use, on the virtual bus with a fake clock: first start with the site number, two
// compartments, a reader cable and three loggers (G, H, Z), programming, a first reading after
// three days, the due list after twenty days, the second reading, the display queries and the
// three reports, backup, purge and reorganisation, and a restart after which every remaining
// sample must be exactly what the simulated loggers recorded.
#include "reading/DueList.h"
#include "desktop/Startup.h"
#include "app/modInternationalisation.h"
#include "app/modMain.h"
#include "app/modRegistry.h"
#include "db/clsDatabase.h"
#include "display/ChartGraph.h"
#include "display/ChartModel.h"
#include "image/clsDS1921Data.h"
#include "onewire/BusWait.h"
#include "onewire/Tmex.h"
#include "simulator/VirtualBus.h"
#include "simulator/VirtualDs1921.h"
#include "simulator/VirtualWorld.h"
#include "programming/clsMissionSettings.h"
#include "programming/clsProgrammingSequence.h"
#include "reading/LoggerImageToDatabase.h"
#include "reading/clsReadingSequence.h"
#include "reports/ChartExports.h"
#include "reports/SpreadsheetExport.h"
#include "reports/WebReport.h"
#include "settings/clsMaintenance.h"
#include "settings/clsStructureEditor.h"
#include "support/ProgramOnVirtualBus.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <map>
#include <set>

namespace {

constexpr qint64 kMinute = 60000;
constexpr qint64 kDay = 1440 * kMinute;
constexpr int kSite = 4711;

// The whole reading of the logger in the cable, from insertion to the backup folder: the reading
// dialog's sequence (the whole memory into a logger file in the data directory, the reading
// stamped into the identity record written back), then the next poll's import of every waiting
// logger file into the database and the backup folder.
struct ReadingResult {
    QString loggerFile;     // where the reading saved the logger file
    int imported = 0;       // logger files the poll imported
    QStringList failures;
};

ReadingResult ReadLoggerInCable()
{
    ReadingResult r;
    clsDS1921Data& logger = AppLogger();
    logger.objDeviceFound.reset();
    App().InterfaceRomCode = logger.DeviceFound("09");
    if (logger.DeviceFound("21").isEmpty()) { r.failures << "no logger found"; return r; }
    clsReadingSequence seq(logger);
    if (const clsReadingSequence::Outcome outcome = seq.Run(); outcome != clsReadingSequence::Done) {
        r.failures << QString("reading ended with outcome %1: %2 %3").arg(int(outcome)).arg(seq.LastStatus, seq.ErrorText);
        return r;
    }
    r.loggerFile = seq.LoggerFile;
    LoggerImageToDatabase import(AppDatabase(), App().DataDirectory, App().BackupDirectory);
    for (const LoggerImageToDatabase::FileResult& f : import.Run()) {
        if (f.outcome == LoggerImageToDatabase::Stored) ++r.imported;
        else r.failures << f.name + ": outcome " + QString::number(int(f.outcome)) + " " + f.reason;
    }
    return r;
}

// ---------------------------------------------------------------- what the loggers recorded
struct Recorded {
    qint64 utcSeconds = 0;
    float celsius = 0;
};

int Bcd(uint8_t b) { return (b >> 4) * 10 + (b & 0x0F); }

// Device time (ms) of the first sample, from the mission time stamp in the logger's memory.
qint64 MissionStampMs(const VirtualDs1921& sim)
{
    const int minute = Bcd(sim.peek(0x215)), hour = Bcd(sim.peek(0x216) & 0x3F), day = Bcd(sim.peek(0x217));
    const int month = Bcd(sim.peek(0x218) & 0x1F), year = 2000 + Bcd(sim.peek(0x219));
    return QDateTime(QDate(year, month, day), QTime(hour, minute), Qt::UTC).toMSecsSinceEpoch();
}

// The samples a reading at this moment holds: the last 2048 the logger took, each with its
// time and the temperature the room had then, recomputed from the simulation's profile.
std::vector<Recorded> RecordedSamples(VirtualWorld& world, const VirtualDs1921& sim)
{
    const qint64 now = world.clock().nowMs();
    const qint64 clockOffset = sim.deviceMs(now) - now;   // device clock - simulation clock
    const int n = sim.missionSamples();
    const qint64 period = qint64(sim.peek(0x20D)) * kMinute;
    const qint64 first = MissionStampMs(sim);
    std::vector<Recorded> out;
    for (int k = std::max(1, n - 2047); k <= n; ++k) {
        const qint64 devT = first + qint64(k - 1) * period;
        out.push_back({devT / 1000, float(sim.celsiusOf(sim.codeFor(sim.temperatureAt(devT - clockOffset))))});
    }
    return out;
}

class Journey : public ::testing::Test {
protected:
    QTemporaryDir tmp;
    QString home, registry;
    std::shared_ptr<VirtualWorld> world;
    qint64 realNow = QDateTime(QDate(2026, 3, 2), QTime(8, 0), Qt::UTC).toMSecsSinceEpoch();
    QStringList messages;
    QStringList asked;

    void SetUp() override
    {
        home = tmp.filePath("home");
        registry = tmp.filePath("registry.ini");
        SetRegistryFile(QString());
        SetMessageHandler([this](const QString& p, int style, const QString& t) {
            messages << t + ": " + p;
            return (style & 0x0F) == vbYesNo ? int(vbYes) : int(vbOK);
        });
        SetInputHandler([this](const QString&, const QString& title, const QString&, bool&) {
            asked << title;
            return QString::number(kSite);
        });
        SetAdapterSearch([] { return AppLogger().DeviceFound("09"); });
        VirtualClock::SetRealTimeForTesting([this] { return realNow; });
        QDir().mkpath(home);
        world = VirtualWorld::ForFile(QDir(home).filePath("virtual-bus.json"));
        ConnectProgramToVirtualWorld(world);
    }
    void TearDown() override
    {
        DisconnectProgramFromVirtualWorld();
        ReleaseSingleInstance();
        ResetAppDatabase();
        SetAdapterSearch(nullptr);
        SetInputHandler(nullptr);
        SetMessageHandler(nullptr);
        SetRegistryFile(QString());
        App().Units = 0;
        App().UnitLabel = QString(QChar(176)) + "C";
        world.reset();
    }

    // Start of the desktop program on the application directory (no splash, no windows shown).
    void start()
    {
        StartupOptions o;
        o.home = home;
        o.registry = registry;
        o.bus = "virtual";
        o.noSplash = true;
        SetStartupOptions(o);
        ASSERT_EQ(RunStartup(), StartupResult::Ok) << messages.join("\n").toStdString();
    }
    // End of the program: every application-wide object let go.
    void stop()
    {
        AppDatabase().CloseDB();
        AppLogger().objDeviceFound.reset();
        AppLogger().objBus.reset();
        TmexShutdown();
        ReleaseSingleInstance();
        ResetAppDatabase();
        App().LocationID = -1;
    }

    // Only this logger sits in the cable.
    void insertOnly(VirtualDs1921* logger, const std::vector<VirtualDs1921*>& all)
    {
        for (VirtualDs1921* l : all) l->setPresent(l == logger);
        world->save();
    }

    qint64 count(const QString& sql)
    {
        ResultList r;
        EXPECT_EQ(AppDatabase().GetRecordsBySQL(r, sql, false), dbQueryOk);
        return r.empty() ? -1 : r.rows[0].at(0).toInt();
    }
};

struct Plan {
    Ds1921Variant variant;
    qint32 room;
    int position;
    const char* description;
    int rate;
    bool rollover;
    int delayDays;
    double offsetC;   // where the logger sits relative to the room profile
};

} // namespace

TEST_F(Journey, OperatorsDayFromInstallationToRestart)
{
    // ---- 1. First start: the site number is asked once; the directory is installed.
    QString error;
    ASSERT_TRUE(world->addCable(nullptr, &error)) << error.toStdString();
    world->save();
    start();
    EXPECT_EQ(asked.size(), 1);
    EXPECT_EQ(App().LocationID, kSite);
    EXPECT_TRUE(QFile::exists(QDir(home).filePath("data/NORDALIS.MDE")));
    EXPECT_TRUE(QDir(home).exists("reports/styles"));
    EXPECT_FALSE(App().InterfaceRomCode.isEmpty()) << "the reader cable was not found at start-up";
    App().CurrentUserName = "Ann";
    QDir().mkpath(App().DataDirectory);

    // ---- 2. Two compartments through the structure editor.
    {
        clsStructureEditor editor;
        ASSERT_TRUE(editor.GenerateData(AppDatabase(), &error)) << error.toStdString();
        const qint64 a = editor.AddCompartment(), b = editor.AddCompartment();
        QString message, title, select;
        ASSERT_EQ(editor.ApplyEdit(clsStructureEditor::RoomKey(a), "RoomDescription", "freezer", &message, &title, &select),
                  clsStructureEditor::EditAccepted) << message.toStdString();
        ASSERT_EQ(editor.ApplyEdit(clsStructureEditor::RoomKey(b), "RoomDescription", "cooler", &message, &title, &select),
                  clsStructureEditor::EditAccepted) << message.toStdString();
        ASSERT_EQ(editor.Save(AppDatabase(), &message), clsStructureEditor::SaveDone) << message.toStdString();
    }
    EXPECT_EQ(count("SELECT count(*) FROM rooms"), 2);

    // ---- 3. Three loggers, one of each variant, programmed one after the other.
    const std::vector<Plan> plans = {
        {Ds1921Variant::G, 1, 1, "door left", 5, true, 0, -20.0},    // rolls over after 7.1 days
        {Ds1921Variant::H, 1, 2, "door right", 10, false, 7, 20.0},  // starts after 7 days
        {Ds1921Variant::Z, 2, 1, "shelf", 20, false, 0, 0.0},        // memory lasts 28.4 days
    };
    std::vector<VirtualDs1921*> sims;
    for (const Plan& p : plans) {
        VirtualDs1921* l = world->addLogger(p.variant, nullptr, &error);
        ASSERT_TRUE(l) << error.toStdString();
        l->setOffset(p.offsetC);
        sims.push_back(l);
    }
    world->save();
    std::vector<qint32> ids;
    for (size_t i = 0; i < plans.size(); ++i) {
        const Plan& p = plans[i];
        insertOnly(sims[i], sims);
        AppLogger().objDeviceFound.reset();
        ASSERT_EQ(AppLogger().DeviceFound("21"), sims[i]->romText());
        qint32 rc = -1;
        AppLogger().ReadImageFromLogger(false, rc);
        ASSERT_EQ(rc, 0);
        clsMissionSettings s;
        ASSERT_TRUE(s.LoadRooms(AppDatabase()));
        s.LoadFromImage(AppLogger());
        for (size_t r = 0; r < s.Rooms.size(); ++r)
            if (s.Rooms[r].RoomID == p.room) s.RoomIndex = int(r);
        s.PositionText = QString::number(p.position);
        s.Description = p.description;
        s.SampleRateIndex = p.rate - 1;
        s.LowAlarmText = p.variant == Ds1921Variant::H ? "18" : p.variant == Ds1921Variant::Z ? "2" : "-30";
        s.HighAlarmText = p.variant == Ds1921Variant::H ? "25" : "8";
        s.EnableRollover = p.rollover;
        s.SetDelayLists(p.delayDays, 0, 0);
        MissionPlan plan;
        QString message, title;
        ASSERT_TRUE(s.Validate(AppLogger(), plan, message, title)) << message.toStdString();
        clsProgrammingSequence seq(AppLogger(), AppDatabase());
        seq.StatusText = s.SummaryText();
        ASSERT_EQ(seq.Run(plan), ProgrammingOutcome::Running) << seq.FailureMessage().toStdString();
        ids.push_back(plan.DeviceID);
        EXPECT_EQ(plan.DeviceID, kSite * 100000 + p.room * 100 + p.position);
        EXPECT_EQ(int(sims[i]->peek(0x20D)), p.rate);
        EXPECT_EQ(bool(sims[i]->peek(0x20E) & 0x08), p.rollover);
    }
    EXPECT_EQ(count("SELECT count(*) FROM history"), 3);
    // The operator was asked before each logger was erased, and told nothing else.
    EXPECT_EQ(messages, QStringList(3, "restart logger: really erase existing data and restart logger?"));
    messages.clear();

    // ---- 4. Readings: a first one after 3 days, the second after 20 days.
    std::map<qint32, std::map<qint64, float>> recorded;   // what the readings took off the loggers
    auto readAll = [&]() {
        for (size_t i = 0; i < sims.size(); ++i) {
            insertOnly(sims[i], sims);
            world->syncAll();
            for (const Recorded& r : RecordedSamples(*world, *sims[i])) recorded[ids[i]][r.utcSeconds] = r.celsius;
            const ReadingResult reading = ReadLoggerInCable();
            const QString file = reading.loggerFile;
            ASSERT_FALSE(file.isEmpty()) << reading.failures.join("\n").toStdString();
            EXPECT_EQ(reading.imported, 1) << reading.failures.join("\n").toStdString();
            EXPECT_TRUE(reading.failures.isEmpty()) << reading.failures.join("\n").toStdString();
            EXPECT_FALSE(QFile::exists(file));
            EXPECT_TRUE(QFile::exists(QDir(App().BackupDirectory).filePath(QFileInfo(file).fileName())));
        }
    };
    const qint64 programmedAt = world->clock().nowMs();
    world->advance(3 * kDay);
    readAll();
    EXPECT_EQ(count("SELECT count(*) FROM devices"), 3);
    EXPECT_EQ(recorded[ids[1]].size(), 0u);   // still in its start delay

    world->advance(programmedAt + 20 * kDay - world->clock().nowMs());
    // The due list now: the rolled-over logger urgent, the delayed one due within the 48 hours,
    // the slow one not due.
    {
        std::map<qint32, DueListRow::Status> status;
        for (const DueListRow& row : QueryDueList(false)) status[row.deviceId] = row.status;
        ASSERT_EQ(status.size(), 3u);
        EXPECT_EQ(status[ids[0]], DueListRow::Urgent);
        EXPECT_EQ(status[ids[1]], DueListRow::Due);
        EXPECT_EQ(status[ids[2]], DueListRow::NotDue);
        EXPECT_EQ(QueryDueList(true).size(), 2u);
    }
    readAll();
    EXPECT_GT(sims[0]->missionSamples(), 2048);   // it did roll over
    EXPECT_EQ(QDir(App().BackupDirectory).entryList({"*.dta"}, QDir::Files).size(), 6);
    EXPECT_TRUE(QDir(App().DataDirectory).entryList({"*.dta"}, QDir::Files).isEmpty());
    // After the reading the rollover logger's schedule starts anew; the delayed logger without
    // rollover stays due: a reading does not restart its mission, and its log is full 2048
    // samples after its first one (day 7 + 14.2 days), whenever it was read.
    {
        const std::vector<DueListRow> due = QueryDueList(true);
        ASSERT_EQ(due.size(), 1u);
        EXPECT_EQ(due[0].deviceId, ids[1]);
        EXPECT_EQ(due[0].status, DueListRow::Due);
    }

    // Rollover logger: days 0-3 from the first reading, then the last 2048 of its 5760 samples;
    // delayed logger: 13 days at 10 minutes; slow logger: 20 days at 20 minutes.
    EXPECT_EQ(recorded[ids[0]].size(), size_t(864 + 2048));
    EXPECT_EQ(recorded[ids[1]].size(), size_t(13 * 144));
    EXPECT_EQ(recorded[ids[2]].size(), size_t(20 * 72));
    qint64 recordedTotal = 0;
    for (const auto& [id, rows] : recorded) recordedTotal += qint64(rows.size());
    EXPECT_EQ(count("SELECT count(*) FROM samples"), recordedTotal);

    // ---- 5. The data display's queries on the slow logger: daily averages and a week.
    const QDateTime nowUtc = QDateTime::fromMSecsSinceEpoch(world->clock().nowMs(), Qt::UTC);
    ChartModel daily;
    ASSERT_GT(LoadChartDevices(AppDatabase(), daily.State.Devices), 0);
    ASSERT_TRUE(daily.SelectDevice(ids[2]));
    daily.SetKind(ChartKind::DailyAverages);
    daily.In.TZOffset = "0";
    daily.Window.From = QDateTime(nowUtc.date().addDays(-21), QTime(0, 0), Qt::UTC);
    daily.Window.To = nowUtc;
    ASSERT_TRUE(daily.Update(AppDatabase()));
    {
        std::map<QDate, std::pair<double, int>> expected;
        for (const auto& [t, c] : recorded[ids[2]]) {
            auto& e = expected[QDateTime::fromSecsSinceEpoch(t, Qt::UTC).date()];
            e.first += c;
            ++e.second;
        }
        ASSERT_EQ(daily.State.Samples.size(), expected.size());
        for (const ChartRow& row : daily.State.Samples) {
            const auto& e = expected[row.Time.date()];
            EXPECT_NEAR(row.Value, e.first / e.second, 0.006) << row.Time.toString().toStdString();
        }
    }
    ChartModel week;
    ASSERT_GT(LoadChartDevices(AppDatabase(), week.State.Devices), 0);
    ASSERT_TRUE(week.SelectDevice(ids[2]));
    week.SetKind(ChartKind::Samples);
    week.In.TZOffset = "0";
    week.Window.From = nowUtc.addDays(-7);
    week.Window.To = nowUtc;
    ASSERT_TRUE(week.Update(AppDatabase()));
    {
        std::vector<std::pair<qint64, float>> expected;
        for (const auto& [t, c] : recorded[ids[2]])
            if (t >= week.Window.From.toSecsSinceEpoch() && t <= nowUtc.toSecsSinceEpoch()) expected.push_back({t, c});
        ASSERT_EQ(week.State.Samples.size(), expected.size());
        EXPECT_EQ(expected.size(), size_t(7 * 72));
        for (size_t i = 0; i < expected.size(); ++i) {
            EXPECT_EQ(week.State.Samples[i].Time.toSecsSinceEpoch(), expected[i].first);
            EXPECT_NEAR(week.State.Samples[i].Value, expected[i].second, 1e-4);
        }
    }

    // ---- 6. Web report, spreadsheet and document of the week.
    const QString reports = QDir(home).filePath("reports");
    {
        SetHeadlessWindowSize(week.State, 800, 500);
        const QImage graph = GraphImage(week.State, 800, 500);
        clsWebReport report(WebReportDataFromChart(week.State), TranslatedExportTexts(), CurrentWebReportContext());
        WebReportOptions options;
        options.Style = "standard";
        options.StylesDirectory = QDir(reports).filePath("styles");
        options.Graph = true;
        ASSERT_TRUE(report.BuildReport(reports, "week.htm", options, graph, &error)) << error.toStdString();
        QFile page(QDir(reports).filePath("week.htm"));
        ASSERT_TRUE(page.open(QIODevice::ReadOnly));
        const QString html = QString::fromUtf8(page.readAll());
        EXPECT_TRUE(html.contains(QString::number(kSite)));
        EXPECT_TRUE(html.contains("shelf"));
        EXPECT_TRUE(QFile::exists(QDir(reports).filePath(clsWebReport::GraphPictureName("week.htm"))));

        clsWorksheet sheet;
        WriteSpreadsheetExport(sheet, ExportDataFromChart(week.State), TranslatedExportTexts());
        ASSERT_TRUE(sheet.SaveXlsx(QDir(reports).filePath("week.xlsx"), &error)) << error.toStdString();
        EXPECT_GT(QFileInfo(QDir(reports).filePath("week.xlsx")).size(), 1000);
        ASSERT_TRUE(WriteDocumentExport(week.State, QDir(reports).filePath("week.docx"), &error)) << error.toStdString();
        EXPECT_GT(QFileInfo(QDir(reports).filePath("week.docx")).size(), 1000);
    }

    // ---- 7. Backup, purge of what is older than 10 days, reorganisation.
    const qint64 beforePurge = count("SELECT count(*) FROM samples");
    const QDate purgeBefore = NowLocal().date().addDays(-10);
    const qint64 bound = QDateTime(purgeBefore, QTime(0, 0), Qt::UTC).toSecsSinceEpoch();
    {
        clsMaintenance maintenance(AppDatabase());
        QString backupFile;
        ASSERT_TRUE(maintenance.Backup(&backupFile)) << maintenance.ErrorText().toStdString();
        EXPECT_EQ(CheckDatabaseFile(backupFile), "");
        ASSERT_TRUE(maintenance.Purge(purgeBefore)) << maintenance.ErrorText().toStdString();
        ASSERT_TRUE(maintenance.Reorganize(false)) << maintenance.ErrorText().toStdString();
        clsDatabase backup(QFileInfo(backupFile).path());
        ASSERT_FALSE(backup.OpenDB());
        ResultList r;
        ASSERT_EQ(backup.GetRecordsBySQL(r, "SELECT count(*) FROM samples", false), dbQueryOk);
        EXPECT_EQ(r.rows.at(0).at(0).toInt(), beforePurge);
        backup.CloseDB();
    }
    for (auto& [id, rows] : recorded)
        for (auto it = rows.begin(); it != rows.end();) it = it->first < bound ? rows.erase(it) : std::next(it);

    // ---- 8. Restart, and every remaining sample is what the loggers recorded.
    stop();
    start();
    EXPECT_EQ(asked.size(), 1);   // not asked again
    EXPECT_EQ(App().LocationID, kSite);
    for (qint32 id : ids) {
        ResultList r;
        ASSERT_EQ(AppDatabase().GetRecordsBySQL(
                      r, QString("SELECT SampleDate, SampleTemp FROM samples WHERE DeviceID = %1 ORDER BY SampleDate").arg(id), false),
                  dbQueryOk);
        const auto& expected = recorded[id];
        ASSERT_EQ(r.rows.size(), expected.size()) << "logger " << id;
        EXPECT_FALSE(expected.empty());
        auto e = expected.begin();
        for (size_t i = 0; i < r.rows.size(); ++i, ++e) {
            ASSERT_EQ(r.rows[i].at(0).toInt(), e->first) << "logger " << id << " row " << i;
            ASSERT_NEAR(r.rows[i].at(1).toDouble(), e->second, 1e-4) << "logger " << id << " row " << i;
        }
    }
    EXPECT_EQ(count("SELECT count(*) FROM devices"), 3);
    EXPECT_EQ(count("SELECT count(*) FROM rooms"), 2);
    EXPECT_TRUE(messages.isEmpty()) << messages.join("\n").toStdString();
}
