// Described columns and fetched bytes of any shape for the database road: while a FakeColumns
// lives, the client library's describe gives the columns it was handed and its fetch writes the
// rows it was handed into the buffers the gateway bound, the way the library writes a fetched row
// (ib_client_library.h: IbClientOverride). Either on an otherwise real road (a real attachment,
// transaction, prepared statement and cursor: only the describe and the fetch are the fake's), or
// with no database at all (the fuzz target: every call of the statement's road answers as the
// library does for a SELECT).
#pragma once

#include <ibase.h>

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "db/ib_client_library.h"

namespace xg::test {

// A column as the describe gives it.
struct FakeColumn {
  ISC_SHORT sqltype = SQL_VARYING | 1;  // with the null flag
  ISC_SHORT sqllen = 0;
  ISC_SHORT sqlscale = 0;
  ISC_SHORT sqlsubtype = 0;
  std::string alias;  // cut to the area's 31 characters
};

// A column of a fetched row: null (a nullable column's indicator -1 and nothing written; a column
// without the null flag is written all the same), or the bytes of its slot in the library's
// message, a VARYING's length word first (in the machine's byte order).
struct FakeCell {
  bool null = false;
  std::string bytes;
};
using FakeRow = std::vector<FakeCell>;

// A length word and the bytes of a VARYING value.
std::string VaryingBytes(const std::string& value);
std::string VaryingBytes(unsigned short length_word, const std::string& bytes);

struct FakeResult {
  std::vector<FakeColumn> columns;
  // What the describe after the first gives (the area grown to the first one's count): a count or
  // a shape that changes between the two. The same columns when none.
  std::optional<std::vector<FakeColumn>> columns_again;
  // The count every describe writes into the area (one below zero, say); the number of its
  // columns when none.
  std::optional<ISC_SHORT> described_count;
  std::vector<FakeRow> rows;  // a cell missing at the end of a row is written as no bytes
  // The count the fetch writes into the area before it writes a row: a count that changes
  // between the describe and the fetch. None: the area's count is left alone.
  std::optional<ISC_SHORT> fetch_count;
  // The error codes (status vector entries isc_arg_gds) the fetch after the last row answers
  // with; none: the end of the data (100).
  std::vector<ISC_STATUS> end_error;
};

// The bytes the library's message has for an entry as the area describes it at the call: TEXT and
// the fixed types `sqllen`, VARYING its length word and `sqllen`. A negative length is read as
// the library reads it, as a wrap to some 4 GB: the fake writes the first kRunawayBytes of such a
// slot, far past any buffer sized from a 16-bit length, as the embedded engine's copy does.
inline constexpr size_t kRunawayBytes = 128 * 1024;
size_t SlotBytes(const XSQLVAR& var);

enum class FakeRoad {
  kDescribeAndFetch,  // the rest of the road is the real library's, on a real database
  kNoDatabase,        // every call of attachment, transaction and statement is the fake's
};

// What the fake saw of the gateway's buffers: for each fetch, the entries it wrote.
struct FakeWrite {
  int column = 0;
  ISC_SHORT sqltype = 0;  // as the area described the entry at the fetch
  ISC_SHORT sqllen = 0;
  size_t bytes = 0;  // written into the entry's buffer
};

// One at a time in a process; the library's functions come back when it ends.
class FakeColumns {
 public:
  FakeColumns(FakeResult result, FakeRoad road);
  ~FakeColumns();
  FakeColumns(const FakeColumns&) = delete;
  FakeColumns& operator=(const FakeColumns&) = delete;

  int describes() const;
  int fetches() const;
  // The writes of the latest fetch that delivered a row.
  const std::vector<FakeWrite>& last_writes() const;

 private:
  IbClientOverride override_;
};

}  // namespace xg::test
