#include "host/failure_page.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <new>
#include <stdexcept>

#include "support/expected_failure_page.h"
#include "support/fake_request.h"
#include "texts/exceptions.h"

namespace xg {
namespace {

using test::FailurePageHeader;
using test::FailurePageHtml;
using test::FakeRequest;
using test::ServerFailurePage;

TEST(FailurePage, NamesTheClassAndPutsTheMessageOnTheStatusLine) {
  struct Case {
    std::exception_ptr failure;
    std::string className;
    std::string message;
  };
  const Case cases[] = {
      {std::make_exception_ptr(EOutOfMemory("Out of memory")), "EOutOfMemory", "Out of memory"},
      {std::make_exception_ptr(std::bad_alloc()), "EOutOfMemory", "Out of memory"},
      {std::make_exception_ptr(EWebException("two\r\nlines")), "EWebException", "two\r\nlines"},
      {std::make_exception_ptr(Exception("")), "Exception", ""},
      // Objects that are not an Exception have no message; their C++ type names them.
      {std::make_exception_ptr(std::runtime_error("hidden")), "std::runtime_error", ""},
      {std::make_exception_ptr(42), "int", ""},
  };
  for (const Case& c : cases) {
    FakeRequest request;
    WriteFailurePage(c.failure, request);
    const std::string page = FailurePageHtml(c.className, c.message);
    ASSERT_EQ(request.writes.size(), 2u) << c.className;
    EXPECT_EQ(request.writes[0], FailurePageHeader(c.message, page.size()));
    EXPECT_EQ(request.writes[1], page);
  }
}

// What the fault writer puts on a file descriptor, caught through a pipe.
std::string FaultPage(std::string_view className, std::string_view message) {
  int fds[2];
  if (pipe(fds) != 0) return "pipe failed";
  fcntl(fds[0], F_SETFL, O_NONBLOCK);
  fcntl(fds[1], F_SETPIPE_SZ, 1 << 20);
  WriteFailurePageForFault(fds[1], className, message);
  close(fds[1]);
  std::string out;
  char buffer[4096];
  ssize_t n;
  while ((n = read(fds[0], buffer, sizeof buffer)) > 0) out.append(buffer, static_cast<size_t>(n));
  close(fds[0]);
  return out;
}

TEST(FailurePage, TheFaultHandlerWritesTheSamePage) {
  const std::string message =
      "Access violation at address 55D0C0DE1234 in module 'xmlgateway'. Write of address 00000000";
  FakeRequest request;
  WriteFailurePage(std::make_exception_ptr(EAccessViolation(message)), request);
  EXPECT_EQ(FaultPage("EAccessViolation", message), request.Output());
  EXPECT_EQ(FaultPage("EStackOverflow", "Stack overflow"),
            ServerFailurePage("EStackOverflow", "Stack overflow"));
}

TEST(FailurePage, AFaultMessageTooLongForTheBuffersIsCutAndTheLengthStillCountsThePage) {
  const std::string out = FaultPage("EAccessViolation", std::string(10000, 'm'));
  const size_t headerEnd = out.find("\r\n\r\n");
  ASSERT_NE(headerEnd, std::string::npos);
  const std::string page = out.substr(headerEnd + 4);
  const std::string header = out.substr(0, headerEnd + 4);
  const std::string shown = header.substr(12, header.find("\r\n") - 12);  // after "Status: 500 "
  EXPECT_GT(shown.size(), 100u);
  EXPECT_EQ(shown, std::string(shown.size(), 'm'));
  EXPECT_EQ(header, FailurePageHeader(shown, page.size()));
  EXPECT_EQ(page, FailurePageHtml("EAccessViolation", shown));
}

}  // namespace
}  // namespace xg
