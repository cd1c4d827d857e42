#include "gateway/form_fields.h"

#include <gtest/gtest.h>

#include <vector>

#include "texts/exceptions.h"

namespace xg {
namespace {

std::vector<std::string> Fields(const std::string& body) {
  FormFieldList list;
  ParseFormFields(body, list);
  std::vector<std::string> entries;
  for (size_t i = 0; i < list.Count(); ++i) entries.push_back(list[i]);
  return entries;
}

using Entries = std::vector<std::string>;

TEST(FormFields, SplittingFollowsTheSeparatorAndQuoteRules) {
  const std::pair<std::string, Entries> cases[] = {
      {"a=1&b=2", {"a=1", "b=2"}},
      {"a=1&&b=2", {"a=1", "", "b=2"}},  // a doubled "&" adds an empty entry
      {"a=1&", {"a=1"}},                 // a trailing one adds nothing
      {"&a", {"", "a"}},
      {"", {}},
      {"a=1\r\nb=2\r\n", {"a=1", "b=2"}},  // CR LF separates like "&"
      {"\r\n\r\na=1", {"a=1"}},            // and is skipped at the start of a field
      {"a=1\r\n&b", {"a=1", "", "b"}},
      {std::string("a=1&b\0=2&c", 10), {"a=1", "b"}},  // NUL ends the body
      {std::string("\0a=1", 4), {}},
      // A leading quote is dropped, the field runs to the closing quote, and the separator after
      // it starts an empty entry.
      {"\"a&b\r\nc\"&d", {"a&b\r\nc", "", "d"}},
      {"\"a&b\"", {"a&b"}},
      {"\"unclosed&x", {"unclosed&x"}},
      {"\"\"x", {"", "x"}},
      // A quote inside a field keeps both quotes and the separators between them; the byte after
      // the closing quote is skipped.
      {"x=\"a&b\"&d", {"x=\"a&b\"", "d"}},
      {"x=\"a&b\"c&d", {"x=\"a&b\"", "", "d"}},
      {"x=\"a&b\"cd", {"x=\"a&b\"", "d"}},
      {"a=\"q", {"a=\"q"}},
      // The whole field is decoded, name and value together.
      {"SENDDATA=ab+cd%2B", {"SENDDATA=ab cd+"}},
      {"a%3Db=c", {"a=b=c"}},
      {"%41=%e3%E3", {"A=\xE3\xE3"}},
      {"p=100%%&q=%%41", {"p=100%", "q=%41"}},
  };
  for (const auto& [body, expected] : cases) EXPECT_EQ(Fields(body), expected) << body;
}

TEST(FormFields, ValuesTakesTheFirstEntryWithTheNameInAnyCase) {
  FormFieldList list;
  ParseFormFields("x=1&SENDDATA=a&SENDDATA=b&SENDDATA&SEND DATA=c&\xC7=cedilla&e=", list);
  EXPECT_EQ(list.Values("SENDDATA"), "a");
  EXPECT_EQ(list.Values("senddata"), "a");
  EXPECT_EQ(list.Values("SendData"), "a");
  EXPECT_EQ(list.Values("SEND DATA"), "c");
  EXPECT_EQ(list.Values("\xE7"), "cedilla");  // ISO-8859-1 letters fold too
  EXPECT_EQ(list.Values("e"), "");
  EXPECT_EQ(list.Values("missing"), "");
  EXPECT_EQ(list.Values(""), "");

  FormFieldList withoutEquals;
  ParseFormFields("SENDDATA&SEND DATA=x", withoutEquals);
  EXPECT_EQ(withoutEquals.Values("SENDDATA"), "");
}

TEST(UrlDecode, MalformedEscapesNameThePositionOfThePercentSign) {
  struct Case {
    std::string text;
    bool convertError;  // else the decoding failure
    std::string message;
  };
  const Case cases[] = {
      {"SENDDATA=%4", false, "Error decoding URL style (%XX) encoded string at position 10"},
      {"SENDDATA=%", false, "Error decoding URL style (%XX) encoded string at position 10"},
      {"%", false, "Error decoding URL style (%XX) encoded string at position 1"},
      {"SENDDATA=%G1", true, "Invalid URL encoded character (%G1) at position 10"},
      {"ab%%%1z", true, "Invalid URL encoded character (%1z) at position 5"},
      {"%+1", true, "Invalid URL encoded character (%+1) at position 1"},
  };
  for (const Case& c : cases) {
    try {
      UrlDecode(c.text);
      ADD_FAILURE() << "no failure for " << c.text;
    } catch (const EConvertError& e) {
      EXPECT_TRUE(c.convertError) << c.text;
      EXPECT_EQ(e.Message(), c.message);
    } catch (const EWebException& e) {
      EXPECT_FALSE(c.convertError) << c.text;
      EXPECT_EQ(e.Message(), c.message);
    }
  }
}

TEST(UrlDecode, FailurePositionsCountFromTheStartOfTheField) {
  FormFieldList list;
  try {
    ParseFormFields("a=1&b=%zz&c=3", list);
    ADD_FAILURE() << "no failure";
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message(), "Invalid URL encoded character (%zz) at position 3");
  }
  // The fields before the failure stay in the list.
  ASSERT_EQ(list.Count(), 1u);
  EXPECT_EQ(list[0], "a=1");
}

}  // namespace
}  // namespace xg
