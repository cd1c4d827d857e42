#include "host/path_mask.h"

#include "runtime/ascii_text.h"

namespace xg {
namespace {

void Accept(std::bitset<256>& set, unsigned char c) {
  set.set(static_cast<unsigned char>(AsciiToLower(static_cast<char>(c))));
  set.set(static_cast<unsigned char>(AsciiToUpper(static_cast<char>(c))));
}

// Reads the set that starts at pattern[at] == '['; returns the position after its "]", or 0 when
// the set is not closed.
size_t ReadSet(const std::string& pattern, size_t at, std::bitset<256>& set) {
  size_t p = at + 1;
  bool negate = p < pattern.size() && pattern[p] == '!';
  if (negate) ++p;
  std::bitset<256> members;
  while (p < pattern.size() && pattern[p] != ']') {
    unsigned char first = pattern[p];
    if (p + 2 < pattern.size() && pattern[p + 1] == '-' && pattern[p + 2] != ']') {
      unsigned char last = pattern[p + 2];
      for (unsigned c = first; c <= last; ++c) Accept(members, static_cast<unsigned char>(c));
      p += 3;
    } else {
      Accept(members, first);
      ++p;
    }
  }
  if (p >= pattern.size()) return 0;
  set = negate ? ~members : members;
  return p + 1;
}

}  // namespace

PathMask::PathMask(const std::string& pattern) {
  for (size_t at = 0; at < pattern.size();) {
    const char c = pattern[at];
    if (c == '*') {
      if (tokens_.empty() || tokens_.back().kind != Token::kAnyRun)
        tokens_.push_back({Token::kAnyRun, {}});
      ++at;
    } else if (c == '?') {
      tokens_.push_back({Token::kAnyByte, {}});
      ++at;
    } else {
      Token token{Token::kByte, {}};
      size_t next = c == '[' ? ReadSet(pattern, at, token.accepted) : 0;
      if (next == 0) {
        Accept(token.accepted, static_cast<unsigned char>(c));
        next = at + 1;
      }
      tokens_.push_back(token);
      at = next;
    }
  }
}

bool PathMask::Matches(const std::string& text) const {
  // Greedy matching that backtracks to the last "*" only: enough for patterns without nested
  // alternatives, and linear in practice.
  size_t t = 0, k = 0;
  size_t starToken = std::string::npos, starText = 0;
  while (t < text.size()) {
    if (k < tokens_.size() && tokens_[k].kind == Token::kAnyRun) {
      starToken = k++;
      starText = t;
    } else if (k < tokens_.size() &&
               (tokens_[k].kind == Token::kAnyByte ||
                tokens_[k].accepted.test(static_cast<unsigned char>(text[t])))) {
      ++k;
      ++t;
    } else if (starToken != std::string::npos) {
      k = starToken + 1;
      t = ++starText;
    } else {
      return false;
    }
  }
  while (k < tokens_.size() && tokens_[k].kind == Token::kAnyRun) ++k;
  return k == tokens_.size();
}

}  // namespace xg
