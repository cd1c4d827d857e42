#include "db/ib_transaction.h"

#include <algorithm>
#include <cstdint>
#include <exception>

#include "db/ib_client_library.h"
#include "db/ib_database.h"
#include "db/ib_error.h"
#include "db/ib_messages.h"
#include "db/ib_sql_client.h"

namespace xg {
namespace {

// A commit refused because the network request could not be completed: the connection is gone,
// so the database closes at once.
constexpr int32_t kNetworkSQLCode = -902;
constexpr ISC_STATUS kNetworkError = 335544721;

// One entry of the start call per database, laid out as the client library reads it.
struct TransactionEntry {
  isc_db_handle* database;
  int32_t bufferLength;
  const char* buffer;
};

}  // namespace

TIBTransaction::TIBTransaction() : client_(IBClient()) {}

TIBTransaction::~TIBTransaction() {
  if (Active()) {
    try {
      EndTransaction(TARollback, true);
    } catch (...) {
    }
  }
  for (IBSQLClient* sql : std::vector<IBSQLClient*>(sqlObjects_)) sql->TransactionFreed();
  for (TIBDatabase* database : databases_) database->RemoveTransaction(this);
}

void TIBTransaction::SetDefaultDatabase(TIBDatabase* database) {
  if (database == defaultDatabase_) return;
  if (defaultDatabase_ != nullptr) {
    defaultDatabase_->RemoveTransaction(this);
    std::erase(databases_, defaultDatabase_);
  }
  defaultDatabase_ = database;
  if (database != nullptr) {
    databases_.push_back(database);
    database->AddTransaction(this);
  }
}

void TIBTransaction::RemoveDatabase(TIBDatabase* database) {
  std::erase(databases_, database);
  if (defaultDatabase_ == database) defaultDatabase_ = nullptr;
}

void TIBTransaction::SetActive(bool value) {
  if (value && !Active()) {
    StartTransaction();
  } else if (!value && Active()) {
    Rollback();
  }
}

void TIBTransaction::StartTransaction() {
  if (Active()) IBError(ibcInTransaction);
  if (databases_.empty()) IBError(ibcNoDatabasesInTransaction);
  for (TIBDatabase* database : databases_) {
    if (!database->Connected()) IBError(ibcDatabaseClosed);
  }
  // No transaction parameters: the server's default options apply.
  std::vector<TransactionEntry> entries;
  for (TIBDatabase* database : databases_) entries.push_back({database->Handle(), 0, nullptr});
  if (client_.isc_start_multiple(StatusVector(), &handle_, static_cast<short>(entries.size()),
                                 entries.data()) != 0) {
    handle_ = 0;
    if (defaultDatabase_ != nullptr) defaultDatabase_->RaiseFailure();
    IBDataBaseError();
  }
}

void TIBTransaction::EndTransaction(TTransactionAction action, bool force) {
  if (!Active()) IBError(ibcNotInTransaction);
  for (IBSQLClient* sql : std::vector<IBSQLClient*>(sqlObjects_)) {
    if (force) {
      try {
        sql->BeforeTransactionEnd();
      } catch (...) {
      }
    } else {
      sql->BeforeTransactionEnd();
    }
  }

  ISC_STATUS* status = StatusVector();
  ISC_STATUS result = 0;
  switch (action) {
    case TACommit:
      result = client_.isc_commit_transaction(status, &handle_);
      break;
    case TARollback:
      result = client_.isc_rollback_transaction(status, &handle_);
      break;
    case TACommitRetaining:
      result = client_.isc_commit_retaining(status, &handle_);
      break;
    case TARollbackRetaining:
      result = client_.isc_rollback_retaining(status, &handle_);
      break;
  }

  if (force) {
    if (result != 0) {
      ISC_STATUS_ARRAY ignored{};
      client_.isc_rollback_transaction(ignored, &handle_);
    }
    handle_ = 0;
    return;
  }
  if (result != 0) {
    const bool networkLost =
        client_.isc_sqlcode(status) == kNetworkSQLCode && status[1] == kNetworkError;
    if (networkLost && defaultDatabase_ != nullptr) {
      std::exception_ptr failure;
      try {
        IBDataBaseError();
      } catch (...) {
        failure = std::current_exception();
      }
      defaultDatabase_->ForceClose();
      handle_ = 0;
      std::rethrow_exception(failure);
    }
    if (defaultDatabase_ != nullptr) defaultDatabase_->RaiseFailure();
    IBDataBaseError();
  }
}

void TIBTransaction::AddSQLObject(IBSQLClient* client) {
  if (std::find(sqlObjects_.begin(), sqlObjects_.end(), client) == sqlObjects_.end()) {
    sqlObjects_.push_back(client);
  }
}

void TIBTransaction::RemoveSQLObject(IBSQLClient* client) {
  std::erase(sqlObjects_, client);
}

}  // namespace xg
