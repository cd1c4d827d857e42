// The process-wide regional settings: separators, date and time patterns, designators and
// month and day names that every number, date and time text of the system follows. They are
// read once at start-up from the host's locale (ReadRegionalSettings) and only read afterwards.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace xg {

struct TSystemLocaleInfo {
  uint32_t LocaleId = 0;
  uint32_t PrimaryLangId = 0;
  uint32_t SubLangId = 0;
  bool IsFarEast = false;
  bool IsMiddleEast = false;
};

struct TRegionalSettings {
  std::string CurrencyText;
  uint8_t CurrencyPlacement = 0;
  uint8_t NegCurrencyPlacement = 0;
  char ThousandSepChar = 0;
  char DecimalSepChar = 0;
  uint8_t CurrencyDecimalCount = 0;
  char DateSepChar = 0;
  std::string DateShortForm;
  std::string DateLongForm;
  char TimeSepChar = 0;
  std::string AmText;
  std::string PmText;
  std::string TimeShortForm;
  std::string TimeLongForm;
  char ListSepChar = 0;
  std::array<std::string, 12> MonthAbbrevs;
  std::array<std::string, 12> MonthFullNames;
  std::array<std::string, 7> DayAbbrevs;  // Sunday first
  std::array<std::string, 7> DayFullNames;  // Sunday first
  std::array<std::string, 7> EraNameList;
  std::array<int, 7> EraYearBases{};
};

// The locale items of the host, by their numeric item codes (0x0E decimal separator, 0x1F short
// date pattern, ...). Item() answers nothing when the host has no value for the item; an item
// the host defines as empty answers the empty text. Texts are ISO-8859-1.
class LocaleSource {
 public:
  virtual ~LocaleSource() = default;
  virtual uint32_t ThreadLocale() const = 0;
  virtual std::optional<std::string> Item(uint32_t item) const = 0;
};

// The locale that LC_ALL, LC_NUMERIC/LC_TIME or LANG name in the process environment, read
// through the POSIX locale; the C/POSIX locale and a locale that is not installed give nothing.
const LocaleSource& PosixLocaleSource();

const TSystemLocaleInfo& SystemLocaleInfo();
const TRegionalSettings& RegionalSettings();

// Fills the locale info and the settings from the source, with the defaults where the source
// gives nothing. Start-up calls it once; tests call it with their own sources.
void ReadRegionalSettings(const LocaleSource& source);

}  // namespace xg
