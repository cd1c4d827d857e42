// What the operator decides in xmlgateway.conf: which databases clients may name and which the
// embedded engine opens, the connection character set, and the limits of a request and of an
// answer. Read once per process at start-up (LoadedGatewayConfig); a file that cannot be used
// leaves no settings at all, and every request then fails with the file's error instead of
// running on defaults.
//
//   [databases]
//   allow = PATTERN...      names a client may send, as sent (default "*")
//   embedded = PATTERN...   names the embedded engine opens, matched after resolving (default none)
//   charset = NAME          connection character set of every attach (default none)
//   embedded-user = NAME    the user of every embedded attach, whatever the request says
//                           (default none: the request's)
//   [limits]
//   max-request-bytes = N   largest request body (default 16M)
//   max-answer-bytes = N    largest query answer (default 512M)
//   spool-memory-bytes = N  query answer bytes held in memory before the rest goes to a
//                           temporary file (default 4M)
//   max-query-seconds = N   longest a statement runs, its fetch included (default 0: no limit)
//   [pool]                  attachments kept between the requests of a FastCGI process
//   attachments = on|off    keep them (default off: every request attaches and detaches)
//   check-session = on|off  keep one only when its request left no session state (default on)
//   idle-seconds = N        drop one unused this long (default 60)
//   max-age-seconds = N     drop one this long after its attach checked the password (default 300)
//   max-per-process = N     keep at most this many (default 4)
//   [fastcgi]               the connections of a FastCGI process
//   read-timeout-seconds = N  longest wait for the records of a request (default 30)
//   allowed-clients = ADDRESS...  the web servers' addresses a TCP socket accepts (default none;
//                           needed for a socket on an address other than loopback)
//   stop-seconds = N        longest the requests in hand may run after a termination signal
//                           (default 300)
//   workers = N|auto        processes serving a socket the gateway owns (default auto: two per
//                           processor)
//   max-requests = N        requests a worker serves before another takes its place (default 0:
//                           no limit)
//   status-path = /PATH     the path of the processes' status page (default none: off)
//   ping-path = /PATH       the path that answers "pong" (default none: off)
//   status-clients = ADDRESS...  the clients that may see those pages (default 127.0.0.1 ::1)
//   [log]                   the request log (one line per request)
//   requests = off|stderr|syslog|/PATH   where it goes (default: see RequestLogPlace)
//   sql = on|off            the statement text in each line (default off)
//   slow-ms = N             only requests that took at least this long (default 0: every one)
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "config/config_file.h"

namespace xg {

// Where the request log goes. kDefault (the key absent) is no log, except for a FastCGI process
// whose standard error is the systemd journal, which logs there.
enum class RequestLogPlace { kDefault, kOff, kStderr, kSyslog, kFile };

struct RequestLogSettings {
  RequestLogPlace place = RequestLogPlace::kDefault;
  std::string path;  // of kFile
  int line = 0;      // of the requests key in its file, for messages
  bool sql = false;
  int slow_ms = 0;
};

struct GatewayConfig {
  std::vector<std::string> allow{"*"};
  std::vector<std::string> embedded;
  std::string charset;
  std::string embedded_user;
  int64_t max_request_bytes = int64_t{16} << 20;
  int64_t max_answer_bytes = int64_t{512} << 20;
  int64_t spool_memory_bytes = int64_t{4} << 20;
  bool pool_attachments = false;
  bool pool_check_session = true;
  int pool_idle_seconds = 60;
  int pool_max_age_seconds = 300;
  int pool_max_per_process = 4;
  int max_query_seconds = 0;
  int fastcgi_read_timeout_seconds = 30;
  // Numeric IPv4 or IPv6 addresses, as written.
  std::vector<std::string> fastcgi_allowed_clients;
  int fastcgi_stop_seconds = 300;
  // 0: auto (see FastCgiWorkerCount).
  int fastcgi_workers = 0;
  int fastcgi_max_requests = 0;
  std::string fastcgi_status_path;
  std::string fastcgi_ping_path;
  std::vector<std::string> fastcgi_status_clients{"127.0.0.1", "::1"};
  RequestLogSettings log;
};

// The default file, read when XMLGATEWAY_CONF names none.
inline constexpr std::string_view kDefaultConfigFile = "/etc/xmlgateway/xmlgateway.conf";
inline constexpr std::string_view kConfigVariable = "XMLGATEWAY_CONF";

// Where the configuration comes from: the file's name and its text.
class ConfigSource {
 public:
  virtual ~ConfigSource() = default;
  // The file the variable names, else the default file.
  virtual std::string FileName() const = 0;
  // The file's text; nothing when there is no file and none was named, which gives the
  // defaults. Raises EConfigError when the file cannot be read, is missing though the variable
  // named it, or the variable is set but empty.
  virtual std::optional<std::string> Text() const = 0;
};

// The process environment's XMLGATEWAY_CONF and the file system.
const ConfigSource& FileConfigSource();

// Text handed in, as if read from a file of the given name (for tests and tools).
class TextConfigSource : public ConfigSource {
 public:
  TextConfigSource(std::string file_name, std::optional<std::string> text)
      : file_name_(std::move(file_name)), text_(std::move(text)) {}
  std::string FileName() const override { return file_name_; }
  std::optional<std::string> Text() const override { return text_; }

 private:
  std::string file_name_;
  std::optional<std::string> text_;
};

// The settings of a file's text. Raises EConfigError naming the file and the line for a
// malformed line, an unknown section or key, a key given twice and a bad value.
GatewayConfig ParseGatewayConfig(std::string_view text, const std::string& file_name);

// The configuration a program loaded at start-up, owned by its start-up object and handed to
// what needs it: the settings, or the failure that loading met.
class LoadedGatewayConfig {
 public:
  // The defaults.
  LoadedGatewayConfig() = default;
  // Reads the source once and keeps the settings, or the failure.
  explicit LoadedGatewayConfig(const ConfigSource& source);

  // Makes the failure the configuration's, in place of the settings: for what start-up finds
  // wrong with them after loading (the embedded engine's configuration that cannot be prepared).
  // The loaded [log] settings stay the request log's, so that the refused requests are logged.
  void Fail(const EConfigError& failure);
  // The same for a request log that must not be written where the file says: the failure is the
  // configuration's (unless loading already met one) and the requests go unlogged.
  void RefuseLog(const EConfigError& failure);

  // The file the configuration was read from (or would have been).
  const std::string& FileName() const { return file_name_; }

  // The settings. Raises the EConfigError that loading met, every time it is asked.
  const GatewayConfig& Settings() const;

  // The request log's settings, also when the file could not be used: then those of its [log]
  // section when its lines can be read and the section's keys are valid (so that the requests it
  // makes refused are logged where it says), else the defaults. Never raises.
  const RequestLogSettings& LogSettings() const;

 private:
  std::string file_name_;
  GatewayConfig settings_;
  // Shared by copies: a failure does not change once met.
  std::shared_ptr<const EConfigError> failure_;
  RequestLogSettings failed_file_log_;
};

}  // namespace xg
