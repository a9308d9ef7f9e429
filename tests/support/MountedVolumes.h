#pragma once
// Removable media for tests: the mounted volumes are the system's root file system, a few system
// volumes (/boot/efi, a tmpfs under /run) and the folders given, as removable vfat volumes.
#include "settings/RemovableMedia.h"

#include <QFileInfo>
#include <QStringList>

inline std::vector<MediaVolume> TestVolumes(const QStringList& removable)
{
    std::vector<MediaVolume> v;
    MediaVolume root;
    root.rootPath = "/";
    root.device = "/dev/sda2";
    root.fileSystem = "ext4";
    root.systemRoot = true;
    v.push_back(root);
    MediaVolume efi;
    efi.rootPath = "/boot/efi";
    efi.device = "/dev/sda1";
    efi.fileSystem = "vfat";
    v.push_back(efi);
    MediaVolume run;
    run.rootPath = "/run/user/1000";
    run.device = "tmpfs";
    run.fileSystem = "tmpfs";
    v.push_back(run);
    for (const QString& path : removable) {
        MediaVolume m;
        m.rootPath = path;
        m.name = QFileInfo(path).fileName().toUpper();
        m.device = "/dev/sdb1";
        m.fileSystem = "vfat";
        v.push_back(m);
    }
    return v;
}

// Until the object goes: the mounted volumes are TestVolumes(removable).
class MountedVolumesForTest {
public:
    explicit MountedVolumesForTest(const QStringList& removable = {}) { set(removable); }
    ~MountedVolumesForTest() { SetMountedVolumesForTesting(nullptr); }
    void set(const QStringList& removable)
    {
        SetMountedVolumesForTesting([removable] { return TestVolumes(removable); });
    }
    MountedVolumesForTest(const MountedVolumesForTest&) = delete;
    MountedVolumesForTest& operator=(const MountedVolumesForTest&) = delete;
};
