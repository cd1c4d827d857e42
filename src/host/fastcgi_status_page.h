// The operator's pages of a FastCGI process, answered before the gateway sees the request:
// [fastcgi] status-path, the state of the workers (see fastcgi_status_board.h) as JSON (the query
// "json", or none) or in the OpenMetrics text format ("openmetrics"), and [fastcgi] ping-path,
// "pong" for health checks. Only a GET (or HEAD) of one of the paths from a client that
// [fastcgi] status-clients lists is answered so; another client gets 403. Every other request,
// the protocol's own URL among them, goes to the gateway.
#pragma once

#include <string>
#include <vector>

#include "config/gateway_config.h"
#include "host/fastcgi_status_board.h"
#include "host/ip_address.h"

namespace xg {

class FastCgiConnection;

class StatusPage {
 public:
  // The configuration's paths and clients; a configuration that cannot be used has no pages.
  StatusPage(const LoadedGatewayConfig& config, const StatusBoard& board);

  // Answers the connection's request when it asks for one of the pages (the caller ends the
  // request); false for a request that goes to the gateway.
  bool Answer(FastCgiConnection& connection) const;

 private:
  bool Allowed(const std::string& client) const;

  std::string status_path_;
  std::string ping_path_;
  std::vector<IpAddress> clients_;
  const StatusBoard& board_;
};

// The totals as a JSON object, and in the OpenMetrics text format (names prefixed xmlgateway_).
std::string StatusJson(const StatusTotals& totals);
std::string StatusOpenMetrics(const StatusTotals& totals);

}  // namespace xg
