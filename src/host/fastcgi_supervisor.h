// The supervising process of a gateway that owns its FastCGI socket (`--fastcgi ADDRESS`, the
// packaged systemd units): it serves no request itself but keeps [fastcgi] workers processes
// serving the shared listening socket, each a FastCGI process of its own (forked, with its own
// start-up, so that it reads the configuration as it is when it starts).
// - A worker that ends without being asked to (a processor fault, a kill) is replaced, and
//   standard error says how it ended; only the request it was serving is lost. One that ended
//   within a second of its start is replaced a second later, so that a worker that cannot start
//   does not make the supervisor fork without pause.
// - A worker that has served [fastcgi] max-requests ends as after a termination signal and is
//   replaced.
// - SIGHUP: the configuration is read again; when it cannot be used, standard error says why
//   and the running workers go on. Otherwise the workers are replaced one at a time, a new one
//   started before an old one is asked to stop (an old one takes no new connection, serves the
//   requests it holds and ends), so that the socket always has a worker and no connection is
//   refused; then their number follows the new configuration.
// - SIGTERM, SIGINT: every worker is asked to stop (no new connection; the requests in hand run
//   to their end within [fastcgi] stop-seconds), the supervisor waits for them (a worker still
//   there a second after that bound is killed) and exits with 0, or with 128 + the signal number
//   when a worker had to end a request unfinished (standard error names it).
// Each worker ends when the supervisor does (its parent-death signal is SIGTERM). The workers
// share one status board (fastcgi_status_board.h), a slot each, so that any of them answers the
// status page for all.
#pragma once

#include <functional>

#include "config/gateway_config.h"
#include "host/fastcgi_status_board.h"

namespace xg {

// The workers a configuration asks for: its number, or for `auto` two per processor the process
// may run on: a request spends much of its time waiting for the database server, during which
// another worker can use the processor. At least two, so that one slow request never holds
// every client.
int FastCgiWorkerCount(const GatewayConfig& config);

// What a worker runs in its process, given the listening socket and its slot of the board that
// all the workers share: its exit code.
using FastCgiWorkerMain = std::function<int(int listen_fd, StatusBoard& board, int slot)>;

// Keeps the workers serving `listen_fd` until a termination signal; answers the exit code. The
// configuration is the one the supervisor loaded at its start.
int SuperviseFastCgiWorkers(int listen_fd, const LoadedGatewayConfig& config,
                            const FastCgiWorkerMain& worker_main);

}  // namespace xg
