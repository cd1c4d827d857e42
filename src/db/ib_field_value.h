// The values of result columns: a fetched column taken out of the result area as a cell, and how
// a field reads the cell as a Variant (fixed CHAR padding, exact currency and decimal values,
// dates and times without fractions of a second, whole blobs, booleans).
#pragma once

#include <ibase.h>

#include <cstdint>
#include <functional>
#include <string>
#include <variant>

#include "db/ib_field_def.h"
#include "runtime/variant.h"

namespace xg {

class IbClientLibrary;

// A column's value as a cell: null, an integer (scaled integers as stored; dates, times, time
// stamps, booleans and blob ids in their API form), a floating-point number, or bytes.
using CachedCell = std::variant<std::monostate, int64_t, double, std::string>;

CachedCell CacheColumn(const IbClientLibrary& client, const XSQLVAR& column);

// Reads a whole blob by its id.
using BlobReader = std::function<std::string(const ISC_QUAD&)>;

// The value of a field. Raises EIBClientError 38 for a value that cannot be converted (a date
// outside the calendar, a currency outside its range) and 117 for a string longer than its
// field.
Variant FieldValue(const IbClientLibrary& client, const FieldDef& def, const CachedCell& cell,
                   int dialect, const BlobReader& read_blob);

}  // namespace xg
