#include "host/cgi_response.h"

#include <gtest/gtest.h>

#include "host/cgi_request.h"
#include "runtime/date_time.h"
#include "runtime/locale_items.h"
#include "support/fake_env.h"
#include "support/test_hosts.h"

namespace xg {
namespace {

using test::FakeEnv;

FakeEnv WithProtocol() {
  return FakeEnv({{"SERVER_PROTOCOL", "HTTP/1.1"}});
}

TEST(CGIResponse, DefaultsAreStatus200AndHtml) {
  const RegionalSettings settings = test::DefaultSettings();
  FakeEnv env = WithProtocol();
  TCGIRequest request(env);
  TCGIResponse response(request, settings);
  EXPECT_EQ(response.GetStatusCode(), 200);
  EXPECT_EQ(response.Text(ResponseTextVar::StatusText), "OK");
  EXPECT_EQ(response.Text(ResponseTextVar::ContentType), "text/html");
  EXPECT_EQ(response.Text(ResponseTextVar::Version), "");
  EXPECT_EQ(response.Date(ResponseDateVar::Expires), -1.0);
  EXPECT_FALSE(response.Sent());

  FakeEnv bare;
  TCGIRequest bareRequest(bare);
  EXPECT_EQ(TCGIResponse(bareRequest, settings).Text(ResponseTextVar::Version), "1.0");
}

TEST(CGIResponse, ANormalAnswerIsTheHeaderBlockThenTheBodyInTwoWrites) {
  const RegionalSettings settings = test::DefaultSettings();
  FakeEnv env = WithProtocol();
  TCGIRequest request(env);
  TCGIResponse response(request, settings);
  const std::string document = "<?xml?>\r\n<A>\xE3</A>\r\n";
  response.SetContent(document);
  response.SendResponse();
  ASSERT_EQ(env.writes.size(), 2u);
  EXPECT_EQ(
      env.writes[0],
      "Status: 200 OK\r\nContent-Type: text/html\r\nContent-Length: 19\r\n"
      "Content-Security-Policy: sandbox\r\nX-Content-Type-Options: nosniff\r\nContent:\r\n\r\n");
  EXPECT_EQ(env.writes[1], document);
  EXPECT_TRUE(response.Sent());
}

TEST(CGIResponse, WithoutProtocolVersionOnlyTheBodyIsWritten) {
  const RegionalSettings settings = test::DefaultSettings();
  FakeEnv env;
  TCGIRequest request(env);
  TCGIResponse response(request, settings);
  response.SetContent("body");
  response.SendResponse();
  ASSERT_EQ(env.writes.size(), 1u);
  EXPECT_EQ(env.writes[0], "body");
}

TEST(CGIResponse, EmptyContentWritesNoLengthLineAndNoBody) {
  const RegionalSettings settings = test::DefaultSettings();
  FakeEnv env = WithProtocol();
  TCGIRequest request(env);
  TCGIResponse response(request, settings);
  response.SendResponse();
  ASSERT_EQ(env.writes.size(), 1u);
  EXPECT_EQ(env.writes[0],
            "Status: 200 OK\r\nContent-Type: text/html\r\nContent-Security-Policy: "
            "sandbox\r\nX-Content-Type-Options: nosniff\r\nContent:\r\n\r\n");
}

TEST(CGIResponse, StatusLineUsesTheCodesText) {
  const RegionalSettings settings = test::DefaultSettings();
  const std::pair<int, const char*> cases[] = {
      {500, "Status: 500 Internal Server Error\r\n"},
      {404, "Status: 404 Not Found\r\n"},
      {412, "Status: 412 Unless True\r\n"},
      {299, "Status: 200 OK\r\n"},  // no text for the code
      {0, "Status: 200 OK\r\n"},
  };
  for (const auto& [code, line] : cases) {
    FakeEnv env = WithProtocol();
    TCGIRequest request(env);
    TCGIResponse response(request, settings);
    response.SetStatusCode(code);
    response.SendResponse();
    ASSERT_EQ(env.writes.size(), 1u);
    EXPECT_EQ(env.writes[0].substr(0, env.writes[0].find('\n') + 1), line) << code;
  }
}

TEST(CGIResponse, HeaderLinesComeInTheirFixedOrder) {
  // The time parts of the dates are separated by the regional time separator.
  const RegionalSettings settings =
      ReadRegionalSettings(test::TableLocaleSource(0, {{kItemTimeSeparator, "."}}));
  FakeEnv env = WithProtocol();
  TCGIRequest request(env);
  TCGIResponse response(request, settings);
  response.SetText(ResponseTextVar::Title, "T");
  response.SetText(ResponseTextVar::ContentEncoding, "gzip");
  response.SetText(ResponseTextVar::ContentVersion, "2");
  response.SetText(ResponseTextVar::WWWAuthenticate, "Basic");
  response.SetText(ResponseTextVar::Realm, "r");
  response.SetText(ResponseTextVar::DerivedFrom, "d");
  response.SetText(ResponseTextVar::Allow, "GET");
  response.SetText(ResponseTextVar::Location, "/l");
  response.SetText(ResponseTextVar::Server, "not written");
  response.Cookies().push_back("c=1");
  response.CustomHeaders().push_back({"X-A", "b"});
  response.SetDate(ResponseDateVar::Expires, EncodeDate(2025, 12, 8) + EncodeTime(7, 5, 9, 0));
  response.SetDate(ResponseDateVar::LastModified,
                   EncodeDate(2024, 2, 29) + EncodeTime(23, 0, 0, 0));
  response.SetContent("x");
  const std::string headers = response.HeaderText();
  EXPECT_EQ(
      headers,
      "Location: /l\r\nAllow: GET\r\nSet-Cookie: c=1\r\nDerived-From: d\r\n"
      "Expires: Mon, 08 Dec 2025 07.05.09 GMT\r\n"
      "Last-Modified: Thu, 29 Feb 2024 23.00.00 GMT\r\nTitle: T\r\n"
      "WWW-Authenticate: Basic Realm=r\r\nX-A: b\r\nContent-Version: 2\r\n"
      "Content-Encoding: gzip\r\nContent-Type: text/html\r\nContent-Length: 1\r\n"
      "Content-Security-Policy: sandbox\r\nX-Content-Type-Options: nosniff\r\nContent:\r\n\r\n");
}

TEST(CGIResponse, WriteFailuresAreIgnoredAndTheResponseCountsAsSent) {
  const RegionalSettings settings = test::DefaultSettings();
  FakeEnv env = WithProtocol();
  env.fail_writes = true;
  TCGIRequest request(env);
  TCGIResponse response(request, settings);
  response.SetContent("x");
  EXPECT_NO_THROW(response.SendResponse());
  EXPECT_TRUE(response.Sent());
}

TEST(CGIResponse, VariablesOutsideTheirRangesAreIgnored) {
  const RegionalSettings settings = test::DefaultSettings();
  FakeEnv env;
  TCGIRequest request(env);
  TCGIResponse response(request, settings);
  response.SetTextVar(12, "x");
  response.SetDateVar(3, 5.0);
  response.SetIntVar(1, 5);
  EXPECT_EQ(response.GetTextVar(12), "");
  EXPECT_EQ(response.GetDateVar(3), -1.0);
  EXPECT_EQ(response.GetIntVar(1), -1);
  response.SetContent("abc");
  EXPECT_EQ(response.ContentLength(), 3);
}

TEST(CGIResponse, TheLengthLineCountsBeyond32Bits) {
  // 2 GiB and a few bytes more: the length that a 32-bit count turned negative.
  FakeEnv env({{"SERVER_PROTOCOL", "HTTP/1.1"}});
  TCGIRequest request(env);
  const RegionalSettings settings = test::DefaultSettings();
  TCGIResponse response(request, settings);
  response.SetContent(std::string((size_t{1} << 31) + 5, 'x'));
  EXPECT_NE(response.HeaderText().find("\r\nContent-Length: 2147483653\r\n"), std::string::npos);
}

}  // namespace
}  // namespace xg
