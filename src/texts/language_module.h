// The language module: an optional text file beside the program that replaces the whole string
// table. It is named like the program's real file (symbolic links resolved, so a web server may
// start the program through a link placed elsewhere) with its extension, if any, replaced by the
// locale's three-letter language abbreviation ("xmlgateway.PTB" for pt_BR); failing that, by the
// abbreviation's first two letters ("xmlgateway.PT"). Without an abbreviation (the C locale, a
// locale the system has no abbreviation for) no file is looked for.
//
// Format, one entry per line, lines ending in LF or CR LF:
//   NAME=text     NAME is a resource's identifier (letters, digits, "_"), e.g. SServiceStatus;
//                 the text runs to the end of the line, in ISO-8859-1, with the escapes
//                 \r (CR), \n (LF), \\ (a backslash) and \xHH (the byte HH in hexadecimal)
//   # ...         a comment
//   (empty line)  ignored
// A later entry for a name replaces an earlier one; names no resource has are ignored. Any
// other line, or a backslash followed by anything else, is an error that stops start-up.
// Once installed, a resource the file does not name reads as the empty text.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "texts/resource_strings.h"

namespace xg {

// The entries of a module's text. Raises EConvertError "Invalid entry in language module
// <file_name>, line <n>" for a line that is neither an entry, a comment nor empty.
LanguageTexts ParseLanguageModule(std::string_view content, std::string_view file_name);

// The files to try, in order, for the program's real path and the language abbreviation.
std::vector<std::string> LanguageModuleCandidates(std::string_view program_path,
                                                  std::string_view abbreviation);

// Installs the first candidate that can be read, for the locale's language abbreviation (its item
// kItemLanguageAbbrev; empty when it has none). Start-up calls it once, before the first text is
// read. Answers the file's path, or the empty text when no module was found.
std::string LoadLanguageModule(std::string_view program_path, std::string_view abbreviation);

}  // namespace xg
