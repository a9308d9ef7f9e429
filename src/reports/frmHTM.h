#pragma once
// "report as a webpage": turns the data display's last query into a page from a style's
// templates, saves it in the report directory and shows it in the browser.
#include "display/ChartData.h"
#include "reports/WebReport.h"
#include <QDialog>
#include <QImage>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;

class frmHTM : public QDialog {
public:
    // state: the data display's state at the moment the dialog opens (modal, so it stays so);
    // graphPicture: the graph as shown in the window.
    frmHTM(const ChartState& state, const QImage& graphPicture, QWidget* parent = nullptr);

    QGroupBox* fraOptions;
    QComboBox* cmbHeader;
    QCheckBox* chkTable;
    QCheckBox* chkGraph;
    QCheckBox* chkMarkExceptions;
    QComboBox* cmbBorderWidth;
    QComboBox* cmbColumns;
    QPushButton* cmdDoReport;
    QPushButton* cmdOpenDirectory;
    QPushButton* cmdClose;
    QLabel* lblStatus;           // where the last page was written, or why it was not

    void Form_Load();
    // Save dialog, the page, then the browser; says where the page went, and when no browser
    // could be started. Refused, with a message, when neither the table nor the graph is
    // chosen. Returns the page written (empty when cancelled, refused or failed).
    QString cmdDoReport_Click();
    void cmdOpenDirectory_Click();
    void cmdClose_Click();
    // Writes directory/fileName from the current options.
    bool BuildReport(const QString& directory, const QString& fileName, QString* error = nullptr);
    WebReportOptions Options() const;

private:
    void ShowStatus(const QString& text);
    const ChartState& m_state;
    QImage m_graph;
};
