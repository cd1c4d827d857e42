#include "gateway/document_writer.h"

#include <cstring>

#include "protocol/protocol_strings.h"
#include "texts/ascii_text.h"
#include "values/conversions.h"
#include "values/date_time.h"

namespace xg {
namespace {

// The texts a Null value gets under the number and boolean kinds; the other kinds give empty.
constexpr const char* kNullNumberText = "0";
constexpr const char* kNullBooleanText = "False";

// What EscapeText writes for each byte; nullptr for a byte that stays.
struct EscapeTable {
  const char* replacement[256] = {};
  constexpr EscapeTable() {
    for (int c = 0; c < 0x20; ++c) {
      if (c != '\t' && c != '\n' && c != '\r') replacement[c] = "?";
    }
    replacement[static_cast<unsigned char>('&')] = "&amp;";
    replacement[static_cast<unsigned char>('<')] = "&lt;";
    replacement[static_cast<unsigned char>('>')] = "&gt;";
  }
};
constexpr EscapeTable kEscapes;

// The length of the run of bytes from `from` on that stay as they are.
size_t PlainRun(std::string_view text, size_t from) {
  size_t end = from;
  while (end < text.size() &&
         kEscapes.replacement[static_cast<unsigned char>(text[end])] == nullptr) {
    ++end;
  }
  return end - from;
}

// The escaped text, a piece at a time: `out(data, size)` for each run that stays and each
// replacement.
template <class Out>
void Escape(std::string_view text, Out&& out) {
  size_t i = 0;
  while (i < text.size()) {
    const size_t run = PlainRun(text, i);
    if (run > 0) out(text.data() + i, run);
    i += run;
    if (i == text.size()) break;
    const char* replacement = kEscapes.replacement[static_cast<unsigned char>(text[i])];
    out(replacement, std::strlen(replacement));
    ++i;
  }
}

}  // namespace

std::string EscapeText(std::string text) {
  if (PlainRun(text, 0) == text.size()) return text;
  std::string escaped;
  escaped.reserve(text.size() + text.size() / 8 + 8);
  Escape(text, [&escaped](const char* data, size_t size) { escaped.append(data, size); });
  return escaped;
}

void AppendEscapedText(std::string_view text, Spool& out) {
  Escape(text, [&out](const char* data, size_t size) { out.Append(data, size); });
}

std::string_view NullValueText(DataKind kind) {
  switch (kind) {
    case DataKind::kInteger:
    case DataKind::kFloat:
      return kNullNumberText;
    case DataKind::kBoolean:
      return kNullBooleanText;
    default:
      return {};
  }
}

namespace {

// Bytes read as ISO-8859-1 code points against the name characters of XML 1.0. The colon, which
// XML 1.0 allows, is left out: under namespaces it would make the name's start an undeclared
// prefix.
bool IsNameStartByte(unsigned char c) {
  return IsAsciiLetter(static_cast<char>(c)) || c == '_' || (c >= 0xC0 && c != 0xD7 && c != 0xF7);
}

bool IsNameByte(unsigned char c) {
  return IsNameStartByte(c) || IsAsciiDigit(static_cast<char>(c)) || c == '-' || c == '.' ||
         c == 0xB7;
}

}  // namespace

std::string ColumnElementName(std::string_view column_name) {
  std::string name;
  name.reserve(column_name.size());
  for (size_t i = 0; i < column_name.size(); ++i) {
    const auto c = static_cast<unsigned char>(AsciiToUpper(column_name[i]));
    if (i == 0 ? IsNameStartByte(c) : IsNameByte(c)) {
      name += static_cast<char>(c);
    } else {
      name += "_x";
      AppendAsciiHex(c, 4, name);
      name += '_';
    }
  }
  return name;
}

std::string OpeningTag(const std::string& name) {
  return "<" + std::string(TrimBlanksAndControls(name)) + ">";
}

std::string ClosingTag(const std::string& name) {
  return "</" + std::string(TrimBlanksAndControls(name)) + ">";
}

std::string ElementOpening(const std::string& name, DataKind kind, int32_t data_size,
                           int32_t indent) {
  std::string indentation = indent >= 0 ? std::string(static_cast<size_t>(indent) + 1, ' ') : "";
  std::string size_attribute =
      data_size > 0 ? " " + LoadResString(SDataSize) + "=\"" + IntToStr(data_size) + "\"" : "";
  return indentation + OpeningTag(name + " " + LoadResString(SDataType) + "=\"" +
                                  DataKindName(kind) + "\"" + size_attribute);
}

std::string MakeElement(const std::string& name, const Variant& value, DataKind kind,
                        int32_t data_size, int32_t indent, const RegionalSettings& settings) {
  return ElementOpening(name, kind, data_size, indent) +
         EscapeText(ValueToText(value, kind, settings)) + ClosingTag(name);
}

std::string DataKindName(DataKind kind) {
  switch (kind) {
    case DataKind::kString:
      return LoadResString(SKindString);
    case DataKind::kInteger:
      return LoadResString(SKindInteger);
    case DataKind::kFloat:
      return LoadResString(SKindFloat);
    case DataKind::kBoolean:
      return LoadResString(SKindBoolean);
    case DataKind::kDate:
      return LoadResString(SKindDate);
    case DataKind::kTime:
      return LoadResString(SKindTime);
    case DataKind::kDateTime:
      return LoadResString(SKindDateTime);
  }
  return {};
}

std::string ValueToText(const Variant& value, DataKind kind, const RegionalSettings& settings) {
  if (VarEqualsNull(value)) return std::string(NullValueText(kind));
  switch (kind) {
    case DataKind::kString:
      return VarToStr(value, settings);
    case DataKind::kInteger:
      return IntToStr(VarAsInteger(value));
    case DataKind::kFloat:
      return FloatToStr(VarAsDouble(value, settings), settings);
    case DataKind::kBoolean:
      return BoolToStr(VarAsBoolean(value, settings), BoolText::kWord);
    case DataKind::kDate:
      return DateToStr(VarAsDouble(value, settings), settings);
    case DataKind::kTime:
      return TimeToStr(VarAsDouble(value, settings), settings);
    case DataKind::kDateTime:
      return DateTimeToStr(VarAsDouble(value, settings), settings);
  }
  return {};
}

DataKind FieldDataKind(FieldType field_type) {
  // Decimal types (currency amounts among them), texts and blobs are written as strings.
  switch (field_type) {
    case FieldType::kSmallint:
    case FieldType::kInteger:
    case FieldType::kLargeint:
      return DataKind::kInteger;
    case FieldType::kFloat:
      return DataKind::kFloat;
    case FieldType::kBoolean:
      return DataKind::kBoolean;
    case FieldType::kDate:
      return DataKind::kDate;
    case FieldType::kTime:
      return DataKind::kTime;
    case FieldType::kDateTime:
      return DataKind::kDateTime;
    case FieldType::kUnknown:
    case FieldType::kString:
    case FieldType::kBcd:
    case FieldType::kFmtBcd:
    case FieldType::kBlob:
    case FieldType::kMemo:
      return DataKind::kString;
  }
  return DataKind::kString;
}

std::string JoinDocumentLines(const std::vector<std::string>& lines) {
  std::string text;
  size_t size = 0;
  for (const auto& line : lines) size += line.size() + 2;
  text.reserve(size);
  for (const auto& line : lines) text.append(line).append("\r\n");
  return text;
}

}  // namespace xg
