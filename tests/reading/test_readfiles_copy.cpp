// The copy dialog: day groups, copying with the question before replacing, the copied state kept
// across a restart (extended attribute or state file), deleting into the trash, the missing
// removable-media folder, and a picture of the dialog.
#include "test_readfiles_support.h"
#include "support/MountedVolumes.h"
#include "support/Screenshots.h"

#include "reading/FileArchiveState.h"
#include "reading/clsCopyImageFiles.h"
#include "reading/frmCopyImageFiles.h"
#include "settings/clsMaintenance.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QUrl>
#include <QTreeWidget>

using namespace readfiles;

QT_BEGIN_NAMESPACE
inline void PrintTo(const QStringList& list, std::ostream* os) { *os << list.join(" | ").toStdString(); }
QT_END_NAMESPACE

namespace {

class ReadFilesCopy : public LoggerFiles {
protected:
    void SetUp() override
    {
        LoggerFiles::SetUp();
        savedXdg = qgetenv("XDG_DATA_HOME");
        qputenv("XDG_DATA_HOME", QFile::encodeName(QDir(dir.path()).filePath("share")));
        source = QDir(dir.path()).filePath("data/backup");
        media = QDir(dir.path()).filePath("media");
        QDir().mkpath(media);
        mounted.set({media});
        SetRemovableMediaDirectory(media);
        destination = RemovableMediaLoggerFolder();
        QDir().mkpath(destination);
    }
    void TearDown() override
    {
        SetExtendedAttributesOffForTesting(false);
        qputenv("XDG_DATA_HOME", savedXdg);
        LoggerFiles::TearDown();
    }
    void file(const QString& folder, const QString& name, const QDateTime& time, const QByteArray& bytes = "logger data")
    {
        QFile f(QDir(folder).filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        f.flush();
        ASSERT_TRUE(f.setFileTime(time, QFileDevice::FileModificationTime));
    }
    static QDateTime day(int d, int h = 10) { return QDateTime(QDate(2026, 12, d), QTime(h, 0)); }
    static QByteArray bytes(const QString& path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }
    // date, count, copied, ticked of every row
    static QStringList summary(const clsCopyImageFiles& c)
    {
        QStringList out;
        for (const auto& r : c.rows)
            out << r.day.toString("MM-dd") + " " + QString::number(r.files.size()) + " " + r.copiedText() +
                       (r.ticked ? " ticked" : "");
        return out;
    }
    void threeFilesOnTwoDays()
    {
        file(source, "a.dta", day(3, 9));
        file(source, "b.dta", day(3, 17));
        file(source, "c.dta", day(5));
        file(source, "notes.txt", day(5));
    }

    QByteArray savedXdg;
    QString source, media, destination;
    MountedVolumesForTest mounted;
};

} // namespace

TEST_F(ReadFilesCopy, DaysFormRowsAndACopiedDayShowsYesAfterARestart)
{
    threeFilesOnTwoDays();
    clsCopyImageFiles copy(source, destination);
    EXPECT_EQ(copy.BuildList(), 3);
    EXPECT_EQ(summary(copy), QStringList({"12-03 2 no ticked", "12-05 1 no ticked"}));
    EXPECT_EQ(copy.Description(), "checkmark the days to be copied");

    copy.rows[1].ticked = false;   // only the 3rd
    int progressCalls = 0;
    copy.Progress = [&](int, int total, const QString&) { ++progressCalls; EXPECT_EQ(total, 2); return true; };
    ASSERT_TRUE(copy.Start());
    EXPECT_GE(progressCalls, 2);
    EXPECT_EQ(bytes(QDir(destination).filePath("a.dta")), "logger data");
    EXPECT_EQ(bytes(QDir(destination).filePath("b.dta")), "logger data");
    EXPECT_FALSE(QFile::exists(QDir(destination).filePath("c.dta")));
    EXPECT_EQ(QFileInfo(QDir(destination).filePath("a.dta")).lastModified(), day(3, 9));
    // The copied day moves behind the days still to copy and is not ticked again.
    EXPECT_EQ(summary(copy), QStringList({"12-05 1 no ticked", "12-03 2 yes"}));

    // A restart: the state is read from the files themselves.
    clsCopyImageFiles again(source, destination);
    again.BuildList();
    EXPECT_EQ(summary(again), QStringList({"12-05 1 no ticked", "12-03 2 yes"}));
    // A new file of a copied day forms a row of its own, still to copy.
    file(source, "d.dta", day(3, 20));
    again.BuildList();
    EXPECT_EQ(summary(again), QStringList({"12-03 1 no ticked", "12-05 1 no ticked", "12-03 2 yes"}));
    EXPECT_TRUE(messages.empty());
}

TEST_F(ReadFilesCopy, WithoutExtendedAttributesAStateFileKeepsTheCopiedState)
{
    SetExtendedAttributesOffForTesting(true);
    threeFilesOnTwoDays();
    clsCopyImageFiles copy(source, destination);
    copy.BuildList();
    ASSERT_TRUE(copy.Start());
    EXPECT_EQ(summary(copy), QStringList({"12-03 2 yes", "12-05 1 yes"}));
    EXPECT_TRUE(QFile::exists(QDir(source).filePath(".nordalis-copied")));
    clsCopyImageFiles again(source, destination);
    again.BuildList();
    EXPECT_EQ(summary(again), QStringList({"12-03 2 yes", "12-05 1 yes"}));
    // A file written anew counts as not copied.
    file(source, "c.dta", day(5, 11), "newer reading");
    again.BuildList();
    EXPECT_EQ(summary(again), QStringList({"12-05 1 no ticked", "12-03 2 yes"}));
}

TEST_F(ReadFilesCopy, TheQuestionBeforeReplacingDecidesAndCancelLeavesTheRow)
{
    file(source, "a.dta", day(3), "new a");
    file(source, "b.dta", day(3), "new b");
    file(destination, "a.dta", day(1), "old a");
    clsCopyImageFiles copy(source, destination);
    copy.BuildList();
    QStringList asked;
    copy.AskReplace = [&](const QString& name) { asked << name; return clsCopyImageFiles::ReplaceCancel; };
    QString error;
    EXPECT_FALSE(copy.Start(&error));
    EXPECT_EQ(asked, QStringList({"a.dta"}));
    EXPECT_EQ(bytes(QDir(destination).filePath("a.dta")), "old a");
    EXPECT_EQ(summary(copy), QStringList({"12-03 2 no ticked"}));   // unchanged

    copy.AskReplace = [&](const QString&) { return clsCopyImageFiles::ReplaceNo; };
    EXPECT_TRUE(copy.Start());
    EXPECT_EQ(bytes(QDir(destination).filePath("a.dta")), "old a");
    EXPECT_EQ(bytes(QDir(destination).filePath("b.dta")), "new b");

    file(source, "a.dta", day(4), "newest a");
    copy.BuildList();
    copy.AskReplace = [&](const QString&) { return clsCopyImageFiles::ReplaceYes; };
    EXPECT_TRUE(copy.Start());
    EXPECT_EQ(bytes(QDir(destination).filePath("a.dta")), "newest a");
}

TEST_F(ReadFilesCopy, DeletingMovesTheTickedDaysIntoTheTrash)
{
    threeFilesOnTwoDays();
    clsCopyImageFiles del(source, QString());
    del.BuildList();
    EXPECT_EQ(summary(del), QStringList({"12-03 2 no", "12-05 1 no"}));   // nothing ticked for deleting
    EXPECT_EQ(del.Description(), "checkmark the days to be deleted");
    del.rows[0].ticked = true;
    ASSERT_TRUE(del.Start());
    EXPECT_EQ(summary(del), QStringList({"12-05 1 no"}));
    const QString trash = QDir(dir.path()).filePath("share/Trash");
    EXPECT_EQ(TrashDirectory(), trash);
    EXPECT_EQ(bytes(trash + "/files/a.dta"), "logger data");
    EXPECT_FALSE(QFile::exists(QDir(source).filePath("a.dta")));
    const QByteArray info = bytes(trash + "/info/a.dta.trashinfo");
    EXPECT_TRUE(info.startsWith("[Trash Info]\nPath=" + QUrl::toPercentEncoding(QDir(source).filePath("a.dta"), "/") +
                                "\nDeletionDate="))
        << info.toStdString();

    // A second file of the same name gets a free name in the trash.
    file(source, "a.dta", day(6));
    ASSERT_TRUE(MoveToTrash(QDir(source).filePath("a.dta")));
    EXPECT_TRUE(QFile::exists(trash + "/files/a.2.dta"));
    EXPECT_TRUE(QFile::exists(trash + "/info/a.2.dta.trashinfo"));
    EXPECT_EQ(bytes(trash + "/files/a.dta"), "logger data");
}

TEST_F(ReadFilesCopy, AMissingMediaFolderIsReportedOnceAndTheDialogCloses)
{
    QDir(destination).removeRecursively();
    frmCopyImageFiles dialog(destination, App().DataDirectory);
    EXPECT_EQ(dialog.lvwFiles->topLevelItemCount(), 0);
    dialog.Logic().BuildList();
    EXPECT_TRUE(dialog.Logic().Start());   // nothing listed: nothing to do
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].prompt, "please insert floppy disk in drive A: first");
    EXPECT_EQ(messages[0].title, "NORDALIS");
    dialog.show();
    QApplication::processEvents();
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(messages.size(), 1u);
}

TEST_F(ReadFilesCopy, TheDialogShowsTheRowsAndCopiesTheTickedDays)
{
    threeFilesOnTwoDays();
    file(source, "e.dta", day(6));
    file(source, "f.dta", day(6, 12));
    clsCopyImageFiles pre(source, destination);
    pre.BuildList();
    for (auto& r : pre.rows) r.ticked = r.day == QDate(2026, 12, 6);
    ASSERT_TRUE(pre.Start());

    frmCopyImageFiles dialog(source, destination);
    dialog.show();
    QApplication::processEvents();
    ASSERT_EQ(dialog.lvwFiles->topLevelItemCount(), 3);
    EXPECT_EQ(dialog.lvwFiles->headerItem()->text(2), "already copied ?");
    EXPECT_EQ(dialog.lvwFiles->topLevelItem(0)->text(1), "2");
    EXPECT_EQ(dialog.lvwFiles->topLevelItem(0)->checkState(0), Qt::Checked);
    EXPECT_EQ(dialog.lvwFiles->topLevelItem(2)->text(2), "yes");
    EXPECT_EQ(dialog.lvwFiles->topLevelItem(2)->checkState(0), Qt::Unchecked);
    EXPECT_EQ(dialog.lblDescr->text(), "checkmark the days to be copied");
    const QString shots = QStringLiteral(NORDALIS_BINARY_DIR) + "/screenshots";
    QDir().mkpath(shots);
    EXPECT_TRUE(dialog.grab().save(shots + "/copy-dialog.png"));

    dialog.lvwFiles->topLevelItem(1)->setCheckState(0, Qt::Unchecked);
    dialog.cmdStart_Click();
    ASSERT_EQ(dialog.lvwFiles->topLevelItemCount(), 3);
    EXPECT_EQ(dialog.lvwFiles->topLevelItem(0)->text(2), "no");     // 5 December, left
    EXPECT_EQ(dialog.lvwFiles->topLevelItem(1)->text(2), "yes");
    EXPECT_EQ(dialog.lvwFiles->topLevelItem(1)->checkState(0), Qt::Unchecked);
    EXPECT_TRUE(QFile::exists(QDir(destination).filePath("b.dta")));
    EXPECT_FALSE(QFile::exists(QDir(destination).filePath("c.dta")));
    EXPECT_TRUE(messages.empty());
}

TEST_F(ReadFilesCopy, AMediumThatIsNotMountedIsRefusedAndNothingIsCreated)
{
    threeFilesOnTwoDays();
    // The setting names a mount point where nothing is mounted (and no folder is).
    const QString floppy = QDir(dir.path()).filePath("floppy");
    SetRemovableMediaDirectory(floppy);
    clsCopyImageFiles copy(source, RemovableMediaLoggerFolder());
    copy.BuildList();
    EXPECT_TRUE(copy.MediaProblem().startsWith("no removable media is mounted at " + floppy))
        << copy.MediaProblem().toStdString();
    QString error;
    EXPECT_FALSE(copy.Start(&error));
    EXPECT_EQ(error, copy.MediaProblem());
    EXPECT_FALSE(QFileInfo::exists(floppy));   // never the mount point
    EXPECT_EQ(summary(copy), QStringList({"12-03 2 no ticked", "12-05 1 no ticked"}));

    // A folder of that name on the system disk is no medium either.
    QDir().mkpath(floppy);
    clsCopyImageFiles onSystemDisk(source, RemovableMediaLoggerFolder());
    onSystemDisk.BuildList();
    EXPECT_FALSE(onSystemDisk.Start(&error));
    EXPECT_FALSE(QFileInfo::exists(RemovableMediaLoggerFolder()));
    EXPECT_EQ(summary(onSystemDisk), QStringList({"12-03 2 no ticked", "12-05 1 no ticked"}));

    // Restoring from it finds no medium: the message of the missing disk, nothing listed.
    clsCopyImageFiles restore(RemovableMediaLoggerFolder(), App().DataDirectory);
    EXPECT_EQ(restore.BuildList(), 0);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].prompt, "please insert floppy disk in drive A: first");

    // The dialog says why before anything is started, and its start button is off.
    frmCopyImageFiles dialog(source, RemovableMediaLoggerFolder());
    dialog.show();
    QApplication::processEvents();
    EXPECT_FALSE(dialog.cmdStart->isEnabled());
    EXPECT_FALSE(dialog.lblResult->isHidden());
    EXPECT_EQ(dialog.lblResult->text(), copy.MediaProblem());
    EXPECT_TRUE(dialog.grab().save(ScreenshotPath("copy-dialog-no-media.png")));

    // Once the medium is mounted there, the same copy goes through.
    mounted.set({floppy});
    clsCopyImageFiles mountedCopy(source, RemovableMediaLoggerFolder());
    mountedCopy.BuildList();
    EXPECT_TRUE(mountedCopy.MediaProblem().isEmpty());
    ASSERT_TRUE(mountedCopy.Start());
    EXPECT_EQ(mountedCopy.FilesCopied(), 3);
    EXPECT_EQ(summary(mountedCopy), QStringList({"12-03 2 yes", "12-05 1 yes"}));
}

TEST_F(ReadFilesCopy, OnlyACopyReadBackEqualMarksTheDayCopied)
{
    threeFilesOnTwoDays();
    clsCopyImageFiles copy(source, destination);
    copy.BuildList();
    // The medium garbles the copy of b.dta.
    copy.AfterCopy = [](const QString& path) {
        if (!path.endsWith("b.dta")) return;
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write("logger dat\xff");
    };
    QString error;
    EXPECT_FALSE(copy.Start(&error));
    EXPECT_TRUE(error.startsWith("the copy could not be verified: " + QDir(destination).filePath("b.dta")))
        << error.toStdString();
    // The day of the bad copy and the day after it stay to be copied, after a restart too.
    EXPECT_EQ(summary(copy), QStringList({"12-03 2 no ticked", "12-05 1 no ticked"}));
    clsCopyImageFiles again(source, destination);
    again.BuildList();
    EXPECT_EQ(summary(again), QStringList({"12-03 2 no ticked", "12-05 1 no ticked"}));

    // Keeping a different file of the same name is no copy either; keeping an equal one is.
    file(destination, "b.dta", day(1), "other data");
    again.AskReplace = [](const QString&) { return clsCopyImageFiles::ReplaceNo; };
    ASSERT_TRUE(again.Start());
    EXPECT_EQ(summary(again), QStringList({"12-03 1 no ticked", "12-03 1 yes", "12-05 1 yes"}));
    file(destination, "b.dta", day(1), "logger data");
    again.BuildList();
    ASSERT_TRUE(again.Start());
    EXPECT_EQ(summary(again), QStringList({"12-03 2 yes", "12-05 1 yes"}));
}

TEST_F(ReadFilesCopy, TheDialogSaysWhereTheFilesWent)
{
    threeFilesOnTwoDays();
    frmCopyImageFiles dialog(source, destination);
    dialog.show();
    QApplication::processEvents();
    EXPECT_TRUE(dialog.lblPaths->text().contains(destination));
    EXPECT_TRUE(dialog.lblResult->isHidden());
    dialog.cmdStart_Click();
    EXPECT_EQ(dialog.lblResult->text(), "3 file(s) copied and verified in " + destination);
    EXPECT_TRUE(messages.empty());
}
