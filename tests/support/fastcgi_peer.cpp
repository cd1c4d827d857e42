#include "support/fastcgi_peer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

namespace xg::test {
namespace {

using Clock = std::chrono::steady_clock;

void AppendLength(std::string& out, size_t length) {
  if (length < 128) {
    out.push_back(static_cast<char>(length));
    return;
  }
  out.push_back(static_cast<char>(0x80 | ((length >> 24) & 0x7F)));
  out.push_back(static_cast<char>((length >> 16) & 0xFF));
  out.push_back(static_cast<char>((length >> 8) & 0xFF));
  out.push_back(static_cast<char>(length & 0xFF));
}

// Reads exactly `size` bytes; false at the connection's end or after the guard.
bool ReadExact(int fd, char* data, size_t size, Clock::time_point give_up) {
  while (size > 0) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(give_up - Clock::now()).count();
    if (left <= 0) return false;
    pollfd ready{fd, POLLIN, 0};
    if (::poll(&ready, 1, static_cast<int>(left)) <= 0) continue;
    const ssize_t got = ::recv(fd, data, size, 0);
    if (got <= 0) return false;
    data += got;
    size -= static_cast<size_t>(got);
  }
  return true;
}

}  // namespace

std::string FcgiRecord(unsigned char type, int id, const std::string& content, int version) {
  std::string record;
  record.push_back(static_cast<char>(version));
  record.push_back(static_cast<char>(type));
  record.push_back(static_cast<char>((id >> 8) & 0xFF));
  record.push_back(static_cast<char>(id & 0xFF));
  record.push_back(static_cast<char>((content.size() >> 8) & 0xFF));
  record.push_back(static_cast<char>(content.size() & 0xFF));
  record.push_back(0);
  record.push_back(0);
  return record + content;
}

std::string FcgiBegin(int id, bool keep, int role) {
  std::string content(8, '\0');
  content[0] = static_cast<char>((role >> 8) & 0xFF);
  content[1] = static_cast<char>(role & 0xFF);
  content[2] = keep ? 1 : 0;
  return FcgiRecord(kFcgiBeginRequest, id, content);
}

std::string FcgiPairs(const NameValues& pairs) {
  std::string out;
  for (const auto& [name, value] : pairs) {
    AppendLength(out, name.size());
    AppendLength(out, value.size());
    out += name;
    out += value;
  }
  return out;
}

std::string FcgiRequest(int id, const NameValues& params, const std::string& body, bool keep) {
  std::string bytes = FcgiBegin(id, keep);
  const std::string pairs = FcgiPairs(params);
  for (size_t at = 0; at < pairs.size(); at += 65535)
    bytes += FcgiRecord(kFcgiParams, id, pairs.substr(at, 65535));
  bytes += FcgiRecord(kFcgiParams, id, "");
  for (size_t at = 0; at < body.size(); at += 65535)
    bytes += FcgiRecord(kFcgiStdin, id, body.substr(at, 65535));
  bytes += FcgiRecord(kFcgiStdin, id, "");
  return bytes;
}

NameValues PostParams(const std::string& body) {
  return {{"REQUEST_METHOD", "POST"},
          {"SERVER_PROTOCOL", "HTTP/1.1"},
          {"CONTENT_TYPE", "application/x-www-form-urlencoded"},
          {"CONTENT_LENGTH", std::to_string(body.size())},
          {"REMOTE_ADDR", "127.0.0.1"}};
}

std::vector<std::string> CgiPostEnvironment(const std::string& config_file,
                                            const std::string& body) {
  std::vector<std::string> environment = {"PATH=/usr/bin:/bin", "XMLGATEWAY_CONF=" + config_file};
  for (const auto& [name, value] : PostParams(body)) environment.push_back(name + "=" + value);
  return environment;
}

std::string AnswerBody(const std::string& answer) {
  const size_t split = answer.find("\r\n\r\n");
  return split == std::string::npos ? answer : answer.substr(split + 4);
}

int FcgiConnect(const std::string& address, const std::string& from) {
  const size_t colon = address.rfind(':');
  if (address.front() == '/') {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un place{};
    place.sun_family = AF_UNIX;
    address.copy(place.sun_path, sizeof place.sun_path - 1);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&place), sizeof place) == 0) return fd;
    ::close(fd);
    return -1;
  }
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (!from.empty()) {
    sockaddr_in local{};
    local.sin_family = AF_INET;
    ::inet_pton(AF_INET, from.c_str(), &local.sin_addr);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
      ::close(fd);
      return -1;
    }
  }
  sockaddr_in place{};
  place.sin_family = AF_INET;
  place.sin_port = htons(static_cast<uint16_t>(std::stoi(address.substr(colon + 1))));
  std::string host = address.substr(0, colon);
  if (host.empty() || host == "0.0.0.0") host = "127.0.0.1";
  ::inet_pton(AF_INET, host.c_str(), &place.sin_addr);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&place), sizeof place) == 0) return fd;
  ::close(fd);
  return -1;
}

bool SendAll(int fd, const std::string& bytes) {
  size_t at = 0;
  while (at < bytes.size()) {
    const ssize_t sent = ::send(fd, bytes.data() + at, bytes.size() - at, MSG_NOSIGNAL);
    if (sent <= 0) return false;
    at += static_cast<size_t>(sent);
  }
  return true;
}

bool ReadRecord(int fd, FcgiRecordRead& record, int guard_seconds) {
  const auto give_up = Clock::now() + std::chrono::seconds(guard_seconds);
  unsigned char header[8];
  if (!ReadExact(fd, reinterpret_cast<char*>(header), sizeof header, give_up)) return false;
  const size_t length = (header[4] << 8) | header[5];
  std::string content(length + header[6], '\0');
  if (!ReadExact(fd, content.data(), content.size(), give_up)) return false;
  content.resize(length);
  record.type = header[1];
  record.id = (header[2] << 8) | header[3];
  record.content = std::move(content);
  return true;
}

FcgiAnswer ReadAnswer(int fd, int id, int guard_seconds) {
  FcgiAnswer answer;
  FcgiRecordRead record;
  while (ReadRecord(fd, record, guard_seconds)) {
    if (record.id != id) continue;
    if (record.type == kFcgiStdout) answer.out += record.content;
    if (record.type == kFcgiEndRequest) {
      answer.ended = true;
      if (record.content.size() >= 5) answer.protocol_status = record.content[4];
      break;
    }
  }
  if (answer.ended) {
    pollfd ready{fd, POLLIN, 0};
    char byte;
    answer.closed_after = ::poll(&ready, 1, 0) == 1 && ::recv(fd, &byte, 1, MSG_PEEK) == 0;
  }
  return answer;
}

bool WaitForClose(int fd, int guard_seconds) {
  const auto give_up = Clock::now() + std::chrono::seconds(guard_seconds);
  char buffer[4096];
  for (;;) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(give_up - Clock::now()).count();
    if (left <= 0) return false;
    pollfd ready{fd, POLLIN, 0};
    if (::poll(&ready, 1, static_cast<int>(left)) <= 0) continue;
    const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
    if (got <= 0) return true;
  }
}

FastCgiProcess::FastCgiProcess(const std::string& program, const std::string& address,
                               const std::vector<std::string>& environment)
    : address_(address) {
  char pattern[] = "/tmp/xg-fcgi-err-XXXXXX";
  const int err = ::mkstemp(pattern);
  error_file_ = pattern;
  std::vector<std::string> env = environment;
  std::vector<char*> envp;
  for (std::string& entry : env) envp.push_back(entry.data());
  envp.push_back(nullptr);
  std::string program_copy = program;
  std::string flag = "--fastcgi";
  std::string where = address;
  char* argv[] = {program_copy.data(), flag.data(), where.data(), nullptr};
  pid_ = ::fork();
  if (pid_ == 0) {
    const int null = ::open("/dev/null", O_RDWR);
    ::dup2(null, 0);
    ::dup2(null, 1);
    ::dup2(err, 2);
    ::execve(argv[0], argv, envp.data());
    ::_exit(127);
  }
  ::close(err);
}

FastCgiProcess::~FastCgiProcess() {
  if (Running()) {
    ::kill(pid_, SIGCONT);
    ::kill(pid_, SIGKILL);
    Wait();
  }
  ::unlink(error_file_.c_str());
  if (address_.front() == '/') ::unlink(address_.c_str());
}

bool FastCgiProcess::Running() {
  if (pid_ <= 0 || status_ != -1) return false;
  int status;
  if (::waitpid(pid_, &status, WNOHANG) == pid_) {
    status_ = status;
    return false;
  }
  return true;
}

int FastCgiProcess::Wait(int guard_seconds) {
  const auto give_up = Clock::now() + std::chrono::seconds(guard_seconds);
  while (Running()) {
    if (Clock::now() >= give_up) return -1;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return status_;
}

bool FastCgiProcess::WaitUntilListening(int guard_seconds) {
  const auto give_up = Clock::now() + std::chrono::seconds(guard_seconds);
  while (Clock::now() < give_up) {
    if (!Running()) return false;
    const int fd = FcgiConnect(address_);
    if (fd >= 0) {
      ::close(fd);
      return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

std::string FastCgiProcess::ErrorOutput() const {
  std::ifstream file(error_file_, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

int FreePort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in place{};
  place.sin_family = AF_INET;
  place.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(fd, reinterpret_cast<sockaddr*>(&place), sizeof place);
  socklen_t size = sizeof place;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&place), &size);
  ::close(fd);
  return ntohs(place.sin_port);
}

std::string FreshSocketPath() {
  char pattern[] = "/tmp/xg-fcgi-sock-XXXXXX";
  const int fd = ::mkstemp(pattern);
  ::close(fd);
  ::unlink(pattern);
  return pattern;
}

FcgiAnswer AskOnNewConnection(const std::string& address, const std::string& body) {
  const int fd = FcgiConnect(address);
  if (fd < 0) return {};
  SendAll(fd, FcgiRequest(1, PostParams(body), body));
  FcgiAnswer answer = ReadAnswer(fd, 1);
  ::close(fd);
  return answer;
}

}  // namespace xg::test
