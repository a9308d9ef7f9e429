// The terminal program and the USB 1-Wire adapter, run as the real program on a temporary
// application directory, on this computer's USB: with no DS2490 attached every verb names the
// cause and the remedy, fails, and writes nothing but the choice the operator made.
#include "app/modRegistry.h"
#include "settings/InterfacePort.h"

#include "support/CliProcess.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <map>

namespace {

const QString kNoAdapter = QStringLiteral("no USB 1-Wire adapter (DS2490) is attached: plug the USB reader in, or "
                                          "choose another port in the settings (interface tab)");

class AdapterCli : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        // The tests expect no DS2490 on this computer; a machine with one skips them.
        QString error;
        if (!ListedUsbAdapters(&error).empty()) GTEST_SKIP() << "a DS2490 is attached to this computer";
        const CliRun init = run({"init", "--site", "1001"});
        ASSERT_EQ(init.code, 0) << init.err.toStdString();
        savedRegistry = RegistryFile();
    }
    void TearDown() override
    {
        if (!savedRegistry.isEmpty()) SetRegistryFile(savedRegistry);
    }
    static std::vector<UsbAdapterInfo> ListedUsbAdapters(QString* error)
    {
        SetUsbAdaptersForTesting(std::nullopt);
        return UsbAdaptersPresent(error);
    }
    CliRun run(const QStringList& args, const QStringList& bus = {}) { return RunCli(dir, bus + args); }
    CliRun runUsb(const QStringList& args) { return run(args, {"--bus", "usb"}); }

    // Every file of the run's directory (application directory and store) with its contents' hash.
    std::map<QString, QByteArray> files() const
    {
        std::map<QString, QByteArray> out;
        QDirIterator it(dir.path(), QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            if (path.contains("/share/") || path.contains("/config/") || path.contains("runtime-")) continue;
            QFile f(path);
            out[QDir(dir.path()).relativeFilePath(path)] =
                f.open(QIODevice::ReadOnly) ? QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256) : "?";
        }
        return out;
    }
    QString stored(const char* name)
    {
        SetRegistryFile(dir.filePath("registry.ini"));
        return ReadRegistry(kTmexKey, name, "(none)").toString();
    }

    QTemporaryDir dir;
    QString savedRegistry;
};

} // namespace

TEST_F(AdapterCli, BusAdaptersWithoutADs2490SaysSoWithTheRemedyAndFails)
{
    const auto before = files();
    CliRun r = runUsb({"bus", "adapters"});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.err.contains("nordalis-cli: " + kNoAdapter)) << r.err.toStdString();
    EXPECT_FALSE(r.out.contains("usb\t")) << r.out.toStdString();
    // The serial adapters there are are still listed, one a line, kind and description.
    const QStringList serial = SerialAdaptersPresent();
    QStringList expected;
    for (const QString& s : serial) expected << "serial\t" + s;
    EXPECT_EQ(r.out, expected.isEmpty() ? QString() : expected.join('\n') + '\n');

    // Without --bus (a serial choice): fails only when nothing at all is attached.
    r = run({"bus", "adapters"});
    if (serial.isEmpty()) {
        EXPECT_EQ(r.code, 1);
        EXPECT_TRUE(r.err.contains("no 1-Wire adapter is attached")) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains("plug the reader in")) << r.err.toStdString();
    } else {
        EXPECT_EQ(r.code, 0) << r.err.toStdString();
    }
    EXPECT_EQ(files(), before);

    r = run({"bus", "adapter"});
    EXPECT_EQ(r.code, 2);
    EXPECT_TRUE(r.err.contains("usage: bus list | bus adapters")) << r.err.toStdString();
}

TEST_F(AdapterCli, BusVerbsOnAMissingUsbAdapterNameCauseAndRemedyAndWriteNothing)
{
    const auto before = files();
    for (const QStringList& verb : {QStringList{"bus", "list"}, QStringList{"logger", "status"}}) {
        const CliRun r = runUsb(verb);
        EXPECT_EQ(r.code, 1) << verb.join(' ').toStdString();
        EXPECT_EQ(r.err, "nordalis-cli: the 1-Wire adapter does not answer (port 1, USB1, DS2490 USB adapter): " +
                             kNoAdapter + "\n")
            << r.err.toStdString();
        EXPECT_TRUE(r.out.isEmpty()) << r.out.toStdString();
    }
    // Reading, stopping and programming say the same after their own words.
    CliRun r = runUsb({"read"});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, "nordalis-cli read: no logger on the bus: " + kNoAdapter + "\n") << r.err.toStdString();
    r = runUsb({"stop"});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, "nordalis-cli stop: no logger on the bus: " + kNoAdapter + "\n") << r.err.toStdString();
    ASSERT_EQ(run({"structure", "add-compartment", "--description", "cold room"}).code, 0);
    const auto withRoom = files();
    r = runUsb({"program", "--room", "1", "--position", "1", "--description", "door", "--rate", "10", "--low", "2",
                "--high", "8"});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, "nordalis-cli program: no logger on the bus: " + kNoAdapter + "\n") << r.err.toStdString();
    EXPECT_EQ(files(), withRoom);
    EXPECT_NE(files(), before);   // the compartment did change the database: the comparison sees writes
    EXPECT_EQ(stored("Driver"), "(none)");
}

TEST_F(AdapterCli, PortListAndTheChoiceOfTheUsbAdapter)
{
    CliRun r = run({"port", "list"});
    ASSERT_EQ(r.code, 0) << r.err.toStdString();
    QStringList lines = r.out.split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), kInterfacePortCount);   // no DS2490 here: the serial ports only
    EXPECT_EQ(lines[0], "1  (/dev/ttyS0)");
    EXPECT_EQ(lines[14], "15  (/dev/ttyS14)");
    r = run({"port", "list"}, {"--bus", "virtual"});
    EXPECT_EQ(r.out.split('\n', Qt::SkipEmptyParts).value(4), "5  (virtual bus)");

    // USB1 is written as the settings window writes it, although no adapter answers.
    r = run({"port", "set", "USB1"});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.out.startsWith("No interface found on COM-Port:USB1 (")) << r.out.toStdString();
    EXPECT_TRUE(r.out.endsWith("): " + kNoAdapter + "\n")) << r.out.toStdString();
    EXPECT_EQ(stored("DefaultPortNum"), "1");
    EXPECT_EQ(stored("Driver"), "usb");
    // The list now holds the chosen adapter, away; the bus verbs use it without --bus.
    r = run({"port", "list"});
    EXPECT_EQ(r.out.split('\n', Qt::SkipEmptyParts).value(kInterfacePortCount), "USB1 (not attached)");
    r = run({"bus", "list"});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.err.endsWith(kNoAdapter + "\n")) << r.err.toStdString();
    r = run({"bus", "adapters"});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.err.contains(kNoAdapter)) << r.err.toStdString();

    // A serial port again: the kind goes back to serial.
    r = run({"port", "set", "4"});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.out.startsWith("No interface found on COM-Port:4 (")) << r.out.toStdString();
    EXPECT_EQ(stored("DefaultPortNum"), "4");
    EXPECT_EQ(stored("Driver"), "serial");

    // Names that are no port change nothing.
    const auto before = files();
    for (const char* bad : {"USB0", "USB16", "16", "COM3", "usb"}) {
        r = run({"port", "set", bad});
        EXPECT_EQ(r.code, 2) << bad;
        EXPECT_TRUE(r.err.contains("not a port: ")) << r.err.toStdString();
        EXPECT_TRUE(r.out.isEmpty()) << r.out.toStdString();
    }
    EXPECT_EQ(files(), before);
}

TEST_F(AdapterCli, TheBusOptionTakesUsb)
{
    CliRun r = run({"bus", "list"}, {"--bus", "ubs"});
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.err, "nordalis-cli: --bus takes virtual, serial or usb\n");
    r = run({"--help"});
    EXPECT_TRUE(r.out.contains("[--bus virtual|serial|usb]")) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains("bus list | bus adapters")) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains("port list | port set N | port set USBn")) << r.out.toStdString();

    // The desktop program takes the same kinds.
    QProcess p;
    p.setProcessEnvironment(CliEnvironmentFor(dir));
    p.start(NORDALIS_DESKTOP, {"--home", dir.filePath("home"), "--bus", "ubs"});
    ASSERT_TRUE(p.waitForFinished(60000));
    EXPECT_EQ(p.exitCode(), 2);
    EXPECT_TRUE(QString::fromUtf8(p.readAllStandardError()).contains("--bus takes virtual, serial or usb"));
    p.start(NORDALIS_DESKTOP, {"--help"});
    ASSERT_TRUE(p.waitForFinished(60000));
    EXPECT_TRUE(QString::fromUtf8(p.readAllStandardOutput()).contains("[--bus virtual|serial|usb]"));
}
