// The pattern an action item matches the request's path info against: "*" any run of bytes,
// "?" any one byte, "[abc]", "[a-z]" and "[!a-z]" one byte of (or not of) a set, every other
// byte itself. Letters compare without regard to ASCII case. A "[" without its "]" is itself.
#pragma once

#include <bitset>
#include <string>
#include <vector>

namespace xg {

class PathMask {
 public:
  PathMask() = default;
  explicit PathMask(const std::string& pattern);
  // Whether the whole text matches the whole pattern.
  bool Matches(const std::string& text) const;

 private:
  struct Token {
    enum Kind { kByte, kAnyByte, kAnyRun } kind;
    std::bitset<256> accepted;  // kByte: the bytes this place accepts
  };
  std::vector<Token> tokens_;
};

}  // namespace xg
