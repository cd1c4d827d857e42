#include "host/fastcgi_supervisor.h"

#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/signalfd.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "process/os_error.h"

namespace xg {
namespace {

using Clock = std::chrono::steady_clock;

// A worker that ends sooner than this after its start is replaced only this long after its end.
constexpr auto kQuickDeath = std::chrono::seconds(1);
// The most workers a configuration may ask for.
constexpr int kMostWorkers = 1024;
// How long after the stop bound a worker that has not ended is killed.
constexpr auto kKillMargin = std::chrono::seconds(1);

void Say(const std::string& text) {
  const std::string line = "xmlgateway: " + text + "\n";
  [[maybe_unused]] const ssize_t ignored = ::write(STDERR_FILENO, line.data(), line.size());
}

std::string HowItEnded(int status) {
  if (WIFSIGNALED(status)) {
    const int signal = WTERMSIG(status);
    return "was killed by signal " + std::to_string(signal) + " (" + strsignal(signal) + ")";
  }
  return "ended with exit code " + std::to_string(WEXITSTATUS(status));
}

sigset_t SupervisedSignals() {
  sigset_t set;
  sigemptyset(&set);
  for (const int signal : {SIGTERM, SIGINT, SIGHUP, SIGCHLD}) sigaddset(&set, signal);
  return set;
}

class Supervisor {
 public:
  Supervisor(int listen_fd, const LoadedGatewayConfig& config, const FastCgiWorkerMain& main)
      : listen_fd_(listen_fd), worker_main_(main) {
    try {
      TakeSettings(config.Settings());
    } catch (const EConfigError&) {
      // The workers answer every request with the configuration's failure.
      TakeSettings(GatewayConfig());
    }
  }

  int Run() {
    // A standard error that no one reads any more must not end the supervisor.
    ::signal(SIGPIPE, SIG_IGN);
    const sigset_t set = SupervisedSignals();
    sigset_t previous;
    sigprocmask(SIG_BLOCK, &set, &previous);
    previous_mask_ = previous;
    signal_fd_ = signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC);
    if (signal_fd_ < 0) RaiseLastOsError();
    while (!stopping_ || !workers_.empty()) {
      KeepWorkers();
      WaitForSignals();
    }
    ::close(signal_fd_);
    return workers_cut_ ? 128 + stop_signal_ : 0;
  }

 private:
  struct Worker {
    pid_t pid;
    int slot;
    int generation;
    Clock::time_point started;
    bool asked_to_stop = false;
  };

  void TakeSettings(const GatewayConfig& config) {
    target_ = FastCgiWorkerCount(config);
    stop_bound_ = std::chrono::seconds(config.fastcgi_stop_seconds);
  }

  // Starts, stops and replaces workers until the running ones are what the settings ask for.
  void KeepWorkers() {
    if (stopping_) {
      if (Clock::now() >= kill_at_) {
        for (const Worker& worker : workers_) ::kill(worker.pid, SIGKILL);
      }
      return;
    }
    if (Clock::now() < start_after_) return;
    // An old worker is replaced only once the one asked to stop before it has ended.
    const bool one_stopping =
        std::any_of(workers_.begin(), workers_.end(),
                    [](const Worker& worker) { return worker.asked_to_stop; });
    if (const Worker* old = FindOld()) {
      if (one_stopping) return;
      const pid_t old_pid = old->pid;
      // Start moves the workers: the old one is found again by its process.
      if (CurrentCount() < target_) Start();
      AskToStop(old_pid);
      return;
    }
    while (CurrentCount() < target_) Start();
    if (CurrentCount() > target_ && !one_stopping) AskToStop(FindCurrent()->pid);
  }

  Worker* FindOld() {
    for (Worker& worker : workers_)
      if (worker.generation != generation_ && !worker.asked_to_stop) return &worker;
    return nullptr;
  }

  Worker* FindCurrent() {
    for (Worker& worker : workers_)
      if (worker.generation == generation_ && !worker.asked_to_stop) return &worker;
    return nullptr;
  }

  int CurrentCount() const {
    return static_cast<int>(std::count_if(
        workers_.begin(), workers_.end(),
        [this](const Worker& w) { return w.generation == generation_ && !w.asked_to_stop; }));
  }

  void AskToStop(pid_t pid) {
    for (Worker& worker : workers_) {
      if (worker.pid != pid) continue;
      worker.asked_to_stop = true;
      ::kill(pid, SIGTERM);
    }
  }

  void Start() {
    // The slot is held (by the supervisor) until the worker's process is known.
    const int slot = board_.Claim(::getpid());
    std::fflush(nullptr);
    const pid_t supervisor = ::getpid();
    const pid_t pid = slot < 0 ? -1 : ::fork();
    if (pid < 0) {
      Say(std::string("cannot start a worker: ") +
          (slot < 0 ? "every status slot is held" : std::strerror(errno)));
      if (slot >= 0) board_.Release(slot);
      start_after_ = Clock::now() + kQuickDeath;
      return;
    }
    if (pid == 0) RunWorker(supervisor, slot);
    board_.Slot(slot).pid = pid;
    workers_.push_back(Worker{pid, slot, generation_, Clock::now()});
  }

  [[noreturn]] void RunWorker(pid_t supervisor, int slot) {
    ::close(signal_fd_);
    sigprocmask(SIG_SETMASK, &previous_mask_, nullptr);
    // The worker ends with its supervisor, as after a termination signal.
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (::getppid() != supervisor) std::_Exit(0);
    // exit, not _exit: the client library's orderly shutdown runs at exit.
    std::exit(worker_main_(listen_fd_, board_, slot));
  }

  void WaitForSignals() {
    pollfd ready{signal_fd_, POLLIN, 0};
    if (::poll(&ready, 1, WaitMilliseconds()) < 0 && errno != EINTR) RaiseLastOsError();
    signalfd_siginfo info;
    bool reload = false;
    while (::read(signal_fd_, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
      if (info.ssi_signo == SIGHUP) reload = true;
      if (info.ssi_signo == SIGTERM || info.ssi_signo == SIGINT)
        Stop(static_cast<int>(info.ssi_signo));
    }
    ReapEnded();
    if (reload && !stopping_) Reload();
  }

  int WaitMilliseconds() const {
    const auto now = Clock::now();
    Clock::time_point until = Clock::time_point::max();
    if (stopping_) until = kill_at_;
    if (start_after_ > now) until = std::min(until, start_after_);
    if (until == Clock::time_point::max()) return -1;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - now).count();
    return static_cast<int>(std::clamp<int64_t>(left + 1, 0, std::numeric_limits<int>::max()));
  }

  void Stop(int signal) {
    if (stopping_) return;
    stopping_ = true;
    stop_signal_ = signal;
    kill_at_ = Clock::now() + stop_bound_ + kKillMargin;
    for (Worker& worker : workers_) {
      worker.asked_to_stop = true;
      ::kill(worker.pid, SIGTERM);
    }
  }

  void ReapEnded() {
    int status = 0;
    pid_t pid;
    while ((pid = ::waitpid(-1, &status, WNOHANG)) > 0) {
      const auto found = std::find_if(workers_.begin(), workers_.end(),
                                      [pid](const Worker& worker) { return worker.pid == pid; });
      if (found == workers_.end()) continue;
      const Worker ended = *found;
      workers_.erase(found);
      board_.Release(ended.slot);
      if (ended.asked_to_stop || stopping_) {
        if (WIFSIGNALED(status) || WEXITSTATUS(status) != 0) {
          // A request still running at the stop's bound was cut.
          Say("worker " + std::to_string(pid) + ", asked to stop, " + HowItEnded(status));
          if (stopping_) workers_cut_ = true;
        }
        continue;
      }
      if (WIFEXITED(status) && WEXITSTATUS(status) == 0) {
        // It served its max-requests.
        continue;
      }
      Say("worker " + std::to_string(pid) + " " + HowItEnded(status) + "; another takes its place");
      if (Clock::now() - ended.started < kQuickDeath) start_after_ = Clock::now() + kQuickDeath;
    }
  }

  void Reload() {
    const LoadedGatewayConfig config{FileConfigSource()};
    try {
      TakeSettings(config.Settings());
    } catch (const EConfigError& failure) {
      Say("SIGHUP: the configuration cannot be used, the workers go on as they are: " +
          failure.Message());
      return;
    }
    // Every running worker is replaced by one that reads the configuration anew.
    ++generation_;
  }

  int listen_fd_;
  const FastCgiWorkerMain& worker_main_;
  // A slot for each worker there may be, and for the one started before an old one ends.
  StatusBoard board_{kMostWorkers + 1};
  int signal_fd_ = -1;
  sigset_t previous_mask_{};
  std::vector<Worker> workers_;
  int generation_ = 0;
  int target_ = 1;
  std::chrono::seconds stop_bound_{0};
  bool stopping_ = false;
  int stop_signal_ = 0;
  // Whether a worker ended otherwise than with 0 after the stop.
  bool workers_cut_ = false;
  Clock::time_point kill_at_;
  Clock::time_point start_after_;
};

}  // namespace

int FastCgiWorkerCount(const GatewayConfig& config) {
  if (config.fastcgi_workers > 0) return config.fastcgi_workers;
  cpu_set_t cpus;
  CPU_ZERO(&cpus);
  const int processors = ::sched_getaffinity(0, sizeof cpus, &cpus) == 0 ? CPU_COUNT(&cpus) : 1;
  return std::max(2, 2 * processors);
}

int SuperviseFastCgiWorkers(int listen_fd, const LoadedGatewayConfig& config,
                            const FastCgiWorkerMain& worker_main) {
  return Supervisor(listen_fd, config, worker_main).Run();
}

}  // namespace xg
