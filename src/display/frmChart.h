#pragma once
// The data display window "NORDALIS DATA DISPLAY": logger list, time window, value kinds,
// options and the graph. The rules live in ChartModel; this class wires the widgets to it.
#include "display/ChartModel.h"
#include <QWidget>
#include <functional>

class QCheckBox;
class QComboBox;
class QDateEdit;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTabWidget;
class QTimeEdit;
class QTreeWidget;
class QTreeWidgetItem;

// The graph area picGraph: the screen target of DoGraph (drawn into a picture kept with the
// widget, so that it can also be copied) and the time-span selection with the marker.
class ChartWidget : public QWidget {
    Q_OBJECT
public:
    explicit ChartWidget(QWidget* parent = nullptr);
    void Draw(ChartState& state);              // DoGraph on this widget
    const QImage& Picture() const { return m_picture; }
    ChartMarker& Marker() { return m_marker; }
    // Plot coordinates of a widget pixel after the last graph.
    QPointF ToPlot(const QPointF& pixel) const;
    QPointF FromPlot(double x, double y) const;
    bool HasGraph() const { return m_hasGraph; }
    // The texts of the last graph with their boxes in widget pixels (see ChartText).
    const std::vector<ChartText>& DrawnTexts() const { return m_texts; }
signals:
    void MouseDownAt(Qt::MouseButton button, double x);
    void MouseMoveAt(bool leftHeld, double x);
    void Resized();
protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent*) override;
    void mouseMoveEvent(QMouseEvent*) override;
    void resizeEvent(QResizeEvent*) override;
private:
    QImage m_picture;
    ChartMarker m_marker;
    std::vector<ChartText> m_texts;
    double m_left = 0, m_top = 0, m_width = 1, m_height = 1;
    bool m_hasGraph = false;
};

class frmChart;
// Handlers of the tab "Reports" and of "&Print" (the exports); unset ones do nothing.
struct ChartExportHandlers {
    std::function<void(frmChart&)> excel, word, clipboard, htm, print, openReport;
    std::function<void(frmChart&)> missionReport;   // the mission report of the logger and window as PDF
};
void SetChartExportHandlers(const ChartExportHandlers& handlers);

class frmChart : public QWidget {
    Q_OBJECT
public:
    explicit frmChart(QWidget* parent = nullptr);
    ~frmChart() override;

    ChartModel& Model() { return m_model; }
    ChartState& State() { return m_model.State; }
    ChartWidget* Graph() { return picGraph; }
    QListWidget* ReportList() { return lstReports; }

    // Event handlers (public so that tests and the exports can run them).
    void Form_Load();
    void cmdUpdate_Click();
    void cmdRange_Click(int index);
    void cmbValues_Click();
    void cmbTimediff_Click();
    void cmbTZoffset_Click();
    void lvwDevices_ItemClick(QTreeWidgetItem* item);
    void tabOptions_Click();
    void Form_Resize();

signals:
    void closed();   // the main menu shows itself again

protected:
    void closeEvent(QCloseEvent*) override;
    void showEvent(QShowEvent*) override;

private:
    void BuildWidgets();
    void ToModel();          // widgets -> model inputs and window
    void FromModel();        // model inputs and window -> widgets
    void FromPickers();      // start changed
    void ToPickers();        // end changed
    void UpdatePreviews();
    void ShowAlarmFault(ChartModel::Focus focus);   // Focus::None clears the notes
    void ShowEvidence();     // the excursion list beside the graph from the last query
    void FitEvidenceWidth(); // the list as wide as its columns, the graph keeping most of the window
    void FitEvidenceColumns(); // each column as wide as its texts

    ChartModel m_model;
    bool m_syncing = false;
    bool m_loaded = false;

public:
    QTabWidget* tabOptions = nullptr;
    QTreeWidget* lvwDevices = nullptr;
    QLineEdit* txtPositionID = nullptr;
    QDateEdit* dtpFromDate = nullptr;
    QTimeEdit* dtpFromTime = nullptr;
    QDateEdit* dtpToDate = nullptr;
    QTimeEdit* dtpToTime = nullptr;
    QComboBox* cmbTimediff = nullptr;
    QPushButton* cmdRange[3] = {nullptr, nullptr, nullptr};
    QCheckBox* chkShowAlarms = nullptr;
    QLineEdit* txtAlarmMax = nullptr;
    QLineEdit* txtAlarmMin = nullptr;
    QLabel* lblAlarmMax = nullptr;
    QLabel* lblAlarmMin = nullptr;
    QLabel* lblAlarmMaxError = nullptr;   // why a level was refused, beside its box
    QLabel* lblYScaleError = nullptr;     // a scale limit that is no number, under the two boxes
    QLabel* lblAlarmMinError = nullptr;
    QLineEdit* txtHeader = nullptr;
    QLineEdit* txtFootNote = nullptr;
    QComboBox* cmbValues = nullptr;
    QCheckBox* chkTransitionsOnly = nullptr;
    QCheckBox* chkKeepYScale = nullptr;
    QLineEdit* txtYMax = nullptr;
    QLineEdit* txtYMin = nullptr;
    QCheckBox* chkTicks = nullptr;
    QCheckBox* chkLines = nullptr;
    QComboBox* cmbDateFormat = nullptr;
    QComboBox* cmbTimeFormat = nullptr;
    QLabel* lblDatePreview = nullptr;
    QLabel* lblTimePreview = nullptr;
    QComboBox* cmbTZoffset = nullptr;
    QPushButton* cmdExcel = nullptr;
    QPushButton* cmdWord = nullptr;
    QPushButton* cmdClipBoard = nullptr;
    QPushButton* cmdHTM = nullptr;
    QPushButton* cmdMissionReport = nullptr;
    QGroupBox* fraReports = nullptr;
    QListWidget* lstReports = nullptr;
    QPushButton* cmdOpenReport = nullptr;
    QPushButton* cmdUpdate = nullptr;
    QPushButton* cmdClose = nullptr;
    QPushButton* cmdHelp = nullptr;
    QPushButton* cmdPrint = nullptr;
    QFrame* fraSettings = nullptr;
    ChartWidget* picGraph = nullptr;
    QFrame* fraEvidence = nullptr;
    QLabel* lblEvidence = nullptr;       // MKT, time out of range and share in range
    QTreeWidget* lvwExcursions = nullptr;
};

// Makes the main menu's "&DISPLAY DATA" button open a new data display window each time; the
// window is deleted when it closes and the main menu shows itself again.
void InstallChartWindow();
