// Conversion of the host's texts (locale names, patterns, designators) from the code set the
// host writes them in to ISO-8859-1, the code set of every text of this system.
#pragma once

#include <string>
#include <string_view>

namespace xg {

// A character that ISO-8859-1 lacks becomes "?", except the no-break spaces (U+2007, U+202F),
// which become its no-break space 0xA0, and the other typographic spaces, which become a space.
// A byte sequence that is not valid in the code set becomes one "?". An unknown code set keeps
// the ASCII bytes and turns every other byte into "?".
std::string ToLatin1(std::string_view text, const char* code_set);

}  // namespace xg
