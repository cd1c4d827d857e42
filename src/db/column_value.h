// A column's value in the current row as the answers write it: read once from the result area
// by the database layer, typed, with no trace of the client library's own layout. A value that
// only the field's Variant value can give (a blob, a dialect-1 scaled number, a text longer than
// its field, a currency amount out of range) is marked so, and the writer takes that way.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "values/date_time.h"

namespace xg {

struct ColumnValue {
  enum class Kind {
    kNull,
    kInteger,   // `integer`, a column without decimals
    kDecimal,   // `integer` with `scale` decimal places (scale < 0)
    kCurrency,  // `integer`: the amount times 10000
    kText,      // `text`, then `padding` blanks up to the size of a CHAR field
    kDouble,    // `real`
    kDateTime,  // `date_time`
    kBoolean,   // `boolean`
    kVariant,   // only the field's Variant value gives it
  };

  Kind kind = Kind::kNull;
  int64_t integer = 0;
  int scale = 0;
  // Points into the result area: valid until the next fetch.
  std::string_view text;
  size_t padding = 0;
  double real = 0;
  DateTime date_time = 0;
  bool boolean = false;
};

// The text of a decimal value (kDecimal) as the field's Variant value writes it, with the
// separator given, written to `out` (room for kScaledDecimalTextMax bytes); answers its length.
inline constexpr size_t kScaledDecimalTextMax = 44;
size_t ScaledDecimalToChars(int64_t stored, int scale, char decimal_separator, char* out);

}  // namespace xg
