#include "values/regional_settings.h"

#include <cstddef>
#include <limits>

#include "texts/ascii_text.h"
#include "texts/resource_strings.h"
#include "values/locale_items.h"

namespace xg {
namespace {

// A text item is read into a buffer of this many characters, the terminating zero included.
constexpr std::size_t kTextBufferSize = 256;

XG_RESOURCE(SShortMonthNameJan, "Jan");
XG_RESOURCE(SShortMonthNameFeb, "Feb");
XG_RESOURCE(SShortMonthNameMar, "Mar");
XG_RESOURCE(SShortMonthNameApr, "Apr");
XG_RESOURCE(SShortMonthNameMay, "May");
XG_RESOURCE(SShortMonthNameJun, "Jun");
XG_RESOURCE(SShortMonthNameJul, "Jul");
XG_RESOURCE(SShortMonthNameAug, "Aug");
XG_RESOURCE(SShortMonthNameSep, "Sep");
XG_RESOURCE(SShortMonthNameOct, "Oct");
XG_RESOURCE(SShortMonthNameNov, "Nov");
XG_RESOURCE(SShortMonthNameDec, "Dec");

XG_RESOURCE(SLongMonthNameJan, "January");
XG_RESOURCE(SLongMonthNameFeb, "February");
XG_RESOURCE(SLongMonthNameMar, "March");
XG_RESOURCE(SLongMonthNameApr, "April");
XG_RESOURCE(SLongMonthNameMay, "May");
XG_RESOURCE(SLongMonthNameJun, "June");
XG_RESOURCE(SLongMonthNameJul, "July");
XG_RESOURCE(SLongMonthNameAug, "August");
XG_RESOURCE(SLongMonthNameSep, "September");
XG_RESOURCE(SLongMonthNameOct, "October");
XG_RESOURCE(SLongMonthNameNov, "November");
XG_RESOURCE(SLongMonthNameDec, "December");

XG_RESOURCE(SShortDayNameSun, "Sun");
XG_RESOURCE(SShortDayNameMon, "Mon");
XG_RESOURCE(SShortDayNameTue, "Tue");
XG_RESOURCE(SShortDayNameWed, "Wed");
XG_RESOURCE(SShortDayNameThu, "Thu");
XG_RESOURCE(SShortDayNameFri, "Fri");
XG_RESOURCE(SShortDayNameSat, "Sat");

XG_RESOURCE(SLongDayNameSun, "Sunday");
XG_RESOURCE(SLongDayNameMon, "Monday");
XG_RESOURCE(SLongDayNameTue, "Tuesday");
XG_RESOURCE(SLongDayNameWed, "Wednesday");
XG_RESOURCE(SLongDayNameThu, "Thursday");
XG_RESOURCE(SLongDayNameFri, "Friday");
XG_RESOURCE(SLongDayNameSat, "Saturday");

constexpr const ResourceString* kShortMonthNames[12] = {
    &SShortMonthNameJan, &SShortMonthNameFeb, &SShortMonthNameMar, &SShortMonthNameApr,
    &SShortMonthNameMay, &SShortMonthNameJun, &SShortMonthNameJul, &SShortMonthNameAug,
    &SShortMonthNameSep, &SShortMonthNameOct, &SShortMonthNameNov, &SShortMonthNameDec};
constexpr const ResourceString* kLongMonthNames[12] = {
    &SLongMonthNameJan, &SLongMonthNameFeb, &SLongMonthNameMar, &SLongMonthNameApr,
    &SLongMonthNameMay, &SLongMonthNameJun, &SLongMonthNameJul, &SLongMonthNameAug,
    &SLongMonthNameSep, &SLongMonthNameOct, &SLongMonthNameNov, &SLongMonthNameDec};
constexpr const ResourceString* kShortDayNames[7] = {
    &SShortDayNameSun, &SShortDayNameMon, &SShortDayNameTue, &SShortDayNameWed,
    &SShortDayNameThu, &SShortDayNameFri, &SShortDayNameSat};
constexpr const ResourceString* kLongDayNames[7] = {
    &SLongDayNameSun, &SLongDayNameMon, &SLongDayNameTue, &SLongDayNameWed,
    &SLongDayNameThu, &SLongDayNameFri, &SLongDayNameSat};

// A text item: the host's value when it fits the text buffer, else the default. An item the
// host defines as empty is the empty text.
std::string ReadTextItem(const LocaleSource& source, uint32_t item, const std::string& fallback) {
  std::optional<std::string> value = source.Item(item);
  if (!value || value->size() >= kTextBufferSize) return fallback;
  return *value;
}

// A one-character item is read into a two-character buffer: a longer host value does not fit,
// so the default applies; an empty one gives the zero character.
char ReadCharItem(const LocaleSource& source, uint32_t item, char fallback) {
  std::optional<std::string> value = source.Item(item);
  if (!value || value->size() > 1) return fallback;
  return value->empty() ? '\0' : (*value)[0];
}

// A whole decimal integer with an optional sign; anything else (also an overflow) is 0.
int ParseIntegerOrZero(const std::string& text) {
  std::size_t pos = 0;
  bool negative = false;
  if (pos < text.size() && (text[pos] == '-' || text[pos] == '+')) negative = text[pos++] == '-';
  if (pos == text.size()) return 0;
  long long value = 0;
  for (; pos < text.size(); ++pos) {
    char c = text[pos];
    if (!IsAsciiDigit(c)) return 0;
    value = value * 10 + (c - '0');
    if (value > static_cast<long long>(std::numeric_limits<int>::max()) + 1) return 0;
  }
  if (negative) value = -value;
  if (value > std::numeric_limits<int>::max()) return 0;
  return static_cast<int>(value);
}

int ReadNumberItem(const LocaleSource& source, uint32_t item, int fallback = 0) {
  return ParseIntegerOrZero(ReadTextItem(source, item, std::to_string(fallback)));
}

// The primary language of a locale identifier: the low 10 bits, or English (9) when its low 16
// bits are 0.
uint32_t PrimaryLanguageOf(uint32_t locale_id) {
  const uint32_t language = locale_id & 0xFFFF;
  return language != 0 ? language & 0x3FF : 9;
}

// Era calendars write the year within the era (e) and the era name (ggg); other calendars of
// the languages that have era names lose their era tokens.
std::string ConvertDatePattern(const LocaleSource& source, const std::string& pattern) {
  int calendar = ReadNumberItem(source, kItemCalendarType, 1);
  std::string result;
  if (calendar >= 3 && calendar <= 5) {
    std::size_t pos = 0;
    while (pos < pattern.size()) {
      const std::string_view rest = std::string_view(pattern).substr(pos);
      if (StartsWithIgnoringAsciiCase(rest, "gg")) {
        result += "ggg";
        pos += 2;
      } else if (StartsWithIgnoringAsciiCase(rest, "yyyy")) {
        result += "eeee";
        pos += 4;
      } else if (StartsWithIgnoringAsciiCase(rest, "yy")) {
        result += "ee";
        pos += 2;
      } else if (pattern[pos] == 'y' || pattern[pos] == 'Y') {
        result += 'e';
        ++pos;
      } else {
        result += pattern[pos++];
      }
    }
    return result;
  }
  const uint32_t language = PrimaryLanguageOf(source.ThreadLocale());
  if (language != 0x04 && language != 0x11 && language != 0x12) return pattern;
  for (char c : pattern) {
    if (c != 'g' && c != 'G') result += c;
  }
  return result;
}

void ReadNames(const LocaleSource& source, RegionalSettings& settings) {
  for (uint32_t month = 0; month < 12; ++month) {
    std::string abbrev = ReadTextItem(source, kItemAbbrevMonthName1 + month, "");
    settings.short_month_names[month] =
        abbrev.empty() ? LoadResString(*kShortMonthNames[month]) : abbrev;
    std::string full = ReadTextItem(source, kItemMonthName1 + month, "");
    settings.long_month_names[month] = full.empty() ? LoadResString(*kLongMonthNames[month]) : full;
  }
  for (uint32_t day = 0; day < 7; ++day) {
    // The host counts its day names from Monday; Sunday is its seventh.
    uint32_t host_index = (day + 6) % 7;
    std::string abbrev = ReadTextItem(source, kItemAbbrevDayName1 + host_index, "");
    settings.short_day_names[day] = abbrev.empty() ? LoadResString(*kShortDayNames[day]) : abbrev;
    std::string full = ReadTextItem(source, kItemDayName1 + host_index, "");
    settings.long_day_names[day] = full.empty() ? LoadResString(*kLongDayNames[day]) : full;
  }
}

void ReadTimePatterns(const LocaleSource& source, RegionalSettings& settings) {
  std::string hour = ReadNumberItem(source, kItemHourLeadingZero) != 0 ? "hh" : "h";
  std::string prefix;
  std::string suffix;
  if (ReadNumberItem(source, kItemTimeClock) == 0) {
    if (ReadNumberItem(source, kItemTimeMarkerFirst) != 0) {
      prefix = "AMPM ";
    } else {
      suffix = " AMPM";
    }
  }
  settings.short_time_pattern = prefix + hour + ":mm" + suffix;
  settings.long_time_pattern = prefix + hour + ":mm:ss" + suffix;
}

}  // namespace

RegionalSettings ReadRegionalSettings(const LocaleSource& source) {
  RegionalSettings settings;
  ReadNames(source, settings);
  settings.decimal_separator = ReadCharItem(source, kItemDecimalSeparator, '.');
  settings.date_separator = ReadCharItem(source, kItemDateSeparator, '/');
  settings.short_date_pattern =
      ConvertDatePattern(source, ReadTextItem(source, kItemShortDate, "m/d/yy"));
  settings.long_date_pattern =
      ConvertDatePattern(source, ReadTextItem(source, kItemLongDate, "mmmm d, yyyy"));
  settings.time_separator = ReadCharItem(source, kItemTimeSeparator, ':');
  settings.am_designator = ReadTextItem(source, kItemAmDesignator, "am");
  settings.pm_designator = ReadTextItem(source, kItemPmDesignator, "pm");
  ReadTimePatterns(source, settings);
  return settings;
}

}  // namespace xg
