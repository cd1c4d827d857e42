// The answers of the two SQL services read back by an XML parser: hostile values in every column
// type that carries text, binary values with every byte, bytes 0 inside values, and server
// messages that quote SQL with markup. Each document must be well-formed and give back the values
// that went in, as far as XML can carry them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/gateway_config.h"
#include "db_test_support.h"
#include "gateway/sql_services.h"
#include "service_inputs.h"
#include "support/request_body.h"
#include "support/test_hosts.h"
#include "support/xml_reader.h"
#include "values/regional_settings.h"

namespace xg {
namespace {

const RegionalSettings& Defaults() {
  static const RegionalSettings settings = test::DefaultSettings();
  return settings;
}

// The host that gives nothing: the default settings, a full stop before decimals. The scratch
// databases open in the embedded engine.
class WellFormedDocuments : public ::testing::Test {};

RequestParams RequestText(const std::string& service, const std::string& db,
                          const std::string& sql) {
  return test::ParsedRequest("<?xml version=\"1.0\"?><SENDDATA><SERVICE>" + service +
                             "</SERVICE><DB>" + db + "</DB><USER>SYSDBA</USER><PASS>" +
                             test::Base64Encode("masterkey") + "</PASS><SQL>" +
                             test::Base64Encode(sql) + "</SQL></SENDDATA>");
}

test::XmlElement Read(const std::string& document) {
  std::string error;
  test::XmlElement root = test::ReadXmlDocument(document, error);
  EXPECT_EQ(error, "") << document.substr(0, 2000);
  return root;
}

// What a reader gets for the bytes that went in: each control character XML cannot carry as
// "?", and line ends as XML delivers them (CR LF and a lone CR as LF).
std::string AsRead(const std::string& bytes) {
  std::string text;
  for (size_t i = 0; i < bytes.size(); ++i) {
    const auto c = static_cast<unsigned char>(bytes[i]);
    if (c == '\r') {
      if (i + 1 < bytes.size() && bytes[i + 1] == '\n') continue;
      text += '\n';
    } else if (c < 0x20 && c != '\t' && c != '\n') {
      text += '?';
    } else {
      text += static_cast<char>(c);
    }
  }
  return text;
}

std::string Hex(const std::string& bytes) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string hex;
  for (unsigned char c : bytes) {
    hex += kDigits[c >> 4];
    hex += kDigits[c & 15];
  }
  return hex;
}

TEST_F(WellFormedDocuments, QueryWithHostileValuesInEveryColumnType) {
  std::string every_byte;
  for (int c = 0; c < 256; ++c) every_byte += static_cast<char>(c);
  const std::string markup = "<a href=\"x\">&amp; ]]> &#65; <!-- -->";
  const std::string controls = std::string("tab\t\x01\x08\x0B\x0C\x0E\x1F\x7F end", 16);
  const std::string octets = std::string("a\0b<\0>&", 7);
  const std::string octets_char = std::string("x\0y", 3);
  const std::string latin1 = "Opera\xE7\xE3o \xA0\xFF";
  const std::string memo = markup + "\r\n" + controls + "\n" + latin1;

  const std::string db = test::CreateDatabase(
      3,
      "CREATE TABLE H (ID INTEGER, C_CHAR CHAR(40), C_VARCHAR VARCHAR(60), "
      "C_OCTETS VARCHAR(16) CHARACTER SET OCTETS, C_OCTCHAR CHAR(6) CHARACTER SET OCTETS, "
      "C_SMALLINT SMALLINT, C_BIGINT BIGINT, C_NUMERIC NUMERIC(9,2), C_DECIMAL DECIMAL(18,6), "
      "C_FLOAT FLOAT, C_DOUBLE DOUBLE PRECISION, C_DATE DATE, C_TIME TIME, C_TIMESTAMP TIMESTAMP, "
      "C_BOOLEAN BOOLEAN, C_MEMO BLOB SUB_TYPE 1, C_BLOB BLOB SUB_TYPE 0);\n"
      "INSERT INTO H VALUES (1, x'" +
          Hex(markup) + "', x'" + Hex(controls) + "', x'" + Hex(octets) + "', x'" +
          Hex(octets_char) +
          "', -7, -5, -1.25, 0.000001, 2.5, 1e300, '2024-02-29', '23:59:59', "
          "'2024-02-29 23:59:59', TRUE, x'" +
          Hex(memo) + "', x'" + Hex(every_byte) +
          "');\n"
          "INSERT INTO H (ID, C_VARCHAR) VALUES (2, x'" +
          Hex(latin1) + "');\nCOMMIT;\n");

  const std::string document =
      RunOpenSql(RequestText("SERVICEOPENSQL", db, "select * from h order by id"),
                 test::ScratchContext(), Defaults())
          .Text();
  const test::XmlElement root = Read(document);
  ASSERT_EQ(root.name, "OPENSQL");
  ASSERT_EQ(root.attributes,
            (std::vector<std::pair<std::string, std::string>>{{"RECORDCOUNT", "2"}}))
      << document;
  const test::XmlElement& first = root.Child("RECORD1");
  const struct {
    std::string column;
    std::string value;
  } expected[] = {
      {"ID", "1"},
      {"C_CHAR", markup + std::string(40 - markup.size(), ' ')},
      {"C_VARCHAR", AsRead(controls)},
      // Bytes 0 inside a value no longer cut it; a CHAR of octets is padded with blanks.
      {"C_OCTETS", "a?b<?>&"},
      {"C_OCTCHAR", "x?y   "},
      {"C_SMALLINT", "-7"},
      {"C_BIGINT", "-5"},
      {"C_NUMERIC", "-1.25"},
      {"C_DECIMAL", "0.000001"},
      {"C_FLOAT", "2.5"},
      {"C_DOUBLE", "1E300"},
      {"C_BOOLEAN", "True"},
      {"C_MEMO", AsRead(memo)},
      {"C_BLOB", AsRead(every_byte)},
  };
  for (const auto& [column, value] : expected) {
    EXPECT_EQ(first.Child(column).text, value) << column;
  }
  for (const char* column : {"C_DATE", "C_TIME", "C_TIMESTAMP"}) {
    EXPECT_FALSE(first.Child(column).text.empty()) << column;
  }
  const test::XmlElement& second = root.Child("RECORD2");
  EXPECT_EQ(second.Child("C_VARCHAR").text, latin1);
  EXPECT_EQ(second.Child("C_BLOB").text, "");
  EXPECT_EQ(second.Child("C_DOUBLE").text, "0");
}

// System columns carry "$", and an alias may hold anything: each gives an element name that a
// parser reads, with the bytes that cannot stand in a name escaped.
TEST_F(WellFormedDocuments, QueryWhoseColumnNamesAreNoXmlNames) {
  const std::string db = test::CreateDatabase(3, "");
  const std::string document =
      RunOpenSql(RequestText("SERVICEOPENSQL", db,
                             "select rdb$relation_id, 1 as \"a b\", 2 as \"1st\", "
                             "3 as \"x&y\", 4 as \"ns:c\", 5 as \"<t>\", 6 as plain "
                             "from rdb$database"),
                 test::ScratchContext(), Defaults())
          .Text();
  const test::XmlElement root = Read(document);
  ASSERT_EQ(root.name, "OPENSQL") << document;
  std::vector<std::string> names;
  for (const test::XmlElement& column : root.Child("RECORD1").children) {
    names.push_back(column.name);
  }
  EXPECT_EQ(names,
            (std::vector<std::string>{"RDB_x0024_RELATION_ID", "A_x0020_B", "_x0031_ST",
                                      "X_x0026_Y", "NS_x003A_C", "_x003C_T_x003E_", "PLAIN"}));
}

TEST_F(WellFormedDocuments, MessagesThatQuoteSqlWithMarkup) {
  const std::string db = test::CreateDatabase(3, "CREATE TABLE T (A VARCHAR(10));\nCOMMIT;\n");
  // The server's message names the unknown token: "<".
  const test::XmlElement exec =
      Read(RunExecSql(RequestText("SERVICEEXECSQL", db, "update t set a = <&> 1"),
                      test::ScratchContext(), Defaults()));
  ASSERT_EQ(exec.name, "EXECSQL");
  const std::string exec_message = exec.Child("MSGDATA").text;
  EXPECT_EQ(exec_message.rfind("Opera\xE7\xE3o n\xE3o efetuada: ", 0), 0u) << exec_message;
  EXPECT_NE(exec_message.find("Token unknown"), std::string::npos) << exec_message;
  EXPECT_EQ(exec_message.substr(exec_message.size() - 2), "\n<") << exec_message;

  const test::XmlElement open =
      Read(RunOpenSql(RequestText("SERVICEOPENSQL", db, "select a from t where a < & 1"),
                      test::ScratchContext(), Defaults())
               .Text());
  ASSERT_EQ(open.name, "OPENSQL");
  const std::string open_message = open.Child("MSGDATA").text;
  EXPECT_NE(open_message.find("Token unknown"), std::string::npos) << open_message;
  EXPECT_EQ(open_message.substr(open_message.size() - 2), "\n&") << open_message;

  // And a statement that succeeds after all.
  const test::XmlElement done =
      Read(RunExecSql(RequestText("SERVICEEXECSQL", db, "insert into t (a) values ('<&>')"),
                      test::ScratchContext(), Defaults()));
  EXPECT_EQ(done.Child("MSGDATA").text, "Opera\xE7\xE3o efetuada com sucesso");
  const test::XmlElement row = Read(RunOpenSql(RequestText("SERVICEOPENSQL", db, "select a from t"),
                                               test::ScratchContext(), Defaults())
                                        .Text());
  EXPECT_EQ(row.Child("RECORD1").Child("A").text, "<&>");
}

}  // namespace
}  // namespace xg
