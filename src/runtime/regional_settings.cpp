#include "runtime/regional_settings.h"

#include <cstddef>
#include <limits>

#include "runtime/ascii_text.h"
#include "runtime/locale_items.h"
#include "runtime/resource_strings.h"

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

TSystemLocaleInfo& LocaleInfoStorage() {
  static TSystemLocaleInfo info;
  return info;
}

TRegionalSettings& SettingsStorage() {
  static TRegionalSettings settings;
  return settings;
}

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

TSystemLocaleInfo ReadLocaleIdentity(const LocaleSource& source) {
  TSystemLocaleInfo info;
  info.LocaleId = 0x0409;
  info.PrimaryLangId = 9;
  info.SubLangId = 1;
  uint32_t thread_locale = source.ThreadLocale();
  if (thread_locale != 0) info.LocaleId = thread_locale;
  uint32_t language = thread_locale & 0xFFFF;
  if (language != 0) {
    info.PrimaryLangId = language & 0x3FF;
    info.SubLangId = language >> 10;
  }
  // Every text of this system is ISO-8859-1: a single-byte code page without lead bytes and
  // without right-to-left characters, so neither trait applies whatever the language.
  info.IsFarEast = false;
  info.IsMiddleEast = false;
  return info;
}

// Era calendars write the year within the era (e) and the era name (ggg); other calendars of
// the languages that have era names lose their era tokens.
std::string ConvertDatePattern(const LocaleSource& source, const TSystemLocaleInfo& info,
                               const std::string& pattern) {
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
  uint32_t lang = info.PrimaryLangId;
  if (lang != 0x04 && lang != 0x11 && lang != 0x12) return pattern;
  for (char c : pattern) {
    if (c != 'g' && c != 'G') result += c;
  }
  return result;
}

void ReadNames(const LocaleSource& source, TRegionalSettings& settings) {
  for (uint32_t month = 0; month < 12; ++month) {
    std::string abbrev = ReadTextItem(source, kItemAbbrevMonthName1 + month, "");
    settings.MonthAbbrevs[month] =
        abbrev.empty() ? LoadResString(*kShortMonthNames[month]) : abbrev;
    std::string full = ReadTextItem(source, kItemMonthName1 + month, "");
    settings.MonthFullNames[month] = full.empty() ? LoadResString(*kLongMonthNames[month]) : full;
  }
  for (uint32_t day = 0; day < 7; ++day) {
    // The host counts its day names from Monday; Sunday is its seventh.
    uint32_t host_index = (day + 6) % 7;
    std::string abbrev = ReadTextItem(source, kItemAbbrevDayName1 + host_index, "");
    settings.DayAbbrevs[day] = abbrev.empty() ? LoadResString(*kShortDayNames[day]) : abbrev;
    std::string full = ReadTextItem(source, kItemDayName1 + host_index, "");
    settings.DayFullNames[day] = full.empty() ? LoadResString(*kLongDayNames[day]) : full;
  }
}

void ReadTimePatterns(const LocaleSource& source, TRegionalSettings& settings) {
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
  settings.TimeShortForm = prefix + hour + ":mm" + suffix;
  settings.TimeLongForm = prefix + hour + ":mm:ss" + suffix;
}

}  // namespace

const TSystemLocaleInfo& SystemLocaleInfo() {
  return LocaleInfoStorage();
}

const TRegionalSettings& RegionalSettings() {
  return SettingsStorage();
}

void ReadRegionalSettings(const LocaleSource& source) {
  TSystemLocaleInfo info = ReadLocaleIdentity(source);

  TRegionalSettings settings;
  ReadNames(source, settings);
  // The era calendars of far-east locales never apply here (see ReadLocaleIdentity): the era
  // names stay empty and their year bases 0.
  settings.CurrencyText = ReadTextItem(source, kItemCurrencySymbol, "");
  settings.CurrencyPlacement = static_cast<uint8_t>(ReadNumberItem(source, kItemCurrencyPlacement));
  settings.NegCurrencyPlacement =
      static_cast<uint8_t>(ReadNumberItem(source, kItemNegCurrencyPlacement));
  settings.ThousandSepChar = ReadCharItem(source, kItemThousandSeparator, ',');
  settings.DecimalSepChar = ReadCharItem(source, kItemDecimalSeparator, '.');
  settings.CurrencyDecimalCount = static_cast<uint8_t>(ReadNumberItem(source, kItemCurrencyDigits));
  settings.DateSepChar = ReadCharItem(source, kItemDateSeparator, '/');
  settings.DateShortForm =
      ConvertDatePattern(source, info, ReadTextItem(source, kItemShortDate, "m/d/yy"));
  settings.DateLongForm =
      ConvertDatePattern(source, info, ReadTextItem(source, kItemLongDate, "mmmm d, yyyy"));
  settings.TimeSepChar = ReadCharItem(source, kItemTimeSeparator, ':');
  settings.AmText = ReadTextItem(source, kItemAmDesignator, "am");
  settings.PmText = ReadTextItem(source, kItemPmDesignator, "pm");
  ReadTimePatterns(source, settings);
  settings.ListSepChar = ReadCharItem(source, kItemListSeparator, ',');

  LocaleInfoStorage() = info;
  SettingsStorage() = std::move(settings);
}

}  // namespace xg
