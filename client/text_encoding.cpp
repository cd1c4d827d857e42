#include "text_encoding.h"

#include <cstdint>
#include <cstdio>

#include "client_error.h"

namespace xg::client {

void AppendUtf8(uint32_t code, std::string& utf8) {
  if (code < 0x80) {
    utf8 += static_cast<char>(code);
  } else if (code < 0x800) {
    utf8 += static_cast<char>(0xC0 | code >> 6);
    utf8 += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    utf8 += static_cast<char>(0xE0 | code >> 12);
    utf8 += static_cast<char>(0x80 | (code >> 6 & 0x3F));
    utf8 += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    utf8 += static_cast<char>(0xF0 | code >> 18);
    utf8 += static_cast<char>(0x80 | (code >> 12 & 0x3F));
    utf8 += static_cast<char>(0x80 | (code >> 6 & 0x3F));
    utf8 += static_cast<char>(0x80 | (code & 0x3F));
  }
}

std::string Latin1ToUtf8(std::string_view latin1) {
  std::string utf8;
  utf8.reserve(latin1.size());
  for (const char c : latin1) AppendUtf8(static_cast<uint8_t>(c), utf8);
  return utf8;
}

std::string Utf8ToLatin1(std::string_view utf8, std::string_view what) {
  std::string latin1;
  latin1.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size();) {
    const auto lead = static_cast<uint8_t>(utf8[i]);
    if (lead < 0x80) {
      latin1 += utf8[i++];
      continue;
    }
    // The length of the sequence from its lead byte, and the code point it spells.
    size_t length = lead >= 0xF0 && lead < 0xF5 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 ? 2 : 0;
    if (lead >= 0xF5) length = 0;
    uint32_t code = length == 2 ? lead & 0x1F : length == 3 ? lead & 0x0F : lead & 0x07;
    bool valid = length != 0 && i + length <= utf8.size();
    for (size_t k = 1; valid && k < length; ++k) {
      const auto next = static_cast<uint8_t>(utf8[i + k]);
      valid = (next & 0xC0) == 0x80;
      code = code << 6 | (next & 0x3F);
    }
    // Overlong forms and surrogates are not UTF-8 either.
    if (valid)
      valid = !(length == 3 && code < 0x800) && !(length == 4 && code < 0x10000) &&
              !(code >= 0xD800 && code <= 0xDFFF) && code <= 0x10FFFF;
    if (!valid) {
      throw ClientError(ExitCode::kUsage, std::string(what) + " is not valid UTF-8 (byte " +
                                              std::to_string(i + 1) +
                                              "); --latin1-input sends bytes unchanged");
    }
    if (code > 0xFF) {
      char name[16];
      std::snprintf(name, sizeof name, "U+%04X", static_cast<unsigned>(code));
      throw ClientError(ExitCode::kUsage, std::string(what) + " holds the character " + name +
                                              ", which ISO-8859-1 cannot carry");
    }
    latin1 += static_cast<char>(code);
    i += length;
  }
  return latin1;
}

}  // namespace xg::client
