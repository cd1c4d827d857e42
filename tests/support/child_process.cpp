#include "support/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
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

}  // namespace

ChildResult RunChild(const std::string& program, const std::vector<std::string>& environment,
                     const std::string& input, const ChildLimits& limits) {
  // A child that stops reading must not end the test process.
  ::signal(SIGPIPE, SIG_IGN);
  int in[2], out[2], err[2];
  MakePipe(in);
  MakePipe(out);
  MakePipe(err);

  std::vector<char*> envp;
  for (const std::string& entry : environment) envp.push_back(const_cast<char*>(entry.c_str()));
  envp.push_back(nullptr);
  char* argv[] = {const_cast<char*>(program.c_str()), nullptr};

  const pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    dup2(in[0], STDIN_FILENO);
    dup2(out[1], STDOUT_FILENO);
    dup2(err[1], STDERR_FILENO);
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
  int in_fd = in[1];
  if (input.empty()) {
    close(in_fd);
    in_fd = -1;
  }
  int out_fd = out[0], err_fd = err[0];
  const double deadline = Seconds() + limits.seconds;
  while (out_fd >= 0 || err_fd >= 0) {
    pollfd fds[3];
    int n = 0;
    if (in_fd >= 0) fds[n++] = {in_fd, POLLOUT, 0};
    if (out_fd >= 0) fds[n++] = {out_fd, POLLIN, 0};
    if (err_fd >= 0) fds[n++] = {err_fd, POLLIN, 0};
    const double left = deadline - Seconds();
    if (left <= 0) {
      result.timed_out = true;
      kill(pid, SIGKILL);
      break;
    }
    if (poll(fds, n, static_cast<int>(left * 1000) + 1) < 0 && errno != EINTR) break;
    for (int i = 0; i < n; ++i) {
      if (fds[i].revents == 0) continue;
      if (fds[i].fd == in_fd) {
        ssize_t w = write(in_fd, input.data() + written, input.size() - written);
        if (w > 0) written += static_cast<size_t>(w);
        if (w < 0 && errno != EAGAIN) written = input.size();  // the child closed its input
        if (written == input.size()) {
          close(in_fd);
          in_fd = -1;
        }
      } else {
        char buffer[65536];
        ssize_t r = read(fds[i].fd, buffer, sizeof buffer);
        if (r > 0) {
          (fds[i].fd == out_fd ? result.out : result.err).append(buffer, static_cast<size_t>(r));
        } else if (r == 0 || errno != EAGAIN) {
          close(fds[i].fd);
          (fds[i].fd == out_fd ? out_fd : err_fd) = -1;
        }
      }
    }
  }
  if (in_fd >= 0) close(in_fd);
  if (out_fd >= 0) close(out_fd);
  if (err_fd >= 0) close(err_fd);

  int status = 0;
  rusage usage{};
  while (wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
  }
  if (WIFEXITED(status)) result.exit_code = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
  result.max_rss_kb = usage.ru_maxrss;
  return result;
}

}  // namespace xg::test
