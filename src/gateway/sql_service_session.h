// What both SQL services set up for one parsed request: a database attached with the request's
// user and decoded password, a transaction on it and a query in the transaction. Only the service
// commits, explicitly (CommitWork), where the protocol says the work stays; anything else is
// rolled back. Finish frees the query, disconnects (which rolls back a transaction still active)
// and then frees the transaction and the database; a session that is destroyed without Finish (a
// failure is already on its way) does the same, so that such a failure leaves nothing in the
// database.
// In a process that keeps attachments (db/attachment_pool.h), Connect takes a kept one of the
// same name, user and password, and Finish ends the transactions and keeps the attachment
// instead of detaching; one whose session is destroyed without Finish is detached, and so is one
// whose request's work was not ended by CommitWork or RollBackWork, or (with [pool]
// check-session) was not found free of session state once its transaction had ended
// (db/session_state.h).
#pragma once

#include <memory>
#include <string>

#include "config/database_policy.h"
#include "config/gateway_config.h"
#include "db/ib_database.h"
#include "db/ib_query.h"
#include "db/ib_transaction.h"
#include "gateway/gateway_context.h"
#include "gateway/request_parser.h"

namespace xg {

class SqlServiceSession {
 public:
  // The request and the context outlive the session.
  SqlServiceSession(const RequestParams& request, const GatewayContext& context)
      : request_(request), context_(context) {}
  ~SqlServiceSession();
  SqlServiceSession(const SqlServiceSession&) = delete;
  SqlServiceSession& operator=(const SqlServiceSession&) = delete;

  // Checks the request's database name against the configuration (a name it does not
  // allow raises EDatabaseError "Acesso ao banco de dados não permitido: <name>" before any
  // attach), creates and attaches the database on the road the configuration gives it, with
  // the configured connection character set (a name without a host by the file it resolves to;
  // on the embedded engine as the configured embedded-user, and refused as well, after a
  // detach, when the engine opened a file that is not listed), makes the transaction and the query
  // on it and starts the transaction. A kept attachment whose connection turns out to be gone when
  // the transaction starts is dropped, and a new one is made. With [pool] check-session, a new
  // attachment learns whether the check can run on its database (LearnWhetherCheckCanRun).
  // Raises whatever fails; what was created so far stays for Finish.
  void Connect();
  // Gives the query the request's decoded statement text.
  void LoadStatement();

  // Whether Connect went on with an attachment kept from an earlier request.
  bool AttachmentReused() const { return attachment_reused_; }
  IbDatabase& Database() { return *database_; }
  IbQuery& Query() { return *query_; }

  // The two ends of the request's work, the one way both services end theirs; Finish keeps the
  // attachment only after one of them. The statement is freed before the transaction ends.
  //
  // CommitWork commits: the answer may report a success only once it has returned. It raises
  // the commit's failure after rolling back by force (the attachment is then not kept), and
  // RequestStopped, committing nothing, when a termination signal already stopped the request.
  // A signal that arrives once the commit has begun does not stop it (see CommitSection); after
  // it, a statement's short answer goes out whole, while a query's answer, which may be long,
  // still stops at a signal as its rows do. The caller runs it under the statement's watch, so
  // that the time limit covers the commit and what its triggers do.
  enum class AnswerAfterCommit { kWhole, kStoppable };
  void CommitWork(AnswerAfterCommit answer);
  // Rolls back by force: never raises, so that a failure on its way to the client (a lost
  // connection included) is never replaced by the rollback's own.
  void RollBackWork() noexcept;

  // Frees the query, then keeps the attachment for the next request or detaches it. With [pool]
  // check-session, it is kept only when a transaction of the check's own finds that the request
  // left no state in the session (db/session_state.h). Never raises: the answer is decided by
  // then (a committed change stays committed whatever the detach reports, and the engine rolls
  // back what was not committed when a connection ends).
  void Finish() noexcept;

 private:
  void FreeAll();
  // Whether the context's pool keeps attachments.
  bool KeepsAttachments() const;
  // Whether kept attachments are checked for session state.
  bool ChecksSessionState() const;
  // On a new attachment, in the request's transaction before its statement: the attachment is
  // not kept when the check's own transaction would run one of the database's triggers
  // (db/session_state.h), or when that cannot be told.
  void LearnWhetherCheckCanRun();
  // Whether Finish may keep the attachment, the session check aside.
  bool MayKeepAttachment() const;
  // Creates and attaches the database on its road.
  void Attach(DatabaseRoute route, const GatewayConfig& config);
  // After an embedded attach: detaches and refuses as an unlisted name unless the file the
  // engine opened is one that "embedded" and "allow" match.
  void CheckOpenedFile(const GatewayConfig& config);
  [[noreturn]] void RefuseDatabase() const;
  // Makes the transaction and the query on the database and starts the transaction.
  void Begin();
  // Begin on an attachment taken from the pool. Answers false, with everything freed, when its
  // connection was gone; raises any other failure.
  bool BeginOnKeptAttachment();

  const RequestParams& request_;
  const GatewayContext& context_;
  // The name the database is attached by (see ChooseDatabaseRoute).
  std::string attach_name_;
  // The attachment's key in the process's pool; empty when attachments are not kept.
  std::string pool_key_;
  bool keep_attachment_ = true;
  // Set once CommitWork committed or RollBackWork rolled back.
  bool work_ended_ = false;
  bool attachment_reused_ = false;
  bool commit_failed_ = false;
  // Freed in the reverse order: the query before its transaction before its database.
  std::unique_ptr<IbDatabase> database_;
  std::unique_ptr<IbTransaction> transaction_;
  std::unique_ptr<IbQuery> query_;
};

}  // namespace xg
