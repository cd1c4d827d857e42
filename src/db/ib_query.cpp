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

IbQuery::IbQuery(IbTransaction& transaction) : client_(IbClient()), statement_(transaction) {}

IbQuery::~IbQuery() {
  ReleaseRows();
}

void IbQuery::SetSQL(const std::string& text) {
  Close();
  field_defs_.clear();
  fields_.clear();
  sql_text_ = SQLLinesText(text);
  statement_.SetSQL(sql_text_);
}

int IbQuery::StatementType() const {
  return statement_.SQLType();
}

void IbQuery::BuildFieldDefs() {
  field_defs_.clear();
  IbXsqlda& columns = statement_.Current();
  IbDatabase& database = statement_.Database();
  for (int i = 0; i < columns.Count(); ++i) {
    auto def = MakeFieldDef(columns.Var(i), i, columns.Name(i), database.SQLDialect());
    if (!def) continue;
    if (!def->relation_name.empty() && !def->column_name.empty()) {
      IbSchemaCache& schema = database.SchemaCache();
      if (schema.HasDefault(def->relation_name, def->column_name)) def->required = false;
    }
    field_defs_.push_back(std::move(*def));
  }
}

void IbQuery::Open() {
  if (active_) return;
  statement_.CheckDatabase();
  statement_.CheckTransaction();
  if (!statement_.Prepared()) {
    statement_.Prepare();
    BuildFieldDefs();
  }
  statement_.SetParamsNull();
  ReleaseRows();
  if (statement_.SQLType() == kSqlSelect) {
    fields_ = field_defs_;
    columns_ = statement_.Current().Count();
    statement_.ExecQuery();
    has_cursor_ = true;
  } else {
    fields_.clear();
    columns_ = 0;
    statement_.ExecNoCursor();
    has_cursor_ = false;
  }
  active_ = true;
}

void IbQuery::Close() {
  if (statement_.Open()) statement_.Close();
  ReleaseRows();
}

void IbQuery::ReleaseRows() {
  active_ = false;
  has_cursor_ = false;
  chunks_.clear();
  chunks_.shrink_to_fit();
  row_count_ = 0;
  current_ = -1;
  eof_ = false;
  fetched_all_ = false;
}

void IbQuery::ExecSQL() {
  if (sql_text_.empty()) ThrowClientError(ClientError::kEmptySQLStatement);
  statement_.CheckDatabase();
  statement_.CheckTransaction();
  statement_.Prepare();
  statement_.SetParamsNull();
  if (statement_.SQLType() == kSqlSelect) ThrowClientError(ClientError::kIsASelectStatement);
  statement_.ExecNoCursor();
}

void IbQuery::CheckCursor() const {
  if (!active_ || !has_cursor_) ThrowClientError(ClientError::kNoResultSet);
}

bool IbQuery::FetchRow() {
  if (fetched_all_) return false;
  // Rows come from the client library's buffer without a call that a signal could cancel.
  ThrowIfStopped();
  if (!statement_.Next()) {
    fetched_all_ = true;
    return false;
  }
  if (row_count_ % kRowCacheChunk == 0) {
    chunks_.emplace_back().reserve(static_cast<size_t>(kRowCacheChunk) * columns_);
  }
  std::vector<CachedCell>& chunk = chunks_.back();
  IbXsqlda& row = statement_.Current();
  size_t bytes = 0;
  for (int i = 0; i < columns_; ++i) {
    chunk.push_back(CacheColumn(client_, row.Var(i)));
    if (const auto* text = std::get_if<std::string>(&chunk.back())) bytes += text->size();
  }
  ++row_count_;
  if (on_row_fetched_) on_row_fetched_(bytes);
  return true;
}

void IbQuery::Last() {
  CheckCursor();
  while (FetchRow()) {
  }
  current_ = row_count_;
  eof_ = true;
}

void IbQuery::First() {
  CheckCursor();
  if (row_count_ == 0) FetchRow();
  current_ = 0;
  eof_ = row_count_ == 0;
}

void IbQuery::Next() {
  CheckCursor();
  if (current_ + 1 < row_count_ || FetchRow()) {
    ++current_;
  } else {
    eof_ = true;
  }
}

int IbQuery::RecNo() const {
  return current_ >= 0 && current_ < row_count_ ? current_ + 1 : 0;
}

const FieldDef& IbQuery::Field(int index) const {
  if (index < 0 || index >= FieldCount()) ThrowClientError(ClientError::kXSQLDAIndexOutOfRange);
  return fields_[static_cast<size_t>(index)];
}

Variant IbQuery::FieldValue(int index) {
  const FieldDef& def = Field(index);
  if (current_ < 0 || current_ >= row_count_) return Variant::Null();
  return xg::FieldValue(client_, def, Cell(current_, def.field_no - 1),
                        statement_.Database().SQLDialect(),
                        [this](const ISC_QUAD& id) { return ReadBlob(id); });
}

const CachedCell& IbQuery::Cell(int row, int column) const {
  const std::vector<CachedCell>& chunk = chunks_[static_cast<size_t>(row / kRowCacheChunk)];
  return chunk[static_cast<size_t>(row % kRowCacheChunk) * columns_ + column];
}

std::string IbQuery::ReadBlob(const ISC_QUAD& id) {
  IbDatabase& database = statement_.Database();
  statement_.CheckDatabase();
  statement_.CheckTransaction();
  isc_blob_handle blob = 0;
  ISC_QUAD blob_id = id;
  database.CheckStatus(
      client_.isc_open_blob2(status_.get(), database.Handle(), statement_.Transaction().Handle(),
                             &blob, &blob_id, 0, nullptr),
      status_);
  std::string content;
  std::string segment(kBlobSegmentSize, '\0');
  while (true) {
    unsigned short length = 0;
    const ISC_STATUS result =
        client_.isc_get_segment(status_.get(), &blob, &length, kBlobSegmentSize, segment.data());
    if (result == 0 || result == isc_segment) {
      content.append(segment.data(), length);
      continue;
    }
    if (result == isc_segstr_eof) break;
    CleanUpOnFailure([&] { database.ThrowFailure(status_); },
                     [&] {
                       StatusVector ignored;
                       client_.isc_close_blob(ignored.get(), &blob);
                     });
  }
  database.CheckStatus(client_.isc_close_blob(status_.get(), &blob), status_);
  return content;
}

}  // namespace xg
