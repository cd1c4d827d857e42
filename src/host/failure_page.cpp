#include "host/failure_page.h"

#include "host/failure.h"
#include "runtime/format.h"

namespace xg {
namespace {

void WriteAll(Env& env, const std::string& text) {
  size_t written = 0;
  while (written < text.size()) {
    const long result = env.WriteOutput(text.data() + written, text.size() - written);
    if (result <= 0) return;
    written += static_cast<size_t>(result);
  }
}

}  // namespace

void WriteFailurePage(const std::exception_ptr& failure, Env& env) {
  const Exception* exception = AsException(failure);
  const std::string message = exception ? exception->Message() : std::string();
  const std::string page = Format(
      "<html><title>Internal Server Error 500</title>\r\n"
      "<h1>Internal Server Error 500</h1><hr>\r\n"
      "Exception: %s<br>\r\nMessage: %s<br></html>\r\n",
      {FailureClassName(failure), message});
  const std::string header =
      Format("Status: 500 %s\r\nContent-Type: text/html\r\nContent-Length: %d\r\n\r\n",
             {message, static_cast<int64_t>(page.size())});
  WriteAll(env, header);
  WriteAll(env, page);
}

}  // namespace xg
