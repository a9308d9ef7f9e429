#include "ReportTestSupport.h"
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUrl>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

ExportData SampleExport(const std::vector<std::pair<QString, double>>& rows, bool showAlarms)
{
    ExportData d;
    d.GraphHeader = "2180543,cold room <north>";
    d.ValueCaption = "samples, (°C)";
    d.GraphFootnote = "Graph produced by NORDALIS 07.12.2026";
    d.UnitText = "°C";
    d.AlarmMin = -40;
    d.AlarmMax = 80;
    d.ShowAlarms = showAlarms;
    d.DateFormat = "DD/MM/YY";
    d.TimeFormat = "hh:nn";
    for (const auto& [t, v] : rows) {
        QDateTime time = QDateTime::fromString(t, "yyyy-MM-dd HH:mm");
        time.setTimeSpec(Qt::UTC);
        d.rows.push_back({time, v, QString::number(v)});
    }
    return d;
}

QString ReaderPython()
{
    for (const QString& p : {QString("/usr/bin/python3"), QStandardPaths::findExecutable("python3")}) {
        if (!p.isEmpty() && QFile::exists(p))
            return p;
    }
    return QString();
}

QJsonDocument RunReader(const QString& script, const QString& file, QString* message)
{
    const QString python = ReaderPython();
    if (python.isEmpty()) {
        *message = "python3 is not installed";
        return {};
    }
    QTemporaryDir dir;
    QFile f(dir.filePath("reader.py"));
    f.open(QIODevice::WriteOnly);
    f.write(script.toUtf8());
    f.close();
    QProcess p;
    p.start(python, {f.fileName(), file});
    if (!p.waitForFinished(60000) || p.exitCode() != 0) {
        *message = "reader failed: " + QString::fromUtf8(p.readAllStandardError());
        return {};
    }
    QJsonParseError e;
    QJsonDocument doc = QJsonDocument::fromJson(p.readAllStandardOutput(), &e);
    if (e.error != QJsonParseError::NoError)
        *message = "reader output is not JSON: " + e.errorString();
    return doc;
}

QJsonObject ReadBack(const QString& script, const QString& file)
{
    QString message;
    QJsonDocument doc = RunReader(script, file, &message);
    if (!message.isEmpty())
        ADD_FAILURE() << message.toStdString();
    return doc.object();
}

QJsonObject XlsxNumberCells(const QString& file)
{
    static const char* const reader = R"PY(
import json, sys, zipfile
import xml.etree.ElementTree as ET
M = "{http://schemas.openxmlformats.org/spreadsheetml/2006/main}"
z = zipfile.ZipFile(sys.argv[1])
styles = ET.fromstring(z.read("xl/styles.xml"))
codes = {n.get("numFmtId"): n.get("formatCode") for n in styles.iter(M + "numFmt")}
xfs = [x.get("numFmtId") for x in styles.find(M + "cellXfs")]
sheet = ET.fromstring(z.read("xl/worksheets/sheet1.xml"))
cells = {}
for c in sheet.iter(M + "c"):
    v = c.find(M + "v")
    if c.get("t") is None and v is not None:
        cells[c.get("r")] = {"value": float(v.text), "format": codes.get(xfs[int(c.get("s", "0"))], "")}
print(json.dumps(cells))
)PY";
    return ReadBack(reader, file);
}

QString TestDateTimeFormat(const QDateTime& t, const QString& format)
{
    if (format == "DD/MM/YY")
        return t.toString("dd/MM/yy");
    if (format == "hh:nn")
        return t.toString("HH:mm");
    return t.toString(format);
}

QString LibreOfficeProgram()
{
    for (const char* name : {"soffice", "libreoffice"}) {
        const QString p = QStandardPaths::findExecutable(name);
        if (!p.isEmpty())
            return p;
    }
    return QString();
}

QString ConvertWithLibreOffice(const QString& file, const QString& filter, const QString& outDir, QString* message)
{
    const QString office = LibreOfficeProgram();
    if (office.isEmpty()) {
        *message = "LibreOffice is not installed";
        return QString();
    }
    QDir().mkpath(outDir);
    QProcess p;
    p.start(office, {"-env:UserInstallation=" + QUrl::fromLocalFile(outDir + "/profile").toString(), "--headless",
                     "--norestore", "--convert-to", filter, "--outdir", outDir, file});
    if (!p.waitForFinished(180000) || p.exitCode() != 0) {
        p.kill();
        *message = "LibreOffice failed: " + QString::fromUtf8(p.readAllStandardError());
        return QString();
    }
    const QString extension = filter.section(':', 0, 0);
    const QString out = outDir + "/" + QFileInfo(file).completeBaseName() + "." + extension;
    if (!QFile::exists(out)) {
        *message = "LibreOffice wrote no " + out + ": " + QString::fromUtf8(p.readAllStandardOutput())
                   + QString::fromUtf8(p.readAllStandardError());
        return QString();
    }
    return out;
}

QString LibreOfficeText(const QString& file, const QString& filter, const QString& outDir)
{
    QString message;
    const QString out = ConvertWithLibreOffice(file, filter, outDir, &message);
    if (out.isEmpty()) {
        ADD_FAILURE() << message.toStdString();
        return QString();
    }
    QFile f(out);
    if (!f.open(QIODevice::ReadOnly)) {
        ADD_FAILURE() << "cannot read " << out.toStdString();
        return QString();
    }
    QString text = QString::fromUtf8(f.readAll());
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    return text.replace("\r\n", "\n");
}
