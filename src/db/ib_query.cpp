#include "db/ib_query.h"

#include "db/ib_client_library.h"
#include "db/ib_database.h"
#include "db/ib_error.h"
#include "db/ib_field_def.h"
#include "db/ib_field_value.h"
#include "db/ib_messages.h"
#include "db/ib_sql.h"
#include "db/ib_transaction.h"
#include "db/sql_params.h"
#include "process/stop_signals.h"

namespace xg {
namespace {

constexpr unsigned short kBlobSegmentSize = 32768;

// The whole blob of the id, read in the statement's transaction.
std::string ReadBlob(const IbClientLibrary& client, IbSql& statement, const ISC_QUAD& id) {
  IbDatabase& database = statement.Database();
  StatusVector status;
  statement.CheckDatabase();
  statement.CheckTransaction();
  isc_blob_handle blob = 0;
  ISC_QUAD blob_id = id;
  database.CheckStatus(
      client.isc_open_blob2(status.get(), database.Handle(), statement.Transaction().Handle(),
                            &blob, &blob_id, 0, nullptr),
      status);
  std::string content;
  std::string segment(kBlobSegmentSize, '\0');
  while (true) {
    unsigned short length = 0;
    const ISC_STATUS result =
        client.isc_get_segment(status.get(), &blob, &length, kBlobSegmentSize, segment.data());
    if (result == 0 || result == isc_segment) {
      content.append(segment.data(), length);
      continue;
    }
    if (result == isc_segstr_eof) break;
    CleanUpOnFailure([&] { database.ThrowFailure(status); },
                     [&] {
                       StatusVector ignored;
                       client.isc_close_blob(ignored.get(), &blob);
                     });
  }
  database.CheckStatus(client.isc_close_blob(status.get(), &blob), status);
  return content;
}

// The field's column of the current row as stored.
StoredCell StoredValue(IbSql& statement, const FieldDef& def) {
  return DecodeColumn(statement.Current().Var(def.field_no - 1));
}

}  // namespace

IbQuery::IbQuery(IbTransaction& transaction)
    : client_(IbClient()), statement_(std::make_unique<IbSql>(transaction)) {}

IbQuery::~IbQuery() {
  ReleaseRows();
}

void IbQuery::SetSql(const std::string& text) {
  Close();
  field_defs_.clear();
  fields_.clear();
  sql_text_ = SqlLinesText(text);
  statement_->SetSql(sql_text_);
}

SqlStatementType IbQuery::StatementType() const {
  return statement_->SqlType();
}

void IbQuery::BuildFieldDefs() {
  field_defs_.clear();
  IbXsqlda& columns = statement_->Current();
  const int dialect = statement_->Database().SqlDialect();
  for (int i = 0; i < columns.Count(); ++i) {
    auto def = MakeFieldDef(columns.Var(i), i, columns.Name(i), dialect);
    if (def) field_defs_.push_back(std::move(*def));
  }
}

void IbQuery::Open() {
  if (active_) return;
  statement_->CheckDatabase();
  statement_->CheckTransaction();
  if (!statement_->Prepared()) {
    statement_->Prepare();
    BuildFieldDefs();
  }
  statement_->SetParamsNull();
  ReleaseRows();
  if (statement_->SqlType() == SqlStatementType::kSelect) {
    fields_ = field_defs_;
    statement_->ExecQuery();
    has_cursor_ = true;
  } else {
    fields_.clear();
    statement_->ExecNoCursor();
    has_cursor_ = false;
  }
  active_ = true;
}

void IbQuery::Close() {
  if (statement_->Open()) statement_->Close();
  ReleaseRows();
}

void IbQuery::ReleaseRows() {
  active_ = false;
  has_cursor_ = false;
  row_count_ = 0;
  has_row_ = false;
  eof_ = false;
  fetched_all_ = false;
}

void IbQuery::ExecSql() {
  if (sql_text_.empty()) ThrowClientError(ClientError::kEmptySqlStatement);
  statement_->CheckDatabase();
  statement_->CheckTransaction();
  statement_->Prepare();
  statement_->SetParamsNull();
  if (statement_->SqlType() == SqlStatementType::kSelect)
    ThrowClientError(ClientError::kIsASelectStatement);
  statement_->ExecNoCursor();
}

void IbQuery::CheckCursor() const {
  if (!active_ || !has_cursor_) ThrowClientError(ClientError::kNoResultSet);
}

bool IbQuery::FetchRow() {
  if (fetched_all_) return false;
  // Rows come from the client library's buffer without a call that a signal could cancel.
  ThrowIfStopped();
  if (!statement_->Next()) {
    fetched_all_ = true;
    return false;
  }
  ++row_count_;
  return true;
}

void IbQuery::First() {
  CheckCursor();
  if (row_count_ == 0) {
    has_row_ = FetchRow();
    eof_ = !has_row_;
  } else if (row_count_ > 1 || !has_row_) {
    ThrowClientError(ClientError::kNoResultSet);
  }
}

void IbQuery::Next() {
  CheckCursor();
  if (FetchRow()) {
    has_row_ = true;
  } else {
    eof_ = true;
  }
}

const FieldDef& IbQuery::Field(int index) const {
  if (index < 0 || index >= FieldCount()) ThrowClientError(ClientError::kDescriptorIndexOutOfRange);
  return fields_[static_cast<size_t>(index)];
}

int IbQuery::SqlDialect() const {
  return statement_->Database().SqlDialect();
}

Variant IbQuery::FieldValue(int index) {
  const FieldDef& def = Field(index);
  if (!has_row_) return Variant::Null();
  return xg::FieldValue(client_, def, StoredValue(*statement_, def), SqlDialect(),
                        [this](const ISC_QUAD& id) { return ReadBlob(client_, *statement_, id); });
}

ColumnValue IbQuery::FieldColumnValue(int index) {
  const FieldDef& def = Field(index);
  if (!has_row_) return ColumnValue();
  return xg::FieldColumnValue(client_, def, StoredValue(*statement_, def), SqlDialect());
}

}  // namespace xg
