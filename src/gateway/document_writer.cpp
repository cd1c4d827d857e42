#include "gateway/document_writer.h"

#include "gateway/protocol_strings.h"
#include "runtime/ascii_text.h"
#include "runtime/conversions.h"
#include "runtime/date_time.h"

namespace xg {
namespace {

// The texts a Null value gets under the number and boolean kinds; the other kinds give empty.
constexpr const char* kNullNumberText = "0";
constexpr const char* kNullBooleanText = "False";

std::string NullText(DataKind kind) {
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

}  // namespace

std::string EscapeText(std::string text) {
  size_t first = 0;
  while (first < text.size() &&
         kEscapes.replacement[static_cast<unsigned char>(text[first])] == nullptr) {
    ++first;
  }
  if (first == text.size()) return text;
  std::string escaped;
  escaped.reserve(text.size() + text.size() / 8 + 8);
  escaped.append(text, 0, first);
  for (size_t i = first; i < text.size(); ++i) {
    const char* replacement = kEscapes.replacement[static_cast<unsigned char>(text[i])];
    if (replacement != nullptr) {
      escaped += replacement;
    } else {
      escaped += text[i];
    }
  }
  return escaped;
}

std::string OpeningTag(const std::string& name) {
  return "<" + std::string(TrimBlanksAndControls(name)) + ">";
}

std::string ClosingTag(const std::string& name) {
  return "</" + std::string(TrimBlanksAndControls(name)) + ">";
}

std::string MakeElement(const std::string& name, const Variant& value, DataKind kind,
                        int32_t data_size, int32_t indent, const RegionalSettings& settings) {
  std::string indentation = indent >= 0 ? std::string(static_cast<size_t>(indent) + 1, ' ') : "";
  std::string size_attribute =
      data_size > 0 ? " " + LoadResString(SDataSize) + "=\"" + IntToStr(data_size) + "\"" : "";
  std::string opening_tag = OpeningTag(name + " " + LoadResString(SDataType) + "=\"" +
                                       DataKindName(kind) + "\"" + size_attribute);
  std::string value_text = EscapeText(ValueToText(value, kind, settings));
  return indentation + opening_tag + value_text + ClosingTag(name);
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
  if (VarEqualsNull(value)) return NullText(kind);
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
  // Indexed by the field type's ordinal. Decimal and counter types are written as strings; the
  // byte types as integers.
  static constexpr DataKind kKinds[] = {
      DataKind::kString,    // ftUnknown
      DataKind::kString,    // ftString
      DataKind::kInteger,   // ftSmallint
      DataKind::kInteger,   // ftInteger
      DataKind::kInteger,   // ftWord
      DataKind::kBoolean,   // ftBoolean
      DataKind::kFloat,     // ftFloat
      DataKind::kFloat,     // ftCurrency
      DataKind::kString,    // ftBCD
      DataKind::kDate,      // ftDate
      DataKind::kTime,      // ftTime
      DataKind::kDateTime,  // ftDateTime
      DataKind::kInteger,   // ftBytes
      DataKind::kInteger,   // ftVarBytes
      DataKind::kString,    // ftAutoInc
      DataKind::kString,    // ftBlob
      DataKind::kString,    // ftMemo
      DataKind::kString,    // ftGraphic
      DataKind::kString,    // ftFmtMemo
      DataKind::kString,    // ftParadoxOle
      DataKind::kString,    // ftDBaseOle
      DataKind::kString,    // ftTypedBinary
      DataKind::kString,    // ftCursor
      DataKind::kString,    // ftFixedChar
      DataKind::kString,    // ftWideString
      DataKind::kInteger,   // ftLargeint
      DataKind::kString,    // ftADT
      DataKind::kString,    // ftArray
      DataKind::kString,    // ftReference
      DataKind::kString,    // ftDataSet
      DataKind::kString,    // ftOraBlob
      DataKind::kString,    // ftOraClob
      DataKind::kString,    // ftVariant
      DataKind::kString,    // ftInterface
      DataKind::kString,    // ftIDispatch
      DataKind::kString,    // ftGuid
      DataKind::kDateTime,  // ftTimeStamp
      DataKind::kString,    // ftFMTBcd
  };
  static_assert(sizeof kKinds / sizeof kKinds[0] == ftFMTBcd + 1);
  return field_type <= ftFMTBcd ? kKinds[field_type] : DataKind::kString;
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
