// The program-logger window on a simulated logger: what it shows on opening, the delay lists and
// pickers kept in step, the tabs and their step buttons, the field checks, and "s&tart logger".
#include "support/VirtualBenchFixture.h"
#include "app/WindowHooks.h"
#include "programming/frmStartMission.h"
#include "app/modFormat.h"

#include <QLocale>
#include <QRegularExpression>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTabBar>
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
        QApplication::processEvents();   // pending layouts first
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
    // Alarm levels in spin boxes with the DS1921G's range and steps, the unit as suffix.
    EXPECT_DOUBLE_EQ(w.txtHighTempAlarm->value(), 8);
    EXPECT_DOUBLE_EQ(w.txtLowTempAlarm->value(), 2);
    EXPECT_DOUBLE_EQ(w.txtLowTempAlarm->minimum(), -40);
    EXPECT_DOUBLE_EQ(w.txtLowTempAlarm->maximum(), 85);
    EXPECT_DOUBLE_EQ(w.txtHighTempAlarm->singleStep(), 0.5);
    EXPECT_EQ(w.txtHighTempAlarm->suffix(), " " + QString(QChar(176)) + "C");
    EXPECT_TRUE(w.chkEnableRollover->isChecked());
    EXPECT_EQ(w.cmbRoom->currentText(), "007:freezer");
    EXPECT_EQ(w.txtPosition[0]->text(), "door left");
    // Logger ID and site number cannot be changed: shown, not editable.
    EXPECT_EQ(w.txtSerialNo->text(), serial);
    EXPECT_EQ(w.txtSiteNumber->text(), "12");
    EXPECT_EQ(w.findChild<QLabel*>("txtPosition_1"), w.txtSerialNo);
    EXPECT_EQ(w.findChild<QLabel*>("txtPosition_2"), w.txtSiteNumber);
    EXPECT_TRUE(w.findChildren<QLineEdit*>(QRegularExpression("^txtPosition_[12]$")).isEmpty());
    EXPECT_EQ(w.lblLoggerNumber->text(), "0000012.007.42");
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
    // Pickers -> lists; beyond 44 days the note beside the pickers names the latest start, and
    // nothing changes.
    messages.clear();
    EXPECT_TRUE(w.lblDelayNote->isHidden());
    w.dtpStartDate->setDate(NowLocal().date().addDays(45));
    EXPECT_TRUE(messages.empty());
    EXPECT_FALSE(w.lblDelayNote->isHidden());
    EXPECT_TRUE(w.lblDelayNote->text().startsWith("the start lies too far ahead; the latest possible start is "))
        << w.lblDelayNote->text().toStdString();
    EXPECT_EQ(w.dtpStartDate->date(), start.date());
    EXPECT_EQ(w.cmbDays->currentIndex(), 1);
    EXPECT_EQ(w.Settings().DelayMinutes(), 1590);
    w.dtpStartTime->setTime(clsMissionSettings::LatestStart().time());
    w.dtpStartDate->setDate(clsMissionSettings::LatestStart().date());
    EXPECT_TRUE(w.lblDelayNote->isHidden());
    EXPECT_EQ(w.cmbDays->currentIndex(), 44);
    EXPECT_EQ(w.cmbHours->currentIndex(), 0);
    EXPECT_EQ(w.cmbMinutes->currentIndex(), 0);
    EXPECT_EQ(w.Settings().DelayMinutes(), 63360);
    // One more minute on the lists: refused beside them, the lists go back.
    w.cmbMinutes->setCurrentIndex(1);
    EXPECT_FALSE(w.lblDelayNote->isHidden());
    EXPECT_EQ(w.cmbMinutes->currentIndex(), 0);
    EXPECT_EQ(w.Settings().DelayMinutes(), 63360);
    w.tabSettings->setCurrentIndex(3);
    shoot(w, "program-delay-refused");

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
    EXPECT_TRUE(w.txtStatus->toPlainText().contains("\tnumber: 0000012.007.42"));
    EXPECT_TRUE(w.txtStatus->toPlainText().contains(" alarms (in " + QString(QChar(176)) + "C):\n\thigh level: 8\n\t low level: 2"))
        << w.txtStatus->toPlainText().toStdString();
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

    // A bad position is refused before anything reaches the logger.
    const std::vector<uint8_t> before = memory(logger);
    w->txtPosition[4]->setText("x");
    w->cmdStartMission_Click();
    EXPECT_EQ(messages.back().prompt, "only numeric values allowed !");
    EXPECT_EQ(memory(logger), before);
    EXPECT_EQ(readingOpened, 0);
    w->txtPosition[4]->setText("5");

    w->txtHighTempAlarm->setValue(6);
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

TEST_F(ProgramWindow, AlarmLevelsTheLoggerCannotTakeAreRefusedBesideTheField)
{
    addLogger();
    frmStartMission w;
    w.show();
    ASSERT_TRUE(w.Form_Load());
    w.tabSettings->setCurrentIndex(2);
    EXPECT_TRUE(w.lblAlarmNote->isHidden());
    const QString degC = " " + QString(QChar(176)) + "C";
    auto n = [](double v) { return QLocale().toString(v, 'f', 1); };
    EXPECT_EQ(w.lblAlarmRange->text(), n(-40) + degC + QString::fromUtf8(" \u2026 ") + n(85) + degC);
    EXPECT_EQ(w.lblAlarmStep->text(), n(0.5) + degC);

    w.txtHighTempAlarm->setValue(8);
    w.txtLowTempAlarm->setValue(2);
    EXPECT_TRUE(w.lblAlarmNote->isHidden());
    // Low above high: the field goes back, the note says why.
    w.txtLowTempAlarm->setValue(9);
    EXPECT_DOUBLE_EQ(w.txtLowTempAlarm->value(), 2);
    EXPECT_FALSE(w.lblAlarmNote->isHidden());
    EXPECT_EQ(w.lblAlarmNote->text(), "the low alarm level must not be above the high alarm level");
    // Between two of the logger's steps.
    w.txtHighTempAlarm->setValue(8.3);
    EXPECT_DOUBLE_EQ(w.txtHighTempAlarm->value(), 8);
    EXPECT_TRUE(w.lblAlarmNote->text().startsWith("the logger keeps alarm levels in steps of " + n(0.5) + degC));
    // A level it takes clears the note and reaches the summary.
    w.txtHighTempAlarm->setValue(7.5);
    EXPECT_TRUE(w.lblAlarmNote->isHidden());
    w.tabSettings->setCurrentIndex(5);
    EXPECT_TRUE(w.txtStatus->toPlainText().contains("high level: 7.5\n\t low level: 2")) << w.txtStatus->toPlainText().toStdString();
    shoot(w, "program-alarm-refused");
}

TEST_F(ProgramWindow, TheAlarmFieldsTakeTheRangeOfAFineResolutionLoggerInFahrenheit)
{
    addLogger(Ds1921Variant::Z);
    App().Units = 1;
    App().UnitLabel = QString(QChar(176)) + "F";
    frmStartMission w;
    w.show();
    ASSERT_TRUE(w.Form_Load());
    EXPECT_DOUBLE_EQ(w.txtLowTempAlarm->minimum(), 23);     // -5 °C
    EXPECT_DOUBLE_EQ(w.txtLowTempAlarm->maximum(), 78.8);   // +26 °C
    EXPECT_NEAR(w.txtLowTempAlarm->singleStep(), 0.225, 1e-9);
    EXPECT_EQ(w.txtLowTempAlarm->decimals(), 3);
    EXPECT_EQ(w.lblLoggerType->text(), "DS1921Z");
    EXPECT_EQ(w.txtLowTempAlarm->suffix(), " " + QString(QChar(176)) + "F");
    EXPECT_TRUE(w.lblLowTempAlarm->text().endsWith("(" + QString(QChar(176)) + "F)"));
    w.tabSettings->setCurrentIndex(2);
    shoot(w, "program-alarms-fahrenheit-Z");
    App().Units = 0;
    App().UnitLabel = QString(QChar(176)) + "C";
}

TEST_F(ProgramWindow, TheStartAndTheSummaryFollowTheClock)
{
    addLogger();
    frmStartMission w;
    w.show();
    ASSERT_TRUE(w.Form_Load());
    const QString clockBefore = w.lblDateTime->text();
    w.cmbHours->setCurrentIndex(2);
    w.tabSettings->setCurrentIndex(5);
    const QString summaryBefore = w.txtStatus->toPlainText();

    // Ten minutes later: the clock label, the start (now + 2 hours) and the summary moved on.
    world->advance(10LL * 60000);
    w.timShowDate_Timer();
    EXPECT_NE(w.lblDateTime->text(), clockBefore);
    const QDateTime start = NowLocal().addSecs(2 * 3600);
    EXPECT_EQ(w.dtpStartDate->date(), start.date());
    EXPECT_EQ(w.dtpStartTime->time(), QTime(start.time().hour(), start.time().minute()));
    EXPECT_EQ(w.Settings().DelayMinutes(), 120);
    EXPECT_NE(w.txtStatus->toPlainText(), summaryBefore);
    EXPECT_TRUE(w.txtStatus->toPlainText().contains(Format(w.Settings().StartMoment(), "c") + " = 120 minute(s)"))
        << w.txtStatus->toPlainText().toStdString();

    // A start chosen on the pickers stays put while the operator works; the delay shrinks.
    w.tabSettings->setCurrentIndex(3);
    const QDateTime chosen = NowLocal().addSecs(5 * 3600);
    w.dtpStartTime->setTime(QTime(chosen.time().hour(), chosen.time().minute()));
    ASSERT_EQ(w.dtpStartDate->date(), chosen.date());
    const int delay = w.Settings().DelayMinutes();
    world->advance(30LL * 60000);
    w.timShowDate_Timer();
    EXPECT_EQ(w.dtpStartTime->time(), QTime(chosen.time().hour(), chosen.time().minute()));
    EXPECT_EQ(w.Settings().DelayMinutes(), delay - 30);
    EXPECT_EQ(w.cmbHours->currentIndex() * 60 + w.cmbMinutes->currentIndex(), delay - 30);
}

// The window opens at a size that shows every tab whole and fits the smallest screen in use
// (1366 x 768), in English and with the German example language file; number fields are as wide
// as their numbers, not as the window.
TEST_F(ProgramWindow, TheWindowIsCompactAndFitsTheSmallestScreen)
{
    addLogger();
    for (const bool german : {false, true}) {
        SCOPED_TRACE(german ? "German" : "English");
        if (german) {
            ASSERT_TRUE(LoadLanguageFileFrom(QStringLiteral(NORDALIS_SOURCE_DIR "/resources/examples/LANGUAGE.TXT")));
        }
        frmStartMission w;
        w.show();
        ASSERT_TRUE(w.Form_Load());
        QApplication::processEvents();
        EXPECT_LE(w.width(), 1366);
        EXPECT_LE(w.height(), 768 - 60) << "room for the desktop's panel and the title bar";
        EXPECT_EQ(w.size(), w.size().expandedTo(w.minimumSizeHint()));
        const std::pair<int, QWidget*> fields[] = {{1, w.cmbSampleRate}, {2, w.txtHighTempAlarm}, {2, w.txtLowTempAlarm},
                                                   {3, w.cmbDays}, {3, w.cmbMinutes}, {4, w.txtPosition[4]}};
        for (const auto& [tab, field] : fields) {
            w.tabSettings->setCurrentIndex(tab);
            QApplication::processEvents();
            EXPECT_LT(field->width(), w.width() / 4) << field->objectName().toStdString();
        }
        EXPECT_LT(w.txtPosition[4]->width(), 10 * w.fontMetrics().averageCharWidth());
        // Every tab caption in sight without scrolling the tab bar.
        EXPECT_LE(w.tabSettings->tabBar()->sizeHint().width(), w.tabSettings->width());
        if (german) {
            EXPECT_EQ(w.tabSettings->tabText(5), QString::fromUtf8("Übersicht"));
            w.tabSettings->setCurrentIndex(5);
            EXPECT_TRUE(w.txtStatus->toPlainText().contains(QString::fromUtf8(" Alarme (in °C):\n\toberer Wert: ")))
                << w.txtStatus->toPlainText().toStdString();
        }
    }
    UnloadLanguage();
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
