#include "runtime/os_error.h"

#include <gtest/gtest.h>

#include <cerrno>

#include "runtime/exceptions.h"

namespace xg {
namespace {

TEST(OSError, TheMessageNamesTheCodeAndThePlatformText) {
  try {
    RaiseLastOSError(ENOENT);
    FAIL() << "nothing raised";
  } catch (const EOSError& e) {
    EXPECT_EQ(e.Message(), "System Error.  Code: 2.\r\nNo such file or directory");
    EXPECT_EQ(e.ErrorCode(), ENOENT);
  }
  errno = EACCES;
  try {
    RaiseLastOSError();
    FAIL() << "nothing raised";
  } catch (const EOSError& e) {
    EXPECT_EQ(e.Message(), "System Error.  Code: 13.\r\nPermission denied");
    EXPECT_EQ(e.ErrorCode(), EACCES);
  }
  try {
    RaiseLastOSError(0);
    FAIL() << "nothing raised";
  } catch (const EOSError& e) {
    EXPECT_EQ(e.Message(), "A call to an OS function failed");
    EXPECT_EQ(e.ErrorCode(), 0);
  }
}

TEST(OSError, ThePlatformTextLosesTrailingBlanksLineBreaksAndPeriods) {
  EXPECT_EQ(TrimPlatformMessage("The system cannot find the file specified.\r\n"),
            "The system cannot find the file specified");
  EXPECT_EQ(TrimPlatformMessage("a. b . \t\x01..."), "a. b");
  EXPECT_EQ(TrimPlatformMessage(" .\r\n"), "");
  EXPECT_EQ(TrimPlatformMessage(std::string(300, 'x')).size(), 256u);
  EXPECT_EQ(SysErrorMessage(123456), "Unknown error 123456");
}

}  // namespace
}  // namespace xg
