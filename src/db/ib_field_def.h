// The column table: how an output column of a statement becomes a field definition (field
// type, size, data size), and which columns get no field at all.
#pragma once

#include <ibase.h>

#include <optional>
#include <string>

#include "db/field_type.h"

namespace xg {

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

// The definition for the column at the 0-based position, or none for a column type that gets
// no field (arrays, quads, D_FLOAT, ...).
std::optional<FieldDef> MakeFieldDef(const XSQLVAR& column, int position, const std::string& name,
                                     int dialect);

// The data size of a field: sqllen + 1 for strings, 0 for blob and memo fields, the width of the
// binary value otherwise.
int FieldDataSize(const FieldDef& def);

}  // namespace xg
