// The configuration file's form: "[section]" lines, "key = value" lines, comments. This part
// knows nothing of which sections and keys exist; it turns the text into entries that carry
// the line they came from, so that whoever checks them can name the line of a bad one.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "texts/exceptions.h"

namespace xg {

// A configuration file that cannot be used: its message names the file and, where there is
// one, the line.
XG_EXCEPTION_CLASS(EConfigError, Exception);

// A "key = value" line, or a "[section]" line, which has an empty key.
struct ConfigEntry {
  std::string section;  // as written between the brackets, blanks trimmed
  std::string key;      // as written, blanks trimmed; empty for the section line itself
  std::string value;    // blanks trimmed; a comment after it removed
  int line = 0;         // counted from 1
};

// The section lines and entries of the text, in file order. Lines end with LF or CR LF. A line that
// is empty or blank, or whose first non-blank byte is "#", is skipped; elsewhere a "#" that follows
// a blank starts a comment that runs to the end of the line. Raises EConfigError naming `file_name`
// and the line for: a line that is neither a section nor "key = value", an empty section or key
// name, a key before the first section, and a control byte (other than a tab) in a line.
std::vector<ConfigEntry> ParseConfigFile(std::string_view text, const std::string& file_name);

// The EConfigError "Error in configuration file <file>, line <n>: <what>".
EConfigError ConfigErrorAtLine(const std::string& file_name, int line, const std::string& what);
// Raises it.
[[noreturn]] void RaiseConfigError(const std::string& file_name, int line, const std::string& what);

}  // namespace xg
