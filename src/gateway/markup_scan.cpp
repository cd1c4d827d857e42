#include "gateway/markup_scan.h"

#include <string>

#include "texts/exceptions.h"
#include "texts/format.h"
#include "texts/resource_strings.h"

namespace xg {
namespace {

XG_RESOURCE(STooManyAttributes, "An element of the document could have more than %d attributes");
XG_RESOURCE(SEncodingNotAccepted, "The document's encoding is not accepted: %s");
XG_RESOURCE(SParameterEntities, "The document type declaration uses parameter entities");
XG_RESOURCE(STooManyNames,
            "The document holds more than %d tags, attributes, declarations and references");

[[noreturn]] void RefuseAttributes() {
  throw EDOMParseError(
      Format(LoadResString(STooManyAttributes), {int64_t{kMaxAttributesPerElement}}));
}

bool IsNameStart(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == ':' || c >= 0x80;
}

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Encodings whose bytes below 128 are always the ASCII characters: the name upper-cased with
// "-" and "_" dropped.
bool IsAcceptedEncoding(std::string_view name) {
  std::string folded;
  for (char c : name) {
    if (c == '-' || c == '_') continue;
    folded += (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
  }
  if (folded == "UTF8" || folded == "USASCII" || folded == "ASCII" || folded == "LATIN1")
    return true;
  auto numbered = [&](std::string_view prefix, int low, int high) {
    if (folded.compare(0, prefix.size(), prefix) != 0) return false;
    const std::string number = folded.substr(prefix.size());
    if (number.empty() || number.size() > 2 || number[0] == '0') return false;
    for (char c : number)
      if (c < '0' || c > '9') return false;
    const int value = std::stoi(number);
    return value >= low && value <= high;
  };
  return numbered("ISO8859", 1, 16) || numbered("WINDOWS125", 0, 8) || numbered("CP125", 0, 8);
}

// The encoding declared by the XML declaration at the start of the document, if any.
std::string_view DeclaredEncoding(std::string_view text) {
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  if (text.substr(0, 5) != "<?xml" || text.size() < 6 || !IsBlank(text[5])) return {};
  text = text.substr(0, text.find("?>"));
  size_t at = text.find("encoding");
  if (at == std::string_view::npos) return {};
  at += 8;
  while (at < text.size() && IsBlank(text[at])) ++at;
  if (at >= text.size() || text[at] != '=') return {};
  ++at;
  while (at < text.size() && IsBlank(text[at])) ++at;
  if (at >= text.size() || (text[at] != '"' && text[at] != '\'')) return {};
  const size_t end = text.find(text[at], at + 1);
  if (end == std::string_view::npos) return {};
  return text.substr(at + 1, end - at - 1);
}

void CheckEncoding(std::string_view text) {
  // "<?xm" in EBCDIC: the parser would read every byte differently.
  if (text.substr(0, 4) == "\x4C\x6F\xA7\x94")
    throw EDOMParseError(Format(LoadResString(SEncodingNotAccepted), {std::string("EBCDIC")}));
  const std::string_view encoding = DeclaredEncoding(text);
  if (!encoding.empty() && !IsAcceptedEncoding(encoding))
    throw EDOMParseError(Format(LoadResString(SEncodingNotAccepted), {std::string(encoding)}));
}

class Scanner {
 public:
  explicit Scanner(std::string_view text) : text_(text) {}

  void Run() {
    while (at_ < text_.size()) {
      if (text_[at_] == '&') CountName();
      if (text_[at_] != '<') {
        ++at_;
      } else if (Starts("<!--")) {
        SkipPast("-->", 4);
      } else if (Starts("<![CDATA[")) {
        SkipPast("]]>", 9);
      } else if (Starts("<?")) {
        SkipPast("?>", 2);
      } else if (Starts("<!DOCTYPE")) {
        DocumentType();
      } else if (at_ + 1 < text_.size() && IsNameStart(text_[at_ + 1])) {
        CountName();
        StartTag();
      } else {
        CountName();
        ++at_;
      }
    }
  }

 private:
  void CountName() {
    if (++names_ > kMaxMarkupNames)
      throw EDOMParseError(Format(LoadResString(STooManyNames), {int64_t{kMaxMarkupNames}}));
  }

  bool Starts(std::string_view prefix) const { return text_.substr(at_, prefix.size()) == prefix; }

  void SkipPast(std::string_view end, size_t from) {
    const size_t found = text_.find(end, at_ + from);
    at_ = found == std::string_view::npos ? text_.size() : found + end.size();
  }

  // From "<" + name to the ">" outside quoted values. A "<" ends it in any case: it cannot stand
  // in a tag, and a scan that misread a quote must not carry its state into the next tag.
  void StartTag() {
    int equals = 0;
    char quote = 0;
    for (++at_; at_ < text_.size(); ++at_) {
      const char c = text_[at_];
      if (c == '<') return;
      if (quote) {
        if (c == quote) quote = 0;
        if (c == '&') CountName();
      } else if (c == '"' || c == '\'') {
        quote = c;
      } else if (c == '=') {
        CountName();
        if (++equals > kMaxAttributesPerElement) RefuseAttributes();
      } else if (c == '>') {
        ++at_;
        return;
      }
    }
  }

  // "<!DOCTYPE", its name and external identifier, then an internal subset in brackets.
  void DocumentType() {
    char quote = 0;
    for (at_ += 9; at_ < text_.size(); ++at_) {
      const char c = text_[at_];
      if (quote) {
        if (c == quote) quote = 0;
      } else if (c == '"' || c == '\'') {
        quote = c;
      } else if (c == '>') {
        ++at_;
        return;
      } else if (c == '[') {
        ++at_;
        InternalSubset();
        return;
      }
    }
  }

  void InternalSubset() {
    while (at_ < text_.size()) {
      const char c = text_[at_];
      if (c == ']') {
        ++at_;
        return;
      } else if (c == '%') {
        throw EDOMParseError(LoadResString(SParameterEntities));
      } else if (Starts("<!--")) {
        SkipPast("-->", 4);
      } else if (Starts("<?")) {
        SkipPast("?>", 2);
      } else if (Starts("<!")) {
        CountName();
        Declaration();
      } else {
        ++at_;
      }
    }
  }

  // A markup declaration up to its ">" outside quoted strings. In an attribute list every quoted
  // string is a default value; in an entity declaration a quoted string is the entity's text.
  void Declaration() {
    const bool attributeList = Starts("<!ATTLIST");
    const bool entity = Starts("<!ENTITY");
    char quote = 0;
    int markup = 0;
    for (at_ += 2; at_ < text_.size(); ++at_) {
      const char c = text_[at_];
      if (c == '%') throw EDOMParseError(LoadResString(SParameterEntities));
      if (quote) {
        if (c == quote) {
          quote = 0;
        } else if (entity && (c == '=' || (c == '&' && Starts("&#")))) {
          if (++markup > kMaxAttributesPerElement) RefuseAttributes();
        }
        if (c == '&' || c == '<') CountName();
      } else if (c == '"' || c == '\'') {
        quote = c;
        markup = 0;
        if (attributeList && ++defaults_ > kMaxAttributesPerElement) RefuseAttributes();
      } else if (c == '>') {
        ++at_;
        return;
      }
    }
  }

  std::string_view text_;
  size_t at_ = 0;
  int defaults_ = 0;
  int names_ = 0;
};

}  // namespace

void CheckMarkupCost(std::string_view document) {
  CheckEncoding(document);
  Scanner(document).Run();
}

}  // namespace xg
