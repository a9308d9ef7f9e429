// A full reading of a logger (record, register pages, data log, stamp) at the fastest settings
// gives exactly the bytes of a reading at standard speed, on the virtual bus and through both
// adapter emulators; a line that breaks at overdrive or at a high serial rate falls back step by
// step and still gives the same bytes.
#include "app/modRegistry.h"
#include "image/clsDS1921Data.h"
#include "onewire/Ds2480Link.h"
#include "onewire/Ds2490Link.h"
#include "onewire/Tmex.h"
#include "onewire/VirtualBench.h"
#include "simulator/Ds2480Emulator.h"
#include "simulator/Ds2490Emulator.h"
#include "simulator/VirtualDs2502.h"
#include "thermochron/clsDallasDevice.h"

namespace {

enum class Path { Virtual, Serial, Usb };
const char* Name(Path p) { return p == Path::Virtual ? "virtual bus" : p == Path::Serial ? "DS2480B" : "DS2490"; }

struct Reading {
    bool ok = false;
    QByteArray record, registers, log, stamped;
    TmexOverdrive overdrive = TmexOverdrive::Unknown;   // the port's state at the end
};

class OverdriveReading : public bench::VirtualBench {
protected:
    void SetUp() override
    {
        VirtualBench::SetUp();
        SetRegistryFile(dir.filePath("registry.ini"));
        SetBusOverride(QString());
        CreateRegistryKey(kTmexKey);
        WriteRegistryValue(kTmexKey, "DefaultPortNum", "1");
        WriteRegistryValue(kTmexKey, "DefaultPortType", "5");
        QString error;
        ASSERT_TRUE(world->addCable(nullptr, &error)) << error.toStdString();
        logger = addLogger()->rom();
        // A mission with some hours of samples, so that the data log is not uniform.
        program(logger, realNow, 1, 0, 0x40, 0xC0, false);
        advance(5LL * 3600 * 1000);
        serialChip = std::make_unique<Ds2480Emulator>(*bus);
        usbChip = std::make_unique<Ds2490Emulator>(*bus);
    }
    void TearDown() override
    {
        TmexShutdown();
        SetLinkFactoryForTesting({});
        serialChip.reset();
        usbChip.reset();
        VirtualBench::TearDown();
    }

    void use(Path path)
    {
        SetLinkFactoryForTesting([this, path](int, int) -> std::unique_ptr<OneWireLink> {
            switch (path) {
            case Path::Virtual: return std::make_unique<VirtualBus>(world);
            case Path::Serial: {
                auto link = std::make_unique<Ds2480Link>(serialChip->memoryPort());
                link->setAnswerTimeoutMs(20);
                link->setPreferredBaudRate(baud);
                serialLink = link.get();
                return link;
            }
            case Path::Usb: return std::make_unique<Ds2490Link>(usbChip->transport());
            }
            return nullptr;
        });
    }
    static void overdrive(bool on) { WriteRegistryValue(kTmexKey, "Overdrive", on ? "1" : "0"); }

    // The reading sequence's transfers: find the logger, read its image, stamp the record and
    // read it back.
    Reading read()
    {
        Reading r;
        {
            clsDS1921Data image;
            EXPECT_FALSE(image.DeviceFound(QStringLiteral("21")).isEmpty());
            if (!image.objDeviceFound) return r;
            qint32 result = -1;
            image.ReadImageFromLogger(false, result);
            EXPECT_EQ(result, imgOk) << image.LastError().toStdString();
            r.record = image.NVRAMBytes();
            r.registers = image.RegisterPages();
            r.log = image.TemperaturePages();
            // The stamp's transfers: the record written through the scratchpad (tried again as
            // the reading sequence does when it did not hold) and read back.
            const ByteBuffer record(r.record.begin(), r.record.end());
            int32_t written = -1;
            for (int attempt = 0; attempt < 3 && written != 0; ++attempt)
                written = image.objDeviceFound->WritePage(0, record);
            EXPECT_EQ(written, 0);
            ByteBuffer back;
            EXPECT_EQ(image.objDeviceFound->ReadPage(0, back), 0);
            r.stamped = QByteArray(reinterpret_cast<const char*>(back.data()), qsizetype(back.size()));
            EXPECT_EQ(r.stamped, r.record);
            r.ok = result == imgOk && written == 0 && !r.log.isEmpty();
        }
        r.overdrive = TMOverdriveState(1);
        TmexShutdown();
        return r;
    }

    // The reference: a reading on the virtual bus at standard speed.
    Reading reference()
    {
        use(Path::Virtual);
        overdrive(false);
        // The logger gets a record first.
        clsDS1921Data image;
        EXPECT_FALSE(image.DeviceFound(QStringLiteral("21")).isEmpty());
        qint32 result = -1;
        image.WriteImageToLoggerNVRAM(result);
        EXPECT_EQ(result, 0);
        TmexShutdown();
        Reading r = read();
        EXPECT_TRUE(r.ok);
        EXPECT_EQ(r.record, r.stamped);
        EXPECT_GE(r.log.size(), 64 * 32);
        EXPECT_GE(r.registers.size(), 2 * 32);
        return r;
    }

    static void expectSame(const Reading& got, const Reading& want, const char* what)
    {
        EXPECT_TRUE(got.ok) << what;
        EXPECT_EQ(got.record, want.record) << what;
        EXPECT_EQ(got.registers, want.registers) << what;
        EXPECT_EQ(got.log, want.log) << what;
        EXPECT_EQ(got.stamped, want.stamped) << what;
    }

    RomCode logger{};
    int baud = 115200;
    std::unique_ptr<Ds2480Emulator> serialChip;
    std::unique_ptr<Ds2490Emulator> usbChip;
    Ds2480Link* serialLink = nullptr;
};

TEST_F(OverdriveReading, EveryPathReadsAtOverdriveExactlyTheBytesOfAStandardReading)
{
    const Reading want = reference();
    for (Path path : { Path::Virtual, Path::Serial, Path::Usb }) {
        use(path);
        // Standard speed when configured so: no slot at overdrive.
        overdrive(false);
        uint64_t before = bus->overdriveSlots();
        Reading standard = read();
        expectSame(standard, want, Name(path));
        EXPECT_EQ(standard.overdrive, TmexOverdrive::Off) << Name(path);
        if (path != Path::Virtual) {
            EXPECT_EQ(bus->overdriveSlots(), before) << Name(path);
        }

        overdrive(true);
        before = bus->overdriveSlots();
        const Reading fast = read();
        expectSame(fast, want, Name(path));
        EXPECT_EQ(fast.overdrive, TmexOverdrive::Allowed) << Name(path);   // session ended at standard
        // The data log's 64 pages alone are more than 17000 slots.
        if (path != Path::Virtual) {
            EXPECT_GT(bus->overdriveSlots() - before, 17000u) << Name(path);
        }
    }
    EXPECT_GT(serialChip->overdriveBytes(), 64u * 34u);
    EXPECT_EQ(serialChip->speedCode(), 0);   // the adapter left at standard speed
    EXPECT_EQ(usbChip->speed(), 0);
}

TEST_F(OverdriveReading, ALineWithoutOverdriveFallsBackAndLosesNothing)
{
    const Reading want = reference();
    for (Path path : { Path::Serial, Path::Usb }) {
        for (auto fault : { VirtualBus::OverdriveFault::Silent, VirtualBus::OverdriveFault::Damaged }) {
            const char* what = fault == VirtualBus::OverdriveFault::Silent ? "silent at overdrive" : "damaged at overdrive";
            SCOPED_TRACE(std::string(Name(path)) + ", " + what);
            bus->setOverdriveFault(fault, 97);
            use(path);
            overdrive(true);
            const Reading got = read();
            expectSame(got, want, what);
            // Every session of the reading failed at overdrive: the port gave it up.
            EXPECT_EQ(got.overdrive, TmexOverdrive::Off);
            bus->setOverdriveFault(VirtualBus::OverdriveFault::None);
        }
    }
}

TEST_F(OverdriveReading, OneDamagedTransferCostsOverdriveForTheRestOfTheSessionOnly)
{
    const Reading want = reference();
    use(Path::Usb);
    overdrive(true);
    // A damaged slot about every third data-log page: the first read of the data log falls back.
    bus->setOverdriveFault(VirtualBus::OverdriveFault::Damaged, 800);
    clsDallasBus dallas;
    ASSERT_EQ(dallas.DoInventory(), 0);
    auto device = dallas.colDevices.item(onewire::RomToText(logger));
    ASSERT_TRUE(device);
    int16_t pages = 64;
    ByteBuffer log;
    ASSERT_EQ(device->ReadPageCRC(0x1000, pages, log), 0);
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(log.data()), 64 * 32), want.log.left(64 * 32));
    EXPECT_EQ(TMOverdriveState(1), TmexOverdrive::Allowed);   // one failed session: still allowed
    bus->setOverdriveFault(VirtualBus::OverdriveFault::None);
    const uint64_t before = bus->overdriveSlots();
    pages = 64;
    ASSERT_EQ(device->ReadPageCRC(0x1000, pages, log), 0);
    EXPECT_GT(bus->overdriveSlots() - before, 17000u);         // the next session at overdrive again
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(log.data()), 64 * 32), want.log.left(64 * 32));
}

TEST_F(OverdriveReading, SerialAdapterStepsDownToTheRateItConfirms)
{
    EXPECT_EQ(ConfiguredBaudRate(), 115200);
    WriteRegistryValue(kTmexKey, "BaudRate", "57600");
    EXPECT_EQ(ConfiguredBaudRate(), 57600);
    WriteRegistryValue(kTmexKey, "BaudRate", "38400");
    EXPECT_EQ(ConfiguredBaudRate(), 9600);   // not a rate of the adapter: the safe one

    // An adapter that takes nothing above 19200.
    serialChip->setMaxBaud(19200);
    Ds2480Link link(serialChip->memoryPort());
    link.setAnswerTimeoutMs(20);
    link.setPreferredBaudRate(115200);
    ASSERT_TRUE(link.open()) << link.lastError().toStdString();
    EXPECT_EQ(link.baudRate(), 19200);
    EXPECT_EQ(serialChip->baudRate(), 19200);
    EXPECT_TRUE(link.reset());
    EXPECT_FALSE(link.setBaudRate(57600));
    EXPECT_EQ(link.baudRate(), 19200);
    EXPECT_TRUE(link.reset());
    link.close();
}

TEST_F(OverdriveReading, SerialLineThatLosesBytesAtHighRatesIsReadAtALowerOne)
{
    const Reading want = reference();
    serialChip->setLossyAbove(19200, 3);
    use(Path::Serial);
    overdrive(true);
    Reading got;
    {
        clsDS1921Data image;
        // The search may miss the logger while the link is still finding its rate; the
        // operator's next try finds it.
        bool found = false;
        for (int attempt = 0; attempt < 3 && !found; ++attempt)
            found = !image.DeviceFound(QStringLiteral("21")).isEmpty();
        ASSERT_TRUE(found);
        ASSERT_TRUE(serialLink);
        EXPECT_LE(serialLink->baudRate(), 19200);   // stepped down while finding the logger
        qint32 result = -1;
        image.ReadImageFromLogger(false, result);
        ASSERT_EQ(result, imgOk) << image.LastError().toStdString();
        got.log = image.TemperaturePages();
        got.registers = image.RegisterPages();
        EXPECT_EQ(serialLink->baudRate(), 19200);
        EXPECT_EQ(serialLink->preferredBaudRate(), 19200);
    }
    TmexShutdown();
    EXPECT_EQ(got.log, want.log);
    EXPECT_EQ(got.registers, want.registers);
}

} // namespace

TEST_F(OverdriveReading, WritesToTheLoggerGoAtStandardSpeedBetweenReadsAtOverdrive)
{
    for (Path path : { Path::Serial, Path::Usb }) {
        SCOPED_TRACE(Name(path));
        use(path);
        overdrive(true);
        clsDallasBus dallasBus;
        ASSERT_EQ(dallasBus.DoInventory(), 0);
        auto device = dallasBus.colDevices.item(virtualbus::RomToText(logger));
        ASSERT_TRUE(device);
        const BusSession session(dallasBus);   // one session: the devices stay at overdrive between
        int16_t pages = 2;
        ByteBuffer regs;
        uint64_t before = bus->overdriveSlots();
        ASSERT_EQ(device->ReadPageCRC(0x200, pages, regs), 0);
        EXPECT_GT(bus->overdriveSlots(), before) << "the read went at overdrive";

        before = bus->overdriveSlots();
        const ByteBuffer data{ 'o', 'd', 0x11, 0x22 };
        ASSERT_EQ(device->WriteScratch(0x0040, data), 0);
        ASSERT_EQ(device->CopyScratch(0x0040, int16_t(data.size())), 0);
        ASSERT_EQ(device->WriteRaw(0x0044, ByteBuffer{ 0x33 }), 0);
        EXPECT_EQ(bus->overdriveSlots(), before) << "scratchpad writes and copies at standard speed";
        EXPECT_EQ(readMemory(logger, 0x0040, 5), (bench::Bytes{ 'o', 'd', 0x11, 0x22, 0x33 }));
        TmexShutdown();
    }
}
