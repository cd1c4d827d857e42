// The failures of the client, each with the exit code the program ends with.
#pragma once

#include <stdexcept>
#include <string>

namespace xg::client {

// The program's exit codes; README.md and --help list them.
enum class ExitCode : int {
  kOk = 0,
  kOutput = 1,     // the output could not be written, or memory ran out
  kUsage = 2,      // bad command line, unreadable SQL or password file, text ISO-8859-1 lacks
  kTransport = 3,  // no HTTP exchange: bad URL, no connection, time-out, connection lost
  kAnswer = 4,     // an answer that is not a whole gateway answer: HTTP status other than 200 or
                   // 500, a body shorter or longer than its Content-Length, not a gateway document
  kServer = 5,     // the gateway reports a failure: an ERROR document, a query or statement that
                   // failed, a failure page with HTTP status 500
};

// A failure that ends the program: its message goes to standard error (UTF-8), its code is the
// exit code.
class ClientError : public std::runtime_error {
 public:
  ClientError(ExitCode code, const std::string& message)
      : std::runtime_error(message), code_(code) {}
  ExitCode code() const { return code_; }

 private:
  ExitCode code_;
};

}  // namespace xg::client
