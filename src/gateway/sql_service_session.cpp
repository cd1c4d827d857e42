#include "gateway/sql_service_session.h"

#include "config/database_policy.h"
#include "config/gateway_config.h"
#include "db/session_state.h"
#include "process/stop_signals.h"
#include "texts/exceptions.h"
#include "texts/format.h"
#include "texts/resource_strings.h"

namespace xg {
namespace {

XG_RESOURCE(SDatabaseNotAllowed, "Acesso ao banco de dados n\xE3o permitido: %s");

// The engine reports the name of the file it opened cut to this many bytes: a name that long
// cannot be confirmed, and is refused.
constexpr size_t kLongestReportedFileName = 254;

// The refused name is echoed only this far.
constexpr size_t kEchoedNameLength = 200;

// The client library's providers for each road: the embedded engine, the server on this host
// reached over the loopback network (which checks the password), or a server named by host.
// Each road names one provider, so that no name can fall through to another.
const char* ProvidersFor(DatabaseRoute route) {
  switch (route) {
    case DatabaseRoute::kEmbedded:
      return "Providers = Engine12";
    case DatabaseRoute::kLocalServer:
      return "Providers = Loopback";
    default:
      return "Providers = Remote";
  }
}

}  // namespace

SqlServiceSession::~SqlServiceSession() {
  // A failure is leaving the service: the attachment is not kept.
  keep_attachment_ = false;
  Finish();
}

[[noreturn]] void SqlServiceSession::RefuseDatabase() const {
  throw EDatabaseError(
      Format(LoadResString(SDatabaseNotAllowed), {request_.db.substr(0, kEchoedNameLength)}));
}

void SqlServiceSession::Connect() {
  const GatewayConfig& config = context_.config;
  const DatabaseRoute route = ChooseDatabaseRoute(config, request_.db, &attach_name_);
  if (route == DatabaseRoute::kRefused) RefuseDatabase();
  if (KeepsAttachments()) {
    // An attachment is found again by everything that made it: the name, the user and the
    // password the server checked (the route and the character set are the process's).
    pool_key_ = request_.db + '\0' + request_.user + '\0' + request_.DecodedPassword();
    database_ = context_.pool->Take(pool_key_);
  }
  if (database_ && BeginOnKeptAttachment()) {
    attachment_reused_ = true;
    return;
  }
  Attach(route, config);
  Begin();
  if (ChecksSessionState()) LearnWhetherCheckCanRun();
}

void SqlServiceSession::LearnWhetherCheckCanRun() {
  // Asked in the request's own transaction, before its statement: the check's transaction must
  // run none of the database's triggers on transaction start, commit or rollback, which a
  // request on a new attachment runs only for its own transaction. A kept attachment was found
  // fit by its last check.
  try {
    if (!AllowsSessionCheck(ReadTransactionTriggers(*transaction_))) keep_attachment_ = false;
  } catch (...) {
    // Not known: the attachment is not kept; the request itself goes on and meets any failure of
    // its connection on its own.
    keep_attachment_ = false;
  }
}

void SqlServiceSession::Begin() {
  transaction_ = std::make_unique<IbTransaction>(*database_);
  query_ = std::make_unique<IbQuery>(*transaction_);
  transaction_->StartTransaction();
}

bool SqlServiceSession::BeginOnKeptAttachment() {
  try {
    Begin();
    return true;
  } catch (const EDatabaseError&) {
    // A failure that left the connection standing is the server's answer to this request.
    if (database_->Connected()) throw;
  }
  // The connection is gone (the server restarted since the last request). Starting the
  // transaction is the first call on a kept attachment and changes nothing in the database, so
  // the request loses nothing by starting again on a new attachment.
  FreeAll();
  return false;
}

void SqlServiceSession::Attach(DatabaseRoute route, const GatewayConfig& config) {
  database_ = std::make_unique<IbDatabase>();
  // A name without a host is attached by the file it was checked as, not by its text: a name
  // that is also an alias, or a link changed since, must not open another file.
  database_->SetDatabaseName(attach_name_);
  const bool embedded = route == DatabaseRoute::kEmbedded;
  // The embedded engine takes any user name as claimed; the operator can fix the one whose
  // grants apply.
  AttachParams params;
  params.user = embedded && !config.embedded_user.empty() ? config.embedded_user : request_.user;
  params.password = request_.DecodedPassword();
  params.charset = config.charset;
  params.connection_config = ProvidersFor(route);
  database_->SetAttachParams(std::move(params));
  database_->Connect();
  if (embedded) CheckOpenedFile(config);
}

void SqlServiceSession::CheckOpenedFile(const GatewayConfig& config) {
  // A folder or link swapped between the check and the attach could still have led the engine to
  // another file: the one it opened must be listed as well.
  const std::string opened = database_->OpenedFileName();
  if (opened.size() < kLongestReportedFileName && MatchesAnyPattern(config.embedded, opened) &&
      MatchesAnyPattern(config.allow, opened))
    return;
  database_->Disconnect();
  RefuseDatabase();
}

void SqlServiceSession::LoadStatement() {
  query_->SetSql(request_.DecodedSql());
}

bool SqlServiceSession::KeepsAttachments() const {
  return context_.pool != nullptr && context_.pool->Enabled();
}

bool SqlServiceSession::ChecksSessionState() const {
  return KeepsAttachments() && context_.config.pool_check_session;
}

void SqlServiceSession::CommitWork(AnswerAfterCommit answer) {
  query_.reset();
  CommitSection commit;
  try {
    transaction_->Commit();
  } catch (...) {
    commit_failed_ = true;
    transaction_->RollBackByForce();
    throw;
  }
  work_ended_ = true;
  if (answer == AnswerAfterCommit::kWhole) commit.Committed();
}

void SqlServiceSession::RollBackWork() noexcept {
  query_.reset();
  // A failed rollback leaves the attachment's state unknown: it is not kept.
  if (transaction_ && !transaction_->RollBackByForce()) keep_attachment_ = false;
  work_ended_ = true;
}

bool SqlServiceSession::MayKeepAttachment() const {
  return keep_attachment_ && !pool_key_.empty() && work_ended_ && !commit_failed_ && database_ &&
         database_->Connected() && !AnswerMuted();
}

void SqlServiceSession::FreeAll() {
  query_.reset();
  transaction_.reset();
  database_.reset();
}

void SqlServiceSession::Finish() noexcept {
  // A termination signal stopped the request: nothing is interrupted any more (what the
  // transaction still holds is rolled back by the disconnect).
  if (AnswerMuted()) AcknowledgeStop();
  // The statement is released while its transaction and its attachment are still there.
  query_.reset();
  try {
    if (MayKeepAttachment() && database_->EndTransactions()) {
      transaction_.reset();
      // Asked once the request's transaction has ended, and what its end ran with it.
      if (!ChecksSessionState() || !HoldsSessionState(*database_)) {
        context_.pool->Give(pool_key_, std::move(database_));
        return;
      }
    }
    if (database_) database_->Disconnect();
  } catch (...) {
    // The answer is decided; a connection that ends badly rolls back on the server's side, and
    // what is left is closed by force as it is freed.
  }
  FreeAll();
}

}  // namespace xg
