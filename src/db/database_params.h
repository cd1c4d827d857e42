// The database parameter buffer sent with an attach: who attaches, with which connection
// character set, and the client library's configuration for this attachment alone.
#pragma once

#include <string>

namespace xg {

struct AttachParams {
  std::string user;
  std::string password;
  // The connection character set; empty sends none (the database's default applies).
  std::string charset;
  // Configuration text in the form of the client library's configuration file (for example
  // "Providers = Engine12"); empty sends none.
  std::string connection_config;
};

// The buffer: version byte 1, the user name, the password, the character set when there is one,
// then the configuration entry when there is one. Raises EIBClientError 122 naming the entry
// (user_name, password, lc_ctype, config) whose value does not fit its one length byte.
std::string BuildDatabaseParams(const AttachParams& params);

}  // namespace xg
