#include "config/gateway_config.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <set>
#include <sstream>

#include "config/config_file.h"
#include "config/embedded_engine.h"
#include "texts/format.h"
#include "texts/resource_strings.h"

namespace xg {
namespace {

XG_RESOURCE(SConfigUnknownSection, "unknown section [%s]");
XG_RESOURCE(SConfigUnknownKey, "unknown key %s in section [%s]");
XG_RESOURCE(SConfigKeyTwice, "key %s given a second time in section [%s]");
XG_RESOURCE(SConfigBadByteCount,
            "%s must be a whole number of bytes, optionally followed by K, M or G, at most %d "
            "bytes: %s");
XG_RESOURCE(SConfigBadSwitch, "%s must be on or off: %s");
XG_RESOURCE(SConfigBadCount, "%s must be a whole number from %d to %d: %s");
XG_RESOURCE(SConfigBadWorkers, "workers must be auto or a whole number from 1 to %d: %s");
XG_RESOURCE(SConfigBadCharset, "charset must be one character set name: %s");
XG_RESOURCE(SConfigBadClientAddress, "%s must list numeric IP addresses: %s");
XG_RESOURCE(SConfigBadPath, "%s must be a path beginning with /, without ? or #: %s");
XG_RESOURCE(SConfigBadEmbeddedUser,
            "embedded-user must be one user name of 1 to 63 bytes without blanks: %s");
XG_RESOURCE(SConfigBadLogPlace,
            "requests must be off, stderr, syslog or the absolute path of a file: %s");
XG_RESOURCE(SConfigCannotRead, "Cannot read configuration file %s: %s");
XG_RESOURCE(SConfigNotRegularFile, "not a regular file");
XG_RESOURCE(SConfigVariableEmpty,
            "XMLGATEWAY_CONF is set but empty: it names no configuration file");
XG_RESOURCE(SConfigTooLarge, "larger than %d bytes");

// The largest configuration file read: far above any real one, and a bound on what a file named
// by mistake (a log, a device) can cost.
constexpr int64_t kMaxConfigFileBytes = int64_t{1} << 20;

// Whole limits that the request reading and the answer building can hold.
constexpr int64_t kMaxRequestLimit = 2147483647;
constexpr int64_t kMaxAnswerLimit = int64_t{1} << 50;
constexpr int64_t kMaxSpoolMemoryLimit = int64_t{1} << 30;

std::vector<std::string> Patterns(const std::string& value) {
  std::vector<std::string> patterns;
  std::istringstream words(value);
  for (std::string word; words >> word;) patterns.push_back(word);
  return patterns;
}

// Decimal digits, optionally followed by K, M or G (1024, 1024^2, 1024^3), within the limit.
std::optional<int64_t> ByteCount(const std::string& value, int64_t limit) {
  if (value.empty()) return std::nullopt;
  int64_t number = 0;
  size_t i = 0;
  for (; i < value.size() && value[i] >= '0' && value[i] <= '9'; ++i) {
    number = number * 10 + (value[i] - '0');
    if (number > limit) return std::nullopt;
  }
  if (i == 0) return std::nullopt;
  int shift = 0;
  if (i + 1 == value.size()) {
    switch (value[i]) {
      case 'K':
        shift = 10;
        break;
      case 'M':
        shift = 20;
        break;
      case 'G':
        shift = 30;
        break;
      default:
        return std::nullopt;
    }
  } else if (i != value.size()) {
    return std::nullopt;
  }
  if (number > (limit >> shift)) return std::nullopt;
  return number << shift;
}

// Decimal digits, from `low` to `high`.
std::optional<int> Count(const std::string& value, int low, int high) {
  if (value.empty() || value.size() > 10) return std::nullopt;
  int64_t number = 0;
  for (char c : value) {
    if (c < '0' || c > '9') return std::nullopt;
    number = number * 10 + (c - '0');
  }
  if (number < low || number > high) return std::nullopt;
  return static_cast<int>(number);
}

// The longest time a pool setting takes: a year, in seconds.
constexpr int kMaxPoolSeconds = 366 * 24 * 3600;
constexpr int kMaxPoolAttachments = 1000;
constexpr int kMaxWorkers = 1024;
constexpr int kMaxWorkerRequests = 2147483647;

// A character set name as the server knows them: letters, digits and "_", at most 31.
bool IsCharsetName(const std::string& value) {
  if (value.empty() || value.size() > 31) return false;
  for (char c : value)
    if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_'))
      return false;
  return true;
}

// Addresses separated by blanks or commas (the way other FastCGI process managers list them).
std::vector<std::string> ClientAddresses(std::string value) {
  for (char& c : value)
    if (c == ',') c = ' ';
  return Patterns(value);
}

bool IsNumericAddress(const std::string& text) {
  unsigned char address[sizeof(in6_addr)];
  return ::inet_pton(AF_INET, text.c_str(), address) == 1 ||
         ::inet_pton(AF_INET6, text.c_str(), address) == 1;
}

// The "embedded" patterns, each of which the embedded engine can be confined to by its folder.
std::vector<std::string> EmbeddedPatterns(const ConfigEntry& entry, const std::string& file_name) {
  std::vector<std::string> patterns = Patterns(entry.value);
  for (const std::string& pattern : patterns) {
    std::string why;
    if (!EmbeddedPatternFolder(pattern, &why)) RaiseConfigError(file_name, entry.line, why);
  }
  return patterns;
}

// A user name as the engine takes one in an attach: 1 to 63 bytes, no blank or control byte.
bool IsEmbeddedUserName(const std::string& value) {
  if (value.empty() || value.size() > 63) return false;
  for (char c : value)
    if (static_cast<unsigned char>(c) <= 0x20 || c == 0x7F) return false;
  return true;
}

// The longest slow-ms: a day.
constexpr int kMaxSlowMs = 24 * 3600 * 1000;

// A key of the [log] section into the settings; false for a key the section does not have.
bool ParseLogKey(const ConfigEntry& entry, RequestLogSettings& log, const std::string& file_name) {
  auto fail = [&](const ResourceString& what, std::initializer_list<FormatArg> args) {
    RaiseConfigError(file_name, entry.line, Format(LoadResString(what), args));
  };
  if (entry.key == "requests") {
    if (entry.value == "off") {
      log.place = RequestLogPlace::kOff;
    } else if (entry.value == "stderr") {
      log.place = RequestLogPlace::kStderr;
    } else if (entry.value == "syslog") {
      log.place = RequestLogPlace::kSyslog;
    } else if (entry.value.size() > 1 && entry.value.front() == '/') {
      log.place = RequestLogPlace::kFile;
      log.path = entry.value;
      log.line = entry.line;
    } else {
      fail(SConfigBadLogPlace, {entry.value});
    }
  } else if (entry.key == "sql") {
    if (entry.value != "on" && entry.value != "off")
      fail(SConfigBadSwitch, {entry.key, entry.value});
    log.sql = entry.value == "on";
  } else if (entry.key == "slow-ms") {
    const std::optional<int> count = Count(entry.value, 0, kMaxSlowMs);
    if (!count) fail(SConfigBadCount, {entry.key, 0, kMaxSlowMs, entry.value});
    log.slow_ms = *count;
  } else {
    return false;
  }
  return true;
}

class ProcessConfigSource : public ConfigSource {
 public:
  std::string FileName() const override {
    const char* named = std::getenv(std::string(kConfigVariable).c_str());
    return named && *named ? std::string(named) : std::string(kDefaultConfigFile);
  }

  std::optional<std::string> Text() const override {
    const char* named = std::getenv(std::string(kConfigVariable).c_str());
    // Set but empty is a mistake too (a web server's variable whose value went missing), not a
    // request for the default file or the defaults.
    if (named && !*named) throw EConfigError(LoadResString(SConfigVariableEmpty));
    const std::string name = FileName();
    // Non-blocking, so that a FIFO or a device named by mistake is refused by what it is instead
    // of waiting for a writer; only what fstat says of the opened file counts.
    const int fd = ::open(name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
      const int error = errno;
      // Only the default file may be absent: a file the operator named and that is not there
      // is a mistake to report, not a reason to run on the defaults.
      if (error == ENOENT && !(named && *named)) return std::nullopt;
      throw EConfigError(Format(LoadResString(SConfigCannotRead), {name, std::strerror(error)}));
    }
    const FileDescriptor file(fd);
    return RegularFileText(fd, name);
  }

 private:
  struct FileDescriptor {
    explicit FileDescriptor(int fd) : fd(fd) {}
    ~FileDescriptor() { ::close(fd); }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int fd;
  };

  // The text of the opened file: a regular file of at most kMaxConfigFileBytes, read whole.
  static std::string RegularFileText(int fd, const std::string& name) {
    auto fail = [&](const std::string& why) {
      throw EConfigError(Format(LoadResString(SConfigCannotRead), {name, why}));
    };
    struct stat status;
    if (::fstat(fd, &status) != 0) fail(std::strerror(errno));
    if (!S_ISREG(status.st_mode)) fail(LoadResString(SConfigNotRegularFile));
    auto too_large = [&] { fail(Format(LoadResString(SConfigTooLarge), {kMaxConfigFileBytes})); };
    if (status.st_size > kMaxConfigFileBytes) too_large();
    // One byte more than the limit is asked for, so that a file that grew meanwhile is seen.
    std::string text(static_cast<size_t>(kMaxConfigFileBytes) + 1, '\0');
    size_t length = 0;
    while (length < text.size()) {
      const ssize_t count = ::read(fd, text.data() + length, text.size() - length);
      if (count < 0 && errno == EINTR) continue;
      if (count < 0) fail(std::strerror(errno));
      if (count == 0) break;
      length += static_cast<size_t>(count);
    }
    if (length > static_cast<size_t>(kMaxConfigFileBytes)) too_large();
    text.resize(length);
    return text;
  }
};

// The [log] settings of a file that cannot be used as a whole, so that the requests it makes
// refused are logged where it says: the defaults unless its lines can be read and its [log] keys
// are all valid.
RequestLogSettings SalvagedLogSettings(std::string_view text, const std::string& file_name) {
  RequestLogSettings log;
  try {
    for (const ConfigEntry& entry : ParseConfigFile(text, file_name)) {
      if (entry.section == "log" && !entry.key.empty() && !ParseLogKey(entry, log, file_name))
        return RequestLogSettings();
    }
  } catch (const EConfigError&) {
    return RequestLogSettings();
  }
  return log;
}

}  // namespace

const ConfigSource& FileConfigSource() {
  static const ProcessConfigSource source;
  return source;
}

GatewayConfig ParseGatewayConfig(std::string_view text, const std::string& file_name) {
  GatewayConfig config;
  std::set<std::pair<std::string, std::string>> seen;
  for (const ConfigEntry& entry : ParseConfigFile(text, file_name)) {
    auto fail = [&](const ResourceString& what, std::initializer_list<FormatArg> args) {
      RaiseConfigError(file_name, entry.line, Format(LoadResString(what), args));
    };
    if (entry.section != "databases" && entry.section != "limits" && entry.section != "pool" &&
        entry.section != "fastcgi" && entry.section != "log")
      fail(SConfigUnknownSection, {entry.section});
    if (entry.key.empty()) continue;  // the section line itself
    if (!seen.emplace(entry.section, entry.key).second)
      fail(SConfigKeyTwice, {entry.key, entry.section});

    if (entry.section == "databases" && entry.key == "allow") {
      config.allow = Patterns(entry.value);
    } else if (entry.section == "databases" && entry.key == "embedded") {
      config.embedded = EmbeddedPatterns(entry, file_name);
    } else if (entry.section == "databases" && entry.key == "embedded-user") {
      if (!IsEmbeddedUserName(entry.value)) fail(SConfigBadEmbeddedUser, {entry.value});
      config.embedded_user = entry.value;
    } else if (entry.section == "databases" && entry.key == "charset") {
      if (!entry.value.empty() && !IsCharsetName(entry.value))
        fail(SConfigBadCharset, {entry.value});
      config.charset = entry.value;
    } else if (entry.section == "limits" &&
               (entry.key == "max-request-bytes" || entry.key == "max-answer-bytes" ||
                entry.key == "spool-memory-bytes")) {
      const bool request = entry.key == "max-request-bytes";
      const bool spool = entry.key == "spool-memory-bytes";
      const int64_t limit = request ? kMaxRequestLimit
                            : spool ? kMaxSpoolMemoryLimit
                                    : kMaxAnswerLimit;
      const std::optional<int64_t> count = ByteCount(entry.value, limit);
      if (!count) fail(SConfigBadByteCount, {entry.key, limit, entry.value});
      (request ? config.max_request_bytes
       : spool ? config.spool_memory_bytes
               : config.max_answer_bytes) = *count;
    } else if (entry.section == "limits" && entry.key == "max-query-seconds") {
      const std::optional<int> count = Count(entry.value, 0, kMaxPoolSeconds);
      if (!count) fail(SConfigBadCount, {entry.key, 0, kMaxPoolSeconds, entry.value});
      config.max_query_seconds = *count;
    } else if (entry.section == "fastcgi" &&
               (entry.key == "read-timeout-seconds" || entry.key == "stop-seconds")) {
      const bool read = entry.key == "read-timeout-seconds";
      const int low = read ? 1 : 0;
      const std::optional<int> count = Count(entry.value, low, kMaxPoolSeconds);
      if (!count) fail(SConfigBadCount, {entry.key, low, kMaxPoolSeconds, entry.value});
      (read ? config.fastcgi_read_timeout_seconds : config.fastcgi_stop_seconds) = *count;
    } else if (entry.section == "fastcgi" && entry.key == "workers") {
      const std::optional<int> count =
          entry.value == "auto" ? std::optional<int>(0) : Count(entry.value, 1, kMaxWorkers);
      if (!count) fail(SConfigBadWorkers, {kMaxWorkers, entry.value});
      config.fastcgi_workers = *count;
    } else if (entry.section == "fastcgi" && entry.key == "max-requests") {
      const std::optional<int> count = Count(entry.value, 0, kMaxWorkerRequests);
      if (!count) fail(SConfigBadCount, {entry.key, 0, kMaxWorkerRequests, entry.value});
      config.fastcgi_max_requests = *count;
    } else if (entry.section == "fastcgi" &&
               (entry.key == "allowed-clients" || entry.key == "status-clients")) {
      std::vector<std::string>& clients = entry.key == "allowed-clients"
                                              ? config.fastcgi_allowed_clients
                                              : config.fastcgi_status_clients;
      clients = ClientAddresses(entry.value);
      for (const std::string& address : clients)
        if (!IsNumericAddress(address)) fail(SConfigBadClientAddress, {entry.key, address});
    } else if (entry.section == "fastcgi" &&
               (entry.key == "status-path" || entry.key == "ping-path")) {
      if (entry.value.empty() || entry.value.front() != '/' ||
          entry.value.find_first_of("?# \t") != std::string::npos)
        fail(SConfigBadPath, {entry.key, entry.value});
      (entry.key == "status-path" ? config.fastcgi_status_path : config.fastcgi_ping_path) =
          entry.value;
    } else if (entry.section == "pool" &&
               (entry.key == "attachments" || entry.key == "check-session")) {
      if (entry.value != "on" && entry.value != "off")
        fail(SConfigBadSwitch, {entry.key, entry.value});
      (entry.key == "attachments" ? config.pool_attachments : config.pool_check_session) =
          entry.value == "on";
    } else if (entry.section == "pool" &&
               (entry.key == "idle-seconds" || entry.key == "max-age-seconds" ||
                entry.key == "max-per-process")) {
      const bool seconds = entry.key != "max-per-process";
      const int high = seconds ? kMaxPoolSeconds : kMaxPoolAttachments;
      const std::optional<int> count = Count(entry.value, 0, high);
      if (!count) fail(SConfigBadCount, {entry.key, 0, high, entry.value});
      (entry.key == "idle-seconds"      ? config.pool_idle_seconds
       : entry.key == "max-age-seconds" ? config.pool_max_age_seconds
                                        : config.pool_max_per_process) = *count;
    } else if (entry.section == "log") {
      if (!ParseLogKey(entry, config.log, file_name))
        fail(SConfigUnknownKey, {entry.key, entry.section});
    } else {
      fail(SConfigUnknownKey, {entry.key, entry.section});
    }
  }
  return config;
}

LoadedGatewayConfig::LoadedGatewayConfig(const ConfigSource& source)
    : file_name_(source.FileName()) {
  std::optional<std::string> text;
  try {
    text = source.Text();
    if (text) settings_ = ParseGatewayConfig(*text, source.FileName());
  } catch (const EConfigError& failure) {
    if (text) failed_file_log_ = SalvagedLogSettings(*text, source.FileName());
    failure_ = std::make_shared<const EConfigError>(failure);
  }
}

void LoadedGatewayConfig::Fail(const EConfigError& failure) {
  // The file itself was read: its [log] section still says where the refused requests go.
  if (!failure_) failed_file_log_ = settings_.log;
  settings_ = GatewayConfig();
  failure_ = std::make_shared<const EConfigError>(failure);
}

void LoadedGatewayConfig::RefuseLog(const EConfigError& failure) {
  if (!failure_) {
    settings_ = GatewayConfig();
    failure_ = std::make_shared<const EConfigError>(failure);
  }
  failed_file_log_ = RequestLogSettings();
}

const GatewayConfig& LoadedGatewayConfig::Settings() const {
  if (failure_) throw EConfigError(*failure_);
  return settings_;
}

const RequestLogSettings& LoadedGatewayConfig::LogSettings() const {
  return failure_ ? failed_file_log_ : settings_.log;
}

}  // namespace xg
