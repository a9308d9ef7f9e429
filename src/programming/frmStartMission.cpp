// The program-logger window: controls mirrored from clsMissionSettings, the clock label, and the
// start button that hands a checked plan to clsProgrammingSequence.
#include "programming/frmStartMission.h"
#include "app/UserInterface.h"
#include <optional>
#include "app/WindowHooks.h"
#include "app/modFormat.h"
#include "app/modInternationalisation.h"
#include "ui/WindowRoutines.h"
#include "app/modMain.h"
#include "db/clsDatabase.h"
#include "image/clsDS1921Data.h"
#include "programming/clsProgrammingSequence.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateEdit>
#include <QElapsedTimer>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTabWidget>
#include <QThread>
#include <QTimeEdit>
#include <QTimer>
#include <QVBoxLayout>

namespace {
std::function<bool()>& dateTimeOpener()
{
    static std::function<bool()> f;
    return f;
}
std::function<void(int)>& pauseHook()
{
    static std::function<void(int)> f;
    return f;
}

// The desktop's own date and time settings, where one of the usual ones is installed.
bool openDesktopDateTimeSettings()
{
    struct Candidate { const char* program; QStringList args; };
    const Candidate candidates[] = {
        {"gnome-control-center", {QStringLiteral("datetime")}},
        {"systemsettings", {QStringLiteral("kcm_clock")}},
        {"systemsettings5", {QStringLiteral("clock")}},
        {"cinnamon-settings", {QStringLiteral("calendar")}},
        {"mate-time-admin", {}},
        {"xfce4-datetime-settings", {}},
    };
    for (const Candidate& c : candidates) {
        const QString path = QStandardPaths::findExecutable(QString::fromLatin1(c.program));
        if (!path.isEmpty() && QProcess::startDetached(path, c.args)) return true;
    }
    return false;
}

void pause(int ms)
{
    if (ms <= 0) return;
    if (pauseHook()) { pauseHook()(ms); return; }
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) {
        QApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 20);
        QThread::msleep(10);
    }
}

QLabel* caption(const char* text, QWidget* parent)
{
    auto* l = new QLabel(QString::fromUtf8(text), parent);
    return l;
}
} // namespace

void SetDateTimeSettingsOpenerForTesting(std::function<bool()> opener) { dateTimeOpener() = std::move(opener); }
void SetProgrammingPauseForTesting(std::function<void(int)> p) { pauseHook() = std::move(p); }

void InstallProgrammingWindows()
{
    SetProgramLoggerWindowHook([](QWidget* owner) {
        if (App().RestrictedMode) return;   // no programming in restricted mode
        auto* w = new frmStartMission(owner);
        w->setAttribute(Qt::WA_DeleteOnClose, true);
        w->setWindowModality(owner ? Qt::WindowModal : Qt::ApplicationModal);
        w->show();
        w->Form_Load();
    });
}

frmStartMission::frmStartMission(QWidget* parent) : QWidget(parent, Qt::Window)
{
    setObjectName("frmStartMission");
    setWindowTitle("NORDALIS PROGRAM LOGGER");
    auto* root = new QVBoxLayout(this);

    tabSettings = new QTabWidget(this);
    tabSettings->setObjectName("tabSettings");
    root->addWidget(tabSettings, 1);

    // 0: clock
    auto* t0 = new QWidget;
    auto* g0 = new QVBoxLayout(t0);
    chkusePCDateTime = new QCheckBox("update logger's &date and time from system date and time", t0);
    chkusePCDateTime->setObjectName("chkusePCDateTime");
    chkusePCDateTime->setChecked(true);
    lblDateTime = new QLabel(t0);
    lblDateTime->setObjectName("lblDateTime");
    auto* diffRow = new QHBoxLayout;
    diffRow->addWidget(caption("difference to the logger's clock (seconds):", t0));
    lblTimeDiff = new QLabel("-", t0);
    lblTimeDiff->setObjectName("lblTimeDiff");
    lblTimeDiff->setMinimumWidth(100);
    diffRow->addWidget(lblTimeDiff);
    diffRow->addStretch();
    cmdChangeTime = new QPushButton("&change system date and time", t0);
    cmdChangeTime->setObjectName("cmdChangeTime");
    g0->addWidget(chkusePCDateTime);
    g0->addWidget(caption("system date and time:", t0));
    g0->addWidget(lblDateTime);
    g0->addLayout(diffRow);
    g0->addWidget(cmdChangeTime, 0, Qt::AlignLeft);
    g0->addStretch();
    tabSettings->addTab(t0, "date and time");

    // 1: sample rate, duration, rollover
    auto* t1 = new QWidget;
    auto* f1 = new QFormLayout(t1);
    cmbSampleRate = new QComboBox(t1);
    cmbSampleRate->setObjectName("cmbSampleRate");
    lblDuration = new QLabel(t1);
    lblDuration->setObjectName("lblDuration");
    lblReadBefore = new QLabel(t1);
    lblReadBefore->setObjectName("lblReadBefore");
    chkEnableRollover = new QCheckBox("enable rollover", t1);
    chkEnableRollover->setObjectName("chkEnableRollover");
    f1->addRow(caption("measurement every (minutes):", t1), cmbSampleRate);
    f1->addRow(caption("days until the memory is full:", t1), lblDuration);
    f1->addRow(caption("read before:", t1), lblReadBefore);
    f1->addRow(chkEnableRollover);
    tabSettings->addTab(t1, "measurement period");

    // 2: alarms
    auto* t2 = new QWidget;
    auto* f2 = new QFormLayout(t2);
    lblHighTempAlarm = new QLabel("high alarm", t2);
    lblHighTempAlarm->setObjectName("lblHighTempAlarm");
    lblLowTempAlarm = new QLabel("low alarm", t2);
    lblLowTempAlarm->setObjectName("lblLowTempAlarm");
    txtHighTempAlarm = new QLineEdit(t2);
    txtHighTempAlarm->setObjectName("txtHighTempAlarm");
    txtLowTempAlarm = new QLineEdit(t2);
    txtLowTempAlarm->setObjectName("txtLowTempAlarm");
    f2->addRow(lblHighTempAlarm, txtHighTempAlarm);
    f2->addRow(lblLowTempAlarm, txtLowTempAlarm);
    tabSettings->addTab(t2, "alarms");

    // 3: start delay
    auto* t3 = new QWidget;
    auto* g3 = new QGridLayout(t3);
    cmbDays = new QComboBox(t3);
    cmbDays->setObjectName("cmbDays");
    cmbHours = new QComboBox(t3);
    cmbHours->setObjectName("cmbHours");
    cmbMinutes = new QComboBox(t3);
    cmbMinutes->setObjectName("cmbMinutes");
    dtpStartDate = new QDateEdit(t3);
    dtpStartDate->setObjectName("dtpStartDate");
    dtpStartDate->setCalendarPopup(true);
    dtpStartTime = new QTimeEdit(t3);
    dtpStartTime->setObjectName("dtpStartTime");
    dtpStartTime->setDisplayFormat("HH:mm");
    g3->addWidget(caption("start delay:", t3), 0, 0, 1, 6);
    g3->addWidget(cmbDays, 1, 0);
    g3->addWidget(caption("days", t3), 1, 1);
    g3->addWidget(cmbHours, 1, 2);
    g3->addWidget(caption("hours", t3), 1, 3);
    g3->addWidget(cmbMinutes, 1, 4);
    g3->addWidget(caption("minutes", t3), 1, 5);
    g3->addWidget(caption("start recording at:", t3), 2, 0, 1, 6);
    g3->addWidget(dtpStartDate, 3, 0, 1, 2);
    g3->addWidget(dtpStartTime, 3, 2, 1, 2);
    g3->setRowStretch(4, 1);
    tabSettings->addTab(t3, "start delay");

    // 4: position
    auto* t4 = new QWidget;
    auto* f4 = new QFormLayout(t4);
    cmbRoom = new QComboBox(t4);
    cmbRoom->setObjectName("cmbRoom");
    for (int i : {0, 1, 2, 4}) {
        txtPosition[i] = new QLineEdit(t4);
        txtPosition[i]->setObjectName(QStringLiteral("txtPosition_%1").arg(i));
    }
    txtPosition[1]->setReadOnly(true);
    txtPosition[2]->setReadOnly(true);   // the site number of the installation
    txtPosition[4]->setMaxLength(2);
    f4->addRow(caption("compartment:", t4), cmbRoom);
    f4->addRow(caption("description:", t4), txtPosition[0]);
    f4->addRow(caption("logger ID:", t4), txtPosition[1]);
    f4->addRow(caption("site number:", t4), txtPosition[2]);
    f4->addRow(caption("position number:", t4), txtPosition[4]);
    tabSettings->addTab(t4, "position");

    // 5: summary and log
    auto* t5 = new QWidget;
    auto* v5 = new QVBoxLayout(t5);
    txtStatus = new QPlainTextEdit(t5);
    txtStatus->setObjectName("txtStatus");
    txtStatus->setReadOnly(true);
    txtStatus->setTabStopDistance(24);
    v5->addWidget(txtStatus);
    tabSettings->addTab(t5, "summary");

    auto* buttons = new QHBoxLayout;
    cmdBackward = new QPushButton("< Back", this);
    cmdBackward->setObjectName("cmdBackward");
    cmdForeward = new QPushButton("Next >", this);
    cmdForeward->setObjectName("cmdForeward");
    cmdStartMission = new QPushButton("s&tart logger", this);
    cmdStartMission->setObjectName("cmdStartMission");
    cmdCancel = new QPushButton("Close", this);
    cmdCancel->setObjectName("cmdCancel");
    buttons->addWidget(cmdBackward);
    buttons->addWidget(cmdForeward);
    buttons->addStretch();
    buttons->addWidget(cmdStartMission);
    buttons->addWidget(cmdCancel);
    root->addLayout(buttons);
    sbrStatus = new QStatusBar(this);
    sbrStatus->setObjectName("sbrStatus");
    sbrStatus->setSizeGripEnabled(false);
    root->addWidget(sbrStatus);

    timShowDate = new QTimer(this);
    timShowDate->setInterval(1000);
    connect(timShowDate, &QTimer::timeout, this, &frmStartMission::timShowDate_Timer);
    connect(cmbSampleRate, qOverload<int>(&QComboBox::activated), this, [this] { cmbSampleRate_Click(); });
    connect(cmbSampleRate, qOverload<int>(&QComboBox::currentIndexChanged), this, [this] { cmbSampleRate_Click(); });
    for (QComboBox* c : {cmbDays, cmbHours, cmbMinutes})
        connect(c, qOverload<int>(&QComboBox::currentIndexChanged), this, [this] { cmbDays_Click(); });
    connect(dtpStartDate, &QDateEdit::dateChanged, this, [this] { dtpStartDate_Change(); });
    connect(dtpStartTime, &QTimeEdit::timeChanged, this, [this] { dtpStartDate_Change(); });
    connect(cmdBackward, &QPushButton::clicked, this, &frmStartMission::cmdBackward_Click);
    connect(cmdForeward, &QPushButton::clicked, this, &frmStartMission::cmdForeward_Click);
    connect(tabSettings, &QTabWidget::currentChanged, this, &frmStartMission::tabSettings_Click);
    connect(cmdChangeTime, &QPushButton::clicked, this, &frmStartMission::cmdChangeTime_Click);
    connect(cmdStartMission, &QPushButton::clicked, this, &frmStartMission::cmdStartMission_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmStartMission::cmdCancel_Click);
    connect(txtPosition[4], &QLineEdit::editingFinished, this, [this] { txtPosition_Validate(4); });
    for (QLineEdit* e : {txtHighTempAlarm, txtLowTempAlarm, txtPosition[0], txtPosition[4]})
        connect(e, &QLineEdit::textEdited, this, [this] { toSettings(); });
    connect(chkusePCDateTime, &QCheckBox::toggled, this, [this] { toSettings(); });
    connect(chkEnableRollover, &QCheckBox::toggled, this, [this] { toSettings(); });
    connect(cmbRoom, qOverload<int>(&QComboBox::currentIndexChanged), this, [this] { toSettings(); });
    resize(660, 440);
}

bool frmStartMission::Form_Load()
{
    // 1. Translation; the alarm labels name the unit.
    TranslateForm(this);
    lblHighTempAlarm->setText(lblHighTempAlarm->text() + " (" + App().UnitLabel + ")");
    lblLowTempAlarm->setText(lblLowTempAlarm->text() + " (" + App().UnitLabel + ")");

    // 2. Lists.
    m_syncing = true;
    cmbSampleRate->clear();
    for (int i = 1; i <= kMaxSampleRate; ++i) cmbSampleRate->addItem(QString::number(i));
    cmbDays->clear();
    for (int i = 0; i <= kMaxDelayDays; ++i) cmbDays->addItem(QString::number(i));
    cmbHours->clear();
    for (int i = 0; i <= 23; ++i) cmbHours->addItem(QString::number(i));
    cmbMinutes->clear();
    for (int i = 0; i <= 59; ++i) cmbMinutes->addItem(QString::number(i));
    const QDate today = NowLocal().date();
    dtpStartDate->setDateRange(today, clsMissionSettings::MaxStartDate());
    m_syncing = false;

    // 3. Compartments.
    if (!m_settings.LoadRooms(AppDatabase())) {
        ShowMessage(Translate("Please first define a compartment using the SETTINGS window"), vbExclamation,
                    Translate("No compartments defined"));
        close();
        return false;
    }
    m_syncing = true;
    cmbRoom->clear();
    for (const RoomEntry& r : m_settings.Rooms) cmbRoom->addItem(r.Text());
    m_syncing = false;

    // 4. Site number; 5. clock.
    timShowDate_Timer();
    timShowDate->start();

    // 6. The connected logger.
    clsDS1921Data& logger = AppLogger();
    std::optional<BusyCursor> busy(std::in_place);
    qint32 rc = -1;
    if (!logger.DeviceFound(QStringLiteral("21")).isEmpty()) logger.ReadImageFromLogger(false, rc);
    busy.reset();
    if (rc != imgOk) {
        ShowMessage(Translate("couldn't read logger data"), vbExclamation, Translate("error reading logger"));
    } else {
        // 7.-9.
        // The serial number of the logger itself; a logger never programmed here has no record.
        const QString serial = RomTextToSerialNo(logger.LoggerRomText());
        setWindowTitle(" " + Translate("logger ID") + " " + serial + " " + Translate("connected"));
        const QDateTime clock = logger.DateTime();
        if (clock.isValid()) lblTimeDiff->setText(QString::number(NowLocal().secsTo(clock)));
        m_settings.LoadFromImage(logger);
        m_settings.SerialNo = serial;
    }

    // Controls from the settings.
    m_syncing = true;
    txtHighTempAlarm->setText(m_settings.HighAlarmText);
    txtLowTempAlarm->setText(m_settings.LowAlarmText);
    cmbSampleRate->setCurrentIndex(m_settings.SampleRateIndex);
    chkEnableRollover->setChecked(m_settings.EnableRollover);
    chkusePCDateTime->setChecked(m_settings.UsePCDateTime);
    txtPosition[0]->setText(m_settings.Description);
    txtPosition[1]->setText(m_settings.SerialNo);
    txtPosition[2]->setText(m_settings.SiteText());
    txtPosition[4]->setText(m_settings.PositionText);
    cmbRoom->setCurrentIndex(m_settings.RoomIndex);
    m_syncing = false;
    m_settings.SetDelayLists(0, 0, 0);
    fromDelay();
    cmbSampleRate_Click();
    tabSettings->setCurrentIndex(0);
    tabSettings_Click(0);
    // 10.
    if (rc == imgOk) ShowStatus("...finished reading device.", 0);
    return true;
}

void frmStartMission::toSettings()
{
    if (m_syncing) return;
    m_settings.UsePCDateTime = chkusePCDateTime->isChecked();
    m_settings.SampleRateIndex = cmbSampleRate->currentIndex();
    m_settings.HighAlarmText = txtHighTempAlarm->text();
    m_settings.LowAlarmText = txtLowTempAlarm->text();
    m_settings.EnableRollover = chkEnableRollover->isChecked();
    m_settings.Description = txtPosition[0]->text();
    m_settings.PositionText = txtPosition[4]->text();
    m_settings.RoomIndex = cmbRoom->currentIndex();
}

void frmStartMission::fromDelay()
{
    m_syncing = true;
    cmbDays->setCurrentIndex(m_settings.DelayDays());
    cmbHours->setCurrentIndex(m_settings.DelayHours());
    cmbMinutes->setCurrentIndex(m_settings.DelayMinutesPart());
    const QDateTime start = m_settings.StartMoment();
    dtpStartDate->setDate(start.date());
    dtpStartTime->setTime(QTime(start.time().hour(), start.time().minute()));
    m_syncing = false;
}

void frmStartMission::cmbSampleRate_Click()
{
    if (m_syncing) return;
    toSettings();
    const int rate = m_settings.SampleRate();
    lblDuration->setText(rate > 0 ? clsMissionSettings::DurationText(rate) : QString());
    lblReadBefore->setText(m_settings.ReadBeforeText());
}

void frmStartMission::cmbDays_Click()
{
    if (m_syncing) return;
    m_settings.SetDelayLists(cmbDays->currentIndex(), cmbHours->currentIndex(), cmbMinutes->currentIndex());
    fromDelay();
    lblReadBefore->setText(m_settings.ReadBeforeText());
}

void frmStartMission::dtpStartDate_Change()
{
    if (m_syncing) return;
    QString message;
    if (!m_settings.SetStartMoment(QDateTime(dtpStartDate->date(), dtpStartTime->time(), Qt::UTC), &message)) {
        // The logger cannot wait that long: the pickers go to the latest start, and the
        // operator is told so.
        // The latest start is always within reach.
        static_cast<void>(m_settings.SetStartMoment(clsMissionSettings::LatestStart()));
        fromDelay();
        ShowMessage(message, vbExclamation, Translate("wrong value"));
    } else {
        fromDelay();
    }
    lblReadBefore->setText(m_settings.ReadBeforeText());
}

void frmStartMission::cmdBackward_Click() { tabSettings->setCurrentIndex(std::max(0, tabSettings->currentIndex() - 1)); }
void frmStartMission::cmdForeward_Click() { tabSettings->setCurrentIndex(std::min(5, tabSettings->currentIndex() + 1)); }

void frmStartMission::tabSettings_Click(int tab)
{
    toSettings();
    cmdBackward->setVisible(tab > 0 && tab < 5);
    cmdForeward->setVisible(tab < 5);
    if (tab == 1) cmbSampleRate_Click();
    if (tab == 5) txtStatus->setPlainText(m_settings.SummaryText());
}

bool frmStartMission::txtPosition_Validate(int index)
{
    if (index < 2 || index > 4 || !txtPosition[index]) return true;
    if (index == 2) {   // never edited: always the installation's site number
        txtPosition[2]->setText(m_settings.SiteText());
        return true;
    }
    const FieldCheck c = clsMissionSettings::CheckPositionField(index, txtPosition[index]->text());
    if (!c.ok) {
        ShowMessage(c.message, vbExclamation, c.title);
        txtPosition[index]->setFocus();
        return false;
    }
    txtPosition[index]->setText(c.normalized);
    toSettings();
    return true;
}

void frmStartMission::timShowDate_Timer()
{
    const QDateTime now = NowLocal();
    const QLocale l;
    lblDateTime->setText(l.toString(now.date(), QLocale::LongFormat) + " " + now.time().toString("HH:mm:ss"));
}

void frmStartMission::cmdChangeTime_Click()
{
    const bool opened = dateTimeOpener() ? dateTimeOpener()() : openDesktopDateTimeSettings();
    if (!opened)
        ShowMessage(Translate("No date and time settings program was found. The system date and time are set in "
                              "the desktop's system settings, or by the administrator with "
                              "\"timedatectl set-time\"."),
                    vbInformation, Translate("change system date and time"));
}

void frmStartMission::ShowStatus(const QString& text, int pauseMs)
{
    sbrStatus->showMessage(Translate(text));
    repaint();
    pause(pauseMs);
}

void frmStartMission::cmdStartMission_Click()
{
    toSettings();
    if (!txtPosition_Validate(4)) return;
    // Everything is checked before the logger is touched.
    MissionPlan plan;
    QString message, title;
    if (!m_settings.Validate(AppLogger(), plan, message, title)) {
        ShowMessage(message, vbExclamation, title);
        return;
    }
    txtStatus->setPlainText(m_settings.SummaryText());
    clsProgrammingSequence sequence(AppLogger(), AppDatabase());
    sequence.ShowStatus = [this](const QString& text, int ms) { ShowStatus(text, ms); };
    sequence.StatusText = txtStatus->toPlainText();
    cmdStartMission->setEnabled(false);
    const ProgrammingOutcome outcome = sequence.Run(plan);
    cmdStartMission->setEnabled(true);
    txtStatus->setPlainText(sequence.StatusText);
    if (outcome != ProgrammingOutcome::Running && outcome != ProgrammingOutcome::NotRunning) {
        if (!sequence.FailureMessage().isEmpty()) ShowStatus(sequence.FailureMessage(), 0);
        return;   // nothing was written: the window stays open
    }
    QWidget* owner = parentWidget();
    close();
    ReopenReadingDialog(owner);
}

void frmStartMission::cmdCancel_Click() { close(); }

void frmStartMission::closeEvent(QCloseEvent* event)
{
    timShowDate->stop();
    emit closed();
    event->accept();
}
