// Reads a request log line back, strictly: "key=value" pairs separated by one blank, each value
// bare (no blank, '"', '=', '\' or control byte) or quoted with the escapes \" \\ \n \r \t and
// \xHH. Values come back in ISO-8859-1, as the gateway had them: the line's UTF-8 is decoded.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace xg::test {

using LogFields = std::vector<std::pair<std::string, std::string>>;

// The pairs in line order; nothing when the line is not well-formed.
inline std::optional<LogFields> ReadLogLine(std::string_view line) {
  auto hex = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
  };
  auto control = [](unsigned char c) { return c < 0x20 || c == 0x7F; };
  LogFields fields;
  size_t at = 0;
  while (at < line.size()) {
    if (!fields.empty()) {
      if (line[at] != ' ') return std::nullopt;
      ++at;
    }
    const size_t equals = line.find('=', at);
    if (equals == std::string_view::npos || equals == at) return std::nullopt;
    std::string key(line.substr(at, equals - at));
    for (const char c : key)
      if (!((c >= 'a' && c <= 'z') || c == '_')) return std::nullopt;
    at = equals + 1;
    std::string value;
    if (at < line.size() && line[at] == '"') {
      ++at;
      for (;;) {
        if (at >= line.size()) return std::nullopt;
        const char c = line[at++];
        if (c == '"') break;
        if (control(static_cast<unsigned char>(c))) return std::nullopt;
        if (c != '\\') {
          value += c;
          continue;
        }
        if (at >= line.size()) return std::nullopt;
        const char escaped = line[at++];
        switch (escaped) {
          case '"':
          case '\\':
            value += escaped;
            break;
          case 'n':
            value += '\n';
            break;
          case 'r':
            value += '\r';
            break;
          case 't':
            value += '\t';
            break;
          case 'x': {
            if (at + 2 > line.size() || hex(line[at]) < 0 || hex(line[at + 1]) < 0)
              return std::nullopt;
            value += static_cast<char>(hex(line[at]) * 16 + hex(line[at + 1]));
            at += 2;
            break;
          }
          default:
            return std::nullopt;
        }
      }
    } else {
      const size_t end = std::min(line.find(' ', at), line.size());
      value = std::string(line.substr(at, end - at));
      if (value.empty()) return std::nullopt;
      for (const char c : value)
        if (c == '"' || c == '=' || c == '\\' || control(static_cast<unsigned char>(c)))
          return std::nullopt;
      at = end;
    }
    // UTF-8 of ISO-8859-1 back to its bytes; a raw byte from an \xHH escape stays as it is.
    std::string latin1;
    for (size_t i = 0; i < value.size(); ++i) {
      const unsigned char c = static_cast<unsigned char>(value[i]);
      if ((c == 0xC2 || c == 0xC3) && i + 1 < value.size() &&
          (static_cast<unsigned char>(value[i + 1]) & 0xC0) == 0x80) {
        latin1 += static_cast<char>(((c & 0x03) << 6) | (value[i + 1] & 0x3F));
        ++i;
      } else {
        latin1 += value[i];
      }
    }
    fields.emplace_back(std::move(key), std::move(latin1));
  }
  return fields;
}

// The keys in line order.
inline std::vector<std::string> LogKeys(const LogFields& fields) {
  std::vector<std::string> keys;
  for (const auto& field : fields) keys.push_back(field.first);
  return keys;
}

// The value of the key; nothing when the line lacks it.
inline std::optional<std::string> LogValue(const LogFields& fields, std::string_view key) {
  for (const auto& field : fields)
    if (field.first == key) return field.second;
  return std::nullopt;
}

}  // namespace xg::test
