#include "values/posix_locale_source.h"

#include <langinfo.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "texts/latin1_text.h"
#include "values/locale_items.h"
#include "values/strftime_pattern.h"

namespace xg {
namespace {

struct KnownLocale {
  std::string_view name;  // language_territory
  uint32_t locale_id;
  std::string_view abbrev;
};

constexpr KnownLocale kKnownLocales[] = {
    {"pt_BR", 0x0416, "PTB"}, {"pt_PT", 0x0816, "PTG"}, {"en_US", 0x0409, "ENU"},
    {"en_GB", 0x0809, "ENG"}, {"en_AU", 0x0C09, "ENA"}, {"en_CA", 0x1009, "ENC"},
    {"en_NZ", 0x1409, "ENZ"}, {"en_IE", 0x1809, "ENI"}, {"es_ES", 0x0C0A, "ESN"},
    {"es_MX", 0x080A, "ESM"}, {"es_AR", 0x2C0A, "ESS"}, {"de_DE", 0x0407, "DEU"},
    {"de_AT", 0x0C07, "DEA"}, {"de_CH", 0x0807, "DES"}, {"fr_FR", 0x040C, "FRA"},
    {"fr_BE", 0x080C, "FRB"}, {"fr_CA", 0x0C0C, "FRC"}, {"fr_CH", 0x100C, "FRS"},
    {"it_IT", 0x0410, "ITA"}, {"it_CH", 0x0810, "ITS"}, {"nl_NL", 0x0413, "NLD"},
    {"nl_BE", 0x0813, "NLB"},
};

constexpr uint32_t kUnknownLocaleId = 0x0409;

// ---- The locale of each category ----

std::string LocaleNameFor(const char* category_variable) {
  for (const char* variable : {"LC_ALL", category_variable, "LANG"}) {
    const char* value = std::getenv(variable);
    if (value != nullptr && *value != '\0') return value;
  }
  return "C";
}

bool IsPlainCLocale(const std::string& name) {
  std::string base = name.substr(0, name.find_first_of(".@"));
  return base.empty() || base == "C" || base == "POSIX";
}

// language_territory without code set and modifier.
std::string_view LanguageTerritory(std::string_view name) {
  return name.substr(0, name.find_first_of(".@"));
}

enum class Category { kNumeric, kTime, kMessages };

std::optional<Category> CategoryOf(uint32_t item) {
  switch (item) {
    case kItemLanguageAbbrev:
      return Category::kMessages;
    case kItemDecimalSeparator:
      return Category::kNumeric;
    case kItemDateSeparator:
    case kItemTimeSeparator:
    case kItemShortDate:
    case kItemLongDate:
    case kItemTimeClock:
    case kItemHourLeadingZero:
    case kItemAmDesignator:
    case kItemPmDesignator:
    case kItemTimeMarkerFirst:
      return Category::kTime;
    default:
      if (item >= kItemDayName1 && item <= kItemAbbrevMonthName1 + 11) return Category::kTime;
      return std::nullopt;
  }
}

const char* VariableOf(Category category) {
  switch (category) {
    case Category::kNumeric:
      return "LC_NUMERIC";
    case Category::kTime:
      return "LC_TIME";
    case Category::kMessages:
      break;
  }
  return "LC_MESSAGES";
}

const KnownLocale* Find(std::string_view name) {
  std::string_view key = LanguageTerritory(name);
  for (const KnownLocale& known : kKnownLocales) {
    if (known.name == key) return &known;
  }
  return nullptr;
}

std::string Text(nl_item item, locale_t locale) {
  return ToLatin1(nl_langinfo_l(item, locale), nl_langinfo_l(CODESET, locale));
}

std::string InLatin1(const std::string& text, locale_t locale) {
  return ToLatin1(text, nl_langinfo_l(CODESET, locale));
}

StrftimeLocalePatterns Patterns(locale_t locale) {
  return {nl_langinfo_l(D_FMT, locale), nl_langinfo_l(T_FMT, locale),
          nl_langinfo_l(T_FMT_AMPM, locale), nl_langinfo_l(D_T_FMT, locale)};
}

std::optional<std::string> Name(uint32_t item, locale_t locale) {
  if (item >= kItemAbbrevMonthName1) {
#ifdef _NL_ABALTMON_1
    return Text(static_cast<nl_item>(_NL_ABALTMON_1 + (item - kItemAbbrevMonthName1)), locale);
#else
    return Text(static_cast<nl_item>(ABMON_1 + (item - kItemAbbrevMonthName1)), locale);
#endif
  }
  if (item >= kItemMonthName1) {
#ifdef ALTMON_1
    return Text(static_cast<nl_item>(ALTMON_1 + (item - kItemMonthName1)), locale);
#else
    return Text(static_cast<nl_item>(MON_1 + (item - kItemMonthName1)), locale);
#endif
  }
  // The host counts days from Monday (Sunday last); POSIX from Sunday.
  if (item >= kItemAbbrevDayName1) {
    return Text(static_cast<nl_item>(ABDAY_1 + (item - kItemAbbrevDayName1 + 1) % 7), locale);
  }
  return Text(static_cast<nl_item>(DAY_1 + (item - kItemDayName1 + 1) % 7), locale);
}

std::optional<std::string> ItemOf(uint32_t item, locale_t locale) {
  switch (item) {
    case kItemDecimalSeparator:
      return Text(RADIXCHAR, locale);
    case kItemShortDate: {
      StrftimeLocalePatterns patterns = Patterns(locale);
      if (patterns.date.empty()) return std::nullopt;
      return InLatin1(TranslateStrftimeDate(patterns.date, patterns), locale);
    }
    case kItemLongDate: {
      std::string pattern = TranslateStrftimeLongDate(Patterns(locale));
      if (pattern.empty()) return std::nullopt;
      return InLatin1(pattern, locale);
    }
    case kItemDateSeparator:
    case kItemTimeSeparator: {
      StrftimeLocalePatterns patterns = Patterns(locale);
      auto separator =
          StrftimeSeparator(item == kItemDateSeparator ? patterns.date : patterns.time, patterns);
      if (!separator) return std::nullopt;
      return std::string(1, *separator);
    }
    case kItemTimeClock:
    case kItemHourLeadingZero:
    case kItemTimeMarkerFirst: {
      StrftimeLocalePatterns patterns = Patterns(locale);
      auto clock = StrftimeHourClock(patterns.time, patterns);
      if (!clock) return std::nullopt;
      bool value = item == kItemTimeClock         ? !clock->twelve_hour
                   : item == kItemHourLeadingZero ? clock->leading_zero
                                                  : clock->marker_first;
      return value ? "1" : "0";
    }
    case kItemAmDesignator:
      return Text(AM_STR, locale);
    case kItemPmDesignator:
      return Text(PM_STR, locale);
    default:
      return Name(item, locale);
  }
}

}  // namespace

PosixLocaleSource::~PosixLocaleSource() {
  for (auto& [name, locale] : opened_) {
    if (locale != nullptr) freelocale(locale);
  }
}

uint32_t PosixLocaleSource::ThreadLocale() const {
  std::string name = LocaleNameFor("LC_MESSAGES");
  if (Open(name) == nullptr) return 0;
  const KnownLocale* known = Find(name);
  return known != nullptr ? known->locale_id : kUnknownLocaleId;
}

std::optional<std::string> PosixLocaleSource::Item(uint32_t item) const {
  std::optional<Category> category = CategoryOf(item);
  if (!category) return std::nullopt;
  std::string name = LocaleNameFor(VariableOf(*category));
  locale_t locale = Open(name);
  if (locale == nullptr) return std::nullopt;
  if (*category == Category::kMessages) {
    const KnownLocale* known = Find(name);
    if (known == nullptr) return std::nullopt;
    return std::string(known->abbrev);
  }
  return ItemOf(item, locale);
}

// All categories of the locale are opened, so that its code set is the one its texts are
// written in.
locale_t PosixLocaleSource::Open(const std::string& name) const {
  if (IsPlainCLocale(name)) return nullptr;
  auto it = opened_.find(name);
  if (it != opened_.end()) return it->second;
  locale_t locale = newlocale(LC_ALL_MASK, name.c_str(), nullptr);
  opened_.emplace(name, locale);
  return locale;
}

}  // namespace xg
