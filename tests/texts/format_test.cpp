#include "texts/format.h"

#include <gtest/gtest.h>

#include "support/failures.h"
#include "support/scoped_language_module.h"
#include "texts/exceptions.h"
#include "texts/resource_strings.h"

namespace xg {
namespace {

TEST(Format, FillsDirectivesInOrderAndByIndex) {
  EXPECT_EQ(Format("Invalid URL encoded character (%s) at position %d", {"%G1", 10}),
            "Invalid URL encoded character (%G1) at position 10");
  EXPECT_EQ(Format("<p>%0:s<i>%1:s</i> %0:s", {"msg", "/p"}), "<p>msg<i>/p</i> msg");
  EXPECT_EQ(Format("(%%XX) %d%%", {-5}), "(%XX) -5%");
  EXPECT_EQ(Format("%.8x|%x|%p|%3d|", {255, 4096, 0x1000, 7}), "000000FF|1000|00001000|  7|");
  EXPECT_EQ(Format("%s", {std::string("a\0b", 3)}), std::string("a\0b", 3));
  EXPECT_EQ(Format("[%-4u|%.3s|%6.3d]", {-5, "abcdef", -7}), "[-5  |abc|  -007]");
  // A precision beyond 64 digits is still met.
  EXPECT_EQ(Format("%.70d|%.66x", {-5, 255}),
            "-" + std::string(69, '0') + "5|" + std::string(64, '0') + "FF");
}

TEST(Format, MissingOrMismatchedArgumentRaisesInsteadOfReadingPastTheArguments) {
  EXPECT_THROW(Format("%s %s", {"one"}), EConvertError);
  EXPECT_THROW(Format("%d", {"text"}), EConvertError);
  EXPECT_THROW(Format("trailing %", {}), EConvertError);
  EXPECT_THROW(Format("%1234567d", {5}), EConvertError);  // no seventh digit of a number
  EXPECT_EQ(test::FailureMessage<EConvertError>([] { Format("%s%s", {"x"}); }),
            "No argument for format '%s%s'");
  EXPECT_EQ(test::FailureMessage<EConvertError>([] { Format("%d", {"text"}); }),
            "Format '%d' invalid or incompatible with argument");
}

XG_RESOURCE(STestGreeting, "Ol\xE1");
XG_RESOURCE(SOther, "other");

TEST(ResourceStrings, LanguageModuleReplacesEntriesAndBlanksMissingOnes) {
  EXPECT_EQ(LoadResString(STestGreeting), "Ol\xE1");
  {
    const test::ScopedLanguageModule module(LanguageTexts{{"STestGreeting", "Hello"}});
    EXPECT_EQ(LoadResString(STestGreeting), "Hello");
    EXPECT_EQ(LoadResString(SOther), "");
  }
  EXPECT_EQ(LoadResString(SOther), "other");
}

}  // namespace
}  // namespace xg
