#include "values/bcd.h"

#include <gtest/gtest.h>

#include <string>

#include "support/failures.h"
#include "support/test_hosts.h"
#include "texts/exceptions.h"

namespace xg {
namespace {

// A BCD value from its digit characters, its count of fraction places and its sign.
Bcd MakeBcd(const std::string& digits, int places, bool negative) {
  Bcd value;
  value.precision = static_cast<uint8_t>(digits.size());
  value.sign_special_places = static_cast<uint8_t>(places | (negative ? 0x80 : 0));
  for (size_t i = 0; i < digits.size(); ++i) {
    const uint8_t digit = static_cast<uint8_t>(digits[i] - '0');
    value.fraction[i / 2] |= i % 2 == 0 ? static_cast<uint8_t>(digit << 4) : digit;
  }
  return value;
}

struct BcdTextCase {
  const char* digits;
  int places;
  bool negative;
  const char* text;
};

TEST(BcdToText, DropsLeadingAndTrailingZerosAndNegativeZero) {
  const RegionalSettings dot = test::SettingsWithDecimalSeparator('.');
  const BcdTextCase cases[] = {
      {"000000001234500000", 6, false, "1234.5"},
      {"000000000000000100", 6, false, "0.0001"},
      {"000000000012000000", 6, true, "-12"},
      {"000000000000000000", 6, false, "0"},
      {"000000000000000000", 6, true, "0"},
      {"000", 0, true, "0"},
      {"120", 0, false, "120"},
      {"0120", 1, false, "12"},
      {"123456", 6, false, "0.123456"},
      {"123456", 6, true, "-0.123456"},
      {"5", 3, false, "0.005"},  // more places than digits: leading zeros of the fraction
      {"9999999999999999999999999999999999999999999999999999999999999999", 63, false,
       "9.999999999999999999999999999999999999999999999999999999999999999"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(BcdToText(MakeBcd(c.digits, c.places, c.negative), dot), c.text) << c.digits;
}

TEST(BcdToText, UsesTheRegionalDecimalSeparator) {
  const RegionalSettings comma = test::SettingsWithDecimalSeparator(',');
  EXPECT_EQ(BcdToText(MakeBcd("000000001234500000", 6, true), comma), "-1234,5");
  EXPECT_EQ(BcdToText(MakeBcd("000000", 6, true), comma), "0");
}

TEST(BcdToText, PrecisionOutsideOneTo64Overflows) {
  const RegionalSettings settings = test::DefaultSettings();
  for (int precision : {0, 65, 255}) {
    Bcd value = MakeBcd("1", 0, false);
    value.precision = static_cast<uint8_t>(precision);
    SCOPED_TRACE(precision);
    const auto e = test::Raised<EBcdOverflowException>([&] { BcdToText(value, settings); });
    ASSERT_TRUE(e);
    EXPECT_EQ(e->Message(), "BCD estouro de capacidade");
    EXPECT_STREQ(e->ClassName(), "EBcdOverflowException");
  }
}

TEST(BcdToText, RejectsDigitNibblesAboveNine) {
  const RegionalSettings settings = test::DefaultSettings();
  Bcd value = MakeBcd("12", 0, false);
  value.fraction[0] = 0x1A;
  EXPECT_THROW(BcdToText(value, settings), EBcdException);
  EXPECT_THROW(BcdToDouble(value), EBcdException);
}

TEST(StrToBcd, KeepsEveryDigitOfTheDatabaseText) {
  // The database layer writes 18 digits with the separator before the scale's digits.
  const Bcd value = StrToBcd("-000000000001,234500", ',');
  EXPECT_EQ(value.precision, 7);
  EXPECT_EQ(value.sign_special_places, 0x80 | 6);
  EXPECT_EQ(value.fraction[0], 0x12);
  EXPECT_EQ(value.fraction[1], 0x34);
  EXPECT_EQ(value.fraction[2], 0x50);
  EXPECT_EQ(value.fraction[3], 0x00);

  const RegionalSettings comma = test::SettingsWithDecimalSeparator(',');
  EXPECT_EQ(BcdToText(value, comma), "-1,2345");
  EXPECT_EQ(BcdToText(StrToBcd("123456789012,345678", ','), comma), "123456789012,345678");
  EXPECT_EQ(BcdToText(StrToBcd(",000001", ','), comma), "0,000001");
  EXPECT_EQ(BcdToText(StrToBcd("+5", ','), comma), "5");
  EXPECT_EQ(BcdToText(StrToBcd("0", ','), comma), "0");
  EXPECT_EQ(BcdToText(StrToBcd(std::string(64, '7'), ','), comma), std::string(64, '7'));
}

TEST(StrToBcd, RejectsOtherTextsAndTooManyDigits) {
  for (const char* text : {"", "-", ",", "1,2,3", "1.5", "abc", " 1", "1 ", "--1"}) {
    SCOPED_TRACE(text);
    const auto e = test::Raised<EBcdException>([&] { StrToBcd(text, ','); });
    ASSERT_TRUE(e);
    EXPECT_STREQ(e->ClassName(), "EBcdException");
    EXPECT_EQ(e->Message(), "'" + std::string(text) + "' is not a valid BCD value");
  }
  EXPECT_THROW(StrToBcd(std::string(65, '1'), '.'), EBcdOverflowException);
  EXPECT_THROW(StrToBcd("0." + std::string(64, '1'), '.'), EBcdOverflowException);
}

TEST(BcdToDouble, GivesTheNearestDouble) {
  EXPECT_EQ(BcdToDouble(MakeBcd("000000001234500000", 6, false)), 1234.5);
  EXPECT_EQ(BcdToDouble(MakeBcd("1", 1, true)), -0.1);
  EXPECT_EQ(BcdToDouble(MakeBcd("5", 3, false)), 0.005);
  EXPECT_EQ(BcdToDouble(MakeBcd(std::string(20, '9'), 0, false)), 1E20);
}

}  // namespace
}  // namespace xg
