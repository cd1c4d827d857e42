// The type of a field, as the column model gives it to a result column. The answer documents map
// each type to the kind of value they write.
#pragma once

#include <cstdint>

namespace xg {

enum class FieldType : uint8_t {
  kUnknown,
  kString,    // CHAR and VARCHAR
  kSmallint,  // the integers without decimals
  kInteger,
  kLargeint,
  kBcd,     // a scaled integer with up to four decimals: a currency amount
  kFmtBcd,  // a scaled integer with more decimals: a decimal value
  kFloat,   // FLOAT, DOUBLE PRECISION and a dialect-1 scaled INTEGER
  kDate,
  kTime,
  kDateTime,
  kBlob,
  kMemo,  // a blob of text
  kBoolean,
};

}  // namespace xg
