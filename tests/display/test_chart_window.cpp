// The data display window on the offscreen platform over a real database, and the terminal
// verbs query and graph run as a separate program.
#include "ChartTestSupport.h"
#include "display/frmChart.h"

#include <QApplication>
#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QTabWidget>
#include <QComboBox>
#include <QDateEdit>
#include <QImage>
#include <QLineEdit>
#include "support/CliProcess.h"
#include "support/Screenshots.h"
#include <QTimeEdit>
#include <QTreeWidget>

namespace {
class ChartWindowTest : public ChartDatabase {
protected:
    void SetUp() override
    {
        ChartDatabase::SetUp();
        App().DatabaseDirectory = dir.path();
        App().ApplicationDirectory = dir.path();
        App().UtcBias = -60;   // one hour ahead of UTC
        ResetAppDatabase();
        addRoom(1, "Cold room");
        addDevice(100101, "0000012345", "Shelf 1", 8, 2);
        addDevice(100205, "0000067890", "Freezer", -15, -25);
        std::vector<Sample> rows;
        for (int i = 0; i < 96 * 3; ++i) rows.push_back({100101, Utc(2021, 4, 10).addSecs(900LL * i), 4 + (i % 8) * 0.5});
        addSamples(rows);
        db->SetParameter("ChartDateFrom", DbValue(QString("2021-04-10 01:00:00")));
        db->SetParameter("ChartDateTo", DbValue(QString("2021-04-11 01:00:00")));
    }
    void TearDown() override
    {
        AppDatabase().CloseDB();
        ChartDatabase::TearDown();
        ResetAppDatabase();
    }
};
} // namespace

TEST_F(ChartWindowTest, LoadsQueriesAndStoresItsSettings)
{
    {
        frmChart w;
        w.resize(1000, 720);
        w.show();
        EXPECT_EQ(w.windowTitle(), "NORDALIS DATA DISPLAY");
        EXPECT_EQ(w.lvwDevices->topLevelItemCount(), 2);
        EXPECT_EQ(w.cmbTZoffset->currentText(), "60");
        EXPECT_EQ(w.State().TimeZoneOffset, -60);
        // The first logger's day: 96 samples plus the one at the closing bound.
        EXPECT_EQ(w.State().Samples.size(), 97u);
        EXPECT_EQ(w.State().Samples.front().DisplayTime, Utc(2021, 4, 10, 1, 0));
        EXPECT_TRUE(w.Graph()->HasGraph());

        // A click in the list takes the logger's alarm levels and header.
        w.lvwDevices_ItemClick(w.lvwDevices->topLevelItem(1));
        EXPECT_EQ(w.txtHeader->text(), "0000067890, Freezer");
        EXPECT_EQ(w.txtAlarmMax->text(), "-15");
        EXPECT_TRUE(w.State().Samples.empty());
        w.lvwDevices_ItemClick(w.lvwDevices->topLevelItem(0));

        // The lock moves the end when the start changes.
        w.cmbTimediff->setCurrentIndex(2);
        w.dtpFromDate->setDate(QDate(2021, 1, 31));
        EXPECT_EQ(w.dtpToDate->date(), QDate(2021, 2, 7));
        EXPECT_EQ(w.dtpToTime->time(), w.dtpFromTime->time());

        // Monthly kinds switch the formats to no time and "MMM".
        w.cmbValues->setCurrentIndex(5);
        w.cmbValues_Click();
        EXPECT_EQ(w.cmbTimeFormat->currentText(), " ");
        EXPECT_EQ(w.cmbDateFormat->currentText(), "MMM");
        w.cmdRange_Click(1);   // last day available
        EXPECT_EQ(w.dtpToDate->date(), QDate(2021, 4, 13));
        EXPECT_EQ(w.dtpToTime->time(), QTime(0, 45));
        EXPECT_EQ(w.State().Samples.size(), 1u);
        EXPECT_EQ(w.State().Samples[0].Time, Utc(2021, 4, 1));
        w.chkTicks->setChecked(true);
        w.close();
    }
    EXPECT_EQ(AppDatabase().Parameter("ChartShowTicks", "?"), "1");
    EXPECT_EQ(AppDatabase().Parameter("ChartDateFormat", "?"), "15");
    EXPECT_EQ(AppDatabase().Parameter("ChartDateTo", "?"), "2021-04-13 00:45:00");
    EXPECT_EQ(AppDatabase().Parameter("ChartDateFrom", "?"), "2021-04-13 00:00:00");
}

TEST_F(ChartWindowTest, WindowScreenshot)
{
    frmChart w;
    w.resize(1366, 688);
    w.show();
    w.chkShowAlarms->setChecked(true);
    w.cmdUpdate_Click();
    EXPECT_TRUE(w.grab().toImage().save(ScreenshotPath("frmChart.png")));
    EXPECT_GT(w.Graph()->height(), 100);
}

TEST_F(ChartWindowTest, TerminalQueryAndGraph)
{
    // The terminal program on an application directory of its own.
    QTemporaryDir home;
    const auto run = [&](const QStringList& args, QString* out = nullptr, QString* err = nullptr) {
        const CliRun r = RunCli(home, args, false);
        if (out) *out = r.out;
        if (err) *err = r.err;
        return r.code;
    };
    ASSERT_EQ(run({"init", "--site", "1"}), 0);
    {
        clsDatabase h(home.filePath("home/data"));
        ASSERT_FALSE(h.OpenDB());
        h.ExecuteSQL("INSERT INTO devices (DeviceID, SerialNo, DeviceDescription, AlarmHigh, AlarmLow) VALUES (100101, '0000012345', 'Shelf 1', 8, 2)");
        for (const auto& [t, v] : std::vector<std::pair<QDateTime, double>>{{Utc(2004, 2, 29, 22, 59, 59), 1},
                                                                             {Utc(2004, 2, 29, 23, 0, 0), 2.5},
                                                                             {Utc(2004, 3, 1, 23, 0, 0), 4},
                                                                             {Utc(2004, 3, 1, 23, 0, 1), 5}})
            h.ExecuteSQL("INSERT INTO samples VALUES (100101, ?, ?)", {DbValue(t.toSecsSinceEpoch()), DbValue(v)});
        h.CloseDB();
    }
    QString out, err;
    ASSERT_EQ(run({"query", "--device", "100101", "--from", "2004-03-01 00:00", "--to", "2004-03-02 00:00", "--tz-offset", "60"}, &out), 0);
    EXPECT_EQ(out, "2004-03-01 00:00:00\t2.5\n2004-03-02 00:00:00\t4\n");
    // Default offset: the computer's zone (UTC here).
    ASSERT_EQ(run({"query", "--device", "1001.01", "--from", "2004-02-29 00:00", "--to", "2004-03-01 23:59:59", "--kind", "daily-max"}, &out), 0);
    EXPECT_EQ(out, "2004-02-29 00:00:00\t2.5\n2004-03-01 00:00:00\t5\n");
    EXPECT_EQ(run({"query", "--device", "100101", "--from", "2004-03-01", "--to", "2004-03-02", "--kind", "hourly"}, nullptr, &err), 2);
    EXPECT_TRUE(err.contains("unknown --kind hourly"));
    EXPECT_EQ(run({"query", "--device", "100199", "--from", "2004-03-01", "--to", "2004-03-02"}, nullptr, &err), 1);
    EXPECT_TRUE(err.contains("no logger"));
    EXPECT_EQ(run({"query", "--from", "2004-03-01", "--to", "2004-03-02"}, nullptr, &err), 2);

    const QString png = home.filePath("g.png");
    ASSERT_EQ(run({"graph", "--device", "100101", "--from", "2004-02-29 00:00", "--to", "2004-03-02 00:00", "--out", png, "--size", "640x400"}), 0);
    EXPECT_EQ(QImage(png).size(), QSize(640, 400));
    EXPECT_EQ(run({"graph", "--device", "100101", "--from", "2004-02-29 00:00", "--to", "2004-03-02 00:00", "--out", png, "--size", "big"}, nullptr, &err), 2);
}

// The window on the screens people have: it fits, the graph takes most of it, and the graph's
// texts keep clear of each other and of the edges.
TEST_F(ChartWindowTest, FitsCommonScreensAndTheGraphTakesTheRoom)
{
    frmChart w;
    // The usable room of a 1366 x 768 and a 1920 x 1080 screen (a panel, the title bar).
    EXPECT_LE(w.minimumSizeHint().width(), 1366);
    EXPECT_LE(w.minimumSizeHint().height(), 768 - 80);
    w.show();
    w.dtpFromDate->setDate(QDate(2021, 4, 10));
    w.dtpFromTime->setTime(QTime(0, 0));
    w.dtpToDate->setDate(QDate(2021, 4, 13));
    w.dtpToTime->setTime(QTime(23, 59));
    w.chkShowAlarms->setChecked(true);
    w.cmdUpdate_Click();
    ASSERT_EQ(w.State().Samples.size(), 96u * 3);
    for (const QSize& size : {QSize(1366, 768 - 80), QSize(1920, 1080 - 80)}) {
        w.resize(size);
        QApplication::processEvents();
        ASSERT_EQ(w.size(), size);
        const std::string at = std::to_string(size.width());
        EXPECT_GT(w.Graph()->height(), size.height() / 2) << at;
        // The graph takes the width the excursion list beside it leaves, most of the window.
        EXPECT_GE(w.Graph()->width(), size.width() - 40 - w.fraEvidence->width()) << at;
        EXPECT_GE(w.Graph()->width(), size.width() * 6 / 10) << at;
        const std::vector<ChartText>& texts = w.Graph()->DrawnTexts();
        EXPECT_GT(texts.size(), 20u) << at;
        EXPECT_EQ(TextLayoutFaults(texts, w.Graph()->size()).join("\n"), QString()) << at;
        EXPECT_TRUE(w.grab().toImage().save(ScreenshotPath(QString("frmChart-%1.png").arg(size.width()))));
    }
    // The pickers say which is which, and every column of the list shows its whole text.
    EXPECT_EQ(w.findChild<QLabel*>("lblFrom")->text(), "From");
    EXPECT_EQ(w.findChild<QLabel*>("lblFrom")->buddy(), w.dtpFromDate);
    EXPECT_EQ(w.findChild<QLabel*>("lblTo")->text(), "To");
    EXPECT_EQ(w.findChild<QLabel*>("lblTo")->buddy(), w.dtpToDate);
    const QFontMetrics fm(w.lvwDevices->font());
    for (int c = 0; c < w.lvwDevices->columnCount(); ++c)
        for (int i = 0; i < w.lvwDevices->topLevelItemCount(); ++i)
            EXPECT_GE(w.lvwDevices->header()->sectionSize(c), fm.horizontalAdvance(w.lvwDevices->topLevelItem(i)->text(c)))
                << "column " << c;
}

// Letters in an alarm level: "App&ly" says why beside the box and changes nothing.
TEST_F(ChartWindowTest, ALevelThatIsNoNumberIsRefusedWithANoteAndChangesNothing)
{
    frmChart w;
    w.resize(1366, 688);
    w.show();
    const size_t rows = w.State().Samples.size();
    const QString header = w.State().GraphHeader;
    const QImage before = w.Graph()->Picture();
    w.txtAlarmMax->setText("8x");
    w.txtHeader->setText("A header not applied");
    w.cmdUpdate_Click();
    EXPECT_EQ(w.State().GraphHeader, header);
    EXPECT_EQ(w.State().Samples.size(), rows);
    EXPECT_EQ(w.Graph()->Picture(), before);
    EXPECT_EQ(w.tabOptions->currentIndex(), 2);
    EXPECT_TRUE(w.lblAlarmMaxError->isVisible());
    EXPECT_TRUE(w.lblAlarmMaxError->text().contains("not a number"));
    EXPECT_FALSE(w.lblAlarmMinError->isVisible());
    EXPECT_TRUE(w.grab().toImage().save(ScreenshotPath("frmChart-alarm-refused.png")));

    // The low level likewise; once both are numbers the note goes and the query runs.
    w.txtAlarmMax->setText("9");
    w.txtAlarmMin->setText("low");
    w.cmdUpdate_Click();
    EXPECT_FALSE(w.lblAlarmMaxError->isVisible());
    EXPECT_TRUE(w.lblAlarmMinError->isVisible());
    EXPECT_EQ(w.State().GraphHeader, header);
    w.txtAlarmMin->setText("1.5");
    w.cmdUpdate_Click();
    EXPECT_FALSE(w.lblAlarmMinError->isVisible());
    EXPECT_EQ(w.State().GraphHeader, "A header not applied");
    EXPECT_EQ(w.State().AlarmMax, 9.0f);
    EXPECT_EQ(w.State().AlarmMin, 1.5f);

    // A fixed scale limit that is no number: the last limit stays and the note says so.
    w.chkKeepYScale->setChecked(true);
    w.txtYMax->setText("12");
    w.txtYMin->setText("0");
    w.cmdUpdate_Click();
    EXPECT_TRUE(w.lblYScaleError->isHidden());
    w.txtYMin->setText("ab5");
    w.cmdUpdate_Click();
    EXPECT_EQ(w.State().YMin, 0.0f);
    EXPECT_EQ(w.tabOptions->currentIndex(), 4);
    EXPECT_TRUE(w.lblYScaleError->isVisible());
    EXPECT_TRUE(w.lblYScaleError->text().contains("not a number"));
}

// The kinetic means in the kind list, and the excursion list beside the graph following the
// alarm levels of the window.
TEST_F(ChartWindowTest, KindListAndExcursionListBesideTheGraph)
{
    // A second shelf whose logger keeps a high level of 6 °C: every run of 6.5 to 7.5 °C is an
    // excursion.
    addDevice(100102, "0000012399", "Shelf 2", 6, 2);
    std::vector<Sample> rows;
    for (int i = 0; i < 96 * 3; ++i) rows.push_back({100102, Utc(2021, 4, 10).addSecs(900LL * i), 4 + (i % 8) * 0.5});
    addSamples(rows);
    frmChart w;
    w.resize(1200, 720);   // its own size on a common screen
    w.show();
    ASSERT_EQ(w.cmbValues->count(), kChartKindCount);
    EXPECT_EQ(w.cmbValues->itemText(9), "mean kinetic temperature");
    EXPECT_EQ(w.cmbValues->itemText(10), "daily mean kinetic temperature");
    EXPECT_EQ(w.cmbValues->itemText(11), "monthly mean kinetic temperature");
    // Before a logger is clicked the Alarms tab holds its defaults, but the excursions are those
    // beyond the first logger's own levels, and the label says which.
    EXPECT_EQ(w.txtAlarmMax->text(), "80");
    EXPECT_FALSE(w.chkShowAlarms->isChecked());
    EXPECT_EQ(w.lvwExcursions->topLevelItemCount(), 0);
    EXPECT_TRUE(w.lblEvidence->text().contains("in range 100.00 %")) << w.lblEvidence->text().toStdString();
    EXPECT_TRUE(w.lblEvidence->text().startsWith("MKT "));
    EXPECT_TRUE(w.lblEvidence->text().contains("alarm levels 2 °C and 8 °C: no excursion")) << w.lblEvidence->text().toStdString();
    // The second shelf typed in: its level of 6 °C, though the tab still says 80.
    w.txtPositionID->setText("100102");
    w.cmdUpdate_Click();
    EXPECT_EQ(w.txtAlarmMax->text(), "80");
    const size_t runs = w.State().Evidence.Excursions.Runs.size();
    ASSERT_GT(runs, 0u);
    EXPECT_TRUE(w.lblEvidence->text().contains(QString("alarm levels 2 °C and 6 °C: %1 excursion(s)").arg(runs)))
        << w.lblEvidence->text().toStdString();
    EXPECT_EQ(w.lvwExcursions->topLevelItemCount(), int(runs));
    EXPECT_EQ(w.lvwExcursions->topLevelItem(0)->text(0), "high");
    EXPECT_EQ(w.lvwExcursions->columnCount(), 6);
    EXPECT_TRUE(w.Graph()->HasGraph());
    // Every column shows its whole text without a scroll bar at the window's size.
    QApplication::processEvents();
    const QHeaderView* header = w.lvwExcursions->header();
    EXPECT_LE(header->length(), w.lvwExcursions->viewport()->width());
    for (int c = 0; c < w.lvwExcursions->columnCount(); ++c)
        for (int i = 0; i < w.lvwExcursions->topLevelItemCount(); ++i)
            EXPECT_GE(header->sectionSize(c), w.lvwExcursions->fontMetrics().horizontalAdvance(w.lvwExcursions->topLevelItem(i)->text(c)))
                << "column " << c;
    // A window that starts inside an excursion: the run says so under its start, the label
    // explains the mark, and the list still needs no sideways scrolling.
    w.dtpFromTime->setTime(QTime(2, 30));
    w.cmdUpdate_Click();
    ASSERT_EQ(w.lvwExcursions->topLevelItemCount(), int(runs));
    EXPECT_EQ(w.lvwExcursions->topLevelItem(0)->text(1), "2021-04-10 02:30\n(from before)");
    EXPECT_EQ(w.lvwExcursions->topLevelItem(1)->text(1), "2021-04-10 04:15");
    EXPECT_TRUE(w.lblEvidence->text().endsWith("(from before): already outside at the start of the period"))
        << w.lblEvidence->text().toStdString();
    QApplication::processEvents();
    EXPECT_LE(header->length(), w.lvwExcursions->viewport()->width());
    EXPECT_TRUE(w.grab().toImage().save(ScreenshotPath("frmChart-from-before.png")));
    // The daily kinetic means: one row a day, the list still of the window's samples; the time
    // format box blank while they are shown, and back to what it was for the samples.
    w.cmbTimeFormat->setCurrentIndex(2);
    w.cmbValues->setCurrentIndex(int(ChartKind::DailyMkt));
    w.cmbValues_Click();
    EXPECT_EQ(w.State().Kind, ChartKind::DailyMkt);
    EXPECT_EQ(w.State().Samples.size(), 2u);
    EXPECT_EQ(w.lvwExcursions->topLevelItemCount(), int(runs));
    EXPECT_EQ(w.cmbTimeFormat->currentText(), " ");
    w.cmbValues->setCurrentIndex(int(ChartKind::Samples));
    w.cmbValues_Click();
    EXPECT_EQ(w.cmbTimeFormat->currentText(), "hh:nn");
    EXPECT_EQ(w.State().TimeFormat, "hh:nn");
    EXPECT_TRUE(w.grab().toImage().save(ScreenshotPath("frmChart-excursions.png")));
}
