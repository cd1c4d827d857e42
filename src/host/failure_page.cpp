#include "host/failure_page.h"

#include <algorithm>
#include <string>

#include "host/browser_safety.h"
#include "process/failure.h"
#include "process/write_all.h"
#include "texts/safe_format.h"

namespace xg {
namespace {

constexpr std::string_view kPageFormat =
    "<html><title>Internal Server Error 500</title>\r\n"
    "<h1>Internal Server Error 500</h1><hr>\r\n"
    "Exception: %s<br>\r\nMessage: %s<br></html>\r\n";
constexpr std::string_view kHeaderFormat =
    "Status: 500 %s\r\nContent-Type: text/html\r\nContent-Length: %d\r\n" XG_BROWSER_SAFETY_HEADERS
    "\r\n";

// Room for the page and the header of a message of ordinary length; longer ones go to the heap
// in the request cycle and are cut in the fault handler.
constexpr size_t kPageBuffer = 4096;
constexpr size_t kHeaderBuffer = 2048;

// Formats with `format` into the stack buffer when the text fits, else into `heap`; answers
// the text.
template <class Formatter>
std::string_view FormatInto(char* buffer, size_t capacity, std::string& heap, Formatter format) {
  const size_t length = format(buffer, capacity);
  if (length <= capacity) return std::string_view(buffer, length);
  heap.assign(length, '\0');
  format(heap.data(), length);
  return heap;
}

}  // namespace

size_t FormatFailurePage(char* out, size_t capacity, std::string_view class_name,
                         std::string_view message) {
  return SafeFormat(out, capacity, kPageFormat, {class_name, message});
}

size_t FormatFailureHeader(char* out, size_t capacity, std::string_view message,
                           size_t page_length) {
  return SafeFormat(out, capacity, kHeaderFormat, {message, static_cast<int64_t>(page_length)});
}

void WriteFailurePage(const std::exception_ptr& failure, Request& request) {
  const Exception* exception = AsException(failure);
  const std::string_view message = exception ? std::string_view(exception->Message()) : "";
  const std::string class_name = FailureClassName(failure);
  char page_buffer[kPageBuffer];
  char header_buffer[kHeaderBuffer];
  std::string page_heap, header_heap;
  const std::string_view page =
      FormatInto(page_buffer, sizeof page_buffer, page_heap, [&](char* out, size_t capacity) {
        return FormatFailurePage(out, capacity, class_name, message);
      });
  const std::string_view header =
      FormatInto(header_buffer, sizeof header_buffer, header_heap, [&](char* out, size_t capacity) {
        return FormatFailureHeader(out, capacity, message, page.size());
      });
  request.Write(header.data(), header.size());
  request.Write(page.data(), page.size());
}

size_t FailurePageLength(const std::exception_ptr& failure) {
  const Exception* exception = AsException(failure);
  const std::string_view message = exception ? std::string_view(exception->Message()) : "";
  return FormatFailurePage(nullptr, 0, FailureClassName(failure), message);
}

void FormatFaultPage(FaultPageText& text, std::string_view class_name, std::string_view message) {
  // The message is cut so that the page holds it whole.
  class_name = class_name.substr(0, std::min(class_name.size(), size_t{256}));
  const size_t page_room = sizeof text.page - kPageFormat.size() - class_name.size();
  message =
      message.substr(0, std::min(message.size(), std::min(page_room, sizeof text.header / 2)));
  text.page_length = std::min(FormatFailurePage(text.page, sizeof text.page, class_name, message),
                              sizeof text.page);
  text.header_length =
      std::min(FormatFailureHeader(text.header, sizeof text.header, message, text.page_length),
               sizeof text.header);
}

void WriteFailurePageForFault(int fd, std::string_view class_name, std::string_view message) {
  FaultPageText text;
  FormatFaultPage(text, class_name, message);
  WriteAll(fd, text.header, text.header_length);
  WriteAll(fd, text.page, text.page_length);
}

}  // namespace xg
