#include "values/conversions.h"

#include <locale.h>

#include <array>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "texts/ascii_text.h"
#include "texts/exceptions.h"
#include "texts/format.h"
#include "texts/resource_strings.h"
#include "texts/runtime_messages.h"

namespace xg {
namespace {

// The float layout below relies on the 64-bit mantissa of the extended format: every value is
// an integer mantissa below 2^64 times a power of two.
static_assert(std::numeric_limits<long double>::digits == 64,
              "long double must be the 80-bit extended format");

// The words for true and false.
constexpr const char* kTrueText = "True";
constexpr const char* kFalseText = "False";

std::string UnsignedDigits(uint64_t value) {
  char buffer[20];
  char* end = buffer + sizeof buffer;
  char* p = end;
  do {
    *--p = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  return std::string(p, end);
}

uint64_t Magnitude(int64_t value) {
  return value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
}

// ---------------------------------------------------------------------------------------------
// Exact decimal digits of a binary floating-point value.

// An unsigned integer in base 10^9, least significant limb first, big enough for the largest
// product the extended format needs: a 64-bit mantissa times 5^16445 has 11514 decimal digits.
class DecimalInteger {
 public:
  explicit DecimalInteger(uint64_t value) {
    do {
      limbs_[size_++] = static_cast<uint32_t>(value % kBase);
      value /= kBase;
    } while (value != 0);
  }

  void Multiply(uint32_t factor) {
    uint64_t carry = 0;
    for (size_t i = 0; i < size_; ++i) {
      uint64_t product = static_cast<uint64_t>(limbs_[i]) * factor + carry;
      limbs_[i] = static_cast<uint32_t>(product % kBase);
      carry = product / kBase;
    }
    while (carry != 0) {
      limbs_[size_++] = static_cast<uint32_t>(carry % kBase);
      carry /= kBase;
    }
  }

  void MultiplyByPowerOfTwo(int count) {
    for (; count >= 31; count -= 31) Multiply(uint32_t{1} << 31);
    if (count > 0) Multiply(uint32_t{1} << count);
  }

  void MultiplyByPowerOfFive(int count) {
    constexpr uint32_t kFivePow13 = 1220703125;  // the largest power of five below 2^32
    for (; count >= 13; count -= 13) Multiply(kFivePow13);
    uint32_t factor = 1;
    for (; count > 0; --count) factor *= 5;
    Multiply(factor);
  }

  int DigitCount() const {
    int count = static_cast<int>(size_ - 1) * 9;
    for (uint32_t top = limbs_[size_ - 1]; top != 0; top /= 10) ++count;
    return count;
  }

  // The first `count` decimal digits (zeros past the end of the number) and whether any digit
  // after them is not zero.
  void LeadingDigits(int count, char* out, bool& sticky) const {
    int written = 0;
    sticky = false;
    for (size_t i = size_; i-- > 0;) {
      char limb[9];
      uint32_t value = limbs_[i];
      for (int k = 8; k >= 0; --k, value /= 10) limb[k] = static_cast<char>('0' + value % 10);
      int start = 0;
      if (i == size_ - 1)
        while (start < 8 && limb[start] == '0') ++start;
      for (int k = start; k < 9; ++k) {
        if (written < count)
          out[written++] = limb[k];
        else if (limb[k] != '0')
          sticky = true;
      }
    }
    while (written < count) out[written++] = '0';
  }

 private:
  static constexpr uint32_t kBase = 1000000000;
  static constexpr size_t kMaxLimbs = 1290;
  std::array<uint32_t, kMaxLimbs> limbs_;
  size_t size_ = 0;
};

// The value 0.d1d2d3... x 10^Exponent, with at most 15 significant digits after rounding.
struct DecimalForm {
  static constexpr int16_t kInfinity = 0x7FFF;
  static constexpr int16_t kNaN = static_cast<int16_t>(0x8000);
  int16_t exponent = 0;
  bool negative = false;
  char digits[20] = {};  // NUL-terminated, no trailing zeros; empty for zero
};

constexpr uint64_t kTenPow17 = 100000000000000000ull;
constexpr uint64_t kTenPow18 = 1000000000000000000ull;
constexpr uint64_t kTenPow14 = 100000000000000ull;
constexpr uint64_t kTenPow15 = 1000000000000000ull;

// The 18 most significant digits of a finite non-zero value, correctly rounded (ties to even),
// as an integer from 10^17 to 10^18 - 1; `exponent` receives the decimal exponent of the
// 0.ddd form.
uint64_t EighteenDigits(long double magnitude, int& exponent) {
  int binary_exponent = 0;
  long double fraction = std::frexp(magnitude, &binary_exponent);  // in [0.5, 1)
  uint64_t mantissa = static_cast<uint64_t>(std::ldexp(fraction, 64));
  binary_exponent -= 64;
  while ((mantissa & 1) == 0) {
    mantissa >>= 1;
    ++binary_exponent;
  }

  // value = mantissa * 2^binary_exponent = number * 10^min(binary_exponent, 0)
  DecimalInteger number(mantissa);
  if (binary_exponent >= 0)
    number.MultiplyByPowerOfTwo(binary_exponent);
  else
    number.MultiplyByPowerOfFive(-binary_exponent);
  const int digit_count = number.DigitCount();
  exponent = digit_count + std::min(binary_exponent, 0);

  char digits[19];
  bool sticky = false;
  number.LeadingDigits(19, digits, sticky);
  uint64_t leading = 0;
  for (int i = 0; i < 18; ++i) leading = leading * 10 + static_cast<uint64_t>(digits[i] - '0');
  const int next = digits[18] - '0';
  if (next > 5 || (next == 5 && (sticky || (leading & 1) != 0))) ++leading;
  if (leading == kTenPow18) {
    leading = kTenPow17;
    ++exponent;
  }
  return leading;
}

DecimalForm DecimalFormOf(long double value) {
  DecimalForm form;
  switch (std::fpclassify(value)) {
    case FP_ZERO:
    case FP_SUBNORMAL:
      return form;  // zero of either sign, and the denormals, print as plain "0"
    case FP_INFINITE:
      form.exponent = DecimalForm::kInfinity;
      form.negative = std::signbit(value);
      return form;
    case FP_NAN:
      form.exponent = DecimalForm::kNaN;
      return form;
    default:
      break;
  }
  form.negative = std::signbit(value);
  int exponent = 0;
  const uint64_t eighteen = EighteenDigits(std::fabs(value), exponent);
  // Round the 18 digits to 15: a 16th digit of 5 or more carries into the 15th.
  uint64_t fifteen = eighteen / 1000;
  if (eighteen % 1000 >= 500) ++fifteen;
  if (fifteen == kTenPow15) {
    fifteen = kTenPow14;
    ++exponent;
  }
  form.exponent = static_cast<int16_t>(exponent);
  for (int i = 14; i >= 0; --i, fifteen /= 10)
    form.digits[i] = static_cast<char>('0' + fifteen % 10);
  for (int i = 14; i > 0 && form.digits[i] == '0'; --i) form.digits[i] = '\0';
  return form;
}

void AppendLayOut(const DecimalForm& form, char decimal_separator, std::string& out) {
  if (form.exponent == DecimalForm::kInfinity) {
    out += form.negative ? "-INF" : "INF";
    return;
  }
  if (form.exponent == DecimalForm::kNaN) {
    out += "NAN";
    return;
  }

  char buffer[64];
  size_t length = 0;
  auto put = [&](char c) { buffer[length++] = c; };
  const char* digits = form.digits;
  const int exponent = form.exponent;

  if (form.negative) put('-');
  if (exponent > 15 || exponent < -3) {
    put(digits[0]);
    if (digits[1] != '\0') {
      put(decimal_separator);
      for (const char* p = digits + 1; *p != '\0'; ++p) put(*p);
    }
    put('E');
    int power = exponent - 1;
    if (power < 0) put('-');
    length = static_cast<size_t>(
        std::to_chars(buffer + length, buffer + sizeof buffer, std::abs(power)).ptr - buffer);
  } else if (exponent > 0) {
    const char* p = digits;
    for (int i = 0; i < exponent; ++i) put(*p != '\0' ? *p++ : '0');
    if (*p != '\0') {
      put(decimal_separator);
      for (; *p != '\0'; ++p) put(*p);
    }
  } else {
    put('0');
    if (digits[0] != '\0') {
      put(decimal_separator);
      for (int i = 0; i < -exponent; ++i) put('0');
      for (const char* p = digits; *p != '\0'; ++p) put(*p);
    }
  }
  out.append(buffer, length);
}

// ---------------------------------------------------------------------------------------------
// Text to number.

// Reads blanks, one sign and decimal or hexadecimal digits; nothing when the text has any other
// shape or its value lies outside minimum ... maximum. Hexadecimal texts follow the same range
// as decimal ones: "$80000000" overflows a 32-bit integer rather than wrapping to a negative.
std::optional<int64_t> ParseInteger(const std::string& text, int64_t minimum, int64_t maximum) {
  size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';

  unsigned base = 10;
  if (i < text.size() && (text[i] == '$' || text[i] == 'x' || text[i] == 'X')) {
    base = 16;
    ++i;
  } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  if (i == text.size()) return std::nullopt;

  const uint64_t limit = negative ? Magnitude(minimum) : static_cast<uint64_t>(maximum);
  uint64_t magnitude = 0;
  for (; i < text.size(); ++i) {
    int digit =
        base == 16 ? AsciiHexDigitValue(text[i]) : (IsAsciiDigit(text[i]) ? text[i] - '0' : -1);
    if (digit < 0) return std::nullopt;
    if (magnitude > (limit - static_cast<uint64_t>(digit)) / base) return std::nullopt;
    magnitude = magnitude * base + static_cast<uint64_t>(digit);
  }
  return negative ? static_cast<int64_t>(0 - magnitude) : static_cast<int64_t>(magnitude);
}

locale_t CLocale() {
  static const locale_t locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  return locale;
}

}  // namespace

std::string IntToStr(int32_t value) {
  return IntToStr(static_cast<int64_t>(value));
}

std::string IntToStr(int64_t value) {
  std::string digits = UnsignedDigits(Magnitude(value));
  return value < 0 ? "-" + digits : digits;
}

std::string FloatToStr(long double value, const RegionalSettings& settings) {
  std::string text;
  AppendFloatText(value, settings.decimal_separator, text);
  return text;
}

void AppendFloatText(long double value, char decimal_separator, std::string& out) {
  AppendLayOut(DecimalFormOf(value), decimal_separator, out);
}

std::string CurrencyToText(int64_t scaled_amount, const RegionalSettings& settings) {
  char text[kCurrencyTextMax];
  return std::string(text, CurrencyToChars(scaled_amount, settings.decimal_separator, text));
}

size_t CurrencyToChars(int64_t scaled_amount, char decimal_separator, char* out) {
  const uint64_t magnitude = Magnitude(scaled_amount);
  char* end = out;
  if (scaled_amount < 0) *end++ = '-';
  end = std::to_chars(end, out + kCurrencyTextMax, magnitude / 10000).ptr;
  if (uint64_t fraction = magnitude % 10000; fraction != 0) {
    char digits[4];
    for (int i = 3; i >= 0; --i, fraction /= 10) digits[i] = static_cast<char>('0' + fraction % 10);
    size_t count = 4;
    while (digits[count - 1] == '0') --count;
    *end++ = decimal_separator;
    for (size_t i = 0; i < count; ++i) *end++ = digits[i];
  }
  return static_cast<size_t>(end - out);
}

std::string BoolToStr(bool value, BoolText form) {
  if (form == BoolText::kNumber) return value ? "-1" : "0";
  return value ? kTrueText : kFalseText;
}

std::optional<int32_t> TryStrToInt(const std::string& text) {
  auto value =
      ParseInteger(text, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max());
  if (!value) return std::nullopt;
  return static_cast<int32_t>(*value);
}

std::optional<int64_t> TryStrToInt64(const std::string& text) {
  return ParseInteger(text, std::numeric_limits<int64_t>::min(),
                      std::numeric_limits<int64_t>::max());
}

int32_t StrToInt(const std::string& text) {
  if (auto value = TryStrToInt(text)) return *value;
  throw EConvertError(Format(LoadResString(SInvalidInteger), {text}));
}

int64_t StrToInt64(const std::string& text) {
  if (auto value = TryStrToInt64(text)) return *value;
  throw EConvertError(Format(LoadResString(SInvalidInteger), {text}));
}

std::optional<long double> TryStrToFloat(const std::string& text,
                                         const RegionalSettings& settings) {
  const char separator = settings.decimal_separator;
  size_t i = 0;
  const size_t n = text.size();
  while (i < n && text[i] == ' ') ++i;

  // Rewritten with "." as the separator for the C library's exact reading.
  std::string plain;
  if (i < n && (text[i] == '-' || text[i] == '+')) plain += text[i++];
  size_t mantissa_digits = 0;
  for (; i < n && IsAsciiDigit(text[i]); ++i, ++mantissa_digits) plain += text[i];
  if (i < n && separator != '\0' && text[i] == separator) {
    plain += '.';
    for (++i; i < n && IsAsciiDigit(text[i]); ++i, ++mantissa_digits) plain += text[i];
  }
  if (mantissa_digits == 0) return std::nullopt;
  if (i < n && (text[i] == 'e' || text[i] == 'E')) {
    plain += 'e';
    ++i;
    if (i < n && (text[i] == '-' || text[i] == '+')) plain += text[i++];
    size_t exponent_digits = 0;
    for (; i < n && IsAsciiDigit(text[i]); ++i, ++exponent_digits) plain += text[i];
    if (exponent_digits == 0) return std::nullopt;
  }
  while (i < n && text[i] == ' ') ++i;
  if (i != n) return std::nullopt;

  long double value = strtold_l(plain.c_str(), nullptr, CLocale());
  if (std::isinf(value)) return std::nullopt;  // beyond the range of the extended format
  return value;
}

long double StrToFloat(const std::string& text, const RegionalSettings& settings) {
  if (auto value = TryStrToFloat(text, settings)) return *value;
  throw EConvertError(Format(LoadResString(SInvalidFloat), {text}));
}

}  // namespace xg
