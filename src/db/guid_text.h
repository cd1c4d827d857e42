// A freshly generated GUID in its text form, "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}": the
// cursor name of every opened query, so that no two cursors share a name.
#pragma once

#include <string>

namespace xg {

std::string NewGuidText();

}  // namespace xg
