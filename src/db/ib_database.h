// IbDatabase: one attachment to a database, the head of the chain attachment → transaction →
// statement. It builds the parameter buffer from its attach parameters, attaches, learns the
// database's SQL dialect, and on disconnect rolls back the transactions still active on it before
// it detaches. A database still connected when it is destroyed closes by
// force, so no attachment outlives its object.
#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "db/client_types.h"
#include "db/database_params.h"
#include "db/ib_error.h"

namespace xg {

class IbClientLibrary;
class IbTransaction;

// Which failures of a call mean that the connection is gone: a lost connection or an attachment
// the server shut down always; for the attachment's own calls (its transaction's start among
// them) a network read or write error as well.
enum class FailedCall { kOnStatement, kOnAttachment };

class IbDatabase {
 public:
  // Loads the client library if needed (raises EIBClientError 1 when it cannot be loaded).
  IbDatabase();
  ~IbDatabase();
  IbDatabase(const IbDatabase&) = delete;
  IbDatabase& operator=(const IbDatabase&) = delete;

  // Both refused with EIBClientError 16 while connected.
  void SetDatabaseName(std::string name);
  void SetAttachParams(AttachParams params);

  // The dialect statements are prepared and executed in; lowered at attach to the database's.
  int SqlDialect() const { return sql_dialect_; }
  // The dialect the database reported at attach; 3 before the first attach, 1 after a detach.
  int DbSqlDialect() const { return db_sql_dialect_; }

  bool Connected() const { return handle_ != 0; }
  // Attaches; does nothing when connected. Refuses, before the client library is called, a
  // name longer than the library's 16-bit length takes (EIBClientError 124): the library would
  // cut it.
  void Connect();
  // Rolls back the active transactions and detaches; does nothing when not connected.
  void Disconnect();
  // Ends every active transaction by force, detaches ignoring failures; never raises.
  void ForceClose();
  // Rolls back the active transaction without detaching, for an attachment that is kept for
  // another request (its request's transaction has normally been committed or rolled back by
  // then). Answers whether the rollback succeeded (when it failed the attachment should not be
  // kept).
  bool EndTransactions();
  // The file the engine opened for the current attachment, as it names it (symbolic links
  // resolved), from the attachment's identification: cut to 254 bytes by the engine. Raises the
  // failure of the call.
  std::string OpenedFileName();
  // When the current attachment was made (when the server checked its password).
  std::chrono::steady_clock::time_point AttachedAt() const { return attached_at_; }

  DatabaseHandle* Handle() { return &handle_; }

  // Throws the failure in the status vector. When it says the connection is gone (see
  // FailedCall), the database first closes by force.
  [[noreturn]] void ThrowFailure(const StatusVector& status,
                                 FailedCall call = FailedCall::kOnStatement);
  void CheckStatus(StatusWord result, const StatusVector& status,
                   FailedCall call = FailedCall::kOnStatement) {
    if (result != 0) ThrowFailure(status, call);
  }

 private:
  friend class IbTransaction;

  void Attach();
  void ReadDatabaseDialect();
  void CheckNotConnected() const;

  const IbClientLibrary& client_;
  StatusVector status_;
  std::string database_name_;
  AttachParams params_;
  int sql_dialect_ = 3;
  int db_sql_dialect_ = 3;
  DatabaseHandle handle_ = 0;
  std::chrono::steady_clock::time_point attached_at_;
  // Set and cleared by the transaction made on this database (one at a time).
  IbTransaction* transaction_ = nullptr;
};

}  // namespace xg
