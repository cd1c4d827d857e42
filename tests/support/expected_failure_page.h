// The server failure page as a client must receive it: the texts that tests compare whole
// answers with.
#pragma once

#include <string>

namespace xg::test {

// The page's HTML for a failure of class `class_name` carrying `message`.
inline std::string FailurePageHtml(const std::string& class_name, const std::string& message) {
  return "<html><title>Internal Server Error 500</title>\r\n<h1>Internal Server Error 500</h1>"
         "<hr>\r\nException: " +
         class_name + "<br>\r\nMessage: " + message + "<br></html>\r\n";
}

// The header block the page goes out with: the message on the status line, the page's length
// and the two lines that keep a browser from running it.
inline std::string FailurePageHeader(const std::string& message, size_t page_size) {
  return "Status: 500 " + message +
         "\r\nContent-Type: text/html\r\nContent-Length: " + std::to_string(page_size) +
         "\r\nContent-Security-Policy: sandbox\r\nX-Content-Type-Options: nosniff\r\n\r\n";
}

// The whole answer: header block and page.
inline std::string ServerFailurePage(const std::string& class_name, const std::string& message) {
  const std::string page = FailurePageHtml(class_name, message);
  return FailurePageHeader(message, page.size()) + page;
}

}  // namespace xg::test
