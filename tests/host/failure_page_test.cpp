#include "host/failure_page.h"

#include <gtest/gtest.h>

#include <new>
#include <stdexcept>

#include "runtime/exceptions.h"
#include "support/fake_env.h"

namespace xg {
namespace {

using test::FakeEnv;

std::string Page(const std::string& className, const std::string& message) {
  return "<html><title>Internal Server Error 500</title>\r\n"
         "<h1>Internal Server Error 500</h1><hr>\r\n"
         "Exception: " +
         className + "<br>\r\nMessage: " + message + "<br></html>\r\n";
}

std::string Header(const std::string& message, size_t length) {
  return "Status: 500 " + message +
         "\r\nContent-Type: text/html\r\nContent-Length: " + std::to_string(length) + "\r\n\r\n";
}

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
    FakeEnv env;
    WriteFailurePage(c.failure, env);
    const std::string page = Page(c.className, c.message);
    ASSERT_EQ(env.writes.size(), 2u) << c.className;
    EXPECT_EQ(env.writes[0], Header(c.message, page.size()));
    EXPECT_EQ(env.writes[1], page);
  }
}

}  // namespace
}  // namespace xg
