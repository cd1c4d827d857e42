#include "db/sql_params.h"

#include <gtest/gtest.h>

#include "db/ib_error.h"
#include "db/ib_xsqlda.h"

namespace xg {
namespace {

TEST(SqlLines, SplitAtEveryLineBreakAndEndAtNul) {
  EXPECT_EQ(SqlLinesText(""), "");
  EXPECT_EQ(SqlLinesText("select 1"), "select 1\r\n");
  EXPECT_EQ(SqlLinesText("a\rb\nc\r\nd\r\n"), "a\r\nb\r\nc\r\nd\r\n");
  EXPECT_EQ(SqlLinesText("a\n\nb"), "a\r\n\r\nb\r\n");
  EXPECT_EQ(SqlLinesText(std::string("select 1\0drop table t", 21)), "select 1\r\n");
}

TEST(SqlParams, MarkersOutsideQuotesAndComments) {
  ProcessedSql p = PreprocessSql(
      "update t set a = :p, b = ':q', c = \":r\" /* :s */ where d = ?x and e = :\"Odd \"\"N\"\"\"");
  EXPECT_EQ(p.text, "update t set a = ?, b = ':q', c = \":r\" /* :s */ where d = ? and e = ?");
  EXPECT_EQ(p.param_names, (std::vector<std::string>{"p", "x", "Odd \"N\""}));

  p = PreprocessSql("select 'it''s :a' from t where x = :$a_1b");
  EXPECT_EQ(p.text, "select 'it''s :a' from t where x = ?");
  EXPECT_EQ(p.param_names, (std::vector<std::string>{"$a_1b"}));
}

TEST(SqlParams, ParseFailures) {
  const std::pair<std::string, std::string> cases[] = {
      {"select 1 from t /* open", "Fim do coment\xE1rio detectado"},
      {"select 'open from t", "Fim da string detectada"},
      {"select \"open from t", "Fim da string detectada"},
      {"select 'a''' || 'b from t", "Fim da string detectada"},
      {"update t set a = :", "Nome do par\xE2metro esperado"},
      {"update t set a = : b", "Nome do par\xE2metro esperado"},
      {"select * from t where a = ?", "Nome do par\xE2metro esperado"},
      {"update t set a = :\"unclosed", "Fim da string detectada"},
  };
  for (const auto& [sql, reason] : cases) {
    try {
      PreprocessSql(sql);
      ADD_FAILURE() << "accepted: " << sql;
    } catch (const EIBClientError& e) {
      EXPECT_EQ(e.SqlCode(), 55);
      EXPECT_EQ(e.Message(), "Erro na an\xE1lise do SQL:\r\n\r\n" + reason) << sql;
    }
  }
}

TEST(ColumnNaming, DuplicatesNumberedAndEmptyAliasesNamedF) {
  EXPECT_EQ(UniqueColumnNames({"ID", "ID", "NAME", "ID"}, 3),
            (std::vector<std::string>{"ID", "ID1", "NAME", "ID2"}));
  EXPECT_EQ(UniqueColumnNames({"", "", "F_1", ""}, 3),
            (std::vector<std::string>{"F_1", "F_2", "F_11", "F_3"}));
  // Names compare after the identifier rule: case folded, blanks trimmed.
  EXPECT_EQ(UniqueColumnNames({"id", "ID ", "Id"}, 1),
            (std::vector<std::string>{"id", "ID 1", "Id1"}));
}

TEST(ColumnNaming, NamesStayBelowTheLimit) {
  const std::string long_name(31, 'N');
  const auto names = UniqueColumnNames({long_name, long_name, long_name}, 3);
  EXPECT_EQ(names[0], long_name);
  EXPECT_EQ(names[1], std::string(30, 'N') + "1");
  EXPECT_EQ(names[2], std::string(30, 'N') + "2");

  std::vector<std::string> many(12, std::string(30, 'M'));
  const auto numbered = UniqueColumnNames(many, 3);
  EXPECT_EQ(numbered[9], std::string(30, 'M') + "9");
  EXPECT_EQ(numbered[10], std::string(29, 'M') + "10");
  for (const std::string& name : numbered) EXPECT_LE(name.size(), 31u);
}

TEST(ColumnNaming, IdentifierRule) {
  EXPECT_EQ(NormalizeIdentifier(3, " abc "), "ABC");
  EXPECT_EQ(NormalizeIdentifier(3, "\"ab\"\"c\""), "ab\"c");
  EXPECT_EQ(NormalizeIdentifier(1, "\"ab\""), "\"AB\"");
}

}  // namespace
}  // namespace xg
