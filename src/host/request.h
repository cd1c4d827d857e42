// One request as the host serves it: its variables, the bytes of its body and the output its
// answer goes to, and the state the fault handler needs while it is served. The CGI process's own
// request is a ProcessRequest (process_request.h); tests hand in requests held in memory.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <string>

#include "process/fatal_signals.h"

namespace xg {

class Request {
 public:
  virtual ~Request() = default;
  Request(const Request&) = delete;
  Request& operator=(const Request&) = delete;

  // The variable's text; an absent variable gives the empty text.
  virtual std::string Variable(const std::string& name) const = 0;
  // One read of at most `count` bytes of the body: the number read, 0 at its end, negative on
  // failure.
  virtual long Read(char* buffer, size_t count) = 0;
  // Whether the request's client has gone, so that its database calls are not worth finishing.
  // Asked from the thread that watches the request's calls while the serving thread runs them;
  // a request whose client cannot go away first answers false.
  virtual bool ClientGone() { return false; }

  // Writes all the bytes to the request's output, noting first that its answer has started (a
  // fault from then on adds nothing to it). Answers whether every byte was written.
  bool Write(const char* data, size_t size) {
    NoteOutputStarting();
    return WriteBytes(data, size);
  }

  // Writes `size` bytes of the file `fd` from `offset` on to the request's output, noting first
  // that its answer has started. This one reads the file a piece at a time and writes each piece
  // with Write; an output that can take a file's bytes without copying them overrides it.
  // Answers whether every byte was written.
  virtual bool WriteFileRange(int fd, off_t offset, size_t size);

  RequestFaultState& fault_state() { return fault_state_; }
  const RequestFaultState& fault_state() const { return fault_state_; }

 protected:
  // `output_fd` is where the fault handler writes the failure page of a fault during the
  // request; -1 when the output is no file descriptor.
  explicit Request(int output_fd = -1) { fault_state_.output_fd = output_fd; }

  virtual bool WriteBytes(const char* data, size_t size) = 0;
  // Notes that the answer's bytes are about to go out. An output that holds bytes back before
  // sending them overrides it and notes it itself when they are sent, so that a fault while
  // they are held still answers the failure page.
  virtual void NoteOutputStarting() { fault_state_.TakeOutputForAnswer(); }

 private:
  RequestFaultState fault_state_;
};

}  // namespace xg
