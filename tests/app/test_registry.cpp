// The configuration store: the reading rules the bus object and other programs rely on.
#include "app/modRegistry.h"
#include "app/modMain.h"
#include "desktop/Startup.h"
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {
struct RegistryFixture : ::testing::Test {
    QTemporaryDir dir;
    void SetUp() override { SetRegistryFile(dir.filePath("registry.ini")); CreateRegistryKey(kTmexKey); }
    void TearDown() override { SetRegistryFile(QString()); }
    void port(const QVariant& v) { WriteRegistryValue(kTmexKey, "DefaultPortNum", v); }
};
} // namespace

TEST_F(RegistryFixture, PortNumberFallsBackToOne)
{
    EXPECT_EQ(ReadTmexPortNum(), 1);                 // missing
    port(QString("7"));
    EXPECT_EQ(ReadTmexPortNum(), 7);
    port(QString("3"));                              // as the settings window writes it
    EXPECT_EQ(ReadTmexPortNum(), 3);                 // the stored NUL is removed, not the 3
    EXPECT_EQ(ReadRegistry(kTmexKey, "DefaultPortNum", "x").toString(), "3");
    port(QString("15"));
    EXPECT_EQ(ReadTmexPortNum(), 15);
    for (const char* bad : {"16", "0", "-2", "COM3", "", "99999"}) {
        port(QString(bad));
        EXPECT_EQ(ReadTmexPortNum(), 1) << bad;
    }
    port(QString(" 4 "));
    EXPECT_EQ(ReadTmexPortNum(), 4);
    // A number value is not a string: the reader ignores it.
    port(QVariant(int(7)));
    EXPECT_EQ(ReadTmexPortNum(), 1);
}

TEST_F(RegistryFixture, PortTypeIsAlwaysFive)
{
    EXPECT_EQ(ReadTmexPortType(), 5);
    WriteRegistryValue(kTmexKey, "DefaultPortType", QString("6"));
    EXPECT_EQ(ReadTmexPortType(), 5);
}

TEST_F(RegistryFixture, StoredLengthCountsTheNulAndTheBufferHolds150)
{
    WriteRegistryValue(kTmexKey, "Text", QString("abc"));
    QFile f(RegistryFile());
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_TRUE(f.readAll().contains("\"Text\"=sz:\"abc\\0\""));
    EXPECT_EQ(ReadRegistry(kTmexKey, "Text", "d").toString(), "abc");
    WriteRegistryValue(kTmexKey, "Long", QString(149, 'x'));   // 150 with the NUL: fits
    EXPECT_EQ(ReadRegistry(kTmexKey, "Long", "d").toString().size(), 149);
    WriteRegistryValue(kTmexKey, "Long", QString(150, 'x'));   // does not fit the reader's buffer
    EXPECT_EQ(ReadRegistry(kTmexKey, "Long", "d").toString(), "d");
    // Numbers are 32-bit values; other kinds of values become text.
    WriteRegistryValue(kTmexKey, "Flag", QVariant(true));
    EXPECT_EQ(ReadRegistry(kTmexKey, "Flag", "d").toString(), "True");
    // Key paths compare without regard to case; a missing key ignores writes.
    EXPECT_EQ(ReadRegistry(QString(kTmexKey).toUpper(), "Text", "d").toString(), "abc");
    WriteRegistryValue("Software\\Nowhere", "x", QString("y"));
    EXPECT_EQ(ReadRegistry("Software\\Nowhere", "x", "d").toString(), "d");
}

TEST_F(RegistryFixture, InstallationRecordKeepsTheTrailingBlank)
{
    App().ApplicationDirectory = "/opt/n";
    App().DataDirectory = "/opt/n/data";
    App().BackupDirectory = "/opt/n/data/backup";
    App().DatabaseDirectory = "/opt/n/data";
    App().LocationDescr = "Cold store \"North\"";
    WriteInstallationRecord();
    EXPECT_EQ(ReadRegistry(kPathsKey, "Application", "").toString(), "/opt/n");
    EXPECT_EQ(ReadRegistry(kPathsKey, "Loggerfiles ", "none").toString(), "/opt/n/data");
    EXPECT_EQ(ReadRegistry(kPathsKey, "Loggerfiles", "none").toString(), "none");
    EXPECT_EQ(ReadRegistry(kPathsKey, "BackupData", "").toString(), "/opt/n/data/backup");
    EXPECT_EQ(ReadRegistry(kPathsKey, "Database", "").toString(), "/opt/n/data");
    EXPECT_EQ(ReadRegistry(kParameterKey, "Version", "").toString(), "Standard V" + VersionText());
    EXPECT_EQ(ReadRegistry(kParameterKey, "LocDescr", "").toString(), "Cold store \"North\"");
    // A port written before is kept: the driver's key is not replaced.
    WriteRegistryValue(kTmexKey, "DefaultPortNum", QString("9"));
    WriteInstallationRecord();
    EXPECT_EQ(ReadTmexPortNum(), 9);
}

TEST_F(RegistryFixture, AStoreThatCannotBeWrittenSaysSoAndChangesNothing)
{
    ASSERT_TRUE(WriteRegistryValue(kTmexKey, "DefaultPortNum", QString("7")));
    EXPECT_EQ(RegistryProblem(), "");

    // A folder in the store's place.
    QDir(dir.path()).mkpath("folder");
    SetRegistryFile(dir.filePath("folder"));
    EXPECT_TRUE(RegistryProblem().contains("is a folder")) << RegistryProblem().toStdString();
    EXPECT_FALSE(CreateRegistryKey(kTmexKey));
    EXPECT_FALSE(WriteRegistryValue(kTmexKey, "DefaultPortNum", QString("3")));
    EXPECT_TRUE(RegistryError().contains("is a folder")) << RegistryError().toStdString();

    // A chosen place whose folder is missing: refused, and the folder is not made.
    SetRegistryFile(dir.filePath("missing/nested/registry.ini"));
    EXPECT_TRUE(RegistryProblem().contains("does not exist")) << RegistryProblem().toStdString();
    EXPECT_FALSE(CreateRegistryKey(kTmexKey));
    EXPECT_FALSE(QFileInfo::exists(dir.filePath("missing")));

    // A folder nobody can create files in (even the superuser).
    SetRegistryFile("/proc/nordalis-registry.ini");
    EXPECT_EQ(RegistryProblem(), "");
    EXPECT_FALSE(CreateRegistryKey(kTmexKey));
    EXPECT_TRUE(RegistryError().contains("cannot be written")) << RegistryError().toStdString();

    // A key that is not there is no success either.
    SetRegistryFile(dir.filePath("registry.ini"));
    EXPECT_FALSE(WriteRegistryValue("Software\\Nowhere", "Value", QString("x")));
    EXPECT_EQ(ReadTmexPortNum(), 7);
}

TEST_F(RegistryFixture, TheDefaultPlaceGetsItsFolderMade)
{
    const QByteArray previous = qgetenv("XDG_CONFIG_HOME");
    const QByteArray previousStore = qgetenv("NORDALIS_REGISTRY");
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.filePath("config")));
    qunsetenv("NORDALIS_REGISTRY");
    SetRegistryFile(QString());
    EXPECT_EQ(RegistryFile(), dir.filePath("config/nordalis/registry.ini"));
    EXPECT_EQ(RegistryProblem(), "");
    EXPECT_TRUE(CreateRegistryKey(kTmexKey)) << RegistryError().toStdString();
    EXPECT_TRUE(QFileInfo(dir.filePath("config/nordalis/registry.ini")).isFile());
    qputenv("XDG_CONFIG_HOME", previous);
    if (!previousStore.isEmpty())
        qputenv("NORDALIS_REGISTRY", previousStore);
}
