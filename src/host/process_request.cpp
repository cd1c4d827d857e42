#include "host/process_request.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "runtime/stop_signals.h"
#include "runtime/write_all.h"

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

}  // namespace xg
