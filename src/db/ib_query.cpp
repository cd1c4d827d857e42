#include "db/ib_query.h"

#include "db/ib_client_library.h"
#include "db/ib_database.h"
#include "db/ib_error.h"
#include "db/ib_messages.h"
#include "db/ib_schema_cache.h"
#include "db/ib_sql.h"
#include "db/ib_transaction.h"
#include "db/sql_params.h"
#include "runtime/stop_signals.h"

namespace xg {
namespace {

constexpr int kRowCacheChunk = 1000;
constexpr unsigned short kBlobSegmentSize = 32768;

}  // namespace

TIBQuery::TIBQuery() : client_(IBClient()), statement_(std::make_unique<TIBSQL>()) {
  statement_->SetOnRelease([this] { ReleaseRows(); });
}

TIBQuery::~TIBQuery() {
  ReleaseRows();
  statement_.reset();
}

void TIBQuery::SetDatabase(TIBDatabase* database) {
  Close();
  statement_->SetDatabase(database);
}

void TIBQuery::SetTransaction(TIBTransaction* transaction) {
  Close();
  statement_->SetTransaction(transaction);
}

void TIBQuery::SetSQL(const std::string& text) {
  Close();
  fieldDefs_.clear();
  fields_.clear();
  sqlText_ = SQLLinesText(text);
  statement_->SetSQL(sqlText_);
}

int TIBQuery::StatementType() const {
  return statement_->SQLType();
}

void TIBQuery::BuildFieldDefs() {
  fieldDefs_.clear();
  TIBXSQLDA& columns = statement_->Current();
  TIBDatabase& database = *statement_->Database();
  for (int i = 0; i < columns.Count(); ++i) {
    auto def = MakeFieldDef(columns.Var(i), i, columns.Name(i), database.SQLDialect());
    if (!def) continue;
    if (!def->RelationName.empty() && !def->ColumnName.empty()) {
      IBSchemaCache& schema = database.SchemaCache();
      if (schema.IsComputed(def->RelationName, def->ColumnName)) def->ReadOnly = true;
      if (schema.HasDefault(def->RelationName, def->ColumnName)) def->Required = false;
    }
    fieldDefs_.push_back(std::move(*def));
  }
}

void TIBQuery::Open() {
  if (active_) return;
  statement_->CheckDatabase();
  statement_->CheckTransaction();
  if (!statement_->Prepared()) {
    statement_->Prepare();
    BuildFieldDefs();
  }
  statement_->SetParamsNull();
  ReleaseRows();
  if (statement_->SQLType() == SQLSelect) {
    fields_ = fieldDefs_;
    columns_ = statement_->Current().Count();
    statement_->ExecQuery();
    hasCursor_ = true;
  } else {
    fields_.clear();
    columns_ = 0;
    statement_->ExecNoCursor();
    hasCursor_ = false;
  }
  active_ = true;
}

void TIBQuery::Close() {
  if (statement_->Open()) statement_->Close();
  ReleaseRows();
}

void TIBQuery::ReleaseRows() {
  active_ = false;
  hasCursor_ = false;
  chunks_.clear();
  chunks_.shrink_to_fit();
  rowCount_ = 0;
  current_ = -1;
  eof_ = false;
  fetchedAll_ = false;
}

void TIBQuery::ExecSQL() {
  if (sqlText_.empty()) IBError(ibcEmptySQLStatement);
  statement_->CheckDatabase();
  statement_->CheckTransaction();
  statement_->Prepare();
  statement_->SetParamsNull();
  if (statement_->SQLType() == SQLSelect) IBError(ibcIsASelectStatement);
  statement_->ExecNoCursor();
}

void TIBQuery::CheckCursor() const {
  if (!active_ || !hasCursor_) IBError(ibcNoResultSet);
}

bool TIBQuery::FetchRow() {
  if (fetchedAll_) return false;
  // Rows come from the client library's buffer without a call that a signal could cancel.
  ThrowIfStopped();
  if (!statement_->Next()) {
    fetchedAll_ = true;
    return false;
  }
  if (rowCount_ % kRowCacheChunk == 0) {
    chunks_.emplace_back().reserve(static_cast<size_t>(kRowCacheChunk) * columns_);
  }
  std::vector<TCachedCell>& chunk = chunks_.back();
  TIBXSQLDA& row = statement_->Current();
  size_t bytes = 0;
  for (int i = 0; i < columns_; ++i) {
    chunk.push_back(CacheColumn(client_, row.Var(i)));
    if (const auto* text = std::get_if<std::string>(&chunk.back())) bytes += text->size();
  }
  ++rowCount_;
  if (onRowFetched_) onRowFetched_(bytes);
  return true;
}

void TIBQuery::Last() {
  CheckCursor();
  while (FetchRow()) {
  }
  current_ = rowCount_;
  eof_ = true;
}

void TIBQuery::First() {
  CheckCursor();
  if (rowCount_ == 0) FetchRow();
  current_ = 0;
  eof_ = rowCount_ == 0;
}

void TIBQuery::Next() {
  CheckCursor();
  if (current_ + 1 < rowCount_ || FetchRow()) {
    ++current_;
  } else {
    eof_ = true;
  }
}

int TIBQuery::RecNo() const {
  return current_ >= 0 && current_ < rowCount_ ? current_ + 1 : 0;
}

const TFieldDef& TIBQuery::Field(int index) const {
  if (index < 0 || index >= FieldCount()) IBError(ibcXSQLDAIndexOutOfRange);
  return fields_[static_cast<size_t>(index)];
}

Variant TIBQuery::FieldValue(int index) const {
  const TFieldDef& def = Field(index);
  if (current_ < 0 || current_ >= rowCount_) return Variant::Null();
  return xg::FieldValue(client_, def, Cell(current_, def.FieldNo - 1),
                        statement_->Database()->SQLDialect(),
                        [this](const ISC_QUAD& id) { return ReadBlob(id); });
}

const TCachedCell& TIBQuery::Cell(int row, int column) const {
  const std::vector<TCachedCell>& chunk = chunks_[static_cast<size_t>(row / kRowCacheChunk)];
  return chunk[static_cast<size_t>(row % kRowCacheChunk) * columns_ + column];
}

std::string TIBQuery::ReadBlob(const ISC_QUAD& id) const {
  TIBDatabase* database = statement_->Database();
  TIBTransaction* transaction = statement_->Transaction();
  statement_->CheckDatabase();
  statement_->CheckTransaction();
  isc_blob_handle blob = 0;
  ISC_QUAD blobId = id;
  database->Check(client_.isc_open_blob2(StatusVector(), database->Handle(), transaction->Handle(),
                                         &blob, &blobId, 0, nullptr));
  std::string content;
  std::string segment(kBlobSegmentSize, '\0');
  while (true) {
    unsigned short length = 0;
    const ISC_STATUS result =
        client_.isc_get_segment(StatusVector(), &blob, &length, kBlobSegmentSize, segment.data());
    if (result == 0 || result == isc_segment) {
      content.append(segment.data(), length);
      continue;
    }
    if (result == isc_segstr_eof) break;
    std::exception_ptr failure;
    try {
      database->RaiseFailure();
    } catch (...) {
      failure = std::current_exception();
    }
    ISC_STATUS_ARRAY ignored{};
    client_.isc_close_blob(ignored, &blob);
    std::rethrow_exception(failure);
  }
  database->Check(client_.isc_close_blob(StatusVector(), &blob));
  return content;
}

}  // namespace xg
