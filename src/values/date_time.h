// Date and time texts: DateTime, its decoding into calendar parts, and the formatter that writes
// dates and times with the patterns and names of the regional settings.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "values/regional_settings.h"

namespace xg {

// Days since 1899-12-30; the fraction is the time of day.
using DateTime = double;

struct DecodedDateTime {
  int year = 0, month = 0, day = 0;
  int hour = 0, minute = 0, second = 0, millisecond = 0;
  int day_of_week = 0;  // 1 = Sunday ... 7 = Saturday; 0 for day numbers of 0 or less
};

DecodedDateTime DecodeDateTime(DateTime value);
// Exact encodings from calendar parts (no validation beyond the calendar).
DateTime EncodeDate(int year, int month, int day);
DateTime EncodeTime(int hour, int minute, int second, int millisecond);

// The value written by the pattern (an empty pattern is "c"), with the patterns, separators,
// designators and names of the settings.
std::string FormatDateTime(const std::string& pattern, DateTime value,
                           const RegionalSettings& settings);
// The same text appended to `out`.
void AppendFormattedDateTime(std::string_view pattern, DateTime value,
                             const RegionalSettings& settings, std::string& out);
// The short date pattern, the long time pattern, and "c" (the date, and the time unless it is
// midnight to the second).
std::string DateToStr(DateTime value, const RegionalSettings& settings);
std::string TimeToStr(DateTime value, const RegionalSettings& settings);
std::string DateTimeToStr(DateTime value, const RegionalSettings& settings);

}  // namespace xg
