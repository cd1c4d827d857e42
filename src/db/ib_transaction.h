// TIBTransaction: one transaction over the databases it lists (the services list one). Start,
// commit and roll back, optionally forced; a forced end never raises. A transaction still
// active when it is destroyed is rolled back by force.
#pragma once

#include <ibase.h>

#include <vector>

namespace xg {

class IBClientLibrary;
class IBSQLClient;
class TIBDatabase;

enum TTransactionAction {
  TARollback = 0,
  TACommit = 1,
  TARollbackRetaining = 2,
  TACommitRetaining = 3
};

class TIBTransaction {
 public:
  // Loads the client library if needed (raises EIBClientError 1 when it cannot be loaded).
  TIBTransaction();
  ~TIBTransaction();
  TIBTransaction(const TIBTransaction&) = delete;
  TIBTransaction& operator=(const TIBTransaction&) = delete;

  TIBDatabase* DefaultDatabase() const { return defaultDatabase_; }
  // Lists the database and registers the transaction with it.
  void SetDefaultDatabase(TIBDatabase* database);

  TTransactionAction DefaultAction() const { return defaultAction_; }
  void SetDefaultAction(TTransactionAction action) { defaultAction_ = action; }
  bool AllowAutoStart() const { return allowAutoStart_; }
  void SetAllowAutoStart(bool value) { allowAutoStart_ = value; }

  bool Active() const { return handle_ != 0; }
  // true starts an inactive transaction, false rolls an active one back; otherwise nothing.
  void SetActive(bool value);

  void StartTransaction();
  void Commit() { EndTransaction(TACommit, false); }
  void Rollback() { EndTransaction(TARollback, false); }
  void EndTransaction(TTransactionAction action, bool force);

  isc_tr_handle* Handle() { return &handle_; }

  void AddSQLObject(IBSQLClient* client);
  void RemoveSQLObject(IBSQLClient* client);
  // Called by a database that is being destroyed.
  void RemoveDatabase(TIBDatabase* database);

 private:
  const IBClientLibrary& client_;
  TIBDatabase* defaultDatabase_ = nullptr;
  std::vector<TIBDatabase*> databases_;
  std::vector<IBSQLClient*> sqlObjects_;
  TTransactionAction defaultAction_ = TACommit;
  bool allowAutoStart_ = true;
  isc_tr_handle handle_ = 0;
};

}  // namespace xg
