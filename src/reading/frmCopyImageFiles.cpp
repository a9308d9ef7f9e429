#include "reading/frmCopyImageFiles.h"

#include "app/modInternationalisation.h"
#include "app/modMain.h"
#include "settings/CopyLoggerFilesHook.h"
#include "settings/clsMaintenance.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QProgressDialog>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

// Direction picture: a folder, an arrow and a disk (or a trash can when deleting).
QPixmap directionPicture(bool deleting)
{
    QPixmap pm(96, 32);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Qt::black, 1.5));
    p.setBrush(QColor(240, 200, 90));
    p.drawRect(4, 10, 24, 16);
    p.drawRect(4, 7, 10, 4);
    p.setBrush(Qt::black);
    p.drawLine(34, 18, 58, 18);
    QPainterPath head;
    head.moveTo(60, 18); head.lineTo(52, 13); head.lineTo(52, 23); head.closeSubpath();
    p.drawPath(head);
    if (deleting) {
        p.setBrush(QColor(180, 180, 180));
        p.drawRect(68, 10, 20, 18);
        p.drawLine(66, 9, 90, 9);
    } else {
        p.setBrush(QColor(70, 90, 160));
        p.drawRect(66, 5, 24, 24);
        p.setBrush(Qt::white);
        p.drawRect(71, 5, 14, 9);
    }
    return pm;
}

} // namespace

frmCopyImageFiles::frmCopyImageFiles(const QString& source, const QString& destination, QWidget* parent)
    : QDialog(parent), m_logic(source, destination)
{
    setObjectName("frmCopyImageFiles");
    setWindowTitle(Translate("copy files"));
    lvwFiles = new QTreeWidget(this);
    lvwFiles->setObjectName("lvwFiles");
    lvwFiles->setRootIsDecorated(false);
    lvwFiles->setHeaderLabels({Translate("date"), Translate("count"), Translate("already copied ?")});
    cmdStart = new QPushButton(Translate("&Start"), this);
    cmdStart->setObjectName("cmdStart");
    cmdExit = new QPushButton(Translate("Exit"), this);
    cmdExit->setObjectName("cmdExit");
    lblDescr = new QLabel(this);
    lblDescr->setObjectName("lblDescr");
    imgDescr = new QLabel(this);
    imgDescr->setObjectName("imgDescr");
    imgDescr->setPixmap(directionPicture(m_logic.Deleting()));

    auto* top = new QHBoxLayout;
    top->addWidget(imgDescr);
    top->addWidget(lblDescr, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cmdStart);
    buttons->addWidget(cmdExit);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(lvwFiles, 1);
    layout->addLayout(buttons);
    resize(380, 300);

    connect(cmdStart, &QPushButton::clicked, this, [this] { cmdStart_Click(); });
    connect(cmdExit, &QPushButton::clicked, this, [this] { cmdExit_Click(); });

    m_logic.AskReplace = [this](const QString& name) {
        const int a = ShowMessage(Translate("The destination already holds ") + name + ". " +
                                      Translate("Replace it?"),
                                  vbYesNoCancel | vbQuestion, windowTitle());
        return a == vbYes ? clsCopyImageFiles::ReplaceYes
                          : a == vbNo ? clsCopyImageFiles::ReplaceNo : clsCopyImageFiles::ReplaceCancel;
    };
    m_logic.BuildList();
    FillList();
}

void frmCopyImageFiles::FillList()
{
    lvwFiles->clear();
    for (const auto& r : m_logic.rows) {
        auto* item = new QTreeWidgetItem(lvwFiles, {r.dayText(), QString::number(r.files.size()), r.copiedText()});
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(0, r.ticked ? Qt::Checked : Qt::Unchecked);
    }
    for (int c = 0; c < 3; ++c) lvwFiles->resizeColumnToContents(c);
    lblDescr->setText(m_logic.Description());
}

void frmCopyImageFiles::takeTicks()
{
    for (int i = 0; i < lvwFiles->topLevelItemCount() && i < int(m_logic.rows.size()); ++i)
        m_logic.rows[size_t(i)].ticked = lvwFiles->topLevelItem(i)->checkState(0) == Qt::Checked;
}

void frmCopyImageFiles::cmdStart_Click()
{
    takeTicks();
    QProgressDialog progress(m_logic.Deleting() ? Translate("deleting...") : Translate("copying..."),
                             Translate("Cancel"), 0, 1, this);
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(300);
    m_logic.Progress = [&progress](int done, int total, const QString& name) {
        progress.setMaximum(qMax(1, total));
        progress.setValue(done);
        if (!name.isEmpty()) progress.setLabelText(name);
        return !progress.wasCanceled();
    };
    QString error;
    if (!m_logic.Start(&error) && error != Translate("aborted"))
        ShowMessage(error, vbCritical, windowTitle());
    m_logic.Progress = nullptr;
    FillList();
}

void frmCopyImageFiles::cmdExit_Click()
{
    close();
}

void frmCopyImageFiles::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    // Nothing to copy (or no media): the dialog goes away by itself.
    if (m_logic.FilesListed() == 0) QTimer::singleShot(0, this, &QDialog::reject);
}

void ShowCopyImageFilesDialog(const QString& source, const QString& destination, const QString& caption,
                              QWidget* parent)
{
    frmCopyImageFiles dialog(source, destination, parent);
    if (!caption.isEmpty()) dialog.setWindowTitle(caption);
    dialog.exec();
}

void OpenCopyImageFilesDialog(QWidget* parent)
{
    ShowCopyImageFilesDialog(App().BackupDirectory, RemovableMediaLoggerFolder(), Translate("copy files"), parent);
}

void OpenRestoreImageFilesDialog(QWidget* parent)
{
    ShowCopyImageFilesDialog(RemovableMediaLoggerFolder(), App().DataDirectory,
                             Translate("copy logger files from floppy disk"), parent);
}

void InstallCopyImageFilesDialog()
{
    SetCopyLoggerFilesHook([](const CopyLoggerFilesRequest& r) {
        ShowCopyImageFilesDialog(r.source, r.destination, r.caption, r.owner);
    });
}
