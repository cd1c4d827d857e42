#include "host/fastcgi_status_page.h"

#include <cstdio>

#include "host/fastcgi_connection.h"

namespace xg {
namespace {

std::string ParamOf(const FastCgiConnection& connection, const std::string& name) {
  const std::string* value = connection.Param(name);
  return value ? *value : std::string();
}

// The path the client asked for: REQUEST_URI up to its query, else SCRIPT_NAME and PATH_INFO.
std::string RequestPath(const FastCgiConnection& connection) {
  const std::string uri = ParamOf(connection, "REQUEST_URI");
  if (!uri.empty()) return uri.substr(0, uri.find('?'));
  return ParamOf(connection, "SCRIPT_NAME") + ParamOf(connection, "PATH_INFO");
}

std::string Seconds(uint64_t microseconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.6f", static_cast<double>(microseconds) / 1e6);
  return text;
}

std::string BucketBound(size_t bucket) {
  return bucket < kLatencyBoundsMicroseconds.size()
             ? Seconds(static_cast<uint64_t>(kLatencyBoundsMicroseconds[bucket]))
             : "+Inf";
}

std::string ServiceName(size_t service) {
  return service == 0 ? "none" : std::string(kStatusServices[service]);
}

uint64_t RequestCount(const StatusTotals& totals) {
  uint64_t count = 0;
  for (const uint64_t bucket : totals.latency_buckets) count += bucket;
  return count;
}

void Answer(FastCgiConnection& connection, const std::string& status, const std::string& type,
            const std::string& body) {
  std::string answer =
      "Status: " + status + "\r\nContent-Type: " + type +
      "\r\nCache-Control: no-store\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n";
  if (ParamOf(connection, "REQUEST_METHOD") != "HEAD") answer += body;
  connection.Write(answer.data(), answer.size());
}

}  // namespace

StatusPage::StatusPage(const LoadedGatewayConfig& config, const StatusBoard& board)
    : board_(board) {
  try {
    const GatewayConfig& settings = config.Settings();
    status_path_ = settings.fastcgi_status_path;
    ping_path_ = settings.fastcgi_ping_path;
    for (const std::string& client : settings.fastcgi_status_clients)
      clients_.push_back(ParseAddress(client));
  } catch (const EConfigError&) {
  }
}

bool StatusPage::Allowed(const std::string& client) const {
  const IpAddress address = ParseAddress(client);
  if (address.family == AF_UNSPEC) return false;
  for (const IpAddress& allowed : clients_)
    if (allowed == address) return true;
  return false;
}

bool StatusPage::Answer(FastCgiConnection& connection) const {
  if (status_path_.empty() && ping_path_.empty()) return false;
  const std::string method = ParamOf(connection, "REQUEST_METHOD");
  if (method != "GET" && method != "HEAD") return false;
  const std::string path = RequestPath(connection);
  const bool status = !status_path_.empty() && path == status_path_;
  const bool ping = !ping_path_.empty() && path == ping_path_;
  if (!status && !ping) return false;
  if (!Allowed(ParamOf(connection, "REMOTE_ADDR"))) {
    xg::Answer(connection, "403 Forbidden", "text/plain", "Forbidden\n");
  } else if (ping) {
    xg::Answer(connection, "200 OK", "text/plain", "pong\n");
  } else if (ParamOf(connection, "QUERY_STRING") == "openmetrics") {
    xg::Answer(connection, "200 OK", "application/openmetrics-text; version=1.0.0; charset=utf-8",
               StatusOpenMetrics(board_.Totals()));
  } else {
    xg::Answer(connection, "200 OK", "application/json", StatusJson(board_.Totals()));
  }
  return true;
}

std::string StatusJson(const StatusTotals& totals) {
  std::string json = "{\"workers\":{\"busy\":" + std::to_string(totals.busy) +
                     ",\"idle\":" + std::to_string(totals.workers - totals.busy) +
                     "},\"requests_queued\":" + std::to_string(totals.queued) +
                     ",\"connections\":" + std::to_string(totals.connections) + ",\"requests\":{";
  bool first_service = true;
  for (size_t s = 0; s < kStatusServices.size(); ++s) {
    std::string outcomes;
    for (size_t o = 0; o < kStatusOutcomes.size(); ++o) {
      if (totals.requests[s][o] == 0) continue;
      outcomes += (outcomes.empty() ? "\"" : ",\"") + std::string(kStatusOutcomes[o]) +
                  "\":" + std::to_string(totals.requests[s][o]);
    }
    if (outcomes.empty()) continue;
    json += (first_service ? "\"" : ",\"") + ServiceName(s) + "\":{" + outcomes + "}";
    first_service = false;
  }
  json += "},\"attachments\":{\"kept\":" + std::to_string(totals.attachments_kept) +
          ",\"reused\":" + std::to_string(totals.attachments_reused) + ",\"detached\":{";
  for (size_t r = 0; r < kDetachReasons.size(); ++r)
    json += (r == 0 ? "\"" : ",\"") + std::string(kDetachReasons[r]) +
            "\":" + std::to_string(totals.attachments_detached[r]);
  json += "}},\"latency_seconds\":{\"buckets\":[";
  uint64_t cumulative = 0;
  for (size_t b = 0; b <= kLatencyBoundsMicroseconds.size(); ++b) {
    cumulative += totals.latency_buckets[b];
    const std::string bound = BucketBound(b);
    json += std::string(b == 0 ? "" : ",") + "{\"le\":" + (bound == "+Inf" ? "\"+Inf\"" : bound) +
            ",\"count\":" + std::to_string(cumulative) + "}";
  }
  json += "],\"sum\":" + Seconds(totals.latency_microseconds) +
          ",\"count\":" + std::to_string(RequestCount(totals)) + "}}\n";
  return json;
}

std::string StatusOpenMetrics(const StatusTotals& totals) {
  std::string text =
      "# TYPE xmlgateway_workers gauge\n# HELP xmlgateway_workers Workers by state.\n"
      "xmlgateway_workers{state=\"busy\"} " +
      std::to_string(totals.busy) + "\nxmlgateway_workers{state=\"idle\"} " +
      std::to_string(totals.workers - totals.busy) +
      "\n# TYPE xmlgateway_requests_queued gauge\n# HELP xmlgateway_requests_queued Requests "
      "that have all arrived and wait for their worker.\nxmlgateway_requests_queued " +
      std::to_string(totals.queued) +
      "\n# TYPE xmlgateway_connections gauge\n# HELP xmlgateway_connections Open connections "
      "from the web server.\nxmlgateway_connections " +
      std::to_string(totals.connections) +
      "\n# TYPE xmlgateway_requests counter\n# HELP xmlgateway_requests Requests served, by "
      "service and outcome.\n";
  for (size_t s = 0; s < kStatusServices.size(); ++s)
    for (size_t o = 0; o < kStatusOutcomes.size(); ++o)
      if (totals.requests[s][o] != 0)
        text += "xmlgateway_requests_total{service=\"" + ServiceName(s) + "\",outcome=\"" +
                std::string(kStatusOutcomes[o]) + "\"} " + std::to_string(totals.requests[s][o]) +
                "\n";
  text +=
      "# TYPE xmlgateway_attachments_kept gauge\n# HELP xmlgateway_attachments_kept "
      "Attachments kept for later requests.\nxmlgateway_attachments_kept " +
      std::to_string(totals.attachments_kept) +
      "\n# TYPE xmlgateway_attachments_reused counter\n# HELP xmlgateway_attachments_reused "
      "Requests that found their attachment kept.\nxmlgateway_attachments_reused_total " +
      std::to_string(totals.attachments_reused) +
      "\n# TYPE xmlgateway_attachments_detached counter\n# HELP "
      "xmlgateway_attachments_detached Kept attachments detached, by why.\n";
  for (size_t r = 0; r < kDetachReasons.size(); ++r)
    text += "xmlgateway_attachments_detached_total{reason=\"" + std::string(kDetachReasons[r]) +
            "\"} " + std::to_string(totals.attachments_detached[r]) + "\n";
  text +=
      "# TYPE xmlgateway_request_duration_seconds histogram\n# HELP "
      "xmlgateway_request_duration_seconds Time from a request's start to its answer.\n";
  uint64_t cumulative = 0;
  for (size_t b = 0; b <= kLatencyBoundsMicroseconds.size(); ++b) {
    cumulative += totals.latency_buckets[b];
    text += "xmlgateway_request_duration_seconds_bucket{le=\"" + BucketBound(b) + "\"} " +
            std::to_string(cumulative) + "\n";
  }
  text += "xmlgateway_request_duration_seconds_sum " + Seconds(totals.latency_microseconds) +
          "\nxmlgateway_request_duration_seconds_count " + std::to_string(RequestCount(totals)) +
          "\n# EOF\n";
  return text;
}

}  // namespace xg
