// nordalis-cli ds2480-emulator: a DS2480B serial adapter in software in front of the virtual
// bench of the application directory, on a pseudo-terminal. Another run of the program with
// --bus serial and the printed device as its port (TMEX value PortDevice<N>) then talks to the
// simulated loggers through the real serial protocol.
#include "app/modMain.h"
#include "cli/Cli.h"
#include "simulator/Ds2480Emulator.h"
#include "simulator/VirtualBus.h"

#include <QDir>
#include <atomic>
#include <chrono>
#include <csignal>
#include <thread>

namespace {

std::atomic<bool> g_stop{ false };

void OnSignal(int)
{
    g_stop = true;
}

int runEmulator(CliContext& ctx)
{
    QString seconds;
    QString error;
    const bool timed = TakeOption(ctx.args, "--seconds", seconds, &error);
    if (!error.isEmpty()) {
        ctx.err << "nordalis-cli ds2480-emulator: " << error << "\n";
        return 2;
    }
    const bool throttle = TakeFlag(ctx.args, "--throttle");
    bool ok = true;
    const int limit = timed ? seconds.toInt(&ok) : 0;
    if (!ok || limit < 0 || !ctx.args.isEmpty()) {
        ctx.err << "nordalis-cli ds2480-emulator: usage: ds2480-emulator [--seconds N] [--throttle]\n";
        return 2;
    }
    QString stateFile = VirtualWorld::DefaultStateFile();
    if (App().ApplicationDirectory.isEmpty() && !ctx.globals.home.isEmpty())
        stateFile = QDir(ctx.globals.home).filePath(QStringLiteral("virtual-bus.json"));
    auto world = VirtualWorld::ForFile(stateFile);
    VirtualBus bus(world);
    if (!bus.open()) {
        ctx.err << "nordalis-cli ds2480-emulator: " << bus.lastError() << "\n";
        return 1;
    }
    Ds2480Emulator emulator(bus);
    emulator.setThrottle(throttle);
    if (!emulator.start(&error)) {
        ctx.err << "nordalis-cli ds2480-emulator: " << error << "\n";
        return 1;
    }
    ctx.out << emulator.devicePath() << "\n";
    ctx.out.flush();
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(limit);
    while (!g_stop && (!timed || std::chrono::steady_clock::now() < end))
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    emulator.stop();
    world->saveIfChanged();
    return 0;
}

CliVerb verbEmulator("ds2480-emulator", "ds2480-emulator [--seconds N] [--throttle]",
                     "serve a DS2480B adapter for the virtual bench on a pseudo-terminal (prints its path)",
                     &runEmulator, false);

} // namespace
