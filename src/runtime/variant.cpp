#include "runtime/variant.h"

#include <bit>
#include <cmath>
#include <limits>

#include "runtime/ascii_text.h"
#include "runtime/conversions.h"
#include "runtime/exceptions.h"
#include "runtime/format.h"
#include "runtime/resource_strings.h"
#include "runtime/runtime_messages.h"

// The host offers none of the automation library's conversion functions, so the conversions
// here use the system's own rules throughout: currency, date and boolean texts come from
// CurrencyToText, DateTimeToStr and BoolToStr ("-1"/"0"); texts are read by the StrToInt,
// StrToFloat and number-or-word rules, a text that does not read failing with "Invalid
// argument". The general type change (for Dispatch, Unknown, Error, arrays, the unnamed codes
// and unregistered custom codes) has no object model or error semantics to draw on here, so it
// refuses every such value with the type-cast failure that names both types.
//
// A by-reference value of any code but Variant carries its referenced value in its own payload:
// a raw 64-bit payload is never followed as a pointer. Nothing here produces OleStr values; one
// made with FromRaw reads as its 8-bit String(), which is empty.

namespace xg {
namespace {

XG_RESOURCE(SVarTypeCouldNotConvert, "Could not convert variant of type (%s) into type (%s)");
XG_RESOURCE(SVarTypeConvertOverflow,
            "Overflow while converting variant of type (%s) into type (%s)");
XG_RESOURCE(SVarBadType, "Invalid variant type");

constexpr const char* kTargetString = "String";
constexpr const char* kTargetInteger = "Integer";
constexpr const char* kTargetDouble = "Double";
constexpr const char* kTargetBoolean = "Boolean";

// The handler of the decimal (BCD) kind; the type name drops the class prefix letter.
constexpr const char* kBcdHandlerClassName = "TFMTBcdVariantType";

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

// Follows references to other Variants to the value they lead to.
const Variant& Resolve(const Variant& value) {
  const Variant* current = &value;
  while (current->VType() == (varByRef | varVariant)) {
    if (current->Target() == nullptr) throw EVariantBadVarTypeError(LoadResString(SVarBadType));
    current = current->Target();
  }
  return *current;
}

// The code of a single (non-array) value; arrays answer a code no table row handles.
uint16_t ScalarCode(const Variant& value) {
  if ((value.VType() & varArray) != 0) return varTypeMask;
  return value.VType() & varTypeMask;
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

// Rounds to the nearest integer, ties to even; nothing when the result is not a 32-bit integer.
std::optional<int32_t> RoundToInteger(double value) {
  if (!(std::fabs(value) < 4294967296.0)) return std::nullopt;  // also NaN
  double whole = std::floor(value);
  const double fraction = value - whole;  // exact for values of this size
  if (fraction > 0.5 || (fraction == 0.5 && std::fmod(whole, 2.0) != 0.0)) whole += 1.0;
  if (whole < -2147483648.0 || whole > 2147483647.0) return std::nullopt;
  return static_cast<int32_t>(whole);
}

std::optional<int32_t> RoundCurrencyToInteger(int64_t scaledAmount) {
  int64_t whole = scaledAmount / 10000;
  const int64_t rest = scaledAmount % 10000;  // same sign as the amount
  const int64_t absRest = rest < 0 ? -rest : rest;
  if (absRest > 5000 || (absRest == 5000 && whole % 2 != 0)) whole += rest < 0 ? -1 : 1;
  if (whole < std::numeric_limits<int32_t>::min() || whole > std::numeric_limits<int32_t>::max())
    return std::nullopt;
  return static_cast<int32_t>(whole);
}

// The exact decimal value rounded to the nearest integer, ties to even.
std::optional<int32_t> RoundBcdToInteger(const TBcd& bcd) {
  const double approximate = BcdToDouble(bcd);  // also rejects malformed values
  if (!(std::fabs(approximate) < 4294967296.0)) return std::nullopt;
  const int precision = bcd.Precision;
  const int places = bcd.SignSpecialPlaces & 0x3F;
  auto digit = [&](int i) {  // i counts from the first stored digit
    const uint8_t byte = bcd.Fraction[i / 2];
    return i % 2 == 0 ? byte >> 4 : byte & 0x0F;
  };
  const int integerDigits = precision - places;  // may be negative: leading fraction zeros
  int64_t whole = 0;
  for (int i = 0; i < integerDigits; ++i) whole = whole * 10 + digit(i);
  int firstFraction = 0;
  bool restNonZero = false;
  for (int i = std::max(integerDigits, 0); i < precision; ++i) {
    if (i == integerDigits)
      firstFraction = digit(i);
    else if (digit(i) != 0)
      restNonZero = true;
  }
  if (firstFraction > 5 || (firstFraction == 5 && (restNonZero || whole % 2 != 0))) ++whole;
  if ((bcd.SignSpecialPlaces & 0x80) != 0) whole = -whole;
  if (whole < std::numeric_limits<int32_t>::min() || whole > std::numeric_limits<int32_t>::max())
    return std::nullopt;
  return static_cast<int32_t>(whole);
}

// What the text conversion makes of Null.
enum class NullText { kEmpty, kCastError };

std::string ToText(const Variant& original, NullText null_text,
                   const RegionalSettings& settings) {
  const Variant& value = Resolve(original);
  switch (ScalarCode(value)) {
    case varEmpty:
      return std::string();
    case varNull:
      if (null_text == NullText::kCastError) RaiseCastError(value, kTargetString);
      return std::string();
    case varSmallint:
      return IntToStr(static_cast<int32_t>(AsSmallint(value)));
    case varInteger:
      return IntToStr(AsInteger(value));
    case varShortInt:
      return IntToStr(static_cast<int32_t>(AsShortInt(value)));
    case varByte:
      return IntToStr(static_cast<int32_t>(AsByte(value)));
    case varWord:
      return IntToStr(static_cast<int32_t>(AsWord(value)));
    case varLongWord:
      return IntToStr(static_cast<int64_t>(AsLongWord(value)));
    case varInt64:
      return IntToStr(AsInt64(value));
    case varSingle:
      return FloatToStr(AsSingle(value), settings);
    case varDouble:
      return FloatToStr(AsDouble(value), settings);
    case varCurrency:
      return CurrencyToText(AsInt64(value), settings);
    case varDate:
      return DateTimeToStr(AsDouble(value), settings);
    case varBoolean:
      return BoolToStr(AsWord(value) != 0, BoolText::kNumber);
    case varOleStr:
    case varString:
      return value.String();
    case varFMTBcd:
      return BcdToText(value.Bcd(), settings);
    default:
      RaiseCastError(value, kTargetString);
  }
}

}  // namespace

Variant Variant::Null() {
  Variant v;
  v.vtype_ = varNull;
  return v;
}

Variant Variant::FromSmallint(int16_t value) {
  return FromRaw(varSmallint, static_cast<uint16_t>(value));
}

Variant Variant::FromInteger(int32_t value) {
  return FromRaw(varInteger, static_cast<uint32_t>(value));
}

Variant Variant::FromInt64(int64_t value) {
  return FromRaw(varInt64, static_cast<uint64_t>(value));
}

Variant Variant::FromSingle(float value) {
  return FromRaw(varSingle, std::bit_cast<uint32_t>(value));
}

Variant Variant::FromDouble(double value) {
  return FromRaw(varDouble, std::bit_cast<uint64_t>(value));
}

Variant Variant::FromCurrency(int64_t scaledAmount) {
  return FromRaw(varCurrency, static_cast<uint64_t>(scaledAmount));
}

Variant Variant::FromDate(TDateTime value) {
  return FromRaw(varDate, std::bit_cast<uint64_t>(value));
}

Variant Variant::FromBoolean(bool value) {
  return FromRaw(varBoolean, value ? 0xFFFF : 0);
}

Variant Variant::FromString(std::string value) {
  Variant v;
  v.vtype_ = varString;
  v.string_ = std::move(value);
  return v;
}

Variant Variant::FromBcd(const TBcd& value) {
  Variant v;
  v.vtype_ = varFMTBcd;
  v.bcd_ = value;
  return v;
}

Variant Variant::Reference(const Variant& target) {
  Variant v;
  v.vtype_ = varByRef | varVariant;
  v.target_ = &target;
  return v;
}

Variant Variant::FromRaw(uint16_t vtype, uint64_t payload) {
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

int32_t VarAsInteger(const Variant& original) {
  const Variant& value = Resolve(original);
  std::optional<int32_t> result;
  switch (ScalarCode(value)) {
    case varEmpty:
      return 0;
    case varNull:
      RaiseCastError(value, kTargetInteger);
    case varSmallint:
      return AsSmallint(value);
    case varInteger:
      return AsInteger(value);
    case varShortInt:
      return AsShortInt(value);
    case varByte:
      return AsByte(value);
    case varWord:
      return AsWord(value);
    case varBoolean:
      return AsSmallint(value);
    case varLongWord:
      if (AsLongWord(value) <= static_cast<uint32_t>(std::numeric_limits<int32_t>::max()))
        result = static_cast<int32_t>(AsLongWord(value));
      break;
    case varInt64:
      if (AsInt64(value) >= std::numeric_limits<int32_t>::min() &&
          AsInt64(value) <= std::numeric_limits<int32_t>::max())
        result = static_cast<int32_t>(AsInt64(value));
      break;
    case varSingle:
      result = RoundToInteger(AsSingle(value));
      break;
    case varDouble:
    case varDate:
      result = RoundToInteger(AsDouble(value));
      break;
    case varCurrency:
      result = RoundCurrencyToInteger(AsInt64(value));
      break;
    case varOleStr:
    case varString:
      if (auto number = TryStrToInt(value.String())) return *number;
      RaiseInvalidArgument();
    case varFMTBcd:
      result = RoundBcdToInteger(value.Bcd());
      break;
    default:
      RaiseCastError(value, kTargetInteger);
  }
  if (!result) RaiseOverflow(value, kTargetInteger);
  return *result;
}

double VarAsDouble(const Variant& original, const RegionalSettings& settings) {
  const Variant& value = Resolve(original);
  switch (ScalarCode(value)) {
    case varEmpty:
      return 0.0;
    case varNull:
      RaiseCastError(value, kTargetDouble);
    case varSmallint:
      return AsSmallint(value);
    case varInteger:
      return AsInteger(value);
    case varShortInt:
      return AsShortInt(value);
    case varByte:
      return AsByte(value);
    case varWord:
      return AsWord(value);
    case varLongWord:
      return AsLongWord(value);
    case varInt64:
      return static_cast<double>(AsInt64(value));
    case varBoolean:
      return AsWord(value) != 0 ? -1.0 : 0.0;
    case varSingle:
      return AsSingle(value);
    case varDouble:
    case varDate:
      return AsDouble(value);
    case varCurrency:
      return static_cast<double>(static_cast<long double>(AsInt64(value)) / 10000.0L);
    case varOleStr:
    case varString: {
      const auto number = TryStrToFloat(value.String(), settings);
      if (!number) RaiseInvalidArgument();
      const double result = static_cast<double>(*number);
      if (std::isinf(result)) RaiseOverflow(value, kTargetDouble);
      return result;
    }
    case varFMTBcd:
      return BcdToDouble(value.Bcd());
    default:
      RaiseCastError(value, kTargetDouble);
  }
}

bool VarAsBoolean(const Variant& original, const RegionalSettings& settings) {
  const Variant& value = Resolve(original);
  switch (ScalarCode(value)) {
    case varEmpty:
      return false;
    case varNull:
      RaiseCastError(value, kTargetBoolean);
    case varByte:
    case varShortInt:
      return AsByte(value) != 0;
    case varSmallint:
    case varWord:
    case varBoolean:
      return AsWord(value) != 0;
    case varInteger:
    case varLongWord:
      return AsLongWord(value) != 0;
    case varInt64:
    case varCurrency:
      return AsInt64(value) != 0;
    case varSingle:
      return AsSingle(value) != 0.0f;
    case varDouble:
    case varDate:
      return AsDouble(value) != 0.0;
    case varOleStr:
    case varString: {
      const std::string& text = value.String();
      if (auto number = TryStrToFloat(text, settings)) return *number != 0.0L;
      if (EqualsIgnoringAsciiCase(text, BoolToStr(true, BoolText::kWord))) return true;
      if (EqualsIgnoringAsciiCase(text, BoolToStr(false, BoolText::kWord))) return false;
      RaiseInvalidArgument();
    }
    case varFMTBcd:
      return BcdToDouble(value.Bcd()) != 0.0;
    default:
      RaiseCastError(value, kTargetBoolean);
  }
}

bool VarEqualsNull(const Variant& original) {
  const Variant& value = Resolve(original);
  switch (value.VType() & varTypeMask) {
    case varNull:
      return true;
    case varEmpty:
    case varSmallint:
    case varInteger:
    case varSingle:
    case varDouble:
    case varCurrency:
    case varDate:
    case varOleStr:
    case varString:
    case varBoolean:
    case varShortInt:
    case varByte:
    case varWord:
    case varLongWord:
    case varInt64:
    case varFMTBcd:
      return false;
    default:
      throw EVariantInvalidOpError(LoadResString(SInvalidVarOp));
  }
}

std::string VarTypeName(uint16_t vtype) {
  static const char* const kNames[] = {
      "Empty",   "Null",   "Smallint", "Integer", "Single",  "Double",   "Currency",
      "Date",    "OleStr", "Dispatch", "Error",   "Boolean", "Variant",  "Unknown",
      "Decimal", "$0F",    "ShortInt", "Byte",    "Word",    "LongWord", "Int64"};
  const uint16_t code = vtype & varTypeMask;
  std::string name;
  if (code < std::size(kNames)) {
    name = kNames[code];
  } else if (code == varString) {
    name = "String";
  } else if (code == varAny) {
    name = "Any";
  } else if (code == varFMTBcd) {
    name = kBcdHandlerClassName + 1;
  } else {
    static const char kHex[] = "0123456789ABCDEF";
    name = {'$', kHex[(code >> 12) & 0xF], kHex[(code >> 8) & 0xF], kHex[(code >> 4) & 0xF],
            kHex[code & 0xF]};
  }
  if ((vtype & varArray) != 0) name = "Array " + name;
  if ((vtype & varByRef) != 0) name = "ByRef " + name;
  return name;
}

}  // namespace xg
