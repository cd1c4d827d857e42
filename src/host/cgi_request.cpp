#include "host/cgi_request.h"

#include <algorithm>
#include <cstdint>
#include <optional>

#include "texts/exceptions.h"
#include "texts/format.h"
#include "texts/resource_strings.h"
#include "values/conversions.h"

namespace xg {
namespace {

// The first read asks for at most this much; later reads for as much again as has arrived, so
// the buffer stays within about twice the bytes that actually came.
constexpr size_t kFirstReadSize = 64 * 1024;

// The web server's own variable: it says how long the body it passes is. A client's
// Content-Length header (HTTP_CONTENT_LENGTH) counts only where the server sets none.
constexpr const char* kContentLength = "CONTENT_LENGTH";

XG_RESOURCE(SRequestTooLarge,
            "Request body of %s bytes is larger than max-request-bytes (%d bytes)");

// The length a CONTENT_LENGTH text claims when it is a decimal number (leading blanks and a
// "+" allowed), however large: a number beyond 64 bits counts as the largest one. Nothing for
// any other text, which reads no body anyway.
std::optional<uint64_t> ClaimedLength(const std::string& text) {
  size_t i = text.find_first_not_of(' ');
  if (i == std::string::npos) return std::nullopt;
  if (text[i] == '+') ++i;
  if (i == text.size()) return std::nullopt;
  uint64_t length = 0;
  for (; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return std::nullopt;
    const uint64_t digit = static_cast<uint64_t>(text[i] - '0');
    length = length > (UINT64_MAX - digit) / 10 ? UINT64_MAX : length * 10 + digit;
  }
  return length;
}

}  // namespace

CgiRequest::CgiRequest(Request& request, int64_t max_request_bytes) : request_(request) {
  RefuseLengthAbove(max_request_bytes);
  content_ = ReadText(ContentLength());
}

// Both the decimal claim (however large) and the length the body is read for (in every number
// form the conversion accepts: "0x7fffffff" reads as much as "2147483647") are held to the limit.
void CgiRequest::RefuseLengthAbove(int64_t max_request_bytes) const {
  const std::string length_text = Variable(kContentLength);
  const std::optional<uint64_t> claimed = ClaimedLength(length_text);
  const int32_t used = ContentLength();
  const uint64_t limit = static_cast<uint64_t>(std::max<int64_t>(max_request_bytes, 0));
  if (claimed && *claimed > limit) {
    throw EWebException(
        Format(LoadResString(SRequestTooLarge),
               {length_text.substr(length_text.find_first_not_of(" +")), max_request_bytes}));
  }
  if (used > 0 && static_cast<uint64_t>(used) > limit) {
    throw EWebException(
        Format(LoadResString(SRequestTooLarge), {std::to_string(used), max_request_bytes}));
  }
}

std::string CgiRequest::Variable(const std::string& name) const {
  std::string value = request_.Variable(name);
  if (!value.empty()) return value;
  const std::string other = name.compare(0, 5, "HTTP_") == 0 ? name.substr(5) : "HTTP_" + name;
  return request_.Variable(other);
}

int32_t CgiRequest::ContentLength() const {
  return TryStrToInt(Variable(kContentLength)).value_or(-1);
}

std::string CgiRequest::ReadFormBody() {
  const int32_t length = ContentLength();
  if (length <= 0) return std::string();
  std::string body = content_;
  if (body.size() < static_cast<size_t>(length))
    body += ReadText(static_cast<int32_t>(length - body.size()));
  return body;
}

std::string CgiRequest::ReadText(int32_t count) {
  std::string text;
  if (count <= 0) return text;
  size_t missing = static_cast<size_t>(count);
  while (missing > 0) {
    const size_t ask = std::min(missing, std::max(kFirstReadSize, text.size()));
    const size_t before = text.size();
    text.resize(before + ask);
    const long got = request_.Read(text.data() + before, ask);
    text.resize(before + (got > 0 ? static_cast<size_t>(got) : 0));
    if (got <= 0) break;
    missing -= static_cast<size_t>(got);
  }
  return text;
}

bool CgiRequest::WriteText(const std::string& text) {
  if (text.empty()) return false;
  return request_.Write(text.data(), text.size());
}

bool CgiRequest::WriteContent(Spool& content) {
  if (content.empty()) return false;
  return content.Send([this](const char* data, size_t size) { return request_.Write(data, size); },
                      [this](int fd, off_t offset, size_t size) {
                        return request_.WriteFileRange(fd, offset, size);
                      });
}

}  // namespace xg
