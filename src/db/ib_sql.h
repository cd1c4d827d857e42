// IbSql: one statement of the client API in a transaction (and so on the transaction's
// database): its text with the parameter markers replaced, preparation (with the server's
// statement type and the described parameters and columns), execution, the cursor and fetching
// one row at a time. It releases its statement handle when destroyed, which is before its
// transaction and its database are.
#pragma once

#include <ibase.h>

#include <functional>
#include <string>
#include <vector>

#include "db/ib_error.h"
#include "db/ib_xsqlda.h"
#include "db/sql_params.h"
#include "db/sql_statement_type.h"

namespace xg {

class IbClientLibrary;
class IbDatabase;
class IbTransaction;

class IbSql {
 public:
  explicit IbSql(IbTransaction& transaction);
  ~IbSql();
  IbSql(const IbSql&) = delete;
  IbSql& operator=(const IbSql&) = delete;

  IbDatabase& Database() const { return database_; }
  IbTransaction& Transaction() const { return transaction_; }

  // The statement text as given (lines joined with CR LF). Unprepares; parses the parameter
  // markers at once, so a malformed text raises here.
  void SetSql(const std::string& text);

  bool Prepared() const { return handle_ != 0; }
  // Allocates, prepares, asks the statement type and describes parameters and columns.
  void Prepare();
  SqlStatementType SqlType() const { return sql_type_; }
  IbXsqlda& Current() { return current_; }
  // Every parameter of the text sent as null (the services never give values).
  void SetParamsNull();

  // Opens the cursor of a SELECT (the cursor gets a fresh GUID as its name).
  void ExecQuery();
  bool Open() const { return open_; }
  // The next row into the result area; false at the end of the data.
  bool Next();
  // Executes a statement that returns no rows: an EXECUTE PROCEDURE with room for its output
  // (tried a second time after preparing again, unless the server reported 335544345), any
  // other without output.
  void ExecNoCursor();
  void Close();
  void FreeHandle();

  // The connection checks every statement operation makes: the database is connected (else
  // EIBClientError 15), the transaction active (started here when it is not).
  void CheckDatabase() const;
  void CheckTransaction() const;

 private:
  void PrepareAllocated();
  // Describes into the area (grown to what the server reports), checks the column types and
  // points the entries at buffers.
  void Describe(IbXsqlda& area, const std::function<ISC_STATUS(XSQLDA*)>& describe);
  void DescribeOutput();
  void CheckKnownTypes(IbXsqlda& area);
  void CheckStatus(ISC_STATUS result);

  const IbClientLibrary& client_;
  IbDatabase& database_;
  IbTransaction& transaction_;
  StatusVector status_;
  ProcessedSql processed_;
  isc_stmt_handle handle_ = 0;
  SqlStatementType sql_type_ = SqlStatementType::kUnknown;
  bool open_ = false;
  bool described_ = false;
  IbXsqlda params_;
  IbXsqlda current_;
};

}  // namespace xg
