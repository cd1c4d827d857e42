// The operating-system services the CGI host uses: the process environment and the raw standard
// input and output. Everything the host reads or writes goes through Env so that tests can hand
// in their own.
#pragma once

#include <cstddef>
#include <string>

namespace xg {

class Env {
 public:
  virtual ~Env() = default;
  // The variable's text; an absent variable gives the empty text.
  virtual std::string GetVariable(const std::string& name) const = 0;
  // One read of at most `count` bytes from standard input; the number read, 0 at the end of the
  // input, negative on failure.
  virtual long ReadInput(char* buffer, size_t count) = 0;
  // One write to standard output; the number of bytes written, negative on failure.
  virtual long WriteOutput(const char* buffer, size_t count) = 0;
};

// File descriptors 0 and 1 and the process environment. Its writes tell the fault handler that
// the response has started (see fatal_signals.h) and write nothing once a termination signal
// has stopped the request (see stop_signals.h).
Env& PosixEnv();

}  // namespace xg
