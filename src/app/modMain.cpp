// Application-wide state and the small shared routines of the start-up module.
#include "app/modMain.h"
#include "app/modInternationalisation.h"
#include "app/modFormat.h"
#include "app/modRegistry.h"

#include "app/UserInterface.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <limits>

AppState& App()
{
    static AppState state;
    return state;
}

namespace {
std::function<QDateTime()>& clockOverride()
{
    static std::function<QDateTime()> clock;
    return clock;
}
} // namespace

QDateTime NowUtc()
{
    if (clockOverride()) {
        QDateTime t = clockOverride()();
        t.setTimeSpec(Qt::UTC);
        return t;
    }
    return QDateTime::currentDateTimeUtc();
}

QDateTime NowLocal()
{
    return UtcToLocal(NowUtc());
}

void SetClockForTesting(std::function<QDateTime()> clock)
{
    clockOverride() = std::move(clock);
}

bool ClockReplaced() { return bool(clockOverride()); }

void DeviceIDToLocRoomPos(qint32 deviceId, qint32& location, qint32& room, qint32& position)
{
    position = deviceId % 100;
    room = (deviceId % 100000) / 100;
    location = deviceId / 100000;
}

qint32 LocRoomPosToDeviceID(qint32 location, qint32 room, qint32 position)
{
    const qint64 id = qint64(location) * 100000 + qint64(room) * 100 + position;
    if (id > std::numeric_limits<qint32>::max() || id < std::numeric_limits<qint32>::min()) {
        ShowMessage("6:Overflow", vbCritical, "Error in LocRoomPosToDeviceID()");
        return 0;
    }
    return qint32(id);
}

QString FormatDeviceID(qint32 deviceId)
{
    // At least twelve digits, a point before the last five and one before the last two.
    return Format(int(deviceId), "0000000\\.000\\.00");
}

QDateTime LocalToUtc(const QDateTime& local)
{
    return local.addSecs(qint64(App().UtcBias) * 60);
}

QDateTime UtcToLocal(const QDateTime& utc)
{
    return utc.addSecs(-qint64(App().UtcBias) * 60);
}

float CelsiusToFahrenheit(double value)
{
    return float(value * double(1.8f) + 32.0);
}

float FahrenheitToCelsius(double value)
{
    return float((value - 32.0) * double(0.5555556f));
}

float ToDisplayUnits(double celsius)
{
    return App().Units == 1 ? CelsiusToFahrenheit(celsius) : float(celsius);
}

bool IsDirectory(const QString& path)
{
    return !path.isEmpty() && QFileInfo(path).isDir();
}

QString BrowseForFolder(const QString& title, QWidget* owner)
{
    return CurrentUserInterface().ChooseFolder(title, owner);
}

QString NumberedName(const QString& path, int n)
{
    const QFileInfo fi(path);
    const QString dir = fi.path();
    const QString base = fi.completeBaseName();
    const QString suffix = fi.suffix();
    QString name = (fi.isDir() || suffix.isEmpty() || base.isEmpty())
                       ? fi.fileName() + QString(" (%1)").arg(n)
                       : base + QString(" (%1).").arg(n) + suffix;
    return dir + "/" + name;
}

namespace {
bool copyTree(const QString& from, const QString& to)
{
    if (!QDir().mkpath(to)) return false;
    QDir src(from);
    for (const QFileInfo& fi : src.entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot)) {
        const QString target = to + "/" + fi.fileName();
        if (fi.isDir() && !fi.isSymLink()) {
            if (!copyTree(fi.filePath(), target)) return false;
        } else if (!QFile::copy(fi.filePath(), target)) {
            return false;
        }
    }
    return true;
}

// Moves one file or folder to exactly `target`, or under a numbered name when that exists.
int moveOne(const QString& source, QString target)
{
    const QFileInfo src(source);
    if (!src.exists() && !src.isSymLink()) return 2;
    if (!QDir().mkpath(QFileInfo(target).absolutePath())) return 5;
    const QString wanted = target;
    for (int n = 2; QFileInfo::exists(target) || QFileInfo(target).isSymLink(); ++n) target = NumberedName(wanted, n);
    if (src.isDir() && !src.isSymLink()) {
        if (QDir().rename(source, target)) return 0;
        // Another file system: copy everything, and remove the source only when the copy is whole.
        if (!copyTree(source, target)) {
            QDir(target).removeRecursively();
            return 5;
        }
        return QDir(source).removeRecursively() ? 0 : 5;
    }
    // QFile::rename never overwrites; across file systems it copies and then removes the source.
    return QFile::rename(source, target) ? 0 : 5;
}
} // namespace

int MoveFiles(const QString& source, const QString& target)
{
    if (source.isEmpty() || target.isEmpty()) return 2;
    const QFileInfo si(source);
    const QString pattern = si.fileName();
    const bool wildcard = pattern.contains('*') || pattern.contains('?');
    if (wildcard) {
        // Several files: the target is the folder they go into.
        const QStringList names = QDir(si.path()).entryList({pattern}, QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden);
        if (names.isEmpty()) return 2;
        int rc = 0;
        for (const QString& name : names) {
            const int r = moveOne(si.path() + "/" + name, target + "/" + name);
            if (r != 0) rc = r;
        }
        return rc;
    }
    // An existing folder as target receives the item under its own name.
    if (IsDirectory(target) && !IsDirectory(source))
        return moveOne(source, target + "/" + si.fileName());
    return moveOne(source, target);
}

namespace {
std::function<bool(const QString&)>& desktopOpener()
{
    static std::function<bool(const QString&)> opener;
    return opener;
}
} // namespace

bool OpenWithDesktop(const QString& pathOrUrl)
{
    if (desktopOpener()) return desktopOpener()(pathOrUrl);
    return CurrentUserInterface().OpenWithDesktop(pathOrUrl);
}

void SetDesktopOpenerForTesting(std::function<bool(const QString&)> opener)
{
    desktopOpener() = std::move(opener);
}

void ShowHelp()
{
    const QString path = App().ApplicationDirectory + "/" + kHelpFileName;
    if (!QFileInfo::exists(path) || !OpenWithDesktop(path))
        ShowMessage(Translate("The help file could not be opened: ") + path, vbExclamation, QString());
}
