// Runs a program as its child and records how the child ended, for the load test: the web
// server does not log the exit codes of its CGI programs. The child gets this process's standard
// streams and environment; SIGTERM, SIGINT and SIGHUP sent to this process are passed on to it;
// when it ends, one line "PID exit CODE" or "PID signal NUMBER" is appended to the log in a
// single write, and this process ends the same way.
// Usage: exit_recorder LOG PROGRAM ARGV0 [ARGUMENT...]
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <initializer_list>

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: exit_recorder LOG PROGRAM ARGV0 [ARGUMENT...]\n");
    return 2;
  }
  sigset_t passed, watched, original;
  sigemptyset(&passed);
  for (int signal : {SIGTERM, SIGINT, SIGHUP}) sigaddset(&passed, signal);
  watched = passed;
  sigaddset(&watched, SIGCHLD);
  // Blocked before the fork, so that nothing that arrives is lost; the child starts unblocked.
  sigprocmask(SIG_BLOCK, &watched, &original);
  const pid_t child = fork();
  if (child < 0) return 2;
  if (child == 0) {
    sigprocmask(SIG_SETMASK, &original, nullptr);
    execv(argv[2], argv + 3);
    _exit(127);
  }
  int status = 0;
  for (;;) {
    siginfo_t info;
    const int signal = sigwaitinfo(&watched, &info);
    if (signal == SIGCHLD) {
      if (waitpid(child, &status, WNOHANG) == child) break;
    } else if (signal > 0) {
      kill(child, signal);
    }
  }
  char line[64];
  const int length =
      WIFSIGNALED(status)
          ? std::snprintf(line, sizeof line, "%d signal %d\n", child, WTERMSIG(status))
          : std::snprintf(line, sizeof line, "%d exit %d\n", child, WEXITSTATUS(status));
  const int log = open(argv[1], O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (log >= 0) {
    (void)!write(log, line, static_cast<size_t>(length));
    close(log);
  }
  if (WIFSIGNALED(status)) {
    ::signal(WTERMSIG(status), SIG_DFL);
    sigprocmask(SIG_SETMASK, &original, nullptr);
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, WTERMSIG(status));
    sigprocmask(SIG_UNBLOCK, &only, nullptr);
    raise(WTERMSIG(status));
  }
  return WEXITSTATUS(status);
}
