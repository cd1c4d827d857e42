// Conversion of the parser's UTF-8 text to the 8-bit text the system carries: the host's
// ANSI code page, windows-1252 (ISO-8859-1 with printable characters in 0x80..0x9F).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace xg {

// Characters the code page cannot represent become "?". A byte that does not start a valid
// UTF-8 sequence is taken as the 8-bit character it already is, so text of unknown origin
// (such as a source line the parser rejected) converts without loss.
// maxCharacters limits the result to the first characters of the text.
std::string Utf8ToAnsi(std::string_view utf8, size_t maxCharacters = std::string_view::npos);

}  // namespace xg
