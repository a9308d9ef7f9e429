// Which link a port gets: the TMEX key's Driver and PortDevice<N> values and the --bus override.
#include "app/modRegistry.h"
#include "onewire/OneWireLink.h"
#include "onewire/RecordingLink.h"
#include <QTemporaryDir>
#include <gtest/gtest.h>

TEST(LinkChoice, DriverAndPortDeviceFromTheStoreAndTheOverride)
{
    QTemporaryDir dir;
    SetRegistryFile(dir.filePath("registry.ini"));
    SetLinkFactoryForTesting({});
    QStringList made;
    SetVirtualLinkFactory([&] { made << "virtual"; return std::make_unique<RecordingLink>(); });
    SetSerialLinkFactory([&](const QString& device) { made << "serial " + device; return std::make_unique<RecordingLink>(); });

    EXPECT_EQ(ConfiguredDriver(), "serial");   // nothing configured
    EXPECT_EQ(PortDevicePath(1), "/dev/ttyS0");
    EXPECT_EQ(PortDevicePath(3), "/dev/ttyS2");
    EXPECT_TRUE(CreateLinkForPort(3, 5));

    CreateRegistryKey(kTmexKey);
    WriteRegistryValue(kTmexKey, "Driver", QString("virtual"));
    WriteRegistryValue(kTmexKey, "PortDevice2", QString("/dev/ttyUSB0"));
    EXPECT_EQ(ConfiguredDriver(), "virtual");
    EXPECT_EQ(PortDevicePath(2), "/dev/ttyUSB0");
    EXPECT_TRUE(CreateLinkForPort(2, 5));

    SetBusOverride("serial");
    EXPECT_EQ(BusOverride(), "serial");
    EXPECT_TRUE(CreateLinkForPort(2, 5));
    SetBusOverride(QString());
    EXPECT_EQ(ConfiguredDriver(), "virtual");

    WriteRegistryValue(kTmexKey, "Driver", QString("something else"));
    EXPECT_EQ(ConfiguredDriver(), "serial");

    EXPECT_EQ(made, (QStringList{"serial /dev/ttyS2", "virtual", "serial /dev/ttyUSB0"}));
    SetVirtualLinkFactory({});
    SetSerialLinkFactory({});
}
