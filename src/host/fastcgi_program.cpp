#include "host/fastcgi_program.h"

#include <fcgiapp.h>
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <vector>

#include "config/config_file.h"
#include "config/gateway_config.h"
#include "db/attachment_pool.h"
#include "host/fastcgi_request.h"
#include "runtime/os_error.h"
#include "runtime/stop_signals.h"

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
    if (address.size() >= sizeof place.sun_path) RaiseLastOSError(ENAMETOOLONG);
    address.copy(place.sun_path, address.size());
    struct stat existing {};
    if (::lstat(address.c_str(), &existing) == 0 && S_ISSOCK(existing.st_mode))
      ::unlink(address.c_str());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) RaiseLastOSError();
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&place), sizeof place) < 0 ||
        ::listen(fd, kListenBacklog) < 0) {
      const int error = errno;
      ::close(fd);
      RaiseLastOSError(error);
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
    RaiseLastOSError(EADDRNOTAVAIL);
  const std::unique_ptr<addrinfo, void (*)(addrinfo*)> owned(found, &::freeaddrinfo);
  const int fd = ::socket(found->ai_family, found->ai_socktype | SOCK_CLOEXEC, 0);
  if (fd < 0) RaiseLastOSError();
  const int on = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  if (::bind(fd, found->ai_addr, found->ai_addrlen) < 0 || ::listen(fd, kListenBacklog) < 0) {
    const int error = errno;
    ::close(fd);
    RaiseLastOSError(error);
  }
  return fd;
}

// The listening socket: descriptor 0 as the web server hands it, or one opened for the address.
// Non-blocking, so that a connection another process of the same socket accepted first leaves
// this one waiting for the next instead of blocking in accept where no signal reaches it.
int ListeningSocket(const std::string& address) {
  const int fd = address.empty() ? 0 : OpenListeningSocket(address);
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) < 0) RaiseLastOSError();
  return fd;
}

// libfcgi's state of one connection: the request read from it, and the connection itself while
// the web server keeps it open for further requests (FCGI_KEEP_CONN).
class Connection {
 public:
  explicit Connection(int listen_fd) {
    FCGX_InitRequest(&request_, listen_fd, FCGI_FAIL_ACCEPT_ON_INTR);
  }
  ~Connection() { FCGX_Free(&request_, 1); }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // The connection kept open for further requests, or -1.
  int KeptFd() const { return request_.ipcFd; }
  // Reads the next request: from the kept connection, else from a connection accepted on the
  // listening socket. False when there was none after all (the web server closed the kept
  // connection, another process took the new one, or it ended before its request began).
  bool Accept() { return FCGX_Accept_r(&request_) == 0; }
  // For a kept connection with input: whether that input is its end (the web server closed it).
  // Then the connection is closed here: libfcgi, finding the end, would go on to accept a new
  // connection and, the listening socket being non-blocking, find none.
  bool ClosedByPeer() {
    char byte;
    if (::recv(request_.ipcFd, &byte, 1, MSG_PEEK | MSG_DONTWAIT) != 0) return false;
    FCGX_Free(&request_, 1);
    return true;
  }
  // Flushes the answer and ends the request; closes the connection unless the web server keeps
  // it.
  void Finish() { FCGX_Finish_r(&request_); }
  FCGX_Request& request() { return request_; }

 private:
  FCGX_Request request_{};
};

// The connections of the process: requests are served one at a time, but a web server that
// keeps connections open may send the next request on any of them, or open a new one. Waiting on
// one of them alone would leave the others waiting; closing a kept one to take another would lose
// a request the web server may be sending on it.
class Connections {
 public:
  explicit Connections(int listen_fd) : listen_fd_(listen_fd) {}

  // Waits for the next request and answers the connection to read it from: one with input (or
  // its end), else a free one to accept a new connection with; nullptr once a termination signal
  // arrived. Kept attachments that pass their limits meanwhile are dropped.
  Connection* WaitForRequest() {
    AttachmentPool& pool = ProcessAttachmentPool();
    for (;;) {
      if (StopSignal() != 0) return nullptr;
      pool.DropExpired();
      descriptors_.assign({{StopEventDescriptor(), POLLIN, 0}, {listen_fd_, POLLIN, 0}});
      // A negative descriptor (a connection that is not kept) is left out by poll.
      for (const auto& connection : connections_)
        descriptors_.push_back({connection->KeptFd(), POLLIN, 0});
      const int count =
          ::poll(descriptors_.data(), descriptors_.size(), pool.MillisecondsToNextExpiry());
      if (count < 0) {
        if (errno == EINTR) continue;
        RaiseLastOSError();
      }
      if (count == 0) continue;
      if (descriptors_[0].revents != 0 || StopSignal() != 0) return nullptr;
      if (descriptors_[1].revents & (POLLERR | POLLNVAL)) RaiseLastOSError(EBADF);
      // The ready ones in turn, the listening socket among them, starting after the one served
      // last: under steady load the kept connections always have input, and new connections
      // would otherwise wait.
      const size_t candidates = connections_.size() + 1;
      for (size_t step = 1; step <= candidates; ++step) {
        const size_t i = (last_served_ + step) % candidates;
        if (descriptors_[i + 1].revents == 0) continue;
        if (i > 0 && connections_[i - 1]->ClosedByPeer()) continue;
        last_served_ = i;
        return i == 0 ? FreeConnection() : connections_[i - 1].get();
      }
    }
  }

 private:
  Connection* FreeConnection() {
    for (const auto& connection : connections_)
      if (connection->KeptFd() < 0) return connection.get();
    connections_.push_back(std::make_unique<Connection>(listen_fd_));
    return connections_.back().get();
  }

  int listen_fd_;
  std::vector<std::unique_ptr<Connection>> connections_;
  std::vector<pollfd> descriptors_;
  // 0: the listening socket; i: connections_[i - 1].
  size_t last_served_ = 0;
};

// The pool's settings from the configuration; a configuration that cannot be used keeps nothing
// (every request answers its failure anyway).
AttachmentPoolLimits PoolLimits() {
  AttachmentPoolLimits limits;
  try {
    const GatewayConfig& config = CurrentGatewayConfig();
    limits.enabled = config.poolAttachments;
    limits.idle_seconds = config.poolIdleSeconds;
    limits.max_age_seconds = config.poolMaxAgeSeconds;
    limits.max_per_process = config.poolMaxPerProcess;
  } catch (const EConfigError&) {
    limits.enabled = false;
  }
  return limits;
}

// Keeps attachments while the loop runs and detaches what is kept when it ends, before the
// client library shuts down.
class PoolScope {
 public:
  PoolScope() { ProcessAttachmentPool().Configure(PoolLimits()); }
  ~PoolScope() { ProcessAttachmentPool().Configure(AttachmentPoolLimits()); }
  PoolScope(const PoolScope&) = delete;
  PoolScope& operator=(const PoolScope&) = delete;
};

}  // namespace

bool IsListeningSocket(int fd) {
  int listening = 0;
  socklen_t size = sizeof listening;
  return ::getsockopt(fd, SOL_SOCKET, SO_ACCEPTCONN, &listening, &size) == 0 && listening != 0;
}

int RunFastCgiProgram(const std::string& address, Action action, StartupStep own_startup_step) {
  int exit_code = 0;
  try {
    const Host host = Startup(action, ServingMode::kFastCgi);
    if (own_startup_step) own_startup_step();
    DeferStopSignals();
    if (FCGX_Init() != 0) RaiseLastOSError();
    const int listen_fd = ListeningSocket(address);
    Connections connections(listen_fd);
    const PoolScope pool;
    while (Connection* connection = connections.WaitForRequest()) {
      if (!connection->Accept()) continue;
      {
        FastCgiRequest request(connection->request());
        host.Serve(request);
      }
      connection->Finish();
    }
  } catch (...) {
    ReportUnhandledFailure(std::current_exception());
    exit_code = 1;
  }
  FinishStopSignals();
  return exit_code;
}

}  // namespace xg
