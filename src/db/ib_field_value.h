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
#include "runtime/date_time.h"
#include "runtime/variant.h"

namespace xg {

class IbClientLibrary;

// A column's value as a cell: null, an integer (scaled integers as stored; dates, times, time
// stamps, booleans and blob ids in their API form), a floating-point number, or bytes.
using CachedCell = std::variant<std::monostate, int64_t, double, std::string>;

CachedCell CacheColumn(const IbClientLibrary& client, const XSQLVAR& column);

// Reads a whole blob by its id.
using BlobReader = std::function<std::string(const ISC_QUAD&)>;

// The DateTime of a DATE, TIME or TIMESTAMP field's value as a cell holds it. Raises
// EIBClientError 38 for a date or time outside the calendar.
DateTime StoredDateTime(const IbClientLibrary& client, const FieldDef& def, int64_t stored);

// The text of the decimal value (ftFMTBcd) of a field whose column holds `stored` with `scale`,
// as VarToStr writes that value with the separator given, written to `out` (room for
// kScaledDecimalTextMax bytes); answers its length.
inline constexpr size_t kScaledDecimalTextMax = 44;
size_t ScaledDecimalToChars(int64_t stored, int scale, char decimal_separator, char* out);

// The value of a field. Raises EIBClientError 38 for a value that cannot be converted (a date
// outside the calendar, a currency outside its range) and 117 for a string longer than its
// field.
Variant FieldValue(const IbClientLibrary& client, const FieldDef& def, const CachedCell& cell,
                   int dialect, const BlobReader& read_blob);

}  // namespace xg
