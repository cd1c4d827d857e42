// A field: what the column model makes of a result column (its name, position, type and size),
// and the type of a field, which the answer documents map to the kind of value they write.
#pragma once

#include <cstdint>
#include <string>

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

struct FieldDef {
  std::string name;
  int field_no = 0;  // 1-based column position
  FieldType data_type = FieldType::kUnknown;
  int size = 0;
  // Whether the column is a CHAR, whose values are padded to the field's size.
  bool fixed = false;
  // What the value reading needs of the column.
  int sql_type = 0;  // without the nullable bit
  int scale = 0;
};

// The data size of a field: sqllen + 1 for strings, 0 for blob and memo fields, the width of the
// binary value otherwise.
int FieldDataSize(const FieldDef& def);

}  // namespace xg
