// The failures of the database layer: EIBInterBaseError (and EIBInterBaseRoleError for a missing
// permission) for what the server or the client library reports through the status vector,
// EIBClientError for the components' own checks. Their message texts are what a client reads.
#pragma once

#include <ibase.h>

#include <cstdint>
#include <initializer_list>
#include <string>

#include "runtime/exceptions.h"
#include "runtime/format.h"

namespace xg {

class EIBError : public EDatabaseError {
 public:
  EIBError(std::string message, int32_t sqlCode, int32_t ibErrorCode)
      : EDatabaseError(std::move(message)), sqlCode_(sqlCode), ibErrorCode_(ibErrorCode) {}
  int32_t SQLCode() const { return sqlCode_; }
  int32_t IBErrorCode() const { return ibErrorCode_; }
  const char* ClassName() const override { return "EIBError"; }

 private:
  int32_t sqlCode_;
  int32_t ibErrorCode_;
};

XG_EXCEPTION_CLASS(EIBInterBaseError, EIBError);
XG_EXCEPTION_CLASS(EIBInterBaseRoleError, EIBError);
XG_EXCEPTION_CLASS(EIBClientError, EIBError);

// SQLCODE of a missing permission: raised as EIBInterBaseRoleError.
inline constexpr int32_t kSQLCodeNoPermission = -551;

// The calling thread's status vector, handed to every client library call.
ISC_STATUS* StatusVector();

// The message of a failure in a status vector: the server's lines joined with CR LF, the final
// period removed. Needs the client library to be loaded.
std::string ServerErrorMessage(const ISC_STATUS* status);

// Whether a status vector carries the error code among its error entries.
bool StatusHasErrorCode(const ISC_STATUS* status, ISC_STATUS code);

// Raises the failure in the calling thread's status vector.
[[noreturn]] void IBDataBaseError();

// Raises EIBClientError with the numbered message formatted with the arguments.
[[noreturn]] void IBError(int number, std::initializer_list<FormatArg> args = {});

}  // namespace xg
