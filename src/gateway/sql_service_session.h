// What both SQL services set up for one request: the request parsed again, a database attached
// with the request's user and decoded password, a transaction on it and a query bound to both.
// Finish disconnects (ending an active transaction by its default action, a commit) and then
// frees the query, the transaction, the database and the answer's lines, in that order; a
// session that is destroyed without Finish (a failure is already on its way) does the same and
// swallows what fails. In a request that a termination signal stopped, the disconnect rolls
// the transaction back instead.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "db/ib_database.h"
#include "db/ib_query.h"
#include "db/ib_transaction.h"
#include "gateway/request_parser.h"

namespace xg {

class TSQLServiceSession {
 public:
  TSQLServiceSession() = default;
  ~TSQLServiceSession();
  TSQLServiceSession(const TSQLServiceSession&) = delete;
  TSQLServiceSession& operator=(const TSQLServiceSession&) = delete;

  // Parses the request, checks the database name against the configuration (a name it does not
  // allow raises EDatabaseError "Acesso ao banco de dados não permitido: <name>" before any
  // attach), creates and attaches the database on the road the configuration gives it, with
  // the configured connection character set, creates the transaction and the query and binds
  // them. Raises whatever fails; what was created so far stays for Finish.
  void Connect(const std::string& requestText);
  // Closes the query and gives it the request's decoded statement text.
  void LoadStatement();

  const TXMLParams& Params() const { return params_; }
  TIBDatabase& Database() { return *database_; }
  TIBTransaction& Transaction() { return *transaction_; }
  TIBQuery& Query() { return *query_; }
  std::vector<std::string>& CreateLines();

  // Raises a failure of the disconnect, after everything has been freed.
  void Finish();

 private:
  void FreeAll();

  TXMLParams params_;
  std::unique_ptr<TIBDatabase> database_;
  std::unique_ptr<TIBTransaction> transaction_;
  std::unique_ptr<TIBQuery> query_;
  std::unique_ptr<std::vector<std::string>> lines_;
};

}  // namespace xg
