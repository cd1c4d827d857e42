// The main program: serves one CGI request per process. The web server starts it with the
// request in the environment and on standard input and relays what it writes to standard
// output.
#include <unistd.h>

#include <csignal>
#include <exception>
#include <string>

#include "host/cgi_application.h"
#include "host/failure.h"
#include "host/gateway_module.h"
#include "runtime/regional_settings.h"
#include "runtime/runtime_errors.h"

namespace {

// A failure outside the request cycle: its class and message on standard error.
void ReportStartupFailure(const std::exception_ptr& failure) {
  const xg::Exception* exception = xg::AsException(failure);
  const std::string text = xg::UnhandledExceptionText(
      xg::FailureClassName(failure), exception ? exception->Address() : 0,
      exception ? exception->Message() : std::string());
  (void)!::write(STDERR_FILENO, text.data(), text.size());
}

}  // namespace

int main() {
  // A client that went away must not end the process: its writes simply fail.
  std::signal(SIGPIPE, SIG_IGN);
  try {
    xg::PrepareRunTimeErrors();
    xg::ReadRegionalSettings(xg::PosixLocaleSource());
    xg::TCGIApplication application(xg::PosixEnv());
    application.Initialize();
    application.SetModuleClass(xg::TWM1::Class());
    application.Run();
  } catch (...) {
    ReportStartupFailure(std::current_exception());
    return 1;
  }
  return 0;
}
