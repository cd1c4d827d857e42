// The pieces every answer document is made of: tags, element lines that carry a value with its
// kind and size, and the mapping of field types to value kinds. Every value an element line
// carries is escaped (EscapeText), so that the documents are well-formed XML whatever the data
// holds; names and tags are written as given.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "db/field_type.h"
#include "runtime/regional_settings.h"
#include "runtime/variant.h"

namespace xg {

enum TDataKind : uint8_t {
  dkString = 0,
  dkInteger = 1,
  dkFloat = 2,
  dkBoolean = 3,
  dkDate = 4,
  dkTime = 5,
  dkDateTime = 6,
};

std::string MakeTag(const std::string& Text, bool Closing);
// The value is written with the settings (see ValueToText).
std::string MakeElement(const std::string& Name, const Variant& Value, TDataKind Kind,
                        int32_t DataSize, int32_t Indent, const RegionalSettings& settings);
std::string DataKindName(TDataKind Kind);
// A text as a document carries it: "&", "<" and ">" as "&amp;", "&lt;" and "&gt;", and every
// control character that XML 1.0 cannot carry (0x00 to 0x1F except tab, line feed and carriage
// return) as "?". Other bytes, line breaks included, stay as they are.
std::string EscapeText(std::string text);
std::string ValueToText(const Variant& Value, TDataKind Kind, const RegionalSettings& settings);
TDataKind FieldDataKind(FieldType field_type);

// The text of a document built as a list of lines: every line followed by CR LF.
std::string JoinDocumentLines(const std::vector<std::string>& lines);

}  // namespace xg
