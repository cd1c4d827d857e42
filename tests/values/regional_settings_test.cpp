#include "values/regional_settings.h"

#include <gtest/gtest.h>

#include <string>

#include "support/scoped_language_module.h"
#include "support/test_hosts.h"
#include "values/locale_items.h"

namespace xg {
namespace {

RegionalSettings Read(uint32_t thread_locale, std::map<uint32_t, std::string> items) {
  return ReadRegionalSettings(test::TableLocaleSource(thread_locale, std::move(items)));
}

TEST(RegionalSettings, HostThatGivesNothingGetsTheDefaults) {
  const RegionalSettings s = Read(0, {});
  EXPECT_EQ(s.decimal_separator, '.');
  EXPECT_EQ(s.date_separator, '/');
  EXPECT_EQ(s.time_separator, ':');
  EXPECT_EQ(s.short_date_pattern, "m/d/yy");
  EXPECT_EQ(s.long_date_pattern, "mmmm d, yyyy");
  EXPECT_EQ(s.short_time_pattern, "h:mm AMPM");
  EXPECT_EQ(s.long_time_pattern, "h:mm:ss AMPM");
  EXPECT_EQ(s.am_designator, "am");
  EXPECT_EQ(s.pm_designator, "pm");
  const std::array<std::string, 12> months{"January",   "February", "March",    "April",
                                           "May",       "June",     "July",     "August",
                                           "September", "October",  "November", "December"};
  EXPECT_EQ(s.long_month_names, months);
  const std::array<std::string, 12> abbrevs{"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  EXPECT_EQ(s.short_month_names, abbrevs);
  const std::array<std::string, 7> days{"Sunday",   "Monday", "Tuesday", "Wednesday",
                                        "Thursday", "Friday", "Saturday"};
  EXPECT_EQ(s.long_day_names, days);
  const std::array<std::string, 7> day_abbrevs{"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  EXPECT_EQ(s.short_day_names, day_abbrevs);
}

TEST(RegionalSettings, BrazilianHostValuesAreTakenAsTheHostGivesThem) {
  const RegionalSettings s = test::BrazilianSettings();
  EXPECT_EQ(s.short_date_pattern, "dd/MM/yyyy");
  EXPECT_EQ(s.long_date_pattern, "dddd, d' de 'MMMM' de 'yyyy");
  EXPECT_EQ(s.short_time_pattern, "hh:mm");
  EXPECT_EQ(s.long_time_pattern, "hh:mm:ss");
  EXPECT_EQ(s.decimal_separator, ',');
  // Designators the host defines as empty stay empty.
  EXPECT_EQ(s.am_designator, "");
  EXPECT_EQ(s.pm_designator, "");
  // Names are kept as written; Sunday is the host's seventh day name, Monday its first.
  EXPECT_EQ(s.long_month_names[0], "janeiro");
  EXPECT_EQ(s.short_month_names[11], "dez");
  EXPECT_EQ(s.long_day_names[0], "domingo");
  EXPECT_EQ(s.long_day_names[1], "segunda-feira");
  EXPECT_EQ(s.short_day_names[0], "dom");
  EXPECT_EQ(s.short_day_names[6],
            "s\xE1"
            "b");
}

TEST(RegionalSettings, NamesTheHostLacksFallBackOneByOne) {
  const RegionalSettings s =
      Read(0x0416, {{kItemMonthName1, "janeiro"}, {kItemAbbrevDayName1 + 6, "dom"}});
  EXPECT_EQ(s.long_month_names[0], "janeiro");
  EXPECT_EQ(s.long_month_names[1], "February");
  EXPECT_EQ(s.short_day_names[0], "dom");
  EXPECT_EQ(s.short_day_names[1], "Mon");
}

TEST(RegionalSettings, TimePatternsAreBuiltFromTheClockItemsNotTheHostPattern) {
  struct Case {
    std::map<uint32_t, std::string> items;
    const char* short_form;
    const char* long_form;
  };
  const Case cases[] = {
      {{{kItemHourLeadingZero, "0"}, {kItemTimeClock, "0"}, {kItemTimeMarkerFirst, "0"}},
       "h:mm AMPM",
       "h:mm:ss AMPM"},
      {{{kItemHourLeadingZero, "0"}, {kItemTimeClock, "0"}, {kItemTimeMarkerFirst, "1"}},
       "AMPM h:mm",
       "AMPM h:mm:ss"},
      {{{kItemHourLeadingZero, "1"}, {kItemTimeClock, "0"}, {kItemTimeMarkerFirst, "0"}},
       "hh:mm AMPM",
       "hh:mm:ss AMPM"},
      // 24-hour: no marker.
      {{{kItemHourLeadingZero, "1"}, {kItemTimeClock, "1"}, {kItemTimeMarkerFirst, "1"}},
       "hh:mm",
       "hh:mm:ss"},
      {{{kItemHourLeadingZero, "0"}, {kItemTimeClock, "1"}}, "h:mm", "h:mm:ss"},
      // The host's own time pattern (0x1003) is not used.
      {{{kItemHourLeadingZero, "1"}, {kItemTimeClock, "1"}, {0x1003, "HH:mm:ss"}},
       "hh:mm",
       "hh:mm:ss"},
  };
  for (const Case& c : cases) {
    const RegionalSettings s = Read(0x0409, c.items);
    EXPECT_EQ(s.short_time_pattern, c.short_form) << c.long_form;
    EXPECT_EQ(s.long_time_pattern, c.long_form);
  }
}

TEST(RegionalSettings, NumericItemsAreWholeDecimalIntegersAndAnythingElseIsZero) {
  struct Case {
    const char* text;
    bool leading_zero;  // the item read as a number is not 0
  };
  const Case cases[] = {{"1", true},   {"+2", true},   {"-1", true},          {"12", true},
                        {"0", false},  {"", false},    {"2x", false},         {" 1", false},
                        {"1 ", false}, {"yes", false}, {"99999999999", false}};
  for (const Case& c : cases) {
    const RegionalSettings s =
        Read(0x0409, {{kItemHourLeadingZero, c.text}, {kItemTimeClock, "1"}});
    EXPECT_EQ(s.long_time_pattern, c.leading_zero ? "hh:mm:ss" : "h:mm:ss") << '"' << c.text << '"';
  }
}

TEST(RegionalSettings, OneCharacterItemsTakeTheDefaultWhenTooLongAndZeroWhenEmpty) {
  const RegionalSettings s = Read(
      0x0409, {{kItemDecimalSeparator, ""}, {kItemDateSeparator, "-"}, {kItemTimeSeparator, ".."}});
  EXPECT_EQ(s.decimal_separator, '\0');
  EXPECT_EQ(s.date_separator, '-');
  EXPECT_EQ(s.time_separator, ':');
  EXPECT_EQ(Read(0x0409, {{kItemDecimalSeparator, ", "}}).decimal_separator, '.');
}

TEST(RegionalSettings, TextItemsLongerThanTheBufferTakeTheDefault) {
  const std::string fits(255, 'x');
  const std::string too_long(256, 'y');
  const RegionalSettings s = Read(0x0409, {{kItemAmDesignator, fits},
                                           {kItemPmDesignator, too_long},
                                           {kItemShortDate, too_long},
                                           {kItemMonthName1, too_long}});
  EXPECT_EQ(s.am_designator, fits);
  EXPECT_EQ(s.pm_designator, "pm");
  EXPECT_EQ(s.short_date_pattern, "m/d/yy");
  EXPECT_EQ(s.long_month_names[0], "January");
}

TEST(RegionalSettings, DatePatternsPassThroughTheCalendarConversion) {
  struct Case {
    uint32_t thread_locale;
    const char* calendar;  // nullptr: the host gives no calendar type
    const char* pattern;
    const char* expected;
  };
  const Case cases[] = {
      // Western language, ordinary calendar: unchanged, era letters included.
      {0x0416, nullptr, "dd/MM/yyyy gg", "dd/MM/yyyy gg"},
      {0x0416, "1", "dd/MM/yyyy gg", "dd/MM/yyyy gg"},
      // Languages with era names (the low ten bits of the thread locale are 0x04, 0x11 or
      // 0x12) lose the era letters under an ordinary calendar.
      {0x0411, "1", "gg yyyy/MM/dd G", " yyyy/MM/dd "},
      {0x0404, "2", "Ggyy", "yy"},
      {0x0412, "x", "g.yy", ".yy"},
      {0x00010411, nullptr, "g.yy", ".yy"},
      {0x0811, nullptr, "g.yy", ".yy"},
      // A thread locale whose low sixteen bits are 0 counts as English.
      {0x00110000, nullptr, "g.yy", "g.yy"},
      {0, nullptr, "g.yy", "g.yy"},
      // Era calendars turn years into years of the era and widen the era name.
      {0x0411, "3", "gg y/yy/yyyy GG", "ggg e/ee/eeee ggg"},
      {0x0409, "4", "YYYYyyYy", "eeeeeeee"},
      {0x0409, "5", "gyyy", "geee"},
      {0x0409, "6", "gg yyyy", "gg yyyy"},
  };
  for (const Case& c : cases) {
    std::map<uint32_t, std::string> items{{kItemShortDate, c.pattern}, {kItemLongDate, c.pattern}};
    if (c.calendar) items[kItemCalendarType] = c.calendar;
    const RegionalSettings s = Read(c.thread_locale, items);
    EXPECT_EQ(s.short_date_pattern, c.expected)
        << c.pattern << " calendar " << (c.calendar ? c.calendar : "-") << " locale " << std::hex
        << c.thread_locale;
    EXPECT_EQ(s.long_date_pattern, c.expected);
  }
  // The defaults pass the same conversion.
  const RegionalSettings s = Read(0x0409, {{kItemCalendarType, "3"}});
  EXPECT_EQ(s.short_date_pattern, "m/d/ee");
  EXPECT_EQ(s.long_date_pattern, "mmmm d, eeee");
}

TEST(RegionalSettings, EnglishFallbackNamesAreStringResources) {
  const test::ScopedLanguageModule module(
      LanguageTexts{{"SLongMonthNameJan", "Januar"}, {"SShortDayNameSun", "So"}});
  const RegionalSettings s = Read(0x0407, {{kItemMonthName1 + 1, "Februar"}});
  EXPECT_EQ(s.long_month_names[0], "Januar");
  EXPECT_EQ(s.long_month_names[1], "Februar");
  EXPECT_EQ(s.short_day_names[0], "So");
  EXPECT_EQ(s.long_month_names[2], "");  // missing from the module: the empty text
}

}  // namespace
}  // namespace xg
