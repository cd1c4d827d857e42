#include "runtime/regional_settings.h"

#include <gtest/gtest.h>

#include <string>

#include "runtime/fake_locale_source.h"
#include "runtime/resource_strings.h"

namespace xg {
namespace {

class RegionalSettingsTest : public ::testing::Test {
 protected:
  void TearDown() override {
    RemoveLanguageModule();
    ReadDefaultRegionalSettings();
  }

  static const TRegionalSettings& Read(uint32_t thread_locale,
                                       std::map<uint32_t, std::string> items) {
    ReadRegionalSettings(TableLocaleSource(thread_locale, std::move(items)));
    return RegionalSettings();
  }
};

TEST_F(RegionalSettingsTest, HostThatGivesNothingGetsTheDefaults) {
  const TRegionalSettings& s = Read(0, {});
  const TSystemLocaleInfo& info = SystemLocaleInfo();
  EXPECT_EQ(info.LocaleId, 0x0409u);
  EXPECT_EQ(info.PrimaryLangId, 9u);
  EXPECT_EQ(info.SubLangId, 1u);
  EXPECT_FALSE(info.IsFarEast);
  EXPECT_FALSE(info.IsMiddleEast);

  EXPECT_EQ(s.CurrencyText, "");
  EXPECT_EQ(s.CurrencyPlacement, 0);
  EXPECT_EQ(s.NegCurrencyPlacement, 0);
  EXPECT_EQ(s.CurrencyDecimalCount, 0);
  EXPECT_EQ(s.ThousandSepChar, ',');
  EXPECT_EQ(s.DecimalSepChar, '.');
  EXPECT_EQ(s.DateSepChar, '/');
  EXPECT_EQ(s.TimeSepChar, ':');
  EXPECT_EQ(s.ListSepChar, ',');
  EXPECT_EQ(s.DateShortForm, "m/d/yy");
  EXPECT_EQ(s.DateLongForm, "mmmm d, yyyy");
  EXPECT_EQ(s.TimeShortForm, "h:mm AMPM");
  EXPECT_EQ(s.TimeLongForm, "h:mm:ss AMPM");
  EXPECT_EQ(s.AmText, "am");
  EXPECT_EQ(s.PmText, "pm");
  const std::array<std::string, 12> months{"January",   "February", "March",    "April",
                                           "May",       "June",     "July",     "August",
                                           "September", "October",  "November", "December"};
  EXPECT_EQ(s.MonthFullNames, months);
  const std::array<std::string, 12> abbrevs{"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  EXPECT_EQ(s.MonthAbbrevs, abbrevs);
  const std::array<std::string, 7> days{"Sunday",   "Monday", "Tuesday", "Wednesday",
                                        "Thursday", "Friday", "Saturday"};
  EXPECT_EQ(s.DayFullNames, days);
  const std::array<std::string, 7> day_abbrevs{"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  EXPECT_EQ(s.DayAbbrevs, day_abbrevs);
  for (int i = 0; i < 7; ++i) {
    EXPECT_EQ(s.EraNameList[i], "");
    EXPECT_EQ(s.EraYearBases[i], 0);
  }
}

TEST_F(RegionalSettingsTest, BrazilianHostValuesAreTakenAsTheHostGivesThem) {
  ReadRegionalSettings(BrazilianLocaleSource());
  const TRegionalSettings& s = RegionalSettings();
  EXPECT_EQ(SystemLocaleInfo().LocaleId, 0x0416u);
  EXPECT_EQ(SystemLocaleInfo().PrimaryLangId, 0x16u);
  EXPECT_EQ(SystemLocaleInfo().SubLangId, 1u);
  EXPECT_EQ(s.DateShortForm, "dd/MM/yyyy");
  EXPECT_EQ(s.DateLongForm, "dddd, d' de 'MMMM' de 'yyyy");
  EXPECT_EQ(s.TimeShortForm, "hh:mm");
  EXPECT_EQ(s.TimeLongForm, "hh:mm:ss");
  EXPECT_EQ(s.DecimalSepChar, ',');
  EXPECT_EQ(s.ThousandSepChar, '.');
  EXPECT_EQ(s.ListSepChar, ';');
  EXPECT_EQ(s.CurrencyText, "R$");
  EXPECT_EQ(s.CurrencyPlacement, 2);
  EXPECT_EQ(s.NegCurrencyPlacement, 9);
  EXPECT_EQ(s.CurrencyDecimalCount, 2);
  // Designators the host defines as empty stay empty.
  EXPECT_EQ(s.AmText, "");
  EXPECT_EQ(s.PmText, "");
  // Names the host gives are kept as written; the ones it lacks fall back to English.
  EXPECT_EQ(s.MonthFullNames[0], "janeiro");
  EXPECT_EQ(s.MonthAbbrevs[0], "jan");
  EXPECT_EQ(s.MonthFullNames[1], "February");
  // Sunday is the host's seventh day name, Monday its first.
  EXPECT_EQ(s.DayFullNames[0], "domingo");
  EXPECT_EQ(s.DayFullNames[1], "segunda-feira");
  EXPECT_EQ(s.DayAbbrevs[0], "dom");
  EXPECT_EQ(s.DayAbbrevs[1], "seg");
  EXPECT_EQ(s.DayAbbrevs[2], "Tue");
}

TEST_F(RegionalSettingsTest, TimePatternsAreBuiltFromTheClockItemsNotTheHostPattern) {
  struct Case {
    std::map<uint32_t, std::string> items;
    const char* short_form;
    const char* long_form;
  };
  const Case cases[] = {
      {{{0x25, "0"}, {0x23, "0"}, {0x1005, "0"}}, "h:mm AMPM", "h:mm:ss AMPM"},
      {{{0x25, "0"}, {0x23, "0"}, {0x1005, "1"}}, "AMPM h:mm", "AMPM h:mm:ss"},
      {{{0x25, "1"}, {0x23, "0"}, {0x1005, "0"}}, "hh:mm AMPM", "hh:mm:ss AMPM"},
      {{{0x25, "1"}, {0x23, "1"}, {0x1005, "1"}}, "hh:mm", "hh:mm:ss"},  // 24-hour: no marker
      {{{0x25, "0"}, {0x23, "1"}}, "h:mm", "h:mm:ss"},
      {{{0x25, "2"}, {0x23, "0"}, {0x1005, "7"}}, "AMPM hh:mm", "AMPM hh:mm:ss"},
      {{{0x25, "-1"}, {0x23, "-1"}, {0x1005, "1"}}, "hh:mm", "hh:mm:ss"},
      // Texts that are no integers count as 0.
      {{{0x25, "yes"}, {0x23, "1 "}, {0x1005, ""}}, "h:mm AMPM", "h:mm:ss AMPM"},
      {{{0x25, "1"}, {0x23, "1"}, {0x1003, "HH:mm:ss"}}, "hh:mm", "hh:mm:ss"},
  };
  for (const Case& c : cases) {
    const TRegionalSettings& s = Read(0x0409, c.items);
    EXPECT_EQ(s.TimeShortForm, c.short_form) << c.long_form;
    EXPECT_EQ(s.TimeLongForm, c.long_form);
  }
}

TEST_F(RegionalSettingsTest, OneCharacterItemsTakeTheDefaultWhenTooLongAndZeroWhenEmpty) {
  const TRegionalSettings& s =
      Read(0x0409, {{0x0F, ". "}, {0x0E, ""}, {0x1D, "-"}, {0x1E, ".."}, {0x0C, ""}});
  EXPECT_EQ(s.ThousandSepChar, ',');
  EXPECT_EQ(s.DecimalSepChar, '\0');
  EXPECT_EQ(s.DateSepChar, '-');
  EXPECT_EQ(s.TimeSepChar, ':');
  EXPECT_EQ(s.ListSepChar, '\0');
}

TEST_F(RegionalSettingsTest, TextItemsLongerThanTheBufferTakeTheDefault) {
  const std::string fits(255, 'x');
  const std::string too_long(256, 'y');
  const TRegionalSettings& s =
      Read(0x0409, {{0x28, fits}, {0x29, too_long}, {0x1F, too_long}, {0x38, too_long}});
  EXPECT_EQ(s.AmText, fits);
  EXPECT_EQ(s.PmText, "pm");
  EXPECT_EQ(s.DateShortForm, "m/d/yy");
  EXPECT_EQ(s.MonthFullNames[0], "January");
}

TEST_F(RegionalSettingsTest, NumericItemsAreWholeDecimalIntegers) {
  struct Case {
    const char* text;
    uint8_t expected;
  };
  const Case cases[] = {{"3", 3}, {"+2", 2}, {"12", 12},        {"2x", 0},
                        {"", 0},  {" 1", 0}, {"99999999999", 0}};
  for (const Case& c : cases) {
    const TRegionalSettings& s = Read(0x0409, {{0x19, c.text}});
    EXPECT_EQ(s.CurrencyDecimalCount, c.expected) << '"' << c.text << '"';
  }
}

TEST_F(RegionalSettingsTest, LocaleIdentityComesFromTheThreadLocale) {
  struct Case {
    uint32_t thread_locale;
    uint32_t locale_id, primary, sub;
  };
  const Case cases[] = {{0, 0x0409, 9, 1},
                        {0x0416, 0x0416, 0x16, 1},
                        {0x0816, 0x0816, 0x16, 2},
                        {0x0C0A, 0x0C0A, 0x0A, 3},
                        {0x0411, 0x0411, 0x11, 1},
                        {0x00050000, 0x00050000, 9, 1},
                        {0x00010407, 0x00010407, 0x07, 1}};
  for (const Case& c : cases) {
    Read(c.thread_locale, {});
    const TSystemLocaleInfo& info = SystemLocaleInfo();
    EXPECT_EQ(info.LocaleId, c.locale_id) << std::hex << c.thread_locale;
    EXPECT_EQ(info.PrimaryLangId, c.primary) << std::hex << c.thread_locale;
    EXPECT_EQ(info.SubLangId, c.sub) << std::hex << c.thread_locale;
    // The system's texts are single-byte ISO-8859-1, left to right.
    EXPECT_FALSE(info.IsFarEast);
    EXPECT_FALSE(info.IsMiddleEast);
  }
}

TEST_F(RegionalSettingsTest, DatePatternsPassThroughTheCalendarConversion) {
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
      // Languages with era names lose the era letters under an ordinary calendar.
      {0x0411, "1", "gg yyyy/MM/dd G", " yyyy/MM/dd "},
      {0x0404, "2", "Ggyy", "yy"},
      {0x0412, "x", "g.yy", ".yy"},
      // Era calendars turn years into years of the era and widen the era name.
      {0x0411, "3", "gg y/yy/yyyy GG", "ggg e/ee/eeee ggg"},
      {0x0409, "4", "YYYYyyYy", "eeeeeeee"},
      {0x0409, "5", "gyyy", "geee"},
      {0x0409, "6", "gg yyyy", "gg yyyy"},
  };
  for (const Case& c : cases) {
    std::map<uint32_t, std::string> items{{0x1F, c.pattern}, {0x20, c.pattern}};
    if (c.calendar) items[0x1009] = c.calendar;
    const TRegionalSettings& s = Read(c.thread_locale, items);
    EXPECT_EQ(s.DateShortForm, c.expected)
        << c.pattern << " calendar " << (c.calendar ? c.calendar : "-");
    EXPECT_EQ(s.DateLongForm, c.expected);
  }
  // The defaults pass the same conversion.
  const TRegionalSettings& s = Read(0x0409, {{0x1009, "3"}});
  EXPECT_EQ(s.DateShortForm, "m/d/ee");
  EXPECT_EQ(s.DateLongForm, "mmmm d, eeee");
}

TEST_F(RegionalSettingsTest, EnglishFallbackNamesAreStringResources) {
  InstallLanguageModule({{"SLongMonthNameJan", "Januar"}, {"SShortDayNameSun", "So"}});
  const TRegionalSettings& s = Read(0x0407, {{0x39, "Februar"}});
  EXPECT_EQ(s.MonthFullNames[0], "Januar");
  EXPECT_EQ(s.MonthFullNames[1], "Februar");
  EXPECT_EQ(s.DayAbbrevs[0], "So");
  EXPECT_EQ(s.MonthFullNames[2], "");  // missing from the module: the empty text
}

}  // namespace
}  // namespace xg
