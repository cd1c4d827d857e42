#include "host/cgi_request.h"

#include <gtest/gtest.h>

#include "config/config_file.h"
#include "support/fake_request.h"
#include "texts/exceptions.h"

namespace xg {
namespace {

using test::FakeRequest;

TEST(CgiRequest, AVariableFallsBackToTheOtherNameOnlyWhenEmpty) {
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
    FakeRequest env;
    env.variables = c.variables;
    CgiRequest request(env);
    EXPECT_EQ(request.Variable(c.name), c.expected) << c.name;
  }
}

TEST(CgiRequest, TheVariablesTheAnswerUsesReachTheirCgiNames) {
  FakeRequest env(
      {{"SERVER_PROTOCOL", "HTTP/1.1"}, {"PATH_INFO", "/Default"}, {"USER_AGENT", "agent/1"}});
  CgiRequest request(env);
  EXPECT_EQ(request.ProtocolVersion(), "HTTP/1.1");
  EXPECT_EQ(request.PathInfo(), "/Default");
  EXPECT_EQ(request.UserAgent(), "agent/1");  // through the name without "HTTP_"
  FakeRequest bare;
  EXPECT_EQ(CgiRequest(bare).ProtocolVersion(), "");
}

TEST(CgiRequest, IntegerVariablesFollowTheCgiNumberRules) {
  const int64_t max_request_bytes = 2147483647;
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
    FakeRequest env({{"CONTENT_LENGTH", text}});
    EXPECT_EQ(CgiRequest(env, max_request_bytes).ContentLength(), expected) << text;
  }
}

TEST(CgiRequest, ContentIsReadForContentLengthBytesAndNoMore) {
  FakeRequest env({{"CONTENT_LENGTH", "5"}}, "0123456789");
  CgiRequest request(env);
  EXPECT_EQ(request.content(), "01234");
  ASSERT_EQ(env.reads.size(), 1u);
  EXPECT_EQ(env.reads.front().bytes, "56789");  // left on standard input
}

TEST(CgiRequest, ContentHoldsWhatArrivedWhenTheInputEndsEarlyOrFails) {
  FakeRequest shortInput({{"CONTENT_LENGTH", "20"}}, "0123456789");
  EXPECT_EQ(CgiRequest(shortInput).content(), "0123456789");

  FakeRequest pieces({{"CONTENT_LENGTH", "9"}});
  pieces.reads = {{"abc"}, {"def"}, {"ghi"}};
  EXPECT_EQ(CgiRequest(pieces).content(), "abcdefghi");

  FakeRequest failing({{"CONTENT_LENGTH", "9"}});
  failing.reads = {{"abc"}, {"", true}, {"def"}};
  EXPECT_EQ(CgiRequest(failing).content(), "abc");
}

TEST(CgiRequest, StandardInputIsNotReadWithoutAPositiveLength) {
  for (const char* length : {"", "0", "-3", "abc", "1e3"}) {
    FakeRequest env({{"CONTENT_LENGTH", length}}, "a=1");
    CgiRequest request(env);
    EXPECT_EQ(request.content(), "") << length;
    EXPECT_EQ(request.ReadFormBody(), "") << length;
    EXPECT_EQ(env.read_calls, 0) << length;
  }
}

TEST(CgiRequest, AHugeClaimedLengthDoesNotReserveTheClaim) {
  FakeRequest env({{"CONTENT_LENGTH", "2000000000"}}, "a=1");
  CgiRequest request(env, 2000000000);
  EXPECT_EQ(request.content(), "a=1");
  // The reads ask for a bounded chunk, never for the claimed length at once.
  EXPECT_LE(env.largest_read_asked, 64u * 1024u);
  EXPECT_EQ(request.ReadFormBody(), "a=1");
}

TEST(CgiRequest, AClaimAboveTheRequestLimitIsRefusedBeforeAnyRead) {
  const int64_t max_request_bytes = 10;
  // Beyond 32 bits a length is no integer variable (-1), but it is still refused as a claim.
  for (const char* length :
       {"11", " +11", "2147483648", "99999999999", "99999999999999999999999999"}) {
    FakeRequest env({{"CONTENT_LENGTH", length}}, "a=1");
    try {
      CgiRequest request(env, max_request_bytes);
      ADD_FAILURE() << length << " accepted";
    } catch (const EWebException& e) {
      EXPECT_EQ(e.Message(),
                "Request body of " +
                    std::string(length).substr(std::string(length).find_first_not_of(" +")) +
                    " bytes is larger than max-request-bytes (10 bytes)");
    }
    EXPECT_EQ(env.read_calls, 0) << length;
  }
  // The length is held to the limit in every number form it is read in.
  for (const auto& [length, shown] : std::vector<std::pair<const char*, const char*>>{
           {"0x7fffffff", "2147483647"}, {"$7FFFFFFF", "2147483647"}, {"x0B", "11"}}) {
    FakeRequest env({{"CONTENT_LENGTH", length}}, "a=1");
    try {
      CgiRequest request(env, max_request_bytes);
      ADD_FAILURE() << length << " accepted";
    } catch (const EWebException& e) {
      EXPECT_EQ(e.Message(), std::string("Request body of ") + shown +
                                 " bytes is larger than max-request-bytes (10 bytes)");
    }
    EXPECT_EQ(env.read_calls, 0) << length;
  }
  // At the limit, and lengths that are no number, read as before.
  for (const char* length : {"10", "$A", "-5", "1e9"}) {
    FakeRequest env({{"CONTENT_LENGTH", length}}, "a=1");
    EXPECT_NO_THROW(CgiRequest request(env, max_request_bytes)) << length;
  }
}

TEST(CgiRequest, TheWebServersLengthDecidesOverTheClientsHeader) {
  // lighttpd passes a client's "Content_Length" header as HTTP_CONTENT_LENGTH beside its own
  // CONTENT_LENGTH: the header neither lengthens the body nor passes the limit.
  FakeRequest inflated({{"CONTENT_LENGTH", "3"}, {"HTTP_CONTENT_LENGTH", "0x7fffffff"}},
                       "a=1&more");
  CgiRequest request(inflated, 10);
  EXPECT_EQ(request.ContentLength(), 3);
  EXPECT_EQ(request.content(), "a=1");
  // Without the server's variable the header's length is used, and held to the limit.
  FakeRequest header_only({{"HTTP_CONTENT_LENGTH", "3"}}, "a=1&more");
  EXPECT_EQ(CgiRequest(header_only, 10).content(), "a=1");
  FakeRequest header_too_long({{"HTTP_CONTENT_LENGTH", "0x7fffffff"}}, "a=1");
  EXPECT_THROW(CgiRequest(header_too_long, 10), EWebException);
  EXPECT_EQ(header_too_long.read_calls, 0);
}

TEST(CgiRequest, LargeBodiesArriveWhole) {
  std::string body(300 * 1024, 'x');
  body.replace(0, 2, "a=");
  FakeRequest env({{"CONTENT_LENGTH", std::to_string(body.size())}}, body);
  CgiRequest request(env);
  EXPECT_EQ(request.content(), body);
  EXPECT_EQ(request.ReadFormBody(), body);
}

TEST(CgiRequest, TheFormBodyReadsTheMissingBytesOnceMore) {
  FakeRequest env({{"CONTENT_LENGTH", "7"}});
  env.reads = {{"a=1"}, {""}, {"&b=2"}};  // the input pauses after three bytes
  CgiRequest request(env);
  EXPECT_EQ(request.content(), "a=1");
  EXPECT_EQ(request.ReadFormBody(), "a=1&b=2");
}

TEST(CgiRequest, WriteTextWritesOnceAndReportsFailure) {
  FakeRequest env;
  CgiRequest request(env);
  EXPECT_FALSE(request.WriteText(""));
  EXPECT_TRUE(env.writes.empty());
  EXPECT_TRUE(request.WriteText(std::string("a\0b", 3)));
  ASSERT_EQ(env.writes.size(), 1u);
  EXPECT_EQ(env.writes[0], std::string("a\0b", 3));
  EXPECT_TRUE(env.fault_state().OutputStarted());
  env.fail_writes = true;
  EXPECT_FALSE(request.WriteText("x"));
}

}  // namespace
}  // namespace xg
