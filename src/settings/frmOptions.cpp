#include "settings/frmOptions.h"
#include "settings/MktSetting.h"
#include "app/UserInterface.h"
#include <optional>

#include "app/WindowHooks.h"
#include "app/modInternationalisation.h"
#include "ui/WindowRoutines.h"
#include "app/modMain.h"
#include "db/clsDatabase.h"
#include "settings/CopyLoggerFilesHook.h"
#include "settings/InterfacePort.h"
#include "onewire/OneWireLink.h"
#include "settings/RemovableMedia.h"
#include "ui/StatusMark.h"
#include "settings/clsMaintenance.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateEdit>
#include <QDropEvent>
#include <QFileInfo>
#include <QGridLayout>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSplitter>
#include <QDir>
#include <QStyle>
#include <QTabWidget>
#include <QTreeWidget>
#include <QUrl>
#include <QVBoxLayout>

namespace {

constexpr int kKeyRole = Qt::UserRole;
constexpr int kTagRole = Qt::UserRole + 1;

QIcon siteIcon() { return QApplication::style()->standardIcon(QStyle::SP_DirHomeIcon); }
QIcon compartmentIcon() { return QApplication::style()->standardIcon(QStyle::SP_DirIcon); }
QIcon runningIcon() { return StatusMarkIcon(StatusMark::Running); }
QIcon stoppedIcon() { return StatusMarkIcon(StatusMark::Stopped); }

QPushButton* button(const char* name, const QString& caption, QWidget* parent)
{
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(QString::fromLatin1(name));
    return b;
}

// A short explanation under or beside a control: wrapped, in the palette's secondary text colour.
QLabel* note(const char* name, const QString& text, QWidget* parent)
{
    auto* l = new QLabel(text, parent);
    l->setObjectName(QString::fromLatin1(name));
    l->setWordWrap(true);
    l->setForegroundRole(QPalette::PlaceholderText);
    return l;
}

// A path shown for reading and copying, not for editing.
QLabel* pathLabel(const char* name, QWidget* parent)
{
    auto* l = new QLabel(parent);
    l->setObjectName(QString::fromLatin1(name));
    l->setTextInteractionFlags(Qt::TextSelectableByMouse);
    l->setWordWrap(true);
    return l;
}

// A row "caption  value" of a form: the caption label and a path label for the value.
QLabel* infoRow(QFormLayout* form, const char* captionName, const QString& caption, const char* valueName)
{
    QWidget* parent = form->parentWidget();
    auto* l = new QLabel(caption, parent);
    l->setObjectName(QString::fromLatin1(captionName));
    QLabel* value = pathLabel(valueName, parent);
    form->addRow(l, value);
    return value;
}

// Buttons of a column share one width: the widest caption's.
void sameWidth(const std::vector<QPushButton*>& buttons)
{
    int w = 0;
    for (QPushButton* b : buttons)
        w = std::max(w, b->sizeHint().width());
    for (QPushButton* b : buttons)
        b->setMinimumWidth(w);
}


} // namespace

frmOptions::frmOptions(QWidget* parent, clsDatabase* database) : QDialog(parent), m_db(database)
{
    setObjectName(QStringLiteral("frmOptions"));
    setWindowTitle(QStringLiteral("NORDALIS SETTINGS"));
    ShiftHeld = [] { return QGuiApplication::queryKeyboardModifiers().testFlag(Qt::ShiftModifier); };
    OpenInShell = [](const QString& path) { return OpenWithDesktop(path); };

    auto* layout = new QVBoxLayout(this);
    tabOptions = new QTabWidget(this);
    tabOptions->setObjectName(QStringLiteral("tabOptions"));
    layout->addWidget(tabOptions);
    const char* pages[] = {"site structure", "directories and units", "interface", "logger files", "database"};
    for (const char* caption : pages) {
        auto* page = new QWidget(tabOptions);
        tabOptions->addTab(page, Translate(QString::fromLatin1(caption)));
    }
    buildStructureTab(tabOptions->widget(tabStructure));
    buildDirectoriesTab(tabOptions->widget(tabDirectories));
    buildInterfaceTab(tabOptions->widget(tabInterface));
    buildLoggerFilesTab(tabOptions->widget(tabLoggerFiles));
    buildDatabaseTab(tabOptions->widget(tabDatabase));

    lblStatus = new QLabel(this);
    lblStatus->setObjectName(QStringLiteral("lblStatus"));
    lblStatus->setTextInteractionFlags(Qt::TextSelectableByMouse);
    lblWritten = new QLabel(this);
    lblWritten->setObjectName(QStringLiteral("lblWritten"));
    lblWritten->setTextInteractionFlags(Qt::TextSelectableByMouse);
    lblWritten->setForegroundRole(QPalette::PlaceholderText);
    lblWritten->hide();
    cmdHelp = button("cmdHelp", QStringLiteral("Help"), this);
    cmdOK = button("cmdOK", QStringLiteral("Exit"), this);
    auto* statusFrame = new QFrame(this);
    statusFrame->setObjectName(QStringLiteral("statusFrame"));
    statusFrame->setFrameShape(QFrame::StyledPanel);
    auto* statusRow = new QHBoxLayout(statusFrame);
    statusRow->setContentsMargins(6, 2, 6, 2);
    // A long status (a path, a message) never widens the window; the tool tip holds it whole.
    for (QLabel* l : {lblStatus, lblWritten})
        l->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    statusRow->addWidget(lblStatus, 1);
    statusRow->addWidget(lblWritten, 2);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(statusFrame, 1);
    bottom->addWidget(cmdHelp);
    bottom->addWidget(cmdOK);
    layout->addLayout(bottom);
    connect(cmdHelp, &QPushButton::clicked, this, [] { ShowHelp(); });
    connect(cmdOK, &QPushButton::clicked, this, &QWidget::close);

    TranslateForm(this);
    // Buttons of a column share the widest (translated) caption's width.
    sameWidth({cmdCopyLoggerfiles[0], cmdCopyLoggerfiles[1], cmdCopyLoggerfiles[2]});
    sameWidth({cmdDatabase[0], cmdDatabase[1], cmdDatabase[2], cmdDatabase[3], cmdDatabase[4], cmdDatabase[5]});
    dtpDeleteBefore->setDate(clsMaintenance::DefaultPurgeDate());
    txtDataDir->setText(App().DataDirectory);
    lblBackupDirPath->setText(QDir::toNativeSeparators(App().BackupDirectory));
    lblDatabaseDirPath->setText(QDir::toNativeSeparators(App().DatabaseDirectory));
    ShowInterface();
    FillRemovableMedia();
    ShowFileFacts();
    ShowStatus(QLocale().toString(NowLocal(), QLocale::ShortFormat));
    (App().Units == 1 ? optFahrenheit : optCelsius)->setChecked(true);
    Mkt.Load(db());
    txtMktActivation->setText(Mkt.Text);
    connect(tabOptions, &QTabWidget::currentChanged, this, &frmOptions::tabOptions_Click);
    tabOptions_Click(tabOptions->currentIndex());
    // Room for the structure and its properties, within a small screen (1366 x 768).
    QSize size = sizeHint().expandedTo(QSize(860, 480));
    if (const QScreen* screen = this->screen()) {
        const QSize room = screen->availableGeometry().size() * 0.9;
        size = size.boundedTo(room);
    }
    resize(size);
}

frmOptions::~frmOptions() = default;

clsDatabase& frmOptions::db()
{
    return m_db ? *m_db : AppDatabase();
}


void frmOptions::buildStructureTab(QWidget* page)
{
    auto* box = new QVBoxLayout(page);
    auto* split = new QSplitter(Qt::Horizontal, page);
    split->setObjectName(QStringLiteral("splStructure"));
    split->setChildrenCollapsible(false);
    trvStructure = new QTreeWidget(split);
    trvStructure->setObjectName(QStringLiteral("trvStructure"));
    trvStructure->setHeaderHidden(true);
    trvStructure->setMouseTracking(true);
    trvStructure->setContextMenuPolicy(Qt::CustomContextMenu);
    trvStructure->setToolTip(Translate(QStringLiteral("use right mouseclick on items")));
    trvStructure->setIconSize(QSize(16, 16));

    auto* right = new QWidget(split);
    auto* rightBox = new QVBoxLayout(right);
    rightBox->setContentsMargins(0, 0, 0, 0);
    lvwDeviceProperties = new QTreeWidget(right);
    lvwDeviceProperties->setObjectName(QStringLiteral("lvwDeviceProperties"));
    lvwDeviceProperties->setRootIsDecorated(false);
    lvwDeviceProperties->setAlternatingRowColors(true);
    lvwDeviceProperties->setColumnCount(3);
    lvwDeviceProperties->setHeaderLabels(
        {Translate(QStringLiteral("Value")), Translate(QStringLiteral("Property")), Translate(QStringLiteral("Name"))});
    lvwDeviceProperties->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // The captions are read first, then their values; the column names stay the rows' keys and
    // are not shown.
    lvwDeviceProperties->header()->moveSection(1, 0);
    lvwDeviceProperties->setColumnHidden(2, true);
    lvwDeviceProperties->header()->setStretchLastSection(true);
    lblDeviceComment = new QLabel(QStringLiteral("these logger properties can be specified during logger programming"), right);
    lblDeviceComment->setObjectName(QStringLiteral("lblDeviceComment"));
    lblDeviceComment->setWordWrap(true);
    lblDeviceComment->setForegroundRole(QPalette::PlaceholderText);
    lblDeviceComment->hide();
    lblEditHint = note("lblEditHint", QStringLiteral("double-click a value to change it"), right);
    cmdSaveStructure = button("cmdSaveStructure", QStringLiteral("&Save changes"), right);
    cmdSaveStructure->setEnabled(false);
    rightBox->addWidget(lvwDeviceProperties, 1);
    rightBox->addWidget(lblDeviceComment);
    auto* saveRow = new QHBoxLayout;
    saveRow->addWidget(lblEditHint, 1);
    saveRow->addWidget(cmdSaveStructure, 0, Qt::AlignRight | Qt::AlignBottom);
    rightBox->addLayout(saveRow);
    split->addWidget(trvStructure);
    split->addWidget(right);
    split->setStretchFactor(0, 2);
    split->setStretchFactor(1, 3);
    box->addWidget(split);

    mnuLoc = new QMenu(Translate(QStringLiteral("Location")), this);
    mnuLoc->setObjectName(QStringLiteral("mnuLoc"));
    mnuLocAddCompartment = mnuLoc->addAction(Translate(QStringLiteral("Add compartment")));
    mnuComp = new QMenu(Translate(QStringLiteral("Compartment")), this);
    mnuComp->setObjectName(QStringLiteral("mnuComp"));
    mnuCompAddLogger = mnuComp->addAction(Translate(QStringLiteral("Add Logger")));
    mnuCompDelete = mnuComp->addAction(Translate(QStringLiteral("Delete this compartment")));
    mnuLog = new QMenu(Translate(QStringLiteral("Logger")), this);
    mnuLog->setObjectName(QStringLiteral("mnuLog"));
    mnuLogDelete = mnuLog->addAction(Translate(QStringLiteral("Delete this Logger")));

    connect(trvStructure, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* item) { trvStructure_NodeClick(item); });
    connect(trvStructure, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
        if (!m_building && item)
            trvStructure_NodeClick(item);
    });
    connect(trvStructure, &QWidget::customContextMenuRequested, this, &frmOptions::trvStructure_MouseUp);
    connect(trvStructure, &QTreeWidget::itemEntered, this, [this](QTreeWidgetItem* item) {
        trvStructure->setToolTip(Editor.ToolTipFor(item ? item->data(0, kKeyRole).toString() : QString()));
    });
    trvStructure->viewport()->installEventFilter(this);
    connect(lvwDeviceProperties, &QTreeWidget::itemDoubleClicked, this,
            [this](QTreeWidgetItem* row) { lvwDeviceProperties_BeforeLabelEdit(row); });
    connect(lvwDeviceProperties, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem* row, int column) {
        if (column == 0 && m_editing)
            lvwDeviceProperties_AfterLabelEdit(row);
    });
    connect(mnuLocAddCompartment, &QAction::triggered, this, &frmOptions::mnuLocAddCompartment_Click);
    connect(mnuCompAddLogger, &QAction::triggered, this, &frmOptions::mnuCompAddLogger_Click);
    connect(mnuCompDelete, &QAction::triggered, this, &frmOptions::mnuCompDelete_Click);
    connect(mnuLogDelete, &QAction::triggered, this, &frmOptions::mnuLogDelete_Click);
    connect(cmdSaveStructure, &QPushButton::clicked, this, &frmOptions::cmdSaveStructure_Click);
}

void frmOptions::buildDirectoriesTab(QWidget* page)
{
    auto* box = new QVBoxLayout(page);
    auto* fraDirectories = new QGroupBox(QStringLiteral("directories"), page);
    fraDirectories->setObjectName(QStringLiteral("fraDirectories"));
    auto* grid = new QGridLayout(fraDirectories);
    auto* lblDataDir = new QLabel(QStringLiteral("data directory"), fraDirectories);
    lblDataDir->setObjectName(QStringLiteral("lblDataDir"));
    txtDataDir = new QLineEdit(fraDirectories);
    txtDataDir->setObjectName(QStringLiteral("txtDataDir"));
    txtDataDir->setAcceptDrops(true);
    txtDataDir->installEventFilter(this);
    txtDataDir->setMinimumWidth(txtDataDir->fontMetrics().averageCharWidth() * 40);
    lblDataDir->setBuddy(txtDataDir);
    cmdGetDataDir = button("cmdGetDataDir", QStringLiteral("..."), fraDirectories);
    cmdGetDataDir->setToolTip(Translate(QStringLiteral("Please select data directory")));
    cmdSaveDirs = button("cmdSaveDirs", QStringLiteral("Apply"), fraDirectories);
    cmdSaveDirs->setEnabled(false);
    cmdOpen = button("cmdOpen", QStringLiteral("Open"), fraDirectories);
    lblDataDirProblem = new QLabel(fraDirectories);
    lblDataDirProblem->setObjectName(QStringLiteral("lblDataDirProblem"));
    lblDataDirProblem->setWordWrap(true);
    lblDataDirProblem->hide();
    auto* lblDataDirNote = note("lblDataDirNote",
                                QStringLiteral("logger files wait here until the read-logger window stores them in the database"),
                                fraDirectories);
    auto* lblBackupDir = new QLabel(QStringLiteral("backup directory"), fraDirectories);
    lblBackupDir->setObjectName(QStringLiteral("lblBackupDir"));
    lblBackupDirPath = pathLabel("lblBackupDirPath", fraDirectories);
    auto* lblDatabaseDir = new QLabel(QStringLiteral("database directory"), fraDirectories);
    lblDatabaseDir->setObjectName(QStringLiteral("lblDatabaseDir"));
    lblDatabaseDirPath = pathLabel("lblDatabaseDirPath", fraDirectories);
    grid->addWidget(lblDataDir, 0, 0);
    grid->addWidget(txtDataDir, 0, 1);
    grid->addWidget(cmdGetDataDir, 0, 2);
    grid->addWidget(cmdSaveDirs, 0, 3);
    grid->addWidget(cmdOpen, 0, 4);
    grid->addWidget(lblDataDirProblem, 1, 1, 1, 4);
    grid->addWidget(lblDataDirNote, 2, 1, 1, 4);
    lblDataDirFiles = pathLabel("lblDataDirFiles", fraDirectories);
    grid->addWidget(lblDataDirFiles, 5, 1, 1, 4);
    grid->addWidget(lblBackupDir, 3, 0);
    grid->addWidget(lblBackupDirPath, 3, 1, 1, 4);
    grid->addWidget(lblDatabaseDir, 4, 0);
    grid->addWidget(lblDatabaseDirPath, 4, 1, 1, 4);
    grid->setColumnStretch(1, 1);
    box->addWidget(fraDirectories);

    fraUnits = new QGroupBox(QStringLiteral("Displayed Temperature Units"), page);
    fraUnits->setObjectName(QStringLiteral("fraUnits"));
    auto* units = new QHBoxLayout(fraUnits);
    optCelsius = new QRadioButton(QString(QChar(176)) + QStringLiteral("C"), fraUnits);
    optCelsius->setObjectName(QStringLiteral("optCelsius"));
    optFahrenheit = new QRadioButton(QString(QChar(176)) + QStringLiteral("F"), fraUnits);
    optFahrenheit->setObjectName(QStringLiteral("optFahrenheit"));
    auto* lblUnitsNote = note("lblUnitsNote",
                              QStringLiteral("temperatures are stored in degrees Celsius; this setting changes only what is shown"),
                              fraUnits);
    units->addWidget(optCelsius);
    units->addSpacing(12);
    units->addWidget(optFahrenheit);
    units->addSpacing(24);
    units->addWidget(lblUnitsNote, 1);
    box->addWidget(fraUnits);

    // The activation energy of the mean kinetic temperature (clsMktSetting).
    auto* fraMkt = new QGroupBox(QStringLiteral("mean kinetic temperature"), page);
    fraMkt->setObjectName(QStringLiteral("fraMkt"));
    auto* mkt = new QGridLayout(fraMkt);
    auto* lblMkt = new QLabel(QStringLiteral("activation energy \u0394H/R"), fraMkt);
    lblMkt->setObjectName(QStringLiteral("lblMktActivation"));
    txtMktActivation = new QLineEdit(fraMkt);
    txtMktActivation->setObjectName(QStringLiteral("txtMktActivation"));
    txtMktActivation->setMaximumWidth(txtMktActivation->fontMetrics().averageCharWidth() * 12);
    lblMkt->setBuddy(txtMktActivation);
    auto* lblMktUnit = new QLabel(clsMktSetting::Unit(), fraMkt);
    lblMktUnit->setObjectName(QStringLiteral("lblMktUnit"));
    cmdSaveMkt = button("cmdSaveMkt", QStringLiteral("Apply"), fraMkt);
    lblMktReason = new QLabel(fraMkt);
    lblMktReason->setObjectName(QStringLiteral("lblMktReason"));
    lblMktReason->setWordWrap(true);
    lblMktReason->setStyleSheet(QStringLiteral("color: #b00000"));
    lblMktReason->hide();
    auto* lblMktNote = note("lblMktNote", QStringLiteral("from 1000 to 100000 K; 10000 K when the product's own value is not known"), fraMkt);
    mkt->addWidget(lblMkt, 0, 0);
    mkt->addWidget(txtMktActivation, 0, 1);
    mkt->addWidget(lblMktUnit, 0, 2);
    mkt->addWidget(cmdSaveMkt, 0, 3);
    mkt->addWidget(lblMktReason, 0, 4);
    mkt->addWidget(lblMktNote, 1, 1, 1, 4);
    mkt->setColumnStretch(4, 1);
    box->addWidget(fraMkt);
    box->addStretch(1);
    connect(cmdGetDataDir, &QPushButton::clicked, this, &frmOptions::cmdGetDataDir_Click);
    connect(cmdSaveDirs, &QPushButton::clicked, this, &frmOptions::cmdSaveDirs_Click);
    connect(cmdOpen, &QPushButton::clicked, this, &frmOptions::cmdOpen_Click);
    connect(txtDataDir, &QLineEdit::textEdited, this, [this] { lblDataDirProblem->hide(); });
    connect(cmdSaveMkt, &QPushButton::clicked, this, &frmOptions::cmdSaveMkt_Click);
    connect(txtMktActivation, &QLineEdit::returnPressed, this, &frmOptions::cmdSaveMkt_Click);
    connect(txtMktActivation, &QLineEdit::textEdited, this, [this] { lblMktReason->hide(); });
    connect(optCelsius, &QRadioButton::clicked, this, [this] { optUnits_Click(0); });
    connect(optFahrenheit, &QRadioButton::clicked, this, [this] { optUnits_Click(1); });
}

void frmOptions::buildInterfaceTab(QWidget* page)
{
    auto* box = new QVBoxLayout(page);
    auto* fraInterface = new QGroupBox(QStringLiteral("1-Wire interface"), page);
    fraInterface->setObjectName(QStringLiteral("fraInterface"));
    auto* grid = new QGridLayout(fraInterface);
    auto* lblBus = new QLabel(QStringLiteral("bus in use:"), fraInterface);
    lblBus->setObjectName(QStringLiteral("lblBus"));
    lblBusInUse = new QLabel(fraInterface);
    lblBusInUse->setObjectName(QStringLiteral("lblBusInUse"));
    QFont bold = lblBusInUse->font();
    bold.setBold(true);
    lblBusInUse->setFont(bold);
    lblBusInUse->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* lblPort = new QLabel(QStringLiteral("Select COM-Port to match interface location:"), fraInterface);
    lblPort->setObjectName(QStringLiteral("lblPortNo"));
    lblPort->setWordWrap(true);
    cmbPortNo = new QComboBox(fraInterface);
    cmbPortNo->setObjectName(QStringLiteral("cmbPortNo"));
    cmbPortNo->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    lblPort->setBuddy(cmbPortNo);
    lblBusNote = note("lblBusNote", QString(), fraInterface);
    // The status line may be too short for a cause with its remedy: the whole text stays here.
    lblPortResult = new QLabel(fraInterface);
    lblPortResult->setObjectName(QStringLiteral("lblPortResult"));
    lblPortResult->setWordWrap(true);
    lblPortResult->setTextInteractionFlags(Qt::TextSelectableByMouse);
    lblPortResult->hide();
    grid->addWidget(lblBus, 0, 0);
    grid->addWidget(lblBusInUse, 0, 1, 1, 2);
    grid->addWidget(lblPort, 1, 0);
    grid->addWidget(cmbPortNo, 1, 1);
    grid->addWidget(lblBusNote, 2, 0, 1, 3);
    grid->addWidget(lblPortResult, 3, 0, 1, 3);
    grid->setColumnStretch(2, 1);
    box->addWidget(fraInterface);

    auto* fraAdapters = new QGroupBox(QStringLiteral("adapters on this computer"), page);
    fraAdapters->setObjectName(QStringLiteral("fraAdapters"));
    auto* adapters = new QFormLayout(fraAdapters);
    lblAdaptersFound = infoRow(adapters, "lblAdapters", QStringLiteral("USB serial devices:"), "lblAdaptersFound");
    lblUsbAdaptersFound = infoRow(adapters, "lblUsbAdapters", QStringLiteral("USB 1-Wire adapters (DS2490):"),
                                  "lblUsbAdaptersFound");
    lblPortDeviceText = infoRow(adapters, "lblPortDevice", QStringLiteral("device of the chosen port:"), "lblPortDeviceText");
    box->addWidget(fraAdapters);
    box->addStretch(1);
    connect(cmbPortNo, QOverload<int>::of(&QComboBox::activated), this, &frmOptions::cmbPortNo_Click);
}

void frmOptions::buildLoggerFilesTab(QWidget* page)
{
    auto* box = new QVBoxLayout(page);
    auto* fraMedia = new QGroupBox(QStringLiteral("removable media"), page);
    fraMedia->setObjectName(QStringLiteral("fraMedia"));
    auto* media = new QGridLayout(fraMedia);
    auto* lblMedia = new QLabel(QStringLiteral("medium for logger files:"), fraMedia);
    lblMedia->setObjectName(QStringLiteral("lblMedia"));
    cmbRemovableMedia = new QComboBox(fraMedia);
    cmbRemovableMedia->setObjectName(QStringLiteral("cmbRemovableMedia"));
    cmbRemovableMedia->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    cmbRemovableMedia->setMinimumContentsLength(28);
    lblMedia->setBuddy(cmbRemovableMedia);
    cmdRefreshMedia = button("cmdRefreshMedia", QStringLiteral("Refresh"), fraMedia);
    lblMediaState = new QLabel(fraMedia);
    lblMediaState->setObjectName(QStringLiteral("lblMediaState"));
    lblMediaState->setWordWrap(true);
    lblMediaState->setTextInteractionFlags(Qt::TextSelectableByMouse);
    media->addWidget(lblMedia, 0, 0);
    media->addWidget(cmbRemovableMedia, 0, 1);
    media->addWidget(cmdRefreshMedia, 0, 2);
    media->addWidget(lblMediaState, 1, 0, 1, 4);
    media->setColumnStretch(3, 1);
    box->addWidget(fraMedia);

    auto* fraLoggerFiles = new QGroupBox(QStringLiteral("logger files"), page);
    fraLoggerFiles->setObjectName(QStringLiteral("fraLoggerFiles"));
    auto* grid = new QGridLayout(fraLoggerFiles);
    const char* captions[] = {"Copy logger files to floppy disk", "Copy floppy disk", "Move to recycle bin"};
    for (int i = 0; i < 3; ++i) {
        cmdCopyLoggerfiles[i] = new QPushButton(QString::fromLatin1(captions[i]), fraLoggerFiles);
        cmdCopyLoggerfiles[i]->setObjectName(QStringLiteral("cmdCopyLoggerfiles_%1").arg(i));
        lblCopyLoggerfiles[i] = pathLabel(QStringLiteral("lblCopyLoggerfiles_%1").arg(i).toLatin1().constData(), fraLoggerFiles);
        lblCopyLoggerfiles[i]->setForegroundRole(QPalette::PlaceholderText);
        grid->addWidget(cmdCopyLoggerfiles[i], i, 0, Qt::AlignTop);
        grid->addWidget(lblCopyLoggerfiles[i], i, 1);
        connect(cmdCopyLoggerfiles[i], &QPushButton::clicked, this, [this, i] { cmdCopyLoggerfiles_Click(i); });
    }
    lblBackupFiles = pathLabel("lblBackupFiles", fraLoggerFiles);
    grid->addWidget(lblBackupFiles, 3, 0, 1, 2);
    grid->setColumnStretch(1, 1);
    box->addWidget(fraLoggerFiles);
    box->addStretch(1);
    connect(cmdRefreshMedia, &QPushButton::clicked, this, &frmOptions::FillRemovableMedia);
    connect(cmbRemovableMedia, QOverload<int>::of(&QComboBox::activated), this, &frmOptions::cmbRemovableMedia_Click);
}

void frmOptions::buildDatabaseTab(QWidget* page)
{
    auto* box = new QVBoxLayout(page);
    auto* fraDatabase = new QGroupBox(QStringLiteral("database maintenance"), page);
    fraDatabase->setObjectName(QStringLiteral("fraDatabase"));
    auto* grid = new QGridLayout(fraDatabase);
    const char* captions[] = {"Backup database to the backup directory", "Open", "Reorganize", "Copy to floppy disk",
                              "Copy from floppy disk", "Delete older records"};
    const char* notes[] = {"a copy of the database file in the backup directory",
                           "shows the backup directory in the file manager",
                           "rebuilds and compacts the database file (hold Shift to check it first)",
                           "portable system: the database without readings, onto the removable media",
                           "loads the portable database from the removable media",
                           "deletes samples, comments and history older than the date, then compacts"};
    for (int i = 0; i < 6; ++i) {
        cmdDatabase[i] = new QPushButton(QString::fromLatin1(captions[i]), fraDatabase);
        cmdDatabase[i]->setObjectName(QStringLiteral("cmdDatabase_%1").arg(i));
        connect(cmdDatabase[i], &QPushButton::clicked, this, [this, i] { cmdDatabase_Click(i); });
        grid->addWidget(cmdDatabase[i], i, 0);
        auto* n = note(QStringLiteral("lblDatabase_%1").arg(i).toLatin1().constData(), QString::fromLatin1(notes[i]),
                       fraDatabase);
        if (i == 5) {
            dtpDeleteBefore = new QDateEdit(fraDatabase);
            dtpDeleteBefore->setObjectName(QStringLiteral("dtpDeleteBefore"));
            dtpDeleteBefore->setCalendarPopup(true);
            auto* row = new QHBoxLayout;
            row->addWidget(dtpDeleteBefore);
            row->addWidget(n, 1);
            grid->addLayout(row, i, 1);
        } else {
            grid->addWidget(n, i, 1);
        }
    }
    grid->setColumnStretch(1, 1);
    box->addWidget(fraDatabase);

    auto* fraDatabaseFile = new QGroupBox(QStringLiteral("database file"), page);
    fraDatabaseFile->setObjectName(QStringLiteral("fraDatabaseFile"));
    auto* form = new QFormLayout(fraDatabaseFile);
    lblDatabaseFileInfo = infoRow(form, "lblDatabaseFile", QStringLiteral("database file:"), "lblDatabaseFileInfo");
    lblLastBackupInfo = infoRow(form, "lblLastBackup", QStringLiteral("last backup:"), "lblLastBackupInfo");
    box->addWidget(fraDatabaseFile);
    box->addStretch(1);
}

namespace {
// "path  (size, changed date)" of a file, or "none" when it is not there.
QString fileFacts(const QString& path)
{
    const QFileInfo fi(path);
    if (!fi.isFile())
        return Translate(QStringLiteral("none"));
    return QDir::toNativeSeparators(path) + QStringLiteral("  (") + QLocale().formattedDataSize(fi.size()) +
           QStringLiteral(", ") + QLocale().toString(fi.lastModified(), QLocale::ShortFormat) + QLatin1Char(')');
}

int loggerFilesIn(const QString& folder)
{
    return int(QDir(folder).entryList({QStringLiteral("*.dta")}, QDir::Files).size());
}
} // namespace

void frmOptions::ShowFileFacts()
{
    lblDatabaseFileInfo->setText(fileFacts(ActiveDatabaseFile(App().DatabaseDirectory)));
    lblLastBackupInfo->setText(fileFacts(QDir(App().BackupDirectory).filePath(QStringLiteral("NORDALIS.MDE"))));
    lblDataDirFiles->setText(QString::number(loggerFilesIn(App().DataDirectory)) +
                             Translate(QStringLiteral(" logger file(s) waiting in the data directory")));
    lblBackupFiles->setText(QString::number(loggerFilesIn(App().BackupDirectory)) +
                            Translate(QStringLiteral(" logger file(s) in the backup directory")));
}

void frmOptions::ShowStatus(const QString& text)
{
    lblStatus->setText(text);
    lblStatus->setToolTip(text);
    lblWritten->clear();
    lblWritten->hide();
    lblStatus->repaint();
}

void frmOptions::ShowWritten(const QString& path)
{
    lblWritten->setText(Translate(QStringLiteral("written: ")) + QDir::toNativeSeparators(path));
    lblWritten->setToolTip(QDir::toNativeSeparators(path));
    lblWritten->show();
}

void frmOptions::ShowInterface()
{
    Interface.Refresh();
    lblBusInUse->setText(Interface.BusText());
    lblBusNote->setText(Interface.NoteText());
    const QSignalBlocker quiet(cmbPortNo);
    cmbPortNo->clear();
    const QStringList texts = Interface.EntryTexts();
    for (int i = 0; i < texts.size(); ++i)
        cmbPortNo->addItem(texts[i], i);
    cmbPortNo->setCurrentIndex(Interface.CurrentIndex());
    lblAdaptersFound->setText(Interface.SerialAdaptersText());
    lblUsbAdaptersFound->setText(Interface.UsbAdaptersText());
    lblPortDeviceText->setText(Interface.ChosenDeviceText());
}

void frmOptions::FillRemovableMedia()
{
    const QString chosen = RemovableMediaDirectory();
    cmbRemovableMedia->clear();
    int current = -1;
    for (const MediaVolume& v : RemovableVolumes()) {
        cmbRemovableMedia->addItem(StatusMarkIcon(StatusMark::Running), MediaVolumeText(v), v.rootPath);
        if (QDir::cleanPath(v.rootPath) == QDir::cleanPath(chosen))
            current = cmbRemovableMedia->count() - 1;
    }
    const QString problem = RemovableMediaProblem(chosen);
    if (current < 0) {
        // The setting names a medium that is not there: it is shown as such, not offered as usable.
        cmbRemovableMedia->insertItem(0, StatusMarkIcon(StatusMark::Absent),
                                      QDir::toNativeSeparators(chosen) + QStringLiteral("  (") +
                                          Translate(QStringLiteral("not mounted")) + QLatin1Char(')'),
                                      QString());
        current = 0;
    }
    cmbRemovableMedia->setCurrentIndex(current);
    if (problem.isEmpty()) {
        lblMediaState->setText(Translate(QStringLiteral("logger files are copied to ")) +
                               QDir::toNativeSeparators(RemovableMediaLoggerFolder()));
        lblMediaState->setForegroundRole(QPalette::WindowText);
    } else {
        lblMediaState->setText(problem);
        lblMediaState->setForegroundRole(QPalette::Link);
    }
    lblCopyLoggerfiles[0]->setText(QDir::toNativeSeparators(App().BackupDirectory) + QStringLiteral("  \u2192  ") +
                                   QDir::toNativeSeparators(RemovableMediaLoggerFolder()));
    lblCopyLoggerfiles[1]->setText(QDir::toNativeSeparators(RemovableMediaLoggerFolder()) + QStringLiteral("  \u2192  ") +
                                   QDir::toNativeSeparators(App().DataDirectory));
    lblCopyLoggerfiles[2]->setText(Translate(QStringLiteral("processed logger files of the backup directory, by day: ")) +
                                   QDir::toNativeSeparators(App().BackupDirectory));
    cmdCopyLoggerfiles[0]->setEnabled(problem.isEmpty());
    cmdCopyLoggerfiles[1]->setEnabled(problem.isEmpty());
    cmdCopyLoggerfiles[0]->setToolTip(problem);
    cmdCopyLoggerfiles[1]->setToolTip(problem);
}

void frmOptions::cmbRemovableMedia_Click(int index)
{
    const QString root = cmbRemovableMedia->itemData(index).toString();
    if (root.isEmpty()) {
        FillRemovableMedia();
        return;
    }
    QString why;
    if (!ChooseRemovableMedia(root, &why)) {
        ShowMessage(why, vbExclamation, Translate(QStringLiteral("removable media")));
        FillRemovableMedia();
        return;
    }
    FillRemovableMedia();
    ShowStatus(Translate(QStringLiteral("removable media: ")) + QDir::toNativeSeparators(root));
}

// ---------------------------------------------------------------------------------------------
// Structure

void frmOptions::tabOptions_Click(int index)
{
    if (index == tabStructure) {
        GenerateData();
        BuildStructure();
        SelectNode(clsStructureEditor::LocationKey());
        cmdSaveStructure->setEnabled(false);
    } else if (index == tabInterface) {
        ShowInterface();
    } else if (index == tabLoggerFiles) {
        FillRemovableMedia();   // a medium may have come or gone meanwhile
    }
    ShowFileFacts();
}

void frmOptions::GenerateData()
{
    QString error;
    if (!Editor.GenerateData(db(), &error))
        ShowMessage(error, vbCritical, Translate(QStringLiteral("Error")));
}

void frmOptions::BuildStructure()
{
    m_building = true;
    trvStructure->clear();
    auto* site = new QTreeWidgetItem(trvStructure, {Editor.LocationText()});
    site->setIcon(0, siteIcon());
    site->setData(0, kKeyRole, clsStructureEditor::LocationKey());
    site->setData(0, kTagRole, Editor.site.LocationID);
    std::map<qint64, QTreeWidgetItem*> compartments;
    for (const DbRow& room : Editor.rooms) {
        const qint64 id = room.value(QStringLiteral("RoomID")).toInt();
        auto* node = new QTreeWidgetItem(site, {clsStructureEditor::RoomText(room)});
        node->setIcon(0, compartmentIcon());
        node->setData(0, kKeyRole, clsStructureEditor::RoomKey(id));
        node->setData(0, kTagRole, id);
        compartments[id] = node;
    }
    for (const DbRow& device : Editor.devices) {
        const qint64 id = device.value(QStringLiteral("DeviceID")).toInt();
        auto parent = compartments.find(clsStructureEditor::RoomOfDevice(id));
        if (parent == compartments.end())
            continue;   // its compartment has no node: not shown
        auto* node = new QTreeWidgetItem(parent->second, {clsStructureEditor::DeviceText(device)});
        const bool running = device.value(QStringLiteral("MissionRunning")).toBool();
        node->setIcon(0, running ? runningIcon() : stoppedIcon());
        node->setStatusTip(0, StatusMarkText(running ? StatusMark::Running : StatusMark::Stopped));
        node->setData(0, kKeyRole, clsStructureEditor::DeviceKey(id));
        node->setData(0, kTagRole, id);
    }
    site->setExpanded(true);
    // The loggers are shown too: a site has few compartments.
    for (auto& entry : compartments)
        entry.second->setExpanded(entry.second->childCount() > 0);
    trvStructure->sortItems(0, Qt::AscendingOrder);
    m_building = false;
}

QString frmOptions::SelectedKey() const
{
    const QTreeWidgetItem* item = trvStructure->currentItem();
    return item ? item->data(0, kKeyRole).toString() : QString();
}

void frmOptions::SelectNode(const QString& nodeKey)
{
    QTreeWidgetItemIterator it(trvStructure);
    for (; *it; ++it) {
        if ((*it)->data(0, kKeyRole).toString() == nodeKey) {
            trvStructure->setCurrentItem(*it);
            trvStructure->scrollToItem(*it);
            DisplayNode(nodeKey);
            return;
        }
    }
}

void frmOptions::DisplayNode(const QString& nodeKey)
{
    m_building = true;
    lvwDeviceProperties->clear();
    for (const StructureProperty& p : Editor.Properties(nodeKey)) {
        auto* row = new QTreeWidgetItem(lvwDeviceProperties, {p.value, p.label, p.key});
        row->setData(0, kKeyRole, p.key);
        for (int c = 0; c < 3; ++c)
            row->setToolTip(c, p.toolTip);
    }
    lvwDeviceProperties->resizeColumnToContents(0);
    lvwDeviceProperties->resizeColumnToContents(1);
    lvwDeviceProperties->setColumnWidth(1, lvwDeviceProperties->columnWidth(1) + 16);
    const bool logger = clsStructureEditor::KindOf(nodeKey) == clsStructureEditor::NodeLogger;
    lblDeviceComment->setVisible(logger);
    lblEditHint->setVisible(!logger);
    m_editingNode = nodeKey;
    m_building = false;
}

void frmOptions::trvStructure_NodeClick(QTreeWidgetItem* node)
{
    if (node)
        DisplayNode(node->data(0, kKeyRole).toString());
}

void frmOptions::trvStructure_MouseUp(const QPoint& pos)
{
    QTreeWidgetItem* node = trvStructure->itemAt(pos);
    if (!node)
        return;
    trvStructure->setCurrentItem(node);
    const QString key = node->data(0, kKeyRole).toString();
    DisplayNode(key);
    QMenu* menu = nullptr;
    switch (clsStructureEditor::KindOf(key)) {
    case clsStructureEditor::NodeSite: menu = mnuLoc; break;
    case clsStructureEditor::NodeCompartment:
        mnuCompDelete->setEnabled(node->childCount() == 0);
        menu = mnuComp;
        break;
    case clsStructureEditor::NodeLogger: menu = mnuLog; break;
    case clsStructureEditor::NodeNone: break;
    }
    if (menu)
        menu->popup(trvStructure->viewport()->mapToGlobal(pos));
}

bool frmOptions::lvwDeviceProperties_BeforeLabelEdit(QTreeWidgetItem* row)
{
    if (!row)
        return false;
    QString message;
    if (!Editor.CanEdit(m_editingNode, row->data(0, kKeyRole).toString(), &message)) {
        if (!message.isEmpty())
            ShowMessage(message, vbExclamation);
        return false;
    }
    row->setFlags(row->flags() | Qt::ItemIsEditable);
    m_editing = true;
    lvwDeviceProperties->editItem(row, 0);
    return true;
}

void frmOptions::lvwDeviceProperties_AfterLabelEdit(QTreeWidgetItem* row)
{
    m_editing = false;
    QString message, title, select;
    const QString rowKey = row->data(0, kKeyRole).toString();
    if (Editor.ApplyEdit(m_editingNode, rowKey, row->text(0), &message, &title, &select) ==
        clsStructureEditor::EditRefused) {
        if (!message.isEmpty())
            ShowMessage(message, vbExclamation, title);
        DisplayNode(m_editingNode);   // the old value again
        return;
    }
    BuildStructure();
    SelectNode(select);
    cmdSaveStructure->setEnabled(true);
}

void frmOptions::mnuLocAddCompartment_Click()
{
    const qint64 id = Editor.AddCompartment();
    if (id < 0) {
        ShowMessage(Translate(QStringLiteral("no free compartment number left")), vbExclamation);
        return;
    }
    BuildStructure();
    SelectNode(clsStructureEditor::RoomKey(id));
    cmdSaveStructure->setEnabled(true);
}

void frmOptions::mnuCompAddLogger_Click()
{
    ShowMessage(Translate(QStringLiteral("Use the READ LOGGER form for now")), vbInformation);
}

void frmOptions::mnuCompDelete_Click()
{
    const QString key = SelectedKey();
    if (clsStructureEditor::KindOf(key) != clsStructureEditor::NodeCompartment ||
        !Editor.DeleteCompartment(clsStructureEditor::IdOf(key)))
        return;
    BuildStructure();
    SelectNode(clsStructureEditor::LocationKey());
    cmdSaveStructure->setEnabled(true);
}

void frmOptions::mnuLogDelete_Click()
{
    QTreeWidgetItem* node = trvStructure->currentItem();
    const QString key = SelectedKey();
    if (!node || clsStructureEditor::KindOf(key) != clsStructureEditor::NodeLogger)
        return;
    if (ShowMessage(Translate(QStringLiteral("really delete all data belonging to device ")) + node->text(0) +
                        QStringLiteral("?"),
                    vbYesNo + vbQuestion) != vbYes)
        return;
    QTreeWidgetItem* parent = node->parent();
    Editor.DeleteLogger(clsStructureEditor::IdOf(key));
    delete node;
    if (parent) {
        trvStructure->setCurrentItem(parent);
        DisplayNode(parent->data(0, kKeyRole).toString());
    }
    cmdSaveStructure->setEnabled(true);
}

void frmOptions::cmdSaveStructure_Click()
{
    std::optional<BusyCursor> busy(std::in_place);
    QString message;
    const clsStructureEditor::SaveResult result = Editor.Save(db(), &message);
    busy.reset();
    if (result == clsStructureEditor::SaveChangedMeanwhile) {
        ShowMessage(message, vbExclamation, Translate(QStringLiteral("changes not saved")));
        return;
    }
    if (result == clsStructureEditor::SaveFailed) {
        ShowMessage(message, vbCritical, Translate(QStringLiteral("Error")));
        return;
    }
    cmdSaveStructure->setEnabled(false);
    const QString file = db().FilePath();
    BuildStructure();
    SelectNode(m_editingNode.isEmpty() ? clsStructureEditor::LocationKey() : m_editingNode);
    ShowStatus(Translate(QStringLiteral("changes saved")));
    if (!file.isEmpty())
        ShowWritten(file);
}

// ---------------------------------------------------------------------------------------------
// Directories and unit

void frmOptions::cmdGetDataDir_Click()
{
    const QString folder = BrowseForFolder(Translate(QStringLiteral("Please select data directory")), this);
    if (IsDirectory(folder)) {
        txtDataDir->setText(folder);
        cmdSaveDirs->setEnabled(true);
    }
}

bool frmOptions::txtDataDir_Validate()
{
    if (!IsDirectory(txtDataDir->text())) {
        // Said twice: in the message, and beside the field for as long as the text stands.
        lblDataDirProblem->setText(Translate(QStringLiteral("Please enter a valid directory")) + QStringLiteral(": ") +
                                   QDir::toNativeSeparators(txtDataDir->text()) +
                                   Translate(QStringLiteral(" does not exist; the data directory stays ")) +
                                   QDir::toNativeSeparators(App().DataDirectory));
        lblDataDirProblem->setForegroundRole(QPalette::Link);
        lblDataDirProblem->show();
        ShowMessage(Translate(QStringLiteral("Please enter a valid directory")), vbExclamation,
                    Translate(QStringLiteral("Wrong data directory")));
        cmdSaveDirs->setEnabled(false);
        return false;
    }
    lblDataDirProblem->hide();
    cmdSaveDirs->setEnabled(true);
    return true;
}

void frmOptions::cmdSaveDirs_Click()
{
    if (!txtDataDir_Validate())
        return;
    App().DataDirectory = txtDataDir->text();
    StoreParameter(db(), QStringLiteral("DataDirectory"), DbValue(txtDataDir->text()));
    cmdSaveDirs->setEnabled(false);
    ShowStatus(Translate(QStringLiteral("data directory: ")) + QDir::toNativeSeparators(App().DataDirectory));
    FillRemovableMedia();   // the restore goes to the new data directory
}

void frmOptions::OpenFolder(const QString& path)
{
    if (!OpenInShell(path))
        ShowMessage(Translate(QStringLiteral("The file manager could not be started to show ")) +
                        QDir::toNativeSeparators(path),
                    vbExclamation, Translate(QStringLiteral("Open")));
}

void frmOptions::cmdOpen_Click()
{
    if (!txtDataDir_Validate())
        return;
    OpenFolder(txtDataDir->text());
}

void frmOptions::cmdSaveMkt_Click()
{
    const bool stored = Mkt.Apply(db(), txtMktActivation->text());
    lblMktReason->setText(Mkt.Reason);
    lblMktReason->setVisible(!stored);
    if (stored) {
        txtMktActivation->setText(Mkt.Text);
        ShowStatus(Translate(QStringLiteral("activation energy stored: %1 K")).arg(Mkt.Text));
    } else {
        txtMktActivation->setFocus();
        txtMktActivation->selectAll();
    }
}

void frmOptions::optUnits_Click(int code)
{
    SetUnits(code);
}

bool frmOptions::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == txtDataDir) {
        if (event->type() == QEvent::DragEnter) {
            auto* e = static_cast<QDragEnterEvent*>(event);
            if (e->mimeData()->hasUrls())
                e->acceptProposedAction();
            return true;
        }
        if (event->type() == QEvent::Drop) {
            auto* e = static_cast<QDropEvent*>(event);
            const QList<QUrl> urls = e->mimeData()->urls();
            if (!urls.isEmpty() && IsDirectory(urls.first().toLocalFile())) {
                txtDataDir->setText(urls.first().toLocalFile());
                cmdSaveDirs->setEnabled(true);
            }
            e->acceptProposedAction();
            return true;
        }
        if (event->type() == QEvent::FocusOut && txtDataDir->isModified()) {
            txtDataDir->setModified(false);
            txtDataDir_Validate();
        }
    } else if (watched == trvStructure->viewport() && event->type() == QEvent::Leave) {
        trvStructure->setToolTip(Translate(QStringLiteral("use right mouseclick on items")));
    }
    return QDialog::eventFilter(watched, event);
}

// ---------------------------------------------------------------------------------------------
// Interface port, logger files, database

void frmOptions::cmbPortNo_Click(int index)
{
    const QString status = Interface.Choose(cmbPortNo->itemData(index).toInt());
    ShowInterface();
    ShowStatus(status);
    lblPortResult->setText(status);
    lblPortResult->show();
}

void frmOptions::cmdCopyLoggerfiles_Click(int index)
{
    CopyLoggerFilesRequest request;
    request.operation = index;
    request.owner = this;
    switch (index) {
    case 0:
        request.source = App().BackupDirectory;
        request.destination = RemovableMediaLoggerFolder();
        request.status = Translate(QStringLiteral("copy to floppy disk..."));
        request.caption = Translate(QStringLiteral("copy logger files to floppy disk"));
        break;
    case 1:
        request.source = RemovableMediaLoggerFolder();
        request.destination = App().DataDirectory;
        request.status = Translate(QStringLiteral("copy from floppy disk..."));
        request.caption = Translate(QStringLiteral("copy logger files from floppy disk"));
        break;
    default:
        request.source = App().BackupDirectory;
        request.status = Translate(QStringLiteral("deleting..."));
        request.caption = Translate(QStringLiteral("delete logger files"));
        break;
    }
    if (index != 2) {
        // The medium must be there: nothing is ever copied onto the system disk in its place.
        const QString problem = RemovableMediaProblem(RemovableMediaDirectory());
        if (!problem.isEmpty()) {
            ShowMessage(problem, vbExclamation, request.caption);
            ShowStatus(problem);
            FillRemovableMedia();
            return;
        }
    }
    ShowStatus(request.status);
    if (const CopyLoggerFilesHook& hook = GetCopyLoggerFilesHook())
        hook(request);
    else
        ShowMessage(Translate(QStringLiteral("copying logger files is not available")), vbExclamation);
    ShowStatus(Translate(QStringLiteral("done.")));
    ShowFileFacts();
}

void frmOptions::cmdDatabase_Click(int index)
{
    if (index == 5) {
        const QString problem = clsMaintenance::PurgeDateProblem(dtpDeleteBefore->date());
        if (!problem.isEmpty()) {
            ShowMessage(problem, vbExclamation, Translate(QStringLiteral("delete records")));
            return;
        }
    }
    if (index == 3 || index == 4) {
        const QString problem = RemovableMediaProblem(RemovableMediaDirectory());
        if (!problem.isEmpty()) {
            ShowMessage(problem, vbExclamation, cmdDatabase[index]->text().remove(QLatin1Char('&')));
            ShowStatus(problem);
            return;
        }
    }
    if (index == 5 && ShowMessage(Translate(QStringLiteral("really delete records ? This can't be undone")),
                                  vbYesNo + vbQuestion, Translate(QStringLiteral("delete records"))) != vbYes)
        return;
    std::optional<BusyCursor> busy(std::in_place);
    clsMaintenance maintenance(db());
    maintenance.status = [this](const QString& text) { ShowStatus(text); };
    bool ok = true;
    QString backupFile;
    switch (index) {
    case 0: ok = maintenance.Backup(&backupFile); break;
    case 1:
        db().CloseDB();
        busy.reset();
        OpenFolder(App().BackupDirectory);
        break;
    case 2: ok = maintenance.Reorganize(ShiftHeld()); break;
    case 3: ok = maintenance.CreatePortable(); break;
    case 4: ok = maintenance.LoadPortable(); break;
    case 5: ok = maintenance.Purge(dtpDeleteBefore->date(), true); break;   // confirmed above
    default: break;
    }
    busy.reset();
    if (!ok) {
        ShowMessage(QString::number(maintenance.ErrorNumber()) + QStringLiteral(":") + maintenance.ErrorText(),
                    vbCritical, Translate(QStringLiteral("Error")));
        ShowStatus(Translate(QStringLiteral("error occurred")));
        return;
    }
    if (index == 0)
        ShowMessage(Translate(QStringLiteral("For security purposes, please save the file")) + QStringLiteral("\n") +
                        backupFile + QStringLiteral("\n") +
                        Translate(QStringLiteral("to a removable media and store it in a safe place")),
                    vbInformation, Translate(QStringLiteral("copied database to backup directory")));
    ShowStatus(Translate(QStringLiteral("done.")));
    ShowFileFacts();
    switch (index) {
    case 0: ShowWritten(backupFile); break;
    case 2:
    case 5: ShowWritten(ActiveDatabaseFile(maintenance.DatabaseDirectory())); break;
    case 3: ShowWritten(QDir(maintenance.MediaDirectory()).filePath(QStringLiteral("NORD.MDE"))); break;
    case 4: ShowWritten(QDir(maintenance.DatabaseDirectory()).filePath(QStringLiteral("NORD.MDE"))); break;
    default: break;
    }
}

void frmOptions::closeEvent(QCloseEvent* event)
{
    if ((cmdSaveStructure->isEnabled() || cmdSaveDirs->isEnabled()) &&
        ShowMessage(Translate(QStringLiteral("exit without saving changes?")), vbYesNo + vbQuestion,
                    Translate(QStringLiteral("changes not saved"))) != vbYes) {
        event->ignore();
        return;
    }
    event->accept();
    emit closed();
}

void InstallOptionsWindow()
{
    SetWorkingWindowFactory(2, [] {
        auto* w = new frmOptions;
        w->setAttribute(Qt::WA_DeleteOnClose, true);
        QObject::connect(w, &frmOptions::closed, [] { ReturnToMainMenu(); });
        return static_cast<QWidget*>(w);
    });
}
