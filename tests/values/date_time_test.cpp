#include "values/date_time.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "support/test_hosts.h"
#include "values/clock.h"
#include "values/locale_items.h"

namespace xg {
namespace {

DateTime At(int year, int month, int day, int hour = 0, int minute = 0, int second = 0,
            int millisecond = 0) {
  return EncodeDate(year, month, day) + EncodeTime(hour, minute, second, millisecond);
}

class DateTimeTest : public ::testing::Test {
 protected:
  void UseDefaultSettings() { settings = test::DefaultSettings(); }
  void UseBrazilianSettings() { settings = test::BrazilianSettings(); }
  void UseSettings(std::map<uint32_t, std::string> items) {
    settings = ReadRegionalSettings(test::TableLocaleSource(0x0409, std::move(items)));
  }

  RegionalSettings settings;
};

struct Parts {
  int year, month, day, hour, minute, second, millisecond, day_of_week;
};

void ExpectParts(DateTime value, const Parts& expected) {
  DecodedDateTime parts = DecodeDateTime(value);
  EXPECT_EQ(parts.year, expected.year) << value;
  EXPECT_EQ(parts.month, expected.month) << value;
  EXPECT_EQ(parts.day, expected.day) << value;
  EXPECT_EQ(parts.hour, expected.hour) << value;
  EXPECT_EQ(parts.minute, expected.minute) << value;
  EXPECT_EQ(parts.second, expected.second) << value;
  EXPECT_EQ(parts.millisecond, expected.millisecond) << value;
  EXPECT_EQ(parts.day_of_week, expected.day_of_week) << value;
}

TEST(DecodeDateTime, SplitsDaysSince1899IntoCalendarParts) {
  struct Case {
    DateTime value;
    Parts expected;
  };
  const Case cases[] = {
      {0, {1899, 12, 30, 0, 0, 0, 0, 7}},
      {-1.25, {1899, 12, 29, 6, 0, 0, 0, 6}},
      // A negative value keeps its time of day as the absolute fraction.
      {-0.25, {1899, 12, 30, 6, 0, 0, 0, 7}},
      {36526, {2000, 1, 1, 0, 0, 0, 0, 7}},
      {45999 + 50709.007 / 86400, {2025, 12, 8, 14, 5, 9, 7, 2}},
      {45999 + 0.5 / 86400, {2025, 12, 8, 0, 0, 0, 500, 2}},
      // 0.4 ms before midnight rounds up to the next day.
      {45999 + (86400000 - 0.4) / 86400000, {2025, 12, 9, 0, 0, 0, 0, 3}},
      // Half a millisecond exactly: ties go to the even millisecond.
      {std::ldexp(1.0, -11), {1899, 12, 30, 0, 0, 42, 188, 7}},
      {std::ldexp(3.0, -11), {1899, 12, 30, 0, 2, 6, 562, 7}},
      {-693593, {1, 1, 1, 0, 0, 0, 0, 2}},
      {-693593.5, {1, 1, 1, 12, 0, 0, 0, 2}},
      {2958465.999, {9999, 12, 31, 23, 58, 33, 600, 6}},
      // Day numbers of 0 or less have no calendar date, only the time.
      {-693594, {0, 0, 0, 0, 0, 0, 0, 0}},
      {-693594.25, {0, 0, 0, 6, 0, 0, 0, 0}},
      {-1e7, {0, 0, 0, 0, 0, 0, 0, 0}},
      // Values beyond any millisecond count decode to nothing rather than overflowing.
      {1e300, {0, 0, 0, 0, 0, 0, 0, 0}},
      {std::numeric_limits<double>::quiet_NaN(), {0, 0, 0, 0, 0, 0, 0, 0}},
  };
  for (const Case& c : cases) ExpectParts(c.value, c.expected);
}

TEST(DecodeDateTime, EncodeAndDecodeAgreeDayByDayAcrossLeapRules) {
  EXPECT_EQ(EncodeDate(1899, 12, 30), 0);
  EXPECT_EQ(EncodeDate(2000, 1, 1), 36526);
  EXPECT_EQ(EncodeDate(2025, 12, 8), 45999);
  EXPECT_EQ(EncodeDate(1, 1, 1), -693593);
  DateTime expected = EncodeDate(1599, 12, 31);
  int leap_days = 0;
  for (int year = 1600; year <= 2401; ++year) {
    for (int month = 1; month <= 12; ++month) {
      for (int day = 1; day <= 31; ++day) {
        DateTime value = EncodeDate(year, month, day);
        DecodedDateTime parts = DecodeDateTime(value);
        if (parts.month != month) break;  // past the month's last day
        ASSERT_EQ(value, expected + 1) << year << "-" << month << "-" << day;
        ASSERT_EQ(parts.year, year);
        ASSERT_EQ(parts.day, day);
        if (month == 2 && day == 29) ++leap_days;
        expected = value;
      }
    }
  }
  EXPECT_EQ(leap_days, 195);  // 802 years: 201 multiples of 4, less 1700, 1800, 1900, 2100, ...
  EXPECT_EQ(EncodeTime(14, 5, 9, 7), 50709007.0 / 86400000);
}

TEST_F(DateTimeTest, FixedConversionsWithBrazilianSettings) {
  UseBrazilianSettings();
  const DateTime afternoon = At(2025, 12, 8, 14, 5, 9);
  EXPECT_EQ(DateToStr(afternoon, settings), "08/12/2025");
  EXPECT_EQ(TimeToStr(afternoon, settings), "14:05:09");
  EXPECT_EQ(DateTimeToStr(afternoon, settings), "08/12/2025 14:05:09");
  EXPECT_EQ(DateTimeToStr(At(2025, 12, 8), settings), "08/12/2025");
  EXPECT_EQ(DateToStr(0, settings), "30/12/1899");
  EXPECT_EQ(TimeToStr(0, settings), "00:00:00");
  EXPECT_EQ(DateTimeToStr(0, settings), "30/12/1899");
  // Milliseconds alone do not make a time worth writing.
  EXPECT_EQ(DateTimeToStr(At(2025, 12, 8, 0, 0, 0, 500), settings), "08/12/2025");
  EXPECT_EQ(DateTimeToStr(At(2025, 12, 8, 0, 0, 1), settings), "08/12/2025 00:00:01");
  const DateTime almost_midnight = EncodeDate(2025, 12, 8) + (86400000 - 0.4) / 86400000;
  EXPECT_EQ(DateToStr(almost_midnight, settings), "09/12/2025");
  EXPECT_EQ(TimeToStr(almost_midnight, settings), "00:00:00");
  EXPECT_EQ(DateTimeToStr(-1.25, settings), "29/12/1899 06:00:00");
}

TEST_F(DateTimeTest, FixedConversionsWithDefaultSettings) {
  UseDefaultSettings();
  EXPECT_EQ(DateToStr(At(2025, 12, 8, 14, 5, 9), settings), "12/8/25");
  EXPECT_EQ(TimeToStr(At(2025, 12, 8, 14, 5, 9), settings), "2:05:09 pm");
  EXPECT_EQ(DateTimeToStr(At(2025, 12, 8, 14, 5, 9), settings), "12/8/25 2:05:09 pm");
  EXPECT_EQ(TimeToStr(At(2025, 12, 8, 0, 30), settings), "12:30:00 am");
  EXPECT_EQ(TimeToStr(At(2025, 12, 8, 12, 0), settings), "12:00:00 pm");
  EXPECT_EQ(DateToStr(0, settings), "12/30/99");
  UseSettings({{kItemPmDesignator, "PM"}});
  EXPECT_EQ(TimeToStr(At(2025, 12, 8, 14, 5, 9), settings), "2:05:09 PM");
}

TEST_F(DateTimeTest, PatternTokens) {
  UseDefaultSettings();
  const DateTime monday = At(2025, 12, 8, 14, 5, 9, 7);
  const DateTime march = At(2005, 3, 4, 9, 0, 0);
  const DateTime half_past_midnight = At(2025, 12, 8, 0, 30);
  struct Case {
    const char* pattern;
    DateTime value;
    const char* expected;
  };
  const Case cases[] = {
      // Years.
      {"y|yy|yyy|yyyy|yyyyy", monday, "25|25|2025|2025|2025"},
      {"yy yyyy", At(5, 1, 1), "05 0005"},
      // Months, days and their names; case does not matter.
      {"m|mm|mmm|mmmm|mmmmm", march, "3|03|Mar|March|March"},
      {"M|MM|MMM|MMMM", monday, "12|12|Dec|December"},
      {"d|dd|ddd|dddd", march, "4|04|Fri|Friday"},
      {"D|DD|DDD|DDDD", monday, "8|08|Mon|Monday"},
      {"ddddd|dddddd|ddddddd", monday, "12/8/25|December 8, 2025|December 8, 2025"},
      // Time fields; longer runs count as the longest form.
      {"h|hh|hhh|n|nn|nnn|s|ss|sss", march, "9|09|09|0|00|00|0|00|00"},
      {"z|zz|zzz|zzzz", monday, "7|07|007|007"},
      {"Z|ZZ|ZZZ", At(2025, 1, 1, 0, 0, 0, 123), "123|123|123"},
      // m after h is minutes; the run counts as written, so "Hh" is two hour tokens.
      {"hh:mm", monday, "14:05"},
      {"mm/dd", monday, "12/08"},
      {"h mm", monday, "14 05"},
      {"hh:nn mm", monday, "14:05 12"},
      {"Hh", monday, "1414"},
      {"h:mM", monday, "14:512"},
      {"mm h:mm", march, "03 9:00"},
      // 12-hour markers.
      {"h:mm AM/PM", half_past_midnight, "12:30 AM"},
      {"h:mm AM/PM", monday, "2:05 PM"},
      {"h:mm Am/pM", march, "9:00 Am"},
      {"h:mm Am/pM", monday, "2:05 pM"},
      {"hh a/p", monday, "02 p"},
      {"hh A/P", march, "09 A"},
      {"h ampm", monday, "2 pm"},
      {"h AMPM", half_past_midnight, "12 am"},
      {"am/pm h", monday, "pm 2"},
      {"h 'am/pm'", monday, "14 am/pm"},
      {"h h am/pm", monday, "14 2 pm"},
      {"h ax am/pm", monday, "14 ax pm"},
      {"h \"x\" a/p", monday, "2 x p"},
      {"h 'x a/p", monday, "14 x a/p"},
      // Day names after a, and a lone a.
      {"aaaa|aaa|a|ab|AAAA", monday, "Monday|Mon|a|ab|Monday"},
      // Quotes.
      {"hh 'h'", monday, "14 h"},
      {"hh \"h\" nn", monday, "14 h 05"},
      {"'it''s' \"a'b\"", monday, "its a'b"},
      {"dd 'unclosed", monday, "08 unclosed"},
      // Patterns of the settings, expanded.
      {"c", monday, "12/8/25 2:05:09 pm"},
      {"c", At(2025, 12, 8), "12/8/25"},
      {"C|t|tt", monday, "12/8/25 2:05:09 pm|2:05 pm|2:05:09 pm"},
      {"", monday, "12/8/25 2:05:09 pm"},
      // Era tokens use the Gregorian year; era names are empty.
      {"e|ee|eee|g|gg", march, "5|05|2005||"},
      // Other characters are copied.
      {"dd.mm.yyyy x#\xE9", monday, "08.12.2025 x#\xE9"},
      // Before 0001-01-01: zero fields, no names.
      {"yyyy-mm-dd [mmm][dddd][aaa]", -693594, "0000-00-00 [][][]"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FormatDateTime(c.pattern, c.value, settings), c.expected) << '"' << c.pattern << '"';
  }
}

TEST_F(DateTimeTest, SeparatorsComeFromTheSettingsAndTheZeroCharacterWritesNothing) {
  const DateTime value = At(2025, 12, 8, 14, 5, 9);
  UseSettings({{kItemDateSeparator, "."}, {kItemTimeSeparator, "-"}});
  EXPECT_EQ(FormatDateTime("dd/mm/yy hh:nn:ss '/:'", value, settings), "08.12.25 14-05-09 /:");
  UseSettings({{kItemDateSeparator, ""}, {kItemTimeSeparator, ""}});
  EXPECT_EQ(FormatDateTime("dd/mm/yy hh:nn:ss", value, settings), "081225 140509");
}

TEST_F(DateTimeTest, NestedPatternsExpandOneLevelOnly) {
  UseSettings({{kItemShortDate, "dd c t tt ddddd dddddd|"},
               {kItemLongDate, "[ddddd]"},
               {kItemHourLeadingZero, "1"},
               {kItemTimeClock, "1"}});
  const DateTime value = At(2025, 12, 8, 14, 5, 9);
  EXPECT_EQ(FormatDateTime("ddddd", value, settings), "08     |");
  EXPECT_EQ(FormatDateTime("dddddd", value, settings), "[]");
  EXPECT_EQ(DateToStr(value, settings), "08 08     | 14:05:09 14:05 14:05:09 08     | []|");
  EXPECT_EQ(FormatDateTime("c", value, settings), "08     | 14:05:09");
  // Each nested pattern has its own 12-hour flag and last letter.
  UseSettings({{kItemShortDate, "h"}, {kItemHourLeadingZero, "1"}});
  EXPECT_EQ(FormatDateTime("am/pm ddddd h", value, settings), "pm 14 2");
  UseSettings({{kItemShortDate, "mm"}});
  EXPECT_EQ(FormatDateTime("h:ddddd", value, settings), "14:12");
}

TEST_F(DateTimeTest, OutputIsCutAt256Characters) {
  UseDefaultSettings();
  const DateTime value = At(2025, 12, 8, 14, 5, 9);
  EXPECT_EQ(FormatDateTime("'" + std::string(300, 'x') + "'", value, settings),
            std::string(256, 'x'));
  EXPECT_EQ(FormatDateTime(std::string(255, '-') + "yyyy", value, settings),
            std::string(255, '-') + "2");
  std::string days;
  for (int i = 0; i < 50; ++i) days += "dddd,";
  std::string expected;
  for (int i = 0; i < 50; ++i) expected += "Monday,";
  EXPECT_EQ(FormatDateTime(days, value, settings), expected.substr(0, 256));
  EXPECT_EQ(FormatDateTime(std::string(254, '.') + "tt", value, settings),
            std::string(254, '.') + "2:");
}

TEST(SystemClock, GivesTheLocalDateAndTimeOfNow) {
  time_t before = time(nullptr);
  DateTime now = SystemClock().Now();
  time_t after = time(nullptr);
  tm local_before{};
  tm local_after{};
  localtime_r(&before, &local_before);
  localtime_r(&after, &local_after);
  auto encode = [](const tm& t) {
    return EncodeDate(t.tm_year + 1900, t.tm_mon + 1, t.tm_mday) +
           EncodeTime(t.tm_hour, t.tm_min, t.tm_sec, 0);
  };
  EXPECT_GE(now, encode(local_before));
  EXPECT_LT(now, encode(local_after) + EncodeTime(0, 0, 1, 0));
}

}  // namespace
}  // namespace xg
