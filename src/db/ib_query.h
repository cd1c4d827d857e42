// IbQuery: a statement in a transaction with its fields and its row cache, as the SQL services
// use it. Open prepares, describes the columns into field definitions, executes and opens the
// cursor; rows are fetched into the cache (grown 1000 rows at a time) and walked with First, Next
// and Last.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "db/ib_field_def.h"
#include "db/ib_field_value.h"
#include "db/ib_sql.h"
#include "runtime/variant.h"

namespace xg {

class IbClientLibrary;
class IbTransaction;

class IbQuery {
 public:
  explicit IbQuery(IbTransaction& transaction);
  ~IbQuery();
  IbQuery(const IbQuery&) = delete;
  IbQuery& operator=(const IbQuery&) = delete;

  // The statement text; it is split into lines and its parameter markers are parsed at once
  // (a malformed text raises EIBClientError 55 here). Closes and unprepares the query.
  void SetSQL(const std::string& text);

  void Open();
  void Close();
  bool Active() const { return active_; }
  // Executes a statement that returns no rows (not a SELECT: that raises EIBClientError 66).
  void ExecSQL();
  int StatementType() const;

  // Navigation over the row cache.
  void First();
  void Last();
  void Next();
  bool Eof() const { return eof_; }
  int RecordCount() const { return row_count_; }
  // 1-based position of the current row; 0 when there is none.
  int RecNo() const;

  // Called after each row is fetched into the cache with the number of bytes of its text and
  // byte values; a failure it raises stops the fetching and leaves the call that fetched.
  void SetRowFetchedHandler(std::function<void(size_t)> handler) {
    on_row_fetched_ = std::move(handler);
  }

  int FieldCount() const { return static_cast<int>(fields_.size()); }
  // Raises EIBClientError 26 outside 0..FieldCount()-1.
  const FieldDef& Field(int index) const;
  // The field's value in the current row: Null when there is no current row.
  Variant FieldValue(int index);

 private:
  void CheckCursor() const;
  void BuildFieldDefs();
  bool FetchRow();
  std::string ReadBlob(const ISC_QUAD& id);
  void ReleaseRows();
  const CachedCell& Cell(int row, int column) const;

  const IbClientLibrary& client_;
  IbSql statement_;
  StatusVector status_;  // of the blob reads
  std::string sql_text_;
  std::vector<FieldDef> field_defs_;
  std::vector<FieldDef> fields_;
  bool active_ = false;
  bool has_cursor_ = false;
  // The row cache: chunks of 1000 rows, each row one cell per output column. Chunks
  // are never moved once filled, so the cache grows without copying what it holds.
  std::vector<std::vector<CachedCell>> chunks_;
  int columns_ = 0;
  int row_count_ = 0;
  int current_ = -1;
  bool eof_ = false;
  bool fetched_all_ = false;
  std::function<void(size_t)> on_row_fetched_;
};

}  // namespace xg
