// A request that arrived over a FastCGI connection: its parameters are the variables,
// its FCGI_STDIN stream the body, its FCGI_STDOUT stream the output. The answer's bytes are the
// ones a CGI process writes to standard output, header block included: the web server reads the
// header block of a FastCGI responder the same way.
#pragma once

#include <string_view>

#include "host/request.h"

namespace xg {

class FastCgiConnection;

class FastCgiRequest : public Request {
 public:
  // The request `connection` has read; the caller ends it after Serve.
  explicit FastCgiRequest(FastCgiConnection& connection);
  ~FastCgiRequest() override;

  std::string Variable(const std::string& name) const override;
  long Read(char* buffer, size_t count) override;
  // The web server closed the connection or aborted the request.
  bool ClientGone() override;

 protected:
  bool WriteBytes(const char* data, size_t size) override;
  // The connection notes it when it sends the first bytes of the answer.
  void NoteOutputStarting() override {}

 private:
  FastCgiConnection& connection_;
};

// The fault handler's answer for a FastCGI request (the request's own reporter, see
// fatal_signals.h): the server failure page in FCGI_STDOUT records of the request's id, the
// stream's end and the FCGI_END_REQUEST record, written with plain (blocking) writes to the
// connection. Answer bytes the connection held unsent are dropped: none reached the web server.
void WriteFastCgiFailurePageForFault(const RequestFaultState& state, std::string_view class_name,
                                     std::string_view message);

}  // namespace xg
