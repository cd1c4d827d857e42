// The failure a piece of the client raises, as one comparable text.
#pragma once

#include <string>

#include "client_error.h"

namespace xg::client::test {

// "exit N: message" for a ClientError.
inline std::string Failed(ExitCode code, const std::string& message) {
  return "exit " + std::to_string(static_cast<int>(code)) + ": " + message;
}

// What `call` raises, as Failed writes it, or "no failure".
template <class Call>
std::string FailureOf(Call call) {
  try {
    call();
  } catch (const ClientError& error) {
    return Failed(error.code(), error.what());
  }
  return "no failure";
}

}  // namespace xg::client::test
