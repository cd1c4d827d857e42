#include "texts/latin1_text.h"

#include <iconv.h>

#include <cerrno>
#include <cstdint>

#include "texts/ascii_text.h"

namespace xg {
namespace {

class Converter {
 public:
  Converter(const char* to, const char* from) : handle_(iconv_open(to, from)) {}
  ~Converter() {
    if (valid()) iconv_close(handle_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  bool valid() const { return handle_ != reinterpret_cast<iconv_t>(-1); }
  iconv_t get() const { return handle_; }

 private:
  iconv_t handle_;
};

char Latin1ForCodePoint(uint32_t code_point) {
  if (code_point <= 0xFF) return static_cast<char>(code_point);
  if (code_point == 0x2007 || code_point == 0x202F) return '\xA0';
  if ((code_point >= 0x2000 && code_point <= 0x200A) || code_point == 0x205F) return ' ';
  return '?';
}

bool IsUtf8(const char* code_set) {
  return EqualsIgnoringAsciiCase(code_set, "UTF-8") || EqualsIgnoringAsciiCase(code_set, "UTF8");
}

}  // namespace

std::string ToLatin1(std::string_view text, const char* code_set) {
  std::string result;
  if (text.empty()) return result;
  // Through UTF-32, so that a character ISO-8859-1 lacks is one code point to replace.
  Converter converter("UTF-32LE", code_set);
  if (!converter.valid()) {
    for (char c : text) result += static_cast<unsigned char>(c) < 0x80 ? c : '?';
    return result;
  }
  const bool utf8 = IsUtf8(code_set);
  std::string input(text);
  char* in = input.data();
  std::size_t in_left = input.size();
  while (in_left > 0) {
    unsigned char units[4 * 64];
    char* out = reinterpret_cast<char*>(units);
    std::size_t out_left = sizeof units;
    std::size_t status = iconv(converter.get(), &in, &in_left, &out, &out_left);
    int error = errno;
    std::size_t produced = (sizeof units - out_left) / 4;
    for (std::size_t i = 0; i < produced; ++i) {
      const unsigned char* unit = units + 4 * i;
      result += Latin1ForCodePoint(unit[0] | (unit[1] << 8) | (unit[2] << 16) |
                                   (static_cast<uint32_t>(unit[3]) << 24));
    }
    if (status == static_cast<std::size_t>(-1) && error != E2BIG) {
      // An invalid or cut-off sequence: one "?" for its first byte and the continuation
      // bytes after it.
      result += '?';
      ++in;
      --in_left;
      while (utf8 && in_left > 0 && (static_cast<unsigned char>(*in) & 0xC0) == 0x80) {
        ++in;
        --in_left;
      }
    }
  }
  return result;
}

}  // namespace xg
