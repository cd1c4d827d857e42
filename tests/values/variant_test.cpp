#include "values/variant.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "support/failures.h"
#include "support/scoped_language_module.h"
#include "support/test_hosts.h"
#include "texts/exceptions.h"
#include "texts/resource_strings.h"

namespace xg {
namespace {

Bcd Decimal(const char* text) {
  return StrToBcd(text, '.');
}

std::string CastMessage(const char* source, const char* target) {
  return std::string("Could not convert variant of type (") + source + ") into type (" + target +
         ")";
}

std::string OverflowMessage(const char* source, const char* target) {
  return std::string("Overflow while converting variant of type (") + source + ") into type (" +
         target + ")";
}

// A type code by its number, for the codes no enumerator names.
VarTypeCode Code(uint16_t number) {
  return static_cast<VarTypeCode>(number);
}

TEST(VarTypeName, NamesCodesAndTheDecimalKind) {
  const char* names[] = {"Empty",    "Null",     "Smallint", "Integer",  "Single",   "Double",
                         "Currency", "Date",     "OleStr",   "Dispatch", "Error",    "Boolean",
                         "Variant",  "Unknown",  "Decimal",  "$0F",      "ShortInt", "Byte",
                         "Word",     "LongWord", "Int64"};
  for (uint16_t code = 0; code <= 20; ++code)
    EXPECT_EQ(VarTypeName(Code(code)), names[code]) << code;
  EXPECT_EQ(VarTypeName(VarTypeCode::kString), "String");
  EXPECT_EQ(VarTypeName(VarTypeCode::kAny), "Any");
  EXPECT_EQ(VarTypeName(VarTypeCode::kFmtBcd), "FMTBcdVariantType");
  EXPECT_EQ(VarTypeName(Code(0x0015)), "$0015");
  EXPECT_EQ(VarTypeName(Code(0x0110)), "$0110");
  EXPECT_EQ(VarTypeName(Code(0x0ABC)), "$0ABC");
}

TEST(VarToStr, TextOfEachKind) {
  const RegionalSettings dot = test::SettingsWithDecimalSeparator('.');
  const Variant integer = Variant::FromInteger(-42);
  const std::pair<Variant, const char*> cases[] = {
      {Variant(), ""},
      {Variant::Null(), ""},
      {Variant::FromSmallint(-32768), "-32768"},
      {integer, "-42"},
      {Variant::FromRaw(VarTypeCode::kShortInt, 0x80), "-128"},
      {Variant::FromRaw(VarTypeCode::kByte, 0xFF), "255"},
      {Variant::FromRaw(VarTypeCode::kWord, 0xFFFF), "65535"},
      {Variant::FromRaw(VarTypeCode::kLongWord, 0xFFFFFFFF), "4294967295"},
      {Variant::FromInt64(std::numeric_limits<int64_t>::min()), "-9223372036854775808"},
      {Variant::FromSingle(0.1f), "0.100000001490116"},
      {Variant::FromDouble(2.5), "2.5"},
      {Variant::FromDouble(1E15), "1E15"},
      {Variant::FromCurrency(12345000), "1234.5"},
      {Variant::FromCurrency(-1), "-0.0001"},
      {Variant::FromBoolean(true), "-1"},
      {Variant::FromBoolean(false), "0"},
      {Variant::FromString("a<b&c"), "a<b&c"},
      {Variant::FromBcd(Decimal("1234.500000")), "1234.5"},
  };
  for (const auto& [value, text] : cases) EXPECT_EQ(VarToStr(value, dot), text) << text;
}

TEST(VarToStr, DateUsesTheDateTimeText) {
  const RegionalSettings settings = test::DefaultSettings();
  const DateTime moment = 36526.75;  // 2000-01-01 18:00
  EXPECT_EQ(VarToStr(Variant::FromDate(moment), settings), DateTimeToStr(moment, settings));
}

TEST(VarToStr, FollowsTheRegionalSeparator) {
  const RegionalSettings comma = test::SettingsWithDecimalSeparator(',');
  EXPECT_EQ(VarToStr(Variant::FromDouble(1.7E308), comma), "1,7E308");
  EXPECT_EQ(VarToStr(Variant::FromCurrency(25000), comma), "2,5");
  EXPECT_EQ(VarToStr(Variant::FromBcd(Decimal("-0.000100")), comma), "-0,0001");
}

TEST(VarAsString, NullAndKindsWithoutTextFail) {
  const RegionalSettings settings = test::DefaultSettings();
  const Variant null = Variant::Null();
  EXPECT_EQ(VarAsString(Variant::FromInteger(5), settings), "5");
  EXPECT_EQ(test::FailureMessage<EVariantTypeCastError>([&] { VarAsString(null, settings); }),
            CastMessage("Null", "String"));
  const std::pair<VarTypeCode, const char*> refused[] = {{VarTypeCode::kDispatch, "Dispatch"},
                                                         {VarTypeCode::kError, "Error"},
                                                         {VarTypeCode::kUnknown, "Unknown"},
                                                         {VarTypeCode::kVariant, "Variant"},
                                                         {Code(14), "Decimal"},
                                                         {Code(8), "OleStr"},
                                                         {VarTypeCode::kAny, "Any"},
                                                         {Code(0x0110), "$0110"}};
  for (const auto& [code, name] : refused) {
    EXPECT_EQ(test::FailureMessage<EVariantTypeCastError>(
                  [&] { VarToStr(Variant::FromRaw(code, 0), settings); }),
              CastMessage(name, "String"));
  }
}

TEST(VarAsInteger, ConvertsAndRoundsTiesToEven) {
  const std::pair<Variant, int32_t> cases[] = {
      {Variant(), 0},
      {Variant::FromSmallint(-5), -5},
      {Variant::FromRaw(VarTypeCode::kByte, 0x1FF), 255},
      {Variant::FromRaw(VarTypeCode::kWord, 0xFFFF), 65535},
      {Variant::FromRaw(VarTypeCode::kShortInt, 0xFF), -1},
      {Variant::FromBoolean(true), -1},
      {Variant::FromBoolean(false), 0},
      {Variant::FromRaw(VarTypeCode::kLongWord, 2147483647), 2147483647},
      {Variant::FromInt64(2147483647), 2147483647},
      {Variant::FromInt64(-2147483648LL), std::numeric_limits<int32_t>::min()},
      {Variant::FromDouble(2.5), 2},
      {Variant::FromDouble(3.5), 4},
      {Variant::FromDouble(-2.5), -2},
      {Variant::FromDouble(-3.5), -4},
      {Variant::FromDouble(2.4999999), 2},
      {Variant::FromDouble(-0.7), -1},
      {Variant::FromDouble(-2147483648.5), std::numeric_limits<int32_t>::min()},
      {Variant::FromSingle(1.5f), 2},
      {Variant::FromDate(36526.75), 36527},
      {Variant::FromCurrency(25000), 2},
      {Variant::FromCurrency(35000), 4},
      {Variant::FromCurrency(-25000), -2},
      {Variant::FromCurrency(25001), 3},
      {Variant::FromCurrency(-14999), -1},
      {Variant::FromString(" -42"), -42},
      {Variant::FromString("$10"), 16},
      {Variant::FromBcd(Decimal("2.5")), 2},
      {Variant::FromBcd(Decimal("3.5")), 4},
      {Variant::FromBcd(Decimal("-2.500000000000000000001")), -3},
      {Variant::FromBcd(Decimal("0.000001")), 0},
      {Variant::FromBcd(Decimal("-2147483648.49")), std::numeric_limits<int32_t>::min()},
  };
  for (const auto& [value, expected] : cases)
    EXPECT_EQ(VarAsInteger(value), expected) << VarTypeName(value.VType());
}

TEST(VarAsInteger, OutOfRangeValuesOverflowNamingBothTypes) {
  const std::pair<Variant, const char*> cases[] = {
      {Variant::FromInt64(2147483648LL), "Int64"},
      {Variant::FromInt64(-2147483649LL), "Int64"},
      {Variant::FromRaw(VarTypeCode::kLongWord, 0x80000000), "LongWord"},
      {Variant::FromDouble(2147483647.5), "Double"},
      {Variant::FromDouble(1E300), "Double"},
      {Variant::FromDouble(std::nan("")), "Double"},
      {Variant::FromSingle(std::numeric_limits<float>::infinity()), "Single"},
      {Variant::FromDate(-3E9), "Date"},
      {Variant::FromCurrency(21474836475000LL), "Currency"},
      {Variant::FromBcd(Decimal("2147483647.5")), "FMTBcdVariantType"},
      {Variant::FromBcd(Decimal("-99999999999999999999")), "FMTBcdVariantType"},
  };
  for (const auto& [value, name] : cases) {
    EXPECT_EQ(test::FailureMessage<EVariantOverflowError>([&] { VarAsInteger(value); }),
              OverflowMessage(name, "Integer"));
  }
}

TEST(VarAsInteger, TextsReadOnlyAsIntegers) {
  for (const char* text : {"abc", "True", "2.5", "", "2147483648"}) {
    EXPECT_EQ(test::FailureMessage<EVariantInvalidArgError>(
                  [&] { VarAsInteger(Variant::FromString(text)); }),
              "Invalid argument");
  }
  EXPECT_EQ(test::FailureMessage<EVariantTypeCastError>([] { VarAsInteger(Variant::Null()); }),
            CastMessage("Null", "Integer"));
  EXPECT_EQ(test::FailureMessage<EVariantTypeCastError>(
                [] { VarAsInteger(Variant::FromRaw(VarTypeCode::kError, 0)); }),
            CastMessage("Error", "Integer"));
}

TEST(VarAsDouble, ConvertsEachKind) {
  const RegionalSettings dot = test::SettingsWithDecimalSeparator('.');
  const std::pair<Variant, double> cases[] = {
      {Variant(), 0.0},
      {Variant::FromRaw(VarTypeCode::kLongWord, 0xFFFFFFFF), 4294967295.0},
      {Variant::FromInt64((1LL << 53) + 1), 9007199254740992.0},
      {Variant::FromBoolean(true), -1.0},
      {Variant::FromSingle(0.1f), static_cast<double>(0.1f)},
      {Variant::FromDate(36526.75), 36526.75},
      {Variant::FromCurrency(12345), 1.2345},
      {Variant::FromCurrency(-1), -0.0001},
      {Variant::FromString(" 2.5E3 "), 2500.0},
      {Variant::FromString("0.1"), 0.1},
      {Variant::FromBcd(Decimal("-1234.5")), -1234.5},
  };
  for (const auto& [value, expected] : cases)
    EXPECT_EQ(VarAsDouble(value, dot), expected) << VarTypeName(value.VType());
}

TEST(VarAsDouble, TextFailures) {
  const RegionalSettings comma = test::SettingsWithDecimalSeparator(',');
  EXPECT_EQ(VarAsDouble(Variant::FromString("2,5"), comma), 2.5);
  EXPECT_EQ(test::FailureMessage<EVariantInvalidArgError>(
                [&] { VarAsDouble(Variant::FromString("2.5"), comma); }),
            "Invalid argument");
  EXPECT_EQ(test::FailureMessage<EVariantOverflowError>(
                [&] { VarAsDouble(Variant::FromString("1E400"), comma); }),
            OverflowMessage("String", "Double"));
  EXPECT_EQ(
      test::FailureMessage<EVariantTypeCastError>([&] { VarAsDouble(Variant::Null(), comma); }),
      CastMessage("Null", "Double"));
  EXPECT_EQ(test::FailureMessage<EVariantTypeCastError>(
                [&] { VarAsDouble(Variant::FromRaw(VarTypeCode::kUnknown, 0), comma); }),
            CastMessage("Unknown", "Double"));
}

TEST(VarAsBoolean, ConvertsByTheWidthOfEachKind) {
  const RegionalSettings dot = test::SettingsWithDecimalSeparator('.');
  const std::pair<Variant, bool> cases[] = {
      {Variant(), false},
      {Variant::FromRaw(VarTypeCode::kByte, 0x100), false},
      {Variant::FromRaw(VarTypeCode::kShortInt, 0x1FF), true},
      {Variant::FromRaw(VarTypeCode::kSmallint, 0x10000), false},
      {Variant::FromRaw(VarTypeCode::kBoolean, 1), true},
      {Variant::FromBoolean(false), false},
      {Variant::FromRaw(VarTypeCode::kInteger, 0x100000000), false},
      {Variant::FromInt64(1LL << 40), true},
      {Variant::FromDouble(-0.0), false},
      {Variant::FromDouble(0.5), true},
      {Variant::FromSingle(1E-40f), true},
      {Variant::FromCurrency(1), true},
      {Variant::FromString("true"), true},
      {Variant::FromString("FALSE"), false},
      {Variant::FromString("0"), false},
      {Variant::FromString(" -1.5 "), true},
      {Variant::FromString("0.0"), false},
      {Variant::FromBcd(Decimal("0.000001")), true},
      {Variant::FromBcd(Decimal("-0.000")), false},
  };
  for (const auto& [value, expected] : cases)
    EXPECT_EQ(VarAsBoolean(value, dot), expected) << VarTypeName(value.VType());

  for (const char* text : {"yes", "", " true", "Truee"}) {
    EXPECT_EQ(test::FailureMessage<EVariantInvalidArgError>(
                  [&] { VarAsBoolean(Variant::FromString(text), dot); }),
              "Invalid argument");
  }
  EXPECT_EQ(
      test::FailureMessage<EVariantTypeCastError>([&] { VarAsBoolean(Variant::Null(), dot); }),
      CastMessage("Null", "Boolean"));
  EXPECT_EQ(test::FailureMessage<EVariantTypeCastError>(
                [&] { VarAsBoolean(Variant::FromRaw(VarTypeCode::kDispatch, 0), dot); }),
            CastMessage("Dispatch", "Boolean"));
}

TEST(VarEqualsNull, OnlyNullIsNullAndErrorKindsCannotBeCompared) {
  const Variant null = Variant::Null();
  EXPECT_TRUE(VarEqualsNull(null));
  EXPECT_FALSE(VarEqualsNull(Variant()));
  for (VarTypeCode code :
       {VarTypeCode::kSmallint, VarTypeCode::kInteger, VarTypeCode::kSingle, VarTypeCode::kDouble,
        VarTypeCode::kCurrency, VarTypeCode::kDate, VarTypeCode::kString, VarTypeCode::kBoolean,
        VarTypeCode::kShortInt, VarTypeCode::kByte, VarTypeCode::kWord, VarTypeCode::kLongWord,
        VarTypeCode::kInt64, VarTypeCode::kFmtBcd}) {
    EXPECT_FALSE(VarEqualsNull(Variant::FromRaw(code, 0))) << VarTypeName(code);
  }
  for (VarTypeCode code :
       {VarTypeCode::kDispatch, VarTypeCode::kError, VarTypeCode::kVariant, VarTypeCode::kUnknown,
        Code(8), Code(14), Code(15), VarTypeCode::kAny, Code(21), Code(0x102), Code(0x110)}) {
    EXPECT_EQ(test::FailureMessage<EVariantInvalidOpError>(
                  [&] { VarEqualsNull(Variant::FromRaw(code, 0)); }),
              "Invalid variant operation")
        << VarTypeName(code);
  }
}

TEST(Variant, MessagesComeFromTheLanguageModule) {
  const RegionalSettings settings = test::DefaultSettings();
  const test::ScopedLanguageModule module(
      LanguageTexts{{"SVarTypeCouldNotConvert", "N\xE3o converte (%s) em (%s)"}});
  EXPECT_EQ(
      test::FailureMessage<EVariantTypeCastError>([&] { VarAsString(Variant::Null(), settings); }),
      "N\xE3o converte (Null) em (String)");
}

}  // namespace
}  // namespace xg
