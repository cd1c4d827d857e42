// The request of a CGI process: the process environment, file descriptor 0 for the body and file
// descriptor 1 for the answer.
#pragma once

#include "host/request.h"

namespace xg {

class ProcessRequest : public Request {
 public:
  ProcessRequest();

  std::string Variable(const std::string& name) const override;
  // A signal arriving during the read is not an end of input: the read is repeated.
  long Read(char* buffer, size_t count) override;
  // The file's bytes go to the output with sendfile(2), unless the output does not take them so.
  bool WriteFileRange(int fd, off_t offset, size_t size) override;

 protected:
  // Once a termination signal has stopped the request nothing more is written (see
  // stop_signals.h): the write fails, and a write that the signal interrupts ends early.
  bool WriteBytes(const char* data, size_t size) override;
};

}  // namespace xg
