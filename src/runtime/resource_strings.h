// Named string resources. Every message, protocol name and fixed text that the system's string
// table holds is one entry, looked up by name each time it is used, so that a language module
// beside the program can replace it (see language_module.h).
#pragma once

#include <map>
#include <string>

namespace xg {

struct ResourceString {
  const char* name;
  const char* text;  // the built-in text: 8-bit, ISO-8859-1
};

// Declares a resource; the identifier is also the name a language module uses for it.
// clang-format off
#define XG_RESOURCE(Id, Text) inline constexpr ::xg::ResourceString Id{#Id, Text}
// clang-format on

// The text of a resource: the language module's entry when one is installed (an entry missing
// there reads as the empty text), else the built-in text.
std::string LoadResString(const ResourceString& resource);

// Replaces the string table by the entries of a language module, name to text.
void InstallLanguageModule(std::map<std::string, std::string, std::less<>> texts);
void RemoveLanguageModule();

}  // namespace xg
