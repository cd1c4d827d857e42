// Faults of the database road, seen by a client of the gateway program: a database file that is
// gone, unreadable or not a database, a server that refuses the connection, a server killed,
// shut down or frozen in the middle of a request, and statements that fail half-way. Every
// answer is a complete response with status 200, the program exits with code 0, and a statement
// that fails changes nothing.
//
// A server frozen (SIGSTOP) after the gateway has attached is not among the cases: the client
// library waits for its answer without a limit (its connection time limit covers only the
// attach), and the gateway has no timer of its own to bound that wait; the web server's CGI time
// limit is the place for it.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <thread>

#include "db_test_support.h"
#include "private_server.h"
#include "support/child_process.h"
#include "support/request_body.h"

namespace xg {
namespace {

using Clock = std::chrono::steady_clock;

// Far above any answer the faults should give; only a hang reaches it.
constexpr int kHangGuardSeconds = 60;

const std::string kDeclaration = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\r\n";
const std::string kNotDone = "Opera\xE7\xE3o n\xE3o efetuada: ";
const std::string kMessageTag = " <MSGDATA DATATYPE=\"STRING\">";

std::string RequestDocument(const std::string& service, const std::string& db,
                            const std::string& sql) {
  const test::ServerAccess access =
      test::ServerConfigured() ? test::Server() : test::ServerAccess{"", "SYSDBA", "masterkey"};
  return "<?xml version=\"1.0\"?><SENDDATA><SERVICE>" + service + "</SERVICE><DB>" + db +
         "</DB><USER>" + access.user + "</USER><PASS>" + test::Base64Encode(access.password) +
         "</PASS><SQL>" + test::Base64Encode(sql) + "</SQL></SENDDATA>";
}

struct Answer {
  test::ChildResult process;
  std::string head;
  std::string body;
};

// The gateway program run by a web server for one POSTed request.
Answer Post(const std::string& service, const std::string& db, const std::string& sql,
            const std::string& extra_environment = "") {
  const std::string body = test::SendDataBody(RequestDocument(service, db, sql));
  std::vector<std::string> environment = {"REQUEST_METHOD=POST", "SERVER_PROTOCOL=HTTP/1.1",
                                          "CONTENT_LENGTH=" + std::to_string(body.size()),
                                          "PATH=/usr/bin:/bin",
                                          "XMLGATEWAY_CONF=" + test::EmbeddedScratchConfigFile()};
  if (!extra_environment.empty()) environment.push_back(extra_environment);
  Answer answer;
  answer.process = test::RunChild(XG_PROGRAM, environment, body, {kHangGuardSeconds, 0});
  const size_t split = answer.process.out.find("\r\n\r\n");
  answer.head = answer.process.out.substr(0, split);
  answer.body = split == std::string::npos ? "" : answer.process.out.substr(split + 4);
  return answer;
}

// A complete answer of a served request: status 200, the length it announces, exit code 0.
void ExpectServed(const Answer& answer) {
  EXPECT_FALSE(answer.process.timed_out) << "no answer within " << kHangGuardSeconds << " s";
  EXPECT_EQ(answer.process.signal, 0);
  EXPECT_EQ(answer.process.exit_code, 0) << answer.process.err;
  EXPECT_EQ(answer.head.rfind("Status: 200 OK\r\n", 0), 0u) << answer.head;
  EXPECT_NE(answer.head.find("Content-Length: " + std::to_string(answer.body.size()) + "\r\n"),
            std::string::npos)
      << answer.head;
}

// The message of the gateway's ERROR document, up to the two CR bytes before the request text.
std::string ErrorMessage(const Answer& answer) {
  const size_t open = answer.body.find("<ERROR>\r\n");
  const size_t start = answer.body.find(kMessageTag);
  if (open == std::string::npos || start == std::string::npos) {
    return "(not an ERROR document) " + answer.body.substr(0, 300);
  }
  const size_t end = answer.body.find("\r\r", start);
  return answer.body.substr(start + kMessageTag.size(), end - start - kMessageTag.size());
}

// The message of a one-message document (the query's failure document or the statement's
// answer) whose root is `root`; the whole document is checked line for line.
std::string DocumentMessage(const Answer& answer, const std::string& root) {
  const std::string head = kDeclaration + "<" + root + ">\r\n" + kMessageTag;
  const std::string tail = "</MSGDATA>\r\n</" + root + ">\r\n";
  const std::string& body = answer.body;
  if (body.size() < head.size() + tail.size() || body.rfind(head, 0) != 0 ||
      body.compare(body.size() - tail.size(), tail.size(), tail) != 0) {
    return "(not a " + root + " message document) " + body.substr(0, 300);
  }
  return body.substr(head.size(), body.size() - head.size() - tail.size());
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

TEST(DatabaseFaults, UnusableDatabasesAnswerTheErrorDocument) {
  const test::ServerAccess server = test::Server();
  ASSERT_FALSE(server.host.empty());
  const std::string dir = test::ScratchDirectory();

  const std::string removed = test::CreateDatabase(3, "");
  std::remove(removed.c_str());
  const std::string garbage = dir + "/garbage.fdb";
  std::string noise(64 * 1024, '\0');
  for (size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<char>((i * 7919 + 13) % 251);
  WriteFile(garbage, noise);
  const std::string empty = dir + "/empty.fdb";
  WriteFile(empty, "");
  // The server runs as its own user: a root file without permissions is closed to it.
  const std::string unreadable = test::CreateDatabase(3, "");
  ASSERT_EQ(chmod(unreadable.c_str(), 0), 0);
  const std::string garbage_for_server = dir + "/garbage-server.fdb";
  WriteFile(garbage_for_server, noise);
  test::GiveToServer(garbage_for_server);
  test::PrivateServer nobody_listens;  // its port is free: nothing was started on it

  const struct {
    std::string db;
    std::string fragment;  // of the client library's message
  } cases[] = {
      {removed, "No such file or directory"},
      {garbage, "is not a valid database"},
      {empty, "File size is less than expected"},
      {test::ServerDatabaseName(removed), "No such file or directory"},
      {test::ServerDatabaseName(unreadable), "Permission denied"},
      {test::ServerDatabaseName(garbage_for_server), "is not a valid database"},
      {nobody_listens.DatabaseName(removed), "Unable to complete network request"},
  };
  for (const auto& c : cases) {
    for (const char* service : {"SERVICEOPENSQL", "SERVICEEXECSQL"}) {
      SCOPED_TRACE(std::string(service) + " on " + c.db);
      const Answer answer = Post(service, c.db, "select 1 from rdb$database");
      ExpectServed(answer);
      EXPECT_NE(ErrorMessage(answer).find(c.fragment), std::string::npos) << ErrorMessage(answer);
    }
  }
}

TEST(DatabaseFaults, StatementFailingHalfWayChangesNothing) {
  const std::string db = test::CreateDatabase(
      3,
      "CREATE TABLE T (ID INTEGER NOT NULL PRIMARY KEY, V INTEGER CHECK (V < 100));\n"
      "CREATE EXCEPTION HALFWAY 'stopped half-way';\n"
      "INSERT INTO T VALUES (1, 10);\nINSERT INTO T VALUES (2, 20);\nINSERT INTO T VALUES (3, "
      "30);\nSET TERM ^ ;\n"
      "CREATE PROCEDURE ADD_THEN_FAIL AS BEGIN INSERT INTO T VALUES (10, 1); INSERT INTO T VALUES "
      "(11, 2); EXCEPTION HALFWAY; END^\n"
      "SET TERM ; ^\nCOMMIT;\n");
  const std::string content = "select id, v from t order by id";
  const Answer before = Post("SERVICEOPENSQL", db, content);
  ExpectServed(before);
  ASSERT_NE(before.body.find("<OPENSQL RECORDCOUNT=\"3\">"), std::string::npos) << before.body;

  const struct {
    const char* sql;
    const char* fragment;  // of the server's message
  } statements[] = {
      // Rows 5 and 4 go in before 3 collides with the row that is there.
      {"insert into t select id + 2, v from t order by id desc", "PRIMARY or UNIQUE KEY"},
      // Rows 1 and 2 pass the check, row 3 does not.
      {"update t set v = v * 4 order by id", "CHECK constraint"},
      {"delete from t where 1 / (3 - id) >= 0", "divide by zero"},
      {"execute block as begin insert into t values (20, 1); insert into t values (21, 2); "
       "insert into t values (1, 3); end",
       "PRIMARY or UNIQUE KEY"},
      // A procedure that fails is executed a second time before the failure is reported.
      {"execute procedure add_then_fail", "stopped half-way"},
  };
  for (const auto& statement : statements) {
    SCOPED_TRACE(statement.sql);
    const Answer answer = Post("SERVICEEXECSQL", db, statement.sql);
    ExpectServed(answer);
    const std::string message = DocumentMessage(answer, "EXECSQL");
    EXPECT_EQ(message.rfind(kNotDone, 0), 0u) << message;
    EXPECT_NE(message.find(statement.fragment), std::string::npos) << message;
    EXPECT_EQ(Post("SERVICEOPENSQL", db, content).body, before.body);
  }
}

// The private server with a database holding table T and a procedure that writes 1000 rows of
// T and then keeps the server busy for minutes.
class ServerStopped : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(test::Server().host.empty());
    server_.Start();
    ASSERT_TRUE(server_.Running());
    path_ = server_.Folder() + "/faults.fdb";
    server_.CreateDatabase(path_,
                           "CREATE TABLE T (ID INTEGER NOT NULL PRIMARY KEY);\nSET TERM ^ ;\n"
                           "CREATE PROCEDURE FILL_AND_WAIT AS DECLARE I INTEGER = 0; DECLARE N "
                           "BIGINT; BEGIN WHILE (I < 1000) DO BEGIN INSERT INTO T VALUES (:I); I "
                           "= I + 1; END SELECT COUNT(*) FROM " +
                               kLongJoin + " INTO :N; END^\nSET TERM ; ^\nCOMMIT;\n");
  }

  // Runs the request in a thread of its own; once the statement runs on the server, `fault` is
  // applied. Returns the answer and prints how long after the fault it came.
  Answer PostAndInterrupt(const std::string& service, const std::string& sql,
                          const std::function<void()>& fault) {
    Answer answer;
    Clock::time_point answered;
    std::thread request([&] {
      answer = Post(service, server_.DatabaseName(path_), sql);
      answered = Clock::now();
    });
    // Polled until seen: a minute is a bound for a stuck run, not a measure of a slow one.
    bool running = false;
    for (int i = 0; i < 600 && !running; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      running = server_.GatewayStatementRunning(path_);
    }
    const Clock::time_point faulted = Clock::now();
    fault();
    request.join();
    EXPECT_TRUE(running) << "the statement was never seen running";
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(answered - faulted).count();
    std::printf("answer %lld ms after the fault\n", static_cast<long long>(ms));
    RecordProperty("answer_ms_after_fault", static_cast<int>(ms));
    return answer;
  }

  std::string RowCount() {
    const Answer answer =
        Post("SERVICEOPENSQL", server_.DatabaseName(path_), "select count(*) as n from t");
    ExpectServed(answer);
    const std::string open = "<N DATATYPE=\"INTEGER\" DATASIZE=\"8\">";
    const size_t start = answer.body.find(open);
    if (start == std::string::npos) return "(no count) " + answer.body;
    return answer.body.substr(start + open.size(),
                              answer.body.find('<', start + open.size()) - start - open.size());
  }

  static inline const std::string kLongJoin = "RDB$TYPES A, RDB$TYPES B, RDB$TYPES C, RDB$TYPES D";

  test::PrivateServer server_;
  std::string path_;
};

TEST_F(ServerStopped, KilledOrShutDownDuringAQuery) {
  const struct {
    int signal;
    const char* fragment;
  } faults[] = {{SIGKILL, "connection"}, {SIGTERM, "connection shutdown"}};
  for (const auto& fault : faults) {
    SCOPED_TRACE(strsignal(fault.signal));
    if (!server_.Running()) server_.Start();
    bool ended_by_the_signal = true;
    const Answer answer =
        PostAndInterrupt("SERVICEOPENSQL", "select count(*) from " + kLongJoin,
                         [&] { ended_by_the_signal = server_.Signal(fault.signal); });
    ExpectServed(answer);
    const std::string message = DocumentMessage(answer, "OPENSQL");
    // A server whose shutdown did not end in time was killed: the gateway then answers the lost
    // connection.
    const std::string fragment = ended_by_the_signal ? fault.fragment : "connection";
    if (!ended_by_the_signal)
      std::printf("the server did not end by %s; killed\n", strsignal(fault.signal));
    EXPECT_NE(message.find(fragment), std::string::npos) << message;
  }
  // Started again, the server answers the next request as before.
  server_.Start();
  EXPECT_EQ(RowCount(), "0");
}

TEST_F(ServerStopped, KilledDuringAStatementThatHadWrittenRows) {
  const Answer answer = PostAndInterrupt("SERVICEEXECSQL", "execute procedure fill_and_wait",
                                         [&] { server_.Signal(SIGKILL); });
  ExpectServed(answer);
  const std::string message = DocumentMessage(answer, "EXECSQL");
  EXPECT_EQ(message.rfind(kNotDone, 0), 0u) << message;
  EXPECT_NE(message.find("connection"), std::string::npos) << message;

  server_.Start();
  EXPECT_EQ(RowCount(), "0");
}

TEST_F(ServerStopped, DownBeforeTheRequestOrFrozenAtAttach) {
  server_.Signal(SIGKILL);
  Answer answer = Post("SERVICEEXECSQL", server_.DatabaseName(path_), "delete from t");
  ExpectServed(answer);
  EXPECT_NE(ErrorMessage(answer).find("Unable to complete network request"), std::string::npos)
      << ErrorMessage(answer);

  // A frozen server still accepts the connection in the kernel; the client library gives up
  // waiting for the server's first answer after its connection time limit (three minutes by
  // default, a few seconds in the configuration the private server hands to clients).
  server_.Start();
  server_.Signal(SIGSTOP);
  const Clock::time_point start = Clock::now();
  answer = Post("SERVICEOPENSQL", server_.DatabaseName(path_), "select count(*) from t",
                server_.ClientConfiguration());
  const auto ms =
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
  std::printf("frozen server: answer after %lld ms\n", static_cast<long long>(ms));
  RecordProperty("frozen_attach_answer_ms", static_cast<int>(ms));
  server_.Signal(SIGKILL);
  ExpectServed(answer);
  EXPECT_NE(ErrorMessage(answer).find("connection rejected"), std::string::npos)
      << ErrorMessage(answer);
}

}  // namespace
}  // namespace xg
