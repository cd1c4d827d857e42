// IbQuery: a statement in a transaction with its fields and its cursor, as the SQL services use
// it. Open prepares, describes the columns into field definitions, executes and opens the
// cursor; the cursor moves forward only, one row at a time (First, Next), and the current
// row is read from the client library's result area: no row is kept once the next is fetched.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "db/column_value.h"
#include "db/field_def.h"
#include "db/sql_statement_type.h"
#include "values/variant.h"

namespace xg {

class IbClientLibrary;
class IbSql;
class IbTransaction;

class IbQuery {
 public:
  explicit IbQuery(IbTransaction& transaction);
  ~IbQuery();
  IbQuery(const IbQuery&) = delete;
  IbQuery& operator=(const IbQuery&) = delete;

  // The statement text; it is split into lines and its parameter markers are parsed at once
  // (a malformed text raises EIBClientError 55 here). Closes and unprepares the query.
  void SetSql(const std::string& text);

  void Open();
  void Close();
  bool Active() const { return active_; }
  // Executes a statement that returns no rows (not a SELECT: that raises EIBClientError 66).
  void ExecSql();
  SqlStatementType StatementType() const;

  // Forward navigation. First fetches the first row when none was fetched yet (and stays on it
  // when it is the current row); once the cursor has moved on it raises the EIBClientError of
  // a missing result set, since the rows behind are gone. Next fetches the next row, or sets Eof
  // and keeps the last row current.
  void First();
  void Next();
  bool Eof() const { return eof_; }
  // 1-based position of the current row; 0 when there is none.
  int RecNo() const { return has_row_ ? row_count_ : 0; }

  int FieldCount() const { return static_cast<int>(fields_.size()); }
  // Raises EIBClientError 26 outside 0..FieldCount()-1.
  const FieldDef& Field(int index) const;
  // The field's value in the current row: Null when there is no current row.
  Variant FieldValue(int index);
  // The field's typed value in the current row, for writers that write it without a Variant
  // (column_value.h): Null when there is no current row. A text in it points into the result
  // area, valid until the next fetch.
  ColumnValue FieldColumnValue(int index);
  int SqlDialect() const;

 private:
  void CheckCursor() const;
  void BuildFieldDefs();
  bool FetchRow();
  void ReleaseRows();

  const IbClientLibrary& client_;
  // Held apart so that the readers of a query see nothing of the client library's own types.
  std::unique_ptr<IbSql> statement_;
  std::string sql_text_;
  std::vector<FieldDef> field_defs_;
  std::vector<FieldDef> fields_;
  bool active_ = false;
  bool has_cursor_ = false;
  int row_count_ = 0;
  bool has_row_ = false;
  bool eof_ = false;
  bool fetched_all_ = false;
};

}  // namespace xg
