// A Firebird server of a test's own, for faults that must not touch the shared server other
// tests use: it runs from a folder of its own (configuration, a copy of the security database,
// its own lock folder) and listens on a port of its own on 127.0.0.1, so a test can kill, stop or
// freeze it in the middle of a request. The SYSDBA password is the shared server's (the security
// database is copied from it), so Server() gives the credentials.
// Precondition: run as root (the security database and the server binary need it), with the
// Debian Firebird 3 packages installed.
#pragma once

#include <sys/types.h>

#include <string>

namespace xg::test {

class PrivateServer {
 public:
  // Prepares the folder and chooses a free port; does not start the server.
  PrivateServer();
  // Kills the server if it runs (continuing it first when frozen) and removes the folder.
  ~PrivateServer();
  PrivateServer(const PrivateServer&) = delete;
  PrivateServer& operator=(const PrivateServer&) = delete;

  // Starts the server and waits until its port accepts connections. Fails the test if it does
  // not come up.
  void Start();
  // Sends the signal to the server; SIGKILL and SIGTERM also wait until it has ended. A server
  // that has not ended kTermSeconds after SIGTERM (its shutdown waits on something) is killed.
  // Answers whether the server ended by the signal itself.
  bool Signal(int signal);
  static constexpr int kTermSeconds = 20;
  bool Running() const { return pid_ > 0; }

  int Port() const { return port_; }
  // The name a client attaches with: 127.0.0.1/PORT:path.
  std::string DatabaseName(const std::string& path) const;
  // A folder for the server's databases.
  const std::string& Folder() const { return folder_; }
  // The environment entry that makes a client library read this server's configuration, whose
  // connection time limit is a few seconds instead of the default three minutes.
  std::string ClientConfiguration() const { return "FIREBIRD=" + folder_; }
  static constexpr int kConnectionTimeoutSeconds = 3;

  // Runs SQL through isql-fb on the database of this server; returns the output.
  std::string Isql(const std::string& path, const std::string& sql) const;
  // Creates an empty dialect-3 database at the path, then runs the script on it.
  void CreateDatabase(const std::string& path, const std::string& script) const;
  // True while some statement of an attachment of the gateway program runs on the database.
  bool GatewayStatementRunning(const std::string& path) const;

 private:
  // Waits until the server has ended, at most `seconds` (0: without a bound); answers whether it
  // has.
  bool WaitUntilEnded(int seconds);

  std::string folder_;
  int port_ = 0;
  pid_t pid_ = -1;
};

}  // namespace xg::test
