// Building the bodies a client posts: base64 of a request document, percent-encoded into the
// SENDDATA form field.
#pragma once

#include <cstdint>
#include <string>

namespace xg::test {

inline std::string Base64Encode(const std::string& bytes) {
  static const char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string text;
  for (size_t i = 0; i < bytes.size(); i += 3) {
    uint32_t v = static_cast<uint8_t>(bytes[i]) << 16;
    if (i + 1 < bytes.size()) v |= static_cast<uint8_t>(bytes[i + 1]) << 8;
    if (i + 2 < bytes.size()) v |= static_cast<uint8_t>(bytes[i + 2]);
    text += kAlphabet[(v >> 18) & 63];
    text += kAlphabet[(v >> 12) & 63];
    text += i + 1 < bytes.size() ? kAlphabet[(v >> 6) & 63] : '=';
    text += i + 2 < bytes.size() ? kAlphabet[v & 63] : '=';
  }
  return text;
}

// Percent-encodes every byte outside letters, digits and "-_.~".
inline std::string UrlEncode(const std::string& text) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string encoded;
  for (unsigned char c : text) {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
        c == '_' || c == '.' || c == '~') {
      encoded += static_cast<char>(c);
    } else {
      encoded += '%';
      encoded += kHex[c >> 4];
      encoded += kHex[c & 15];
    }
  }
  return encoded;
}

// "SENDDATA=" and the request document, base64 and percent-encoded.
inline std::string SendDataBody(const std::string& document) {
  return "SENDDATA=" + UrlEncode(Base64Encode(document));
}

// The body of a request to one of the SQL services: the password and the statement in base64.
inline std::string SqlServiceBody(const std::string& service, const std::string& db,
                                  const std::string& user, const std::string& password,
                                  const std::string& sql) {
  return SendDataBody("<?xml version=\"1.0\"?><SENDDATA><SERVICE>" + service + "</SERVICE><DB>" +
                      db + "</DB><USER>" + user + "</USER><PASS>" + Base64Encode(password) +
                      "</PASS><SQL>" + Base64Encode(sql) + "</SQL></SENDDATA>");
}

}  // namespace xg::test
