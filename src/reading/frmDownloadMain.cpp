#include "reading/frmDownloadMain.h"
#include "app/UserInterface.h"
#include <QBrush>
#include "reading/LoggerStop.h"

#include "reading/DueList.h"
#include "app/WindowHooks.h"
#include "app/modInternationalisation.h"
#include "ui/WindowRoutines.h"
#include "app/modMain.h"
#include "db/clsDatabase.h"
#include "image/clsDS1921Data.h"
#include "reading/JobFiles.h"
#include "reading/LoggerImageToDatabase.h"
#include "reading/clsCopyImageFiles.h"
#include "reading/frmDownload.h"
#include "ui/StatusMark.h"

#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QScreen>
#include <QScrollBar>
#include <optional>
#include <QHeaderView>
#include <QLabel>
#include <QMenuBar>
#include <QPainter>
#include <QStyle>
#include <QStatusBar>
#include <QThread>
#include <QTimer>
#include <QTreeWidget>

namespace {

std::function<void(int)>& readingWait()
{
    static std::function<void(int)> w;
    return w;
}

void Wait(int ms)
{
    if (readingWait()) readingWait()(ms);
    else QThread::msleep(ulong(ms));
}

// The three status pictures: a green disc (running), an empty ring (no logger or no cable), a red
// disc with a bar (connected but not running).
StatusMark SymbolMark(int picture)
{
    switch (picture) {
    case clsBusPoll::PicRunning: return StatusMark::Running;
    case clsBusPoll::PicNotRunning: return StatusMark::NotRunning;
    default: return StatusMark::Absent;
    }
}

struct ColumnDef { const char* key; const char* title; };
const ColumnDef kColumns[10] = {{"Seq", "read seq"},
                                {"NeedReading", "read?"},
                                {"RoomDescription", "compartment desc"},
                                {"Room", "compartment #"},
                                {"PositionDescription", "position desc"},
                                {"Position", "position #"},
                                {"SerialNo", "logger ID"},
                                {"NextReading", "hours remaining"},
                                {"DateRead", "last read"},
                                {"sort", "sort"}};
// Display order by creation index.
const int kDisplayOrder[10] = {3, 2, 5, 4, 6, 8, 7, 1, 0, 9};
constexpr int kSortColumn = 9;

} // namespace

void SetReadingWaitForTesting(std::function<void(int milliseconds)> wait) { readingWait() = std::move(wait); }

frmDownloadMain::frmDownloadMain(QWidget* parent) : QMainWindow(parent), m_poll(AppLogger())
{
    setObjectName("frmDownloadMain");
    setWindowTitle("NORDALIS READ LOGGER");

    mnuLogger = menuBar()->addMenu("&Logger");
    mnuLogger->setObjectName("mnuLogger");
    const char* const loggerItems[3] = {"&program logger...", "&read logger...", "&stop logger"};
    for (int i = 0; i < 3; ++i) {
        mnuLogger1[i] = mnuLogger->addAction(loggerItems[i]);
        mnuLogger1[i]->setObjectName(QString("mnuLogger1_%1").arg(i));
        connect(mnuLogger1[i], &QAction::triggered, this, [this, i] { mnuLogger1_Click(i); });
    }
    mnuExtras = menuBar()->addMenu("&Options");
    mnuExtras->setObjectName("mnuExtras");
    mnuExtras2Menu = mnuExtras->addMenu("&Fontsize");
    mnuExtras2Menu->setObjectName("mnuExtras1_0");
    mnuExtras1[0] = mnuExtras2Menu->menuAction();
    const char* const fonts[3] = {"&Small", "&Medium", "&Large"};
    for (int i = 0; i < 3; ++i) {
        mnuExtras2[i] = mnuExtras2Menu->addAction(fonts[i]);
        mnuExtras2[i]->setObjectName(QString("mnuExtras2_%1").arg(i));
        mnuExtras2[i]->setCheckable(true);
        connect(mnuExtras2[i], &QAction::triggered, this, [this, i] { mnuExtras2_Click(i); });
    }
    const char* const extras[3] = {"read &logger when connected", "only display loggers due for reading",
                                   "generate &joblist for palmtop"};
    for (int i = 1; i <= 3; ++i) {
        mnuExtras1[i] = mnuExtras->addAction(extras[i - 1]);
        mnuExtras1[i]->setObjectName(QString("mnuExtras1_%1").arg(i));
        if (i < 3) mnuExtras1[i]->setCheckable(true);
        connect(mnuExtras1[i], &QAction::triggered, this, [this, i] { mnuExtras1_Click(i); });
    }
    mnuDiskette = menuBar()->addMenu("&Diskette");
    mnuDiskette->setObjectName("mnuDiskette");
    const char* const disk[2] = {"copy loggerfiles &to diskette (backup)", "copy loggerfiles f&rom diskette (restore)"};
    for (int i = 0; i < 2; ++i) {
        mnuDiskette1[i] = mnuDiskette->addAction(disk[i]);
        mnuDiskette1[i]->setObjectName(QString("mnuDiskette1_%1").arg(i));
        connect(mnuDiskette1[i], &QAction::triggered, this, [this, i] { mnuDiskette1_Click(i); });
    }

    lvwKnownDevices = new QTreeWidget(this);
    lvwKnownDevices->setObjectName("lvwKnownDevices");
    lvwKnownDevices->setRootIsDecorated(false);
    lvwKnownDevices->setUniformRowHeights(true);
    lvwKnownDevices->setAllColumnsShowFocus(true);
    // Columns keep the widths fitted to their texts; a wide window leaves room at the right
    // instead of stretching the last column past the view.
    lvwKnownDevices->header()->setStretchLastSection(false);
    setCentralWidget(lvwKnownDevices);

    auto* sb = statusBar();
    sb->setObjectName("sbrStatus");
    panelStatus = new QLabel(this);
    panelStatus->setObjectName("status");
    // A reason with its remedy (an adapter that cannot be used) may need a second line; the
    // whole text is also the panel's tool tip.
    panelStatus->setWordWrap(true);
    panelStatus->setMinimumWidth(560);
    panelStatus->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    panelFiles = new QLabel(this);
    panelFiles->setObjectName("files");
    panelSymbol = new QLabel(this);
    panelSymbol->setObjectName("Symbol");
    panelSymbol->setFixedWidth(24);
    panelSymbol->setAlignment(Qt::AlignCenter);
    panelUserName = new QLabel(this);
    panelUserName->setObjectName("UserName");
    sb->addWidget(panelStatus, 3);
    sb->addWidget(panelFiles, 2);
    sb->addWidget(panelSymbol);
    sb->addPermanentWidget(panelUserName);

    timPollBus = new QTimer(this);
    timPollBus->setObjectName("timPollBus");
    timPollBus->setInterval(1500);
    connect(timPollBus, &QTimer::timeout, this, [this] { timPollBus_Timer(); });

    Form_Load();
}

frmDownloadMain::~frmDownloadMain()
{
    if (m_dialog) delete m_dialog.data();
}

void frmDownloadMain::Form_Load()
{
    TranslateForm(this);
    if (App().RestrictedMode) {
        mnuLogger1[0]->setEnabled(false);
        mnuLogger1[2]->setEnabled(false);
        mnuDiskette1[1]->setEnabled(false);
    }
    panelUserName->setText(Translate("user: ") + App().CurrentUserName + "   ");
    clsDatabase& db = AppDatabase();
    mnuExtras1[1]->setChecked(db.Parameter("DownloadAutoDownload", "True").compare("True", Qt::CaseInsensitive) == 0);
    mnuExtras1[2]->setChecked(db.Parameter("DownloadOnlyNeedReading", "False").compare("True", Qt::CaseInsensitive) == 0);
    bool ok = false;
    const int font = db.Parameter("DownloadListFontsize", "0").trimmed().toInt(&ok);
    if (ok && font >= 0 && font <= 2) mnuExtras2_Click(font);

    QStringList titles;
    for (int i = 0; i < 10; ++i)
        titles << (i == kSortColumn ? QString(kColumns[i].title) : Translate(kColumns[i].title) + "   ");
    lvwKnownDevices->setColumnCount(10);
    lvwKnownDevices->setHeaderLabels(titles);
    for (int i = 0; i < 10; ++i) lvwKnownDevices->setColumnWidth(i, 0);
    lvwKnownDevices->setColumnHidden(kSortColumn, true);
    QHeaderView* h = lvwKnownDevices->header();
    h->setSectionsClickable(true);
    h->setSortIndicatorShown(false);
    for (int pos = 0; pos < 10; ++pos) h->moveSection(h->visualIndex(kDisplayOrder[pos]), pos);
    connect(h, &QHeaderView::sectionClicked, this, [this](int c) { lvwKnownDevices_ColumnClick(c); });
    mnuLogger->setEnabled(false);
    FillList();
    // Wide enough for every column (at least for the titles of an empty list), within the screen.
    int width = 2 * lvwKnownDevices->frameWidth() + style()->pixelMetric(QStyle::PM_ScrollBarExtent) + 24;
    for (int c = 0; c < kSortColumn; ++c) width += lvwKnownDevices->columnWidth(c);
    QSize size(std::max(width, 640), 440);
    if (const QScreen* screen = this->screen()) size = size.boundedTo(screen->availableGeometry().size() * 0.9);
    resize(size);
    timPollBus->start();
}

void frmDownloadMain::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    m_sortedColumn = -1;   // a new activation forgets the column sorted last
    if (!timPollBus->isActive()) timPollBus->start();
}

void frmDownloadMain::ShowStatus(const QString& text)
{
    panelStatus->setText(text);
    panelStatus->setToolTip(text);
}

void frmDownloadMain::FillList() { RefreshDueList(lvwKnownDevices, mnuExtras1[2]->isChecked()); }

void frmDownloadMain::setSymbol(int picture)
{
    m_picture = picture;
    if (picture == 0) {
        panelSymbol->clear();
        panelSymbol->setText(QString());
        panelSymbol->setToolTip(QString());
    } else {
        panelSymbol->setPixmap(StatusMarkPixmap(SymbolMark(picture), 16, devicePixelRatio()));
        panelSymbol->setToolTip(StatusMarkText(SymbolMark(picture)));
    }
}

void frmDownloadMain::timPollBus_Timer()
{
    // A reading or programming at work keeps the bus: this cycle is left out.
    if (BusSequenceGuard::Active()) return;
    const bool wasActive = timPollBus->isActive();
    const int closesBefore = m_closes;
    timPollBus->stop();
    const clsBusPoll::Cycle c = m_poll.Poll();
    ShowStatus(c.status);
    setSymbol(c.picture);
    if (c.state == clsBusPoll::NoCable) {
        CloseReadingDialog();
    } else {
        mnuLogger->setEnabled(c.loggerMenu);
        if (c.arrived) {
            if (mnuExtras1[1]->isChecked()) OpenReadingDialog();
            qint32 rc = 0;
            AppLogger().ReadImageFromLogger(true, rc);
            if (rc == imgOk) selectRow(AppLogger().DeviceDescription());
        } else if (c.removed) {
            // A reading that went wrong stays on screen when its logger is taken away: its
            // message tells what to do next.
            if (!m_dialog || !m_dialog->Sequence().NeedsAttention()) CloseReadingDialog();
            setSymbol(0);
            Wait(1000);
        }
        ImportWaitingLoggerFiles(
            QString(), [this](const QString& t) {
                panelFiles->setText(t);
                panelFiles->setVisible(!t.isEmpty());   // no room taken from the status when empty
            }, [this](const QString& t) { ShowStatus(t); },
            [this] { FillList(); });
        // The import refills the list: select the arrived logger's row again (a logger read for
        // the first time only now has one).
        if (c.arrived) selectRow(AppLogger().DeviceDescription());
    }
    // A window closed during the cycle (a message box lets its close through) polls no more.
    if (isVisible() || (wasActive && m_closes == closesBefore)) timPollBus->start();
}

void frmDownloadMain::selectRow(const QString& description)
{
    if (description.isEmpty()) return;
    for (int r = 0; r < lvwKnownDevices->topLevelItemCount(); ++r) {
        QTreeWidgetItem* it = lvwKnownDevices->topLevelItem(r);
        for (int col = 0; col < lvwKnownDevices->columnCount(); ++col) {
            if (it->text(col) == description) {
                lvwKnownDevices->setCurrentItem(it);
                lvwKnownDevices->scrollToItem(it);
                // Scrolled down to the row, not sideways to its first logical column (shown last).
                lvwKnownDevices->horizontalScrollBar()->setValue(0);
                return;
            }
        }
    }
}

void frmDownloadMain::OpenReadingDialog()
{
    CloseReadingDialog();
    auto* d = new frmDownload(this);
    d->setAttribute(Qt::WA_DeleteOnClose, true);
    m_dialog = d;
    d->Form_Load();
}

void frmDownloadMain::CloseReadingDialog()
{
    if (m_dialog) {
        m_dialog->close();
        if (m_dialog) delete m_dialog.data();
    }
}

void frmDownloadMain::mnuLogger1_Click(int index)
{
    switch (index) {
    case 0: OpenProgramLoggerWindow(this); break;
    case 1: OpenReadingDialog(); break;
    case 2: StopLogger(); break;
    }
}

void frmDownloadMain::StopLogger()
{
    if (App().RestrictedMode) return;
    if (ShowMessage(Translate("Really stop logger?"), vbYesNo | vbQuestion | vbDefaultButton2, "NORDALIS") != vbYes)
        return;
    const StopResult r = StopConnectedLogger(AppLogger());
    if (r.outcome == StopOutcome::NoLogger) {
        ShowStatus(Translate(" logger not connected"));
        return;
    }
    if (r.outcome != StopOutcome::Stopped) {
        // The reading dialog would read a logger that may go on recording: the operator is told
        // and decides again.
        ShowStatus(r.message);
        ShowMessage(r.message, vbCritical, "NORDALIS");
        return;
    }
    OpenReadingDialog();
}

void frmDownloadMain::mnuExtras2_Click(int index)
{
    static const int sizes[3] = {8, 10, 12};
    for (int i = 0; i < 3; ++i) mnuExtras2[i]->setChecked(i == index);
    QFont f = lvwKnownDevices ? lvwKnownDevices->font() : font();
    f.setPointSize(sizes[index]);
    if (lvwKnownDevices) {
        lvwKnownDevices->setFont(f);
        FitDueListColumns(lvwKnownDevices);
    }
}

void frmDownloadMain::mnuExtras1_Click(int index)
{
    if (index == 2) FillList();
    else if (index == 3) {
        std::optional<BusyCursor> busy(std::in_place);
        QString error;
        const QStringList files = GenerateJoblist(mnuExtras1[2]->isChecked(), &error);
        busy.reset();
        // Where the files went (or why not) is said in the status line, over the poll's own
        // texts for a while so that the next poll does not wipe it at once.
        QString said;
        if (!error.isEmpty())
            said = Translate("no job files written: ") + error;
        else if (files.isEmpty())
            said = Translate("no job files written: no running logger is listed");
        else
            said = QString::number(files.size()) + Translate(" job file(s) written to ") +
                   QDir::toNativeSeparators(QFileInfo(files.first()).absolutePath());
        statusBar()->showMessage(said, 15000);
    }
}

void frmDownloadMain::mnuDiskette1_Click(int index)
{
    timPollBus->stop();
    if (index == 0) OpenCopyImageFilesDialog(this);
    else OpenRestoreImageFilesDialog(this);
    timPollBus->start();
}

void frmDownloadMain::lvwKnownDevices_ColumnClick(int column)
{
    QTreeWidgetItem* header = lvwKnownDevices->headerItem();
    const int position = lvwKnownDevices->header()->visualIndex(column);
    if (position == m_sortedColumn) {
        m_ascending = !m_ascending;
        QString t = header->text(column);
        t.chop(2);
        header->setText(column, t + (m_ascending ? " >" : " <"));
        lvwKnownDevices->sortItems(kSortColumn, m_ascending ? Qt::AscendingOrder : Qt::DescendingOrder);
        return;
    }
    m_sortedColumn = position;
    m_ascending = true;
    for (int c = 0; c < kSortColumn; ++c) {
        QString t = header->text(c);
        t.chop(2);
        header->setText(c, t + "  ");
    }
    QString t = header->text(column);
    t.chop(2);
    header->setText(column, t + " >");
    for (int r = 0; r < lvwKnownDevices->topLevelItemCount(); ++r) {
        QTreeWidgetItem* it = lvwKnownDevices->topLevelItem(r);
        it->setText(kSortColumn, ListSortKey(it->text(column)));
    }
    lvwKnownDevices->sortItems(kSortColumn, Qt::AscendingOrder);
}

void frmDownloadMain::SaveSettings()
{
    clsDatabase& db = AppDatabase();
    StoreParameter(db, "DownloadAutoDownload", QString(mnuExtras1[1]->isChecked() ? "True" : "False"));
    StoreParameter(db, "DownloadOnlyNeedReading", QString(mnuExtras1[2]->isChecked() ? "True" : "False"));
    int font = 0;
    for (int i = 0; i < 3; ++i)
        if (mnuExtras2[i]->isChecked()) font = i;
    StoreParameter(db, "DownloadListFontsize", QString::number(font));
}

void frmDownloadMain::closeEvent(QCloseEvent* event)
{
    ++m_closes;
    timPollBus->stop();
    CloseReadingDialog();
    SaveSettings();
    QMainWindow::closeEvent(event);
    ReturnToMainMenu();
}

void InstallReadingWindows()
{
    SetWorkingWindowFactory(0, [] { return new frmDownloadMain(); });
    SetReadingDialogHook([](QWidget* owner) {
        if (auto* w = qobject_cast<frmDownloadMain*>(owner)) {
            w->OpenReadingDialog();
            return;
        }
        auto* d = new frmDownload(owner);
        d->setAttribute(Qt::WA_DeleteOnClose, true);
        d->Form_Load();
    });
}

frmDownload* frmDownloadMain::ReadingDialog() const { return m_dialog.data(); }

void RefreshDueList(QTreeWidget* list, bool dueOnly)
{
    if (!list) return;
    BusyCursor busy;
    list->clear();
    QString error;
    const std::vector<DueListRow> rows = QueryDueList(dueOnly, &error);
    // The list is refilled after every imported file: a failure that stays is told once.
    static QString reported;
    if (!error.isEmpty() && error != reported)
        ShowMessage(error, vbCritical, QStringLiteral("Error in RefreshDueList"));
    reported = error;
    // The first column shown carries the running mark; the compartment number is column 3.
    const int markColumn = list->header()->logicalIndex(0);
    const QIcon running = StatusMarkIcon(StatusMark::Running);
    for (const DueListRow& row : rows) {
        auto* item = new QTreeWidgetItem(list);
        for (int c = 0; c < row.columns.size() && c < list->columnCount(); ++c) {
            item->setText(c, row.columns[c]);
            // Not due: the palette's own text colour, legible in light and dark palettes.
            if (row.status != DueListRow::NotDue) item->setForeground(c, QBrush(row.colour));
        }
        if (markColumn >= 0 && markColumn < list->columnCount()) {
            item->setIcon(markColumn, running);
            item->setToolTip(markColumn, StatusMarkText(StatusMark::Running));
        }
        item->setData(0, Qt::UserRole, row.deviceId);
    }
    FitDueListColumns(list);
}

void FitDueListColumns(QTreeWidget* list)
{
    if (!list) return;
    const QFontMetrics header = list->header()->fontMetrics();
    for (int c = 0; c <= 8 && c < list->columnCount(); ++c) {
        // The wider of the content and the title with its sort mark, and a little air.
        list->resizeColumnToContents(c);
        const int title = header.horizontalAdvance(list->headerItem()->text(c)) +
                          list->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, list->header()) * 2 + 8;
        list->setColumnWidth(c, std::max(list->columnWidth(c) + 6, title));
    }
}
