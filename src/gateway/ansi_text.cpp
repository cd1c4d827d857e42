#include "gateway/ansi_text.h"

#include <cstdint>
#include <optional>

namespace xg {
namespace {

// The characters of the bytes 0x80..0x9F; 0 where the code page maps the byte to the control
// character of the same number (0x81, 0x8D, 0x8F, 0x90, 0x9D).
constexpr char16_t kHighControlRange[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

char AnsiCharacter(char32_t code) {
  if (code < 0x80 || (code >= 0xA0 && code <= 0xFF)) return static_cast<char>(code);
  for (int i = 0; i < 32; ++i) {
    char16_t mapped = kHighControlRange[i];
    if (mapped == 0 ? code == char32_t(0x80 + i) : code == mapped)
      return static_cast<char>(0x80 + i);
  }
  return '?';
}

// Decodes one well-formed UTF-8 sequence at text[pos]; nothing when the bytes there are not one
// (overlong forms, surrogates and values above U+10FFFF included).
std::optional<char32_t> DecodeSequence(std::string_view text, size_t pos, size_t& length) {
  auto byte = [&](size_t i) { return static_cast<uint8_t>(text[pos + i]); };
  uint8_t lead = byte(0);
  char32_t code;
  char32_t minimum;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, code = lead & 0x1F, minimum = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, code = lead & 0x0F, minimum = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, code = lead & 0x07, minimum = 0x10000;
  } else {
    return std::nullopt;
  }
  if (pos + length > text.size()) return std::nullopt;
  for (size_t i = 1; i < length; ++i) {
    if ((byte(i) & 0xC0) != 0x80) return std::nullopt;
    code = code << 6 | (byte(i) & 0x3F);
  }
  if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return std::nullopt;
  return code;
}

}  // namespace

std::string Utf8ToAnsi(std::string_view utf8, size_t maxCharacters) {
  std::string ansi;
  ansi.reserve(utf8.size());
  for (size_t pos = 0; pos < utf8.size() && ansi.size() < maxCharacters;) {
    if (static_cast<uint8_t>(utf8[pos]) < 0x80) {
      ansi += utf8[pos++];
      continue;
    }
    size_t length = 1;
    if (auto code = DecodeSequence(utf8, pos, length)) {
      ansi += AnsiCharacter(*code);
      pos += length;
    } else {
      ansi += utf8[pos++];
    }
  }
  return ansi;
}

}  // namespace xg
