#include "db/ib_error.h"

#include <cstring>
#include <memory>
#include <mutex>

#include "db/ib_client_library.h"
#include "db/ib_messages.h"
#include "runtime/resource_strings.h"
#include "runtime/stop_signals.h"

namespace xg {
namespace {

// Which parts a server failure's message shows: the SQLCODE line, the server's messages, the
// SQL message. The set is fixed; the SQL message is never shown.
enum MessageOption : unsigned { moSQLCode = 1, moServerMessages = 2, moSQLMessage = 4 };

unsigned MessageOptions() {
  static std::mutex lock;
  static const unsigned options = moServerMessages | moSQLMessage;
  std::lock_guard<std::mutex> guard(lock);
  return options & ~static_cast<unsigned>(moSQLMessage);
}

// Room for one message line; the bounded interpreter never writes past it.
constexpr unsigned kMessageBufferSize = 20480;

ISC_LONG InterpretNext(const IBClientLibrary& client, char* buffer, const ISC_STATUS** cursor) {
  if (client.fb_interpret.Available()) {
    return client.fb_interpret(buffer, kMessageBufferSize, cursor);
  }
  return client.isc_interprete(buffer, const_cast<ISC_STATUS**>(cursor));
}

}  // namespace

ISC_STATUS* StatusVector() {
  thread_local ISC_STATUS_ARRAY status{};
  return status;
}

std::string ServerErrorMessage(const ISC_STATUS* status) {
  const IBClientLibrary& client = IBClient();
  const unsigned options = MessageOptions();
  std::string text;
  if (options & moSQLCode) {
    text = "SQLCODE: ";
    text += std::to_string(client.isc_sqlcode(status));
  }
  if (options & moServerMessages) {
    if (options & moSQLCode) text += "\r\n";
    auto buffer = std::make_unique<char[]>(kMessageBufferSize);
    const ISC_STATUS* cursor = status;
    while (true) {
      buffer[0] = '\0';
      if (InterpretNext(client, buffer.get(), &cursor) <= 0) break;
      if (!text.empty() && text.back() != '\n') text += "\r\n";
      text.append(buffer.get(), strnlen(buffer.get(), kMessageBufferSize));
    }
  }
  if (!text.empty() && text.back() == '.') text.pop_back();
  return text;
}

bool StatusHasErrorCode(const ISC_STATUS* status, ISC_STATUS code) {
  // Entries come in pairs (kind, value); strings in the vector take one value, counted strings
  // two. The vector ends at isc_arg_end.
  for (int i = 0; i + 1 < ISC_STATUS_LENGTH && status[i] != isc_arg_end;) {
    ISC_STATUS kind = status[i];
    if (kind == isc_arg_gds && status[i + 1] == code) return true;
    i += kind == isc_arg_cstring ? 3 : 2;
  }
  return false;
}

[[noreturn]] void IBDataBaseError() {
  // A call that a termination signal cancelled (or that failed once it arrived) stops the
  // request instead of becoming its answer.
  ThrowIfStopped();
  const ISC_STATUS* status = StatusVector();
  const IBClientLibrary& client = IBClient();
  const auto ibErrorCode = static_cast<int32_t>(status[1]);
  const auto sqlCode = static_cast<int32_t>(client.isc_sqlcode(status));
  std::string message = ServerErrorMessage(status);
  if (sqlCode == kSQLCodeNoPermission) {
    throw EIBInterBaseRoleError(std::move(message), sqlCode, ibErrorCode);
  }
  throw EIBInterBaseError(std::move(message), sqlCode, ibErrorCode);
}

[[noreturn]] void IBError(int number, std::initializer_list<FormatArg> args) {
  std::string text = LoadResString(IBClientMessageResource(number));
  if (args.size() > 0) text = Format(text, args);
  throw EIBClientError(std::move(text), number, 0);
}

}  // namespace xg
