// Which database a client may reach, and by which road. The operator lists, in xmlgateway.conf,
// the names a client may send ("allow") and the databases the embedded engine opens inside the
// gateway ("embedded"); every other name without a host goes to the Firebird server on this host,
// which checks the password. The embedded engine checks none.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "config/gateway_config.h"

namespace xg {

enum class DatabaseRoute {
  kRefused,      // not allowed: never attached
  kRemote,       // the name carries a host: the server there
  kEmbedded,     // no host, listed under embedded: the engine inside the gateway
  kLocalServer,  // no host, not listed under embedded: the server on this host
};

// Whether the client library takes the name as "host:path" or a protocol URL ("inet://...").
// A ":" anywhere after the first byte names a host, as the library reads it on this system.
bool NameHasHost(std::string_view name);

// The file a name without a host stands for: realpath() when the file is there; otherwise the
// name with "." and ".." components and repeated "/" removed by their text alone.
std::string ResolvedDatabasePath(const std::string& name);

// Whether any of the shell glob patterns matches the text ("*" matches "/" too).
bool MatchesAnyPattern(const std::vector<std::string>& patterns, const std::string& text);

// The road of a database name:
// - refused when "allow" does not match the name as sent, when the name holds a NUL byte, or,
//   for a name without a host, when "allow" does not match the file it resolves to; for a name
//   with a host, when it holds a "." or ".." component (between "/", "\\" or ":");
// - kRemote for a name with a host;
// - kEmbedded when the name resolves by realpath() to a file that "embedded" matches;
// - kLocalServer otherwise.
// `attach_name`, when given, receives the name to attach by: for a name without a host the file
// it was checked as (resolved once, so that a link changed meanwhile cannot lead elsewhere), else
// the name as sent.
DatabaseRoute ChooseDatabaseRoute(const GatewayConfig& config, const std::string& name,
                                  std::string* attach_name = nullptr);

}  // namespace xg
