#include "texts/markup_escape.h"

namespace xg {

std::string EscapeMarkup(std::string_view text, QuoteEscaping quotes) {
  std::string escaped;
  escaped.reserve(text.size());
  for (const char c : text) {
    switch (c) {
      case '&':
        escaped += "&amp;";
        break;
      case '<':
        escaped += "&lt;";
        break;
      case '>':
        escaped += "&gt;";
        break;
      case '"':
        escaped += quotes == QuoteEscaping::kEscape ? "&quot;" : "\"";
        break;
      default:
        escaped += c;
    }
  }
  return escaped;
}

}  // namespace xg
