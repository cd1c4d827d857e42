// Fuzz target: the form body of a request, split into fields and URL-decoded.
//
// The input is the body. Checked for every input:
// - UrlDecode of the whole input either succeeds with a result no longer than the input, or
//   fails at a "%" that is truly malformed: EWebException when fewer than two bytes follow it,
//   EConvertError naming the three bytes when they are not hexadecimal, with the exact message
//   and the 1-based position of that "%", everything before it decoding cleanly;
// - percent-encoding the input byte by byte and decoding it again gives the input back;
// - ParseFormFields gives the fields that the splitting rules give (a model of the rules
//   below, written step by step), each decoded, in order; a field that fails to decode leaves
//   exactly the fields before it in the list and raises the failure of that field;
// - Values of a name never answers from an entry later than the first entry with that name.
//
// Bodies are limited to 1024 bytes (scripts/fuzz.sh): every state of the splitting and the
// decoding is reached within far fewer.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "gateway/form_fields.h"
#include "texts/exceptions.h"

namespace {

using xg::fuzz::Visible;

bool IsHex(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// The failure of a decoding, if any: class name and message.
struct DecodeFailure {
  std::string className;
  std::string message;
};

std::optional<DecodeFailure> TryDecode(const std::string& text, std::string* result) {
  try {
    std::string decoded = xg::UrlDecode(text);
    if (result) *result = std::move(decoded);
    return std::nullopt;
  } catch (const xg::EWebException& e) {
    return DecodeFailure{e.ClassName(), e.Message()};
  } catch (const xg::EConvertError& e) {
    return DecodeFailure{e.ClassName(), e.Message()};
  }
}

// The 1-based position a decoding failure reports: the number after "at position ".
size_t ReportedPosition(const std::string& message) {
  const std::string marker = " at position ";
  const size_t at = message.rfind(marker);
  XG_FUZZ_CHECK(at != std::string::npos, "no position in: " + Visible(message));
  size_t position = 0;
  for (size_t i = at + marker.size(); i < message.size(); ++i) {
    XG_FUZZ_CHECK(message[i] >= '0' && message[i] <= '9', "position: " + Visible(message));
    position = position * 10 + static_cast<size_t>(message[i] - '0');
  }
  return position;
}

void CheckUrlDecode(const std::string& text) {
  std::string decoded;
  const std::optional<DecodeFailure> failure = TryDecode(text, &decoded);
  if (!failure) {
    XG_FUZZ_CHECK(decoded.size() <= text.size(), "decoded text grew: " + Visible(text));
    if (text.find('%') == std::string::npos) {
      std::string plain = text;
      for (char& c : plain)
        if (c == '+') c = ' ';
      XG_FUZZ_CHECK(decoded == plain, "text without escapes: " + Visible(text));
    }
    return;
  }
  const size_t position = ReportedPosition(failure->message);
  XG_FUZZ_CHECK(position >= 1 && position <= text.size() && text[position - 1] == '%',
                "position " + std::to_string(position) + " is no percent sign in " + Visible(text));
  // Everything before the failing escape decodes: the failure is the first one.
  XG_FUZZ_CHECK(!TryDecode(text.substr(0, position - 1), nullptr),
                "an earlier escape fails too: " + Visible(text));
  const size_t following = text.size() - position;
  XG_FUZZ_CHECK(following == 0 || text[position] != '%',
                "a doubled percent sign was refused: " + Visible(text));
  const std::string where = " at position " + std::to_string(position);
  if (following < 2) {
    XG_FUZZ_CHECK(failure->className == "EWebException" &&
                      failure->message == "Error decoding URL style (%XX) encoded string" + where,
                  "cut escape: " + failure->className + " " + Visible(failure->message));
  } else {
    const char high = text[position], low = text[position + 1];
    XG_FUZZ_CHECK(high != '%' && !(IsHex(high) && IsHex(low)),
                  "a valid escape was refused: " + Visible(text));
    XG_FUZZ_CHECK(failure->className == "EConvertError" &&
                      failure->message == "Invalid URL encoded character (" +
                                              text.substr(position - 1, 3) + ")" + where,
                  "bad escape: " + failure->className + " " + Visible(failure->message));
  }
}

// Every byte percent-encoded (letters and digits kept, a blank as "+", hexadecimal digits in
// both cases): decoding gives the bytes back.
void CheckEncodingRoundTrip(const std::string& bytes) {
  static const char kUpper[] = "0123456789ABCDEF";
  static const char kLower[] = "0123456789abcdef";
  std::string encoded;
  for (size_t i = 0; i < bytes.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(bytes[i]);
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) {
      encoded += static_cast<char>(c);
    } else if (c == ' ') {
      encoded += '+';
    } else {
      const char* hex = i % 2 == 0 ? kUpper : kLower;
      encoded += '%';
      encoded += hex[c >> 4];
      encoded += hex[c & 0x0F];
    }
  }
  std::string decoded;
  XG_FUZZ_CHECK(!TryDecode(encoded, &decoded) && decoded == bytes,
                "round trip of " + Visible(bytes) + " through " + Visible(encoded));
}

// The raw fields of a body by the splitting rules, step by step: the text ends at its first
// NUL; separators are "&", CR, LF and the double quote; CR and LF are skipped at a field's
// start; a quote opens and closes a quoted run; a leading quote is dropped with the closing
// one; a quote inside a field is kept with its partner and the byte after it is skipped.
std::vector<std::string> SplitFields(const std::string& body) {
  const std::string text = body.substr(0, body.find('\0'));
  auto byte = [&](size_t i) { return i < text.size() ? text[i] : '\0'; };
  auto separator = [](char c) { return c == '&' || c == '\r' || c == '\n' || c == '"'; };
  std::vector<std::string> fields;
  size_t pos = 0;
  for (;;) {
    while (byte(pos) == '\r' || byte(pos) == '\n') ++pos;  // step 1
    size_t head = pos;
    bool leadingQuote = false, quoteOpen = false;
    for (;;) {
      if (quoteOpen)  // step 2
        while (byte(pos) != '\0' && byte(pos) != '"') ++pos;
      else
        while (byte(pos) != '\0' && !separator(byte(pos))) ++pos;
      if (byte(pos) != '"') break;  // step 3
      if (quoteOpen) {
        quoteOpen = false;
      } else {
        quoteOpen = true;
        if (pos == head) {
          leadingQuote = true;
          head = pos + 1;
        }
      }
      if (!quoteOpen) break;
      ++pos;
    }
    if (!leadingQuote && byte(pos) == '"') ++pos;                             // step 4
    if (byte(head) != '\0') fields.push_back(text.substr(head, pos - head));  // step 5
    if (byte(pos) == '\0') return fields;                                     // step 6
    ++pos;
  }
}

void CheckFormFields(const std::string& body) {
  xg::FormFieldList list;
  std::optional<DecodeFailure> failure;
  try {
    xg::ParseFormFields(body, list);
  } catch (const xg::EWebException& e) {
    failure = DecodeFailure{e.ClassName(), e.Message()};
  } catch (const xg::EConvertError& e) {
    failure = DecodeFailure{e.ClassName(), e.Message()};
  }

  const std::vector<std::string> raw = SplitFields(body);
  size_t expectedCount = raw.size();
  std::optional<DecodeFailure> expectedFailure;
  for (size_t i = 0; i < raw.size() && !expectedFailure; ++i) {
    std::string decoded;
    expectedFailure = TryDecode(raw[i], &decoded);
    if (expectedFailure) {
      expectedCount = i;
      break;
    }
    XG_FUZZ_CHECK(
        i < list.Count() && list[i] == decoded,
        "field " + std::to_string(i) + " should be " + Visible(decoded) + " in " + Visible(body));
  }
  XG_FUZZ_CHECK(list.Count() == expectedCount,
                std::to_string(list.Count()) + " fields instead of " +
                    std::to_string(expectedCount) + " in " + Visible(body));
  XG_FUZZ_CHECK(failure.has_value() == expectedFailure.has_value(),
                "failure raised or missed: " + Visible(body));
  if (failure)
    XG_FUZZ_CHECK(failure->className == expectedFailure->className &&
                      failure->message == expectedFailure->message,
                  Visible(failure->message) + " instead of " + Visible(expectedFailure->message));

  // The first entry whose name is the same answers: never a later one. The first 64 entries
  // are asked for, which keeps the check linear in the body.
  for (size_t i = 0; i < list.Count() && i < 64; ++i) {
    const size_t equals = list[i].find('=');
    if (equals == std::string::npos) continue;
    const std::string value = list.Values(list[i].substr(0, equals));
    bool fromEarlierEntry = false;
    for (size_t k = 0; k <= i && !fromEarlierEntry; ++k) {
      const size_t e = list[k].find('=');
      fromEarlierEntry =
          e != std::string::npos && list[k].compare(e + 1, std::string::npos, value) == 0;
    }
    XG_FUZZ_CHECK(fromEarlierEntry, "Values answered " + Visible(value) + " for entry " +
                                        std::to_string(i) + " of " + Visible(body));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  CheckUrlDecode(input);
  CheckEncodingRoundTrip(input);
  CheckFormFields(input);
  return 0;
}
