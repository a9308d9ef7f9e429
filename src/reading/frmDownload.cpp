#include "reading/frmDownload.h"
#include "app/UserInterface.h"

#include "app/modInternationalisation.h"
#include "ui/WindowRoutines.h"
#include "app/modMain.h"
#include "image/clsDS1921Data.h"

#include <QApplication>
#include <QDir>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QStatusBar>
#include <QVBoxLayout>

namespace {
// Red that reads well on the palette's window colour, light or dark.
QColor warningColour(const QWidget* w)
{
    return w->palette().color(QPalette::Window).lightness() < 128 ? QColor(0xff, 0x6b, 0x6b) : QColor(0xb0, 0x00, 0x00);
}

const char* const kDescriptions[7] = {"alarm high",
                                      "alarm low",
                                      "max temperature",
                                      "min temperature",
                                      "total logger samples",
                                      "seconds time difference between system and logger",
                                      "current samples"};
}

frmDownload::frmDownload(QWidget* parent) : QDialog(parent), m_seq(AppLogger())
{
    setObjectName("frmDownload");
    setWindowTitle("logger detected");
    auto* root = new QVBoxLayout(this);
    fraDataDownloaded = new QGroupBox("data read", this);
    fraDataDownloaded->setObjectName("fraDataDownloaded");
    auto* grid = new QGridLayout(fraDataDownloaded);
    for (int i = 0; i < 7; ++i) {
        lblDescr[i] = new QLabel(kDescriptions[i], fraDataDownloaded);
        lblDescr[i]->setObjectName(QString("lblDescr_%1").arg(i));
        lblValue[i] = new QLabel(fraDataDownloaded);
        lblValue[i]->setObjectName(QString("lblValue_%1").arg(i));
        lblValue[i]->setMinimumWidth(90);
        lblValue[i]->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        lblValue[i]->setFrameShape(QFrame::Panel);
        lblValue[i]->setFrameShadow(QFrame::Sunken);
        lblValue[i]->setAutoFillBackground(true);
        grid->addWidget(lblDescr[i], i, 0);
        grid->addWidget(lblValue[i], i, 1);
    }
    root->addWidget(fraDataDownloaded);
    lblAlarms = new QLabel("temperature limit exceeded", this);
    lblAlarms->setObjectName("lblAlarms");
    {
        QFont bold = lblAlarms->font();
        bold.setBold(true);
        lblAlarms->setFont(bold);
        QPalette p = lblAlarms->palette();
        p.setColor(QPalette::WindowText, warningColour(this));
        lblAlarms->setPalette(p);
    }
    lblAlarms->setAlignment(Qt::AlignCenter);
    lblAlarms->setVisible(false);
    root->addWidget(lblAlarms);
    lblProblem = new QLabel(this);
    lblProblem->setObjectName("lblProblem");
    lblProblem->setWordWrap(true);
    {
        QPalette p = lblProblem->palette();
        p.setColor(QPalette::WindowText, warningColour(this));
        lblProblem->setPalette(p);
    }
    lblProblem->setTextInteractionFlags(Qt::TextSelectableByMouse);
    lblProblem->setVisible(false);
    root->addWidget(lblProblem);
    lblFile = new QLabel(this);
    lblFile->setObjectName("lblFile");
    lblFile->setWordWrap(true);
    lblFile->setTextInteractionFlags(Qt::TextSelectableByMouse);
    lblFile->setForegroundRole(QPalette::PlaceholderText);
    lblFile->setVisible(false);
    root->addWidget(lblFile);
    cmdClose = new QPushButton("&Close", this);
    cmdClose->setObjectName("cmdClose");
    root->addWidget(cmdClose, 0, Qt::AlignRight);
    sbrStatus = new QStatusBar(this);
    sbrStatus->setObjectName("sbrStatus");
    sbrStatus->setSizeGripEnabled(false);
    root->addWidget(sbrStatus);
    connect(cmdClose, &QPushButton::clicked, this, [this] { close(); });

    m_seq.Status = [this](const QString& t) { ShowStatus(t); };
    m_seq.Beep = [](int n) {
        for (int i = 0; i < n; ++i) QApplication::beep();
    };
    m_seq.Repaint = [this] { repaint(); };
}

void frmDownload::ShowStatus(const QString& text)
{
    sbrStatus->showMessage(text);
    sbrStatus->repaint();
}

void frmDownload::Form_Load()
{
    TranslateForm(this);
    show();
    setWindowTitle(Translate("reading logger "));
    fraDataDownloaded->setTitle(fraDataDownloaded->title() + " (" + App().UnitLabel + ")");
    repaint();
    BusyCursor busy;
    cmdClose->setEnabled(false);
    ReadConnectedLogger();
    cmdClose->setEnabled(true);
}

clsReadingSequence::Outcome frmDownload::ReadConnectedLogger()
{
    const clsReadingSequence::Outcome o = m_seq.Run();
    m_ran = true;
    if (o == clsReadingSequence::NoLogger) return o;
    if (!m_seq.Caption.isEmpty()) setWindowTitle(m_seq.Caption);
    for (int i = 0; i < 7; ++i) lblValue[i]->setText(m_seq.Values[i]);
    QPalette red = lblValue[2]->palette();
    red.setColor(QPalette::Window, Qt::red);
    red.setColor(QPalette::WindowText, Qt::white);
    if (m_seq.HighAlarm) lblValue[2]->setPalette(red);
    if (m_seq.LowAlarm) lblValue[3]->setPalette(red);
    lblAlarms->setVisible(m_seq.AlarmShown());
    // The status bar shows one line; what went wrong is shown whole.
    lblProblem->setText(m_seq.ErrorText);
    lblProblem->setVisible(m_seq.NeedsAttention() && !m_seq.ErrorText.isEmpty());
    // Where the reading went: the logger file that the next poll stores in the database.
    lblFile->setText(m_seq.LoggerFile.isEmpty() ? QString()
                                                : Translate("logger file written: ") + QDir::toNativeSeparators(m_seq.LoggerFile));
    lblFile->setVisible(!m_seq.LoggerFile.isEmpty());
    adjustSize();
    return o;
}
