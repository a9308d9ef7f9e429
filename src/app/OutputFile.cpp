#include "app/OutputFile.h"
#include "app/modInternationalisation.h"
#include "app/modMain.h"
#include "app/modRegistry.h"
#include <QDir>
#include <QFileInfo>

namespace {

#if defined(Q_OS_WIN) || defined(Q_OS_MACOS)
constexpr Qt::CaseSensitivity kFileNameCase = Qt::CaseInsensitive;
#else
constexpr Qt::CaseSensitivity kFileNameCase = Qt::CaseSensitive;
#endif

// The path as the file system sees it: the canonical path of an existing file (links and ".."
// resolved), else the canonical folder it would go into and the name.
QString resolved(const QString& path)
{
    const QFileInfo info(path);
    if (info.exists())
        return info.canonicalFilePath();
    const QFileInfo folder(info.absolutePath());
    if (folder.exists())
        return QDir(folder.canonicalFilePath()).filePath(info.fileName());
    return QDir::cleanPath(info.absoluteFilePath());
}

// Why a name is the program's data by its ending alone; empty when it is not.
QString dataKindOf(const QString& fileName)
{
    for (const char* companion : {"", "-journal", "-wal", "-shm"}) {
        if (fileName.endsWith(QStringLiteral(".mde") + QLatin1String(companion), Qt::CaseInsensitive))
            return Translate("it is a database file of the program");
    }
    if (fileName.endsWith(QStringLiteral(".dta"), Qt::CaseInsensitive))
        return Translate("it is a logger file");
    if (fileName.endsWith(QStringLiteral(".alh"), Qt::CaseInsensitive))
        return Translate("it is the companion file of a logger file");
    return QString();
}

bool inside(const QString& file, const QString& folder)
{
    if (folder.isEmpty())
        return false;
    const QString f = resolved(folder);
    return file.compare(f, kFileNameCase) == 0 || file.startsWith(f + QLatin1Char('/'), kFileNameCase);
}

// Why the resolved path lies among the program's own files; empty when it does not.
QString placeOf(const QString& file)
{
    const AppState& a = App();
    if (inside(file, a.BackupDirectory))
        return Translate("it lies in the backup folder of logger files and database copies");
    if (!a.BackupDirectory.isEmpty()
        && inside(file, QDir(QFileInfo(a.BackupDirectory).absolutePath()).filePath(QStringLiteral("rejected"))))
        return Translate("it lies in the folder of rejected logger files");
    if (!a.ApplicationDirectory.isEmpty()) {
        if (inside(file, QDir(a.ApplicationDirectory).filePath(QStringLiteral("reports/styles"))))
            return Translate("it lies among the report templates");
        if (file.compare(resolved(QDir(a.ApplicationDirectory).filePath(QLatin1String(kHelpFileName))), kFileNameCase) == 0)
            return Translate("it is the program's help page");
    }
    if (!RegistryFile().isEmpty() && file.compare(resolved(RegistryFile()), kFileNameCase) == 0)
        return Translate("it is the program's configuration store");
    return QString();
}

} // namespace

QStringList OutputEndings(OutputKind kind)
{
    switch (kind) {
    case OutputKind::Spreadsheet: return {QStringLiteral("xlsx")};
    case OutputKind::Document: return {QStringLiteral("docx"), QStringLiteral("odt")};
    case OutputKind::WebPage: return {QStringLiteral("htm"), QStringLiteral("html")};
    case OutputKind::Pdf: return {QStringLiteral("pdf")};
    case OutputKind::Picture: return {QStringLiteral("png")};
    }
    return {};
}

QString RefuseOutputFile(const QString& path, OutputKind kind)
{
    if (path.trimmed().isEmpty())
        return Translate("No file name was given. Nothing was written.");
    const QString file = resolved(path);
    const QString given = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    // A name that leads elsewhere (a link) says where it leads.
    const QString shown = file.compare(given, kFileNameCase) == 0
                              ? QDir::toNativeSeparators(given)
                              : Translate("%1 (that is %2)").arg(QDir::toNativeSeparators(given), QDir::toNativeSeparators(file));
    auto refuse = [&](const QString& reason) {
        return Translate("%1 is not written: %2. Nothing was written.").arg(shown, reason);
    };
    if (QFileInfo(file).isDir())
        return refuse(Translate("it is a folder"));
    for (const QString& name : {QFileInfo(path).fileName(), QFileInfo(file).fileName()}) {
        const QString why = dataKindOf(name);
        if (!why.isEmpty())
            return refuse(why);
    }
    const QString why = placeOf(file);
    if (!why.isEmpty())
        return refuse(why);
    const QStringList endings = OutputEndings(kind);
    const QString suffix = QFileInfo(path).suffix();
    for (const QString& e : endings) {
        if (suffix.compare(e, Qt::CaseInsensitive) == 0)
            return QString();
    }
    const QString wanted = endings.size() == 1 ? "." + endings[0]
                                               : Translate("%1 or %2").arg("." + endings[0], "." + endings[1]);
    return refuse(Translate("the name must end in %1").arg(wanted));
}
