#include "db/ib_database.h"

#include <algorithm>
#include <exception>

#include "db/database_params.h"
#include "db/ib_client_library.h"
#include "db/ib_error.h"
#include "db/ib_messages.h"
#include "db/ib_schema_cache.h"
#include "db/ib_sql_client.h"
#include "db/ib_transaction.h"
#include "runtime/stop_signals.h"

namespace xg {
namespace {

constexpr ISC_STATUS kLostConnection = 335544741;
constexpr ISC_STATUS kNetworkReadError = 335544726;
constexpr ISC_STATUS kNetworkWriteError = 335544727;
constexpr char kDialectItem = isc_info_db_sql_dialect;
// The attach call takes the name's length as a signed 16-bit number.
constexpr size_t kMaxDatabaseNameLength = 32767;

// Copy of the list, so that members may unregister themselves while it is walked.
template <class T>
std::vector<T*> Snapshot(const std::vector<T*>& list) {
  return list;
}

}  // namespace

TIBDatabase::TIBDatabase() : client_(IBClient()) {
  internalTransaction_ = std::make_unique<TIBTransaction>();
  internalTransaction_->SetDefaultDatabase(this);
  schemaCache_ = std::make_unique<IBSchemaCache>(*this);
}

TIBDatabase::~TIBDatabase() {
  ForceClose();
  schemaCache_.reset();
  internalTransaction_.reset();
  for (TIBTransaction* transaction : Snapshot(transactions_)) transaction->RemoveDatabase(this);
  for (IBSQLClient* sql : Snapshot(sqlObjects_)) sql->DatabaseFreed();
}

void TIBDatabase::CheckNotConnected() const {
  if (Connected()) IBError(ibcDatabaseOpen);
}

void TIBDatabase::SetDatabaseName(std::string name) {
  CheckNotConnected();
  databaseName_ = std::move(name);
}

void TIBDatabase::SetParams(std::vector<std::string> params) {
  CheckNotConnected();
  params_ = std::move(params);
  paramsChanged_ = true;
}

void TIBDatabase::SetConnectionConfig(std::string text) {
  CheckNotConnected();
  connectionConfig_ = std::move(text);
  paramsChanged_ = true;
}

void TIBDatabase::AddParam(std::string line) {
  CheckNotConnected();
  params_.push_back(std::move(line));
  paramsChanged_ = true;
}

void TIBDatabase::SetConnected(bool value) {
  if (value == Connected()) return;
  if (value) {
    Attach();
  } else {
    Disconnect();
  }
}

void TIBDatabase::Attach() {
  CheckNotConnected();
  if (databaseName_.empty()) IBError(ibcDatabaseNameMissing);
  if (databaseName_.size() > kMaxDatabaseNameLength) IBError(ibcDatabaseNameTooLong);
  // No login dialog exists here; without one the parameters are rebuilt at every attach.
  if (!loginPrompt_) paramsChanged_ = true;
  if (paramsChanged_) {
    parameterBuffer_ = BuildDatabaseParams(params_);
    if (!connectionConfig_.empty()) AppendConnectionConfig(parameterBuffer_, connectionConfig_);
    paramsChanged_ = false;
  }
  // A request that a termination signal stopped attaches nothing more; one stopped during the
  // attach (which cannot be cancelled) stops as soon as it returns, and detaches.
  ThrowIfStopped();
  if (client_.isc_attach_database(
          StatusVector(), static_cast<short>(databaseName_.size()), databaseName_.data(), &handle_,
          static_cast<short>(parameterBuffer_.size()), parameterBuffer_.data()) != 0) {
    handle_ = 0;
    IBDataBaseError();
  }
  RegisterAttachment(handle_);
  ThrowIfStopped();
  ReadDatabaseDialect();
  if (dbSQLDialect_ < sqlDialect_) sqlDialect_ = dbSQLDialect_;
}

void TIBDatabase::ReadDatabaseDialect() {
  char result[512] = {};
  Check(
      client_.isc_database_info(StatusVector(), &handle_, 1, &kDialectItem, sizeof(result), result),
      true);
  if (result[0] != kDialectItem) {
    dbSQLDialect_ = 1;
    return;
  }
  const auto length = static_cast<short>(client_.isc_vax_integer(result + 1, 2));
  dbSQLDialect_ = static_cast<int>(client_.isc_vax_integer(result + 3, length));
}

void TIBDatabase::Disconnect() {
  try {
    for (IBSQLClient* sql : Snapshot(sqlObjects_)) sql->BeforeDatabaseDisconnect();
    for (TIBTransaction* transaction : Snapshot(transactions_)) {
      if (!transaction->Active()) continue;
      const bool commit = transaction->DefaultAction() == TACommit ||
                          transaction->DefaultAction() == TACommitRetaining;
      transaction->EndTransaction(commit ? TACommit : TARollback, true);
    }
    UnregisterAttachment(handle_);
    if (client_.isc_detach_database(StatusVector(), &handle_) != 0) RaiseFailure(true);
  } catch (...) {
    std::exception_ptr failure = std::current_exception();
    ForceClose();
    std::rethrow_exception(failure);
  }
  handle_ = 0;
  dbSQLDialect_ = 1;
}

void TIBDatabase::ForceClose() {
  if (!Connected()) return;
  for (IBSQLClient* sql : Snapshot(sqlObjects_)) {
    try {
      sql->BeforeDatabaseDisconnect();
    } catch (...) {
    }
  }
  for (TIBTransaction* transaction : Snapshot(transactions_)) {
    if (!transaction->Active()) continue;
    const bool commit = transaction->DefaultAction() == TACommit ||
                        transaction->DefaultAction() == TACommitRetaining;
    try {
      transaction->EndTransaction(commit ? TACommit : TARollback, true);
    } catch (...) {
    }
  }
  UnregisterAttachment(handle_);
  ISC_STATUS_ARRAY ignored{};
  client_.isc_detach_database(ignored, &handle_);
  handle_ = 0;
  dbSQLDialect_ = 1;
}

[[noreturn]] void TIBDatabase::RaiseFailure(bool ownCall) {
  const ISC_STATUS* status = StatusVector();
  const bool lost = StatusHasErrorCode(status, kLostConnection) ||
                    (ownCall && (StatusHasErrorCode(status, kNetworkReadError) ||
                                 StatusHasErrorCode(status, kNetworkWriteError)));
  if (!lost) IBDataBaseError();
  std::exception_ptr failure;
  try {
    IBDataBaseError();
  } catch (...) {
    failure = std::current_exception();
  }
  ForceClose();
  std::rethrow_exception(failure);
}

void TIBDatabase::AddTransaction(TIBTransaction* transaction) {
  if (std::find(transactions_.begin(), transactions_.end(), transaction) == transactions_.end()) {
    transactions_.push_back(transaction);
  }
}

void TIBDatabase::RemoveTransaction(TIBTransaction* transaction) {
  std::erase(transactions_, transaction);
}

void TIBDatabase::AddSQLObject(IBSQLClient* client) {
  if (std::find(sqlObjects_.begin(), sqlObjects_.end(), client) == sqlObjects_.end()) {
    sqlObjects_.push_back(client);
  }
}

void TIBDatabase::RemoveSQLObject(IBSQLClient* client) {
  std::erase(sqlObjects_, client);
}

}  // namespace xg
