// The mission report as PDF: written from a real database holding a simulated month of a
// pharmacy fridge with two excursions, read back with an independent reader (pdftotext), through
// the function, the data display's command and the terminal verb; its refusals leave no file.
#include "app/UserInterface.h"
#include "db/AuditTrail.h"
#include "db/MissionEvidence.h"
#include "display/Evidence.h"
#include "display/EvidenceTestSupport.h"
#include "reports/ChartExports.h"
#include "reports/MissionReport.h"
#include "support/CliProcess.h"
#include "support/TestSite.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSysInfo>
#include <cmath>

namespace {

constexpr qint32 kFridge = 123400101;               // site 1234, compartment 1, position 1
const QDateTime kMonth(QDate(2026, 11, 1), QTime(0, 0), Qt::UTC);
constexpr int kSamples = 30 * 96;                    // November, every quarter hour
constexpr int kHighAt = 9 * 96 + 14 * 4;             // 10 Nov 14:00 UTC, 12 samples: 3 h
constexpr int kLowAt = 20 * 96 + 3 * 4;              // 21 Nov 03:00 UTC, 5 samples: 75 min

// The fridge swings daily between 3.5 and 5.5 °C in half degrees; its door stood open on the 10th
// (up to 11.5 °C) and its compressor froze the shelf on the 21st (down to 0.5 °C).
double FridgeValue(int i)
{
    if (i >= kHighAt && i < kHighAt + 12) return 9.0 + 0.5 * std::min(i - kHighAt, kHighAt + 11 - i);
    if (i >= kLowAt && i < kLowAt + 5) return 1.5 - 0.5 * std::min(i - kLowAt, kLowAt + 4 - i);
    return std::round((4.5 + std::sin(2 * M_PI * (i % 96) / 96.0)) * 2) / 2;
}

std::vector<double> FridgeMonth()
{
    std::vector<double> v;
    for (int i = 0; i < kSamples; ++i) v.push_back(FridgeValue(i));
    return v;
}

// The logger, its compartment, the month of samples and two readings recorded as the program
// records them (audit row, then the file's row), the first by "Bert Reader".
void WriteFridgeMonth(clsDatabase& db, const std::function<double(int)>& value = FridgeValue, int count = kSamples)
{
    db.ExecuteSQL("INSERT INTO rooms VALUES (1, 'pharmacy fridge', 1)");
    db.ExecuteSQL("INSERT INTO devices (DeviceID, SerialNo, DeviceDescription, DateRead, SampleRate, AlarmHigh, AlarmLow, "
                  "MissionSamples, RollOver, MissionRunning, \"User\") VALUES (?, '2100000101', 'vaccine shelf', "
                  "'2026-12-01 06:00:00', 15, 8.5, 2, ?, 1, 1, 'Ann')",
                  {DbValue(kFridge), DbValue(qint64(count))});
    db.BeginTransaction();
    for (int i = 0; i < count; ++i)
        db.ExecuteSQL("INSERT INTO samples VALUES (?, ?, ?)",
                      {DbValue(kFridge), DbValue(ToEpochSeconds(kMonth.addSecs(qint64(i) * 900))), DbValue(value(i))});
    db.CommitTransaction(1);
    const QString saved = App().CurrentUserName;
    App().CurrentUserName = "Bert Reader";
    for (int half = 0; half < 2; ++half) {
        ReadingFileRow f;
        f.hash = QString(64, QChar('a' + half));
        f.deviceId = kFridge;
        f.serialNo = "2100000101";
        f.fileName = QString("2100000101_%1.DAT").arg(half + 1);
        f.readingUtc = kMonth.addDays(15 * (half + 1)).addSecs(6 * 3600).toString(Qt::ISODate);
        f.firstSample = ToEpochSeconds(kMonth.addSecs(qint64(half) * count / 2 * 900));
        f.lastSample = ToEpochSeconds(kMonth.addSecs((qint64(half + 1) * count / 2 - 1) * 900));
        f.sampleCount = count / 2;
        f.auditId = AppendAudit(db, AuditAction::ReadingStored, "logger 2100000101", "test reading");
        StoreReadingFile(db.Handle(), f);
    }
    App().CurrentUserName = saved;
}

QStringList PdfPages(const QString& file)
{
    QProcess p;
    p.start("pdftotext", {"-layout", file, "-"});
    EXPECT_TRUE(p.waitForFinished(60000));
    // A space no line breaks at reads as a space.
    QStringList pages = QString::fromUtf8(p.readAllStandardOutput()).replace(QChar(0x00A0), QChar(' ')).split('\f');
    if (!pages.isEmpty() && pages.last().trimmed().isEmpty()) pages.removeLast();
    return pages;
}

// The text after a label on its line, spaces closed up ("minimum   0.5 °C" -> "0.5 °C").
QString ValueAfter(const QString& text, const QString& label)
{
    const QRegularExpressionMatch m = QRegularExpression(QRegularExpression::escape(label) + " {2,}(\\S+(?: \\S+)*)").match(text);
    return m.hasMatch() ? m.captured(1) : QString();
}

// The fridge's mission as a reading at the end of the month stores it, without alarm log or
// histogram.
StoredMissionEvidence FridgeMission()
{
    StoredMissionEvidence e;
    e.DeviceID = kFridge;
    e.SerialNo = "2100000101";
    e.MissionStartUtc = kMonth;
    e.SampleRateMinutes = 15;
    e.MissionSamples = kSamples;
    e.RollOver = true;
    e.ReadUtc = kMonth.addDays(30);
    return e;
}

// A pattern whose spaces match any run of white space (the text wraps where the page decides).
QString Spaced(const QString& pattern) { return QString(pattern).replace(' ', "\\s+"); }

class MissionReportTest : public SiteDatabase {
protected:
    void SetUp() override
    {
        SiteDatabase::SetUp();
        SetClockForTesting([] { return QDateTime(QDate(2026, 12, 1), QTime(8, 30), Qt::UTC); });
        App().ComputerName = "STORE-PC-1";
        App().CurrentUserName = "Ann Inspector";
    }
    MissionReportRequest month() const
    {
        MissionReportRequest r;
        r.DeviceID = kFridge;
        r.From = kMonth;
        r.To = kMonth.addDays(30).addSecs(-1);
        return r;
    }
    QString write(const MissionReportRequest& r, MissionReportSummary* summary = nullptr)
    {
        const QString file = path("month.pdf");
        QString error;
        EXPECT_EQ(WriteMissionReport(*db, r, file, &error, summary), MissionReportResult::Written) << error.toStdString();
        return file;
    }
};

} // namespace

TEST_F(MissionReportTest, MonthWithTwoExcursionsReadsBackWithItsFigures)
{
    WriteFridgeMonth(*db);
    MissionReportSummary summary;
    const QStringList pages = PdfPages(write(month(), &summary));
    ASSERT_EQ(pages.size(), summary.Pages);
    ASSERT_EQ(summary.Pages, 2);
    for (int i = 0; i < pages.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_TRUE(pages[i].contains(QString("page %1 of %2").arg(i + 1).arg(pages.size())));
        EXPECT_TRUE(pages[i].contains("site 1234 cold store"));
        EXPECT_TRUE(pages[i].contains("logger 0001234.001.01"));
    }
    const QString all = pages.join("\n");
    const QString c = QString(QChar(176)) + "C";
    EXPECT_EQ(ValueAfter(all, "position"), "0001234.001.01");
    EXPECT_EQ(ValueAfter(all, "compartment"), "1 pharmacy fridge");
    EXPECT_EQ(ValueAfter(all, "logger serial number"), "2100000101");
    EXPECT_EQ(ValueAfter(all, "sample rate"), "15 min");
    EXPECT_EQ(ValueAfter(all, "alarm level high"), "8.5 " + c);
    EXPECT_EQ(ValueAfter(all, "alarm level low"), "2.0 " + c);
    EXPECT_EQ(ValueAfter(all, "first sample"), "2026-11-01 00:00");
    EXPECT_EQ(ValueAfter(all, "last sample"), "2026-11-30 23:45");
    EXPECT_TRUE(all.contains(QRegularExpression("\\n *samples {2,}2880\\b")));
    EXPECT_EQ(ValueAfter(all, "minimum"), "0.5 " + c);
    EXPECT_EQ(ValueAfter(all, "maximum"), "11.5 " + c);
    EXPECT_EQ(ValueAfter(all, "mean kinetic temperature"),
              QString::number(PythonMkt(FridgeMonth(), kDefaultMktActivationK), 'f', 2) + " " + c);
    EXPECT_EQ(ValueAfter(all, QString(QChar(0x0394)) + "H/R"), "10000 K (default)");
    EXPECT_EQ(ValueAfter(all, "time out of range"), "4 h 15 min (0.59 %)");
    EXPECT_EQ(ValueAfter(all, "excursions"), "2 (1 high, 1 low)");
    // The excursion table: number, type, start, end, duration, peak, degree-minutes.
    const QString high = QString("1 +high +2026-11-10 14:00 +2026-11-10 17:00 +180 min +11.5 %1").arg(c);
    const QString low = QString("2 +low +2026-11-21 03:00 +2026-11-21 04:15 +75 min +0.5 %1").arg(c);
    EXPECT_TRUE(all.contains(QRegularExpression(high))) << all.toStdString();
    EXPECT_TRUE(all.contains(QRegularExpression(low)));
    // No alarm log was stored with these readings: the report says so.
    EXPECT_TRUE(all.contains("alarm log was not stored for this period"));
    // Who read the logger, who made the report, where to sign.
    EXPECT_EQ(all.count("Bert Reader"), 2);
    EXPECT_TRUE(all.contains(QSysInfo::machineHostName()));
    EXPECT_TRUE(all.contains("2100000101_2.DAT"));
    EXPECT_TRUE(all.contains("made on 2026-12-01 08:30 by Ann Inspector on the computer STORE-PC-1"));
    for (const char* line : {"reviewed by", "date", "signature"}) EXPECT_TRUE(pages.last().contains(line)) << line;
}

// The logger's own alarm log stored with a reading of the mission is listed in time order. An
// entry whose samples the rolled-over data log no longer held is marked, and the mark tells
// whether an earlier reading stored those samples.
TEST_F(MissionReportTest, StoredAlarmLogOfTheMissionIsListed)
{
    WriteFridgeMonth(*db);
    StoredMissionEvidence e = FridgeMission();
    e.AlarmLogRead = e.HistogramRead = true;
    auto entry = [](bool high, int sample, int samples, bool overwritten) {
        AlarmLogEntry a;
        a.high = high;
        a.startSample = sample + 1;
        a.durationSamples = samples;
        a.start = kMonth.addSecs(qint64(sample) * 900);
        a.end = a.start.addSecs(qint64(samples) * 900);
        a.minutes = samples * 15;
        a.overwritten = overwritten;
        return a;
    };
    e.AlarmLog = {entry(false, kLowAt, 6, true), entry(true, kHighAt, 13, true), entry(true, kHighAt - 96, 1, false)};
    // The low run's samples are not in the database: no reading stored them before the logger
    // overwrote them.
    db->ExecuteSQL("DELETE FROM samples WHERE SampleDate >= ? AND SampleDate < ?",
                   {DbValue(ToEpochSeconds(kMonth.addSecs(qint64(kLowAt) * 900))),
                    DbValue(ToEpochSeconds(kMonth.addSecs(qint64(kLowAt + 6) * 900)))});
    e.Histogram.resize(64);
    for (int i = 0; i < 64; ++i) e.Histogram[size_t(i)].index = i;
    db->BeginTransaction();
    ASSERT_TRUE(StoreMissionEvidence(db->Handle(), e, QString(64, 'a')));
    db->CommitTransaction(1);

    const QString all = PdfPages(write(month())).join("\n");
    EXPECT_FALSE(all.contains("alarm log was not stored"));
    const QRegularExpression kept("2026-11-01 00:00 +high +2026-11-09 14:00 +2026-11-09 14:15 +15 min *\\n");
    const QRegularExpression high("2026-11-01 00:00 +high +2026-11-10 14:00 +2026-11-10 17:15 +195 min +overwritten on the logger,\\s+stored earlier");
    const QRegularExpression low("2026-11-01 00:00 +low +2026-11-21 03:00 +2026-11-21 04:30 +90 min +overwritten in the data log");
    EXPECT_TRUE(all.contains(kept)) << all.toStdString();
    EXPECT_TRUE(all.contains(high));
    EXPECT_TRUE(all.contains(low));
    EXPECT_LT(all.indexOf(kept), all.indexOf(high));
    EXPECT_LT(all.indexOf(high), all.indexOf(low));
}

// Samples missing for 39 hours (overwritten on the logger before a reading stored them) are
// neither in nor out of range: the report says how long and where, and the shares are of the
// time with samples. A kind of alarm log with all its 12 entries used is said to be full.
TEST_F(MissionReportTest, GapsAndAFullAlarmLogAreStated)
{
    WriteFridgeMonth(*db);
    const QDateTime gapStart = kMonth.addDays(14).addSecs(8 * 3600);   // 15 Nov 08:00 UTC
    db->ExecuteSQL("DELETE FROM samples WHERE SampleDate >= ? AND SampleDate < ?",
                   {DbValue(ToEpochSeconds(gapStart)), DbValue(ToEpochSeconds(gapStart.addSecs(39 * 3600)))});
    StoredMissionEvidence e = FridgeMission();
    e.AlarmLogRead = true;
    for (int n = 0; n < 12; ++n) {
        AlarmLogEntry a;
        a.startSample = 100 * n + 1;
        a.durationSamples = 1;
        a.start = kMonth.addSecs(qint64(100 * n) * 900);
        a.end = a.start.addSecs(900);
        a.minutes = 15;
        e.AlarmLog.push_back(a);
    }
    db->BeginTransaction();
    ASSERT_TRUE(StoreMissionEvidence(db->Handle(), e, QString(64, 'a')));
    db->CommitTransaction(1);

    const QString all = PdfPages(write(month())).join("\n");
    EXPECT_TRUE(all.contains(QRegularExpression(Spaced("no samples for 1 d 15 h in 1 gap\\(s\\): 2026-11-15 08:00 to 2026-11-16 23:00"))))
        << all.toStdString();
    // 2879 quarter hours less 39 h with samples; 4 h 15 min of them out of range.
    EXPECT_EQ(ValueAfter(all, "time out of range"), "4 h 15 min (0.62 %)");
    EXPECT_EQ(ValueAfter(all, "time in range"), "28 d 4 h 30 min (99.38 %)");
    EXPECT_TRUE(all.contains(QRegularExpression(
        Spaced("low alarm log full \\(12 entries\\): later low alarms were not recorded by the logger"))))
        << all.toStdString();
    EXPECT_FALSE(all.contains("high alarm log full"));
}

// A hundred short door openings: the excursion table runs over the pages, each continuation
// under its repeated titles, and no row is lost.
TEST_F(MissionReportTest, LongExcursionTableContinuesOnTheNextPages)
{
    WriteFridgeMonth(*db, [](int i) { return i % 28 == 0 ? 9.0 : 5.0; }, 2800);
    MissionReportSummary summary;
    const QStringList pages = PdfPages(write(month(), &summary));
    EXPECT_EQ(summary.Excursions, 100);
    ASSERT_GE(pages.size(), 4);
    ASSERT_EQ(pages.size(), summary.Pages);
    int rows = 0, continued = 0;
    for (int i = 0; i < pages.size(); ++i) {
        EXPECT_TRUE(pages[i].contains(QString("page %1 of %2").arg(i + 1).arg(pages.size())));
        rows += int(pages[i].count(QRegularExpression("\\n *\\d+ +high +2026-11-")));
        if (pages[i].contains("Excursions beyond the alarm levels (continued)")) {
            ++continued;
            EXPECT_TRUE(pages[i].contains(QRegularExpression("no\\. +type +start +end +duration")));
        }
    }
    EXPECT_EQ(rows, 100);
    EXPECT_GE(continued, 1);
}

TEST_F(MissionReportTest, FahrenheitShowsEveryTemperatureInFahrenheit)
{
    App().Units = 1;
    App().UnitLabel = QString(QChar(176)) + "F";
    WriteFridgeMonth(*db);
    const QString all = PdfPages(write(month())).join("\n");
    const QString f = QString(QChar(176)) + "F";
    EXPECT_EQ(ValueAfter(all, "minimum"), "32.9 " + f);
    EXPECT_EQ(ValueAfter(all, "maximum"), "52.7 " + f);
    EXPECT_EQ(ValueAfter(all, "alarm level high"), "47.3 " + f);
    EXPECT_EQ(ValueAfter(all, "mean kinetic temperature"),
              QString::number(PythonMkt(FridgeMonth(), kDefaultMktActivationK) * 1.8 + 32, 'f', 2) + " " + f);
    EXPECT_TRUE(all.contains(QRegularExpression("180 min +52.7 " + f)));
    EXPECT_FALSE(all.contains(QString(QChar(176)) + "C"));
}

// A period without samples is a report too: it says that nothing was stored.
TEST_F(MissionReportTest, APeriodWithoutSamplesSaysSo)
{
    WriteFridgeMonth(*db);
    MissionReportRequest r = month();
    r.From = r.From.addYears(-1);
    r.To = r.To.addYears(-1);
    MissionReportSummary summary;
    const QString all = PdfPages(write(r, &summary)).join("\n");
    EXPECT_EQ(summary.Samples, 0);
    EXPECT_TRUE(all.contains(QRegularExpression("\\n *samples {2,}none stored for this period")));
    EXPECT_EQ(ValueAfter(all, "mean kinetic temperature"), "-");
    EXPECT_TRUE(all.contains("No sample of the period lies outside the alarm levels."));
    EXPECT_TRUE(all.contains("No reading of this period is recorded in the audit trail."));
}

// With the shipped German language file every text of the report is translated.
TEST_F(MissionReportTest, EveryTextComesFromTheLanguageFile)
{
    WriteFridgeMonth(*db);
    ASSERT_TRUE(LoadLanguageFileFrom(QStringLiteral(NORDALIS_SOURCE_DIR "/resources/examples/LANGUAGE.TXT")));
    const QStringList pages = PdfPages(write(month()));
    const QStringList untranslated = UntranslatedTexts();
    UnloadLanguage();
    EXPECT_EQ(untranslated.join("\n"), QString());
    ASSERT_EQ(pages.size(), 2);
    EXPECT_TRUE(pages[0].contains("Einsatzbericht"));
    EXPECT_TRUE(pages[1].contains("Seite 2 von 2"));
    EXPECT_TRUE(pages[1].contains("Unterschrift"));
    EXPECT_TRUE(pages[0].contains(QRegularExpression("1 +hoch +2026-11-10 14:00")));
}

TEST_F(MissionReportTest, RefusalsSayWhyAndLeaveNoFile)
{
    WriteFridgeMonth(*db);
    const QString file = path("refused.pdf");
    QString error;
    MissionReportRequest r = month();
    r.DeviceID = 123400199;
    EXPECT_EQ(WriteMissionReport(*db, r, file, &error), MissionReportResult::Refused);
    EXPECT_TRUE(error.contains("no logger 0001234.001.99")) << error.toStdString();
    r = month();
    std::swap(r.From, r.To);
    EXPECT_EQ(WriteMissionReport(*db, r, file, &error), MissionReportResult::Refused);
    EXPECT_TRUE(error.contains("starts after it ends")) << error.toStdString();
    EXPECT_EQ(WriteMissionReport(*db, month(), path("month.txt"), &error), MissionReportResult::Refused);
    EXPECT_TRUE(error.contains(".pdf"));
    // A folder that does not exist, and one that is a file.
    EXPECT_EQ(WriteMissionReport(*db, month(), path("no/such/folder/r.pdf"), &error), MissionReportResult::Failed);
    EXPECT_TRUE(error.contains("could not be written")) << error.toStdString();
    QFile plain(path("plain"));
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();
    EXPECT_EQ(WriteMissionReport(*db, month(), path("plain/r.pdf"), &error), MissionReportResult::Failed);
    EXPECT_FALSE(QFileInfo::exists(file));
    EXPECT_EQ(QDir(dir.path()).entryList({"*.pdf"}, QDir::Files).size(), 0);
}

// The data display's command: the name asked in the report directory, the file written and
// opened; a cancelled question writes nothing.
TEST_F(MissionReportTest, DataDisplayCommandAsksWritesAndOpens)
{
    WriteFridgeMonth(*db);
    App().ApplicationDirectory = dir.path();
    QStringList opened, offered;
    QString answer;
    SetDesktopOpenerForTesting([&](const QString& p) { opened << p; return true; });
    SetSaveFileHandler([&](const QString&, const QString& folder, const QString& name, const QString&) {
        offered << folder + "/" + name;
        return answer;
    });
    ChartState state;
    state.DeviceID = kFridge;
    state.WindowFrom = month().From;
    state.WindowTo = month().To;
    state.Kind = ChartKind::DailyAverages;   // the report shows the samples whatever the display shows
    clsChartExports exports;
    EXPECT_FALSE(exports.cmdMissionReport_Click(state));
    ASSERT_EQ(offered.size(), 1);
    EXPECT_TRUE(offered[0].endsWith(".pdf"));
    EXPECT_TRUE(opened.isEmpty());
    answer = path("reports/fridge");
    ASSERT_TRUE(exports.cmdMissionReport_Click(state));
    EXPECT_EQ(opened, QStringList{path("reports/fridge.pdf")});
    EXPECT_TRUE(PdfPages(opened[0]).join("\n").contains("2026-11-10 14:00"));
    SetDesktopOpenerForTesting({});
    SetSaveFileHandler({});
}

// The terminal verb on an application directory of its own: the report, and the refusals with
// their exit status; an earlier file at the name stays as it was.
TEST(MissionReportVerb, WritesTheReportAndRefusesBadInput)
{
    QTemporaryDir home;
    ASSERT_EQ(RunCli(home, {"init", "--site", "1234"}).code, 0);
    {
        clsDatabase h(home.filePath("home/data"));
        ASSERT_FALSE(h.OpenDB());
        WriteFridgeMonth(h);
        h.CloseDB();
    }
    const QString out = home.filePath("month.pdf");
    const QStringList period{"--from", "2026-11-01 01:00", "--to", "2026-12-01 00:59", "--tz-offset", "60"};
    CliRun r = RunCli(home, QStringList{"report", "--pdf", "--device", "0001234.001.01", "--out", out} + period);
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains("2 pages, 2880 samples, 2 excursions")) << r.out.toStdString();
    const QString text = PdfPages(out).join("\n");
    EXPECT_TRUE(text.contains("2026-11-10 15:00"));   // the display time, an hour ahead of UTC
    EXPECT_TRUE(text.contains("(times UTC+01:00)"));
    // No format given: the graph's times are padded 24-hour ones ("06:00", never "6:0").
    EXPECT_FALSE(text.contains(QRegularExpression("(?<![\\d:])\\d{1,2}:\\d(?!\\d)"))) << text.toStdString();
    // A period that starts while the door stands open: the excursion is marked as begun earlier.
    const QString inside = home.filePath("inside.pdf");
    r = RunCli(home, {"report", "--pdf", "--device", "123400101", "--from", "2026-11-10 16:00", "--to", "2026-11-11 16:00",
                      "--tz-offset", "60", "--out", inside});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    const QString insideText = PdfPages(inside).join("\n");
    EXPECT_TRUE(insideText.contains(QRegularExpression("1 +high +2026-11-10 16:00 +2026-11-10 18:00"))) << insideText.toStdString();
    EXPECT_TRUE(insideText.contains("(from before)"));
    EXPECT_TRUE(insideText.contains("already outside at the start of the period"));
    EXPECT_FALSE(insideText.contains(QRegularExpression("(?<![\\d:])\\d{1,2}:\\d(?!\\d)")));

    QFile earlier(out);
    ASSERT_TRUE(earlier.open(QIODevice::WriteOnly | QIODevice::Truncate));
    earlier.write("earlier");
    earlier.close();
    r = RunCli(home, QStringList{"report", "--pdf", "--device", "0001234.001.99", "--out", out} + period);
    EXPECT_EQ(r.code, 2);
    EXPECT_TRUE(r.err.contains("no logger 0001234.001.99")) << r.err.toStdString();
    r = RunCli(home, {"report", "--pdf", "--device", "123400101", "--from", "2026-12-01 00:00", "--to", "2026-11-01 00:00",
                      "--out", out});
    EXPECT_EQ(r.code, 2);
    EXPECT_TRUE(r.err.contains("starts after it ends")) << r.err.toStdString();
    r = RunCli(home, QStringList{"report", "--pdf", "--device", "123400101", "--kind", "daily-avg", "--out", out} + period);
    EXPECT_EQ(r.code, 2);
    QFile kept(out);
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), "earlier");
    r = RunCli(home, QStringList{"report", "--pdf", "--device", "123400101", "--out", home.filePath("gone/month.pdf")} + period);
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.err.contains("could not be written")) << r.err.toStdString();
    EXPECT_FALSE(QFileInfo::exists(home.filePath("gone")));
}
