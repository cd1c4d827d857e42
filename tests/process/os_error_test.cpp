#include "process/os_error.h"

#include <gtest/gtest.h>

#include <cerrno>

#include "support/failures.h"
#include "texts/exceptions.h"

namespace xg {
namespace {

TEST(OSError, TheMessageNamesTheCodeAndThePlatformText) {
  const auto named = test::Raised<EOSError>([] { RaiseLastOsError(ENOENT); });
  ASSERT_TRUE(named);
  EXPECT_EQ(named->Message(), "System Error.  Code: 2.\r\nNo such file or directory");
  EXPECT_EQ(named->ErrorCode(), ENOENT);
  errno = EACCES;
  const auto current = test::Raised<EOSError>([] { RaiseLastOsError(); });
  ASSERT_TRUE(current);
  EXPECT_EQ(current->Message(), "System Error.  Code: 13.\r\nPermission denied");
  EXPECT_EQ(current->ErrorCode(), EACCES);
  const auto none = test::Raised<EOSError>([] { RaiseLastOsError(0); });
  ASSERT_TRUE(none);
  EXPECT_EQ(none->Message(), "A call to an OS function failed");
  EXPECT_EQ(none->ErrorCode(), 0);
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
