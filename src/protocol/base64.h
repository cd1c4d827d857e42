// Base64 of the request envelope. Decoding follows the decoding table's own rules: characters
// outside the alphabet enter their group with the entry 255 (ORed, not added), a "=" counts only
// in the third or fourth place of a group, and decoding goes on after a padded group. Encoding is
// what a client does to build a request: the standard alphabet, "=" fill, no line breaks.
#pragma once

#include <string>
#include <string_view>

namespace xg {

// Raises EDecodeError "Uneven size in DecodeToStream." when the length is not a multiple of 4.
std::string DecodeBase64(const std::string& text);

// The base64 text of any bytes (NULs included): four characters for every three bytes, the last
// group filled with "=" to four characters, no line breaks.
std::string EncodeBase64(std::string_view bytes);

}  // namespace xg
