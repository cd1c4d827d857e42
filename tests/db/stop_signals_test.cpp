// The gateway process ended by SIGTERM as a web server ends it, on the embedded engine and
// through the server: at a sweep of moments from start-up to the end of the answer, right after
// the answer, while a long answer is fetched and written, while a statement waits on a lock, and
// while a server that does not answer keeps it waiting. Whatever the moment: no text on standard
// error, exit code 0 or 143, an answer that is either complete or absent, and no committed row
// answered by anything but success.
#include <dirent.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "db/ib_database.h"
#include "db/ib_query.h"
#include "db/ib_transaction.h"
#include "db_test_support.h"
#include "private_server.h"
#include "support/child_process.h"
#include "support/request_body.h"

namespace xg {
namespace {

constexpr int kExitBySigterm = 128 + SIGTERM;
// A guard against a process that does not end; not a measurement.
constexpr int kWatchdogSeconds = 60;

struct Database {
  std::string name;  // as the request names it
  std::string password;
};

Database Embedded() {
  return {test::CreateDatabase(3, "CREATE TABLE R (ID INTEGER NOT NULL PRIMARY KEY);\nCOMMIT;\n"),
          "masterkey"};
}

Database OnTheServer() {
  const std::string path =
      test::CreateDatabase(3, "CREATE TABLE R (ID INTEGER NOT NULL PRIMARY KEY);\nCOMMIT;\n");
  test::GiveToServer(path);
  return {test::ServerDatabaseName(path), test::Server().password};
}

std::string SqlRequestBody(const std::string& service, const Database& db, const std::string& sql) {
  const std::string document = "<?xml version=\"1.0\"?><SENDDATA><SERVICE>" + service +
                               "</SERVICE><DB>" + db.name + "</DB><USER>SYSDBA</USER><PASS>" +
                               test::Base64Encode(db.password) + "</PASS><SQL>" +
                               test::Base64Encode(sql) + "</SQL></SENDDATA>";
  return "SENDDATA=" + test::UrlEncode(test::Base64Encode(document));
}

// The environment a web server hands the gateway for a POSTed body, with the configuration that
// has the embedded engine open the scratch databases.
std::vector<std::string> GatewayEnvironment(const std::string& body) {
  return {"REQUEST_METHOD=POST", "SERVER_PROTOCOL=HTTP/1.1",
          "CONTENT_LENGTH=" + std::to_string(body.size()), "PATH=/usr/bin:/bin",
          "XMLGATEWAY_CONF=" + test::EmbeddedScratchConfigFile()};
}

test::ChildResult RunGateway(const std::string& body, const test::ChildControl& control) {
  return test::RunChild(XG_PROGRAM, GatewayEnvironment(body), body, {kWatchdogSeconds, 0}, control);
}

// Whether the output is the whole CGI answer of an EXECSQL request that committed: a 200 header
// block that announces the document's length, and the document.
bool IsCommittedAnswer(const std::string& output) {
  const std::string document =
      "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\r\n<EXECSQL>\r\n"
      " <MSGDATA DATATYPE=\"STRING\">Opera\xE7\xE3o efetuada com sucesso</MSGDATA>\r\n"
      "</EXECSQL>\r\n";
  const size_t split = output.find("\r\n\r\n");
  if (split == std::string::npos) return false;
  const std::string head = output.substr(0, split + 2);
  return head.rfind("Status: 200 OK\r\n", 0) == 0 &&
         head.find("\r\nContent-Length: " + std::to_string(document.size()) + "\r\n") !=
             std::string::npos &&
         output.substr(split + 4) == document;
}

// Sees, through an attachment of its own, whether another attachment runs a statement (between
// its start and its end, fetches included): the moment a signal "during the statement" waits
// for, whatever the machine's speed.
class StatementWatcher {
 public:
  explicit StatementWatcher(const Database& db) {
    database_.SetDatabaseName(db.name);
    database_.SetAttachParams(
        {.user = "SYSDBA", .password = db.password, .charset = "", .connection_config = ""});
    database_.Connect();
  }
  ~StatementWatcher() { database_.Disconnect(); }

  // A statement whose text starts with `text` (no quotes in it) is running in another
  // attachment. Each call reads a fresh monitoring snapshot.
  bool Running(const std::string& text) {
    IbTransaction transaction(database_);
    transaction.StartTransaction();
    IbQuery query(transaction);
    query.SetSql(
        "select count(*) from mon$statements where mon$state > 0 and "
        "mon$attachment_id <> current_connection and mon$sql_text starting with '" +
        text + "'");
    query.Open();
    query.First();
    const bool running = VarAsInteger(query.FieldValue(0)) > 0;
    query.Close();
    transaction.Commit();
    return running;
  }

 private:
  IbDatabase database_;
};

std::set<int> RowsOf(const Database& db) {
  const std::string output = test::RunIsql(db.name, "set list on;\nselect id from r;\n");
  std::set<int> rows;
  size_t at = 0;
  while ((at = output.find("ID", at)) != std::string::npos) {
    at += 2;
    rows.insert(std::stoi(output.substr(at)));
  }
  return rows;
}

std::string InsertBody(const Database& db, int key) {
  return SqlRequestBody("SERVICEEXECSQL", db,
                        "insert into r (id) values (" + std::to_string(key) + ")");
}

// How long an insert takes on this machine now, from the gateway's handlers to its exit: the
// median of a few unsignalled runs, each with a key of its own (returned in `keys`).
double MeasuredInsertSeconds(const Database& db, int first_key, std::set<int>& keys) {
  std::vector<double> spans;
  for (int key = first_key; key < first_key + 3; ++key) {
    test::ChildControl control;
    control.timed_from_handler_of = SIGTERM;
    const test::ChildResult result = RunGateway(InsertBody(db, key), control);
    EXPECT_TRUE(IsCommittedAnswer(result.out)) << result.out << result.err;
    keys.insert(key);
    spans.push_back(result.seconds_from_handler_to_end);
  }
  std::sort(spans.begin(), spans.end());
  return spans[spans.size() / 2];
}

// Inserts with SIGTERM at a sweep of moments after the gateway installed its handlers, from
// before the attach to after the answer. The moments are fractions (0 to 2) of an insert's
// measured span, measured again before each block of moments, so that a slow or busy machine
// sweeps the same stages as a fast one.
void SweepInserts(const Database& db) {
  constexpr int kRuns = 150;
  constexpr int kMomentsPerBlock = 30;
  std::set<int> answered, unanswered, measured;
  int stopped_by_signal = 0;
  double span_seconds = 0;
  for (int key = 1; key <= kRuns; ++key) {
    const int moment = (key - 1) % kMomentsPerBlock;
    if (moment == 0) span_seconds = MeasuredInsertSeconds(db, -key * 10, measured);
    test::ChildControl control;
    control.signal = SIGTERM;
    control.signal_delay_ms =
        static_cast<int>(span_seconds * 1000 * 2.0 * moment / kMomentsPerBlock);
    const test::ChildResult result = RunGateway(InsertBody(db, key), control);
    SCOPED_TRACE("key " + std::to_string(key) + ", signal after " +
                 std::to_string(control.signal_delay_ms) + " ms of a measured " +
                 std::to_string(static_cast<int>(span_seconds * 1000)) + " ms");
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.signal, 0);
    EXPECT_TRUE(result.exit_code == 0 || result.exit_code == kExitBySigterm) << result.exit_code;
    if (result.exit_code == kExitBySigterm) ++stopped_by_signal;
    if (IsCommittedAnswer(result.out)) {
      answered.insert(key);
    } else {
      // Anything short of the committed answer is no answer at all: never an ERROR document,
      // never a failure message, never a part of an answer.
      EXPECT_EQ(result.out, "");
      EXPECT_EQ(result.exit_code, kExitBySigterm);
      unanswered.insert(key);
    }
  }
  const std::set<int> rows = RowsOf(db);
  int unanswered_but_committed = 0;
  for (int key : answered) EXPECT_TRUE(rows.count(key)) << "answered, not committed: " << key;
  for (int key : measured) EXPECT_TRUE(rows.count(key)) << "measuring insert lost: " << key;
  for (int key : rows) {
    if (measured.count(key)) continue;
    EXPECT_TRUE(answered.count(key) || unanswered.count(key)) << key;
    if (unanswered.count(key)) ++unanswered_but_committed;
  }
  std::printf(
      "%s: %zu answered and committed, %zu stopped without an answer (%d of them "
      "committed), %d ended by the signal\n",
      db.name.c_str(), answered.size(), unanswered.size(), unanswered_but_committed,
      stopped_by_signal);
  // The sweep reached both sides of the commit.
  EXPECT_GT(answered.size(), 0u);
  EXPECT_GT(unanswered.size(), 0u);
}

TEST(StopSignals, SweepOfMomentsOnTheEmbeddedEngine) {
  SweepInserts(Embedded());
}

TEST(StopSignals, SweepOfMomentsThroughTheServer) {
  SweepInserts(OnTheServer());
}

// SIGTERM as soon as the whole answer has arrived, as lighttpd sends it to a CGI program that is
// still running then: the process is tearing the client library down.
void SignalRightAfterTheAnswer(const Database& db) {
  constexpr int kRuns = 150;
  int stopped_by_signal = 0;
  for (int run = 1; run <= kRuns; ++run) {
    const bool query = run % 2 == 0;
    test::ChildControl control;
    control.signal = SIGTERM;
    control.signal_after_text = query ? "</OPENSQL>\r\n" : "</EXECSQL>\r\n";
    const test::ChildResult result = RunGateway(
        query ? SqlRequestBody("SERVICEOPENSQL", db, "select id from r where id < 3 order by id")
              : SqlRequestBody("SERVICEEXECSQL", db,
                               "insert into r (id) values (" + std::to_string(1000 + run) + ")"),
        control);
    SCOPED_TRACE("run " + std::to_string(run));
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.signal, 0);
    EXPECT_TRUE(result.exit_code == 0 || result.exit_code == kExitBySigterm) << result.exit_code;
    if (result.exit_code == kExitBySigterm) ++stopped_by_signal;
    if (query) {
      EXPECT_NE(result.out.find("<OPENSQL RECORDCOUNT=\"2\">"), std::string::npos) << result.out;
    } else {
      EXPECT_TRUE(IsCommittedAnswer(result.out)) << result.out;
    }
  }
  std::printf("%s: %d of %d processes ended by the signal after their answer\n", db.name.c_str(),
              stopped_by_signal, kRuns);
}

TEST(StopSignals, RightAfterTheAnswerOnTheEmbeddedEngine) {
  const Database db = Embedded();
  test::RunIsql(db.name, "insert into r values (1);\ninsert into r values (2);\ncommit;\n");
  SignalRightAfterTheAnswer(db);
}

TEST(StopSignals, RightAfterTheAnswerThroughTheServer) {
  const Database db = OnTheServer();
  test::RunIsql(db.name, "insert into r values (1);\ninsert into r values (2);\ncommit;\n");
  SignalRightAfterTheAnswer(db);
}

// A query whose answer is about 54 MB: SIGTERM while its rows are fetched, and once the first
// megabyte of the answer has gone out. Both stop short of the whole answer.
TEST(StopSignals, LongAnswerStopsAtTheSignal) {
  const Database db = OnTheServer();
  test::RunIsql(db.name,
                "create table s (n integer);\ncommit;\nset term ^ ;\n"
                "execute block as declare i integer = 0; begin while (i < 60) do begin "
                "insert into s values (:i); i = i + 1; end end^\nset term ; ^\ncommit;\n");
  // 60 * 60 * 47 rows of about 320 bytes each.
  const std::string body =
      SqlRequestBody("SERVICEOPENSQL", db,
                     "select a.n, cast(rpad('x', 200, 'y') as varchar(200)) as t "
                     "from s a, s b, s c where c.n < 47");
  const test::ChildResult whole = RunGateway(body, {});
  ASSERT_EQ(whole.exit_code, 0) << whole.err;
  ASSERT_GT(whole.out.size(), 50u * 1000 * 1000);

  StatementWatcher watcher(db);
  const struct {
    const char* moment;
    bool when_running;
    size_t after_output;
    bool stop_reading;
  } moments[] = {{"while the rows are fetched", true, 0, false},
                 {"while the answer is written", false, 1000 * 1000, false},
                 {"to a reader that stopped reading", false, 1000 * 1000, true}};
  for (const auto& moment : moments) {
    test::ChildControl control;
    control.signal = SIGTERM;
    if (moment.when_running)
      control.signal_when = [&](pid_t) { return watcher.Running("select a.n"); };
    control.signal_after_output = moment.after_output;
    control.stop_reading_at_signal = moment.stop_reading;
    const test::ChildResult stopped = RunGateway(body, control);
    SCOPED_TRACE(moment.moment);
    EXPECT_TRUE(stopped.signal_sent);
    EXPECT_EQ(stopped.exit_code, kExitBySigterm);
    EXPECT_EQ(stopped.err, "");
    EXPECT_LT(stopped.out.size(), whole.out.size());
    std::printf("%zu-byte answer, SIGTERM %s: the process ended %.3f s later, %zu bytes out\n",
                whole.out.size(), moment.moment, stopped.seconds_from_signal_to_end,
                stopped.out.size());
  }
}

// An update that waits on a row another transaction holds: the signal ends the wait, and the
// update is not committed.
TEST(StopSignals, StatementWaitingOnALockStopsAtTheSignal) {
  const Database db = OnTheServer();
  test::RunIsql(db.name, "insert into r values (1);\ncommit;\n");
  IbDatabase holder;
  holder.SetDatabaseName(db.name);
  holder.SetAttachParams(
      {.user = "SYSDBA", .password = db.password, .charset = "", .connection_config = ""});
  holder.Connect();
  IbTransaction lock(holder);
  lock.StartTransaction();
  IbQuery update(lock);
  update.SetSql("update r set id = 2 where id = 1");
  update.ExecSql();

  StatementWatcher watcher(db);
  test::ChildControl control;
  control.signal = SIGTERM;
  control.signal_when = [&](pid_t) { return watcher.Running("update r set id = 3"); };
  const test::ChildResult stopped =
      RunGateway(SqlRequestBody("SERVICEEXECSQL", db, "update r set id = 3 where id = 1"), control);
  EXPECT_TRUE(stopped.signal_sent);
  EXPECT_EQ(stopped.exit_code, kExitBySigterm);
  EXPECT_EQ(stopped.err, "");
  EXPECT_EQ(stopped.out, "");
  std::printf("SIGTERM during a lock wait: the process ended %.3f s later\n",
              stopped.seconds_from_signal_to_end);

  lock.Rollback();
  holder.Disconnect();
  EXPECT_EQ(RowsOf(db), std::set<int>{1});
}

// SIGINT and SIGHUP stop a request as SIGTERM does, each with its own exit code.
TEST(StopSignals, EachTerminationSignalDuringALongQuery) {
  const Database db = Embedded();
  const std::string body =
      SqlRequestBody("SERVICEOPENSQL", db,
                     "select count(*) from rdb$types a, rdb$types b, rdb$types c, rdb$types d");
  StatementWatcher watcher(db);
  for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
    SCOPED_TRACE(signal);
    test::ChildControl control;
    control.signal = signal;
    control.signal_when = [&](pid_t) {
      return watcher.Running("select count(*) from rdb$types a");
    };
    const test::ChildResult stopped = RunGateway(body, control);
    EXPECT_TRUE(stopped.signal_sent);
    EXPECT_EQ(stopped.exit_code, 128 + signal);
    EXPECT_EQ(stopped.err, "");
    EXPECT_EQ(stopped.out, "");
  }
}

// Whether the process holds an established TCP connection to the port on 127.0.0.1 (a frozen
// server's kernel still accepts it: the client library then waits for the server's answer).
bool HoldsConnectionToPort(pid_t process, int port) {
  const std::string proc = "/proc/" + std::to_string(process);
  std::set<std::string> socket_inodes;
  if (DIR* fds = opendir((proc + "/fd").c_str())) {
    while (const dirent* entry = readdir(fds)) {
      char target[64];
      const ssize_t length =
          readlink((proc + "/fd/" + entry->d_name).c_str(), target, sizeof target - 1);
      if (length <= 0) continue;
      const std::string link(target, static_cast<size_t>(length));
      if (link.rfind("socket:[", 0) == 0) socket_inodes.insert(link.substr(8, link.size() - 9));
    }
    closedir(fds);
  }
  std::ifstream table(proc + "/net/tcp");
  std::string line;
  std::getline(table, line);  // the header
  char remote_port[8];
  std::snprintf(remote_port, sizeof remote_port, ":%04X", port);
  while (std::getline(table, line)) {
    std::istringstream fields(line);
    std::string slot, local, remote, state, queues, timer, retransmits, uid, timeout, inode;
    fields >> slot >> local >> remote >> state >> queues >> timer >> retransmits >> uid >>
        timeout >> inode;
    if (state == "01" && remote.size() >= 5 && remote.substr(remote.size() - 5) == remote_port &&
        socket_inodes.count(inode)) {
      return true;
    }
  }
  return false;
}

// A server that does not answer (frozen) cannot be reached by a cancel: an attach waits for the
// client library's connection time limit (three minutes by default), a query for ever. The
// process still ends soon after the signal, with nothing written.
TEST(StopSignals, FrozenServerStillEndsSoonAfterTheSignal) {
  test::PrivateServer server;
  server.Start();
  ASSERT_TRUE(server.Running());
  const std::string path = server.Folder() + "/frozen.fdb";
  server.CreateDatabase(path, "CREATE TABLE R (ID INTEGER);\nCOMMIT;\n");
  const Database db{server.DatabaseName(path), test::Server().password};
  const struct {
    const char* moment;
    bool frozen_before;  // else: frozen once the query runs
    std::string sql;
  } moments[] = {
      {"an attach", true, "select id from r"},
      {"a query", false, "select count(*) from rdb$types a, rdb$types b, rdb$types c, rdb$types d"},
  };
  for (const auto& moment : moments) {
    SCOPED_TRACE(moment.moment);
    if (moment.frozen_before) server.Signal(SIGSTOP);
    test::ChildControl control;
    control.signal = SIGTERM;
    control.signal_when = [&](pid_t gateway) {
      if (moment.frozen_before) return HoldsConnectionToPort(gateway, server.Port());
      if (!server.GatewayStatementRunning(path)) return false;
      server.Signal(SIGSTOP);
      return true;
    };
    const test::ChildResult stopped =
        RunGateway(SqlRequestBody("SERVICEOPENSQL", db, moment.sql), control);
    server.Signal(SIGCONT);
    EXPECT_TRUE(stopped.signal_sent);
    EXPECT_EQ(stopped.exit_code, kExitBySigterm);
    EXPECT_EQ(stopped.err, "");
    EXPECT_EQ(stopped.out, "");
    std::printf("SIGTERM during %s on a frozen server: the process ended %.3f s later\n",
                moment.moment, stopped.seconds_from_signal_to_end);
  }
}

}  // namespace
}  // namespace xg
