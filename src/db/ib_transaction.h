// IbTransaction: one transaction on a database, made on the database it takes in its
// constructor. Start, commit and roll back. Only an explicit commit keeps its work: a transaction
// still active when its database disconnects or closes, or when it is destroyed, is rolled back
// by force (never raising), so that a failure that leaves the code between the statement and the
// commit leaves nothing in the database.
#pragma once

#include "db/client_types.h"
#include "db/ib_error.h"

namespace xg {

class IbClientLibrary;
class IbDatabase;

enum class TransactionAction { kRollback, kCommit };

// The options a transaction starts with: the server's default (a snapshot that may write), or a
// read-only transaction in which each statement sees what was committed before it began.
enum class TransactionMode { kServerDefault, kReadCommittedReadOnly };

class IbTransaction {
 public:
  // Loads the client library if needed (raises EIBClientError 1 when it cannot be loaded). One
  // transaction at a time is made on a database.
  explicit IbTransaction(IbDatabase& database);
  ~IbTransaction();
  IbTransaction(const IbTransaction&) = delete;
  IbTransaction& operator=(const IbTransaction&) = delete;

  IbDatabase& Database() const { return database_; }

  bool Active() const { return handle_ != 0; }
  void StartTransaction(TransactionMode mode = TransactionMode::kServerDefault);
  void Commit() { End(TransactionAction::kCommit); }
  void Rollback() { End(TransactionAction::kRollback); }
  // Raises what the client library reports; a commit that lost the network closes the
  // database by force first.
  void End(TransactionAction action);
  // Rolls back by force; nothing is raised. Answers whether the rollback succeeded (true when
  // not active).
  bool RollBackByForce();

  TransactionHandle* Handle() { return &handle_; }

 private:
  StatusWord Call(TransactionAction action, StatusVector& status);

  const IbClientLibrary& client_;
  IbDatabase& database_;
  StatusVector status_;
  TransactionHandle handle_ = 0;
};

}  // namespace xg
