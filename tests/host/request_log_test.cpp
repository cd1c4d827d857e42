// The request log: the line's form (quoting, escapes, cuts, the fields in order), which requests
// are written, a log file that is rotated or written by many processes at once, and the lines of
// requests served through the host, which never carry the password.
#include "host/request_log.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "host/startup.h"
#include "support/fake_request.h"
#include "support/logfmt_reader.h"
#include "support/request_body.h"
#include "support/scoped_config.h"

namespace xg {
namespace {

using test::LogKeys;
using test::LogValue;
using test::ReadLogLine;

// A fresh folder, removed with everything in it at the end of the test.
class TempFolder {
 public:
  TempFolder() {
    std::string pattern = "/tmp/xg-log-XXXXXX";
    path_ = ::mkdtemp(pattern.data()) ? pattern : std::string();
  }
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

std::vector<std::string> LinesOf(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::vector<std::string> lines;
  for (std::string line; std::getline(file, line);) lines.push_back(line);
  return lines;
}

RequestLogSettings FileLog(const std::string& path, int slow_ms = 0, bool sql = false) {
  RequestLogSettings settings;
  settings.place = RequestLogPlace::kFile;
  settings.path = path;
  settings.slow_ms = slow_ms;
  settings.sql = sql;
  return settings;
}

TEST(RequestLogLine, ValuesAreQuotedEscapedAndCut) {
  const std::string long_value(1500, 'a');
  const std::string cut_before_escape = std::string(1023, 'b') + "\n" + std::string(10, 'c');
  const struct {
    std::string value;
    std::string written;
  } cases[] = {
      {"SYSDBA", "SYSDBA"},
      {"/srv/xg/a.fdb", "/srv/xg/a.fdb"},
      {"", "\"\""},
      {"select 1", "\"select 1\""},
      {"a=b", "\"a=b\""},
      {"say \"hi\"", "\"say \\\"hi\\\"\""},
      {"C:\\data", "\"C:\\\\data\""},
      {"one\r\ntwo\tthree", "\"one\\r\\ntwo\\tthree\""},
      {std::string("\x00\x01\x1b\x7f", 4), "\"\\x00\\x01\\x1b\\x7f\""},
      // ISO-8859-1 in UTF-8; its C1 controls escaped.
      {"Opera\xE7\xE3o", "Opera\xC3\xA7\xC3\xA3o"},
      {"a\x85z\xA0", "\"a\\x85z\xC2\xA0\""},
      {long_value, std::string(1024, 'a')},
      {cut_before_escape, "\"" + std::string(1023, 'b') + "\\n\""},
  };
  for (const auto& c : cases) {
    std::string line;
    AppendLogValue(c.value, line);
    EXPECT_EQ(line, c.written) << c.value.substr(0, 40);
    // Read back, the value is the text as it was, cut.
    const auto read = ReadLogLine("k=" + line);
    ASSERT_TRUE(read) << line;
    EXPECT_EQ(LogValue(*read, "k"), c.value.substr(0, kLogValueLimit));
  }
}

RequestLogFields SampleFields() {
  RequestLogFields fields;
  // 2026-12-11 02:31:05.123 UTC
  fields.time = std::chrono::system_clock::time_point(std::chrono::milliseconds(1796956265123));
  fields.client = "10.0.0.7";
  fields.mode = ServingMode::kFastCgi;
  fields.summary.service = "SERVICEEXECSQL";
  fields.summary.database = "db.example.com:/srv/my data.fdb";
  fields.summary.user = "SYSDBA";
  fields.summary.failure_document = "EXECSQL";
  fields.summary.message =
      "Opera\xE7\xE3o n\xE3o efetuada: violation of PRIMARY or UNIQUE KEY\r\nProblematic key";
  fields.summary.result.rows = 0;
  fields.summary.result.database_microseconds = 2048;
  fields.summary.result.attachment_reused = true;
  fields.answer_bytes = 165;
  fields.total_microseconds = 12345678;
  return fields;
}

TEST(RequestLogLine, TheLineCarriesEveryFieldInOrder) {
  const std::string line = FormatRequestLogLine(SampleFields(), nullptr);
  ASSERT_EQ(line.back(), '\n');
  EXPECT_EQ(line.find('\n'), line.size() - 1);
  EXPECT_EQ(line,
            "time=2026-12-11T02:31:05.123Z client=10.0.0.7 mode=fastcgi service=SERVICEEXECSQL "
            "db=\"db.example.com:/srv/my data.fdb\" user=SYSDBA outcome=EXECSQL "
            "message=\"Opera\xC3\xA7\xC3\xA3o n\xC3\xA3o efetuada: violation of PRIMARY or "
            "UNIQUE KEY\" rows=0 bytes=165 ms=12345.678 db_ms=2.048 reused=yes\n");

  // A request that succeeded, with its statement: cut at 1 KiB, its whole length beside it.
  RequestLogFields fields = SampleFields();
  fields.mode = ServingMode::kCgi;
  fields.summary.failure_document.clear();
  fields.summary.message.clear();
  fields.summary.result.rows = 20;
  fields.summary.result.attachment_reused = false;
  std::string sql = "select *\r\n  from items\twhere note = 'x\x01y' and ";
  while (sql.size() < 3000) sql += "id <> 1 and ";
  const std::string line_with_sql = FormatRequestLogLine(fields, &sql);
  const auto read =
      ReadLogLine(std::string_view(line_with_sql).substr(0, line_with_sql.size() - 1));
  ASSERT_TRUE(read);
  EXPECT_EQ(LogKeys(*read),
            (std::vector<std::string>{"time", "client", "mode", "service", "db", "user", "outcome",
                                      "message", "rows", "bytes", "ms", "db_ms", "reused", "sql",
                                      "sql_bytes"}));
  EXPECT_EQ(LogValue(*read, "mode"), "cgi");
  EXPECT_EQ(LogValue(*read, "outcome"), "ok");
  EXPECT_EQ(LogValue(*read, "message"), "");
  EXPECT_EQ(LogValue(*read, "rows"), "20");
  EXPECT_EQ(LogValue(*read, "reused"), "no");
  EXPECT_EQ(LogValue(*read, "sql"), sql.substr(0, 1024));
  EXPECT_EQ(LogValue(*read, "sql_bytes"), std::to_string(sql.size()));
}

TEST(RequestLog, SlowMsWritesOnlyRequestsAtOrAboveIt) {
  const TempFolder folder;
  const std::string path = folder.path() + "/requests.log";
  RequestLog log(FileLog(path, 10), ServingMode::kCgi);
  RequestLogFields fields = SampleFields();
  for (const int64_t microseconds : {0, 9999, 10000, 25000, 9000}) {
    fields.total_microseconds = microseconds;
    log.Write(fields, nullptr);
  }
  std::vector<std::string> written;
  for (const std::string& line : LinesOf(path)) {
    const auto read = ReadLogLine(line);
    ASSERT_TRUE(read) << line;
    written.push_back(*LogValue(*read, "ms"));
  }
  EXPECT_EQ(written, (std::vector<std::string>{"10.000", "25.000"}));

  // The default writes every request; "off" none.
  RequestLog every(FileLog(path), ServingMode::kCgi);
  fields.total_microseconds = 0;
  every.Write(fields, nullptr);
  RequestLogSettings off = FileLog(path);
  off.place = RequestLogPlace::kOff;
  RequestLog none(off, ServingMode::kFastCgi);
  none.Write(fields, nullptr);
  EXPECT_EQ(LinesOf(path).size(), 3u);
}

// Standard error pointed at a file for the length of a scope.
class CapturedStandardError {
 public:
  explicit CapturedStandardError(const std::string& path)
      : saved_(::dup(STDERR_FILENO)),
        fd_(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600)) {
    ::dup2(fd_, STDERR_FILENO);
  }
  ~CapturedStandardError() {
    ::dup2(saved_, STDERR_FILENO);
    ::close(saved_);
    ::close(fd_);
  }
  CapturedStandardError(const CapturedStandardError&) = delete;
  CapturedStandardError& operator=(const CapturedStandardError&) = delete;

 private:
  int saved_;
  int fd_;
};

TEST(RequestLog, WithoutTheKeyOnlyAFastCgiProcessOnTheJournalLogs) {
  const TempFolder folder;
  const std::string path = folder.path() + "/stderr";
  std::vector<std::string> lines;
  {
    const CapturedStandardError captured(path);
    struct stat file {};
    ASSERT_EQ(::fstat(STDERR_FILENO, &file), 0);
    const std::string journal = std::to_string(file.st_dev) + ":" + std::to_string(file.st_ino);
    const std::string elsewhere =
        std::to_string(file.st_dev) + ":" + std::to_string(file.st_ino + 1);
    const struct {
      const char* stream;
      ServingMode mode;
    } cases[] = {
        {journal.c_str(), ServingMode::kFastCgi},  // logs
        {journal.c_str(), ServingMode::kCgi},
        {elsewhere.c_str(), ServingMode::kFastCgi},
        {nullptr, ServingMode::kFastCgi},
    };
    RequestLogFields fields = SampleFields();
    for (const auto& c : cases) {
      fields.mode = c.mode;
      if (c.stream) {
        ::setenv("JOURNAL_STREAM", c.stream, 1);
      } else {
        ::unsetenv("JOURNAL_STREAM");
      }
      RequestLog(RequestLogSettings(), c.mode).Write(fields, nullptr);
    }
    ::unsetenv("JOURNAL_STREAM");
    lines = LinesOf(path);
  }
  ASSERT_EQ(lines.size(), 1u);
  const auto read = ReadLogLine(lines[0]);
  ASSERT_TRUE(read) << lines[0];
  EXPECT_EQ(LogValue(*read, "mode"), "fastcgi");
}

TEST(RequestLog, AFileMovedAwayIsFollowedByANewOne) {
  const TempFolder folder;
  const std::string path = folder.path() + "/requests.log";
  RequestLog log(FileLog(path), ServingMode::kFastCgi);
  RequestLogFields fields = SampleFields();
  log.Write(fields, nullptr);
  // What logrotate does without copytruncate: the file is renamed, the process goes on.
  ASSERT_EQ(std::rename(path.c_str(), (path + ".1").c_str()), 0);
  log.Write(fields, nullptr);
  log.Write(fields, nullptr);
  EXPECT_EQ(LinesOf(path + ".1").size(), 1u);
  EXPECT_EQ(LinesOf(path).size(), 2u);
  // With copytruncate the file stays and is emptied: appending goes on at its new end.
  ASSERT_EQ(::truncate(path.c_str(), 0), 0);
  log.Write(fields, nullptr);
  const std::vector<std::string> lines = LinesOf(path);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_TRUE(ReadLogLine(lines[0])) << lines[0];
}

TEST(RequestLog, LinesOfConcurrentProcessesNeverInterleave) {
  const TempFolder folder;
  const std::string path = folder.path() + "/requests.log";
  constexpr int kProcesses = 8;
  constexpr int kLines = 200;
  std::vector<pid_t> children;
  for (int p = 0; p < kProcesses; ++p) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      // Lines of several KiB, each naming its process and number in its statement.
      RequestLog log(FileLog(path, 0, true), ServingMode::kCgi);
      RequestLogFields fields = SampleFields();
      for (int n = 0; n < kLines; ++n) {
        const std::string sql =
            std::to_string(p) + ":" + std::to_string(n) + ":" + std::string(1000, 'a' + p);
        fields.summary.message = std::string(1000, '0' + p);
        log.Write(fields, &sql);
      }
      ::_exit(0);
    }
    children.push_back(child);
  }
  for (const pid_t child : children) {
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  std::vector<std::vector<bool>> seen(kProcesses, std::vector<bool>(kLines, false));
  const std::vector<std::string> lines = LinesOf(path);
  ASSERT_EQ(lines.size(), size_t{kProcesses * kLines});
  for (const std::string& line : lines) {
    const auto read = ReadLogLine(line);
    ASSERT_TRUE(read) << line.substr(0, 200);
    const std::string sql = *LogValue(*read, "sql");
    const int p = std::stoi(sql);
    const int n = std::stoi(sql.substr(sql.find(':') + 1));
    ASSERT_TRUE(p >= 0 && p < kProcesses && n >= 0 && n < kLines) << sql.substr(0, 20);
    EXPECT_EQ(sql.substr(sql.rfind(':') + 1), std::string(1000, 'a' + p));
    EXPECT_EQ(LogValue(*read, "message"), std::string(1000, '0' + p));
    EXPECT_FALSE(seen[p][n]) << "twice: " << p << ":" << n;
    seen[p][n] = true;
  }
}

// Serves the request body through the host with the gateway's action, the configuration and a
// log to the file; answers what the client got.
std::string ServeLogged(const std::string& body, const RequestLogSettings& log,
                        const LoadedGatewayConfig& config) {
  test::FakeRequest request({{"SERVER_PROTOCOL", "HTTP/1.1"},
                             {"REQUEST_METHOD", "POST"},
                             {"REMOTE_ADDR", "192.0.2.9"},
                             {"CONTENT_LENGTH", std::to_string(body.size())}},
                            body);
  Host(RegionalSettings(), &GatewayAction, ServingMode::kCgi, RequestLog(log, ServingMode::kCgi),
       config)
      .Serve(request);
  return request.Output();
}

TEST(RequestLog, ServedRequestsAreLoggedWithTheirReasonAndWithoutThePassword) {
  const TempFolder folder;
  const std::string path = folder.path() + "/requests.log";
  const std::string password = "Pa55-w0rd";
  const std::string pass = "<PASS>" + test::Base64Encode(password) + "</PASS>";
  const std::string sql = "<SQL>" + test::Base64Encode("select 1 from rdb$database") + "</SQL>";
  const LoadedGatewayConfig config =
      test::LoadedConfig("[databases]\nallow = /allowed/*.fdb\n[limits]\nmax-request-bytes = 1K\n");
  const struct {
    std::string document;
    std::string service;
    std::string outcome;
    std::string message;
  } cases[] = {
      {"<?xml version=\"1.0\"?><SENDDATA><SERVICE>SERVICESTATUS</SERVICE></SENDDATA>",
       "SERVICESTATUS", "ok", ""},
      // Refused before any attach.
      {"<?xml version=\"1.0\"?><SENDDATA><SERVICE>SERVICEOPENSQL</SERVICE><DB>/other/x.fdb</DB>"
       "<USER>SYSDBA</USER>" +
           pass + sql + "</SENDDATA>",
       "SERVICEOPENSQL", "ERROR", "Acesso ao banco de dados n\xE3o permitido: /other/x.fdb"},
      // The ERROR document quotes the request, password included, after its message.
      {"<?xml version=\"1.0\"?><SENDDATA><SERVICE>SERVICEEXECSQL</SERVICE><USER>SYSDBA</USER>" +
           pass + sql + "<DB>",
       "", "ERROR", ""},
      // Larger than max-request-bytes: the failure page, the body never read.
      {"<?xml version=\"1.0\"?><SENDDATA><SERVICE>SERVICEOPENSQL</SERVICE><DB>/allowed/x.fdb</DB>"
       "<USER>SYSDBA</USER>" +
           pass + sql + "<!--" + std::string(1024, '-') + "--></SENDDATA>",
       "", "page", ""},
  };
  RequestLogSettings log = FileLog(path, 0, true);
  for (const auto& c : cases) {
    const std::string body = test::SendDataBody(c.document);
    const std::string answer = ServeLogged(body, log, config);
    const std::vector<std::string> lines = LinesOf(path);
    ASSERT_FALSE(lines.empty());
    const auto read = ReadLogLine(lines.back());
    ASSERT_TRUE(read) << lines.back();
    EXPECT_EQ(LogValue(*read, "client"), "192.0.2.9");
    EXPECT_EQ(LogValue(*read, "service"), c.service);
    EXPECT_EQ(LogValue(*read, "outcome"), c.outcome) << lines.back();
    if (!c.message.empty()) {
      EXPECT_EQ(LogValue(*read, "message"), c.message);
    } else {
      EXPECT_EQ(LogValue(*read, "message")->empty(), c.outcome == "ok") << lines.back();
    }
    // The answer's content follows the header block's empty line.
    EXPECT_EQ(LogValue(*read, "bytes"),
              std::to_string(answer.size() - answer.find("\r\n\r\n") - 4));
  }
  const std::vector<std::string> lines = LinesOf(path);
  EXPECT_EQ(lines.size(), std::size(cases));
  EXPECT_EQ(*LogValue(*ReadLogLine(lines[3]), "message"),
            "Request body of " + std::to_string(test::SendDataBody(cases[3].document).size()) +
                " bytes is larger than max-request-bytes (1024 bytes)");
  std::ifstream file(path, std::ios::binary);
  std::stringstream all;
  all << file.rdbuf();
  EXPECT_EQ(all.str().find(password), std::string::npos);
  EXPECT_EQ(all.str().find(test::Base64Encode(password)), std::string::npos);

  // A log that cannot be written leaves the answer as it was.
  const std::string body = test::SendDataBody(cases[1].document);
  const std::string unlogged = ServeLogged(body, RequestLogSettings(), config);
  const std::string failing =
      ServeLogged(body, FileLog(folder.path() + "/none/requests.log"), config);
  // The ERROR document's time stamp may differ by a second between the two.
  EXPECT_EQ(failing.size(), unlogged.size());
  EXPECT_EQ(failing.substr(0, failing.find("<TIMESTAMP")),
            unlogged.substr(0, unlogged.find("<TIMESTAMP")));
}

}  // namespace
}  // namespace xg
