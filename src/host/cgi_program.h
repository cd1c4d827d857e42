// The gateway as a CGI host: Startup() reads once what every request uses, Host::Serve() answers
// one request and leaves nothing behind, RunCgiProgram() is the life of a CGI process from start
// to exit code.
// Start-up, in the order the requests rely on:
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
// Exit codes of the CGI process: 0 after every request that reaches Serve (failure pages
// included); 1 after an unhandled failure of start-up or shutdown, whose text goes to standard
// error; a processor fault ends the process from its handler with the fault's run-time error
// number; a termination signal ends it with 128 + the signal number.
#pragma once

#include <chrono>
#include <exception>
#include <memory>
#include <string>

#include "config/gateway_config.h"
#include "db/attachment_pool.h"
#include "gateway/gateway_context.h"
#include "gateway/request_summary.h"
#include "host/cgi_request.h"
#include "host/request.h"
#include "host/request_log.h"
#include "process/spool.h"
#include "values/regional_settings.h"

namespace xg {

// What answers a request: the content of its answer, made with the process's context (its
// configuration and kept attachments) and written with the settings, and in `summary` what the
// request asked and how it was answered, for the request log. An Exception that leaves it becomes
// the "Internal Application Error" page with status 500.
using Action = Spool (*)(CgiRequest& request, const GatewayContext& context,
                         const RegionalSettings& settings, RequestSummary& summary);

// The gateway's action (gateway_action.h) over a CGI request.
Spool GatewayAction(CgiRequest& request, const GatewayContext& context,
                    const RegionalSettings& settings, RequestSummary& summary);

class Host {
 public:
  // `config`: the configuration the program loaded (the defaults unless given).
  Host(RegionalSettings settings, Action action, ServingMode mode = ServingMode::kCgi,
       RequestLog log = RequestLog(), LoadedGatewayConfig config = LoadedGatewayConfig())
      : settings_(std::move(settings)),
        action_(action),
        mode_(mode),
        log_(std::move(log)),
        config_(std::move(config)) {}

  // Serves one request: reads it, runs the action, writes its line to the request log and the
  // answer to the request's output. While it runs the request's fault state is published
  // for the fault handler. A failure before the action (the request cannot be read, the
  // configuration could not be loaded, the body is larger than max-request-bytes) or one that is
  // no Exception writes the server failure page. Returns normally in every case.
  void Serve(Request& request) const;

  const RegionalSettings& settings() const { return settings_; }
  const LoadedGatewayConfig& config() const { return config_; }
  // The attachments the process keeps between its requests: none until its program enables
  // them (a FastCGI process whose configuration asks for it).
  AttachmentPool& pool() const { return *pool_; }

 private:
  // The request's line; nothing that fails here reaches the answer.
  void LogRequest(const Request& request, RequestLogFields& fields,
                  std::chrono::steady_clock::time_point started) const;

  RegionalSettings settings_;
  Action action_;
  std::unique_ptr<AttachmentPool> pool_ = std::make_unique<AttachmentPool>();
  ServingMode mode_;
  // Serving is const; the log's file is reopened after a rotation.
  mutable RequestLog log_;
  LoadedGatewayConfig config_;
};

// A failure outside a request: its class, module, address and message on standard error. Built
// in a fixed buffer, since the failure may be that memory ran out.
void ReportUnhandledFailure(const std::exception_ptr& failure);

// Start-up steps 0 to 5, for a process of the mode; a failure leaves as it was raised.
Host Startup(Action action = &GatewayAction, ServingMode mode = ServingMode::kCgi);

// A start-up step of the program's own, after the configuration is read. The gateway has none; a
// test program fails in one to show how a failure during start-up ends the process.
using StartupStep = void (*)();

// Startup(), one Serve() of `request`, the end of standard output (when it is the request's
// output), the client library shut down in order; answers the exit code.
int RunCgiProgram(Request& request, Action action = &GatewayAction,
                  StartupStep own_startup_step = nullptr);

}  // namespace xg
