// The gateway program run as a CGI process with SQL requests: the answers a client reads for a
// query, a statement, failures of the set-up (wrong password, missing database file, a host that
// does not answer) and a client library that cannot be loaded.
#include <gtest/gtest.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "db_test_support.h"
#include "support/child_process.h"
#include "support/xml_reader.h"

namespace xg {
namespace {

std::string Base64(const std::string& bytes) {
  static const char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string text;
  for (size_t i = 0; i < bytes.size(); i += 3) {
    unsigned v = static_cast<unsigned char>(bytes[i]) << 16;
    if (i + 1 < bytes.size()) v |= static_cast<unsigned char>(bytes[i + 1]) << 8;
    if (i + 2 < bytes.size()) v |= static_cast<unsigned char>(bytes[i + 2]);
    text += kAlphabet[(v >> 18) & 63];
    text += kAlphabet[(v >> 12) & 63];
    text += i + 1 < bytes.size() ? kAlphabet[(v >> 6) & 63] : '=';
    text += i + 2 < bytes.size() ? kAlphabet[v & 63] : '=';
  }
  return text;
}

std::string FormValue(const std::string& text) {
  std::string encoded;
  for (char c : text) {
    if (c == '+' || c == '/' || c == '=') {
      static const char kHex[] = "0123456789ABCDEF";
      encoded += '%';
      encoded += kHex[static_cast<unsigned char>(c) >> 4];
      encoded += kHex[c & 15];
    } else {
      encoded += c;
    }
  }
  return encoded;
}

std::string RequestDocument(const std::string& service, const std::string& db,
                            const std::string& user, const std::string& password,
                            const std::string& sql) {
  return "<?xml version=\"1.0\"?><SENDDATA><SERVICE>" + service + "</SERVICE><DB>" + db +
         "</DB><USER>" + user + "</USER><PASS>" + Base64(password) + "</PASS><SQL>" + Base64(sql) +
         "</SQL></SENDDATA>";
}

struct Answer {
  std::string head;
  std::string body;
  int exitCode = -1;
};

// Runs the program as the web server would for a POSTed form; `program` may be a wrapper.
Answer Post(const std::string& document, const std::string& program = XG_PROGRAM) {
  const std::string body = "SENDDATA=" + FormValue(Base64(document));
  const test::ChildResult result =
      test::RunChild(program,
                     {"REQUEST_METHOD=POST", "SERVER_PROTOCOL=HTTP/1.1",
                      "CONTENT_LENGTH=" + std::to_string(body.size()), "PATH=/usr/bin:/bin"},
                     body);
  Answer answer;
  answer.exitCode = result.exitCode;
  const size_t split = result.out.find("\r\n\r\n");
  answer.head = result.out.substr(0, split);
  answer.body = split == std::string::npos ? "" : result.out.substr(split + 4);
  return answer;
}

// The message of an ERROR document: the MSGDATA value up to the two CR bytes that precede the
// request text the gateway appends.
std::string ErrorMessage(const Answer& answer) {
  const std::string open = "<ERROR>\r\n";
  EXPECT_NE(answer.body.find(open), std::string::npos) << answer.body.substr(0, 300);
  const std::string tag = " <MSGDATA DATATYPE=\"STRING\">";
  const size_t start = answer.body.find(tag);
  if (start == std::string::npos) return "(no MSGDATA) " + answer.body.substr(0, 300);
  const size_t end = answer.body.find("\r\r", start);
  return answer.body.substr(start + tag.size(), end - start - tag.size());
}

TEST(GatewayProcess, QueryAndStatementAnswers) {
  const std::string demo = test::CreateDemoDatabase();
  Answer answer = Post(RequestDocument("SERVICEOPENSQL", demo, "SYSDBA", "",
                                       "select code, name, price from products order by code"));
  EXPECT_EQ(answer.exitCode, 0);
  EXPECT_NE(answer.head.find("200"), std::string::npos) << answer.head;
  EXPECT_EQ(answer.body,
            "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\r\n<OPENSQL RECORDCOUNT=\"3\">\r\n"
            "<RECORD1>\r\n <CODE DATATYPE=\"INTEGER\" DATASIZE=\"4\">1</CODE>\r\n"
            " <NAME DATATYPE=\"STRING\" DATASIZE=\"40\">Coffee</NAME>\r\n"
            " <PRICE DATATYPE=\"STRING\" DATASIZE=\"8\">12.5</PRICE>\r\n</RECORD1>\r\n"
            "<RECORD2>\r\n <CODE DATATYPE=\"INTEGER\" DATASIZE=\"4\">2</CODE>\r\n"
            " <NAME DATATYPE=\"STRING\" DATASIZE=\"40\">Tea</NAME>\r\n"
            " <PRICE DATATYPE=\"STRING\" DATASIZE=\"8\">7.9</PRICE>\r\n</RECORD2>\r\n"
            "<RECORD3>\r\n <CODE DATATYPE=\"INTEGER\" DATASIZE=\"4\">3</CODE>\r\n"
            " <NAME DATATYPE=\"STRING\" DATASIZE=\"40\">Sugar</NAME>\r\n"
            " <PRICE DATATYPE=\"STRING\" DATASIZE=\"8\">4.25</PRICE>\r\n</RECORD3>\r\n"
            "</OPENSQL>\r\n");

  answer = Post(RequestDocument("SERVICEEXECSQL", demo, "SYSDBA", "",
                                "insert into products (code, name) values (4, 'Salt')"));
  EXPECT_EQ(answer.body,
            "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\r\n<EXECSQL>\r\n"
            " <MSGDATA DATATYPE=\"STRING\">Opera\xE7\xE3o efetuada com sucesso</MSGDATA>\r\n"
            "</EXECSQL>\r\n");
}

TEST(GatewayProcess, RefusedConnectionsAnswerTheErrorDocument) {
  std::string message = ErrorMessage(Post(RequestDocument(
      "SERVICEOPENSQL", test::ScratchDirectory() + "/absent.fdb", "SYSDBA", "", "select 1")));
  EXPECT_NE(message.find("absent.fdb"), std::string::npos) << message;

  message = ErrorMessage(Post(RequestDocument("SERVICEEXECSQL", "127.0.0.1/3999:/tmp/none.fdb",
                                              "SYSDBA", "x", "delete from t")));
  EXPECT_NE(message.find("Unable to complete network request to host \"127.0.0.1"),
            std::string::npos)
      << message;

  const auto server = test::Server();
  ASSERT_FALSE(server.host.empty());
  const std::string demo = test::CreateDemoDatabase();
  test::GiveToServer(demo);
  message = ErrorMessage(
      Post(RequestDocument("SERVICEOPENSQL", test::ServerDatabaseName(demo), server.user,
                           server.password + "x", "select * from products")));
  EXPECT_EQ(message.rfind("Your user name and password are not defined", 0), 0u) << message;
}

// Runs the program in a mount namespace of its own where the client library's file is replaced
// by an empty one, so that loading it fails as it would on a host without it.
// Whether any regular file below the folder (or the file itself) holds the text.
bool AnyFileHolds(const std::filesystem::path& place, const std::string& text) {
  std::error_code error;
  std::vector<std::filesystem::path> files;
  if (std::filesystem::is_regular_file(place, error)) files.push_back(place);
  for (auto it = std::filesystem::recursive_directory_iterator(place, error);
       !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
    if (it->is_regular_file(error)) files.push_back(it->path());
  }
  for (const auto& file : files) {
    std::ifstream in(file, std::ios::binary);
    const std::string content((std::istreambuf_iterator<char>(in)),
                              std::istreambuf_iterator<char>());
    if (content.find(text) != std::string::npos) return true;
  }
  return false;
}

// Started with standard descriptors closed, the gateway opens them on /dev/null before it opens
// anything else: the answer never lands in a file the process opened (the client library's lock
// files, the database).
TEST(GatewayProcess, ClosedStandardStreamsWriteTheAnswerNowhere) {
  const std::string demo = test::CreateDemoDatabase();
  const std::string marker = "closed-streams-" + std::to_string(getpid());
  const std::string body =
      "SENDDATA=" + FormValue(Base64(RequestDocument("SERVICEOPENSQL", demo, "SYSDBA", "",
                                                     "select '" + marker + "' from rdb$database")));
  const std::vector<std::string> environment = {"REQUEST_METHOD=POST", "SERVER_PROTOCOL=HTTP/1.1",
                                                "CONTENT_LENGTH=" + std::to_string(body.size()),
                                                "PATH=/usr/bin:/bin"};
  const std::string lockFolder =
      std::getenv("FIREBIRD_LOCK") != nullptr ? std::getenv("FIREBIRD_LOCK") : "/tmp/firebird";

  for (const std::vector<int>& closed :
       std::vector<std::vector<int>>{{1}, {1, 2}, {0, 1, 2}, {2}}) {
    SCOPED_TRACE(::testing::PrintToString(closed));
    test::ChildControl control;
    control.closedDescriptors = closed;
    const test::ChildResult result = test::RunChild(XG_PROGRAM, environment, body, {}, control);
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.signal, 0);
    if (closed == std::vector<int>{2}) {
      EXPECT_NE(result.out.find("<RECORD1>"), std::string::npos) << result.out;
    }
    EXPECT_FALSE(AnyFileHolds(lockFolder, marker));
    EXPECT_FALSE(AnyFileHolds(demo, marker));
  }
}

TEST(GatewayProcess, MissingClientLibrary) {
  char library[PATH_MAX];
  ASSERT_NE(realpath("/usr/lib/x86_64-linux-gnu/libfbclient.so.2", library), nullptr)
      << "the client library is not installed where expected";
  const std::string empty = test::ScratchDirectory() + "/empty-library";
  std::ofstream(empty).close();
  const std::string wrapper = test::ScratchDirectory() + "/without-client-library.sh";
  std::ofstream(wrapper) << "#!/bin/sh\nexec unshare --mount sh -c 'mount --bind " << empty << " "
                         << library << " && exec " << XG_PROGRAM << "'\n";
  chmod(wrapper.c_str(), 0755);

  const std::string request =
      RequestDocument("SERVICEOPENSQL", test::CreateDemoDatabase(), "SYSDBA", "", "select 1");
  const Answer answer = Post(request, wrapper);
  EXPECT_EQ(answer.exitCode, 0);
  EXPECT_EQ(ErrorMessage(answer),
            "Biblioteca gds32.dll do InterBase n\xE3o encontrada no caminho. Favor instalar "
            "InterBase para usar esta funcionalidade");
  EXPECT_NE(test::UnescapeText(answer.body).find("\r\r" + request), std::string::npos);
}

}  // namespace
}  // namespace xg
