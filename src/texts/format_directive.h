// The directives of the system's message texts, read the same way by both formatters: the one
// that builds a std::string (format.h) and the one a signal handler uses (safe_format.h).
//
// A directive is "%", then optionally "-" (left alignment), an argument index followed by ":"
// (and another optional "-"), a width, "." and a precision, and last the conversion letter. A
// number is read up to six digits; a further digit is left for what follows (and so makes the
// directive invalid). "%%" is not a directive but one percent sign.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace xg {

struct FormatDirective {
  std::size_t argument_index = 0;  // the given index, else the one after the previous directive
  bool left_align = false;
  int width = 0;         // 0 when none is given
  int precision = -1;    // -1 when none is given
  char conversion = 0;   // folded to lower case; 0 when the text ends before it
  std::size_t last = 0;  // the position of the conversion letter, or the text's length
};

// Reads the directive whose "%" stands at format[percent] (and is not followed by another "%").
constexpr FormatDirective ReadFormatDirective(std::string_view format, std::size_t percent,
                                              std::size_t next_argument) {
  FormatDirective directive;
  directive.argument_index = next_argument;
  std::size_t at = percent + 1;
  auto read_number = [&](int& value) {
    bool any = false;
    value = 0;
    while (at < format.size() && format[at] >= '0' && format[at] <= '9' && value < 100000) {
      value = value * 10 + (format[at++] - '0');
      any = true;
    }
    return any;
  };
  auto read_left_align = [&] {
    if (at < format.size() && format[at] == '-') {
      directive.left_align = true;
      ++at;
    }
  };
  read_left_align();
  int number = 0;
  bool has_width = read_number(number);
  if (has_width && at < format.size() && format[at] == ':') {
    directive.argument_index = static_cast<std::size_t>(number);
    ++at;
    read_left_align();
    has_width = read_number(number);
  }
  directive.width = has_width ? number : 0;
  if (at < format.size() && format[at] == '.') {
    ++at;
    read_number(directive.precision);
  }
  directive.last = at;
  if (at < format.size()) directive.conversion = static_cast<char>(format[at] | 0x20);
  return directive;
}

constexpr std::size_t kFormatNumberBufferSize = 72;

// The text of a number for the conversion "d" or "u" (decimal, "-" before a negative value),
// "x" (upper-case hexadecimal of the 64-bit pattern) or "p" (the same, at least eight digits),
// with at least `precision` digits (at most 64 here), written right-aligned into `buffer`.
inline std::string_view FormatDirectiveNumber(char (&buffer)[kFormatNumberBufferSize],
                                              int64_t value, char conversion, int precision) {
  constexpr char kDigits[] = "0123456789ABCDEF";
  const bool hexadecimal = conversion == 'x' || conversion == 'p';
  const bool negative = value < 0 && !hexadecimal;
  uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
  const unsigned base = hexadecimal ? 16 : 10;
  if (conversion == 'p') precision = 8;
  if (precision > 64) precision = 64;
  char* end = buffer + kFormatNumberBufferSize;
  char* p = end;
  do {
    *--p = kDigits[magnitude % base];
    magnitude /= base;
  } while (magnitude != 0);
  while (end - p < precision) *--p = '0';
  if (negative) *--p = '-';
  return std::string_view(p, static_cast<std::size_t>(end - p));
}

}  // namespace xg
