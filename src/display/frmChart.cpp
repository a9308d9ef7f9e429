// The data display window: widgets and their wiring to ChartModel.
#include "display/frmChart.h"
#include "display/ChartGraph.h"
#include "app/WindowHooks.h"
#include "app/modInternationalisation.h"
#include "ui/WindowRoutines.h"
#include "app/modMain.h"
#include "db/clsDatabase.h"
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QFrame>
#include <QGridLayout>
#include <QGuiApplication>
#include <QScreen>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <QStyle>
#include <QTabWidget>
#include <QTimeEdit>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {
ChartExportHandlers& Handlers()
{
    static ChartExportHandlers h;   // the desktop program installs the export commands
    return h;
}
constexpr int kTwips = 15;
} // namespace

void SetChartExportHandlers(const ChartExportHandlers& handlers) { Handlers() = handlers; }

// --- graph widget ----------------------------------------------------------------------------

ChartWidget::ChartWidget(QWidget* parent) : QWidget(parent)
{
    setObjectName("picGraph");
    setMouseTracking(false);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void ChartWidget::Draw(ChartState& state)
{
    ImageSurface surface(std::max(1, width()), std::max(1, height()));
    DoGraph(surface, state);
    m_left = surface.ScaleLeft();
    m_top = surface.ScaleTop();
    m_width = surface.ScaleWidth();
    m_height = surface.ScaleHeight();
    m_hasGraph = state.Samples.size() >= 2;
    m_texts = surface.DrawnTexts();
    surface.Finish();
    m_picture = surface.Image();
    update();
}

QPointF ChartWidget::ToPlot(const QPointF& p) const
{
    return QPointF(m_left + p.x() / std::max(1, width()) * m_width, m_top + p.y() / std::max(1, height()) * m_height);
}

QPointF ChartWidget::FromPlot(double x, double y) const
{
    return QPointF((x - m_left) / m_width * width(), (y - m_top) / m_height * height());
}

void ChartWidget::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), Qt::white);
    if (!m_picture.isNull()) p.drawImage(0, 0, m_picture);
    if (m_marker.Visible && m_hasGraph) {
        const QPointF a = FromPlot(m_marker.Left, m_marker.Top);
        const QPointF b = FromPlot(m_marker.Left + m_marker.Width, m_marker.Top - m_marker.Height);
        p.setPen(QPen(Qt::black, 1, Qt::DotLine));
        p.setBrush(Qt::NoBrush);
        p.drawRect(QRectF(a, b).normalized());
    }
}

void ChartWidget::mousePressEvent(QMouseEvent* e)
{
    if (!m_hasGraph) return;
    emit MouseDownAt(e->button(), ToPlot(e->position()).x());
}

void ChartWidget::mouseMoveEvent(QMouseEvent* e)
{
    if (!m_hasGraph) return;
    emit MouseMoveAt(e->buttons() & Qt::LeftButton, ToPlot(e->position()).x());
}

void ChartWidget::resizeEvent(QResizeEvent*)
{
    m_marker.Hide();
    emit Resized();
}

// --- window ----------------------------------------------------------------------------------

frmChart::frmChart(QWidget* parent) : QWidget(parent)
{
    setObjectName("frmChart");
    setAttribute(Qt::WA_DeleteOnClose, false);
    BuildWidgets();
    // A size that leaves the graph most of a 1366 x 768 screen and does not grow silly on a
    // large one.
    QSize size(1200, 720);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QSize room = screen->availableGeometry().size() - QSize(16, 48);   // frame and title
        size = size.boundedTo(room).expandedTo(minimumSizeHint());
    }
    resize(size);
    Form_Load();
}

frmChart::~frmChart() = default;

namespace {
// A line edit as wide as that many digits (and its frame): numbers need no more.
void SetCharsWide(QLineEdit* edit, int chars)
{
    edit->setFixedWidth(edit->fontMetrics().horizontalAdvance(QString(chars, QLatin1Char('0'))) + 16);
}
} // namespace

void frmChart::BuildWidgets()
{
    setWindowTitle(Translate("NORDALIS DATA DISPLAY"));
    picGraph = new ChartWidget(this);
    picGraph->hide();
    picGraph->setMinimumSize(320, 160);
    picGraph->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    fraSettings = new QFrame(this);
    fraSettings->setObjectName("fraSettings");
    fraSettings->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);

    tabOptions = new QTabWidget(fraSettings);
    tabOptions->setObjectName("tabOptions");
    const auto named = [](auto* w, const char* name) { w->setObjectName(name); return w; };
    const auto label = [&](const QString& text, const char* name) { return named(new QLabel(text), name); };

    // Logger: the list takes the page; its height does not set the height of the tabs.
    auto* tLogger = new QWidget;
    auto* lyLogger = new QVBoxLayout(tLogger);
    lvwDevices = named(new QTreeWidget, "lvwDevices");
    lvwDevices->setRootIsDecorated(false);
    lvwDevices->setSortingEnabled(false);
    lvwDevices->setAlternatingRowColors(true);
    lvwDevices->setUniformRowHeights(true);
    lvwDevices->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Ignored);
    lvwDevices->setMinimumHeight(fontMetrics().height() * 5);
    txtPositionID = named(new QLineEdit, "txtPositionID");
    txtPositionID->setVisible(false);
    lyLogger->addWidget(lvwDevices);
    lyLogger->addWidget(txtPositionID);

    // Date: "From" and "To" rows of date and time, the lock, the range buttons.
    auto* tDate = new QWidget;
    auto* lyDate = new QGridLayout(tDate);
    dtpFromDate = named(new QDateEdit, "dtpFromDate");
    dtpFromTime = named(new QTimeEdit, "dtpFromTime");
    dtpToDate = named(new QDateEdit, "dtpToDate");
    dtpToTime = named(new QTimeEdit, "dtpToTime");
    for (QDateEdit* d : {dtpFromDate, dtpToDate}) { d->setCalendarPopup(true); d->setDisplayFormat("dd/MM/yyyy"); }
    for (QTimeEdit* t : {dtpFromTime, dtpToTime}) t->setDisplayFormat("HH:mm:ss");
    cmbTimediff = named(new QComboBox, "cmbTimediff");
    cmbTimediff->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    cmdRange[0] = named(new QPushButton(Translate("today")), "cmdRange0");
    cmdRange[1] = named(new QPushButton(Translate("last day available")), "cmdRange1");
    cmdRange[2] = named(new QPushButton(Translate("first day available")), "cmdRange2");
    auto* lblFrom = label(Translate("From"), "lblFrom");
    auto* lblTo = label(Translate("To"), "lblTo");
    lblFrom->setBuddy(dtpFromDate);
    lblTo->setBuddy(dtpToDate);
    auto* lblLock = label(Translate("lock"), "lblTimediff");
    lblLock->setBuddy(cmbTimediff);
    lyDate->addWidget(lblFrom, 0, 0);
    lyDate->addWidget(dtpFromDate, 0, 1);
    lyDate->addWidget(dtpFromTime, 0, 2);
    lyDate->addWidget(lblTo, 1, 0);
    lyDate->addWidget(dtpToDate, 1, 1);
    lyDate->addWidget(dtpToTime, 1, 2);
    lyDate->addWidget(lblLock, 0, 4);
    lyDate->addWidget(cmbTimediff, 0, 5);
    lyDate->setColumnMinimumWidth(3, 24);
    auto* lyRange = new QHBoxLayout;
    for (QPushButton* b : cmdRange) lyRange->addWidget(b);
    lyRange->addStretch(1);
    lyDate->addLayout(lyRange, 2, 0, 1, 7);
    lyDate->setColumnStretch(6, 1);
    lyDate->setRowStretch(3, 1);

    // Alarms: each level with its unit, and beside it why a level was refused.
    auto* tAlarms = new QWidget;
    auto* lyAlarms = new QGridLayout(tAlarms);
    chkShowAlarms = named(new QCheckBox(Translate("show alarm levels in graph")), "chkShowAlarms");
    txtAlarmMax = named(new QLineEdit("80"), "txtAlarmMax");
    txtAlarmMin = named(new QLineEdit("-40"), "txtAlarmMin");
    SetCharsWide(txtAlarmMax, 8);
    SetCharsWide(txtAlarmMin, 8);
    lblAlarmMax = label(Translate("alarm high"), "lblAlarmMax");
    lblAlarmMin = label(Translate("alarm low"), "lblAlarmMin");
    lblAlarmMax->setBuddy(txtAlarmMax);
    lblAlarmMin->setBuddy(txtAlarmMin);
    lblAlarmMaxError = label(QString(), "lblAlarmMaxError");
    lblAlarmMinError = label(QString(), "lblAlarmMinError");
    for (QLabel* e : {lblAlarmMaxError, lblAlarmMinError}) {
        e->setStyleSheet("color: #b00000;");
        e->setVisible(false);
    }
    lyAlarms->addWidget(chkShowAlarms, 0, 0, 1, 3);
    lyAlarms->addWidget(lblAlarmMax, 1, 0);
    lyAlarms->addWidget(txtAlarmMax, 1, 1);
    lyAlarms->addWidget(lblAlarmMaxError, 1, 2);
    lyAlarms->addWidget(lblAlarmMin, 2, 0);
    lyAlarms->addWidget(txtAlarmMin, 2, 1);
    lyAlarms->addWidget(lblAlarmMinError, 2, 2);
    lyAlarms->setColumnStretch(3, 1);
    lyAlarms->setRowStretch(3, 1);

    // Texts
    auto* tTexts = new QWidget;
    auto* lyTexts = new QGridLayout(tTexts);
    txtHeader = named(new QLineEdit, "txtHeader");
    txtFootNote = named(new QLineEdit, "txtFootNote");
    for (QLineEdit* e : {txtHeader, txtFootNote}) e->setMinimumWidth(e->fontMetrics().averageCharWidth() * 40);
    auto* lblHeader = label(Translate("header"), "lblHeader");
    auto* lblFootNote = label(Translate("footer"), "lblFootNote");
    lblHeader->setBuddy(txtHeader);
    lblFootNote->setBuddy(txtFootNote);
    lyTexts->addWidget(lblHeader, 0, 0);
    lyTexts->addWidget(txtHeader, 0, 1);
    lyTexts->addWidget(lblFootNote, 1, 0);
    lyTexts->addWidget(txtFootNote, 1, 1);
    lyTexts->setColumnStretch(1, 3);
    lyTexts->setColumnStretch(2, 1);
    lyTexts->setRowStretch(2, 1);

    // Options
    auto* tOptions = new QWidget;
    auto* lyOptions = new QHBoxLayout(tOptions);
    auto* fraValues = named(new QGroupBox(Translate("displayed values")), "fraValues");
    auto* lyValues = new QVBoxLayout(fraValues);
    cmbValues = named(new QComboBox, "cmbValues");
    cmbValues->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    chkTransitionsOnly = named(new QCheckBox(Translate("transitions only")), "chkTransitionsOnly");
    lyValues->addWidget(cmbValues);
    lyValues->addWidget(chkTransitionsOnly);
    lyValues->addStretch(1);
    auto* fraYScale = named(new QGroupBox(Translate("Y-scale")), "fraYScale");
    auto* lyY = new QGridLayout(fraYScale);
    chkKeepYScale = named(new QCheckBox(Translate("fix")), "chkKeepYScale");
    txtYMax = named(new QLineEdit("5"), "txtYMax");
    txtYMin = named(new QLineEdit("-5"), "txtYMin");
    SetCharsWide(txtYMax, 7);
    SetCharsWide(txtYMin, 7);
    auto* lblYMax = label(Translate("max:"), "lblYMax");
    auto* lblYMin = label(Translate("min:"), "lblYMin");
    lblYMax->setBuddy(txtYMax);
    lblYMin->setBuddy(txtYMin);
    lyY->addWidget(chkKeepYScale, 0, 0, 1, 2);
    lyY->addWidget(lblYMax, 1, 0);
    lyY->addWidget(txtYMax, 1, 1);
    lyY->addWidget(lblYMin, 2, 0);
    lyY->addWidget(txtYMin, 2, 1);
    lblYScaleError = label(QString(), "lblYScaleError");
    lblYScaleError->setStyleSheet("color: #b00000;");
    lblYScaleError->setWordWrap(true);
    lblYScaleError->setVisible(false);
    lyY->addWidget(lblYScaleError, 3, 0, 1, 2);
    lyY->setRowStretch(4, 1);
    auto* fraDraw = named(new QGroupBox(Translate("draw graph")), "fraDraw");
    auto* lyDraw = new QVBoxLayout(fraDraw);
    chkTicks = named(new QCheckBox(Translate("mark values")), "chkTicks");
    chkLines = named(new QCheckBox(Translate("lines")), "chkLines");
    lyDraw->addWidget(chkTicks);
    lyDraw->addWidget(chkLines);
    lyDraw->addStretch(1);
    auto* fraFormats = named(new QGroupBox(Translate("date and time formats")), "fraFormats");
    auto* lyFormats = new QGridLayout(fraFormats);
    cmbDateFormat = named(new QComboBox, "cmbDateFormat");
    cmbTimeFormat = named(new QComboBox, "cmbTimeFormat");
    cmbDateFormat->addItems(ChartDateFormats());
    cmbTimeFormat->addItems(ChartTimeFormats());
    for (QComboBox* c : {cmbDateFormat, cmbTimeFormat}) c->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    lblDatePreview = label(QString(), "lblDatePreview");
    lblTimePreview = label(QString(), "lblTimePreview");
    // The previews keep the width of the longest format, so that the frame does not jump.
    lblDatePreview->setMinimumWidth(fontMetrics().horizontalAdvance("Wednesday, 30/12/26") + 8);
    lblTimePreview->setMinimumWidth(fontMetrics().horizontalAdvance("00:00:00pm") + 8);
    lyFormats->addWidget(cmbDateFormat, 0, 0);
    lyFormats->addWidget(lblDatePreview, 0, 1);
    lyFormats->addWidget(cmbTimeFormat, 1, 0);
    lyFormats->addWidget(lblTimePreview, 1, 1);
    lyFormats->setRowStretch(2, 1);
    for (QWidget* w : std::initializer_list<QWidget*>{fraValues, fraYScale, fraDraw, fraFormats}) lyOptions->addWidget(w);
    lyOptions->addStretch(1);

    // Reports
    auto* tReports = new QWidget;
    auto* lyReports = new QHBoxLayout(tReports);
    auto* lyButtons = new QVBoxLayout;
    cmdExcel = named(new QPushButton(Translate("to &Excel...")), "cmdExcel");
    cmdWord = named(new QPushButton(Translate("to &Word...")), "cmdWord");
    cmdClipBoard = named(new QPushButton(Translate("copy Graph to &Clipboard")), "cmdClipBoard");
    cmdHTM = named(new QPushButton(Translate("to a Webpage...")), "cmdHTM");
    auto* lyExportGrid = new QGridLayout;
    lyExportGrid->addWidget(cmdExcel, 0, 0);
    lyExportGrid->addWidget(cmdWord, 0, 1);
    lyExportGrid->addWidget(cmdClipBoard, 1, 0);
    lyExportGrid->addWidget(cmdHTM, 1, 1);
    // The mission report of the logger and window shown, for the inspector (a PDF file).
    cmdMissionReport = named(new QPushButton(Translate("mission report (PDF)...")), "cmdMissionReport");
    cmdMissionReport->setToolTip(Translate("a PDF document of the logger and period shown: figures, excursions, "
                                           "alarm log, graph, readings and a place to sign"));
    lyExportGrid->addWidget(cmdMissionReport, 2, 0, 1, 2);
    connect(cmdMissionReport, &QPushButton::clicked, this, [this] {
        if (Handlers().missionReport) Handlers().missionReport(*this);
    });
    lyButtons->addLayout(lyExportGrid);
    lyButtons->addStretch(1);
    fraReports = named(new QGroupBox(Translate("Reports")), "fraReports");
    auto* lyFraReports = new QHBoxLayout(fraReports);
    lstReports = named(new QListWidget, "lstReports");
    lstReports->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Ignored);
    lstReports->setMinimumHeight(fontMetrics().height() * 4);
    cmdOpenReport = named(new QPushButton(Translate("Open report")), "cmdOpenReport");
    lyFraReports->addWidget(lstReports);
    lyFraReports->addWidget(cmdOpenReport, 0, Qt::AlignTop);
    fraReports->setVisible(false);
    lyReports->addLayout(lyButtons);
    lyReports->addWidget(fraReports);
    lyReports->addStretch(1);

    // Time-zone correction
    auto* tTZ = new QWidget;
    auto* lyTZ = new QGridLayout(tTZ);
    cmbTZoffset = named(new QComboBox, "cmbTZoffset");
    cmbTZoffset->setEditable(true);
    cmbTZoffset->addItems(ChartOffsetList());
    cmbTZoffset->setMinimumContentsLength(6);
    cmbTZoffset->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    auto* lblTZ = label(Translate("Minutes added to UTC to display local time:"), "lblTZoffset");
    lblTZ->setBuddy(cmbTZoffset);
    auto* lblTZText = label(Translate("The display is automatically set to local time taken from the operating system. "
                                      "By entering the appropriate offset to UTC a display adjusted to any time zone can "
                                      "be obtained. This may be desirable when either the logger or the display computer "
                                      "has moved through time zones."), "lblTZExplanation");
    lblTZText->setWordWrap(true);
    lblTZText->setMaximumWidth(fontMetrics().averageCharWidth() * 90);
    // The tabs take the height of their tallest page: room for the explanation's lines.
    lblTZText->setMinimumHeight(fontMetrics().lineSpacing() * 4 + 4);
    lyTZ->addWidget(lblTZ, 0, 0);
    lyTZ->addWidget(cmbTZoffset, 0, 1);
    lyTZ->addWidget(lblTZText, 1, 0, 1, 3);
    lyTZ->setColumnStretch(2, 1);
    lyTZ->setRowStretch(2, 1);

    tabOptions->addTab(tLogger, Translate("Logger"));
    tabOptions->addTab(tDate, Translate("Date"));
    tabOptions->addTab(tAlarms, Translate("Alarms"));
    tabOptions->addTab(tTexts, Translate("Texts"));
    tabOptions->addTab(tOptions, Translate("Options"));
    tabOptions->addTab(tReports, Translate("Reports"));
    tabOptions->addTab(tTZ, Translate("&Timezone Correction"));

    cmdUpdate = named(new QPushButton(Translate("App&ly"), fraSettings), "cmdUpdate");
    cmdClose = named(new QPushButton(Translate("Exit"), fraSettings), "cmdClose");
    cmdHelp = named(new QPushButton(Translate("&Help"), fraSettings), "cmdHelp");
    cmdPrint = named(new QPushButton(Translate("&Print"), fraSettings), "cmdPrint");
    cmdUpdate->setDefault(true);

    // The graph takes the room; below it the tabs, and below them the buttons: help on the left,
    // print, apply and exit on the right.
    auto* lySettings = new QVBoxLayout(fraSettings);
    lySettings->setContentsMargins(0, 0, 0, 0);
    lySettings->addWidget(tabOptions);
    auto* lyCommands = new QHBoxLayout;
    lyCommands->addWidget(cmdHelp);
    lyCommands->addStretch(1);
    lyCommands->addWidget(cmdPrint);
    lyCommands->addWidget(cmdUpdate);
    lyCommands->addWidget(cmdClose);
    lySettings->addLayout(lyCommands);
    // The excursions of the window beside the graph: the time out of range, the share in range
    // and one row per excursion (EvidenceTableOf).
    fraEvidence = named(new QFrame(this), "fraEvidence");
    auto* lyEvidence = new QVBoxLayout(fraEvidence);
    lyEvidence->setContentsMargins(0, 0, 0, 0);
    lblEvidence = named(new QLabel, "lblEvidence");
    lblEvidence->setWordWrap(true);
    lvwExcursions = named(new QTreeWidget, "lvwExcursions");
    lvwExcursions->setRootIsDecorated(false);
    lvwExcursions->setUniformRowHeights(false);   // a run from before takes two lines
    lvwExcursions->setAlternatingRowColors(true);
    lvwExcursions->header()->setStretchLastSection(true);
    lyEvidence->addWidget(lblEvidence);
    lyEvidence->addWidget(lvwExcursions, 1);
    fraEvidence->setFixedWidth(300);
    auto* lyTop = new QHBoxLayout;
    lyTop->addWidget(picGraph, 1);
    lyTop->addWidget(fraEvidence, 0);
    auto* lyWindow = new QVBoxLayout(this);
    lyWindow->addLayout(lyTop, 1);
    lyWindow->addWidget(fraSettings, 0);

    // Tool tips
    chkTransitionsOnly->setToolTip(Translate("show only samples that mark a change"));
    cmdRange[0]->setToolTip(Translate("from last midnight until now"));
    cmdRange[1]->setToolTip(Translate("all samples from the last day available"));
    cmdRange[2]->setToolTip(Translate("all samples from the first day available"));
    cmdUpdate->setToolTip(Translate("redisplay the graph with new settings"));

    // Wiring
    connect(cmdUpdate, &QPushButton::clicked, this, [this] { cmdUpdate_Click(); });
    connect(cmdClose, &QPushButton::clicked, this, [this] { close(); });
    connect(cmdHelp, &QPushButton::clicked, this, [] { ShowHelp(); });
    for (int i = 0; i < 3; ++i) connect(cmdRange[i], &QPushButton::clicked, this, [this, i] { cmdRange_Click(i); });
    connect(cmbValues, qOverload<int>(&QComboBox::activated), this, [this] { cmbValues_Click(); });
    connect(cmbTimediff, qOverload<int>(&QComboBox::currentIndexChanged), this, [this] { cmbTimediff_Click(); });
    connect(cmbTZoffset, qOverload<int>(&QComboBox::activated), this, [this] { cmbTZoffset_Click(); });
    connect(cmbTZoffset->lineEdit(), &QLineEdit::editingFinished, this, [this] { cmbTZoffset_Click(); });
    connect(dtpFromDate, &QDateEdit::dateChanged, this, [this] { FromPickers(); });
    connect(dtpFromTime, &QTimeEdit::timeChanged, this, [this] { FromPickers(); });
    connect(dtpToDate, &QDateEdit::dateChanged, this, [this] { ToPickers(); });
    connect(dtpToTime, &QTimeEdit::timeChanged, this, [this] { ToPickers(); });
    connect(lvwDevices, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* it) { lvwDevices_ItemClick(it); });
    connect(lvwDevices->header(), &QHeaderView::sectionClicked, this, [this](int column) {
        lvwDevices->sortItems(column, Qt::AscendingOrder);
    });
    connect(tabOptions, &QTabWidget::currentChanged, this, [this] { tabOptions_Click(); });
    connect(cmbTimeFormat, qOverload<int>(&QComboBox::currentIndexChanged), this, [this] { UpdatePreviews(); });
    connect(cmbDateFormat, qOverload<int>(&QComboBox::currentIndexChanged), this, [this] { UpdatePreviews(); });
    connect(txtAlarmMax, &QLineEdit::editingFinished, this, [this] {
        if (IsChartNumber(txtAlarmMax->text())) return;
        ShowAlarmFault(ChartModel::Focus::AlarmMax);
        txtAlarmMax->setFocus();   // the box keeps the focus while its text is not a number
    });
    connect(txtAlarmMax, &QLineEdit::textEdited, this, [this] { if (IsChartNumber(txtAlarmMax->text())) lblAlarmMaxError->hide(); });
    connect(txtAlarmMin, &QLineEdit::textEdited, this, [this] { if (IsChartNumber(txtAlarmMin->text())) lblAlarmMinError->hide(); });
    connect(picGraph, &ChartWidget::Resized, this, [this] { Form_Resize(); });
    connect(picGraph, &ChartWidget::MouseDownAt, this, [this](Qt::MouseButton b, double x) {
        ToModel();
        picGraph->Marker().MouseDown(b == Qt::LeftButton, x, State(), m_model.Window);
        FromModel();
        picGraph->update();
    });
    connect(picGraph, &ChartWidget::MouseMoveAt, this, [this](bool left, double x) {
        if (!left) return;
        ToModel();
        picGraph->Marker().MouseMove(true, x, State(), m_model.Window);
        FromModel();
        picGraph->update();
    });
    const auto handler = [this](std::function<void(frmChart&)> ChartExportHandlers::*member) {
        return [this, member] { if (Handlers().*member) (Handlers().*member)(*this); };
    };
    connect(cmdExcel, &QPushButton::clicked, this, handler(&ChartExportHandlers::excel));
    connect(cmdWord, &QPushButton::clicked, this, handler(&ChartExportHandlers::word));
    connect(cmdClipBoard, &QPushButton::clicked, this, handler(&ChartExportHandlers::clipboard));
    connect(cmdHTM, &QPushButton::clicked, this, handler(&ChartExportHandlers::htm));
    connect(cmdPrint, &QPushButton::clicked, this, handler(&ChartExportHandlers::print));
    connect(cmdOpenReport, &QPushButton::clicked, this, handler(&ChartExportHandlers::openReport));
}

void frmChart::ToModel()
{
    ChartModel::Inputs& in = m_model.In;
    in.PositionID = txtPositionID->text();
    in.Kind = ChartKind(std::clamp(cmbValues->currentIndex(), 0, kChartKindCount - 1));
    in.TransitionsOnly = chkTransitionsOnly->isChecked();
    in.AlarmMax = txtAlarmMax->text();
    in.AlarmMin = txtAlarmMin->text();
    in.Header = txtHeader->text();
    in.FootNote = txtFootNote->text();
    in.YMax = txtYMax->text();
    in.YMin = txtYMin->text();
    in.KeepYScale = chkKeepYScale->isChecked();
    in.ShowAlarms = chkShowAlarms->isChecked();
    in.ShowTicks = chkTicks->isChecked();
    in.ShowLines = chkLines->isChecked();
    in.TimeFormatIndex = std::max(0, cmbTimeFormat->currentIndex());
    in.DateFormatIndex = std::max(0, cmbDateFormat->currentIndex());
    in.TZOffset = cmbTZoffset->currentText();
    m_model.Window.From = QDateTime(dtpFromDate->date(), dtpFromTime->time(), Qt::UTC);
    m_model.Window.To = QDateTime(dtpToDate->date(), dtpToTime->time(), Qt::UTC);
    m_model.Window.Lock = ChartLock(std::max(0, cmbTimediff->currentIndex()));
}

void frmChart::FromModel()
{
    m_syncing = true;
    const ChartModel::Inputs& in = m_model.In;
    txtPositionID->setText(in.PositionID);
    cmbValues->setCurrentIndex(int(in.Kind));
    chkTransitionsOnly->setChecked(in.TransitionsOnly);
    txtAlarmMax->setText(in.AlarmMax);
    txtAlarmMin->setText(in.AlarmMin);
    txtHeader->setText(in.Header);
    txtFootNote->setText(in.FootNote);
    chkShowAlarms->setChecked(in.ShowAlarms);
    chkTicks->setChecked(in.ShowTicks);
    chkLines->setChecked(in.ShowLines);
    cmbTimeFormat->setCurrentIndex(in.TimeFormatIndex);
    cmbDateFormat->setCurrentIndex(in.DateFormatIndex);
    cmbTZoffset->setCurrentText(in.TZOffset);
    dtpFromDate->setDate(m_model.Window.From.date());
    dtpFromTime->setTime(m_model.Window.From.time());
    dtpToDate->setDate(m_model.Window.To.date());
    dtpToTime->setTime(m_model.Window.To.time());
    cmbTimediff->setCurrentIndex(int(m_model.Window.Lock));
    m_syncing = false;
}

void frmChart::FromPickers()
{
    if (m_syncing) return;
    ToModel();
    m_model.Window.SetFrom(m_model.Window.From);
    FromModel();
}

void frmChart::ToPickers()
{
    if (m_syncing) return;
    ToModel();
    m_model.Window.SetTo(m_model.Window.To);
    FromModel();
}

void frmChart::cmbTimediff_Click()
{
    if (m_syncing) return;
    ToModel();
    m_model.Window.SetLock(m_model.Window.Lock);
    FromModel();
}

void frmChart::UpdatePreviews()
{
    const QDateTime now = NowLocal();
    lblDatePreview->setText(FormatChartTime(now, cmbDateFormat->currentText()));
    lblTimePreview->setText(FormatChartTime(now, cmbTimeFormat->currentText()));
}

void frmChart::Form_Load()
{
    TranslateForm(this);
    lblAlarmMax->setText(lblAlarmMax->text() + " (" + App().UnitLabel + ")");
    lblAlarmMin->setText(lblAlarmMin->text() + " (" + App().UnitLabel + ")");
    m_syncing = true;
    cmbValues->clear();
    for (int i = 0; i < kChartKindCount; ++i) cmbValues->addItem(Translate(ChartKindText(ChartKind(i))));
    cmbTimediff->clear();
    for (const char* t : {"don't lock", "one day", "one week", "one month"}) cmbTimediff->addItem(Translate(t));
    m_syncing = false;

    clsDatabase& db = AppDatabase();
    const int count = m_model.Load(db);
    FromModel();
    UpdatePreviews();
    if (count < 0) {
        ShowMessage(db.LastError(), vbCritical, QStringLiteral("Error in LoadChartDevices"));
        return;
    }
    if (count == 0) {
        ShowMessage(Translate("No Loggers Found !"));
        return;
    }
    if (m_model.QueryResult != dbQueryOk)
        ShowMessage(db.LastError(), vbCritical, QStringLiteral("Error in Form_Load"));

    lvwDevices->clear();
    lvwDevices->setColumnCount(6);
    lvwDevices->setHeaderLabels({Translate("Data Set"), Translate("Compartment"), Translate("Position"),
                                 Translate("last read"), Translate("sample period"), Translate("Logger ID")});
    // Display order: Compartment, Position, Logger ID, Data Set, last read, sample period.
    QHeaderView* header = lvwDevices->header();
    const int order[6] = {1, 2, 5, 0, 3, 4};
    for (int visual = 0; visual < 6; ++visual) header->moveSection(header->visualIndex(order[visual]), visual);
    const ResultList& devices = State().Devices;
    for (int i = devices.firstDataRow(); i < devices.size(); ++i) {
        const DbRow& r = devices.rows[size_t(i)];
        auto* item = new QTreeWidgetItem(lvwDevices);
        item->setText(0, FormatDeviceID(qint32(r.value("DeviceID").toInt())));
        item->setText(1, r.value("RoomDescription").toString());
        item->setText(2, r.value("DeviceDescription").toString());
        item->setText(3, r.value("DateRead").toString());
        item->setText(4, r.value("SampleRate").toString());
        item->setText(5, r.value("SerialNo").toString());
    }
    const QDir reports(App().ApplicationDirectory + "/reports");
    lstReports->clear();
    for (const QString& f : reports.entryList({"report *.mde"}, QDir::Files, QDir::NoSort))
        lstReports->addItem(f.mid(7, f.size() - 7 - 4));
    if (lstReports->count() > 0) {
        lstReports->setCurrentRow(0);
        fraReports->setVisible(true);
    }
    for (int c = 0; c < lvwDevices->columnCount(); ++c) lvwDevices->resizeColumnToContents(c);
    if (lvwDevices->topLevelItemCount() > 0) lvwDevices->setCurrentItem(lvwDevices->topLevelItem(0));
    m_loaded = true;
    picGraph->show();
    Form_Resize();
    ShowEvidence();
}

void frmChart::cmdUpdate_Click()
{
    ToModel();
    ChartModel::Focus focus = ChartModel::Focus::None;
    const bool ran = m_model.Update(AppDatabase(), &focus);
    FromModel();
    ShowAlarmFault(focus);
    if (!ran) return;
    // A scale limit that is no number leaves the last one in force: say so beside the boxes.
    const bool limitsOk = IsChartNumber(txtYMax->text()) && IsChartNumber(txtYMin->text());
    lblYScaleError->setText(limitsOk ? QString() : Translate("not a number: the scale keeps its last limits"));
    lblYScaleError->setVisible(!limitsOk);
    if (!limitsOk) tabOptions->setCurrentIndex(4);
    // An empty graph of a query that failed would say "no samples".
    if (m_model.QueryResult != dbQueryOk)
        ShowMessage(AppDatabase().LastError(), vbCritical, QStringLiteral("Error in cmdUpdate_Click"));
    picGraph->Marker().Hide();
    if (isVisible() && picGraph->height() > 0) picGraph->Draw(State());
    ShowEvidence();
}

void frmChart::ShowEvidence()
{
    const EvidenceTable t = EvidenceTableOf(State());
    lvwExcursions->clear();
    // The degree-minutes column is headed by its unit alone; the full heading is its tool tip.
    QStringList headings = t.Headings;
    headings[5] = State().UnitLabel + QString::fromUtf8("\u00b7min");
    lvwExcursions->setHeaderLabels(headings);
    lvwExcursions->headerItem()->setToolTip(5, t.Headings[5]);
    if (!t.Valid) {
        lblEvidence->setText(Translate("no samples in this window: no excursions"));
        return;
    }
    QString text = t.MktCaption().isEmpty() ? QString() : t.MktCaption() + "\n";
    text += t.SummaryText() + "\n" + t.LevelsText + ": " +
            (t.Rows.empty() ? Translate("no excursion") : Translate("%1 excursion(s)").arg(t.Rows.size()));
    if (!t.FromBeforeNote.isEmpty()) text += "\n" + t.FromBeforeNote;
    lblEvidence->setText(text);
    for (const EvidenceRow& r : t.Rows) {
        auto* item = new QTreeWidgetItem(lvwExcursions, r.Texts);
        item->setForeground(0, r.High ? QColor(190, 0, 0) : QColor(0, 0, 190));
        if (r.FromBefore) {
            // The mark on a line of its own under the time, so that the column stays narrow.
            const QString mark = Translate("(from before)");
            item->setText(1, QString(r.Texts.value(1)).replace(" " + mark, "\n" + mark));
            item->setToolTip(1, Translate("already outside at the start of the period"));
        }
        for (int c = 3; c < r.Texts.size(); ++c) item->setTextAlignment(c, Qt::AlignRight | Qt::AlignVCenter);
    }
    FitEvidenceColumns();
    FitEvidenceWidth();
}

void frmChart::FitEvidenceColumns()
{
    // Each column as wide as its longest text (heading or cell) and the cell margins, no wider:
    // the list then reads without scrolling sideways; the last column takes what is left.
    const QFontMetrics cells(lvwExcursions->font()), heads(lvwExcursions->header()->font());
    const QStyle* style = lvwExcursions->style();
    const int cellMargin = 2 * (style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, lvwExcursions) + 1) + 6;
    const int headMargin = 2 * style->pixelMetric(QStyle::PM_HeaderMargin, nullptr, lvwExcursions) + 4;
    for (int c = 0; c < lvwExcursions->columnCount(); ++c) {
        int width = heads.horizontalAdvance(lvwExcursions->headerItem()->text(c)) + headMargin;
        for (int i = 0; i < lvwExcursions->topLevelItemCount(); ++i)
            for (const QString& line : lvwExcursions->topLevelItem(i)->text(c).split('\n'))
                width = std::max(width, cells.horizontalAdvance(line) + cellMargin);
        lvwExcursions->header()->resizeSection(c, width);
    }
}

void frmChart::FitEvidenceWidth()
{
    // The list as wide as its columns, up to 42 % of the window (its six columns fit beside the
    // graph of the window's own size, 1200 pixels): the graph keeps the rest.
    const int wanted = lvwExcursions->header()->length() + 2 * lvwExcursions->frameWidth() +
                       lvwExcursions->verticalScrollBar()->sizeHint().width() + 4;
    const int width = std::clamp(wanted, 300, std::max(300, this->width() * 42 / 100));
    if (fraEvidence->minimumWidth() != width) fraEvidence->setFixedWidth(width);
}

void frmChart::ShowAlarmFault(ChartModel::Focus focus)
{
    // A refused level: the note beside its box says why, the tab with the box comes to the
    // front and the box takes the focus; the query, the graph and the settings stay as they were.
    const QString note = Translate("not a number: enter a value such as 8 or -2.5; the graph was not changed");
    const auto say = [](QLabel* label, const QString& text) {
        label->setText(text);
        label->setVisible(!text.isEmpty());
    };
    say(lblAlarmMaxError, focus == ChartModel::Focus::AlarmMax ? note : QString());
    say(lblAlarmMinError, focus == ChartModel::Focus::AlarmMin ? note : QString());
    if (focus == ChartModel::Focus::None) return;
    tabOptions->setCurrentIndex(2);
    QLineEdit* box = focus == ChartModel::Focus::AlarmMax ? txtAlarmMax : txtAlarmMin;
    box->setFocus();
    box->selectAll();
}

void frmChart::cmdRange_Click(int index)
{
    ToModel();
    if (m_model.Range(index, AppDatabase())) {
        FromModel();
        cmdUpdate_Click();
    } else {
        FromModel();
    }
}

void frmChart::cmbValues_Click()
{
    ToModel();
    m_model.SetKind(m_model.In.Kind);
    FromModel();
    cmdUpdate_Click();
}

void frmChart::cmbTZoffset_Click()
{
    if (m_syncing) return;
    if (m_model.SetOffsetText(cmbTZoffset->currentText())) cmdUpdate_Click();
}

void frmChart::lvwDevices_ItemClick(QTreeWidgetItem* item)
{
    if (!item) return;
    ToModel();
    QString text = item->text(0);
    text.remove('.');
    if (m_model.SelectDevice(text.toInt())) {
        FromModel();
        cmdUpdate_Click();
    }
}

void frmChart::tabOptions_Click()
{
    if (tabOptions->currentIndex() == 4 && !chkKeepYScale->isChecked()) {
        txtYMax->setText(FloatText(State().YMax));
        txtYMin->setText(FloatText(State().YMin));
    }
}

void frmChart::Form_Resize()
{
    // The layouts place the widgets; the graph is redrawn for its new size, with the grid steps
    // of the window's new size.
    if (isMinimized()) return;
    FitEvidenceWidth();
    State().WindowWidthTwips = width() * kTwips;
    State().WindowHeightTwips = height() * kTwips;
    if (m_loaded && picGraph->isVisible() && picGraph->height() > 100) picGraph->Draw(State());
}

void frmChart::showEvent(QShowEvent*) { Form_Resize(); }

void frmChart::closeEvent(QCloseEvent* e)
{
    ToModel();
    m_model.SaveSettings(AppDatabase());
    e->accept();
    emit closed();
}

void InstallChartWindow()
{
    SetWorkingWindowFactory(1, [] {
        auto* w = new frmChart;
        w->setAttribute(Qt::WA_DeleteOnClose, true);
        QObject::connect(w, &frmChart::closed, [] { ReturnToMainMenu(); });
        return static_cast<QWidget*>(w);
    });
}
