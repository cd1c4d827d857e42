#include "host/fastcgi_program.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <limits>
#include <memory>
#include <optional>
#include <vector>

#include "config/config_file.h"
#include "config/gateway_config.h"
#include "db/attachment_pool.h"
#include "host/fastcgi_connection.h"
#include "host/fastcgi_request.h"
#include "host/fastcgi_status_board.h"
#include "host/fastcgi_status_page.h"
#include "host/fastcgi_supervisor.h"
#include "host/ip_address.h"
#include "process/os_error.h"
#include "process/stop_signals.h"

namespace xg {
namespace {

constexpr int kListenBacklog = 64;

// A socket listening on `address`: "host:port" or ":port" (every address of the host), or the
// path of a Unix socket (a socket file left there by an earlier process is replaced). Raises
// EOSError when it cannot be opened.
int OpenListeningSocket(const std::string& address) {
  const size_t colon = address.rfind(':');
  if (address.front() == '/' || colon == std::string::npos) {
    sockaddr_un place{};
    place.sun_family = AF_UNIX;
    if (address.size() >= sizeof place.sun_path) RaiseLastOsError(ENAMETOOLONG);
    address.copy(place.sun_path, address.size());
    struct stat existing {};
    if (::lstat(address.c_str(), &existing) == 0 && S_ISSOCK(existing.st_mode))
      ::unlink(address.c_str());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) RaiseLastOsError();
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&place), sizeof place) < 0 ||
        ::listen(fd, kListenBacklog) < 0) {
      const int error = errno;
      ::close(fd);
      RaiseLastOsError(error);
    }
    return fd;
  }
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
  std::string host = address.substr(0, colon);
  if (host.size() >= 2 && host.front() == '[' && host.back() == ']')
    host = host.substr(1, host.size() - 2);
  addrinfo* found = nullptr;
  if (::getaddrinfo(host.empty() ? nullptr : host.c_str(), address.c_str() + colon + 1, &hints,
                    &found) != 0 ||
      found == nullptr)
    RaiseLastOsError(EADDRNOTAVAIL);
  const std::unique_ptr<addrinfo, void (*)(addrinfo*)> owned(found, &::freeaddrinfo);
  const int fd = ::socket(found->ai_family, found->ai_socktype | SOCK_CLOEXEC, 0);
  if (fd < 0) RaiseLastOsError();
  const int on = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  if (::bind(fd, found->ai_addr, found->ai_addrlen) < 0 || ::listen(fd, kListenBacklog) < 0) {
    const int error = errno;
    ::close(fd);
    RaiseLastOsError(error);
  }
  return fd;
}

void MakeNonBlocking(int fd) {
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) < 0) RaiseLastOsError();
}

// The listening socket: descriptor 0 as a web server or systemd hands it ("-", or an empty
// address), or one opened for the address. Non-blocking, so that a connection another process
// of the same socket accepted first leaves this one waiting for the next instead of blocking in
// accept where no signal reaches it.
int ListeningSocket(const std::string& address) {
  const int fd = address.empty() || address == "-" ? STDIN_FILENO : OpenListeningSocket(address);
  MakeNonBlocking(fd);
  return fd;
}

// What the configuration says about the connections; the defaults when it cannot be used (every
// request then answers its failure anyway).
struct ConnectionSettings {
  FastCgiConnection::Limits limits;
  std::vector<std::string> allowed_clients;
  // How long the requests in hand may still run after a termination signal.
  std::chrono::seconds stop_bound{GatewayConfig().fastcgi_stop_seconds};
};

ConnectionSettings ConnectionSettingsOf(const LoadedGatewayConfig& loaded) {
  ConnectionSettings settings;
  try {
    const GatewayConfig& config = loaded.Settings();
    settings.limits.timeout = std::chrono::seconds(config.fastcgi_read_timeout_seconds);
    settings.limits.max_body_bytes = static_cast<uint64_t>(config.max_request_bytes);
    settings.allowed_clients = config.fastcgi_allowed_clients;
    settings.stop_bound = std::chrono::seconds(config.fastcgi_stop_seconds);
  } catch (const EConfigError&) {
  }
  return settings;
}

// A socket that any host of the network can reach is opened only for the web servers the
// configuration lists: a FastCGI peer is trusted with every parameter of a request. Answers the
// refusal's text, or nothing for a socket that may listen.
std::optional<std::string> ListeningRefusal(int listen_fd, const ConnectionSettings& settings) {
  sockaddr_storage bound{};
  socklen_t size = sizeof bound;
  if (::getsockname(listen_fd, reinterpret_cast<sockaddr*>(&bound), &size) < 0) return std::nullopt;
  const IpAddress address = AddressOf(bound);
  if (address.family == AF_UNSPEC || IsLoopback(address) || !settings.allowed_clients.empty())
    return std::nullopt;
  const std::string shown =
      address.family == AF_INET6 ? "[" + AddressText(address) + "]" : AddressText(address);
  return "xmlgateway: will not serve FastCGI on " + shown +
         ", which is not a loopback address: list the web servers' addresses in [fastcgi] "
         "allowed-clients of " +
         FileConfigSource().FileName() + ", or use a Unix socket\n";
}

// The connections of the process: requests are served one at a time, but a web server that
// keeps connections open may send the next request on any of them, or open a new one. Every
// connection is read as its input arrives, so that a silent or slow one holds no one up, and a
// request is served once all of it has arrived, the one that became ready first first. A
// connection past its deadline is closed (see FastCgiConnection), and when the connections reach
// their limit the one closing, else the one idle longest, is closed to take a new one, so that
// quiet connections never keep a web server out.
// Once a termination signal arrived no connection is accepted and the requests that have begun
// are served as they complete. For kStopGrace the connections already open are still read, and
// a request that begins on one is served too (its connection closed after its answer): a web
// server that keeps connections may be sending one on them at this very moment, and would answer
// it with an error of its own if the connection closed under it. Then the idle connections are
// closed, and the loop ends once no begun request is left.
class Connections {
 public:
  Connections(int listen_fd, ConnectionSettings settings, AttachmentPool& pool)
      : listen_fd_(listen_fd), settings_(std::move(settings)), pool_(pool) {
    for (const std::string& text : settings_.allowed_clients)
      allowed_.push_back(ParseAddress(text));
  }

  static constexpr auto kStopGrace = std::chrono::seconds(1);

  // From now on as after a termination signal.
  void Stop() { stopped_ = true; }
  bool Stopping() const { return stop_began_.has_value(); }
  // The open connections, and those whose request has all arrived (the one served included).
  size_t Count() const { return connections_.size(); }
  size_t ReadyCount() const {
    return static_cast<size_t>(std::count_if(connections_.begin(), connections_.end(),
                                             [](const auto& c) { return c->RequestReady(); }));
  }

  // The next connection with a request to serve; nullptr once a termination signal arrived (or
  // Stop was called) and no begun request is left. Kept attachments that pass their limits
  // meanwhile are dropped.
  FastCgiConnection* NextRequest() {
    for (;;) {
      const bool stopping = stopped_ || StopSignal() != 0;
      if (stopping && !stop_began_) stop_began_ = FastCgiConnection::Clock::now();
      pool_.DropExpired();
      DropClosedAndPastDeadline(stopping);
      if (stopping && connections_.empty()) return nullptr;
      FastCgiConnection* ready = FirstReady();
      if (!WaitForInput(stopping, ready != nullptr ? 0 : WaitMilliseconds())) continue;
      if (ready == nullptr) ready = FirstReady();
      if (ready != nullptr) return ready;
    }
  }

 private:
  // Polls the listening socket (until a termination signal) and the connections that take
  // input, for at most `wait_ms`; accepts and reads what is ready. False when interrupted.
  bool WaitForInput(bool stopping, int wait_ms) {
    descriptors_.assign({{stopping ? -1 : StopEventDescriptor(), POLLIN, 0},
                         {stopping ? -1 : listen_fd_, POLLIN, 0}});
    polled_.clear();
    for (const auto& connection : connections_) {
      if (!connection->WantsInput()) continue;
      descriptors_.push_back({connection->fd(), POLLIN, 0});
      polled_.push_back(connection.get());
    }
    if (::poll(descriptors_.data(), descriptors_.size(), wait_ms) < 0) {
      if (errno == EINTR) return false;
      RaiseLastOsError();
    }
    if (descriptors_[1].revents & (POLLERR | POLLNVAL)) RaiseLastOsError(EBADF);
    for (size_t i = 0; i < polled_.size(); ++i)
      if (descriptors_[i + 2].revents != 0) polled_[i]->ReadArrived();
    if (descriptors_[1].revents != 0) AcceptArrived();
    return true;
  }

  // The request that became ready first; nullptr when none is.
  FastCgiConnection* FirstReady() const {
    FastCgiConnection* first = nullptr;
    for (const auto& connection : connections_) {
      if (connection->RequestReady() &&
          (first == nullptr || connection->ReadySince() < first->ReadySince()))
        first = connection.get();
    }
    return first;
  }

  // The connections that wait to be accepted, a few at a time: the others are read in between.
  void AcceptArrived() {
    constexpr int kAcceptsPerTurn = 16;
    for (int i = 0; i < kAcceptsPerTurn && AcceptOne(); ++i) {
    }
  }

  // False when no connection waited (another process of the same socket took it, or it ended
  // before it was taken).
  bool AcceptOne() {
    sockaddr_storage peer{};
    socklen_t size = sizeof peer;
    const int fd = ::accept4(listen_fd_, reinterpret_cast<sockaddr*>(&peer), &size, SOCK_CLOEXEC);
    if (fd < 0) return false;
    if (!Allowed(AddressOf(peer))) {
      ::close(fd);
      return true;
    }
    if (connections_.size() >= FastCgiConnection::kMaxPerProcess) MakeRoom();
    connections_.push_back(std::make_unique<FastCgiConnection>(fd, settings_.limits));
    return true;
  }

  // Closes one connection to take a new one: one that only waits for its peer's close, else the
  // one where nothing happened for longest among those whose request is not ready.
  void MakeRoom() {
    FastCgiConnection* chosen = nullptr;
    for (const auto& connection : connections_) {
      if (connection->RequestReady()) continue;
      if (chosen == nullptr || (connection->Closing() && !chosen->Closing()) ||
          (connection->Closing() == chosen->Closing() &&
           connection->LastActivity() < chosen->LastActivity()))
        chosen = connection.get();
    }
    if (chosen != nullptr) chosen->Close();
    DropClosed();
  }

  // With a list of web servers, a peer over IP must be one of them.
  bool Allowed(const IpAddress& peer) const {
    if (peer.family == AF_UNSPEC || allowed_.empty()) return true;
    return std::find(allowed_.begin(), allowed_.end(), peer) != allowed_.end();
  }

  // Closes the connections past their deadline, and kStopGrace after the process began to stop
  // those that carry no begun request; forgets the closed ones.
  void DropClosedAndPastDeadline(bool stopping) {
    const auto now = FastCgiConnection::Clock::now();
    const bool grace_over = stopping && now >= *stop_began_ + kStopGrace;
    for (const auto& connection : connections_) {
      connection->CloseIfPastDeadline(now);
      if (grace_over && !connection->RequestReady() && !connection->ReceivingRequest())
        connection->Close();
    }
    DropClosed();
  }

  void DropClosed() {
    connections_.erase(std::remove_if(connections_.begin(), connections_.end(),
                                      [](const auto& connection) { return connection->fd() < 0; }),
                       connections_.end());
  }

  // Until the pool's next expiry or the next connection's deadline (at most what poll takes:
  // the timeout may be longer).
  int WaitMilliseconds() const {
    int64_t wait = pool_.MillisecondsToNextExpiry();
    const auto now = FastCgiConnection::Clock::now();
    std::vector<FastCgiConnection::Clock::time_point> deadlines;
    if (stop_began_) deadlines.push_back(*stop_began_ + kStopGrace);
    for (const auto& connection : connections_) deadlines.push_back(connection->Deadline());
    for (const auto deadline : deadlines) {
      if (deadline == FastCgiConnection::Clock::time_point::max()) continue;
      const int64_t left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now).count();
      const int64_t ms = std::max<int64_t>(0, left) + 1;
      if (wait < 0 || ms < wait) wait = ms;
    }
    return static_cast<int>(std::min<int64_t>(wait, std::numeric_limits<int>::max()));
  }

  int listen_fd_;
  ConnectionSettings settings_;
  AttachmentPool& pool_;
  std::vector<IpAddress> allowed_;
  std::vector<std::unique_ptr<FastCgiConnection>> connections_;
  // What one poll watches: the stop event, the listening socket, then polled_ in order.
  std::vector<pollfd> descriptors_;
  std::vector<FastCgiConnection*> polled_;
  bool stopped_ = false;
  std::optional<FastCgiConnection::Clock::time_point> stop_began_;
};

// The pool's settings from the configuration; a configuration that cannot be used keeps nothing
// (every request answers its failure anyway).
AttachmentPoolLimits PoolLimitsOf(const LoadedGatewayConfig& loaded) {
  AttachmentPoolLimits limits;
  try {
    const GatewayConfig& config = loaded.Settings();
    limits.enabled = config.pool_attachments;
    limits.idle_seconds = config.pool_idle_seconds;
    limits.max_age_seconds = config.pool_max_age_seconds;
    limits.max_per_process = config.pool_max_per_process;
  } catch (const EConfigError&) {
    limits.enabled = false;
  }
  return limits;
}

// Keeps attachments while the loop runs and detaches what is kept when it ends, before the
// client library shuts down.
class PoolScope {
 public:
  PoolScope(AttachmentPool& pool, const LoadedGatewayConfig& config) : pool_(pool) {
    pool_.Configure(PoolLimitsOf(config));
  }
  ~PoolScope() { pool_.Configure(AttachmentPoolLimits()); }
  PoolScope(const PoolScope&) = delete;
  PoolScope& operator=(const PoolScope&) = delete;

 private:
  AttachmentPool& pool_;
};

// The requests of the connections, one at a time, until a termination signal, or until
// `max_requests` have been served (0: no limit; the requests begun by then are still served).
// The status page's requests are answered here; every other goes to the host. The slot of the
// status board follows what the process does.
void Serve(const Host& host, Connections&& connections, int max_requests, const StatusPage& page,
           StatusSlot& slot) {
  const PoolScope pool(host.pool(), host.config());
  WorkerStatus status(slot, host.pool());
  int served = 0;
  while (FastCgiConnection* connection = connections.NextRequest()) {
    status.NoteConnections(connections.Count(), connections.ReadyCount() - 1);
    // A stopping process keeps no connection after its answer.
    if (connections.Stopping()) connection->CloseAfterRequest();
    // A request whose web server aborted it or went away while it waited is not run: its end
    // goes out without an answer.
    if (connection->ClientGone() || page.Answer(*connection)) {
      connection->EndRequest();
      continue;
    }
    status.NoteBusy(true);
    ServedRequest how;
    {
      FastCgiRequest request(*connection);
      host.Serve(request, &how);
    }
    connection->EndRequest();
    status.NoteBusy(false);
    status.NoteServed(how);
    status.NotePool();
    if (++served == max_requests) connections.Stop();
  }
}

// [fastcgi] max-requests; 0 (no limit) when the configuration cannot be used.
int MaxRequestsOf(const LoadedGatewayConfig& loaded) {
  try {
    return loaded.Settings().fastcgi_max_requests;
  } catch (const EConfigError&) {
    return 0;
  }
}

// Writes the refusal to standard error and answers true when the socket may not listen.
bool RefusedToListen(int listen_fd, const ConnectionSettings& settings) {
  const std::optional<std::string> refusal = ListeningRefusal(listen_fd, settings);
  if (!refusal) return false;
  [[maybe_unused]] const ssize_t ignored = ::write(STDERR_FILENO, refusal->data(), refusal->size());
  return true;
}

// One process serving the listening socket: on its own (started by a web server), or as a worker
// of a supervisor, which checked the socket and whose workers recycle after max-requests. Its
// counts go to `slot` of `board`.
int RunFastCgiProcess(int listen_fd, bool worker, StatusBoard& board, int slot, Action action,
                      StartupStep own_startup_step) {
  int exit_code = 0;
  try {
    const Host host = Startup(action, ServingMode::kFastCgi);
    if (own_startup_step) own_startup_step();
    ConnectionSettings settings = ConnectionSettingsOf(host.config());
    DeferStopSignals(settings.stop_bound);
    MakeNonBlocking(listen_fd);
    if (!worker && RefusedToListen(listen_fd, settings)) {
      exit_code = 1;
    } else {
      Serve(host, Connections(listen_fd, std::move(settings), host.pool()),
            worker ? MaxRequestsOf(host.config()) : 0, StatusPage(host.config(), board),
            board.Slot(slot));
    }
  } catch (...) {
    ReportUnhandledFailure(std::current_exception());
    exit_code = 1;
  }
  FinishStopSignals();
  return exit_code;
}

// A process that a web server started: its own only worker.
int RunFastCgiProcessAlone(Action action, StartupStep own_startup_step) {
  try {
    StatusBoard board(1);
    return RunFastCgiProcess(STDIN_FILENO, false, board, board.Claim(::getpid()), action,
                             own_startup_step);
  } catch (...) {
    ReportUnhandledFailure(std::current_exception());
    return 1;
  }
}

}  // namespace

bool IsListeningSocket(int fd) {
  int listening = 0;
  socklen_t size = sizeof listening;
  return ::getsockopt(fd, SOL_SOCKET, SO_ACCEPTCONN, &listening, &size) == 0 && listening != 0;
}

int RunFastCgiProgram(const std::string& address, Action action, StartupStep own_startup_step) {
  if (address.empty()) return RunFastCgiProcessAlone(action, own_startup_step);
  try {
    const int listen_fd = ListeningSocket(address);
    const LoadedGatewayConfig config{FileConfigSource()};
    if (RefusedToListen(listen_fd, ConnectionSettingsOf(config))) return 1;
    return SuperviseFastCgiWorkers(listen_fd, config, [&](int fd, StatusBoard& board, int slot) {
      return RunFastCgiProcess(fd, true, board, slot, action, own_startup_step);
    });
  } catch (...) {
    ReportUnhandledFailure(std::current_exception());
    return 1;
  }
}

}  // namespace xg
