#include "values/date_time.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <string_view>

#include "texts/ascii_text.h"

namespace xg {
namespace {

constexpr int64_t kMillisecondsPerDay = 86'400'000;
// The day number of 1899-12-30 (DateTime 0) counted from 0001-01-01 as day 1.
constexpr int64_t kDayNumberOfDateZero = 693'594;
// The formatter's output buffer; output beyond it is dropped.
constexpr std::size_t kOutputLimit = 256;

constexpr int kDaysInMonth[2][12] = {{31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31},
                                     {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31}};

bool IsLeapYear(int64_t year) {
  return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

// Year, month and day of a day number (day 1 = 0001-01-01) in the proleptic Gregorian
// calendar, through the 400-, 100-, 4- and 1-year cycles.
void DecodeDayNumber(int64_t day_number, DecodedDateTime& parts) {
  constexpr int64_t kDays400 = 146'097, kDays100 = 36'524, kDays4 = 1'461, kDays1 = 365;
  int64_t days = day_number - 1;
  int64_t year = 1 + days / kDays400 * 400;
  days %= kDays400;
  int64_t cycles = days / kDays100;
  days %= kDays100;
  if (cycles == 4) {  // the last day of a 400-year cycle
    cycles = 3;
    days += kDays100;
  }
  year += cycles * 100;
  year += days / kDays4 * 4;
  days %= kDays4;
  cycles = days / kDays1;
  days %= kDays1;
  if (cycles == 4) {  // the last day of a leap year
    cycles = 3;
    days += kDays1;
  }
  year += cycles;
  const int* month_lengths = kDaysInMonth[IsLeapYear(year) ? 1 : 0];
  int month = 0;
  while (days >= month_lengths[month]) days -= month_lengths[month++];
  parts.year = static_cast<int>(year);
  parts.month = month + 1;
  parts.day = static_cast<int>(days) + 1;
}

// ---- The formatter ----

bool IsQuote(char c) {
  return c == '"' || c == '\'';
}

bool BeginsTwelveHourMarker(std::string_view text) {
  return StartsWithIgnoringAsciiCase(text, "AM/PM") || StartsWithIgnoringAsciiCase(text, "A/P") ||
         StartsWithIgnoringAsciiCase(text, "AMPM");
}

// Whether an hour token is followed by a 12-hour marker: the first a or A outside quotes,
// before the next h or H, begins "am/pm", "a/p" or "ampm".
bool HourIsFollowedByMarker(std::string_view pattern, std::size_t pos) {
  bool inside_quotes = false;
  for (; pos < pattern.size(); ++pos) {
    char c = pattern[pos];
    if (IsQuote(c)) {
      inside_quotes = !inside_quotes;
      continue;
    }
    if (inside_quotes) continue;
    char upper = AsciiToUpper(c);
    if (upper == 'H') return false;
    if (upper == 'A') return BeginsTwelveHourMarker(pattern.substr(pos));
  }
  return false;
}

class DateTimeWriter {
 public:
  // Appends to `out`.
  DateTimeWriter(DateTime value, const RegionalSettings& settings, std::string& out)
      : value_(value), settings_(settings), out_(out), start_(out.size()) {}

  // The pattern given to the formatter, or one of the settings' patterns expanded into it: in a
  // nested pattern the tokens that refer to the settings' patterns write nothing.
  enum class Level { kGiven, kNested };

  void Write(std::string_view pattern, Level level) {
    PatternScan scan{pattern, level == Level::kNested, DecodeDateTime(value_)};
    std::size_t pos = 0;
    while (pos < pattern.size()) pos += WriteToken(scan, pos);
  }

 private:
  // One pattern on its way out, and what its earlier tokens left for the later ones.
  struct PatternScan {
    std::string_view pattern;
    bool nested;
    DecodedDateTime parts;
    char last_letter = 0;      // the last letter read, in upper case ("m" after an hour as N)
    bool twelve_hour = false;  // a 12-hour marker was written: later hours count to 12
  };

  // Writes the token that begins at `pos`; answers how many pattern characters it used.
  std::size_t WriteToken(PatternScan& scan, std::size_t pos) {
    const char token = ReadTokenLetter(scan, scan.pattern[pos]);
    const std::size_t count = RepeatCount(scan.pattern, pos);
    switch (token) {
      case 'Y':
      case 'M':
      case 'D':
      case 'E':
      case 'G':
        WriteDatePart(scan, token, count);
        return count;
      case 'H':
      case 'N':
      case 'S':
      case 'Z':
        WriteTimePart(scan, token, pos, count);
        return count;
      case 'T':
      case 'C':
        WriteSettingsPattern(scan, token, count);
        return count;
      case 'A':
        return WriteMarkerOrDayName(scan.pattern, pos, scan.parts, scan.twelve_hour);
      default:
        return WriteLiteral(scan.pattern, pos);
    }
  }

  // The token a pattern character stands for: the letter in upper case, and "m" right after an
  // hour token the minute N. Every letter becomes the last letter read.
  static char ReadTokenLetter(PatternScan& scan, char written) {
    char token = AsciiToUpper(written);
    if (IsAsciiLetter(written)) {
      if (token == 'M' && scan.last_letter == 'H') token = 'N';
      scan.last_letter = token;
    }
    return token;
  }

  // How many times the character at `pos` stands there in a row.
  static std::size_t RepeatCount(std::string_view pattern, std::size_t pos) {
    std::size_t count = 1;
    while (pos + count < pattern.size() && pattern[pos + count] == pattern[pos]) ++count;
    return count;
  }

  // Year, month, day and era tokens; five or six d's stand for one of the settings' patterns.
  void WriteDatePart(const PatternScan& scan, char token, std::size_t count) {
    const DecodedDateTime& parts = scan.parts;
    switch (token) {
      case 'Y':
        if (count <= 2) {
          PutNumber(parts.year % 100, 2);
        } else {
          PutNumber(parts.year, 4);
        }
        break;
      case 'M':
        if (count <= 2) {
          PutNumber(parts.month, count);
        } else {
          PutMonthName(count == 3 ? settings_.short_month_names : settings_.long_month_names,
                       parts);
        }
        break;
      case 'D':
        if (count <= 2) {
          PutNumber(parts.day, count);
        } else if (count <= 4) {
          PutDayName(count == 3 ? settings_.short_day_names : settings_.long_day_names, parts);
        } else {
          WriteSettingsPattern(scan, token, count);
        }
        break;
      case 'E':
        PutEraYear(parts.year, count);
        break;
      case 'G':
        // The era names of the Gregorian calendar are empty here.
        break;
    }
  }

  // Hour, minute, second and millisecond tokens. An hour counts to 12 once a 12-hour marker was
  // written, or when one follows it.
  void WriteTimePart(const PatternScan& scan, char token, std::size_t pos, std::size_t count) {
    const DecodedDateTime& parts = scan.parts;
    const std::size_t two_at_most = count >= 2 ? 2 : 1;
    switch (token) {
      case 'H':
        if (scan.twelve_hour || HourIsFollowedByMarker(scan.pattern, pos + count)) {
          PutNumber(parts.hour % 12 == 0 ? 12 : parts.hour % 12, two_at_most);
        } else {
          PutNumber(parts.hour, two_at_most);
        }
        break;
      case 'N':
        PutNumber(parts.minute, two_at_most);
        break;
      case 'S':
        PutNumber(parts.second, two_at_most);
        break;
      case 'Z':
        PutNumber(parts.millisecond, count >= 3 ? 3 : count);
        break;
    }
  }

  // The tokens that stand for the settings' patterns: "ddddd" (short date), "dddddd" (long
  // date), "t" (short time), "tt" (long time), "c" (short date, and the long time unless it is
  // midnight). Inside such a pattern they write nothing.
  void WriteSettingsPattern(const PatternScan& scan, char token, std::size_t count) {
    if (scan.nested) return;
    switch (token) {
      case 'D':
        Write(count == 5 ? settings_.short_date_pattern : settings_.long_date_pattern,
              Level::kNested);
        break;
      case 'T':
        Write(count == 1 ? settings_.short_time_pattern : settings_.long_time_pattern,
              Level::kNested);
        break;
      case 'C': {
        Write(settings_.short_date_pattern, Level::kNested);
        const DecodedDateTime& parts = scan.parts;
        if (parts.hour != 0 || parts.minute != 0 || parts.second != 0) {
          Put(' ');
          Write(settings_.long_time_pattern, Level::kNested);
        }
        break;
      }
    }
  }

  // The separators, a quoted text (to the closing quote of the same kind, or to the end), and
  // any other character as it is. Answers how many pattern characters were used.
  std::size_t WriteLiteral(std::string_view pattern, std::size_t pos) {
    const char written = pattern[pos];
    switch (written) {
      case '/':
        if (settings_.date_separator != '\0') Put(settings_.date_separator);
        return 1;
      case ':':
        if (settings_.time_separator != '\0') Put(settings_.time_separator);
        return 1;
      case '"':
      case '\'': {
        std::size_t end = pattern.find(written, pos + 1);
        if (end == std::string_view::npos) end = pattern.size();
        Put(pattern.substr(pos + 1, end - pos - 1));
        return end < pattern.size() ? end - pos + 1 : end - pos;
      }
      default:
        Put(written);
        return 1;
    }
  }

  void Put(char c) {
    if (out_.size() - start_ < kOutputLimit) out_ += c;
  }

  void Put(std::string_view text) {
    out_.append(text.substr(0, kOutputLimit - std::min(out_.size() - start_, kOutputLimit)));
  }

  void PutNumber(int64_t number, std::size_t min_digits) {
    std::string digits = std::to_string(number < 0 ? -number : number);
    if (number < 0) Put('-');
    if (digits.size() < min_digits) Put(std::string(min_digits - digits.size(), '0'));
    Put(digits);
  }

  // Dates before 0001-01-01 have month and weekday 0: their name tokens write nothing.
  void PutMonthName(const std::array<std::string, 12>& names, const DecodedDateTime& parts) {
    if (parts.month >= 1 && parts.month <= 12) Put(names[parts.month - 1]);
  }

  void PutDayName(const std::array<std::string, 7>& names, const DecodedDateTime& parts) {
    if (parts.day_of_week >= 1 && parts.day_of_week <= 7) Put(names[parts.day_of_week - 1]);
  }

  // The year within the era. The calendar here is the Gregorian one, whose single era counts
  // the years as they are: two digits up to a count of 2 (a leading zero dropped for count 1),
  // four beyond.
  void PutEraYear(int year, std::size_t count) {
    if (count > 2) {
      PutNumber(year, 4);
      return;
    }
    int two_digits = year % 100;
    PutNumber(two_digits, count == 1 ? 1 : 2);
  }

  // The tokens that begin with an a: "am/pm", "a/p", "ampm", "aaaa", "aaa", else the letter.
  // Answers how many pattern characters were used.
  std::size_t WriteMarkerOrDayName(std::string_view pattern, std::size_t pos,
                                   const DecodedDateTime& parts, bool& twelve_hour) {
    const bool before_noon = parts.hour < 12;
    const std::string_view rest = pattern.substr(pos);
    if (StartsWithIgnoringAsciiCase(rest, "AM/PM")) {
      Put(pattern.substr(before_noon ? pos : pos + 3, 2));
      twelve_hour = true;
      return 5;
    }
    if (StartsWithIgnoringAsciiCase(rest, "A/P")) {
      Put(pattern[before_noon ? pos : pos + 2]);
      twelve_hour = true;
      return 3;
    }
    if (StartsWithIgnoringAsciiCase(rest, "AMPM")) {
      Put(before_noon ? settings_.am_designator : settings_.pm_designator);
      twelve_hour = true;
      return 4;
    }
    if (StartsWithIgnoringAsciiCase(rest, "AAAA")) {
      PutDayName(settings_.long_day_names, parts);
      return 4;
    }
    if (StartsWithIgnoringAsciiCase(rest, "AAA")) {
      PutDayName(settings_.short_day_names, parts);
      return 3;
    }
    Put(pattern[pos]);
    return 1;
  }

  DateTime value_;
  const RegionalSettings& settings_;
  std::string& out_;
  const std::size_t start_;  // the size of the text before this writer's
};

}  // namespace

DecodedDateTime DecodeDateTime(DateTime value) {
  DecodedDateTime parts;
  double scaled = std::nearbyint(value * static_cast<double>(kMillisecondsPerDay));
  // Values beyond what 64-bit milliseconds hold (and NaN) have no calendar date or time.
  if (!(std::fabs(scaled) < 9.2e18)) return parts;
  int64_t total = static_cast<int64_t>(scaled);
  int64_t day_number = total / kMillisecondsPerDay + kDayNumberOfDateZero;
  int64_t time_of_day = (total < 0 ? -total : total) % kMillisecondsPerDay;
  parts.hour = static_cast<int>(time_of_day / 3'600'000);
  parts.minute = static_cast<int>(time_of_day / 60'000 % 60);
  parts.second = static_cast<int>(time_of_day / 1'000 % 60);
  parts.millisecond = static_cast<int>(time_of_day % 1'000);
  if (day_number > 0) {
    DecodeDayNumber(day_number, parts);
    parts.day_of_week = static_cast<int>(day_number % 7) + 1;
  }
  return parts;
}

DateTime EncodeDate(int year, int month, int day) {
  int64_t day_of_year = day;
  const int* month_lengths = kDaysInMonth[IsLeapYear(year) ? 1 : 0];
  for (int m = 1; m < month && m <= 12; ++m) day_of_year += month_lengths[m - 1];
  int64_t previous_years = static_cast<int64_t>(year) - 1;
  int64_t day_number = previous_years * 365 + previous_years / 4 - previous_years / 100 +
                       previous_years / 400 + day_of_year;
  return static_cast<DateTime>(day_number - kDayNumberOfDateZero);
}

DateTime EncodeTime(int hour, int minute, int second, int millisecond) {
  int64_t total = static_cast<int64_t>(hour) * 3'600'000 + static_cast<int64_t>(minute) * 60'000 +
                  static_cast<int64_t>(second) * 1'000 + millisecond;
  return static_cast<DateTime>(total) / static_cast<DateTime>(kMillisecondsPerDay);
}

std::string FormatDateTime(const std::string& pattern, DateTime value,
                           const RegionalSettings& settings) {
  std::string text;
  AppendFormattedDateTime(pattern, value, settings, text);
  return text;
}

void AppendFormattedDateTime(std::string_view pattern, DateTime value,
                             const RegionalSettings& settings, std::string& out) {
  DateTimeWriter writer(value, settings, out);
  writer.Write(pattern.empty() ? std::string_view("c") : pattern, DateTimeWriter::Level::kGiven);
}

std::string DateToStr(DateTime value, const RegionalSettings& settings) {
  return FormatDateTime(settings.short_date_pattern, value, settings);
}

std::string TimeToStr(DateTime value, const RegionalSettings& settings) {
  return FormatDateTime(settings.long_time_pattern, value, settings);
}

std::string DateTimeToStr(DateTime value, const RegionalSettings& settings) {
  return FormatDateTime("c", value, settings);
}

}  // namespace xg
