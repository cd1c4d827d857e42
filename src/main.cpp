// The main program: serves one CGI request per process. The web server starts it with the
// request in the environment and on standard input and relays what it writes to standard
// output. The steps from start-up to the exit code are in host/cgi_program.h.
#include "host/cgi_program.h"
#include "host/process_request.h"

int main() {
  xg::ProcessRequest request;
  return xg::RunCgiProgram(request);
}
