// Fuzz target: base64 decoding of the request envelope.
//
// The input is the base64 text. Checked for every input:
// - a length that is not a multiple of four raises EDecodeError "Uneven size in
//   DecodeToStream." and nothing else;
// - otherwise the bytes equal those of the decoding rules, group by group: each character's
//   six-bit value, 255 for every byte outside the alphabet ("=", blanks, line breaks, NUL and
//   bytes above 127 included), the four entries ORed (not added) into 24 bits, one byte when
//   the third character is "=", two when only the fourth is, else three, and decoding going on
//   after a padded group;
// - the standard encoding of the input (with its padding) decodes to the input again.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_check.h"
#include "protocol/base64.h"
#include "support/request_body.h"
#include "texts/exceptions.h"

namespace {

using xg::fuzz::Visible;

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

uint32_t ValueOf(char c) {
  for (uint32_t value = 0; value < 64; ++value)
    if (kAlphabet[value] == c) return value;
  return 255;
}

std::string DecodeByTheRules(const std::string& text) {
  std::string bytes;
  for (size_t group = 0; group < text.size(); group += 4) {
    const char* c = text.data() + group;
    const uint32_t v =
        ValueOf(c[0]) << 18 | ValueOf(c[1]) << 12 | ValueOf(c[2]) << 6 | ValueOf(c[3]);
    bytes += static_cast<char>((v >> 16) & 0xFF);
    if (c[2] == '=') continue;
    bytes += static_cast<char>((v >> 8) & 0xFF);
    if (c[3] == '=') continue;
    bytes += static_cast<char>(v & 0xFF);
  }
  return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);

  if (input.size() % 4 != 0) {
    bool raised = false;
    try {
      xg::DecodeBase64(input);
    } catch (const xg::EDecodeError& e) {
      raised = e.Message() == "Uneven size in DecodeToStream.";
    }
    XG_FUZZ_CHECK(raised, "uneven length not refused as it should be: " + Visible(input));
  } else {
    const std::string decoded = xg::DecodeBase64(input);
    const std::string expected = DecodeByTheRules(input);
    XG_FUZZ_CHECK(decoded == expected, Visible(input) + " decoded to " + Visible(decoded) +
                                           " instead of " + Visible(expected));
  }

  const std::string encoded = xg::test::Base64Encode(input);
  XG_FUZZ_CHECK(xg::DecodeBase64(encoded) == input, "round trip through " + Visible(encoded));
  return 0;
}
