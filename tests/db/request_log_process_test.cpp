// The gateway program as a CGI process with a request log: each request adds exactly one line
// that reads back as logfmt, with the fields of what was asked and how it was answered, for a
// query, failed statements, and requests refused by the configuration and its limits.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "db_test_support.h"
#include "support/child_process.h"
#include "support/logfmt_reader.h"
#include "support/request_body.h"
#include "support/scoped_config.h"

namespace xg {
namespace {

using test::LogValue;
using test::ReadLogLine;

const char kPassword[] = "no-log-4-me";

std::string Document(const std::string& service, const std::string& db, const std::string& sql) {
  return "<?xml version=\"1.0\"?><SENDDATA><SERVICE>" + service + "</SERVICE><DB>" + db +
         "</DB><USER>SYSDBA</USER><PASS>" + test::Base64Encode(kPassword) + "</PASS><SQL>" +
         test::Base64Encode(sql) + "</SQL></SENDDATA>";
}

std::string FileText(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

struct Posted {
  std::string content;  // the answer after its header block
  std::string err;
  std::vector<std::string> new_lines;  // of the log file
};

// Posts the document to the program with the configuration file, as a web server would, and
// answers what it wrote and the lines it added to the log file.
Posted Post(const std::string& document, const std::string& config, const std::string& log) {
  const std::string before = FileText(log);
  const std::string body = test::SendDataBody(document);
  const test::ChildResult result =
      test::RunChild(XG_PROGRAM,
                     {"REQUEST_METHOD=POST", "SERVER_PROTOCOL=HTTP/1.1", "REMOTE_ADDR=203.0.113.5",
                      "CONTENT_LENGTH=" + std::to_string(body.size()), "PATH=/usr/bin:/bin",
                      "XMLGATEWAY_CONF=" + config},
                     body);
  EXPECT_EQ(result.exit_code, 0) << result.err;
  Posted posted;
  const size_t split = result.out.find("\r\n\r\n");
  posted.content = split == std::string::npos ? "" : result.out.substr(split + 4);
  posted.err = result.err;
  const std::string after = FileText(log);
  EXPECT_EQ(after.compare(0, before.size(), before), 0) << "the log lost lines";
  std::istringstream added(after.substr(std::min(before.size(), after.size())));
  for (std::string line; std::getline(added, line);) posted.new_lines.push_back(line);
  return posted;
}

TEST(RequestLogProcess, EachRequestWritesOneLineWithItsFields) {
  const std::string demo = test::CreateDemoDatabase();
  const std::string log = test::ScratchDirectory() + "/requests.log";
  const std::string config = test::WriteConfigFile(
      test::EmbeddedScratchConfig() + "allow = " + test::ScratchDirectory() +
      "/*\n[limits]\nmax-request-bytes = 2K\n[log]\nrequests = " + log + "\nsql = on\n");
  const std::string not_allowed = "/elsewhere/data.fdb";
  const struct {
    std::string name;
    std::string document;
    std::string service;
    std::string db;
    std::string outcome;
    std::string message;  // the start of the message
    std::string rows;
    std::string sql;  // empty: none in the line
  } cases[] = {
      {"query", Document("SERVICEOPENSQL", demo, "select code, name from products"),
       "SERVICEOPENSQL", demo, "ok", "", "3", "select code, name from products"},
      {"failed query", Document("SERVICEOPENSQL", demo, "select * from no_such_table"),
       "SERVICEOPENSQL", demo, "OPENSQL", "Dynamic SQL Error", "0", "select * from no_such_table"},
      {"failed statement",
       Document("SERVICEEXECSQL", demo, "insert into products (code, name) values (1, 'again')"),
       "SERVICEEXECSQL", demo, "EXECSQL",
       "Opera\xE7\xE3o n\xE3o efetuada: violation of PRIMARY or UNIQUE KEY", "0",
       "insert into products (code, name) values (1, 'again')"},
      {"refused database", Document("SERVICEOPENSQL", not_allowed, "select 1 from rdb$database"),
       "SERVICEOPENSQL", not_allowed, "ERROR",
       "Acesso ao banco de dados n\xE3o permitido: " + not_allowed, "0",
       "select 1 from rdb$database"},
      {"larger than max-request-bytes",
       Document("SERVICEOPENSQL", demo, "select 1 from rdb$database" + std::string(2048, ' ')), "",
       "", "page", "Request body of ", "0", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Posted posted = Post(c.document, config, log);
    EXPECT_EQ(posted.err, "");
    ASSERT_EQ(posted.new_lines.size(), 1u);
    const std::string& line = posted.new_lines[0];
    const auto read = ReadLogLine(line);
    ASSERT_TRUE(read) << line;
    EXPECT_EQ(LogValue(*read, "client"), "203.0.113.5");
    EXPECT_EQ(LogValue(*read, "mode"), "cgi");
    EXPECT_EQ(LogValue(*read, "service"), c.service) << line;
    EXPECT_EQ(LogValue(*read, "db"), c.db);
    EXPECT_EQ(LogValue(*read, "user"), c.service.empty() ? "" : "SYSDBA");
    EXPECT_EQ(LogValue(*read, "outcome"), c.outcome) << line;
    EXPECT_EQ(LogValue(*read, "message")->rfind(c.message, 0), 0u) << line;
    EXPECT_EQ(LogValue(*read, "rows"), c.rows);
    EXPECT_EQ(LogValue(*read, "bytes"), std::to_string(posted.content.size()));
    EXPECT_EQ(LogValue(*read, "reused"), "no");
    EXPECT_EQ(LogValue(*read, "sql"), c.sql);
    // The database time is part of the whole.
    const double ms = std::stod(*LogValue(*read, "ms"));
    const double db_ms = std::stod(*LogValue(*read, "db_ms"));
    EXPECT_LE(db_ms, ms) << line;
    if (c.outcome == "page") {
      EXPECT_EQ(db_ms, 0) << line;
    } else if (c.outcome != "ERROR") {
      EXPECT_GT(db_ms, 0) << line;
    }
  }
  const std::string all = FileText(log);
  EXPECT_EQ(all.find(kPassword), std::string::npos);
  EXPECT_EQ(all.find(test::Base64Encode(kPassword)), std::string::npos);
}

// A configuration that cannot be used answers the 500 page for every request, and the request is
// still logged where the [log] section says, with the reason: for a mistake in the file, and for
// an embedded engine folder that cannot be prepared (here under a FIREBIRD_LOCK folder that others
// may write without the sticky bit).
TEST(RequestLogProcess, ARequestRefusedByTheConfigurationIsLoggedWithTheReason) {
  const std::string open_lock = test::ScratchDirectory() + "/open-lock";
  std::filesystem::create_directory(open_lock);
  ASSERT_EQ(chmod(open_lock.c_str(), 0777), 0);
  const std::string log = test::ScratchDirectory() + "/refused.log";
  const std::string bad_key =
      test::WriteConfigFile("[log]\nrequests = stderr\n[limits]\nsize = 1\n");
  const struct {
    std::string name;
    std::string config;
    std::string lock;  // FIREBIRD_LOCK, if any
    std::string log;   // empty: standard error
    std::string message;
  } cases[] = {
      {"unknown key", bad_key, "", "",
       "Error in configuration file " + bad_key + ", line 4: unknown key size in section [limits]"},
      {"engine folder under an open lock folder",
       test::WriteConfigFile("[databases]\nembedded = " + test::ScratchDirectory() +
                             "/*.fdb\n[log]\nrequests = " + log + "\n"),
       open_lock, log,
       "Cannot prepare the embedded engine's configuration in " + open_lock +
           ": the folder is open to other users (neither this user's nor root's, or writable by "
           "another group or by others without the sticky bit)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string before = FileText(c.log);
    std::vector<std::string> environment = {"REQUEST_METHOD=GET", "SERVER_PROTOCOL=HTTP/1.1",
                                            "REMOTE_ADDR=203.0.113.6", "PATH=/usr/bin:/bin",
                                            "XMLGATEWAY_CONF=" + c.config};
    if (!c.lock.empty()) environment.push_back("FIREBIRD_LOCK=" + c.lock);
    const test::ChildResult result = test::RunChild(XG_PROGRAM, environment, "");
    EXPECT_EQ(result.exit_code, 0);
    EXPECT_EQ(result.out.rfind("Status: 500", 0), 0u) << result.out.substr(0, 100);
    const std::string written = c.log.empty() ? result.err : FileText(c.log).substr(before.size());
    if (!c.log.empty()) {
      EXPECT_EQ(result.err, "");
    }
    ASSERT_FALSE(written.empty());
    ASSERT_EQ(written.find('\n'), written.size() - 1) << written;
    const auto read = ReadLogLine(written.substr(0, written.size() - 1));
    ASSERT_TRUE(read) << written;
    EXPECT_EQ(LogValue(*read, "client"), "203.0.113.6");
    EXPECT_EQ(LogValue(*read, "outcome"), "page");
    EXPECT_EQ(LogValue(*read, "message"), c.message);
  }
}

}  // namespace
}  // namespace xg
