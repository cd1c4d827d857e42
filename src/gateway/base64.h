// Base64 decoding of the request envelope, with the decoding table's own rules: characters
// outside the alphabet enter their group with the entry 255 (ORed, not added), a "=" counts only
// in the third or fourth place of a group, and decoding goes on after a padded group.
#pragma once

#include <string>

namespace xg {

// Raises EDecodeError "Uneven size in DecodeToStream." when the length is not a multiple of 4.
std::string DecodeBase64(const std::string& text);

}  // namespace xg
