// A language module for the life of a test scope: installs the texts and puts the built-in
// string table back when the scope ends, however the test leaves it.
#pragma once

#include <utility>

#include "texts/resource_strings.h"

namespace xg::test {

class ScopedLanguageModule {
 public:
  explicit ScopedLanguageModule(LanguageTexts texts) { InstallLanguageModule(std::move(texts)); }
  ~ScopedLanguageModule() { RemoveLanguageModule(); }
  ScopedLanguageModule(const ScopedLanguageModule&) = delete;
  ScopedLanguageModule& operator=(const ScopedLanguageModule&) = delete;
};

}  // namespace xg::test
