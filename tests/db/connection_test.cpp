// Attach, dialect, transactions and the failures of the connection, against the embedded
// engine and (where a password must be checked) the server.
#include <gtest/gtest.h>

#include <chrono>

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

void Configure(TIBDatabase& database, const std::string& name, const std::string& user = "SYSDBA",
               const std::string& password = "") {
  database.SetLoginPrompt(false);
  database.SetDatabaseName(name);
  database.SetParams({"user_name=" + user, "password=" + password});
}

int CountRows(const std::string& databaseName, const std::string& table) {
  TIBDatabase database;
  Configure(database, databaseName);
  database.SetConnected(true);
  TIBTransaction transaction;
  transaction.SetDefaultDatabase(&database);
  TIBQuery query;
  query.SetDatabase(&database);
  query.SetTransaction(&transaction);
  query.SetSQL("select count(*) from " + table);
  query.Open();
  query.First();
  const int count = static_cast<int>(query.FieldValue(0).Payload());
  database.SetConnected(false);
  return count;
}

TEST(ClientLibrary, MissingLibraryGivesTheClientMessage) {
  const auto e = test::Raised<EIBClientError>([] {
    IBClientLibrary library({"libxg-no-such-client.so", "/nonexistent/libfbclient.so"});
  });
  ASSERT_TRUE(e);
  EXPECT_EQ(e->SQLCode(), 1);
  EXPECT_EQ(e->Message(),
            "Biblioteca gds32.dll do InterBase n\xE3o encontrada no caminho. Favor instalar "
            "InterBase para usar esta funcionalidade");
}

TEST(ClientLibrary, ExportedFunctionsUsedWhateverTheVersion) {
  const IBClientLibrary& client = IBClient();
  EXPECT_GE(client.ClientVersion(), 3.0);
  EXPECT_TRUE(client.isc_decode_sql_date.Available());
  EXPECT_TRUE(client.isc_decode_timestamp.Available());
  EXPECT_TRUE(client.isc_rollback_retaining.Available());
  EXPECT_TRUE(client.fb_interpret.Available());
}

TEST(ClientLibrary, AMissingFunctionFailsNamingIt) {
  IBFunction<int(int)> missing("isc_not_exported");
  const auto e = test::Raised<EIBClientError>([&] { missing(1); });
  ASSERT_TRUE(e);
  EXPECT_EQ(e->SQLCode(), 3);
  EXPECT_EQ(e->Message(),
            "isc_not_exported \xE9 uma fun\xE7\xE3o do InterBase 6. Favor atualizar InterBase 6 "
            "para usar esta funcionalidade");
}

TEST(Connection, ChecksBeforeTheServerIsCalled) {
  TIBDatabase database;
  database.SetLoginPrompt(false);
  auto e = test::Raised<EIBClientError>([&] { database.SetConnected(true); });
  ASSERT_TRUE(e);
  EXPECT_EQ(e->Message(), "Faltando nome do Banco de Dados");
  EXPECT_EQ(e->SQLCode(), 17);

  Configure(database, "/tmp/xg-no-such-dir/none.fdb", "SYSDBA", std::string(300, 'p'));
  e = test::Raised<EIBClientError>([&] { database.SetConnected(true); });
  ASSERT_TRUE(e);
  EXPECT_EQ(e->SQLCode(), 122);
  EXPECT_FALSE(database.Connected());
}

TEST(Connection, AttachReadsTheDialectAndDisconnectResetsIt) {
  const std::string demo = CreateDemoDatabase();
  const std::string dialect1 = CreateDatabase(1, "");
  TIBDatabase database;
  Configure(database, demo);
  database.SetConnected(true);
  EXPECT_TRUE(database.Connected());
  EXPECT_EQ(database.DBSQLDialect(), 3);
  EXPECT_EQ(database.SQLDialect(), 3);
  auto e = test::Raised<EIBClientError>([&] { database.SetDatabaseName("other"); });
  ASSERT_TRUE(e);
  EXPECT_EQ(e->Message(),
            "N\xE3o \xE9 poss\xEDvel executar opera\xE7\xE3o -- DB est\xE1 atualmente aberto");
  database.SetConnected(false);
  EXPECT_EQ(database.DBSQLDialect(), 1);

  TIBDatabase old;
  Configure(old, dialect1);
  old.SetConnected(true);
  EXPECT_EQ(old.DBSQLDialect(), 1);
  EXPECT_EQ(old.SQLDialect(), 1);
}

TEST(Transaction, StateChecks) {
  const std::string demo = CreateDemoDatabase();
  TIBTransaction lonely;
  auto e = test::Raised<EIBClientError>([&] { lonely.StartTransaction(); });
  ASSERT_TRUE(e);
  EXPECT_EQ(e->Message(), "Nenhum banco de dados est\xE1 listado no componente da transa\xE7\xE3o");

  TIBDatabase database;
  Configure(database, demo);
  TIBTransaction transaction;
  transaction.SetDefaultDatabase(&database);
  e = test::Raised<EIBClientError>([&] { transaction.StartTransaction(); });
  ASSERT_TRUE(e);
  EXPECT_EQ(e->Message(),
            "N\xE3o \xE9 poss\xEDvel executar opera\xE7\xE3o -- DB n\xE3o est\xE1 aberto");

  database.SetConnected(true);
  e = test::Raised<EIBClientError>([&] { transaction.Commit(); });
  ASSERT_TRUE(e);
  EXPECT_EQ(e->Message(), "Transa\xE7\xE3o n\xE3o est\xE1 ativa");
  transaction.SetActive(false);  // nothing to do
  transaction.SetActive(true);
  EXPECT_TRUE(transaction.Active());
  e = test::Raised<EIBClientError>([&] { transaction.StartTransaction(); });
  ASSERT_TRUE(e);
  EXPECT_EQ(e->Message(), "Transa\xE7\xE3o est\xE1 ativa");
  transaction.Commit();
  EXPECT_FALSE(transaction.Active());
}

TEST(Transaction, DisconnectEndsActiveTransactionsByTheirDefaultAction) {
  const std::string demo = CreateDemoDatabase();
  for (TTransactionAction action : {TACommit, TARollback}) {
    TIBDatabase database;
    Configure(database, demo);
    database.SetConnected(true);
    TIBTransaction transaction;
    transaction.SetDefaultDatabase(&database);
    transaction.SetDefaultAction(action);
    TIBQuery query;
    query.SetDatabase(&database);
    query.SetTransaction(&transaction);
    query.SetSQL("insert into products (code, name) values (" + std::to_string(100 + action) +
                 ", 'x')");
    transaction.StartTransaction();
    query.ExecSQL();
    database.SetConnected(false);
    EXPECT_FALSE(transaction.Active());
  }
  EXPECT_EQ(CountRows(demo, "products where code = 101"), 1);  // committed
  EXPECT_EQ(CountRows(demo, "products where code = 100"), 0);  // rolled back
}

TEST(Transaction, DestroyedObjectsLeaveNothingOpen) {
  const std::string demo = CreateDemoDatabase();
  {
    TIBDatabase database;
    Configure(database, demo);
    database.SetConnected(true);
    auto transaction = std::make_unique<TIBTransaction>();
    transaction->SetDefaultDatabase(&database);
    TIBQuery query;
    query.SetDatabase(&database);
    query.SetTransaction(transaction.get());
    query.SetSQL("insert into products (code, name) values (200, 'y')");
    query.ExecSQL();  // starts the transaction itself
    EXPECT_TRUE(transaction->Active());
    transaction.reset();  // an active transaction is rolled back when destroyed
    query.SetSQL("select * from products");
    EXPECT_THROW(query.Open(), EIBClientError);  // no transaction any more
  }
  EXPECT_EQ(CountRows(demo, "products where code = 200"), 0);
}

TEST(ServerErrors, MissingDatabaseFile) {
  TIBDatabase database;
  Configure(database, test::ScratchDirectory() + "/missing.fdb");
  const auto e = test::Raised<EIBInterBaseError>([&] { database.SetConnected(true); });
  ASSERT_TRUE(e);
  EXPECT_FALSE(database.Connected());
  EXPECT_NE(e->Message().find("missing.fdb"), std::string::npos) << e->Message();
  EXPECT_NE(e->Message().find("\r\n"), std::string::npos) << "one line per status entry";
  EXPECT_NE(e->Message().back(), '.');
  EXPECT_EQ(e->SQLCode(), -902);
  EXPECT_EQ(e->IBErrorCode(), 335544344);
}

TEST(ServerErrors, NoPermissionIsARoleError) {
  const std::string demo = CreateDemoDatabase();
  TIBDatabase database;
  // The embedded engine takes the user name as given: this user owns nothing and has no grant.
  Configure(database, demo, "XG_NOBODY");
  database.SetConnected(true);
  TIBTransaction transaction;
  transaction.SetDefaultDatabase(&database);
  TIBQuery query;
  query.SetDatabase(&database);
  query.SetTransaction(&transaction);
  query.SetSQL("select * from products");
  const auto e = test::Raised<EIBInterBaseRoleError>([&] { query.Open(); });
  ASSERT_TRUE(e);
  EXPECT_EQ(e->SQLCode(), -551);
  EXPECT_NE(e->Message().find("PRODUCTS"), std::string::npos) << e->Message();
}

TEST(ServerErrors, WrongPasswordThroughTheServer) {
  const auto server = test::Server();
  ASSERT_FALSE(server.host.empty());
  const std::string demo = CreateDemoDatabase();
  test::GiveToServer(demo);
  TIBDatabase database;
  Configure(database, test::ServerDatabaseName(demo), server.user, server.password + "x");
  const auto e = test::Raised<EIBInterBaseError>([&] { database.SetConnected(true); });
  ASSERT_TRUE(e);
  EXPECT_NE(e->Message().find("password"), std::string::npos) << e->Message();
  EXPECT_FALSE(database.Connected());

  Configure(database, test::ServerDatabaseName(demo), server.user, server.password);
  database.SetConnected(true);
  EXPECT_EQ(database.DBSQLDialect(), 3);
}

TEST(ServerErrors, HostThatDoesNotAnswer) {
  TIBDatabase database;
  Configure(database, "127.0.0.1/3999:/tmp/none.fdb", "SYSDBA", "x");
  const auto started = std::chrono::steady_clock::now();
  const auto e = test::Raised<EIBInterBaseError>([&] { database.SetConnected(true); });
  ASSERT_TRUE(e);
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(30));
  EXPECT_NE(e->Message().find("Unable to complete network request"), std::string::npos)
      << e->Message();
}

}  // namespace
}  // namespace xg
