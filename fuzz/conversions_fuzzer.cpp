// Fuzz target: text-to-number conversions and their texts, under the regional settings.
//
// Input layout: byte 0 chooses the host (fuzz_locale.h; the decimal separator is "." for the
// defaults and "," for the others), the rest is the text. The same bytes, zero-padded, also
// serve as a raw BCD value, a raw extended float and a raw currency amount. Checked:
// - integers: a text that reads as a 32-bit integer reads as the same 64-bit integer and the
//   other way round within the 32-bit range; IntToStr of the value reads back to it and is in
//   plain form; StrToInt and StrToInt64 answer the value or raise EConvertError with the
//   message naming the text; a decimal integer text reads as the same floating-point value;
// - floats: TryStrToFloat gives only finite values; StrToFloat agrees with it or raises
//   EConvertError; FloatToStr of the value (and of raw double and extended values) reads back
//   to a value with the same text (15 digits), except where rounding to 15 digits leaves the
//   range of normal values;
// - BCD: a decimal text of up to 30 digits converts, any other shape raises EBcdException;
//   BcdToText gives the plain form of the number (no leading or trailing zeros, "0" for zero);
//   a raw BCD value either converts to a text in plain form that reads back to the same text
//   and value, or raises EBcdOverflowException (precision 0 or above 64) or EBcdException (a
//   digit above 9);
// - currency: CurrencyToText of the raw amount is in plain form with at most four fraction
//   digits and reads back to the amount exactly.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <optional>
#include <string>

#include "fuzz_check.h"
#include "fuzz_locale.h"
#include "texts/exceptions.h"
#include "values/bcd.h"
#include "values/conversions.h"
#include "values/regional_settings.h"

namespace {

using xg::fuzz::Visible;

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// "-"? then "0" or digits without a leading zero, then optionally the separator and digits
// that do not end in zero (at most `maxFraction` of them).
bool IsPlainNumber(const std::string& text, char separator, size_t maxFraction) {
  size_t i = text.size() > 0 && text[0] == '-' ? 1 : 0;
  const size_t integerStart = i;
  while (i < text.size() && IsDigit(text[i])) ++i;
  const size_t integerDigits = i - integerStart;
  if (integerDigits == 0 || (integerDigits > 1 && text[integerStart] == '0')) return false;
  if (text == "-0") return false;
  if (i == text.size()) return true;
  if (text[i] != separator) return false;
  const size_t fractionStart = ++i;
  while (i < text.size() && IsDigit(text[i])) ++i;
  const size_t fractionDigits = i - fractionStart;
  return i == text.size() && fractionDigits > 0 && fractionDigits <= maxFraction &&
         text.back() != '0';
}

template <typename Failure>
std::optional<std::string> FailureMessage(auto&& call) {
  try {
    call();
  } catch (const Failure& e) {
    return e.Message();
  }
  return std::nullopt;
}

void CheckIntegers(const std::string& text, const xg::RegionalSettings& settings) {
  const std::optional<int32_t> i32 = xg::TryStrToInt(text);
  const std::optional<int64_t> i64 = xg::TryStrToInt64(text);
  const std::string what = " for " + Visible(text);
  if (i32) XG_FUZZ_CHECK(i64 && *i64 == *i32, "32-bit and 64-bit readings differ" + what);
  if (i64) {
    const bool fits =
        *i64 >= std::numeric_limits<int32_t>::min() && *i64 <= std::numeric_limits<int32_t>::max();
    XG_FUZZ_CHECK(fits == i32.has_value(), "32-bit range" + what);
    const std::string digits = xg::IntToStr(*i64);
    XG_FUZZ_CHECK(IsPlainNumber(digits, '\0', 0) && xg::TryStrToInt64(digits) == *i64,
                  "IntToStr gives " + digits + what);
  }
  if (i32) {
    const std::string digits = xg::IntToStr(*i32);
    XG_FUZZ_CHECK(xg::TryStrToInt(digits) == *i32, "IntToStr gives " + digits + what);
  }

  const std::string invalid = "'" + text + "' is not a valid integer value";
  const auto failure32 = FailureMessage<xg::EConvertError>(
      [&] { XG_FUZZ_CHECK(std::optional<int32_t>(xg::StrToInt(text)) == i32, "StrToInt" + what); });
  XG_FUZZ_CHECK(failure32 == (i32 ? std::nullopt : std::optional(invalid)), "StrToInt" + what);
  const auto failure64 = FailureMessage<xg::EConvertError>([&] {
    XG_FUZZ_CHECK(std::optional<int64_t>(xg::StrToInt64(text)) == i64, "StrToInt64" + what);
  });
  XG_FUZZ_CHECK(failure64 == (i64 ? std::nullopt : std::optional(invalid)), "StrToInt64" + what);

  // A decimal integer is a floating-point number too, exactly (64 mantissa bits).
  if (i64 && text.find_first_of("$xX") == std::string::npos) {
    const std::optional<long double> asFloat = xg::TryStrToFloat(text, settings);
    XG_FUZZ_CHECK(asFloat && *asFloat == static_cast<long double>(*i64),
                  "integer text not read as the same float" + what);
  }
}

// The text of a float and whether it reads back to a value of the same text.
void CheckFloatText(long double value, const std::string& origin,
                    const xg::RegionalSettings& settings) {
  const std::string text = xg::FloatToStr(value, settings);
  XG_FUZZ_CHECK(!text.empty() && text.size() < 64, "FloatToStr gives " + Visible(text) + origin);
  if (!std::isfinite(value)) return;
  const std::optional<long double> again = xg::TryStrToFloat(text, settings);
  if (!again) {
    // 15 digits rounded up past the largest extended value.
    XG_FUZZ_CHECK(std::fabs(value) > 1.18e4932L, "FloatToStr text unreadable: " + text + origin);
    return;
  }
  // Rounded to 15 digits below the smallest normal value, the text reads as a denormal,
  // which prints as "0".
  if (std::fpclassify(*again) == FP_SUBNORMAL) return;
  XG_FUZZ_CHECK(
      xg::FloatToStr(*again, settings) == text,
      "FloatToStr text " + text + " reads back as " + xg::FloatToStr(*again, settings) + origin);
}

void CheckFloats(const std::string& text, const xg::RegionalSettings& settings) {
  const std::optional<long double> value = xg::TryStrToFloat(text, settings);
  const std::string what = " for " + Visible(text);
  if (value) XG_FUZZ_CHECK(std::isfinite(*value), "not finite" + what);
  const auto failure = FailureMessage<xg::EConvertError>([&] {
    const long double read = xg::StrToFloat(text, settings);
    XG_FUZZ_CHECK(value && std::memcmp(&read, &*value, 10) == 0, "StrToFloat differs" + what);
  });
  XG_FUZZ_CHECK(
      failure == (value ? std::nullopt
                        : std::optional("'" + text + "' is not a valid floating point value")),
      "StrToFloat" + what);
  if (value) CheckFloatText(*value, what, settings);
}

// The number as BcdToText must write it: sign, integer digits without leading zeros ("0"
// when there are none), the fraction without trailing zeros, "0" for any zero.
std::string PlainForm(const std::string& text, char separator) {
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  std::string integer, fraction;
  for (; i < text.size() && IsDigit(text[i]); ++i) integer += text[i];
  if (i < text.size() && text[i] == separator)
    for (++i; i < text.size() && IsDigit(text[i]); ++i) fraction += text[i];
  integer.erase(0, integer.find_first_not_of('0'));
  fraction.erase(fraction.find_last_not_of('0') + 1);
  if (integer.empty() && fraction.empty()) return "0";
  std::string plain = negative ? "-" : "";
  plain += integer.empty() ? "0" : integer;
  if (!fraction.empty()) plain += separator + fraction;
  return plain;
}

// Sign, digits, optionally the separator and digits: at least one digit in all; the count of
// digits.
std::optional<size_t> DecimalDigits(const std::string& text, char separator) {
  size_t i = 0, digits = 0;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) ++i;
  for (; i < text.size() && IsDigit(text[i]); ++i) ++digits;
  if (i < text.size() && text[i] == separator)
    for (++i; i < text.size() && IsDigit(text[i]); ++i) ++digits;
  if (i != text.size() || digits == 0) return std::nullopt;
  return digits;
}

void CheckBcdText(const std::string& text, const xg::RegionalSettings& settings) {
  const char separator = settings.decimal_separator;
  const std::string what = " for " + Visible(text);
  const std::optional<size_t> digits = DecimalDigits(text, separator);
  xg::Bcd value;
  try {
    value = xg::StrToBcd(text, separator);
  } catch (const xg::EBcdException& e) {
    XG_FUZZ_CHECK(!digits || *digits > 30,
                  "StrToBcd refused a number: " + Visible(e.Message()) + what);
    if (!digits)
      XG_FUZZ_CHECK(std::string(e.ClassName()) == "EBcdException",
                    std::string(e.ClassName()) + what);
    return;
  }
  XG_FUZZ_CHECK(digits.has_value(), "StrToBcd accepted something else" + what);
  const std::string written = xg::BcdToText(value, settings);
  XG_FUZZ_CHECK(written == PlainForm(text, separator),
                "BcdToText gives " + Visible(written) + " instead of " +
                    Visible(PlainForm(text, separator)) + what);
}

void CheckRawBcd(const unsigned char* raw, const xg::RegionalSettings& settings) {
  const char separator = settings.decimal_separator;
  xg::Bcd value;
  value.precision = raw[0];
  value.sign_special_places = raw[1];
  std::memcpy(value.fraction, raw + 2, sizeof value.fraction);
  bool badDigit = false;
  for (int i = 0; i < value.precision && i < 64; ++i) {
    const int digit = i % 2 == 0 ? value.fraction[i / 2] >> 4 : value.fraction[i / 2] & 0x0F;
    badDigit = badDigit || digit > 9;
  }
  const bool badPrecision = value.precision == 0 || value.precision > 64;
  const std::string what = " for BCD precision " + std::to_string(value.precision) +
                           " sign/places " + std::to_string(value.sign_special_places);
  std::string text;
  try {
    text = xg::BcdToText(value, settings);
  } catch (const xg::EBcdOverflowException& e) {
    XG_FUZZ_CHECK(badPrecision && e.Message() == "BCD estouro de capacidade", "overflow" + what);
    return;
  } catch (const xg::EBcdException&) {
    XG_FUZZ_CHECK(!badPrecision && badDigit, "BCD failure" + what);
    return;
  }
  XG_FUZZ_CHECK(!badPrecision && !badDigit, "no failure" + what);
  XG_FUZZ_CHECK(IsPlainNumber(text, separator, 64), "BcdToText gives " + Visible(text) + what);
  const xg::Bcd again = xg::StrToBcd(text, separator);
  XG_FUZZ_CHECK(xg::BcdToText(again, settings) == text,
                "text does not read back: " + Visible(text) + what);
  const double a = xg::BcdToDouble(value), b = xg::BcdToDouble(again);
  XG_FUZZ_CHECK(a == b || (a == 0 && b == 0), "BcdToDouble differs" + what);
}

void CheckCurrency(int64_t amount, const xg::RegionalSettings& settings) {
  const char separator = settings.decimal_separator;
  const std::string text = xg::CurrencyToText(amount, settings);
  const std::string what = " for amount " + std::to_string(amount);
  XG_FUZZ_CHECK(IsPlainNumber(text, separator, 4), "CurrencyToText gives " + text + what);
  // Read back exactly: the digits times 10^(4 - fraction digits).
  uint64_t magnitude = 0;
  int fractionDigits = -1;
  for (char c : text) {
    if (c == separator) {
      fractionDigits = 0;
    } else if (IsDigit(c)) {
      magnitude = magnitude * 10 + static_cast<uint64_t>(c - '0');
      if (fractionDigits >= 0) ++fractionDigits;
    }
  }
  for (int k = fractionDigits < 0 ? 0 : fractionDigits; k < 4; ++k) magnitude *= 10;
  const uint64_t expected =
      amount < 0 ? 0 - static_cast<uint64_t>(amount) : static_cast<uint64_t>(amount);
  XG_FUZZ_CHECK(magnitude == expected && (text[0] == '-') == (amount < 0),
                "currency text reads back differently: " + text + what);
}

// Raw floating-point values from the input bytes, their binary exponents folded into +-128:
// the digits of values far from 1 take a long multi-word multiplication that costs up to
// milliseconds under the instrumentation, so such values come from the text instead ("1E-4900"
// and the like, in the seeds), where they are rarer. The exponent fields of all zeros (zeros
// and denormals; an extended pseudo-denormal, which counts as a normal value of the smallest
// exponent, loses its integer bit) and of all ones (infinities, NaNs and the invalid encodings
// among them) stay as they are.
long double RawExtended(const unsigned char* raw) {
  uint64_t mantissa = 0;
  uint16_t signAndExponent = 0;
  std::memcpy(&mantissa, raw, sizeof mantissa);
  std::memcpy(&signAndExponent, raw + 8, sizeof signAndExponent);
  uint16_t exponent = signAndExponent & 0x7FFF;
  if (exponent != 0 && exponent != 0x7FFF)
    exponent = static_cast<uint16_t>(0x3FFF - 128 + exponent % 257);
  if (exponent == 0) mantissa &= ~(uint64_t{1} << 63);
  signAndExponent = static_cast<uint16_t>((signAndExponent & 0x8000) | exponent);
  long double value = 0;
  std::memcpy(&value, &mantissa, sizeof mantissa);
  std::memcpy(reinterpret_cast<unsigned char*>(&value) + 8, &signAndExponent,
              sizeof signAndExponent);
  return value;
}

double RawDouble(const unsigned char* raw) {
  uint64_t bits = 0;
  std::memcpy(&bits, raw, sizeof bits);
  uint64_t exponent = bits >> 52 & 0x7FF;
  if (exponent != 0 && exponent != 0x7FF) exponent = 0x3FF - 128 + exponent % 257;
  bits = (bits & ~(uint64_t{0x7FF} << 52)) | exponent << 52;
  double value = 0;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const xg::RegionalSettings& settings = xg::fuzz::SettingsOf(xg::fuzz::HostOf(data[0]));
  const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);

  CheckIntegers(text, settings);
  CheckFloats(text, settings);
  CheckBcdText(text, settings);

  unsigned char raw[34] = {};
  std::memcpy(raw, text.data(), text.size() < sizeof raw ? text.size() : sizeof raw);
  CheckRawBcd(raw, settings);
  CheckFloatText(RawExtended(raw), " for raw extended value", settings);
  CheckFloatText(RawDouble(raw), " for raw double value", settings);
  int64_t amount = 0;
  std::memcpy(&amount, raw, sizeof amount);
  CheckCurrency(amount, settings);
  return 0;
}
