#include "host/http_date.h"

#include <string_view>

#include "runtime/ascii_text.h"
#include "runtime/format.h"

namespace xg {
namespace {

const char* const kDayNames[7] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
const char* const kMonthNames[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                     "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

bool IsLeapYear(int year) {
  return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

int DaysInMonth(int year, int month) {
  static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// Reads exactly `width` decimal digits at `at`.
bool ReadDigits(const std::string& text, size_t& at, size_t width, int& value) {
  value = 0;
  for (size_t i = 0; i < width; ++i, ++at) {
    if (at >= text.size() || text[at] < '0' || text[at] > '9') return false;
    value = value * 10 + (text[at] - '0');
  }
  return true;
}

bool Expect(const std::string& text, size_t& at, char c) {
  if (at >= text.size() || text[at] != c) return false;
  ++at;
  return true;
}

}  // namespace

std::optional<DateTime> ParseHttpDate(const std::string& text) {
  size_t at = 0;
  size_t comma = text.find(", ");
  if (comma != std::string::npos) {
    bool dayName = false;
    for (const char* name : kDayNames)
      dayName = dayName || (comma == 3 && StartsWithIgnoringAsciiCase(text, name));
    if (!dayName) return std::nullopt;
    at = comma + 2;
  }
  int day, month = 0, year, hour, minute, second;
  if (!ReadDigits(text, at, 2, day) || !Expect(text, at, ' ')) return std::nullopt;
  for (int m = 0; m < 12 && month == 0; ++m)
    if (StartsWithIgnoringAsciiCase(std::string_view(text).substr(at), kMonthNames[m]))
      month = m + 1;
  if (month == 0) return std::nullopt;
  at += 3;
  if (!Expect(text, at, ' ') || !ReadDigits(text, at, 4, year) || !Expect(text, at, ' ') ||
      !ReadDigits(text, at, 2, hour) || !Expect(text, at, ':') ||
      !ReadDigits(text, at, 2, minute) || !Expect(text, at, ':') ||
      !ReadDigits(text, at, 2, second) || text.compare(at, std::string::npos, " GMT") != 0)
    return std::nullopt;
  if (year < 1 || day < 1 || day > DaysInMonth(year, month) || hour > 23 || minute > 59 ||
      second > 59)
    return std::nullopt;
  return EncodeDate(year, month, day) + EncodeTime(hour, minute, second, 0);
}

std::string HttpDateText(DateTime value, const RegionalSettings& settings) {
  DecodedDateTime parts = DecodeDateTime(value);
  const std::string separator(1, settings.time_separator);
  const std::string dayName = parts.day_of_week >= 1 ? kDayNames[parts.day_of_week - 1] : "";
  const std::string monthName =
      parts.month >= 1 && parts.month <= 12 ? kMonthNames[parts.month - 1] : "";
  return Format("%s, %.2d %s %.4d %.2d%s%.2d%s%.2d GMT",
                {dayName, parts.day, monthName, parts.year, parts.hour, separator, parts.minute,
                 separator, parts.second});
}

}  // namespace xg
