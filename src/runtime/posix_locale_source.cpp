// The host's locale items read from the POSIX locale that the process environment names, the
// way a C program that called setlocale(LC_ALL, "") would see it: per category, LC_ALL, else
// the category's own variable, else LANG. The C/POSIX locale and a locale that is not installed
// give nothing, so the defaults of the regional settings apply.
//
// How the POSIX locale answers the host's items:
// - separators: RADIXCHAR and THOUSEP; the list separator has no POSIX item and is ";" where
//   the decimal separator is "," (so that lists of numbers stay readable), else ",";
// - the short date pattern is D_FMT translated from strftime to the system's pattern letters;
//   the long date pattern is D_T_FMT without its time directives (D_FMT when nothing of a
//   date is left); the date and time separators are the first punctuation of D_FMT and T_FMT;
// - the clock items (two-digit hours, 24-hour clock, designator first) come from the hour and
//   %p directives of T_FMT;
// - designators AM_STR/PM_STR, month and day names as the locale writes them (the nominative
//   month names where the locale has two forms);
// - currency: the symbol, the fraction digits and the placement codes from the monetary items;
// - the thread locale and the three-letter language abbreviation from a table of the
//   language_territory names of LC_MESSAGES; other installed locales count as US English
//   without an abbreviation.
// Texts are converted from the locale's code set to ISO-8859-1 (see latin1_text.h).
#include <langinfo.h>
#include <locale.h>

#include <cstdlib>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "runtime/latin1_text.h"
#include "runtime/locale_items.h"
#include "runtime/regional_settings.h"
#include "runtime/strftime_pattern.h"

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

// ---- Monetary items ----

// A monetary number item: nothing when the locale leaves it unspecified.
std::optional<int> MonetaryNumber(nl_item item, locale_t locale) {
  const char* value = nl_langinfo_l(item, locale);
  if (value == nullptr || *value == '\0') return std::nullopt;
  int number = static_cast<signed char>(*value);
  if (number < 0 || number == 127) return std::nullopt;
  return number;
}

// The host's positive currency placement: 0 "$1", 1 "1$", 2 "$ 1", 3 "1 $".
std::optional<std::string> CurrencyPlacement(locale_t locale) {
  auto precedes = MonetaryNumber(P_CS_PRECEDES, locale);
  auto separated = MonetaryNumber(P_SEP_BY_SPACE, locale);
  if (!precedes || !separated) return std::nullopt;
  int code = (*precedes ? 0 : 1) + (*separated ? 2 : 0);
  return std::to_string(code);
}

// The host's negative currency placement codes 0 ... 15, from where the symbol, the sign and
// the space go in the POSIX description.
std::optional<std::string> NegCurrencyPlacement(locale_t locale) {
  auto precedes = MonetaryNumber(N_CS_PRECEDES, locale);
  auto separated = MonetaryNumber(N_SEP_BY_SPACE, locale);
  auto sign_position = MonetaryNumber(N_SIGN_POSN, locale);
  if (!precedes || !separated || !sign_position || *sign_position > 4) return std::nullopt;
  // [sign position][symbol first][separated]
  static constexpr int kCodes[5][2][2] = {{{4, 15}, {0, 14}},   // (1.1$)  (1.1 $)   ($1.1)  ($ 1.1)
                                          {{5, 8}, {1, 9}},     // -1.1$   -1.1 $    -$1.1   -$ 1.1
                                          {{7, 10}, {3, 11}},   // 1.1$-   1.1 $-    $1.1-   $ 1.1-
                                          {{6, 13}, {1, 9}},    // 1.1-$   1.1- $    -$1.1   -$ 1.1
                                          {{7, 10}, {2, 12}}};  // 1.1$-   1.1 $-    $-1.1   $ -1.1
  return std::to_string(kCodes[*sign_position][*precedes ? 1 : 0][*separated ? 1 : 0]);
}

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

enum class Category { kNumeric, kMonetary, kTime, kMessages };

class PosixLocale final : public LocaleSource {
 public:
  ~PosixLocale() override {
    for (auto& [name, locale] : opened_) {
      if (locale != nullptr) freelocale(locale);
    }
  }

  uint32_t ThreadLocale() const override {
    std::string name = LocaleNameFor("LC_MESSAGES");
    if (Open(name) == nullptr) return 0;
    const KnownLocale* known = Find(name);
    return known != nullptr ? known->locale_id : kUnknownLocaleId;
  }

  std::optional<std::string> Item(uint32_t item) const override {
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

 private:
  static std::optional<Category> CategoryOf(uint32_t item) {
    switch (item) {
      case kItemLanguageAbbrev:
        return Category::kMessages;
      case kItemListSeparator:
      case kItemDecimalSeparator:
      case kItemThousandSeparator:
        return Category::kNumeric;
      case kItemCurrencySymbol:
      case kItemCurrencyDigits:
      case kItemCurrencyPlacement:
      case kItemNegCurrencyPlacement:
        return Category::kMonetary;
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

  static const char* VariableOf(Category category) {
    switch (category) {
      case Category::kNumeric:
        return "LC_NUMERIC";
      case Category::kMonetary:
        return "LC_MONETARY";
      case Category::kTime:
        return "LC_TIME";
      case Category::kMessages:
        break;
    }
    return "LC_MESSAGES";
  }

  static const KnownLocale* Find(std::string_view name) {
    std::string_view key = LanguageTerritory(name);
    for (const KnownLocale& known : kKnownLocales) {
      if (known.name == key) return &known;
    }
    return nullptr;
  }

  // The locale of that name with all its categories, so that its code set is the one its
  // texts are written in; nothing for the C locale and for a locale that is not installed.
  locale_t Open(const std::string& name) const {
    if (IsPlainCLocale(name)) return nullptr;
    auto it = opened_.find(name);
    if (it != opened_.end()) return it->second;
    locale_t locale = newlocale(LC_ALL_MASK, name.c_str(), nullptr);
    opened_.emplace(name, locale);
    return locale;
  }

  static std::string Text(nl_item item, locale_t locale) {
    return ToLatin1(nl_langinfo_l(item, locale), nl_langinfo_l(CODESET, locale));
  }

  static std::string InLatin1(const std::string& text, locale_t locale) {
    return ToLatin1(text, nl_langinfo_l(CODESET, locale));
  }

  static StrftimeLocalePatterns Patterns(locale_t locale) {
    return {nl_langinfo_l(D_FMT, locale), nl_langinfo_l(T_FMT, locale),
            nl_langinfo_l(T_FMT_AMPM, locale), nl_langinfo_l(D_T_FMT, locale)};
  }

  static std::optional<std::string> Name(uint32_t item, locale_t locale) {
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

  static std::optional<std::string> ItemOf(uint32_t item, locale_t locale) {
    switch (item) {
      case kItemDecimalSeparator:
        return Text(RADIXCHAR, locale);
      case kItemThousandSeparator:
        return Text(THOUSEP, locale);
      case kItemListSeparator:
        return Text(RADIXCHAR, locale) == "," ? ";" : ",";
      case kItemCurrencySymbol:
        return Text(CURRENCY_SYMBOL, locale);
      case kItemCurrencyDigits: {
        auto digits = MonetaryNumber(FRAC_DIGITS, locale);
        if (!digits) return std::nullopt;
        return std::to_string(*digits);
      }
      case kItemCurrencyPlacement:
        return CurrencyPlacement(locale);
      case kItemNegCurrencyPlacement:
        return NegCurrencyPlacement(locale);
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

  mutable std::map<std::string, locale_t> opened_;
};

}  // namespace

const LocaleSource& PosixLocaleSource() {
  static const PosixLocale source;
  return source;
}

}  // namespace xg
