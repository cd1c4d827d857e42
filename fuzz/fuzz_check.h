// Checks inside the fuzz targets: a broken invariant prints what was expected and aborts, which
// libFuzzer reports as a crash and saves the input that caused it.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

namespace xg::fuzz {

// The text with every byte outside printable ASCII written as \xHH, for the report.
inline std::string Visible(const std::string& text) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : text) {
    if (c >= 0x20 && c < 0x7F && c != '\\') {
      out += static_cast<char>(c);
    } else {
      out += "\\x";
      out += kHex[c >> 4];
      out += kHex[c & 0x0F];
    }
  }
  return out;
}

[[noreturn]] inline void Fail(const char* file, int line, const char* condition,
                              const std::string& detail) {
  std::fprintf(stderr, "%s:%d: invariant broken: %s\n%s\n", file, line, condition, detail.c_str());
  std::abort();
}

}  // namespace xg::fuzz

// Aborts with `detail` (a std::string expression, evaluated only on failure) unless `condition`.
#define XG_FUZZ_CHECK(condition, detail)                                          \
  do {                                                                            \
    if (!(condition)) ::xg::fuzz::Fail(__FILE__, __LINE__, #condition, (detail)); \
  } while (false)
