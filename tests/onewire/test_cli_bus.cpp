// The terminal verbs of the bus on a virtual bench written by the test.
#include "app/modRegistry.h"
#include "onewire/BusWait.h"
#include "onewire/OneWireLink.h"
#include "onewire/Tmex.h"
#include "simulator/VirtualBus.h"
#include "simulator/VirtualDs1921.h"
#include "onewire/clsDallasBus.h"
#include "thermochron/clsDallasDevice.h"
#include "simulator/VirtualDs2502.h"
#include <QRegularExpression>
#include "simulator/VirtualWorld.h"
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {
struct CliRun {
    int code;
    QString out;
    QString err;
};

CliRun RunCli(const QString& home, const QStringList& args)
{
    QProcess p;
    p.setWorkingDirectory(home);
    p.start(NORDALIS_CLI, QStringList{"--home", home, "--registry", home + "/registry.ini"} + args);
    p.waitForFinished(60000);
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()), QString::fromUtf8(p.readAllStandardError())};
}
} // namespace

TEST(CliBus, ListsTheDevicesAndTellsTheLoggerState)
{
    QTemporaryDir dir;
    const QString home = dir.path();
    QString loggerRom, cableRom;
    {
        VirtualWorld world(QDir(home).filePath("virtual-bus.json"));
        QString error;
        auto* logger = world.addLogger(Ds1921Variant::H, nullptr, &error);
        ASSERT_TRUE(logger) << error.toStdString();
        auto* cable = world.addCable(nullptr, &error);
        ASSERT_TRUE(cable) << error.toStdString();
        loggerRom = logger->romText();
        cableRom = cable->romText();
        ASSERT_TRUE(world.save(&error)) << error.toStdString();
    }

    const CliRun list = RunCli(home, {"--bus", "virtual", "bus", "list"});
    ASSERT_EQ(list.code, 0) << list.err.toStdString();
    const QStringList lines = list.out.split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 2) << list.out.toStdString();
    EXPECT_TRUE(lines.contains(loggerRom + "\tDS1921H Thermochron temperature logger")) << list.out.toStdString();
    EXPECT_TRUE(lines.contains(cableRom + "\tDS2502 identification chip (reader cable)")) << list.out.toStdString();

    const QString trace = QDir(home).filePath("bus.log");
    const CliRun status = RunCli(home, {"--bus", "virtual", "--trace-bus", trace, "logger", "status"});
    ASSERT_EQ(status.code, 0) << status.err.toStdString();
    EXPECT_TRUE(status.out.contains("logger\t" + loggerRom)) << status.out.toStdString();
    EXPECT_TRUE(status.out.contains("mission running\tno")) << status.out.toStdString();
    EXPECT_TRUE(status.out.contains(QRegularExpression("clock\t\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d UTC")))
        << status.out.toStdString();
    EXPECT_TRUE(status.out.contains(QRegularExpression("temperature\t-?\\d+\\.\\d "))) << status.out.toStdString();
    QFile log(trace);
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(log.readAll());
    EXPECT_TRUE(text.contains("clsDallasBus: DoInventory() called"));
    EXPECT_TRUE(text.contains("clsDallasBus: ReadRawMemory(" + loggerRom + ") called"));

    const CliRun bad = RunCli(home, {"--bus", "virtual", "bus", "show"});
    EXPECT_NE(bad.code, 0);
}

TEST(CliBus, StatusOfALoggerOnAMission)
{
    QTemporaryDir dir;
    const QString home = dir.path();
    SetRegistryFile(QDir(home).filePath("registry.ini"));
    SetBusWaitForTesting([](int) {});
    auto world = VirtualWorld::ForFile(QDir(home).filePath("virtual-bus.json"));
    QString error;
    auto* sim = world->addLogger(Ds1921Variant::G, nullptr, &error);
    ASSERT_TRUE(sim) << error.toStdString();
    TmexShutdown();
    SetLinkFactoryForTesting([world](int, int) { return std::make_unique<VirtualBus>(world); });
    {
        clsDallasBus bus;
        bus.DoInventory();
        auto logger = bus.colDevices.item(sim->romText());
        ASSERT_TRUE(logger);
        ASSERT_EQ(logger->SetDateTime(QDateTime(QDate(2026, 12, 5), QTime(17, 34, 56), Qt::UTC)), 0);
        ASSERT_EQ(logger->ClearMemory(), 0);
        world->advance(2000);
        ASSERT_EQ(logger->SetSampleRate(5), 0);
        ASSERT_TRUE(logger->IsMissionRunning());
    }
    TmexShutdown();
    SetLinkFactoryForTesting({});
    SetBusWaitForTesting({});
    ASSERT_TRUE(world->save(&error)) << error.toStdString();

    const CliRun status = RunCli(home, {"--bus", "virtual", "logger", "status"});
    ASSERT_EQ(status.code, 0) << status.err.toStdString();
    EXPECT_TRUE(status.out.contains("mission running\tyes")) << status.out.toStdString();
    EXPECT_TRUE(status.out.contains("clock\t2026-12-05 17:3")) << status.out.toStdString();
}
