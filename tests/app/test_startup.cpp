// Start-up steps: the command-line switch, the time-zone bias, the Site-number question,
// the single-instance lock.
#include "desktop/Startup.h"
#include "app/modInternationalisation.h"
#include <QFile>
#include <QLockFile>
#include <QSysInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimeZone>
#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

TEST(CommandLine, DuSwitchInAnyCase)
{
    for (const char* yes : {"-DU", "-du", "- dU ", "du", "DU", "-x -du", " - du", "--no-splash -du", "du-"})
        EXPECT_TRUE(IsRestrictedCommandLine(yes)) << yes;
    for (const char* no : {"", "-DUX", "-ADU", "-d u", "-dux", "-xdu", "dux", "-D", "--home /x"})
        EXPECT_FALSE(IsRestrictedCommandLine(no)) << no;
}

TEST(TimeZone, BiasIncludesDaylightSaving)
{
    const QTimeZone berlin("Europe/Berlin");
    ASSERT_TRUE(berlin.isValid());
    EXPECT_EQ(UtcBiasAt(berlin, QDateTime(QDate(2024, 1, 15), QTime(12, 0), Qt::UTC)), -60);
    EXPECT_EQ(UtcBiasAt(berlin, QDateTime(QDate(2024, 7, 15), QTime(12, 0), Qt::UTC)), -120);
    const QTimeZone ny("America/New_York");
    EXPECT_EQ(UtcBiasAt(ny, QDateTime(QDate(2024, 1, 15), QTime(12, 0), Qt::UTC)), 300);
    EXPECT_EQ(UtcBiasAt(ny, QDateTime(QDate(2024, 7, 15), QTime(12, 0), Qt::UTC)), 240);
    EXPECT_EQ(UtcBiasAt(QTimeZone("Asia/Kolkata"), QDateTime(QDate(2024, 7, 15), QTime(12, 0), Qt::UTC)), -330);
}

namespace {
// Answers the input box from a list; records the prompts' default texts and the messages.
struct SiteQuestion {
    QStringList answers;
    QStringList defaults;
    QStringList messages;
    SiteQuestion(QStringList a) : answers(std::move(a))
    {
        SetInputHandler([this](const QString&, const QString& title, const QString& def, bool& cancelled) {
            EXPECT_EQ(title, "Site number is undefined");
            defaults << def;
            if (answers.isEmpty()) { cancelled = true; return QString(); }
            return answers.takeFirst();
        });
        SetMessageHandler([this](const QString& prompt, int style, const QString& title) {
            EXPECT_EQ(style, vbCritical);
            messages << title + ": " + prompt;
            return int(vbOK);
        });
    }
    ~SiteQuestion() { SetInputHandler(nullptr); SetMessageHandler(nullptr); }
};
} // namespace

TEST(SiteNumber, AsksUntilTheNumberIsInRange)
{
    SiteQuestion q({"0", "10000", "abc", "12x", "9999"});
    int id = -1;
    EXPECT_TRUE(AskSiteNumber(id, "4321"));
    EXPECT_EQ(id, 9999);
    // The next proposal is the current number: 0, then 10000, then unchanged by the non-numbers.
    EXPECT_EQ(q.defaults, (QStringList{"4321", "0", "10000", "10000", "10000"}));
    EXPECT_TRUE(q.messages.isEmpty());
}

TEST(SiteNumber, OneIsAcceptedAndAnEmptyAnswerEnds)
{
    {
        SiteQuestion q({" 1 "});
        int id = -1;
        EXPECT_TRUE(AskSiteNumber(id, "17"));
        EXPECT_EQ(id, 1);
    }
    {
        SiteQuestion q({"0", ""});
        int id = -1;
        EXPECT_FALSE(AskSiteNumber(id, "17"));
        ASSERT_EQ(q.messages.size(), 1);
        EXPECT_EQ(q.messages[0], "No valid Site number: Can't run without a valid Site number, quitting.");
    }
    {
        SiteQuestion q({});   // Cancel
        int id = -1;
        EXPECT_FALSE(AskSiteNumber(id, "17"));
    }
}

TEST(SiteNumber, ProposalWithoutAdapterIsRandomInRange)
{
    for (int i = 0; i < 20; ++i) {
        bool ok = false;
        const int n = SiteNumberProposal(QString()).toInt(&ok);
        EXPECT_TRUE(ok);
        EXPECT_GE(n, 0);
        EXPECT_LE(n, 10000);
    }
}

TEST(SingleInstance, SecondCopyRefusedCrashedCopyNotStuck)
{
    QTemporaryDir dir;
    ASSERT_TRUE(AcquireSingleInstance(dir.path()));
    // Another process on the same directory finds the lock taken.
    {
        QLockFile other(dir.filePath("nordalis.lock"));
        other.setStaleLockTime(0);
        EXPECT_FALSE(other.tryLock(0));
    }
    ReleaseSingleInstance();
    // A lock file left by a process that no longer exists is taken over.
    QProcess p;
    p.start("/bin/true");
    p.waitForFinished();
    const qint64 deadPid = p.processId() ? p.processId() : 999999;
    QFile f(dir.filePath("nordalis.lock"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QByteArray::number(deadPid) + "\nnordalis\n" + QSysInfo::machineHostName().toUtf8() + "\n");
    f.close();
    EXPECT_TRUE(AcquireSingleInstance(dir.path()));
    ReleaseSingleInstance();
}

// A copy that crashed and that nobody has collected yet (its parent did not wait for it) still
// has its process number; its lock file names that number and its program. The start must still
// go ahead: the lock belonged to the dead process's open file, not to its number.
TEST(SingleInstance, LockOfAnUncollectedDeadCopyDoesNotBlock)
{
    QTemporaryDir dir;
    const QByteArray path = QFile::encodeName(dir.filePath("nordalis.lock"));
    const QByteArray host = QSysInfo::machineHostName().toUtf8();
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // The crashing copy: takes the lock as the program does, writes who it is, dies.
        const int fd = ::open(path.constData(), O_RDWR | O_CREAT, 0644);
        if (fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            char text[128];
            const int n = snprintf(text, sizeof text, "%d\nnordalis\n%s\n", int(getpid()), host.constData());
            [[maybe_unused]] const ssize_t w = ::write(fd, text, size_t(n));
        }
        ::kill(getpid(), SIGKILL);
        _exit(1);
    }
    // Wait until it is dead but not collected (a zombie).
    siginfo_t info{};
    ASSERT_EQ(waitid(P_PID, id_t(child), &info, WEXITED | WNOWAIT), 0);
    ASSERT_EQ(::kill(child, 0), 0) << "the dead copy still has its process number";

    EXPECT_TRUE(AcquireSingleInstance(dir.path())) << "the start is refused by a dead copy's lock";
    ReleaseSingleInstance();
    waitpid(child, nullptr, 0);
}

// The lock is held, and refused, while the holder lives: a second process that holds it makes
// this one refuse; once that process has ended, this one starts.
TEST(SingleInstance, AnotherProcessHoldingTheLockRefusesUntilItEnds)
{
    QTemporaryDir dir;
    QProcess holder;
    holder.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    // The system's flock tool takes the same kind of lock on the file and prints once it holds it.
    // -o: the command itself does not hold the lock, so ending the tool ends the hold; the command
    // waits for its input, which ends with the tool.
    holder.start("/usr/bin/flock", {"-o", dir.filePath("nordalis.lock"), "-c", "echo locked; read line"});
    ASSERT_TRUE(holder.waitForStarted());
    ASSERT_TRUE(holder.waitForReadyRead(10000));
    EXPECT_FALSE(AcquireSingleInstance(dir.path()));
    holder.kill();
    holder.waitForFinished();
    EXPECT_TRUE(AcquireSingleInstance(dir.path()));
    ReleaseSingleInstance();
}
