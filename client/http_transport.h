// The HTTP exchange: the form body posted to the gateway's URL with libcurl, and the checks that
// tell a whole answer from a cut one or from a page that is no gateway answer.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace xg::client {

struct HttpAnswer {
  long status = 0;
  std::string reason;                      // the status line's reason phrase
  std::optional<uint64_t> content_length;  // the Content-Length header, when there was one
  std::string body;                        // the bytes received, as many as came
  bool cut = false;                        // the connection ended before the body did
};

struct TransportOptions {
  long timeout_seconds = 300;  // the whole exchange; 0 waits for ever
  long connect_timeout_seconds = 15;
  std::string user_agent;
};

// Posts `form_body` as application/x-www-form-urlencoded to `url` and returns what came back,
// following no redirection. A body that ends before its Content-Length is returned as received,
// for CheckHttpAnswer to report. Raises ClientError (transport) when there was no exchange: a
// bad URL, no connection, a time-out, a connection lost before the header ended.
HttpAnswer PostForm(const std::string& url, const std::string& form_body,
                    const TransportOptions& options);

// Accepts a whole answer with status 200. Raises ClientError: an answer error for a cut answer
// (a body whose length differs from its Content-Length, or that the connection ended before its
// chunked framing did) or for a status other than 200 and 500; a server error, with the page's
// text, for status 500 (the gateway's failure pages).
void CheckHttpAnswer(const HttpAnswer& answer);

// The readable text of an HTML failure page (ISO-8859-1): its title dropped, tags removed, runs
// of white space made one space, in UTF-8.
std::string FailurePageText(const std::string& page);

}  // namespace xg::client
