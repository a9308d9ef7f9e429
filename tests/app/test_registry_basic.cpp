#include "app/modRegistry.h"
#include <QTemporaryDir>
#include <gtest/gtest.h>

TEST(RegistryStore, StringsKeepTrailingBlankNamesAndLoseTheirNul)
{
    QTemporaryDir dir;
    SetRegistryFile(dir.filePath("registry.ini"));
    CreateRegistryKey(kPathsKey);
    WriteRegistryValue(kPathsKey, "Loggerfiles ", QString("/data"));
    EXPECT_EQ(ReadRegistry(kPathsKey, "Loggerfiles ", "none").toString(), "/data");
    EXPECT_EQ(ReadRegistry(kPathsKey, "Loggerfiles", "none").toString(), "none");
    WriteRegistryValue("No\\Such\\Key", "x", QString("y"));
    EXPECT_EQ(ReadRegistry("No\\Such\\Key", "x", "d").toString(), "d");
    SetRegistryFile(QString());
}
