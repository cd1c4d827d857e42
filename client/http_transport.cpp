#include "http_transport.h"

#include <curl/curl.h>

#include <charconv>
#include <memory>
#include <string_view>

#include "client_error.h"
#include "text_encoding.h"

namespace xg::client {
namespace {

// libcurl's process-wide set-up, done once before the first transfer and undone at exit.
class CurlLibrary {
 public:
  CurlLibrary() : code_(curl_global_init(CURL_GLOBAL_DEFAULT)) {}
  ~CurlLibrary() {
    if (code_ == CURLE_OK) curl_global_cleanup();
  }
  CurlLibrary(const CurlLibrary&) = delete;
  CurlLibrary& operator=(const CurlLibrary&) = delete;
  CURLcode code() const { return code_; }

 private:
  CURLcode code_;
};

struct EasyDeleter {
  void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
struct ListDeleter {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    char c = text[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != prefix[i]) return false;
  }
  return true;
}

std::string_view Trim(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

// One header line of the answer. A status line starts a new answer (after an interim one such
// as "100 Continue"), so it resets what the earlier lines set.
void ReadHeaderLine(std::string_view line, HttpAnswer& answer) {
  line = Trim(line);
  if (line.starts_with("HTTP/")) {
    answer = HttpAnswer{};
    const size_t code_start = line.find(' ');
    if (code_start == std::string_view::npos) return;
    std::string_view rest = line.substr(code_start + 1);
    std::from_chars(rest.data(), rest.data() + rest.size(), answer.status);
    const size_t reason_start = rest.find(' ');
    if (reason_start != std::string_view::npos) answer.reason = Trim(rest.substr(reason_start));
    return;
  }
  constexpr std::string_view kLength = "content-length:";
  if (StartsWithNoCase(line, kLength)) {
    const std::string_view value = Trim(line.substr(kLength.size()));
    uint64_t length = 0;
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), length);
    if (error == std::errc() && end == value.data() + value.size()) answer.content_length = length;
  }
}

size_t OnHeader(char* data, size_t size, size_t count, void* answer) {
  ReadHeaderLine(std::string_view(data, size * count), *static_cast<HttpAnswer*>(answer));
  return size * count;
}

size_t OnBody(char* data, size_t size, size_t count, void* answer) {
  static_cast<HttpAnswer*>(answer)->body.append(data, size * count);
  return size * count;
}

}  // namespace

HttpAnswer PostForm(const std::string& url, const std::string& form_body,
                    const TransportOptions& options) {
  static const CurlLibrary library;
  if (library.code() != CURLE_OK)
    throw ClientError(ExitCode::kTransport, curl_easy_strerror(library.code()));
  const std::unique_ptr<CURL, EasyDeleter> handle(curl_easy_init());
  if (!handle) throw ClientError(ExitCode::kTransport, "cannot start an HTTP transfer");
  // No "Expect: 100-continue" round trip before a longer body.
  std::unique_ptr<curl_slist, ListDeleter> headers(curl_slist_append(nullptr, "Expect:"));
  if (!headers) throw ClientError(ExitCode::kTransport, "out of memory");

  HttpAnswer answer;
  char error_text[CURL_ERROR_SIZE] = "";
  CURL* curl = handle.get();
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_POST, 1L);
  curl_easy_setopt(curl, CURLOPT_POSTFIELDS, form_body.data());
  curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(form_body.size()));
  curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers.get());
  curl_easy_setopt(curl, CURLOPT_USERAGENT, options.user_agent.c_str());
  curl_easy_setopt(curl, CURLOPT_TIMEOUT, options.timeout_seconds);
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, options.connect_timeout_seconds);
  curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 0L);
  curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, error_text);
  curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, OnHeader);
  curl_easy_setopt(curl, CURLOPT_HEADERDATA, &answer);
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, OnBody);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &answer);

  const CURLcode code = curl_easy_perform(curl);
  // A body cut short is an answer to report as such, not a lost exchange.
  if (code == CURLE_PARTIAL_FILE && answer.status != 0) answer.cut = true;
  if (code == CURLE_OK || answer.cut) return answer;
  std::string reason = error_text[0] != '\0' ? error_text : curl_easy_strerror(code);
  throw ClientError(ExitCode::kTransport, "no answer from " + url + ": " + reason);
}

void CheckHttpAnswer(const HttpAnswer& answer) {
  const std::string status =
      "HTTP status " + std::to_string(answer.status) +
      (answer.reason.empty() ? std::string() : " " + Latin1ToUtf8(answer.reason));
  if (answer.content_length && *answer.content_length != answer.body.size()) {
    throw ClientError(ExitCode::kAnswer,
                      "cut answer (" + status + "): " + std::to_string(answer.body.size()) +
                          " bytes of " + std::to_string(*answer.content_length) + " came");
  }
  if (answer.cut) {
    throw ClientError(ExitCode::kAnswer, "cut answer (" + status +
                                             "): the connection ended after " +
                                             std::to_string(answer.body.size()) + " bytes");
  }
  if (answer.status == 200) return;
  if (answer.status == 500) {
    const std::string text = FailurePageText(answer.body);
    throw ClientError(ExitCode::kServer, status + (text.empty() ? "" : ": " + text));
  }
  throw ClientError(ExitCode::kAnswer, "not a gateway answer: " + status);
}

std::string FailurePageText(const std::string& page) {
  // The title repeats the page's heading.
  std::string without_title = page;
  const size_t title = page.find("<title>");
  const size_t title_end = page.find("</title>");
  if (title != std::string::npos && title_end != std::string::npos && title < title_end)
    without_title.erase(title, title_end + 8 - title);
  std::string text;
  bool in_tag = false;
  bool blank = false;
  for (const char c : without_title) {
    if (in_tag) {
      if (c == '>') {
        in_tag = false;
        blank = true;
      }
      continue;
    }
    if (c == '<') {
      in_tag = true;
    } else if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
      blank = true;
    } else {
      if (blank && !text.empty()) text += ' ';
      blank = false;
      text += c;
    }
  }
  return Latin1ToUtf8(text);
}

}  // namespace xg::client
