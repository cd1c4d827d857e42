#include "output_format.h"

#include <gtest/gtest.h>

namespace xg::client {
namespace {

using namespace std::string_literals;

// Texts that each format must carry or escape: markup, quotes, separators, line breaks, a NUL,
// another control character, Latin-1 letters in UTF-8.
const ResultTable kRows = {
    {{"ID", "INTEGER"}, {"NAME", "STRING"}, {"NOTE", "STRING"}},
    {
        {"1", "A\xC3\xA7\xC3\xA3o & <b>", "cr\r"},
        {"-20", "say \"hi\", bye", "a\nb"},
        {"3", "x\0y"s, "tab\there\x01"},
    },
};

TEST(FormatCsv, QuotesOnlyWhatNeedsItAndKeepsEveryByte) {
  EXPECT_EQ(FormatCsv(kRows),
            "ID,NAME,NOTE\n"
            "1,A\xC3\xA7\xC3\xA3o & <b>,\"cr\r\"\n"
            "-20,\"say \"\"hi\"\", bye\",\"a\nb\"\n"
            "3,x\0y,tab\there\x01\n"s);
  EXPECT_EQ(FormatCsv({{{"A", "STRING"}}, {}}), "A\n");
}

TEST(FormatJsonLines, OneObjectPerRowWithEscapedTexts) {
  EXPECT_EQ(FormatJsonLines(kRows),
            "{\"ID\":\"1\",\"NAME\":\"A\xC3\xA7\xC3\xA3o & <b>\",\"NOTE\":\"cr\\r\"}\n"
            "{\"ID\":\"-20\",\"NAME\":\"say \\\"hi\\\", bye\",\"NOTE\":\"a\\nb\"}\n"
            "{\"ID\":\"3\",\"NAME\":\"x\\u0000y\",\"NOTE\":\"tab\\there\\u0001\"}\n");
  EXPECT_EQ(FormatJsonLines({{{"A", "STRING"}}, {}}), "");
  EXPECT_EQ(FormatJsonLines({{{"B\\", "STRING"}}, {{"\\\x1F\b\f"}}}),
            "{\"B\\\\\":\"\\\\\\u001f\\b\\f\"}\n");
}

TEST(FormatTable, AlignsColumnsByCharactersNotBytes) {
  EXPECT_EQ(FormatTable(kRows),
            " ID  NAME           NOTE\n"
            "---  -------------  -------------\n"
            "  1  A\xC3\xA7\xC3\xA3o & <b>     cr\\r\n"
            "-20  say \"hi\", bye  a\\nb\n"
            "  3  x\\x00y         tab\\there\\x01\n"
            "(3 rows)\n");
  // An empty result still names its columns; no line ends in blanks.
  EXPECT_EQ(FormatTable({{{"CODE", "INTEGER"}, {"NAME", "STRING"}}, {}}),
            "CODE  NAME\n"
            "----  ----\n"
            "(0 rows)\n");
  EXPECT_EQ(FormatTable({{{"A", "STRING"}, {"B", "STRING"}}, {{"x", ""}}}),
            "A  B\n"
            "-  -\n"
            "x\n"
            "(1 row)\n");
}

TEST(FormatTable, ShowsASingleRecordAsOneLinePerValue) {
  ResultTable status = {
      {{"TIMESTAMP", "DATETIME"}, {"MSGDATA", "STRING"}, {"INTEGER", "INTEGER"}},
      {{"12/10/26 9:00:00 am", "Servi\xC3\xA7o em Opera\xC3\xA7\xC3\xA3o", "2147483647"}},
      true};
  EXPECT_EQ(FormatTable(status),
            "TIMESTAMP  DATETIME  12/10/26 9:00:00 am\n"
            "MSGDATA    STRING    Servi\xC3\xA7o em Opera\xC3\xA7\xC3\xA3o\n"
            "INTEGER    INTEGER   2147483647\n");
}

TEST(Printable, EscapesControlCharactersOfBothRanges) {
  const struct {
    std::string text, shown;
  } cases[] = {
      {"plain \xC3\xA9", "plain \xC3\xA9"},
      {"\r\n\t", "\\r\\n\\t"},
      {"\0\x1B[31m\x7F"s, "\\x00\\x1B[31m\\x7F"},
      {"\xC2\x80\xC2\x9F\xC2\xA0", "\\x80\\x9F\xC2\xA0"},  // C1 controls; the no-break space stays
  };
  for (const auto& c : cases) EXPECT_EQ(Printable(c.text), c.shown);
}

}  // namespace
}  // namespace xg::client
