// The failures of the database layer: EIBInterBaseError (and EIBInterBaseRoleError for a missing
// permission) for what the server or the client library reports through a status vector,
// EIBClientError for the components' own checks. Their message texts are what a client reads.
// Also the one way of cleaning up after a failure before it goes on.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>

#include "db/ib_messages.h"
#include "db/status_vector.h"
#include "texts/exceptions.h"
#include "texts/format.h"

namespace xg {

class EIBError : public EDatabaseError {
 public:
  EIBError(std::string message, int32_t sql_code, int32_t ib_error_code)
      : EDatabaseError(std::move(message)), sql_code_(sql_code), ib_error_code_(ib_error_code) {}
  int32_t SqlCode() const { return sql_code_; }
  int32_t IbErrorCode() const { return ib_error_code_; }
  const char* ClassName() const override { return "EIBError"; }

 private:
  int32_t sql_code_;
  int32_t ib_error_code_;
};

XG_EXCEPTION_CLASS(EIBInterBaseError, EIBError);
XG_EXCEPTION_CLASS(EIBInterBaseRoleError, EIBError);
XG_EXCEPTION_CLASS(EIBClientError, EIBError);

// SQLCODE of a missing permission: raised as EIBInterBaseRoleError.
inline constexpr int32_t kSqlCodeNoPermission = -551;

// The message of a failure in a status vector: the server's lines joined with CR LF, the final
// period removed. Needs the client library to be loaded.
std::string ServerErrorMessage(const StatusWord* status);

// Throws the failure in the status vector: EIBInterBaseRoleError for a missing permission,
// EIBInterBaseError otherwise.
[[noreturn]] void ThrowDatabaseError(const StatusVector& status);

// Throws EIBClientError with the numbered message formatted with the arguments.
[[noreturn]] void ThrowClientError(ClientError error, std::initializer_list<FormatArg> args = {});

// Runs the body; when it throws, runs the clean-up (dropping what that throws) and lets the
// body's failure go on.
template <class Body, class CleanUp>
void CleanUpOnFailure(Body&& body, CleanUp&& clean_up) {
  try {
    body();
  } catch (...) {
    try {
      clean_up();
    } catch (...) {
    }
    throw;
  }
}

}  // namespace xg
