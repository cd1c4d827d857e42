#include "http_transport.h"

#include <gtest/gtest.h>

#include "client_failure.h"

namespace xg::client {
namespace {

// The gateway's own failure page, as it writes it for an exception in the request cycle.
const std::string kFailurePage =
    "<html><title>Internal Server Error 500</title>\r\n"
    "<h1>Internal Server Error 500</h1><hr>\r\n"
    "Exception: EDivByZero<br>\r\nMessage: Division by zero<br></html>\r\n";

TEST(CheckHttpAnswer, AcceptsOnlyAWholeAnswerWithStatus200) {
  const std::string body = "<?xml?>\r\n";
  const struct {
    HttpAnswer answer;
    std::string failure;
  } cases[] = {
      {{200, "OK", body.size(), body}, "no failure"},
      {{200, "OK", std::nullopt, body}, "no failure"},  // chunked: the framing checks it
      {{200, "OK", 100, body},
       test::Failed(ExitCode::kAnswer, "cut answer (HTTP status 200 OK): 9 bytes of 100 came")},
      {{200, "OK", std::nullopt, body, true},
       test::Failed(ExitCode::kAnswer,
                    "cut answer (HTTP status 200 OK): the connection ended after 9 bytes")},
      {{200, "OK", 0, body},
       test::Failed(ExitCode::kAnswer, "cut answer (HTTP status 200 OK): 9 bytes of 0 came")},
      {{500, "Internal Server Error", kFailurePage.size(), kFailurePage},
       test::Failed(ExitCode::kServer,
                    "HTTP status 500 Internal Server Error: Internal Server Error 500 Exception: "
                    "EDivByZero Message: Division by zero")},
      {{500, "Division by zero", 10, kFailurePage},
       test::Failed(ExitCode::kAnswer, "cut answer (HTTP status 500 Division by zero): " +
                                           std::to_string(kFailurePage.size()) +
                                           " bytes of 10 came")},
      {{500, "", std::nullopt, ""}, test::Failed(ExitCode::kServer, "HTTP status 500")},
      {{404, "Not Found", 3, "abc"},
       test::Failed(ExitCode::kAnswer, "not a gateway answer: HTTP status 404 Not Found")},
      {{302, "Found", 0, ""},
       test::Failed(ExitCode::kAnswer, "not a gateway answer: HTTP status 302 Found")},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(test::FailureOf([&] { CheckHttpAnswer(c.answer); }), c.failure);
  }
}

TEST(FailurePageText, ReadsBothFailurePagesOfTheGateway) {
  EXPECT_EQ(FailurePageText("<html><body><h1>Internal Application Error</h1>\r\n<p>Bad "
                            "thing\xE9\r\n<p><hr width=\"100%\"><i>/cgi-bin/xmlgateway</i>"
                            "</body></html>"),
            "Internal Application Error Bad thing\xC3\xA9 /cgi-bin/xmlgateway");
  EXPECT_EQ(FailurePageText("plain"), "plain");
}

}  // namespace
}  // namespace xg::client
