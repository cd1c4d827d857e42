#include "values/strftime_pattern.h"

#include <gtest/gtest.h>

namespace xg {
namespace {

const StrftimeLocalePatterns kLocale{"%d.%m.%Y", "%H.%M", "", "%a %d %b %Y %T"};

TEST(StrftimePattern, DatePatternsBecomeTheSystemsPatternLetters) {
  struct Case {
    const char* strftime;
    const char* expected;
  };
  const Case cases[] = {
      {"%d/%m/%Y", "dd/MM/yyyy"},
      {"%m/%d/%y", "MM/dd/yy"},
      {"%D", "MM/dd/yy"},
      {"%F", "yyyy-MM-dd"},
      {"%x", "dd.MM.yyyy"},
      {"%e %b %Y", "d MMM yyyy"},
      {"%h", "MMM"},
      {"%A, %d de %B de %Y", "dddd, dd 'de' MMMM 'de' yyyy"},
      {"%-d/%-m/%Y", "d/M/yyyy"},
      {"%Od.%Em.%4Y", "dd.MM.yyyy"},
      {"%a %T", "ddd hh:nn:ss"},
      {"%l:%M %p", "h:nn AMPM"},
      // Literal quote characters are quoted with the other kind.
      {"%d'%m\"%y", "dd\"'\"MM'\"'yy"},
      // Directives without an equivalent write nothing; %% is a percent sign.
      {"%d %Z%j %%", "dd  %"},
      // Bytes outside ASCII are copied as they stand (converted to ISO-8859-1 later).
      {"%Y\xE5\xB9\xB4%m", "yyyy\xE5\xB9\xB4MM"},
      {"%", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(TranslateStrftimeDate(c.strftime, kLocale), c.expected) << c.strftime;
  }
}

TEST(StrftimePattern, LongDateIsTheDatePartOfTheDateAndTimePattern) {
  struct Case {
    const char* date_time;
    const char* date;
    const char* expected;
  };
  const Case cases[] = {
      {"%a %d %b %Y %T", "%d/%m/%Y", "ddd dd MMM yyyy"},
      {"%a %d %b %Y %r %Z", "%m/%d/%Y", "ddd dd MMM yyyy"},
      {"%a %b %e %H:%M:%S %Y", "%m/%d/%y", "ddd MMM d yyyy"},
      {"%H:%M:%S %d.%m.%Y", "%d.%m.%Y", "dd.MM.yyyy"},
      {"%A %e de %B de %Y, %H:%M", "%d/%m/%Y", "dddd d 'de' MMMM 'de' yyyy"},
      // No date in the date-and-time pattern: the short date pattern.
      {"%T", "%d/%m/%Y", "dd/MM/yyyy"},
      {"", "%Y-%m-%d", "yyyy-MM-dd"},
      {"%T", "", ""},
  };
  for (const Case& c : cases) {
    StrftimeLocalePatterns locale{c.date, "%T", "", c.date_time};
    EXPECT_EQ(TranslateStrftimeLongDate(locale), c.expected) << c.date_time;
  }
}

TEST(StrftimePattern, SeparatorIsTheFirstLiteralPunctuation) {
  struct Case {
    const char* pattern;
    std::optional<char> expected;
  };
  const Case cases[] = {
      {"%d/%m/%Y", '/'},
      {"%d.%m.%Y", '.'},
      {"%Y-%m-%d", '-'},
      {"%T", ':'},
      {"%H.%M.%S", '.'},
      {"%D", '/'},
      {"%x", '.'},
      {"%Hh%M", std::nullopt},
      {"%d %B %Y", std::nullopt},
      {"%d\xC2\xB7%m", std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(StrftimeSeparator(c.pattern, kLocale), c.expected) << c.pattern;
  }
}

TEST(StrftimePattern, ClockComesFromTheFirstHourDirective) {
  struct Case {
    const char* pattern;
    bool found, leading_zero, twelve_hour, marker_first;
  };
  const Case cases[] = {
      {"%H:%M:%S", true, true, false, false},  {"%T", true, true, false, false},
      {"%X", true, true, false, false},        {"%r", true, true, true, false},
      {"%p %I:%M", true, true, true, true},    {"%l:%M %p", true, false, true, false},
      {"%k:%M", true, false, false, false},    {"%-H:%M", true, false, false, false},
      {"%_I:%M %p", true, false, true, false}, {"%M:%S", false, false, false, false},
  };
  for (const Case& c : cases) {
    std::optional<StrftimeClock> clock = StrftimeHourClock(c.pattern, kLocale);
    ASSERT_EQ(clock.has_value(), c.found) << c.pattern;
    if (!clock) continue;
    EXPECT_EQ(clock->leading_zero, c.leading_zero) << c.pattern;
    EXPECT_EQ(clock->twelve_hour, c.twelve_hour) << c.pattern;
    EXPECT_EQ(clock->marker_first, c.marker_first) << c.pattern;
  }
}

}  // namespace
}  // namespace xg
