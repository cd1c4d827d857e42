// The built program run as a CGI process: a controlled environment and standard input in, the
// exact bytes of the answer and the exit code out.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <time.h>

#include <algorithm>
#include <random>
#include <regex>
#include <string>
#include <vector>

#include "config/gateway_config.h"
#include "support/child_process.h"
#include "support/expected_failure_page.h"
#include "support/request_body.h"
#include "support/scoped_config.h"
#include "support/xml_reader.h"

namespace xg {
namespace {

using test::ChildResult;
using test::RunChild;
using test::SendDataBody;
using test::ServerFailurePage;

const char kFakeTimeLibrary[] = "/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1";

const std::string kStatusRequest =
    "<?xml version=\"1.0\"?><SENDDATA><SERVICE>SERVICESTATUS</SERVICE></SENDDATA>";

std::string Request(const std::string& root, const std::string& service) {
  return "<?xml version=\"1.0\"?><" + root + "><SERVICE>" + service + "</SERVICE></" + root + ">";
}

// The address sanitizer's settings with the preloaded clock library allowed to come before the
// sanitizer's run time (the other sanitizer settings pass on to the program unchanged).
std::string AddressSanitizerSetting() {
  const char* asan = getenv("ASAN_OPTIONS");
  return std::string("ASAN_OPTIONS=") + (asan ? std::string(asan) + ":" : "") +
         "verify_asan_link_order=0";
}

// One run of the program. `variables` is the whole environment (apart from sanitizer settings);
// the run must end normally with exit code 0 and nothing on standard error.
// Without XMLGATEWAY_CONF among them the program reads an empty configuration file, so that no
// file of the host changes what the tests see.
ChildResult Serve(std::vector<std::string> variables, const std::string& input,
                  const test::ChildLimits& limits = {}) {
  static const std::string emptyConfig = test::WriteConfigFile("");
  if (std::none_of(variables.begin(), variables.end(),
                   [](const std::string& v) { return v.starts_with("XMLGATEWAY_CONF="); }))
    variables.push_back("XMLGATEWAY_CONF=" + emptyConfig);
  variables.push_back(AddressSanitizerSetting());
  ChildResult result = RunChild(XG_PROGRAM, variables, input, limits);
  EXPECT_FALSE(result.timed_out);
  EXPECT_EQ(result.signal, 0);
  EXPECT_EQ(result.exit_code, 0);
  EXPECT_EQ(result.err, "");
  return result;
}

// A POST of `body` with the length it has, as a web server starts the program.
ChildResult Post(const std::string& body, std::vector<std::string> extra = {}) {
  std::vector<std::string> variables = {"REQUEST_METHOD=POST", "SERVER_PROTOCOL=HTTP/1.1",
                                        "CONTENT_LENGTH=" + std::to_string(body.size()),
                                        "PATH_INFO="};
  variables.insert(variables.end(), extra.begin(), extra.end());
  return Serve(variables, body);
}

// The body of a normal answer, after checking its header block: status 200, the default
// content type and a length line that counts the body's bytes.
std::string NormalBody(const std::string& output) {
  const size_t end = output.find("\r\n\r\n");
  if (end == std::string::npos) {
    ADD_FAILURE() << "no header block in: " << output.substr(0, 200);
    return "";
  }
  const std::string body = output.substr(end + 4);
  EXPECT_EQ(output.substr(0, end + 4),
            "Status: 200 OK\r\nContent-Type: text/html\r\nContent-Length: " +
                std::to_string(body.size()) +
                "\r\nContent-Security-Policy: sandbox\r\nX-Content-Type-Options: "
                "nosniff\r\nContent:\r\n\r\n");
  return body;
}

// The document's lines; every line must end in CR LF.
std::vector<std::string> Lines(const std::string& document) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < document.size()) {
    size_t end = document.find("\r\n", start);
    if (end == std::string::npos) {
      ADD_FAILURE() << "last line without CR LF: " << document.substr(start);
      break;
    }
    lines.push_back(document.substr(start, end - start));
    start = end + 2;
  }
  return lines;
}

std::string Element(const std::string& name, const std::string& kind, const std::string& value) {
  return " <" + name + " DATATYPE=\"" + kind + "\">" + value + "</" + name + ">";
}

std::vector<std::string> StatusLines(const std::string& timestamp, const std::string& agent,
                                     const std::string& floatText, const std::string& date,
                                     const std::string& time, const std::string& dateTime) {
  return {"<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>",
          "<STATUS>",
          Element("TIMESTAMP", "DATETIME", timestamp),
          Element("AGENT", "STRING", agent),
          Element("MSGDATA", "STRING", "Servi\xE7o em Opera\xE7\xE3o"),
          "<DATATYPES>",
          Element("STRING", "STRING", "ABCDEFGHIJKLMNOPQRSTWVWXYZ"),
          Element("INTEGER", "INTEGER", "2147483647"),
          Element("BOOLEAN", "BOOLEAN", "True"),
          Element("FLOAT", "FLOAT", floatText),
          Element("DATE", "DATE", date),
          Element("TIME", "TIME", time),
          Element("DATETIME", "DATETIME", dateTime),
          "</DATATYPES>",
          "</STATUS>"};
}

// The message of an ERROR document as a client reads it, after checking the document's shape
// and that an XML parser reads it.
std::string ErrorMessage(const std::string& document) {
  std::string error;
  test::ReadXmlDocument(document, error);
  EXPECT_EQ(error, "") << document.substr(0, 300);
  const std::string head = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\r\n<ERROR>\r\n";
  const std::string tail = "</MSGDATA>\r\n</ERROR>\r\n";
  const std::string open = " <MSGDATA DATATYPE=\"STRING\">";
  if (document.compare(0, head.size(), head) != 0 || document.size() < tail.size() ||
      document.compare(document.size() - tail.size(), tail.size(), tail) != 0) {
    ADD_FAILURE() << "not an ERROR document: " << document.substr(0, 300);
    return "";
  }
  const size_t timestampEnd = document.find("\r\n", head.size());
  const std::string timestamp = " <TIMESTAMP DATATYPE=\"DATETIME\">";
  EXPECT_EQ(document.compare(head.size(), timestamp.size(), timestamp), 0);
  EXPECT_EQ(document.compare(timestampEnd - 12, 12, "</TIMESTAMP>"), 0);
  const size_t messageStart = timestampEnd + 2;
  EXPECT_EQ(document.compare(messageStart, open.size(), open), 0);
  return test::UnescapeText(document.substr(
      messageStart + open.size(), document.size() - tail.size() - messageStart - open.size()));
}

std::vector<std::string> FakeTimeVariables(const std::string& moment) {
  return {std::string("LD_PRELOAD=") + kFakeTimeLibrary, "FAKETIME=" + moment, "TZ=UTC"};
}

std::vector<std::string> Join(std::vector<std::string> a, const std::vector<std::string>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

TEST(GatewayProcess, StatusDocumentWithBrazilianSettings) {
  const ChildResult result = Post(
      SendDataBody(kStatusRequest),
      Join({"LANG=pt_BR.UTF-8", "HTTP_USER_AGENT=abc"}, FakeTimeVariables("2025-12-08 21:13:05")));
  EXPECT_EQ(Lines(NormalBody(result.out)),
            StatusLines("08/12/2025 21:13:05", "abc", "1,7E308", "08/12/2025", "21:13:05",
                        "08/12/2025 21:13:05"));
}

TEST(GatewayProcess, StatusDocumentWithTheDefaultSettingsOfTheCLocale) {
  const ChildResult result =
      Post(SendDataBody(kStatusRequest),
           Join({"HTTP_USER_AGENT=probe/1.0"}, FakeTimeVariables("2025-12-08 21:13:05")));
  EXPECT_EQ(Lines(NormalBody(result.out)),
            StatusLines("12/8/25 9:13:05 pm", "probe/1.0", "1.7E308", "12/8/25", "9:13:05 pm",
                        "12/8/25 9:13:05 pm"));
}

TEST(GatewayProcess, AtMidnightTheDateTimeTextsShowTheDateAlone) {
  const ChildResult brazil =
      Post(SendDataBody(kStatusRequest),
           Join({"LANG=pt_BR.UTF-8"}, FakeTimeVariables("2025-12-08 00:00:00")));
  EXPECT_EQ(Lines(NormalBody(brazil.out)),
            StatusLines("08/12/2025", "", "1,7E308", "08/12/2025", "00:00:00", "08/12/2025"));
  const ChildResult plain =
      Post(SendDataBody(kStatusRequest), FakeTimeVariables("2025-12-08 00:00:00"));
  EXPECT_EQ(Lines(NormalBody(plain.out)),
            StatusLines("12/8/25", "", "1.7E308", "12/8/25", "12:00:00 am", "12/8/25"));
}

TEST(GatewayProcess, StatusDocumentShowsTheRealClock) {
  // The clock as the program reads it must fall between two readings taken around the run.
  auto today = [] {
    time_t now = time(nullptr);
    tm local{};
    localtime_r(&now, &local);
    char text[16];
    strftime(text, sizeof text, "%d/%m/%Y", &local);
    return std::string(text);
  };
  const std::string before = today();
  const ChildResult result =
      Post(SendDataBody(kStatusRequest), {"LANG=pt_BR.UTF-8", "HTTP_USER_AGENT=x"});
  const std::string after = today();
  const std::vector<std::string> lines = Lines(NormalBody(result.out));
  ASSERT_EQ(lines.size(), 15u);
  const std::regex dateTime(
      R"( <(TIMESTAMP|DATETIME) DATATYPE="DATETIME">(\d\d/\d\d/\d{4})( \d\d:\d\d:\d\d)?</\1>)");
  std::smatch match;
  for (size_t index : {2u, 12u}) {
    ASSERT_TRUE(std::regex_match(lines[index], match, dateTime)) << lines[index];
    EXPECT_TRUE(match[2] == before || match[2] == after) << lines[index];
  }
  ASSERT_TRUE(
      std::regex_match(lines[10], match, std::regex(R"( <DATE DATATYPE="DATE">(.*)</DATE>)")));
  EXPECT_TRUE(match[1] == before || match[1] == after) << lines[10];
  EXPECT_TRUE(
      std::regex_match(lines[11], std::regex(R"( <TIME DATATYPE="TIME">\d\d:\d\d:\d\d</TIME>)")))
      << lines[11];
}

TEST(GatewayProcess, WithoutServerProtocolOnlyTheDocumentIsWritten) {
  const std::string body = SendDataBody(kStatusRequest);
  const ChildResult result =
      Serve(Join({"REQUEST_METHOD=POST", "CONTENT_LENGTH=" + std::to_string(body.size())},
                 FakeTimeVariables("2025-12-08 21:13:05")),
            body);
  EXPECT_EQ(Lines(result.out), StatusLines("12/8/25 9:13:05 pm", "", "1.7E308", "12/8/25",
                                           "9:13:05 pm", "12/8/25 9:13:05 pm"));
}

TEST(GatewayProcess, RequestsTheGatewayRefusesGetAnErrorDocument) {
  struct Case {
    const char* name;
    std::string body;
    std::string message;  // the whole message text
  };
  const std::string wrongRoot = Request("OTHER", "SERVICESTATUS");
  const Case cases[] = {
      {"short escape", "SENDDATA=%4",
       "Error decoding URL style (%XX) encoded string at position 10\r\r"},
      {"bad escape", "SENDDATA=%G1", "Invalid URL encoded character (%G1) at position 10\r\r"},
      {"bad base64 length", "SENDDATA=QUJDR", "Uneven size in DecodeToStream.\r\r"},
      {"wrong root", SendDataBody(wrongRoot), "Elemento SENDDATA n\xE3o encontrado"},
      {"unknown service", SendDataBody(Request("SENDDATA", "SERVICESTATUSX")),
       "XML de entrada mal formatada"},
      {"empty service", SendDataBody(Request("SENDDATA", "")), "XML de entrada mal formatada"},
      {"error service", SendDataBody(Request("SENDDATA", "SERVICEERROR")), "Erro desconhecido"},
      {"names in other case",
       "senddata=" + test::UrlEncode(test::Base64Encode(Request("SendData", "serviceError"))),
       "Erro desconhecido"},
      {"first of two fields",
       SendDataBody(Request("SENDDATA", "SERVICEERROR")) + "&" + SendDataBody(kStatusRequest),
       "Erro desconhecido"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ErrorMessage(NormalBody(Post(c.body).out)), c.message);
  }
}

TEST(GatewayProcess, AFailureAfterDecodingCarriesTheDecodedRequest) {
  // Not XML at all, XML without the SERVICE element, and a query on a database that does not
  // exist: the failure's message, two CR bytes and the decoded text, base64 fields included.
  const std::string query =
      "<?xml version=\"1.0\"?><SENDDATA><SERVICE>SERVICEOPENSQL</SERVICE>"
      "<DB>/nonexistent/xg-e2e.fdb</DB><USER>SYSDBA</USER><PASS>bWFzdGVya2V5</PASS>"
      "<SQL>U0VMRUNUIDEgRlJPTSBSREIkREFUQUJBU0U=</SQL></SENDDATA>";
  for (const std::string& request :
       {std::string("hello, not XML"), std::string("<?xml version=\"1.0\"?><SENDDATA/>"), query}) {
    const std::string message = ErrorMessage(NormalBody(Post(SendDataBody(request)).out));
    const std::string ending = "\r\r" + request;
    ASSERT_GT(message.size(), ending.size()) << message;
    EXPECT_EQ(message.substr(message.size() - ending.size()), ending);
  }
}

TEST(GatewayProcess, RequestsWithoutABodyReachTheActionWithAnEmptyField) {
  const std::vector<std::vector<std::string>> environments = {
      {"REQUEST_METHOD=POST", "SERVER_PROTOCOL=HTTP/1.1", "CONTENT_LENGTH=0"},
      {"REQUEST_METHOD=GET", "SERVER_PROTOCOL=HTTP/1.1",
       "QUERY_STRING=" + SendDataBody(kStatusRequest)},  // the query string is not read
      {"REQUEST_METHOD=PUT", "SERVER_PROTOCOL=HTTP/1.1", "CONTENT_LENGTH=-5"},
  };
  for (const auto& variables : environments) {
    SCOPED_TRACE(variables[0]);
    const std::string message =
        ErrorMessage(NormalBody(Serve(variables, SendDataBody(kStatusRequest)).out));
    ASSERT_GE(message.size(), 3u);
    EXPECT_EQ(message.substr(message.size() - 2), "\r\r");
  }
}

TEST(GatewayProcess, EveryMethodAndPathIsServedByTheGatewayAction) {
  const std::string body = SendDataBody(Request("SENDDATA", "SERVICEERROR"));
  const std::pair<const char*, const char*> requests[] = {
      {"POST", "/Default"}, {"get", "/dEfAuLt"}, {"PUT", "/other/path"}, {"OPTIONS", ""}};
  for (const auto& [method, path] : requests) {
    SCOPED_TRACE(std::string(method) + " " + path);
    const ChildResult result =
        Serve({std::string("REQUEST_METHOD=") + method, "SERVER_PROTOCOL=HTTP/1.1",
               std::string("PATH_INFO=") + path, "CONTENT_LENGTH=" + std::to_string(body.size())},
              body);
    EXPECT_EQ(ErrorMessage(NormalBody(result.out)), "Erro desconhecido");
  }
}

TEST(GatewayProcess, ContentLengthDecidesHowMuchOfTheInputCounts) {
  const std::string body = SendDataBody(Request("SENDDATA", "SERVICEERROR"));
  // Bytes beyond the length are not read: the garbage after the body does not count.
  const ChildResult shorter = Serve({"REQUEST_METHOD=POST", "SERVER_PROTOCOL=HTTP/1.1",
                                     "CONTENT_LENGTH=" + std::to_string(body.size())},
                                    body + "%ZZ&garbage");
  EXPECT_EQ(ErrorMessage(NormalBody(shorter.out)), "Erro desconhecido");
  // An input that ends before the length: the bytes that arrived count.
  const ChildResult longer = Serve({"REQUEST_METHOD=POST", "SERVER_PROTOCOL=HTTP/1.1",
                                    "CONTENT_LENGTH=" + std::to_string(body.size() + 100)},
                                   body);
  EXPECT_EQ(ErrorMessage(NormalBody(longer.out)), "Erro desconhecido");
  // The standard CGI name and its "HTTP_" form both reach the length.
  const ChildResult httpName = Serve({"REQUEST_METHOD=POST", "SERVER_PROTOCOL=HTTP/1.1",
                                      "HTTP_CONTENT_LENGTH=" + std::to_string(body.size())},
                                     body);
  EXPECT_EQ(ErrorMessage(NormalBody(httpName.out)), "Erro desconhecido");
}

TEST(GatewayProcess, AHugeClaimedLengthIsAnsweredWithoutHoldingTheClaim) {
  const std::string body = SendDataBody(Request("SENDDATA", "SERVICEERROR"));
  // Without a sanitizer (which maps huge shadow areas) the program also runs with an address
  // space too small for the claimed length, so that even reserving the claim would fail.
  test::ChildLimits limits;
#if !defined(__SANITIZE_ADDRESS__)
  limits.address_space_mb = 1024;
#endif
  const ChildResult result = Serve(
      {"REQUEST_METHOD=POST", "SERVER_PROTOCOL=HTTP/1.1", "CONTENT_LENGTH=2000000000",
       "XMLGATEWAY_CONF=" + test::WriteConfigFile("[limits]\nmax-request-bytes = 2000000000\n")},
      body, limits);
  EXPECT_EQ(ErrorMessage(NormalBody(result.out)), "Erro desconhecido");
  EXPECT_LT(result.max_rss_kb, 200 * 1024) << "peak memory grew with the claimed length";
}

#if !defined(__SANITIZE_ADDRESS__)
TEST(GatewayProcess, ABodyThatCannotBeHeldGetsTheServerFailurePage) {
  // 96 MiB of body in an address space of 128 MiB, of which the program's libraries take about
  // a third.
  const std::string body(96 * 1024 * 1024, 'a');
  test::ChildLimits limits;
  limits.address_space_mb = 128;
  const ChildResult result =
      Serve({"REQUEST_METHOD=POST", "SERVER_PROTOCOL=HTTP/1.1",
             "CONTENT_LENGTH=" + std::to_string(body.size()),
             "XMLGATEWAY_CONF=" + test::WriteConfigFile("[limits]\nmax-request-bytes = 100M\n")},
            body, limits);
  EXPECT_EQ(result.out, ServerFailurePage("EOutOfMemory", "Out of memory"));
}
#endif

TEST(GatewayProcess, ABodyAboveTheRequestLimitGetsTheServerFailurePageUnread) {
  const std::string body = SendDataBody(kStatusRequest);
  // The default limit, 16 MiB, against a claim beyond 32 bits that no body follows: the answer
  // comes at once, without waiting for the claimed bytes.
  ChildResult result =
      Serve({"REQUEST_METHOD=POST", "SERVER_PROTOCOL=HTTP/1.1", "CONTENT_LENGTH=2147483648"}, body);
  EXPECT_EQ(result.out, ServerFailurePage("EWebException",
                                          "Request body of 2147483648 bytes is larger than "
                                          "max-request-bytes (16777216 bytes)"));
  const std::string config = test::WriteConfigFile("[limits]\nmax-request-bytes = 200\n");
  const std::string small = SendDataBody(Request("SENDDATA", "SERVICEERROR"));
  ASSERT_LE(small.size(), 200u);
  result = Post(small, {"XMLGATEWAY_CONF=" + config});
  EXPECT_EQ(ErrorMessage(NormalBody(result.out)), "Erro desconhecido");
  result = Post(small + std::string(201 - small.size(), 'x'), {"XMLGATEWAY_CONF=" + config});
  EXPECT_EQ(result.out, ServerFailurePage("EWebException",
                                          "Request body of 201 bytes is larger than "
                                          "max-request-bytes (200 bytes)"));
}

TEST(GatewayProcess, AConfigurationThatCannotBeUsedAnswersEveryRequestWithItsError) {
  const std::string body = SendDataBody(kStatusRequest);
  const std::string broken = test::WriteConfigFile("[databases]\nallow = *\n\n[limits]\nmax = 1\n");
  EXPECT_EQ(Post(body, {"XMLGATEWAY_CONF=" + broken}).out,
            ServerFailurePage("EConfigError", "Error in configuration file " + broken +
                                                  ", line 5: unknown key max in section [limits]"));
  const std::string missing = broken + ".absent";
  EXPECT_EQ(Post(body, {"XMLGATEWAY_CONF=" + missing}).out,
            ServerFailurePage("EConfigError", "Cannot read configuration file " + missing +
                                                  ": No such file or directory"));
  // A variable set but empty names no file: neither the default file nor the defaults (which
  // allow every database) are used in its place.
  EXPECT_EQ(Post(body, {"XMLGATEWAY_CONF="}).out,
            ServerFailurePage("EConfigError",
                              "XMLGATEWAY_CONF is set but empty: it names no configuration file"));
  // A request log that is the program's own standard output would write into the answer.
  for (const char* path : {"/dev/stdout", "/proc/self/fd/1", "/dev/fd/1"}) {
    const std::string log_on_answer =
        test::WriteConfigFile(std::string("[log]\nsql = on\nrequests = ") + path + "\n");
    EXPECT_EQ(Post(body, {"XMLGATEWAY_CONF=" + log_on_answer}).out,
              ServerFailurePage("EConfigError",
                                "Error in configuration file " + log_on_answer +
                                    ", line 3: requests = " + path +
                                    " is the program's standard output, which carries the answer "
                                    "(stderr reaches the web server's error log)"));
  }
}

TEST(GatewayProcess, AnElementWithManyAttributesIsRefusedBeforeParsing) {
  // About 3 MB of attributes on the root: the parser would check each against all before it.
  std::string document = "<?xml version=\"1.0\"?><SENDDATA";
  for (int i = 0; document.size() < 3000000; ++i) document += " a" + std::to_string(i) + "=\"\"";
  document += "><SERVICE>SERVICESTATUS</SERVICE></SENDDATA>";
  const std::string message = ErrorMessage(NormalBody(Post(SendDataBody(document)).out));
  EXPECT_EQ(message.substr(0, message.find("\r\r")),
            "An element of the document could have more than 32 attributes");
}

TEST(GatewayProcess, BinaryGarbageGetsAnAnswerAndNeverACrash) {
  std::mt19937 random(20251208);
  for (int round = 0; round < 12; ++round) {
    std::string raw(1 + random() % 3000, '\0');
    for (char& c : raw) c = static_cast<char>(random() & 0xFF);
    const std::string body = round % 3 == 0   ? raw
                             : round % 3 == 1 ? "SENDDATA=" + raw
                                              : SendDataBody(raw);
    SCOPED_TRACE(round);
    const std::string message = ErrorMessage(NormalBody(Post(body).out));
    EXPECT_NE(message.find("\r\r"), std::string::npos);
    // Decoded garbage reaches the parser and comes back after the message, each control
    // character that XML cannot carry as "?".
    std::string carried = raw;
    for (char& c : carried) {
      if (static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n' && c != '\r') c = '?';
    }
    const std::string ending = "\r\r" + carried;
    if (round % 3 == 2 && message.size() >= ending.size()) {
      EXPECT_EQ(message.substr(message.size() - ending.size()), ending);
    } else if (round % 3 == 2) {
      ADD_FAILURE() << "the decoded text is missing from the message";
    }
  }
}

}  // namespace
}  // namespace xg
