// The main program: serves one CGI request per process. The web server starts it with the
// request in the environment and on standard input and relays what it writes to standard
// output. The steps from start-up to the exit code are in cgi_program.h.
#include "host/cgi_program.h"
#include "host/gateway_module.h"

int main() {
  return xg::RunCgiProgram(xg::TWM1::Class());
}
