// TIBSQL: one statement of the client API on a database and a transaction: its text with the
// parameter markers replaced, preparation (with the server's statement type and the described
// parameters and columns), execution, the cursor and fetching one row at a time. It releases its
// statement handle before its transaction ends or its database detaches, and when destroyed.
#pragma once

#include <ibase.h>

#include <functional>
#include <string>
#include <vector>

#include "db/ib_sql_client.h"
#include "db/ib_xsqlda.h"
#include "db/sql_params.h"

namespace xg {

class IBClientLibrary;
class TIBDatabase;
class TIBTransaction;

// The server's statement types.
enum TIBSQLTypes {
  SQLUnknown = 0,
  SQLSelect = 1,
  SQLInsert = 2,
  SQLUpdate = 3,
  SQLDelete = 4,
  SQLDDL = 5,
  SQLGetSegment = 6,
  SQLPutSegment = 7,
  SQLExecProcedure = 8,
  SQLStartTransaction = 9,
  SQLCommit = 10,
  SQLRollback = 11,
  SQLSelectForUpdate = 12,
  SQLSetGenerator = 13
};

class TIBSQL : public IBSQLClient {
 public:
  TIBSQL();
  ~TIBSQL() override;
  TIBSQL(const TIBSQL&) = delete;
  TIBSQL& operator=(const TIBSQL&) = delete;

  TIBDatabase* Database() const { return database_; }
  TIBTransaction* Transaction() const { return transaction_; }
  // Binding registers the statement with the component (and unprepares it).
  void SetDatabase(TIBDatabase* database);
  void SetTransaction(TIBTransaction* transaction);

  // The statement text as given (lines joined with CR LF). Unprepares; parses the parameter
  // markers at once, so a malformed text raises here.
  void SetSQL(const std::string& text);
  const std::string& SQL() const { return sql_; }
  const std::vector<std::string>& ParamNames() const { return processed_.ParamNames; }

  bool Prepared() const { return handle_ != 0; }
  // Allocates, prepares, asks the statement type and describes parameters and columns.
  void Prepare();
  int SQLType() const { return sqlType_; }
  TIBXSQLDA& Params() { return params_; }
  TIBXSQLDA& Current() { return current_; }
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

  // Told when the statement is closed and released from outside (transaction end, disconnect).
  void SetOnRelease(std::function<void()> callback) { onRelease_ = std::move(callback); }

  // The connection checks every statement operation makes.
  void CheckDatabase() const;
  void CheckTransaction() const;

  void BeforeTransactionEnd() override;
  void BeforeDatabaseDisconnect() override;
  void TransactionFreed() override;
  void DatabaseFreed() override;

 private:
  void DescribeOutput();
  void CheckKnownTypes(TIBXSQLDA& area);
  void Check(ISC_STATUS result);
  void Release();

  const IBClientLibrary& client_;
  TIBDatabase* database_ = nullptr;
  TIBTransaction* transaction_ = nullptr;
  std::string sql_;
  TProcessedSQL processed_;
  isc_stmt_handle handle_ = 0;
  int sqlType_ = SQLUnknown;
  bool open_ = false;
  bool described_ = false;
  TIBXSQLDA params_;
  TIBXSQLDA current_;
  std::function<void()> onRelease_;
};

}  // namespace xg
