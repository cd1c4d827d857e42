#include "db/ib_error.h"

#include <cstring>
#include <memory>
#include <type_traits>

#include "db/ib_client_library.h"
#include "db/ib_messages.h"
#include "process/stop_signals.h"
#include "texts/resource_strings.h"

namespace xg {

// The layer's own names of the client library's types (db/client_types.h) are the library's.
static_assert(std::is_same_v<DatabaseHandle, isc_db_handle>);
static_assert(std::is_same_v<TransactionHandle, isc_tr_handle>);
static_assert(std::is_same_v<StatusWord, ISC_STATUS>);
static_assert(kStatusLength == ISC_STATUS_LENGTH);

namespace {

// Room for one message line; the bounded interpreter never writes past it.
constexpr unsigned kMessageBufferSize = 20480;

ISC_LONG InterpretNext(const IbClientLibrary& client, char* buffer, const ISC_STATUS** cursor) {
  if (client.fb_interpret.Available()) {
    return client.fb_interpret(buffer, kMessageBufferSize, cursor);
  }
  return client.isc_interprete(buffer, const_cast<ISC_STATUS**>(cursor));
}

}  // namespace

std::string ServerErrorMessage(const StatusWord* status) {
  // The message shows the server's lines only: neither the SQLCODE nor the SQL message.
  const IbClientLibrary& client = IbClient();
  std::string text;
  auto buffer = std::make_unique<char[]>(kMessageBufferSize);
  const ISC_STATUS* cursor = status;
  while (true) {
    buffer[0] = '\0';
    if (InterpretNext(client, buffer.get(), &cursor) <= 0) break;
    if (!text.empty() && text.back() != '\n') text += "\r\n";
    text.append(buffer.get(), strnlen(buffer.get(), kMessageBufferSize));
  }
  if (!text.empty() && text.back() == '.') text.pop_back();
  return text;
}

bool StatusVector::Has(StatusWord code) const {
  // Entries come in pairs (kind, value); strings in the vector take one value, counted strings
  // two. The vector ends at isc_arg_end.
  for (int i = 0; i + 1 < ISC_STATUS_LENGTH && status_[i] != isc_arg_end;) {
    ISC_STATUS kind = status_[i];
    if (kind == isc_arg_gds && status_[i + 1] == code) return true;
    i += kind == isc_arg_cstring ? 3 : 2;
  }
  return false;
}

[[noreturn]] void ThrowDatabaseError(const StatusVector& status) {
  // A call that a termination signal cancelled (or that failed once it arrived) stops the
  // request instead of becoming its answer.
  ThrowIfStopped();
  const IbClientLibrary& client = IbClient();
  const auto ib_error_code = static_cast<int32_t>(status.ErrorCode());
  const auto sql_code = static_cast<int32_t>(client.isc_sqlcode(status.get()));
  std::string message = ServerErrorMessage(status.get());
  if (sql_code == kSqlCodeNoPermission) {
    throw EIBInterBaseRoleError(std::move(message), sql_code, ib_error_code);
  }
  throw EIBInterBaseError(std::move(message), sql_code, ib_error_code);
}

[[noreturn]] void ThrowClientError(ClientError error, std::initializer_list<FormatArg> args) {
  std::string text = LoadResString(ClientErrorResource(error));
  if (args.size() > 0) text = Format(text, args);
  throw EIBClientError(std::move(text), static_cast<int32_t>(error), 0);
}

}  // namespace xg
