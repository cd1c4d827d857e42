#include "host/cgi_request.h"

#include <gtest/gtest.h>

#include "config/config_file.h"
#include "runtime/date_time.h"
#include "runtime/exceptions.h"
#include "support/fake_env.h"
#include "support/scoped_config.h"

namespace xg {
namespace {

using test::FakeEnv;

TEST(CGIRequest, LookupVariableFallsBackToTheOtherNameOnlyWhenEmpty) {
  struct Case {
    std::map<std::string, std::string> variables;
    std::string name;
    std::string expected;
  };
  const Case cases[] = {
      {{{"HTTP_CONTENT_LENGTH", "7"}, {"CONTENT_LENGTH", "9"}}, "HTTP_CONTENT_LENGTH", "7"},
      {{{"CONTENT_LENGTH", "9"}}, "HTTP_CONTENT_LENGTH", "9"},
      {{{"HTTP_CONTENT_LENGTH", ""}, {"CONTENT_LENGTH", "9"}}, "HTTP_CONTENT_LENGTH", "9"},
      {{{"HTTP_USER_AGENT", "ua"}}, "USER_AGENT", "ua"},
      {{{"HTTP_http_x", "lower"}}, "http_x", "lower"},  // the prefix counts only in upper case
      {{}, "REQUEST_METHOD", ""},
  };
  for (const Case& c : cases) {
    FakeEnv env;
    env.variables = c.variables;
    TCGIRequest request(env);
    EXPECT_EQ(request.LookupVariable(c.name), c.expected) << c.name;
  }
}

TEST(CGIRequest, VariablesByIndexReachTheStandardCgiNames) {
  FakeEnv env({{"REQUEST_METHOD", "POST"},
               {"SERVER_PROTOCOL", "HTTP/1.1"},
               {"PATH_INFO", "/Default"},
               {"HTTP_USER_AGENT", "agent/1"},
               {"CONTENT_TYPE", "text/plain"},
               {"HTTP_URL", "/u"},
               {"SCRIPT_NAME", "/cgi-bin/x"},
               {"HTTP_AUTHORIZATION", "Basic x"}});
  TCGIRequest request(env);
  EXPECT_EQ(request.Method(), "POST");
  EXPECT_EQ(request.ProtocolVersion(), "HTTP/1.1");
  EXPECT_EQ(request.PathInfo(), "/Default");
  EXPECT_EQ(request.GetMatchPath(), "/Default");
  EXPECT_EQ(request.UserAgent(), "agent/1");
  EXPECT_EQ(request.GetTextVar(static_cast<int>(RequestVar::ContentType)), "text/plain");
  EXPECT_EQ(request.GetTextVar(static_cast<int>(RequestVar::URL)), "/u");
  EXPECT_EQ(request.GetScriptPath(), "/cgi-bin/x");
  EXPECT_EQ(request.GetTextVar(static_cast<int>(RequestVar::Authorization)), "Basic x");
  EXPECT_EQ(request.GetTextVar(29), "");
  EXPECT_EQ(request.GetTextVar(-1), "");
  EXPECT_EQ(request.GetDateVar(static_cast<int>(RequestVar::Date)), -1.0);
}

TEST(CGIRequest, DateVariablesReadHttpDates) {
  const std::pair<const char*, DateTime> cases[] = {
      {"Sun, 06 Nov 1994 08:49:37 GMT", EncodeDate(1994, 11, 6) + EncodeTime(8, 49, 37, 0)},
      {"thu, 29 FEB 2024 23:00:00 GMT", EncodeDate(2024, 2, 29) + EncodeTime(23, 0, 0, 0)},
      {"06 Nov 1994 08:49:37 GMT", EncodeDate(1994, 11, 6) + EncodeTime(8, 49, 37, 0)},
      {"", -1.0},
      {"Fri, 29 Feb 2023 10:00:00 GMT", -1.0},
      {"Sun, 06 Nov 1994 24:00:00 GMT", -1.0},
      {"Sun, 06 Nov 1994 08:49:37", -1.0},
      {"Sunday, 06-Nov-94 08:49:37 GMT", -1.0},
  };
  for (const auto& [text, expected] : cases) {
    FakeEnv env({{"HTTP_IF_MODIFIED_SINCE", text}});
    EXPECT_EQ(TCGIRequest(env).GetDateVar(static_cast<int>(RequestVar::IfModifiedSince)), expected)
        << text;
  }
}

TEST(CGIRequest, MethodTypeComparesWithoutAsciiCase) {
  const std::pair<const char*, TMethodType> cases[] = {
      {"GET", mtGet},     {"put", mtPut}, {"post", mtPost}, {"Head", mtHead},
      {"OPTIONS", mtAny}, {"", mtAny},    {"POSTS", mtAny}, {"PO", mtAny},
  };
  for (const auto& [method, expected] : cases) {
    FakeEnv env({{"REQUEST_METHOD", method}});
    EXPECT_EQ(TCGIRequest(env).MethodType(), expected) << method;
  }
}

TEST(CGIRequest, IntegerVariablesFollowTheCgiNumberRules) {
  test::ScopedGatewayConfig config("[limits]\nmax-request-bytes = 2147483647\n");
  const std::pair<const char*, int32_t> cases[] = {
      {"13", 13},
      {"  13", 13},
      {"+7", 7},
      {"-5", -5},
      {"$1F", 31},
      {"x1f", 31},
      {"X1F", 31},
      {"0x10", 16},
      {"0X10", 16},
      {"-$10", -16},
      {"007", 7},
      {"2147483647", 2147483647},
      {"-2147483648", INT32_MIN},
      {"", -1},
      {"12 ", -1},
      {"1a", -1},
      {"-", -1},
      {"$", -1},
      {"0x", -1},
      {"$G", -1},
      {"\t5", -1},
      {"1.5", -1},
      {"--1", -1},
  };
  for (const auto& [text, expected] : cases) {
    FakeEnv env({{"HTTP_CONTENT_LENGTH", text}});
    EXPECT_EQ(TCGIRequest(env).ContentLength(), expected) << text;
  }
}

TEST(CGIRequest, ContentIsReadForContentLengthBytesAndNoMore) {
  FakeEnv env({{"CONTENT_LENGTH", "5"}}, "0123456789");
  TCGIRequest request(env);
  EXPECT_EQ(request.Content(), "01234");
  ASSERT_EQ(env.reads.size(), 1u);
  EXPECT_EQ(env.reads.front().bytes, "56789");  // left on standard input
}

TEST(CGIRequest, ContentHoldsWhatArrivedWhenTheInputEndsEarlyOrFails) {
  FakeEnv shortInput({{"CONTENT_LENGTH", "20"}}, "0123456789");
  EXPECT_EQ(TCGIRequest(shortInput).Content(), "0123456789");

  FakeEnv pieces({{"CONTENT_LENGTH", "9"}});
  pieces.reads = {{"abc"}, {"def"}, {"ghi"}};
  EXPECT_EQ(TCGIRequest(pieces).Content(), "abcdefghi");

  FakeEnv failing({{"CONTENT_LENGTH", "9"}});
  failing.reads = {{"abc"}, {"", true}, {"def"}};
  EXPECT_EQ(TCGIRequest(failing).Content(), "abc");
}

TEST(CGIRequest, StandardInputIsNotReadWithoutAPositiveLength) {
  for (const char* length : {"", "0", "-3", "abc", "1e3"}) {
    FakeEnv env({{"CONTENT_LENGTH", length}}, "a=1");
    TCGIRequest request(env);
    EXPECT_EQ(request.Content(), "") << length;
    EXPECT_EQ(request.FormFields().Count(), 0u) << length;
    EXPECT_EQ(env.read_calls, 0) << length;
  }
}

TEST(CGIRequest, AHugeClaimedLengthDoesNotReserveTheClaim) {
  test::ScopedGatewayConfig config("[limits]\nmax-request-bytes = 2000000000\n");
  FakeEnv env({{"CONTENT_LENGTH", "2000000000"}}, "a=1");
  TCGIRequest request(env);
  EXPECT_EQ(request.Content(), "a=1");
  // The reads ask for a bounded chunk, never for the claimed length at once.
  EXPECT_LE(env.largest_read_asked, 64u * 1024u);
  EXPECT_EQ(request.FormFields().Values("a"), "1");
}

TEST(CGIRequest, AClaimAboveTheRequestLimitIsRefusedBeforeAnyRead) {
  test::ScopedGatewayConfig config("[limits]\nmax-request-bytes = 10\n");
  // Beyond 32 bits a length is no integer variable (-1), but it is still refused as a claim.
  for (const char* length :
       {"11", " +11", "2147483648", "99999999999", "99999999999999999999999999"}) {
    FakeEnv env({{"CONTENT_LENGTH", length}}, "a=1");
    try {
      TCGIRequest request(env);
      ADD_FAILURE() << length << " accepted";
    } catch (const EWebException& e) {
      EXPECT_EQ(e.Message(),
                "Request body of " +
                    std::string(length).substr(std::string(length).find_first_not_of(" +")) +
                    " bytes is larger than max-request-bytes (10 bytes)");
    }
    EXPECT_EQ(env.read_calls, 0) << length;
  }
  // At the limit, and lengths that are no number, read as before.
  for (const char* length : {"10", "-5", "1e9", "$FFFF"}) {
    FakeEnv env({{"CONTENT_LENGTH", length}}, "a=1");
    EXPECT_NO_THROW(TCGIRequest request(env)) << length;
  }
}

TEST(CGIRequest, AConfigurationThatCouldNotBeLoadedFailsEveryRequest) {
  test::ScopedGatewayConfig config("[limits]\nmax-request-bytes = lots\n", "/etc/x.conf");
  FakeEnv env({{"CONTENT_LENGTH", "3"}}, "a=1");
  try {
    TCGIRequest request(env);
    ADD_FAILURE() << "served";
  } catch (const EConfigError& e) {
    EXPECT_EQ(e.Message().rfind("Error in configuration file /etc/x.conf, line 2: ", 0), 0u)
        << e.Message();
  }
  EXPECT_EQ(env.read_calls, 0);
}

TEST(CGIRequest, LargeBodiesArriveWhole) {
  std::string body(300 * 1024, 'x');
  body.replace(0, 2, "a=");
  FakeEnv env({{"CONTENT_LENGTH", std::to_string(body.size())}}, body);
  TCGIRequest request(env);
  EXPECT_EQ(request.Content(), body);
  EXPECT_EQ(request.FormFields().Values("A").size(), body.size() - 2);
}

TEST(CGIRequest, FormFieldsReadTheMissingBytesOnceMore) {
  FakeEnv env({{"CONTENT_LENGTH", "7"}});
  env.reads = {{"a=1"}, {""}, {"&b=2"}};  // the input pauses after three bytes
  TCGIRequest request(env);
  EXPECT_EQ(request.Content(), "a=1");
  const FormFieldList& fields = request.FormFields();
  ASSERT_EQ(fields.Count(), 2u);
  EXPECT_EQ(fields[1], "b=2");
  EXPECT_EQ(&request.FormFields(), &fields);  // made once
}

TEST(CGIRequest, ResolvePathReplacesThePathInfoEndingOfPathTranslated) {
  FakeEnv env({{"PATH_INFO", "/x/y"}, {"PATH_TRANSLATED", "/srv/www/x/y"}});
  EXPECT_EQ(TCGIRequest(env).ResolvePath("/a.html"), "/srv/www/a.html");
  FakeEnv other({{"PATH_INFO", "/x/y"}, {"PATH_TRANSLATED", "/srv/www/x/Y"}});
  EXPECT_EQ(TCGIRequest(other).ResolvePath("/a.html"), "/a.html");
}

TEST(CGIRequest, WriteTextWritesOnceAndReportsFailure) {
  FakeEnv env;
  TCGIRequest request(env);
  EXPECT_FALSE(request.WriteText(""));
  EXPECT_TRUE(env.writes.empty());
  EXPECT_TRUE(request.WriteText(std::string("a\0b", 3)));
  EXPECT_TRUE(request.WriteHeaderBlock(404, "299 text", "X: y\r\n"));
  ASSERT_EQ(env.writes.size(), 2u);
  EXPECT_EQ(env.writes[0], std::string("a\0b", 3));
  EXPECT_EQ(env.writes[1], "Status: 299 text\r\nX: y\r\n");
  env.fail_writes = true;
  EXPECT_FALSE(request.WriteText("x"));
}

}  // namespace
}  // namespace xg
