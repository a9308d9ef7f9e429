// The program-logger window: controls mirrored from clsMissionSettings, the clock label, and the
// start button that hands a checked plan to clsProgrammingSequence.
#include "programming/frmStartMission.h"
#include "app/UserInterface.h"
#include <optional>
#include "app/WindowHooks.h"
#include "app/modFormat.h"
#include "app/TextRules.h"
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
#include <QDoubleSpinBox>
#include <QScrollBar>
#include <QCalendarWidget>
#include <QAbstractItemView>
#include <QElapsedTimer>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPlainTextEdit>
#include <QTextDocument>
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

// A caption of the window; the "lbl" name lets TranslateForm translate it.
QLabel* caption(const char* name, const char* text, QWidget* parent)
{
    auto* l = new QLabel(QString::fromUtf8(text), parent);
    l->setObjectName(QString::fromLatin1(name));
    return l;
}

// The explanation at the top of a tab.
QLabel* hint(const char* name, const char* text, QWidget* parent)
{
    QLabel* l = caption(name, text, parent);
    l->setWordWrap(true);
    return l;
}

// A field followed by its unit, kept at its own width.
QHBoxLayout* withUnit(QWidget* field, QLabel* unit)
{
    auto* row = new QHBoxLayout;
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(field);
    if (unit) row->addWidget(unit);
    row->addStretch(1);
    return row;
}

// A temperature level: as many decimals as the logger's steps need, but no trailing zeros beyond
// the first (20.25 °C, not 20.250 °C).
QString levelText(const QLocale& locale, double value, int decimals)
{
    QString text = locale.toString(value, 'f', decimals);
    const QString point = locale.decimalPoint();
    const qsizetype mark = text.indexOf(point);
    if (mark < 0) return text;
    while (text.endsWith(QLatin1Char('0')) && text.size() > mark + point.size() + 1) text.chop(1);
    return text;
}

class AlarmSpinBox : public QDoubleSpinBox {
public:
    using QDoubleSpinBox::QDoubleSpinBox;
    QString textFromValue(double value) const override { return levelText(locale(), value, decimals()); }
};

QFormLayout* form()
{
    auto* f = new QFormLayout;
    f->setFieldGrowthPolicy(QFormLayout::FieldsStayAtSizeHint);
    f->setLabelAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    f->setFormAlignment(Qt::AlignLeft | Qt::AlignTop);
    return f;
}

// A note that says why an entry was not taken: in the palette's text colour turned towards red,
// readable on light and dark palettes alike; hidden while there is nothing to say.
void setNote(QLabel* note, const QString& text)
{
    const bool dark = note->palette().color(QPalette::Window).lightness() < 128;
    note->setStyleSheet(dark ? QStringLiteral("color: #ff8a80;") : QStringLiteral("color: #b3261e;"));
    note->setText(text);
    note->setVisible(!text.isEmpty());
}

QLabel* noteLabel(const char* name, QWidget* parent)
{
    auto* l = new QLabel(parent);
    l->setObjectName(QString::fromLatin1(name));
    l->setWordWrap(true);
    l->setTextInteractionFlags(Qt::TextSelectableByMouse);
    l->hide();
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
    const QFontMetrics fm = fontMetrics();
    const int em = fm.horizontalAdvance(QLatin1Char('M'));
    auto* root = new QVBoxLayout(this);

    tabSettings = new QTabWidget(this);
    tabSettings->setObjectName("tabSettings");
    tabSettings->setUsesScrollButtons(false);   // every step's caption stays in sight, in any language
    root->addWidget(tabSettings, 1);
    // A tab: its explanation, then its fields, top-aligned.
    auto page = [&](const char* hintName, const char* hintText) {
        auto* w = new QWidget;
        auto* v = new QVBoxLayout(w);
        v->setSpacing(fm.height() / 2 + 4);
        if (hintName) v->addWidget(hint(hintName, hintText, w));
        return std::pair{w, v};
    };

    // 0: clock
    auto [t0, v0] = page("lblHintClock", "When the logger is started, its clock can be set from this computer's clock.");
    chkusePCDateTime = new QCheckBox("update logger's &date and time from system date and time", t0);
    chkusePCDateTime->setObjectName("chkusePCDateTime");
    chkusePCDateTime->setChecked(true);
    lblDateTime = new QLabel(t0);
    lblDateTime->setObjectName("lblDateTime");
    lblTimeDiff = new QLabel("-", t0);
    lblTimeDiff->setObjectName("lblTimeDiff");
    cmdChangeTime = new QPushButton("&change system date and time", t0);
    cmdChangeTime->setObjectName("cmdChangeTime");
    auto* f0 = form();
    lblLoggerDateTime = new QLabel("-", t0);
    lblLoggerDateTime->setObjectName("lblLoggerDateTime");
    f0->addRow(caption("lblCaptionDateTime", "system date and time:", t0), lblDateTime);
    f0->addRow(caption("lblCaptionLoggerDateTime", "logger's date and time:", t0), lblLoggerDateTime);
    f0->addRow(caption("lblCaptionTimeDiff", "logger's clock differs by:", t0),
               withUnit(lblTimeDiff, caption("lblUnitSeconds", "seconds", t0)));
    v0->addWidget(chkusePCDateTime);
    v0->addLayout(f0);
    v0->addWidget(cmdChangeTime, 0, Qt::AlignLeft);
    v0->addStretch(1);
    tabSettings->addTab(t0, "date and time");

    // 1: sample rate, duration, rollover
    auto [t1, v1] = page("lblHintRate", "How often the logger measures. Its memory holds 2048 measurements.");
    cmbSampleRate = new QComboBox(t1);
    cmbSampleRate->setObjectName("cmbSampleRate");
    cmbSampleRate->setMaxVisibleItems(15);
    lblDuration = new QLabel(t1);
    lblDuration->setObjectName("lblDuration");
    lblReadBefore = new QLabel(t1);
    lblReadBefore->setObjectName("lblReadBefore");
    chkEnableRollover = new QCheckBox("enable rollover", t1);
    chkEnableRollover->setObjectName("chkEnableRollover");
    auto* f1 = form();
    f1->addRow(caption("lblCaptionSampleRate", "measurement every:", t1),
               withUnit(cmbSampleRate, caption("lblUnitRateMinutes", "minute(s)", t1)));
    f1->addRow(caption("lblCaptionDuration", "memory lasts for:", t1),
               withUnit(lblDuration, caption("lblUnitDays", "days", t1)));
    f1->addRow(caption("lblCaptionReadBefore", "read the logger before:", t1), lblReadBefore);
    v1->addLayout(f1);
    v1->addWidget(chkEnableRollover);
    v1->addWidget(hint("lblHintRollover", "With rollover the newest measurements overwrite the oldest; without it the "
                                          "logger stops recording when its memory is full.", t1));
    v1->addStretch(1);
    tabSettings->addTab(t1, "measurement period");

    // 2: alarms
    auto [t2, v2] = page("lblHintAlarms", "The logger marks every measurement above the high level or below the low level.");
    lblHighTempAlarm = new QLabel("high alarm", t2);
    lblHighTempAlarm->setObjectName("lblHighTempAlarm");
    lblLowTempAlarm = new QLabel("low alarm", t2);
    lblLowTempAlarm->setObjectName("lblLowTempAlarm");
    for (QDoubleSpinBox** box : {&txtHighTempAlarm, &txtLowTempAlarm}) {
        *box = new AlarmSpinBox(t2);
        (*box)->setKeyboardTracking(false);   // a level counts when the entry is finished
        (*box)->setCorrectionMode(QAbstractSpinBox::CorrectToNearestValue);
        (*box)->setAccelerated(true);
    }
    txtHighTempAlarm->setObjectName("txtHighTempAlarm");
    txtLowTempAlarm->setObjectName("txtLowTempAlarm");
    lblHighTempAlarm->setBuddy(txtHighTempAlarm);
    lblLowTempAlarm->setBuddy(txtLowTempAlarm);
    lblAlarmRange = new QLabel(t2);
    lblAlarmRange->setObjectName("lblAlarmRange");
    lblAlarmStep = new QLabel(t2);
    lblAlarmStep->setObjectName("lblAlarmStep");
    lblAlarmNote = noteLabel("lblAlarmNote", t2);
    auto* f2 = form();
    f2->addRow(lblHighTempAlarm, txtHighTempAlarm);
    f2->addRow(lblLowTempAlarm, txtLowTempAlarm);
    f2->addRow(lblAlarmNote);
    lblLoggerType = new QLabel(t2);
    lblLoggerType->setObjectName("lblLoggerType");
    f2->addRow(caption("lblCaptionLoggerType", "logger type:", t2), lblLoggerType);
    f2->addRow(caption("lblCaptionAlarmRange", "measuring range:", t2), lblAlarmRange);
    f2->addRow(caption("lblCaptionAlarmStep", "resolution:", t2), lblAlarmStep);
    v2->addLayout(f2);
    v2->addStretch(1);
    tabSettings->addTab(t2, "alarms");

    // 3: start delay
    auto [t3, v3] = page("lblHintDelay", "The logger can wait up to 44 days before its first measurement. Choose the "
                                         "delay or the moment recording starts; the other follows.");
    cmbDays = new QComboBox(t3);
    cmbDays->setObjectName("cmbDays");
    cmbHours = new QComboBox(t3);
    cmbHours->setObjectName("cmbHours");
    cmbMinutes = new QComboBox(t3);
    cmbMinutes->setObjectName("cmbMinutes");
    for (QComboBox* c : {cmbDays, cmbHours, cmbMinutes}) c->setMaxVisibleItems(15);
    dtpStartDate = new QDateEdit(t3);
    dtpStartDate->setObjectName("dtpStartDate");
    dtpStartDate->setCalendarPopup(true);
    dtpStartDate->setKeyboardTracking(false);
    dtpStartTime = new QTimeEdit(t3);
    dtpStartTime->setObjectName("dtpStartTime");
    dtpStartTime->setDisplayFormat("HH:mm");
    dtpStartTime->setKeyboardTracking(false);
    // The three lists one above the other, each with its unit.
    auto* delayLists = new QGridLayout;
    delayLists->setContentsMargins(0, 0, 0, 0);
    delayLists->setColumnStretch(2, 1);
    delayLists->addWidget(cmbDays, 0, 0);
    delayLists->addWidget(caption("lblUnitDelayDays", "days", t3), 0, 1);
    delayLists->addWidget(cmbHours, 1, 0);
    delayLists->addWidget(caption("lblUnitDelayHours", "hours", t3), 1, 1);
    delayLists->addWidget(cmbMinutes, 2, 0);
    delayLists->addWidget(caption("lblUnitDelayMinutes", "minutes", t3), 2, 1);
    auto* startRow = new QHBoxLayout;
    startRow->setContentsMargins(0, 0, 0, 0);
    startRow->addWidget(dtpStartDate);
    startRow->addWidget(dtpStartTime);
    startRow->addStretch(1);
    lblDelayNote = noteLabel("lblDelayNote", t3);
    auto* f3 = form();
    f3->addRow(caption("lblCaptionDelay", "start delay:", t3), delayLists);
    f3->addRow(caption("lblCaptionStart", "start recording at:", t3), startRow);
    f3->addRow(lblDelayNote);
    lblReadBeforeDelay = new QLabel(t3);
    lblReadBeforeDelay->setObjectName("lblReadBeforeDelay");
    f3->addRow(caption("lblCaptionReadBeforeDelay", "read the logger before:", t3), lblReadBeforeDelay);
    v3->addLayout(f3);
    v3->addStretch(1);
    tabSettings->addTab(t3, "start delay");

    // 4: position
    auto [t4, v4] = page("lblHintPosition", "Where the logger is placed. Its number is made of the site, compartment and "
                                            "position numbers.");
    cmbRoom = new QComboBox(t4);
    cmbRoom->setObjectName("cmbRoom");
    cmbRoom->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    cmbRoom->setMinimumContentsLength(16);
    for (int i : {0, 4}) {
        txtPosition[i] = new QLineEdit(t4);
        txtPosition[i]->setObjectName(QStringLiteral("txtPosition_%1").arg(i));
    }
    txtPosition[0]->setMaxLength(kMaxDescriptionLength);
    txtPosition[0]->setMinimumWidth(fm.averageCharWidth() * 36);
    txtPosition[4]->setMaxLength(2);
    txtPosition[4]->setFixedWidth(fm.horizontalAdvance(QStringLiteral("0000")) + em * 2);
    txtSerialNo = new QLabel(t4);
    txtSerialNo->setObjectName("txtPosition_1");
    txtSiteNumber = new QLabel(t4);
    txtSiteNumber->setObjectName("txtPosition_2");
    lblLoggerNumber = new QLabel(t4);
    lblLoggerNumber->setObjectName("lblLoggerNumber");
    for (QLabel* l : {txtSerialNo, txtSiteNumber, lblLoggerNumber}) l->setTextInteractionFlags(Qt::TextSelectableByMouse);
    QFont strong = lblLoggerNumber->font();
    strong.setBold(true);
    lblLoggerNumber->setFont(strong);
    auto* f4 = form();
    f4->addRow(caption("lblCaptionRoom", "compartment:", t4), cmbRoom);
    f4->addRow(caption("lblCaptionPosition", "position number:", t4), txtPosition[4]);
    f4->addRow(caption("lblCaptionDescription", "description:", t4), txtPosition[0]);
    f4->addRow(caption("lblCaptionLoggerNumber", "logger number:", t4), lblLoggerNumber);
    f4->addRow(caption("lblCaptionSerial", "logger ID:", t4), txtSerialNo);
    f4->addRow(caption("lblCaptionSite", "site number:", t4), txtSiteNumber);
    v4->addLayout(f4);
    v4->addStretch(1);
    tabSettings->addTab(t4, "position");

    // 5: summary and log
    auto [t5, v5] = page(nullptr, nullptr);
    txtStatus = new QPlainTextEdit(t5);
    txtStatus->setObjectName("txtStatus");
    txtStatus->setReadOnly(true);
    txtStatus->setTabStopDistance(fm.averageCharWidth() * 4);
    txtStatus->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    // Room for the whole summary without scrolling.
    txtStatus->setMinimumHeight(fm.lineSpacing() * 16 + 2 * txtStatus->frameWidth() + 2 * int(txtStatus->document()->documentMargin()) + 4);
    v5->setContentsMargins(0, 0, 0, 0);
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
    for (QPushButton* b : {cmdBackward, cmdForeward, cmdStartMission, cmdCancel}) b->setAutoDefault(false);
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
    for (QDoubleSpinBox* box : {txtHighTempAlarm, txtLowTempAlarm})
        connect(box, &QDoubleSpinBox::valueChanged, this, [this, box] { alarmChanged(box); });
    for (QLineEdit* e : {txtPosition[0], txtPosition[4]})
        connect(e, &QLineEdit::textEdited, this, [this] { toSettings(); showLoggerNumber(); });
    connect(chkusePCDateTime, &QCheckBox::toggled, this, [this] { toSettings(); });
    connect(chkEnableRollover, &QCheckBox::toggled, this, [this] { toSettings(); });
    connect(cmbRoom, qOverload<int>(&QComboBox::currentIndexChanged), this, [this] { toSettings(); showLoggerNumber(); });
    resize(sizeHint().expandedTo(QSize(em * 40, 0)));
}

bool frmStartMission::Form_Load()
{
    // 1. Translation; the alarm labels name the unit.
    TranslateForm(this);
    lblHighTempAlarm->setText(lblHighTempAlarm->text() + " (" + App().UnitLabel + ")");
    lblLowTempAlarm->setText(lblLowTempAlarm->text() + " (" + App().UnitLabel + ")");
    resize(size().expandedTo(sizeHint()));   // translated captions may need more room

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
    txtSiteNumber->setText(m_settings.SiteText());
    timShowDate_Timer();
    timShowDate->start();

    // 6. The connected logger.
    clsDS1921Data& logger = AppLogger();
    std::optional<BusyCursor> busy(std::in_place);
    qint32 rc = -1;
    if (!logger.DeviceFound(QStringLiteral("21")).isEmpty()) logger.ReadImageFromLogger(false, rc);
    busy.reset();
    if (logger.objDeviceFound) m_settings.Variant = LoggerVariantOf(logger.LoggerRomText());
    if (rc != imgOk) {
        ShowMessage(Translate("couldn't read logger data"), vbExclamation, Translate("error reading logger"));
    } else {
        // 7.-9.
        // The serial number of the logger itself; a logger never programmed here has no record.
        const QString serial = RomTextToSerialNo(logger.LoggerRomText());
        setWindowTitle(" " + Translate("logger ID") + " " + serial + " " + Translate("connected"));
        const QDateTime clock = logger.DateTime();
        if (clock.isValid()) {
            m_loggerClockOffset = NowLocal().secsTo(clock);
            lblTimeDiff->setText(QString::number(*m_loggerClockOffset));
            timShowDate_Timer();
        }
        m_settings.LoadFromImage(logger);
        m_settings.SerialNo = serial;
    }

    // Controls from the settings; the alarm fields take the range and steps of this logger.
    showAlarmRange();
    m_syncing = true;
    txtHighTempAlarm->setValue(clsMissionSettings::CheckAlarmText(m_settings.HighAlarmText).value);
    txtLowTempAlarm->setValue(clsMissionSettings::CheckAlarmText(m_settings.LowAlarmText).value);
    cmbSampleRate->setCurrentIndex(m_settings.SampleRateIndex);
    chkEnableRollover->setChecked(m_settings.EnableRollover);
    chkusePCDateTime->setChecked(m_settings.UsePCDateTime);
    txtPosition[0]->setText(m_settings.Description);
    txtSerialNo->setText(m_settings.SerialNo.isEmpty() ? QStringLiteral("-") : m_settings.SerialNo);
    txtPosition[4]->setText(m_settings.PositionText);
    cmbRoom->setCurrentIndex(m_settings.RoomIndex);
    m_syncing = false;
    toSettings();   // a level outside this logger's range was brought into it
    m_settings.SetDelayLists(0, 0, 0);
    fromDelay();
    cmbSampleRate_Click();
    showLoggerNumber();
    tabSettings->setCurrentIndex(0);
    tabSettings_Click(0);
    // 10.
    if (rc == imgOk) ShowStatus("...finished reading device.", 0);
    return true;
}

void frmStartMission::showAlarmRange()
{
    const AlarmRange r = AlarmRangeShown(m_settings.Variant);
    const QString unit = QStringLiteral(" ") + App().UnitLabel;
    m_syncing = true;
    for (QDoubleSpinBox* box : {txtHighTempAlarm, txtLowTempAlarm}) {
        box->setDecimals(r.decimals);
        box->setRange(r.low, r.high);
        box->setSingleStep(r.step);
        box->setSuffix(unit);
    }
    m_syncing = false;
    const QLocale l;
    auto shown = [&](double v) { return levelText(l, v, r.decimals) + unit; };
    lblAlarmRange->setText(shown(r.low) + QStringLiteral(" \u2026 ") + shown(r.high));
    lblAlarmStep->setText(shown(r.step));
    const char* type = m_settings.Variant == LoggerVariant::H4F2 ? "DS1921H"
                       : m_settings.Variant == LoggerVariant::Z3B2 ? "DS1921Z" : "DS1921G";
    lblLoggerType->setText(AppLogger().objDeviceFound ? QString::fromLatin1(type) : Translate("no logger connected"));
}

void frmStartMission::alarmChanged(QDoubleSpinBox* changed)
{
    if (m_syncing) return;
    const QString problem = m_settings.AlarmLevelsProblem(txtLowTempAlarm->value(), txtHighTempAlarm->value());
    if (!problem.isEmpty()) {
        // Not taken: the field goes back to the level it had, and the note says why.
        const QString& kept = changed == txtLowTempAlarm ? m_settings.LowAlarmText : m_settings.HighAlarmText;
        m_syncing = true;
        changed->setValue(clsMissionSettings::CheckAlarmText(kept).value);
        m_syncing = false;
        setNote(lblAlarmNote, problem);
        return;
    }
    setNote(lblAlarmNote, QString());
    toSettings();
}

void frmStartMission::showLoggerNumber()
{
    const QString number = m_settings.LoggerNumberText();
    lblLoggerNumber->setText(number.isEmpty() ? QStringLiteral("-") : number);
}

void frmStartMission::toSettings()
{
    if (m_syncing) return;
    m_settings.UsePCDateTime = chkusePCDateTime->isChecked();
    m_settings.SampleRateIndex = cmbSampleRate->currentIndex();
    m_settings.HighAlarmText = QString::number(txtHighTempAlarm->value(), 'f', txtHighTempAlarm->decimals());
    m_settings.LowAlarmText = QString::number(txtLowTempAlarm->value(), 'f', txtLowTempAlarm->decimals());
    m_settings.EnableRollover = chkEnableRollover->isChecked();
    m_settings.Description = txtPosition[0]->text();
    // A position that is not valid is not taken; the check says why when the entry is finished.
    const FieldCheck position = clsMissionSettings::CheckPositionField(4, txtPosition[4]->text());
    if (position.ok) m_settings.PositionText = position.normalized;
    m_settings.RoomIndex = cmbRoom->currentIndex();
}

void frmStartMission::fromDelay()
{
    // A list or picker the operator is working in is not moved under their hands.
    auto inUse = [](QWidget* w) { return w->hasFocus(); };
    m_syncing = true;
    const std::pair<QComboBox*, int> lists[] = {{cmbDays, m_settings.DelayDays()},
                                                {cmbHours, m_settings.DelayHours()},
                                                {cmbMinutes, m_settings.DelayMinutesPart()}};
    for (const auto& [list, index] : lists)
        if (list->currentIndex() != index && !list->view()->isVisible()) list->setCurrentIndex(index);
    const QDateTime start = m_settings.StartMoment();
    if (dtpStartDate->date() != start.date() && !inUse(dtpStartDate) && !dtpStartDate->calendarWidget()->isVisible())
        dtpStartDate->setDate(start.date());
    const QTime minute(start.time().hour(), start.time().minute());
    if (dtpStartTime->time() != minute && !inUse(dtpStartTime)) dtpStartTime->setTime(minute);
    m_syncing = false;
}

void frmStartMission::cmbSampleRate_Click()
{
    if (m_syncing) return;
    toSettings();
    const int rate = m_settings.SampleRate();
    lblDuration->setText(rate > 0 ? clsMissionSettings::DurationText(rate) : QStringLiteral("-"));
    lblReadBefore->setText(rate > 0 ? m_settings.ReadBeforeText() : QStringLiteral("-"));
    lblReadBeforeDelay->setText(lblReadBefore->text());
}

void frmStartMission::cmbDays_Click()
{
    if (m_syncing) return;
    QString message;
    // A delay the logger cannot hold: the lists go back to the delay kept, the note says why.
    setNote(lblDelayNote, m_settings.ChooseDelay(cmbDays->currentIndex(), cmbHours->currentIndex(),
                                                 cmbMinutes->currentIndex(), &message)
                              ? QString()
                              : message);
    fromDelay();
    cmbSampleRate_Click();
}

void frmStartMission::dtpStartDate_Change()
{
    if (m_syncing) return;
    QString message;
    if (!m_settings.SetStartMoment(QDateTime(dtpStartDate->date(), dtpStartTime->time(), Qt::UTC), &message)) {
        // The logger cannot wait that long: the pickers go back to the start kept, and the note
        // names the latest possible start.
        m_syncing = true;
        const QDateTime start = m_settings.StartMoment();
        dtpStartDate->setDate(start.date());
        dtpStartTime->setTime(QTime(start.time().hour(), start.time().minute()));
        m_syncing = false;
        setNote(lblDelayNote, message);
    } else {
        setNote(lblDelayNote, QString());
    }
    fromDelay();
    cmbSampleRate_Click();
}

void frmStartMission::cmdBackward_Click() { tabSettings->setCurrentIndex(std::max(0, tabSettings->currentIndex() - 1)); }
void frmStartMission::cmdForeward_Click() { tabSettings->setCurrentIndex(std::min(5, tabSettings->currentIndex() + 1)); }

void frmStartMission::showSummary()
{
    txtStatus->setPlainText(m_settings.SummaryText());
    m_summaryShown = true;
}

void frmStartMission::tabSettings_Click(int tab)
{
    toSettings();
    cmdBackward->setVisible(tab > 0 && tab < 5);
    cmdForeward->setVisible(tab < 5);
    if (tab == 1) cmbSampleRate_Click();
    if (tab == 4) showLoggerNumber();
    if (tab == 5) showSummary();
}

bool frmStartMission::txtPosition_Validate(int index)
{
    if (index < 2 || index > 4 || !txtPosition[index]) return true;   // the site number is never edited
    const FieldCheck c = clsMissionSettings::CheckPositionField(index, txtPosition[index]->text());
    if (!c.ok) {
        ShowMessage(c.message, vbExclamation, c.title);
        txtPosition[index]->setFocus();
        return false;
    }
    txtPosition[index]->setText(c.normalized);
    toSettings();
    showLoggerNumber();
    return true;
}

void frmStartMission::timShowDate_Timer()
{
    const QDateTime now = NowLocal();
    const QLocale l;
    // The long time form without the zone: the program's local times carry no zone of their own.
    QString timeFormat = l.timeFormat(QLocale::LongFormat);
    timeFormat.remove(QLatin1Char('t'));
    timeFormat = timeFormat.trimmed();
    auto shown = [&](const QDateTime& t) {
        return l.toString(t.date(), QLocale::LongFormat) + " " + l.toString(t.time(), timeFormat);
    };
    lblDateTime->setText(shown(now));
    if (m_loggerClockOffset) lblLoggerDateTime->setText(shown(now.addSecs(*m_loggerClockOffset)));
    if (dtpStartDate->minimumDate() != now.date()) {   // past midnight: the pickers move on
        m_syncing = true;
        dtpStartDate->setDateRange(now.date(), clsMissionSettings::MaxStartDate());
        m_syncing = false;
    }
    // The start moment, the rollover moment and the summary follow the clock.
    if (m_settings.FollowClock()) fromDelay();
    if (m_settings.SampleRate() > 0) {
        lblReadBefore->setText(m_settings.ReadBeforeText());
        lblReadBeforeDelay->setText(lblReadBefore->text());
    }
    if (m_summaryShown && tabSettings->currentIndex() == 5 && !txtStatus->textCursor().hasSelection()) {
        const QString summary = m_settings.SummaryText();
        if (summary != txtStatus->toPlainText()) {
            const int scrolled = txtStatus->verticalScrollBar()->value();
            txtStatus->setPlainText(summary);
            txtStatus->verticalScrollBar()->setValue(scrolled);
        }
    }
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
    m_summaryShown = false;   // from here on txtStatus is the log of this run
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
