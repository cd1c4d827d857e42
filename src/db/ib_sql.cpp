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

TIBSQL::TIBSQL() : client_(IBClient()) {}

TIBSQL::~TIBSQL() {
  try {
    FreeHandle();
  } catch (...) {
  }
  SetDatabase(nullptr);
  SetTransaction(nullptr);
}

void TIBSQL::SetDatabase(TIBDatabase* database) {
  if (database == database_) return;
  if (Prepared()) FreeHandle();
  if (database_ != nullptr) database_->RemoveSQLObject(this);
  database_ = database;
  if (database_ != nullptr) database_->AddSQLObject(this);
}

void TIBSQL::SetTransaction(TIBTransaction* transaction) {
  if (transaction == transaction_) return;
  if (Prepared()) FreeHandle();
  if (transaction_ != nullptr) transaction_->RemoveSQLObject(this);
  transaction_ = transaction;
  if (transaction_ != nullptr) transaction_->AddSQLObject(this);
}

void TIBSQL::SetSQL(const std::string& text) {
  if (Prepared()) FreeHandle();
  described_ = false;
  sql_ = text;
  processed_ = TProcessedSQL{};
  processed_ = PreprocessSQL(text);
}

void TIBSQL::CheckDatabase() const {
  if (database_ == nullptr) IBError(ibcDatabaseNotAssigned);
  if (!database_->Connected()) IBError(ibcDatabaseClosed);
}

void TIBSQL::CheckTransaction() const {
  if (transaction_ == nullptr) IBError(ibcTransactionNotAssigned);
  if (!transaction_->Active()) {
    if (!transaction_->AllowAutoStart()) IBError(ibcNotInTransaction);
    transaction_->StartTransaction();
  }
}

void TIBSQL::Check(ISC_STATUS result) {
  if (result == 0) return;
  if (database_ != nullptr) database_->RaiseFailure();
  IBDataBaseError();
}

void TIBSQL::Prepare() {
  CheckDatabase();
  CheckTransaction();
  if (Prepared()) return;
  const std::string& text = processed_.Text;
  if (text.size() < 2 || BlankText(text)) IBError(ibcEmptySQLStatement);

  Check(client_.isc_dsql_alloc_statement2(StatusVector(), database_->Handle(), &handle_));
  try {
    Check(client_.isc_dsql_prepare(StatusVector(), transaction_->Handle(), &handle_, 0,
                                   text.c_str(),
                                   static_cast<unsigned short>(database_->SQLDialect()), nullptr));
    char result[8] = {};
    Check(client_.isc_dsql_sql_info(StatusVector(), &handle_, 1, &kStatementTypeItem,
                                    sizeof(result), result));
    if (result[0] != kStatementTypeItem) IBError(ibcUnknownError);
    const auto length = static_cast<short>(client_.isc_vax_integer(result + 1, 2));
    sqlType_ = static_cast<int>(client_.isc_vax_integer(result + 3, length));
    if (sqlType_ < SQLUnknown || sqlType_ > SQLSetGenerator) sqlType_ = SQLUnknown;
    if (sqlType_ == SQLGetSegment || sqlType_ == SQLPutSegment || sqlType_ == SQLStartTransaction) {
      IBError(ibcNotPermitted);
    }

    params_.Reserve(1);
    if (!processed_.ParamNames.empty()) {
      Check(
          client_.isc_dsql_describe_bind(StatusVector(), &handle_, SQLDA_VERSION1, params_.Area()));
      if (params_.Area()->sqld > params_.Allocated()) {
        params_.Reserve(params_.Area()->sqld);
        Check(client_.isc_dsql_describe_bind(StatusVector(), &handle_, SQLDA_VERSION1,
                                             params_.Area()));
      }
      CheckKnownTypes(params_);
      params_.BindBuffers();
    }
    if (sqlType_ == SQLSelect || sqlType_ == SQLExecProcedure || sqlType_ == SQLSelectForUpdate) {
      DescribeOutput();
    } else {
      current_.Reserve(1);
    }
  } catch (...) {
    ISC_STATUS_ARRAY ignored{};
    client_.isc_dsql_free_statement(ignored, &handle_, DSQL_drop);
    handle_ = 0;
    throw;
  }
}

void TIBSQL::DescribeOutput() {
  current_.Reserve(1);
  Check(client_.isc_dsql_describe(StatusVector(), &handle_, SQLDA_VERSION1, current_.Area()));
  if (current_.Area()->sqld > current_.Allocated()) {
    current_.Reserve(current_.Area()->sqld);
    Check(client_.isc_dsql_describe(StatusVector(), &handle_, SQLDA_VERSION1, current_.Area()));
  }
  CheckKnownTypes(current_);
  current_.BindBuffers();
  if (!described_) {
    current_.NameColumns(database_->SQLDialect());
    described_ = true;
  }
}

void TIBSQL::CheckKnownTypes(TIBXSQLDA& area) {
  for (int i = 0; i < area.Count(); ++i) {
    const int type = area.Var(i).sqltype & ~1;
    if (!KnownType(type)) IBError(ibcUnknownSQLDataType, {static_cast<int64_t>(type)});
  }
}

void TIBSQL::SetParamsNull() {
  for (size_t i = 0; i < processed_.ParamNames.size(); ++i) {
    XSQLVAR& var = params_.Var(static_cast<int>(i));
    var.sqltype = static_cast<ISC_SHORT>(var.sqltype | 1);
    *var.sqlind = -1;
  }
}

void TIBSQL::ExecQuery() {
  CheckDatabase();
  CheckTransaction();
  Prepare();
  XSQLDA* input = processed_.ParamNames.empty() ? nullptr : params_.Area();
  Check(client_.isc_dsql_execute2(StatusVector(), transaction_->Handle(), &handle_,
                                  static_cast<unsigned short>(database_->SQLDialect()), input,
                                  nullptr));
  const std::string cursorName = NewGUIDText();
  Check(client_.isc_dsql_set_cursor_name(StatusVector(), &handle_, cursorName.c_str(), 0));
  open_ = true;
}

bool TIBSQL::Next() {
  if (!open_) return false;
  const ISC_STATUS result =
      client_.isc_dsql_fetch(StatusVector(), &handle_,
                             static_cast<unsigned short>(database_->SQLDialect()), current_.Area());
  if (result == 0) return true;
  if (result == kNoMoreRows || StatusVector()[1] == kCursorNotOpen) return false;
  std::exception_ptr failure;
  try {
    Check(result);
  } catch (...) {
    failure = std::current_exception();
  }
  try {
    Close();
  } catch (...) {
  }
  std::rethrow_exception(failure);
}

void TIBSQL::ExecNoCursor() {
  CheckDatabase();
  CheckTransaction();
  Prepare();
  const auto dialect = static_cast<unsigned short>(database_->SQLDialect());
  XSQLDA* input = processed_.ParamNames.empty() ? nullptr : params_.Area();
  if (sqlType_ != SQLExecProcedure) {
    Check(
        client_.isc_dsql_execute(StatusVector(), transaction_->Handle(), &handle_, dialect, input));
    return;
  }
  if (client_.isc_dsql_execute2(StatusVector(), transaction_->Handle(), &handle_, dialect, input,
                                current_.Area()) == 0) {
    return;
  }
  if (StatusVector()[1] == kProcedureNotRetried) Check(1);
  ISC_STATUS_ARRAY ignored{};
  client_.isc_dsql_prepare(ignored, transaction_->Handle(), &handle_, 0, processed_.Text.c_str(),
                           dialect, nullptr);
  Check(client_.isc_dsql_execute2(StatusVector(), transaction_->Handle(), &handle_, dialect, input,
                                  current_.Area()));
}

void TIBSQL::Close() {
  if (!open_) return;
  open_ = false;
  ISC_STATUS_ARRAY status{};
  client_.isc_dsql_free_statement(status, &handle_, DSQL_close);
}

void TIBSQL::FreeHandle() {
  Close();
  if (handle_ != 0) {
    ISC_STATUS_ARRAY status{};
    client_.isc_dsql_free_statement(status, &handle_, DSQL_drop);
    handle_ = 0;
  }
}

void TIBSQL::Release() {
  const bool had = Prepared() || open_;
  FreeHandle();
  if (had && onRelease_) onRelease_();
}

void TIBSQL::BeforeTransactionEnd() {
  Release();
}

void TIBSQL::BeforeDatabaseDisconnect() {
  Release();
}

void TIBSQL::TransactionFreed() {
  Release();
  transaction_ = nullptr;
}

void TIBSQL::DatabaseFreed() {
  Release();
  database_ = nullptr;
}

}  // namespace xg
