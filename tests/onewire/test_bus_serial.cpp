// The serial port itself: the bus object over a real pseudo-terminal with the emulated DS2480B
// behind it (the other tests of the serial link use a port in memory), and the messages of the
// port's failures.
#include "app/modRegistry.h"
#include "onewire/BusTrace.h"
#include "onewire/Ds2480Link.h"
#include "onewire/OneWireLink.h"
#include "onewire/RecordingLink.h"
#include "onewire/SerialPort.h"
#include "onewire/Tmex.h"
#include "onewire/clsDallasBus.h"
#include "simulator/Ds2480Emulator.h"
#include "thermochron/clsDallasDevice.h"
#include <QFile>
#include <QTemporaryDir>
#include <cerrno>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <termios.h>
#include <unistd.h>

TEST(SerialPortOnATerminal, ExclusiveWhileOpenSettingsRestoredAndAReadingThroughTheAdapter)
{
    QTemporaryDir dir;
    SetRegistryFile(dir.filePath("registry.ini"));
    SetLinkFactoryForTesting({});
    SetBusOverride(QString());
    TmexShutdown();
    RegisterSerialLink();
    RecordingLink wire;
    wire.open();
    wire.add(MakeRom(0x09, 0x1234));
    auto logger = wire.add(MakeRom(0x21, 0xBEEF));
    logger->memory[0x214] = 0x20;   // mission running
    logger->memory[0x211] = 0x7F;
    const RomCode loggerRom = logger->rom;
    Ds2480Emulator emulator(wire);
    ASSERT_TRUE(emulator.start());
    const QString path = emulator.devicePath();

    // The terminal's settings as another user of it left them.
    const int watcher = ::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(watcher, 0);
    termios before{};
    ASSERT_EQ(tcgetattr(watcher, &before), 0);

    CreateRegistryKey(kTmexKey);
    WriteRegistryValue(kTmexKey, "Driver", QString("serial"));
    WriteRegistryValue(kTmexKey, "DefaultPortNum", QString("4"));
    WriteRegistryValue(kTmexKey, "PortDevice4", path);
    QStringList trace;   // the bytes on the serial line, as --trace-bus writes them
    SetBusTraceSink([&](const QString& line) { trace << line; });
    {
        clsDallasBus bus;
        EXPECT_EQ(bus.intPortNum, 4);
        ASSERT_EQ(bus.DoInventory(), 0);
        ASSERT_EQ(bus.colDevices.count(), 2);
        auto device = bus.colDevices.item(onewire::RomToText(loggerRom));
        ASSERT_TRUE(device);
        EXPECT_TRUE(device->IsMissionRunning());   // strong access through the search accelerator
        ByteBuffer got;
        EXPECT_EQ(device->ReadRawMemory(0x211, 1, got), 0);
        EXPECT_EQ(got, ByteBuffer{0x7F});
        EXPECT_EQ(bus.SessionUsers(), 0);

        // The link keeps the port between sessions: nobody else gets it meanwhile.
        PosixSerialPort second(path);
        EXPECT_FALSE(second.open());
        EXPECT_EQ(second.lastError(), "serial port " + path + ": the port is in use by another program");
        termios during{};
        ASSERT_EQ(tcgetattr(watcher, &during), 0);
        // The adapter confirmed the fastest rate, the default of the TMEX key's "BaudRate".
        EXPECT_EQ(cfgetospeed(&during), speed_t(B115200));
        EXPECT_EQ(during.c_lflag & ICANON, 0u);
    }
    TmexShutdown();   // closes the port
    SetBusTraceSink({});
    // The adapter's calibration: timing byte, then the configuration and its answer.
    const qsizetype config = trace.indexOf(">> 17 45 5B 0F 91");
    ASSERT_GE(config, 1);
    EXPECT_EQ(trace[config - 1], ">> C1");
    EXPECT_EQ(trace[config + 1], "<< 16 44 5A 00 93");

    termios after{};
    ASSERT_EQ(tcgetattr(watcher, &after), 0);
    EXPECT_EQ(after.c_cflag, before.c_cflag);
    EXPECT_EQ(after.c_lflag, before.c_lflag);
    EXPECT_EQ(after.c_iflag, before.c_iflag);
    EXPECT_EQ(cfgetospeed(&after), cfgetospeed(&before));
    PosixSerialPort again(path);
    EXPECT_TRUE(again.open()) << again.lastError().toStdString();
    again.close();
    ::close(watcher);
}

TEST(SerialPortErrors, OneWordingForEveryFailure)
{
    PosixSerialPort missing(QStringLiteral("/nonexistent/ttyUSB9"));
    EXPECT_FALSE(missing.open());
    EXPECT_EQ(missing.lastError(), "serial port /nonexistent/ttyUSB9: no such port");

    QTemporaryDir dir;
    const QString plain = dir.filePath("plain");
    QFile(plain).open(QIODevice::WriteOnly);
    Ds2480Link notATerminal(plain);
    EXPECT_FALSE(notATerminal.open());
    EXPECT_EQ(notATerminal.lastError(), "serial port " + plain + ": not a serial port");
    EXPECT_FALSE(notATerminal.isOpen());

    EXPECT_EQ(SerialErrorText("/dev/ttyS0", EACCES), "serial port /dev/ttyS0: permission denied: add the user to group dialout");
    EXPECT_EQ(SerialErrorText("/dev/ttyS0", EBUSY), "serial port /dev/ttyS0: the port is in use by another program");
}
