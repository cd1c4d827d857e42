// The web server's side of a FastCGI connection, for tests: records built byte by byte (hostile
// ones too), a connection to the gateway's socket, the answer read back record by record; and a
// gateway process started with --fastcgi on a socket of its own.
#pragma once

#include <sys/types.h>

#include <string>
#include <utility>
#include <vector>

namespace xg::test {

enum FastCgiType : unsigned char {
  kFcgiBeginRequest = 1,
  kFcgiAbortRequest = 2,
  kFcgiEndRequest = 3,
  kFcgiParams = 4,
  kFcgiStdin = 5,
  kFcgiStdout = 6,
  kFcgiGetValues = 9,
  kFcgiGetValuesResult = 10,
  kFcgiUnknownType = 11,
};

using NameValues = std::vector<std::pair<std::string, std::string>>;

// One record: header (version 1 unless given), content, no padding.
std::string FcgiRecord(unsigned char type, int id, const std::string& content, int version = 1);
// BEGIN_REQUEST of the role (1: responder), with FCGI_KEEP_CONN when `keep`.
std::string FcgiBegin(int id, bool keep, int role = 1);
// Name-value pairs in the stream's encoding.
std::string FcgiPairs(const NameValues& pairs);
// A whole responder request: its beginning, its parameters, its body, each stream ended.
std::string FcgiRequest(int id, const NameValues& params, const std::string& body,
                        bool keep = false);
// The parameters a web server sends for a POST of the body.
NameValues PostParams(const std::string& body);
// The same as the environment of a CGI program, NAME=VALUE, after PATH and XMLGATEWAY_CONF
// naming `config_file`.
std::vector<std::string> CgiPostEnvironment(const std::string& config_file,
                                            const std::string& body);
// What follows an answer's header block (the whole text when it has none).
std::string AnswerBody(const std::string& answer);

struct FcgiRecordRead {
  unsigned char type = 0;
  int id = 0;
  std::string content;
};

// A connection to "host:port" or the path of a Unix socket; -1 when it cannot be made. A
// non-empty `from` binds the local end to that IPv4 address first.
int FcgiConnect(const std::string& address, const std::string& from = "");
bool SendAll(int fd, const std::string& bytes);
// The next record; false when the connection ended (or `guard_seconds` passed: a guard against a
// hang, not a measurement).
bool ReadRecord(int fd, FcgiRecordRead& record, int guard_seconds = 60);

struct FcgiAnswer {
  bool ended = false;  // FCGI_END_REQUEST arrived
  int protocol_status = -1;
  std::string out;            // the FCGI_STDOUT stream
  bool closed_after = false;  // the connection ended right after the request's end
};
// Reads the records of request `id` until its end (or the connection's).
FcgiAnswer ReadAnswer(int fd, int id, int guard_seconds = 60);
// Whether the peer has closed the connection: reads and drops what comes until its end; false
// after `guard_seconds` without it.
bool WaitForClose(int fd, int guard_seconds = 60);

// A gateway process serving `address` (with --fastcgi), the environment given; killed (SIGKILL)
// when destroyed if it still runs.
class FastCgiProcess {
 public:
  FastCgiProcess(const std::string& program, const std::string& address,
                 const std::vector<std::string>& environment);
  ~FastCgiProcess();
  FastCgiProcess(const FastCgiProcess&) = delete;
  FastCgiProcess& operator=(const FastCgiProcess&) = delete;

  // Waits until the socket accepts connections (false when the process ended first).
  bool WaitUntilListening(int guard_seconds = 60);
  pid_t pid() const { return pid_; }
  // Waits for the process to end; answers its wait status, or -1 after the guard.
  int Wait(int guard_seconds = 60);
  bool Running();
  const std::string& address() const { return address_; }
  // What the process wrote to standard error (read once it has ended).
  std::string ErrorOutput() const;

 private:
  std::string address_;
  std::string error_file_;
  pid_t pid_ = -1;
  int status_ = -1;
};

// A free TCP port of 127.0.0.1 at this moment.
int FreePort();
// A path in /tmp for a Unix socket, which no file holds at this moment.
std::string FreshSocketPath();
// The POST of the body as request 1 on a new connection to `address`; its answer (empty when no
// connection could be made).
FcgiAnswer AskOnNewConnection(const std::string& address, const std::string& body);

}  // namespace xg::test
