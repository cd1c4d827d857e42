// Date and time texts: TDateTime, its decoding into calendar parts, and the formatter that writes
// dates and times with the patterns and names of the regional settings.
#pragma once

#include <cstdint>
#include <string>

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

std::string FormatDateTime(const std::string& pattern, TDateTime value);
std::string DateToStr(TDateTime value);
std::string TimeToStr(TDateTime value);
std::string DateTimeToStr(TDateTime value);

}  // namespace xg
