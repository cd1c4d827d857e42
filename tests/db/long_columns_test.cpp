// Result columns of every length, type, scale and count the client library may describe: the row
// buffers are sized from the description, or the query is refused with the OPENSQL failure
// document naming the column; nothing is written or read past a buffer.
//
// Through the real engine: a concatenation of long strings, described with a length past 32767
// that wraps in the signed 16-bit field (40000 as -25536), is fetched as the longest VARCHAR
// (32765 bytes) and answered whole, on the embedded engine and through the server, by the CGI
// program and by a FastCGI process with kept attachments, in the same bytes; a value longer than
// that answers the engine's string truncation. Through described columns and fetched bytes of any
// shape (fake_columns.h) on an otherwise real road: wrapped, zero and odd lengths, length words
// past the bound, scales out of range, counts that change between the describes and at the fetch.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "db_test_support.h"
#include "fake_columns.h"
#include "gateway/sql_services.h"
#include "service_inputs.h"
#include "support/child_process.h"
#include "support/fastcgi_peer.h"
#include "support/request_body.h"
#include "support/scoped_config.h"
#include "support/test_hosts.h"
#include "values/regional_settings.h"

namespace xg {
namespace {

const RegionalSettings& Brazilian() {
  static const RegionalSettings settings = test::BrazilianSettings();
  return settings;
}

const std::string kDeclaration = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\r\n";

std::string OneRow(const std::string& element, int size, const std::string& value) {
  return kDeclaration + "<OPENSQL RECORDCOUNT=\"1\">\r\n<RECORD1>\r\n <" + element +
         " DATATYPE=\"STRING\" DATASIZE=\"" + std::to_string(size) + "\">" + value + "</" +
         element + ">\r\n</RECORD1>\r\n</OPENSQL>\r\n";
}

std::string OpenFailure(const std::string& message) {
  return kDeclaration + "<OPENSQL>\r\n <MSGDATA DATATYPE=\"STRING\">" + message +
         "</MSGDATA>\r\n</OPENSQL>\r\n";
}

struct Statement {
  const char* sql;
  std::string document;
};

// The statements of the issue and their answers.
const std::vector<Statement>& Statements() {
  static const std::vector<Statement> statements = {
      // 32000 bytes: described as they are, as always.
      {"select cast('x' as varchar(16000)) || cast('y' as varchar(16000)) from rdb$database",
       OneRow("CONCATENATION", 32000, "xy")},
      // 40000 and 60000 bytes, wrapped to -25536 and -5536: fetched as VARCHAR(32765).
      {"select cast('x' as varchar(20000)) || cast('y' as varchar(20000)) from rdb$database",
       OneRow("CONCATENATION", 32765, "xy")},
      {"select cast('x' as varchar(30000)) || cast('y' as varchar(30000)) from rdb$database",
       OneRow("CONCATENATION", 32765, "xy")},
      // 40000 bytes of which the last 7235 are blanks: only those are cut.
      {"select cast('x' as char(20000)) || cast('y' as char(20000)) from rdb$database",
       OneRow("CONCATENATION", 32765,
              "x" + std::string(19999, ' ') + "y" + std::string(32765 - 20001, ' '))},
      // 65532 bytes that are no blanks do not fit: the engine's truncation error.
      {"select rpad('a', 32766, 'b') || rpad('a', 32766, 'b') from rdb$database",
       OpenFailure("Dynamic SQL Error\r\nSQL error code = -303\r\narithmetic exception, numeric "
                   "overflow, or string truncation\r\nstring right truncation\r\nexpected length "
                   "32765, actual 65532")},
  };
  return statements;
}

std::string RequestDocument(const std::string& db, const std::string& password,
                            const std::string& sql) {
  return "<?xml version=\"1.0\"?><SENDDATA><SERVICE>SERVICEOPENSQL</SERVICE><DB>" + db +
         "</DB><USER>SYSDBA</USER><PASS>" + test::Base64Encode(password) + "</PASS><SQL>" +
         test::Base64Encode(sql) + "</SQL></SENDDATA>";
}

std::string Open(const std::string& db, const std::string& password, const std::string& sql) {
  return RunOpenSql(test::ParsedRequest(RequestDocument(db, password, sql)), test::ScratchContext(),
                    Brazilian())
      .Text();
}

// A database the server opens, and one the embedded engine opens.
struct Databases {
  std::string embedded = test::CreateDatabase(3, "");
  std::string server = [] {
    const std::string path = test::CreateDatabase(3, "");
    test::GiveToServer(path);
    return test::ServerDatabaseName(path);
  }();
};

TEST(LongColumns, TheEmbeddedEngineAndTheServerAnswerWholeOrTheTruncation) {
  const Databases db;
  for (const Statement& statement : Statements()) {
    SCOPED_TRACE(statement.sql);
    EXPECT_EQ(Open(db.embedded, "", statement.sql), statement.document);
    EXPECT_EQ(Open(db.server, test::Server().password, statement.sql), statement.document);
  }
}

// The CGI program's answers, on the embedded engine and through the server, are the same bytes;
// so are a FastCGI process's, on attachments it keeps from request to request.
TEST(LongColumns, CgiAndFastCgiWithKeptAttachmentsAnswerTheSameBytes) {
  const Databases db;
  const std::string config = test::EmbeddedScratchConfigFile();
  test::FastCgiProcess fastcgi(
      XG_PROGRAM, test::FreshSocketPath(),
      {"PATH=/usr/bin:/bin",
       "XMLGATEWAY_CONF=" +
           test::WriteConfigFile(test::EmbeddedScratchConfig() + "[pool]\nattachments = on\n")});
  ASSERT_TRUE(fastcgi.WaitUntilListening());
  for (const Statement& statement : Statements()) {
    SCOPED_TRACE(statement.sql);
    const std::string embedded_body =
        test::SendDataBody(RequestDocument(db.embedded, "", statement.sql));
    const std::string server_body =
        test::SendDataBody(RequestDocument(db.server, test::Server().password, statement.sql));
    std::vector<std::string> environment = {"PATH=/usr/bin:/bin", "XMLGATEWAY_CONF=" + config};
    for (const auto& [name, value] : test::PostParams(embedded_body))
      environment.push_back(name + "=" + value);
    const test::ChildResult cgi = test::RunChild(XG_PROGRAM, environment, embedded_body);
    EXPECT_EQ(cgi.exit_code, 0) << cgi.err;
    ASSERT_GE(cgi.out.size(), statement.document.size());
    EXPECT_EQ(cgi.out.substr(cgi.out.size() - statement.document.size()), statement.document);

    environment = {"PATH=/usr/bin:/bin", "XMLGATEWAY_CONF=" + config};
    for (const auto& [name, value] : test::PostParams(server_body))
      environment.push_back(name + "=" + value);
    const test::ChildResult cgi_server = test::RunChild(XG_PROGRAM, environment, server_body);
    EXPECT_EQ(cgi_server.exit_code, 0) << cgi_server.err;
    EXPECT_EQ(cgi_server.out, cgi.out);

    // Twice each: the second request runs on the attachment the first one left.
    for (int round = 0; round < 2; ++round) {
      for (const std::string* body : {&embedded_body, &server_body}) {
        const test::FcgiAnswer fast = test::AskOnNewConnection(fastcgi.address(), *body);
        EXPECT_TRUE(fast.ended);
        EXPECT_EQ(fast.out, cgi.out);
      }
    }
  }
}

// Fake describe and fetch on an otherwise real road: an embedded database, a real statement
// ("select 1 from rdb$database") prepared, executed and closed by the library.
std::string OpenFake(test::FakeResult result) {
  static const std::string db = test::CreateDatabase(3, "");
  const test::FakeColumns fake(std::move(result), test::FakeRoad::kDescribeAndFetch);
  return Open(db, "", "select 1 as n from rdb$database");
}

test::FakeColumn Column(ISC_SHORT sqltype, ISC_SHORT sqllen, const std::string& alias,
                        ISC_SHORT scale = 0) {
  return {sqltype, sqllen, scale, 0, alias};
}

std::string Bytes(const void* data, size_t size) {
  return std::string(static_cast<const char*>(data), size);
}

template <class T>
std::string BytesOf(T value) {
  return Bytes(&value, sizeof value);
}

TEST(DescribedShapes, AWrappedStringLengthIsFetchedAsTheLongestVarchar) {
  for (const ISC_SHORT type : {SQL_VARYING, SQL_TEXT}) {
    for (const ISC_SHORT length : {-25536, -5536, -1, -32768}) {
      SCOPED_TRACE(std::to_string(type) + " " + std::to_string(length));
      test::FakeResult result;
      result.columns = {Column(static_cast<ISC_SHORT>(type | 1), length, "LONG")};
      result.rows = {{{false, test::VaryingBytes("xy")}}, {{true, ""}}};
      EXPECT_EQ(OpenFake(result),
                kDeclaration +
                    "<OPENSQL RECORDCOUNT=\"2\">\r\n<RECORD1>\r\n <LONG DATATYPE=\"STRING\" "
                    "DATASIZE=\"32765\">xy</LONG>\r\n</RECORD1>\r\n<RECORD2>\r\n <LONG "
                    "DATATYPE=\"STRING\" DATASIZE=\"32765\"></LONG>\r\n</RECORD2>\r\n"
                    "</OPENSQL>\r\n");
    }
  }
}

TEST(DescribedShapes, ALengthWordPastTheBoundIsTheFieldSizeFailure) {
  for (const unsigned short word : {11, 12, 40000, 65535}) {
    SCOPED_TRACE(word);
    test::FakeResult result;
    result.columns = {Column(SQL_VARYING | 1, 10, "SHORT_TEXT")};
    result.rows = {{{false, test::VaryingBytes(word, "abc")}}};
    EXPECT_EQ(OpenFake(result), OpenFailure("Tamanho N\xE3o Combina - Tamanho do Campo SHORT_TEXT "
                                            "\xE9 muito pequeno para o dado"));
  }
  // The longest word that fits.
  test::FakeResult result;
  result.columns = {Column(SQL_VARYING, 10, "SHORT_TEXT")};
  result.rows = {{{false, test::VaryingBytes(10, "abcdefghijXYZ")}}};
  EXPECT_EQ(OpenFake(result), OneRow("SHORT_TEXT", 10, "abcdefghij"));
}

TEST(DescribedShapes, ZeroLengthsAndTheLongestLengths) {
  test::FakeResult result;
  result.columns = {Column(SQL_TEXT, 0, "C0"), Column(SQL_VARYING, 0, "V0"),
                    Column(SQL_TEXT | 1, 32767, "C"), Column(SQL_VARYING | 1, 32767, "V")};
  result.rows = {{{false, "ignored"},
                  {false, test::VaryingBytes("")},
                  {false, "abc"},
                  {false, test::VaryingBytes(std::string(32767, 'v'))}}};
  EXPECT_EQ(OpenFake(result),
            kDeclaration +
                "<OPENSQL RECORDCOUNT=\"1\">\r\n<RECORD1>\r\n"
                " <C0 DATATYPE=\"STRING\"></C0>\r\n"  // no size is written for 0
                " <V0 DATATYPE=\"STRING\"></V0>\r\n"
                " <C DATATYPE=\"STRING\" DATASIZE=\"32767\">abc" +
                std::string(32764, ' ') +
                "</C>\r\n"
                " <V DATATYPE=\"STRING\" DATASIZE=\"32767\">" +
                std::string(32767, 'v') + "</V>\r\n</RECORD1>\r\n</OPENSQL>\r\n");

  result.rows = {{{false, ""}, {false, test::VaryingBytes(1, "a")}, {false, ""}, {false, ""}}};
  EXPECT_EQ(OpenFake(result), OpenFailure("Tamanho N\xE3o Combina - Tamanho do Campo V0 \xE9 "
                                          "muito pequeno para o dado"));
}

// A fixed type is read at its natural width whatever its length says; the library, which writes
// what the length says, has room for that.
TEST(DescribedShapes, FixedTypesAreReadAtTheirWidthWhateverTheLength) {
  for (const ISC_SHORT length : {0, 1, 3, 4, 5, 64, 32767}) {
    SCOPED_TRACE(length);
    test::FakeResult result;
    result.columns = {Column(SQL_LONG, length, "N")};
    std::string bytes = BytesOf<int32_t>(123456) + std::string(40000, '\x7F');
    result.rows = {{{false, bytes}}};
    // What the library writes of a length below the width: the rest stays zero.
    int32_t expected = 0;
    std::memcpy(&expected, bytes.data(), std::min<size_t>(static_cast<size_t>(length), 4));
    EXPECT_EQ(OpenFake(result),
              kDeclaration +
                  "<OPENSQL RECORDCOUNT=\"1\">\r\n<RECORD1>\r\n <N DATATYPE=\"INTEGER\" "
                  "DATASIZE=\"4\">" +
                  std::to_string(expected) + "</N>\r\n</RECORD1>\r\n</OPENSQL>\r\n");
  }
}

TEST(DescribedShapes, WhatCannotBeMadeSafeIsRefusedNamingTheColumn) {
  const std::string invalid = "Descri\xE7\xE3o inv\xE1lida da coluna ";
  struct Case {
    test::FakeColumn column;
    std::string message;
  } cases[] = {
      {Column(SQL_LONG | 1, -1, "NEGATIVE"), "2 (NEGATIVE): tipo 496, tamanho -1, escala 0"},
      {Column(SQL_TIMESTAMP, -25536, "STAMP"), "2 (STAMP): tipo 510, tamanho -25536, escala 0"},
      {Column(SQL_INT64, 8, "DEEP", -19), "2 (DEEP): tipo 580, tamanho 8, escala -19"},
      {Column(SQL_SHORT, 2, "POSITIVE", 1), "2 (POSITIVE): tipo 500, tamanho 2, escala 1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    test::FakeResult result;
    result.columns = {Column(SQL_VARYING, 10, "FIRST"), c.column};
    result.rows = {{{false, test::VaryingBytes("a")}, {false, std::string(8, '\0')}}};
    EXPECT_EQ(OpenFake(result), OpenFailure(invalid + c.message));
  }
}

TEST(DescribedShapes, ACountBeyondTheAreaIsRefusedNamingTheColumn) {
  test::FakeResult result;
  result.columns = {Column(SQL_LONG, 4, "A"), Column(SQL_LONG, 4, "B")};
  // The describe into the area grown to two entries reports three.
  result.columns_again = {Column(SQL_LONG, 4, "A"), Column(SQL_LONG, 4, "B"),
                          Column(SQL_LONG, 4, "C")};
  result.rows = {{{false, BytesOf<int32_t>(1)}, {false, BytesOf<int32_t>(2)}}};
  EXPECT_EQ(OpenFake(result), OpenFailure("Descri\xE7\xE3o inv\xE1lida da coluna 3: 3 colunas "
                                          "descritas numa \xE1rea de 2"));

  result.columns_again.reset();
  result.described_count = -3;
  EXPECT_EQ(OpenFake(result), OpenFailure("Descri\xE7\xE3o inv\xE1lida da coluna 1: -3 colunas "
                                          "descritas numa \xE1rea de 1"));

  // Fewer the second time: the columns described then are the ones fetched.
  result.described_count.reset();
  result.columns_again = {Column(SQL_LONG, 4, "A")};
  EXPECT_EQ(OpenFake(result),
            kDeclaration +
                "<OPENSQL RECORDCOUNT=\"1\">\r\n<RECORD1>\r\n <A DATATYPE=\"INTEGER\" "
                "DATASIZE=\"4\">1</A>\r\n</RECORD1>\r\n</OPENSQL>\r\n");
}

// A count the library changes in the area at a fetch: every fetch is handed the count and the
// entries as bound, and the values are read as bound.
TEST(DescribedShapes, ACountChangedAtTheFetchIsPutBack) {
  for (const ISC_SHORT count : {0, 1, 3, 32767, -1}) {
    SCOPED_TRACE(count);
    test::FakeResult result;
    result.columns = {Column(SQL_LONG, 4, "A"), Column(SQL_VARYING, 5, "B")};
    result.fetch_count = count;
    result.rows = {{{false, BytesOf<int32_t>(7)}, {false, test::VaryingBytes("abc")}},
                   {{false, BytesOf<int32_t>(8)}, {false, test::VaryingBytes("de")}}};
    const std::string document = OpenFake(result);
    EXPECT_EQ(document.rfind(kDeclaration + "<OPENSQL RECORDCOUNT=\"2\">", 0), 0u) << document;
    if (count >= 2) {
      EXPECT_NE(document.find("<A DATATYPE=\"INTEGER\" DATASIZE=\"4\">8</A>\r\n <B "
                              "DATATYPE=\"STRING\" DATASIZE=\"5\">de</B>"),
                std::string::npos)
          << document;
    }
  }
}

}  // namespace
}  // namespace xg
