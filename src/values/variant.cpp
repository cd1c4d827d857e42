#include "values/variant.h"

#include <bit>
#include <cmath>
#include <limits>

#include "texts/ascii_text.h"
#include "texts/exceptions.h"
#include "texts/format.h"
#include "texts/resource_strings.h"
#include "texts/runtime_messages.h"
#include "values/conversions.h"

// The host offers none of the automation library's conversion functions, so the conversions
// here use the system's own rules throughout: currency, date and boolean texts come from
// CurrencyToText, DateTimeToStr and BoolToStr ("-1"/"0"); texts are read by the StrToInt,
// StrToFloat and number-or-word rules, a text that does not read failing with "Invalid
// argument". The general type change (for Dispatch, Unknown, Error, Variant, the unnamed codes
// and unregistered custom codes) has no object model or error semantics to draw on here, so it
// refuses every such value with the type-cast failure that names both types.

namespace xg {
namespace {

XG_RESOURCE(SVarTypeCouldNotConvert, "Could not convert variant of type (%s) into type (%s)");
XG_RESOURCE(SVarTypeConvertOverflow,
            "Overflow while converting variant of type (%s) into type (%s)");

constexpr const char* kTargetString = "String";
constexpr const char* kTargetInteger = "Integer";
constexpr const char* kTargetDouble = "Double";
constexpr const char* kTargetBoolean = "Boolean";

// The type name of the decimal (BCD) kind in messages.
constexpr const char* kBcdTypeName = "FMTBcdVariantType";

[[noreturn]] void RaiseCastError(const Variant& source, const char* target) {
  throw EVariantTypeCastError(
      Format(LoadResString(SVarTypeCouldNotConvert), {VarTypeName(source.VType()), target}));
}

[[noreturn]] void RaiseOverflow(const Variant& source, const char* target) {
  throw EVariantOverflowError(
      Format(LoadResString(SVarTypeConvertOverflow), {VarTypeName(source.VType()), target}));
}

[[noreturn]] void RaiseInvalidArgument() {
  throw EVariantInvalidArgError(LoadResString(SVarInvalid));
}

int8_t AsShortInt(const Variant& v) {
  return static_cast<int8_t>(v.Payload());
}
uint8_t AsByte(const Variant& v) {
  return static_cast<uint8_t>(v.Payload());
}
int16_t AsSmallint(const Variant& v) {
  return static_cast<int16_t>(v.Payload());
}
uint16_t AsWord(const Variant& v) {
  return static_cast<uint16_t>(v.Payload());
}
int32_t AsInteger(const Variant& v) {
  return static_cast<int32_t>(v.Payload());
}
uint32_t AsLongWord(const Variant& v) {
  return static_cast<uint32_t>(v.Payload());
}
int64_t AsInt64(const Variant& v) {
  return static_cast<int64_t>(v.Payload());
}
float AsSingle(const Variant& v) {
  return std::bit_cast<float>(AsLongWord(v));
}
double AsDouble(const Variant& v) {
  return std::bit_cast<double>(v.Payload());
}

// The value of the integer kinds that every 32-bit integer holds (Smallint, Integer, ShortInt,
// Byte, Word); nothing for the other kinds.
std::optional<int32_t> NarrowIntegerValue(const Variant& value) {
  switch (value.VType()) {
    case VarTypeCode::kSmallint:
      return AsSmallint(value);
    case VarTypeCode::kInteger:
      return AsInteger(value);
    case VarTypeCode::kShortInt:
      return AsShortInt(value);
    case VarTypeCode::kByte:
      return AsByte(value);
    case VarTypeCode::kWord:
      return AsWord(value);
    default:
      return std::nullopt;
  }
}

// Rounds to the nearest integer, ties to even; nothing when the result is not a 32-bit integer.
std::optional<int32_t> RoundToInteger(double value) {
  if (!(std::fabs(value) < 4294967296.0)) return std::nullopt;  // also NaN
  double whole = std::floor(value);
  const double fraction = value - whole;  // exact for values of this size
  if (fraction > 0.5 || (fraction == 0.5 && std::fmod(whole, 2.0) != 0.0)) whole += 1.0;
  if (whole < -2147483648.0 || whole > 2147483647.0) return std::nullopt;
  return static_cast<int32_t>(whole);
}

std::optional<int32_t> RoundCurrencyToInteger(int64_t scaled_amount) {
  int64_t whole = scaled_amount / 10000;
  const int64_t rest = scaled_amount % 10000;  // same sign as the amount
  const int64_t abs_rest = rest < 0 ? -rest : rest;
  if (abs_rest > 5000 || (abs_rest == 5000 && whole % 2 != 0)) whole += rest < 0 ? -1 : 1;
  if (whole < std::numeric_limits<int32_t>::min() || whole > std::numeric_limits<int32_t>::max())
    return std::nullopt;
  return static_cast<int32_t>(whole);
}

// The exact decimal value rounded to the nearest integer, ties to even.
std::optional<int32_t> RoundBcdToInteger(const Bcd& bcd) {
  const double approximate = BcdToDouble(bcd);  // also rejects malformed values
  if (!(std::fabs(approximate) < 4294967296.0)) return std::nullopt;
  const int precision = bcd.precision;
  const int places = bcd.sign_special_places & 0x3F;
  auto digit = [&](int i) {  // i counts from the first stored digit
    const uint8_t byte = bcd.fraction[i / 2];
    return i % 2 == 0 ? byte >> 4 : byte & 0x0F;
  };
  const int integer_digits = precision - places;  // may be negative: leading fraction zeros
  int64_t whole = 0;
  for (int i = 0; i < integer_digits; ++i) whole = whole * 10 + digit(i);
  int first_fraction = 0;
  bool rest_non_zero = false;
  for (int i = std::max(integer_digits, 0); i < precision; ++i) {
    if (i == integer_digits)
      first_fraction = digit(i);
    else if (digit(i) != 0)
      rest_non_zero = true;
  }
  if (first_fraction > 5 || (first_fraction == 5 && (rest_non_zero || whole % 2 != 0))) ++whole;
  if ((bcd.sign_special_places & 0x80) != 0) whole = -whole;
  if (whole < std::numeric_limits<int32_t>::min() || whole > std::numeric_limits<int32_t>::max())
    return std::nullopt;
  return static_cast<int32_t>(whole);
}

// What the text conversion makes of Null.
enum class NullText { kEmpty, kCastError };

std::string ToText(const Variant& value, NullText null_text, const RegionalSettings& settings) {
  switch (value.VType()) {
    case VarTypeCode::kEmpty:
      return std::string();
    case VarTypeCode::kNull:
      if (null_text == NullText::kCastError) RaiseCastError(value, kTargetString);
      return std::string();
    case VarTypeCode::kSmallint:
      return IntToStr(static_cast<int32_t>(AsSmallint(value)));
    case VarTypeCode::kInteger:
      return IntToStr(AsInteger(value));
    case VarTypeCode::kShortInt:
      return IntToStr(static_cast<int32_t>(AsShortInt(value)));
    case VarTypeCode::kByte:
      return IntToStr(static_cast<int32_t>(AsByte(value)));
    case VarTypeCode::kWord:
      return IntToStr(static_cast<int32_t>(AsWord(value)));
    case VarTypeCode::kLongWord:
      return IntToStr(static_cast<int64_t>(AsLongWord(value)));
    case VarTypeCode::kInt64:
      return IntToStr(AsInt64(value));
    case VarTypeCode::kSingle:
      return FloatToStr(AsSingle(value), settings);
    case VarTypeCode::kDouble:
      return FloatToStr(AsDouble(value), settings);
    case VarTypeCode::kCurrency:
      return CurrencyToText(AsInt64(value), settings);
    case VarTypeCode::kDate:
      return DateTimeToStr(AsDouble(value), settings);
    case VarTypeCode::kBoolean:
      return BoolToStr(AsWord(value) != 0, BoolText::kNumber);
    case VarTypeCode::kString:
      return value.String();
    case VarTypeCode::kFmtBcd:
      return BcdToText(value.BcdValue(), settings);
    default:
      RaiseCastError(value, kTargetString);
  }
}

}  // namespace

Variant Variant::Null() {
  Variant v;
  v.vtype_ = VarTypeCode::kNull;
  return v;
}

Variant Variant::FromSmallint(int16_t value) {
  return FromRaw(VarTypeCode::kSmallint, static_cast<uint16_t>(value));
}

Variant Variant::FromInteger(int32_t value) {
  return FromRaw(VarTypeCode::kInteger, static_cast<uint32_t>(value));
}

Variant Variant::FromInt64(int64_t value) {
  return FromRaw(VarTypeCode::kInt64, static_cast<uint64_t>(value));
}

Variant Variant::FromSingle(float value) {
  return FromRaw(VarTypeCode::kSingle, std::bit_cast<uint32_t>(value));
}

Variant Variant::FromDouble(double value) {
  return FromRaw(VarTypeCode::kDouble, std::bit_cast<uint64_t>(value));
}

Variant Variant::FromCurrency(int64_t scaled_amount) {
  return FromRaw(VarTypeCode::kCurrency, static_cast<uint64_t>(scaled_amount));
}

Variant Variant::FromDate(DateTime value) {
  return FromRaw(VarTypeCode::kDate, std::bit_cast<uint64_t>(value));
}

Variant Variant::FromBoolean(bool value) {
  return FromRaw(VarTypeCode::kBoolean, value ? 0xFFFF : 0);
}

Variant Variant::FromString(std::string value) {
  Variant v;
  v.vtype_ = VarTypeCode::kString;
  v.string_ = std::move(value);
  return v;
}

Variant Variant::FromBcd(const Bcd& value) {
  Variant v;
  v.vtype_ = VarTypeCode::kFmtBcd;
  v.bcd_ = value;
  return v;
}

Variant Variant::FromRaw(VarTypeCode vtype, uint64_t payload) {
  Variant v;
  v.vtype_ = vtype;
  v.payload_ = payload;
  return v;
}

std::string VarToStr(const Variant& value, const RegionalSettings& settings) {
  return ToText(value, NullText::kEmpty, settings);
}

std::string VarAsString(const Variant& value, const RegionalSettings& settings) {
  return ToText(value, NullText::kCastError, settings);
}

int32_t VarAsInteger(const Variant& value) {
  if (const std::optional<int32_t> number = NarrowIntegerValue(value)) return *number;
  std::optional<int32_t> result;
  switch (value.VType()) {
    case VarTypeCode::kEmpty:
      return 0;
    case VarTypeCode::kNull:
      RaiseCastError(value, kTargetInteger);
    case VarTypeCode::kBoolean:
      return AsSmallint(value);
    case VarTypeCode::kLongWord:
      if (AsLongWord(value) <= static_cast<uint32_t>(std::numeric_limits<int32_t>::max()))
        result = static_cast<int32_t>(AsLongWord(value));
      break;
    case VarTypeCode::kInt64:
      if (AsInt64(value) >= std::numeric_limits<int32_t>::min() &&
          AsInt64(value) <= std::numeric_limits<int32_t>::max())
        result = static_cast<int32_t>(AsInt64(value));
      break;
    case VarTypeCode::kSingle:
      result = RoundToInteger(AsSingle(value));
      break;
    case VarTypeCode::kDouble:
    case VarTypeCode::kDate:
      result = RoundToInteger(AsDouble(value));
      break;
    case VarTypeCode::kCurrency:
      result = RoundCurrencyToInteger(AsInt64(value));
      break;
    case VarTypeCode::kString:
      if (auto number = TryStrToInt(value.String())) return *number;
      RaiseInvalidArgument();
    case VarTypeCode::kFmtBcd:
      result = RoundBcdToInteger(value.BcdValue());
      break;
    default:
      RaiseCastError(value, kTargetInteger);
  }
  if (!result) RaiseOverflow(value, kTargetInteger);
  return *result;
}

double VarAsDouble(const Variant& value, const RegionalSettings& settings) {
  if (const std::optional<int32_t> number = NarrowIntegerValue(value)) return *number;
  switch (value.VType()) {
    case VarTypeCode::kEmpty:
      return 0.0;
    case VarTypeCode::kNull:
      RaiseCastError(value, kTargetDouble);
    case VarTypeCode::kLongWord:
      return AsLongWord(value);
    case VarTypeCode::kInt64:
      return static_cast<double>(AsInt64(value));
    case VarTypeCode::kBoolean:
      return AsWord(value) != 0 ? -1.0 : 0.0;
    case VarTypeCode::kSingle:
      return AsSingle(value);
    case VarTypeCode::kDouble:
    case VarTypeCode::kDate:
      return AsDouble(value);
    case VarTypeCode::kCurrency:
      return static_cast<double>(static_cast<long double>(AsInt64(value)) / 10000.0L);
    case VarTypeCode::kString: {
      const auto number = TryStrToFloat(value.String(), settings);
      if (!number) RaiseInvalidArgument();
      const double result = static_cast<double>(*number);
      if (std::isinf(result)) RaiseOverflow(value, kTargetDouble);
      return result;
    }
    case VarTypeCode::kFmtBcd:
      return BcdToDouble(value.BcdValue());
    default:
      RaiseCastError(value, kTargetDouble);
  }
}

bool VarAsBoolean(const Variant& value, const RegionalSettings& settings) {
  switch (value.VType()) {
    case VarTypeCode::kEmpty:
      return false;
    case VarTypeCode::kNull:
      RaiseCastError(value, kTargetBoolean);
    case VarTypeCode::kByte:
    case VarTypeCode::kShortInt:
      return AsByte(value) != 0;
    case VarTypeCode::kSmallint:
    case VarTypeCode::kWord:
    case VarTypeCode::kBoolean:
      return AsWord(value) != 0;
    case VarTypeCode::kInteger:
    case VarTypeCode::kLongWord:
      return AsLongWord(value) != 0;
    case VarTypeCode::kInt64:
    case VarTypeCode::kCurrency:
      return AsInt64(value) != 0;
    case VarTypeCode::kSingle:
      return AsSingle(value) != 0.0f;
    case VarTypeCode::kDouble:
    case VarTypeCode::kDate:
      return AsDouble(value) != 0.0;
    case VarTypeCode::kString: {
      const std::string& text = value.String();
      if (auto number = TryStrToFloat(text, settings)) return *number != 0.0L;
      if (EqualsIgnoringAsciiCase(text, BoolToStr(true, BoolText::kWord))) return true;
      if (EqualsIgnoringAsciiCase(text, BoolToStr(false, BoolText::kWord))) return false;
      RaiseInvalidArgument();
    }
    case VarTypeCode::kFmtBcd:
      return BcdToDouble(value.BcdValue()) != 0.0;
    default:
      RaiseCastError(value, kTargetBoolean);
  }
}

bool VarEqualsNull(const Variant& value) {
  switch (value.VType()) {
    case VarTypeCode::kNull:
      return true;
    case VarTypeCode::kEmpty:
    case VarTypeCode::kSmallint:
    case VarTypeCode::kInteger:
    case VarTypeCode::kSingle:
    case VarTypeCode::kDouble:
    case VarTypeCode::kCurrency:
    case VarTypeCode::kDate:
    case VarTypeCode::kString:
    case VarTypeCode::kBoolean:
    case VarTypeCode::kShortInt:
    case VarTypeCode::kByte:
    case VarTypeCode::kWord:
    case VarTypeCode::kLongWord:
    case VarTypeCode::kInt64:
    case VarTypeCode::kFmtBcd:
      return false;
    default:
      throw EVariantInvalidOpError(LoadResString(SInvalidVarOp));
  }
}

std::string VarTypeName(VarTypeCode vtype) {
  static const char* const kNames[] = {
      "Empty",   "Null",   "Smallint", "Integer", "Single",  "Double",   "Currency",
      "Date",    "OleStr", "Dispatch", "Error",   "Boolean", "Variant",  "Unknown",
      "Decimal", "$0F",    "ShortInt", "Byte",    "Word",    "LongWord", "Int64"};
  const auto code = static_cast<uint16_t>(vtype);
  if (code < std::size(kNames)) return kNames[code];
  switch (vtype) {
    case VarTypeCode::kString:
      return "String";
    case VarTypeCode::kAny:
      return "Any";
    case VarTypeCode::kFmtBcd:
      return kBcdTypeName;
    default: {
      std::string name = "$";
      AppendAsciiHex(code, 4, name);
      return name;
    }
  }
}

}  // namespace xg
