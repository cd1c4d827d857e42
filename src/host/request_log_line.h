// One line of the request log, in logfmt: blank-separated key=value pairs, in a fixed order.
//
//   time=2026-12-11T02:31:05.123Z client=10.0.0.7 mode=cgi service=SERVICEOPENSQL db=/srv/a.fdb
//   user=SYSDBA outcome=ok message="" rows=3 bytes=812 ms=12.345 db_ms=10.002 reused=no
//
// time is when the request arrived (UTC, milliseconds); outcome is "ok" or the kind of the
// document that reported a failure (ERROR, OPENSQL, EXECSQL, or "page" for the server failure
// page), and message the first line of that document's message; rows the rows a query
// answered; bytes the answer's content; ms the time from the request's arrival until its answer
// was ready to go out (the line is written then) and db_ms the part of it spent in database calls,
// in milliseconds with three decimals; reused whether the attachment was kept from an earlier
// request. With the statement wanted, sql (the decoded text) and sql_bytes (its whole length)
// follow. The password is never in a line: nothing here receives it.
//
// A value is written bare unless it is empty or holds a blank, '"', '=', '\' or a control
// character; then it is quoted, with '"' and '\' escaped by a '\', line feed, carriage return and
// tab as \n, \r and \t, and every other control character (ISO-8859-1's C0 and C1 ranges and
// DEL) as \xHH. Texts are ISO-8859-1 and are written in UTF-8. Every text value is cut at
// 1024 bytes before it is escaped.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

#include "gateway/request_summary.h"

namespace xg {

enum class ServingMode { kCgi, kFastCgi };

// The outcome name of the server failure page, which has no document element of its own.
inline constexpr std::string_view kFailurePageOutcome = "page";

// The longest text value of a line, in bytes before escaping.
inline constexpr size_t kLogValueLimit = 1024;

struct RequestLogFields {
  std::chrono::system_clock::time_point time;
  std::string client;
  ServingMode mode = ServingMode::kCgi;
  RequestSummary summary;
  int64_t answer_bytes = 0;
  int64_t total_microseconds = 0;
};

// Appends the value as the line writes it: bare or quoted and escaped, cut at kLogValueLimit.
void AppendLogValue(std::string_view value, std::string& line);

// The line, ending with a line feed; `sql` (the decoded statement) is written when given.
std::string FormatRequestLogLine(const RequestLogFields& fields, const std::string* sql);

}  // namespace xg
