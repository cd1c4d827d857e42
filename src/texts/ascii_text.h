// Byte-text helpers limited to the ASCII range: letter and digit tests, hexadecimal digits read
// and written, case folding (A to Z and a to z only; every other byte, the ISO-8859-1 letters
// included, stays as it is), comparison without regard to that case, and the trimming of blanks
// and control characters. Names and texts that the system compares without regard to case are
// folded this way.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace xg {

constexpr bool IsAsciiLetter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

constexpr bool IsAsciiDigit(char c) {
  return c >= '0' && c <= '9';
}

// The value of a hexadecimal digit (either case), -1 for any other character.
constexpr int AsciiHexDigitValue(char c) {
  if (IsAsciiDigit(c)) return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Appends the lowest `digits` hexadecimal digits of the value, upper case, most significant first.
inline void AppendAsciiHex(uint32_t value, int digits, std::string& text) {
  constexpr char kDigits[] = "0123456789ABCDEF";
  for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4)
    text += kDigits[(value >> shift) & 0xF];
}

constexpr char AsciiToLower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

constexpr char AsciiToUpper(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

inline std::string AsciiLowerCase(std::string_view text) {
  std::string result(text);
  for (char& c : result) c = AsciiToLower(c);
  return result;
}

inline std::string AsciiUpperCase(std::string_view text) {
  std::string result(text);
  for (char& c : result) c = AsciiToUpper(c);
  return result;
}

constexpr bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (AsciiToLower(a[i]) != AsciiToLower(b[i])) return false;
  return true;
}

constexpr bool StartsWithIgnoringAsciiCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() &&
         EqualsIgnoringAsciiCase(text.substr(0, prefix.size()), prefix);
}

// The text without the blanks and control characters (the bytes 0x00 to 0x20) at either end.
constexpr std::string_view TrimBlanksAndControls(std::string_view text) {
  auto blank = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

}  // namespace xg
