// Reading the host's strftime patterns (as the POSIX locale gives them) for the regional
// settings: the date patterns in the system's own pattern letters, the field separator and the
// kind of clock a time pattern uses. Patterns are bytes in the locale's code set; letters and
// bytes outside ASCII are never taken for directives or separators.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace xg {

// The locale's own patterns that the directives %x, %X, %r and %c stand for.
struct StrftimeLocalePatterns {
  std::string date;          // D_FMT
  std::string time;          // T_FMT
  std::string time_12_hour;  // T_FMT_AMPM; "%I:%M:%S %p" when empty
  std::string date_time;     // D_T_FMT
};

// The pattern in the system's letters: %d -> dd, %m -> MM, %Y -> yyyy, %y -> yy, %e -> d,
// %b -> MMM, %B -> MMMM, %a -> ddd, %A -> dddd, the time directives as hh, nn, ss and AMPM;
// literal letters are quoted, other literal characters are copied ("/" stays "/"); directives
// without an equivalent write nothing.
std::string TranslateStrftimeDate(std::string_view pattern, const StrftimeLocalePatterns& locale);

// A long date pattern: the date part of D_T_FMT (its time directives and the separators they
// leave behind removed), or D_FMT when D_T_FMT has no date field; empty when neither has one.
std::string TranslateStrftimeLongDate(const StrftimeLocalePatterns& locale);

// The first punctuation character among the pattern's literal characters.
std::optional<char> StrftimeSeparator(std::string_view pattern,
                                      const StrftimeLocalePatterns& locale);

// The clock of the first hour directive: %H two-digit 24-hour, %k 24-hour, %I two-digit
// 12-hour, %l 12-hour (a "-" or "_" flag drops the leading zero), and whether %p comes first.
struct StrftimeClock {
  bool leading_zero = false;
  bool twelve_hour = false;
  bool marker_first = false;
};
std::optional<StrftimeClock> StrftimeHourClock(std::string_view pattern,
                                               const StrftimeLocalePatterns& locale);

}  // namespace xg
