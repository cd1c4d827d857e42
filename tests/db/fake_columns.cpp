#include "fake_columns.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace xg::test {
namespace {

struct State {
  FakeResult result;
  int describes = 0;
  int fetches = 0;
  size_t next_row = 0;
  std::vector<FakeWrite> last_writes;
};

// The one fake of the process.
State* state = nullptr;

constexpr FB_API_HANDLE kHandle = 1;

ISC_STATUS Succeed(ISC_STATUS* status) {
  status[0] = isc_arg_gds;
  status[1] = 0;
  status[2] = isc_arg_end;
  return 0;
}

ISC_STATUS Fail(ISC_STATUS* status, const std::vector<ISC_STATUS>& codes) {
  size_t at = 0;
  for (ISC_STATUS code : codes) {
    if (at + 3 > ISC_STATUS_LENGTH) break;
    status[at++] = isc_arg_gds;
    status[at++] = code;
  }
  status[at] = isc_arg_end;
  return status[1];
}

void FillEntry(XSQLVAR& var, const FakeColumn& column) {
  var.sqltype = column.sqltype;
  var.sqllen = column.sqllen;
  var.sqlscale = column.sqlscale;
  var.sqlsubtype = column.sqlsubtype;
  var.sqldata = nullptr;
  var.sqlind = nullptr;
  const size_t length = std::min(column.alias.size(), sizeof(var.aliasname) - 1);
  std::memset(var.aliasname, 0, sizeof(var.aliasname));
  std::memcpy(var.aliasname, column.alias.data(), length);
  var.aliasname_length = static_cast<ISC_SHORT>(length);
  std::memcpy(var.sqlname, var.aliasname, sizeof(var.sqlname));
  var.sqlname_length = var.aliasname_length;
  var.relname_length = 0;
  var.ownname_length = 0;
}

ISC_STATUS FakeDescribe(ISC_STATUS* status, isc_stmt_handle*, unsigned short, XSQLDA* area) {
  const std::vector<FakeColumn>& columns = state->describes > 0 && state->result.columns_again
                                               ? *state->result.columns_again
                                               : state->result.columns;
  ++state->describes;
  area->sqld = state->result.described_count.value_or(
      static_cast<ISC_SHORT>(std::min<size_t>(columns.size(), 32767)));
  for (int i = 0; i < area->sqld && i < area->sqln && static_cast<size_t>(i) < columns.size();
       ++i) {
    FillEntry(area->sqlvar[i], columns[static_cast<size_t>(i)]);
  }
  return Succeed(status);
}

ISC_STATUS FakeFetch(ISC_STATUS* status, isc_stmt_handle*, unsigned short, const XSQLDA* input) {
  ++state->fetches;
  const FakeResult& result = state->result;
  if (state->next_row >= result.rows.size()) {
    if (result.end_error.empty()) {
      Succeed(status);
      return 100;
    }
    return Fail(status, result.end_error);
  }
  // The library writes through the entries it is handed.
  auto* area = const_cast<XSQLDA*>(input);
  if (result.fetch_count) area->sqld = *result.fetch_count;
  const FakeRow& row = result.rows[state->next_row++];
  const int count = std::max(0, std::min<int>(area->sqld, area->sqln));
  for (int i = 0; i < count; ++i) {
    const XSQLVAR& var = area->sqlvar[i];
    // The library's own check of the area it is handed.
    if (var.sqldata == nullptr || ((var.sqltype & 1) != 0 && var.sqlind == nullptr))
      return Fail(status, {isc_dsql_sqlda_value_err});
  }
  state->last_writes.clear();
  for (int i = 0; i < count; ++i) {
    XSQLVAR& var = area->sqlvar[i];
    static const FakeCell kEmpty;
    const FakeCell& cell =
        static_cast<size_t>(i) < row.size() ? row[static_cast<size_t>(i)] : kEmpty;
    const bool nullable = (var.sqltype & 1) != 0;
    if (nullable) *var.sqlind = cell.null ? -1 : 0;
    if (nullable && cell.null) continue;
    const size_t slot = SlotBytes(var);
    const size_t given = std::min(slot, cell.bytes.size());
    std::memcpy(var.sqldata, cell.bytes.data(), given);
    std::memset(var.sqldata + given, 0, slot - given);
    state->last_writes.push_back({i, var.sqltype, var.sqllen, slot});
  }
  return Succeed(status);
}

// The rest of the road without a database: a SELECT of dialect 3 on a database of dialect 3.
ISC_STATUS FakeAttach(ISC_STATUS* status, short, const ISC_SCHAR*, isc_db_handle* handle, short,
                      const ISC_SCHAR*) {
  *handle = kHandle;
  return Succeed(status);
}

ISC_STATUS FakeDetach(ISC_STATUS* status, isc_db_handle* handle) {
  *handle = 0;
  return Succeed(status);
}

ISC_STATUS FakeDatabaseInfo(ISC_STATUS* status, isc_db_handle*, short, const ISC_SCHAR* items,
                            short length, ISC_SCHAR* buffer) {
  const char answer[] = {static_cast<char>(items[0]), 1, 0, 3, isc_info_end};
  std::memset(buffer, 0, static_cast<size_t>(length));
  if (items[0] == isc_info_db_sql_dialect && length >= static_cast<short>(sizeof answer)) {
    std::memcpy(buffer, answer, sizeof answer);
  } else {
    buffer[0] = isc_info_end;
  }
  return Succeed(status);
}

ISC_STATUS FakeStart(ISC_STATUS* status, isc_tr_handle* handle, short, void*) {
  *handle = kHandle;
  return Succeed(status);
}

ISC_STATUS FakeEnd(ISC_STATUS* status, isc_tr_handle* handle) {
  *handle = 0;
  return Succeed(status);
}

ISC_STATUS FakeAllocate(ISC_STATUS* status, isc_db_handle*, isc_stmt_handle* handle) {
  *handle = kHandle;
  return Succeed(status);
}

ISC_STATUS FakePrepare(ISC_STATUS* status, isc_tr_handle*, isc_stmt_handle*, unsigned short,
                       const ISC_SCHAR*, unsigned short, XSQLDA*) {
  return Succeed(status);
}

ISC_STATUS FakeSqlInfo(ISC_STATUS* status, isc_stmt_handle*, short, const ISC_SCHAR*, short length,
                       ISC_SCHAR* buffer) {
  const char answer[] = {
      isc_info_sql_stmt_type, 4, 0, isc_info_sql_stmt_select, 0, 0, 0, isc_info_end};
  std::memset(buffer, 0, static_cast<size_t>(length));
  std::memcpy(buffer, answer, std::min<size_t>(sizeof answer, static_cast<size_t>(length)));
  return Succeed(status);
}

ISC_STATUS FakeDescribeBind(ISC_STATUS* status, isc_stmt_handle*, unsigned short, XSQLDA* area) {
  area->sqld = 0;
  return Succeed(status);
}

ISC_STATUS FakeExecute(ISC_STATUS* status, isc_tr_handle*, isc_stmt_handle*, unsigned short,
                       const XSQLDA*) {
  return Succeed(status);
}

ISC_STATUS FakeExecute2(ISC_STATUS* status, isc_tr_handle*, isc_stmt_handle*, unsigned short,
                        const XSQLDA*, const XSQLDA*) {
  return Succeed(status);
}

ISC_STATUS FakeCursorName(ISC_STATUS* status, isc_stmt_handle*, const ISC_SCHAR*, unsigned short) {
  return Succeed(status);
}

ISC_STATUS FakeFree(ISC_STATUS* status, isc_stmt_handle* handle, unsigned short option) {
  if (option == DSQL_drop) *handle = 0;
  return Succeed(status);
}

// Every blob is empty.
ISC_STATUS FakeOpenBlob(ISC_STATUS* status, isc_db_handle*, isc_tr_handle*, isc_blob_handle* handle,
                        ISC_QUAD*, ISC_USHORT, const ISC_UCHAR*) {
  *handle = kHandle;
  return Succeed(status);
}

ISC_STATUS FakeGetSegment(ISC_STATUS* status, isc_blob_handle*, unsigned short* length,
                          unsigned short, ISC_SCHAR*) {
  *length = 0;
  Succeed(status);
  return isc_segstr_eof;
}

ISC_STATUS FakeCloseBlob(ISC_STATUS* status, isc_blob_handle* handle) {
  *handle = 0;
  return Succeed(status);
}

}  // namespace

std::string VaryingBytes(unsigned short length_word, const std::string& bytes) {
  std::string out(2, '\0');
  std::memcpy(out.data(), &length_word, 2);
  return out + bytes;
}

std::string VaryingBytes(const std::string& value) {
  return VaryingBytes(static_cast<unsigned short>(value.size()), value);
}

size_t SlotBytes(const XSQLVAR& var) {
  const bool varying = (var.sqltype & ~1) == SQL_VARYING;
  // The library's arithmetic: the signed length, the length word added, taken as unsigned.
  const auto slot = static_cast<uint32_t>(static_cast<int32_t>(var.sqllen) + (varying ? 2 : 0));
  return std::min<size_t>(slot, kRunawayBytes);
}

FakeColumns::FakeColumns(FakeResult result, FakeRoad road) {
  if (state != nullptr) std::abort();  // one at a time
  state = new State{std::move(result), 0, 0, 0, {}};
  override_.Replace(&IbClientLibrary::isc_dsql_describe, &FakeDescribe);
  override_.Replace(&IbClientLibrary::isc_dsql_fetch, &FakeFetch);
  if (road == FakeRoad::kNoDatabase) {
    override_.Replace(&IbClientLibrary::isc_attach_database, &FakeAttach);
    override_.Replace(&IbClientLibrary::isc_detach_database, &FakeDetach);
    override_.Replace(&IbClientLibrary::isc_database_info, &FakeDatabaseInfo);
    override_.Replace(&IbClientLibrary::isc_start_multiple, &FakeStart);
    override_.Replace(&IbClientLibrary::isc_commit_transaction, &FakeEnd);
    override_.Replace(&IbClientLibrary::isc_rollback_transaction, &FakeEnd);
    override_.Replace(&IbClientLibrary::isc_dsql_alloc_statement2, &FakeAllocate);
    override_.Replace(&IbClientLibrary::isc_dsql_prepare, &FakePrepare);
    override_.Replace(&IbClientLibrary::isc_dsql_sql_info, &FakeSqlInfo);
    override_.Replace(&IbClientLibrary::isc_dsql_describe_bind, &FakeDescribeBind);
    override_.Replace(&IbClientLibrary::isc_dsql_execute, &FakeExecute);
    override_.Replace(&IbClientLibrary::isc_dsql_execute2, &FakeExecute2);
    override_.Replace(&IbClientLibrary::isc_dsql_set_cursor_name, &FakeCursorName);
    override_.Replace(&IbClientLibrary::isc_dsql_free_statement, &FakeFree);
    override_.Replace(&IbClientLibrary::isc_open_blob2, &FakeOpenBlob);
    override_.Replace(&IbClientLibrary::isc_get_segment, &FakeGetSegment);
    override_.Replace(&IbClientLibrary::isc_close_blob, &FakeCloseBlob);
  }
}

FakeColumns::~FakeColumns() {
  delete state;
  state = nullptr;
}

int FakeColumns::describes() const {
  return state->describes;
}

int FakeColumns::fetches() const {
  return state->fetches;
}

const std::vector<FakeWrite>& FakeColumns::last_writes() const {
  return state->last_writes;
}

}  // namespace xg::test
