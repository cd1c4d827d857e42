// The pieces every answer document is made of: tags, element lines that carry a value with its
// kind and size, and the mapping of field types to value kinds. Every value an element line
// carries is escaped (EscapeText), so that the documents are well-formed XML whatever the data
// holds; a column's name becomes an XML name (ColumnElementName); other names and tags are
// written as given.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "db/field_def.h"
#include "process/spool.h"
#include "values/regional_settings.h"
#include "values/variant.h"

namespace xg {

// The kind of a value in an answer document, written as its DATATYPE name.
enum class DataKind : uint8_t {
  kString = 0,
  kInteger = 1,
  kFloat = 2,
  kBoolean = 3,
  kDate = 4,
  kTime = 5,
  kDateTime = 6,
};

// The element name of a column, an XML name for every column name: the ASCII letters upper-cased,
// and every byte that cannot stand at its place in a name (a blank, "$", "&", ":", a leading
// digit, ...) written as "_x" + its ISO-8859-1 code point in four upper-case hexadecimal digits +
// "_", the way SQL/XML maps identifiers ("RDB$RELATION_NAME" gives "RDB_x0024_RELATION_NAME").
// A name that is already an XML name is only upper-cased; as no lower-case "x" is left after
// that, a "_x" in the result always starts such an escape.
std::string ColumnElementName(std::string_view column_name);
// "<name>" and "</name>", the name without the blanks and control bytes at its ends.
std::string OpeningTag(const std::string& name);
std::string ClosingTag(const std::string& name);
// The value is written with the settings (see ValueToText): ElementOpening, the escaped value
// text, ClosingTag(name).
std::string MakeElement(const std::string& name, const Variant& value, DataKind kind,
                        int32_t data_size, int32_t indent, const RegionalSettings& settings);
// What an element line holds before its value: the indentation (indent + 1 blanks, none for a
// negative indent) and the opening tag with the DATATYPE and, when positive, DATASIZE attributes.
std::string ElementOpening(const std::string& name, DataKind kind, int32_t data_size,
                           int32_t indent);
std::string DataKindName(DataKind kind);
// A text as a document carries it: "&", "<" and ">" as "&amp;", "&lt;" and "&gt;", and every
// control character that XML 1.0 cannot carry (0x00 to 0x1F except tab, line feed and carriage
// return) as "?". Other bytes, line breaks included, stay as they are.
std::string EscapeText(std::string text);
// The escaped text appended to the spool.
void AppendEscapedText(std::string_view text, Spool& out);
// The text of a Null value of the kind: "0" for numbers, "False" for booleans, else empty.
std::string_view NullValueText(DataKind kind);
std::string ValueToText(const Variant& value, DataKind kind, const RegionalSettings& settings);
DataKind FieldDataKind(FieldType field_type);

// The text of a document built as a list of lines: every line followed by CR LF.
std::string JoinDocumentLines(const std::vector<std::string>& lines);

}  // namespace xg
