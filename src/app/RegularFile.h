#pragma once
// Reading a whole file safely. Only a regular file is ever opened: a FIFO would block the open or
// the read until some other program writes, a device such as /dev/zero never ends, and a
// directory or socket is no file to read. The kind is checked before opening, the open never
// blocks (O_NONBLOCK) and is checked again on the open descriptor (the path may have been
// replaced in between), and no more bytes are read than the caller's bound. Files embedded in
// the program (":/...") are read from memory under the same bound.
#include <QByteArray>
#include <QString>

enum class FileReadError {
    None,
    Missing,      // no such file
    NotRegular,   // a FIFO, device, socket or directory
    TooLarge,     // more bytes than the bound (only with OverBound::Refuse)
    OpenFailed,   // permission and other open errors
    ReadFailed,
};

enum class OverBound {
    Refuse,       // a larger file is an error
    ReadPrefix,   // only the first maxBytes are read
};

struct RegularFileRead {
    QByteArray bytes;
    FileReadError error = FileReadError::None;
    qint64 size = 0;       // the file's size when known
    QString message;       // empty on success, else a sentence naming the path
    bool ok() const { return error == FileReadError::None; }
};

RegularFileRead ReadRegularFile(const QString& path, qint64 maxBytes, OverBound over = OverBound::Refuse);

// What an existing path that is not a regular file is ("a FIFO", "a character device", "a
// directory", ...); empty for a regular file or a path that does not exist.
QString NonRegularFileKind(const QString& path);
