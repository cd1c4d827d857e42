#include "support/xml_reader.h"

#include <gtest/gtest.h>
#include <libxml/parser.h>
#include <libxml/tree.h>

#include <memory>

namespace xg::test {
namespace {

// libxml2 hands out UTF-8; a document declared ISO-8859-1 holds no character above U+00FF.
std::string Latin1(const xmlChar* utf8) {
  std::string text;
  if (utf8 == nullptr) return text;
  for (const xmlChar* p = utf8; *p != 0; ++p) {
    if (*p < 0x80) {
      text += static_cast<char>(*p);
    } else if ((*p & 0xE0) == 0xC0 && p[1] != 0) {
      text += static_cast<char>(((*p & 0x1F) << 6) | (p[1] & 0x3F));
      ++p;
    } else {
      text += '\x1A';  // not Latin-1: makes any comparison fail
    }
  }
  return text;
}

XmlElement Convert(xmlNode* node) {
  XmlElement element;
  element.name = Latin1(node->name);
  for (xmlAttr* attribute = node->properties; attribute != nullptr; attribute = attribute->next) {
    xmlChar* value = xmlNodeGetContent(reinterpret_cast<xmlNode*>(attribute));
    element.attributes.emplace_back(Latin1(attribute->name), Latin1(value));
    xmlFree(value);
  }
  for (xmlNode* child = node->children; child != nullptr; child = child->next) {
    if (child->type == XML_ELEMENT_NODE) {
      element.children.push_back(Convert(child));
    } else if (child->type == XML_TEXT_NODE || child->type == XML_CDATA_SECTION_NODE) {
      element.text += Latin1(child->content);
    }
  }
  return element;
}

}  // namespace

const XmlElement& XmlElement::Child(const std::string& childName) const {
  for (const XmlElement& child : children) {
    if (child.name == childName) return child;
  }
  ADD_FAILURE() << "no element " << childName << " in " << name;
  static const XmlElement kNone;
  return kNone;
}

XmlElement ReadXmlDocument(const std::string& document, std::string& error) {
  error.clear();
  std::unique_ptr<xmlDoc, void (*)(xmlDoc*)> doc(
      xmlReadMemory(document.data(), static_cast<int>(document.size()), nullptr, nullptr,
                    XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING),
      xmlFreeDoc);
  if (!doc) {
    const xmlError* last = xmlGetLastError();
    error = last != nullptr && last->message != nullptr ? last->message : "not well-formed";
    return {};
  }
  return Convert(xmlDocGetRootElement(doc.get()));
}

std::string UnescapeText(const std::string& text) {
  static const std::pair<std::string, char> kReferences[] = {
      {"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}};
  std::string result;
  for (size_t i = 0; i < text.size();) {
    bool replaced = false;
    for (const auto& [reference, character] : kReferences) {
      if (text.compare(i, reference.size(), reference) == 0) {
        result += character;
        i += reference.size();
        replaced = true;
        break;
      }
    }
    if (!replaced) result += text[i++];
  }
  return result;
}

}  // namespace xg::test
