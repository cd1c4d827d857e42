#include "host/request_log.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <syslog.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "process/write_all.h"

namespace xg {
namespace {

// systemd sets JOURNAL_STREAM to "DEVICE:INODE" of the stream it connects a service's standard
// output and error to; standard error is the journal when it is still that file.
bool StandardErrorIsJournal() {
  const char* stream = std::getenv("JOURNAL_STREAM");
  if (!stream) return false;
  unsigned long long device = 0, inode = 0;
  if (std::sscanf(stream, "%llu:%llu", &device, &inode) != 2) return false;
  struct stat error_file {};
  return ::fstat(STDERR_FILENO, &error_file) == 0 && error_file.st_dev == device &&
         error_file.st_ino == inode;
}

RequestLogPlace Resolved(RequestLogPlace place, ServingMode mode) {
  if (place != RequestLogPlace::kDefault) return place;
  return mode == ServingMode::kFastCgi && StandardErrorIsJournal() ? RequestLogPlace::kStderr
                                                                   : RequestLogPlace::kOff;
}

}  // namespace

RequestLog::RequestLog(const RequestLogSettings& settings, ServingMode mode)
    : place_(Resolved(settings.place, mode)),
      path_(settings.path),
      sql_(settings.sql),
      slow_microseconds_(int64_t{settings.slow_ms} * 1000) {
  if (place_ == RequestLogPlace::kSyslog) ::openlog("xmlgateway", LOG_PID, LOG_DAEMON);
}

RequestLog::~RequestLog() {
  CloseFile();
}

RequestLog::RequestLog(RequestLog&& other) noexcept {
  *this = std::move(other);
}

RequestLog& RequestLog::operator=(RequestLog&& other) noexcept {
  if (this != &other) {
    CloseFile();
    place_ = other.place_;
    path_ = std::move(other.path_);
    sql_ = other.sql_;
    slow_microseconds_ = other.slow_microseconds_;
    fd_ = std::exchange(other.fd_, -1);
    device_ = other.device_;
    inode_ = other.inode_;
    failure_noted_ = other.failure_noted_;
    other.place_ = RequestLogPlace::kOff;
  }
  return *this;
}

void RequestLog::Write(const RequestLogFields& fields, const std::string* sql) {
  if (!Enabled() || fields.total_microseconds < slow_microseconds_) return;
  WriteLine(FormatRequestLogLine(fields, sql_ ? sql : nullptr));
}

void RequestLog::WriteLine(const std::string& line) {
  if (place_ == RequestLogPlace::kSyslog) {
    ::syslog(LOG_INFO, "%.*s", static_cast<int>(line.size() - 1), line.data());
    return;
  }
  const int fd = place_ == RequestLogPlace::kStderr ? STDERR_FILENO : LogFile();
  if (fd < 0) return;
  // One write: a line written in pieces could interleave with another process's line.
  ssize_t written;
  do {
    written = ::write(fd, line.data(), line.size());
  } while (written < 0 && errno == EINTR);
  if (written != static_cast<ssize_t>(line.size()) && place_ == RequestLogPlace::kFile)
    NoteFailure(written < 0 ? errno : ENOSPC);
}

int RequestLog::LogFile() {
  struct stat named {};
  if (fd_ >= 0 && ::stat(path_.c_str(), &named) == 0 && named.st_dev == device_ &&
      named.st_ino == inode_)
    return fd_;
  CloseFile();
  fd_ = ::open(path_.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY, 0640);
  struct stat opened {};
  if (fd_ < 0 || ::fstat(fd_, &opened) != 0) {
    NoteFailure(errno);
    CloseFile();
    return -1;
  }
  device_ = opened.st_dev;
  inode_ = opened.st_ino;
  return fd_;
}

void RequestLog::CloseFile() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

void RequestLog::NoteFailure(int error) {
  if (failure_noted_) return;
  failure_noted_ = true;
  const std::string text =
      "xmlgateway: cannot write the request log " + path_ + ": " + std::strerror(error) + "\n";
  WriteAll(STDERR_FILENO, text.data(), text.size());
}

}  // namespace xg
