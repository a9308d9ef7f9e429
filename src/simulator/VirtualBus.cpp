// The virtual 1-Wire bus.
#include "simulator/VirtualBus.h"
#include "app/modMain.h"
#include "onewire/BusTrace.h"
#include "simulator/VirtualUsbReader.h"

VirtualBus::VirtualBus() : VirtualBus(VirtualWorld::ForFile(VirtualWorld::DefaultStateFile()))
{
    installAsProgramClock();
}

VirtualBus::VirtualBus(std::shared_ptr<VirtualWorld> world) : m_world(std::move(world)) {}

bool VirtualBus::open()
{
    m_world->reloadIfChanged();
    if (!m_world->usable()) {
        m_error = m_world->loadError();
        m_open = false;
        return false;
    }
    m_error.clear();
    m_open = true;
    return true;
}

void VirtualBus::close()
{
    if (m_open) m_world->saveIfChanged();
    m_open = false;
}

void VirtualBus::beginSession()
{
    m_world->reloadIfChanged();
}

void VirtualBus::endSession()
{
    m_world->saveIfChanged();
}

bool VirtualBus::reset()
{
    if (!m_open) { m_error = QStringLiteral("virtual bus not open"); return false; }
    ++m_slots;
    const bool od = m_speed == OneWireSpeed::Overdrive;
    if (od) ++m_odSlots;
    // Changes of the exchange that this reset ends are saved first; then state written by
    // another process is picked up, and the devices catch up with the simulation clock.
    m_world->saveIfChanged();
    m_world->reloadIfChanged();
    m_world->syncAll();
    bool presence = false;
    for (const auto& d : m_world->devices()) {
        const bool answered = d->busReset(m_speed);
        presence = presence || answered;
    }
    if (od && m_odFault == OverdriveFault::Silent) presence = false;
    BusTraceReset(presence);
    return presence;
}

int VirtualBus::slot(int bit)
{
    ++m_slots;
    int level = bit ? 1 : 0;
    const auto& devs = m_world->devices();
    for (const auto& d : devs) level &= d->driveBit(m_speed);
    for (const auto& d : devs) d->observeBit(level, m_speed);
    if (m_speed == OneWireSpeed::Overdrive) {
        ++m_odSlots;
        if (m_odFault == OverdriveFault::Silent) return bit ? 1 : 0;
        if (m_odFault == OverdriveFault::Damaged && m_odSlots % uint64_t(m_damagePeriod) == 0) return level ^ 1;
    }
    return level;
}

int VirtualBus::touchBit(int bit)
{
    if (!m_open) return -1;
    return slot(bit);
}

int VirtualBus::touchByte(uint8_t byte)
{
    if (!m_open) return -1;
    int r = 0;
    for (int i = 0; i < 8; ++i) r |= slot((byte >> i) & 1) << i;
    m_world->saveIfChanged();
    if (BusTraceOn()) {
        const uint8_t back = uint8_t(r);
        BusTraceBytes(BusTraceDirection::ToBus, &byte, 1);
        BusTraceBytes(BusTraceDirection::FromBus, &back, 1);
    }
    return r;
}

int VirtualBus::block(uint8_t* buffer, int len)
{
    if (!m_open || len < 0) return 0;
    const int n = m_world->takeBlockLimit(len);
    if (BusTraceOn()) BusTraceBytes(BusTraceDirection::ToBus, buffer, n);
    for (int k = 0; k < n; ++k) {
        int r = 0;
        for (int i = 0; i < 8; ++i) r |= slot((buffer[k] >> i) & 1) << i;
        buffer[k] = uint8_t(r);
    }
    if (BusTraceOn()) BusTraceBytes(BusTraceDirection::FromBus, buffer, n);
    m_world->saveIfChanged();
    return n;
}

void VirtualBus::InstallProgramClock(std::shared_ptr<VirtualWorld> world)
{
    SetClockForTesting([world] {
        world->refreshClock();
        return world->clock().nowUtc();
    });
}

void VirtualBus::installAsProgramClock() const { InstallProgramClock(m_world); }

namespace {
// The program's link to the bench of the application directory: the bus itself, or the bus
// behind the emulated USB reader when the bench says so.
std::unique_ptr<OneWireLink> MakeVirtualLink()
{
    auto world = VirtualWorld::ForFile(VirtualWorld::DefaultStateFile());
    world->reloadIfChanged();
    if (world->reader() == QLatin1String("DS2490")) {
        VirtualBus::InstallProgramClock(world);
        return std::make_unique<VirtualUsbReader>(world);
    }
    return std::make_unique<VirtualBus>();
}

// Linked whenever anything of the virtual bus is used: the link choice then finds it.
const bool kDefaultFactorySet = [] {
    SetDefaultVirtualLinkFactory(MakeVirtualLink);
    return true;
}();
} // namespace

void RegisterVirtualLink()
{
    SetVirtualLinkFactory(MakeVirtualLink);
}

void RegisterVirtualBus()
{
    RegisterVirtualLink();
    // With the virtual driver chosen, the program clock follows the bench from now on, not only
    // from the first bus session.
    if (ConfiguredDriver() == QLatin1String("virtual"))
        VirtualBus::InstallProgramClock(VirtualWorld::ForFile(VirtualWorld::DefaultStateFile()));
}
