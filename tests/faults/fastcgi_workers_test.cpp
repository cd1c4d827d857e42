// The supervisor of a gateway that owns its FastCGI socket, with xmlgateway_faulty as the
// program: a request that holds its worker (until the test lets it go) shows which requests are
// served meanwhile, by whom, and what a signal or a dead worker does to them.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "support/fastcgi_peer.h"
#include "support/scoped_config.h"

namespace xg {
namespace {

using test::FcgiRequest;
using test::NameValues;
using test::PostParams;

const std::string kFixedBody = "SENDDATA=%zz";

std::string TempPath(const std::string& what) {
  char pattern[] = "/tmp/xg-workers-XXXXXX";
  const int fd = ::mkstemp(pattern);
  ::close(fd);
  ::unlink(pattern);
  return std::string(pattern) + what;
}

// A guard against a hang, not a measurement: how long the test waits for something that must
// happen.
bool WaitFor(const std::function<bool()>& happened, int guard_seconds = 60) {
  const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(guard_seconds);
  while (!happened()) {
    if (std::chrono::steady_clock::now() >= give_up) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

std::set<pid_t> WorkersOf(pid_t pid) {
  std::ifstream children("/proc/" + std::to_string(pid) + "/task/" + std::to_string(pid) +
                         "/children");
  std::set<pid_t> workers;
  for (pid_t worker; children >> worker;) workers.insert(worker);
  return workers;
}

NameValues ParamsWithFault(const std::string& fault) {
  NameValues params = PostParams(kFixedBody);
  params.push_back({"HTTP_X_XG_FAULT", fault});
  return params;
}

// A request that holds the worker that takes it until Release.
class HeldRequest {
 public:
  HeldRequest(const std::string& address, int id = 1) : path_(TempPath("-hold")), id_(id) {
    fd_ = test::FcgiConnect(address);
    test::SendAll(fd_, FcgiRequest(id_, ParamsWithFault("hold:" + path_), kFixedBody));
  }
  ~HeldRequest() {
    Release();
    ::close(fd_);
    std::remove((path_ + ".held").c_str());
  }
  // Whether a worker has taken it and holds it now.
  bool WaitUntilHeld() {
    return WaitFor([this] { return std::filesystem::exists(path_ + ".held"); });
  }
  void Release() { std::ofstream(path_).put('\n'); }
  test::FcgiAnswer Answer() { return test::ReadAnswer(fd_, id_); }

 private:
  std::string path_;
  int id_;
  int fd_ = -1;
};

struct Supervised {
  explicit Supervised(const std::string& fastcgi_settings)
      : config(test::WriteConfigFile("[fastcgi]\n" + fastcgi_settings)),
        address(TempPath(".sock")),
        process(XG_FAULTY_PROGRAM, address,
                {"PATH=/usr/bin:/bin", "XMLGATEWAY_CONF=" + config,
                 "ASAN_OPTIONS=quarantine_size_mb=0"}) {}

  // The fixed request on a new connection: whether it was answered whole.
  bool Answered(int id = 2) {
    const int fd = test::FcgiConnect(address);
    test::SendAll(fd, FcgiRequest(id, PostParams(kFixedBody), kFixedBody));
    const test::FcgiAnswer answer = test::ReadAnswer(fd, id);
    ::close(fd);
    return answer.ended && answer.out.find("Content-Type:") != std::string::npos;
  }

  bool Said(const std::string& text) {
    return WaitFor([&] { return process.ErrorOutput().find(text) != std::string::npos; });
  }

  std::string config;
  std::string address;
  test::FastCgiProcess process;
};

// Two workers: while one holds a request, the other serves the next client, and its status page
// counts both workers, one of them busy; the held request is answered whole once let go.
TEST(FastCgiWorkers, AHeldRequestHoldsOnlyItsOwnWorker) {
  Supervised gateway("workers = 2\nstatus-path = /status\n");
  ASSERT_TRUE(gateway.process.WaitUntilListening());
  HeldRequest held(gateway.address);
  ASSERT_TRUE(held.WaitUntilHeld());
  EXPECT_TRUE(gateway.Answered());
  const int fd = test::FcgiConnect(gateway.address);
  test::SendAll(fd, FcgiRequest(5,
                                {{"REQUEST_METHOD", "GET"},
                                 {"REQUEST_URI", "/status?json"},
                                 {"QUERY_STRING", "json"},
                                 {"REMOTE_ADDR", "127.0.0.1"}},
                                ""));
  const std::string status = test::ReadAnswer(fd, 5).out;
  ::close(fd);
  EXPECT_NE(status.find("{\"workers\":{\"busy\":1,\"idle\":1},"), std::string::npos) << status;
  held.Release();
  const test::FcgiAnswer answer = held.Answer();
  EXPECT_TRUE(answer.ended);
  EXPECT_NE(answer.out.find("Content-Type:"), std::string::npos);
}

// A worker killed in the middle of a request: that request ends unanswered, standard error says
// how the worker ended, and another worker serves the client that waited behind it.
TEST(FastCgiWorkers, AWorkerThatDiesIsReplacedAndOnlyItsRequestIsLost) {
  Supervised gateway("workers = 1\n");
  ASSERT_TRUE(gateway.process.WaitUntilListening());
  HeldRequest held(gateway.address);
  ASSERT_TRUE(held.WaitUntilHeld());
  const std::set<pid_t> workers = WorkersOf(gateway.process.pid());
  ASSERT_EQ(workers.size(), 1u);
  // The next client waits for the one worker.
  const int waiting = test::FcgiConnect(gateway.address);
  test::SendAll(waiting, FcgiRequest(3, PostParams(kFixedBody), kFixedBody));
  ::kill(*workers.begin(), SIGKILL);
  EXPECT_FALSE(held.Answer().ended);
  const test::FcgiAnswer answer = test::ReadAnswer(waiting, 3);
  ::close(waiting);
  EXPECT_TRUE(answer.ended);
  EXPECT_TRUE(
      gateway.Said("worker " + std::to_string(*workers.begin()) + " was killed by signal 9"));
  EXPECT_TRUE(gateway.process.Running());
}

// max-requests: a worker ends after that many requests and another takes its place; every
// request is answered, and standard error stays quiet about it.
TEST(FastCgiWorkers, MaxRequestsRecyclesAWorker) {
  Supervised gateway("workers = 1\nmax-requests = 2\n");
  ASSERT_TRUE(gateway.process.WaitUntilListening());
  std::set<pid_t> seen;
  for (int i = 0; i < 6; ++i) {
    EXPECT_TRUE(gateway.Answered(i + 1)) << "request " << i;
    for (pid_t worker : WorkersOf(gateway.process.pid())) seen.insert(worker);
  }
  // Six requests, two per worker: three workers at least (one may be seen only as it starts).
  EXPECT_GE(seen.size(), 3u);
  EXPECT_EQ(gateway.process.ErrorOutput(), "");
}

// SIGHUP: a configuration that cannot be used leaves the workers as they are and says why; one
// that can replaces them all, the held request still answered whole by its old worker, and
// clients served meanwhile; the number of workers then follows the new configuration.
TEST(FastCgiWorkers, SighupReplacesTheWorkersOrKeepsThemWithAReason) {
  Supervised gateway("workers = 1\n");
  ASSERT_TRUE(gateway.process.WaitUntilListening());
  ASSERT_TRUE(gateway.Answered());
  const std::set<pid_t> first = WorkersOf(gateway.process.pid());
  ASSERT_EQ(first.size(), 1u);

  std::ofstream(gateway.config) << "[fastcgi]\nworkers = many\n";
  ::kill(gateway.process.pid(), SIGHUP);
  EXPECT_TRUE(gateway.Said(
      "SIGHUP: the configuration cannot be used, the workers go on as they "
      "are: Error in configuration file " +
      gateway.config + ", line 2: workers must be auto or a whole number from 1 to 1024: many"));
  EXPECT_TRUE(gateway.Answered());
  EXPECT_EQ(WorkersOf(gateway.process.pid()), first);

  HeldRequest held(gateway.address);
  ASSERT_TRUE(held.WaitUntilHeld());
  std::ofstream(gateway.config) << "[fastcgi]\nworkers = 3\n";
  ::kill(gateway.process.pid(), SIGHUP);
  // A new worker serves while the old one still holds its request.
  EXPECT_TRUE(gateway.Answered(3));
  held.Release();
  EXPECT_TRUE(held.Answer().ended);
  EXPECT_TRUE(WaitFor([&] {
    const std::set<pid_t> now = WorkersOf(gateway.process.pid());
    return now.size() == 3 && now.count(*first.begin()) == 0;
  }));
  EXPECT_TRUE(gateway.Answered(4));
}

// SIGTERM: the held request runs to its end and is answered whole, then the supervisor and its
// workers end with 0.
TEST(FastCgiWorkers, SigtermLetsTheRequestsInHandFinish) {
  Supervised gateway("workers = 2\n");
  ASSERT_TRUE(gateway.process.WaitUntilListening());
  HeldRequest held(gateway.address);
  ASSERT_TRUE(held.WaitUntilHeld());
  ::kill(gateway.process.pid(), SIGTERM);
  held.Release();
  const test::FcgiAnswer answer = held.Answer();
  EXPECT_TRUE(answer.ended);
  EXPECT_NE(answer.out.find("Content-Type:"), std::string::npos);
  const int status = gateway.process.Wait();
  ASSERT_TRUE(WIFEXITED(status)) << status;
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(gateway.process.ErrorOutput(), "");
}

}  // namespace
}  // namespace xg
