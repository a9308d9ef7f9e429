// Text forms of the exports.
#include "reports/ExportFormat.h"
#include <gtest/gtest.h>

TEST(ExportFormat, SignedValueHasTwoIntegerDigitsAndOneDecimal)
{
    EXPECT_EQ(FormatSignedValue(-3.2), "-03.2");
    EXPECT_EQ(FormatSignedValue(7.0), "+07.0");
    EXPECT_EQ(FormatSignedValue(0.0), "+00.0");
    EXPECT_EQ(FormatSignedValue(12.25), "+12.3");
    EXPECT_EQ(FormatSignedValue(-123.45), "-123.5");
    EXPECT_EQ(FormatSignedValue(0.5), "+00.5");
}

TEST(ExportFormat, FloatTextAndEscaping)
{
    EXPECT_EQ(FloatText(-3.2f), "-3.2");
    EXPECT_EQ(FloatText(80.0f), "80");
    EXPECT_EQ(FloatText(176.0f), "176");
    EXPECT_EQ(HtmlEscape("<script>alert(\"x\" & 'y')</script>"),
              "&lt;script&gt;alert(&quot;x&quot; &amp; &#39;y&#39;)&lt;/script&gt;");
}

// The decimals of the spreadsheet's values: the logger's steps in °C and in °F, aggregates, and
// the exact fallback when the database does not know the logger or a value is off its steps.
TEST(ExportFormat, ValueDecimalsFollowTheLoggersSteps)
{
    const auto F = [](float celsius) { return double(celsius) * 1.8 + 32; };   // as the query converts
    struct Case {
        const char* what;
        std::vector<double> values;
        ValueResolution resolution;
        bool aggregate;
        int decimals;
    } cases[] = {
        {"DS1921H in °C", {32.125, 32.5, 15.0}, ValueResolution::EighthDegree, false, 3},
        {"DS1921G in °C", {7.0, -3.5, 0.5}, ValueResolution::HalfDegree, false, 1},
        {"DS1921H in °F (0.225 °F steps)", {F(32.125f), F(14.625f), F(20.0f)}, ValueResolution::EighthDegree, false, 3},
        {"DS1921G in °F (0.9 °F steps)", {F(-3.5f), F(7.0f), F(-39.5f)}, ValueResolution::HalfDegree, false, 1},
        {"DS1921Z in °F", {F(-5.375f), F(0.875f)}, ValueResolution::EighthDegree, false, 3},
        {"G resolution but a calibrated value between its steps", {7.0, 32.125}, ValueResolution::HalfDegree, false, 3},
        {"unknown logger: the stored single floats exactly", {double(21.3f), double(-3.2f)}, ValueResolution::Unknown, false, 1},
        {"unknown logger with eighths", {32.125, 7.0}, ValueResolution::Unknown, false, 3},
        {"unknown logger, whole degrees: still one decimal", {7.0, 8.0}, ValueResolution::Unknown, false, 1},
        {"unknown logger in °F", {F(21.3f), F(32.125f)}, ValueResolution::Unknown, false, 3},
        {"averages keep their two decimals", {5.12, 0.5}, ValueResolution::EighthDegree, true, 2},
        {"no rows", {}, ValueResolution::EighthDegree, false, 3},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ValueDecimals(c.values, c.resolution, c.aggregate), c.decimals) << c.what;

    EXPECT_EQ(SignedValueFormat(1), "+00.0;-00.0");
    EXPECT_EQ(SignedValueFormat(3), "+00.000;-00.000");
    EXPECT_EQ(SignedValueFormat(0), "+00;-00");
    EXPECT_DOUBLE_EQ(RoundedToDecimals(F(32.125f), 3), 89.825);
    EXPECT_EQ(ShortestExactDecimals(double(21.3f)), 1);
    EXPECT_EQ(ShortestExactDecimals(89.825000000001), 3);
}
