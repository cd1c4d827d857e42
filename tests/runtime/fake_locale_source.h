// A locale source for tests: a thread locale and a table of raw host item values. Items left
// out of the table answer nothing, so the defaults of the regional settings apply to them.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "runtime/regional_settings.h"

namespace xg {

class FakeLocaleSource : public LocaleSource {
 public:
  FakeLocaleSource(uint32_t thread_locale, std::map<uint32_t, std::string> items)
      : thread_locale_(thread_locale), items_(std::move(items)) {}

  uint32_t ThreadLocale() const override { return thread_locale_; }
  std::optional<std::string> Item(uint32_t item) const override {
    auto it = items_.find(item);
    if (it == items_.end()) return std::nullopt;
    return it->second;
  }

 private:
  uint32_t thread_locale_;
  std::map<uint32_t, std::string> items_;
};

// A Brazilian host as the platform describes it: "dd/MM/yyyy", decimal comma, 24-hour clock
// with two-digit hours.
inline FakeLocaleSource BrazilianLocaleSource() {
  return FakeLocaleSource(0x0416, {{0x0E, ","},
                                   {0x0F, "."},
                                   {0x0C, ";"},
                                   {0x14, "R$"},
                                   {0x1B, "2"},
                                   {0x1C, "9"},
                                   {0x19, "2"},
                                   {0x1D, "/"},
                                   {0x1E, ":"},
                                   {0x1F, "dd/MM/yyyy"},
                                   {0x20, "dddd, d' de 'MMMM' de 'yyyy"},
                                   {0x23, "1"},
                                   {0x25, "1"},
                                   {0x28, ""},
                                   {0x29, ""},
                                   {0x38, "janeiro"},
                                   {0x44, "jan"},
                                   {0x30, "domingo"},
                                   {0x2A, "segunda-feira"},
                                   {0x37, "dom"},
                                   {0x31, "seg"}});
}

// Restores the process-wide settings that a test replaced with its own: the default settings
// (a host that gives nothing), the state a test program starts from after its first reading.
inline void ReadDefaultRegionalSettings() {
  ReadRegionalSettings(FakeLocaleSource(0, {}));
}

}  // namespace xg
