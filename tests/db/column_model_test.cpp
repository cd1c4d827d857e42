// The column model against real databases: field types and sizes of every column type, the
// values read back, naming, statement types, forward navigation.
#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <random>

#include "db/column_value.h"
#include "db/ib_client_library.h"
#include "db/ib_database.h"
#include "db/ib_error.h"
#include "db/ib_field_value.h"
#include "db/ib_query.h"
#include "db/ib_sql.h"
#include "db/ib_transaction.h"
#include "db_test_support.h"
#include "support/failures.h"
#include "values/date_time.h"

namespace xg {
namespace {

// One attachment with a transaction and a query on it, the way the services set them up.
struct Session {
  IbDatabase database;
  IbTransaction transaction{database};
  IbQuery query{transaction};

  explicit Session(const std::string& name) {
    database.SetDatabaseName(name);
    database.SetAttachParams(
        {.user = "SYSDBA", .password = "", .charset = "", .connection_config = ""});
    database.Connect();
    transaction.StartTransaction();
  }
  // Opens the statement on its first row.
  void OpenFirst(const std::string& sql) {
    query.Close();
    query.SetSql(sql);
    query.Open();
    query.First();
  }
  void Exec(const std::string& sql) {
    query.SetSql(sql);
    query.ExecSql();
  }
};

double AsDouble(const Variant& v) {
  double d;
  const uint64_t payload = v.Payload();
  std::memcpy(&d, &payload, sizeof d);
  return d;
}

struct ExpectedField {
  const char* name;
  FieldType type;
  int data_size;
};

// A field's decimal value, made from the text the rows are written with, reads back as that text,
// for every scale beyond four places and integers of every length.
TEST(ColumnModel, DecimalTextsWrittenDirectlyAreTheValuesTexts) {
  std::vector<int64_t> values = {0, std::numeric_limits<int64_t>::max(),
                                 std::numeric_limits<int64_t>::min(), 999999999999999999,
                                 1000000000000000000};
  for (int64_t power = 1; power <= 1000000000000000000 / 10; power *= 10) {
    for (int64_t v : {power, power - 1, power + 1, 5 * power, power * 10 - power / 10})
      values.push_back(v);
  }
  std::mt19937_64 random(20261210);
  for (int i = 0; i < 2000; ++i) values.push_back(static_cast<int64_t>(random() >> (i % 64)));
  const size_t count = values.size();
  for (size_t i = 0; i < count; ++i) {
    // The lowest value has no negation; it is in the list already.
    if (values[i] != std::numeric_limits<int64_t>::min()) values.push_back(-values[i]);
  }

  FieldDef def;
  def.data_type = FieldType::kFmtBcd;
  def.sql_type = SQL_INT64;
  for (char separator : {'.', ','}) {
    RegionalSettings settings;
    settings.decimal_separator = separator;
    for (int scale = -5; scale >= -18; --scale) {
      def.scale = scale;
      def.size = -scale;
      for (int64_t value : values) {
        const std::string expected =
            VarToStr(FieldValue(IbClient(), def, StoredCell(value), 3, nullptr), settings);
        char text[kScaledDecimalTextMax];
        ASSERT_EQ(std::string(text, ScaledDecimalToChars(value, scale, separator, text)), expected)
            << value << " scale " << scale;
      }
    }
  }
}

TEST(ColumnModel, FieldTypesAndSizesInDialect3) {
  Session s(test::CreateDemoDatabase());
  s.OpenFirst("select * from column_types order by id");
  const ExpectedField expected[] = {
      {"ID", FieldType::kInteger, 4},           {"C_CHAR", FieldType::kString, 11},
      {"C_VARCHAR", FieldType::kString, 41},    {"C_SMALLINT", FieldType::kSmallint, 2},
      {"C_INTEGER", FieldType::kInteger, 4},    {"C_BIGINT", FieldType::kLargeint, 8},
      {"C_NUM4_2", FieldType::kBcd, 8},         {"C_NUM9_2", FieldType::kBcd, 8},
      {"C_NUM18_4", FieldType::kBcd, 8},        {"C_NUM18_6", FieldType::kFmtBcd, 34},
      {"C_FLOAT", FieldType::kFloat, 8},        {"C_DOUBLE", FieldType::kFloat, 8},
      {"C_DATE", FieldType::kDate, 4},          {"C_TIME", FieldType::kTime, 4},
      {"C_TIMESTAMP", FieldType::kDateTime, 8}, {"C_TEXT", FieldType::kMemo, 0},
      {"C_BINARY", FieldType::kBlob, 0},        {"C_BOOLEAN", FieldType::kBoolean, 2},
  };
  ASSERT_EQ(s.query.FieldCount(), 18);
  for (int i = 0; i < 18; ++i) {
    const FieldDef& f = s.query.Field(i);
    EXPECT_EQ(f.name, expected[i].name);
    EXPECT_EQ(f.data_type, expected[i].type) << f.name;
    EXPECT_EQ(FieldDataSize(f), expected[i].data_size) << f.name;
  }
  EXPECT_TRUE(s.query.Field(1).fixed);
}

TEST(ColumnModel, ValuesReadBackInDialect3) {
  Session s(test::CreateDemoDatabase());
  s.OpenFirst("select * from column_types order by id");
  auto value = [&](int field) { return s.query.FieldValue(field); };

  EXPECT_EQ(s.query.RecNo(), 1);
  EXPECT_EQ(value(1).String(), "abc       ");  // CHAR(10) keeps its blanks
  EXPECT_EQ(value(2).String(), "Ana");
  EXPECT_EQ(value(3).VType(), VarTypeCode::kInteger);
  EXPECT_EQ(static_cast<int32_t>(value(3).Payload()), 12);
  EXPECT_EQ(value(5).VType(), VarTypeCode::kInt64);
  EXPECT_EQ(static_cast<int64_t>(value(5).Payload()), 2147483647);
  EXPECT_EQ(value(6).VType(), VarTypeCode::kCurrency);
  EXPECT_EQ(static_cast<int64_t>(value(6).Payload()), 123400);
  EXPECT_EQ(static_cast<int64_t>(value(7).Payload()), 125000);
  EXPECT_EQ(static_cast<int64_t>(value(8).Payload()), 12345678);
  EXPECT_EQ(value(9).VType(), VarTypeCode::kFmtBcd);
  EXPECT_EQ(value(10).VType(), VarTypeCode::kDouble);
  EXPECT_EQ(AsDouble(value(10)), 2.5);
  EXPECT_EQ(AsDouble(value(11)), 3.14159265358979);
  EXPECT_EQ(value(12).VType(), VarTypeCode::kDate);
  EXPECT_EQ(AsDouble(value(12)), EncodeDate(2024, 2, 29));
  EXPECT_EQ(AsDouble(value(13)), EncodeTime(10, 20, 30, 0));  // fraction dropped
  EXPECT_EQ(AsDouble(value(14)), EncodeDate(2024, 2, 29) + EncodeTime(10, 20, 30, 0));
  EXPECT_EQ(value(15).String(), "Text with & and < inside");
  EXPECT_EQ(value(16).String(), std::string("\x00\xFF\x41", 3));
  EXPECT_EQ(value(17).VType(), VarTypeCode::kBoolean);
  EXPECT_NE(value(17).Payload(), 0u);

  s.query.Next();
  EXPECT_EQ(s.query.RecNo(), 2);
  EXPECT_EQ(value(1).String(), "x & y     ");
  EXPECT_EQ(static_cast<int32_t>(value(4).Payload()), INT32_MIN);
  EXPECT_EQ(static_cast<int64_t>(value(6).Payload()), -100);
  EXPECT_EQ(static_cast<int64_t>(value(7).Payload()), -12345678900);
  EXPECT_EQ(static_cast<int64_t>(value(8).Payload()), -1);
  // Before 1899-12-30 the time counts away from day 0.
  EXPECT_EQ(AsDouble(value(14)), EncodeDate(1850, 6, 15) - 0.5);
  EXPECT_EQ(value(15).String(), "");
  EXPECT_EQ(value(17).Payload(), 0u);

  s.query.Next();
  for (int i = 1; i < 18; ++i) {
    const Variant v = value(i);
    if (i == 15 || i == 16) {
      EXPECT_EQ(v.VType(), VarTypeCode::kString) << "a null blob reads as the empty text";
      EXPECT_EQ(v.String(), "");
    } else {
      EXPECT_EQ(v.VType(), VarTypeCode::kNull) << s.query.Field(i).name;
    }
  }
  s.query.Next();
  EXPECT_TRUE(s.query.Eof());
  EXPECT_EQ(s.query.RecNo(), 3);
}

// What the typed value of the current row's field says, checked against the field's Variant
// value: the same value wherever the typed value gives one. Answers the kind.
ColumnValue::Kind CheckTypedValue(Session& s, int field) {
  const ColumnValue typed = s.query.FieldColumnValue(field);
  const FieldDef& def = s.query.Field(field);
  if (typed.kind == ColumnValue::Kind::kVariant) return typed.kind;
  const Variant value = s.query.FieldValue(field);
  switch (typed.kind) {
    case ColumnValue::Kind::kNull:
      if (def.data_type == FieldType::kBlob || def.data_type == FieldType::kMemo) {
        EXPECT_EQ(value.String(), "") << def.name;
      } else {
        EXPECT_EQ(value.VType(), VarTypeCode::kNull) << def.name;
      }
      break;
    case ColumnValue::Kind::kText:
      EXPECT_EQ(std::string(typed.text) + std::string(typed.padding, ' '), value.String())
          << def.name;
      break;
    case ColumnValue::Kind::kInteger:
    case ColumnValue::Kind::kCurrency:
      EXPECT_EQ(typed.integer, value.VType() == VarTypeCode::kInteger
                                   ? static_cast<int32_t>(value.Payload())
                                   : static_cast<int64_t>(value.Payload()))
          << def.name;
      break;
    case ColumnValue::Kind::kDecimal: {
      RegionalSettings settings;
      settings.decimal_separator = '.';
      char text[kScaledDecimalTextMax];
      EXPECT_EQ(std::string(text, ScaledDecimalToChars(typed.integer, typed.scale, '.', text)),
                VarToStr(value, settings))
          << def.name;
      break;
    }
    case ColumnValue::Kind::kDouble:
      EXPECT_EQ(typed.real, AsDouble(value)) << def.name;
      break;
    case ColumnValue::Kind::kDateTime:
      EXPECT_EQ(typed.date_time, AsDouble(value)) << def.name;
      break;
    case ColumnValue::Kind::kBoolean:
      EXPECT_EQ(typed.boolean, value.Payload() != 0) << def.name;
      break;
    case ColumnValue::Kind::kVariant:
      break;
  }
  return typed.kind;
}

// The typed values the answers are written from hold the values of the fields, and leave to the
// Variant way what only it gives: blobs, dialect-1 scaled numbers, a currency out of range.
TEST(ColumnModel, TypedValuesAreTheFieldsValues) {
  using Kind = ColumnValue::Kind;
  Session demo(test::CreateDemoDatabase());
  demo.OpenFirst("select * from column_types order by id");
  const Kind first_row[] = {Kind::kInteger,  Kind::kText,     Kind::kText,     Kind::kInteger,
                            Kind::kInteger,  Kind::kInteger,  Kind::kCurrency, Kind::kCurrency,
                            Kind::kCurrency, Kind::kDecimal,  Kind::kDouble,   Kind::kDouble,
                            Kind::kDateTime, Kind::kDateTime, Kind::kDateTime, Kind::kVariant,
                            Kind::kVariant,  Kind::kBoolean};
  for (int i = 0; i < 18; ++i) EXPECT_EQ(CheckTypedValue(demo, i), first_row[i]) << i;
  // A CHAR comes padded with blanks from the server.
  EXPECT_EQ(demo.query.FieldColumnValue(1).text, "abc       ");
  EXPECT_EQ(demo.query.FieldColumnValue(1).padding, 0u);
  for (int row = 2; row <= 3; ++row) {
    demo.query.Next();
    for (int i = 0; i < 18; ++i) CheckTypedValue(demo, i);
  }
  EXPECT_EQ(demo.query.FieldColumnValue(1).kind, Kind::kNull);

  Session dialect1(test::CreateDatabase(
      1,
      "CREATE TABLE T (N4_2 NUMERIC(4,2), N9_6 NUMERIC(9,6), DP DOUBLE PRECISION);\n"
      "INSERT INTO T VALUES (12.34, 1.234567, 0.5);\nCOMMIT;\n"));
  dialect1.OpenFirst("select * from t");
  EXPECT_EQ(CheckTypedValue(dialect1, 0), Kind::kVariant);
  EXPECT_EQ(CheckTypedValue(dialect1, 1), Kind::kVariant);
  EXPECT_EQ(CheckTypedValue(dialect1, 2), Kind::kDouble);

  // A CHAR of the OCTETS set comes padded with bytes 0: they are dropped, and blanks pad it.
  Session octets(test::CreateDatabase(
      3,
      "CREATE TABLE O (C CHAR(4) CHARACTER SET OCTETS, V VARCHAR(4) CHARACTER SET OCTETS, "
      "N NUMERIC(18,2));\nINSERT INTO O VALUES (x'4100', x'0041', 92233720368547758.07);\n"
      "COMMIT;\n"));
  octets.OpenFirst("select * from o");
  EXPECT_EQ(CheckTypedValue(octets, 0), Kind::kText);
  EXPECT_EQ(octets.query.FieldColumnValue(0).text, "A");
  EXPECT_EQ(octets.query.FieldColumnValue(0).padding, 3u);
  EXPECT_EQ(CheckTypedValue(octets, 1), Kind::kText);
  EXPECT_EQ(octets.query.FieldColumnValue(1).text, std::string_view("\0A", 2));
  // Beyond the currency range: the Variant way raises the conversion failure.
  EXPECT_EQ(CheckTypedValue(octets, 2), Kind::kVariant);
  const auto failure = test::Raised<EIBClientError>([&] { octets.query.FieldValue(2); });
  ASSERT_TRUE(failure.has_value());
  EXPECT_EQ(failure->SqlCode(), 38);
}

TEST(ColumnModel, Dialect1Database) {
  Session s(test::CreateDatabase(1,
                                 "CREATE TABLE T (N4_2 NUMERIC(4,2), N9_2 NUMERIC(9,2), "
                                 "N9_6 NUMERIC(9,6), N18_4 NUMERIC(18,4), N18_6 NUMERIC(18,6), "
                                 "D DATE, DP DOUBLE PRECISION);\n"
                                 "INSERT INTO T VALUES (12.34, 12.5, 1.234567, 1234.5678, "
                                 "1234.500001, '2024-02-29 10:20:30', 0.5);\nCOMMIT;\n"));
  EXPECT_EQ(s.database.SqlDialect(), 1);
  s.OpenFirst("select * from t");
  const ExpectedField expected[] = {
      {"N4_2", FieldType::kBcd, 8},    {"N9_2", FieldType::kBcd, 8},
      {"N9_6", FieldType::kFloat, 8},  {"N18_4", FieldType::kFloat, 8},
      {"N18_6", FieldType::kFloat, 8}, {"D", FieldType::kDateTime, 8},
      {"DP", FieldType::kFloat, 8},
  };
  ASSERT_EQ(s.query.FieldCount(), 7);
  for (int i = 0; i < 7; ++i) {
    EXPECT_EQ(s.query.Field(i).name, expected[i].name);
    EXPECT_EQ(s.query.Field(i).data_type, expected[i].type) << expected[i].name;
    EXPECT_EQ(FieldDataSize(s.query.Field(i)), expected[i].data_size) << expected[i].name;
  }
  EXPECT_EQ(static_cast<int64_t>(s.query.FieldValue(0).Payload()), 123400);
  EXPECT_EQ(static_cast<int64_t>(s.query.FieldValue(1).Payload()), 125000);
  EXPECT_EQ(AsDouble(s.query.FieldValue(2)), 1.234567);
  EXPECT_EQ(AsDouble(s.query.FieldValue(3)), 1234.5678);
  EXPECT_EQ(AsDouble(s.query.FieldValue(5)), EncodeDate(2024, 2, 29) + EncodeTime(10, 20, 30, 0));
}

TEST(ColumnModel, DuplicateAndUnnamedColumns) {
  Session s(test::CreateDemoDatabase());
  s.OpenFirst(
      "select p.code as id, t.id, 1+1, 1+1, t.id from products p join column_types t on "
      "t.id = p.code order by 1");
  ASSERT_EQ(s.query.FieldCount(), 5);
  const char* names[] = {"ID", "ID1", "ADD", "ADD1", "ID2"};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(s.query.Field(i).name, names[i]);
  int rows = 0;
  for (; !s.query.Eof(); s.query.Next()) ++rows;
  EXPECT_EQ(rows, 3);
}

TEST(ColumnModel, ArrayColumnsGetNoField) {
  Session s(test::CreateDatabase(3,
                                 "CREATE TABLE A (ID INTEGER, VALS INTEGER[3], NAME VARCHAR(5));\n"
                                 "INSERT INTO A (ID, NAME) VALUES (1, 'a');\nCOMMIT;\n"));
  s.OpenFirst("select * from a");
  ASSERT_EQ(s.query.FieldCount(), 2);
  EXPECT_EQ(s.query.Field(0).name, "ID");
  EXPECT_EQ(s.query.Field(1).name, "NAME");
  EXPECT_EQ(s.query.FieldValue(1).String(), "a");
}

TEST(ColumnModel, WholeBlobAcrossSegments) {
  Session s(test::CreateDatabase(3, "CREATE TABLE B (T BLOB SUB_TYPE TEXT);\nCOMMIT;\n"));
  s.Exec(
      "insert into b values (cast(rpad('', 30000, 'a') as blob sub_type text) || "
      "rpad('', 30000, 'b') || rpad('', 30000, 'c'))");
  s.OpenFirst("select t from b");
  const std::string text = s.query.FieldValue(0).String();
  ASSERT_EQ(text.size(), 90000u);
  EXPECT_EQ(text.substr(29999, 2), "ab");
  EXPECT_EQ(text.substr(59999, 2), "bc");
}

TEST(ColumnModel, ForwardNavigationOverManyRows) {
  Session s(test::CreateDemoDatabase());
  s.OpenFirst(
      "select first 2500 row_number() over () as n, 'row' as t from rdb$types a cross join "
      "rdb$types b");
  s.query.First();  // on the first row, First stays there
  int rows = 0;
  for (; !s.query.Eof(); s.query.Next()) {
    ++rows;
    ASSERT_EQ(s.query.RecNo(), rows);
    ASSERT_EQ(VarAsInteger(s.query.FieldValue(0)), rows);
  }
  EXPECT_EQ(rows, 2500);
  // The last row stays current at the end; the rows behind it are gone.
  EXPECT_EQ(s.query.RecNo(), 2500);
  EXPECT_EQ(s.query.FieldValue(1).String(), "row");
  EXPECT_EQ(test::FailureMessage<EIBClientError>([&] { s.query.First(); }),
            test::FailureMessage<EIBClientError>([&] { IbQuery(s.transaction).First(); }));
}

TEST(ColumnModel, NavigationOverNoRows) {
  Session s(test::CreateDemoDatabase());
  s.OpenFirst("select * from products where code < 0");
  EXPECT_TRUE(s.query.Eof());
  EXPECT_EQ(s.query.RecNo(), 0);
  EXPECT_EQ(s.query.FieldCount(), 4);
  EXPECT_EQ(s.query.FieldValue(0).VType(), VarTypeCode::kNull);
}

TEST(ColumnModel, StatementsThatAreRefusedOrFail) {
  Session s(test::CreateDemoDatabase());
  auto open = [&](const std::string& sql) {
    return [&s, sql] {
      s.query.Close();
      s.query.SetSql(sql);
      s.query.Open();
      s.query.First();
    };
  };
  EXPECT_EQ(test::FailureMessage<EIBClientError>(open("")), "Indica\xE7\xE3o do SQL vazia");
  EXPECT_EQ(test::FailureMessage<EIBClientError>(open(" \r\n  ")), "Indica\xE7\xE3o do SQL vazia");
  EXPECT_EQ(test::FailureMessage<EIBClientError>(open("set transaction")), "N\xE3o permitido");
  const std::string syntax = test::FailureMessage<EIBInterBaseError>(open("selec * from products"));
  EXPECT_NE(syntax.find("Token unknown"), std::string::npos) << syntax;
  EXPECT_NE(syntax.find("\r\n"), std::string::npos);

  // A statement that returns no rows runs when opened and leaves nothing to walk.
  const std::string no_rows =
      test::FailureMessage<EIBClientError>(open("update products set note = 'u'"));
  EXPECT_EQ(no_rows, "A instru\xE7\xE3o n\xE3o devolveu um conjunto de registros");
  s.OpenFirst("select count(*) from products where note = 'u'");
  EXPECT_EQ(static_cast<int32_t>(s.query.FieldValue(0).Payload()), 3);

  s.query.SetSql("select * from products");
  EXPECT_EQ(test::FailureMessage<EIBClientError>([&] { s.query.ExecSql(); }),
            "use Open para uma Select Statement");
  s.query.SetSql("");
  EXPECT_EQ(test::FailureMessage<EIBClientError>([&] { s.query.ExecSql(); }),
            "Indica\xE7\xE3o do SQL vazia");
}

TEST(ColumnModel, ParametersAreSentAsNull) {
  Session s(test::CreateDemoDatabase());
  s.Exec("update products set note = :p where code = 1");
  s.OpenFirst("select note from products where code = 1");
  EXPECT_EQ(s.query.FieldValue(0).VType(), VarTypeCode::kNull);
  s.OpenFirst("select count(*) from products where :anything is null");
  EXPECT_EQ(static_cast<int32_t>(s.query.FieldValue(0).Payload()), 3);
}

TEST(ColumnModel, ExecuteProcedureWithOutput) {
  Session s(test::CreateDatabase(
      3,
      "CREATE TABLE T (V INTEGER);\nSET TERM ^ ;\nCREATE PROCEDURE ADD_ROW (A INTEGER) RETURNS "
      "(R INTEGER) AS BEGIN INSERT INTO T VALUES (:A); R = 1; END^\nSET TERM ; ^\nCOMMIT;\n"));
  s.Exec("execute procedure add_row 5");
  EXPECT_EQ(s.query.StatementType(), SqlStatementType::kExecProcedure);
  s.OpenFirst("select v from t");
  EXPECT_EQ(s.query.RecNo(), 1);
  EXPECT_EQ(static_cast<int32_t>(s.query.FieldValue(0).Payload()), 5);
}

}  // namespace
}  // namespace xg
