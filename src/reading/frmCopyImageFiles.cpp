#include "reading/frmCopyImageFiles.h"

#include "app/modInternationalisation.h"
#include "app/modMain.h"
#include "settings/CopyLoggerFilesHook.h"
#include "settings/clsMaintenance.h"

#include <QDir>
#include <QHBoxLayout>
#include "reading/FileArchiveState.h"
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

// Direction picture: a folder, an arrow and a medium (or a trash can when deleting), drawn in the
// palette's text colour so that it shows in light and dark palettes.
QPixmap directionPicture(bool deleting, const QPalette& palette, qreal ratio)
{
    QPixmap pm(QSize(96, 32) * ratio);
    pm.setDevicePixelRatio(ratio);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor ink = palette.color(QPalette::WindowText);
    p.setPen(QPen(ink, 1.5));
    p.setBrush(QColor(240, 200, 90));
    p.drawRect(4, 10, 24, 16);
    p.drawRect(4, 7, 10, 4);
    p.setBrush(ink);
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
    imgDescr->setPixmap(directionPicture(m_logic.Deleting(), palette(), devicePixelRatio()));
    lblPaths = new QLabel(this);
    lblPaths->setObjectName("lblPaths");
    lblPaths->setWordWrap(true);
    lblPaths->setTextInteractionFlags(Qt::TextSelectableByMouse);
    lblPaths->setForegroundRole(QPalette::PlaceholderText);
    lblPaths->setText(m_logic.Deleting()
                          ? Translate("from ") + QDir::toNativeSeparators(source) + Translate(" into the trash")
                          : Translate("from ") + QDir::toNativeSeparators(source) + "\n" + Translate("to ") +
                                QDir::toNativeSeparators(destination));
    lblResult = new QLabel(this);
    lblResult->setObjectName("lblResult");
    lblResult->setWordWrap(true);
    lblResult->setTextInteractionFlags(Qt::TextSelectableByMouse);
    lblResult->hide();

    auto* top = new QHBoxLayout;
    top->addWidget(imgDescr, 0, Qt::AlignTop);
    auto* words = new QVBoxLayout;
    words->addWidget(lblDescr);
    words->addWidget(lblPaths);
    top->addLayout(words, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cmdStart);
    buttons->addWidget(cmdExit);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(lvwFiles, 1);
    layout->addWidget(lblResult);
    layout->addLayout(buttons);
    cmdStart->setDefault(true);
    lvwFiles->setAlternatingRowColors(true);
    lvwFiles->setUniformRowHeights(true);
    resize(QSize(460, 380).expandedTo(sizeHint()));

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
    for (int c = 0; c < 3; ++c) {
        lvwFiles->resizeColumnToContents(c);
        const int title = lvwFiles->header()->fontMetrics().horizontalAdvance(lvwFiles->headerItem()->text(c)) + 24;
        lvwFiles->setColumnWidth(c, std::max(lvwFiles->columnWidth(c) + 8, title));
    }
    lblDescr->setText(m_logic.Description());
    // A medium that is not there is said before anything is ticked or started.
    const QString problem = m_logic.MediaProblem();
    if (!problem.isEmpty()) showResult(problem, true);
    cmdStart->setEnabled(problem.isEmpty() && !m_logic.rows.empty());
}

void frmCopyImageFiles::showResult(const QString& text, bool warning)
{
    QPalette p = lblResult->palette();
    const bool dark = palette().color(QPalette::Window).lightness() < 128;
    p.setColor(QPalette::WindowText, warning ? (dark ? QColor(0xff, 0x6b, 0x6b) : QColor(0xb0, 0x00, 0x00))
                                             : palette().color(QPalette::WindowText));
    lblResult->setPalette(p);
    lblResult->setText(text);
    lblResult->setVisible(!text.isEmpty());
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
    const bool ok = m_logic.Start(&error);
    if (!ok && error != Translate("aborted"))
        ShowMessage(error, vbCritical, windowTitle());
    m_logic.Progress = nullptr;
    FillList();
    // What was done and where, or why not.
    if (!ok)
        showResult(error, true);
    else if (m_logic.Deleting())
        showResult(Translate("moved into the trash: ") + QDir::toNativeSeparators(TrashDirectory()), false);
    else
        showResult(QString::number(m_logic.FilesCopied()) + Translate(" file(s) copied and verified in ") +
                       QDir::toNativeSeparators(m_logic.Destination()),
                   false);
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
