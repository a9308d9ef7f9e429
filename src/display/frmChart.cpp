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
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
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
constexpr int kSettingsHeight = 230;   // pixels, the settings frame below the graph
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
    resize(900, 700);
    Form_Load();
}

frmChart::~frmChart() = default;

void frmChart::BuildWidgets()
{
    setWindowTitle(Translate("NORDALIS DATA DISPLAY"));
    picGraph = new ChartWidget(this);
    picGraph->hide();
    fraSettings = new QFrame(this);
    fraSettings->setObjectName("fraSettings");
    fraSettings->setFixedHeight(kSettingsHeight);

    tabOptions = new QTabWidget(fraSettings);
    tabOptions->setObjectName("tabOptions");
    const auto named = [](auto* w, const char* name) { w->setObjectName(name); return w; };
    const auto label = [&](const QString& text, const char* name) { return named(new QLabel(text), name); };

    // Logger
    auto* tLogger = new QWidget;
    auto* lyLogger = new QVBoxLayout(tLogger);
    lvwDevices = named(new QTreeWidget, "lvwDevices");
    lvwDevices->setRootIsDecorated(false);
    lvwDevices->setSortingEnabled(false);
    txtPositionID = named(new QLineEdit, "txtPositionID");
    txtPositionID->setVisible(false);
    lyLogger->addWidget(lvwDevices);
    lyLogger->addWidget(txtPositionID);

    // Date
    auto* tDate = new QWidget;
    auto* lyDate = new QGridLayout(tDate);
    dtpFromDate = named(new QDateEdit, "dtpFromDate");
    dtpFromTime = named(new QTimeEdit, "dtpFromTime");
    dtpToDate = named(new QDateEdit, "dtpToDate");
    dtpToTime = named(new QTimeEdit, "dtpToTime");
    for (QDateEdit* d : {dtpFromDate, dtpToDate}) { d->setCalendarPopup(true); d->setDisplayFormat("dd/MM/yyyy"); }
    for (QTimeEdit* t : {dtpFromTime, dtpToTime}) t->setDisplayFormat("HH:mm:ss");
    cmbTimediff = named(new QComboBox, "cmbTimediff");
    cmdRange[0] = named(new QPushButton(Translate("today")), "cmdRange0");
    cmdRange[1] = named(new QPushButton(Translate("last day available")), "cmdRange1");
    cmdRange[2] = named(new QPushButton(Translate("first day available")), "cmdRange2");
    lyDate->addWidget(dtpFromDate, 0, 0);
    lyDate->addWidget(dtpFromTime, 0, 1);
    lyDate->addWidget(dtpToDate, 1, 0);
    lyDate->addWidget(dtpToTime, 1, 1);
    lyDate->addWidget(cmbTimediff, 0, 2);
    for (int i = 0; i < 3; ++i) lyDate->addWidget(cmdRange[i], 2, i);

    // Alarms
    auto* tAlarms = new QWidget;
    auto* lyAlarms = new QGridLayout(tAlarms);
    chkShowAlarms = named(new QCheckBox(Translate("show alarm levels in graph")), "chkShowAlarms");
    txtAlarmMax = named(new QLineEdit("80"), "txtAlarmMax");
    txtAlarmMin = named(new QLineEdit("-40"), "txtAlarmMin");
    lblAlarmMax = label(Translate("alarm high"), "lblAlarmMax");
    lblAlarmMin = label(Translate("alarm low"), "lblAlarmMin");
    lyAlarms->addWidget(chkShowAlarms, 0, 0, 1, 2);
    lyAlarms->addWidget(lblAlarmMax, 1, 0);
    lyAlarms->addWidget(txtAlarmMax, 1, 1);
    lyAlarms->addWidget(lblAlarmMin, 2, 0);
    lyAlarms->addWidget(txtAlarmMin, 2, 1);

    // Texts
    auto* tTexts = new QWidget;
    auto* lyTexts = new QGridLayout(tTexts);
    txtHeader = named(new QLineEdit, "txtHeader");
    txtFootNote = named(new QLineEdit, "txtFootNote");
    lyTexts->addWidget(label(Translate("header"), "lblHeader"), 0, 0);
    lyTexts->addWidget(txtHeader, 0, 1);
    lyTexts->addWidget(label(Translate("footer"), "lblFootNote"), 1, 0);
    lyTexts->addWidget(txtFootNote, 1, 1);

    // Options
    auto* tOptions = new QWidget;
    auto* lyOptions = new QHBoxLayout(tOptions);
    auto* fraValues = named(new QGroupBox(Translate("displayed values")), "fraValues");
    auto* lyValues = new QVBoxLayout(fraValues);
    cmbValues = named(new QComboBox, "cmbValues");
    chkTransitionsOnly = named(new QCheckBox(Translate("transitions only")), "chkTransitionsOnly");
    lyValues->addWidget(cmbValues);
    lyValues->addWidget(chkTransitionsOnly);
    auto* fraYScale = named(new QGroupBox(Translate("Y-scale")), "fraYScale");
    auto* lyY = new QGridLayout(fraYScale);
    chkKeepYScale = named(new QCheckBox(Translate("fix")), "chkKeepYScale");
    txtYMax = named(new QLineEdit("5"), "txtYMax");
    txtYMin = named(new QLineEdit("-5"), "txtYMin");
    lyY->addWidget(chkKeepYScale, 0, 0, 1, 2);
    lyY->addWidget(label(Translate("max:"), "lblYMax"), 1, 0);
    lyY->addWidget(txtYMax, 1, 1);
    lyY->addWidget(label(Translate("min:"), "lblYMin"), 2, 0);
    lyY->addWidget(txtYMin, 2, 1);
    auto* fraDraw = named(new QGroupBox(Translate("draw graph")), "fraDraw");
    auto* lyDraw = new QVBoxLayout(fraDraw);
    chkTicks = named(new QCheckBox(Translate("mark values")), "chkTicks");
    chkLines = named(new QCheckBox(Translate("lines")), "chkLines");
    lyDraw->addWidget(chkTicks);
    lyDraw->addWidget(chkLines);
    auto* fraFormats = named(new QGroupBox(Translate("date and time formats")), "fraFormats");
    auto* lyFormats = new QGridLayout(fraFormats);
    cmbDateFormat = named(new QComboBox, "cmbDateFormat");
    cmbTimeFormat = named(new QComboBox, "cmbTimeFormat");
    cmbDateFormat->addItems(ChartDateFormats());
    cmbTimeFormat->addItems(ChartTimeFormats());
    lblDatePreview = label(QString(), "lblDatePreview");
    lblTimePreview = label(QString(), "lblTimePreview");
    lyFormats->addWidget(cmbDateFormat, 0, 0);
    lyFormats->addWidget(lblDatePreview, 0, 1);
    lyFormats->addWidget(cmbTimeFormat, 1, 0);
    lyFormats->addWidget(lblTimePreview, 1, 1);
    for (QWidget* w : std::initializer_list<QWidget*>{fraValues, fraYScale, fraDraw, fraFormats}) lyOptions->addWidget(w);

    // Reports
    auto* tReports = new QWidget;
    auto* lyReports = new QHBoxLayout(tReports);
    auto* lyButtons = new QVBoxLayout;
    cmdExcel = named(new QPushButton(Translate("to &Excel...")), "cmdExcel");
    cmdWord = named(new QPushButton(Translate("to &Word...")), "cmdWord");
    cmdClipBoard = named(new QPushButton(Translate("copy Graph to &Clipboard")), "cmdClipBoard");
    cmdHTM = named(new QPushButton(Translate("to a Webpage...")), "cmdHTM");
    for (QPushButton* b : {cmdExcel, cmdWord, cmdClipBoard, cmdHTM}) lyButtons->addWidget(b);
    fraReports = named(new QGroupBox(Translate("Reports")), "fraReports");
    auto* lyFraReports = new QVBoxLayout(fraReports);
    lstReports = named(new QListWidget, "lstReports");
    cmdOpenReport = named(new QPushButton(Translate("Open report")), "cmdOpenReport");
    lyFraReports->addWidget(lstReports);
    lyFraReports->addWidget(cmdOpenReport);
    fraReports->setVisible(false);
    lyReports->addLayout(lyButtons);
    lyReports->addWidget(fraReports);

    // Time-zone correction
    auto* tTZ = new QWidget;
    auto* lyTZ = new QGridLayout(tTZ);
    cmbTZoffset = named(new QComboBox, "cmbTZoffset");
    cmbTZoffset->setEditable(true);
    cmbTZoffset->addItems(ChartOffsetList());
    auto* lblTZ = label(Translate("Minutes added to UTC to display local time:"), "lblTZoffset");
    auto* lblTZText = label(Translate("The display is automatically set to local time taken from the operating system. "
                                      "By entering the appropriate offset to UTC a display adjusted to any time zone can "
                                      "be obtained. This may be desirable when either the logger or the display computer "
                                      "has moved through time zones."), "lblTZExplanation");
    lblTZText->setWordWrap(true);
    lyTZ->addWidget(lblTZ, 0, 0);
    lyTZ->addWidget(cmbTZoffset, 0, 1);
    lyTZ->addWidget(lblTZText, 1, 0, 1, 2);

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
        bool ok = false;
        txtAlarmMax->text().trimmed().toDouble(&ok);
        if (!ok) txtAlarmMax->setFocus();   // the box keeps the focus while its text is not a number
    });
    connect(picGraph, &ChartWidget::Resized, this, [this] { if (picGraph->height() > 100 && m_loaded) picGraph->Draw(State()); });
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
    for (int c = 0; c < 4; ++c) lvwDevices->resizeColumnToContents(c);
    if (lvwDevices->topLevelItemCount() > 0) lvwDevices->setCurrentItem(lvwDevices->topLevelItem(0));
    m_loaded = true;
    picGraph->show();
    Form_Resize();
}

void frmChart::cmdUpdate_Click()
{
    ToModel();
    ChartModel::Focus focus = ChartModel::Focus::None;
    const bool ran = m_model.Update(AppDatabase(), &focus);
    FromModel();
    if (focus == ChartModel::Focus::AlarmMax) txtAlarmMax->setFocus();
    if (focus == ChartModel::Focus::AlarmMin) txtAlarmMin->setFocus();
    if (!ran) return;
    // An empty graph of a query that failed would say "no samples".
    if (m_model.QueryResult != dbQueryOk)
        ShowMessage(AppDatabase().LastError(), vbCritical, QStringLiteral("Error in cmdUpdate_Click"));
    picGraph->Marker().Hide();
    if (isVisible() && picGraph->height() > 0) picGraph->Draw(State());
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
    if (isMinimized()) return;
    const QSize inner = size();
    const ChartLayout l = ComputeChartLayout(inner.width(), inner.height(), picGraph->height(), 0, fraSettings->height(),
                                             cmdClose->sizeHint().width() * kTwips,
                                             cmdUpdate->sizeHint().width() * kTwips, 0);
    const int graphHeight = l.graphHeight > 0 ? l.graphHeight : picGraph->height();
    picGraph->setGeometry(0, 0, inner.width(), graphHeight);   // a resize redraws through picGraph
    fraSettings->setGeometry(0, l.frameTop, l.frameWidth, fraSettings->height());
    // The buttons below the tabs, right-aligned: Exit, App&ly to its left, then &Print and &Help.
    const int buttonHeight = cmdClose->sizeHint().height();
    const int buttonTop = fraSettings->height() - buttonHeight - 4;
    const auto place = [&](QPushButton* b, int left) { b->setGeometry(left, buttonTop, b->sizeHint().width(), buttonHeight); };
    place(cmdClose, l.closeLeftTwips / kTwips);
    place(cmdUpdate, l.updateLeftTwips / kTwips);
    place(cmdPrint, cmdUpdate->x() - 200 / kTwips - cmdPrint->sizeHint().width());
    place(cmdHelp, cmdPrint->x() - 200 / kTwips - cmdHelp->sizeHint().width());
    tabOptions->setGeometry(0, 0, l.tabWidthTwips / kTwips, buttonTop - 2);
    State().WindowWidthTwips = inner.width() * kTwips;
    State().WindowHeightTwips = inner.height() * kTwips;
    if (l.drawGraph && m_loaded) picGraph->Draw(State());
}

void frmChart::resizeEvent(QResizeEvent*) { Form_Resize(); }

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
