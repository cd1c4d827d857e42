// Variant: the tagged value that carries a field or status value to the response writer, with
// the conversions to text, integer, double and boolean and the comparison with Null.
#pragma once

#include <cstdint>
#include <string>

#include "values/bcd.h"
#include "values/date_time.h"
#include "values/regional_settings.h"

namespace xg {

// The type code of a value. The numbers are those the type names in conversion messages are
// looked up by (see VarTypeName); codes that no enumerator names are kept apart only as numbers.
enum class VarTypeCode : uint16_t {
  kEmpty = 0,
  kNull = 1,
  kSmallint = 2,
  kInteger = 3,
  kSingle = 4,
  kDouble = 5,
  kCurrency = 6,
  kDate = 7,
  kDispatch = 9,
  kError = 10,
  kBoolean = 11,
  kVariant = 12,
  kUnknown = 13,
  kShortInt = 16,
  kByte = 17,
  kWord = 18,
  kLongWord = 19,
  kInt64 = 20,
  kString = 0x100,
  kAny = 0x101,
  kFmtBcd = 0x10F,  // the custom decimal (BCD) kind
};

class Variant {
 public:
  Variant() = default;  // Empty

  static Variant Null();
  static Variant FromSmallint(int16_t value);
  static Variant FromInteger(int32_t value);
  static Variant FromInt64(int64_t value);
  static Variant FromSingle(float value);
  static Variant FromDouble(double value);
  static Variant FromCurrency(int64_t scaled_amount);  // amount times 10000
  static Variant FromDate(DateTime value);
  static Variant FromBoolean(bool value);  // stored as -1 or 0
  static Variant FromString(std::string value);
  static Variant FromBcd(const Bcd& value);
  // Any other type code with a raw 64-bit payload (for the codes no constructor above makes).
  static Variant FromRaw(VarTypeCode vtype, uint64_t payload);

  VarTypeCode VType() const { return vtype_; }
  uint64_t Payload() const { return payload_; }  // raw bits: integers, floats, booleans
  const std::string& String() const { return string_; }
  const Bcd& BcdValue() const { return bcd_; }

 private:
  VarTypeCode vtype_ = VarTypeCode::kEmpty;
  uint64_t payload_ = 0;
  std::string string_;
  Bcd bcd_{};
};

// Text of a value; Null gives the empty text. Numbers, currency, decimals and dates are
// written with the settings.
std::string VarToStr(const Variant& value, const RegionalSettings& settings);
// The implicit text conversion: as VarToStr, but Null raises EVariantTypeCastError.
std::string VarAsString(const Variant& value, const RegionalSettings& settings);
int32_t VarAsInteger(const Variant& value);
// A text is read with the decimal separator of the settings.
double VarAsDouble(const Variant& value, const RegionalSettings& settings);
bool VarAsBoolean(const Variant& value, const RegionalSettings& settings);
bool VarEqualsNull(const Variant& value);
std::string VarTypeName(VarTypeCode vtype);

}  // namespace xg
