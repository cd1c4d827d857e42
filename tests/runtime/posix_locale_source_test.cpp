#include <gtest/gtest.h>
#include <locale.h>

#include <cstdlib>
#include <map>
#include <optional>
#include <string>

#include "runtime/fake_locale_source.h"
#include "runtime/regional_settings.h"

namespace xg {
namespace {

constexpr const char* kLocaleVariables[] = {"LC_ALL",      "LC_NUMERIC",  "LC_TIME",
                                            "LC_MONETARY", "LC_MESSAGES", "LANG"};

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
    ReadDefaultRegionalSettings();
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

  static const TRegionalSettings& Read() {
    ReadRegionalSettings(PosixLocaleSource());
    return RegionalSettings();
  }

  static void ExpectDefaultFormats(const TRegionalSettings& s) {
    EXPECT_EQ(s.DateShortForm, "m/d/yy");
    EXPECT_EQ(s.TimeLongForm, "h:mm:ss AMPM");
    EXPECT_EQ(s.AmText, "am");
    EXPECT_EQ(s.PmText, "pm");
    EXPECT_EQ(s.DecimalSepChar, '.');
    EXPECT_EQ(s.MonthFullNames[2], "March");
  }

 private:
  std::map<std::string, std::string> saved_;
};

TEST_F(PosixLocaleSourceTest, BrazilianLocaleGivesItsPatternsSeparatorsAndNames) {
  if (!BrazilianLocaleInstalled()) GTEST_SKIP() << "pt_BR.UTF-8 is not installed (localedef)";
  Set({{"LC_ALL", "pt_BR.UTF-8"}});
  const TRegionalSettings& s = Read();
  EXPECT_EQ(SystemLocaleInfo().LocaleId, 0x0416u);
  EXPECT_EQ(PosixLocaleSource().Item(0x03), "PTB");
  EXPECT_EQ(s.DateShortForm, "dd/MM/yyyy");
  EXPECT_EQ(s.DateLongForm, "ddd dd MMM yyyy");
  EXPECT_EQ(s.TimeShortForm, "hh:mm");
  EXPECT_EQ(s.TimeLongForm, "hh:mm:ss");
  EXPECT_EQ(s.DateSepChar, '/');
  EXPECT_EQ(s.TimeSepChar, ':');
  EXPECT_EQ(s.DecimalSepChar, ',');
  EXPECT_EQ(s.ThousandSepChar, '.');
  EXPECT_EQ(s.ListSepChar, ';');
  EXPECT_EQ(s.CurrencyText, "R$");
  EXPECT_EQ(s.CurrencyDecimalCount, 2);
  EXPECT_EQ(s.CurrencyPlacement, 2);     // "R$ 1"
  EXPECT_EQ(s.NegCurrencyPlacement, 9);  // "-R$ 1"
  // The locale defines empty designators: they stay empty.
  EXPECT_EQ(PosixLocaleSource().Item(0x28), std::optional<std::string>(""));
  EXPECT_EQ(s.AmText, "");
  EXPECT_EQ(s.PmText, "");
  // Names as the locale writes them, in ISO-8859-1.
  EXPECT_EQ(s.MonthFullNames[0], "janeiro");
  EXPECT_EQ(s.MonthFullNames[2], "mar\xE7o");
  EXPECT_EQ(s.MonthAbbrevs[11], "dez");
  EXPECT_EQ(s.DayFullNames[0], "domingo");
  EXPECT_EQ(s.DayFullNames[2],
            "ter\xE7"
            "a");
  EXPECT_EQ(s.DayAbbrevs[6],
            "s\xE1"
            "b");
}

TEST_F(PosixLocaleSourceTest, PlainCLocaleGivesNothing) {
  const std::map<std::string, std::string> environments[] = {
      {}, {{"LANG", "C"}}, {{"LANG", "POSIX"}}, {{"LC_ALL", "C.UTF-8"}}, {{"LANG", ""}}};
  for (const auto& environment : environments) {
    ClearLocaleVariables();
    Set(environment);
    EXPECT_EQ(PosixLocaleSource().ThreadLocale(), 0u);
    EXPECT_EQ(PosixLocaleSource().Item(0x03), std::nullopt);
    EXPECT_EQ(PosixLocaleSource().Item(0x0E), std::nullopt);
    EXPECT_EQ(PosixLocaleSource().Item(0x28), std::nullopt);
    const TRegionalSettings& s = Read();
    EXPECT_EQ(SystemLocaleInfo().LocaleId, 0x0409u);
    ExpectDefaultFormats(s);
  }
}

TEST_F(PosixLocaleSourceTest, LocaleThatIsNotInstalledGivesNothing) {
  Set({{"LANG", "xx_YY.UTF-8"}});
  EXPECT_EQ(PosixLocaleSource().ThreadLocale(), 0u);
  EXPECT_EQ(PosixLocaleSource().Item(0x1F), std::nullopt);
  ExpectDefaultFormats(Read());
}

TEST_F(PosixLocaleSourceTest, EachItemFollowsTheVariableOfItsCategory) {
  if (!BrazilianLocaleInstalled()) GTEST_SKIP() << "pt_BR.UTF-8 is not installed (localedef)";
  Set({{"LANG", "C"}, {"LC_TIME", "pt_BR.UTF-8"}});
  const TRegionalSettings& time_only = Read();
  EXPECT_EQ(time_only.DateShortForm, "dd/MM/yyyy");
  EXPECT_EQ(time_only.DecimalSepChar, '.');
  EXPECT_EQ(time_only.CurrencyText, "");
  EXPECT_EQ(SystemLocaleInfo().LocaleId, 0x0409u);

  ClearLocaleVariables();
  Set({{"LANG", "pt_BR.UTF-8"}, {"LC_NUMERIC", "C"}, {"LC_MESSAGES", "POSIX"}});
  const TRegionalSettings& numeric_c = Read();
  EXPECT_EQ(numeric_c.DateShortForm, "dd/MM/yyyy");
  EXPECT_EQ(numeric_c.DecimalSepChar, '.');
  EXPECT_EQ(numeric_c.CurrencyText, "R$");
  EXPECT_EQ(SystemLocaleInfo().LocaleId, 0x0409u);
  EXPECT_EQ(PosixLocaleSource().Item(0x03), std::nullopt);

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
