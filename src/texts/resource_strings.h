// Named string resources. Every message, protocol name and fixed text that the system's string
// table holds is one entry, looked up by name each time it is used, so that a language module
// beside the program can replace it (see language_module.h).
//
// The table belongs to the process but is fixed before the first request: it holds the built-in
// texts until start-up installs a language module, and from then on it is only read.
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

// A language module's entries, name to text.
using LanguageTexts = std::map<std::string, std::string, std::less<>>;

// The text of a resource: the language module's entry when one is installed (an entry missing
// there reads as the empty text), else the built-in text.
std::string LoadResString(const ResourceString& resource);

// Start-up's one change to the table: the entries of the language module replace the built-in
// texts. Nothing changes the table once a request is served.
void InstallLanguageModule(LanguageTexts texts);
// The built-in texts again; for tests, which install modules of their own (see
// tests/support/scoped_language_module.h).
void RemoveLanguageModule();

}  // namespace xg
