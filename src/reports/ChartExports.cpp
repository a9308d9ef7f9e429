#include "reports/ChartExports.h"
#include "app/modInternationalisation.h"
#include "app/modMain.h"
#include "db/clsDatabase.h"
#include "reports/DocumentExport.h"
#include "reports/MissionReport.h"
#include "reports/ExportFormat.h"
#include "app/UserInterface.h"
#include <optional>
#include "reports/WebReport.h"
#include <QClipboard>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPagedPaintDevice>

namespace {

ExportData exportData(const ChartState& s, bool localTimes)
{
    ExportData d;
    d.GraphHeader = s.GraphHeader;
    d.ValueCaption = s.ValueCaption;
    d.GraphFootnote = s.GraphFootnote;
    d.UnitText = s.UnitText;
    d.AlarmMin = s.AlarmMin;
    d.AlarmMax = s.AlarmMax;
    d.ShowAlarms = s.ShowAlarms;
    d.DateFormat = s.DateFormat;
    d.TimeFormat = s.TimeFormat;
    d.rows.reserve(s.Samples.size());
    std::vector<double> values;
    values.reserve(s.Samples.size());
    for (const ChartRow& r : s.Samples) {
        d.rows.push_back({localTimes ? UtcToLocal(r.Time) : r.DisplayTime, r.Value, r.ValueText});
        values.push_back(r.Value);
    }
    if (!s.SerialNo.isEmpty() || !s.DeviceDescription.isEmpty()) d.Logger = s.SerialNo + ", " + s.DeviceDescription;
    d.Evidence = localTimes ? EvidenceTableOf(s, [](const QDateTime& t) { return UtcToLocal(t); }) : EvidenceTableOf(s);
    const bool aggregate = IsTextValueKind(s.Kind) || IsMktKind(s.Kind);
    d.ValueDecimals = ValueDecimals(values, aggregate ? ValueResolution::Unknown : StoredLoggerResolution(s.SerialNo),
                                    aggregate);
    return d;
}

QString nowText()
{
    return NowLocal().toString("yyyy-MM-dd HH:mm:ss");
}

void showExportError(const QString& title, const QString& message)
{
    ShowMessage(message, vbOKOnly | vbCritical, title);
}

// Says where the file went, and opens it; when no program could be started for it, says so.
void announceWritten(const QString& sentence, const QString& path)
{
    const QString written = Translate(sentence).arg(QDir::toNativeSeparators(path));
    if (OpenWithDesktop(path))
        ShowMessage(written, vbOKOnly | vbInformation, Translate("export"));
    else
        ShowMessage(written + "\n\n" + Translate("No program could be started to show it; open the file yourself."),
                    vbOKOnly | vbExclamation, Translate("export"));
}

} // namespace

ValueResolution StoredLoggerResolution(const QString& serialNo)
{
    if (serialNo.trimmed().isEmpty())
        return ValueResolution::Unknown;
    QString steps;
    try {
        steps = AppDatabase().Parameter(LoggerStepsParameterName(serialNo.trimmed()), QString()).trimmed();
    } catch (const DbError&) {
        return ValueResolution::Unknown;
    }
    if (steps == QLatin1String("0.5"))
        return ValueResolution::HalfDegree;
    if (steps == QLatin1String("0.125"))
        return ValueResolution::EighthDegree;
    return ValueResolution::Unknown;
}

ExportData ExportDataFromChart(const ChartState& state) { return exportData(state, false); }
ExportData WebReportDataFromChart(const ChartState& state) { return exportData(state, true); }

ExportTexts TranslatedExportTexts()
{
    ExportTexts t;
    t.ProducedBy = Translate(t.ProducedBy);
    t.AlarmLimitMin = Translate(t.AlarmLimitMin);
    t.CommaAlarmLimitMin = Translate(t.CommaAlarmLimitMin);
    t.Max = Translate(t.Max);
    t.Date = Translate(t.Date);
    t.Records = Translate(t.Records);
    t.ReportDateHeading = Translate(t.ReportDateHeading);
    return t;
}

QStringList ReportDatabaseNames(const QString& reportDirectory)
{
    QStringList names;
    for (const QString& f : QDir(reportDirectory).entryList({"report *.mde"}, QDir::Files, QDir::Name))
        names << f.mid(7, f.size() - 7 - 4);
    return names;
}

bool PrintGraph(ChartState& state, QPagedPaintDevice& printer)
{
    PrinterSurface surface(printer);
    if (!surface.Ok())
        return false;
    DoGraph(surface, state);
    surface.Finish();
    return true;
}

bool WriteDocumentExport(const ChartState& state, const QString& path, QString* error)
{
    const DocumentContent c = BuildDocumentContent(ExportDataFromChart(state), TranslatedExportTexts(),
                                                   FormatChartTime, nowText());
    return WriteDocument(path, c, error);
}

WebReportContext CurrentWebReportContext()
{
    WebReportContext c;
    c.NowText = NowLocal().toString("yyyy-MM-dd HH:mm:ss");
    c.AppVersion = QString("%1.%2.%3").arg(NORDALIS_VERSION_MAJOR).arg(NORDALIS_VERSION_MINOR).arg(NORDALIS_VERSION_PATCH);
    c.LocationID = QString::number(App().LocationID);
    c.LocationDescription = App().LocationDescr;
    c.UserName = App().CurrentUserName;
    c.ComputerName = App().ComputerName;
    c.Format = FormatChartTime;
    return c;
}

clsChartExports::clsChartExports(QWidget* owner) : m_owner(owner) {}

QString clsChartExports::AskExportFile(const ChartState& state, OutputKind kind, const QString& filter)
{
    const QString dir = ReportDirectory(App().ApplicationDirectory);
    QDir().mkpath(dir);
    QString name = clsWebReport::DefaultFileName(FormatDeviceID(state.DeviceID), NowLocal().date());
    name = name.left(name.size() - 4) + "." + OutputEndings(kind).value(0);
    if (kind == OutputKind::Spreadsheet && !m_sheetFile.isEmpty())
        name = QFileInfo(m_sheetFile).fileName();
    return AskSaveFileName(m_owner, Translate("save export as"), dir, name, filter, kind);
}

bool clsChartExports::cmdExcel_Click(const ChartState& state)
{
    const QString path = AskExportFile(state, OutputKind::Spreadsheet, Translate("spreadsheet") + " (*.xlsx)");
    if (path.isEmpty())
        return false;
    std::optional<BusyCursor> busy(std::in_place);
    // The worksheet of this window session takes the new block; the file holds all of them.
    clsWorksheet next = m_sheet;
    WriteSpreadsheetExport(next, ExportDataFromChart(state), TranslatedExportTexts());
    QString error;
    const bool ok = next.SaveXlsx(path, &error);
    busy.reset();
    if (!ok) {
        showExportError(Translate("Error in cmdExcel_Click"), error);
        return false;
    }
    m_sheet = next;
    m_sheetFile = path;
    announceWritten("The spreadsheet was saved as %1.", path);
    return true;
}

bool clsChartExports::cmdWord_Click(const ChartState& state)
{
    // Word or OpenDocument text, as the name chosen ends.
    const QString path = AskExportFile(state, OutputKind::Document,
                                       Translate("document") + " (*.docx);;" + Translate("OpenDocument text") + " (*.odt)");
    if (path.isEmpty())
        return false;
    std::optional<BusyCursor> busy(std::in_place);
    QString error;
    const bool ok = WriteDocumentExport(state, path, &error);
    busy.reset();
    if (!ok) {
        showExportError(Translate("Error in cmdWord_Click"), error);
        return false;
    }
    announceWritten("The document was saved as %1.", path);
    return true;
}

bool clsChartExports::cmdMissionReport_Click(const ChartState& state)
{
    if (state.DeviceID <= 0 || !state.WindowFrom.isValid()) {
        showExportError(Translate("mission report"), Translate("Choose a logger and a period and apply them first."));
        return false;
    }
    const QString path = AskExportFile(state, OutputKind::Pdf, Translate("mission report") + " (*.pdf)");
    if (path.isEmpty())
        return false;
    std::optional<BusyCursor> busy(std::in_place);
    QString error;
    const MissionReportResult r = WriteMissionReport(AppDatabase(), MissionReportRequestOf(state), path, &error);
    busy.reset();
    if (r != MissionReportResult::Written) {
        showExportError(Translate("mission report"), error);
        return false;
    }
    announceWritten("The mission report was saved as %1.", path);
    return true;
}

void clsChartExports::cmdClipBoard_Click(const QImage& graphPicture)
{
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    clipboard->setImage(graphPicture);
    ShowMessage(Translate("The graph picture is on the clipboard (%1 x %2 pixels).")
                    .arg(graphPicture.width())
                    .arg(graphPicture.height()),
                vbOKOnly | vbInformation, Translate("export"));
}

bool clsChartExports::cmdOpenReport_Click(const QString& name)
{
    const QString path = ReportDirectory(App().ApplicationDirectory) + "/report " + name + ".mde";
    if (name.isEmpty() || !QFileInfo::exists(path))
        return false;
    return OpenWithDesktop(path);
}
