// What both SQL services set up for one request: the request parsed again, a database attached
// with the request's user and decoded password, a transaction on it and a query in the
// transaction. Finish frees the query, disconnects (ending an active transaction by its default
// action, a commit) and then frees the transaction and the database; a session that is destroyed
// without Finish (a failure is already on its way) does the same and swallows what fails. In a
// request that a termination signal stopped, the disconnect rolls the transaction back instead.
// In a process that keeps attachments (db/attachment_pool.h), Connect takes a kept one of the
// same name, user and password, and Finish ends the transactions and keeps the attachment
// instead of detaching; one whose session is destroyed without Finish is detached, and so is one
// whose request was not found free of session state by CheckSessionState.
#pragma once

#include <memory>
#include <string>

#include "config/database_policy.h"
#include "config/gateway_config.h"
#include "db/ib_database.h"
#include "db/ib_query.h"
#include "db/ib_transaction.h"
#include "gateway/request_parser.h"

namespace xg {

class SqlServiceSession {
 public:
  SqlServiceSession() = default;
  ~SqlServiceSession();
  SqlServiceSession(const SqlServiceSession&) = delete;
  SqlServiceSession& operator=(const SqlServiceSession&) = delete;

  // Parses the request, checks the database name against the configuration (a name it does not
  // allow raises EDatabaseError "Acesso ao banco de dados não permitido: <name>" before any
  // attach), creates and attaches the database on the road the configuration gives it, with
  // the configured connection character set (a name without a host by the file it resolves to;
  // on the embedded engine as the configured embedded-user, and refused as well, after a
  // detach, when the engine opened a file that is not listed), makes the transaction and the query
  // on it and starts the transaction. A kept attachment whose connection turns out to be gone when
  // the transaction starts is dropped, and a new one is made. Raises whatever fails; what was
  // created so far stays for Finish.
  void Connect(const std::string& request_text);
  // Gives the query the request's decoded statement text.
  void LoadStatement();

  const RequestParams& Params() const { return params_; }
  // Whether Connect went on with an attachment kept from an earlier request.
  bool AttachmentReused() const { return attachment_reused_; }
  IbDatabase& Database() { return *database_; }
  IbTransaction& Transaction() { return *transaction_; }
  IbQuery& Query() { return *query_; }

  // In a process that keeps attachments: asks, in the request's transaction and so before it
  // ends, whether the request left state in the attachment's session that a new attachment
  // would not have (db/session_state.h). Finish keeps the attachment only when this was asked
  // and every answer was no. Does nothing when attachments are not kept.
  void CheckSessionState();

  // Raises a failure of the disconnect, after everything has been freed.
  void Finish();

 private:
  void FreeAll();
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

  RequestParams params_;
  // The name the database is attached by (see ChooseDatabaseRoute).
  std::string attach_name_;
  // The attachment's key in the process's pool; empty when attachments are not kept.
  std::string pool_key_;
  bool keep_attachment_ = true;
  bool session_checked_ = false;
  bool session_state_held_ = false;
  bool attachment_reused_ = false;
  // Freed in the reverse order: the query before its transaction before its database.
  std::unique_ptr<IbDatabase> database_;
  std::unique_ptr<IbTransaction> transaction_;
  std::unique_ptr<IbQuery> query_;
};

}  // namespace xg
