#include "command_line.h"

#include <charconv>
#include <string_view>

#include "client_error.h"

namespace xg::client {
namespace {

[[noreturn]] void FailUsage(const std::string& message) {
  throw ClientError(ExitCode::kUsage, message);
}

std::optional<Service> CommandService(std::string_view command) {
  if (command == "status") return Service::kStatus;
  if (command == "error") return Service::kError;
  if (command == "query") return Service::kOpenSql;
  if (command == "exec") return Service::kExecSql;
  return std::nullopt;
}

Format ParseFormat(std::string_view name) {
  if (name == "table") return Format::kTable;
  if (name == "csv") return Format::kCsv;
  if (name == "json") return Format::kJson;
  if (name == "raw") return Format::kRaw;
  FailUsage("unknown --format " + std::string(name) + " (table, csv, json or raw)");
}

long ParseSeconds(std::string_view text) {
  long seconds = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), seconds);
  if (text.empty() || error != std::errc() || end != text.data() + text.size() || seconds < 0)
    FailUsage("--timeout wants a number of seconds, not \"" + std::string(text) + "\"");
  return seconds;
}

// The command line once the options are read: the command and the SQL.
struct CommandWords {
  std::vector<std::string> words;
  bool sql_options = false;  // --db, --user, --password-file or --sql-file given
};

// A request for help wins over anything else on the line (before "--").
bool AsksForHelp(const std::vector<std::string>& arguments) {
  for (const std::string& argument : arguments) {
    if (argument == "--") return false;
    if (argument == "--help" || argument == "-h") return true;
  }
  return false;
}

// Sets an option that takes a value; answers whether it is one of the SQL services' options.
bool SetValueOption(const std::string& name, const std::string& value, Options& options) {
  if (name == "--url") {
    options.url = value;
  } else if (name == "--format") {
    options.format = ParseFormat(value);
  } else if (name == "--timeout") {
    options.timeout_seconds = ParseSeconds(value);
  } else if (name == "--db") {
    options.database = value;
    return true;
  } else if (name == "--user") {
    options.user = value;
    return true;
  } else if (name == "--password-file") {
    options.password_file = value;
    return true;
  } else if (name == "--sql-file") {
    options.sql_file = value;
    return true;
  } else {
    FailUsage("unknown option " + name);
  }
  return false;
}

// Reads the options, in the order given, into `options`; answers the words between them.
CommandWords ReadArguments(const std::vector<std::string>& arguments, Options& options) {
  CommandWords line;
  bool options_ended = false;
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (options_ended || argument == "-" || !argument.starts_with("-")) {
      line.words.push_back(argument);
      continue;
    }
    if (argument == "--") {
      options_ended = true;
      continue;
    }
    if (argument == "--latin1-input") {
      options.latin1_input = true;
      continue;
    }
    // The options with a value: "--name value" or "--name=value".
    const size_t equals = argument.find('=');
    const std::string name = argument.substr(0, equals);
    std::string value;
    if (equals != std::string::npos) {
      value = argument.substr(equals + 1);
    } else if (i + 1 < arguments.size()) {
      value = arguments[++i];
    } else {
      FailUsage(name + " wants a value");
    }
    if (SetValueOption(name, value, options)) line.sql_options = true;
  }
  return line;
}

Service ReadCommand(const CommandWords& line) {
  if (line.words.empty()) FailUsage("no command: status, error, query or exec");
  const std::optional<Service> service = CommandService(line.words[0]);
  if (!service) FailUsage("unknown command " + line.words[0] + ": status, error, query or exec");
  return *service;
}

bool IsSqlService(Service service) {
  return service == Service::kOpenSql || service == Service::kExecSql;
}

// The probes take nothing but their command.
void CheckProbeWords(const CommandWords& line) {
  if (line.sql_options || line.words.size() > 1)
    FailUsage(line.words[0] + " takes no database, user, password or SQL");
}

// A query or statement: its database and user, and its SQL from the command line ("-":
// standard input) or from --sql-file, not both.
void ReadSqlRequest(const CommandWords& line, Options& options) {
  const std::string& command = line.words[0];
  if (options.database.empty()) FailUsage(command + " wants --db DATABASE");
  if (options.user.empty()) FailUsage(command + " wants --user USER");
  if (line.words.size() > 2) FailUsage(command + " takes one SQL text (quote it)");
  if (line.words.size() == 2) {
    if (options.sql_file) FailUsage("SQL both from --sql-file and from the command line");
    if (line.words[1] == "-") {
      options.sql_file = "-";
    } else {
      options.sql = line.words[1];
    }
  }
  if (!options.sql && !options.sql_file)
    FailUsage(command + " wants the SQL: a text, --sql-file FILE, or - for standard input");
}

}  // namespace

Options ParseCommandLine(const std::vector<std::string>& arguments, const char* environment_url) {
  Options options;
  if (AsksForHelp(arguments)) {
    options.help = true;
    return options;
  }
  if (environment_url) options.url = environment_url;
  const CommandWords line = ReadArguments(arguments, options);
  options.service = ReadCommand(line);
  if (options.url.empty()) FailUsage("no --url (nor XMLGATEWAY_URL) names the gateway");
  if (IsSqlService(options.service)) {
    ReadSqlRequest(line, options);
  } else {
    CheckProbeWords(line);
  }
  return options;
}

std::string UsageText() {
  return R"(Usage: xmlgateway-client [OPTIONS] COMMAND [COMMAND OPTIONS] [SQL | -]

Talks to an xmlgateway over HTTP: builds the request, posts it, checks the answer and
prints it.

Commands:
  status                 the status probe: the gateway's clock, your user agent, and how
                         it writes each kind of value
  error                  the error probe: the gateway answers an ERROR document, so this
                         ends with exit code 5 and the document's message
  query --db DATABASE --user USER [--password-file FILE] SQL
                         runs a SELECT and prints its rows
  exec  --db DATABASE --user USER [--password-file FILE] SQL
                         executes and commits a statement that returns no rows

  The SQL is the last argument, or comes from --sql-file FILE, or from standard input
  when the argument is "-". Without --password-file the password is asked for on the
  terminal. DATABASE is the name the gateway's database client takes: a file path for
  the embedded engine, host:/path for a server.

Options:
  --url URL              the gateway, e.g. http://127.0.0.1:8080/cgi-bin/xmlgateway
                         (default: the environment variable XMLGATEWAY_URL)
  --format FORMAT        table (the default when standard output is a terminal), csv
                         (the default otherwise), json (one object per row, the values'
                         texts as strings) or raw (the answer document's bytes, ISO-8859-1)
  --timeout SECONDS      give up on an exchange that takes longer (default 300; 0: never)
  --latin1-input         arguments, files and standard input are ISO-8859-1 already
                         (default: UTF-8, converted to ISO-8859-1 for the gateway)
  --password-file FILE   the password is the first line of FILE
  --sql-file FILE        the SQL is the content of FILE ("-": standard input)
  -h, --help             this text

Output is UTF-8; the gateway's message goes to standard error when it reports a failure.

Exit codes:
  0  success
  1  the output could not be written, or memory ran out
  2  usage: a bad command line, an unreadable file, a character ISO-8859-1 lacks
  3  transport: bad URL, no connection, time-out, connection lost
  4  answer: HTTP status other than 200 and 500, a cut answer (fewer bytes than its
     Content-Length), or a body that is no gateway answer
  5  server: the gateway reports a failure (an ERROR document, a query or statement that
     failed, a failure page with HTTP status 500)
)";
}

}  // namespace xg::client
