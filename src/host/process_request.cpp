#include "host/process_request.h"

#include <sys/sendfile.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "process/stop_signals.h"
#include "process/write_all.h"

namespace xg {

ProcessRequest::ProcessRequest() : Request(STDOUT_FILENO) {}

std::string ProcessRequest::Variable(const std::string& name) const {
  const char* value = std::getenv(name.c_str());
  return value ? std::string(value) : std::string();
}

long ProcessRequest::Read(char* buffer, size_t count) {
  ssize_t result;
  do {
    result = ::read(STDIN_FILENO, buffer, count);
  } while (result < 0 && errno == EINTR);
  return static_cast<long>(result);
}

bool ProcessRequest::WriteBytes(const char* data, size_t size) {
  OutputWriteScope scope;
  return WriteAll(STDOUT_FILENO, data, size, &AnswerMuted);
}

bool ProcessRequest::WriteFileRange(int fd, off_t offset, size_t size) {
  fault_state().TakeOutputForAnswer();
  OutputWriteScope scope;
  bool first = true;
  while (size > 0) {
    if (AnswerMuted()) return false;
    const ssize_t sent = ::sendfile(STDOUT_FILENO, fd, &offset, size);
    if (sent < 0 && errno == EINTR) continue;
    if (sent < 0 && first && (errno == EINVAL || errno == ENOSYS)) {
      // An output that sendfile cannot write to (opened for appending, for one).
      return Request::WriteFileRange(fd, offset, size);
    }
    if (sent <= 0) return false;
    first = false;
    size -= static_cast<size_t>(sent);
  }
  return true;
}

}  // namespace xg
