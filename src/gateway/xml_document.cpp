#include "gateway/xml_document.h"

#include <libxml/globals.h>
#include <libxml/parser.h>
#include <libxml/parserInternals.h>
#include <libxml/tree.h>
#include <libxml/xmlerror.h>

#include <climits>
#include <cstdarg>
#include <cstdint>
#include <new>
#include <string_view>

#include "gateway/ansi_text.h"
#include "gateway/markup_scan.h"
#include "texts/ascii_text.h"
#include "texts/exceptions.h"
#include "texts/format.h"
#include "texts/resource_strings.h"

namespace xg {
namespace {

XG_RESOURCE(SNotSingleTextNode, "Element does not contain a single text node");
XG_RESOURCE(SParseErrorLayout, "%s%s%s: %d%s%s");
XG_RESOURCE(SParseErrorLine, "Line");
XG_RESOURCE(SNotWellFormed, "The document is not well-formed");
XG_RESOURCE(STooLarge, "The document is too large");

constexpr size_t kSourceTextCharacters = 40;

// The first failure the parser reports; a fatal error outranks an earlier plain error.
struct ParseFailure {
  bool any = false;
  bool fatal = false;
  std::string message;
  int line = 0;
};

void CaptureError(void* sink, xmlErrorPtr error) {
  auto& failure = *static_cast<ParseFailure*>(sink);
  if (error == nullptr || error->level < XML_ERR_ERROR) return;
  bool fatal = error->level == XML_ERR_FATAL;
  if (failure.any && (failure.fatal || !fatal)) return;
  failure.any = true;
  failure.fatal = fatal;
  failure.message = error->message ? error->message : "";
  if (!failure.message.empty() && failure.message.back() == '\n') failure.message.pop_back();
  failure.line = error->line;
}

void IgnoreGenericError(void*, const char*, ...) {}

xmlParserInputPtr RefuseExternalEntity(const char*, const char*, xmlParserCtxtPtr) {
  return nullptr;
}

// For the length of one parse: errors go to the parse's own failure record instead of standard
// error. The handlers are the thread's global ones (libxml2 reports some failures, those of the
// encoding conversion among them, through nothing else), so the previous handlers come back
// afterwards.
class ParseScope {
 public:
  explicit ParseScope(ParseFailure& failure)
      : structured_(xmlStructuredError),
        structured_context_(xmlStructuredErrorContext),
        generic_(xmlGenericError),
        generic_context_(xmlGenericErrorContext) {
    xmlSetStructuredErrorFunc(&failure, CaptureError);
    xmlSetGenericErrorFunc(nullptr, IgnoreGenericError);
  }
  ~ParseScope() {
    xmlSetGenericErrorFunc(generic_context_, generic_);
    xmlSetStructuredErrorFunc(structured_context_, structured_);
  }
  ParseScope(const ParseScope&) = delete;
  ParseScope& operator=(const ParseScope&) = delete;

 private:
  xmlStructuredErrorFunc structured_;
  void* structured_context_;
  xmlGenericErrorFunc generic_;
  void* generic_context_;
};

struct ContextFree {
  void operator()(xmlParserCtxt* context) const {
    if (context->myDoc != nullptr) xmlFreeDoc(context->myDoc);
    context->myDoc = nullptr;
    xmlFreeParserCtxt(context);
  }
};
using ContextPtr = std::unique_ptr<xmlParserCtxt, ContextFree>;

std::string_view Chars(const xmlChar* text) {
  return text ? std::string_view(reinterpret_cast<const char*>(text)) : std::string_view();
}

// Line `line` (counted from 1) of the parser input, whose lines all end with CR LF.
std::string_view SourceLine(std::string_view input, int line) {
  if (line < 1) return {};
  size_t start = 0;
  for (int i = 1; i < line; ++i) {
    size_t end = input.find("\r\n", start);
    if (end == std::string_view::npos) return {};
    start = end + 2;
  }
  size_t end = input.find("\r\n", start);
  return input.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
}

// The first characters of the rejected line. An input read through a single-byte decoder (a
// declared ISO-8859-1 or windows-1252) is already 8-bit text; otherwise it is UTF-8.
std::string SourceText(std::string_view input, int line, bool singleByteInput) {
  std::string_view text = SourceLine(input, line);
  if (line == 1 && text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  if (singleByteInput) return std::string(text.substr(0, kSourceTextCharacters));
  return Utf8ToAnsi(text, kSourceTextCharacters);
}

[[noreturn]] void RaiseParseError(const ParseFailure& failure, std::string_view input,
                                  bool singleByteInput) {
  std::string reason = failure.any ? failure.message : LoadResString(SNotWellFormed);
  throw EDOMParseError(
      Format(LoadResString(SParseErrorLayout),
             {Utf8ToAnsi(reason), "\r\n", LoadResString(SParseErrorLine), int64_t{failure.line},
              "\r\n", SourceText(input, failure.line, singleByteInput)}));
}

bool IsWhitespaceOnly(const xmlChar* text) {
  for (const xmlChar* p = text; p && *p; ++p)
    if (*p != ' ' && *p != '\t' && *p != '\r' && *p != '\n') return false;
  return true;
}

// Whitespace-only text between and inside elements makes no node, so that it never counts as
// a child. Entity references are not entered: their children belong to the declaration.
void DropWhitespaceText(xmlNode* element) {
  for (xmlNode* child = element->children; child != nullptr;) {
    xmlNode* next = child->next;
    if (child->type == XML_TEXT_NODE && IsWhitespaceOnly(child->content)) {
      xmlUnlinkNode(child);
      xmlFreeNode(child);
    } else if (child->type == XML_ELEMENT_NODE) {
      DropWhitespaceText(child);
    }
    child = next;
  }
}

std::string_view NamespaceUri(const xmlNode* node) {
  return node->type == XML_ELEMENT_NODE && node->ns ? Chars(node->ns->href) : std::string_view();
}

std::string LocalName(const xmlNode* node) {
  switch (node->type) {
    case XML_TEXT_NODE:
      return "#text";
    case XML_CDATA_SECTION_NODE:
      return "#cdata-section";
    case XML_COMMENT_NODE:
      return "#comment";
    default:
      return Utf8ToAnsi(Chars(node->name));
  }
}

std::string QualifiedName(const xmlNode* node) {
  if (node->type == XML_ELEMENT_NODE && node->ns && node->ns->prefix)
    return Utf8ToAnsi(Chars(node->ns->prefix)) + ":" + LocalName(node);
  return LocalName(node);
}

}  // namespace

std::optional<std::string> JoinSourceLines(const std::string& text) {
  std::string_view rest(text.data(),
                        text.find('\0') == std::string::npos ? text.size() : text.find('\0'));
  if (rest.empty()) return std::nullopt;
  std::string joined;
  joined.reserve(rest.size() + 2);
  size_t start = 0;
  while (start < rest.size()) {
    size_t end = rest.find_first_of("\r\n", start);
    if (end == std::string_view::npos) end = rest.size();
    joined.append(rest.substr(start, end - start)).append("\r\n");
    start = end + 1;
    if (end < rest.size() && rest[end] == '\r' && start < rest.size() && rest[start] == '\n')
      ++start;
  }
  return joined;
}

std::string XmlNode::Name() const {
  return QualifiedName(node_);
}

std::string XmlNode::Text() const {
  switch (node_->type) {
    case XML_ELEMENT_NODE: {
      const xmlNode* child = node_->children;
      if (child == nullptr) return {};
      if (child->next == nullptr &&
          (child->type == XML_TEXT_NODE || child->type == XML_CDATA_SECTION_NODE))
        return Utf8ToAnsi(Chars(child->content));
      throw EXMLDocError(LoadResString(SNotSingleTextNode));
    }
    case XML_TEXT_NODE:
    case XML_CDATA_SECTION_NODE:
    case XML_COMMENT_NODE:
    case XML_PI_NODE:
      return Utf8ToAnsi(Chars(node_->content));
    default:
      return {};
  }
}

std::optional<XmlNode> XmlNode::FindChild(const std::string& name) const {
  std::string_view listNamespace = NamespaceUri(node_);
  for (xmlNode* child = node_->children; child != nullptr; child = child->next) {
    if (!listNamespace.empty() && !EqualsIgnoringAsciiCase(listNamespace, NamespaceUri(child)))
      continue;
    if (QualifiedName(child) == name || LocalName(child) == name) return XmlNode(child);
  }
  return std::nullopt;
}

void PrepareXmlParser() {
  static const bool prepared = [] {
    xmlInitParser();
    xmlSetExternalEntityLoader(RefuseExternalEntity);
    return true;
  }();
  (void)prepared;
}

XmlDocument::XmlDocument(const std::string& sourceText) {
  std::optional<std::string> input = JoinSourceLines(sourceText);
  if (!input) return;
  if (input->size() > INT_MAX) throw EDOMParseError(LoadResString(STooLarge));
  CheckMarkupCost(*input);

  PrepareXmlParser();
  ParseFailure failure;
  ParseScope scope(failure);
  ContextPtr context(xmlCreateMemoryParserCtxt(input->data(), static_cast<int>(input->size())));
  if (!context) throw std::bad_alloc();
  // No XML_PARSE_NOENT, no DTD loading or validation options: entity references stay
  // references, so nothing is expanded and nothing outside the text is read.
  xmlCtxtUseOptions(context.get(), XML_PARSE_NONET);
  xmlParseDocument(context.get());

  bool singleByteInput = context->input && context->input->buf && context->input->buf->encoder;
  xmlDoc* doc = context->myDoc;
  if (!context->wellFormed || !context->nsWellFormed || doc == nullptr ||
      xmlDocGetRootElement(doc) == nullptr)
    RaiseParseError(failure, *input, singleByteInput);
  context->myDoc = nullptr;
  doc_ = doc;
  // The parser marks a document without an XML declaration with standalone -1.
  has_declaration_ = doc->standalone != -1;
  DropWhitespaceText(xmlDocGetRootElement(doc));
}

XmlDocument::~XmlDocument() {
  if (doc_ != nullptr) xmlFreeDoc(doc_);
}

XmlNode XmlDocument::DocumentElement() const {
  return XmlNode(xmlDocGetRootElement(doc_));
}

std::vector<std::string> XmlDocument::TopLevelNodeNames() const {
  std::vector<std::string> names;
  if (doc_ == nullptr) return names;
  if (has_declaration_) names.push_back("xml");
  for (xmlNode* node = doc_->children; node != nullptr; node = node->next)
    names.push_back(XmlNode(node).Name());
  return names;
}

}  // namespace xg
