// Identifiers, time and unit conversions, and the file routines.
#include "app/modInternationalisation.h"
#include "app/modMain.h"
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

TEST(Identifiers, SplitPackAndShow)
{
    qint32 l = 0, r = 0, p = 0;
    DeviceIDToLocRoomPos(123400507, l, r, p);
    EXPECT_EQ(l, 1234);
    EXPECT_EQ(r, 5);
    EXPECT_EQ(p, 7);
    DeviceIDToLocRoomPos(999900000, l, r, p);
    EXPECT_EQ(l, 9999);
    EXPECT_EQ(r, 0);
    EXPECT_EQ(p, 0);
    DeviceIDToLocRoomPos(100099999, l, r, p);
    EXPECT_EQ(l, 1000);
    EXPECT_EQ(r, 999);
    EXPECT_EQ(p, 99);
    EXPECT_EQ(LocRoomPosToDeviceID(1234, 5, 7), 123400507);
    EXPECT_EQ(LocRoomPosToDeviceID(9999, 999, 99), 999999999);
    EXPECT_EQ(LocRoomPosToDeviceID(21474, 836, 47), 2147483647);
    EXPECT_EQ(FormatDeviceID(123400507), "0001234.005.07");
    EXPECT_EQ(FormatDeviceID(0), "0000000.000.00");
}

TEST(Identifiers, OverflowIsReportedWithTheRoutinesTitle)
{
    QStringList seen;
    SetMessageHandler([&](const QString& prompt, int style, const QString& title) {
        EXPECT_EQ(style, vbCritical);
        seen << title + "|" + prompt;
        return int(vbOK);
    });
    LocRoomPosToDeviceID(21475, 0, 0);
    SetMessageHandler(nullptr);
    ASSERT_EQ(seen.size(), 1);
    EXPECT_TRUE(seen[0].startsWith("Error in LocRoomPosToDeviceID()|6:"));
}

TEST(TimeAndUnits, BiasAndConversions)
{
    App().UtcBias = -120;   // two hours east of Greenwich
    const QDateTime local(QDate(2024, 7, 1), QTime(12, 0), Qt::UTC);
    EXPECT_EQ(LocalToUtc(local), QDateTime(QDate(2024, 7, 1), QTime(10, 0), Qt::UTC));
    EXPECT_EQ(UtcToLocal(LocalToUtc(local)), local);
    App().UtcBias = 0;
    EXPECT_FLOAT_EQ(CelsiusToFahrenheit(-40), -40.0f);
    EXPECT_FLOAT_EQ(CelsiusToFahrenheit(100), 212.0f);
    EXPECT_NEAR(FahrenheitToCelsius(212), 100.0f, 1e-4);
    App().Units = 1;
    EXPECT_FLOAT_EQ(ToDisplayUnits(0), 32.0f);
    App().Units = 0;
    EXPECT_FLOAT_EQ(ToDisplayUnits(4.5), 4.5f);
}

namespace {
QByteArray content(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}
void write(const QString& path, const QByteArray& data)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(data);
}
} // namespace

TEST(Files, MoveFilesNeverOverwritesAndCreatesFolders)
{
    QTemporaryDir dir;
    const QString d = dir.path();
    write(d + "/a.dta", "first");
    EXPECT_EQ(MoveFiles(d + "/a.dta", d + "/backup/deeper/a.dta"), 0);
    EXPECT_EQ(content(d + "/backup/deeper/a.dta"), "first");
    EXPECT_FALSE(QFile::exists(d + "/a.dta"));
    write(d + "/a.dta", "second");
    write(d + "/x.dta", "third");
    EXPECT_EQ(MoveFiles(d + "/a.dta", d + "/backup/deeper/a.dta"), 0);
    EXPECT_EQ(MoveFiles(d + "/x.dta", d + "/backup/deeper/a.dta"), 0);
    EXPECT_EQ(content(d + "/backup/deeper/a.dta"), "first");
    EXPECT_EQ(content(d + "/backup/deeper/a (2).dta"), "second");
    EXPECT_EQ(content(d + "/backup/deeper/a (3).dta"), "third");
    // A folder as the target receives the file under its name; several files by pattern.
    write(d + "/b.dta", "b");
    write(d + "/c.dta", "c");
    write(d + "/keep.txt", "k");
    EXPECT_EQ(MoveFiles(d + "/b.dta", d + "/backup"), 0);
    EXPECT_EQ(content(d + "/backup/b.dta"), "b");
    EXPECT_EQ(MoveFiles(d + "/*.dta", d + "/floppy"), 0);
    EXPECT_EQ(content(d + "/floppy/c.dta"), "c");
    EXPECT_EQ(content(d + "/keep.txt"), "k");
    // A folder moves whole.
    EXPECT_EQ(MoveFiles(d + "/floppy", d + "/moved"), 0);
    EXPECT_EQ(content(d + "/moved/c.dta"), "c");
    // Nothing to move: a non-zero result and nothing changed.
    EXPECT_NE(MoveFiles(d + "/none.dta", d + "/backup/none.dta"), 0);
    EXPECT_NE(MoveFiles(d + "/*.dta", d + "/backup"), 0);
}

TEST(Files, IsDirectory)
{
    QTemporaryDir dir;
    write(dir.filePath("f"), "x");
    EXPECT_TRUE(IsDirectory(dir.path()));
    EXPECT_FALSE(IsDirectory(dir.filePath("f")));
    EXPECT_FALSE(IsDirectory(dir.filePath("missing")));
    EXPECT_FALSE(IsDirectory(QString()));
}

TEST(Help, OpensTheInstalledPage)
{
    QTemporaryDir dir;
    App().ApplicationDirectory = dir.path();
    write(dir.filePath("NORDALIS.htm"), "<html></html>");
    QString opened;
    SetDesktopOpenerForTesting([&](const QString& p) { opened = p; return true; });
    ShowHelp();
    EXPECT_EQ(opened, dir.filePath("NORDALIS.htm"));
    SetDesktopOpenerForTesting(nullptr);
}
