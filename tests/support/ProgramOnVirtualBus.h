#pragma once
// Puts the program's own bus object on a virtual world for a test: instant bus waits, a fresh
// driver whose every port is the world, the program clock following the world's clock, and the
// application's logger image forgetting any device and bus of an earlier test.
#include "app/modMain.h"
#include "image/clsDS1921Data.h"
#include "onewire/BusWait.h"
#include "onewire/Ds2490Link.h"
#include "onewire/Tmex.h"
#include "simulator/Ds2490Emulator.h"
#include "simulator/VirtualBus.h"
#include "simulator/VirtualWorld.h"

#include <memory>

// Link: the bus class every port gets (a test's own VirtualBus with faults of its making).
template <class Link = VirtualBus>
inline void ConnectProgramToVirtualWorld(const std::shared_ptr<VirtualWorld>& world)
{
    SetBusWaitForTesting([](int) {});
    TmexShutdown();
    SetLinkFactoryForTesting([world](int, int) { return std::make_unique<Link>(world); });
    VirtualBus::InstallProgramClock(world);
    AppLogger().objDeviceFound.reset();
    AppLogger().objBus.reset();
}

// The same, with every link of the program going through one emulated DS2490 USB adapter in front
// of the world (a reader that stays plugged in for the whole test). The adapter lives until
// DisconnectProgramFromVirtualWorld.
template <class Link = VirtualBus>
inline Ds2490Emulator& ConnectProgramThroughDs2490(const std::shared_ptr<VirtualWorld>& world)
{
    ConnectProgramToVirtualWorld<Link>(world);
    struct Reader {
        explicit Reader(const std::shared_ptr<VirtualWorld>& w) : bus(w), adapter(bus) {}
        Link bus;
        Ds2490Emulator adapter;
    };
    auto reader = std::make_shared<Reader>(world);
    SetLinkFactoryForTesting([reader](int, int) { return std::make_unique<Ds2490Link>(reader->adapter.transport()); });
    return reader->adapter;
}

// Undoes ConnectProgramToVirtualWorld: the program's bus object, driver, waits and clocks back to
// the real ones.
inline void DisconnectProgramFromVirtualWorld()
{
    AppLogger().objDeviceFound.reset();
    AppLogger().objBus.reset();
    TmexShutdown();
    SetLinkFactoryForTesting({});
    SetBusWaitForTesting({});
    SetClockForTesting({});
    VirtualClock::SetRealTimeForTesting({});
}
