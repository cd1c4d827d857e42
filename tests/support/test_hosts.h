// Hosts for tests and fuzz targets, as tables of locale items: a Brazilian host as the platform
// describes it, and the regional settings of the common cases.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "support/table_locale_source.h"
#include "values/locale_items.h"
#include "values/regional_settings.h"

namespace xg::test {

// A Brazilian host: "dd/MM/yyyy", decimal comma, two-digit 24-hour clock, empty designators and
// the Portuguese month and day names.
inline TableLocaleSource BrazilianLocaleSource() {
  // ISO-8859-1; the letters outside ASCII in octal: \347 c with cedilla, \341 a with acute.
  static constexpr const char* kMonths[12] = {"janeiro",  "fevereiro", "mar\347o", "abril",
                                              "maio",     "junho",     "julho",    "agosto",
                                              "setembro", "outubro",   "novembro", "dezembro"};
  static constexpr const char* kShortMonths[12] = {"jan", "fev", "mar", "abr", "mai", "jun",
                                                   "jul", "ago", "set", "out", "nov", "dez"};
  // The host counts its day names from Monday.
  static constexpr const char* kDays[7] = {"segunda-feira", "ter\347a-feira", "quarta-feira",
                                           "quinta-feira",  "sexta-feira",    "s\341bado",
                                           "domingo"};
  static constexpr const char* kShortDays[7] = {"seg", "ter", "qua", "qui", "sex", "s\341b", "dom"};
  std::map<uint32_t, std::string> items = {
      {kItemDecimalSeparator, ","},
      {kItemDateSeparator, "/"},
      {kItemTimeSeparator, ":"},
      {kItemShortDate, "dd/MM/yyyy"},
      {kItemLongDate, "dddd, d' de 'MMMM' de 'yyyy"},
      {kItemTimeClock, "1"},
      {kItemHourLeadingZero, "1"},
      {kItemAmDesignator, ""},
      {kItemPmDesignator, ""},
  };
  for (uint32_t i = 0; i < 12; ++i) {
    items[kItemMonthName1 + i] = kMonths[i];
    items[kItemAbbrevMonthName1 + i] = kShortMonths[i];
  }
  for (uint32_t i = 0; i < 7; ++i) {
    items[kItemDayName1 + i] = kDays[i];
    items[kItemAbbrevDayName1 + i] = kShortDays[i];
  }
  return TableLocaleSource(0x0416, std::move(items));
}

inline RegionalSettings BrazilianSettings() {
  return ReadRegionalSettings(BrazilianLocaleSource());
}

// The settings of a host that gives nothing: every default.
inline RegionalSettings DefaultSettings() {
  return ReadRegionalSettings(TableLocaleSource(0, {}));
}

// The defaults with another decimal separator.
inline RegionalSettings SettingsWithDecimalSeparator(char separator) {
  return ReadRegionalSettings(
      TableLocaleSource(0, {{kItemDecimalSeparator, std::string(1, separator)}}));
}

}  // namespace xg::test
