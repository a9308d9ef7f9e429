// The program-logger window on a simulated logger: what it shows on opening, the delay lists and
// pickers kept in step, the tabs and their step buttons, the field checks, and "s&tart logger".
#include "support/VirtualBenchFixture.h"
#include "app/WindowHooks.h"
#include "programming/frmStartMission.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimeEdit>

namespace {

class ProgramWindow : public ProgrammingBench {
protected:
    void SetUp() override
    {
        ProgrammingBench::SetUp();
        SetProgrammingPauseForTesting([this](int ms) { paused += ms; });
        SetDateTimeSettingsOpenerForTesting([] { return false; });
        SetReadingDialogHook([this](QWidget* owner) { ++readingOpened; readingOwner = owner; });
    }
    void TearDown() override
    {
        SetProgrammingPauseForTesting({});
        SetDateTimeSettingsOpenerForTesting({});
        SetReadingDialogHook({});
        ProgrammingBench::TearDown();
    }
    void shoot(QWidget& w, const QString& name)
    {
        const QString folder = QStringLiteral(NORDALIS_BINARY_DIR) + "/screenshots";
        QDir().mkpath(folder);
        w.grab().save(folder + "/" + name + ".png");
    }
    int paused = 0;
    int readingOpened = 0;
    QWidget* readingOwner = nullptr;
};

} // namespace

TEST_F(ProgramWindow, WithoutCompartmentsTheWindowCloses)
{
    db->ExecuteSQL("DELETE FROM rooms");
    frmStartMission w;
    w.show();
    EXPECT_FALSE(w.Form_Load());
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages.back().prompt, "Please first define a compartment using the SETTINGS window");
    EXPECT_EQ(messages.back().title, "No compartments defined");
    EXPECT_FALSE(w.isVisible());
}

TEST_F(ProgramWindow, OpensOnTheLoggersPresentSettingsAndKeepsDelayInStep)
{
    VirtualDs1921* logger = addLogger();
    clsMissionSettings s = openSettings();
    s.SampleRateIndex = 14;
    s.EnableRollover = true;
    s.PositionText = "42";
    ASSERT_EQ(program(s), ProgrammingOutcome::Running);
    AppLogger().objDeviceFound.reset();
    world->advance(90LL * 1000);

    frmStartMission w;
    w.show();
    ASSERT_TRUE(w.Form_Load());
    const QString serial = RomTextToSerialNo(logger->romText());
    EXPECT_EQ(w.windowTitle(), " logger ID " + serial + " connected");
    EXPECT_EQ(w.cmbSampleRate->count(), 255);
    EXPECT_EQ(w.cmbSampleRate->currentText(), "15");
    EXPECT_EQ(w.lblDuration->text(), "21.3");
    EXPECT_EQ(w.txtHighTempAlarm->text(), "8");
    EXPECT_EQ(w.txtLowTempAlarm->text(), "2");
    EXPECT_TRUE(w.chkEnableRollover->isChecked());
    EXPECT_EQ(w.cmbRoom->currentText(), "007:freezer");
    EXPECT_EQ(w.txtPosition[0]->text(), "door left");
    EXPECT_EQ(w.txtPosition[1]->text(), serial);
    EXPECT_EQ(w.txtPosition[2]->text(), "12");
    EXPECT_TRUE(w.txtPosition[2]->isReadOnly());
    EXPECT_EQ(w.txtPosition[4]->text(), "42");
    EXPECT_EQ(w.lblTimeDiff->text(), "0") << "clock set at programming, the bench's clock moved with it";
    EXPECT_TRUE(w.lblHighTempAlarm->text().endsWith(" (" + QString(QChar(176)) + "C)"));
    EXPECT_EQ(w.sbrStatus->currentMessage(), "...finished reading device.");
    EXPECT_EQ(w.cmbDays->count(), 45);
    EXPECT_EQ(w.dtpStartDate->maximumDate(), NowLocal().date().addDays(45));

    // Lists -> pickers.
    w.cmbDays->setCurrentIndex(1);
    w.cmbHours->setCurrentIndex(2);
    w.cmbMinutes->setCurrentIndex(30);
    const QDateTime start = NowLocal().addSecs(1590 * 60);
    EXPECT_EQ(w.dtpStartDate->date(), start.date());
    EXPECT_EQ(w.dtpStartTime->time(), QTime(start.time().hour(), start.time().minute()));
    EXPECT_EQ(w.Settings().DelayMinutes(), 1590);
    // Pickers -> lists; beyond 44 days the operator is told the latest start, and the pickers go there.
    messages.clear();
    w.dtpStartDate->setDate(NowLocal().date().addDays(45));
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages.back().prompt.startsWith("the start lies too far ahead; the latest possible start is "))
        << messages.back().prompt.toStdString();
    EXPECT_EQ(w.dtpStartDate->date(), clsMissionSettings::LatestStart().date());
    EXPECT_EQ(w.cmbDays->currentIndex(), 44);
    EXPECT_EQ(w.cmbHours->currentIndex(), 0);
    EXPECT_EQ(w.cmbMinutes->currentIndex(), 0);
    EXPECT_EQ(w.Settings().DelayMinutes(), 63360);

    // Tabs: step buttons, summary.
    w.tabSettings->setCurrentIndex(0);
    EXPECT_TRUE(w.cmdBackward->isHidden());
    EXPECT_FALSE(w.cmdForeward->isHidden());
    w.cmdForeward_Click();
    EXPECT_EQ(w.tabSettings->currentIndex(), 1);
    EXPECT_FALSE(w.cmdBackward->isHidden());
    for (int i = 0; i < 6; ++i) w.cmdForeward_Click();
    EXPECT_EQ(w.tabSettings->currentIndex(), 5);
    EXPECT_TRUE(w.cmdBackward->isHidden());
    EXPECT_TRUE(w.cmdForeward->isHidden());
    EXPECT_TRUE(w.txtStatus->toPlainText().contains("number: 12.7.42"));
    EXPECT_TRUE(w.txtStatus->toPlainText().contains(" = 63360 minute(s)"));

    // "&change system date and time" without a known settings program says where to look.
    w.cmdChangeTime_Click();
    EXPECT_TRUE(messages.back().prompt.contains("timedatectl"));
}

TEST_F(ProgramWindow, PositionFieldIsCheckedAndStartProgramsTheLogger)
{
    VirtualDs1921* logger = addLogger();
    QWidget owner;
    frmStartMission* w = new frmStartMission(&owner);
    w->setAttribute(Qt::WA_DeleteOnClose, true);
    w->show();
    ASSERT_TRUE(w->Form_Load());
    EXPECT_FALSE(w->sbrStatus->currentMessage().isEmpty());

    w->txtPosition[4]->setText("abc");
    EXPECT_FALSE(w->txtPosition_Validate(4));
    EXPECT_EQ(messages.back().prompt, "only numeric values allowed !");
    w->txtPosition[4]->setText("0");
    EXPECT_FALSE(w->txtPosition_Validate(4));
    EXPECT_EQ(messages.back().prompt, "value must be greater than zero !");
    w->txtPosition[4]->setText("05");
    EXPECT_TRUE(w->txtPosition_Validate(4));
    EXPECT_EQ(w->txtPosition[4]->text(), "5");

    // A bad alarm text is refused before anything reaches the logger.
    const std::vector<uint8_t> before = memory(logger);
    w->txtHighTempAlarm->setText("hot");
    w->cmdStartMission_Click();
    EXPECT_EQ(messages.back().prompt, "only numeric values allowed !");
    EXPECT_EQ(memory(logger), before);
    EXPECT_EQ(readingOpened, 0);

    w->txtHighTempAlarm->setText("6");
    w->txtPosition[0]->setText("shelf");
    w->cmbSampleRate->setCurrentIndex(4);
    w->tabSettings->setCurrentIndex(5);
    shoot(*w, "program-summary");
    w->cmdStartMission_Click();
    EXPECT_EQ(messages.back().prompt, "really erase existing data and restart logger?");
    EXPECT_EQ(messages.back().style, vbYesNo | vbQuestion | vbDefaultButton2);
    EXPECT_TRUE(logger->missionRunning());
    EXPECT_EQ(logger->peek(0x20D), 5);
    EXPECT_EQ(logger->peek(0x20C), (6 + 40) * 2);
    EXPECT_EQ(paused, 1300) << "the pauses of the sequence with the clock set";
    EXPECT_EQ(readingOpened, 1);
    EXPECT_EQ(readingOwner, &owner);
    EXPECT_EQ(count("SELECT COUNT(*) FROM history WHERE Type = 1 AND Text LIKE '%shelf%'"), 1);
}

TEST_F(ProgramWindow, ScreenshotsOfTheTabs)
{
    addLogger();
    frmStartMission w;
    w.show();
    ASSERT_TRUE(w.Form_Load());
    const char* names[6] = {"clock", "rate", "alarms", "delay", "position", "summary"};
    for (int i = 0; i < 6; ++i) {
        w.tabSettings->setCurrentIndex(i);
        shoot(w, QStringLiteral("program-tab%1-%2").arg(i).arg(names[i]));
    }
    EXPECT_TRUE(w.txtStatus->toPlainText().startsWith("\t\tsettings for logger ID"));
}
