// The life of the CGI process from start to exit code, in the order the request relies on:
// 0. standard streams that are closed opened on /dev/null, and the handlers of the termination
//    signals (see stop_signals.h);
// 1. the fault handlers (a processor fault from here on is reported, not a silent crash);
// 2. the language module search, before the first string resource is read (the run-time error
//    texts and the default names of the regional settings are resources);
// 3. the run-time error texts and the pre-built exception objects;
// 4. the regional settings, read once into an object that lives as long as the application, then
//    xmlgateway.conf, read once (a file that cannot be used does not stop the start-up: every
//    request then answers the server failure page naming it);
// 5. the application object, the program's own start-up step if it has one, the module class;
// 6. the request, served with the fault reporter set, so that a fault inside it writes the
//    server failure page;
// 7. the client library shut down in order.
// Exit codes: 0 after every request that reaches the request cycle (failure pages included);
// 1 after an unhandled failure of start-up or shutdown, whose text goes to standard error; a
// processor fault ends the process from its handler with the fault's run-time error number; a
// termination signal ends it with 128 + the signal number.
#pragma once

#include "host/cgi_application.h"

namespace xg {

// A start-up step of the program's own. The gateway has none; a test program fails in one to
// show how a failure during start-up ends the process.
using StartupStep = void (*)();

int RunCgiProgram(const TWebModuleClass& moduleClass, StartupStep ownStartupStep = nullptr);

}  // namespace xg
