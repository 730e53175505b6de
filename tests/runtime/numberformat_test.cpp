#include "NumberFormat.h"

#include <climits>
#include <cmath>
#include <gtest/gtest.h>
#include <limits>

namespace
{

struct FloatCase {
    double value;
    const char* text;
};

void expectFloats(std::initializer_list<FloatCase> cases, const TFormatSettings& fs = TFormatSettings())
{
    for (const FloatCase& c : cases)
        EXPECT_EQ(vl::formatGeneralFloat(c.value, fs), c.text) << "value " << c.value;
}

TEST(GeneralFloat, DocumentedExamples)
{
    expectFloats({
        { 100, "100" },
        { -0.5, "-0.5" },
        { 0.0001, "0.0001" },
        { 0.00001, "1E-5" },
        { 1e15, "1E15" },
        { 999999999999999.0, "999999999999999" },
        { 123456789012345678.0, "1.23456789012346E17" },
        { static_cast<double>(0.1f), "0.100000001490116" },
        { -std::numeric_limits<double>::infinity(), "-INF" },
    });
}

TEST(GeneralFloat, ZeroInfinityAndNotANumber)
{
    expectFloats({
        { 0.0, "0" },
        { -0.0, "0" },
        { std::numeric_limits<double>::infinity(), "INF" },
        { std::numeric_limits<double>::quiet_NaN(), "NAN" },
        { std::copysign(std::numeric_limits<double>::quiet_NaN(), -1.0), "-NAN" },
    });
}

TEST(GeneralFloat, RoundingAtTheFifteenthDigit)
{
    expectFloats({
        { 0.1, "0.1" },
        { 0.30000000000000004, "0.3" },
        { 1.0 / 3, "0.333333333333333" },
        { 2.0 / 3, "0.666666666666667" },
        { 1.0000000000000004, "1" },
        { 123456789012345.4, "123456789012345" },
        { 123456789012345.5, "123456789012346" },
        // The carry runs through all nines and moves the exponent into scientific notation.
        { 999999999999999.5, "1E15" },
        { 9.999999999999996, "10" },
        // Exactly ...4649998..., ...2749997..., ...8894996...: the 18-digit step makes them ...465, ...275,
        // ...8895, which round up, where a single rounding at 15 digits would round down.
        { 4.348967899677465, "4.34896789967747" },
        { 76083061.36219275, "76083061.3621928" },
        { 0.007507763363488895, "0.0075077633634889" },
    });
}

TEST(GeneralFloat, FixedAndScientificBoundaries)
{
    expectFloats({
        { 0.000123, "0.000123" }, // E = -3
        { 0.0000123, "1.23E-5" }, // E = -4
        { 0.001, "0.001" },
        { 123456789012345.0, "123456789012345" }, // E = 15
        { 1234567890123456.0, "1.23456789012346E15" }, // E = 16
        { 1e16, "1E16" },
        { 1e100, "1E100" },
        { -1.5e-10, "-1.5E-10" },
        { 2.5e-5, "2.5E-5" },
        { 5e-324, "4.94065645841247E-324" },
        { std::numeric_limits<double>::max(), "1.79769313486232E308" },
        { 12345.678, "12345.678" },
        { 100000, "100000" },
        { -123.45, "-123.45" },
    });
}

TEST(GeneralFloat, CommaAsDecimalMark)
{
    TFormatSettings fs;
    fs.DecimalMark = ',';
    expectFloats({ { 1.5, "1,5" }, { 0.001, "0,001" }, { 1.5e20, "1,5E20" }, { 2.5e-7, "2,5E-7" }, { 42, "42" } }, fs);
}

TEST(GeneralFloat, DefaultsToProgramSettings)
{
    const TFormatSettings saved = FormatSettings;
    FormatSettings.DecimalMark = ',';
    EXPECT_EQ(vl::formatGeneralFloat(1.5), "1,5");
    EXPECT_EQ(vl::formatGeneralCurrency(15000), "1,5");
    FormatSettings = saved;
}

TEST(GeneralCurrency, FourDecimalsWithoutTrailingZeros)
{
    const struct {
        int64_t tenThousandths;
        const char* text;
    } cases[] = {
        { 125000, "12.5" },
        { 1, "0.0001" },
        { -30000, "-3" },
        { 0, "0" },
        { -1, "-0.0001" },
        { 12345678, "1234.5678" },
        { 10000000000000, "1000000000" },
        { 100100, "10.01" },
        { INT64_MAX, "922337203685477.5807" },
        { INT64_MIN, "-922337203685477.5808" },
    };
    for (const auto& c : cases)
        EXPECT_EQ(vl::formatGeneralCurrency(c.tenThousandths), c.text) << c.tenThousandths;
    TFormatSettings fs;
    fs.DecimalMark = ',';
    EXPECT_EQ(vl::formatGeneralCurrency(125000, fs), "12,5");
    EXPECT_EQ(vl::formatGeneralCurrency(-30000, fs), "-3");
}

} // namespace
