// The server failure page: what the request cycle writes when a request cannot be served at all,
// and what the fault handler writes when a processor fault ends a request. Both build the page
// with the same two formats below; the formatting allocates nothing, so the fault handler can
// use it inside a signal handler.
#pragma once

#include <cstddef>
#include <exception>
#include <string_view>

#include "host/request.h"

namespace xg {

// The page naming the failure's class and message, and the header text before it ("Status: 500
// <message>", the content type, the page's length, the two browser safety lines of
// browser_safety.h, the empty line). Each writes into
// out[0, capacity) and answers the whole length (more than capacity when cut).
size_t FormatFailurePage(char* out, size_t capacity, std::string_view class_name,
                         std::string_view message);
size_t FormatFailureHeader(char* out, size_t capacity, std::string_view message,
                           size_t page_length);

// Writes the header text, then the page, to the request's output in two writes. A failure that
// is not an Exception has an empty message. Write failures are ignored.
void WriteFailurePage(const std::exception_ptr& failure, Request& request);
// The length of the page WriteFailurePage writes for the failure.
size_t FailurePageLength(const std::exception_ptr& failure);

// The header text and the page of a processor fault, formatted inside the signal handler into
// fixed buffers: a message that does not fit is cut, and the length line counts the page as
// written.
struct FaultPageText {
  char header[2048];
  size_t header_length = 0;
  char page[4096];
  size_t page_length = 0;
};
void FormatFaultPage(FaultPageText& text, std::string_view class_name, std::string_view message);

// The same for a processor fault, from inside the signal handler: formats the FaultPageText and
// writes it to file descriptor `fd` with plain writes. A FaultReporter (see fatal_signals.h).
void WriteFailurePageForFault(int fd, std::string_view class_name, std::string_view message);

}  // namespace xg
