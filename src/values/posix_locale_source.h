// The host's locale items read from the POSIX locale that the process environment names, the
// way a C program that called setlocale(LC_ALL, "") would see it: per category, LC_ALL, else
// the category's own variable, else LANG. The C/POSIX locale and a locale that is not installed
// give nothing, so the defaults of the regional settings apply.
//
// How the POSIX locale answers the host's items:
// - the decimal separator is RADIXCHAR;
// - the short date pattern is D_FMT translated from strftime to the system's pattern letters;
//   the long date pattern is D_T_FMT without its time directives (D_FMT when nothing of a
//   date is left); the date and time separators are the first punctuation of D_FMT and T_FMT;
// - the clock items (two-digit hours, 24-hour clock, designator first) come from the hour and
//   %p directives of T_FMT;
// - designators AM_STR/PM_STR, month and day names as the locale writes them (the nominative
//   month names where the locale has two forms);
// - the thread locale and the three-letter language abbreviation from a table of the
//   language_territory names of LC_MESSAGES; other installed locales count as US English
//   without an abbreviation.
// Texts are converted from the locale's code set to ISO-8859-1 (see latin1_text.h).
#pragma once

#include <locale.h>

#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "values/regional_settings.h"

namespace xg {

// Start-up makes one, reads the language module's abbreviation and the regional settings
// through it, and lets it go: the locales it opened are freed with it.
class PosixLocaleSource final : public LocaleSource {
 public:
  PosixLocaleSource() = default;
  ~PosixLocaleSource() override;
  PosixLocaleSource(const PosixLocaleSource&) = delete;
  PosixLocaleSource& operator=(const PosixLocaleSource&) = delete;

  uint32_t ThreadLocale() const override;
  std::optional<std::string> Item(uint32_t item) const override;

 private:
  // The locale of that name with all its categories; nullptr for the C locale and for a locale
  // that is not installed. Each name is opened once.
  locale_t Open(const std::string& name) const;

  mutable std::map<std::string, locale_t> opened_;
};

}  // namespace xg
