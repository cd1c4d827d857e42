// The values of result columns: the one reading of a fetched column out of the result area (a
// stored cell), and what a field makes of the cell: its Variant value (fixed CHAR padding, exact
// currency and decimal values, dates and times without fractions of a second, whole blobs,
// booleans) and its typed value as the answers write it (column_value.h).
#pragma once

#include <ibase.h>

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <variant>

#include "db/column_value.h"
#include "db/ib_field_def.h"
#include "db/ib_xsqlda.h"
#include "values/date_time.h"
#include "values/variant.h"

namespace xg {

class IbClientLibrary;

// A column's value as stored: null, an integer (scaled integers as stored; dates, times, time
// stamps, booleans and blob ids in their API form), a floating-point number, or bytes (pointing
// into the result area, so valid until the next fetch).
using StoredCell = std::variant<std::monostate, int64_t, double, std::string_view>;

// Reads the column as it was bound, never past its buffer: a VARYING whose length word is larger
// than the length bound raises EIBClientError 117 naming the column `name`.
StoredCell DecodeColumn(const BoundColumn& column, const std::string& name);

// Reads a whole blob by its id.
using BlobReader = std::function<std::string(const ISC_QUAD&)>;

// The DateTime of a DATE, TIME or TIMESTAMP field's value as a cell holds it. Raises
// EIBClientError 38 for a date or time outside the calendar.
DateTime StoredDateTime(const IbClientLibrary& client, const FieldDef& def, int64_t stored);

// The value of a field. Raises EIBClientError 38 for a value that cannot be converted (a date
// outside the calendar, a currency outside its range) and 117 for a string longer than its
// field.
Variant FieldValue(const IbClientLibrary& client, const FieldDef& def, const StoredCell& cell,
                   int dialect, const BlobReader& read_blob);

// The typed value of a field, for the writers that write it without a Variant. Raises what
// FieldValue raises for a date or time outside the calendar.
ColumnValue FieldColumnValue(const IbClientLibrary& client, const FieldDef& def,
                             const StoredCell& cell, int dialect);

}  // namespace xg
