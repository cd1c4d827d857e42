// A commit that fails is no success: a database trigger on transaction commit refuses the
// commit of any transaction that wrote a row with ID 13, and another runs endlessly for ID 14.
// Whatever the service (a query's rows already written, a statement that is not a query, a
// statement) the answer is the service's failure document with the engine's message or the time
// limit's, and nothing stays in the database. The CGI program on the embedded engine and through
// the server, and a FastCGI process with kept attachments, answer the same bytes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "db_test_support.h"
#include "support/child_process.h"
#include "support/fastcgi_peer.h"
#include "support/request_body.h"
#include "support/scoped_config.h"

namespace xg {
namespace {

const char kSchema[] =
    "CREATE TABLE R (ID INTEGER NOT NULL);\n"
    "CREATE EXCEPTION COMMIT_REFUSED 'commit refused';\n"
    "SET TERM ^;\n"
    "CREATE TRIGGER REFUSE_COMMIT ON TRANSACTION COMMIT AS\n"
    "BEGIN\n"
    "  IF (EXISTS(SELECT 1 FROM R WHERE ID = 13)) THEN EXCEPTION COMMIT_REFUSED;\n"
    "END^\n"
    "CREATE TRIGGER ENDLESS_COMMIT ON TRANSACTION COMMIT AS\n"
    "  DECLARE N BIGINT;\n"
    "BEGIN\n"
    "  IF (EXISTS(SELECT 1 FROM R WHERE ID = 14)) THEN\n"
    "    SELECT COUNT(*) FROM RDB$TYPES A, RDB$TYPES B, RDB$TYPES C, RDB$TYPES D INTO N;\n"
    "END^\n"
    "SET TERM ;^\n"
    "COMMIT;\n";

const char kDeclaration[] = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\r\n";
const char kNotDone[] = "Opera\xE7\xE3o n\xE3o efetuada: ";
const char kRefused[] =
    "exception 1\r\nCOMMIT_REFUSED\r\ncommit refused\r\nAt trigger 'REFUSE_COMMIT' line: 3, col: "
    "51";
const char kTimeLimit[] = "A consulta passou do limite de 1 segundos (max-query-seconds)";

std::string OpenFailure(const std::string& message) {
  return kDeclaration + std::string("<OPENSQL>\r\n <MSGDATA DATATYPE=\"STRING\">") + message +
         "</MSGDATA>\r\n</OPENSQL>\r\n";
}

std::string ExecFailure(const std::string& message) {
  return kDeclaration + std::string("<EXECSQL>\r\n <MSGDATA DATATYPE=\"STRING\">") + kNotDone +
         message + "</MSGDATA>\r\n</EXECSQL>\r\n";
}

struct Case {
  const char* service;
  std::string sql;
  std::string document;
};

std::vector<Case> Cases() {
  return {
      // The row is in the answer's spool when the commit fails: the rows go.
      {"SERVICEOPENSQL",
       "execute block returns (id integer) as begin insert into r (id) values (13); id = 13; "
       "suspend; end",
       OpenFailure(kRefused)},
      // A statement that is not a query is committed as ever, and its commit's failure is the
      // answer instead of "no result set".
      {"SERVICEOPENSQL", "insert into r (id) values (13)", OpenFailure(kRefused)},
      {"SERVICEEXECSQL", "insert into r (id) values (13)", ExecFailure(kRefused)},
      // The time limit covers what the commit's triggers do.
      {"SERVICEOPENSQL",
       "execute block returns (id integer) as begin insert into r (id) values (14); id = 14; "
       "suspend; end",
       OpenFailure(kTimeLimit)},
      {"SERVICEEXECSQL", "insert into r (id) values (14)", ExecFailure(kTimeLimit)},
  };
}

const char kLimits[] = "[limits]\nmax-query-seconds = 1\n";

TEST(FailedCommits, AreTheServicesFailureDocumentAndKeepNothing) {
  const std::string embedded = test::CreateDatabase(3, kSchema);
  const std::string cgi_config = test::WriteConfigFile(test::EmbeddedScratchConfig() + kLimits);
  test::FastCgiProcess fastcgi(
      XG_PROGRAM, test::FreshSocketPath(),
      {"PATH=/usr/bin:/bin",
       "XMLGATEWAY_CONF=" + test::WriteConfigFile(test::EmbeddedScratchConfig() + kLimits +
                                                  "[pool]\nattachments = on\n")});
  ASSERT_TRUE(fastcgi.WaitUntilListening());

  struct Road {
    const char* name;
    std::string db;
    std::string password;
  };
  std::vector<Road> roads = {{"embedded", embedded, "masterkey"}};
  if (test::ServerConfigured()) {
    const std::string served = test::CreateDatabase(3, kSchema);
    test::GiveToServer(served);
    roads.push_back({"server", test::ServerDatabaseName(served), test::Server().password});
  }

  for (const Road& road : roads) {
    for (const Case& c : Cases()) {
      SCOPED_TRACE(std::string(road.name) + " " + c.service + " " + c.sql);
      const std::string body =
          test::SqlServiceBody(c.service, road.db, "SYSDBA", road.password, c.sql);
      const test::ChildResult cgi =
          test::RunChild(XG_PROGRAM, test::CgiPostEnvironment(cgi_config, body), body);
      EXPECT_EQ(cgi.exit_code, 0);
      EXPECT_EQ(test::AnswerBody(cgi.out), c.document);

      // Twice on the FastCGI process: the second request runs on whatever the first left.
      for (int round = 0; round < 2; ++round) {
        const test::FcgiAnswer fast = test::AskOnNewConnection(fastcgi.address(), body);
        EXPECT_TRUE(fast.ended);
        EXPECT_EQ(fast.out, cgi.out);
      }
    }
    EXPECT_NE(test::RunIsql(road.db, "select 'ROWS=' || count(*) from r;\n").find("ROWS=0"),
              std::string::npos)
        << road.name;
  }
}

}  // namespace
}  // namespace xg
