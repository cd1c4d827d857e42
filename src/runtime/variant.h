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
  varEmpty = 0,
  varNull = 1,
  varSmallint = 2,
  varInteger = 3,
  varSingle = 4,
  varDouble = 5,
  varCurrency = 6,
  varDate = 7,
  varOleStr = 8,
  varDispatch = 9,
  varError = 10,
  varBoolean = 11,
  varVariant = 12,
  varUnknown = 13,
  varShortInt = 16,
  varByte = 17,
  varWord = 18,
  varLongWord = 19,
  varInt64 = 20,
  varString = 0x100,
  varAny = 0x101,
  varFMTBcd = 0x10F,  // the custom decimal (BCD) kind
  varTypeMask = 0x0FFF,
  varArray = 0x2000,
  varByRef = 0x4000,
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
  static Variant FromCurrency(int64_t scaledAmount);  // amount times 10000
  static Variant FromDate(TDateTime value);
  static Variant FromBoolean(bool value);  // stored as -1 or 0
  static Variant FromString(std::string value);
  static Variant FromBcd(const TBcd& value);
  // A reference to another Variant (varByRef | varVariant); the target must outlive it.
  static Variant Reference(const Variant& target);
  // Any other type code with a raw 64-bit payload (for the codes no constructor above makes).
  static Variant FromRaw(uint16_t vtype, uint64_t payload);

  uint16_t VType() const { return vtype_; }
  uint64_t Payload() const { return payload_; }  // raw bits: integers, floats, booleans
  const std::string& String() const { return string_; }
  const TBcd& Bcd() const { return bcd_; }
  const Variant* Target() const { return target_; }

 private:
  uint16_t vtype_ = varEmpty;
  uint64_t payload_ = 0;
  std::string string_;
  TBcd bcd_{};
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
