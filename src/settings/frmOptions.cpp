#include "settings/frmOptions.h"
#include "app/UserInterface.h"
#include <optional>

#include "app/WindowHooks.h"
#include "app/modInternationalisation.h"
#include "ui/WindowRoutines.h"
#include "app/modMain.h"
#include "db/clsDatabase.h"
#include "settings/CopyLoggerFilesHook.h"
#include "settings/InterfacePort.h"
#include "settings/clsMaintenance.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateEdit>
#include <QDropEvent>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
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
QIcon runningIcon() { return QApplication::style()->standardIcon(QStyle::SP_MediaPlay); }
QIcon stoppedIcon() { return QApplication::style()->standardIcon(QStyle::SP_MediaStop); }

QPushButton* button(const char* name, const QString& caption, QWidget* parent)
{
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(QString::fromLatin1(name));
    return b;
}

} // namespace

frmOptions::frmOptions(QWidget* parent, clsDatabase* database) : QDialog(parent), m_db(database)
{
    setObjectName(QStringLiteral("frmOptions"));
    setWindowTitle(QStringLiteral("NORDALIS SETTINGS"));
    ShiftHeld = [] { return QGuiApplication::queryKeyboardModifiers().testFlag(Qt::ShiftModifier); };
    OpenInShell = [](const QString& path) { OpenWithDesktop(path); };

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
    lblStatus->setFrameShape(QFrame::StyledPanel);
    cmdHelp = button("cmdHelp", QStringLiteral("Help"), this);
    cmdOK = button("cmdOK", QStringLiteral("Exit"), this);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(lblStatus, 1);
    bottom->addWidget(cmdHelp);
    bottom->addWidget(cmdOK);
    layout->addLayout(bottom);
    connect(cmdHelp, &QPushButton::clicked, this, [] { ShowHelp(); });
    connect(cmdOK, &QPushButton::clicked, this, &QWidget::close);

    TranslateForm(this);
    dtpDeleteBefore->setDate(clsMaintenance::DefaultPurgeDate());
    txtDataDir->setText(App().DataDirectory);
    ShowStatus(QLocale().toString(NowLocal(), QLocale::ShortFormat));
    (App().Units == 1 ? optFahrenheit : optCelsius)->setChecked(true);
    connect(tabOptions, &QTabWidget::currentChanged, this, &frmOptions::tabOptions_Click);
    tabOptions_Click(tabOptions->currentIndex());
    resize(760, 520);
}

frmOptions::~frmOptions() = default;

clsDatabase& frmOptions::db()
{
    return m_db ? *m_db : AppDatabase();
}

void frmOptions::buildStructureTab(QWidget* page)
{
    auto* grid = new QGridLayout(page);
    trvStructure = new QTreeWidget(page);
    trvStructure->setObjectName(QStringLiteral("trvStructure"));
    trvStructure->setHeaderHidden(true);
    trvStructure->setMouseTracking(true);
    trvStructure->setContextMenuPolicy(Qt::CustomContextMenu);
    trvStructure->setToolTip(Translate(QStringLiteral("use right mouseclick on items")));
    lvwDeviceProperties = new QTreeWidget(page);
    lvwDeviceProperties->setObjectName(QStringLiteral("lvwDeviceProperties"));
    lvwDeviceProperties->setRootIsDecorated(false);
    lvwDeviceProperties->setColumnCount(3);
    lvwDeviceProperties->setHeaderLabels(
        {Translate(QStringLiteral("Value")), Translate(QStringLiteral("Property")), Translate(QStringLiteral("Name"))});
    lvwDeviceProperties->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lblDeviceComment = new QLabel(QStringLiteral("these logger properties can be specified during logger programming"), page);
    lblDeviceComment->setObjectName(QStringLiteral("lblDeviceComment"));
    lblDeviceComment->setWordWrap(true);
    lblDeviceComment->hide();
    cmdSaveStructure = button("cmdSaveStructure", QStringLiteral("&Save changes"), page);
    cmdSaveStructure->setEnabled(false);
    grid->addWidget(trvStructure, 0, 0, 3, 1);
    grid->addWidget(lvwDeviceProperties, 0, 1);
    grid->addWidget(lblDeviceComment, 1, 1);
    grid->addWidget(cmdSaveStructure, 2, 1, Qt::AlignRight);
    grid->setColumnStretch(0, 2);
    grid->setColumnStretch(1, 3);

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
    auto* grid = new QGridLayout(page);
    auto* lblDataDir = new QLabel(QStringLiteral("data directory"), page);
    lblDataDir->setObjectName(QStringLiteral("lblDataDir"));
    txtDataDir = new QLineEdit(page);
    txtDataDir->setObjectName(QStringLiteral("txtDataDir"));
    txtDataDir->setAcceptDrops(true);
    txtDataDir->installEventFilter(this);
    cmdGetDataDir = button("cmdGetDataDir", QStringLiteral("..."), page);
    cmdSaveDirs = button("cmdSaveDirs", QStringLiteral("Apply"), page);
    cmdSaveDirs->setEnabled(false);
    cmdOpen = button("cmdOpen", QStringLiteral("Open"), page);
    grid->addWidget(lblDataDir, 0, 0, 1, 4);
    grid->addWidget(txtDataDir, 1, 0);
    grid->addWidget(cmdGetDataDir, 1, 1);
    grid->addWidget(cmdSaveDirs, 1, 2);
    grid->addWidget(cmdOpen, 1, 3);
    fraUnits = new QGroupBox(QStringLiteral("Displayed Temperature Units"), page);
    fraUnits->setObjectName(QStringLiteral("fraUnits"));
    auto* units = new QVBoxLayout(fraUnits);
    optCelsius = new QRadioButton(QString(QChar(176)) + QStringLiteral("C"), fraUnits);
    optCelsius->setObjectName(QStringLiteral("optCelsius"));
    optFahrenheit = new QRadioButton(QString(QChar(176)) + QStringLiteral("F"), fraUnits);
    optFahrenheit->setObjectName(QStringLiteral("optFahrenheit"));
    units->addWidget(optCelsius);
    units->addWidget(optFahrenheit);
    grid->addWidget(fraUnits, 2, 0, 1, 4);
    grid->setRowStretch(3, 1);
    connect(cmdGetDataDir, &QPushButton::clicked, this, &frmOptions::cmdGetDataDir_Click);
    connect(cmdSaveDirs, &QPushButton::clicked, this, &frmOptions::cmdSaveDirs_Click);
    connect(cmdOpen, &QPushButton::clicked, this, &frmOptions::cmdOpen_Click);
    connect(optCelsius, &QRadioButton::clicked, this, [this] { optUnits_Click(0); });
    connect(optFahrenheit, &QRadioButton::clicked, this, [this] { optUnits_Click(1); });
}

void frmOptions::buildInterfaceTab(QWidget* page)
{
    auto* box = new QVBoxLayout(page);
    auto* lblPort = new QLabel(QStringLiteral("Select COM-Port to match interface location:"), page);
    lblPort->setObjectName(QStringLiteral("lblPortNo"));
    cmbPortNo = new QComboBox(page);
    cmbPortNo->setObjectName(QStringLiteral("cmbPortNo"));
    for (int port = 1; port <= kInterfacePortCount; ++port)
        cmbPortNo->addItem(InterfacePortEntryText(port), port);
    box->addWidget(lblPort);
    box->addWidget(cmbPortNo);
    box->addStretch(1);
    connect(cmbPortNo, QOverload<int>::of(&QComboBox::activated), this, &frmOptions::cmbPortNo_Click);
}

void frmOptions::buildLoggerFilesTab(QWidget* page)
{
    auto* box = new QVBoxLayout(page);
    const char* captions[] = {"Copy logger files to floppy disk", "Copy floppy disk", "Move to recycle bin"};
    for (int i = 0; i < 3; ++i) {
        cmdCopyLoggerfiles[i] = new QPushButton(QString::fromLatin1(captions[i]), page);
        cmdCopyLoggerfiles[i]->setObjectName(QStringLiteral("cmdCopyLoggerfiles_%1").arg(i));
        box->addWidget(cmdCopyLoggerfiles[i]);
        connect(cmdCopyLoggerfiles[i], &QPushButton::clicked, this, [this, i] { cmdCopyLoggerfiles_Click(i); });
    }
    box->addStretch(1);
}

void frmOptions::buildDatabaseTab(QWidget* page)
{
    auto* grid = new QGridLayout(page);
    const char* captions[] = {"Backup database to the backup directory", "Open", "Reorganize", "Copy to floppy disk",
                              "Copy from floppy disk", "Delete older records"};
    for (int i = 0; i < 6; ++i) {
        cmdDatabase[i] = new QPushButton(QString::fromLatin1(captions[i]), page);
        cmdDatabase[i]->setObjectName(QStringLiteral("cmdDatabase_%1").arg(i));
        connect(cmdDatabase[i], &QPushButton::clicked, this, [this, i] { cmdDatabase_Click(i); });
    }
    dtpDeleteBefore = new QDateEdit(page);
    dtpDeleteBefore->setObjectName(QStringLiteral("dtpDeleteBefore"));
    dtpDeleteBefore->setCalendarPopup(true);
    grid->addWidget(cmdDatabase[0], 0, 0);
    grid->addWidget(cmdDatabase[1], 0, 1);
    grid->addWidget(cmdDatabase[2], 1, 0);
    grid->addWidget(cmdDatabase[3], 2, 0);
    grid->addWidget(cmdDatabase[4], 2, 1);
    grid->addWidget(cmdDatabase[5], 3, 0);
    grid->addWidget(dtpDeleteBefore, 3, 1);
    grid->setRowStretch(4, 1);
}

void frmOptions::ShowStatus(const QString& text)
{
    lblStatus->setText(text);
    lblStatus->repaint();
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
        const int port = CurrentInterfacePort();
        if (port >= 1 && port <= cmbPortNo->count())
            cmbPortNo->setCurrentIndex(port - 1);
    }
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
        node->setIcon(0, device.value(QStringLiteral("MissionRunning")).toBool() ? runningIcon() : stoppedIcon());
        node->setData(0, kKeyRole, clsStructureEditor::DeviceKey(id));
        node->setData(0, kTagRole, id);
    }
    site->setExpanded(true);
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
    lblDeviceComment->setVisible(clsStructureEditor::KindOf(nodeKey) == clsStructureEditor::NodeLogger);
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
    BuildStructure();
    SelectNode(m_editingNode.isEmpty() ? clsStructureEditor::LocationKey() : m_editingNode);
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
        ShowMessage(Translate(QStringLiteral("Please enter a valid directory")), vbExclamation,
                    Translate(QStringLiteral("Wrong data directory")));
        cmdSaveDirs->setEnabled(false);
        return false;
    }
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
}

void frmOptions::cmdOpen_Click()
{
    if (IsDirectory(txtDataDir->text()))
        OpenInShell(txtDataDir->text());
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
    const int port = cmbPortNo->itemData(index).toInt();
    ShowStatus(SelectInterfacePort(port));
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
    ShowStatus(request.status);
    if (const CopyLoggerFilesHook& hook = GetCopyLoggerFilesHook())
        hook(request);
    else
        ShowMessage(Translate(QStringLiteral("copying logger files is not available")), vbExclamation);
    ShowStatus(Translate(QStringLiteral("done.")));
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
        OpenInShell(App().BackupDirectory);
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
