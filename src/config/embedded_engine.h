// The embedded engine's own configuration. The client library reads its engine settings from the
// folder that the FIREBIRD variable names when it loads; the gateway points it at a folder of its
// own, in which the engine opens databases only in the folders of the "embedded" patterns
// (DatabaseAccess), opens no external files and loads no UDF, reaches no other server from a
// statement (Providers), reads no alias (an empty databases.conf), and shares a database with the
// other processes (ServerMode SuperClassic); everything else comes from the installation's file.
// Without it a statement on a listed database could open any file the gateway's user can read or
// write ("execute statement ... on external data source", "create shadow"), since the embedded
// engine checks no password.
//
// The folder is named for its content and made once: later processes with the same settings find
// it and use it after checking that it is the gateway user's own and closed to every other user.
// When another user holds that name (anyone can make it first in /tmp), the process makes a folder
// of its own under an unforeseeable name instead, and removes it when it exits.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "config/gateway_config.h"

namespace xg {

// The folder an "embedded" pattern confines the engine to: everything before its last "/".
// Nothing, with the reason in `why`, for a pattern that is not an absolute path, whose folder holds
// a wildcard ("*", "?", "[") or an escape, or a byte the engine configuration cannot carry.
std::optional<std::string> EmbeddedPatternFolder(const std::string& pattern, std::string* why);

// The engine settings (firebird.conf) for the "embedded" patterns, followed by an include of
// `included_settings` when that is not empty.
std::string EmbeddedEngineSettings(const std::vector<std::string>& patterns,
                                   const std::string& included_settings);

struct EngineFolder {
  std::string path;
  // Made for this process alone, since another user holds the shared name: the process removes
  // it when done.
  bool private_to_process = false;
};

// Makes (or finds) the engine folder for the patterns and the included settings under `parent`,
// taking the character set module from the installed engine folder `installed_root`. On the way
// it removes the unfinished folders that this user's killed processes left there more than a
// minute ago. Raises EConfigError naming the folder when it cannot be made, or when the parent is
// open to other users.
EngineFolder PrepareEmbeddedEngineFolder(const std::vector<std::string>& patterns,
                                         const std::string& included_settings,
                                         const std::string& parent,
                                         const std::string& installed_root);

// At process start, before the client library loads: for the "embedded" patterns of a
// configuration that lists embedded databases, prepares the folder next to the engine's lock
// files (FIREBIRD_LOCK; else /tmp) and sets FIREBIRD to it. The folder's settings include, after
// their own, the firebird.conf that the client library would have read (that of the FIREBIRD the
// process got, else the installed one), for every setting they do not make. Raises EConfigError
// when the folder cannot be prepared (the program makes it the configuration's failure, which
// every request answers). No patterns: does nothing.
void ConfineEmbeddedEngine(const std::vector<std::string>& patterns);

}  // namespace xg
