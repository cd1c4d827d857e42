// A look at a request document's bytes before the XML parser sees it, so that no document costs
// the parser more than linear time. The parser checks each attribute of an element against all
// the attributes before it (and each default that a document type declares against all of
// them), so one element with a great many attributes takes time that grows with their square.
// The request envelope has no attributes at all; a document that could give one element more
// than kMaxAttributesPerElement of them is refused here. The parser also keeps every name it
// meets in a table whose size it stops growing, so that each new name costs time that grows
// with the names before it: a document with more than kMaxMarkupNames tags, attributes,
// declarations and references in all is refused too (the envelope has about a dozen).
//
// The scan reads the markup bytes as ASCII, which is sound only for encodings in which every
// byte below 128 is the ASCII character it names; a document in another encoding (EBCDIC, or
// a declared encoding that is not UTF-8, US-ASCII, an ISO-8859 or a Windows-125x code page)
// is refused.
#pragma once

#include <string_view>

namespace xg {

inline constexpr int kMaxAttributesPerElement = 32;
inline constexpr int kMaxMarkupNames = 10000;

// Raises EDOMParseError when the document:
// - declares (or starts with the signature of) an encoding that is not accepted;
// - has a start tag with more than kMaxAttributesPerElement "=" outside quoted values;
// - declares, in its internal document type subset, more than kMaxAttributesPerElement
//   attribute defaults in all, or an entity whose value holds more than that many "=" and
//   character references together (its text is parsed as content, character references
//   turned into characters);
// - has a "%" in its internal subset (parameter entities could hide declarations);
// - has more than kMaxMarkupNames "<" (outside comments, CDATA sections and processing
//   instructions), "=" in tags and "&" together.
void CheckMarkupCost(std::string_view document);

}  // namespace xg
