#include "gateway/base64.h"

#include <array>
#include <cstdint>

#include "runtime/exceptions.h"
#include "runtime/resource_strings.h"

namespace xg {
namespace {

XG_RESOURCE(SUnevenSize, "Uneven size in DecodeToStream.");

constexpr uint8_t kNotInAlphabet = 255;

// One entry per byte value. The alphabet's characters carry their six-bit value; every other
// code, the fill character, blanks and line breaks included, carries 255. Codes 0 and 128 to 255
// lie outside the table's range and are given 255 as well.
constexpr std::array<uint8_t, 256> MakeDecodingTable() {
  constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::array<uint8_t, 256> table{};
  for (auto& entry : table) entry = kNotInAlphabet;
  for (uint8_t value = 0; value < 64; ++value)
    table[static_cast<unsigned char>(kAlphabet[value])] = value;
  return table;
}

constexpr std::array<uint8_t, 256> kDecodingTable = MakeDecodingTable();

uint32_t Entry(char c) {
  return kDecodingTable[static_cast<unsigned char>(c)];
}

}  // namespace

std::string DecodeBase64(const std::string& text) {
  if (text.size() % 4 != 0) throw EDecodeError(LoadResString(SUnevenSize));
  std::string bytes;
  bytes.reserve(text.size() / 4 * 3);
  for (size_t i = 0; i < text.size(); i += 4) {
    // ORed, not added: an entry of 255 also sets the low bits of the next higher field.
    uint32_t v = Entry(text[i]) << 18 | Entry(text[i + 1]) << 12 | Entry(text[i + 2]) << 6 |
                 Entry(text[i + 3]);
    size_t count = text[i + 2] == '=' ? 1 : text[i + 3] == '=' ? 2 : 3;
    const char group[3] = {static_cast<char>(v >> 16 & 0xFF), static_cast<char>(v >> 8 & 0xFF),
                           static_cast<char>(v & 0xFF)};
    bytes.append(group, count);
  }
  return bytes;
}

}  // namespace xg
