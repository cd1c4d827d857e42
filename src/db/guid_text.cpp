#include "db/guid_text.h"

#include <array>
#include <cstdint>
#include <random>

#include "texts/ascii_text.h"

namespace xg {

std::string NewGuidText() {
  static std::random_device source;
  std::array<uint8_t, 16> bytes{};
  for (size_t i = 0; i < bytes.size(); i += 4) {
    const uint32_t word = source();
    for (size_t j = 0; j < 4; ++j) bytes[i + j] = static_cast<uint8_t>(word >> (8 * j));
  }
  bytes[6] = static_cast<uint8_t>((bytes[6] & 0x0F) | 0x40);  // version 4: random
  bytes[8] = static_cast<uint8_t>((bytes[8] & 0x3F) | 0x80);  // the standard variant
  std::string text = "{";
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) text += '-';
    AppendAsciiHex(bytes[i], 2, text);
  }
  text += '}';
  return text;
}

}  // namespace xg
