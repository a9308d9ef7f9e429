#pragma once
// The virtual bench behind a real adapter protocol: the program's driver layer talks to the
// simulated devices through the DS2480B emulator (serial bytes) or the DS2490 emulator (USB
// transfers), so that one suite of tests holds both adapters to the same behaviour.
#include "VirtualBench.h"
#include "app/modMain.h"
#include "app/modRegistry.h"
#include "onewire/BusWait.h"
#include "onewire/Ds2480Link.h"
#include "onewire/Ds2490Link.h"
#include "onewire/Tmex.h"
#include "onewire/clsDallasBus.h"
#include "simulator/Ds2480Emulator.h"
#include "simulator/Ds2490Emulator.h"
#include "thermochron/clsDallasDevice.h"

#include <memory>

namespace bench {

enum class Adapter { Ds2480b, Ds2490 };

inline std::string AdapterName(const ::testing::TestParamInfo<Adapter>& info)
{
    return info.param == Adapter::Ds2480b ? "DS2480B" : "DS2490";
}

class AdapterBench : public VirtualBench, public ::testing::WithParamInterface<Adapter> {
protected:
    void SetUp() override
    {
        VirtualBench::SetUp();
        SetRegistryFile(dir.filePath("registry.ini"));
        SetBusWaitForTesting([](int) {});
        TmexShutdown();
        QString error;
        ASSERT_TRUE(world->addCable(nullptr, &error)) << error.toStdString();
        if (GetParam() == Adapter::Ds2480b) {
            serial = std::make_unique<Ds2480Emulator>(*bus);
            SetLinkFactoryForTesting([this](int, int) -> std::unique_ptr<OneWireLink> {
                auto link = std::make_unique<Ds2480Link>(serial->memoryPort());
                link->setAnswerTimeoutMs(50);
                return link;
            });
        } else {
            usb = std::make_unique<Ds2490Emulator>(*bus);
            SetLinkFactoryForTesting([this](int, int) -> std::unique_ptr<OneWireLink> {
                return std::make_unique<Ds2490Link>(usb->transport());
            });
        }
        bus->installAsProgramClock();
    }
    void TearDown() override
    {
        devices.clear();
        dallas.reset();
        TmexShutdown();
        SetLinkFactoryForTesting({});
        SetBusWaitForTesting({});
        SetClockForTesting({});
        serial.reset();
        usb.reset();
        VirtualBench::TearDown();
    }

    // The device object of a ROM after a fresh inventory (nullptr when it is not on the bus).
    clsDallasDevice* find(const RomCode& rom)
    {
        if (!dallas) dallas = std::make_unique<clsDallasBus>();
        if (dallas->DoInventory() != 0) return nullptr;
        auto d = dallas->colDevices.item(virtualbus::RomToText(rom));
        if (d) devices.push_back(d);
        return d.get();
    }

    // The adapter goes away after a few more exchanges with the host (pulled out of the
    // computer); back() plugs it in again.
    void adapterGoneAfter(int exchanges)
    {
        if (serial) serial->setAnswerLimit(exchanges);
        else usb->unplugAfterTransfers(exchanges);
    }
    void adapterBack()
    {
        if (serial) serial->setAnswerLimit(-1);
        else usb->plugBackIn();
    }

    std::unique_ptr<Ds2480Emulator> serial;
    std::unique_ptr<Ds2490Emulator> usb;
    std::unique_ptr<clsDallasBus> dallas;
    std::vector<std::shared_ptr<clsDallasDevice>> devices;
};

} // namespace bench
