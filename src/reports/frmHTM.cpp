#include "reports/frmHTM.h"
#include "app/modInternationalisation.h"
#include "ui/WindowRoutines.h"
#include "app/modMain.h"
#include "reports/ChartExports.h"
#include "app/UserInterface.h"
#include <optional>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

frmHTM::frmHTM(const ChartState& state, const QImage& graphPicture, QWidget* parent)
    : QDialog(parent), m_state(state), m_graph(graphPicture)
{
    setObjectName("frmHTM");
    setWindowTitle("report as a webpage");
    setModal(true);
    fraOptions = new QGroupBox("options", this);
    fraOptions->setObjectName("fraOptions");
    cmbHeader = new QComboBox(fraOptions);
    cmbHeader->setObjectName("cmbHeader");
    cmbHeader->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    cmbHeader->setMinimumContentsLength(12);
    chkTable = new QCheckBox("display &table", fraOptions);
    chkTable->setObjectName("chkTable");
    chkTable->setChecked(true);
    chkGraph = new QCheckBox("display &graph", fraOptions);
    chkGraph->setObjectName("chkGraph");
    chkMarkExceptions = new QCheckBox("mark e&xceptions", fraOptions);
    chkMarkExceptions->setObjectName("chkMarkExceptions");
    cmbBorderWidth = new QComboBox(fraOptions);
    cmbBorderWidth->setObjectName("cmbBorderWidth");
    cmbBorderWidth->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    cmbColumns = new QComboBox(fraOptions);
    cmbColumns->setObjectName("cmbColumns");
    cmbColumns->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    auto* lblStyle = new QLabel("use &style", fraOptions);
    lblStyle->setObjectName("lblStyle");
    lblStyle->setBuddy(cmbHeader);
    auto* lblBorder = new QLabel("table &borderwidth", fraOptions);
    lblBorder->setObjectName("lblBorderWidth");
    lblBorder->setBuddy(cmbBorderWidth);
    auto* lblColumns = new QLabel("no of &columns", fraOptions);
    lblColumns->setObjectName("lblColumns");
    lblColumns->setBuddy(cmbColumns);
    // Labels right of nothing, fields at their own size; the check boxes line up with the fields.
    auto* form = new QFormLayout(fraOptions);
    form->setFieldGrowthPolicy(QFormLayout::FieldsStayAtSizeHint);
    form->setLabelAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    form->addRow(lblStyle, cmbHeader);
    form->addRow(QString(), chkTable);
    form->addRow(QString(), chkGraph);
    form->addRow(QString(), chkMarkExceptions);
    form->addRow(lblBorder, cmbBorderWidth);
    form->addRow(lblColumns, cmbColumns);

    // Where the last page went, or why nothing was written.
    lblStatus = new QLabel(this);
    lblStatus->setObjectName("lblStatus");
    lblStatus->setWordWrap(true);
    lblStatus->setTextInteractionFlags(Qt::TextSelectableByMouse);
    lblStatus->setMinimumWidth(fontMetrics().averageCharWidth() * 56);
    lblStatus->setMinimumHeight(fontMetrics().lineSpacing() * 2);
    lblStatus->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    cmdDoReport = new QPushButton("Save and View", this);
    cmdDoReport->setObjectName("cmdDoReport");
    cmdDoReport->setDefault(true);
    cmdOpenDirectory = new QPushButton("View report directory", this);
    cmdOpenDirectory->setObjectName("cmdOpenDirectory");
    cmdClose = new QPushButton("Exit", this);
    cmdClose->setObjectName("cmdClose");
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cmdDoReport);
    buttons->addWidget(cmdOpenDirectory);
    buttons->addWidget(cmdClose);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(fraOptions);
    layout->addWidget(lblStatus);
    layout->addStretch(1);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetMinimumSize);

    connect(cmdDoReport, &QPushButton::clicked, this, [this] { cmdDoReport_Click(); });
    connect(cmdOpenDirectory, &QPushButton::clicked, this, [this] { cmdOpenDirectory_Click(); });
    connect(cmdClose, &QPushButton::clicked, this, [this] { cmdClose_Click(); });
    Form_Load();
}

void frmHTM::Form_Load()
{
    TranslateForm(this);
    cmbBorderWidth->clear();
    for (int i = 0; i <= 5; ++i)
        cmbBorderWidth->addItem(QString::number(i));
    cmbBorderWidth->setCurrentIndex(1);
    cmbColumns->clear();
    for (int i = 1; i <= 10; ++i)
        cmbColumns->addItem(QString::number(i));
    cmbColumns->setCurrentIndex(2);
    cmbHeader->clear();
    cmbHeader->addItems(clsWebReport::StyleNames(StylesDirectory(App().ApplicationDirectory)));
    cmbHeader->setCurrentIndex(cmbHeader->count() > 0 ? 0 : -1);
    lblStatus->setText(Translate("Web pages are saved in the report directory %1.")
                           .arg(QDir::toNativeSeparators(ReportDirectory(App().ApplicationDirectory))));
}

WebReportOptions frmHTM::Options() const
{
    WebReportOptions o;
    o.Style = cmbHeader->currentText();
    o.StylesDirectory = StylesDirectory(App().ApplicationDirectory);
    o.Table = chkTable->isChecked();
    o.Graph = chkGraph->isChecked();
    o.MarkExceptions = chkMarkExceptions->isChecked();
    o.Columns = cmbColumns->currentText().toInt();
    o.BorderWidth = cmbBorderWidth->currentText();
    return o;
}

bool frmHTM::BuildReport(const QString& directory, const QString& fileName, QString* error)
{
    clsWebReport report(WebReportDataFromChart(m_state), TranslatedExportTexts(), CurrentWebReportContext());
    return report.BuildReport(directory, fileName, Options(), m_graph, error);
}

QString frmHTM::cmdDoReport_Click()
{
    const QString caption = windowTitle();
    if (!chkTable->isChecked() && !chkGraph->isChecked()) {
        // A page of the templates alone shows nothing of the query.
        const QString why = clsWebReport::NothingToShowMessage();
        ShowStatus(why);
        ShowMessage(why, vbOKOnly | vbExclamation, caption);
        return QString();
    }
    const QString dir = ReportDirectory(App().ApplicationDirectory);
    QDir().mkpath(dir);
    const QString def = clsWebReport::DefaultFileName(FormatDeviceID(m_state.DeviceID), NowLocal().date());
    const QString chosen = AskSaveFileName(this, Translate("save report as"), dir, def,
                                           Translate("webpage") + " (*.htm *.html)", OutputKind::WebPage);
    if (chosen.isEmpty())
        return QString();
    // The page always goes into the report directory, whatever folder was browsed to.
    const QString name = QFileInfo(chosen).fileName();
    const QString page = QDir(dir).filePath(name);
    std::optional<BusyCursor> busy(std::in_place);
    QString error;
    const bool ok = BuildReport(dir, name, &error);
    busy.reset();
    if (!ok) {
        ShowStatus(error);
        ShowMessage(error, vbOKOnly | vbCritical, Translate("Error in BuildReport"));
        return QString();
    }
    QString written = Translate("The web page was saved as %1.").arg(QDir::toNativeSeparators(page));
    if (chkGraph->isChecked()) {
        const QString picture = QDir(dir).filePath(clsWebReport::GraphPictureName(name));
        written += "\n" + Translate("The graph picture was saved as %1.").arg(QDir::toNativeSeparators(picture));
    }
    ShowStatus(written);
    if (!OpenWithDesktop(page))
        ShowMessage(written + "\n\n" + Translate("No program could be started to show it; open the file yourself."),
                    vbOKOnly | vbExclamation, caption);
    return page;
}

void frmHTM::cmdOpenDirectory_Click()
{
    const QString dir = ReportDirectory(App().ApplicationDirectory);
    QDir().mkpath(dir);
    if (!OpenWithDesktop(dir))
        ShowMessage(Translate("No program could be started to show the report directory %1.")
                        .arg(QDir::toNativeSeparators(dir)),
                    vbOKOnly | vbExclamation, windowTitle());
}

void frmHTM::ShowStatus(const QString& text)
{
    lblStatus->setText(text);
    // A longer text makes the dialog taller rather than squeezing the options.
    layout()->activate();
    const int needed = layout()->totalHeightForWidth(width());
    if (needed > height())
        resize(width(), needed);
}

void frmHTM::cmdClose_Click()
{
    hide();
}
