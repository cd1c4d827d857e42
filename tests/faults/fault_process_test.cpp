// Processor faults inside the real program: xmlgateway_faulty faults on demand, and what it
// writes, where, and its exit code are checked byte for byte.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "support/child_process.h"
#include "support/expected_failure_page.h"
#include "support/request_body.h"

namespace xg {
namespace {

using test::ChildResult;
using test::ServerFailurePage;

const std::string kStatusRequest =
    "<?xml version=\"1.0\"?><SENDDATA><SERVICE>SERVICESTATUS</SERVICE></SENDDATA>";

// A status request posted to the program with the fault named in the request's variables.
ChildResult RunFaulty(const std::string& fault, std::vector<std::string> extra = {},
                      const std::string& program = XG_FAULTY_PROGRAM) {
  const std::string body = test::SendDataBody(kStatusRequest);
  std::vector<std::string> variables = {"REQUEST_METHOD=POST", "SERVER_PROTOCOL=HTTP/1.1",
                                        "CONTENT_LENGTH=" + std::to_string(body.size()),
                                        "HTTP_X_XG_FAULT=" + fault};
  variables.insert(variables.end(), extra.begin(), extra.end());
  ChildResult result = test::RunChild(program, variables, body);
  EXPECT_FALSE(result.timed_out);
  EXPECT_EQ(result.signal, 0) << "ended by a signal instead of its handler";
  return result;
}

// Checks that the output is exactly the server failure page of the class and answers the
// message it carries.
std::string FailurePageMessage(const std::string& out, const std::string& className) {
  const std::string prefix = "Status: 500 ";
  const size_t statusEnd = out.find("\r\n");
  if (out.compare(0, prefix.size(), prefix) != 0 || statusEnd == std::string::npos) {
    ADD_FAILURE() << "not a failure page: " << out.substr(0, 200);
    return "";
  }
  const std::string message = out.substr(prefix.size(), statusEnd - prefix.size());
  EXPECT_EQ(out, ServerFailurePage(className, message));
  return message;
}

TEST(Faults, AFaultInsideARequestWritesTheFailurePageAndEndsWithItsNumber) {
  struct Case {
    const char* fault;
    const char* className;
    std::string message;  // a pattern
    int exit_code;
  };
  const std::string accessViolation =
      "Access violation at address [0-9A-F]{8,16} in module 'xmlgateway_faulty'\\. ";
  const Case cases[] = {
      {"null-write", "EAccessViolation", accessViolation + "Write of address 00000000", 216},
      {"null-read", "EAccessViolation", accessViolation + "Read of address 00000000", 216},
      {"div-zero", "EDivByZero", "Division by zero", 200},
      {"stack-overflow", "EStackOverflow", "Stack overflow", 202},
      {"float-div", "EZeroDivide", "Floating point division by zero", 200},
      {"float-overflow", "EOverflow", "Floating point overflow", 205},
      {"float-invalid", "EInvalidOp", "Invalid floating point operation", 207},
      {"illegal-instruction", "EExternalException", "External exception C000001D", 217},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fault);
    const ChildResult result = RunFaulty(c.fault);
    const std::string message = FailurePageMessage(result.out, c.className);
    EXPECT_TRUE(std::regex_match(message, std::regex(c.message))) << message;
    EXPECT_EQ(result.exit_code, c.exit_code);
    EXPECT_EQ(result.err, "");
  }
}

// The failure page names the module from the table noted before the fault: on another thread
// than the request's, and while a third thread holds the loader's lock (which a lookup through
// the loader would wait for forever).
TEST(Faults, AFaultOnAnyThreadWritesOnePageWhateverTheLoaderHolds) {
  for (const char* fault : {"other-thread", "loader-busy"}) {
    SCOPED_TRACE(fault);
    const ChildResult result = RunFaulty(fault);
    const std::string message = FailurePageMessage(result.out, "EAccessViolation");
    EXPECT_TRUE(std::regex_match(message,
                                 std::regex("Access violation at address [0-9A-F]{8,16} in module "
                                            "'xmlgateway_faulty'\\. Write of address 00000000")))
        << message;
    EXPECT_EQ(result.exit_code, 216);
  }
}

TEST(Faults, AfterTheResponseWentOutAFaultAddsNothing) {
  const ChildResult result = RunFaulty("after-response");
  const size_t end = result.out.find("\r\n\r\n");
  ASSERT_NE(end, std::string::npos) << result.out;
  const std::string body = result.out.substr(end + 4);
  EXPECT_EQ(result.out.substr(0, end + 4),
            "Status: 200 OK\r\nContent-Type: text/html\r\nContent-Length: " +
                std::to_string(body.size()) +
                "\r\nContent-Security-Policy: sandbox\r\nX-Content-Type-Options: "
                "nosniff\r\nContent:\r\n\r\n");
  EXPECT_EQ(body.substr(body.size() - 11), "</STATUS>\r\n");
  EXPECT_EQ(result.exit_code, 216);
  EXPECT_EQ(result.err, "");
}

TEST(Faults, AFailureDuringStartUpGoesToStandardErrorWithExitCodeOne) {
  const ChildResult raised = RunFaulty("startup-exception");
  EXPECT_EQ(raised.out, "");
  EXPECT_TRUE(std::regex_match(
      raised.err,
      std::regex("Exception EInOutError in module xmlgateway_faulty at [0-9A-F]{8}\\.\r\n"
                 "Disk full\\.\r\n")))
      << raised.err;
  EXPECT_EQ(raised.exit_code, 1);

  const ChildResult fault = RunFaulty("startup-fault");
  EXPECT_EQ(fault.out, "");
  EXPECT_TRUE(std::regex_match(
      fault.err, std::regex("Exception EAccessViolation in module xmlgateway_faulty at "
                            "[0-9A-F]{8}\\.\r\nAccess violation at address [0-9A-F]{8,16} in "
                            "module 'xmlgateway_faulty'\\. Write of address 00000000\\.\r\n")))
      << fault.err;
  EXPECT_EQ(fault.exit_code, 1);
}

TEST(Faults, TheFaultTextsFollowTheLanguageModule) {
  char pattern[] = "/tmp/xg-faulty.XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  const std::filesystem::path dir = pattern;
  const std::filesystem::path program = dir / "xmlgateway_faulty";
  std::filesystem::copy_file(XG_FAULTY_PROGRAM, program);
  std::ofstream(dir / "xmlgateway_faulty.PTB", std::ios::binary)
      << "SDivByZero=Divis\xE3o por zero\nSModuleAccessViolation=Viola\\xE7\\xE3o de acesso em "
         "%p (%s): %s de %p\nSWriteAccess=escrita\n";
  const ChildResult divide = RunFaulty("div-zero", {"LANG=pt_BR.UTF-8"}, program);
  EXPECT_EQ(FailurePageMessage(divide.out, "EDivByZero"), "Divis\xE3o por zero");
  EXPECT_EQ(divide.exit_code, 200);
  const ChildResult access = RunFaulty("null-write", {"LANG=pt_BR.UTF-8"}, program);
  const std::string message = FailurePageMessage(access.out, "EAccessViolation");
  EXPECT_TRUE(std::regex_match(
      message,
      std::regex("Viola\xE7\xE3o de acesso em [0-9A-F]{8,16} \\(xmlgateway_faulty\\): escrita de "
                 "00000000")))
      << message;
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace xg
