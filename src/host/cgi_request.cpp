#include "host/cgi_request.h"

#include <algorithm>
#include <cstdint>
#include <optional>

#include "config/gateway_config.h"
#include "host/http_date.h"
#include "runtime/ascii_text.h"
#include "runtime/conversions.h"
#include "runtime/exceptions.h"
#include "runtime/format.h"
#include "runtime/resource_strings.h"

namespace xg {
namespace {

const char* const kVariableNames[] = {
    "REQUEST_METHOD",     "SERVER_PROTOCOL",     "URL",
    "QUERY_STRING",       "PATH_INFO",           "PATH_TRANSLATED",
    "HTTP_CACHE_CONTROL", "HTTP_DATE",           "HTTP_ACCEPT",
    "HTTP_FROM",          "HTTP_HOST",           "HTTP_IF_MODIFIED_SINCE",
    "HTTP_REFERER",       "HTTP_USER_AGENT",     "HTTP_CONTENT_ENCODING",
    "HTTP_CONTENT_TYPE",  "HTTP_CONTENT_LENGTH", "HTTP_CONTENT_VERSION",
    "HTTP_DERIVED_FROM",  "HTTP_EXPIRES",        "HTTP_TITLE",
    "REMOTE_ADDR",        "REMOTE_HOST",         "SCRIPT_NAME",
    "SERVER_PORT",        nullptr /* Content */, "HTTP_CONNECTION",
    "HTTP_COOKIE",        "HTTP_AUTHORIZATION",
};
constexpr int kVariableCount = sizeof(kVariableNames) / sizeof(kVariableNames[0]);

// The first read asks for at most this much; later reads for as much again as has arrived, so
// the buffer stays within about twice the bytes that actually came.
constexpr size_t kFirstReadSize = 64 * 1024;

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

TMethodType MethodTypeOf(const std::string& method) {
  static const char* const kMethods[] = {"GET", "PUT", "POST", "HEAD"};
  static const TMethodType kTypes[] = {mtGet, mtPut, mtPost, mtHead};
  for (int i = 0; i < 4; ++i) {
    if (EqualsIgnoringAsciiCase(method, kMethods[i])) return kTypes[i];
  }
  return mtAny;
}

const char* RequestVariableName(int index) {
  return index >= 0 && index < kVariableCount ? kVariableNames[index] : nullptr;
}

const FormFieldList& TWebRequest::FormFields() {
  if (formFields_) return *formFields_;
  formFields_ = std::make_unique<FormFieldList>();
  const int32_t length = ContentLength();
  if (length <= 0) return *formFields_;
  std::string body = Content();
  if (body.size() < static_cast<size_t>(length))
    body += ReadText(static_cast<int32_t>(length - body.size()));
  ParseFormFields(body, *formFields_);
  return *formFields_;
}

TCGIRequest::TCGIRequest(Env& env) : env_(env) {
  InitMethodType();
  const GatewayConfig& config = CurrentGatewayConfig();
  const std::string lengthText = GetTextVar(static_cast<int>(RequestVar::ContentLength));
  const std::optional<uint64_t> claimed = ClaimedLength(lengthText);
  if (claimed && *claimed > static_cast<uint64_t>(config.maxRequestBytes)) {
    throw EWebException(
        Format(LoadResString(SRequestTooLarge),
               {lengthText.substr(lengthText.find_first_not_of(" +")), config.maxRequestBytes}));
  }
  content_ = ReadText(ContentLength());
}

std::string TCGIRequest::GetTextVar(int index) const {
  if (index == static_cast<int>(RequestVar::Content)) return content_;
  const char* name = RequestVariableName(index);
  return name ? LookupVariable(name) : std::string();
}

DateTime TCGIRequest::GetDateVar(int index) const {
  return ParseHttpDate(GetTextVar(index)).value_or(-1.0);
}

int32_t TCGIRequest::GetIntVar(int index) const {
  return TryStrToInt(GetTextVar(index)).value_or(-1);
}

long TCGIRequest::ReadInput(char* buffer, size_t count) {
  return env_.ReadInput(buffer, count);
}

std::string TCGIRequest::ReadText(int32_t count) {
  std::string text;
  if (count <= 0) return text;
  size_t missing = static_cast<size_t>(count);
  while (missing > 0) {
    const size_t ask = std::min(missing, std::max(kFirstReadSize, text.size()));
    const size_t before = text.size();
    text.resize(before + ask);
    const long got = ReadInput(text.data() + before, ask);
    text.resize(before + (got > 0 ? static_cast<size_t>(got) : 0));
    if (got <= 0) break;
    missing -= static_cast<size_t>(got);
  }
  return text;
}

std::string TCGIRequest::ResolvePath(const std::string& uri) const {
  const std::string translated = GetTextVar(static_cast<int>(RequestVar::PathTranslated));
  const std::string pathInfo = PathInfo();
  if (!translated.empty() && translated.size() >= pathInfo.size() &&
      translated.compare(translated.size() - pathInfo.size(), pathInfo.size(), pathInfo) == 0)
    return translated.substr(0, translated.size() - pathInfo.size()) + uri;
  return uri;
}

long TCGIRequest::WriteOutput(const char* buffer, size_t count) {
  return env_.WriteOutput(buffer, count);
}

bool TCGIRequest::WriteText(const std::string& text) {
  if (text.empty()) return false;
  size_t written = 0;
  while (written < text.size()) {
    const long result = WriteOutput(text.data() + written, text.size() - written);
    if (result <= 0) return false;
    written += static_cast<size_t>(result);
  }
  return true;
}

bool TCGIRequest::WriteHeaderBlock(int /*statusCode*/, const std::string& statusText,
                                   const std::string& headers) {
  return WriteText("Status: " + statusText + "\r\n" + headers);
}

std::string TCGIRequest::LookupVariable(const std::string& name) const {
  std::string value = env_.GetVariable(name);
  if (!value.empty()) return value;
  const std::string other = name.compare(0, 5, "HTTP_") == 0 ? name.substr(5) : "HTTP_" + name;
  return env_.GetVariable(other);
}

}  // namespace xg
