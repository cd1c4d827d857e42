// The request log's writer: where the lines go ([log] requests), which requests are written
// ([log] slow-ms) and whether they carry the statement ([log] sql).
//
// Lines of concurrent processes never interleave: each line is one write(2) to a file opened with
// O_APPEND, or to standard error, or one syslog(3) message. A log file is opened at the first
// line and reopened when the path no longer names the file the process holds (a rotation moved
// it away), so that a FastCGI process follows the rotation without a signal. A line that cannot
// be written is dropped, never reported to the client; the first such failure of a process is
// noted on standard error.
#pragma once

#include <sys/types.h>

#include <string>

#include "config/gateway_config.h"
#include "host/request_log_line.h"

namespace xg {

class RequestLog {
 public:
  // No log.
  RequestLog() = default;
  // The settings' log for a process of the mode. kDefault is no log, except in FastCGI mode with
  // standard error connected to the systemd journal (JOURNAL_STREAM names it): there the lines
  // go to standard error.
  RequestLog(const RequestLogSettings& settings, ServingMode mode);
  ~RequestLog();
  RequestLog(RequestLog&& other) noexcept;
  RequestLog& operator=(RequestLog&& other) noexcept;
  RequestLog(const RequestLog&) = delete;
  RequestLog& operator=(const RequestLog&) = delete;

  bool Enabled() const { return place_ != RequestLogPlace::kOff; }
  bool WantsSql() const { return sql_; }

  // Writes the request's line when it took at least slow-ms. `sql`: the decoded statement, read
  // only when WantsSql().
  void Write(const RequestLogFields& fields, const std::string* sql);

 private:
  void WriteLine(const std::string& line);
  // The open log file, opened again when the path names another file or none; -1 on failure.
  int LogFile();
  void CloseFile();
  void NoteFailure(int error);

  RequestLogPlace place_ = RequestLogPlace::kOff;
  std::string path_;
  bool sql_ = false;
  int64_t slow_microseconds_ = 0;
  int fd_ = -1;
  dev_t device_ = 0;
  ino_t inode_ = 0;
  bool failure_noted_ = false;
};

}  // namespace xg
