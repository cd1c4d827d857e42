#include "protocol/base64.h"

#include <algorithm>
#include <array>
#include <cstdint>

#include "texts/exceptions.h"
#include "texts/resource_strings.h"

namespace xg {
namespace {

XG_RESOURCE(SUnevenSize, "Uneven size in DecodeToStream.");

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr uint8_t kNotInAlphabet = 255;

// One entry per byte value. The alphabet's characters carry their six-bit value; every other
// code, the fill character, blanks and line breaks included, carries 255. Codes 0 and 128 to 255
// lie outside the table's range and are given 255 as well.
constexpr std::array<uint8_t, 256> MakeDecodingTable() {
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

std::string EncodeBase64(std::string_view bytes) {
  std::string text;
  text.reserve((bytes.size() + 2) / 3 * 4);
  for (size_t i = 0; i < bytes.size(); i += 3) {
    const size_t count = std::min<size_t>(3, bytes.size() - i);
    uint32_t v = static_cast<uint32_t>(static_cast<uint8_t>(bytes[i])) << 16;
    if (count > 1) v |= static_cast<uint32_t>(static_cast<uint8_t>(bytes[i + 1])) << 8;
    if (count > 2) v |= static_cast<uint8_t>(bytes[i + 2]);
    text += kAlphabet[v >> 18 & 63];
    text += kAlphabet[v >> 12 & 63];
    text += count > 1 ? kAlphabet[v >> 6 & 63] : '=';
    text += count > 2 ? kAlphabet[v & 63] : '=';
  }
  return text;
}

}  // namespace xg
