// What a statement bound to a database and a transaction is told before they end, so that it can
// drop its cursor and release its statement handle while the attachment is still there.
#pragma once

namespace xg {

class IBSQLClient {
 public:
  virtual ~IBSQLClient() = default;
  // The transaction is about to commit or roll back: close and release the statement.
  virtual void BeforeTransactionEnd() = 0;
  // The database is about to detach: close and release the statement.
  virtual void BeforeDatabaseDisconnect() = 0;
  // The component is being destroyed: forget it.
  virtual void TransactionFreed() = 0;
  virtual void DatabaseFreed() = 0;
};

}  // namespace xg
