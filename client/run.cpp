#include "run.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "answer_parser.h"
#include "client_error.h"
#include "http_transport.h"
#include "inputs.h"
#include "output_format.h"
#include "result.h"
#include "text_encoding.h"

namespace xg::client {
namespace {

constexpr char kProgram[] = "xmlgateway-client";

void WriteOutput(const std::string& text) {
  if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() || std::fflush(stdout) != 0)
    throw ClientError(ExitCode::kOutput,
                      std::string("cannot write the output: ") + std::strerror(errno));
}

// A message for standard error: the gateway's CR LF and lone CR line breaks become LF, every
// other control character is shown escaped as the table shows it, and the message ends with
// one LF.
std::string ForTerminal(const std::string& message) {
  std::string text;
  std::string line;
  for (size_t i = 0; i <= message.size(); ++i) {
    if (i < message.size() && message[i] != '\r' && message[i] != '\n') {
      line += message[i];
      continue;
    }
    text += Printable(line) + "\n";
    line.clear();
    if (i + 1 < message.size() && message[i] == '\r' && message[i + 1] == '\n') ++i;
  }
  while (text.size() > 1 && text[text.size() - 2] == '\n') text.pop_back();
  return text;
}

int Report(ExitCode code, const std::string& message) {
  const std::string text = std::string(kProgram) + ": " + ForTerminal(message);
  std::fwrite(text.data(), 1, text.size(), stderr);
  if (code == ExitCode::kUsage) std::fprintf(stderr, "Try '%s --help'.\n", kProgram);
  return static_cast<int>(code);
}

}  // namespace

Request MakeRequest(const Options& options) {
  Request request;
  request.service = options.service;
  if (options.service != Service::kOpenSql && options.service != Service::kExecSql) return request;
  const auto to_latin1 = [&](const std::string& text, std::string_view what) {
    return options.latin1_input ? text : Utf8ToLatin1(text, what);
  };
  request.database = to_latin1(options.database, "the database name");
  request.user = to_latin1(options.user, "the user name");
  request.sql = to_latin1(options.sql ? *options.sql : ReadWholeFile(*options.sql_file, "the SQL"),
                          "the SQL");
  request.password =
      to_latin1(options.password_file ? ReadPasswordFile(*options.password_file)
                                      : PromptPassword("Password for " + options.user + ": "),
                "the password");
  return request;
}

int Run(const std::vector<std::string>& arguments) {
  try {
    const Options options = ParseCommandLine(arguments, std::getenv("XMLGATEWAY_URL"));
    if (options.help) {
      WriteOutput(UsageText());
      return 0;
    }
    const Format format =
        options.format.value_or(::isatty(STDOUT_FILENO) ? Format::kTable : Format::kCsv);
    const Request request = MakeRequest(options);
    TransportOptions transport;
    transport.timeout_seconds = options.timeout_seconds;
    transport.user_agent = kProgram;
    const HttpAnswer http =
        PostForm(options.url, BuildFormBody(BuildRequestDocument(request)), transport);
    CheckHttpAnswer(http);
    if (format == Format::kRaw) WriteOutput(http.body);
    const ResultTable result = ReadResult(ParseAnswer(http.body), request.service);
    if (format != Format::kRaw) WriteOutput(FormatResult(result, format));
    return 0;
  } catch (const ClientError& error) {
    return Report(error.code(), error.what());
  } catch (const std::exception& error) {  // out of memory
    return Report(ExitCode::kOutput, error.what());
  }
}

}  // namespace xg::client
