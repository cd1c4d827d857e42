// A request read the CGI way: its variables by their CGI names and its body, CONTENT_LENGTH bytes
// of the request's input, read when the request is made. Written through: the request's output.
#pragma once

#include <cstdint>
#include <string>

#include "config/gateway_config.h"
#include "host/request.h"
#include "process/spool.h"

namespace xg {

class CgiRequest {
 public:
  // Reads ContentLength bytes of body (nothing when it is zero, negative or not a number).
  // Memory grows with the bytes that arrive, not with the length claimed; std::bad_alloc leaves
  // the constructor when they cannot be held. Before reading, raises EWebException when
  // CONTENT_LENGTH claims more than `max_request_bytes` (the configuration's max-request-bytes),
  // as a decimal number or in any form ContentLength reads; no byte of the body is read then.
  explicit CgiRequest(Request& request,
                      int64_t max_request_bytes = GatewayConfig().max_request_bytes);

  // The variable; when it is empty, the name with "HTTP_" dropped (when it begins with it) or
  // put in front (when not).
  std::string Variable(const std::string& name) const;
  std::string ProtocolVersion() const { return Variable("SERVER_PROTOCOL"); }
  std::string PathInfo() const { return Variable("PATH_INFO"); }
  std::string UserAgent() const { return Variable("HTTP_USER_AGENT"); }
  // CONTENT_LENGTH (HTTP_CONTENT_LENGTH only when the web server set none) as a 32-bit integer:
  // leading blanks, one sign, decimal digits or hexadecimal digits after "$", "x" or "0x"; -1 for
  // empty text, any other character, or overflow.
  int32_t ContentLength() const;
  // The body read at construction.
  const std::string& content() const { return content_; }

  // The form body: empty when ContentLength is not positive; otherwise the body, and when it is
  // shorter than ContentLength the missing bytes are asked for once more first. Called once.
  std::string ReadFormBody();

  // Nothing is written for empty text (answers false); otherwise the whole text at once.
  // Answers whether all bytes were written.
  bool WriteText(const std::string& text);
  // The same for the bytes of an answer, which may lie in a file.
  bool WriteContent(Spool& content);

 private:
  void RefuseLengthAbove(int64_t max_request_bytes) const;
  // Up to `count` bytes of input: reads until all arrived or a read delivers nothing or fails.
  // Nothing is read when count <= 0.
  std::string ReadText(int32_t count);

  Request& request_;
  std::string content_;
};

}  // namespace xg
