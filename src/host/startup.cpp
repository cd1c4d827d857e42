#include "host/startup.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <string>
#include <vector>

#include "config/config_file.h"
#include "config/embedded_engine.h"
#include "gateway/xml_document.h"
#include "host/failure_page.h"
#include "host/standard_streams.h"
#include "process/failure.h"
#include "process/fatal_signals.h"
#include "process/module_address.h"
#include "process/runtime_errors.h"
#include "process/stop_signals.h"
#include "process/write_all.h"
#include "texts/format.h"
#include "texts/language_module.h"
#include "texts/resource_strings.h"
#include "values/locale_items.h"
#include "values/posix_locale_source.h"

namespace xg {
namespace {

// Confines the embedded engine to the configuration's "embedded" folders; a failure becomes the
// configuration's, which every request answers. A configuration that cannot be used confines
// nothing: no request reaches a database.
void ConfineEmbeddedEngineOf(LoadedGatewayConfig& config) {
  std::vector<std::string> patterns;
  try {
    patterns = config.Settings().embedded;
  } catch (const EConfigError&) {
    return;
  }
  try {
    ConfineEmbeddedEngine(patterns);
  } catch (const EConfigError& failure) {
    config.Fail(failure);
  }
}

XG_RESOURCE(SConfigLogIntoAnswer,
            "requests = %s is the program's standard output, which carries the answer (stderr "
            "reaches the web server's error log)");

// Whether the path names the file that the descriptor has open.
bool SameFile(const std::string& path, int fd) {
  struct stat named {};
  struct stat opened {};
  return ::stat(path.c_str(), &named) == 0 && ::fstat(fd, &opened) == 0 &&
         named.st_dev == opened.st_dev && named.st_ino == opened.st_ino;
}

// A CGI program's standard output is its answer: a request log file that is that same stream
// (/dev/stdout, /proc/self/fd/1, ...) would write its lines into the answer, before the header.
// Such a file is a configuration error naming the key, and nothing is logged there.
void RefuseLogIntoTheAnswer(LoadedGatewayConfig& config, ServingMode mode) {
  const RequestLogSettings& log = config.LogSettings();
  if (mode != ServingMode::kCgi || log.place != RequestLogPlace::kFile ||
      !SameFile(log.path, STDOUT_FILENO))
    return;
  config.RefuseLog(ConfigErrorAtLine(config.FileName(), log.line,
                                     Format(LoadResString(SConfigLogIntoAnswer), {log.path})));
}

}  // namespace

void ReportUnhandledFailure(const std::exception_ptr& failure) {
  const Exception* exception = AsException(failure);
  const std::string_view message = exception ? std::string_view(exception->Message()) : "";
  char text[1024];
  const size_t length =
      std::min(FormatUnhandledExceptionText(text, sizeof text, FailureClassName(failure),
                                            exception ? exception->Address() : 0, message),
               sizeof text);
  WriteAll(STDERR_FILENO, text, length);
}

Host Startup(Action action, ServingMode mode) {
  OpenMissingStandardStreams();
  InstallStopSignalHandlers();
  // A client that went away must not end the process: its writes simply fail.
  std::signal(SIGPIPE, SIG_IGN);
  InstallFaultHandlers();
  SetFaultReporter(&WriteFailurePageForFault);
  const PosixLocaleSource locale;
  LoadLanguageModule(ProgramPath(), locale.Item(kItemLanguageAbbrev).value_or(""));
  PrepareRunTimeErrors();
  RegionalSettings settings = ReadRegionalSettings(locale);
  LoadedGatewayConfig config(FileConfigSource());
  ConfineEmbeddedEngineOf(config);
  RefuseLogIntoTheAnswer(config, mode);
  PrepareXmlParser();
  RequestLog log(config.LogSettings(), mode);
  return Host(std::move(settings), action, mode, std::move(log), std::move(config));
}

}  // namespace xg
