#include "reading/clsCopyImageFiles.h"
#include "app/UserInterface.h"
#include <optional>

#include "app/modInternationalisation.h"
#include "app/modMain.h"
#include "image/LoggerCompanion.h"
#include "image/clsDS1921Data.h"
#include "app/RegularFile.h"
#include "reading/FileArchiveState.h"
#include "settings/RemovableMedia.h"
#include "settings/clsMaintenance.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QSaveFile>

#include <algorithm>

QString clsCopyImageFiles::DayRow::dayText() const
{
    return QLocale().toString(day, QLocale::ShortFormat);
}

QString clsCopyImageFiles::DayRow::copiedText() const
{
    return Translate(alreadyCopied ? "yes" : "no");
}

clsCopyImageFiles::clsCopyImageFiles(const QString& source, const QString& destination)
    : m_source(source), m_destination(destination), m_media(RemovableMediaDirectory())
{
}

QString clsCopyImageFiles::MediaProblem() const
{
    if (Deleting() || !IsOnRemovableMedia(m_destination, m_media))
        return QString();
    return RemovableMediaProblem(m_media);
}

QString clsCopyImageFiles::Description() const
{
    return Deleting() ? Translate("checkmark the days to be deleted") : Translate("checkmark the days to be copied");
}

int clsCopyImageFiles::BuildList()
{
    rows.clear();
    m_filesListed = 0;
    const QDir dir(m_source);
    // Files are taken from the removable media only while it is mounted (never from a folder
    // of that name left on the system disk).
    const bool mediaMissing = IsOnRemovableMedia(m_source, m_media) && !RemovableMediaProblem(m_media).isEmpty();
    if (m_source.isEmpty() || mediaMissing || !QFileInfo(m_source).isDir() || !QFileInfo(m_source).isReadable()) {
        if (!m_missingReported) {
            m_missingReported = true;
            ShowMessage(Translate("please insert floppy disk in drive A: first"), vbCritical, "NORDALIS");
        }
        return 0;
    }
    std::vector<DayRow> pending, copied;
    auto add = [](std::vector<DayRow>& set, const QDate& day, const QString& name, bool already) {
        auto it = std::find_if(set.begin(), set.end(), [&](const DayRow& r) { return r.day == day; });
        if (it == set.end()) {
            DayRow r;
            r.day = day;
            r.alreadyCopied = already;
            set.push_back(r);
            it = set.end() - 1;
        }
        it->files << name;
    };
    const QFileInfoList files = dir.entryInfoList({QStringLiteral("*.dta")}, QDir::Files, QDir::Name);
    for (const QFileInfo& fi : files) {
        const QDate day = fi.lastModified().date();
        if (IsArchivePending(fi.absoluteFilePath()))
            add(pending, day, fi.fileName(), false);
        else
            add(copied, day, fi.fileName(), true);
        ++m_filesListed;
    }
    auto byDay = [](const DayRow& a, const DayRow& b) { return a.day < b.day; };
    std::sort(pending.begin(), pending.end(), byDay);
    std::sort(copied.begin(), copied.end(), byDay);
    for (DayRow& r : pending) {
        r.ticked = !Deleting();
        rows.push_back(r);
    }
    for (DayRow& r : copied) rows.push_back(r);
    return m_filesListed;
}

bool clsCopyImageFiles::copyDay(DayRow& row, int& done, int total, QString* error)
{
    // Only the folder on the medium is made, never the medium's mount point (checked before).
    if (!QFileInfo(m_destination).isDir() && !QDir().mkpath(m_destination)) {
        if (error) *error = Translate("the folder could not be made: ") + QDir::toNativeSeparators(m_destination);
        return false;
    }
    QStringList verified;   // files whose copy was read back equal
    for (const QString& name : row.files) {
        if (Progress && !Progress(done, total, name)) {
            if (error) *error = Translate("aborted");
            return false;
        }
        const QString from = QDir(m_source).filePath(name);
        const QString to = QDir(m_destination).filePath(name);
        if (QFileInfo::exists(to)) {
            const ReplaceAnswer a = AskReplace ? AskReplace(name) : ReplaceYes;
            if (a == ReplaceCancel) {
                if (error) *error = Translate("aborted");
                return false;
            }
            if (a == ReplaceNo) {
                // The file kept counts as copied only when it is the same as this one.
                const RegularFileRead kept = ReadRegularFile(to, kMaxLoggerFileBytes);
                const RegularFileRead mine = ReadRegularFile(from, kMaxLoggerFileBytes);
                if (kept.ok() && mine.ok() && kept.bytes == mine.bytes) verified << name;
                ++done;
                continue;
            }
        }
        // The companion (alarm log and histogram) goes first: a logger file found at the
        // destination - the data directory, when restoring - has its companion there already.
        const QString companion = CompanionPathFor(from);
        if (QFileInfo::exists(companion) && !copyVerified(companion, CompanionPathFor(to), {}, error)) return false;
        if (!copyVerified(from, to, AfterCopy, error)) return false;
        verified << name;
        ++m_filesCopied;
        ++done;
    }
    // The day shows as copied only when every file is verified and marked so; a file not copied
    // or a mark that could not be set leaves the day offered for copying again.
    bool marked = verified.size() == row.files.size();
    for (const QString& name : verified) marked = ClearArchivePending(QDir(m_source).filePath(name)) && marked;
    row.ticked = false;
    row.alreadyCopied = marked;
    return true;
}

bool clsCopyImageFiles::copyVerified(const QString& from, const QString& to,
                                     const std::function<void(const QString&)>& afterCopy, QString* error)
{
    // The copy is written beside the target and takes its place only when complete, so an
    // interrupted copy never leaves a damaged file where a good one was.
    // Only a regular file no larger than a logger file is read (never a FIFO or a device).
    const RegularFileRead in = ReadRegularFile(from, kMaxLoggerFileBytes);
    if (!in.ok()) {
        if (error) *error = in.message;
        return false;
    }
    QSaveFile out(to);
    if (!out.open(QIODevice::WriteOnly)) {
        if (error) *error = QDir::toNativeSeparators(to) + ": " + out.errorString();
        return false;
    }
    const QByteArray& bytes = in.bytes;
    if (out.write(bytes) != bytes.size() || !out.commit()) {
        if (error) *error = QDir::toNativeSeparators(to) + ": " + out.errorString();
        return false;
    }
    QFile copy(to);
    if (copy.open(QIODevice::ReadWrite))
        copy.setFileTime(QFileInfo(from).lastModified(), QFileDevice::FileModificationTime);
    copy.close();
    if (afterCopy) afterCopy(to);
    // The copy is read back from the medium and compared: only a copy found equal counts.
    const RegularFileRead back = ReadRegularFile(to, kMaxLoggerFileBytes);
    if (!back.ok() || back.bytes != bytes) {
        if (error)
            *error = Translate("the copy could not be verified: ") + QDir::toNativeSeparators(to) +
                     Translate(" differs from the original or cannot be read back; the day stays not copied");
        return false;
    }
    return true;
}

bool clsCopyImageFiles::deleteDay(DayRow& row, int& done, int total, QString* error)
{
    for (const QString& name : row.files) {
        if (Progress && !Progress(done, total, name)) {
            if (error) *error = Translate("aborted");
            return false;
        }
        QString why;
        const QString path = QDir(m_source).filePath(name);
        if (!MoveToTrash(path, &why)) {
            if (error) *error = name + ": " + why;
            return false;
        }
        // Its companion follows it into the trash.
        const QString companion = CompanionPathFor(path);
        if (QFileInfo::exists(companion) && !MoveToTrash(companion, &why)) {
            if (error) *error = QFileInfo(companion).fileName() + ": " + why;
            return false;
        }
        ++done;
    }
    return true;
}

bool clsCopyImageFiles::Start(QString* error)
{
    m_filesCopied = 0;
    const QString problem = MediaProblem();
    if (!problem.isEmpty()) {
        // Refused before anything is written; every day keeps its state.
        if (error) *error = problem;
        return false;
    }
    std::optional<BusyCursor> busy(std::in_place);
    int total = 0, done = 0;
    for (const DayRow& r : rows)
        if (r.ticked) total += int(r.files.size());
    bool ok = true;
    for (size_t i = 0; i < rows.size() && ok;) {
        DayRow& r = rows[i];
        if (!r.ticked) { ++i; continue; }
        if (Deleting()) {
            ok = deleteDay(r, done, total, error);
            if (ok) rows.erase(rows.begin() + long(i));   // the same index holds the next row
        } else {
            ok = copyDay(r, done, total, error);
            ++i;
        }
    }
    if (Progress && ok) Progress(total, total, QString());
    busy.reset();
    BuildList();
    return ok;
}
