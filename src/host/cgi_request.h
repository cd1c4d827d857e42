// The CGI request: variables from the process environment, the body from standard input, and
// output to standard output, all through an Env.
#pragma once

#include "host/env.h"
#include "host/web_request.h"

namespace xg {

class TCGIRequest : public TWebRequest {
 public:
  // Sets the method type, then reads ContentLength bytes of body (nothing when it is zero,
  // negative or not a number). Memory grows with the bytes that arrive, not with the length
  // claimed; std::bad_alloc leaves the constructor when they cannot be held. Before reading,
  // raises the EConfigError of a configuration that could not be loaded, and EWebException
  // when CONTENT_LENGTH claims more than max-request-bytes (no byte of the body is read).
  explicit TCGIRequest(Env& env);

  std::string GetTextVar(int index) const override;
  // The variable parsed as an HTTP date (RFC 1123 form); -1.0 when empty or not such a date.
  DateTime GetDateVar(int index) const override;
  // The variable as a 32-bit integer: leading blanks, one sign, decimal digits or hexadecimal
  // digits after "$", "x" or "0x"; -1 for empty text, any other character, or overflow.
  int32_t GetIntVar(int index) const override;
  long ReadInput(char* buffer, size_t count) override;
  // Up to `count` bytes of standard input: reads until all arrived or a read delivers nothing
  // or fails. Nothing is read when count <= 0.
  std::string ReadText(int32_t count) override;
  std::string ResolvePath(const std::string& uri) const override;
  long WriteOutput(const char* buffer, size_t count) override;
  // Nothing is written for empty text (answers false); otherwise the whole text in one write,
  // continued only if the host accepted part of it. Answers whether all bytes were written.
  bool WriteText(const std::string& text) override;
  // "Status: " + statusText + CR LF + headers, in one WriteText. statusCode is not used.
  bool WriteHeaderBlock(int statusCode, const std::string& statusText,
                        const std::string& headers) override;
  // The environment variable; when it is empty, the name with "HTTP_" dropped (when it begins
  // with it) or put in front (when not).
  std::string LookupVariable(const std::string& name) const override;

 private:
  Env& env_;
  std::string content_;
};

// Name of the environment variable behind a request variable index; nullptr for Content and
// indexes outside the table.
const char* RequestVariableName(int index);

}  // namespace xg
