// Start-up: what a process of the gateway reads and installs once, before its first request, in
// the order the requests rely on:
// 0. standard streams that are closed opened on /dev/null, the handlers of the termination
//    signals (see stop_signals.h), SIGPIPE ignored;
// 1. the fault handlers and their reporter (a processor fault during a request writes the server
//    failure page; elsewhere it is reported as an unhandled failure, not a silent crash);
// 2. the language module search, before the first string resource is read (the run-time error
//    texts and the default names of the regional settings are resources);
// 3. the run-time error texts and the pre-built exception objects;
// 4. the regional settings, read once, then xmlgateway.conf, read once (a file that cannot be used
//    does not stop the start-up: every request then answers the server failure page naming it),
//    and the request log it names;
// 5. the XML parser's process-wide settings (xml_document.h).
#pragma once

#include <exception>

#include "host/host.h"

namespace xg {

// A failure outside a request: its class, module, address and message on standard error. Built
// in a fixed buffer, since the failure may be that memory ran out.
void ReportUnhandledFailure(const std::exception_ptr& failure);

// Start-up steps 0 to 5, for a process of the mode; a failure leaves as it was raised.
Host Startup(Action action = &GatewayAction, ServingMode mode = ServingMode::kCgi);

// A start-up step of the program's own, after the configuration is read. The gateway has none; a
// test program fails in one to show how a failure during start-up ends the process.
using StartupStep = void (*)();

}  // namespace xg
