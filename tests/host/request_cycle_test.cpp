#include <gtest/gtest.h>

#include <functional>
#include <new>

#include "host/startup.h"
#include "support/expected_failure_page.h"
#include "support/fake_request.h"
#include "support/scoped_config.h"
#include "texts/exceptions.h"

namespace xg {
namespace {

using test::FakeRequest;
using test::ServerFailurePage;

// What the test action does; set by each test.
struct Script {
  std::function<std::string(CgiRequest&)> action;
  int action_calls = 0;
};
Script script;

Spool ScriptedAction(CgiRequest& request, const GatewayContext&, const RegionalSettings&,
                     RequestSummary&) {
  ++script.action_calls;
  return script.action ? script.action(request) : std::string();
}

class RequestCycle : public ::testing::Test {
 protected:
  void SetUp() override { script = Script(); }

  // Serves one request with the test action; answers what was written.
  std::string Serve(std::map<std::string, std::string> variables, std::string body = "",
                    LoadedGatewayConfig config = LoadedGatewayConfig()) {
    variables.emplace("SERVER_PROTOCOL", "HTTP/1.1");
    FakeRequest request;
    request.variables = std::move(variables);
    if (!body.empty()) request.reads.push_back({std::move(body)});
    Host(RegionalSettings(), &ScriptedAction, ServingMode::kCgi, RequestLog(), std::move(config))
        .Serve(request);
    return request.Output();
  }
};

std::string NormalAnswer(const std::string& body) {
  return "Status: 200 OK\r\nContent-Type: text/html\r\nContent-Length: " +
         std::to_string(body.size()) +
         "\r\nContent-Security-Policy: sandbox\r\nX-Content-Type-Options: "
         "nosniff\r\nContent:\r\n\r\n" +
         body;
}

TEST_F(RequestCycle, EveryMethodAndPathRunsTheActionOnceAndSendsOnce) {
  script.action = [](CgiRequest&) { return "doc"; };
  for (const char* method : {"POST", "GET", "put", "HEAD", "OPTIONS", ""}) {
    for (const char* path : {"", "/Default", "/dEfAuLt", "/other", "/Default/x"}) {
      script.action_calls = 0;
      EXPECT_EQ(Serve({{"REQUEST_METHOD", method}, {"PATH_INFO", path}}), NormalAnswer("doc"))
          << method << " " << path;
      EXPECT_EQ(script.action_calls, 1) << method << " " << path;
    }
  }
}

TEST_F(RequestCycle, OutputCountsAsStartedOnceTheAnswerIsWritten) {
  FakeRequest request({{"SERVER_PROTOCOL", "HTTP/1.1"}});
  static FakeRequest* current;
  current = &request;
  script.action = [](CgiRequest&) {
    // Nothing is written before the answer is complete.
    EXPECT_FALSE(current->fault_state().OutputStarted());
    return std::string("doc");
  };
  Host(RegionalSettings(), &ScriptedAction).Serve(request);
  EXPECT_TRUE(request.fault_state().OutputStarted());
  EXPECT_EQ(request.Output(), NormalAnswer("doc"));
}

TEST_F(RequestCycle, AnExceptionFromTheActionGivesTheInternalApplicationErrorPage) {
  script.action = [](CgiRequest&) -> std::string {
    throw EConvertError("bad <script>\"a\" & 'b'</script>");
  };
  // What the page echoes is escaped: a browser shows it as text and runs nothing.
  const std::string page =
      "<html><body><h1>Internal Application Error</h1>\r\n"
      "<p>bad &lt;script&gt;&quot;a&quot; &amp; 'b'&lt;/script&gt;\r\n"
      "<p><hr width=\"100%\"><i>/p/&lt;q&gt;</i></body></html>";
  EXPECT_EQ(Serve({{"PATH_INFO", "/p/<q>"}}),
            "Status: 500 Internal Server Error\r\nContent-Type: text/html\r\nContent-Length: " +
                std::to_string(page.size()) +
                "\r\nContent-Security-Policy: sandbox\r\nX-Content-Type-Options: "
                "nosniff\r\nContent:\r\n\r\n" +
                page);
}

TEST_F(RequestCycle, RunningOutOfMemoryInTheActionIsAnException) {
  script.action = [](CgiRequest&) -> std::string { throw std::bad_alloc(); };
  const std::string output = Serve({});
  EXPECT_EQ(output.rfind("Status: 500 Internal Server Error\r\n", 0), 0u) << output;
  EXPECT_NE(output.find("<p>Out of memory\r\n"), std::string::npos) << output;
}

TEST_F(RequestCycle, ARaisedObjectThatIsNoExceptionGivesTheServerFailurePage) {
  script.action = [](CgiRequest&) -> std::string { throw 7; };
  EXPECT_EQ(Serve({}), ServerFailurePage("int", ""));
}

TEST_F(RequestCycle, FailuresBeforeTheActionGiveTheServerFailurePage) {
  EXPECT_EQ(Serve({{"CONTENT_LENGTH", "3"}}, "a=1",
                  test::LoadedConfig("[limits]\nmax-request-bytes = 2\n")),
            ServerFailurePage("EWebException",
                              "Request body of 3 bytes is larger than max-request-bytes (2 "
                              "bytes)"));
  EXPECT_EQ(script.action_calls, 0);
}

TEST_F(RequestCycle, AConfigurationThatCouldNotBeLoadedFailsEveryRequestBeforeItIsRead) {
  FakeRequest request({{"SERVER_PROTOCOL", "HTTP/1.1"}, {"CONTENT_LENGTH", "3"}}, "a=1");
  Host(RegionalSettings(), &ScriptedAction, ServingMode::kCgi, RequestLog(),
       test::LoadedConfig("[limits]\nmax-request-bytes = lots\n", "/etc/x.conf"))
      .Serve(request);
  EXPECT_NE(request.Output().find("Error in configuration file /etc/x.conf, line 2: "),
            std::string::npos)
      << request.Output();
  EXPECT_EQ(request.read_calls, 0);
  EXPECT_EQ(script.action_calls, 0);
}

// A body that cannot be held in memory.
class ExhaustedRequest : public FakeRequest {
 public:
  using FakeRequest::FakeRequest;
  long Read(char*, size_t) override { throw std::bad_alloc(); }
};

TEST_F(RequestCycle, RunningOutOfMemoryWhileReadingTheBodyGivesTheServerFailurePage) {
  ExhaustedRequest exhausted({{"SERVER_PROTOCOL", "HTTP/1.1"}, {"CONTENT_LENGTH", "10"}});
  Host(RegionalSettings(), &ScriptedAction).Serve(exhausted);
  EXPECT_EQ(exhausted.Output(), ServerFailurePage("EOutOfMemory", "Out of memory"));
  EXPECT_EQ(script.action_calls, 0);
}

}  // namespace
}  // namespace xg
