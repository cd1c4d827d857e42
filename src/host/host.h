// The host: one request served (read, answered by the action, logged, written) with what the
// process read once at start-up: the regional settings, the configuration and the request log,
// and the attachments it keeps between requests. The CGI program serves one request with it and
// a FastCGI process many.
#pragma once

#include <chrono>
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

// How a request was served, for the status of the process that serves many.
struct ServedRequest {
  // As the request named it (SERVICESTATUS, ...); empty when it named none the gateway knows.
  std::string service;
  // "ok", the failure document's element (ERROR, OPENSQL, EXECSQL), or "page" for the server
  // failure page.
  std::string outcome;
  bool attachment_reused = false;
  std::chrono::microseconds duration{0};
};

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
  // no Exception writes the server failure page. Returns normally in every case; `served`, when
  // given, tells how.
  void Serve(Request& request, ServedRequest* served = nullptr) const;

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

}  // namespace xg
