#include "db/ib_sql.h"

#include "db/guid_text.h"
#include "db/ib_client_library.h"
#include "db/ib_database.h"
#include "db/ib_error.h"
#include "db/ib_messages.h"
#include "db/ib_transaction.h"

namespace xg {
namespace {

// Fetch answers: no more rows, or a cursor the server has already closed.
constexpr ISC_STATUS kNoMoreRows = 100;
constexpr ISC_STATUS kCursorNotOpen = 335544572;
// The one failure of a procedure call that is reported without preparing it again.
constexpr ISC_STATUS kProcedureNotRetried = 335544345;
constexpr char kStatementTypeItem = isc_info_sql_stmt_type;

bool BlankText(const std::string& text) {
  for (char c : text) {
    if (static_cast<unsigned char>(c) > ' ') return false;
  }
  return true;
}

bool KnownType(int type) {
  switch (type) {
    case SQL_TEXT:
    case SQL_VARYING:
    case SQL_SHORT:
    case SQL_LONG:
    case SQL_INT64:
    case SQL_FLOAT:
    case SQL_DOUBLE:
    case SQL_D_FLOAT:
    case SQL_TIMESTAMP:
    case SQL_TYPE_DATE:
    case SQL_TYPE_TIME:
    case SQL_BLOB:
    case SQL_ARRAY:
    case SQL_QUAD:
    case SQL_BOOLEAN:
    case SQL_NULL:
      return true;
    default:
      return false;
  }
}

}  // namespace

IbSql::IbSql(IbTransaction& transaction)
    : client_(IbClient()), database_(transaction.Database()), transaction_(transaction) {}

IbSql::~IbSql() {
  FreeHandle();
}

void IbSql::SetSql(const std::string& text) {
  if (Prepared()) FreeHandle();
  described_ = false;
  processed_ = PreprocessSql(text);
}

void IbSql::CheckDatabase() const {
  if (!database_.Connected()) ThrowClientError(ClientError::kDatabaseClosed);
}

void IbSql::CheckTransaction() const {
  if (!transaction_.Active()) transaction_.StartTransaction();
}

void IbSql::CheckStatus(ISC_STATUS result) {
  database_.CheckStatus(result, status_);
}

void IbSql::Prepare() {
  CheckDatabase();
  CheckTransaction();
  if (Prepared()) return;
  const std::string& text = processed_.text;
  if (text.size() < 2 || BlankText(text)) ThrowClientError(ClientError::kEmptySqlStatement);

  CheckStatus(client_.isc_dsql_alloc_statement2(status_.get(), database_.Handle(), &handle_));
  CleanUpOnFailure([&] { PrepareAllocated(); },
                   [&] {
                     StatusVector ignored;
                     client_.isc_dsql_free_statement(ignored.get(), &handle_, DSQL_drop);
                     handle_ = 0;
                   });
}

// The steps of preparing after the statement handle is allocated.
void IbSql::PrepareAllocated() {
  const std::string& text = processed_.text;
  CheckStatus(
      client_.isc_dsql_prepare(status_.get(), transaction_.Handle(), &handle_, 0, text.c_str(),
                               static_cast<unsigned short>(database_.SqlDialect()), nullptr));
  char result[8] = {};
  CheckStatus(client_.isc_dsql_sql_info(status_.get(), &handle_, 1, &kStatementTypeItem,
                                        sizeof(result), result));
  if (result[0] != kStatementTypeItem) ThrowClientError(ClientError::kUnknownError);
  const auto length = static_cast<short>(client_.isc_vax_integer(result + 1, 2));
  const auto type = client_.isc_vax_integer(result + 3, length);
  sql_type_ = type < static_cast<int>(SqlStatementType::kUnknown) ||
                      type > static_cast<int>(SqlStatementType::kSetGenerator)
                  ? SqlStatementType::kUnknown
                  : static_cast<SqlStatementType>(type);
  if (sql_type_ == SqlStatementType::kGetSegment || sql_type_ == SqlStatementType::kPutSegment ||
      sql_type_ == SqlStatementType::kStartTransaction) {
    ThrowClientError(ClientError::kNotPermitted);
  }

  params_.Reserve(1);
  if (!processed_.param_names.empty()) {
    Describe(params_, [&](XSQLDA* area) {
      return client_.isc_dsql_describe_bind(status_.get(), &handle_, SQLDA_VERSION1, area);
    });
  }
  if (sql_type_ == SqlStatementType::kSelect || sql_type_ == SqlStatementType::kExecProcedure ||
      sql_type_ == SqlStatementType::kSelectForUpdate) {
    DescribeOutput();
  } else {
    current_.Reserve(1);
  }
}

void IbSql::Describe(IbXsqlda& area, const std::function<ISC_STATUS(XSQLDA*)>& describe) {
  area.Reserve(1);
  CheckStatus(describe(area.Area()));
  if (area.Area()->sqld > area.Allocated()) {
    area.Reserve(area.Area()->sqld);
    CheckStatus(describe(area.Area()));
  }
  CheckKnownTypes(area);
  area.BindBuffers();
}

void IbSql::DescribeOutput() {
  Describe(current_, [&](XSQLDA* area) {
    return client_.isc_dsql_describe(status_.get(), &handle_, SQLDA_VERSION1, area);
  });
  if (!described_) {
    current_.NameColumns(database_.SqlDialect());
    described_ = true;
  }
}

void IbSql::CheckKnownTypes(IbXsqlda& area) {
  for (int i = 0; i < area.Count(); ++i) {
    const int type = area.Var(i).sqltype & ~1;
    if (!KnownType(type))
      ThrowClientError(ClientError::kUnknownSqlDataType, {static_cast<int64_t>(type)});
  }
}

void IbSql::SetParamsNull() {
  for (size_t i = 0; i < processed_.param_names.size(); ++i) {
    XSQLVAR& var = params_.Var(static_cast<int>(i));
    var.sqltype = static_cast<ISC_SHORT>(var.sqltype | 1);
    *var.sqlind = -1;
  }
}

void IbSql::ExecQuery() {
  CheckDatabase();
  CheckTransaction();
  Prepare();
  XSQLDA* input = processed_.param_names.empty() ? nullptr : params_.Area();
  CheckStatus(client_.isc_dsql_execute2(status_.get(), transaction_.Handle(), &handle_,
                                        static_cast<unsigned short>(database_.SqlDialect()), input,
                                        nullptr));
  const std::string cursor_name = NewGuidText();
  CheckStatus(client_.isc_dsql_set_cursor_name(status_.get(), &handle_, cursor_name.c_str(), 0));
  open_ = true;
}

bool IbSql::Next() {
  if (!open_) return false;
  current_.RestoreBinding();
  const ISC_STATUS result =
      client_.isc_dsql_fetch(status_.get(), &handle_,
                             static_cast<unsigned short>(database_.SqlDialect()), current_.Area());
  if (result == 0) return true;
  if (result == kNoMoreRows || status_.ErrorCode() == kCursorNotOpen) return false;
  CleanUpOnFailure([&] { database_.ThrowFailure(status_); }, [&] { Close(); });
  return false;  // not reached: the failure is thrown
}

void IbSql::ExecNoCursor() {
  CheckDatabase();
  CheckTransaction();
  Prepare();
  const auto dialect = static_cast<unsigned short>(database_.SqlDialect());
  XSQLDA* input = processed_.param_names.empty() ? nullptr : params_.Area();
  if (sql_type_ != SqlStatementType::kExecProcedure) {
    CheckStatus(
        client_.isc_dsql_execute(status_.get(), transaction_.Handle(), &handle_, dialect, input));
    return;
  }
  current_.RestoreBinding();
  if (client_.isc_dsql_execute2(status_.get(), transaction_.Handle(), &handle_, dialect, input,
                                current_.Area()) == 0) {
    return;
  }
  if (status_.ErrorCode() == kProcedureNotRetried) database_.ThrowFailure(status_);
  StatusVector ignored;
  client_.isc_dsql_prepare(ignored.get(), transaction_.Handle(), &handle_, 0,
                           processed_.text.c_str(), dialect, nullptr);
  current_.RestoreBinding();
  CheckStatus(client_.isc_dsql_execute2(status_.get(), transaction_.Handle(), &handle_, dialect,
                                        input, current_.Area()));
}

void IbSql::Close() {
  if (!open_) return;
  open_ = false;
  StatusVector ignored;
  client_.isc_dsql_free_statement(ignored.get(), &handle_, DSQL_close);
}

void IbSql::FreeHandle() {
  Close();
  if (handle_ != 0) {
    StatusVector ignored;
    client_.isc_dsql_free_statement(ignored.get(), &handle_, DSQL_drop);
    handle_ = 0;
  }
}

}  // namespace xg
