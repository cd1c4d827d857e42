#include <gtest/gtest.h>

#include <functional>
#include <new>

#include "host/cgi_application.h"
#include "host/path_mask.h"
#include "runtime/exceptions.h"
#include "support/fake_env.h"

namespace xg {
namespace {

using test::FakeEnv;

// What the test module's handlers do; set by each test.
struct Script {
  std::function<void(TWebRequest&, TWebResponse&, bool&)> action;
  std::function<void(TWebRequest&, TWebResponse&, bool&)> otherAction;
  TWebExceptionEvent onException;
  int actionCalls = 0;
  int otherCalls = 0;
  int modulesAlive = 0;
};
Script script;

// A module like the gateway's (a default item "Default" for "/Default", any method) with a
// second item for paths "/b*" so that dispatch order shows.
class TestModule : public TWebModule {
 public:
  TestModule() {
    ++script.modulesAlive;
    TWebActionItem& main = Actions().Add();
    main.SetDefault(true);
    main.SetName("Default");
    main.SetPathInfo("/Default");
    main.OnAction = [](TObject&, TWebRequest& q, TWebResponse& r, bool& handled) {
      ++script.actionCalls;
      if (script.action) script.action(q, r, handled);
    };
    TWebActionItem& other = Actions().Add();
    other.SetPathInfo("b*");
    other.OnAction = [](TObject&, TWebRequest& q, TWebResponse& r, bool& handled) {
      ++script.otherCalls;
      if (script.otherAction) script.otherAction(q, r, handled);
    };
    OnException = script.onException;
  }
  ~TestModule() override { --script.modulesAlive; }
};

const TWebModuleClass kTestModule{"TestModule", [](const RegionalSettings&) {
                                    return std::unique_ptr<TWebModule>(new TestModule);
                                  }};
const TWebModuleClass kNoModule{
    "NoModule", [](const RegionalSettings&) { return std::unique_ptr<TWebModule>(); }};
// The test module writes no values, so the empty settings do.
const RegionalSettings& NoSettings() {
  static const RegionalSettings settings;
  return settings;
}

class RequestCycle : public ::testing::Test {
 protected:
  void SetUp() override { script = Script(); }

  // Runs one request with the test module; answers what was written.
  std::string Serve(std::map<std::string, std::string> variables, std::string body = "") {
    variables.emplace("SERVER_PROTOCOL", "HTTP/1.1");
    env = FakeEnv();
    env.variables = std::move(variables);
    if (!body.empty()) env.reads.push_back({std::move(body)});
    TCGIApplication application(env, NoSettings());
    application.SetModuleClass(kTestModule);
    application.Run();
    EXPECT_EQ(script.modulesAlive, 0);
    return env.Output();
  }

  FakeEnv env;
};

std::string NormalAnswer(const std::string& body) {
  return "Status: 200 OK\r\nContent-Type: text/html\r\nContent-Length: " +
         std::to_string(body.size()) +
         "\r\nContent-Security-Policy: sandbox\r\nX-Content-Type-Options: "
         "nosniff\r\nContent:\r\n\r\n" +
         body;
}

std::string ServerFailurePage(const std::string& className, const std::string& message) {
  const std::string page =
      "<html><title>Internal Server Error 500</title>\r\n<h1>Internal Server Error 500</h1>"
      "<hr>\r\nException: " +
      className + "<br>\r\nMessage: " + message + "<br></html>\r\n";
  return "Status: 500 " + message +
         "\r\nContent-Type: text/html\r\nContent-Length: " + std::to_string(page.size()) +
         "\r\nContent-Security-Policy: sandbox\r\nX-Content-Type-Options: nosniff\r\n\r\n" + page;
}

TEST_F(RequestCycle, EveryMethodAndPathRunsTheDefaultActionOnceAndSendsOnce) {
  script.action = [](TWebRequest&, TWebResponse& r, bool&) { r.SetContent("doc"); };
  for (const char* method : {"POST", "GET", "put", "HEAD", "OPTIONS", ""}) {
    for (const char* path : {"", "/Default", "/dEfAuLt", "/other", "/Default/x"}) {
      script.actionCalls = 0;
      EXPECT_EQ(Serve({{"REQUEST_METHOD", method}, {"PATH_INFO", path}}), NormalAnswer("doc"))
          << method << " " << path;
      EXPECT_EQ(script.actionCalls, 1) << method << " " << path;
    }
  }
  EXPECT_EQ(script.otherCalls, 0);
}

TEST_F(RequestCycle, ItemsThatMatchComeBeforeTheDefaultItem) {
  script.otherAction = [](TWebRequest&, TWebResponse& r, bool&) { r.SetContent("other"); };
  EXPECT_EQ(Serve({{"PATH_INFO", "/bx"}}), NormalAnswer("other"));
  EXPECT_EQ(script.actionCalls, 0);
  // The default item, which leaves the content empty: no length line.
  EXPECT_EQ(Serve({{"PATH_INFO", "/x"}}),
            "Status: 200 OK\r\nContent-Type: text/html\r\nContent-Security-Policy: "
            "sandbox\r\nX-Content-Type-Options: nosniff\r\nContent:\r\n\r\n");
  EXPECT_EQ(script.actionCalls, 1);
}

TEST_F(RequestCycle, AHandlerThatSendsItselfIsNotSentTwice) {
  script.action = [](TWebRequest&, TWebResponse& r, bool&) {
    r.SetContent("once");
    r.SendResponse();
  };
  EXPECT_EQ(Serve({}), NormalAnswer("once"));
}

TEST_F(RequestCycle, AnUnhandledRequestWritesNothing) {
  script.action = [](TWebRequest&, TWebResponse& r, bool& handled) {
    r.SetContent("x");
    handled = false;
  };
  EXPECT_EQ(Serve({}), "");
}

TEST_F(RequestCycle, AnExceptionFromTheActionGivesTheInternalApplicationErrorPage) {
  script.action = [](TWebRequest&, TWebResponse& r, bool&) {
    r.SetContent("lost");
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
  script.action = [](TWebRequest&, TWebResponse&, bool&) { throw std::bad_alloc(); };
  const std::string output = Serve({});
  EXPECT_EQ(output.rfind("Status: 500 Internal Server Error\r\n", 0), 0u) << output;
  EXPECT_NE(output.find("<p>Out of memory\r\n"), std::string::npos) << output;
}

TEST_F(RequestCycle, AnExceptionAfterTheResponseWasSentChangesNothingWritten) {
  script.action = [](TWebRequest&, TWebResponse& r, bool&) {
    r.SetContent("sent");
    r.SendResponse();
    throw Exception("late");
  };
  EXPECT_EQ(Serve({}), NormalAnswer("sent"));
}

TEST_F(RequestCycle, ARaisedObjectThatIsNoExceptionGivesTheServerFailurePage) {
  script.action = [](TWebRequest&, TWebResponse&, bool&) { throw 7; };
  EXPECT_EQ(Serve({}), ServerFailurePage("int", ""));
}

TEST_F(RequestCycle, OnExceptionSetsStatus500AndSendsWhenItKeepsHandled) {
  script.action = [](TWebRequest&, TWebResponse& r, bool&) {
    r.SetContent("from action");
    throw Exception("boom");
  };
  std::string seen;
  script.onException = [&](TObject&, const Exception& e, bool&) { seen = e.Message(); };
  EXPECT_EQ(Serve({}),
            "Status: 500 Internal Server Error\r\nContent-Type: text/html\r\n"
            "Content-Length: 11\r\nContent-Security-Policy: sandbox\r\nX-Content-Type-Options: "
            "nosniff\r\nContent:\r\n\r\nfrom action");
  EXPECT_EQ(seen, "boom");

  // A handler that declines leaves the page to the dispatcher.
  script.onException = [](TObject&, const Exception&, bool& handled) { handled = false; };
  EXPECT_NE(Serve({}).find("<h1>Internal Application Error</h1>"), std::string::npos);
}

TEST_F(RequestCycle, AFailureInsideTheFailureHandlingReachesTheServerFailurePage) {
  script.action = [](TWebRequest&, TWebResponse&, bool&) { throw Exception("first"); };
  script.onException = [](TObject&, const Exception&, bool&) { throw EConvertError("second"); };
  EXPECT_EQ(Serve({}), ServerFailurePage("EConvertError", "second"));
}

TEST_F(RequestCycle, FailuresBeforeDispatchGiveTheServerFailurePage) {
  FakeEnv noClass({{"SERVER_PROTOCOL", "HTTP/1.1"}});
  TCGIApplication(noClass, NoSettings()).Run();
  EXPECT_EQ(noClass.Output(), ServerFailurePage("EWebException", "No data modules registered"));

  FakeEnv noModule({{"SERVER_PROTOCOL", "HTTP/1.1"}});
  TCGIApplication application(noModule, NoSettings());
  application.SetModuleClass(kNoModule);
  application.Run();
  EXPECT_EQ(noModule.Output(),
            ServerFailurePage("EWebException", "No automatically activated data modules"));
}

// Standard input that cannot be held in memory.
class ExhaustedEnv : public FakeEnv {
 public:
  using FakeEnv::FakeEnv;
  long ReadInput(char*, size_t) override { throw std::bad_alloc(); }
};

TEST_F(RequestCycle, RunningOutOfMemoryWhileReadingTheBodyGivesTheServerFailurePage) {
  ExhaustedEnv exhausted({{"SERVER_PROTOCOL", "HTTP/1.1"}, {"CONTENT_LENGTH", "10"}});
  TCGIApplication application(exhausted, NoSettings());
  application.SetModuleClass(kTestModule);
  application.Run();
  EXPECT_EQ(exhausted.Output(), ServerFailurePage("EOutOfMemory", "Out of memory"));
  EXPECT_EQ(script.actionCalls, 0);
}

TEST(Application, SetModuleClassAcceptsOnlyOneClass) {
  FakeEnv env;
  TCGIApplication application(env, NoSettings());
  EXPECT_EQ(application.ModuleClass(), nullptr);
  application.SetModuleClass(kTestModule);
  application.SetModuleClass(kTestModule);
  EXPECT_EQ(application.ModuleClass(), &kTestModule);
  try {
    application.SetModuleClass(kNoModule);
    ADD_FAILURE() << "no failure";
  } catch (const Exception& e) {
    EXPECT_STREQ(e.ClassName(), "Exception");
    EXPECT_EQ(e.Message(), "Only one data module per application");
  }
  EXPECT_EQ(application.ModuleClass(), &kTestModule);
}

TEST(ActionItems, CollectionRulesHold) {
  TWebModule module;
  TWebActionItem& first = module.Actions().Add();
  TWebActionItem& second = module.Actions().Add();
  EXPECT_EQ(first.Name(), "WebActionItem1");
  EXPECT_EQ(second.Name(), "WebActionItem2");
  first.SetName("Default");
  EXPECT_THROW(second.SetName("DEFAULT"), EWebException);
  first.SetName("default");  // its own name in another case is fine
  first.SetDefault(true);
  second.SetDefault(true);
  EXPECT_FALSE(first.Default());
  EXPECT_TRUE(second.Default());
  first.SetPathInfo("Default");
  EXPECT_EQ(first.PathInfo(), "/Default");
  first.SetPathInfo("\\a\\b");
  EXPECT_EQ(first.PathInfo(), "/a/b");
}

TEST(PathMask, WildcardsSetsAndAsciiCase) {
  struct Case {
    const char* pattern;
    const char* text;
    bool matches;
  };
  const Case cases[] = {
      {"/Default", "/Default", true},
      {"/Default", "/DEFAULT", true},
      {"/Default", "/Default/", false},
      {"/Default", "", false},
      {"", "", true},
      {"", "/", false},
      {"/a*", "/a", true},
      {"/a*", "/abc/d", true},
      {"*/x", "/a/b/x", true},
      {"*/x", "/a/b/xy", false},
      {"/?", "/z", true},
      {"/?", "/", false},
      {"/a*b*c", "/aXbYbZc", true},
      {"/a*b*c", "/aXbYc Z", false},
      {"/[a-c]x", "/Bx", true},
      {"/[a-c]x", "/dx", false},
      {"/[!a-c]x", "/dx", true},
      {"/[!a-c]x", "/ax", false},
      {"/[ab", "/[ab", true},
      {"/\xE3", "/\xC3", false},  // ASCII folding only
  };
  for (const Case& c : cases)
    EXPECT_EQ(PathMask(c.pattern).Matches(c.text), c.matches) << c.pattern << " " << c.text;
}

}  // namespace
}  // namespace xg
