// Fuzz target: the date-time formatter, pattern and value, under three regional settings.
//
// Input layout: byte 0 chooses the host (fuzz_locale.h: defaults, Brazilian, unusual), bytes 1
// to 8 are the DateTime (a double in the machine's byte order; missing bytes read as zero),
// the rest is the pattern. Checked for every input:
// - the text is at most 256 bytes long, and an empty pattern formats like "c";
// - characters that are no token (not a letter, quote, "/" or ":") are copied as written, and
//   a quoted run is copied without its quotes, both cut at 256 bytes;
// - the calendar parts of the value are in range, and for a date from 0001-01-01 on, encoding
//   the parts again gives back the value's milliseconds exactly.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "fuzz_check.h"
#include "fuzz_locale.h"
#include "values/date_time.h"

namespace {

using xg::fuzz::Visible;

constexpr size_t kOutputLimit = 256;
constexpr int64_t kMillisecondsPerDay = 86'400'000;

bool IsToken(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '\'' || c == '"' || c == '/' ||
         c == ':';
}

std::string Describe(const std::string& pattern, xg::DateTime value) {
  char number[64];
  std::snprintf(number, sizeof number, "%.17g", value);
  return "pattern " + Visible(pattern) + " value " + number;
}

void CheckLiterals(const std::string& pattern, xg::DateTime value,
                   const xg::RegionalSettings& settings) {
  std::string plain;
  for (char c : pattern)
    if (!IsToken(c)) plain += c;
  if (!plain.empty())
    XG_FUZZ_CHECK(xg::FormatDateTime(plain, value, settings) == plain.substr(0, kOutputLimit),
                  "literal characters changed: " + Describe(plain, value));

  std::string quoted;
  for (char c : pattern)
    if (c != '\'') quoted += c;
  XG_FUZZ_CHECK(
      xg::FormatDateTime("'" + quoted + "'", value, settings) == quoted.substr(0, kOutputLimit),
      "quoted run changed: " + Describe(quoted, value));
}

int DaysInMonth(int year, int month) {
  static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
  return month == 2 && leap ? 29 : kDays[month - 1];
}

void CheckCalendar(xg::DateTime value) {
  const xg::DecodedDateTime parts = xg::DecodeDateTime(value);
  const std::string what = Describe("", value);
  XG_FUZZ_CHECK(parts.hour >= 0 && parts.hour < 24 && parts.minute >= 0 && parts.minute < 60 &&
                    parts.second >= 0 && parts.second < 60 && parts.millisecond >= 0 &&
                    parts.millisecond < 1000,
                "time parts out of range: " + what);
  const double scaled = std::nearbyint(value * static_cast<double>(kMillisecondsPerDay));
  if (!(std::fabs(scaled) < 9.0e18)) return;  // no calendar date for such values
  const int64_t total = static_cast<int64_t>(scaled);
  const int64_t days = total / kMillisecondsPerDay;  // truncated toward zero
  if (days + 693'594 <= 0) {
    XG_FUZZ_CHECK(parts.year == 0 && parts.month == 0 && parts.day == 0 && parts.day_of_week == 0,
                  "a date before 0001-01-01 has parts: " + what);
    return;
  }
  XG_FUZZ_CHECK(parts.year >= 1 && parts.month >= 1 && parts.month <= 12 && parts.day >= 1 &&
                    parts.day <= DaysInMonth(parts.year, parts.month) && parts.day_of_week >= 1 &&
                    parts.day_of_week <= 7,
                "date parts out of range: " + what);
  const int64_t encodedDays =
      static_cast<int64_t>(xg::EncodeDate(parts.year, parts.month, parts.day));
  const int64_t timeOfDay = static_cast<int64_t>(parts.hour) * 3'600'000 + parts.minute * 60'000 +
                            parts.second * 1'000 + parts.millisecond;
  const int64_t encoded = encodedDays * kMillisecondsPerDay + (total < 0 ? -timeOfDay : timeOfDay);
  XG_FUZZ_CHECK(encoded == total, "parts do not encode back to the value: " + what);
  // 1899-12-30, day 0, was a Saturday (7); the week days follow on from it.
  const int64_t expectedDay = ((days % 7 + 7 + 6) % 7) + 1;
  XG_FUZZ_CHECK(parts.day_of_week == expectedDay, "day of the week: " + what);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const xg::RegionalSettings& settings = xg::fuzz::SettingsOf(xg::fuzz::HostOf(data[0]));
  unsigned char valueBytes[sizeof(double)] = {};
  const size_t valueSize = size - 1 < sizeof valueBytes ? size - 1 : sizeof valueBytes;
  std::memcpy(valueBytes, data + 1, valueSize);
  xg::DateTime value;
  std::memcpy(&value, valueBytes, sizeof value);
  const std::string pattern(reinterpret_cast<const char*>(data) + 1 + valueSize,
                            size - 1 - valueSize);

  const std::string text = xg::FormatDateTime(pattern, value, settings);
  XG_FUZZ_CHECK(text.size() <= kOutputLimit,
                "text longer than the limit: " + Describe(pattern, value));
  if (pattern.empty())
    XG_FUZZ_CHECK(text == xg::FormatDateTime("c", value, settings),
                  "empty pattern is not \"c\": " + Describe(pattern, value));
  CheckLiterals(pattern, value, settings);
  CheckCalendar(value);
  return 0;
}
