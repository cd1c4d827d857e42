// The command line: xmlgateway-client [OPTIONS] COMMAND [COMMAND OPTIONS] [SQL | -]
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "output_format.h"
#include "request.h"

namespace xg::client {

struct Options {
  bool help = false;
  std::string url;
  std::optional<Format> format;  // none given: a table on a terminal, else CSV
  long timeout_seconds = 300;
  bool latin1_input = false;
  Service service = Service::kStatus;
  std::string database;
  std::string user;
  std::optional<std::string> password_file;
  std::optional<std::string> sql_file;  // "-" for standard input
  std::optional<std::string> sql;       // the SQL text of the command line
};

// `arguments` without the program's name; `environment_url` is XMLGATEWAY_URL, or null. Raises
// ClientError (a usage error) for a command line that does not make a request.
Options ParseCommandLine(const std::vector<std::string>& arguments, const char* environment_url);

// The text of --help.
std::string UsageText();

}  // namespace xg::client
