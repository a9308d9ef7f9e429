// The desktop program as a real process on a virtual X display (Xvfb, no window manager), driven
// with xdotool: a second copy on the same application directory shows the "already running"
// message box and says it on stderr, then ends with status 3; a copy killed outright leaves its
// lock file behind, and the next start opens the main menu all the same.
#include "support/CliProcess.h"

#include <QDeadlineTimer>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

namespace {

class DesktopProcess : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QProcess xvfb;
    QString display;
    QString xdotool;

    void SetUp() override
    {
        const QString server = QStandardPaths::findExecutable("Xvfb");
        xdotool = QStandardPaths::findExecutable("xdotool");
        if (server.isEmpty() || xdotool.isEmpty()) GTEST_SKIP() << "Xvfb and xdotool are needed (scripts/install-deps.sh)";
        // The server picks a free display number and writes it to its standard output. Without
        // -noreset it starts afresh when its last client goes (the first copy killed), and a copy
        // started at that moment finds no display.
        xvfb.start(server, {"-displayfd", "1", "-screen", "0", "1024x768x24", "-nolisten", "tcp", "-noreset"});
        ASSERT_TRUE(xvfb.waitForStarted());
        QDeadlineTimer until(20000);
        while (!xvfb.canReadLine() && !until.hasExpired()) xvfb.waitForReadyRead(200);
        display = ":" + QString::fromLatin1(xvfb.readLine()).trimmed();
        ASSERT_GT(display.size(), 1) << "Xvfb gave no display";
        ASSERT_EQ(RunCli(dir, {"init", "--site", "1001"}, true).code, 0);
        ASSERT_EQ(RunCli(dir, {"sim", "add-cable"}, true).code, 0);
    }
    void TearDown() override
    {
        if (xvfb.state() != QProcess::NotRunning) {
            xvfb.terminate();
            xvfb.waitForFinished(5000);
        }
    }

    void start(QProcess& p)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DISPLAY", display);
        env.insert("QT_QPA_PLATFORM", "xcb");
        env.insert("HOME", dir.path());
        env.insert("XDG_CONFIG_HOME", dir.filePath("config"));
        env.insert("XDG_DATA_HOME", dir.filePath("share"));
        p.setProcessEnvironment(env);
        p.start(NORDALIS_DESKTOP, {"--home", dir.filePath("home"), "--registry", dir.filePath("registry.ini"), "--bus",
                                   "virtual", "--no-splash"});
        ASSERT_TRUE(p.waitForStarted());
    }
    QString tool(const QStringList& args)
    {
        QProcess t;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DISPLAY", display);
        t.setProcessEnvironment(env);
        t.start(xdotool, args);
        t.waitForFinished(10000);
        return QString::fromUtf8(t.readAllStandardOutput()).trimmed();
    }
    // The first window whose title matches, waited for while the program runs.
    QString window(const QString& title, QProcess& owner)
    {
        QDeadlineTimer until(30000);
        while (!until.hasExpired() && owner.state() == QProcess::Running) {
            const QString ids = tool({"search", "--onlyvisible", "--name", title});
            if (!ids.isEmpty()) return ids.split('\n').first();
            QThread::msleep(100);
        }
        return QString();
    }
};

} // namespace

TEST_F(DesktopProcess, SecondCopyIsToldAndAStaleLockDoesNotBlock)
{
    QProcess first;
    start(first);
    ASSERT_FALSE(window("NORDALIS Standard", first).isEmpty()) << first.readAllStandardError().toStdString();

    QProcess second;
    start(second);
    const QString box = window("NORDALIS already running", second);
    ASSERT_FALSE(box.isEmpty()) << "no message box; stderr: " << second.readAllStandardError().toStdString();
    tool({"windowfocus", box});
    tool({"key", "--clearmodifiers", "Return"});
    ASSERT_TRUE(second.waitForFinished(20000));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 3);
    EXPECT_TRUE(QString::fromLocal8Bit(second.readAllStandardError()).contains("NORDALIS is already running, quitting"));
    EXPECT_EQ(first.state(), QProcess::Running) << "the first copy runs on";

    // The first copy killed outright: its lock file stays, and does not block the next start.
    first.kill();
    first.waitForFinished();
    ASSERT_TRUE(QFileInfo::exists(dir.filePath("home/nordalis.lock")));
    QProcess third;
    start(third);
    const bool shown = !window("NORDALIS Standard", third).isEmpty();
    if (!shown) third.waitForFinished(2000);
    EXPECT_TRUE(shown) << "the start after a crash ended with status " << third.exitCode() << ": "
                       << third.readAllStandardError().toStdString()
                       << "; windows: " << tool({"search", "--name", ".", "getwindowname", "%@"}).toStdString();
    EXPECT_EQ(third.state(), QProcess::Running);
    third.terminate();
    third.waitForFinished(10000);
}
