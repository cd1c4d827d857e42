#include "text_encoding.h"

#include <gtest/gtest.h>

#include "client_failure.h"

namespace xg::client {
namespace {

TEST(TextEncoding, Latin1AndUtf8RoundTripEveryByte) {
  std::string latin1;
  for (int b = 0; b < 256; ++b) latin1 += static_cast<char>(b);
  const std::string utf8 = Latin1ToUtf8(latin1);
  EXPECT_EQ(utf8.size(), 128u + 2 * 128u);
  EXPECT_EQ(utf8.substr(128 + 2 * (0xE9 - 0x80), 2), "\xC3\xA9");
  EXPECT_EQ(Utf8ToLatin1(utf8, "text"), latin1);
}

TEST(TextEncoding, RefusesWhatIso88591CannotCarry) {
  const struct {
    std::string utf8, message;
  } cases[] = {
      {"price \xE2\x82\xAC", "the SQL holds the character U+20AC, which ISO-8859-1 cannot carry"},
      {"\xF0\x9F\x98\x80", "the SQL holds the character U+1F600, which ISO-8859-1 cannot carry"},
      {"Jos\xE9", "the SQL is not valid UTF-8 (byte 4); --latin1-input sends bytes unchanged"},
      {"\xC3", "the SQL is not valid UTF-8 (byte 1); --latin1-input sends bytes unchanged"},
      {"a\xC0\xA9", "the SQL is not valid UTF-8 (byte 2); --latin1-input sends bytes unchanged"},
      {"\xE0\x80\xA9", "the SQL is not valid UTF-8 (byte 1); --latin1-input sends bytes unchanged"},
      {"\xED\xA0\x80", "the SQL is not valid UTF-8 (byte 1); --latin1-input sends bytes unchanged"},
      {"\xC3\x28", "the SQL is not valid UTF-8 (byte 1); --latin1-input sends bytes unchanged"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(test::FailureOf([&] { Utf8ToLatin1(c.utf8, "the SQL"); }),
              test::Failed(ExitCode::kUsage, c.message));
  }
}

}  // namespace
}  // namespace xg::client
