#include "host/env.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "runtime/fatal_signals.h"
#include "runtime/stop_signals.h"

namespace xg {
namespace {

class PosixEnvironment : public Env {
 public:
  std::string GetVariable(const std::string& name) const override {
    const char* value = std::getenv(name.c_str());
    return value ? std::string(value) : std::string();
  }

  // A signal arriving during the call is not an end of input: the call is repeated.
  long ReadInput(char* buffer, size_t count) override {
    ssize_t result;
    do {
      result = ::read(STDIN_FILENO, buffer, count);
    } while (result < 0 && errno == EINTR);
    return static_cast<long>(result);
  }

  // Noted before the first byte may leave, so that a fault from then on adds nothing to what the
  // web server has already received. Once a termination signal has stopped the request nothing
  // more is written: the write fails, and a write that the signal interrupts ends early.
  long WriteOutput(const char* buffer, size_t count) override {
    NoteOutputStarted();
    OutputWriteScope scope;
    ssize_t result;
    do {
      if (AnswerMuted()) return -1;
      result = ::write(STDOUT_FILENO, buffer, count);
    } while (result < 0 && errno == EINTR);
    return static_cast<long>(result);
  }
};

}  // namespace

Env& PosixEnv() {
  static PosixEnvironment env;
  return env;
}

}  // namespace xg
