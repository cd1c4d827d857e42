#include "host/cgi_response.h"

#include "host/browser_safety.h"

namespace xg {

std::string CgiResponse::StatusText() const {
  return status_ == HttpStatus::kOk ? "200 OK" : "500 Internal Server Error";
}

std::string CgiResponse::HeaderText() const {
  std::string headers = "Content-Type: text/html\r\n";
  if (!content_.empty()) headers += "Content-Length: " + std::to_string(content_.size()) + "\r\n";
  headers += XG_BROWSER_SAFETY_HEADERS;
  headers += "Content:\r\n\r\n";
  return headers;
}

void CgiResponse::Send() {
  if (!request_.ProtocolVersion().empty())
    request_.WriteText("Status: " + StatusText() + "\r\n" + HeaderText());
  request_.WriteContent(content_);
}

}  // namespace xg
