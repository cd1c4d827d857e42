// Formatting into a fixed buffer without allocating memory, taking locks or reading the locale,
// so that a signal handler may use it. The directives are those of the message texts, read and
// written as format.h does (format_directive.h holds what both share): "%s", "%d", "%u", "%x",
// "%p", "%%", with an optional argument index, "-" for left alignment, width and precision (at
// most 64 digits here).
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string_view>

namespace xg {

struct SafeFormatArg {
  constexpr SafeFormatArg(std::string_view text) : is_text(true), text(text) {}
  constexpr SafeFormatArg(const char* text) : is_text(true), text(text) {}
  constexpr SafeFormatArg(int64_t number) : is_text(false), number(number) {}

  bool is_text;
  std::string_view text;
  int64_t number = 0;
};

// Writes the format filled with the arguments into out[0, capacity) and answers the length of
// the whole text, which is more than `capacity` when the text was cut; nothing is written when
// `capacity` is 0. A directive that is invalid, has no argument left or gets an argument of the
// other kind ends the text there: a format from a language module can cut a message short but
// never make the formatter read past its arguments. No NUL byte is added.
size_t SafeFormat(char* out, size_t capacity, std::string_view format,
                  std::span<const SafeFormatArg> args);

inline size_t SafeFormat(char* out, size_t capacity, std::string_view format,
                         std::initializer_list<SafeFormatArg> args) {
  return SafeFormat(out, capacity, format,
                    std::span<const SafeFormatArg>(args.begin(), args.size()));
}

}  // namespace xg
