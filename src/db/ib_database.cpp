#include "db/ib_database.h"

#include <stdexcept>

#include "db/database_params.h"
#include "db/ib_client_library.h"
#include "db/ib_messages.h"
#include "db/ib_transaction.h"
#include "process/module_address.h"
#include "process/stop_signals.h"

namespace xg {
namespace {

constexpr ISC_STATUS kLostConnection = 335544741;
// "connection shutdown": the server ended the attachment (its shutdown, a delete from
// MON$ATTACHMENTS); nothing more can be done on it.
constexpr ISC_STATUS kAttachmentShutDown = 335544856;
constexpr ISC_STATUS kNetworkReadError = 335544726;
constexpr ISC_STATUS kNetworkWriteError = 335544727;
constexpr char kDialectItem = isc_info_db_sql_dialect;
// The attach call takes the name's length as a signed 16-bit number.
constexpr size_t kMaxDatabaseNameLength = 32767;

}  // namespace

IbDatabase::IbDatabase() : client_(IbClient()) {}

IbDatabase::~IbDatabase() {
  ForceClose();
}

bool IbDatabase::EndTransactions() {
  return transaction_ == nullptr || !transaction_->Active() || transaction_->RollBackByForce();
}

void IbDatabase::CheckNotConnected() const {
  if (Connected()) ThrowClientError(ClientError::kDatabaseOpen);
}

void IbDatabase::SetDatabaseName(std::string name) {
  CheckNotConnected();
  database_name_ = std::move(name);
}

void IbDatabase::SetAttachParams(AttachParams params) {
  CheckNotConnected();
  params_ = std::move(params);
}

void IbDatabase::Connect() {
  if (!Connected()) Attach();
}

void IbDatabase::Attach() {
  if (database_name_.empty()) ThrowClientError(ClientError::kDatabaseNameMissing);
  if (database_name_.size() > kMaxDatabaseNameLength)
    ThrowClientError(ClientError::kDatabaseNameTooLong);
  const std::string parameter_buffer = BuildDatabaseParams(params_);
  // A request that a termination signal stopped attaches nothing more; one stopped during the
  // attach (which cannot be cancelled) stops as soon as it returns, and detaches.
  ThrowIfStopped();
  const ISC_STATUS attached = client_.isc_attach_database(
      status_.get(), static_cast<short>(database_name_.size()), database_name_.data(), &handle_,
      static_cast<short>(parameter_buffer.size()), parameter_buffer.data());
  // An attach loads the library's plugins (the engine, the network provider) the first time.
  NoteLoadedModules();
  if (attached != 0) {
    handle_ = 0;
    ThrowDatabaseError(status_);
  }
  RegisterAttachment(handle_);
  attached_at_ = std::chrono::steady_clock::now();
  ThrowIfStopped();
  ReadDatabaseDialect();
  if (db_sql_dialect_ < sql_dialect_) sql_dialect_ = db_sql_dialect_;
}

void IbDatabase::ReadDatabaseDialect() {
  char result[512] = {};
  CheckStatus(
      client_.isc_database_info(status_.get(), &handle_, 1, &kDialectItem, sizeof(result), result),
      status_, FailedCall::kOnAttachment);
  if (result[0] != kDialectItem) {
    db_sql_dialect_ = 1;
    return;
  }
  const auto length = static_cast<short>(client_.isc_vax_integer(result + 1, 2));
  db_sql_dialect_ = static_cast<int>(client_.isc_vax_integer(result + 3, length));
}

std::string IbDatabase::OpenedFileName() {
  // The answer: the item, its 2-byte length, a count of strings, then each string after its
  // 1-byte length: the file's name first, the site's next.
  static const char kIdItem = isc_info_db_id;
  char result[1024] = {};
  CheckStatus(
      client_.isc_database_info(status_.get(), &handle_, 1, &kIdItem, sizeof(result), result),
      status_, FailedCall::kOnAttachment);
  if (result[0] != kIdItem) return std::string();
  const auto length = static_cast<size_t>(client_.isc_vax_integer(result + 1, 2));
  const unsigned char* data = reinterpret_cast<const unsigned char*>(result + 3);
  if (length < 2 || 3 + length > sizeof(result) || data[0] == 0) return std::string();
  const size_t name_length = data[1];
  if (2 + name_length > length) return std::string();
  return std::string(reinterpret_cast<const char*>(data + 2), name_length);
}

void IbDatabase::Disconnect() {
  if (!Connected()) return;
  CleanUpOnFailure(
      [&] {
        EndTransactions();
        UnregisterAttachment(handle_);
        CheckStatus(client_.isc_detach_database(status_.get(), &handle_), status_,
                    FailedCall::kOnAttachment);
      },
      [&] { ForceClose(); });
  handle_ = 0;
  db_sql_dialect_ = 1;
}

void IbDatabase::ForceClose() {
  if (!Connected()) return;
  EndTransactions();
  UnregisterAttachment(handle_);
  StatusVector ignored;
  client_.isc_detach_database(ignored.get(), &handle_);
  handle_ = 0;
  db_sql_dialect_ = 1;
}

[[noreturn]] void IbDatabase::ThrowFailure(const StatusVector& status, FailedCall call) {
  const bool lost = status.Has(kLostConnection) || status.Has(kAttachmentShutDown) ||
                    (call == FailedCall::kOnAttachment &&
                     (status.Has(kNetworkReadError) || status.Has(kNetworkWriteError)));
  if (lost) CleanUpOnFailure([&] { ThrowDatabaseError(status); }, [&] { ForceClose(); });
  ThrowDatabaseError(status);
}

}  // namespace xg
