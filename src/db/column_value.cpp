#include "db/column_value.h"

#include <algorithm>
#include <charconv>

namespace xg {

size_t ScaledDecimalToChars(int64_t stored, int scale, char decimal_separator, char* out) {
  // The value reads as its digits padded to 18 with the point `-scale` places from the end, as
  // long as the point falls inside them; otherwise as the whole number.
  const uint64_t magnitude =
      stored < 0 ? 0 - static_cast<uint64_t>(stored) : static_cast<uint64_t>(stored);
  char digits[20];
  const size_t digit_count =
      static_cast<size_t>(std::to_chars(digits, digits + sizeof digits, magnitude).ptr - digits);
  const size_t places = static_cast<size_t>(-scale);
  char* end = out;
  if (stored < 0) *end++ = '-';
  if (places == 0 || places >= std::max<size_t>(18, digit_count)) {
    end = std::copy(digits, digits + digit_count, end);
  } else {
    // The integer digits, "0" when there are none; the fraction without its trailing zeros.
    const size_t integer_digits = digit_count > places ? digit_count - places : 0;
    if (integer_digits > 0) {
      end = std::copy(digits, digits + integer_digits, end);
    } else {
      *end++ = '0';
    }
    char fraction[20];
    const size_t leading_zeros = places - (digit_count - integer_digits);
    std::fill(fraction, fraction + leading_zeros, '0');
    std::copy(digits + integer_digits, digits + digit_count, fraction + leading_zeros);
    size_t fraction_digits = places;
    while (fraction_digits > 0 && fraction[fraction_digits - 1] == '0') --fraction_digits;
    if (fraction_digits > 0) {
      *end++ = decimal_separator;
      end = std::copy(fraction, fraction + fraction_digits, end);
    }
  }
  if (end - out == 2 && out[0] == '-' && out[1] == '0') {  // a negative zero reads as "0"
    out[0] = '0';
    end = out + 1;
  }
  return static_cast<size_t>(end - out);
}

}  // namespace xg
