// Turning a statement text into what the server is sent: the text as lines, and the parameter
// markers (":name", "?name", or a marker followed by a name in double quotes) found outside
// comments and quoted texts, each replaced by "?".
#pragma once

#include <string>
#include <vector>

namespace xg {

// The text as a list of lines: it ends at its first byte 0 and is split at CR, LF and CR LF;
// the result is every line followed by CR LF (empty for an empty text).
std::string SqlLinesText(const std::string& text);

struct ProcessedSql {
  std::string text;                      // the markers replaced by "?"
  std::vector<std::string> param_names;  // in text order
};

// Raises EIBClientError 55 ("Erro na análise do SQL") for a comment or quoted text left open or a
// marker without a name.
ProcessedSql PreprocessSql(const std::string& sql);

}  // namespace xg
