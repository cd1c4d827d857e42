#include "support/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace xg::test {
namespace {

double Seconds() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return now.tv_sec + now.tv_nsec / 1e9;
}

void MakePipe(int fds[2]) {
  if (pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
}

// Whether the process has a handler installed for the signal (its caught-signals mask).
bool CatchesSignal(pid_t pid, int signal) {
  FILE* status = fopen(("/proc/" + std::to_string(pid) + "/status").c_str(), "r");
  if (status == nullptr) return false;
  char line[256];
  unsigned long long caught = 0;
  while (fgets(line, sizeof line, status) != nullptr) {
    if (sscanf(line, "SigCgt: %llx", &caught) == 1) break;
  }
  fclose(status);
  return (caught >> (signal - 1)) & 1;
}

bool Closed(const ChildControl& control, int descriptor) {
  for (int closed : control.closed_descriptors) {
    if (closed == descriptor) return true;
  }
  return false;
}

// The environment with the test process's sanitizer settings added for those it does not name:
// a sanitizer build checks its children as it checks itself (the leak checker's suppressions and
// its way of scanning, halting on undefined behaviour).
std::vector<std::string> WithSanitizerSettings(std::vector<std::string> environment) {
  for (const char* name : {"ASAN_OPTIONS", "LSAN_OPTIONS", "UBSAN_OPTIONS"}) {
    const char* value = getenv(name);
    if (value == nullptr) continue;
    const std::string prefix = std::string(name) + "=";
    bool named = false;
    for (const std::string& entry : environment) named = named || entry.rfind(prefix, 0) == 0;
    if (!named) environment.push_back(prefix + value);
  }
  return environment;
}

}  // namespace

ChildResult RunChild(const std::string& program, const std::vector<std::string>& environment,
                     const std::string& input, const ChildLimits& limits,
                     const ChildControl& control) {
  // A child that stops reading must not end the test process.
  ::signal(SIGPIPE, SIG_IGN);
  int in[2], out[2], err[2];
  MakePipe(in);
  MakePipe(out);
  MakePipe(err);

  const std::vector<std::string> child_environment = WithSanitizerSettings(environment);
  std::vector<char*> envp;
  for (const std::string& entry : child_environment)
    envp.push_back(const_cast<char*>(entry.c_str()));
  envp.push_back(nullptr);
  char* argv[] = {const_cast<char*>(program.c_str()), nullptr};

  const pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    const int pipes[] = {in[0], out[1], err[1]};
    for (int descriptor = STDIN_FILENO; descriptor <= STDERR_FILENO; ++descriptor) {
      if (Closed(control, descriptor)) {
        close(descriptor);
      } else {
        dup2(pipes[descriptor], descriptor);
      }
    }
    if (limits.address_space_mb > 0) {
      const rlim_t bytes = static_cast<rlim_t>(limits.address_space_mb) * 1024 * 1024;
      const rlimit limit{bytes, bytes};
      setrlimit(RLIMIT_AS, &limit);
    }
    execve(program.c_str(), argv, envp.data());
    _exit(127);
  }
  close(in[0]);
  close(out[1]);
  close(err[1]);
  fcntl(in[1], F_SETFL, O_NONBLOCK);

  ChildResult result;
  size_t written = 0;
  int inFd = in[1];
  if (input.empty()) {
    close(inFd);
    inFd = -1;
  }
  int outFd = out[0], errFd = err[0];
  const double deadline = Seconds() + limits.seconds;
  const bool signalByOutput = control.signal_after_output > 0 || !control.signal_after_text.empty();
  const int watchedSignal = control.signal != 0 ? control.signal : control.timed_from_handler_of;
  double handlerSeen = 0, signalTime = 0, lastAsked = 0;
  const auto sendSignal = [&] {
    kill(pid, control.signal);
    result.signal_sent = true;
    signalTime = Seconds();
  };
  while ((outFd >= 0 && !(result.signal_sent && control.stop_reading_at_signal)) || errFd >= 0) {
    int waitMs = -1;
    if (watchedSignal != 0 && handlerSeen == 0) {
      if (CatchesSignal(pid, watchedSignal)) {
        handlerSeen = Seconds();
      } else {
        waitMs = 1;
      }
    }
    if (control.signal != 0 && !result.signal_sent && !signalByOutput && handlerSeen != 0) {
      if (control.signal_when) {
        // The condition may be a query: asked every 5 ms, not in a busy loop.
        if (Seconds() >= lastAsked + 0.005) {
          lastAsked = Seconds();
          if (control.signal_when(pid)) sendSignal();
        }
        if (!result.signal_sent) waitMs = 5;
      } else if (Seconds() >= handlerSeen + control.signal_delay_ms / 1000.0) {
        sendSignal();
      } else {
        waitMs = 1;
      }
    }
    pollfd fds[3];
    int n = 0;
    if (inFd >= 0) fds[n++] = {inFd, POLLOUT, 0};
    const bool reading = !(result.signal_sent && control.stop_reading_at_signal);
    if (outFd >= 0 && reading) fds[n++] = {outFd, POLLIN, 0};
    if (errFd >= 0) fds[n++] = {errFd, POLLIN, 0};
    const double left = deadline - Seconds();
    if (left <= 0) {
      result.timed_out = true;
      kill(pid, SIGKILL);
      break;
    }
    int timeoutMs = static_cast<int>(left * 1000) + 1;
    if (waitMs >= 0 && waitMs < timeoutMs) timeoutMs = waitMs;
    if (poll(fds, n, timeoutMs) < 0 && errno != EINTR) break;
    for (int i = 0; i < n; ++i) {
      if (fds[i].revents == 0) continue;
      if (fds[i].fd == inFd) {
        ssize_t w = write(inFd, input.data() + written, input.size() - written);
        if (w > 0) written += static_cast<size_t>(w);
        if (w < 0 && errno != EAGAIN) written = input.size();  // the child closed its input
        if (written == input.size()) {
          close(inFd);
          inFd = -1;
        }
      } else {
        char buffer[65536];
        ssize_t r = read(fds[i].fd, buffer, sizeof buffer);
        if (r > 0) {
          (fds[i].fd == outFd ? result.out : result.err).append(buffer, static_cast<size_t>(r));
          if (control.signal != 0 && !result.signal_sent && signalByOutput &&
              ((control.signal_after_output > 0 &&
                result.out.size() >= control.signal_after_output) ||
               (!control.signal_after_text.empty() &&
                result.out.find(control.signal_after_text) != std::string::npos))) {
            sendSignal();
          }
        } else if (r == 0 || errno != EAGAIN) {
          close(fds[i].fd);
          (fds[i].fd == outFd ? outFd : errFd) = -1;
        }
      }
    }
  }
  if (inFd >= 0) close(inFd);
  if (outFd >= 0) close(outFd);
  if (errFd >= 0) close(errFd);

  int status = 0;
  rusage usage{};
  // The child may have closed its output early (or started without it): the limit holds here too.
  for (;;) {
    const pid_t ended = wait4(pid, &status, WNOHANG, &usage);
    if (ended == pid || (ended < 0 && errno != EINTR)) break;
    if (Seconds() > deadline) {
      result.timed_out = true;
      kill(pid, SIGKILL);
    }
    usleep(1000);
  }
  if (result.signal_sent) result.seconds_from_signal_to_end = Seconds() - signalTime;
  if (handlerSeen != 0) result.seconds_from_handler_to_end = Seconds() - handlerSeen;
  if (WIFEXITED(status)) result.exit_code = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
  result.max_rss_kb = usage.ru_maxrss;
  return result;
}

}  // namespace xg::test
