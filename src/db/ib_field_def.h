// The column table: how an output column of a statement becomes a field definition (field
// type and size), and which columns get no field at all.
#pragma once

#include <ibase.h>

#include <optional>
#include <string>

#include "db/field_def.h"

namespace xg {

// The definition for the column at the 0-based position, or none for a column type that gets
// no field (arrays, quads, D_FLOAT, ...).
std::optional<FieldDef> MakeFieldDef(const XSQLVAR& column, int position, const std::string& name,
                                     int dialect);

}  // namespace xg
