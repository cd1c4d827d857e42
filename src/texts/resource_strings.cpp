#include "texts/resource_strings.h"

#include <optional>
#include <string_view>

namespace xg {
namespace {

std::optional<LanguageTexts>& LanguageModule() {
  static std::optional<LanguageTexts> module;
  return module;
}

}  // namespace

std::string LoadResString(const ResourceString& resource) {
  const auto& module = LanguageModule();
  if (!module) return resource.text;
  auto it = module->find(std::string_view(resource.name));
  return it == module->end() ? std::string() : it->second;
}

void InstallLanguageModule(LanguageTexts texts) {
  LanguageModule() = std::move(texts);
}

void RemoveLanguageModule() {
  LanguageModule().reset();
}

}  // namespace xg
