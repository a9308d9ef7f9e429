#pragma once
// Common set-up of the bus tests: a registry file in a temp dir, instant waits that are
// recorded, a recording link on every port, and a bus object whose events are collected.
#include "app/modRegistry.h"
#include "onewire/BusWait.h"
#include "onewire/RecordingLink.h"
#include "onewire/clsDallasBus.h"
#include "thermochron/clsDallasDevice.h"
#include <QStringList>
#include <QTemporaryDir>
#include <gtest/gtest.h>

inline Bytes Concat(std::initializer_list<Bytes> parts)
{
    Bytes all;
    for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

inline Bytes RomBytes(const RomCode& rom) { return Bytes(rom.begin(), rom.end()); }
inline Bytes Fill(size_t n, uint8_t value) { return Bytes(n, value); }

class BusTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    std::unique_ptr<LinkFixture> fixture;
    std::vector<int> waits;
    QStringList messages;
    QStringList errors;
    std::vector<int32_t> errorNumbers;

    void SetUp() override
    {
        SetRegistryFile(dir.filePath("registry.ini"));
        SetBusWaitForTesting([this](int ms) { waits.push_back(ms); });
        fixture = std::make_unique<LinkFixture>();
    }
    void TearDown() override
    {
        fixture.reset();
        SetBusWaitForTesting({});
    }
    RecordingLink& link() { return *fixture->link; }

    std::unique_ptr<clsDallasBus> MakeBus()
    {
        auto bus = std::make_unique<clsDallasBus>();
        bus->SetStatusMessage = [this](const QString& m) { messages << m; };
        bus->CommError = [this](int32_t n, const QString& text) { errorNumbers.push_back(n); errors << text; };
        return bus;
    }

    // A device object for rom on bus, as the search makes it.
    static std::shared_ptr<clsDallasDevice> DeviceFor(clsDallasBus& bus, const RomCode& rom)
    {
        auto d = std::make_shared<clsDallasDevice>();
        d->objMyBus = &bus;
        RomArray a{};
        for (int i = 0; i < 8; ++i) a[size_t(i)] = rom[size_t(i)];
        EXPECT_EQ(d->SetParameter("ROMCode", a), ToCode(DeviceResult::Success));
        return d;
    }
};
