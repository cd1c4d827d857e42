// Fuzz target: the operator's xmlgateway.conf.
//
// The input is the file's text. Checked for every input:
// - reading it either gives settings or raises EConfigError, whose message names the file and,
//   where it names a line, a line the text has;
// - settings it gives are within the documented ranges, and the same settings written back as a
//   file of their own read back equal (so no pattern, character set or number is read
//   differently from how it was meant).
#include <cstddef>
#include <cstdint>
#include <string>

#include "config/config_file.h"
#include "config/gateway_config.h"
#include "fuzz_check.h"

namespace {

using xg::fuzz::Visible;

constexpr char kFileName[] = "fuzz.conf";

bool SameSettings(const xg::GatewayConfig& a, const xg::GatewayConfig& b) {
  return a.allow == b.allow && a.embedded == b.embedded && a.charset == b.charset &&
         a.max_request_bytes == b.max_request_bytes && a.max_answer_bytes == b.max_answer_bytes &&
         a.spool_memory_bytes == b.spool_memory_bytes && a.pool_attachments == b.pool_attachments &&
         a.pool_idle_seconds == b.pool_idle_seconds &&
         a.pool_max_age_seconds == b.pool_max_age_seconds &&
         a.pool_max_per_process == b.pool_max_per_process;
}

std::string Joined(const std::vector<std::string>& words) {
  std::string text;
  for (const std::string& word : words) text += (text.empty() ? "" : " ") + word;
  return text;
}

// The settings as a file. The pattern lists follow "=" without a blank: a first pattern that
// starts with "#" is read as a pattern only there (after a blank, "#" starts a comment).
std::string AsFile(const xg::GatewayConfig& config) {
  return "[databases]\nallow =" + Joined(config.allow) + "\nembedded =" + Joined(config.embedded) +
         "\ncharset = " + config.charset +
         "\n[limits]\nmax-request-bytes = " + std::to_string(config.max_request_bytes) +
         "\nmax-answer-bytes = " + std::to_string(config.max_answer_bytes) +
         "\nspool-memory-bytes = " + std::to_string(config.spool_memory_bytes) +
         "\n[pool]\nattachments = " + (config.pool_attachments ? "on" : "off") +
         "\nidle-seconds = " + std::to_string(config.pool_idle_seconds) +
         "\nmax-age-seconds = " + std::to_string(config.pool_max_age_seconds) +
         "\nmax-per-process = " + std::to_string(config.pool_max_per_process) + "\n";
}

// Lines as the reader counts them: every LF ends one, and a last line may have none.
int64_t LineCount(const std::string& text) {
  int64_t lines = 1;
  for (char c : text) lines += c == '\n';
  return lines;
}

void CheckFailure(const std::string& input, const std::string& message) {
  const std::string head = std::string("Error in configuration file ") + kFileName + ", line ";
  XG_FUZZ_CHECK(message.compare(0, head.size(), head) == 0,
                "message " + Visible(message) + " for " + Visible(input));
  const int64_t line = std::strtoll(message.c_str() + head.size(), nullptr, 10);
  XG_FUZZ_CHECK(line >= 1 && line <= LineCount(input),
                "line " + std::to_string(line) + " named for " + Visible(input));
}

void CheckSettings(const std::string& input, const xg::GatewayConfig& config) {
  XG_FUZZ_CHECK(config.max_request_bytes >= 0 && config.max_request_bytes <= 2147483647,
                "max-request-bytes " + std::to_string(config.max_request_bytes));
  XG_FUZZ_CHECK(config.spool_memory_bytes >= 0 && config.spool_memory_bytes <= (int64_t{1} << 30),
                "spool-memory-bytes " + std::to_string(config.spool_memory_bytes));
  XG_FUZZ_CHECK(config.max_answer_bytes >= 0,
                "max-answer-bytes " + std::to_string(config.max_answer_bytes));
  XG_FUZZ_CHECK(config.pool_idle_seconds >= 0 && config.pool_max_age_seconds >= 0 &&
                    config.pool_max_per_process >= 0,
                "a negative pool setting from " + Visible(input));
  for (const auto* patterns : {&config.allow, &config.embedded}) {
    for (const std::string& pattern : *patterns) {
      XG_FUZZ_CHECK(!pattern.empty() && pattern.find_first_of(" \t\r\n") == std::string::npos,
                    "pattern " + Visible(pattern) + " from " + Visible(input));
    }
  }
  const std::string written = AsFile(config);
  xg::GatewayConfig again;
  try {
    again = xg::ParseGatewayConfig(written, kFileName);
  } catch (const xg::EConfigError& e) {
    XG_FUZZ_CHECK(false, "settings of " + Visible(input) + " written as " + Visible(written) +
                             " are refused: " + e.Message());
  }
  XG_FUZZ_CHECK(SameSettings(config, again), "settings of " + Visible(input) +
                                                 " read back differently from " + Visible(written));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  try {
    CheckSettings(input, xg::ParseGatewayConfig(input, kFileName));
  } catch (const xg::EConfigError& e) {
    CheckFailure(input, e.Message());
  }
  return 0;
}
