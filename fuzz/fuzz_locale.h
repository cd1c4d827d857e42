// Regional settings for the fuzz targets: three hosts to choose from with one input byte, so that
// the text conversions run under different separators, patterns and names. Each host's settings
// are read once, when first chosen.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "support/table_locale_source.h"
#include "support/test_hosts.h"
#include "values/locale_items.h"
#include "values/regional_settings.h"

namespace xg::fuzz {

enum class Host : uint8_t {
  kDefaults = 0,   // a host that gives nothing: "m/d/yy", "h:mm:ss AMPM", decimal point
  kBrazilian = 1,  // "dd/MM/yyyy", decimal comma, two-digit 24-hour clock, Portuguese names
  kUnusual = 2,    // designator first, empty time separator, quoted literals in the long date
};
constexpr int kHostCount = 3;

inline test::TableLocaleSource UnusualLocaleSource() {
  return test::TableLocaleSource(
      0x0407, {{kItemDecimalSeparator, ","},
               {kItemDateSeparator, "."},
               {kItemTimeSeparator, ""},  // the zero character: ":" writes nothing
               {kItemShortDate, "d.M.yy"},
               {kItemLongDate, "dddd, 'den' d. MMMM yyyy \"(\"gg\")\""},
               {kItemTimeClock, "0"},
               {kItemHourLeadingZero, "0"},
               {kItemTimeMarkerFirst, "1"},
               {kItemAmDesignator, "vorm."},
               {kItemPmDesignator, "nachm."}});
}

inline const RegionalSettings& SettingsOf(Host host) {
  switch (host) {
    case Host::kBrazilian: {
      static const RegionalSettings brazilian = test::BrazilianSettings();
      return brazilian;
    }
    case Host::kUnusual: {
      static const RegionalSettings unusual = ReadRegionalSettings(UnusualLocaleSource());
      return unusual;
    }
    case Host::kDefaults:
      break;
  }
  static const RegionalSettings defaults = test::DefaultSettings();
  return defaults;
}

inline Host HostOf(uint8_t selector) {
  return static_cast<Host>(selector % kHostCount);
}

}  // namespace xg::fuzz
