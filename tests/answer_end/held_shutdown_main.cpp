// xmlgateway_held_shutdown: the gateway's CGI program whose end of process waits for the test,
// for tests only. Its action puts a shutdown of its own in the place of the client library's
// (a status request loads no client library, so nothing else takes that place): the shutdown
// writes one byte to descriptor 3, a socket the test holds, and waits there until the test writes
// one back or closes its end. While the process waits the test looks at what has reached it:
// everything the program does before its shutdown has happened by then.
#include <unistd.h>

#include <cerrno>

#include "host/cgi_program.h"
#include "host/process_request.h"
#include "process/stop_signals.h"

namespace xg::test {
namespace {

constexpr int kTestSocket = 3;

void HeldShutdown() {
  char byte = 'S';
  if (::write(kTestSocket, &byte, 1) != 1) return;
  while (::read(kTestSocket, &byte, 1) < 0 && errno == EINTR) {
  }
}

Spool HeldShutdownAction(CgiRequest& request, const GatewayContext& context,
                         const RegionalSettings& settings, RequestSummary& summary) {
  TakeOverStopSignals(nullptr, &HeldShutdown);
  return GatewayAction(request, context, settings, summary);
}

}  // namespace
}  // namespace xg::test

int main() {
  xg::ProcessRequest request;
  return xg::RunCgiProgram(request, &xg::test::HeldShutdownAction);
}
