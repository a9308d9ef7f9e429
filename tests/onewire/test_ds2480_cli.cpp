// Two processes: one serves the emulated DS2480B in front of the virtual bench, the other lists
// the bus through it with --bus serial, as it would through a real serial port.
#include "app/modRegistry.h"
#include "simulator/VirtualDs1921.h"
#include "simulator/VirtualDs2502.h"
#include "simulator/VirtualWorld.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

QStringList Globals(const QString& home)
{
    return { "--home", home, "--registry", QDir(home).filePath("registry.ini") };
}

// The store is named both ways: by the option and by the environment.
void UseHomeRegistry(QProcess& p, const QString& home)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("NORDALIS_REGISTRY", QDir(home).filePath("registry.ini"));
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(home);
}

QString RunCli(const QString& home, const QStringList& args, int* code)
{
    QProcess p;
    UseHomeRegistry(p, home);
    p.start(NORDALIS_CLI, Globals(home) + args);
    p.waitForFinished(60000);
    *code = p.exitCode();
    if (p.exitCode() != 0)
        ADD_FAILURE() << args.join(' ').toStdString() << ": " << p.readAllStandardError().toStdString();
    return QString::fromUtf8(p.readAllStandardOutput());
}

} // namespace

TEST(Ds2480Cli, BusListThroughTheEmulatedAdapterOfAnotherProcess)
{
    QTemporaryDir dir;
    const QString home = dir.path();
    QString loggerRom, cableRom;
    {
        VirtualWorld world(QDir(home).filePath("virtual-bus.json"));
        QString error;
        auto* logger = world.addLogger(Ds1921Variant::G, nullptr, &error);
        auto* cable = world.addCable(nullptr, &error);
        ASSERT_TRUE(logger && cable) << error.toStdString();
        loggerRom = logger->romText();
        cableRom = cable->romText();
        ASSERT_TRUE(world.save(&error)) << error.toStdString();
    }

    QProcess emulator;
    UseHomeRegistry(emulator, home);
    emulator.start(NORDALIS_CLI, Globals(home) + QStringList{ "ds2480-emulator", "--seconds", "60" });
    ASSERT_TRUE(emulator.waitForStarted(10000));
    QString path;
    while (!path.endsWith('\n') && emulator.waitForReadyRead(10000))
        path += QString::fromUtf8(emulator.readAllStandardOutput());
    path = path.trimmed();
    ASSERT_TRUE(path.startsWith("/dev/")) << path.toStdString();

    const QString previousRegistry = RegistryFile();
    SetRegistryFile(QDir(home).filePath("registry.ini"));
    CreateRegistryKey(kTmexKey);
    WriteRegistryValue(kTmexKey, "PortDevice1", path);
    SetRegistryFile(previousRegistry);

    int code = -1;
    QString out = RunCli(home, { "--bus", "serial", "bus", "list" }, &code);
    EXPECT_EQ(code, 0);
    QStringList lines = out.split('\n', Qt::SkipEmptyParts);
    EXPECT_EQ(lines.size(), 2) << out.toStdString();
    EXPECT_TRUE(lines.contains(loggerRom + "\tDS1921G Thermochron temperature logger")) << out.toStdString();
    EXPECT_TRUE(lines.contains(cableRom + "\tDS2502 identification chip (reader cable)")) << out.toStdString();

    // A change made by a third run is seen by the emulator at the next opening of the port.
    RunCli(home, { "--bus", "virtual", "sim", "remove", loggerRom }, &code);
    EXPECT_EQ(code, 0);
    out = RunCli(home, { "--bus", "serial", "bus", "list" }, &code);
    EXPECT_EQ(out.split('\n', Qt::SkipEmptyParts), QStringList{ cableRom + "\tDS2502 identification chip (reader cable)" });

    emulator.terminate();
    EXPECT_TRUE(emulator.waitForFinished(10000));
    EXPECT_EQ(emulator.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(emulator.exitCode(), 0);
}
