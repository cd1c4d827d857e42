// Text as markup text: "&", "<" and ">" as their character entities, and the quotation mark too
// where the text may stand inside an attribute value.
#pragma once

#include <string>
#include <string_view>

namespace xg {

enum class QuoteEscaping { kKeep, kEscape };

std::string EscapeMarkup(std::string_view text, QuoteEscaping quotes);

}  // namespace xg
