// The column table: how an output column of a statement becomes a field definition (field
// type, size, precision, data size), and which columns get no field at all.
#pragma once

#include <ibase.h>

#include <optional>
#include <string>

#include "gateway/document_writer.h"

namespace xg {

struct TFieldDef {
  std::string Name;
  int FieldNo = 0;  // 1-based column position
  TFieldType DataType = ftUnknown;
  int Size = 0;
  int Precision = 0;
  bool Required = false;
  bool ReadOnly = false;
  bool Fixed = false;
  // What the value reading needs of the column.
  int SQLType = 0;  // without the nullable bit
  int Scale = 0;
  int SubType = 0;
  int SQLLen = 0;
  std::string RelationName;
  std::string ColumnName;
};

// The definition for the column at the 0-based position, or none for a column type that gets
// no field (arrays, quads, D_FLOAT, ...).
std::optional<TFieldDef> MakeFieldDef(const XSQLVAR& column, int position, const std::string& name,
                                      int dialect);

// The data size of a field: sqllen + 1 for strings, 0 for blob and memo fields, the width of the
// binary value otherwise.
int FieldDataSize(const TFieldDef& def);

}  // namespace xg
