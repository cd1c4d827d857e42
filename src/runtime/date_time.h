// Date and time texts: TDateTime, its decoding into calendar parts, and the formatter that writes
// dates and times with the patterns and names of the regional settings.
#pragma once

#include <cstdint>
#include <string>

#include "runtime/regional_settings.h"

namespace xg {

// Days since 1899-12-30; the fraction is the time of day.
using TDateTime = double;

struct DecodedDateTime {
  int Year = 0, Month = 0, Day = 0;
  int Hour = 0, Minute = 0, Second = 0, Millisecond = 0;
  int DayOfWeek = 0;  // 1 = Sunday ... 7 = Saturday; 0 for day numbers of 0 or less
};

DecodedDateTime DecodeDateTime(TDateTime value);
// Exact encodings from calendar parts (no validation beyond the calendar).
TDateTime EncodeDate(int year, int month, int day);
TDateTime EncodeTime(int hour, int minute, int second, int millisecond);

// The value written by the pattern (an empty pattern is "c"), with the patterns, separators,
// designators and names of the settings.
std::string FormatDateTime(const std::string& pattern, TDateTime value,
                           const RegionalSettings& settings);
// The short date pattern, the long time pattern, and "c" (the date, and the time unless it is
// midnight to the second).
std::string DateToStr(TDateTime value, const RegionalSettings& settings);
std::string TimeToStr(TDateTime value, const RegionalSettings& settings);
std::string DateTimeToStr(TDateTime value, const RegionalSettings& settings);

}  // namespace xg
