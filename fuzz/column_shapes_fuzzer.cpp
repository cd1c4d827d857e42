// Fuzz target: described columns and fetched bytes of any shape, through the query and the rows
// of an OPENSQL answer (IbQuery, WriteRows). The client library's describe and fetch are fakes
// (tests/db/fake_columns.h) that give the columns the input describes and write the rows it holds
// into the buffers the gateway bound, as the library writes a fetched row: every entry's slot as
// the area describes it at the fetch (a negative length runs far past any buffer sized from a
// 16-bit length). The rest of the road answers as the library does for a SELECT, with no
// database.
//
// Input layout:
//   byte 0      flags: bits 0-1 the regional settings (fuzz_locale.h); bit 2 the second describe
//               (into the area grown to the first one's count) gives columns of its own; bit 3
//               the fetch writes a count of its own into the area; bit 4 every describe writes a
//               count of its own; bit 5 the fetch after the last row fails (string truncation)
//               instead of ending the data
//   columns     a count byte (0 to 8 columns), then 6 bytes a column: the type (a byte: bit 7
//               the null flag, the rest an index into the known types and one the gateway does
//               not know), the length (2 bytes, little-endian, signed), the scale (signed), the
//               subtype, and one byte for the alias (0: none)
//   again       with bit 2: a count byte and columns as above
//   counts      with bit 3, then bit 4: 2 bytes each (little-endian, signed)
//   rows        the rest, up to 8 rows: for each column a byte (bit 0 null) and a length byte,
//               then that many bytes of the column's slot (a VARYING's length word first); a
//               length byte of 255 repeats the byte that follows it over 40000 bytes
//
// Checked: no sanitizer report (every buffer is a block of its own, so a write or read past any
// one of them is reported); every failure is an Exception of the gateway's; a description is
// refused ("Descricao invalida da coluna") exactly when it cannot be made safe: a count below
// zero or beyond the area, a fixed type with a negative length, an integer's scale outside
// -18..0; an answer that succeeds ends with the closing line.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "db/fake_columns.h"
#include "db/ib_database.h"
#include "db/ib_query.h"
#include "db/ib_transaction.h"
#include "fuzz_check.h"
#include "fuzz_locale.h"
#include "gateway/answer_rows.h"
#include "gateway/service_result.h"
#include "process/spool.h"
#include "texts/exceptions.h"

namespace {

using xg::fuzz::Visible;
using xg::test::FakeColumn;
using xg::test::FakeResult;

constexpr ISC_SHORT kTypes[] = {
    SQL_TEXT,   SQL_VARYING, SQL_SHORT,     SQL_LONG,      SQL_INT64,     SQL_FLOAT,
    SQL_DOUBLE, SQL_D_FLOAT, SQL_TIMESTAMP, SQL_TYPE_DATE, SQL_TYPE_TIME, SQL_BLOB,
    SQL_ARRAY,  SQL_QUAD,    SQL_BOOLEAN,   SQL_NULL,      32752 /* INT128 of a later library */};
constexpr size_t kTypeCount = sizeof kTypes / sizeof kTypes[0];

class Reader {
 public:
  Reader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  bool Empty() const { return at_ >= size_; }
  uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
  int16_t Short() {
    const uint16_t low = Byte();
    const uint16_t high = Byte();
    return static_cast<int16_t>(static_cast<uint16_t>(low | (high << 8)));
  }
  std::string Bytes(size_t count) {
    const size_t take = std::min(count, size_ - std::min(at_, size_));
    std::string out(reinterpret_cast<const char*>(data_ + at_), take);
    at_ += take;
    return out;
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t at_ = 0;
};

std::vector<FakeColumn> Columns(Reader& in) {
  std::vector<FakeColumn> columns(in.Byte() % 9);
  for (FakeColumn& column : columns) {
    const uint8_t type = in.Byte();
    column.sqltype = static_cast<ISC_SHORT>(kTypes[(type & 0x7F) % kTypeCount] | (type >> 7));
    column.sqllen = in.Short();
    column.sqlscale = static_cast<int8_t>(in.Byte());
    column.sqlsubtype = static_cast<int8_t>(in.Byte());
    const uint8_t alias = in.Byte();
    if (alias != 0) column.alias = "C" + std::to_string(alias);
  }
  return columns;
}

bool KnownType(int type) {
  for (size_t i = 0; i + 1 < kTypeCount; ++i) {
    if (kTypes[i] == type) return true;
  }
  return false;
}

// Whether the gateway must refuse the description it binds (see the layout above); nullopt when
// a column of an unknown type is among them, which is refused first with its own message.
std::optional<bool> MustRefuse(const FakeResult& result) {
  const int first = result.described_count.value_or(static_cast<int>(result.columns.size()));
  int area = 1;
  const std::vector<FakeColumn>* columns = &result.columns;
  int count = first;
  if (first > 1) {
    area = first;
    if (result.columns_again) columns = &*result.columns_again;
    count = result.described_count.value_or(static_cast<int>(columns->size()));
  }
  const int described = std::min(count, area);
  for (int i = 0; i < described; ++i) {
    // An entry the describe left empty holds type 0, which the gateway does not know.
    if (static_cast<size_t>(i) >= columns->size()) return std::nullopt;
    if (!KnownType((*columns)[static_cast<size_t>(i)].sqltype & ~1)) return std::nullopt;
  }
  if (count < 0 || count > area) return true;
  for (int i = 0; i < described; ++i) {
    const FakeColumn& column = (*columns)[static_cast<size_t>(i)];
    const int type = column.sqltype & ~1;
    if (type == SQL_TEXT || type == SQL_VARYING) continue;
    if (column.sqllen < 0) return true;
    if ((type == SQL_SHORT || type == SQL_LONG || type == SQL_INT64) &&
        (column.sqlscale < -18 || column.sqlscale > 0)) {
      return true;
    }
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  xg::IbClient();  // the library's load, once
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  Reader in(data, size);
  const uint8_t flags = in.Byte();
  FakeResult result;
  result.columns = Columns(in);
  if (flags & 0x04) result.columns_again = Columns(in);
  if (flags & 0x08) result.fetch_count = in.Short();
  if (flags & 0x10) result.described_count = in.Short();
  if (flags & 0x20) result.end_error = {isc_arith_except, isc_string_truncation};
  const size_t width =
      std::max(result.columns.size(), result.columns_again ? result.columns_again->size() : 0);
  while (!in.Empty() && result.rows.size() < 8) {
    xg::test::FakeRow row(width);
    for (xg::test::FakeCell& cell : row) {
      cell.null = (in.Byte() & 1) != 0;
      const uint8_t length = in.Byte();
      cell.bytes =
          length == 255 ? std::string(40000, static_cast<char>(in.Byte())) : in.Bytes(length);
    }
    result.rows.push_back(std::move(row));
  }
  const std::optional<bool> must_refuse = MustRefuse(result);

  const xg::test::FakeColumns fake(std::move(result), xg::test::FakeRoad::kNoDatabase);
  const xg::RegionalSettings& settings = xg::fuzz::SettingsOf(xg::fuzz::HostOf(flags));
  xg::IbDatabase database;
  database.SetDatabaseName("fake.fdb");
  database.SetAttachParams(
      {.user = "SYSDBA", .password = "", .charset = "", .connection_config = ""});
  database.Connect();
  xg::IbTransaction transaction{database};
  transaction.StartTransaction();
  xg::IbQuery query{transaction};
  query.SetSql("select * from fake");
  xg::Spool answer;
  xg::ServiceResult service;
  std::string failure;
  try {
    xg::WriteRows(query, xg::AnswerBudget(1 << 30), settings, answer, service);
    const std::string text = answer.Text();
    XG_FUZZ_CHECK(text.size() >= 12 && text.compare(text.size() - 12, 12, "</OPENSQL>\r\n") == 0,
                  Visible(text.substr(0, 400)));
  } catch (const xg::Exception& e) {
    failure = e.Message();
  }
  const bool refused = failure.rfind("Descri\xE7\xE3o inv\xE1lida da coluna ", 0) == 0;
  if (must_refuse) {
    XG_FUZZ_CHECK(refused == *must_refuse,
                  "expected " + std::string(*must_refuse ? "a refusal" : "no refusal") +
                      ", got: " + Visible(failure));
  }
  query.Close();
  transaction.Commit();
  database.Disconnect();
  return 0;
}
