#include "host/cgi_response.h"

#include <climits>
#include <utility>

#include "host/browser_safety.h"
#include "host/http_date.h"
#include "runtime/format.h"

namespace xg {
namespace {

struct StatusEntry {
  int code;
  const char* text;
};

const StatusEntry kStatusTexts[] = {
    {100, "Continue"},
    {101, "Switching Protocols"},
    {200, "OK"},
    {201, "Created"},
    {202, "Accepted"},
    {203, "Non-Authoritative Information"},
    {204, "No Content"},
    {205, "Reset Content"},
    {206, "Partial Content"},
    {300, "Multiple Choices"},
    {301, "Moved Permanently"},
    {302, "Moved Temporarily"},
    {303, "See Other"},
    {304, "Not Modified"},
    {305, "Use Proxy"},
    {400, "Bad Request"},
    {401, "Unauthorized"},
    {402, "Payment Required"},
    {403, "Forbidden"},
    {404, "Not Found"},
    {405, "Method Not Allowed"},
    {406, "None Acceptable"},
    {407, "Proxy Authentication Required"},
    {408, "Request Timeout"},
    {409, "Conflict"},
    {410, "Gone"},
    {411, "Length Required"},
    {412, "Unless True"},
    {500, "Internal Server Error"},
    {501, "Not Implemented"},
    {502, "Bad Gateway"},
    {503, "Service Unavailable"},
    {504, "Gateway Timeout"},
};

// Appends the line "<format filled with value>" when the value is not empty.
void AppendLine(std::string& headers, const char* format, const std::string& value) {
  if (!value.empty()) headers += Format(format, {value});
}

}  // namespace

std::string StatusString(int code) {
  for (const StatusEntry& entry : kStatusTexts)
    if (entry.code == code) return entry.text;
  return std::string();
}

TCGIResponse::TCGIResponse(TWebRequest& request, const RegionalSettings& settings)
    : TWebResponse(request), settings_(settings) {
  SetDefaults();
}

void TCGIResponse::SetDefaults() {
  if (HTTPRequest().ProtocolVersion().empty()) SetText(ResponseTextVar::Version, "1.0");
  SetStatusCode(200);
  SetDate(ResponseDateVar::LastModified, -1.0);
  SetDate(ResponseDateVar::Expires, -1.0);
  SetDate(ResponseDateVar::Date, -1.0);
  SetText(ResponseTextVar::ContentType, "text/html");
}

std::string TCGIResponse::GetTextVar(int index) const {
  return index >= 0 && index < static_cast<int>(textVars_.size()) ? textVars_[index]
                                                                  : std::string();
}

void TCGIResponse::SetTextVar(int index, const std::string& text) {
  if (index >= 0 && index < static_cast<int>(textVars_.size())) textVars_[index] = text;
}

DateTime TCGIResponse::GetDateVar(int index) const {
  return index >= 0 && index < static_cast<int>(dateVars_.size()) ? dateVars_[index] : -1.0;
}

void TCGIResponse::SetDateVar(int index, DateTime value) {
  if (index >= 0 && index < static_cast<int>(dateVars_.size())) dateVars_[index] = value;
}

int32_t TCGIResponse::GetIntVar(int index) const {
  if (index != 0) return -1;
  return contentLength_ > INT32_MAX ? INT32_MAX : static_cast<int32_t>(contentLength_);
}

void TCGIResponse::SetIntVar(int index, int32_t value) {
  if (index == 0) contentLength_ = value;
}

void TCGIResponse::SetContent(std::string content) {
  content_ = std::move(content);
  contentLength_ = static_cast<int64_t>(content_.size());
}

void TCGIResponse::SetStatusCode(int code) {
  if (code == statusCode_) return;
  statusCode_ = code;
  SetText(ResponseTextVar::StatusText, StatusString(code));
}

std::string TCGIResponse::HeaderText() const {
  std::string headers;
  AppendLine(headers, "Location: %s\r\n", Text(ResponseTextVar::Location));
  AppendLine(headers, "Allow: %s\r\n", Text(ResponseTextVar::Allow));
  for (const std::string& cookie : Cookies()) AppendLine(headers, "Set-Cookie: %s\r\n", cookie);
  AppendLine(headers, "Derived-From: %s\r\n", Text(ResponseTextVar::DerivedFrom));
  if (Date(ResponseDateVar::Expires) > 0)
    headers += Format("Expires: %s\r\n", {HttpDateText(Date(ResponseDateVar::Expires), settings_)});
  if (Date(ResponseDateVar::LastModified) > 0)
    headers += Format("Last-Modified: %s\r\n",
                      {HttpDateText(Date(ResponseDateVar::LastModified), settings_)});
  AppendLine(headers, "Title: %s\r\n", Text(ResponseTextVar::Title));
  const std::string authenticate = Text(ResponseTextVar::WWWAuthenticate);
  const std::string realm = Text(ResponseTextVar::Realm);
  AppendLine(headers, "WWW-Authenticate: %s\r\n",
             realm.empty() ? authenticate : Format("%s Realm=%s", {authenticate, realm}));
  for (const auto& [name, value] : CustomHeaders()) headers += name + ": " + value + "\r\n";
  AppendLine(headers, "Content-Version: %s\r\n", Text(ResponseTextVar::ContentVersion));
  AppendLine(headers, "Content-Encoding: %s\r\n", Text(ResponseTextVar::ContentEncoding));
  AppendLine(headers, "Content-Type: %s\r\n", Text(ResponseTextVar::ContentType));
  if (!content_.empty()) headers += Format("Content-Length: %d\r\n", {contentLength_});
  headers += XG_BROWSER_SAFETY_HEADERS;
  headers += "Content:\r\n\r\n";
  return headers;
}

void TCGIResponse::SendResponse() {
  TWebRequest& request = HTTPRequest();
  if (!request.ProtocolVersion().empty()) {
    const std::string statusText = Text(ResponseTextVar::StatusText);
    const std::string status = !statusText.empty() && statusCode_ > 0
                                   ? Format("%d %s", {statusCode_, statusText})
                                   : std::string("200 OK");
    request.WriteHeaderBlock(statusCode_, status, HeaderText());
  }
  request.WriteText(content_);
  sent_ = true;
}

void TCGIResponse::Redirect(const std::string& uri) {
  SetText(ResponseTextVar::Location, uri);
  SetStatusCode(302);
  SetText(ResponseTextVar::ContentType, "text/html");
  SetContent(
      Format("<html><title>Document Moved 302</title>\r\n<body><h1>Object Moved</h1><hr>\r\n"
             "This Object may be found <a HREF=\"%s\">here.</a><br>\r\n<br></body></html>\r\n",
             {uri}));
  SendResponse();
}

}  // namespace xg
