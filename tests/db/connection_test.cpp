// Attach, dialect, transactions and the failures of the connection, against the embedded
// engine and (where a password must be checked) the server.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "db/ib_client_library.h"
#include "db/ib_database.h"
#include "db/ib_error.h"
#include "db/ib_query.h"
#include "db/ib_transaction.h"
#include "db_test_support.h"
#include "support/failures.h"

namespace xg {
namespace {

using test::CreateDatabase;
using test::CreateDemoDatabase;

void Configure(IbDatabase& database, const std::string& name, const std::string& user = "SYSDBA",
               const std::string& password = "") {
  database.SetDatabaseName(name);
  database.SetAttachParams(
      {.user = user, .password = password, .charset = "", .connection_config = ""});
}

int CountRows(const std::string& database_name, const std::string& table) {
  IbDatabase database;
  Configure(database, database_name);
  database.Connect();
  IbTransaction transaction(database);
  IbQuery query(transaction);
  query.SetSql("select count(*) from " + table);
  query.Open();
  query.First();
  const int count = static_cast<int>(query.FieldValue(0).Payload());
  database.Disconnect();
  return count;
}

TEST(ClientLibrary, MissingLibraryGivesTheClientMessage) {
  const auto e = test::Raised<EIBClientError>([] {
    IbClientLibrary library({"libxg-no-such-client.so", "/nonexistent/libfbclient.so"});
  });
  ASSERT_TRUE(e);
  EXPECT_EQ(e->SqlCode(), 1);
  EXPECT_EQ(e->Message(),
            "Biblioteca gds32.dll do InterBase n\xE3o encontrada no caminho. Favor instalar "
            "InterBase para usar esta funcionalidade");
}

TEST(ClientLibrary, ExportedFunctionsUsedWhateverTheVersion) {
  const IbClientLibrary& client = IbClient();
  EXPECT_TRUE(client.isc_decode_sql_date.Available());
  EXPECT_TRUE(client.isc_decode_timestamp.Available());
  EXPECT_TRUE(client.fb_interpret.Available());
}

TEST(ClientLibrary, AMissingFunctionFailsNamingIt) {
  IbFunction<int(int)> missing("isc_not_exported");
  const auto e = test::Raised<EIBClientError>([&] { missing(1); });
  ASSERT_TRUE(e);
  EXPECT_EQ(e->SqlCode(), 3);
  EXPECT_EQ(e->Message(),
            "isc_not_exported \xE9 uma fun\xE7\xE3o do InterBase 6. Favor atualizar InterBase 6 "
            "para usar esta funcionalidade");
}

TEST(Connection, ChecksBeforeTheServerIsCalled) {
  IbDatabase unnamed;
  auto e = test::Raised<EIBClientError>([&] { unnamed.Connect(); });
  ASSERT_TRUE(e);
  EXPECT_EQ(e->Message(), "Faltando nome do Banco de Dados");
  EXPECT_EQ(e->SqlCode(), 17);

  IbDatabase database;
  Configure(database, "/tmp/xg-no-such-dir/none.fdb", "SYSDBA", std::string(300, 'p'));
  e = test::Raised<EIBClientError>([&] { database.Connect(); });
  ASSERT_TRUE(e);
  EXPECT_EQ(e->SqlCode(), 122);
  EXPECT_FALSE(database.Connected());
}

TEST(Connection, AttachReadsTheDialectAndDisconnectResetsIt) {
  const std::string demo = CreateDemoDatabase();
  const std::string dialect1 = CreateDatabase(1, "");
  IbDatabase database;
  Configure(database, demo);
  database.Connect();
  EXPECT_TRUE(database.Connected());
  EXPECT_EQ(database.DbSqlDialect(), 3);
  EXPECT_EQ(database.SqlDialect(), 3);
  auto e = test::Raised<EIBClientError>([&] { database.SetDatabaseName("other"); });
  ASSERT_TRUE(e);
  EXPECT_EQ(e->Message(),
            "N\xE3o \xE9 poss\xEDvel executar opera\xE7\xE3o -- DB est\xE1 atualmente aberto");
  database.Disconnect();
  EXPECT_EQ(database.DbSqlDialect(), 1);

  IbDatabase old;
  Configure(old, dialect1);
  old.Connect();
  EXPECT_EQ(old.DbSqlDialect(), 1);
  EXPECT_EQ(old.SqlDialect(), 1);
}

TEST(Transaction, StateChecks) {
  const std::string demo = CreateDemoDatabase();
  IbDatabase database;
  Configure(database, demo);
  IbTransaction transaction(database);
  auto e = test::Raised<EIBClientError>([&] { transaction.StartTransaction(); });
  ASSERT_TRUE(e);
  EXPECT_EQ(e->Message(),
            "N\xE3o \xE9 poss\xEDvel executar opera\xE7\xE3o -- DB n\xE3o est\xE1 aberto");

  database.Connect();
  e = test::Raised<EIBClientError>([&] { transaction.Commit(); });
  ASSERT_TRUE(e);
  EXPECT_EQ(e->Message(), "Transa\xE7\xE3o n\xE3o est\xE1 ativa");
  transaction.StartTransaction();
  EXPECT_TRUE(transaction.Active());
  e = test::Raised<EIBClientError>([&] { transaction.StartTransaction(); });
  ASSERT_TRUE(e);
  EXPECT_EQ(e->Message(), "Transa\xE7\xE3o est\xE1 ativa");
  transaction.Commit();
  EXPECT_FALSE(transaction.Active());
}

TEST(Transaction, OneAtATimeIsMadeOnADatabase) {
  IbDatabase database;
  {
    IbTransaction first(database);
    EXPECT_THROW(IbTransaction second(database), std::logic_error);
  }
  IbTransaction after(database);  // the first one is gone
  EXPECT_FALSE(after.Active());
}

TEST(Errors, CleanUpRunsAndTheFirstFailureLeaves) {
  std::vector<std::string> ran;
  const auto e = test::Raised<EIBClientError>([&] {
    CleanUpOnFailure([&] { ThrowClientError(ClientError::kNotInTransaction); },
                     [&] {
                       ran.push_back("clean-up");
                       throw std::runtime_error("dropped");
                     });
  });
  ASSERT_TRUE(e);
  EXPECT_EQ(e->SqlCode(), 18);
  EXPECT_EQ(ran, std::vector<std::string>{"clean-up"});
  CleanUpOnFailure([&] { ran.push_back("body"); }, [&] { ran.push_back("not run"); });
  EXPECT_EQ(ran, (std::vector<std::string>{"clean-up", "body"}));
}

TEST(Transaction, DisconnectRollsBackWhatWasNotCommittedExplicitly) {
  const std::string demo = CreateDemoDatabase();
  for (const bool commit : {true, false}) {
    IbDatabase database;
    Configure(database, demo);
    database.Connect();
    IbTransaction transaction(database);
    IbQuery query(transaction);
    query.SetSql("insert into products (code, name) values (" + std::to_string(100 + commit) +
                 ", 'x')");
    transaction.StartTransaction();
    query.ExecSql();
    if (commit) {
      transaction.Commit();
      transaction.StartTransaction();
    }
    database.Disconnect();
    EXPECT_FALSE(transaction.Active());
  }
  EXPECT_EQ(CountRows(demo, "products where code = 101"), 1);  // committed
  EXPECT_EQ(CountRows(demo, "products where code = 100"), 0);  // rolled back
}

TEST(Transaction, DestroyedObjectsLeaveNothingOpen) {
  const std::string demo = CreateDemoDatabase();
  {
    IbDatabase database;
    Configure(database, demo);
    database.Connect();
    {
      IbTransaction transaction(database);
      IbQuery query(transaction);
      query.SetSql("insert into products (code, name) values (200, 'y')");
      query.ExecSql();  // starts the transaction itself
      EXPECT_TRUE(transaction.Active());
    }  // an active transaction is rolled back when destroyed
    IbTransaction next(database);
    IbQuery query(next);
    query.SetSql("select count(*) from products where code = 200");
    query.Open();
    query.First();
    EXPECT_EQ(query.FieldValue(0).Payload(), 0u);
  }  // and a database still connected closes by force
  EXPECT_EQ(CountRows(demo, "products where code = 200"), 0);
}

TEST(ServerErrors, MissingDatabaseFile) {
  IbDatabase database;
  Configure(database, test::ScratchDirectory() + "/missing.fdb");
  const auto e = test::Raised<EIBInterBaseError>([&] { database.Connect(); });
  ASSERT_TRUE(e);
  EXPECT_FALSE(database.Connected());
  EXPECT_NE(e->Message().find("missing.fdb"), std::string::npos) << e->Message();
  EXPECT_NE(e->Message().find("\r\n"), std::string::npos) << "one line per status entry";
  EXPECT_NE(e->Message().back(), '.');
  EXPECT_EQ(e->SqlCode(), -902);
  EXPECT_EQ(e->IbErrorCode(), 335544344);
}

TEST(ServerErrors, NoPermissionIsARoleError) {
  const std::string demo = CreateDemoDatabase();
  IbDatabase database;
  // The embedded engine takes the user name as given: this user owns nothing and has no grant.
  Configure(database, demo, "XG_NOBODY");
  database.Connect();
  IbTransaction transaction(database);
  IbQuery query(transaction);
  query.SetSql("select * from products");
  const auto e = test::Raised<EIBInterBaseRoleError>([&] { query.Open(); });
  ASSERT_TRUE(e);
  EXPECT_EQ(e->SqlCode(), -551);
  EXPECT_NE(e->Message().find("PRODUCTS"), std::string::npos) << e->Message();
}

TEST(ServerErrors, WrongPasswordThroughTheServer) {
  const auto server = test::Server();
  ASSERT_FALSE(server.host.empty());
  const std::string demo = CreateDemoDatabase();
  test::GiveToServer(demo);
  IbDatabase database;
  Configure(database, test::ServerDatabaseName(demo), server.user, server.password + "x");
  const auto e = test::Raised<EIBInterBaseError>([&] { database.Connect(); });
  ASSERT_TRUE(e);
  EXPECT_NE(e->Message().find("password"), std::string::npos) << e->Message();
  EXPECT_FALSE(database.Connected());

  IbDatabase right;
  Configure(right, test::ServerDatabaseName(demo), server.user, server.password);
  right.Connect();
  EXPECT_EQ(right.DbSqlDialect(), 3);
}

TEST(ServerErrors, HostThatDoesNotAnswer) {
  IbDatabase database;
  Configure(database, "127.0.0.1/3999:/tmp/none.fdb", "SYSDBA", "x");
  // A refused connection fails the attach with the client library's network text (a hang
  // instead would be stopped by the test run's time-out).
  const auto e = test::Raised<EIBInterBaseError>([&] { database.Connect(); });
  ASSERT_TRUE(e);
  EXPECT_NE(e->Message().find("Unable to complete network request"), std::string::npos)
      << e->Message();
}

}  // namespace
}  // namespace xg
