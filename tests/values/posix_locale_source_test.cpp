#include "values/posix_locale_source.h"

#include <gtest/gtest.h>
#include <locale.h>

#include <cstdlib>
#include <map>
#include <optional>
#include <string>

#include "values/locale_items.h"
#include "values/regional_settings.h"

namespace xg {
namespace {

constexpr const char* kLocaleVariables[] = {"LC_ALL", "LC_NUMERIC", "LC_TIME", "LC_MESSAGES",
                                            "LANG"};

// Runs each test with only the locale variables it sets, and puts the process's own back.
class PosixLocaleSourceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : kLocaleVariables) {
      const char* value = std::getenv(name);
      if (value != nullptr) saved_[name] = value;
    }
    ClearLocaleVariables();
  }

  static void ClearLocaleVariables() {
    for (const char* name : kLocaleVariables) unsetenv(name);
  }

  void TearDown() override {
    for (const char* name : kLocaleVariables) {
      auto it = saved_.find(name);
      if (it != saved_.end()) {
        setenv(name, it->second.c_str(), 1);
      } else {
        unsetenv(name);
      }
    }
  }

  static void Set(std::map<std::string, std::string> variables) {
    for (const auto& [name, value] : variables) setenv(name.c_str(), value.c_str(), 1);
  }

  static bool BrazilianLocaleInstalled() {
    locale_t locale = newlocale(LC_ALL_MASK, "pt_BR.UTF-8", nullptr);
    if (locale == nullptr) return false;
    freelocale(locale);
    return true;
  }

  static RegionalSettings Read() { return ReadRegionalSettings(PosixLocaleSource()); }

  static void ExpectDefaultFormats(const RegionalSettings& s) {
    EXPECT_EQ(s.short_date_pattern, "m/d/yy");
    EXPECT_EQ(s.long_time_pattern, "h:mm:ss AMPM");
    EXPECT_EQ(s.am_designator, "am");
    EXPECT_EQ(s.pm_designator, "pm");
    EXPECT_EQ(s.decimal_separator, '.');
    EXPECT_EQ(s.long_month_names[2], "March");
  }

 private:
  std::map<std::string, std::string> saved_;
};

TEST_F(PosixLocaleSourceTest, BrazilianLocaleGivesItsPatternsSeparatorsAndNames) {
  if (!BrazilianLocaleInstalled()) GTEST_SKIP() << "pt_BR.UTF-8 is not installed (localedef)";
  Set({{"LC_ALL", "pt_BR.UTF-8"}});
  const PosixLocaleSource source;
  EXPECT_EQ(source.ThreadLocale(), 0x0416u);
  EXPECT_EQ(source.Item(kItemLanguageAbbrev), "PTB");
  const RegionalSettings s = ReadRegionalSettings(source);
  EXPECT_EQ(s.short_date_pattern, "dd/MM/yyyy");
  EXPECT_EQ(s.long_date_pattern, "ddd dd MMM yyyy");
  EXPECT_EQ(s.short_time_pattern, "hh:mm");
  EXPECT_EQ(s.long_time_pattern, "hh:mm:ss");
  EXPECT_EQ(s.date_separator, '/');
  EXPECT_EQ(s.time_separator, ':');
  EXPECT_EQ(s.decimal_separator, ',');
  // The locale defines empty designators: they stay empty.
  EXPECT_EQ(source.Item(kItemAmDesignator), std::optional<std::string>(""));
  EXPECT_EQ(s.am_designator, "");
  EXPECT_EQ(s.pm_designator, "");
  // Names as the locale writes them, in ISO-8859-1.
  EXPECT_EQ(s.long_month_names[0], "janeiro");
  EXPECT_EQ(s.long_month_names[2], "mar\xE7o");
  EXPECT_EQ(s.short_month_names[11], "dez");
  EXPECT_EQ(s.long_day_names[0], "domingo");
  EXPECT_EQ(s.long_day_names[2],
            "ter\xE7"
            "a");
  EXPECT_EQ(s.short_day_names[6],
            "s\xE1"
            "b");
}

TEST_F(PosixLocaleSourceTest, PlainCLocaleGivesNothing) {
  const std::map<std::string, std::string> environments[] = {
      {}, {{"LANG", "C"}}, {{"LANG", "POSIX"}}, {{"LC_ALL", "C.UTF-8"}}, {{"LANG", ""}}};
  for (const auto& environment : environments) {
    ClearLocaleVariables();
    Set(environment);
    const PosixLocaleSource source;
    EXPECT_EQ(source.ThreadLocale(), 0u);
    EXPECT_EQ(source.Item(kItemLanguageAbbrev), std::nullopt);
    EXPECT_EQ(source.Item(kItemDecimalSeparator), std::nullopt);
    EXPECT_EQ(source.Item(kItemAmDesignator), std::nullopt);
    ExpectDefaultFormats(ReadRegionalSettings(source));
  }
}

TEST_F(PosixLocaleSourceTest, LocaleThatIsNotInstalledGivesNothing) {
  Set({{"LANG", "xx_YY.UTF-8"}});
  const PosixLocaleSource source;
  EXPECT_EQ(source.ThreadLocale(), 0u);
  EXPECT_EQ(source.Item(kItemShortDate), std::nullopt);
  ExpectDefaultFormats(ReadRegionalSettings(source));
}

TEST_F(PosixLocaleSourceTest, EachItemFollowsTheVariableOfItsCategory) {
  if (!BrazilianLocaleInstalled()) GTEST_SKIP() << "pt_BR.UTF-8 is not installed (localedef)";
  Set({{"LANG", "C"}, {"LC_TIME", "pt_BR.UTF-8"}});
  const RegionalSettings time_only = Read();
  EXPECT_EQ(time_only.short_date_pattern, "dd/MM/yyyy");
  EXPECT_EQ(time_only.decimal_separator, '.');
  EXPECT_EQ(PosixLocaleSource().ThreadLocale(), 0u);

  ClearLocaleVariables();
  Set({{"LANG", "pt_BR.UTF-8"}, {"LC_NUMERIC", "C"}, {"LC_MESSAGES", "POSIX"}});
  const RegionalSettings numeric_c = Read();
  EXPECT_EQ(numeric_c.short_date_pattern, "dd/MM/yyyy");
  EXPECT_EQ(numeric_c.decimal_separator, '.');
  EXPECT_EQ(PosixLocaleSource().ThreadLocale(), 0u);
  EXPECT_EQ(PosixLocaleSource().Item(kItemLanguageAbbrev), std::nullopt);

  // LC_ALL wins over every category; an empty LC_ALL counts as unset.
  ClearLocaleVariables();
  Set({{"LC_ALL", "C"}, {"LC_TIME", "pt_BR.UTF-8"}, {"LANG", "pt_BR.UTF-8"}});
  ExpectDefaultFormats(Read());
  ClearLocaleVariables();
  Set({{"LC_ALL", ""}, {"LC_MESSAGES", "pt_BR.UTF-8"}});
  EXPECT_EQ(PosixLocaleSource().ThreadLocale(), 0x0416u);
  ExpectDefaultFormats(Read());
}

}  // namespace
}  // namespace xg
