// The two SQL services called in-process with request documents, against the embedded engine
// and the server: whole answer documents for every column type, failure documents, commits and
// rollbacks, failures of the set-up, and no attachment left behind.
#include "gateway/sql_services.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <map>
#include <new>
#include <optional>

#include "config/gateway_config.h"
#include "db/ib_database.h"
#include "db/ib_error.h"
#include "db/ib_query.h"
#include "db/ib_transaction.h"
#include "db_test_support.h"
#include "gateway/sql_service_session.h"
#include "service_inputs.h"
#include "support/failures.h"
#include "support/request_body.h"
#include "support/test_hosts.h"
#include "values/regional_settings.h"
#include "values/variant.h"

namespace xg {
namespace {

// Brazilian texts: decimal comma, day/month/year, 24-hour clock.
const RegionalSettings& Brazilian() {
  static const RegionalSettings settings = test::BrazilianSettings();
  return settings;
}

class SqlServices : public ::testing::Test {};

struct Request {
  Request(std::string db_, std::string sql_, std::string user_ = "SYSDBA",
          std::string password_ = "masterkey")
      : db(std::move(db_)),
        sql(std::move(sql_)),
        user(std::move(user_)),
        password(std::move(password_)) {}

  std::string db;
  std::string sql;
  std::string user;
  std::string password;
  std::optional<std::string> raw_pass;  // as written into PASS, not encoded
  std::optional<std::string> raw_sql;

  std::string Text(const std::string& service) const {
    return "<?xml version=\"1.0\"?><SENDDATA><SERVICE>" + service + "</SERVICE><DB>" + db +
           "</DB><USER>" + user + "</USER><PASS>" +
           raw_pass.value_or(test::Base64Encode(password)) + "</PASS><SQL>" +
           raw_sql.value_or(test::Base64Encode(sql)) + "</SQL></SENDDATA>";
  }
};

std::string Open(const Request& request) {
  return RunOpenSql(test::ParsedRequest(request.Text("SERVICEOPENSQL")), test::ScratchContext(),
                    Brazilian())
      .Text();
}
std::string Exec(const Request& request) {
  return RunExecSql(test::ParsedRequest(request.Text("SERVICEEXECSQL")), test::ScratchContext(),
                    Brazilian());
}

std::vector<std::string> Lines(const std::string& document) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < document.size()) {
    const size_t end = document.find("\r\n", start);
    if (end == std::string::npos) {
      lines.push_back(document.substr(start) + "(no CR LF)");
      break;
    }
    lines.push_back(document.substr(start, end - start));
    start = end + 2;
  }
  return lines;
}

const std::string kDeclaration = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>";

std::string OpenFailure(const std::string& message) {
  return kDeclaration + "\r\n<OPENSQL>\r\n <MSGDATA DATATYPE=\"STRING\">" + message +
         "</MSGDATA>\r\n</OPENSQL>\r\n";
}

std::string ExecAnswer(const std::string& message) {
  return kDeclaration + "\r\n<EXECSQL>\r\n <MSGDATA DATATYPE=\"STRING\">" + message +
         "</MSGDATA>\r\n</EXECSQL>\r\n";
}

const std::string kDone = "Opera\xE7\xE3o efetuada com sucesso";
const std::string kNotDone = "Opera\xE7\xE3o n\xE3o efetuada: ";

// A failure that is no Exception of the gateway's own (memory that ran out in the library, say)
// leaves a service through its session's destructor after the statement ran: the client is told
// of a failure, so the statement's work must not stay.
TEST_F(SqlServices, AFailureLeavingThroughTheSessionLeavesTheStatementUncommitted) {
  const std::string db = test::CreateDemoDatabase();
  const RequestParams request = test::ParsedRequest(
      Request(db, "insert into products (code, name) values (901, 'x')").Text("SERVICEEXECSQL"));
  EXPECT_THROW(
      {
        SqlServiceSession session(request, test::ScratchContext());
        session.Connect();
        session.LoadStatement();
        session.Query().ExecSql();
        throw std::bad_alloc();
      },
      std::bad_alloc);
  EXPECT_EQ(Open(Request(db, "select count(*) as n from products where code = 901")),
            kDeclaration +
                "\r\n<OPENSQL RECORDCOUNT=\"1\">\r\n<RECORD1>\r\n <N DATATYPE=\"INTEGER\" "
                "DATASIZE=\"8\">0</N>\r\n</RECORD1>\r\n</OPENSQL>\r\n");
}

TEST_F(SqlServices, EveryColumnTypeInDialect3) {
  const Request request{test::CreateDemoDatabase(), "select * from column_types order by id"};
  const std::vector<std::string> expected = {
      kDeclaration,
      "<OPENSQL RECORDCOUNT=\"3\">",
      "<RECORD1>",
      " <ID DATATYPE=\"INTEGER\" DATASIZE=\"4\">1</ID>",
      " <C_CHAR DATATYPE=\"STRING\" DATASIZE=\"10\">abc       </C_CHAR>",
      " <C_VARCHAR DATATYPE=\"STRING\" DATASIZE=\"40\">Ana</C_VARCHAR>",
      " <C_SMALLINT DATATYPE=\"INTEGER\" DATASIZE=\"2\">12</C_SMALLINT>",
      " <C_INTEGER DATATYPE=\"INTEGER\" DATASIZE=\"4\">123456</C_INTEGER>",
      " <C_BIGINT DATATYPE=\"INTEGER\" DATASIZE=\"8\">2147483647</C_BIGINT>",
      " <C_NUM4_2 DATATYPE=\"STRING\" DATASIZE=\"8\">12,34</C_NUM4_2>",
      " <C_NUM9_2 DATATYPE=\"STRING\" DATASIZE=\"8\">12,5</C_NUM9_2>",
      " <C_NUM18_4 DATATYPE=\"STRING\" DATASIZE=\"8\">1234,5678</C_NUM18_4>",
      " <C_NUM18_6 DATATYPE=\"STRING\" DATASIZE=\"34\">1234,500001</C_NUM18_6>",
      " <C_FLOAT DATATYPE=\"FLOAT\" DATASIZE=\"8\">2,5</C_FLOAT>",
      " <C_DOUBLE DATATYPE=\"FLOAT\" DATASIZE=\"8\">3,14159265358979</C_DOUBLE>",
      " <C_DATE DATATYPE=\"DATE\" DATASIZE=\"4\">29/02/2024</C_DATE>",
      " <C_TIME DATATYPE=\"TIME\" DATASIZE=\"4\">10:20:30</C_TIME>",
      " <C_TIMESTAMP DATATYPE=\"DATETIME\" DATASIZE=\"8\">29/02/2024 10:20:30</C_TIMESTAMP>",
      " <C_TEXT DATATYPE=\"STRING\">Text with &amp; and &lt; inside</C_TEXT>",
      " <C_BINARY DATATYPE=\"STRING\">?\xFF"
      "A</C_BINARY>",
      " <C_BOOLEAN DATATYPE=\"BOOLEAN\" DATASIZE=\"2\">True</C_BOOLEAN>",
      "</RECORD1>",
      "<RECORD2>",
      " <ID DATATYPE=\"INTEGER\" DATASIZE=\"4\">2</ID>",
      " <C_CHAR DATATYPE=\"STRING\" DATASIZE=\"10\">x &amp; y     </C_CHAR>",
      " <C_VARCHAR DATATYPE=\"STRING\" DATASIZE=\"40\">Bia &amp; Caio &lt;3&gt;</C_VARCHAR>",
      " <C_SMALLINT DATATYPE=\"INTEGER\" DATASIZE=\"2\">-7</C_SMALLINT>",
      " <C_INTEGER DATATYPE=\"INTEGER\" DATASIZE=\"4\">-2147483648</C_INTEGER>",
      " <C_BIGINT DATATYPE=\"INTEGER\" DATASIZE=\"8\">-5</C_BIGINT>",
      " <C_NUM4_2 DATATYPE=\"STRING\" DATASIZE=\"8\">-0,01</C_NUM4_2>",
      " <C_NUM9_2 DATATYPE=\"STRING\" DATASIZE=\"8\">-1234567,89</C_NUM9_2>",
      " <C_NUM18_4 DATATYPE=\"STRING\" DATASIZE=\"8\">-0,0001</C_NUM18_4>",
      " <C_NUM18_6 DATATYPE=\"STRING\" DATASIZE=\"34\">-0,000001</C_NUM18_6>",
      " <C_FLOAT DATATYPE=\"FLOAT\" DATASIZE=\"8\">-0,125</C_FLOAT>",
      " <C_DOUBLE DATATYPE=\"FLOAT\" DATASIZE=\"8\">1E300</C_DOUBLE>",
      " <C_DATE DATATYPE=\"DATE\" DATASIZE=\"4\">15/06/1850</C_DATE>",
      " <C_TIME DATATYPE=\"TIME\" DATASIZE=\"4\">00:00:00</C_TIME>",
      " <C_TIMESTAMP DATATYPE=\"DATETIME\" DATASIZE=\"8\">15/06/1850 12:00:00</C_TIMESTAMP>",
      " <C_TEXT DATATYPE=\"STRING\"></C_TEXT>",
      " <C_BINARY DATATYPE=\"STRING\"></C_BINARY>",
      " <C_BOOLEAN DATATYPE=\"BOOLEAN\" DATASIZE=\"2\">False</C_BOOLEAN>",
      "</RECORD2>",
      "<RECORD3>",
      " <ID DATATYPE=\"INTEGER\" DATASIZE=\"4\">3</ID>",
      " <C_CHAR DATATYPE=\"STRING\" DATASIZE=\"10\"></C_CHAR>",
      " <C_VARCHAR DATATYPE=\"STRING\" DATASIZE=\"40\"></C_VARCHAR>",
      " <C_SMALLINT DATATYPE=\"INTEGER\" DATASIZE=\"2\">0</C_SMALLINT>",
      " <C_INTEGER DATATYPE=\"INTEGER\" DATASIZE=\"4\">0</C_INTEGER>",
      " <C_BIGINT DATATYPE=\"INTEGER\" DATASIZE=\"8\">0</C_BIGINT>",
      " <C_NUM4_2 DATATYPE=\"STRING\" DATASIZE=\"8\"></C_NUM4_2>",
      " <C_NUM9_2 DATATYPE=\"STRING\" DATASIZE=\"8\"></C_NUM9_2>",
      " <C_NUM18_4 DATATYPE=\"STRING\" DATASIZE=\"8\"></C_NUM18_4>",
      " <C_NUM18_6 DATATYPE=\"STRING\" DATASIZE=\"34\"></C_NUM18_6>",
      " <C_FLOAT DATATYPE=\"FLOAT\" DATASIZE=\"8\">0</C_FLOAT>",
      " <C_DOUBLE DATATYPE=\"FLOAT\" DATASIZE=\"8\">0</C_DOUBLE>",
      " <C_DATE DATATYPE=\"DATE\" DATASIZE=\"4\"></C_DATE>",
      " <C_TIME DATATYPE=\"TIME\" DATASIZE=\"4\"></C_TIME>",
      " <C_TIMESTAMP DATATYPE=\"DATETIME\" DATASIZE=\"8\"></C_TIMESTAMP>",
      " <C_TEXT DATATYPE=\"STRING\"></C_TEXT>",
      " <C_BINARY DATATYPE=\"STRING\"></C_BINARY>",
      " <C_BOOLEAN DATATYPE=\"BOOLEAN\" DATASIZE=\"2\">False</C_BOOLEAN>",
      "</RECORD3>",
      "</OPENSQL>",
  };
  EXPECT_EQ(Lines(Open(request)), expected);
}

TEST_F(SqlServices, ScaledColumnsAndDatesInADialect1Database) {
  const Request request{
      test::CreateDatabase(1,
                           "CREATE TABLE T (N4_2 NUMERIC(4,2), N9_2 NUMERIC(9,2), N9_6 "
                           "NUMERIC(9,6), N18_4 NUMERIC(18,4), N18_6 NUMERIC(18,6), D DATE);\n"
                           "INSERT INTO T VALUES (12.34, -12.5, 1.234567, 1234.5678, 1234.500001, "
                           "'2024-02-29 10:20:30');\nCOMMIT;\n"),
      "select * from t"};
  const std::vector<std::string> expected = {
      kDeclaration,
      "<OPENSQL RECORDCOUNT=\"1\">",
      "<RECORD1>",
      " <N4_2 DATATYPE=\"STRING\" DATASIZE=\"8\">12,34</N4_2>",
      " <N9_2 DATATYPE=\"STRING\" DATASIZE=\"8\">-12,5</N9_2>",
      " <N9_6 DATATYPE=\"FLOAT\" DATASIZE=\"8\">1,234567</N9_6>",
      " <N18_4 DATATYPE=\"FLOAT\" DATASIZE=\"8\">1234,5678</N18_4>",
      " <N18_6 DATATYPE=\"FLOAT\" DATASIZE=\"8\">1234,500001</N18_6>",
      " <D DATATYPE=\"DATETIME\" DATASIZE=\"8\">29/02/2024 10:20:30</D>",
      "</RECORD1>",
      "</OPENSQL>",
  };
  EXPECT_EQ(Lines(Open(request)), expected);
}

TEST_F(SqlServices, NoRowsGiveTheRecord0Block) {
  const Request request{test::CreateDemoDatabase(),
                        "select code as codigo, name, price from products where code < 0"};
  EXPECT_EQ(Open(request), kDeclaration +
                               "\r\n<OPENSQL RECORDCOUNT=\"0\">\r\n<RECORD0>\r\n"
                               " <CODIGO DATATYPE=\"INTEGER\" DATASIZE=\"4\">0</CODIGO>\r\n"
                               " <NAME DATATYPE=\"STRING\" DATASIZE=\"40\"></NAME>\r\n"
                               " <PRICE DATATYPE=\"STRING\" DATASIZE=\"8\"></PRICE>\r\n"
                               "</RECORD0>\r\n</OPENSQL>\r\n");
}

TEST_F(SqlServices, DuplicateAndUnnamedColumns) {
  const Request request{test::CreateDemoDatabase(),
                        "select p.code as id, t.id, 1+1, 1+1 from products p join column_types "
                        "t on t.id = p.code order by 1"};
  const std::vector<std::string> lines = Lines(Open(request));
  ASSERT_EQ(lines.size(), 2u + 3 * 6 + 1);
  EXPECT_EQ(lines[1], "<OPENSQL RECORDCOUNT=\"3\">");
  EXPECT_EQ(lines[14], "<RECORD3>");
  EXPECT_EQ(lines[15], " <ID DATATYPE=\"INTEGER\" DATASIZE=\"4\">3</ID>");
  EXPECT_EQ(lines[16], " <ID1 DATATYPE=\"INTEGER\" DATASIZE=\"4\">3</ID1>");
  // In dialect 3 the sum of two integers is a BIGINT.
  EXPECT_EQ(lines[17], " <ADD DATATYPE=\"INTEGER\" DATASIZE=\"8\">2</ADD>");
  EXPECT_EQ(lines[18], " <ADD1 DATATYPE=\"INTEGER\" DATASIZE=\"8\">2</ADD1>");
  EXPECT_EQ(lines[19], "</RECORD3>");
}

TEST_F(SqlServices, OpenFailuresBecomeTheFailureDocument) {
  Request request{test::CreateDemoDatabase(), ""};
  EXPECT_EQ(Open(request), OpenFailure("Indica\xE7\xE3o do SQL vazia"));
  request.sql = "   \r\n ";
  EXPECT_EQ(Open(request), OpenFailure("Indica\xE7\xE3o do SQL vazia"));

  // The server's lines, joined with CR LF inside the one MSGDATA element.
  request.sql = "selec * from products";
  EXPECT_EQ(Open(request), OpenFailure("Dynamic SQL Error\r\nSQL error code = -104\r\n"
                                       "Token unknown - line 1, column 1\r\nselec"));

  // A BIGINT beyond 32 bits does not pass the integer conversion of its INTEGER text.
  request.sql = "select cast(2147483648 as bigint) as big from rdb$database";
  EXPECT_EQ(Open(request),
            OpenFailure("Overflow while converting variant of type (Int64) into type (Integer)"));
}

TEST_F(SqlServices, UpdateSentAsOpenSQLFailsButIsCommitted) {
  Request request{test::CreateDemoDatabase(), "update products set note = 'changed'"};
  EXPECT_EQ(Open(request),
            OpenFailure("A instru\xE7\xE3o n\xE3o devolveu um conjunto de registros"));
  request.sql = "select count(*) as changed from products where note = 'changed'";
  EXPECT_EQ(Lines(Open(request))[3], " <CHANGED DATATYPE=\"INTEGER\" DATASIZE=\"8\">3</CHANGED>");
}

TEST_F(SqlServices, ExecSQLCommitsOrRollsBack) {
  Request request{test::CreateDemoDatabase(),
                  "insert into products (code, name, price) values (10, 'Milk', 3.5)"};
  EXPECT_EQ(Exec(request), ExecAnswer(kDone));

  const std::string again = Exec(request);
  EXPECT_EQ(again.rfind(kDeclaration + "\r\n<EXECSQL>\r\n <MSGDATA DATATYPE=\"STRING\">" +
                            kNotDone + "violation of PRIMARY or UNIQUE KEY constraint",
                        0),
            0u)
      << again;
  EXPECT_NE(again.find("\r\nProblematic key value is (\"CODE\" = 10)</MSGDATA>\r\n</EXECSQL>"),
            std::string::npos)
      << again;

  request.sql = "select count(*) as n from products where code = 10";
  EXPECT_EQ(Lines(Open(request))[3], " <N DATATYPE=\"INTEGER\" DATASIZE=\"8\">1</N>");

  EXPECT_EQ(Exec(request), ExecAnswer(kNotDone + "use Open para uma Select Statement"));
  request.sql = "";
  EXPECT_EQ(Exec(request), ExecAnswer(kNotDone + "Indica\xE7\xE3o do SQL vazia"));

  // A server message quoting "&" is escaped like every value.
  request.sql = "update products set name = & 1";
  EXPECT_NE(Exec(request).find("\r\n&amp;</MSGDATA>"), std::string::npos);

  request.sql = "update products set note = :p where code < 3";
  EXPECT_EQ(Exec(request), ExecAnswer(kDone));
  request.sql = "select code, note from products where note is null order by code";
  const std::vector<std::string> rows = Lines(Open(request));
  EXPECT_EQ(rows[1], "<OPENSQL RECORDCOUNT=\"3\">");  // codes 1 and 2, and the new 10
}

TEST_F(SqlServices, ExecuteProcedureThroughExecSQL) {
  Request request{test::CreateDatabase(
                      3,
                      "CREATE TABLE T (V INTEGER);\nSET TERM ^ ;\nCREATE PROCEDURE ADD_ROW (A "
                      "INTEGER) RETURNS (R INTEGER) AS BEGIN INSERT INTO T VALUES (:A); R = :A; "
                      "END^\nSET TERM ; ^\nCOMMIT;\n"),
                  "execute procedure add_row 7"};
  EXPECT_EQ(Exec(request), ExecAnswer(kDone));
  request.sql = "select v from t";
  EXPECT_EQ(Lines(Open(request))[3], " <V DATATYPE=\"INTEGER\" DATASIZE=\"4\">7</V>");
}

TEST_F(SqlServices, BadClientInputFailsClearly) {
  const std::string demo = test::CreateDemoDatabase();
  Request request{demo, "select * from products"};

  request.raw_pass = "abc";  // not a multiple of 4
  EXPECT_EQ(test::FailureMessage<EDecodeError>([&] { return Open(request); }),
            "Uneven size in DecodeToStream.");
  request.raw_pass.reset();
  request.raw_sql = "c2VsZWN0";
  request.raw_sql->push_back('*');
  EXPECT_EQ(test::FailureMessage<EDecodeError>([&] { return Exec(request); }),
            "Uneven size in DecodeToStream.");
  request.raw_sql.reset();

  const std::pair<std::string, std::string> statements[] = {
      {"select 'open from products", "Fim da string detectada"},
      {"select * from products /* open", "Fim do coment\xE1rio detectado"},
      {"update products set note = :", "Nome do par\xE2metro esperado"},
  };
  for (const auto& [sql, reason] : statements) {
    request.sql = sql;
    EXPECT_EQ(test::FailureMessage<EIBClientError>([&] { return Open(request); }),
              "Erro na an\xE1lise do SQL:\r\n\r\n" + reason);
    EXPECT_EQ(test::FailureMessage<EIBClientError>([&] { return Exec(request); }),
              "Erro na an\xE1lise do SQL:\r\n\r\n" + reason);
  }

  request.sql = "select * from products";
  request.db = std::string(300, 'd');
  const std::string long_name =
      test::FailureMessage<EIBInterBaseError>([&] { return Open(request); });
  EXPECT_FALSE(long_name.empty());
  EXPECT_EQ(long_name.find("(answered)"), std::string::npos) << long_name;

  request.db = demo;
  request.password = std::string(300, 'p');
  EXPECT_EQ(test::FailureMessage<EIBClientError>([&] { return Open(request); }),
            "Valor do par\xE2metro DPB (password) \xE9 longo demais: o m\xE1ximo \xE9 255 bytes");
}

TEST_F(SqlServices, RefusedAttachEscapesWithTheServerText) {
  const auto server = test::Server();
  ASSERT_FALSE(server.host.empty());
  // A file that is not there is no embedded database: the server on this host reports it.
  Request request{test::ScratchDirectory() + "/absent.fdb", "select * from products", server.user,
                  server.password};
  std::string message = test::FailureMessage<EIBInterBaseError>([&] { return Open(request); });
  EXPECT_NE(message.find("absent.fdb"), std::string::npos) << message;

  request.db = "127.0.0.1/3999:/tmp/none.fdb";
  message = test::FailureMessage<EIBInterBaseError>([&] { return Exec(request); });
  EXPECT_NE(message.find("Unable to complete network request to host \"127.0.0.1"),
            std::string::npos)
      << message;

  const std::string demo = test::CreateDemoDatabase();
  test::GiveToServer(demo);
  request.db = test::ServerDatabaseName(demo);
  request.user = server.user;
  request.password = server.password + "wrong";
  message = test::FailureMessage<EIBInterBaseError>([&] { return Open(request); });
  EXPECT_NE(message.find("Your user name and password are not defined"), std::string::npos)
      << message;
  request.password = server.password;
  EXPECT_EQ(Lines(Open(request))[1], "<OPENSQL RECORDCOUNT=\"3\">");
}

int GatewayAttachments(const std::string& database) {
  const auto server = test::Server();
  IbDatabase monitor;
  monitor.SetDatabaseName(database);
  monitor.SetAttachParams(
      {.user = server.user, .password = server.password, .charset = "", .connection_config = ""});
  monitor.Connect();
  IbTransaction transaction(monitor);
  IbQuery query(transaction);
  query.SetSql(
      "select count(*) from mon$attachments where mon$remote_pid = " + std::to_string(getpid()) +
      " and mon$attachment_id <> current_connection and mon$system_flag = 0");
  query.Open();
  query.First();
  return VarAsInteger(query.FieldValue(0));
}

TEST_F(SqlServices, NothingLeaksAfterManyRequests) {
  const auto server = test::Server();
  ASSERT_FALSE(server.host.empty());
  const std::string demo = test::CreateDemoDatabase();
  test::GiveToServer(demo);
  const std::string name = test::ServerDatabaseName(demo);
  Request good{name, "select * from column_types", server.user, server.password};
  Request failing{name, "selec * from products", server.user, server.password};
  Request exec{name, "update products set note = 'n' where code = 1", server.user, server.password};
  Request duplicate{name, "insert into products (code, name) values (1, 'x')", server.user,
                    server.password};
  Request wrong_password{name, "select * from products", server.user, "wrong"};
  Request unclosed{name, "select 'x from products", server.user, server.password};
  for (int i = 0; i < 50; ++i) {
    EXPECT_EQ(Lines(Open(good))[1], "<OPENSQL RECORDCOUNT=\"3\">");
    EXPECT_EQ(Lines(Open(failing))[1], "<OPENSQL>");
    EXPECT_EQ(Exec(exec), ExecAnswer(kDone));
    EXPECT_NE(Exec(duplicate).find(kNotDone), std::string::npos);
    EXPECT_THROW(Open(wrong_password), EIBInterBaseError);
    EXPECT_THROW(Exec(unclosed), EIBClientError);
  }
  EXPECT_EQ(GatewayAttachments(name), 0);

  // The count does see an attachment of this process that is left open.
  IbDatabase open;
  open.SetDatabaseName(name);
  open.SetAttachParams(
      {.user = server.user, .password = server.password, .charset = "", .connection_config = ""});
  open.Connect();
  EXPECT_EQ(GatewayAttachments(name), 1);
}

}  // namespace
}  // namespace xg
