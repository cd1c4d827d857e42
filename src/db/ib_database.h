// TIBDatabase: one attachment to a database. It builds the parameter buffer from its Params,
// attaches, learns the database's SQL dialect, and on disconnect ends the transactions that are
// still active on it (each by its DefaultAction) before it detaches. A database that is still
// connected when it is destroyed closes by force, so no attachment outlives its object.
#pragma once

#include <ibase.h>

#include <memory>
#include <string>
#include <vector>

namespace xg {

class IBClientLibrary;
class IBSQLClient;
class IBSchemaCache;
class TIBTransaction;

class TIBDatabase {
 public:
  // Loads the client library if needed (raises EIBClientError 1 when it cannot be loaded).
  TIBDatabase();
  ~TIBDatabase();
  TIBDatabase(const TIBDatabase&) = delete;
  TIBDatabase& operator=(const TIBDatabase&) = delete;

  const std::string& DatabaseName() const { return databaseName_; }
  // Both refused with EIBClientError 16 while connected.
  void SetDatabaseName(std::string name);
  const std::vector<std::string>& Params() const { return params_; }
  void SetParams(std::vector<std::string> params);
  void AddParam(std::string line);

  // Configuration text for this attachment alone, in the form of the client library's
  // configuration file (for example "Providers = Engine12"); sent after the Params entries.
  // Empty sends nothing.
  const std::string& ConnectionConfig() const { return connectionConfig_; }
  void SetConnectionConfig(std::string text);

  bool LoginPrompt() const { return loginPrompt_; }
  void SetLoginPrompt(bool value) { loginPrompt_ = value; }
  // The dialect statements are prepared and executed in; lowered at attach to the database's.
  int SQLDialect() const { return sqlDialect_; }
  void SetSQLDialect(int dialect) { sqlDialect_ = dialect; }
  // The dialect the database reported at attach; 3 before the first attach, 1 after a detach.
  int DBSQLDialect() const { return dbSQLDialect_; }

  bool Connected() const { return handle_ != 0; }
  // Attaching refuses, before the client library is called, a name longer than the library's
  // 16-bit length takes (EIBClientError 124): the library would cut it.
  void SetConnected(bool value);
  // Ends every active transaction by force, detaches ignoring failures; never raises.
  void ForceClose();

  isc_db_handle* Handle() { return &handle_; }

  // The transaction the database keeps for its own schema lookups.
  TIBTransaction& InternalTransaction() { return *internalTransaction_; }
  IBSchemaCache& SchemaCache() { return *schemaCache_; }

  // Registration, kept up to date by the transactions and statements themselves.
  void AddTransaction(TIBTransaction* transaction);
  void RemoveTransaction(TIBTransaction* transaction);
  void AddSQLObject(IBSQLClient* client);
  void RemoveSQLObject(IBSQLClient* client);

  // Raises the failure in the status vector. When it says the connection was lost (or, for
  // the database's own calls, that the network failed), the database first closes by force.
  [[noreturn]] void RaiseFailure(bool ownCall = false);
  void Check(ISC_STATUS result, bool ownCall = false) {
    if (result != 0) RaiseFailure(ownCall);
  }

 private:
  void Attach();
  void Disconnect();
  void ReadDatabaseDialect();
  void CheckNotConnected() const;

  const IBClientLibrary& client_;
  std::string databaseName_;
  std::vector<std::string> params_;
  bool paramsChanged_ = true;
  std::string connectionConfig_;
  std::string parameterBuffer_;
  bool loginPrompt_ = true;
  int sqlDialect_ = 3;
  int dbSQLDialect_ = 3;
  isc_db_handle handle_ = 0;
  std::vector<TIBTransaction*> transactions_;
  std::vector<IBSQLClient*> sqlObjects_;
  std::unique_ptr<TIBTransaction> internalTransaction_;
  std::unique_ptr<IBSchemaCache> schemaCache_;
};

}  // namespace xg
