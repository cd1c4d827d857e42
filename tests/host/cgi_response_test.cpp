#include "host/cgi_response.h"

#include <gtest/gtest.h>

#include "host/cgi_request.h"
#include "support/fake_request.h"

namespace xg {
namespace {

using test::FakeRequest;

constexpr const char* kSafetyAndContentLines =
    "Content-Security-Policy: sandbox\r\nX-Content-Type-Options: nosniff\r\nContent:\r\n\r\n";

// Sends a response with the status and content; answers the writes.
std::vector<std::string> Sent(bool with_protocol, HttpStatus status, std::string content,
                              bool fail_writes = false) {
  FakeRequest env;
  if (with_protocol) env.variables["SERVER_PROTOCOL"] = "HTTP/1.1";
  env.fail_writes = fail_writes;
  CgiRequest request(env);
  CgiResponse response(request);
  response.SetStatus(status);
  response.SetContent(std::move(content));
  response.Send();
  return env.writes;
}

TEST(CgiResponse, TheHeaderBlockThenTheBodyInTwoWrites) {
  const std::string document = "<?xml?>\r\n<A>\xE3</A>\r\n";
  struct Case {
    bool with_protocol;
    HttpStatus status;
    std::string content;
    std::vector<std::string> writes;
  };
  const Case cases[] = {
      {true,
       HttpStatus::kOk,
       document,
       {"Status: 200 OK\r\nContent-Type: text/html\r\nContent-Length: 19\r\n" +
            std::string(kSafetyAndContentLines),
        document}},
      {true,
       HttpStatus::kInternalServerError,
       "page",
       {"Status: 500 Internal Server Error\r\nContent-Type: text/html\r\nContent-Length: 4\r\n" +
            std::string(kSafetyAndContentLines),
        "page"}},
      // Empty content: no length line and no second write.
      {true,
       HttpStatus::kOk,
       "",
       {"Status: 200 OK\r\nContent-Type: text/html\r\n" + std::string(kSafetyAndContentLines)}},
      // Without a protocol version only the body is written.
      {false, HttpStatus::kOk, "body", {"body"}},
  };
  for (const Case& c : cases)
    EXPECT_EQ(Sent(c.with_protocol, c.status, c.content), c.writes) << c.content;
}

TEST(CgiResponse, WriteFailuresAreIgnored) {
  EXPECT_NO_THROW(Sent(true, HttpStatus::kOk, "x", true));
}

TEST(CgiResponse, TheLengthLineCountsBeyond32Bits) {
  // 2 GiB and a few bytes more: the length that a 32-bit count turned negative.
  FakeRequest env({{"SERVER_PROTOCOL", "HTTP/1.1"}});
  CgiRequest request(env);
  CgiResponse response(request);
  response.SetContent(std::string((size_t{1} << 31) + 5, 'x'));
  EXPECT_NE(response.HeaderText().find("\r\nContent-Length: 2147483653\r\n"), std::string::npos);
}

}  // namespace
}  // namespace xg
