// The program's own path onto the virtual bus: the driver layer, the bus object and the device
// object run the programming sequence on simulated loggers of each variant, the clock is moved
// on, and a full reading gives exactly the samples the room profile produced at their times.
#include "VirtualBench.h"
#include "app/modMain.h"
#include "app/modRegistry.h"
#include "onewire/BusWait.h"
#include "onewire/Tmex.h"
#include "onewire/clsDallasBus.h"
#include "thermochron/clsDallasDevice.h"

using namespace bench;

class VirtualProgramTest : public VirtualBench {
protected:
    void SetUp() override
    {
        VirtualBench::SetUp();
        SetRegistryFile(dir.filePath("registry.ini"));
        SetBusWaitForTesting([](int) {});
        TmexShutdown();
        auto w = world;
        SetLinkFactoryForTesting([w](int, int) { return std::make_unique<VirtualBus>(w); });
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
        VirtualBench::TearDown();
    }
    clsDallasDevice* find(const QString& romText)
    {
        if (!dallas) dallas = std::make_unique<clsDallasBus>();
        EXPECT_EQ(dallas->DoInventory(), 0);
        auto d = dallas->colDevices.item(romText);
        if (d) devices.push_back(d);
        return d.get();
    }
    std::unique_ptr<clsDallasBus> dallas;
    std::vector<std::shared_ptr<clsDallasDevice>> devices;
};

TEST_F(VirtualProgramTest, ProgrammedLoggersRecordTheRoomAtTheRightTimes)
{
    world->profile().base = 18.0;   // inside the range of every variant
    world->profile().swing = 2.0;
    world->profile().noise = 0.4;
    world->profile().excursions.append({Ms("2026-12-06T08:00:00"), 90 * 60000, 6.0});
    QString err;
    ASSERT_TRUE(world->addCable(nullptr, &err));
    struct Case { Ds1921Variant v; int rate; int delay; bool rollover; };
    const std::vector<Case> cases{{Ds1921Variant::G, 10, 0, false}, {Ds1921Variant::H, 1, 30, true}, {Ds1921Variant::Z, 15, 90, false}};
    std::vector<VirtualDs1921*> sims;
    for (const Case& c : cases) sims.push_back(addLogger(c.v));

    for (size_t i = 0; i < cases.size(); ++i) {
        clsDallasDevice* d = find(sims[i]->romText());
        ASSERT_TRUE(d);
        ASSERT_EQ(d->SetDateTime(NowUtc()), 0);
        ASSERT_EQ(d->ClearMemory(), ToCode(DeviceResult::Success));
        ASSERT_EQ(d->SetStartDelay(cases[i].delay), ToCode(DeviceResult::Success));
        ASSERT_EQ(d->SetTemperatureAlarms(10.0f, 22.0f), ToCode(DeviceResult::Success));
        ASSERT_EQ(d->SetRollOver(cases[i].rollover), ToCode(DeviceResult::Success));
        ASSERT_EQ(d->SetSampleRate(uint8_t(cases[i].rate)), ToCode(DeviceResult::Success));
        ASSERT_EQ(d->WritePage(0, ByteBuffer{'r', 'e', 'c', 'o', 'r', 'd'}), 0) << "the record goes in after the start";
        EXPECT_TRUE(d->IsMissionRunning());
        EXPECT_EQ(sims[i]->peek(0x20B), d->SingleToTemperature(10.0f));
    }
    const qint64 programmed = world->clock().nowMs();
    advance(3LL * 86400000);
    EXPECT_EQ(NowUtc().toMSecsSinceEpoch(), programmed + 3LL * 86400000);

    for (size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(VirtualDs1921::VariantName(cases[i].v).toStdString());
        clsDallasDevice* d = find(sims[i]->romText());
        ASSERT_TRUE(d);
        ByteBuffer record;
        ASSERT_EQ(d->ReadPage(0, record), 0);
        EXPECT_EQ(record, (ByteBuffer{'r', 'e', 'c', 'o', 'r', 'd'}));
        int16_t pages = 2;
        ByteBuffer regs, log;
        ASSERT_EQ(d->ReadPageCRC(0x200, pages, regs), 0);
        pages = 64;
        ASSERT_EQ(d->ReadPageCRC(0x1000, pages, log), 0);

        // Logging began at the first minute boundary after programming plus the delay; the
        // clock was set from the program clock, so logger time = simulation time less its
        // fraction of a second (0.5 s here).
        const qint64 first = (programmed / 60000 + 1 + cases[i].delay) * 60000 + 500;
        const qint64 period = qint64(cases[i].rate) * 60000;
        const qint64 count = (programmed + 3LL * 86400000 - first) / period + 1;
        EXPECT_EQ(regs[0x1A] | (regs[0x1B] << 8) | (regs[0x1C] << 16), count);
        const QDateTime stamp = QDateTime::fromMSecsSinceEpoch(first, Qt::UTC);
        auto bcd = [](int v) { return uint8_t(((v / 10) << 4) | (v % 10)); };
        EXPECT_EQ(regs[0x15], bcd(stamp.time().minute()));
        EXPECT_EQ(regs[0x16], bcd(stamp.time().hour()));
        EXPECT_EQ(regs[0x17], bcd(stamp.date().day()));
        const int logged = int(std::min<qint64>(count, 2048));
        int hot = 0;
        for (int j = 0; j < logged; ++j) {
            // Slot j holds sample k: in order, or the last 2048 when rolled over.
            const qint64 k = cases[i].rollover && count > 2048 ? count - 2048 + 1 + ((j - (count - 1) % 2048 - 1 + 2048) % 2048) : j + 1;
            const qint64 at = first + (k - 1) * period;
            const double t = sims[i]->temperatureAt(at);
            ASSERT_EQ(log[size_t(j)], sims[i]->codeFor(t)) << "slot " << j << " sample " << k;
            EXPECT_NEAR(d->CodeToTemperature(log[size_t(j)]), t, cases[i].v == Ds1921Variant::G ? 0.25 : 0.0625);
            if (t > 22.0) ++hot;
        }
        if (!cases[i].rollover) {   // rolled over, the excursion has left the log
            EXPECT_GT(hot, 0) << "the excursion shows";
        }
        EXPECT_TRUE(regs[0x14] & 0x02) << "high alarm flag";
    }
}
