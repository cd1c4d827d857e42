// The kinds of statement the server reports for a prepared statement.
#pragma once

namespace xg {

// The server's statement types.
enum class SqlStatementType {
  kUnknown = 0,
  kSelect = 1,
  kInsert = 2,
  kUpdate = 3,
  kDelete = 4,
  kDdl = 5,
  kGetSegment = 6,
  kPutSegment = 7,
  kExecProcedure = 8,
  kStartTransaction = 9,
  kCommit = 10,
  kRollback = 11,
  kSelectForUpdate = 12,
  kSetGenerator = 13
};

}  // namespace xg
