// A response document read back as a client's XML parser reads it: libxml2, no network, no
// entities loaded. Reading fails on a document that is not well-formed. Texts come back as
// ISO-8859-1 bytes, as the documents declare them; line breaks as XML delivers them (CR LF and a
// lone CR become LF).
#pragma once

#include <string>
#include <vector>

namespace xg::test {

struct XmlElement {
  std::string name;
  std::string text;  // the element's own text, the texts of its children not included
  std::vector<std::pair<std::string, std::string>> attributes;
  std::vector<XmlElement> children;

  // The first child of that name; fails the test (and answers an empty element) when none.
  const XmlElement& Child(const std::string& childName) const;
};

// The document's root element. `error` receives the parser's message when the document is not
// well-formed (the root is then empty).
XmlElement ReadXmlDocument(const std::string& document, std::string& error);

// The value of an element as a reader gets it, for texts compared byte for byte: the references
// "&amp;", "&lt;" and "&gt;" replaced by their characters, nothing else changed.
std::string UnescapeText(const std::string& text);

}  // namespace xg::test
