// The gateway as a FastCGI responder: the same program, started by a web server (or spawn-fcgi)
// with a listening socket as descriptor 0, or with `--fastcgi ADDRESS`. A process runs the
// start-up once and then serves the requests of its connections one at a time, each with its own
// FastCgiRequest through the same Host::Serve as a CGI request, so every answer has the bytes
// the CGI program writes. With `--fastcgi` the gateway owns its socket: a supervisor keeps
// [fastcgi] workers such processes serving it (see fastcgi_supervisor.h); a socket on descriptor
// 0 without it is the web server's, and the process is one worker that the web server counts.
// Termination signals (SIGTERM, SIGINT, SIGHUP; a web server's stop or reload) do not interrupt
// a request here: the process takes no new connection, the requests it holds run to their end and
// are answered whole, then it exits with 0 (see DeferStopSignals). A request that has not ended
// [fastcgi] stop-seconds after the signal (one waiting on a database server that does not
// answer) ends with the process, exit code 128 + the signal number. A signal during start-up ends
// the process at once with 128 + the signal number.
// A request's client that goes away (its connection closed, or the web server's
// FCGI_ABORT_REQUEST) cancels the database call the request runs, which is rolled back.
// A processor fault during a request answers the server failure page when nothing of the answer
// has gone out (in FastCGI records, from the fault handler) and ends the process with the
// fault's run-time error number; the supervisor or the web server starts another.
// Exit codes: 0 after a termination signal; 1 after an unhandled failure of start-up (an address
// that cannot be listened on among them) or of the connection loop, whose text goes to standard
// error, and for a TCP socket on an address other than loopback while [fastcgi] allowed-clients
// lists no web server (the refusal's text on standard error).
#pragma once

#include <string>

#include "host/startup.h"

namespace xg {

// Whether the descriptor is a socket that listens for connections (how a FastCGI program is
// started by its web server).
bool IsListeningSocket(int fd);

// Startup(), then the requests of the connections on descriptor 0 (an empty address), until a
// termination signal; the client library shut down in order; answers the exit code. With an
// address (a socket opened for "host:port", ":port" or the path of a Unix socket, or "-" for
// descriptor 0), the supervisor of workers that each do the same.
int RunFastCgiProgram(const std::string& address, Action action = &GatewayAction,
                      StartupStep own_startup_step = nullptr);

}  // namespace xg
