// Format against the texts those patterns give in the windows and reports.
#include "app/modFormat.h"
#include "app/modMain.h"
#include <gtest/gtest.h>

namespace {
QDateTime at(int y, int mo, int d, int h = 0, int mi = 0, int s = 0)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s), Qt::UTC);
}
} // namespace

TEST(FormatNumber, DeviceIdentifierPatterns)
{
    EXPECT_EQ(Format(123400507, "0000000\\.000\\.00"), "0001234.005.07");
    EXPECT_EQ(Format(100101, "0000000\\.000\\.00"), "0000001.001.01");
    EXPECT_EQ(Format(999900000, "0000000\\.000\\.00"), "0009999.000.00");
    // Without leading zeros; literals between empty places stay.
    EXPECT_EQ(Format(123400507, "###\\.###\\.##"), "1234.005.07");
    EXPECT_EQ(Format(100101, "###\\.###\\.##"), "1.001.01");
    EXPECT_EQ(Format(101, "###\\.###\\.##"), ".1.01");
    // More digits than places: the extra digits go to the first place.
    EXPECT_EQ(Format(qint64(1234567890123LL), "0000000\\.000\\.00"), "12345678.901.23");
}

TEST(FormatNumber, OptionalDigitsAndTheDecimalPoint)
{
    EXPECT_EQ(Format(5.0, "##.##"), "5.");
    EXPECT_EQ(Format(0.5, "##.##"), ".5");
    EXPECT_EQ(Format(5.126, "##.##"), "5.13");
    EXPECT_EQ(Format(-5.126, "##.##"), "-5.13");
    EXPECT_EQ(Format(12.1, "##.##"), "12.1");
    EXPECT_EQ(Format(2.675, "##.##"), "2.68");    // as the operator reads the value, not its binary neighbour
    EXPECT_EQ(Format(0.0, "##.##"), ".");
    EXPECT_EQ(Format(123.456, "##.##"), "123.46");
    EXPECT_EQ(Format(5.0, "##.0"), "5.0");
    EXPECT_EQ(Format(0.25, "##.0"), ".3");        // half away from zero
    EXPECT_EQ(Format(-0.25, "##.0"), "-.3");
    EXPECT_EQ(Format(1.4222, "#0.0"), "1.4");
    EXPECT_EQ(Format(0.04, "#0.0"), "0.0");
    EXPECT_EQ(Format(14.2222f, "#0.0"), "14.2");
    EXPECT_EQ(Format(7.05f, "#0.0"), "7.1");      // single precision rounds on its own 7 digits
}

TEST(FormatNumber, ThousandsGrouping)
{
    EXPECT_EQ(Format(1234567, "#,###,###"), "1,234,567");
    EXPECT_EQ(Format(2048, "#,###,###"), "2,048");
    EXPECT_EQ(Format(999, "#,###,###"), "999");
    EXPECT_EQ(Format(123456789, "#,###,###"), "123,456,789");
    EXPECT_EQ(Format(0, "#,###,###"), "");
    EXPECT_EQ(Format(1234567, "#,##0"), "1,234,567");
    EXPECT_EQ(Format(0, "#,##0"), "0");
}

TEST(FormatNumber, SectionsForSignAndZero)
{
    EXPECT_EQ(Format(7.0, "+0#.0;-0#.0"), "+07.0");
    EXPECT_EQ(Format(-3.2, "+0#.0;-0#.0"), "-03.2");
    EXPECT_EQ(Format(12.34, "+0#.0;-0#.0"), "+12.3");
    EXPECT_EQ(Format(-12.36, "+0#.0;-0#.0"), "-12.4");
    EXPECT_EQ(Format(0.0, "+0#.0;-0#.0"), "+00.0");
    EXPECT_EQ(Format(5.0, "+#0.0; -#0.0; #0.0"), "+5.0");
    EXPECT_EQ(Format(-2.5, "+#0.0; -#0.0; #0.0"), " -2.5");
    EXPECT_EQ(Format(0.0, "+#0.0; -#0.0; #0.0"), " 0.0");
    EXPECT_EQ(Format(12.0, "+#0.0; -#0.0; #0.0"), "+12.0");
    EXPECT_EQ(Format(42, "A0000000000;B0000000000"), "A0000000042");
    EXPECT_EQ(Format(-42, "A0000000000;B0000000000"), "B0000000042");
    EXPECT_EQ(Format(3.5, "A0000000000;B0000000000"), "A0000000004");
}

TEST(FormatNumber, GeneralNumberKeepsTheSignificantDigitsOfItsType)
{
    EXPECT_EQ(Format(2.1f, "General Number"), "2.1");   // a single's 7 digits, not 2.09999990463257
    EXPECT_EQ(Format(double(2.1f), "General Number"), "2.09999990463257");
    EXPECT_EQ(Format(-40.0f, "general number"), "-40");
    EXPECT_EQ(Format(176.0f, "General Number"), "176");
    EXPECT_EQ(Format(1.0 / 3.0, "General Number"), "0.333333333333333");
    EXPECT_EQ(Format(0.00001f, "General Number"), "1e-05");
    EXPECT_EQ(Format(12345678.0f, "General Number"), "1.234568e+07");
    EXPECT_EQ(Format(-0.0, "General Number"), "0");
}

TEST(FormatNumber, VariantsAndNumericText)
{
    EXPECT_EQ(Format(QVariant(QString("5.126")), "##.##"), "5.13");
    EXPECT_EQ(Format(QVariant(QString("abc")), "##.##"), "abc");
    EXPECT_EQ(Format(QVariant(), "##.##"), "");
    EXPECT_EQ(Format(QVariant(2048), "#,###,###"), "2,048");
}

TEST(FormatDate, DatePatternsOfTheDisplay)
{
    const QDateTime t = at(2004, 3, 7, 13, 5, 9);   // a Sunday
    EXPECT_EQ(Format(t, "D/M/YY"), "7/3/04");
    EXPECT_EQ(Format(t, "M/D/YY"), "3/7/04");
    EXPECT_EQ(Format(t, "DD/MM/YY"), "07/03/04");
    EXPECT_EQ(Format(t, "MM/DD/YYYY"), "03/07/2004");
    EXPECT_EQ(Format(t, "DDDD, DD/MM/YY"), "Sunday, 07/03/04");
    EXPECT_EQ(Format(t, "DDDD, MM/DD/YY"), "Sunday, 03/07/04");
    EXPECT_EQ(Format(t, "YYYY/MM/DD"), "2004/03/07");
    EXPECT_EQ(Format(t, "DD/MM"), "07/03");
    EXPECT_EQ(Format(t, "Y"), "67");
    EXPECT_EQ(Format(t, "WW-W"), "11-1");
    EXPECT_EQ(Format(t, "MMM"), "Mar");
    EXPECT_EQ(Format(at(2004, 1, 1), "WW-W"), "1-5");     // Thursday in week 1
    EXPECT_EQ(Format(at(2004, 1, 4), "WW-W"), "2-1");     // the first Sunday starts week 2
    EXPECT_EQ(Format(at(2004, 12, 31), "Y"), "366");
}

TEST(FormatDate, TimePatternsOfTheDisplay)
{
    const QDateTime t = at(2004, 3, 7, 13, 5, 9);
    EXPECT_EQ(Format(t, "h:n"), "13:5");
    EXPECT_EQ(Format(t, "h:na/p"), "1:5p");
    EXPECT_EQ(Format(t, "hh:nn"), "13:05");
    EXPECT_EQ(Format(t, "hh:nn:ss"), "13:05:09");
    EXPECT_EQ(Format(t, "hh:nna/p"), "01:05p");
    EXPECT_EQ(Format(t, "hh:nn:ssa/p"), "01:05:09p");
    EXPECT_EQ(Format(t, " "), " ");
    EXPECT_EQ(Format(at(2004, 3, 7, 0, 30), "h:na/p"), "12:30a");
    EXPECT_EQ(Format(at(2004, 3, 7, 12, 0), "h:nnAM/PM"), "12:00PM");
    EXPECT_EQ(Format(at(2004, 3, 7, 9, 0), "h:nnam/pm"), "9:00am");
}

TEST(FormatDate, StampsAndLiterals)
{
    const QDateTime t = at(2007, 6, 5, 14, 30, 12);
    EXPECT_EQ(Format(t, "YYYYMMDDHHNNSS"), "20070605143012");
    EXPECT_EQ(Format(t, "yymmddhhnnss"), "070605143012");
    EXPECT_EQ(Format(t, " yymmdd"), " 070605");
    EXPECT_EQ(Format(t, "yy/mm/dd hh:nn"), "07/06/05 14:30");
    EXPECT_EQ(Format(t, "\\#m\\/d\\/yyyy hh:nn\\#"), "#6/5/2007 14:30#");
    EXPECT_EQ(Format(t, "\\#m\\/d\\/yyyy\\#"), "#6/5/2007#");
    EXPECT_EQ(Format(t, "hh:mm"), "14:30");                // m after an hour is the minute
    EXPECT_EQ(Format(t, "\"day\" d"), "day 5");
    EXPECT_EQ(Format(QDateTime(), "DD/MM/YY"), "");
}
