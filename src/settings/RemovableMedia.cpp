#include "settings/RemovableMedia.h"

#include "app/modInternationalisation.h"
#include "settings/clsMaintenance.h"

#include <QDir>
#include <QFileInfo>
#include <QStorageInfo>

#include <algorithm>

namespace {

std::function<std::vector<MediaVolume>()>& volumesForTesting()
{
    static std::function<std::vector<MediaVolume>()> f;
    return f;
}

QString clean(const QString& path)
{
    return path.isEmpty() ? QString() : QDir::cleanPath(QDir::fromNativeSeparators(path));
}

bool within(const QString& path, const QString& root)
{
    const QString p = clean(path), r = clean(root);
    if (p.isEmpty() || r.isEmpty())
        return false;
    if (p == r)
        return true;
    return p.startsWith(r.endsWith(QLatin1Char('/')) ? r : r + QLatin1Char('/'));
}

// The volume that holds the path: the one with the longest mount point above it.
const MediaVolume* volumeOf(const std::vector<MediaVolume>& volumes, const QString& path)
{
    const MediaVolume* best = nullptr;
    for (const MediaVolume& v : volumes)
        if (within(path, v.rootPath) && (!best || clean(v.rootPath).size() > clean(best->rootPath).size()))
            best = &v;
    return best;
}

} // namespace

void SetMountedVolumesForTesting(std::function<std::vector<MediaVolume>()> volumes)
{
    volumesForTesting() = std::move(volumes);
}

std::vector<MediaVolume> MountedVolumes()
{
    if (volumesForTesting())
        return volumesForTesting()();
    std::vector<MediaVolume> out;
    for (const QStorageInfo& s : QStorageInfo::mountedVolumes()) {
        if (!s.isValid())
            continue;
        MediaVolume v;
        v.rootPath = s.rootPath();
        v.name = s.displayName();
        v.device = QString::fromLocal8Bit(s.device());
        v.fileSystem = QString::fromLatin1(s.fileSystemType());
        v.readOnly = s.isReadOnly();
        v.systemRoot = s.isRoot() || s.rootPath() == QLatin1String("/");
        if (!s.isReady())
            continue;
        out.push_back(v);
    }
    return out;
}

bool IsRemovableMediaVolume(const MediaVolume& v)
{
    const QString root = clean(v.rootPath);
    if (v.systemRoot || root.isEmpty() || root == QLatin1String("/"))
        return false;
    static const char* const systemFolders[] = {"/boot", "/usr", "/var", "/home", "/opt", "/srv", "/proc",
                                                "/sys", "/dev", "/snap", "/etc", "/root", "/efi", "/nix"};
    for (const char* f : systemFolders)
        if (within(root, QString::fromLatin1(f)))
            return false;
    // /run holds the desktop's own mounts under /run/media; the rest of it is the system's.
    if (within(root, QStringLiteral("/run")) && !within(root, QStringLiteral("/run/media")))
        return false;
    static const char* const pseudo[] = {"tmpfs",  "devtmpfs", "proc",   "sysfs",     "squashfs", "overlay",
                                         "cgroup", "cgroup2",  "devpts", "securityfs", "debugfs", "tracefs",
                                         "pstore", "bpf",      "mqueue", "hugetlbfs", "autofs",  "fusectl",
                                         "configfs", "binfmt_misc", "efivarfs", "ramfs", "nsfs", "rpc_pipefs"};
    for (const char* f : pseudo)
        if (v.fileSystem == QLatin1String(f))
            return false;
    return true;
}

std::vector<MediaVolume> RemovableVolumes()
{
    std::vector<MediaVolume> out;
    for (const MediaVolume& v : MountedVolumes())
        if (IsRemovableMediaVolume(v))
            out.push_back(v);
    std::sort(out.begin(), out.end(),
              [](const MediaVolume& a, const MediaVolume& b) { return clean(a.rootPath) < clean(b.rootPath); });
    return out;
}

QString MediaVolumeText(const MediaVolume& v)
{
    const QString path = QDir::toNativeSeparators(v.rootPath);
    QString name = v.name.trimmed();
    if (name.isEmpty() || clean(name) == clean(v.rootPath))
        name = QFileInfo(clean(v.rootPath)).fileName();
    QString text = name.isEmpty() ? path : name + QStringLiteral("  (") + path + QLatin1Char(')');
    if (v.readOnly)
        text += QStringLiteral(", ") + Translate(QStringLiteral("read only"));
    return text;
}

bool IsOnRemovableMedia(const QString& path, const QString& mediaDirectory)
{
    return within(path, mediaDirectory);
}

QString RemovableMediaProblem(const QString& mediaDirectory)
{
    const QString path = QDir::toNativeSeparators(mediaDirectory);
    if (clean(mediaDirectory).isEmpty())
        return Translate(QStringLiteral("no removable media is chosen: choose a mounted volume in the settings"));
    const std::vector<MediaVolume> mounted = MountedVolumes();
    const MediaVolume* holder = volumeOf(mounted, mediaDirectory);
    if (!holder || !IsRemovableMediaVolume(*holder)) {
        // A folder on the system disk is no medium: it would fill the system disk and the
        // files would not travel anywhere.
        return Translate(QStringLiteral("no removable media is mounted at ")) + path +
               Translate(QStringLiteral(": insert the medium, or choose a mounted volume in the settings"));
    }
    if (!QFileInfo(mediaDirectory).isDir())
        return Translate(QStringLiteral("the folder ")) + path +
               Translate(QStringLiteral(" is not on the mounted medium: choose the medium again in the settings"));
    return QString();
}

bool ChooseRemovableMedia(const QString& rootPath, QString* why)
{
    for (const MediaVolume& v : RemovableVolumes()) {
        if (clean(v.rootPath) == clean(rootPath)) {
            SetRemovableMediaDirectory(clean(v.rootPath));
            if (RemovableMediaDirectory() != clean(v.rootPath)) {
                if (why)
                    *why = Translate(QStringLiteral("the choice could not be kept in the configuration store"));
                return false;
            }
            return true;
        }
    }
    if (why)
        *why = Translate(QStringLiteral("no removable media is mounted at ")) + QDir::toNativeSeparators(rootPath) +
               Translate(QStringLiteral(": insert the medium, or choose a mounted volume in the settings"));
    return false;
}
