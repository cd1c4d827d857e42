#include "host/request_log_line.h"

#include <time.h>

#include <cinttypes>
#include <cstdio>

namespace xg {
namespace {

bool IsControl(unsigned char c) {
  return c < 0x20 || c == 0x7F || (c >= 0x80 && c < 0xA0);
}

bool NeedsQuotes(std::string_view value) {
  if (value.empty()) return true;
  for (const char c : value) {
    if (c == ' ' || c == '"' || c == '=' || c == '\\' || IsControl(static_cast<unsigned char>(c)))
      return true;
  }
  return false;
}

void AppendEscaped(unsigned char c, std::string& line) {
  static const char kHex[] = "0123456789abcdef";
  switch (c) {
    case '"':
      line += "\\\"";
      return;
    case '\\':
      line += "\\\\";
      return;
    case '\n':
      line += "\\n";
      return;
    case '\r':
      line += "\\r";
      return;
    case '\t':
      line += "\\t";
      return;
    default:
      break;
  }
  if (IsControl(c)) {
    line += "\\x";
    line += kHex[c >> 4];
    line += kHex[c & 15];
  } else if (c >= 0x80) {
    // ISO-8859-1 is the first block of Unicode: two bytes of UTF-8.
    line += static_cast<char>(0xC0 | (c >> 6));
    line += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    line += static_cast<char>(c);
  }
}

void AppendKey(std::string_view key, std::string& line) {
  if (!line.empty()) line += ' ';
  line += key;
  line += '=';
}

void AppendText(std::string_view key, std::string_view value, std::string& line) {
  AppendKey(key, line);
  AppendLogValue(value, line);
}

void AppendNumber(std::string_view key, int64_t value, std::string& line) {
  AppendKey(key, line);
  line += std::to_string(value);
}

// Milliseconds with three decimals.
void AppendMilliseconds(std::string_view key, int64_t microseconds, std::string& line) {
  char text[32];
  std::snprintf(text, sizeof text, "%" PRId64 ".%03" PRId64, microseconds / 1000,
                microseconds % 1000);
  AppendKey(key, line);
  line += text;
}

// RFC 3339 in UTC with milliseconds.
void AppendTime(std::chrono::system_clock::time_point time, std::string& line) {
  const auto since_epoch =
      std::chrono::duration_cast<std::chrono::milliseconds>(time.time_since_epoch()).count();
  const time_t seconds = static_cast<time_t>(since_epoch / 1000);
  tm parts{};
  gmtime_r(&seconds, &parts);
  char text[48];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", parts.tm_year + 1900,
                parts.tm_mon + 1, parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec,
                static_cast<int>(since_epoch % 1000));
  AppendKey("time", line);
  line += text;
}

std::string_view FirstLine(std::string_view text) {
  return text.substr(0, text.find_first_of("\r\n"));
}

}  // namespace

void AppendLogValue(std::string_view value, std::string& line) {
  value = value.substr(0, kLogValueLimit);
  if (!NeedsQuotes(value)) {
    for (const char c : value) AppendEscaped(static_cast<unsigned char>(c), line);
    return;
  }
  line += '"';
  for (const char c : value) AppendEscaped(static_cast<unsigned char>(c), line);
  line += '"';
}

std::string FormatRequestLogLine(const RequestLogFields& fields, const std::string* sql) {
  const RequestSummary& summary = fields.summary;
  std::string line;
  AppendTime(fields.time, line);
  AppendText("client", fields.client, line);
  AppendText("mode", fields.mode == ServingMode::kCgi ? "cgi" : "fastcgi", line);
  AppendText("service", summary.service, line);
  AppendText("db", summary.database, line);
  AppendText("user", summary.user, line);
  AppendText("outcome", summary.failure_document.empty() ? "ok" : summary.failure_document, line);
  AppendText("message", FirstLine(summary.message), line);
  AppendNumber("rows", summary.result.rows, line);
  AppendNumber("bytes", fields.answer_bytes, line);
  AppendMilliseconds("ms", fields.total_microseconds, line);
  AppendMilliseconds("db_ms", summary.result.database_microseconds, line);
  AppendText("reused", summary.result.attachment_reused ? "yes" : "no", line);
  if (sql) {
    AppendText("sql", *sql, line);
    AppendNumber("sql_bytes", static_cast<int64_t>(sql->size()), line);
  }
  line += '\n';
  return line;
}

}  // namespace xg
