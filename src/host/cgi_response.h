// The CGI response: holds status, header values and content and writes the CGI header block and
// the body through the request's output operations.
#pragma once

#include <array>

#include "host/web_response.h"
#include "runtime/regional_settings.h"

namespace xg {

class TCGIResponse : public TWebResponse {
 public:
  // Sets the defaults: Version "1.0" when the request has no protocol version, status 200 "OK",
  // the three dates -1.0, content type "text/html". The dates of the header block are written
  // with the settings' time separator.
  TCGIResponse(TWebRequest& request, const RegionalSettings& settings);

  std::string GetTextVar(int index) const override;
  void SetTextVar(int index, const std::string& text) override;
  DateTime GetDateVar(int index) const override;
  void SetDateVar(int index, DateTime value) override;
  int32_t GetIntVar(int index) const override;
  void SetIntVar(int index, int32_t value) override;
  std::string GetContent() const override { return content_; }
  // Also sets ContentLength to the content's length in bytes.
  void SetContent(std::string content) override;
  int GetStatusCode() const override { return statusCode_; }
  // A different code also sets StatusText to the code's reason text (empty when unknown).
  void SetStatusCode(int code) override;
  std::string GetLogText() const override { return std::string(); }
  void SetLogText(const std::string&) override {}
  // Writes the header block (none when the request has no protocol version) in one write, then
  // the content in a second write, and marks the response sent. Write failures are ignored.
  void SendResponse() override;
  void Redirect(const std::string& uri) override;
  bool Sent() const override { return sent_; }

  // The header lines of SendResponse after the status line, the final empty line included.
  // The length line carries the content's length in 64 bits; the two lines that keep a browser
  // from running the answer (browser_safety.h) come right before the "Content:" line.
  std::string HeaderText() const;

 private:
  void SetDefaults();

  const RegionalSettings& settings_;
  int statusCode_ = 0;
  std::array<std::string, 12> textVars_;
  int64_t contentLength_ = 0;
  std::array<DateTime, 3> dateVars_{};
  std::string content_;
  bool sent_ = false;
};

}  // namespace xg
