// The CGI program's answer ends before the process does: a web server finishes the response when
// the program's standard output ends, so the client library's shutdown must come after that.
// xmlgateway_held_shutdown waits in its shutdown until the test lets it go; meanwhile the test
// reads its standard output, which must already have ended, with the whole answer in it. No
// moment is measured: the program cannot leave its shutdown before the test answers.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "support/request_body.h"

namespace xg {
namespace {

// Guards against a program that never reaches its shutdown; not a measurement.
constexpr int kGuardMs = 60000;

struct HeldRun {
  std::string answer;         // standard output up to the moment the shutdown began
  bool answer_ended = false;  // standard output had ended by then
  int exit_code = -1;
  int signal = 0;
};

std::vector<std::string> Environment(const std::string& body) {
  std::vector<std::string> variables = {"REQUEST_METHOD=POST", "SERVER_PROTOCOL=HTTP/1.1",
                                        "CONTENT_LENGTH=" + std::to_string(body.size())};
  for (const char* name : {"ASAN_OPTIONS", "LSAN_OPTIONS", "UBSAN_OPTIONS"})
    if (const char* value = getenv(name)) variables.push_back(std::string(name) + "=" + value);
  return variables;
}

// Reads what is there without waiting: answers false once the output has ended.
bool DrainOpen(int fd, std::string& into) {
  char buffer[4096];
  for (;;) {
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got > 0) {
      into.append(buffer, static_cast<size_t>(got));
    } else if (got == 0) {
      return false;
    } else if (errno != EINTR) {
      return true;  // EAGAIN: open, nothing more written
    }
  }
}

// Whether `signal` waits, sent to the process `pid`, for one of its threads to take it.
bool SignalPending(pid_t pid, int signal) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  const unsigned long long bit = 1ULL << (signal - 1);
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("ShdPnd:", 0) != 0 && line.rfind("SigPnd:", 0) != 0) continue;
    if (std::stoull(line.substr(7), nullptr, 16) & bit) return true;
  }
  return false;
}

// Posts `body`, waits until the program is in its shutdown, looks at its output, sends
// `stop_signal` (when not 0), then lets the shutdown go on and collects the exit.
HeldRun RunHeld(const std::string& body, int stop_signal) {
  HeldRun run;
  int input[2], output[2], control[2];
  if (::pipe2(input, O_CLOEXEC) != 0 || ::pipe2(output, O_CLOEXEC) != 0 ||
      ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, control) != 0) {
    ADD_FAILURE() << "no pipes";
    return run;
  }
  std::vector<std::string> variables = Environment(body);
  std::vector<char*> environment;
  for (std::string& variable : variables) environment.push_back(variable.data());
  environment.push_back(nullptr);
  const pid_t child = ::fork();
  if (child == 0) {
    ::dup2(input[0], 0);
    ::dup2(output[1], 1);
    ::dup2(control[1], 3);
    char* argv[] = {const_cast<char*>(XG_HELD_SHUTDOWN_PROGRAM), nullptr};
    ::execve(argv[0], argv, environment.data());
    ::_exit(127);
  }
  ::close(input[0]);
  ::close(output[1]);
  ::close(control[1]);
  EXPECT_EQ(::write(input[1], body.data(), body.size()), static_cast<ssize_t>(body.size()));
  ::close(input[1]);
  ::fcntl(output[0], F_SETFL, O_NONBLOCK);

  // The output is read as it comes (an answer larger than the pipe would otherwise stop the
  // program before its shutdown) until the program says its shutdown has begun.
  bool in_shutdown = false;
  bool output_open = true;
  while (!in_shutdown) {
    pollfd descriptors[2] = {{control[0], POLLIN, 0}, {output[0], POLLIN, 0}};
    const int ready = ::poll(descriptors, output_open ? 2 : 1, kGuardMs);
    if (ready == 0) {
      ADD_FAILURE() << "the program did not reach its shutdown";
      break;
    }
    if (ready < 0) continue;
    if (output_open && descriptors[1].revents != 0) output_open = DrainOpen(output[0], run.answer);
    if (descriptors[0].revents != 0) {
      char byte = 0;
      in_shutdown = ::read(control[0], &byte, 1) == 1 && byte == 'S';
      if (!in_shutdown) {
        ADD_FAILURE() << "the program ended before its shutdown";
        break;
      }
    }
  }
  // Whatever the program wrote before its shutdown is in the pipe by now.
  if (output_open) output_open = DrainOpen(output[0], run.answer);
  run.answer_ended = !output_open;

  if (stop_signal != 0) {
    ::kill(child, stop_signal);
    // The program takes its stop signals on a thread of its own; it has taken this one once the
    // signal is no longer pending. Letting the shutdown go on before that would race the
    // signal against the end of the process.
    for (int waited_ms = 0; SignalPending(child, stop_signal) && waited_ms < kGuardMs; ++waited_ms)
      ::usleep(1000);
  }
  ::close(control[0]);  // lets the shutdown go on
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  if (WIFEXITED(status)) run.exit_code = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) run.signal = WTERMSIG(status);
  ::close(output[0]);
  return run;
}

struct Case {
  const char* name;
  int stop_signal;
  int exit_code;
};

TEST(AnswerEnd, OutputEndsWithTheWholeAnswerBeforeTheClientLibraryShutsDown) {
  const std::string body = test::SendDataBody(
      "<?xml version=\"1.0\"?><SENDDATA><SERVICE>SERVICESTATUS</SERVICE></SENDDATA>");
  // A stop signal that arrives during the shutdown changes the exit code as before, not the
  // answer, which is out already.
  const Case cases[] = {
      {"no signal", 0, 0},
      {"SIGTERM during the shutdown", SIGTERM, 128 + SIGTERM},
      {"SIGHUP during the shutdown", SIGHUP, 128 + SIGHUP},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const HeldRun run = RunHeld(body, c.stop_signal);
    EXPECT_TRUE(run.answer_ended) << "standard output still open during the shutdown";
    // The whole status document: its headers, then as many bytes as they announce, up to the
    // document's last closing tag.
    const size_t header_end = run.answer.find("\r\n\r\n");
    ASSERT_NE(header_end, std::string::npos) << run.answer;
    const std::string document = run.answer.substr(header_end + 4);
    EXPECT_NE(run.answer.find("\r\nContent-Length: " + std::to_string(document.size()) + "\r\n"),
              std::string::npos)
        << run.answer;
    EXPECT_EQ(document.rfind("<?xml", 0), 0u) << document;
    const std::string last_line = "</STATUS>\r\n";
    EXPECT_EQ(document.compare(document.size() - std::min(document.size(), last_line.size()),
                               std::string::npos, last_line),
              0)
        << document;
    EXPECT_EQ(run.signal, 0);
    EXPECT_EQ(run.exit_code, c.exit_code);
  }
}

}  // namespace
}  // namespace xg
