// Regional settings for the conversion tests: a host that names only its decimal separator, so
// every other setting keeps its default. The scope restores the default settings when it ends.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "runtime/regional_settings.h"

namespace xg {

class DecimalSeparatorSource : public LocaleSource {
 public:
  explicit DecimalSeparatorSource(std::optional<std::string> separator)
      : separator_(std::move(separator)) {}
  uint32_t ThreadLocale() const override { return 0; }
  std::optional<std::string> Item(uint32_t item) const override {
    return item == 0x0E ? separator_ : std::nullopt;
  }

 private:
  std::optional<std::string> separator_;
};

class DecimalSeparatorScope {
 public:
  explicit DecimalSeparatorScope(char separator) {
    ReadRegionalSettings(DecimalSeparatorSource(std::string(1, separator)));
  }
  ~DecimalSeparatorScope() { ReadRegionalSettings(DecimalSeparatorSource(std::nullopt)); }
  DecimalSeparatorScope(const DecimalSeparatorScope&) = delete;
  DecimalSeparatorScope& operator=(const DecimalSeparatorScope&) = delete;
};

}  // namespace xg
