#include "runtime/bcd.h"

#include <locale.h>

#include <cstdlib>
#include <string_view>

#include "runtime/ascii_text.h"
#include "runtime/exceptions.h"
#include "runtime/format.h"
#include "runtime/resource_strings.h"

namespace xg {
namespace {

XG_RESOURCE(SBcdOverflow, "BCD estouro de capacidade");
XG_RESOURCE(SInvalidBcdValue, "'%s' is not a valid BCD value");
XG_RESOURCE(SInvalidBcdDigit, "Invalid BCD digit");

constexpr int kMaxPrecision = 64;
constexpr int kMaxPlaces = 0x3F;
constexpr uint8_t kNegativeBit = 0x80;

// The digits of a BCD value with the decimal point made explicit: `digits` holds every digit,
// the first `integerDigits` of them before the point. A count of places above the precision
// stands for leading zeros of the fraction.
struct PlainDecimal {
  bool negative = false;
  std::string digits;
  size_t integerDigits = 0;
};

PlainDecimal Unpack(const TBcd& value) {
  const int precision = value.Precision;
  if (precision == 0 || precision > kMaxPrecision)
    throw EBcdOverflowException(LoadResString(SBcdOverflow));
  const int places = value.SignSpecialPlaces & kMaxPlaces;
  PlainDecimal plain;
  plain.negative = (value.SignSpecialPlaces & kNegativeBit) != 0;
  if (places > precision) plain.digits.assign(static_cast<size_t>(places - precision), '0');
  for (int i = 0; i < precision; ++i) {
    const uint8_t byte = value.Fraction[i / 2];
    const int digit = i % 2 == 0 ? byte >> 4 : byte & 0x0F;
    if (digit > 9) throw EBcdException(LoadResString(SInvalidBcdDigit));
    plain.digits += static_cast<char>('0' + digit);
  }
  plain.integerDigits = plain.digits.size() - static_cast<size_t>(places);
  return plain;
}

locale_t CLocale() {
  static const locale_t locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  return locale;
}

}  // namespace

TBcd StrToBcd(const std::string& text, char decimalSeparator) {
  auto invalid = [&] { return EBcdException(Format(LoadResString(SInvalidBcdValue), {text})); };
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  const size_t integerStart = i;
  while (i < text.size() && IsAsciiDigit(text[i])) ++i;
  std::string_view integerPart(text.data() + integerStart, i - integerStart);
  std::string_view fractionPart;
  if (i < text.size() && text[i] == decimalSeparator) {
    const size_t fractionStart = ++i;
    while (i < text.size() && IsAsciiDigit(text[i])) ++i;
    fractionPart = std::string_view(text.data() + fractionStart, i - fractionStart);
  }
  if (i != text.size() || (integerPart.empty() && fractionPart.empty())) throw invalid();

  while (!integerPart.empty() && integerPart.front() == '0') integerPart.remove_prefix(1);
  std::string digits = std::string(integerPart) + std::string(fractionPart);
  if (digits.empty()) digits = "0";
  if (digits.size() > kMaxPrecision || fractionPart.size() > kMaxPlaces)
    throw EBcdOverflowException(LoadResString(SBcdOverflow));

  TBcd value;
  value.Precision = static_cast<uint8_t>(digits.size());
  value.SignSpecialPlaces =
      static_cast<uint8_t>(fractionPart.size()) | (negative ? kNegativeBit : 0);
  for (size_t k = 0; k < digits.size(); ++k) {
    const uint8_t digit = static_cast<uint8_t>(digits[k] - '0');
    value.Fraction[k / 2] |= k % 2 == 0 ? static_cast<uint8_t>(digit << 4) : digit;
  }
  return value;
}

std::string BcdToText(const TBcd& value, const RegionalSettings& settings) {
  const PlainDecimal plain = Unpack(value);
  const char separator = settings.decimal_separator;
  std::string text;
  for (size_t i = 0; i < plain.integerDigits; ++i)
    if (!text.empty() || plain.digits[i] != '0') text += plain.digits[i];
  if (plain.integerDigits < plain.digits.size()) {
    if (text.empty()) text = "0";
    const size_t separatorAt = text.size();
    text += separator;
    text.append(plain.digits, plain.integerDigits);
    while (text.size() > separatorAt + 1 && text.back() == '0') text.pop_back();
    if (text.size() == separatorAt + 1) text.pop_back();
  }
  if (text.empty()) text = "0";
  if (plain.negative) text.insert(0, 1, '-');
  const std::string zeroWithFraction = std::string("0") + separator + "0";
  if (text == "-0" || text == zeroWithFraction || text == "-" + zeroWithFraction) text = "0";
  return text;
}

double BcdToDouble(const TBcd& value) {
  const PlainDecimal plain = Unpack(value);
  std::string text = plain.negative ? "-" : "";
  text.append(plain.digits, 0, plain.integerDigits);
  text += '.';
  text.append(plain.digits, plain.integerDigits);
  return strtod_l(text.c_str(), nullptr, CLocale());
}

}  // namespace xg
