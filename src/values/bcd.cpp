#include "values/bcd.h"

#include <locale.h>

#include <cstdlib>
#include <string_view>

#include "texts/ascii_text.h"
#include "texts/exceptions.h"
#include "texts/format.h"
#include "texts/resource_strings.h"

namespace xg {
namespace {

XG_RESOURCE(SBcdOverflow, "BCD estouro de capacidade");
XG_RESOURCE(SInvalidBcdValue, "'%s' is not a valid BCD value");
XG_RESOURCE(SInvalidBcdDigit, "Invalid BCD digit");

constexpr int kMaxPrecision = 64;
constexpr int kMaxPlaces = 0x3F;
constexpr uint8_t kNegativeBit = 0x80;

// The digits of a BCD value with the decimal point made explicit: `digits` holds every digit,
// the first `integer_digits` of them before the point. A count of places above the precision
// stands for leading zeros of the fraction.
struct PlainDecimal {
  bool negative = false;
  std::string digits;
  size_t integer_digits = 0;
};

PlainDecimal Unpack(const Bcd& value) {
  const int precision = value.precision;
  if (precision == 0 || precision > kMaxPrecision)
    throw EBcdOverflowException(LoadResString(SBcdOverflow));
  const int places = value.sign_special_places & kMaxPlaces;
  PlainDecimal plain;
  plain.negative = (value.sign_special_places & kNegativeBit) != 0;
  if (places > precision) plain.digits.assign(static_cast<size_t>(places - precision), '0');
  for (int i = 0; i < precision; ++i) {
    const uint8_t byte = value.fraction[i / 2];
    const int digit = i % 2 == 0 ? byte >> 4 : byte & 0x0F;
    if (digit > 9) throw EBcdException(LoadResString(SInvalidBcdDigit));
    plain.digits += static_cast<char>('0' + digit);
  }
  plain.integer_digits = plain.digits.size() - static_cast<size_t>(places);
  return plain;
}

locale_t CLocale() {
  static const locale_t locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  return locale;
}

}  // namespace

Bcd StrToBcd(const std::string& text, char decimal_separator) {
  auto invalid = [&] { return EBcdException(Format(LoadResString(SInvalidBcdValue), {text})); };
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  const size_t integer_start = i;
  while (i < text.size() && IsAsciiDigit(text[i])) ++i;
  std::string_view integer_part(text.data() + integer_start, i - integer_start);
  std::string_view fraction_part;
  if (i < text.size() && text[i] == decimal_separator) {
    const size_t fraction_start = ++i;
    while (i < text.size() && IsAsciiDigit(text[i])) ++i;
    fraction_part = std::string_view(text.data() + fraction_start, i - fraction_start);
  }
  if (i != text.size() || (integer_part.empty() && fraction_part.empty())) throw invalid();

  while (!integer_part.empty() && integer_part.front() == '0') integer_part.remove_prefix(1);
  std::string digits = std::string(integer_part) + std::string(fraction_part);
  if (digits.empty()) digits = "0";
  if (digits.size() > kMaxPrecision || fraction_part.size() > kMaxPlaces)
    throw EBcdOverflowException(LoadResString(SBcdOverflow));

  Bcd value;
  value.precision = static_cast<uint8_t>(digits.size());
  value.sign_special_places =
      static_cast<uint8_t>(fraction_part.size()) | (negative ? kNegativeBit : 0);
  for (size_t k = 0; k < digits.size(); ++k) {
    const uint8_t digit = static_cast<uint8_t>(digits[k] - '0');
    value.fraction[k / 2] |= k % 2 == 0 ? static_cast<uint8_t>(digit << 4) : digit;
  }
  return value;
}

std::string BcdToText(const Bcd& value, const RegionalSettings& settings) {
  const PlainDecimal plain = Unpack(value);
  const char separator = settings.decimal_separator;
  std::string text;
  for (size_t i = 0; i < plain.integer_digits; ++i)
    if (!text.empty() || plain.digits[i] != '0') text += plain.digits[i];
  if (plain.integer_digits < plain.digits.size()) {
    if (text.empty()) text = "0";
    const size_t separator_at = text.size();
    text += separator;
    text.append(plain.digits, plain.integer_digits);
    while (text.size() > separator_at + 1 && text.back() == '0') text.pop_back();
    if (text.size() == separator_at + 1) text.pop_back();
  }
  if (text.empty()) text = "0";
  if (plain.negative) text.insert(0, 1, '-');
  const std::string zero_with_fraction = std::string("0") + separator + "0";
  if (text == "-0" || text == zero_with_fraction || text == "-" + zero_with_fraction) text = "0";
  return text;
}

double BcdToDouble(const Bcd& value) {
  const PlainDecimal plain = Unpack(value);
  std::string text = plain.negative ? "-" : "";
  text.append(plain.digits, 0, plain.integer_digits);
  text += '.';
  text.append(plain.digits, plain.integer_digits);
  return strtod_l(text.c_str(), nullptr, CLocale());
}

}  // namespace xg
