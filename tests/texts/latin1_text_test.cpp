#include "texts/latin1_text.h"

#include <gtest/gtest.h>

namespace xg {
namespace {

TEST(Latin1Text, ConvertsFromTheLocaleCodeSet) {
  struct Case {
    std::string text;
    const char* code_set;
    std::string expected;
  };
  const Case cases[] = {
      {"mar\xC3\xA7o", "UTF-8", "mar\xE7o"},
      {"s\xC3\xA1"
       "b",
       "UTF-8",
       "s\xE1"
       "b"},
      {"", "UTF-8", ""},
      {"R$", "ANSI_X3.4-1968", "R$"},
      {"mar\xE7o", "ISO-8859-1", "mar\xE7o"},
      {"\xA4", "ISO-8859-15", "?"},  // the euro sign has no place in ISO-8859-1
      // Characters outside ISO-8859-1; the spaces of thousands separators keep their kind.
      {"\xE2\x82\xAC 1", "UTF-8", "? 1"},
      {"1\xE2\x80\xAF"
       "000",
       "UTF-8",
       "1\xA0"
       "000"},
      {"1\xE2\x80\x89"
       "000",
       "UTF-8", "1 000"},
      {"\xD0\xBF\xD0\xBD", "UTF-8", "??"},
      // Invalid and cut-off sequences: one "?" each, the rest still converted.
      {"a\xC3(b", "UTF-8", "a?(b"},
      {"a\xE2\x82", "UTF-8", "a?"},
      {"x\xFFy", "UTF-8", "x?y"},
      // An unknown code set keeps ASCII only.
      {"ol\xC3\xA1", "NO-SUCH-CODESET", "ol??"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ToLatin1(c.text, c.code_set), c.expected) << c.text << " " << c.code_set;
  }
  const std::string long_text(1000, 'a');
  EXPECT_EQ(ToLatin1(long_text + "\xC3\xA9", "UTF-8"), long_text + "\xE9");
}

}  // namespace
}  // namespace xg
