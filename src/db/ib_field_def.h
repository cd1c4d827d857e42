// The column table: how an output column of a statement becomes a field definition (field
// type and size), and which columns get no field at all.
#pragma once

#include <ibase.h>

#include <optional>
#include <string>

#include "db/field_def.h"
#include "db/ib_xsqlda.h"

namespace xg {

// The definition for the column at the 0-based position, as it was bound for fetching (a string
// field's size is the length its buffer holds), or none for a column type that gets no field
// (arrays, quads, D_FLOAT, ...).
std::optional<FieldDef> MakeFieldDef(const BoundColumn& column, int position,
                                     const std::string& name, int dialect);

}  // namespace xg
