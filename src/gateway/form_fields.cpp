#include "gateway/form_fields.h"

#include "texts/ascii_text.h"
#include "texts/exceptions.h"
#include "texts/format.h"
#include "texts/resource_strings.h"

namespace xg {
namespace {

XG_RESOURCE(SErrorDecodingURLText, "Error decoding URL style (%%XX) encoded string at position %d");
XG_RESOURCE(SInvalidURLEncodedChar, "Invalid URL encoded character (%s) at position %d");

// Lower case for ASCII letters and the ISO-8859-1 letters (0xC0-0xDE except the multiplication
// sign 0xD7); every other byte stays as it is.
unsigned char FoldCase(unsigned char c) {
  if (c >= 'A' && c <= 'Z') return c + ('a' - 'A');
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 0x20;
  return c;
}

bool SameText(const std::string& a, const std::string& b, size_t bLength) {
  if (a.size() != bLength) return false;
  for (size_t i = 0; i < bLength; ++i)
    if (FoldCase(static_cast<unsigned char>(a[i])) != FoldCase(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

bool IsSeparator(char c) {
  return c == '&' || c == '\r' || c == '\n' || c == '"';
}

}  // namespace

std::string FormFieldList::Values(const std::string& name) const {
  for (const std::string& entry : entries_) {
    size_t equals = entry.find('=');
    if (equals != std::string::npos && SameText(name, entry, equals))
      return entry.substr(equals + 1);
  }
  return std::string();
}

std::string UrlDecode(const std::string& text) {
  std::string result;
  result.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '+') {
      result += ' ';
    } else if (c != '%') {
      result += c;
    } else if (i + 1 < text.size() && text[i + 1] == '%') {
      result += '%';
      ++i;
    } else {
      const int64_t position = static_cast<int64_t>(i) + 1;
      if (i + 2 >= text.size())
        throw EWebException(Format(LoadResString(SErrorDecodingURLText), {position}));
      int high = AsciiHexDigitValue(text[i + 1]);
      int low = AsciiHexDigitValue(text[i + 2]);
      if (high < 0 || low < 0)
        throw EConvertError(
            Format(LoadResString(SInvalidURLEncodedChar), {text.substr(i, 3), position}));
      result += static_cast<char>(high * 16 + low);
      i += 2;
    }
  }
  return result;
}

void ParseFormFields(const std::string& body, FormFieldList& fields) {
  const size_t end = body.find('\0') == std::string::npos ? body.size() : body.find('\0');
  // The byte at a position, NUL at and beyond the end of the text.
  auto at = [&](size_t p) { return p < end ? body[p] : '\0'; };

  size_t p = 0;
  for (;;) {
    while (at(p) == '\r' || at(p) == '\n') ++p;
    size_t head = p;
    bool leadingQuote = false;
    bool inQuote = false;
    for (;;) {
      if (inQuote) {
        while (at(p) != '\0' && at(p) != '"') ++p;
      } else {
        while (at(p) != '\0' && !IsSeparator(at(p))) ++p;
      }
      if (at(p) != '"') break;
      inQuote = !inQuote;
      if (inQuote && p == head) {
        leadingQuote = true;
        head = p + 1;
      }
      if (!inQuote) break;
      ++p;
    }
    // A quote inside a field stays in it, and so does its closing quote.
    if (!leadingQuote && at(p) == '"') ++p;
    if (at(head) != '\0') fields.Add(UrlDecode(body.substr(head, p - head)));
    if (at(p) == '\0') return;
    ++p;
  }
}

}  // namespace xg
