// The life of a CGI process from start to exit code: start-up, one request served, the end of
// its output and an orderly shutdown of the client library.
// Exit codes of the CGI process: 0 after every request that reaches Serve (failure pages
// included); 1 after an unhandled failure of start-up or shutdown, whose text goes to standard
// error; a processor fault ends the process from its handler with the fault's run-time error
// number; a termination signal ends it with 128 + the signal number.
#pragma once

#include "host/host.h"
#include "host/startup.h"

namespace xg {

// Startup(), one Serve() of `request`, the end of standard output (when it is the request's
// output), the client library shut down in order; answers the exit code.
int RunCgiProgram(Request& request, Action action = &GatewayAction,
                  StartupStep own_startup_step = nullptr);

}  // namespace xg
