#include "gateway/sql_service_session.h"

#include "gateway/base64.h"
#include "runtime/stop_signals.h"

namespace xg {

TSQLServiceSession::~TSQLServiceSession() {
  try {
    Finish();
  } catch (...) {
    // A failure is already leaving the service; the disconnect's own failure is dropped.
  }
}

void TSQLServiceSession::Connect(const std::string& requestText) {
  ParseRequest(requestText, params_);
  database_ = std::make_unique<TIBDatabase>();
  database_->SetLoginPrompt(false);
  database_->SetDatabaseName(params_.DB);
  database_->SetParams({});
  database_->AddParam("user_name=" + params_.User);
  database_->AddParam("password=" + DecodeBase64(params_.Pass));
  database_->SetConnected(true);
  transaction_ = std::make_unique<TIBTransaction>();
  transaction_->SetDefaultDatabase(database_.get());
  query_ = std::make_unique<TIBQuery>();
  query_->SetDatabase(database_.get());
  query_->SetTransaction(transaction_.get());
}

void TSQLServiceSession::LoadStatement() {
  query_->Close();
  query_->ClearSQL();
  query_->SetSQL(DecodeBase64(params_.SQL));
}

std::vector<std::string>& TSQLServiceSession::CreateLines() {
  lines_ = std::make_unique<std::vector<std::string>>();
  lines_->clear();
  return *lines_;
}

void TSQLServiceSession::FreeAll() {
  query_.reset();
  transaction_.reset();
  database_.reset();
  lines_.reset();
}

void TSQLServiceSession::Finish() {
  if (AnswerMuted()) {
    // A termination signal stopped the request: nothing is interrupted any more, and what the
    // transaction holds is rolled back, not committed by the disconnect.
    AcknowledgeStop();
    if (transaction_) transaction_->SetDefaultAction(TARollback);
  }
  try {
    if (database_) database_->SetConnected(false);
  } catch (...) {
    FreeAll();
    throw;
  }
  FreeAll();
}

}  // namespace xg
