#include "gateway/document_writer.h"

#include <gtest/gtest.h>

#include <vector>

#include "support/failures.h"
#include "support/test_hosts.h"
#include "support/xml_reader.h"
#include "texts/exceptions.h"
#include "values/date_time.h"

namespace xg {
namespace {

class DocumentWriter : public testing::Test {
 protected:
  const RegionalSettings settings = test::BrazilianSettings();
};

TEST(Tags, TrimBlanksAndControlBytesAtBothEnds) {
  const struct {
    std::string text;
    bool closing;
    std::string tag;
  } cases[] = {
      {" RECORD1 ", false, "<RECORD1>"},
      {"RECORD1", true, "</RECORD1>"},
      {"", false, "<>"},
      {" \t", true, "</>"},
      {"\r\n\x01 A  B\x1F\x7F", false, "<A  B\x1F\x7F>"},  // DEL is above 32
      {"\xA0X\xE9\xA0", false, "<\xA0X\xE9\xA0>"},         // bytes above 127 stay
      {std::string("\0ID\0", 4), true, "</ID>"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.closing ? ClosingTag(c.text) : OpeningTag(c.text), c.tag) << c.text;
  }
}

TEST(ColumnElementName, XmlNamesAreUpperCasedAndOtherBytesEscapedWhereTheyStand) {
  const struct {
    std::string column;
    std::string element;
  } cases[] = {
      {"codigo", "CODIGO"},
      {"F_1", "F_1"},
      {"a-b.c9", "A-B.C9"},
      {"a\xB7", "A\xB7"},                          // the middle dot inside a name
      {"\xE7\xE3o\xC0\xFF", "\xE7\xE3O\xC0\xFF"},  // Latin-1 letters stay as they are
      {"RDB$RELATION_NAME", "RDB_x0024_RELATION_NAME"},
      {"a b", "A_x0020_B"},
      {"x&y", "X_x0026_Y"},
      {"ns:col", "NS_x003A_COL"},
      {"1st", "_x0031_ST"},
      {"-a", "_x002D_A"},
      {".a", "_x002E_A"},
      {"\xB7", "_x00B7_"},
      {"a\xD7\xF7", "A_x00D7__x00F7_"},  // the multiplication and division signs
      {"<b>\"'=/", "_x003C_B_x003E__x0022__x0027__x003D__x002F_"},
      {"\x01\x7F\xA0", "_x0001__x007F__x00A0_"},
  };
  for (const auto& c : cases) {
    const std::string element = ColumnElementName(c.column);
    EXPECT_EQ(element, c.element) << c.column;
    std::string error;
    const test::XmlElement root = test::ReadXmlDocument(
        "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><" + element + "/>", error);
    EXPECT_EQ(error, "") << c.column;
    EXPECT_EQ(root.name, element) << c.column;
  }
}

TEST_F(DocumentWriter, MakeElementLaysOutIndentNameKindSizeValueAndClosingTag) {
  const Variant text = Variant::FromString("x");
  const struct {
    std::string name;
    Variant value;
    DataKind kind;
    int32_t size, indent;
    std::string line;
  } cases[] = {
      {"ID", Variant::FromInteger(42), DataKind::kInteger, 4, 0,
       " <ID DATATYPE=\"INTEGER\" DATASIZE=\"4\">42</ID>"},
      {"NOME", text, DataKind::kString, 40, 0,
       " <NOME DATATYPE=\"STRING\" DATASIZE=\"40\">x</NOME>"},
      {"N", text, DataKind::kString, 0, 2, "   <N DATATYPE=\"STRING\">x</N>"},
      {"N", text, DataKind::kString, -7, -1, "<N DATATYPE=\"STRING\">x</N>"},
      {"N", text, DataKind::kString, 2147483647, 0,
       " <N DATATYPE=\"STRING\" DATASIZE=\"2147483647\">x</N>"},
      {"", text, DataKind::kString, 0, 0, " <DATATYPE=\"STRING\">x</>"},
      {"A ", text, DataKind::kString, 0, 0, " <A  DATATYPE=\"STRING\">x</A>"},
      {"V", Variant::FromString(""), DataKind::kString, 0, 0, " <V DATATYPE=\"STRING\"></V>"},
      // The value is escaped; quotation marks and line breaks stay.
      {"V", Variant::FromString("a<b&c\"d\r\ne>"), DataKind::kString, 0, 0,
       " <V DATATYPE=\"STRING\">a&lt;b&amp;c\"d\r\ne&gt;</V>"},
      {"V", Variant::FromString(std::string("a\0b\x01\x1F", 5)), DataKind::kString, 0, 0,
       " <V DATATYPE=\"STRING\">a?b?"
       "?</V>"},
      {"F", Variant::FromDouble(1.5), DataKind::kFloat, 8, 0,
       " <F DATATYPE=\"FLOAT\" DATASIZE=\"8\">1,5</F>"},
      {"D", Variant::FromDate(EncodeDate(2025, 12, 8) + EncodeTime(21, 13, 5, 0)),
       DataKind::kDateTime, 0, 0, " <D DATATYPE=\"DATETIME\">08/12/2025 21:13:05</D>"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(MakeElement(c.name, c.value, c.kind, c.size, c.indent, settings), c.line) << c.line;
}

TEST(EscapeText, MarkupAsReferencesAndControlCharactersAsQuestionMarks) {
  const struct {
    std::string text;
    std::string escaped;
  } cases[] = {
      {"", ""},
      {"plain text \xE7\xE3 \x7F\x80\xFF", "plain text \xE7\xE3 \x7F\x80\xFF"},
      {"<a href=\"x\">&amp;</a>", "&lt;a href=\"x\"&gt;&amp;amp;&lt;/a&gt;"},
      {"tab\tLF\nCR\r", "tab\tLF\nCR\r"},
      {std::string("\0\x01\x08\x0B\x0C\x0E\x1F\x20", 8), "??????? "},
      {std::string("end\0", 4), "end?"},
  };
  for (const auto& c : cases) EXPECT_EQ(EscapeText(c.text), c.escaped) << c.text;
  // Every byte from 0x20 up but the three markup characters stays.
  for (int c = 0x20; c < 0x100; ++c) {
    if (c == '&' || c == '<' || c == '>') continue;
    EXPECT_EQ(EscapeText(std::string(1, static_cast<char>(c))),
              std::string(1, static_cast<char>(c)));
  }
}

TEST(DataKindName, NamesTheSevenKinds) {
  const std::vector<std::string> names = {"STRING", "INTEGER", "FLOAT",   "BOOLEAN",
                                          "DATE",   "TIME",    "DATETIME"};
  for (int kind = 0; kind <= static_cast<int>(DataKind::kDateTime); ++kind)
    EXPECT_EQ(DataKindName(static_cast<DataKind>(kind)), names[kind]);
}

TEST_F(DocumentWriter, NullEmptyAndOrdinaryValuesUnderEveryKind) {
  const Variant null = Variant::Null();
  const Variant empty;
  const struct {
    DataKind kind;
    std::string nullText, emptyText;
  } cases[] = {
      {DataKind::kString, "", ""},
      {DataKind::kInteger, "0", "0"},
      {DataKind::kFloat, "0", "0"},
      {DataKind::kBoolean, "False", "False"},
      {DataKind::kDate, "", "30/12/1899"},
      {DataKind::kTime, "", "00:00:00"},
      {DataKind::kDateTime, "", "30/12/1899"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ValueToText(null, c.kind, settings), c.nullText) << DataKindName(c.kind);
    EXPECT_EQ(ValueToText(empty, c.kind, settings), c.emptyText) << DataKindName(c.kind);
  }

  const DateTime moment = EncodeDate(2024, 2, 29) + EncodeTime(7, 5, 9, 0);
  const struct {
    Variant value;
    DataKind kind;
    std::string text;
  } values[] = {
      {Variant::FromBoolean(true), DataKind::kBoolean, "True"},
      {Variant::FromBoolean(false), DataKind::kBoolean, "False"},
      {Variant::FromInteger(-2147483647 - 1), DataKind::kInteger, "-2147483648"},
      {Variant::FromString("17"), DataKind::kInteger, "17"},
      {Variant::FromDouble(-0.25), DataKind::kFloat, "-0,25"},
      {Variant::FromInteger(3), DataKind::kFloat, "3"},
      {Variant::FromDate(moment), DataKind::kDate, "29/02/2024"},
      {Variant::FromDate(moment), DataKind::kTime, "07:05:09"},
      {Variant::FromDate(moment), DataKind::kDateTime, "29/02/2024 07:05:09"},
      {Variant::FromDouble(moment), DataKind::kDateTime, "29/02/2024 07:05:09"},
      {Variant::FromInteger(42), DataKind::kString, "42"},
  };
  for (const auto& v : values) EXPECT_EQ(ValueToText(v.value, v.kind, settings), v.text) << v.text;
}

TEST_F(DocumentWriter, ConversionFailuresReachTheCallerWithoutALine) {
  EXPECT_THROW(MakeElement("N", Variant::FromString("abc"), DataKind::kInteger, 0, 0, settings),
               EVariantError);
  EXPECT_THROW(MakeElement("N", Variant::FromString("1,5x"), DataKind::kFloat, 0, 0, settings),
               EVariantError);
  EXPECT_EQ(test::FailureMessage<EVariantInvalidOpError>([&] {
              MakeElement("N", Variant::FromRaw(VarTypeCode::kDispatch, 0), DataKind::kString, 0, 0,
                          settings);
            }),
            "Invalid variant operation");
}

TEST(FieldDataKind, DecimalTextAndBlobTypesAreStrings) {
  const std::pair<FieldType, DataKind> cases[] = {
      {FieldType::kUnknown, DataKind::kString},    {FieldType::kString, DataKind::kString},
      {FieldType::kSmallint, DataKind::kInteger},  {FieldType::kInteger, DataKind::kInteger},
      {FieldType::kLargeint, DataKind::kInteger},  {FieldType::kBcd, DataKind::kString},
      {FieldType::kFmtBcd, DataKind::kString},     {FieldType::kFloat, DataKind::kFloat},
      {FieldType::kDate, DataKind::kDate},         {FieldType::kTime, DataKind::kTime},
      {FieldType::kDateTime, DataKind::kDateTime}, {FieldType::kBlob, DataKind::kString},
      {FieldType::kMemo, DataKind::kString},       {FieldType::kBoolean, DataKind::kBoolean},
  };
  for (const auto& [type, kind] : cases)
    EXPECT_EQ(FieldDataKind(type), kind) << "field type " << static_cast<int>(type);
}

TEST(JoinDocumentLines, EndsEveryLineWithCrLfAndLeavesLinesAsTheyAre) {
  EXPECT_EQ(JoinDocumentLines({}), "");
  EXPECT_EQ(JoinDocumentLines({""}), "\r\n");
  EXPECT_EQ(JoinDocumentLines({"<A>", " x\r\ry\n", "</A>"}), "<A>\r\n x\r\ry\n\r\n</A>\r\n");
}

}  // namespace
}  // namespace xg
