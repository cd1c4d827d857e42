#include "host/cgi_program.h"

#include <unistd.h>

#include "host/standard_streams.h"
#include "process/stop_signals.h"

namespace xg {

int RunCgiProgram(Request& request, Action action, StartupStep own_startup_step) {
  int exit_code = 0;
  try {
    const Host host = Startup(action);
    if (own_startup_step) own_startup_step();
    host.Serve(request);
  } catch (...) {
    ReportUnhandledFailure(std::current_exception());
    exit_code = 1;
  }
  // The answer is complete once written: the web server finishes the response when the output
  // ends, not when the client library's shutdown below is over.
  if (request.fault_state().output_fd == STDOUT_FILENO) EndStandardOutput();
  // The client library is shut down here, in order, whatever the request did.
  const int stop_signal = FinishStopSignals();
  return stop_signal != 0 ? 128 + stop_signal : exit_code;
}

}  // namespace xg
