// Variant: the tagged value that carries a field or status value to the response writer, with
// the conversions to text, integer, double and boolean and the comparison with Null.
#pragma once

#include <cstdint>
#include <string>

#include "runtime/bcd.h"
#include "runtime/date_time.h"
#include "runtime/regional_settings.h"

namespace xg {

enum VarTypeCode : uint16_t {
  kVarEmpty = 0,
  kVarNull = 1,
  kVarSmallint = 2,
  kVarInteger = 3,
  kVarSingle = 4,
  kVarDouble = 5,
  kVarCurrency = 6,
  kVarDate = 7,
  kVarOleStr = 8,
  kVarDispatch = 9,
  kVarError = 10,
  kVarBoolean = 11,
  kVarVariant = 12,
  kVarUnknown = 13,
  kVarShortInt = 16,
  kVarByte = 17,
  kVarWord = 18,
  kVarLongWord = 19,
  kVarInt64 = 20,
  kVarString = 0x100,
  kVarAny = 0x101,
  kVarFMTBcd = 0x10F,  // the custom decimal (BCD) kind
  kVarTypeMask = 0x0FFF,
  kVarArray = 0x2000,
  kVarByRef = 0x4000,
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
  // A reference to another Variant (kVarByRef | kVarVariant); the target must outlive it.
  static Variant Reference(const Variant& target);
  // Any other type code with a raw 64-bit payload (for the codes no constructor above makes).
  static Variant FromRaw(uint16_t vtype, uint64_t payload);

  uint16_t VType() const { return vtype_; }
  uint64_t Payload() const { return payload_; }  // raw bits: integers, floats, booleans
  const std::string& String() const { return string_; }
  const Bcd& BcdValue() const { return bcd_; }
  const Variant* Target() const { return target_; }

 private:
  uint16_t vtype_ = kVarEmpty;
  uint64_t payload_ = 0;
  std::string string_;
  Bcd bcd_{};
  const Variant* target_ = nullptr;
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
std::string VarTypeName(uint16_t vtype);

}  // namespace xg
