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

std::string NullText(TDataKind kind) {
  switch (kind) {
    case dkInteger:
    case dkFloat:
      return kNullNumberText;
    case dkBoolean:
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

std::string MakeTag(const std::string& Text, bool Closing) {
  return (Closing ? "</" : "<") + std::string(TrimBlanksAndControls(Text)) + ">";
}

std::string MakeElement(const std::string& Name, const Variant& Value, TDataKind Kind,
                        int32_t DataSize, int32_t Indent, const RegionalSettings& settings) {
  std::string indentation = Indent >= 0 ? std::string(static_cast<size_t>(Indent) + 1, ' ') : "";
  std::string sizeAttribute =
      DataSize > 0 ? " " + LoadResString(SDataSize) + "=\"" + IntToStr(DataSize) + "\"" : "";
  std::string openingTag = MakeTag(
      Name + " " + LoadResString(SDataType) + "=\"" + DataKindName(Kind) + "\"" + sizeAttribute,
      false);
  std::string valueText = EscapeText(ValueToText(Value, Kind, settings));
  return indentation + openingTag + valueText + MakeTag(Name, true);
}

std::string DataKindName(TDataKind Kind) {
  switch (Kind) {
    case dkString:
      return LoadResString(SKindString);
    case dkInteger:
      return LoadResString(SKindInteger);
    case dkFloat:
      return LoadResString(SKindFloat);
    case dkBoolean:
      return LoadResString(SKindBoolean);
    case dkDate:
      return LoadResString(SKindDate);
    case dkTime:
      return LoadResString(SKindTime);
    case dkDateTime:
      return LoadResString(SKindDateTime);
  }
  return {};
}

std::string ValueToText(const Variant& Value, TDataKind Kind, const RegionalSettings& settings) {
  if (VarEqualsNull(Value)) return NullText(Kind);
  switch (Kind) {
    case dkString:
      return VarToStr(Value, settings);
    case dkInteger:
      return IntToStr(VarAsInteger(Value));
    case dkFloat:
      return FloatToStr(VarAsDouble(Value, settings), settings);
    case dkBoolean:
      return BoolToStr(VarAsBoolean(Value, settings), BoolText::kWord);
    case dkDate:
      return DateToStr(VarAsDouble(Value, settings), settings);
    case dkTime:
      return TimeToStr(VarAsDouble(Value, settings), settings);
    case dkDateTime:
      return DateTimeToStr(VarAsDouble(Value, settings), settings);
  }
  return {};
}

TDataKind FieldDataKind(FieldType field_type) {
  // Indexed by the field type's ordinal. Decimal and counter types are written as strings; the
  // byte types as integers.
  static constexpr TDataKind kKinds[] = {
      dkString,    // ftUnknown
      dkString,    // ftString
      dkInteger,   // ftSmallint
      dkInteger,   // ftInteger
      dkInteger,   // ftWord
      dkBoolean,   // ftBoolean
      dkFloat,     // ftFloat
      dkFloat,     // ftCurrency
      dkString,    // ftBCD
      dkDate,      // ftDate
      dkTime,      // ftTime
      dkDateTime,  // ftDateTime
      dkInteger,   // ftBytes
      dkInteger,   // ftVarBytes
      dkString,    // ftAutoInc
      dkString,    // ftBlob
      dkString,    // ftMemo
      dkString,    // ftGraphic
      dkString,    // ftFmtMemo
      dkString,    // ftParadoxOle
      dkString,    // ftDBaseOle
      dkString,    // ftTypedBinary
      dkString,    // ftCursor
      dkString,    // ftFixedChar
      dkString,    // ftWideString
      dkInteger,   // ftLargeint
      dkString,    // ftADT
      dkString,    // ftArray
      dkString,    // ftReference
      dkString,    // ftDataSet
      dkString,    // ftOraBlob
      dkString,    // ftOraClob
      dkString,    // ftVariant
      dkString,    // ftInterface
      dkString,    // ftIDispatch
      dkString,    // ftGuid
      dkDateTime,  // ftTimeStamp
      dkString,    // ftFMTBcd
  };
  static_assert(sizeof kKinds / sizeof kKinds[0] == ftFMTBcd + 1);
  return field_type <= ftFMTBcd ? kKinds[field_type] : dkString;
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
