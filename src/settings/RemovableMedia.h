#pragma once
// The removable media that logger files and the portable database travel on (the floppy drive
// of old): which mounted volumes may be chosen, and whether the chosen one is there now.
//
// A volume counts as removable media when it is mounted, ready and not a volume of the system
// itself (the root file system, /boot, /usr, /var, /home ..., pseudo file systems such as tmpfs,
// proc or squashfs). Nothing here ever creates a mount point: a medium that is not mounted is
// reported, never replaced by a folder on the system disk.
#include <QString>
#include <functional>
#include <vector>

struct MediaVolume {
    QString rootPath;      // where it is mounted, such as /media/anna/STICK
    QString name;          // its label (may be empty)
    QString device;        // such as /dev/sdb1
    QString fileSystem;    // such as vfat
    bool readOnly = false;
    bool systemRoot = false;   // the volume mounted at "/"
};

// Every mounted volume (QStorageInfo::mountedVolumes()), or what a test installed.
std::vector<MediaVolume> MountedVolumes();
// Tests: the mounted volumes are these (an empty function restores the real list).
void SetMountedVolumesForTesting(std::function<std::vector<MediaVolume>()> volumes);

// Whether a mounted volume may serve as removable media (see above).
bool IsRemovableMediaVolume(const MediaVolume& volume);
// The mounted volumes that may be chosen, in the order of their mount points.
std::vector<MediaVolume> RemovableVolumes();
// The text of a volume in the settings' list: "STICK (/media/anna/STICK)".
QString MediaVolumeText(const MediaVolume& volume);

// Why the removable media folder cannot be used now (translated), empty when it can: it must
// lie on (or be) a mounted removable volume, and exist.
QString RemovableMediaProblem(const QString& mediaDirectory);
// True when the path lies inside the removable media folder (or is it).
bool IsOnRemovableMedia(const QString& path, const QString& mediaDirectory);

// The settings' choice: the mount point of a listed volume becomes the removable media folder.
// Anything else is refused with *why set and nothing changed.
[[nodiscard]] bool ChooseRemovableMedia(const QString& rootPath, QString* why = nullptr);
