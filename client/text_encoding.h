// The two code sets the client stands between: every text of the gateway is ISO-8859-1, while
// the client reads its arguments and files and writes its output in UTF-8.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace xg::client {

// Appends the UTF-8 bytes of a code point (at most U+10FFFF).
void AppendUtf8(uint32_t code, std::string& utf8);

// Every byte as the character of the same number, in UTF-8.
std::string Latin1ToUtf8(std::string_view latin1);

// The ISO-8859-1 bytes of a UTF-8 text. Raises ClientError (a usage error) naming `what` when the
// text is not valid UTF-8 or holds a character above U+00FF, which the gateway cannot carry.
std::string Utf8ToLatin1(std::string_view utf8, std::string_view what);

}  // namespace xg::client
