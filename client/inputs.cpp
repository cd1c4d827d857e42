#include "inputs.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <iterator>

#include "client_error.h"

namespace xg::client {
namespace {

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd, bool owned = true) : fd_(fd), owned_(owned) {}
  ~FileDescriptor() {
    if (owned_ && fd_ >= 0) ::close(fd_);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
  bool owned_;
};

// The terminal's settings while echo is off, for a signal that ends the process meanwhile.
int echo_off_terminal = -1;
termios echo_off_saved{};

void RestoreEchoAndDie(int signal_number) {
  ::tcsetattr(echo_off_terminal, TCSAFLUSH, &echo_off_saved);
  std::signal(signal_number, SIG_DFL);
  std::raise(signal_number);
}

// Echo off for as long as it lives; Ctrl-C, a hang-up or SIGTERM meanwhile turns it on again
// before the process ends.
class EchoOff {
 public:
  explicit EchoOff(int fd) : saved_(::tcgetattr(fd, &echo_off_saved) == 0) {
    if (!saved_) return;
    echo_off_terminal = fd;
    for (size_t i = 0; i < std::size(kSignals); ++i)
      previous_[i] = std::signal(kSignals[i], RestoreEchoAndDie);
    termios quiet = echo_off_saved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    ::tcsetattr(fd, TCSAFLUSH, &quiet);
  }
  ~EchoOff() {
    if (!saved_) return;
    ::tcsetattr(echo_off_terminal, TCSAFLUSH, &echo_off_saved);
    for (size_t i = 0; i < std::size(kSignals); ++i) std::signal(kSignals[i], previous_[i]);
    echo_off_terminal = -1;
  }
  EchoOff(const EchoOff&) = delete;
  EchoOff& operator=(const EchoOff&) = delete;

 private:
  static constexpr int kSignals[] = {SIGINT, SIGHUP, SIGTERM, SIGQUIT};
  bool saved_;
  void (*previous_[std::size(kSignals)])(int) = {};
};

[[noreturn]] void FailReading(std::string_view what, const std::string& path) {
  throw ClientError(ExitCode::kUsage,
                    "cannot read " + std::string(what) + " " + path + ": " + std::strerror(errno));
}

void WriteAll(int fd, std::string_view text) {
  while (!text.empty()) {
    const ssize_t written = ::write(fd, text.data(), text.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return;
    text.remove_prefix(static_cast<size_t>(written));
  }
}

}  // namespace

std::string ReadWholeFile(const std::string& path, std::string_view what) {
  const bool standard_input = path == "-";
  const FileDescriptor file(standard_input ? STDIN_FILENO : ::open(path.c_str(), O_RDONLY),
                            !standard_input);
  const std::string name = standard_input ? "standard input" : path;
  if (file.get() < 0) FailReading(what, name);
  std::string content;
  char buffer[65536];
  for (;;) {
    const ssize_t count = ::read(file.get(), buffer, sizeof buffer);
    if (count < 0 && errno == EINTR) continue;
    if (count < 0) FailReading(what, name);
    if (count == 0) return content;
    content.append(buffer, static_cast<size_t>(count));
  }
}

std::string ReadPasswordFile(const std::string& path) {
  const std::string content = ReadWholeFile(path, "the password file");
  return content.substr(0, content.find_first_of("\r\n"));
}

std::string PromptPassword(const std::string& prompt) {
  const FileDescriptor terminal(::open("/dev/tty", O_RDWR | O_NOCTTY));
  if (terminal.get() < 0) {
    throw ClientError(ExitCode::kUsage,
                      "no terminal to ask for the password on: give --password-file");
  }
  std::string password;
  {
    // Echo goes off before the prompt shows, so nothing typed after it is shown back.
    const EchoOff echo_off(terminal.get());
    WriteAll(terminal.get(), prompt);
    char c;
    for (;;) {
      const ssize_t count = ::read(terminal.get(), &c, 1);
      if (count < 0 && errno == EINTR) continue;
      if (count <= 0 || c == '\n') break;
      if (c != '\r') password += c;
    }
  }
  WriteAll(terminal.get(), "\n");
  return password;
}

}  // namespace xg::client
