#include "base/number_format.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>

namespace {

struct NumCase {
  const char* name;
  int precision;
  double x;
  const char* text;
};

class NumFormatTest : public ::testing::TestWithParam<NumCase> {
 protected:
  void TearDown() override { numSetPrecision(kNumDefaultPrecision); }
};

TEST_P(NumFormatTest, WritesRoundedTrimmedText) {
  const NumCase& c = GetParam();
  numSetPrecision(c.precision);
  char buf[kNumTextSize];
  EXPECT_STREQ(numFormat(buf, c.x), c.text);
}

constexpr double kInf = std::numeric_limits<double>::infinity();

INSTANTIATE_TEST_SUITE_P(
    Table, NumFormatTest,
    ::testing::Values(
        // Precision is clamped to 1..8; 16-bit wrap makes -1 the maximum.
        NumCase{"precision0_is_one_decimal", 0, 2.25, "2.3"},
        NumCase{"precision12_is_eight", 12, 1.123456789, "1.12345679"},
        NumCase{"precision_minus1_is_eight", -1, 1.123456789, "1.12345679"},
        NumCase{"p3_rounds_up", 3, 2.0625, "2.063"},
        NumCase{"p3_negative_to_integer", 3, -1.0004, "-1"}, NumCase{"half", 6, 2.5, "2.5"},
        NumCase{"integer_drops_point", 6, 2.0, "2"},
        NumCase{"negative_fraction", 6, -0.25, "-0.25"},
        NumCase{"keeps_integer_zeros", 6, 100, "100"},
        NumCase{"rounds_to_six", 6, 1.23456789, "1.234568"},
        NumCase{"below_half_unit_is_zero", 6, 0.0000004, "0"},
        NumCase{"tiny_negative_is_zero", 6, -0.0000004, "0"},
        NumCase{"negative_below_one", 6, -0.4, "-0.4"}, NumCase{"zero", 6, 0.0, "0"},
        NumCase{"negative_zero", 6, -0.0, "0"}, NumCase{"smallest_unit", 6, 0.000001, "0.000001"},
        NumCase{"smallest_negative_unit", 6, -0.000001, "-0.000001"},
        NumCase{"fraction_carries", 6, 0.9999996, "1"},
        NumCase{"negative_fraction_carries", 6, -1.9999996, "-2"},
        NumCase{"beyond_32_bits", 6, 3e9, "3000000000"},
        NumCase{"beyond_32_bits_negative", 6, -3e9 - 0.5, "-3000000000.5"},
        NumCase{"large_64_bit", 1, 9e17, "900000000000000000"},
        NumCase{"beyond_64_bits", 6, 1e20, "1e+20"},
        NumCase{"nan", 6, std::numeric_limits<double>::quiet_NaN(), "nan"},
        NumCase{"inf", 6, kInf, "inf"}, NumCase{"minus_inf", 6, -kInf, "-inf"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(NumFormatLimits, LongestResultsFitTheBuffer) {
  // The widest finite results: a 19-digit integer part with 8 decimals, and
  // the exponent form of the largest double.
  numSetPrecision(8);
  char buf[kNumTextSize];
  EXPECT_STREQ(numFormat(buf, -9.1e18), "-9100000000000000000");
  EXPECT_STREQ(numFormat(buf, -std::numeric_limits<double>::max()), "-1.7976931348623157e+308");
  EXPECT_STREQ(numFormat(buf, -1234567.87654321), "-1234567.87654321");
  numSetPrecision(kNumDefaultPrecision);
}

}  // namespace
