#pragma once
// Two file services of the floppy transfer.
//
// Archive state: a logger file is "not yet copied" until the copy dialog has copied it once.
// The state is kept in the extended attribute user.nordalis.copied of the file where the file
// system supports extended attributes, else in the small state file ".nordalis-copied" of the
// file's folder (name, size and modification time, so that a rewritten file counts as new).
// Either way it survives a restart.
//
// Trash: deleting moves files into the desktop's trash (freedesktop trash in $XDG_DATA_HOME,
// default ~/.local/share/Trash: the file into files/, a .trashinfo record into info/).
#include <QString>

// True when the file has not been copied since it was written (the archive attribute is set).
bool IsArchivePending(const QString& path);
// Marks the file as copied (clears the archive attribute). False when neither the attribute nor
// the state file could be written.
[[nodiscard]] bool ClearArchivePending(const QString& path);

// Tests: behave as on a file system without extended attributes.
void SetExtendedAttributesOffForTesting(bool off);

// The trash folder of the user ($XDG_DATA_HOME/Trash or ~/.local/share/Trash).
QString TrashDirectory();
// Moves one file into the trash under a free name, with its .trashinfo record. The file is never
// lost: across file systems it is copied first and removed only when the copy is whole.
[[nodiscard]] bool MoveToTrash(const QString& path, QString* error = nullptr);
