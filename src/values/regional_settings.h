// The regional settings: the decimal separator, date and time patterns and separators,
// designators and month and day names that every number, date and time text of the system
// follows. Start-up reads them once from the host's locale (ReadRegionalSettings) into an object
// the program owns; it hands them to the conversions that write texts, which never look them up
// anywhere else.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace xg {

struct RegionalSettings {
  char decimal_separator = 0;
  char date_separator = 0;  // the zero character: "/" in a pattern writes nothing
  char time_separator = 0;  // the same for ":"
  std::string short_date_pattern;
  std::string long_date_pattern;
  std::string short_time_pattern;
  std::string long_time_pattern;
  std::string am_designator;  // "AMPM" in a pattern before noon
  std::string pm_designator;  // and from noon on
  std::array<std::string, 12> short_month_names;
  std::array<std::string, 12> long_month_names;
  std::array<std::string, 7> short_day_names;  // Sunday first
  std::array<std::string, 7> long_day_names;   // Sunday first
};

// The locale items of the host, by their numeric item codes (locale_items.h names them). Item()
// answers nothing when the host has no value for the item; an item the host defines as empty
// answers the empty text. Texts are ISO-8859-1.
class LocaleSource {
 public:
  virtual ~LocaleSource() = default;
  virtual uint32_t ThreadLocale() const = 0;
  virtual std::optional<std::string> Item(uint32_t item) const = 0;
};

// The settings the source describes, with the defaults where it gives nothing: decimal point,
// "m/d/yy", "mmmm d, yyyy", "h:mm AMPM", "h:mm:ss AMPM", "am", "pm" and the English names (which
// are string resources, so a language module installed before may replace them).
RegionalSettings ReadRegionalSettings(const LocaleSource& source);

}  // namespace xg
