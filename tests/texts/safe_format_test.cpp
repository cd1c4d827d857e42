#include "texts/safe_format.h"

#include <gtest/gtest.h>

#include <string>

#include "texts/format.h"

namespace xg {
namespace {

std::string Formatted(std::string_view format, std::initializer_list<SafeFormatArg> args,
                      size_t capacity = 256) {
  std::string out(capacity, '#');
  const size_t length = SafeFormat(out.data(), capacity, format, args);
  out.resize(std::min(length, capacity));
  return out;
}

TEST(SafeFormat, WritesTheDirectivesOfTheMessageTexts) {
  const SafeFormatArg five(int64_t{5}), address(int64_t{0x7FFC12345678}), minus(int64_t{-42});
  EXPECT_EQ(Formatted("Runtime error %3d at %.8X", {five, int64_t{0xABCD}}),
            "Runtime error   5 at 0000ABCD");
  EXPECT_EQ(Formatted("at %p / %p.", {int64_t{0x1234}, address}), "at 00001234 / 7FFC12345678.");
  EXPECT_EQ(Formatted("%x|%d|%u", {minus, minus, minus}), "FFFFFFFFFFFFFFD6|-42|-42");
  EXPECT_EQ(Formatted("[%-6d|%6d|%.4d]", {minus, minus, minus}), "[-42   |   -42|-0042]");
  EXPECT_EQ(Formatted("%1:s %0:s %s 100%%", {"a", "b"}), "b a b 100%");
  EXPECT_EQ(Formatted("'%s' in '%-5s'|%.3s|", {std::string_view("a\0b", 3), "mod", "abcdef"}),
            std::string("'a\0b' in 'mod  '|abc|", 21));
  // The same as the formatter of the message texts.
  EXPECT_EQ(Formatted("Status: 500 %s\r\nContent-Length: %d\r\n", {"Out of memory", five}),
            Format("Status: 500 %s\r\nContent-Length: %d\r\n",
                   {std::string("Out of memory"), int64_t{5}}));
}

TEST(SafeFormat, CutsAtTheBufferAndAnswersTheWholeLength) {
  char buffer[8] = {};
  EXPECT_EQ(SafeFormat(buffer, 5, "Exception %s", {"EAccessViolation"}), 26u);
  EXPECT_EQ(std::string(buffer, 5), "Excep");
  EXPECT_EQ(buffer[5], '\0');  // nothing beyond the capacity
  EXPECT_EQ(SafeFormat(nullptr, 0, "%d%%", {int64_t{12345}}), 6u);
}

TEST(SafeFormat, ABadDirectiveEndsTheTextWithoutReadingPastTheArguments) {
  EXPECT_EQ(Formatted("one %s two %s three", {"1"}), "one 1 two ");
  EXPECT_EQ(Formatted("a %d b", {"text"}), "a ");
  EXPECT_EQ(Formatted("a %s b", {int64_t{1}}), "a ");
  EXPECT_EQ(Formatted("a %q b", {"x"}), "a ");
  EXPECT_EQ(Formatted("a %5:s b", {"x"}), "a ");
  EXPECT_EQ(Formatted("trailing %", {"x"}), "trailing ");
  // A number is read up to six digits; the seventh is no conversion letter.
  EXPECT_EQ(Formatted("a %1234567d b", {int64_t{5}}), "a ");
  EXPECT_EQ(Formatted("a %123456d", {int64_t{5}}, 4), "a   ");
}

}  // namespace
}  // namespace xg
