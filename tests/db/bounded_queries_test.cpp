// Statements that would hold a process for minutes: a cross join of the system table of types,
// which no test waits for. With [limits] max-query-seconds it is cancelled and rolled back, and
// the answer is the service's failure document naming the limit (a CGI process and a FastCGI one
// alike). In a FastCGI process, a client that goes away (its connection closed, or the web
// server's FCGI_ABORT_REQUEST) cancels it, and the next request is served. And a termination
// signal ends a FastCGI process whose request waits on a database server that never answers.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "db_test_support.h"
#include "private_server.h"
#include "support/child_process.h"
#include "support/fastcgi_peer.h"
#include "support/request_body.h"
#include "support/scoped_config.h"

namespace xg {
namespace {

// Runs for far longer than any test waits: 250^4 rows to count.
const char kEndless[] = "select count(*) from rdb$types a, rdb$types b, rdb$types c, rdb$types d";
const char kQuick[] = "select 1 as one from rdb$database";

struct Database {
  std::string name;
  std::string password;
};

std::string SqlBody(const std::string& service, const Database& db, const std::string& sql) {
  return test::SqlServiceBody(service, db.name, "SYSDBA", db.password, sql);
}

TEST(BoundedQueries, MaxQuerySecondsCancelsRollsBackAndAnswersTheLimit) {
  const Database db{
      test::CreateDatabase(3, "CREATE TABLE R (ID INTEGER NOT NULL PRIMARY KEY);\nCOMMIT;\n"),
      "masterkey"};
  const std::string config =
      test::WriteConfigFile(test::EmbeddedScratchConfig() + "[limits]\nmax-query-seconds = 1\n");
  const std::string limit = "A consulta passou do limite de 1 segundos (max-query-seconds)";
  const struct {
    const char* service;
    std::string sql;
    std::string document;
  } cases[] = {
      {"SERVICEOPENSQL", kEndless,
       "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\r\n<OPENSQL>\r\n <MSGDATA "
       "DATATYPE=\"STRING\">" +
           limit + "</MSGDATA>\r\n</OPENSQL>\r\n"},
      // The row inserted before the endless count is rolled back with it.
      {"SERVICEEXECSQL",
       "execute block as begin insert into r (id) values (1); insert into r (id) select "
       "count(*) from rdb$types a, rdb$types b, rdb$types c, rdb$types d; end",
       "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\r\n<EXECSQL>\r\n <MSGDATA "
       "DATATYPE=\"STRING\">Opera\xE7\xE3o n\xE3o efetuada: " +
           limit + "</MSGDATA>\r\n</EXECSQL>\r\n"},
  };
  // The FastCGI process keeps its attachment: the cancel leaves nothing on it that fails the
  // next request.
  test::FastCgiProcess fastcgi(
      XG_PROGRAM, test::FreshSocketPath(),
      {"PATH=/usr/bin:/bin",
       "XMLGATEWAY_CONF=" +
           test::WriteConfigFile(test::EmbeddedScratchConfig() + "[limits]\nmax-query-seconds = 1\n"
                                                                 "[pool]\nattachments = on\n")});
  ASSERT_TRUE(fastcgi.WaitUntilListening());
  for (const auto& query : cases) {
    SCOPED_TRACE(query.service);
    const std::string body = SqlBody(query.service, db, query.sql);
    const test::ChildResult cgi =
        test::RunChild(XG_PROGRAM, test::CgiPostEnvironment(config, body), body);
    EXPECT_FALSE(cgi.timed_out);
    EXPECT_EQ(cgi.exit_code, 0);
    EXPECT_EQ(test::AnswerBody(cgi.out), query.document);
    const test::FcgiAnswer fast = test::AskOnNewConnection(fastcgi.address(), body);
    EXPECT_TRUE(fast.ended);
    EXPECT_EQ(fast.out, cgi.out);
    const test::FcgiAnswer next =
        test::AskOnNewConnection(fastcgi.address(), SqlBody("SERVICEOPENSQL", db, kQuick));
    EXPECT_NE(next.out.find("<ONE DATATYPE=\"INTEGER\" DATASIZE=\"4\">1</ONE>"), std::string::npos)
        << next.out;
  }
  EXPECT_NE(test::RunIsql(db.name, "select 'ROWS=' || count(*) from r;\n").find("ROWS=0"),
            std::string::npos);
}

// A private server, so that a test can see the gateway's statements on it and freeze it.
class OnPrivateServer : public ::testing::Test {
 protected:
  void SetUp() override {
    server_.Start();
    ASSERT_TRUE(server_.Running());
    path_ = server_.Folder() + "/bounded.fdb";
    server_.CreateDatabase(path_, "CREATE TABLE R (ID INTEGER);\nCOMMIT;\n");
    db_ = {server_.DatabaseName(path_), test::Server().password};
  }

  std::vector<std::string> Environment(const std::string& config = "") const {
    return {"PATH=/usr/bin:/bin", "XMLGATEWAY_CONF=" + test::WriteConfigFile(config),
            server_.ClientConfiguration()};
  }

  // Waits until the gateway's statement runs on the server (a guard, not a measurement).
  bool WaitUntilStatementRuns() const {
    for (int i = 0; i < 600; ++i) {
      if (server_.GatewayStatementRunning(path_)) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
  }

  test::PrivateServer server_;
  std::string path_;
  Database db_;
};

// The endless query sent and abandoned, by closing the connection or by the web server's abort:
// the next request is answered (by the same, one worker), and by then the statement no longer
// runs on the server.
TEST_F(OnPrivateServer, AClientThatHasGoneCancelsItsStatement) {
  test::FastCgiProcess process(XG_PROGRAM, test::FreshSocketPath(),
                               Environment("[fastcgi]\nworkers = 1\n"));
  ASSERT_TRUE(process.WaitUntilListening());
  const std::string endless = SqlBody("SERVICEOPENSQL", db_, kEndless);
  const std::string quick = SqlBody("SERVICEOPENSQL", db_, kQuick);
  for (const bool abort : {false, true}) {
    SCOPED_TRACE(abort ? "FCGI_ABORT_REQUEST" : "connection closed");
    const int fd = test::FcgiConnect(process.address());
    ASSERT_GE(fd, 0);
    test::SendAll(fd, test::FcgiRequest(1, test::PostParams(endless), endless, abort));
    ASSERT_TRUE(WaitUntilStatementRuns());
    if (abort) {
      test::SendAll(fd, test::FcgiRecord(test::kFcgiAbortRequest, 1, ""));
      // The aborted request ends without its answer, and the kept connection serves the next.
      const test::FcgiAnswer aborted = test::ReadAnswer(fd, 1);
      EXPECT_TRUE(aborted.ended);
      EXPECT_EQ(aborted.out, "");
      test::SendAll(fd, test::FcgiRequest(2, test::PostParams(quick), quick, true));
      const test::FcgiAnswer next = test::ReadAnswer(fd, 2);
      EXPECT_TRUE(next.ended);
      EXPECT_NE(next.out.find("<ONE "), std::string::npos) << next.out;
    } else {
      ::close(fd);
      const test::FcgiAnswer next = test::AskOnNewConnection(process.address(), quick);
      EXPECT_TRUE(next.ended);
      EXPECT_NE(next.out.find("<ONE "), std::string::npos) << next.out;
    }
    EXPECT_FALSE(server_.GatewayStatementRunning(path_));
    if (abort) ::close(fd);
  }
  EXPECT_TRUE(process.Running());
}

// SIGTERM while the request waits on a server frozen in the middle of the statement: the request
// is cut at [fastcgi] stop-seconds (one here) instead of waiting for the server; its worker ends
// by the signal, and so does the supervisor, whose standard error names the worker.
TEST_F(OnPrivateServer, ATerminationSignalEndsARequestOnAFrozenServer) {
  test::FastCgiProcess process(XG_PROGRAM, test::FreshSocketPath(),
                               Environment("[fastcgi]\nstop-seconds = 1\n"));
  ASSERT_TRUE(process.WaitUntilListening());
  const std::string endless = SqlBody("SERVICEOPENSQL", db_, kEndless);
  const int fd = test::FcgiConnect(process.address());
  ASSERT_GE(fd, 0);
  test::SendAll(fd, test::FcgiRequest(1, test::PostParams(endless), endless));
  ASSERT_TRUE(WaitUntilStatementRuns());
  server_.Signal(SIGSTOP);
  const auto signalled = std::chrono::steady_clock::now();
  ::kill(process.pid(), SIGTERM);
  const int status = process.Wait();
  const std::chrono::duration<double> took = std::chrono::steady_clock::now() - signalled;
  server_.Signal(SIGCONT);
  ::close(fd);
  ASSERT_TRUE(WIFEXITED(status)) << status;
  EXPECT_EQ(WEXITSTATUS(status), 128 + SIGTERM);
  EXPECT_NE(process.ErrorOutput().find(", asked to stop, ended with exit code 143\n"),
            std::string::npos)
      << process.ErrorOutput();
  std::printf("SIGTERM to a FastCGI process waiting on a frozen server: it ended %.3f s later\n",
              took.count());
}

}  // namespace
}  // namespace xg
