#include "command_line.h"

#include <gtest/gtest.h>

#include "client_failure.h"

namespace xg::client {
namespace {

using Arguments = std::vector<std::string>;

TEST(ParseCommandLine, ReadsOptionsBeforeAndAfterTheCommand) {
  const Options query = ParseCommandLine(
      {"--format=json", "query", "--db", "/d/x.fdb", "--user=SYSDBA", "--password-file", "pw",
       "select 1 from rdb$database", "--url", "http://h/x", "--timeout", "7"},
      nullptr);
  EXPECT_EQ(query.service, Service::kOpenSql);
  EXPECT_EQ(query.format, Format::kJson);
  EXPECT_EQ(query.url, "http://h/x");
  EXPECT_EQ(query.timeout_seconds, 7);
  EXPECT_EQ(query.database, "/d/x.fdb");
  EXPECT_EQ(query.user, "SYSDBA");
  EXPECT_EQ(query.password_file, "pw");
  EXPECT_EQ(query.sql, "select 1 from rdb$database");
  EXPECT_FALSE(query.sql_file);

  const Options exec =
      ParseCommandLine({"exec", "--db", "d", "--user", "u", "--latin1-input", "-"}, "http://env/x");
  EXPECT_EQ(exec.service, Service::kExecSql);
  EXPECT_EQ(exec.url, "http://env/x");
  EXPECT_FALSE(exec.format);
  EXPECT_TRUE(exec.latin1_input);
  EXPECT_EQ(exec.sql_file, "-");
  EXPECT_FALSE(exec.password_file);

  // After "--" a text that starts with "-" is the SQL.
  EXPECT_EQ(
      ParseCommandLine({"--url", "u", "exec", "--db", "d", "--user", "u", "--", "-1"}, nullptr).sql,
      "-1");
  EXPECT_EQ(ParseCommandLine(
                {"--url", "u", "query", "--db", "d", "--user", "u", "--sql-file", "f.sql"}, nullptr)
                .sql_file,
            "f.sql");
  EXPECT_EQ(ParseCommandLine({"status", "--url", "u", "--format", "raw"}, nullptr).format,
            Format::kRaw);
  EXPECT_TRUE(ParseCommandLine({"query", "--bogus", "--help"}, nullptr).help);
}

TEST(ParseCommandLine, RefusesWhatMakesNoRequest) {
  const struct {
    Arguments arguments;
    std::string message;
  } cases[] = {
      {{"--url", "u"}, "no command: status, error, query or exec"},
      {{"--url", "u", "select"}, "unknown command select: status, error, query or exec"},
      {{"status"}, "no --url (nor XMLGATEWAY_URL) names the gateway"},
      {{"--url", "u", "status", "--db", "d"}, "status takes no database, user, password or SQL"},
      {{"--url", "u", "error", "extra"}, "error takes no database, user, password or SQL"},
      {{"--url", "u", "query", "--user", "u", "s"}, "query wants --db DATABASE"},
      {{"--url", "u", "exec", "--db", "d", "s"}, "exec wants --user USER"},
      {{"--url", "u", "query", "--db", "d", "--user", "u"},
       "query wants the SQL: a text, --sql-file FILE, or - for standard input"},
      {{"--url", "u", "query", "--db", "d", "--user", "u", "select", "1"},
       "query takes one SQL text (quote it)"},
      {{"--url", "u", "query", "--db", "d", "--user", "u", "--sql-file", "f", "s"},
       "SQL both from --sql-file and from the command line"},
      {{"--url", "u", "status", "--format", "xml"},
       "unknown --format xml (table, csv, json or raw)"},
      {{"--url", "u", "status", "--timeout", "-1"},
       "--timeout wants a number of seconds, not \"-1\""},
      {{"--url", "u", "status", "--timeout", "1s"},
       "--timeout wants a number of seconds, not \"1s\""},
      {{"status", "--url"}, "--url wants a value"},
      {{"--url", "u", "status", "--verbose=1"}, "unknown option --verbose"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(test::FailureOf([&] { ParseCommandLine(c.arguments, nullptr); }),
              test::Failed(ExitCode::kUsage, c.message));
  }
}

}  // namespace
}  // namespace xg::client
