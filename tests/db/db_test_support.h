// What the database tests share: scratch databases on the embedded engine (the demo database,
// a dialect-1 database, any script), and the connection data of the server.
#pragma once

#include <string>

namespace xg::test {

// A directory of its own for this test run, created at first use.
const std::string& ScratchDirectory();

// The gateway configuration of the database tests: the files of the scratch directory are
// opened by the embedded engine; every other name without a host goes to the server. As text,
// and as a file for the program run as a child process (its path for XMLGATEWAY_CONF).
std::string EmbeddedScratchConfig();
const std::string& EmbeddedScratchConfigFile();

// Runs SQL through isql-fb against the database (embedded when the name has no host);
// returns its output. Fails the test when isql-fb fails.
std::string RunIsql(const std::string& database, const std::string& sql);

// A new dialect-3 database created from the demo script, at a fresh path of the scratch
// directory.
std::string CreateDemoDatabase();
// A new empty database of the dialect, then the script run on it.
std::string CreateDatabase(int dialect, const std::string& script);

// The server's connection data, from XG_FB_SERVER_HOST, XG_FB_SERVER_USER and
// XG_FB_SERVER_PASSWORD. A test that needs the server fails with a clear message when they are
// not set.
struct ServerAccess {
  std::string host;
  std::string user;
  std::string password;
};
bool ServerConfigured();
ServerAccess Server();
// A database file the server process can open: created here, handed to the server's user.
std::string ServerDatabaseName(const std::string& path);
void GiveToServer(const std::string& path);

}  // namespace xg::test
