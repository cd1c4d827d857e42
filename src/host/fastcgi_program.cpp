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

// Waits until a connection may be accepted (true) or a termination signal arrived (false).
// Kept attachments that pass their limits meanwhile are dropped.
bool WaitForConnection(int listen_fd) {
  AttachmentPool& pool = ProcessAttachmentPool();
  for (;;) {
    if (StopSignal() != 0) return false;
    pool.DropExpired();
    pollfd descriptors[2] = {{listen_fd, POLLIN, 0}, {StopEventDescriptor(), POLLIN, 0}};
    const int count =
        ::poll(descriptors, descriptors[1].fd >= 0 ? 2 : 1, pool.MillisecondsToNextExpiry());
    if (count < 0) {
      if (errno == EINTR) continue;
      RaiseLastOSError();
    }
    if (count == 0) continue;
    if (descriptors[1].revents != 0 || StopSignal() != 0) return false;
    if (descriptors[0].revents & (POLLERR | POLLNVAL)) RaiseLastOSError(EBADF);
    if (descriptors[0].revents != 0) return true;
  }
}

// Owns libfcgi's request state for the life of the loop.
class AcceptedRequests {
 public:
  explicit AcceptedRequests(int listen_fd) {
    FCGX_InitRequest(&request_, listen_fd, FCGI_FAIL_ACCEPT_ON_INTR);
  }
  ~AcceptedRequests() { FCGX_Free(&request_, 1); }
  AcceptedRequests(const AcceptedRequests&) = delete;
  AcceptedRequests& operator=(const AcceptedRequests&) = delete;

  // Accepts the next request: false when there was none to accept after all (another process
  // took the connection, or the connection ended before its request began).
  bool Accept() { return FCGX_Accept_r(&request_) == 0; }
  // Flushes the answer, ends the request and closes its connection.
  void Finish() { FCGX_Finish_r(&request_); }
  FCGX_Request& request() { return request_; }

 private:
  FCGX_Request request_{};
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
    const Host host = Startup(action);
    if (own_startup_step) own_startup_step();
    DeferStopSignals();
    if (FCGX_Init() != 0) RaiseLastOSError();
    const int listen_fd = ListeningSocket(address);
    AcceptedRequests requests(listen_fd);
    const PoolScope pool;
    while (WaitForConnection(listen_fd)) {
      if (!requests.Accept()) continue;
      {
        FastCgiRequest request(requests.request());
        host.Serve(request);
      }
      requests.Finish();
    }
  } catch (...) {
    ReportUnhandledFailure(std::current_exception());
    exit_code = 1;
  }
  FinishStopSignals();
  return exit_code;
}

}  // namespace xg
