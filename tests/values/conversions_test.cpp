#include "values/conversions.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "support/failures.h"
#include "support/test_hosts.h"
#include "texts/exceptions.h"

namespace xg {
namespace {

TEST(IntToStr, WritesPlainDecimalIncludingTheMostNegativeValues) {
  EXPECT_EQ(IntToStr(int32_t{0}), "0");
  EXPECT_EQ(IntToStr(int32_t{-7}), "-7");
  EXPECT_EQ(IntToStr(int32_t{1234567}), "1234567");
  EXPECT_EQ(IntToStr(std::numeric_limits<int32_t>::min()), "-2147483648");
  EXPECT_EQ(IntToStr(std::numeric_limits<int32_t>::max()), "2147483647");
  EXPECT_EQ(IntToStr(std::numeric_limits<int64_t>::min()), "-9223372036854775808");
  EXPECT_EQ(IntToStr(std::numeric_limits<int64_t>::max()), "9223372036854775807");
}

struct FloatCase {
  long double value;
  const char* text;
};

TEST(FloatToStr, FifteenSignificantDigitsInGeneralLayout) {
  const RegionalSettings dot = test::SettingsWithDecimalSeparator('.');
  const FloatCase cases[] = {
      {0.0L, "0"},
      {1.0L, "1"},
      {-2.5L, "-2.5"},
      {0.1, "0.1"},
      {2.0 / 3.0, "0.666666666666667"},
      {0.5, "0.5"},
      {0.05, "0.05"},
      {0.001, "0.001"},
      {0.0001, "0.0001"},
      {0.00001, "1E-5"},
      {0.000012345, "1.2345E-5"},
      {-1E-100, "-1E-100"},
      {100.0, "100"},
      {123.456, "123.456"},
      {1E14, "100000000000000"},
      {123456789012345.0, "123456789012345"},
      {999999999999999.0, "999999999999999"},
      {1E15, "1E15"},
      {1234567890123456.0, "1.23456789012346E15"},
      {1E100, "1E100"},
      {1.7E308, "1.7E308"},
      {0.1f, "0.100000001490116"},
      {0.9999999999999999, "1"},
      {999999999999999.9, "1E15"},
      {std::numeric_limits<double>::min(), "2.2250738585072E-308"},
      {std::numeric_limits<double>::denorm_min(), "4.94065645841247E-324"},
  };
  for (const auto& c : cases) EXPECT_EQ(FloatToStr(c.value, dot), c.text) << c.text;
}

TEST(FloatToStr, RoundsToEighteenDigitsBeforeFifteen) {
  const RegionalSettings dot = test::SettingsWithDecimalSeparator('.');
  // Digits 16 to 19 are 4995: eighteen correctly rounded digits end in 500, which then carries
  // into the fifteenth; rounding straight to fifteen digits would not.
  EXPECT_EQ(FloatToStr(static_cast<long double>(1234567890123454995LL), dot),
            "1.23456789012346E18");
  EXPECT_EQ(FloatToStr(static_cast<long double>(1234567890123454994LL), dot),
            "1.23456789012345E18");
}

TEST(FloatToStr, CoversTheWholeExtendedRange) {
  const RegionalSettings dot = test::SettingsWithDecimalSeparator('.');
  EXPECT_EQ(FloatToStr(std::numeric_limits<long double>::max(), dot), "1.18973149535723E4932");
  EXPECT_EQ(FloatToStr(std::numeric_limits<long double>::min(), dot), "3.36210314311209E-4932");
  EXPECT_EQ(FloatToStr(-std::numeric_limits<long double>::min(), dot), "-3.36210314311209E-4932");
  // The denormals of the extended format print as zero.
  EXPECT_EQ(FloatToStr(std::numeric_limits<long double>::denorm_min(), dot), "0");
  EXPECT_EQ(FloatToStr(std::ldexp(1.0L, 100), dot), "1.26765060022823E30");
}

TEST(FloatToStr, SpecialValues) {
  const RegionalSettings dot = test::SettingsWithDecimalSeparator('.');
  EXPECT_EQ(FloatToStr(-0.0L, dot), "0");
  EXPECT_EQ(FloatToStr(std::numeric_limits<long double>::infinity(), dot), "INF");
  EXPECT_EQ(FloatToStr(-std::numeric_limits<long double>::infinity(), dot), "-INF");
  EXPECT_EQ(FloatToStr(std::numeric_limits<long double>::quiet_NaN(), dot), "NAN");
  EXPECT_EQ(FloatToStr(-std::numeric_limits<long double>::quiet_NaN(), dot), "NAN");
}

TEST(FloatToStr, UsesTheRegionalDecimalSeparator) {
  const RegionalSettings comma = test::SettingsWithDecimalSeparator(',');
  EXPECT_EQ(FloatToStr(1.7E308, comma), "1,7E308");
  EXPECT_EQ(FloatToStr(2.5L, comma), "2,5");
  EXPECT_EQ(FloatToStr(-0.0001L, comma), "-0,0001");
  EXPECT_EQ(FloatToStr(1E15L, comma), "1E15");
}

TEST(CurrencyToText, LaysOutTheScaledAmountExactly) {
  const RegionalSettings dot = test::SettingsWithDecimalSeparator('.');
  EXPECT_EQ(CurrencyToText(12345000, dot), "1234.5");
  EXPECT_EQ(CurrencyToText(-1, dot), "-0.0001");
  EXPECT_EQ(CurrencyToText(5000, dot), "0.5");
  EXPECT_EQ(CurrencyToText(-5000, dot), "-0.5");
  EXPECT_EQ(CurrencyToText(70000, dot), "7");
  EXPECT_EQ(CurrencyToText(0, dot), "0");
  EXPECT_EQ(CurrencyToText(1000000000000000000, dot), "100000000000000");
  EXPECT_EQ(CurrencyToText(std::numeric_limits<int64_t>::max(), dot), "922337203685477.5807");
  EXPECT_EQ(CurrencyToText(std::numeric_limits<int64_t>::min(), dot), "-922337203685477.5808");
  const RegionalSettings comma = test::SettingsWithDecimalSeparator(',');
  EXPECT_EQ(CurrencyToText(125000, comma), "12,5");
}

TEST(BoolToStr, WordsOrNumbers) {
  EXPECT_EQ(BoolToStr(true, BoolText::kWord), "True");
  EXPECT_EQ(BoolToStr(false, BoolText::kWord), "False");
  EXPECT_EQ(BoolToStr(true, BoolText::kNumber), "-1");
  EXPECT_EQ(BoolToStr(false, BoolText::kNumber), "0");
}

TEST(TryStrToInt, ReadsDecimalAndHexadecimalTexts) {
  const std::pair<const char*, std::optional<int32_t>> cases[] = {
      {"0", 0},
      {"42", 42},
      {"   42", 42},
      {"+7", 7},
      {"-007", -7},
      {"2147483647", 2147483647},
      {"-2147483648", std::numeric_limits<int32_t>::min()},
      {"$1F", 31},
      {"0x1f", 31},
      {"X10", 16},
      {"-$10", -16},
      {"$7FFFFFFF", 2147483647},
      {"2147483648", std::nullopt},
      {"-2147483649", std::nullopt},
      {"$80000000", std::nullopt},
      {"99999999999999999999999", std::nullopt},
      {"", std::nullopt},
      {"   ", std::nullopt},
      {"-", std::nullopt},
      {"$", std::nullopt},
      {"0x", std::nullopt},
      {"42 ", std::nullopt},
      {"4 2", std::nullopt},
      {"--1", std::nullopt},
      {"+-1", std::nullopt},
      {"- 1", std::nullopt},
      {"1.5", std::nullopt},
      {"1e3", std::nullopt},
      {"$1G", std::nullopt},
      {"\t1", std::nullopt},
  };
  for (const auto& [text, expected] : cases) EXPECT_EQ(TryStrToInt(text), expected) << text;
}

TEST(TryStrToInt64, ReadsTheFull64BitRange) {
  EXPECT_EQ(TryStrToInt64("9223372036854775807"), std::numeric_limits<int64_t>::max());
  EXPECT_EQ(TryStrToInt64("-9223372036854775808"), std::numeric_limits<int64_t>::min());
  EXPECT_EQ(TryStrToInt64("2147483648"), 2147483648LL);
  EXPECT_EQ(TryStrToInt64("0x7FFFFFFFFFFFFFFF"), std::numeric_limits<int64_t>::max());
  EXPECT_EQ(TryStrToInt64("9223372036854775808"), std::nullopt);
  EXPECT_EQ(TryStrToInt64("-9223372036854775809"), std::nullopt);
  EXPECT_EQ(TryStrToInt64("$8000000000000000"), std::nullopt);
}

TEST(StrToInt, RaisesConvertErrorNamingTheText) {
  EXPECT_EQ(StrToInt(" -12"), -12);
  EXPECT_EQ(StrToInt64("-9223372036854775808"), std::numeric_limits<int64_t>::min());
  EXPECT_EQ(test::FailureMessage<EConvertError>([] { StrToInt("12abc"); }),
            "'12abc' is not a valid integer value");
  EXPECT_EQ(test::FailureMessage<EConvertError>([] { StrToInt64("9223372036854775808"); }),
            "'9223372036854775808' is not a valid integer value");
}

TEST(TryStrToFloat, ReadsDecimalTextsWithTheRegionalSeparator) {
  const RegionalSettings dot = test::SettingsWithDecimalSeparator('.');
  const std::pair<const char*, std::optional<long double>> cases[] = {
      {"2.5", 2.5L},          {"  -2.5  ", -2.5L},
      {"+.5", 0.5L},          {"5.", 5.0L},
      {"1E3", 1000.0L},       {"1e-3", 0.001L},
      {"-1.5E+2", -150.0L},   {"0.1", 0.1L},  // correctly rounded in the extended format
      {"1E400", 1E400L},      {"", std::nullopt},
      {"  ", std::nullopt},   {".", std::nullopt},
      {"-", std::nullopt},    {"1E", std::nullopt},
      {"1E+", std::nullopt},  {"E5", std::nullopt},
      {"1,5", std::nullopt},  {"1 5", std::nullopt},
      {"1.5.", std::nullopt}, {"abc", std::nullopt},
      {"INF", std::nullopt},  {"NAN", std::nullopt},
      {"0x10", std::nullopt}, {"1E5000", std::nullopt},
  };
  for (const auto& [text, expected] : cases) EXPECT_EQ(TryStrToFloat(text, dot), expected) << text;

  const RegionalSettings comma = test::SettingsWithDecimalSeparator(',');
  EXPECT_EQ(TryStrToFloat("1,5", comma), 1.5L);
  EXPECT_EQ(TryStrToFloat("1.5", comma), std::nullopt);
}

TEST(StrToFloat, RaisesConvertErrorNamingTheText) {
  const RegionalSettings dot = test::SettingsWithDecimalSeparator('.');
  EXPECT_EQ(StrToFloat("1.25", dot), 1.25L);
  EXPECT_EQ(test::FailureMessage<EConvertError>([&] { StrToFloat("1.2x", dot); }),
            "'1.2x' is not a valid floating point value");
}

}  // namespace
}  // namespace xg
