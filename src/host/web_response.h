// The response of the process, as the web layer sees it: status, header values and content.
// TCGIResponse (cgi_response.h) is the form the program makes; it writes through the request's
// output operations.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "host/web_request.h"
#include "runtime/date_time.h"

namespace xg {

// Indexes of the response's string, date and integer variables.
enum class ResponseTextVar : int {
  Version = 0,
  StatusText = 1,
  Server = 2,
  WWWAuthenticate = 3,
  Realm = 4,
  Allow = 5,
  Location = 6,
  ContentEncoding = 7,
  ContentType = 8,
  ContentVersion = 9,
  DerivedFrom = 10,
  Title = 11,
};
enum class ResponseDateVar : int { Date = 0, Expires = 1, LastModified = 2 };
enum class ResponseIntVar : int { ContentLength = 0 };

// The reason text of an HTTP status code; empty for a code the table does not hold.
std::string StatusString(int code);

class TWebResponse {
 public:
  explicit TWebResponse(TWebRequest& request) : request_(request) {}
  virtual ~TWebResponse() = default;
  TWebResponse(const TWebResponse&) = delete;
  TWebResponse& operator=(const TWebResponse&) = delete;

  virtual std::string GetTextVar(int index) const = 0;
  virtual void SetTextVar(int index, const std::string& text) = 0;
  virtual DateTime GetDateVar(int index) const = 0;
  virtual void SetDateVar(int index, DateTime value) = 0;
  virtual int32_t GetIntVar(int index) const = 0;
  virtual void SetIntVar(int index, int32_t value) = 0;
  virtual std::string GetContent() const = 0;
  // Taken by value: an answer handed over as a temporary is moved, not copied.
  virtual void SetContent(std::string content) = 0;
  virtual int GetStatusCode() const = 0;
  virtual void SetStatusCode(int code) = 0;
  virtual std::string GetLogText() const = 0;
  virtual void SetLogText(const std::string& text) = 0;
  virtual void SendResponse() = 0;
  virtual void Redirect(const std::string& uri) = 0;
  virtual bool Sent() const { return false; }

  TWebRequest& HTTPRequest() const { return request_; }
  std::string Text(ResponseTextVar var) const { return GetTextVar(static_cast<int>(var)); }
  void SetText(ResponseTextVar var, const std::string& text) {
    SetTextVar(static_cast<int>(var), text);
  }
  DateTime Date(ResponseDateVar var) const { return GetDateVar(static_cast<int>(var)); }
  void SetDate(ResponseDateVar var, DateTime value) { SetDateVar(static_cast<int>(var), value); }
  int32_t ContentLength() const {
    return GetIntVar(static_cast<int>(ResponseIntVar::ContentLength));
  }

  // Extra header lines, name and value, written in list order.
  std::vector<std::pair<std::string, std::string>>& CustomHeaders() { return customHeaders_; }
  const std::vector<std::pair<std::string, std::string>>& CustomHeaders() const {
    return customHeaders_;
  }
  // One "Set-Cookie:" line per entry, the entry being the cookie's header value.
  std::vector<std::string>& Cookies() { return cookies_; }
  const std::vector<std::string>& Cookies() const { return cookies_; }

 private:
  TWebRequest& request_;
  std::vector<std::pair<std::string, std::string>> customHeaders_;
  std::vector<std::string> cookies_;
};

}  // namespace xg
