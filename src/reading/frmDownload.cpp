#include "reading/frmDownload.h"
#include "app/UserInterface.h"

#include "app/modInternationalisation.h"
#include "ui/WindowPlacement.h"
#include "ui/WindowRoutines.h"
#include "app/modMain.h"
#include "image/clsDS1921Data.h"
#include "reading/ReadingEvidence.h"

#include <QApplication>
#include <climits>
#include <QDir>
#include <QRegularExpression>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
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
    grid->setRowStretch(7, 1);
    // The key figures on the left; the logger's alarm log and histogram beside them.
    auto* top = new QHBoxLayout;
    top->addWidget(fraDataDownloaded, 0, Qt::AlignTop);
    auto* evidence = new QVBoxLayout;
    fraAlarmLog = new QGroupBox("logger's alarm log", this);
    fraAlarmLog->setObjectName("fraAlarmLog");
    auto* alarmBox = new QVBoxLayout(fraAlarmLog);
    alarmRows = new QWidget(fraAlarmLog);
    alarmBox->addWidget(alarmRows);
    lblAlarmNote = new QLabel(fraAlarmLog);
    lblAlarmNote->setObjectName("lblAlarmNote");
    lblAlarmNote->setWordWrap(true);
    alarmBox->addWidget(lblAlarmNote);
    evidence->addWidget(fraAlarmLog);
    fraHistogram = new QGroupBox("logger's histogram", this);
    fraHistogram->setObjectName("fraHistogram");
    auto* histogramBox = new QVBoxLayout(fraHistogram);
    histogramRows = new QWidget(fraHistogram);
    histogramBox->addWidget(histogramRows);
    lblHistogramTotal = new QLabel(fraHistogram);
    lblHistogramTotal->setObjectName("lblHistogramTotal");
    histogramBox->addWidget(lblHistogramTotal);
    lblHistogramNote = new QLabel(fraHistogram);
    lblHistogramNote->setObjectName("lblHistogramNote");
    lblHistogramNote->setWordWrap(true);
    {
        QPalette p = lblHistogramNote->palette();
        p.setColor(QPalette::WindowText, warningColour(this));
        lblHistogramNote->setPalette(p);
    }
    histogramBox->addWidget(lblHistogramNote);
    evidence->addWidget(fraHistogram);
    evidence->addStretch(1);
    top->addLayout(evidence, 1);
    fraAlarmLog->setVisible(false);
    fraHistogram->setVisible(false);
    root->addLayout(top);
    // A text in the warning colour, bold when it must stand out.
    const auto warning = [this](QLabel* label, bool bold) {
        QPalette p = label->palette();
        p.setColor(QPalette::WindowText, warningColour(this));
        label->setPalette(p);
        QFont f = label->font();
        f.setBold(bold);
        label->setFont(f);
    };
    lblAlarms = new QLabel("temperature limit exceeded", this);
    lblAlarms->setObjectName("lblAlarms");
    warning(lblAlarms, true);
    lblAlarms->setAlignment(Qt::AlignCenter);
    lblAlarms->setWordWrap(true);
    lblAlarms->setVisible(false);
    root->addWidget(lblAlarms);
    lblLost = new QLabel(this);
    lblLost->setObjectName("lblLost");
    lblLost->setWordWrap(true);
    warning(lblLost, true);
    lblLost->setTextInteractionFlags(Qt::TextSelectableByMouse);
    lblLost->setVisible(false);
    root->addWidget(lblLost);
    lblProblem = new QLabel(this);
    lblProblem->setObjectName("lblProblem");
    lblProblem->setWordWrap(true);
    warning(lblProblem, false);
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
    lblAlarms->setText((QStringList{Translate("temperature limit exceeded")} + m_seq.LoggerAlarmTexts).join("\n"));
    lblAlarms->setVisible(m_seq.AlarmShown());
    lblLost->setText(Translate("samples lost: ") + m_seq.LostSamplesText);
    lblLost->setVisible(!m_seq.LostSamplesText.isEmpty());
    // The status bar shows one line; what went wrong is shown whole.
    lblProblem->setText(m_seq.ErrorText);
    lblProblem->setVisible(m_seq.NeedsAttention() && !m_seq.ErrorText.isEmpty());
    // Where the reading went: the logger file that the next poll stores in the database.
    lblFile->setText(m_seq.LoggerFile.isEmpty() ? QString()
                                                : Translate("logger file written: ") + QDir::toNativeSeparators(m_seq.LoggerFile));
    lblFile->setVisible(!m_seq.LoggerFile.isEmpty());
    ShowEvidence();
    layout()->activate();
    adjustSize();
    // Grown by the alarm log and histogram: kept whole on its screen.
    if (const QScreen* screen = this->screen(); screen && isVisible()) {
        const QSize frameExtra = frameGeometry().size() - size();
        const QRect r = CentredPlacement(frameGeometry().size(), frameGeometry(), screen->availableGeometry());
        move(r.topLeft());
        resize(r.size() - frameExtra);
    }
    return o;
}

void frmDownload::ShowEvidence()
{
    const ReadingEvidenceView v = ReadingEvidenceViewOf(m_seq.Image(), m_seq.RomText);
    // Filled while hidden: shown with the boxes, every new row counts in the dialog's size.
    fraAlarmLog->setVisible(false);
    fraHistogram->setVisible(false);
    if (!v.shown) return;

    // Rows of a new reading replace those of the last one.
    auto freshGrid = [](QWidget*& rows, QGroupBox* box) {
        auto* next = new QWidget(box);
        delete box->layout()->replaceWidget(rows, next);   // the caller owns the item replaced
        delete rows;
        rows = next;
        auto* grid = new QGridLayout(rows);
        grid->setContentsMargins(0, 0, 0, 0);
        return grid;
    };
    QGridLayout* alarms = freshGrid(alarmRows, fraAlarmLog);
    if (!v.alarms.empty()) {
        const char* const heads[5] = {"alarm", "start", "end", "minutes", ""};
        for (int c = 0; c < 5; ++c) {
            auto* head = new QLabel(*heads[c] ? Translate(heads[c]) : QString(), alarmRows);
            QFont bold = head->font();
            bold.setBold(true);
            head->setFont(bold);
            alarms->addWidget(head, 0, c, c == 3 ? Qt::AlignRight : Qt::AlignLeft);
        }
        int r = 1;
        for (const ReadingEvidenceView::AlarmRow& a : v.alarms) {
            alarms->addWidget(new QLabel(a.kind, alarmRows), r, 0);
            alarms->addWidget(new QLabel(a.start, alarmRows), r, 1);
            alarms->addWidget(new QLabel(a.end, alarmRows), r, 2);
            alarms->addWidget(new QLabel(a.minutes, alarmRows), r, 3, Qt::AlignRight);
            auto* mark = new QLabel(a.overwritten ? Translate("overwritten") : QString(), alarmRows);
            mark->setObjectName(QStringLiteral("lblOverwritten_%1").arg(r - 1));
            if (a.overwritten) mark->setToolTip(Translate("the data log no longer holds the start of this alarm"));
            alarms->addWidget(mark, r, 4);
            ++r;
        }
        alarms->setColumnStretch(4, 1);
    }
    const QString alarmNote = (QStringList(v.alarmNote) + v.alarmLogFull).filter(QRegularExpression(".")).join("\n");
    lblAlarmNote->setText(alarmNote);
    lblAlarmNote->setVisible(!alarmNote.isEmpty());

    QGridLayout* bars = freshGrid(histogramRows, fraHistogram);
    int r = 0;
    for (const ReadingEvidenceView::BinRow& b : v.bins) {
        bars->addWidget(new QLabel(b.range + " " + App().UnitLabel, histogramRows), r, 0, Qt::AlignRight);
        auto* bar = new QProgressBar(histogramRows);
        bar->setObjectName(QStringLiteral("barHistogram_%1").arg(r));
        bar->setRange(0, int(std::min<quint32>(v.largestCount, quint32(INT_MAX))));
        bar->setValue(int(std::min<quint32>(b.count, quint32(INT_MAX))));
        bar->setFormat(QString::number(b.count));
        bar->setTextVisible(true);
        bar->setMinimumWidth(200);
        bars->addWidget(bar, r, 1);
        ++r;
    }
    bars->setColumnStretch(1, 1);
    lblHistogramTotal->setText(v.totalText);
    lblHistogramTotal->setVisible(!v.totalText.isEmpty());
    lblHistogramNote->setText(v.histogramNote);
    lblHistogramNote->setVisible(!v.histogramNote.isEmpty());
    fraAlarmLog->setVisible(true);
    fraHistogram->setVisible(true);
}
