// The virtual bench read through the emulated DS2490 USB adapter by the terminal program: the
// same answers as the bench read directly, with the adapter's requests in the bus trace.
#include <QDir>
#include <algorithm>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {
struct CliResult {
    int code;
    QString out;
    QString err;
};

CliResult Cli(const QString& home, const QStringList& args)
{
    QProcess p;
    p.setWorkingDirectory(home);
    p.start(NORDALIS_CLI, QStringList{"--home", home, "--registry", home + "/registry.ini", "--bus", "virtual"} + args);
    p.waitForFinished(60000);
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()), QString::fromUtf8(p.readAllStandardError())};
}

QString ReadAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}
} // namespace

TEST(UsbReaderCli, TheBenchAnswersAlikeThroughTheEmulatedUsbAdapterAndTheTraceShowsItsRequests)
{
    QTemporaryDir dir;
    const QString home = dir.path();
    ASSERT_EQ(Cli(home, {"sim", "add-cable"}).code, 0);
    const CliResult added = Cli(home, {"sim", "add-logger", "--variant", "H"});
    ASSERT_EQ(added.code, 0) << added.err.toStdString();

    const CliResult direct = Cli(home, {"logger", "status"});
    ASSERT_EQ(direct.code, 0) << direct.err.toStdString();

    const CliResult bad = Cli(home, {"sim", "reader", "DS9097"});
    EXPECT_EQ(bad.code, 2);
    EXPECT_TRUE(bad.err.contains("reader takes DS2490 or direct")) << bad.err.toStdString();
    EXPECT_TRUE(Cli(home, {"sim", "show"}).out.contains("reader: direct")) << "a refused choice changes nothing";

    const CliResult chosen = Cli(home, {"sim", "reader", "DS2490"});
    ASSERT_EQ(chosen.code, 0) << chosen.err.toStdString();
    EXPECT_TRUE(Cli(home, {"sim", "show"}).out.contains("reader: emulated DS2490 USB adapter"));

    const QString trace = QDir(home).filePath("usb.log");
    const CliResult viaUsb = Cli(home, {"--trace-bus", trace, "logger", "status"});
    ASSERT_EQ(viaUsb.code, 0) << viaUsb.err.toStdString();
    // The clock runs on between the two runs; every other line is the same.
    auto withoutClock = [](const QString& out) {
        QStringList lines = out.split('\n');
        lines.erase(std::remove_if(lines.begin(), lines.end(), [](const QString& l) { return l.startsWith("clock") || l.contains("time difference"); }), lines.end());
        return lines;
    };
    EXPECT_EQ(withoutClock(viaUsb.out), withoutClock(direct.out));
    const QString log = ReadAll(trace);
    EXPECT_TRUE(log.contains(">> EP0 COMM 0x49FD 0x01F0 search access, one device")) << log.left(2000).toStdString();
    EXPECT_TRUE(log.contains(">> EP0 COMM 0x0075 0x000E block I/O")) << "the status register: Match ROM, Read Memory, address and byte in one block";
    EXPECT_TRUE(log.contains("<< EP3 ")) << log.left(2000).toStdString();

    ASSERT_EQ(Cli(home, {"sim", "reader", "direct"}).code, 0);
    const QString again = QDir(home).filePath("direct.log");
    ASSERT_EQ(Cli(home, {"--trace-bus", again, "logger", "status"}).code, 0);
    EXPECT_FALSE(ReadAll(again).contains(" EP0 ")) << "read directly, no adapter requests";
}
