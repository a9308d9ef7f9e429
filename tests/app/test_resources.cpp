#include "app/Resources.h"
#include <QFile>
#include <gtest/gtest.h>

TEST(Resources, SchemaIsEmbedded)
{
    InitNordalisResources();
    EXPECT_TRUE(QFile::exists(":/schema.sql"));
}
