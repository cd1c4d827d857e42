#include "answer_parser.h"

#include <libxml/parser.h>
#include <libxml/tree.h>

#include <charconv>
#include <climits>
#include <memory>
#include <optional>
#include <string_view>

#include "client_error.h"
#include "text_encoding.h"

namespace xg::client {
namespace {

constexpr char kDataType[] = "DATATYPE";

struct DocumentDeleter {
  void operator()(xmlDoc* doc) const { xmlFreeDoc(doc); }
};

std::string Text(const xmlChar* text) {
  return text ? reinterpret_cast<const char*>(text) : "";
}

std::optional<std::string> Attribute(const xmlNode* node, const char* name) {
  xmlChar* value = xmlGetProp(node, reinterpret_cast<const xmlChar*>(name));
  if (!value) return std::nullopt;
  std::string text = Text(value);
  xmlFree(value);
  return text;
}

bool IsBlankText(const xmlNode* node) {
  if (node->type != XML_TEXT_NODE) return false;
  for (const xmlChar* c = node->content; c && *c; ++c)
    if (*c != ' ' && *c != '\t' && *c != '\r' && *c != '\n') return false;
  return true;
}

// A value element: a DATATYPE attribute and nothing inside but text.
std::optional<AnswerValue> ReadValue(const xmlNode* element) {
  std::optional<std::string> kind = Attribute(element, kDataType);
  if (!kind) return std::nullopt;
  AnswerValue value{Text(element->name), *kind, ""};
  for (const xmlNode* child = element->children; child; child = child->next) {
    if (child->type != XML_TEXT_NODE && child->type != XML_CDATA_SECTION_NODE) return std::nullopt;
    value.text += Text(child->content);
  }
  return value;
}

// The element children of `parent`, with nothing else beside them but blank text, comments and
// processing instructions.
std::optional<std::vector<const xmlNode*>> Elements(const xmlNode* parent) {
  std::vector<const xmlNode*> elements;
  for (const xmlNode* child = parent->children; child; child = child->next) {
    if (child->type == XML_ELEMENT_NODE) {
      elements.push_back(child);
    } else if (child->type != XML_COMMENT_NODE && child->type != XML_PI_NODE &&
               !IsBlankText(child)) {
      return std::nullopt;
    }
  }
  return elements;
}

// The answer through libxml2 (no network, no DTD, no entity substitution), or nothing when the
// document is not well-formed or not of the answer's shape.
std::optional<Answer> ReadWellFormed(const std::string& document) {
  if (document.size() > INT_MAX) return std::nullopt;
  const std::unique_ptr<xmlDoc, DocumentDeleter> doc(
      xmlReadMemory(document.data(), static_cast<int>(document.size()), nullptr, nullptr,
                    XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING));
  if (!doc || doc->intSubset || doc->extSubset) return std::nullopt;
  const xmlNode* root = xmlDocGetRootElement(doc.get());
  if (!root) return std::nullopt;
  Answer answer;
  answer.root = Text(root->name);
  for (const xmlAttr* attribute = root->properties; attribute; attribute = attribute->next) {
    std::optional<std::string> value =
        Attribute(root, reinterpret_cast<const char*>(attribute->name));
    answer.attributes[Text(attribute->name)] = value.value_or("");
  }
  const auto elements = Elements(root);
  if (!elements) return std::nullopt;
  for (const xmlNode* element : *elements) {
    if (xmlHasProp(element, reinterpret_cast<const xmlChar*>(kDataType))) {
      std::optional<AnswerValue> value = ReadValue(element);
      if (!value) return std::nullopt;
      answer.values.push_back(std::move(*value));
      continue;
    }
    AnswerGroup group{Text(element->name), {}};
    const auto members = Elements(element);
    if (!members) return std::nullopt;
    for (const xmlNode* member : *members) {
      std::optional<AnswerValue> value = ReadValue(member);
      if (!value) return std::nullopt;
      group.values.push_back(std::move(*value));
    }
    answer.groups.push_back(std::move(group));
  }
  return answer;
}

// The answer read by its lines, for documents whose values a gateway of an earlier version wrote
// unescaped.
class LineReader {
 public:
  explicit LineReader(std::string_view text) : text_(text) {}

  Answer Read() {
    Answer answer;
    Expect("<?xml");
    const size_t declaration_end = text_.find("?>", pos_);
    if (declaration_end == std::string_view::npos) Fail("the XML declaration does not end");
    pos_ = declaration_end + 2;
    ExpectLineEnd();
    Tag root = ReadTag();
    ExpectLineEnd();
    answer.root = Latin1ToUtf8(root.name);
    answer.attributes = std::move(root.attributes);
    for (;;) {
      if (pos_ == text_.size()) Fail("the document ends before </" + answer.root + ">");
      if (At(" <")) {
        answer.values.push_back(ReadValueLine());
      } else if (At("</")) {
        Expect("</" + root.name + ">");
        ExpectLineEnd();
        break;
      } else if (At("<")) {
        Tag tag = ReadTag();
        ExpectLineEnd();
        AnswerGroup group{Latin1ToUtf8(tag.name), {}};
        while (At(" <")) group.values.push_back(ReadValueLine());
        Expect("</" + tag.name + ">");
        ExpectLineEnd();
        answer.groups.push_back(std::move(group));
      } else {
        Fail("expected a tag or a value line");
      }
    }
    if (pos_ != text_.size()) Fail("more text after the closing tag of " + answer.root);
    return answer;
  }

 private:
  struct Tag {
    std::string name;                               // ISO-8859-1, as written
    std::map<std::string, std::string> attributes;  // UTF-8
  };

  [[noreturn]] void Fail(const std::string& what) const {
    size_t line = 1;
    for (size_t i = 0; i < pos_ && i < text_.size(); ++i)
      if (text_[i] == '\n') ++line;
    throw ClientError(ExitCode::kAnswer,
                      "not a gateway answer: line " + std::to_string(line) + ": " + what);
  }

  bool At(std::string_view expected) const { return text_.substr(pos_).starts_with(expected); }

  void Expect(std::string_view expected) {
    if (!At(expected)) {
      Fail(pos_ == text_.size() ? "the document ends before " + std::string(expected)
                                : "expected " + Latin1ToUtf8(expected));
    }
    pos_ += expected.size();
  }

  // Line ends are CR LF; a bare LF is taken too.
  static size_t LineEndLength(std::string_view rest) {
    return rest.starts_with("\r\n") ? 2 : rest.starts_with("\n") ? 1 : 0;
  }

  void ExpectLineEnd() {
    const size_t length = LineEndLength(text_.substr(pos_));
    if (length == 0) Fail("expected the end of the line");
    pos_ += length;
  }

  std::string ReadName() {
    const size_t end = text_.find_first_of(" \t\r\n<>/=\"", pos_);
    const size_t stop = end == std::string_view::npos ? text_.size() : end;
    if (stop == pos_) Fail("expected a name");
    std::string name(text_.substr(pos_, stop - pos_));
    pos_ = stop;
    return name;
  }

  // "<NAME", then ` ATTRIBUTE="value"` any number of times, then ">".
  Tag ReadTag() {
    Expect("<");
    Tag tag{ReadName(), {}};
    while (At(" ")) {
      ++pos_;
      const std::string name = Latin1ToUtf8(ReadName());
      Expect("=\"");
      const size_t end = text_.find('"', pos_);
      if (end == std::string_view::npos) Fail("the value of " + name + " does not end");
      tag.attributes[name] = DecodeValueText(text_.substr(pos_, end - pos_));
      pos_ = end + 1;
    }
    Expect(">");
    return tag;
  }

  // ` <NAME DATATYPE="KIND"...>text</NAME>` and the line end. The text runs to the first closing
  // tag of the element that ends a line and is followed by the next line of the document (a
  // tag or a value line) or by the end; it may hold line breaks of its own.
  AnswerValue ReadValueLine() {
    Expect(" ");
    Tag tag = ReadTag();
    const auto kind = tag.attributes.find(kDataType);
    const std::string name = Latin1ToUtf8(tag.name);
    if (kind == tag.attributes.end()) Fail(name + " has no " + kDataType);
    const std::string end_tag = "</" + tag.name + ">";
    for (size_t end = text_.find(end_tag, pos_); end != std::string_view::npos;
         end = text_.find(end_tag, end + 1)) {
      const std::string_view after = text_.substr(end + end_tag.size());
      const size_t line_end = LineEndLength(after);
      if (line_end == 0) continue;
      const std::string_view next = after.substr(line_end);
      if (!next.empty() && !next.starts_with("<") && !next.starts_with(" <")) continue;
      AnswerValue value{name, kind->second, DecodeValueText(text_.substr(pos_, end - pos_))};
      pos_ = end + end_tag.size() + line_end;
      return value;
    }
    Fail("the value of " + name + " does not end");
  }

  std::string_view text_;
  size_t pos_ = 0;
};

}  // namespace

std::string DecodeValueText(std::string_view latin1) {
  std::string utf8;
  utf8.reserve(latin1.size());
  for (size_t i = 0; i < latin1.size(); ++i) {
    // Line breaks as an XML parser reads them: CR LF and a lone CR are one LF.
    if (latin1[i] == '\r') {
      if (i + 1 < latin1.size() && latin1[i + 1] == '\n') ++i;
      utf8 += '\n';
      continue;
    }
    if (latin1[i] == '&') {
      const size_t semicolon = latin1.find(';', i);
      if (semicolon != std::string_view::npos && semicolon - i <= 10) {
        const std::string_view name = latin1.substr(i + 1, semicolon - i - 1);
        std::optional<uint32_t> code;
        if (name == "amp")
          code = '&';
        else if (name == "lt")
          code = '<';
        else if (name == "gt")
          code = '>';
        else if (name == "quot")
          code = '"';
        else if (name == "apos")
          code = '\'';
        else if (name.size() > 1 && name[0] == '#') {
          const bool hex = name[1] == 'x';
          const std::string_view digits = name.substr(hex ? 2 : 1);
          uint32_t number = 0;
          const auto [end, error] =
              std::from_chars(digits.data(), digits.data() + digits.size(), number, hex ? 16 : 10);
          if (!digits.empty() && error == std::errc() && end == digits.data() + digits.size() &&
              number > 0 && number <= 0x10FFFF && !(number >= 0xD800 && number <= 0xDFFF))
            code = number;
        }
        if (code) {
          AppendUtf8(*code, utf8);
          i = semicolon;
          continue;
        }
      }
    }
    AppendUtf8(static_cast<uint8_t>(latin1[i]), utf8);
  }
  return utf8;
}

Answer ParseAnswer(const std::string& document) {
  if (std::optional<Answer> answer = ReadWellFormed(document)) return std::move(*answer);
  return LineReader(document).Read();
}

}  // namespace xg::client
