// The program as a FastCGI responder on a socket of its own, spoken to record by record as a web
// server would, and as a hostile peer of the socket would: records whose lengths lie, parameters
// without end, connections that send nothing or send slowly, and peers the configuration does not
// list. Whatever a peer sends, the process goes on serving, and every answer has the bytes the
// CGI program writes for the same request.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "support/child_process.h"
#include "support/fastcgi_peer.h"
#include "support/request_body.h"
#include "support/scoped_config.h"

namespace xg {
namespace {

using test::FcgiBegin;
using test::FcgiRecord;
using test::FcgiRequest;
using test::PostParams;

// The read timeout of the processes these tests start: small, so that the tests that wait for it
// are short; every wait below is derived from it.
constexpr int kTimeoutSeconds = 2;

// A request whose answer is the same at every run but for its time stamp: a form field that
// cannot be decoded.
const std::string kFixedBody = "SENDDATA=%zz";

// One worker, whose connections are all the process's, with the read timeout given.
std::string ConfigFile(const std::string& extra = "", int timeout_seconds = kTimeoutSeconds) {
  return test::WriteConfigFile("[fastcgi]\nworkers = 1\nread-timeout-seconds = " +
                               std::to_string(timeout_seconds) + "\n" + extra);
}

std::vector<std::string> Environment(const std::string& config_file) {
  // Under AddressSanitizer freed blocks wait in a quarantine (256 MiB by default) instead of
  // being reused, which would count in the peak memory that the hostile-records test bounds; the
  // option is ignored by a build without it.
  return {"PATH=/usr/bin:/bin", "XMLGATEWAY_CONF=" + config_file,
          "ASAN_OPTIONS=quarantine_size_mb=0"};
}

// The answer with the moment it was made left out: the time stamp of the document, and the length
// that its text changes. Everything else is compared byte for byte.
std::string Timeless(std::string answer) {
  const std::string opening = "<TIMESTAMP DATATYPE=\"DATETIME\">";
  const size_t start = answer.find(opening);
  const size_t end = answer.find("</TIMESTAMP>");
  if (start != std::string::npos && end != std::string::npos)
    answer.replace(start + opening.size(), end - start - opening.size(), "T");
  const size_t length = answer.find("Content-Length: ");
  if (length != std::string::npos)
    answer.replace(length + 16, answer.find('\r', length) - length - 16, "N");
  return answer;
}

// What the CGI program writes for the request of the body (the fixed one unless given) with the
// same variables.
std::string CgiAnswer(const std::string& config_file, const std::string& body = kFixedBody) {
  std::vector<std::string> variables = Environment(config_file);
  for (const auto& [name, value] : PostParams(body)) variables.push_back(name + "=" + value);
  const test::ChildResult result = test::RunChild(XG_PROGRAM, variables, body);
  EXPECT_EQ(result.exit_code, 0);
  EXPECT_FALSE(result.out.empty());
  return Timeless(result.out);
}

// The fixed request on a new connection; answers its FCGI_STDOUT stream ("" when it got none).
std::string AskFixed(const std::string& address, int id = 1) {
  const int fd = test::FcgiConnect(address);
  if (fd < 0) return "";
  test::SendAll(fd, FcgiRequest(id, PostParams(kFixedBody), kFixedBody));
  const test::FcgiAnswer answer = test::ReadAnswer(fd, id);
  ::close(fd);
  return answer.ended ? Timeless(answer.out) : "";
}

// The one worker of the supervising process `pid` (the process that serves the connections).
pid_t WorkerOf(pid_t pid) {
  std::ifstream children("/proc/" + std::to_string(pid) + "/task/" + std::to_string(pid) +
                         "/children");
  pid_t worker = -1;
  children >> worker;
  return worker;
}

// Starts the process's peak of memory (VmHWM) anew from what it holds now.
void ResetPeakMemory(pid_t pid) {
  std::ofstream("/proc/" + std::to_string(pid) + "/clear_refs") << "5";
}

// The most memory the process has held (VmHWM), in bytes; -1 when it cannot be read.
long PeakMemoryBytes(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6)) * 1024;
  return -1;
}

// Sends `bytes`, then `repeated` `times` over; answers how many bytes the connection took (it
// stops at the first failure: the process may close it on the way).
size_t SendRepeated(int fd, const std::string& bytes, const std::string& repeated, int times) {
  if (!test::SendAll(fd, bytes)) return 0;
  size_t sent = bytes.size();
  for (int i = 0; i < times && test::SendAll(fd, repeated); ++i) sent += repeated.size();
  return sent;
}

struct Fixture {
  std::string config = ConfigFile();
  std::string address = test::FreshSocketPath();
  test::FastCgiProcess process{XG_PROGRAM, address, Environment(config)};
};

TEST(FastCgiConnection, HostileRecordsCloseTheirConnectionAndTheProcessGoesOn) {
  Fixture fixture;
  ASSERT_TRUE(fixture.process.WaitUntilListening());
  const std::string expected = CgiAnswer(fixture.config);
  const std::string huge_lengths = std::string("\xC0\x00\x00\x00\xC0\x00\x00\x00", 8) + "AAAAAAAA";
  std::string endless_params = FcgiBegin(1, false);
  for (int i = 0; i < 17; ++i)
    endless_params +=
        FcgiRecord(test::kFcgiParams, 1, test::FcgiPairs({{"X", std::string(65000, 'v')}}));
  // Records of another request, as long as records may be, sent without end: dropped as they
  // come, whatever their number.
  std::string other_request;
  for (int i = 0; i < 16; ++i)
    other_request += FcgiRecord(test::kFcgiStdin, 2, std::string(65535, 's'));
  constexpr int kOtherRequestRepeats = 64;  // 64 MiB in all
  const struct {
    const char* what;
    std::string bytes;
    std::string repeated = "";
    int repeats = 0;
  } cases[] = {
      {"records of another request without end", FcgiBegin(1, false), other_request,
       kOtherRequestRepeats},
      {"records of a request never begun, without end", "", other_request, kOtherRequestRepeats},
      {"name and value lengths of 2^30 in one PARAMS record",
       FcgiBegin(1, false) + FcgiRecord(test::kFcgiParams, 1, huge_lengths) +
           FcgiRecord(test::kFcgiParams, 1, "")},
      {"a value length beyond the parameters received",
       FcgiBegin(1, false) +
           FcgiRecord(test::kFcgiParams, 1, std::string("\x04\x7F", 2) + "NAMEshort") +
           FcgiRecord(test::kFcgiParams, 1, "")},
      {"parameters that never end", endless_params},
      {"a record of another protocol version",
       FcgiRecord(test::kFcgiBeginRequest, 1, std::string(8, '\0'), 2)},
      {"a request beginning too short to hold its role",
       FcgiRecord(test::kFcgiBeginRequest, 1, std::string("\x00\x01", 2))},
      {"a GET_VALUES whose name length passes its end",
       FcgiRecord(test::kFcgiGetValues, 0, std::string("\x7F\x00", 2) + "FCGI_MAX_CONNS")},
      {"a header cut short", std::string("\x01\x01\x00", 3)},
  };
  // The worker has started up and served once before its memory is measured.
  ASSERT_EQ(AskFixed(fixture.address), expected);
  for (const auto& hostile : cases) {
    SCOPED_TRACE(hostile.what);
    const int fd = test::FcgiConnect(fixture.address);
    ASSERT_GE(fd, 0);
    const pid_t worker = WorkerOf(fixture.process.pid());
    ResetPeakMemory(worker);
    const long peak_before = PeakMemoryBytes(worker);
    ASSERT_GT(peak_before, 0);
    const size_t sent = SendRepeated(fd, hostile.bytes, hostile.repeated, hostile.repeats);
    ::shutdown(fd, SHUT_WR);
    // The process closes the connection without an answer to it...
    EXPECT_TRUE(test::WaitForClose(fd));
    ::close(fd);
    // ...having kept no more of it than a few records and the parameters' limit...
    const long growth = PeakMemoryBytes(worker) - peak_before;
    EXPECT_LT(growth, static_cast<long>(sent / 4 + (4 << 20))) << sent << " bytes sent";
    // ...and serves the next request, with the CGI program's bytes.
    EXPECT_EQ(AskFixed(fixture.address), expected);
    ASSERT_TRUE(fixture.process.Running());
  }
}

TEST(FastCgiConnection, ManagementRecordsRolesAndKeptConnections) {
  Fixture fixture;
  ASSERT_TRUE(fixture.process.WaitUntilListening());
  const std::string expected = CgiAnswer(fixture.config);
  const int fd = test::FcgiConnect(fixture.address);
  ASSERT_GE(fd, 0);
  test::FcgiRecordRead record;

  test::SendAll(fd, FcgiRecord(test::kFcgiGetValues, 0,
                               test::FcgiPairs({{"FCGI_MPXS_CONNS", ""}, {"FCGI_MAX_REQS", ""}})));
  ASSERT_TRUE(test::ReadRecord(fd, record));
  EXPECT_EQ(record.type, test::kFcgiGetValuesResult);
  // One request per connection, up to the process's 256 connections.
  EXPECT_EQ(record.content, test::FcgiPairs({{"FCGI_MPXS_CONNS", "0"}, {"FCGI_MAX_REQS", "256"}}));
  test::SendAll(fd, FcgiRecord(test::kFcgiGetValues, 0, test::FcgiPairs({{"FCGI_MAX_CONNS", ""}})));
  ASSERT_TRUE(test::ReadRecord(fd, record));
  EXPECT_EQ(record.content, test::FcgiPairs({{"FCGI_MAX_CONNS", "256"}}));

  test::SendAll(fd, FcgiRecord(200, 0, ""));
  ASSERT_TRUE(test::ReadRecord(fd, record));
  EXPECT_EQ(record.type, test::kFcgiUnknownType);
  ASSERT_EQ(record.content.size(), 8u);
  EXPECT_EQ(static_cast<unsigned char>(record.content[0]), 200);

  // An authorizer is a role this program does not play.
  test::SendAll(fd, FcgiBegin(7, true, 2));
  test::FcgiAnswer refused = test::ReadAnswer(fd, 7);
  EXPECT_TRUE(refused.ended);
  EXPECT_EQ(refused.protocol_status, 3);
  EXPECT_EQ(refused.out, "");

  // Two requests on the kept connection, then one that lets it close.
  for (int id : {1, 2}) {
    test::SendAll(fd, FcgiRequest(id, PostParams(kFixedBody), kFixedBody, true));
    const test::FcgiAnswer answer = test::ReadAnswer(fd, id);
    EXPECT_TRUE(answer.ended);
    EXPECT_EQ(answer.protocol_status, 0);
    EXPECT_EQ(Timeless(answer.out), expected);
  }
  test::SendAll(fd, FcgiRequest(3, PostParams(kFixedBody), kFixedBody, false));
  const test::FcgiAnswer last = test::ReadAnswer(fd, 3);
  EXPECT_EQ(Timeless(last.out), expected);
  EXPECT_TRUE(test::WaitForClose(fd));
  ::close(fd);
}

// Connections that hold the process: one silent, one that stops inside a record header, on TCP
// and on a Unix socket. Another client is answered meanwhile, and each is closed by the process.
TEST(FastCgiConnection, ASilentConnectionHoldsNoOtherClient) {
  for (const bool tcp : {true, false}) {
    for (const std::string& sent : {std::string(), std::string("\x01\x01\x00", 3)}) {
      SCOPED_TRACE(std::string(tcp ? "TCP" : "Unix socket") +
                   (sent.empty() ? ", silent" : ", a header cut short"));
      const std::string config = ConfigFile();
      const std::string address =
          tcp ? "127.0.0.1:" + std::to_string(test::FreePort()) : test::FreshSocketPath();
      test::FastCgiProcess process(XG_PROGRAM, address, Environment(config));
      ASSERT_TRUE(process.WaitUntilListening());
      const int silent = test::FcgiConnect(address);
      ASSERT_GE(silent, 0);
      test::SendAll(silent, sent);
      EXPECT_EQ(AskFixed(address), CgiAnswer(config));
      EXPECT_TRUE(test::WaitForClose(silent, 30 * kTimeoutSeconds));
      ::close(silent);
    }
  }
}

// Whether the peer still holds the connection open: nothing arrived on it, not even its end.
bool StillOpen(int fd) {
  char byte;
  const ssize_t peeked = ::recv(fd, &byte, 1, MSG_DONTWAIT | MSG_PEEK);
  return peeked < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
}

// Connections that each began a request and sent nothing more: no worker waits for them. The
// read timeout is far longer than the guard of the client's read, so a process that waited for
// any of them would leave the client unanswered; and they are all still open when the answer
// comes, so it did not come from their being dropped.
TEST(FastCgiConnection, BegunRequestsThatSendNothingMoreHoldNoOneUp) {
  const std::string config = ConfigFile("", 600);
  const std::string address = test::FreshSocketPath();
  test::FastCgiProcess process(XG_PROGRAM, address, Environment(config));
  ASSERT_TRUE(process.WaitUntilListening());
  const std::string expected = CgiAnswer(config);
  std::vector<int> begun;
  for (int i = 0; i < 8; ++i) {
    const int fd = test::FcgiConnect(address);
    ASSERT_GE(fd, 0);
    begun.push_back(fd);
    ASSERT_TRUE(test::SendAll(fd, FcgiBegin(1, false)));
  }
  EXPECT_EQ(AskFixed(address, 2), expected);
  for (const int fd : begun) {
    EXPECT_TRUE(StillOpen(fd));
    ::close(fd);
  }
}

// A GET of the status path or the ping path (from the process's own status-clients).
test::FcgiAnswer AskPage(const std::string& address, const std::string& path,
                         const std::string& query, const std::string& client = "127.0.0.1",
                         const std::string& method = "GET") {
  const int fd = test::FcgiConnect(address);
  const test::NameValues params = {{"REQUEST_METHOD", method},
                                   {"REQUEST_URI", path + (query.empty() ? "" : "?" + query)},
                                   {"SCRIPT_NAME", path},
                                   {"QUERY_STRING", query},
                                   {"REMOTE_ADDR", client}};
  test::SendAll(fd, FcgiRequest(9, params, ""));
  test::FcgiAnswer answer = test::ReadAnswer(fd, 9);
  ::close(fd);
  return answer;
}

// The status page and the ping: answered to the listed clients only, in JSON and OpenMetrics,
// with the requests served so far; answered at once while eight connections hold begun requests
// (which count among the connections); a POST to the path goes to the gateway as any request.
TEST(FastCgiConnection, TheStatusPageAndThePingAnswerTheListedClients) {
  const std::string config = ConfigFile(
      "status-path = /xg-status\nping-path = /xg-ping\nstatus-clients = 127.0.0.1 ::1\n", 600);
  const std::string address = test::FreshSocketPath();
  test::FastCgiProcess process(XG_PROGRAM, address, Environment(config));
  ASSERT_TRUE(process.WaitUntilListening());
  const std::string expected = CgiAnswer(config);
  for (int id : {1, 2}) ASSERT_EQ(AskFixed(address, id), expected);
  std::vector<int> begun;
  for (int i = 0; i < 8; ++i) {
    begun.push_back(test::FcgiConnect(address));
    ASSERT_TRUE(test::SendAll(begun.back(), FcgiBegin(1, false)));
  }

  EXPECT_EQ(AskPage(address, "/xg-ping", "").out,
            "Status: 200 OK\r\nContent-Type: text/plain\r\nCache-Control: no-store\r\n"
            "Content-Length: 5\r\n\r\npong\n");
  const std::string json = AskPage(address, "/xg-status", "json").out;
  EXPECT_NE(json.find("Content-Type: application/json\r\n"), std::string::npos) << json;
  // The eight begun connections and the status request's own.
  EXPECT_NE(json.find("{\"workers\":{\"busy\":0,\"idle\":1},\"requests_queued\":0,"
                      "\"connections\":9,\"requests\":{\"none\":{\"ERROR\":2}},"
                      "\"attachments\":{\"kept\":0,\"reused\":0,"
                      "\"detached\":{\"idle\":0,\"age\":0,\"limit\":0,\"lost\":0}},"
                      "\"latency_seconds\":{\"buckets\":[{\"le\":0.005000,"),
            std::string::npos)
      << json;
  EXPECT_NE(json.find("{\"le\":\"+Inf\",\"count\":2}],\"sum\":"), std::string::npos) << json;
  for (const int fd : begun) {
    EXPECT_TRUE(StillOpen(fd));
    ::close(fd);
  }

  const std::string metrics = AskPage(address, "/xg-status", "openmetrics").out;
  EXPECT_NE(metrics.find("Content-Type: application/openmetrics-text; version=1.0.0; "
                         "charset=utf-8\r\n"),
            std::string::npos);
  for (const std::string line :
       {"xmlgateway_workers{state=\"idle\"} 1\n",
        "xmlgateway_requests_total{service=\"none\",outcome=\"ERROR\"} 2\n",
        "xmlgateway_request_duration_seconds_bucket{le=\"+Inf\"} 2\n",
        "xmlgateway_request_duration_seconds_count 2\n"})
    EXPECT_NE(metrics.find(line), std::string::npos) << line << metrics;
  EXPECT_EQ(metrics.substr(metrics.size() - 6), "# EOF\n");

  EXPECT_EQ(AskPage(address, "/xg-status", "json", "192.0.2.1").out,
            "Status: 403 Forbidden\r\nContent-Type: text/plain\r\nCache-Control: no-store\r\n"
            "Content-Length: 10\r\n\r\nForbidden\n");
  const std::string posted = AskPage(address, "/xg-status", "json", "127.0.0.1", "POST").out;
  EXPECT_EQ(posted.find("application/json"), std::string::npos) << posted;
  // The gateway's own answer: a document (without SERVER_PROTOCOL, no header block).
  EXPECT_NE(posted.find("<ERROR>"), std::string::npos) << posted;
}

// Bodies that arrive slowly, each piece well within the timeout: one that trickles (a byte at a
// time, less than the progress that counts within a timeout) and never ends is dropped at the
// timeout, while the client that came after it is answered; one that arrives steadily in
// pieces of 8 KiB is served whole however much longer than the timeout it takes in all.
TEST(FastCgiConnection, ATricklingBodyIsDroppedAndASteadyOneServed) {
  Fixture fixture;
  ASSERT_TRUE(fixture.process.WaitUntilListening());
  const std::string expected = CgiAnswer(fixture.config);
  const std::chrono::milliseconds timeout = std::chrono::seconds(kTimeoutSeconds);
  // More bytes than the sender sends before its guard: the body never ends.
  constexpr int kBodyBytes = 1000;
  const auto interval = timeout / 10;
  // A guard against a process that never drops it, not a measurement: 30 timeouts.
  constexpr int kMostBytesSent = 300;
  const int slow = test::FcgiConnect(fixture.address);
  ASSERT_GE(slow, 0);
  test::SendAll(slow, FcgiBegin(1, false) +
                          FcgiRecord(test::kFcgiParams, 1,
                                     test::FcgiPairs(PostParams(std::string(kBodyBytes, 'x')))) +
                          FcgiRecord(test::kFcgiParams, 1, ""));
  std::atomic<int> bytes_sent{0};
  std::atomic<bool> dropped{false};
  std::thread sender([&] {
    for (int i = 0; i < kMostBytesSent; ++i) {
      // The process's end of the connection, closed or reset, shows in the send or in a read.
      if (!StillOpen(slow) || !test::SendAll(slow, FcgiRecord(test::kFcgiStdin, 1, "x"))) {
        dropped = true;
        break;
      }
      ++bytes_sent;
      std::this_thread::sleep_for(interval);
    }
  });
  // Until the sender has sent its first byte or found the connection dropped already.
  while (bytes_sent.load() == 0 && !dropped.load())
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  const std::string answer = AskFixed(fixture.address, 2);
  sender.join();
  ::close(slow);
  EXPECT_EQ(answer, expected);
  // The slow one was closed while it was still sending its body, which never ends.
  EXPECT_TRUE(dropped.load());

  // The steady one: its body a field the form cannot decode and a long one after it, sent a
  // piece every eighth of the timeout (a busy machine may hold the sender for most of a timeout
  // between two pieces), more than twice the timeout in all.
  const std::string piece(8192, 'p');
  constexpr int kPieces = 18;
  std::string body = kFixedBody + "&PAD=";
  for (int i = 0; i < kPieces; ++i) body += piece;
  const int steady = test::FcgiConnect(fixture.address);
  ASSERT_GE(steady, 0);
  ASSERT_TRUE(test::SendAll(
      steady, FcgiBegin(3, false) +
                  FcgiRecord(test::kFcgiParams, 3, test::FcgiPairs(PostParams(body))) +
                  FcgiRecord(test::kFcgiParams, 3, "") +
                  FcgiRecord(test::kFcgiStdin, 3, kFixedBody + "&PAD=")));
  for (int i = 0; i < kPieces; ++i) {
    std::this_thread::sleep_for(timeout / 8);
    ASSERT_TRUE(test::SendAll(steady, FcgiRecord(test::kFcgiStdin, 3, piece)));
  }
  ASSERT_TRUE(test::SendAll(steady, FcgiRecord(test::kFcgiStdin, 3, "")));
  const test::FcgiAnswer steady_answer = test::ReadAnswer(steady, 3);
  ::close(steady);
  EXPECT_TRUE(steady_answer.ended);
  EXPECT_EQ(Timeless(steady_answer.out), CgiAnswer(fixture.config, body));
}

// The web server's FCGI_ABORT_REQUEST in the middle of a body ends the request: its end comes
// with no answer, no service ran on the cut body (the request log shows only the next request),
// and the kept connection serves the next request.
TEST(FastCgiConnection, AnAbortInTheBodyEndsTheRequestUnserved) {
  const std::string log = test::FreshSocketPath() + ".log";
  const std::string config = ConfigFile("[log]\nrequests = " + log + "\n");
  const std::string address = test::FreshSocketPath();
  test::FastCgiProcess process(XG_PROGRAM, address, Environment(config));
  ASSERT_TRUE(process.WaitUntilListening());
  const int fd = test::FcgiConnect(address);
  ASSERT_GE(fd, 0);
  const std::string body = kFixedBody + "&PAD=" + std::string(100, 'p');
  test::SendAll(fd, FcgiBegin(1, true) +
                        FcgiRecord(test::kFcgiParams, 1, test::FcgiPairs(PostParams(body))) +
                        FcgiRecord(test::kFcgiParams, 1, "") +
                        FcgiRecord(test::kFcgiStdin, 1, body.substr(0, 20)) +
                        FcgiRecord(test::kFcgiAbortRequest, 1, ""));
  const test::FcgiAnswer aborted = test::ReadAnswer(fd, 1);
  EXPECT_TRUE(aborted.ended);
  EXPECT_EQ(aborted.out, "");
  test::SendAll(fd, FcgiRequest(2, PostParams(kFixedBody), kFixedBody, true));
  EXPECT_TRUE(test::ReadAnswer(fd, 2).ended);
  ::close(fd);
  std::ifstream lines(log);
  std::string line;
  int count = 0;
  while (std::getline(lines, line)) ++count;
  EXPECT_EQ(count, 1);
  std::remove(log.c_str());
}

// A web server that sends more than the request needs (here 512 KiB of another request's records
// behind it, over TCP): the process answers, then drops what follows until the web server
// closes, so the connection ends in order after the answer. A close with that input unread would
// send a reset, which destroys whatever of the answer the web server has not read yet.
TEST(FastCgiConnection, InputLeftBehindAnAnswerEndsTheConnectionInOrder) {
  const std::string config = ConfigFile();
  const std::string address = "127.0.0.1:" + std::to_string(test::FreePort());
  test::FastCgiProcess process(XG_PROGRAM, address, Environment(config));
  ASSERT_TRUE(process.WaitUntilListening());
  std::string trailing;
  for (int i = 0; i < 8; ++i) trailing += FcgiRecord(test::kFcgiStdin, 2, std::string(65535, 't'));
  const int fd = test::FcgiConnect(address);
  ASSERT_GE(fd, 0);
  ASSERT_TRUE(test::SendAll(fd, FcgiRequest(1, PostParams(kFixedBody), kFixedBody) + trailing));
  // Every byte up to the connection's end: the answer's records, then the end of the stream, not
  // a reset.
  std::string received;
  char buffer[65536];
  ssize_t got;
  while ((got = ::recv(fd, buffer, sizeof buffer, 0)) > 0 || (got < 0 && errno == EINTR))
    if (got > 0) received.append(buffer, static_cast<size_t>(got));
  const int error = got < 0 ? errno : 0;
  ::close(fd);
  EXPECT_EQ(error, 0) << std::strerror(error);
  const std::string end = FcgiRecord(test::kFcgiEndRequest, 1, std::string(8, '\0'));
  ASSERT_GE(received.size(), end.size());
  EXPECT_EQ(received.substr(received.size() - end.size()), end);
}

// A kept connection that leaves records behind its answered request (the body's end, which the
// request did not need, and a management record) and then goes quiet: the process goes back to
// waiting on every connection, answers another client, and serves the next request on the kept
// one. The read timeout is far longer than the guard of the clients' reads: a process that waited
// for the quiet connection would leave the other client unanswered.
TEST(FastCgiConnection, RecordsLeftOnAKeptConnectionHoldNoOneUp) {
  const std::string config = ConfigFile("", 600);
  const std::string address = test::FreshSocketPath();
  test::FastCgiProcess process(XG_PROGRAM, address, Environment(config));
  ASSERT_TRUE(process.WaitUntilListening());
  const std::string expected = CgiAnswer(config);
  const int kept = test::FcgiConnect(address);
  ASSERT_GE(kept, 0);
  // The request without its last record, the empty FCGI_STDIN that ends the body.
  const std::string request = FcgiRequest(1, PostParams(kFixedBody), kFixedBody, true);
  const std::string body_end = FcgiRecord(test::kFcgiStdin, 1, "");
  ASSERT_EQ(request.substr(request.size() - body_end.size()), body_end);
  test::SendAll(kept, request.substr(0, request.size() - body_end.size()));
  EXPECT_EQ(Timeless(test::ReadAnswer(kept, 1).out), expected);
  // The body's end, then a GET_VALUES whose answer shows that the process has read both.
  test::SendAll(kept, body_end + FcgiRecord(test::kFcgiGetValues, 0,
                                            test::FcgiPairs({{"FCGI_MAX_CONNS", ""}})));
  test::FcgiRecordRead record;
  ASSERT_TRUE(test::ReadRecord(kept, record));
  EXPECT_EQ(record.type, test::kFcgiGetValuesResult);

  EXPECT_EQ(AskFixed(address, 2), expected);
  test::SendAll(kept, FcgiRequest(3, PostParams(kFixedBody), kFixedBody, true));
  EXPECT_EQ(Timeless(test::ReadAnswer(kept, 3).out), expected);
  ::close(kept);
}

// Kept connections that go quiet after their requests: each is closed once it has been idle for
// the timeout; and connections up to the process's limit (256), each kept and quiet, do not keep
// out a new client: the one idle longest is closed to take it.
TEST(FastCgiConnection, QuietKeptConnectionsAreClosed) {
  {
    Fixture fixture;
    ASSERT_TRUE(fixture.process.WaitUntilListening());
    const int kept = test::FcgiConnect(fixture.address);
    ASSERT_GE(kept, 0);
    test::SendAll(kept, FcgiRequest(1, PostParams(kFixedBody), kFixedBody, true));
    const test::FcgiAnswer answer = test::ReadAnswer(kept, 1);
    EXPECT_TRUE(answer.ended);
    EXPECT_FALSE(answer.closed_after);
    EXPECT_TRUE(test::WaitForClose(kept, 30 * kTimeoutSeconds));
    ::close(kept);
  }
  constexpr int kMaxConnections = 256;
  // A timeout far longer than the guard of the clients' reads: no connection ends by it here.
  const std::string config = ConfigFile("", 600);
  const std::string address = test::FreshSocketPath();
  test::FastCgiProcess process(XG_PROGRAM, address, Environment(config));
  ASSERT_TRUE(process.WaitUntilListening());
  const std::string expected = CgiAnswer(config);
  std::vector<int> kept;
  for (int i = 0; i < kMaxConnections; ++i) {
    const int fd = test::FcgiConnect(address);
    ASSERT_GE(fd, 0);
    kept.push_back(fd);
    test::SendAll(fd, FcgiRequest(1, PostParams(kFixedBody), kFixedBody, true));
    ASSERT_TRUE(test::ReadAnswer(fd, 1).ended) << "connection " << i;
  }
  EXPECT_EQ(AskFixed(address), expected);
  // The first one went to make room; the last one still serves.
  EXPECT_TRUE(test::WaitForClose(kept.front()));
  test::SendAll(kept.back(), FcgiRequest(2, PostParams(kFixedBody), kFixedBody, true));
  EXPECT_EQ(Timeless(test::ReadAnswer(kept.back(), 2).out), expected);
  for (const int fd : kept) ::close(fd);
}

// A socket that other hosts can reach needs the list of the web servers; with it, a peer that is
// not listed is closed at once, and a listed one is served.
TEST(FastCgiConnection, ANonLoopbackSocketNeedsTheWebServersList) {
  for (const std::string& host : {std::string("0.0.0.0"), std::string("")}) {
    SCOPED_TRACE("address \"" + host + ":PORT\"");
    test::FastCgiProcess refused(XG_PROGRAM, host + ":" + std::to_string(test::FreePort()),
                                 Environment(ConfigFile()));
    const int status = refused.Wait();
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_NE(WEXITSTATUS(status), 0);
    EXPECT_NE(refused.ErrorOutput().find("allowed-clients"), std::string::npos)
        << refused.ErrorOutput();
  }

  const std::string config = ConfigFile("allowed-clients = 192.0.2.7, 127.0.0.2\n");
  const std::string address = "0.0.0.0:" + std::to_string(test::FreePort());
  test::FastCgiProcess process(XG_PROGRAM, address, Environment(config));
  ASSERT_TRUE(process.WaitUntilListening());
  const std::string expected = CgiAnswer(config);
  const int stranger = test::FcgiConnect(address, "127.0.0.1");
  ASSERT_GE(stranger, 0);
  test::SendAll(stranger, FcgiRequest(1, PostParams(kFixedBody), kFixedBody));
  const test::FcgiAnswer none = test::ReadAnswer(stranger, 1);
  EXPECT_FALSE(none.ended);
  EXPECT_EQ(none.out, "");
  EXPECT_TRUE(test::WaitForClose(stranger));
  ::close(stranger);
  const int listed = test::FcgiConnect(address, "127.0.0.2");
  ASSERT_GE(listed, 0);
  test::SendAll(listed, FcgiRequest(1, PostParams(kFixedBody), kFixedBody));
  EXPECT_EQ(Timeless(test::ReadAnswer(listed, 1).out), expected);
  ::close(listed);
}

}  // namespace
}  // namespace xg
