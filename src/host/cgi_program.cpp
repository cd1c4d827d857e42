#include "host/cgi_program.h"

#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <exception>
#include <string>

#include "config/gateway_config.h"
#include "host/env.h"
#include "host/failure.h"
#include "host/failure_page.h"
#include "host/standard_streams.h"
#include "runtime/fatal_signals.h"
#include "runtime/language_module.h"
#include "runtime/module_address.h"
#include "runtime/posix_locale_source.h"
#include "runtime/regional_settings.h"
#include "runtime/runtime_errors.h"
#include "runtime/stop_signals.h"

namespace xg {
namespace {

// A failure outside the request cycle: its class, module, address and message on standard
// error. Built in a fixed buffer, since the failure may be that memory ran out.
void ReportUnhandledFailure(const std::exception_ptr& failure) {
  const Exception* exception = AsException(failure);
  const std::string_view message = exception ? std::string_view(exception->Message()) : "";
  char text[1024];
  const size_t length =
      std::min(FormatUnhandledExceptionText(text, sizeof text, FailureClassName(failure),
                                            exception ? exception->Address() : 0, message),
               sizeof text);
  (void)!::write(STDERR_FILENO, text, length);
}

// While the request is served a fault writes the server failure page.
class FaultReporterDuringRequest {
 public:
  FaultReporterDuringRequest() { SetFaultReporter(&WriteFailurePageForFault); }
  ~FaultReporterDuringRequest() { SetFaultReporter(nullptr); }
  FaultReporterDuringRequest(const FaultReporterDuringRequest&) = delete;
  FaultReporterDuringRequest& operator=(const FaultReporterDuringRequest&) = delete;
};

}  // namespace

int RunCgiProgram(const TWebModuleClass& moduleClass, StartupStep ownStartupStep) {
  OpenMissingStandardStreams();
  InstallStopSignalHandlers();
  // A client that went away must not end the process: its writes simply fail.
  std::signal(SIGPIPE, SIG_IGN);
  int exitCode = 0;
  try {
    InstallFaultHandlers();
    const RegionalSettings settings = [] {
      const PosixLocaleSource locale;
      LoadLanguageModule(ProgramPath(), locale);
      PrepareRunTimeErrors();
      return ReadRegionalSettings(locale);
    }();
    LoadGatewayConfig(FileConfigSource());
    TCGIApplication application(PosixEnv(), settings);
    if (ownStartupStep) ownStartupStep();
    application.SetModuleClass(moduleClass);
    FaultReporterDuringRequest reporter;
    application.Run();
  } catch (...) {
    ReportUnhandledFailure(std::current_exception());
    exitCode = 1;
  }
  // The client library is shut down here, in order, whatever the request did.
  const int stopSignal = FinishStopSignals();
  return stopSignal != 0 ? 128 + stopSignal : exitCode;
}

}  // namespace xg
