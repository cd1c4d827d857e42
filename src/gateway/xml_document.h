// The request document as the XML parser reads it: the source text under the loading rules
// (cut at the first NUL, line breaks made CR LF), parsed by libxml2 with no network access, no
// DTD loading, no entity substitution and no validation, whitespace-only text nodes dropped.
// Names and texts come back as 8-bit windows-1252 text.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

struct _xmlDoc;
struct _xmlNode;

namespace xg {

// The bytes handed to the parser: the text up to its first NUL, cut into lines at every CR, LF
// or CR LF (LF followed by CR counts as two breaks) and joined again with CR LF after every
// line, the last one included. Nothing when the text holds no line at all.
std::optional<std::string> JoinSourceLines(const std::string& text);

// A node of a parsed document; valid only while its XmlDocument lives.
class XmlNode {
 public:
  explicit XmlNode(_xmlNode* node) : node_(node) {}

  // The qualified name: an element's tag name with its prefix, a processing instruction's
  // target, "#comment", "#text", "#cdata-section", an entity reference's entity name.
  std::string Name() const;
  // An element's text: empty with no children, the value of its only child when that is a text
  // or CDATA node, else EXMLDocError. Any other node: its value.
  std::string Text() const;
  // The first child whose qualified name, or else local name, is `name` exactly, among those
  // whose namespace matches this node's (this node has none, or the same one, case aside).
  std::optional<XmlNode> FindChild(const std::string& name) const;

 private:
  _xmlNode* node_;
};

// The parser's process-wide settings, made once: the parser initialised, and an entity loader
// that loads nothing, so that no external entity or DTD is ever read, whatever a parser option
// says. Called at start-up; the first parse calls it too.
void PrepareXmlParser();

class XmlDocument {
 public:
  // Parses the source text. Raises EDOMParseError, with the parser's reason, the line and the
  // start of that source line, when it is not well-formed, and before the parser sees it when
  // parsing it could cost more than linear time (markup_scan.h). A text with no lines gives an
  // empty document.
  explicit XmlDocument(const std::string& sourceText);
  ~XmlDocument();
  XmlDocument(const XmlDocument&) = delete;
  XmlDocument& operator=(const XmlDocument&) = delete;

  bool Empty() const { return doc_ == nullptr; }
  // Precondition: !Empty().
  XmlNode DocumentElement() const;
  // The names of the top-level nodes in document order, the XML declaration first as "xml"
  // when the document has one. Empty for an empty document.
  std::vector<std::string> TopLevelNodeNames() const;

 private:
  _xmlDoc* doc_ = nullptr;
  bool has_declaration_ = false;
};

}  // namespace xg
