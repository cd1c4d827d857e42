// A locale source answered from a table: a thread locale and raw host item values by item code
// (locale_items.h names them). Items left out of the table answer nothing, so the defaults of
// the regional settings apply to them. Tests and fuzz targets hand it in to describe a host.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "values/regional_settings.h"

namespace xg::test {

class TableLocaleSource : public LocaleSource {
 public:
  TableLocaleSource(uint32_t thread_locale, std::map<uint32_t, std::string> items)
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

}  // namespace xg::test
