#include "db/ib_transaction.h"

#include <cstdint>
#include <stdexcept>

#include "db/ib_client_library.h"
#include "db/ib_database.h"
#include "db/ib_messages.h"

namespace xg {
namespace {

// A commit refused because the network request could not be completed: the connection is gone,
// so the database closes at once.
constexpr int32_t kNetworkSqlCode = -902;
constexpr ISC_STATUS kNetworkError = 335544721;

// The parameters of a read-committed read-only transaction that reads the newest committed
// version of a record rather than waiting for a writer to end.
constexpr char kReadCommittedReadOnly[] = {isc_tpb_version3, isc_tpb_read, isc_tpb_read_committed,
                                           isc_tpb_rec_version};

// The start call's entry for the database, laid out as the client library reads it.
struct TransactionEntry {
  isc_db_handle* database;
  int32_t buffer_length;
  const char* buffer;
};

}  // namespace

IbTransaction::IbTransaction(IbDatabase& database) : client_(IbClient()), database_(database) {
  if (database_.transaction_ != nullptr) {
    throw std::logic_error("a transaction is already made on this database");
  }
  database_.transaction_ = this;
}

IbTransaction::~IbTransaction() {
  RollBackByForce();
  database_.transaction_ = nullptr;
}

void IbTransaction::StartTransaction(TransactionMode mode) {
  if (Active()) ThrowClientError(ClientError::kInTransaction);
  if (!database_.Connected()) ThrowClientError(ClientError::kDatabaseClosed);
  // The server's default: no transaction parameters at all.
  TransactionEntry entry{database_.Handle(), 0, nullptr};
  if (mode == TransactionMode::kReadCommittedReadOnly)
    entry = {database_.Handle(), sizeof kReadCommittedReadOnly, kReadCommittedReadOnly};
  if (client_.isc_start_multiple(status_.get(), &handle_, 1, &entry) != 0) {
    handle_ = 0;
    // The start is a call on the attachment: a network failure there means the connection is
    // gone.
    database_.ThrowFailure(status_, FailedCall::kOnAttachment);
  }
}

ISC_STATUS IbTransaction::Call(TransactionAction action, StatusVector& status) {
  return action == TransactionAction::kCommit
             ? client_.isc_commit_transaction(status.get(), &handle_)
             : client_.isc_rollback_transaction(status.get(), &handle_);
}

void IbTransaction::End(TransactionAction action) {
  if (!Active()) ThrowClientError(ClientError::kNotInTransaction);
  if (Call(action, status_) == 0) return;
  const bool network_lost =
      client_.isc_sqlcode(status_.get()) == kNetworkSqlCode && status_.ErrorCode() == kNetworkError;
  if (network_lost) {
    CleanUpOnFailure([&] { ThrowDatabaseError(status_); },
                     [&] {
                       database_.ForceClose();
                       handle_ = 0;
                     });
  }
  database_.ThrowFailure(status_);
}

bool IbTransaction::RollBackByForce() {
  if (!Active()) return true;
  StatusVector status;
  const bool rolled_back = Call(TransactionAction::kRollback, status) == 0;
  handle_ = 0;
  return rolled_back;
}

}  // namespace xg
