// The main program. Started by a web server as a CGI program it serves the one request in its
// environment and on standard input and writes the answer to standard output (the steps from
// start-up to the exit code are in host/cgi_program.h). Started with a listening socket as
// standard input (a web server's or spawn-fcgi's FastCGI spawning), or with `--fastcgi ADDRESS`,
// it is a FastCGI responder serving request after request (host/fastcgi_program.h).
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "host/cgi_program.h"
#include "host/fastcgi_program.h"
#include "host/process_request.h"

namespace {

constexpr const char kUsage[] = "usage: xmlgateway [--fastcgi ADDRESS]\n";

}  // namespace

int main(int argc, char** argv) {
  // A CGI request never makes the program listen: a web server may pass words of the query as
  // arguments, and every CGI request has GATEWAY_INTERFACE.
  if (argc > 1 && std::strcmp(argv[1], "--fastcgi") == 0 && !std::getenv("GATEWAY_INTERFACE")) {
    if (argc != 3 || argv[2][0] == '\0') {
      [[maybe_unused]] const ssize_t ignored = ::write(STDERR_FILENO, kUsage, sizeof kUsage - 1);
      return 2;
    }
    return xg::RunFastCgiProgram(argv[2]);
  }
  if (xg::IsListeningSocket(STDIN_FILENO)) return xg::RunFastCgiProgram(std::string());
  xg::ProcessRequest request;
  return xg::RunCgiProgram(request);
}
