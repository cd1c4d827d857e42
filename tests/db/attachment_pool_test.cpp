// The attachments a FastCGI process keeps between requests: the pool's own rules (by key, within
// its limits, never one that is closed) and the SQL services with it, which must reuse the
// attachment while running each request in a transaction of its own.
#include "db/attachment_pool.h"

#include <gtest/gtest.h>

#include <chrono>
#include <regex>
#include <string>

#include "config/gateway_config.h"
#include "db_test_support.h"
#include "gateway/sql_services.h"
#include "service_inputs.h"
#include "support/request_body.h"
#include "support/test_hosts.h"

namespace xg {
namespace {

std::unique_ptr<IbDatabase> Attached(const std::string& name) {
  auto database = std::make_unique<IbDatabase>();
  database->SetDatabaseName(name);
  database->SetAttachParams(
      {.user = "SYSDBA", .password = "unchecked", .charset = "", .connection_config = ""});
  database->Connect();
  return database;
}

AttachmentPoolLimits Limits(int idle_seconds, int max_age_seconds, int max_per_process) {
  return AttachmentPoolLimits{true, idle_seconds, max_age_seconds, max_per_process};
}

TEST(AttachmentPool, KeepsConnectedAttachmentsByKeyWithinTheLimits) {
  const std::string name = test::CreateDemoDatabase();
  AttachmentPool pool;
  pool.Configure(Limits(60, 300, 2));
  EXPECT_EQ(pool.MillisecondsToNextExpiry(), -1);

  std::unique_ptr<IbDatabase> first = Attached(name);
  const IbDatabase* kept = first.get();
  const auto given = std::chrono::steady_clock::now();
  pool.Give("a", std::move(first));
  EXPECT_EQ(pool.Size(), 1u);
  // The idle time counts from the Give: what has passed since (however slow the machine) is
  // all it may have lost.
  const long to_expiry = pool.MillisecondsToNextExpiry();
  const long passed = static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                            std::chrono::steady_clock::now() - given)
                                            .count());
  EXPECT_GE(to_expiry, 60000 - passed - 1);
  EXPECT_LE(to_expiry, 60001);
  EXPECT_EQ(pool.Take("b"), nullptr);
  std::unique_ptr<IbDatabase> taken = pool.Take("a");
  EXPECT_EQ(taken.get(), kept);
  EXPECT_TRUE(taken->Connected());
  EXPECT_EQ(pool.Size(), 0u);

  // A closed attachment is never kept; the least recently used goes when the pool is full.
  taken->ForceClose();
  pool.Give("a", std::move(taken));
  EXPECT_EQ(pool.Size(), 0u);
  pool.Give("1", Attached(name));
  pool.Give("2", Attached(name));
  pool.Give("3", Attached(name));
  EXPECT_EQ(pool.Size(), 2u);
  EXPECT_EQ(pool.Take("1"), nullptr);
  EXPECT_NE(pool.Take("3"), nullptr);

  // Turned off, it keeps nothing and drops what it kept.
  pool.Configure(AttachmentPoolLimits());
  EXPECT_EQ(pool.Size(), 0u);
  pool.Give("4", Attached(name));
  EXPECT_EQ(pool.Size(), 0u);
}

TEST(AttachmentPool, DropsWhatPassesItsAgeOrIdleTime) {
  const std::string name = test::CreateDemoDatabase();
  AttachmentPool pool;
  // Past its age when it comes back: dropped at once.
  pool.Configure(Limits(60, 0, 4));
  pool.Give("a", Attached(name));
  EXPECT_EQ(pool.Size(), 0u);
  // Idle too long: dropped by DropExpired and never taken.
  pool.Configure(Limits(0, 300, 4));
  pool.Give("a", Attached(name));
  EXPECT_LE(pool.MillisecondsToNextExpiry(), 1);
  EXPECT_EQ(pool.Take("a"), nullptr);
  pool.Give("b", Attached(name));
  pool.DropExpired();
  EXPECT_EQ(pool.Size(), 0u);
}

// The pool a FastCGI program's start-up object would own, handed to the services with the
// scratch configuration.
AttachmentPool& ServicesPool() {
  static AttachmentPool* pool = new AttachmentPool;
  return *pool;
}

const GatewayContext& PooledContext() {
  static const GatewayContext context{test::EmbeddedScratchSettings(), &ServicesPool()};
  return context;
}

class PooledServices : public ::testing::Test {
 protected:
  void TearDown() override { ServicesPool().Configure(AttachmentPoolLimits()); }
};

// The attachment and transaction a query ran in, as "connection/transaction".
std::string ConnectionAndTransaction(const std::string& database, const std::string& password,
                                     const std::string& user = "SYSDBA") {
  const std::string request =
      "<?xml version=\"1.0\"?><SENDDATA><SERVICE>SERVICEOPENSQL</SERVICE><DB>" + database +
      "</DB><USER>" + user + "</USER><PASS>" + test::Base64Encode(password) + "</PASS><SQL>" +
      test::Base64Encode(
          "select current_connection as C, current_transaction as T from rdb$database") +
      "</SQL></SENDDATA>";
  const std::string answer =
      RunOpenSql(test::ParsedRequest(request), PooledContext(), test::DefaultSettings()).Text();
  std::smatch found;
  const std::regex values("<C [^>]*>([0-9]+)</C>\r\n <T [^>]*>([0-9]+)</T>");
  if (!std::regex_search(answer, found, values)) return "no values in: " + answer;
  return found[1].str() + "/" + found[2].str();
}

std::string ConnectionOf(const std::string& both) {
  return both.substr(0, both.find('/'));
}

TEST_F(PooledServices, ReuseTheAttachmentOfTheSameKeyInANewTransaction) {
  const std::string name = test::CreateDemoDatabase();
  ServicesPool().Configure(Limits(60, 300, 4));
  const std::string first = ConnectionAndTransaction(name, "one");
  const std::string second = ConnectionAndTransaction(name, "one");
  const std::string other_password = ConnectionAndTransaction(name, "two");
  EXPECT_EQ(ConnectionOf(first), ConnectionOf(second)) << first << " " << second;
  EXPECT_NE(first, second);
  EXPECT_NE(ConnectionOf(other_password), ConnectionOf(first));
  EXPECT_EQ(ServicesPool().Size(), 2u);

  // Without the pool every request attaches anew and nothing is kept.
  ServicesPool().Configure(AttachmentPoolLimits());
  const std::string third = ConnectionAndTransaction(name, "one");
  const std::string fourth = ConnectionAndTransaction(name, "one");
  EXPECT_NE(ConnectionOf(third), ConnectionOf(fourth));
  EXPECT_EQ(ServicesPool().Size(), 0u);
}

// A kept attachment that the server ended meanwhile (a restart of the server, an operator's
// delete from MON$ATTACHMENTS) is found out when the next request starts its transaction: that
// request is served on a new attachment, as if nothing had been kept, on the embedded engine
// and through the server.
TEST_F(PooledServices, AnAttachmentEndedWhileKeptIsReplacedForTheNextRequest) {
  const std::string served = test::CreateDemoDatabase();
  test::GiveToServer(served);
  const test::ServerAccess server = test::Server();
  const struct {
    std::string database, user, password;
  } roads[] = {
      {test::CreateDemoDatabase(), "SYSDBA", "one"},
      {test::ServerDatabaseName(served), server.user, server.password},
  };
  ServicesPool().Configure(Limits(60, 300, 4));
  for (const auto& road : roads) {
    const std::string first = ConnectionAndTransaction(road.database, road.password, road.user);
    ASSERT_EQ(ServicesPool().Size(), 1u) << first;
    test::RunIsql(road.database, "delete from mon$attachments where mon$attachment_id = " +
                                     ConnectionOf(first) + ";\ncommit;\n");
    const std::string second = ConnectionAndTransaction(road.database, road.password, road.user);
    EXPECT_NE(second.find('/'), std::string::npos) << road.database << ": " << second;
    EXPECT_NE(ConnectionOf(second), ConnectionOf(first)) << road.database;
    const std::string third = ConnectionAndTransaction(road.database, road.password, road.user);
    EXPECT_EQ(ConnectionOf(third), ConnectionOf(second)) << road.database;
    ServicesPool().Clear();
  }
}

// The first value of the answer's first row, or the whole answer when it has none.
std::string FirstValue(const std::string& service, const std::string& database,
                       const std::string& sql, const GatewayContext& context = PooledContext()) {
  const std::string request = "<?xml version=\"1.0\"?><SENDDATA><SERVICE>" + service +
                              "</SERVICE><DB>" + database + "</DB><USER>SYSDBA</USER><PASS>" +
                              test::Base64Encode("one") + "</PASS><SQL>" + test::Base64Encode(sql) +
                              "</SQL></SENDDATA>";
  const RequestParams parsed = test::ParsedRequest(request);
  const std::string answer = service == "SERVICEOPENSQL"
                                 ? RunOpenSql(parsed, context, test::DefaultSettings()).Text()
                                 : RunExecSql(parsed, context, test::DefaultSettings());
  std::smatch found;
  if (!std::regex_search(answer, found, std::regex("<(RECORD1|EXECSQL)>\r\n <[^>]*>([^<]*)<")))
    return "no value in: " + answer;
  return found[2].str();
}

// What a request leaves in its attachment beyond its transaction (a context variable of the
// session, also one set after the request read the monitoring tables, whose snapshot then stays
// in the transaction, or by the database's trigger on commit; the rows of a temporary table that
// keeps them past the commit, also those an autonomous transaction committed; a role set) is not
// seen by the next request of the same key: it answers as on a new attachment. A request that
// leaves nothing of the kind still hands its attachment on.
TEST_F(PooledServices, NoSessionStateReachesTheNextRequest) {
  const std::string name = test::CreateDatabase(
      3,
      "CREATE GLOBAL TEMPORARY TABLE KEPT_ROWS (N INTEGER) ON COMMIT PRESERVE ROWS;\n"
      "CREATE ROLE READER;\nGRANT READER TO SYSDBA;\n"
      "SET TERM ^ ;\n"
      "CREATE TRIGGER AT_COMMIT ON TRANSACTION COMMIT AS DECLARE X INTEGER; BEGIN\n"
      "  IF (RDB$GET_CONTEXT('USER_TRANSACTION', 'MARK') IS NOT NULL) THEN\n"
      "    X = RDB$SET_CONTEXT('USER_SESSION', 'AFTER_COMMIT', 'set');\n"
      "END^\n"
      "SET TERM ; ^\nCOMMIT;\n");
  const std::string done = "Opera\xE7\xE3o efetuada com sucesso";
  const struct {
    const char* state;
    std::string service, sql, answer;  // the request that leaves it, and its answer
    std::string probe, fresh;          // a query that sees it, and its answer on a new attachment
  } cases[] = {
      {"a context variable of the session", "SERVICEOPENSQL",
       "select rdb$set_context('USER_SESSION', 'k', 'v') as s from rdb$database", "0",
       "select coalesce(rdb$get_context('USER_SESSION', 'k'), 'none') as v from rdb$database",
       "none"},
      {"rows of a temporary table kept past the commit", "SERVICEEXECSQL",
       "insert into kept_rows values (1)", done, "select count(*) as n from kept_rows", "0"},
      {"rows of a temporary table that an autonomous transaction committed", "SERVICEEXECSQL",
       "execute block as begin in autonomous transaction do insert into kept_rows values (42); end",
       done, "select count(*) as n from kept_rows", "0"},
      {"a context variable set by the trigger on commit", "SERVICEOPENSQL",
       "select rdb$set_context('USER_TRANSACTION', 'MARK', 'c') as s from rdb$database", "0",
       "select coalesce(rdb$get_context('USER_SESSION', 'AFTER_COMMIT'), 'none') as v "
       "from rdb$database",
       "none"},
      {"a context variable set after the request read the monitoring tables", "SERVICEOPENSQL",
       "execute block returns (s integer) as begin select count(*) from mon$attachments into s; "
       "s = rdb$set_context('USER_SESSION', 'late', 'v'); suspend; end",
       "0",
       "select coalesce(rdb$get_context('USER_SESSION', 'late'), 'none') as v from rdb$database",
       "none"},
      {"a role", "SERVICEEXECSQL", "set role reader", done,
       "select current_role as r from rdb$database", "NONE"},
  };
  ServicesPool().Configure(Limits(60, 300, 4));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.state);
    ASSERT_EQ(FirstValue("SERVICEOPENSQL", name, c.probe), c.fresh);
    ASSERT_EQ(FirstValue(c.service, name, c.sql), c.answer);
    EXPECT_EQ(FirstValue("SERVICEOPENSQL", name, c.probe), c.fresh);
  }
  const std::string first = ConnectionAndTransaction(name, "one");
  EXPECT_EQ(ConnectionOf(ConnectionAndTransaction(name, "one")), ConnectionOf(first));
}

// With [pool] check-session = off the operator accepts that session state carries over: the
// attachment is kept whatever its request left, and the next request of the key sees it.
TEST_F(PooledServices, WithoutTheCheckSessionStateCarriesOver) {
  GatewayConfig unchecked = test::EmbeddedScratchSettings();
  unchecked.pool_check_session = false;
  const GatewayContext context{unchecked, &ServicesPool()};
  const std::string name = test::CreateDemoDatabase();
  ServicesPool().Configure(Limits(60, 300, 4));
  const std::string probe =
      "select current_connection || ' ' || coalesce(rdb$get_context('USER_SESSION', 'k'), 'none') "
      "as v from rdb$database";
  const std::string before = FirstValue("SERVICEOPENSQL", name, probe, context);
  ASSERT_EQ(before.substr(before.find(' ')), " none") << before;
  ASSERT_EQ(FirstValue("SERVICEOPENSQL", name,
                       "select rdb$set_context('USER_SESSION', 'k', 'v') as s from rdb$database",
                       context),
            "0");
  EXPECT_EQ(FirstValue("SERVICEOPENSQL", name, probe, context),
            before.substr(0, before.find(' ')) + " v");
}

}  // namespace
}  // namespace xg
