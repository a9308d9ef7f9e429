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
