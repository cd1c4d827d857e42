#include "texts/ascii_text.h"

#include <gtest/gtest.h>

namespace xg {
namespace {

TEST(AsciiText, FoldsOnlyTheAsciiLetters) {
  // The ISO-8859-1 letters (0xC9 É, 0xE9 é) and the bytes next to the letter ranges stay.
  EXPECT_EQ(AsciiLowerCase("AZaz@[`{\xC9\xE9 09"), "azaz@[`{\xC9\xE9 09");
  EXPECT_EQ(AsciiUpperCase("AZaz@[`{\xC9\xE9 09"), "AZAZ@[`{\xC9\xE9 09");
  EXPECT_TRUE(EqualsIgnoringAsciiCase("SendData", "SENDDATA"));
  EXPECT_FALSE(EqualsIgnoringAsciiCase("\xC9", "\xE9"));
  EXPECT_FALSE(EqualsIgnoringAsciiCase("@", "`"));
  EXPECT_FALSE(EqualsIgnoringAsciiCase("SENDDATA", "SENDDAT"));
}

TEST(AsciiText, StartsWithComparesThePrefixOnly) {
  EXPECT_TRUE(StartsWithIgnoringAsciiCase("am/pm h", "AM/PM"));
  EXPECT_TRUE(StartsWithIgnoringAsciiCase("Nov 1994", "nov"));
  EXPECT_TRUE(StartsWithIgnoringAsciiCase("x", ""));
  EXPECT_FALSE(StartsWithIgnoringAsciiCase("am/", "AM/PM"));
  EXPECT_FALSE(StartsWithIgnoringAsciiCase(" ampm", "AMPM"));
}

TEST(AsciiText, TrimsBlanksAndControlCharactersAtBothEndsOnly) {
  EXPECT_EQ(TrimBlanksAndControls(std::string_view("\x01\t A b\r\n \x00", 10)), "A b");
  EXPECT_EQ(TrimBlanksAndControls(" \xA0x\xA0 "), "\xA0x\xA0");  // the no-break space stays
  EXPECT_EQ(TrimBlanksAndControls(" \t\r\n"), "");
}

TEST(AsciiText, ReadsDigitsAndHexadecimalDigits) {
  EXPECT_EQ(AsciiHexDigitValue('0'), 0);
  EXPECT_EQ(AsciiHexDigitValue('9'), 9);
  EXPECT_EQ(AsciiHexDigitValue('a'), 10);
  EXPECT_EQ(AsciiHexDigitValue('F'), 15);
  for (char c : {'g', 'G', '/', ':', '@', '`', ' '}) EXPECT_EQ(AsciiHexDigitValue(c), -1) << c;
  EXPECT_TRUE(IsAsciiDigit('7'));
  EXPECT_FALSE(IsAsciiDigit('a'));
  EXPECT_TRUE(IsAsciiLetter('z'));
  EXPECT_FALSE(IsAsciiLetter('\xE9'));
}

}  // namespace
}  // namespace xg
