// The answer to a CGI request: the status, the content, and the CGI header block written before
// it.
#pragma once

#include <string>

#include "host/cgi_request.h"
#include "process/spool.h"

namespace xg {

// The two statuses the gateway answers with.
enum class HttpStatus { kOk, kInternalServerError };

class CgiResponse {
 public:
  // Status 200, no content.
  explicit CgiResponse(CgiRequest& request) : request_(request) {}

  void SetStatus(HttpStatus status) { status_ = status; }
  void SetContent(Spool content) { content_ = std::move(content); }
  size_t ContentSize() const { return content_.size(); }

  // Writes the header block (none when the request has no protocol version) in one write, then
  // the content (none when it is empty): its bytes in memory in a second write, its bytes in a
  // file copied after them. Write failures are ignored.
  void Send();

  // The header lines after the status line, the final empty line included: the content type
  // (always text/html), the length line when there is content, the two lines that keep a
  // browser from running the answer (browser_safety.h), and the "Content:" line.
  std::string HeaderText() const;
  // "200 OK" or "500 Internal Server Error".
  std::string StatusText() const;

 private:
  CgiRequest& request_;
  HttpStatus status_ = HttpStatus::kOk;
  Spool content_;
};

}  // namespace xg
