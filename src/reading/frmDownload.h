#pragma once
// The reading dialog: reads the logger in the reader cable (clsReadingSequence) and shows the
// key figures, with the maximum or minimum in red and the warning "temperature limit exceeded"
// when an alarm level was crossed; after a full reading also the logger's own alarm log and
// histogram (reading/ReadingEvidence.h).
#include "reading/clsReadingSequence.h"

#include <QDialog>

class QGridLayout;
class QGroupBox;
class QLabel;
class QPushButton;
class QStatusBar;

class frmDownload : public QDialog {
    Q_OBJECT
public:
    explicit frmDownload(QWidget* parent = nullptr);

    QGroupBox* fraDataDownloaded = nullptr;
    QLabel* lblValue[7] = {};
    QLabel* lblDescr[7] = {};
    QLabel* lblAlarms = nullptr;
    QLabel* lblLost = nullptr;      // samples the logger overwrote before a reading stored them
    QLabel* lblProblem = nullptr;   // why a reading went wrong and what to do, in full
    QLabel* lblFile = nullptr;      // the logger file written
    QStatusBar* sbrStatus = nullptr;
    QPushButton* cmdClose = nullptr;
    QGroupBox* fraAlarmLog = nullptr;     // the logger's alarm log: one row per record
    QWidget* alarmRows = nullptr;
    QLabel* lblAlarmNote = nullptr;
    QGroupBox* fraHistogram = nullptr;    // the non-empty bins as bars, the total, the note
    QWidget* histogramRows = nullptr;
    QLabel* lblHistogramTotal = nullptr;
    QLabel* lblHistogramNote = nullptr;

    // Shows the dialog, runs the reading once and enables "&Close".
    void Form_Load();
    clsReadingSequence::Outcome ReadConnectedLogger();   // the dialog shows its outcome itself
    void ShowStatus(const QString& text);
    const clsReadingSequence& Sequence() const { return m_seq; }
    bool HasRun() const { return m_ran; }

private:
    void ShowEvidence();
    clsReadingSequence m_seq;
    bool m_ran = false;
};
