#pragma once
// The companion of a logger file: the logger's own alarm log and histogram of the same reading,
// kept beside the logger file under the same name with the extension ".alh", because the logger
// file (".dta") has no room for them and its form must not change.
//
// A companion is a short UTF-8 text, one "key=value" line each, in this order:
//   NORDALIS alarm log and histogram 1        (first line: kind and version)
//   logger-file=1234567890 261208093012.dta   (the name it was written beside; for people only)
//   logger-file-sha256=<64 hex digits>        (SHA-256 of the logger file's bytes: the binding)
//   serial=1234567890
//   rom=5A0000000123AB21
//   mission-start-utc=2026-12-01T08:00:00Z
//   read-utc=2026-12-08T09:30:12Z             (when the two areas were read from the logger)
//   alarm-log=<192 hex digits>|not read       (the 96 bytes from 0x220)
//   histogram=<256 hex digits>|not read       (the 128 bytes from 0x800)
// Only a companion whose hash, serial number and mission start are those of its logger file
// belongs to it; any other is refused and never taken for that reading's.
//
// A full reading writes the companion (also when an area could not be read: it then says "not
// read", so that a failed area is told apart from a file of an older program, which has none)
// under a temporary name, flushed and renamed, before its logger file takes its name: whoever
// finds a logger file finds its companion complete. The companion goes wherever its logger file
// goes (MoveLoggerFileWithCompanion); a logger file without one is read as always.
#include <QByteArray>
#include <QDateTime>
#include <QString>

class clsDS1921Data;

inline const QString kCompanionSuffix = QStringLiteral("alh");

struct LoggerCompanion {
    QString loggerFileName;
    QString loggerFileSha256;     // lower-case hex
    QString serialNo;
    QString romText;
    QDateTime missionStartUtc;    // invalid when the logger had no mission start
    QDateTime readUtc;
    QByteArray alarmLog;          // empty: not read
    QByteArray histogram;         // empty: not read
};

// "dir/name.dta" -> "dir/name.alh".
QString CompanionPathFor(const QString& loggerFilePath);

QByteArray EncodeCompanion(const LoggerCompanion& companion);
// False, with *why, when the text is no companion of this version or a field is damaged.
[[nodiscard]] bool DecodeCompanion(const QByteArray& text, LoggerCompanion& companion, QString* why = nullptr);

// The companion of an image about to be written as a logger file of these bytes.
LoggerCompanion CompanionOf(const clsDS1921Data& image, const QString& romText, const QString& loggerFileName,
                            const QByteArray& loggerFileBytes);

// Writes the file under a temporary name in its folder, flushes and renames it. False, with
// *error, when it could not be written (nothing is left behind).
[[nodiscard]] bool WriteCompanionFile(const QString& path, const LoggerCompanion& companion, QString* error = nullptr);

// What was found beside a logger file.
enum class CompanionState {
    None,       // no companion (an older file): nothing to take
    Belongs,    // read, and its hash, serial number and mission start are the logger file's
    Refused,    // there, but damaged or of another logger file: *why tells
};
// The companion of the logger file at loggerFilePath, checked against the file's SHA-256 (hex)
// and the image read from it.
CompanionState ReadCompanionFor(const QString& loggerFilePath, const QString& loggerFileSha256,
                                const clsDS1921Data& image, LoggerCompanion& companion, QString* why = nullptr);

// Moves a logger file and its companion (when there is one) into the folder targetDir, both under
// the same name: the file's own, or the first numbered one ("name (2).dta") that is free for
// both. The companion goes first; when the logger file cannot follow, it is moved back. Returns
// 0 when the logger file was moved (*movedTo: its new path), else MoveFiles' code.
int MoveLoggerFileWithCompanion(const QString& loggerFilePath, const QString& targetDir, QString* movedTo = nullptr);
